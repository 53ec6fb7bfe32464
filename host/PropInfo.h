// Descriptions of published properties: what the component streaming needs to know to
// write and read a property (name, kind, type name, reader, writer, stored rule, default).
// Classes build them with the typed helpers below from their getters and setters.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "tovrin5/host/Events.h"
#include "tovrin5/host/Sets.h"
#include "tovrin5/host/Variant.h"

namespace tovrin::host {

class TPersistent;
class TComponent;

/// Kinds of published properties.
enum TTypeKind {
    tkUnknown,
    tkInteger,     ///< 32-bit integer, held as varInteger
    tkInt64,       ///< 64-bit integer, held as varInt64
    tkFloat,       ///< double
    tkString,      ///< text (UTF-8 bytes)
    tkBool,        ///< Boolean, written False/True
    tkEnumeration, ///< ordinal held as varInteger, written by its name
    tkSet,         ///< bit mask held as varInt64, written as [a, b]
    tkVariant,     ///< any variant value, written with its type
    tkClass,       ///< an object: owned sub-object (read in place) or component reference
    tkMethod       ///< an event, written by handler name
};

/// One published property. Functions take the instance as TPersistent; the helpers below
/// cast to the declaring class.
struct TPropInfo {
    std::string name;
    TTypeKind kind = tkUnknown;
    std::string typeName;
    /// Names of the enumeration's values by ordinal (tkEnumeration, tkSet).
    std::vector<std::string> enumNames;

    /// Scalar kinds: read and write the value.
    std::function<Variant(const TPersistent*)> getValue;
    std::function<void(TPersistent*, const Variant&)> setValue;

    /// tkClass: the object. isReference marks a reference to a component elsewhere in the
    /// tree (written by name, set after loading through setObject); otherwise the object
    /// is owned by the instance and is written and read in place.
    std::function<TPersistent*(const TPersistent*)> getObject;
    std::function<void(TPersistent*, TPersistent*)> setObject;
    bool isReference = false;

    /// tkMethod: the handler's name (empty when none or anonymous) and binding a handler
    /// by name through the root component's method table (false when not found).
    std::function<std::string(const TPersistent*)> getHandlerName;
    std::function<bool(TPersistent*, const std::string&, TComponent*)> setHandler;

    /// Stored rule: written only when this returns true (always when not set).
    std::function<bool(const TPersistent*)> isStored;
    /// Value that is not written (the property's default).
    std::optional<Variant> defaultValue;

    [[nodiscard]] bool readOnly() const noexcept {
        return kind == tkClass ? (isReference && !setObject)
                               : (kind == tkMethod ? !setHandler : !setValue);
    }

    /// Sets the stored rule from a predicate on the declaring class.
    template <class C, class F> TPropInfo& storedIf(F pred) {
        isStored = [pred](const TPersistent* p) {
            return static_cast<bool>(std::invoke(pred, *static_cast<const C*>(p)));
        };
        return *this;
    }
    /// The property is never written.
    TPropInfo& storedNever() {
        isStored = [](const TPersistent*) { return false; };
        return *this;
    }
    /// The property is not written when it holds this value.
    TPropInfo& withDefault(Variant value) {
        defaultValue = std::move(value);
        return *this;
    }
};

using TPropList = std::vector<TPropInfo>;

namespace detail {
inline TPropInfo info(std::string name, TTypeKind kind, std::string typeName,
                      std::vector<std::string> names = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.kind = kind;
    p.typeName = std::move(typeName);
    p.enumNames = std::move(names);
    return p;
}
template <class C> const C& self(const TPersistent* p) {
    return *static_cast<const C*>(p);
}
template <class C> C& self(TPersistent* p) {
    return *static_cast<C*>(p);
}
template <class C, class S, class T>
std::function<void(TPersistent*, const Variant&)> makeSetter(S setter,
                                                             T (*convert)(const Variant&)) {
    if constexpr (std::is_same_v<S, std::nullptr_t>) {
        (void)convert;
        return nullptr;
    } else {
        return [setter, convert](TPersistent* p, const Variant& v) {
            std::invoke(setter, self<C>(p), convert(v));
        };
    }
}
inline int32_t toInt(const Variant& v) {
    return v.AsInteger();
}
inline int64_t toInt64(const Variant& v) {
    return v.AsInt64();
}
inline double toFloat(const Variant& v) {
    return v.AsFloat();
}
inline std::string toString(const Variant& v) {
    return v.AsString();
}
inline bool toBool(const Variant& v) {
    return v.AsBoolean();
}
inline Variant toVariant(const Variant& v) {
    return v;
}
/// A property of a simple kind: the getter's result is held in the variant as a Held, and
/// a value set is converted by convert before it reaches the setter.
template <class Held, class C, class G, class S, class T>
TPropInfo simpleProperty(std::string name, TTypeKind kind, std::string typeName, G getter, S setter,
                         T (*convert)(const Variant&)) {
    TPropInfo p = info(std::move(name), kind, std::move(typeName));
    p.getValue = [getter](const TPersistent* o) {
        return Variant(static_cast<Held>(std::invoke(getter, self<C>(o))));
    };
    p.setValue = makeSetter<C>(setter, convert);
    return p;
}
} // namespace detail

/// A 32-bit integer property. getter: callable on const C& returning an integer;
/// setter: callable on (C&, int) or nullptr for a read-only property.
template <class C, class G, class S>
TPropInfo IntegerProperty(std::string name, G getter, S setter) {
    return detail::simpleProperty<int32_t, C>(std::move(name), tkInteger, "Integer", getter, setter,
                                              &detail::toInt);
}

/// A 64-bit integer property.
template <class C, class G, class S> TPropInfo Int64Property(std::string name, G getter, S setter) {
    return detail::simpleProperty<long long, C>(std::move(name), tkInt64, "Int64", getter, setter,
                                                &detail::toInt64);
}

/// A floating-point property.
template <class C, class G, class S> TPropInfo FloatProperty(std::string name, G getter, S setter) {
    return detail::simpleProperty<double, C>(std::move(name), tkFloat, "Double", getter, setter,
                                             &detail::toFloat);
}

/// A text property.
template <class C, class G, class S>
TPropInfo StringProperty(std::string name, G getter, S setter) {
    return detail::simpleProperty<std::string, C>(std::move(name), tkString, "string", getter,
                                                  setter, &detail::toString);
}

/// A Boolean property.
template <class C, class G, class S> TPropInfo BoolProperty(std::string name, G getter, S setter) {
    return detail::simpleProperty<bool, C>(std::move(name), tkBool, "Boolean", getter, setter,
                                           &detail::toBool);
}

/// A variant property (written with its value's type).
template <class C, class G, class S>
TPropInfo VariantProperty(std::string name, G getter, S setter) {
    return detail::simpleProperty<Variant, C>(std::move(name), tkVariant, "Variant", getter, setter,
                                              &detail::toVariant);
}

/// An enumeration property of type E, whose values are named by ordinal in names.
template <class C, class E, class G, class S>
TPropInfo EnumProperty(std::string name, std::string typeName, std::vector<std::string> names,
                       G getter, S setter) {
    TPropInfo p =
        detail::info(std::move(name), tkEnumeration, std::move(typeName), std::move(names));
    p.getValue = [getter](const TPersistent* o) {
        return Variant(
            static_cast<int32_t>(static_cast<E>(std::invoke(getter, detail::self<C>(o)))));
    };
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
        p.setValue = [setter](TPersistent* o, const Variant& v) {
            std::invoke(setter, detail::self<C>(o), static_cast<E>(v.AsInteger()));
        };
    }
    return p;
}

/// A set property (TSet<E>), whose element values are named by ordinal in names.
template <class C, class E, class G, class S>
TPropInfo SetProperty(std::string name, std::string typeName, std::vector<std::string> names,
                      G getter, S setter) {
    TPropInfo p = detail::info(std::move(name), tkSet, std::move(typeName), std::move(names));
    p.getValue = [getter](const TPersistent* o) {
        return Variant(
            static_cast<long long>(TSet<E>(std::invoke(getter, detail::self<C>(o))).Bits()));
    };
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
        p.setValue = [setter](TPersistent* o, const Variant& v) {
            std::invoke(setter, detail::self<C>(o),
                        TSet<E>::FromBits(static_cast<uint64_t>(v.AsInt64())));
        };
    }
    return p;
}

/// An owned sub-object (TStrings, TCollection, nested persistent), written and read in
/// place. getter returns a pointer to a TPersistent descendant.
template <class C, class G>
TPropInfo ObjectProperty(std::string name, std::string typeName, G getter) {
    TPropInfo p = detail::info(std::move(name), tkClass, std::move(typeName));
    p.getObject = [getter](const TPersistent* o) -> TPersistent* {
        return const_cast<TPersistent*>(
            static_cast<const TPersistent*>(std::invoke(getter, detail::self<C>(o))));
    };
    return p;
}

/// A reference to another component (of class T), written by name and resolved after
/// the whole tree is read. setter: callable on (C&, T*) or nullptr.
template <class C, class T, class G, class S>
TPropInfo ComponentProperty(std::string name, std::string typeName, G getter, S setter) {
    TPropInfo p = detail::info(std::move(name), tkClass, std::move(typeName));
    p.isReference = true;
    p.getObject = [getter](const TPersistent* o) -> TPersistent* {
        return const_cast<TPersistent*>(
            static_cast<const TPersistent*>(std::invoke(getter, detail::self<C>(o))));
    };
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
        p.setObject = [setter](TPersistent* o, TPersistent* value) {
            T* typed = value ? dynamic_cast<T*>(value) : nullptr;
            std::invoke(setter, detail::self<C>(o), typed);
        };
    }
    return p;
}

/// Finds a handler in the root's method table (defined with TComponent).
template <class Sig>
typename TEvent<Sig>::Function findMethodIn(TComponent* root, const std::string& name);

/// An event property of type TEvent<Sig>. getter returns the event (by value or
/// reference); setter takes a TEvent<Sig>.
template <class C, class Sig, class G, class S>
TPropInfo EventProperty(std::string name, std::string typeName, G getter, S setter) {
    TPropInfo p = detail::info(std::move(name), tkMethod, std::move(typeName));
    p.getHandlerName = [getter](const TPersistent* o) -> std::string {
        const TEvent<Sig>& ev = std::invoke(getter, detail::self<C>(o));
        return ev ? ev.HandlerName() : std::string();
    };
    p.setHandler = [setter](TPersistent* o, const std::string& handler, TComponent* root) {
        if (handler.empty()) {
            std::invoke(setter, detail::self<C>(o), TEvent<Sig>());
            return true;
        }
        auto fn = findMethodIn<Sig>(root, handler);
        if (!fn)
            return false;
        std::invoke(setter, detail::self<C>(o), TEvent<Sig>(std::move(fn), handler));
        return true;
    };
    return p;
}

} // namespace tovrin::host

// Component editors, the generic property editor and the design-time registry.
#include "tovrin5/design/DesignRegistry.h"

#include <algorithm>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Persistent.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::design {

std::string TComponentClass::BitmapName() const {
    return host::UpperCase(Name);
}

// --- TComponentEditor -------------------------------------------------------------------

void TComponentEditor::ExecuteVerb(int /*Index*/) {}

std::string TComponentEditor::GetVerb(int /*Index*/) {
    return {};
}

int TComponentEditor::GetVerbCount() {
    return 0;
}

void TComponentEditor::Edit() {
    if (GetVerbCount() > 0) {
        ExecuteVerb(0);
    }
}

void TComponentEditor::PrepareItem(int /*Index*/, TMenuItem& /*AItem*/) {}

void TComponentEditor::Copy() {}

// --- TPropertyEditor --------------------------------------------------------------------

TPropertyAttributes TPropertyEditor::GetAttributes() {
    TPropertyAttributes result{paMultiSelect, paRevertable};
    switch (m_prop.kind) {
    case host::tkBool:
    case host::tkEnumeration:
        result.Include(paValueList).Include(paSortList);
        break;
    case host::tkClass:
        if (!m_prop.isReference) {
            // An owned object is edited through its own properties.
            result.Include(paReadOnly);
            if (m_prop.getObject && m_prop.getObject(m_instance) != nullptr) {
                result.Include(paSubProperties);
            }
            return result;
        }
        break;
    case host::tkSet:
        // A set is edited member by member.
        result.Include(paSubProperties).Include(paReadOnly);
        return result;
    default:
        break;
    }
    if (m_prop.readOnly()) {
        result.Include(paReadOnly);
    }
    return result;
}

std::string TPropertyEditor::GetValue() {
    switch (m_prop.kind) {
    case host::tkClass: {
        host::TPersistent* object = m_prop.getObject ? m_prop.getObject(m_instance) : nullptr;
        if (object == nullptr) {
            return {};
        }
        if (m_prop.isReference) {
            if (const auto* component = dynamic_cast<const host::TComponent*>(object)) {
                return component->Name();
            }
        }
        return "(" + object->ClassName() + ")";
    }
    case host::tkMethod:
        return m_prop.getHandlerName ? m_prop.getHandlerName(m_instance) : std::string();
    case host::tkEnumeration: {
        const int32_t ordinal = m_prop.getValue(m_instance).AsInteger();
        if (ordinal >= 0 && static_cast<size_t>(ordinal) < m_prop.enumNames.size()) {
            return m_prop.enumNames[static_cast<size_t>(ordinal)];
        }
        return host::IntToStr(ordinal);
    }
    case host::tkSet: {
        const auto bits = static_cast<uint64_t>(m_prop.getValue(m_instance).AsInt64());
        std::string text = "[";
        for (size_t i = 0; i < m_prop.enumNames.size() && i < 64; ++i) {
            if ((bits & (uint64_t{1} << i)) != 0) {
                if (text.size() > 1) {
                    text += ",";
                }
                text += m_prop.enumNames[i];
            }
        }
        return text + "]";
    }
    case host::tkBool:
        return m_prop.getValue(m_instance).AsBoolean() ? "True" : "False";
    default:
        return m_prop.getValue ? m_prop.getValue(m_instance).AsString() : std::string();
    }
}

void TPropertyEditor::SetValue(const std::string& Value) {
    if (!m_prop.setValue) {
        throw host::Exception("Property " + m_prop.name + " is read-only");
    }
    host::Variant value;
    switch (m_prop.kind) {
    case host::tkInteger: {
        int64_t number = 0;
        if (!host::TryStrToInt64(host::Trim(Value), number) || number < INT32_MIN ||
            number > INT32_MAX) {
            throw host::EConvertError("Invalid property value");
        }
        value = host::Variant(static_cast<int32_t>(number));
        break;
    }
    case host::tkInt64: {
        int64_t number = 0;
        if (!host::TryStrToInt64(host::Trim(Value), number)) {
            throw host::EConvertError("Invalid property value");
        }
        value = host::Variant(static_cast<long long>(number));
        break;
    }
    case host::tkFloat: {
        double number = 0;
        if (!host::TryStrToFloat(host::Trim(Value), number)) {
            throw host::EConvertError("Invalid property value");
        }
        value = host::Variant(number);
        break;
    }
    case host::tkBool:
        if (host::SameText(host::Trim(Value), "True")) {
            value = host::Variant(true);
        } else if (host::SameText(host::Trim(Value), "False")) {
            value = host::Variant(false);
        } else {
            throw host::EConvertError("Invalid property value");
        }
        break;
    case host::tkEnumeration: {
        const auto it = std::find_if(
            m_prop.enumNames.begin(), m_prop.enumNames.end(),
            [&](const std::string& n) { return host::SameText(n, host::Trim(Value)); });
        if (it == m_prop.enumNames.end()) {
            throw host::EConvertError("Invalid property value");
        }
        value = host::Variant(static_cast<int32_t>(it - m_prop.enumNames.begin()));
        break;
    }
    case host::tkString:
    case host::tkVariant:
        value = host::Variant(Value);
        break;
    default:
        throw host::EConvertError("Invalid property value");
    }
    m_prop.setValue(m_instance, value);
    modified();
}

void TPropertyEditor::GetValues(const std::function<void(const std::string&)>& Proc) {
    if (m_prop.kind == host::tkBool) {
        Proc("False");
        Proc("True");
    } else if (m_prop.kind == host::tkEnumeration) {
        for (const std::string& name : m_prop.enumNames) {
            Proc(name);
        }
    }
}

void TPropertyEditor::Edit() {}

void TPropertyEditor::modified() {
    if (m_designer != nullptr) {
        m_designer->Modified();
    }
}

// --- TDesignRegistry --------------------------------------------------------------------

void TDesignRegistry::RegisterComponents(const std::string& Page,
                                         const std::vector<TComponentClass>& Classes) {
    std::lock_guard guard(m_lock);
    auto page = std::find_if(m_pages.begin(), m_pages.end(),
                             [&](const struct Page& p) { return host::SameText(p.name, Page); });
    if (page == m_pages.end()) {
        m_pages.push_back({Page, {}});
        page = m_pages.end() - 1;
    }
    for (const TComponentClass& cls : Classes) {
        const bool present =
            std::any_of(page->classes.begin(), page->classes.end(),
                        [&](const TComponentClass& c) { return host::SameText(c.Name, cls.Name); });
        if (!present) {
            page->classes.push_back(cls);
        }
        host::RegisterClass(cls.Name, cls.Create);
    }
}

void TDesignRegistry::RegisterComponentEditor(const TComponentClass& ComponentClass,
                                              TComponentEditorFactory Editor) {
    std::lock_guard guard(m_lock);
    std::erase_if(m_componentEditors, [&](const ComponentEditorEntry& e) {
        return host::SameText(e.componentClass.Name, ComponentClass.Name);
    });
    m_componentEditors.push_back({ComponentClass, std::move(Editor)});
}

void TDesignRegistry::RegisterPropertyEditor(const std::string& PropertyType,
                                             const std::optional<TComponentClass>& ComponentClass,
                                             const std::string& PropertyName,
                                             TPropertyEditorFactory Editor) {
    std::lock_guard guard(m_lock);
    std::erase_if(m_propertyEditors, [&](const PropertyEditorEntry& e) {
        return host::SameText(e.propertyType, PropertyType) &&
               e.componentClass.has_value() == ComponentClass.has_value() &&
               (!ComponentClass || host::SameText(e.componentClass->Name, ComponentClass->Name)) &&
               host::SameText(e.propertyName, PropertyName);
    });
    m_propertyEditors.push_back({PropertyType, ComponentClass, PropertyName, std::move(Editor)});
}

std::vector<std::string> TDesignRegistry::Pages() const {
    std::lock_guard guard(m_lock);
    std::vector<std::string> names;
    for (const Page& p : m_pages) {
        names.push_back(p.name);
    }
    return names;
}

std::vector<TComponentClass> TDesignRegistry::PageComponents(const std::string& Page) const {
    std::lock_guard guard(m_lock);
    for (const struct Page& p : m_pages) {
        if (host::SameText(p.name, Page)) {
            return p.classes;
        }
    }
    return {};
}

std::optional<TComponentClass> TDesignRegistry::FindComponentClass(const std::string& Name) const {
    std::lock_guard guard(m_lock);
    for (const Page& p : m_pages) {
        for (const TComponentClass& c : p.classes) {
            if (host::SameText(c.Name, Name)) {
                return c;
            }
        }
    }
    return std::nullopt;
}

std::string TDesignRegistry::PageOf(const std::string& ClassName) const {
    std::lock_guard guard(m_lock);
    for (const Page& p : m_pages) {
        for (const TComponentClass& c : p.classes) {
            if (host::SameText(c.Name, ClassName)) {
                return p.name;
            }
        }
    }
    return {};
}

host::TComponent* TDesignRegistry::CreateComponent(const std::string& ClassName,
                                                   host::TComponent* Owner) const {
    const std::optional<TComponentClass> cls = FindComponentClass(ClassName);
    if (!cls) {
        throw host::EClassNotFound("Class " + ClassName + " not found");
    }
    return cls->Create(Owner);
}

const TDesignRegistry::ComponentEditorEntry*
TDesignRegistry::findComponentEditor(const host::TComponent* c) const {
    for (auto it = m_componentEditors.rbegin(); it != m_componentEditors.rend(); ++it) {
        if (it->componentClass.IsInstance(c)) {
            return &*it;
        }
    }
    return nullptr;
}

std::unique_ptr<TComponentEditor> TDesignRegistry::GetComponentEditor(host::TComponent* Component,
                                                                      TDesigner* Designer) const {
    TComponentEditorFactory factory;
    {
        std::lock_guard guard(m_lock);
        if (const ComponentEditorEntry* entry = findComponentEditor(Component)) {
            factory = entry->factory;
        }
    }
    if (factory) {
        return factory(Component, Designer);
    }
    return std::make_unique<TComponentEditor>(Component, Designer);
}

bool TDesignRegistry::HasComponentEditor(const host::TComponent* Component) const {
    std::lock_guard guard(m_lock);
    return findComponentEditor(Component) != nullptr;
}

std::unique_ptr<TPropertyEditor> TDesignRegistry::GetPropertyEditor(host::TPersistent* Instance,
                                                                    const std::string& PropertyName,
                                                                    TDesigner* Designer) const {
    const std::optional<host::TPropInfo> prop = host::GetPropInfo(Instance, PropertyName);
    if (!prop) {
        return nullptr;
    }
    TPropertyEditorFactory factory;
    {
        std::lock_guard guard(m_lock);
        int best = -1;
        for (const PropertyEditorEntry& e : m_propertyEditors) {
            if (!host::SameText(e.propertyType, prop->typeName)) {
                continue;
            }
            if (e.componentClass && !e.componentClass->IsInstance(Instance)) {
                continue;
            }
            if (!e.propertyName.empty() && !host::SameText(e.propertyName, prop->name)) {
                continue;
            }
            const int score = (e.propertyName.empty() ? 0 : 2) + (e.componentClass ? 1 : 0);
            if (score >= best) {
                best = score;
                factory = e.factory;
            }
        }
    }
    if (factory) {
        return factory(Instance, *prop, Designer);
    }
    return std::make_unique<TPropertyEditor>(Instance, *prop, Designer);
}

void TDesignRegistry::Clear() {
    std::lock_guard guard(m_lock);
    m_pages.clear();
    m_componentEditors.clear();
    m_propertyEditors.clear();
}

TDesignRegistry& DesignRegistry() {
    // Built on first use, so that it does not depend on the order of static initialisation.
    static TDesignRegistry registry;
    return registry;
}

} // namespace tovrin::design

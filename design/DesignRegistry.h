// What a designer (or any tool that edits components) works with: component classes known
// by name, component editors with their verbs, property editors, and the registry that a
// package's Register procedure fills: palette pages with their components, the component
// editor of a class, the property editor of a property type.
//
//   tovrin::Register();                                   // the package registers itself
//   auto& registry = tovrin::design::DesignRegistry();
//   for (const auto& cls : registry.PageComponents("Tovrin")) ...
//   host::TComponent* c = registry.CreateComponent("TSybConnect", form);
//   auto editor = registry.GetComponentEditor(c);
//   editor->ExecuteVerb(0);
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/host/Sets.h"

namespace tovrin::design {

/// The designer that hosts an editor. Editors tell it when they changed a component so
/// that it can mark the form modified; a tool without such a notion passes nullptr.
class TDesigner {
public:
    virtual ~TDesigner() = default;
    virtual void Modified() = 0;
};

/// A component class known by name: how to recognise its instances (descendants included)
/// and how to create one.
struct TComponentClass {
    std::string Name;
    std::function<bool(const host::TPersistent*)> IsInstance;
    host::TComponentFactory Create;

    /// Name of the class's palette bitmap: the class name in upper case.
    [[nodiscard]] std::string BitmapName() const;
};

/// The class reference of T, whose ClassName() is name.
template <class T> TComponentClass ComponentClassOf(std::string name) {
    TComponentClass c;
    c.Name = std::move(name);
    c.IsInstance = [](const host::TPersistent* p) { return dynamic_cast<const T*>(p) != nullptr; };
    c.Create = [](host::TComponent* owner) -> host::TComponent* { return new T(owner); };
    return c;
}

/// A menu entry of a component editor's verb, as PrepareItem may adjust it.
struct TMenuItem {
    std::string Caption;
    bool Enabled = true;
    bool Visible = true;
    bool Checked = false;
};

/// Edits a component as a whole: a list of verbs (shown in the component's context menu)
/// and the action of a double click. This base class has no verbs.
class TComponentEditor {
public:
    TComponentEditor(host::TComponent* AComponent, TDesigner* ADesigner) noexcept
        : m_component(AComponent), m_designer(ADesigner) {}
    virtual ~TComponentEditor() = default;
    TComponentEditor(const TComponentEditor&) = delete;
    TComponentEditor& operator=(const TComponentEditor&) = delete;

    [[nodiscard]] host::TComponent* Component() const noexcept { return m_component; }
    [[nodiscard]] TDesigner* Designer() const noexcept { return m_designer; }

    virtual void ExecuteVerb(int Index);
    [[nodiscard]] virtual std::string GetVerb(int Index);
    [[nodiscard]] virtual int GetVerbCount();
    /// The double-click action: executes verb 0 when there is one.
    virtual void Edit();
    /// Lets the editor adjust the menu entry of verb Index before it is shown; the default
    /// leaves it as it is.
    virtual void PrepareItem(int Index, TMenuItem& AItem);
    /// Puts extra formats of the component on the clipboard; the default adds none.
    virtual void Copy();

private:
    host::TComponent* m_component;
    TDesigner* m_designer;
};

/// What the object inspector may do with a property.
enum TPropertyAttribute {
    paValueList,     ///< GetValues lists the values to choose from
    paSubProperties, ///< the value is an object with properties of its own
    paDialog,        ///< Edit opens a dialog (the inspector shows an ellipsis button)
    paMultiSelect,   ///< may be edited on several components at once
    paAutoUpdate,    ///< SetValue after every key stroke
    paSortList,      ///< the value list is sorted
    paReadOnly,      ///< the value text cannot be typed into
    paRevertable     ///< the property can be reverted to its inherited value
};
using TPropertyAttributes = host::TSet<TPropertyAttribute>;

/// Edits one published property of one instance. This base class is the generic editor
/// used for properties without a registered one: the value as text, values to choose
/// from for Booleans and enumerations, read-only text for objects and read-only
/// properties.
class TPropertyEditor {
public:
    TPropertyEditor(host::TPersistent* AInstance, host::TPropInfo AProp, TDesigner* ADesigner)
        : m_instance(AInstance), m_prop(std::move(AProp)), m_designer(ADesigner) {}
    virtual ~TPropertyEditor() = default;
    TPropertyEditor(const TPropertyEditor&) = delete;
    TPropertyEditor& operator=(const TPropertyEditor&) = delete;

    [[nodiscard]] host::TPersistent* Instance() const noexcept { return m_instance; }
    [[nodiscard]] const host::TPropInfo& Prop() const noexcept { return m_prop; }
    [[nodiscard]] TDesigner* Designer() const noexcept { return m_designer; }
    [[nodiscard]] const std::string& GetName() const noexcept { return m_prop.name; }

    [[nodiscard]] virtual TPropertyAttributes GetAttributes();
    /// The value as the inspector shows it.
    [[nodiscard]] virtual std::string GetValue();
    /// Sets the value from text. Raises host::EConvertError "Invalid property value" for
    /// text the property cannot take, host::Exception "Property <name> is read-only" for a
    /// read-only property; tells the designer after a change.
    virtual void SetValue(const std::string& Value);
    /// The values to choose from (paValueList).
    virtual void GetValues(const std::function<void(const std::string&)>& Proc);
    /// The dialog of paDialog; the default does nothing.
    virtual void Edit();

protected:
    void modified();

private:
    host::TPersistent* m_instance;
    host::TPropInfo m_prop;
    TDesigner* m_designer;
};

using TComponentEditorFactory =
    std::function<std::unique_ptr<TComponentEditor>(host::TComponent*, TDesigner*)>;
using TPropertyEditorFactory = std::function<std::unique_ptr<TPropertyEditor>(
    host::TPersistent*, const host::TPropInfo&, TDesigner*)>;

/// The factory of editor class E.
template <class E> TComponentEditorFactory ComponentEditorOf() {
    return [](host::TComponent* c, TDesigner* d) { return std::make_unique<E>(c, d); };
}
template <class E> TPropertyEditorFactory PropertyEditorOf() {
    return [](host::TPersistent* i, const host::TPropInfo& p, TDesigner* d) {
        return std::make_unique<E>(i, p, d);
    };
}

/// What registration produced, for designers and tools. Thread-safe.
class TDesignRegistry {
public:
    /// Puts the classes on the palette page (created when new), in order; a class already
    /// on the page keeps its place. The classes also become known to component streaming.
    void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);
    /// Makes Editor the component editor of ComponentClass and its descendants; a later
    /// registration for the same class replaces it.
    void RegisterComponentEditor(const TComponentClass& ComponentClass,
                                 TComponentEditorFactory Editor);
    /// Makes Editor the editor of properties of type PropertyType. ComponentClass limits
    /// it to that class and its descendants (nullopt: any class); PropertyName to
    /// properties of that name (empty: any name, compared case-insensitively). A later
    /// registration with the same three keys replaces the earlier one.
    void RegisterPropertyEditor(const std::string& PropertyType,
                                const std::optional<TComponentClass>& ComponentClass,
                                const std::string& PropertyName, TPropertyEditorFactory Editor);

    /// Palette pages in the order they were first registered.
    [[nodiscard]] std::vector<std::string> Pages() const;
    /// The classes on a page (compared case-insensitively); empty for an unknown page.
    [[nodiscard]] std::vector<TComponentClass> PageComponents(const std::string& Page) const;
    /// The class registered on any page under this name (case-insensitive).
    [[nodiscard]] std::optional<TComponentClass> FindComponentClass(const std::string& Name) const;
    /// The page holding the class; empty when it is on none.
    [[nodiscard]] std::string PageOf(const std::string& ClassName) const;

    /// A new instance of a palette class, owned by Owner. Raises host::EClassNotFound
    /// "Class <name> not found" for a class on no page.
    host::TComponent* CreateComponent(const std::string& ClassName, host::TComponent* Owner) const;
    /// The editor of the component: the one registered for its class (the latest
    /// registration whose class the component is an instance of), else a TComponentEditor
    /// without verbs.
    [[nodiscard]] std::unique_ptr<TComponentEditor>
    GetComponentEditor(host::TComponent* Component, TDesigner* Designer = nullptr) const;
    /// True when a component editor other than the default applies to the component.
    [[nodiscard]] bool HasComponentEditor(const host::TComponent* Component) const;
    /// The editor of a published property of Instance, or nullptr when there is no such
    /// property. Among the registrations for the property's type that match, one naming
    /// the property wins over one that does not, then one naming a class over one that
    /// does not, then the later one; without any, the generic TPropertyEditor.
    [[nodiscard]] std::unique_ptr<TPropertyEditor>
    GetPropertyEditor(host::TPersistent* Instance, const std::string& PropertyName,
                      TDesigner* Designer = nullptr) const;

    /// Forgets every registration (the classes stay known to streaming).
    void Clear();

private:
    struct Page {
        std::string name;
        std::vector<TComponentClass> classes;
    };
    struct ComponentEditorEntry {
        TComponentClass componentClass;
        TComponentEditorFactory factory;
    };
    struct PropertyEditorEntry {
        std::string propertyType;
        std::optional<TComponentClass> componentClass;
        std::string propertyName;
        TPropertyEditorFactory factory;
    };
    const ComponentEditorEntry* findComponentEditor(const host::TComponent* c) const;

    mutable std::mutex m_lock;
    std::vector<Page> m_pages;
    std::vector<ComponentEditorEntry> m_componentEditors;
    std::vector<PropertyEditorEntry> m_propertyEditors;
};

/// The process's registry.
[[nodiscard]] TDesignRegistry& DesignRegistry();

} // namespace tovrin::design

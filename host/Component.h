// TComponent: the framework's component with an owner that destroys it, a name unique
// among its owner's components, state flags, Loaded after streaming, notifications of
// insertion and removal, free notification, and a method table of named handlers that
// component streaming uses to resolve events.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tovrin5/host/Events.h"
#include "tovrin5/host/Persistent.h"
#include "tovrin5/host/Sets.h"

namespace tovrin::host {

enum TComponentStateItem {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification,
    csInline,
    csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    /// Creates the component; when AOwner is given it is inserted into AOwner's components
    /// (AOwner then destroys it).
    explicit TComponent(TComponent* AOwner);
    /// Marks the component csDestroying, sends opRemove to every component that asked for
    /// free notification, destroys the owned components (last first) and leaves the owner.
    ~TComponent() override;

    [[nodiscard]] std::string ClassName() const override { return "TComponent"; }

    [[nodiscard]] TComponent* Owner() const noexcept { return m_owner; }
    [[nodiscard]] int ComponentCount() const noexcept {
        return static_cast<int>(m_components.size());
    }
    /// Owned component by index; raises EListError "List index out of bounds (<i>)".
    [[nodiscard]] TComponent* Components(int Index) const;
    /// Position in the owner's list; -1 without owner.
    [[nodiscard]] int ComponentIndex() const;
    /// Owned component of that name (case-insensitive ASCII); nullptr when none.
    [[nodiscard]] TComponent* FindComponent(const std::string& AName) const;

    /// Takes AComponent over from its present owner.
    void InsertComponent(TComponent* AComponent);
    /// Gives AComponent up (it then has no owner).
    void RemoveComponent(TComponent* AComponent);
    /// Destroys every owned component, last first.
    void DestroyComponents();
    /// Sets csDestroying on this component and all owned ones (idempotent). Derived
    /// destructors may call it first so that their own cleanup sees the flag.
    void Destroying();

    [[nodiscard]] const std::string& Name() const noexcept { return m_name; }
    /// Renames: the name must be empty or an identifier (letters, digits, "_", not starting
    /// with a digit) and unique among the owner's components (case-insensitive).
    /// Raises EComponentError "'<name>' is not a valid component name" or "A component
    /// named <name> already exists".
    virtual void SetName(const std::string& NewName);
    [[nodiscard]] int64_t Tag() const noexcept { return m_tag; }
    void SetTag(int64_t value) noexcept { m_tag = value; }

    [[nodiscard]] TComponentState ComponentState() const noexcept { return m_state; }
    /// Sets or clears csDesigning on this component and, when Children, its owned ones.
    void SetDesigning(bool Value, bool Children = true);
    /// Flag helpers used by the streaming (csLoading, csReading, csWriting, ...).
    void SetComponentStateFlag(TComponentStateItem item, bool on);

    /// Asks for opRemove notification when AComponent is destroyed (and tells AComponent
    /// the same about this one).
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    /// Registers a handler of the root's method table under a name; events read from a
    /// stream whose root is this component are resolved here.
    template <class Sig> void RegisterMethod(const std::string& AName, std::function<Sig> handler) {
        m_methods[methodKey(AName)] = std::move(handler);
    }
    /// The handler registered under AName with that signature; empty when none.
    template <class Sig>
    [[nodiscard]] std::function<Sig> MethodAddress(const std::string& AName) const {
        auto it = m_methods.find(methodKey(AName));
        if (it == m_methods.end())
            return {};
        if (const auto* fn = std::any_cast<std::function<Sig>>(&it->second))
            return *fn;
        return {};
    }
    /// An event bound to a registered handler (raises EInvalidOperation when unknown).
    template <class Sig> [[nodiscard]] TEvent<Sig> Method(const std::string& AName) const {
        auto fn = MethodAddress<Sig>(AName);
        if (!fn)
            throwMethodNotFound(AName);
        return TEvent<Sig>(std::move(fn), AName);
    }

    void GetPublishedProperties(TPropList& list) const override;
    [[nodiscard]] TPersistent* GetOwner() const override { return m_owner; }
    [[nodiscard]] std::string GetNamePath() const override { return m_name; }

    /// Calls Proc for each component written inside this component's block by the
    /// streaming, in order. The default lists every owned component; override it to keep
    /// components the class makes for itself (default fields, receivers) out of the stream.
    virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) const;

    /// Called by the streaming after a whole tree is read, references resolved;
    /// the default clears csLoading.
    virtual void Loaded();
    /// Told of components inserted into or removed from the owner, and of the destruction
    /// of components asked for free notification. The default forwards the notification to
    /// every owned component and forgets a removed component's free notification.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

    /// For streaming: component readers use it to tell the instance it is about to be
    /// read (sets csLoading and csReading) and done (clears csReading).
    virtual void ReadStateBegin();
    virtual void ReadStateEnd();

protected:
    /// Validates a rename before it happens (default: the rules of SetName).
    virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName);

private:
    static std::string methodKey(const std::string& name);
    [[noreturn]] static void throwMethodNotFound(const std::string& name);
    void insertChild(TComponent* c);
    void removeChild(TComponent* c);

    TComponent* m_owner = nullptr;
    std::vector<TComponent*> m_components;
    std::vector<TComponent*> m_freeNotifies;
    std::string m_name;
    int64_t m_tag = 0;
    TComponentState m_state;
    std::map<std::string, std::any> m_methods;
};

template <class Sig>
typename TEvent<Sig>::Function findMethodIn(TComponent* root, const std::string& name) {
    if (!root)
        return {};
    return root->MethodAddress<Sig>(name);
}

/// True for names made of letters, digits and "_" not starting with a digit.
[[nodiscard]] bool IsValidIdent(const std::string& name) noexcept;

} // namespace tovrin::host

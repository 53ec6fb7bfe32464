// TComponent: ownership, names, state flags and notifications.
#include "tovrin5/host/Component.h"

#include <algorithm>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

bool IsValidIdent(const std::string& name) noexcept {
    if (name.empty())
        return false;
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!letter(name[0]))
        return false;
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Tell every component that asked about this one, last first.
    while (!m_freeNotifies.empty()) {
        TComponent* other = m_freeNotifies.back();
        m_freeNotifies.pop_back();
        auto& theirs = other->m_freeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        try {
            other->Notification(this, opRemove);
        } catch (...) {
            // Destructors never throw; a failing notification is dropped.
        }
    }
    try {
        DestroyComponents();
    } catch (...) {
    }
    if (m_owner) {
        try {
            m_owner->RemoveComponent(this);
        } catch (...) {
            m_owner->removeChild(this);
        }
    }
}

TComponent* TComponent::Components(int Index) const {
    if (Index < 0 || Index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return m_components[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
    if (!m_owner)
        return -1;
    auto& list = m_owner->m_components;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    if (AName.empty())
        return nullptr;
    for (TComponent* c : m_components) {
        if (SameText(c->m_name, AName))
            return c;
    }
    return nullptr;
}

void TComponent::insertChild(TComponent* c) {
    m_components.push_back(c);
    c->m_owner = this;
}

void TComponent::removeChild(TComponent* c) {
    auto it = std::find(m_components.begin(), m_components.end(), c);
    if (it != m_components.end())
        m_components.erase(it);
    c->m_owner = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (!AComponent || AComponent->m_owner == this)
        return;
    if (!AComponent->m_name.empty()) {
        if (TComponent* existing = FindComponent(AComponent->m_name);
            existing && existing != AComponent)
            throw EComponentError("A component named " + AComponent->m_name + " already exists");
    }
    if (AComponent->m_owner)
        AComponent->m_owner->RemoveComponent(AComponent);
    insertChild(AComponent);
    if (m_state.Contains(csDesigning))
        AComponent->SetDesigning(true);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (!AComponent || AComponent->m_owner != this)
        return;
    try {
        Notification(AComponent, opRemove);
    } catch (...) {
        removeChild(AComponent);
        throw;
    }
    removeChild(AComponent);
}

void TComponent::DestroyComponents() {
    while (!m_components.empty()) {
        TComponent* c = m_components.back();
        // Removing with notification lets the siblings forget references to it.
        try {
            RemoveComponent(c);
        } catch (...) {
            removeChild(c);
        }
        delete c;
    }
}

void TComponent::Destroying() {
    if (m_state.Contains(csDestroying))
        return;
    m_state.Include(csDestroying);
    for (TComponent* c : m_components)
        c->Destroying();
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
    (void)CurName;
    if (!NewName.empty() && !SameText(CurName, NewName)) {
        if (TComponent* existing = FindComponent(NewName); existing && existing != AComponent)
            throw EComponentError("A component named " + NewName + " already exists");
    }
}

void TComponent::SetName(const std::string& NewName) {
    if (m_name == NewName)
        return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError("'" + NewName + "' is not a valid component name");
    if (m_owner)
        m_owner->ValidateRename(this, m_name, NewName);
    m_name = NewName;
}

void TComponent::SetDesigning(bool Value, bool Children) {
    SetComponentStateFlag(csDesigning, Value);
    if (Children) {
        for (TComponent* c : m_components)
            c->SetDesigning(Value, true);
    }
}

void TComponent::SetComponentStateFlag(TComponentStateItem item, bool on) {
    if (on)
        m_state.Include(item);
    else
        m_state.Exclude(item);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this)
        return;
    if (!m_owner || AComponent->m_owner != m_owner) {
        if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), AComponent) ==
            m_freeNotifies.end()) {
            m_freeNotifies.push_back(AComponent);
            AComponent->FreeNotification(this);
        }
    }
    m_state.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (!AComponent)
        return;
    auto it = std::find(m_freeNotifies.begin(), m_freeNotifies.end(), AComponent);
    if (it == m_freeNotifies.end())
        return;
    m_freeNotifies.erase(it);
    AComponent->RemoveFreeNotification(this);
    if (m_freeNotifies.empty())
        m_state.Exclude(csFreeNotification);
}

void TComponent::GetPublishedProperties(TPropList& list) const {
    TPersistent::GetPublishedProperties(list);
    list.push_back(Int64Property<TComponent>("Tag", &TComponent::Tag, &TComponent::SetTag)
                       .withDefault(Variant(0)));
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc,
                             TComponent* /*Root*/) const {
    for (TComponent* c : m_components)
        Proc(c);
}

void TComponent::Loaded() {
    m_state.Exclude(csLoading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent)
        RemoveFreeNotification(AComponent);
    // By index: a handler may remove components from the list while we walk it.
    for (size_t i = 0; i < m_components.size(); ++i)
        m_components[i]->Notification(AComponent, Operation);
}

void TComponent::ReadStateBegin() {
    m_state.Include(csLoading);
    m_state.Include(csReading);
}

void TComponent::ReadStateEnd() {
    m_state.Exclude(csReading);
}

std::string TComponent::methodKey(const std::string& name) {
    return UpperCase(name);
}

void TComponent::throwMethodNotFound(const std::string& name) {
    throw EInvalidOperation("Method " + name + " not found");
}

} // namespace tovrin::host

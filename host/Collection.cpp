// TCollection and TCollectionItem.
#include "tovrin5/host/Collection.h"

#include <algorithm>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

TCollectionItem::TCollectionItem(TCollection* Collection) {
    if (Collection)
        Collection->insertItem(this);
}

TCollectionItem::~TCollectionItem() {
    if (m_collection) {
        try {
            m_collection->removeItem(this);
        } catch (...) {
            // Destructors never throw; the item is gone from the list either way.
        }
    }
}

void TCollectionItem::SetCollection(TCollection* Value) {
    if (m_collection == Value)
        return;
    if (m_collection)
        m_collection->removeItem(this);
    if (Value)
        Value->insertItem(this);
}

int TCollectionItem::Index() const {
    if (!m_collection)
        return -1;
    auto& items = m_collection->m_items;
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
    int current = Index();
    if (current < 0 || current == Value)
        return;
    auto& items = m_collection->m_items;
    if (Value < 0 || Value >= static_cast<int>(items.size()))
        throw EListError("List index out of bounds (" + std::to_string(Value) + ")");
    items.erase(items.begin() + current);
    items.insert(items.begin() + Value, this);
    Changed(true);
}

std::string TCollectionItem::DisplayName() const {
    return ClassName();
}

TPersistent* TCollectionItem::GetOwner() const {
    return m_collection;
}

std::string TCollectionItem::GetNamePath() const {
    if (!m_collection)
        return ClassName();
    return m_collection->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

void TCollectionItem::Changed(bool AllItems) {
    if (m_collection && m_collection->m_updateCount == 0)
        m_collection->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(std::string itemClassName, ItemFactory factory)
    : m_itemClassName(std::move(itemClassName)), m_factory(std::move(factory)) {}

TCollection::~TCollection() {
    m_destroying = true;
    m_updateCount = 1; // no Update calls while the items go
    while (!m_items.empty()) {
        TCollectionItem* item = m_items.back();
        m_items.pop_back();
        item->m_collection = nullptr;
        delete item;
    }
}

TCollectionItem* TCollection::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return m_items[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::Add() {
    if (!m_factory)
        throw EInvalidOperation("Collection of " + m_itemClassName + " cannot create items");
    TCollectionItem* item = m_factory(this);
    if (item && item->m_collection != this)
        item->SetCollection(this);
    return item;
}

TCollectionItem* TCollection::Insert(int Index) {
    if (Index < 0 || Index > Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    TCollectionItem* item = Add();
    item->SetIndex(Index);
    return item;
}

void TCollection::Delete(int Index) {
    TCollectionItem* item = Items(Index);
    Notify(item, cnDeleting);
    delete item;
}

void TCollection::Clear() {
    if (m_items.empty())
        return;
    BeginUpdate();
    try {
        while (!m_items.empty())
            delete m_items.back();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(int ID) const {
    for (TCollectionItem* item : m_items) {
        if (item->m_id == ID)
            return item;
    }
    return nullptr;
}

void TCollection::BeginUpdate() {
    ++m_updateCount;
}

void TCollection::EndUpdate() {
    if (m_updateCount <= 0)
        return;
    if (--m_updateCount == 0)
        Changed();
}

void TCollection::Assign(TPersistent* Source) {
    if (auto* other = dynamic_cast<TCollection*>(Source)) {
        if (other == this)
            return;
        BeginUpdate();
        try {
            Clear();
            for (TCollectionItem* item : other->m_items)
                Add()->Assign(item);
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        return;
    }
    TPersistent::Assign(Source);
}

std::string TCollection::GetNamePath() const {
    TPersistent* owner = GetOwner();
    if (!owner)
        return ClassName();
    std::string path = owner->GetNamePath();
    if (path.empty() || m_propName.empty())
        return path.empty() ? ClassName() : path;
    return path + "." + m_propName;
}

void TCollection::Update(TCollectionItem* /*Item*/) {}

void TCollection::Notify(TCollectionItem* /*Item*/, TCollectionNotification /*Action*/) {}

void TCollection::Changed() {
    if (m_updateCount == 0 && !m_destroying)
        Update(nullptr);
}

void TCollection::insertItem(TCollectionItem* item) {
    m_items.push_back(item);
    item->m_collection = this;
    item->m_id = m_nextId++;
    Notify(item, cnAdded);
    Changed();
}

void TCollection::removeItem(TCollectionItem* item) {
    if (!m_destroying)
        Notify(item, cnExtracting);
    auto it = std::find(m_items.begin(), m_items.end(), item);
    if (it != m_items.end())
        m_items.erase(it);
    item->m_collection = nullptr;
    Changed();
}

} // namespace tovrin::host

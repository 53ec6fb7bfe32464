// TList and TThreadList.
#include "tovrin5/host/Lists.h"

#include <algorithm>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

TList::~TList() = default;

void TList::checkIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void* TList::Items(int Index) const {
    checkIndex(Index);
    return m_items[static_cast<size_t>(Index)];
}

void TList::SetItem(int Index, void* Item) {
    checkIndex(Index);
    m_items[static_cast<size_t>(Index)] = Item;
}

int TList::Add(void* Item) {
    m_items.push_back(Item);
    return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
    if (Index < 0 || Index > Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    m_items.insert(m_items.begin() + Index, Item);
}

void TList::Delete(int Index) {
    checkIndex(Index);
    m_items.erase(m_items.begin() + Index);
}

int TList::Remove(void* Item) {
    int i = IndexOf(Item);
    if (i >= 0)
        Delete(i);
    return i;
}

void* TList::Extract(void* Item) {
    int i = IndexOf(Item);
    if (i < 0)
        return nullptr;
    Delete(i);
    return Item;
}

int TList::IndexOf(const void* Item) const noexcept {
    auto it = std::find(m_items.begin(), m_items.end(), Item);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

void TList::Exchange(int Index1, int Index2) {
    checkIndex(Index1);
    checkIndex(Index2);
    std::swap(m_items[static_cast<size_t>(Index1)], m_items[static_cast<size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex)
        return;
    checkIndex(CurIndex);
    checkIndex(NewIndex);
    void* item = m_items[static_cast<size_t>(CurIndex)];
    m_items.erase(m_items.begin() + CurIndex);
    m_items.insert(m_items.begin() + NewIndex, item);
}

void* TList::First() const {
    return Items(0);
}
void* TList::Last() const {
    return Items(Count() - 1);
}

void TList::Pack() {
    m_items.erase(std::remove(m_items.begin(), m_items.end(), nullptr), m_items.end());
}

void TList::SetCapacity(int NewCapacity) {
    if (NewCapacity < Count())
        throw EListError("List capacity out of bounds (" + std::to_string(NewCapacity) + ")");
    m_items.reserve(static_cast<size_t>(NewCapacity));
}

void TList::Sort(const std::function<int(void*, void*)>& Compare) {
    std::stable_sort(m_items.begin(), m_items.end(),
                     [&](void* a, void* b) { return Compare(a, b) < 0; });
}

TThreadList::~TThreadList() = default;

void TThreadList::Add(void* Item) {
    std::lock_guard guard(m_lock);
    if (m_duplicates == dupAccept || m_list.IndexOf(Item) < 0) {
        m_list.Add(Item);
    } else if (m_duplicates == dupError) {
        throw EListError("Duplicates not allowed in this list");
    }
}

void TThreadList::Remove(void* Item) {
    std::lock_guard guard(m_lock);
    m_list.Remove(Item);
}

void TThreadList::Clear() {
    std::lock_guard guard(m_lock);
    m_list.Clear();
}

TList* TThreadList::LockList() {
    m_lock.lock();
    return &m_list;
}

void TThreadList::UnlockList() {
    m_lock.unlock();
}

} // namespace tovrin::host

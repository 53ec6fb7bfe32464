// TList, a list of untyped pointers with checked indices, and TThreadList, a TList behind
// a lock that the thread holding it may take again (re-entrant).
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "tovrin5/host/Persistent.h"

namespace tovrin::host {

/// How a list treats an item that is already present.
enum TDuplicates { dupIgnore, dupAccept, dupError };

/// A list of pointers; it does not own what they point to. Index errors raise
/// EListError "List index out of bounds (<index>)".
class TList : public TObject {
public:
    TList() = default;
    ~TList() override;
    [[nodiscard]] std::string ClassName() const override { return "TList"; }

    [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_items.size()); }
    [[nodiscard]] void* Items(int Index) const;
    void SetItem(int Index, void* Item);
    [[nodiscard]] void* operator[](int Index) const { return Items(Index); }
    /// Appends; returns the new item's index.
    int Add(void* Item);
    /// Inserts before Index (0..Count).
    void Insert(int Index, void* Item);
    void Delete(int Index);
    /// Removes the first occurrence; returns its former index or -1.
    int Remove(void* Item);
    /// Removes the first occurrence and returns it; nullptr when absent.
    void* Extract(void* Item);
    [[nodiscard]] int IndexOf(const void* Item) const noexcept;
    void Clear() noexcept { m_items.clear(); }
    void Exchange(int Index1, int Index2);
    void Move(int CurIndex, int NewIndex);
    [[nodiscard]] void* First() const;
    [[nodiscard]] void* Last() const;
    /// Removes nil entries.
    void Pack();
    [[nodiscard]] int Capacity() const noexcept { return static_cast<int>(m_items.capacity()); }
    void SetCapacity(int NewCapacity);
    /// Sorts with a three-way comparison (negative: a before b).
    void Sort(const std::function<int(void*, void*)>& Compare);
    /// Direct access to the items.
    [[nodiscard]] std::vector<void*>& List() noexcept { return m_items; }
    [[nodiscard]] const std::vector<void*>& List() const noexcept { return m_items; }

private:
    void checkIndex(int Index) const;
    std::vector<void*> m_items;
};

/// A TList guarded by a lock re-entrant for the thread that holds it. Add and Remove
/// take the lock themselves; LockList returns the list with the lock held until the
/// matching UnlockList.
class TThreadList : public TObject {
public:
    TThreadList() = default;
    ~TThreadList() override;
    [[nodiscard]] std::string ClassName() const override { return "TThreadList"; }

    /// Adds unless present (dupIgnore, the default), always (dupAccept) or raises
    /// EListError "Duplicates not allowed in this list" when present (dupError).
    void Add(void* Item);
    void Remove(void* Item);
    void Clear();
    /// Takes the lock (waiting for other threads; immediate when this thread holds it).
    TList* LockList();
    void UnlockList();
    [[nodiscard]] TDuplicates Duplicates() const noexcept { return m_duplicates; }
    void SetDuplicates(TDuplicates value) noexcept { m_duplicates = value; }

private:
    std::recursive_mutex m_lock;
    TList m_list;
    TDuplicates m_duplicates = dupIgnore;
};

/// Holds a TThreadList's lock for a scope.
class TThreadListLock {
public:
    explicit TThreadListLock(TThreadList& list) : m_list(list), m_items(list.LockList()) {}
    ~TThreadListLock() { m_list.UnlockList(); }
    TThreadListLock(const TThreadListLock&) = delete;
    TThreadListLock& operator=(const TThreadListLock&) = delete;
    [[nodiscard]] TList* list() const noexcept { return m_items; }

private:
    TThreadList& m_list;
    TList* m_items;
};

} // namespace tovrin::host

// TCollection and TCollectionItem: an owned, ordered list of items of one class, streamed
// as `< item ... end >` with each item's published properties.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tovrin5/host/Persistent.h"

namespace tovrin::host {

class TCollection;

/// One item of a collection; belongs to (and is destroyed by) its collection.
class TCollectionItem : public TPersistent {
public:
    /// Creates the item and, when Collection is given, appends it there.
    explicit TCollectionItem(TCollection* Collection);
    /// Leaves the collection.
    ~TCollectionItem() override;
    [[nodiscard]] std::string ClassName() const override { return "TCollectionItem"; }

    [[nodiscard]] TCollection* Collection() const noexcept { return m_collection; }
    /// Moves the item into another collection (or out of any with nullptr).
    void SetCollection(TCollection* Value);
    /// Position in the collection; -1 when none.
    [[nodiscard]] int Index() const;
    void SetIndex(int Value);
    /// Number unique within the collection, given when the item is added.
    [[nodiscard]] int ID() const noexcept { return m_id; }
    [[nodiscard]] virtual std::string DisplayName() const;
    [[nodiscard]] TPersistent* GetOwner() const override;
    [[nodiscard]] std::string GetNamePath() const override;

protected:
    /// Tells the collection that the item changed (AllItems false) or that items were
    /// added or removed (true).
    void Changed(bool AllItems);

private:
    friend class TCollection;
    TCollection* m_collection = nullptr;
    int m_id = 0;
};

/// Ordered list of items created by a factory; the collection owns them.
class TCollection : public TPersistent {
public:
    using ItemFactory = std::function<TCollectionItem*(TCollection*)>;

    /// itemClassName names the item class in messages; factory creates one new item and
    /// appends it to the given collection (typically `new TMyItem(collection)`).
    TCollection(std::string itemClassName, ItemFactory factory);
    ~TCollection() override;
    [[nodiscard]] std::string ClassName() const override { return "TCollection"; }

    [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_items.size()); }
    /// Item by index; raises EListError "List index out of bounds (<index>)".
    [[nodiscard]] TCollectionItem* Items(int Index) const;
    /// A new item appended at the end.
    TCollectionItem* Add();
    /// A new item at Index.
    TCollectionItem* Insert(int Index);
    void Delete(int Index);
    void Clear();
    [[nodiscard]] TCollectionItem* FindItemID(int ID) const;
    [[nodiscard]] const std::string& ItemClassName() const noexcept { return m_itemClassName; }

    void BeginUpdate();
    void EndUpdate();
    [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }

    /// Replaces the items with new ones assigned from Source's items (same item class).
    void Assign(TPersistent* Source) override;
    [[nodiscard]] TPersistent* GetOwner() const override { return m_owner; }
    void SetOwner(TPersistent* owner) noexcept { m_owner = owner; }
    [[nodiscard]] std::string GetNamePath() const override;
    /// Name of the owner's property holding this collection (for GetNamePath).
    void SetPropName(std::string name) { m_propName = std::move(name); }

protected:
    /// Called when Item changed, or with nullptr when items were added, removed or
    /// reordered; never while updates are batched (then once at the last EndUpdate).
    virtual void Update(TCollectionItem* Item);
    /// Called after an item was added and before it is removed.
    enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };
    virtual void Notify(TCollectionItem* Item, TCollectionNotification Action);
    void Changed();

private:
    friend class TCollectionItem;
    void insertItem(TCollectionItem* item);
    void removeItem(TCollectionItem* item);

    std::string m_itemClassName;
    ItemFactory m_factory;
    std::vector<TCollectionItem*> m_items;
    TPersistent* m_owner = nullptr;
    std::string m_propName;
    int m_nextId = 0;
    int m_updateCount = 0;
    bool m_destroying = false;
};

} // namespace tovrin::host

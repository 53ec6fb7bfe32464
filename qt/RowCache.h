// The rows a TDataSetModel has read from its dataset: a fixed number of slots, each
// holding one record's cells, a record going to the slot its number selects. Rows next to
// each other never share a slot, so a screenful of rows stays cached while it shows; a
// row read far away replaces only the row it collides with. Lookup is one index and one
// comparison, and the memory is bounded by the slot count, whatever the dataset's size.
#pragma once

#include <QString>
#include <QVariant>

#include <cstddef>
#include <vector>

namespace tovrin::qt {

/// One field of one record as the model shows it.
struct CachedCell {
    QString display; ///< the field's display text ("" for NULL)
    QVariant value;  ///< the typed value (invalid for NULL)
    bool isNull = true;
};

/// One record: its cells in column order.
struct CachedRow {
    int storedRow = -1;   ///< the record's row among the stored records, -1: slot empty
    int updateStatus = 0; ///< the record's host::TUpdateStatus when it was read
    std::vector<CachedCell> cells;
};

class RowCache final {
public:
    /// Slots for this many rows (at least 1).
    explicit RowCache(int slotCount = 4096);

    /// The cached row, or null when that row is not in the cache.
    [[nodiscard]] const CachedRow* find(int storedRow) const noexcept {
        const CachedRow& slot = m_slots[slotOf(storedRow)];
        return slot.storedRow == storedRow ? &slot : nullptr;
    }
    /// The slot for a row, emptied of whatever row it held and marked as this row's; the
    /// caller fills its cells.
    CachedRow& take(int storedRow);
    /// Forgets one row (when cached).
    void forget(int storedRow) noexcept;
    /// Forgets every row; the slots keep their memory for the next reads.
    void clear() noexcept;
    [[nodiscard]] int slotCount() const noexcept { return static_cast<int>(m_slots.size()); }
    /// Bytes held: the slots, the cells and the text of the cells.
    [[nodiscard]] std::size_t bytes() const;

private:
    [[nodiscard]] std::size_t slotOf(int storedRow) const noexcept {
        return static_cast<std::size_t>(storedRow) % m_slots.size();
    }
    std::vector<CachedRow> m_slots;
};

} // namespace tovrin::qt

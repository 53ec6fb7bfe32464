// The model's row cache: direct-mapped slots of cells.
#include "tovrin5/qt/RowCache.h"

#include <QByteArray>

#include <algorithm>

namespace tovrin::qt {

RowCache::RowCache(int slotCount) : m_slots(static_cast<std::size_t>(std::max(slotCount, 1))) {}

CachedRow& RowCache::take(int storedRow) {
    CachedRow& slot = m_slots[slotOf(storedRow)];
    slot.storedRow = storedRow;
    slot.cells.clear();
    return slot;
}

void RowCache::forget(int storedRow) noexcept {
    if (storedRow < 0)
        return;
    CachedRow& slot = m_slots[slotOf(storedRow)];
    if (slot.storedRow == storedRow)
        slot.storedRow = -1;
}

void RowCache::clear() noexcept {
    for (CachedRow& slot : m_slots)
        slot.storedRow = -1;
}

std::size_t RowCache::bytes() const {
    std::size_t total = m_slots.capacity() * sizeof(CachedRow);
    for (const CachedRow& slot : m_slots) {
        total += slot.cells.capacity() * sizeof(CachedCell);
        for (const CachedCell& cell : slot.cells) {
            total += static_cast<std::size_t>(cell.display.capacity()) * sizeof(QChar);
            if (cell.value.type() == QVariant::String)
                total += static_cast<std::size_t>(cell.value.toString().capacity()) * sizeof(QChar);
            else if (cell.value.type() == QVariant::ByteArray)
                total += static_cast<std::size_t>(cell.value.toByteArray().capacity());
        }
    }
    return total;
}

} // namespace tovrin::qt

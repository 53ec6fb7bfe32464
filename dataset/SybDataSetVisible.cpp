// TSybDataSet: the positions of the records a filter shows. Under a filter, the number of
// a record among those shown (RecNo), the record shown at a number (SetRecNo) and the
// count of shown records come from a table built with one filter test per stored record.
// The table is kept until the filter, the records or their order change, so walking the
// shown records and reading each number costs no more filter tests than the walk itself.
#include "tovrin5/dataset/SybDataSet.h"

namespace tovrin {

using namespace host;

void TSybDataSet::SetFiltered(bool Value) {
    visibleChanged();
    TDataSet::SetFiltered(Value);
}

void TSybDataSet::SetFilter(const std::string& Value) {
    visibleChanged();
    TDataSet::SetFilter(Value);
}

void TSybDataSet::SetFilterOptions(TFilterOptions Value) {
    visibleChanged();
    TDataSet::SetFilterOptions(Value);
}

void TSybDataSet::SetOnFilterRecord(TFilterRecordEvent Value) {
    visibleChanged();
    TDataSet::SetOnFilterRecord(std::move(Value));
}

bool TSybDataSet::visibleTableHolds() const noexcept {
    return !FVisibleStale && FVisibleNumber.size() == FRecords.size();
}

bool TSybDataSet::shownInTable(int Index) const noexcept {
    const auto i = static_cast<std::size_t>(Index);
    return FVisibleNumber[i] > (Index > 0 ? FVisibleNumber[i - 1] : 0);
}

void TSybDataSet::noteFilterResult(int Index, bool Accepted) noexcept {
    // A handler may read more than the record (a setting of the application, another
    // dataset); when a test disagrees with the table, the table is built afresh.
    if (visibleTableHolds() && Index >= 0 && Index < static_cast<int>(FRecords.size()) &&
        shownInTable(Index) != Accepted)
        FVisibleStale = true;
}

void TSybDataSet::buildVisibleTable() {
    const auto count = static_cast<int>(FRecords.size());
    // The filter runs on copies of the stored records: the internal position and the
    // display buffers stay as they are.
    const int32_t savedRec = FCurRec;
    std::vector<int32_t> rows;
    std::vector<int32_t> numbers(static_cast<std::size_t>(count));
    FVisibleStale = true; // so it stays when a handler throws or changes the records
    try {
        const TScratchRecord scratch(*this);
        for (int i = 0; i < count; ++i) {
            // A handler that changed the records (a refresh) placed the position
            // itself; the table would describe a list that is gone, so the tests stop.
            if (static_cast<int>(FRecords.size()) != count)
                return;
            if (acceptsStored(i, scratch.Get()))
                rows.push_back(i);
            numbers[static_cast<std::size_t>(i)] = static_cast<int32_t>(rows.size());
        }
    } catch (...) {
        FCurRec = savedRec;
        throw;
    }
    FCurRec = savedRec;
    FVisibleRows = std::move(rows);
    FVisibleNumber = std::move(numbers);
    FVisibleStale = false;
}

bool TSybDataSet::ensureVisibleTable() {
    if (!visibleTableHolds())
        buildVisibleTable();
    return visibleTableHolds();
}

int TSybDataSet::visibleNumber(int Index) {
    if (!IsFiltered())
        return Index + 1;
    if (Index < 0 || !ensureVisibleTable() || Index >= static_cast<int>(FVisibleNumber.size()))
        return 0;
    return FVisibleNumber[static_cast<std::size_t>(Index)];
}

int TSybDataSet::visibleIndex(int Number) {
    const auto count = static_cast<int>(FRecords.size());
    if (Number < 1 || Number > count)
        return -1;
    if (!IsFiltered())
        return Number - 1;
    if (!ensureVisibleTable() || Number > static_cast<int>(FVisibleRows.size()))
        return -1;
    return FVisibleRows[static_cast<std::size_t>(Number) - 1];
}

int TSybDataSet::visibleCount() {
    if (!IsFiltered())
        return static_cast<int>(FRecords.size());
    if (!ensureVisibleTable())
        return 0;
    return static_cast<int>(FVisibleRows.size());
}

} // namespace tovrin

// TSybQuery: Refresh. The SQL runs again and its rows replace the stored records under the
// same fields, so that the application's field references stay valid; a record found again
// by its key values keeps its identity (its bookmarks stay valid), and the cursor comes
// back to the record it was on.
#include <algorithm>
#include <cstring>
#include <vector>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

using namespace host;

std::vector<TField*> TSybQuery::refreshKeyFields() {
    std::vector<TField*> keys;
    if (!FKeyFields.empty()) {
        GetFieldList(keys, FKeyFields);
    } else {
        for (TField* f : Fields())
            if (f->FieldKind() == fkData && f->FieldNo() > 0 && !isBlobSlot(f))
                keys.push_back(f);
    }
    return keys;
}

// The stored records as Refresh found them: a copy of each record's bytes (only the key
// slots are read from it later) and its identity.
struct TSybQuery::TRefreshSnapshot {
    std::vector<char> Bytes;
    std::vector<int32_t> Ids;
};

bool TSybQuery::numberRecordsKeeping(TRefreshSnapshot& Old, const std::vector<TField*>& Keys) {
    const auto count = static_cast<int32_t>(FRecords.size());
    if (FNextRecordId < 1 || INT32_MAX - FNextRecordId <= count)
        return false; // identities start again: numberRecords
    const std::size_t size = static_cast<std::size_t>(FRecordSize);
    const std::size_t oldCount = Old.Ids.size();
    char* bytes = Old.Bytes.data();
    const auto oldRecord = [&](std::size_t i) { return bytes + i * size; };
    // The old records in key order, each new record looked up by halving: equal keys are
    // matched in the order the records had, each old record at most once.
    std::vector<std::size_t> order(oldCount);
    for (std::size_t i = 0; i < oldCount; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return _InternalCompareRecords(Keys, oldRecord(a), oldRecord(b), {}) < 0;
    });
    std::vector<bool> taken(oldCount, false);
    int32_t lowest = FNextRecordId;
    for (char* record : FRecords) {
        auto at = std::partition_point(order.begin(), order.end(), [&](std::size_t i) {
            return _InternalCompareRecords(Keys, oldRecord(i), record, {}) < 0;
        });
        while (at != order.end() && taken[*at] &&
               _InternalCompareRecords(Keys, oldRecord(*at), record, {}) == 0)
            ++at;
        int32_t id = 0;
        if (at != order.end() && _InternalCompareRecords(Keys, oldRecord(*at), record, {}) == 0) {
            taken[*at] = true;
            id = Old.Ids[*at];
        } else {
            id = FNextRecordId++;
        }
        setRecordId(record, id);
        lowest = std::min(lowest, id);
    }
    // Identities between the lowest kept one and the next name either a record or none;
    // new records take fresh ones only, so the range grows only by what is new.
    FFirstRecordId = lowest;
    FPositionOfId.clear();
    recordsMoved();
    return true;
}

void TSybQuery::InternalRefresh() {
    if (FMaster != nullptr)
        return;
    // Reading the rows again would drop the changes not yet applied.
    if (UpdatesPending())
        DatabaseError("Refresh would lose the changes not yet applied: apply or cancel them first",
                      this);
    // The current record as it is stored now; its key slots are compared with the new
    // rows byte format to byte format, which the same SQL lays out the same way.
    const auto oldCount = static_cast<int>(FRecords.size());
    const int oldPos = FCurRec;
    std::vector<char> current;
    if (!IsEmpty() && oldPos >= 0 && oldPos < oldCount)
        current.assign(FRecords[static_cast<std::size_t>(oldPos)],
                       FRecords[static_cast<std::size_t>(oldPos)] + FRecordSize);
    const std::vector<TField*> keys = refreshKeyFields();
    const int32_t oldDataSize = FDataSize;
    const std::size_t oldColumns = FFetchFields.size();
    // Blob slots hold references to holders the release frees: never compared.
    const bool keysComparable =
        !keys.empty() &&
        std::none_of(keys.begin(), keys.end(), [](TField* f) { return isBlobSlot(f); });
    TRefreshSnapshot snapshot;
    if (keysComparable) {
        snapshot.Bytes.reserve(FRecords.size() * static_cast<std::size_t>(FRecordSize));
        for (const char* record : FRecords) {
            snapshot.Bytes.insert(snapshot.Bytes.end(), record, record + FRecordSize);
            snapshot.Ids.push_back(recordId(record));
        }
    }

    const bool defaults = DefaultFields();
    auto fail = [&] {
        SetDefaultFields(defaults);
        SetState(dsInactive);
        CloseCursor();
    };
    try {
        detachBlobStreams();
        releaseEditBlobs();
        releaseStoredRecords();
        ClearFetchFields();
        FCursorOpen = false;
        FListSorted = false;
        recordsMoved();
        // The fields stay: the new result is bound to them by name.
        SetDefaultFields(false);
        if (FDataLink && FDataLink->DataSource())
            SetParamsFromCursor();
        InternalExec();
        SetDefaultFields(defaults);
        if (!FCursorOpen)
            DatabaseError("Refresh: the SQL returned no rows", this);
        const bool sameLayout = FDataSize == oldDataSize && FFetchFields.size() == oldColumns;
        if (!(keysComparable && sameLayout && numberRecordsKeeping(snapshot, keys)))
            numberRecords();
        // The layout may differ from the one the display buffers were made for.
        SetBufListSize(0);
        SetBufListSize(BufferCount() + 1);
        if (FAutoSort && !FSortFieldList.empty() && !FRecords.empty()) {
            _InternalQuickSort(FSortFieldList, 0, static_cast<int>(FRecords.size()) - 1);
            recordsMoved();
            FListSorted = true;
        }
    } catch (...) {
        fail();
        throw;
    }

    const auto count = static_cast<int>(FRecords.size());
    int target = -1;
    if (!current.empty() && !keys.empty() && FDataSize == oldDataSize &&
        FFetchFields.size() == oldColumns) {
        for (int i = 0; i < count && target < 0; ++i)
            if (_InternalCompareRecords(keys, current.data(), FRecords[static_cast<std::size_t>(i)],
                                        {}) == 0)
                target = i;
    }
    if (target < 0)
        target = std::min(oldPos, count - 1);
    FCurRec = target < 0 ? -1 : target;
}

} // namespace tovrin

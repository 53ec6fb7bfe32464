// TSybQuery: Refresh. The SQL runs again and its rows replace the stored records under the
// same fields, so that the application's field references stay valid; the cursor comes
// back to the record it was on, found by its key values.
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

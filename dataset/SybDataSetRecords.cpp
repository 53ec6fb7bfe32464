// TSybDataSet: the record list, opening and closing, navigation with filtering, record
// counts, and storing edited, inserted and appended records.
#include <cstring>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"

namespace tovrin {

using namespace host;

TSybDataSet::TSybDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TSybDataSet::~TSybDataSet() {
    Destroying();
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; the records are released below in any case.
    }
    releaseRecords();
    discardParked();
    ClearFetchFields();
}

void TSybDataSet::releaseRecords() noexcept {
    detachBlobStreams();
    releaseEditBlobs();
    if (FOldBuffer) {
        freeBlock(FOldBuffer);
        FOldBuffer = nullptr;
    }
    releaseStoredRecords();
}

void TSybDataSet::InternalExec() {}

bool TSybDataSet::IsFiltered() {
    return false;
}

// ---- opening and closing ----------------------------------------------------------------------

void TSybDataSet::InternalOpen() {
    InternalExec();
    numberRecords();
    FCurRec = -1;
    SetBookmarkSize(4);
}

void TSybDataSet::InternalClose() {
    releaseRecords();
    FRecords.shrink_to_fit();
    ClearFetchFields();
    FCurRec = -1;
    FPositionOfId.clear();
    recordsMoved();
    FVisibleRows.clear();
    FVisibleNumber.clear();
    FListSorted = false;
    FCursorOpen = false;
    FStore.Reset(0);
    FSortFieldList.clear(); // its fields may go with the default fields; rebuilt at open
    BindFields(false);
    if (DefaultFields())
        DestroyFields();
}

void TSybDataSet::DoAfterOpen() {
    try {
        BuildFieldList(FSortFieldList, FSortFields);
    } catch (...) {
        FSortFields.clear();
        throw;
    }
    if (FAutoSort)
        Sort(FSortOptions);
    TDataSet::DoAfterOpen();
}

void TSybDataSet::DoOnNewRecord() {
    TDataSet::DoOnNewRecord();
}

// ---- navigation ---------------------------------------------------------------------------------

void TSybDataSet::InternalFirst() {
    FCurRec = -1;
}

void TSybDataSet::InternalLast() {
    FCurRec = static_cast<int32_t>(FRecords.size());
}

TRecordBuffer TSybDataSet::StoredRecord(int Index) const {
    if (Index < 0 || Index >= StoredRecordCount())
        throw EListError("List index out of bounds (%d)", {Index});
    return FRecords[static_cast<std::size_t>(Index)];
}

TGetResult TSybDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
    const auto count = static_cast<int32_t>(FRecords.size());
    for (;;) {
        TGetResult result = grOK;
        switch (GetMode) {
        case gmCurrent:
            if (FCurRec < count)
                result = FCurRec < 0 ? grBOF : grOK;
            else
                result = grEOF;
            break;
        case gmNext:
            if (FCurRec < count - 1)
                ++FCurRec;
            else
                result = grEOF;
            break;
        case gmPrior:
            if (FCurRec > 0)
                --FCurRec;
            else
                result = grBOF;
            break;
        }
        if (result != grOK)
            return result;

        // The copy carries the record's identity, which is its bookmark.
        std::memcpy(Buffer, FRecords[static_cast<std::size_t>(FCurRec)],
                    static_cast<std::size_t>(FRecordSize));
        Buffer[FRecordInfoOffset + 4] = static_cast<char>(bfCurrent);
        // A filter computes the record's calculated fields before it tests the record;
        // without one they are computed here.
        const bool filtered = IsFiltered();
        const bool accepted = !filtered || FilterRecord(Buffer);
        if (filtered)
            noteFilterResult(FCurRec, accepted);
        if (!accepted && GetMode == gmCurrent)
            return grError;
        if (!filtered)
            GetCalcFields(Buffer);
        if (accepted)
            return grOK;
    }
}

bool TSybDataSet::FilterRecord(TRecordBuffer Buffer) {
    if (!IsFiltered())
        return true;
    return testFilter(Buffer);
}

bool TSybDataSet::testFilter(TRecordBuffer Buffer) {
    bool accept = true;
    const TDataSetState saved = SetTempState(dsFilter);
    TRecordBuffer savedFilterBuffer = FFilterBuffer;
    FFilterBuffer = Buffer;
    try {
        // The handler and the expression may read calculated fields: they see the values
        // of the record under test, not those of an earlier record.
        if (CalcFieldsSize() > 0) {
            ClearCalcFields(Buffer);
            GetCalcFields(Buffer);
        }
        accept = RecordMatchesFilter();
        AbortIfClosing(); // the handler closed the dataset: stop what filtered
    } catch (...) {
        // The handler's exception goes to the caller, with the state and the controls as
        // they were before the test.
        FFilterBuffer = savedFilterBuffer;
        RestoreState(saved);
        throw;
    }
    FFilterBuffer = savedFilterBuffer;
    RestoreState(saved);
    return accept;
}

int TSybDataSet::GetRecordCount() {
    if (!IsFiltered())
        return static_cast<int>(FRecords.size());
    const TDataSetState saved = SetTempState(dsBrowse);
    int count = 0;
    try {
        count = visibleCount();
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
    return count;
}

void TSybDataSet::ClearCalcFields(TRecordBuffer Buffer) {
    if (!Buffer || CalcFieldsSize() <= 0 || FRecordSize <= FFieldOffsets[0])
        return;
    std::memset(Buffer + FFieldOffsets[0], 0,
                static_cast<std::size_t>(FRecordSize - FFieldOffsets[0]));
}

// ---- the record list --------------------------------------------------------------------------

void TSybDataSet::_InternalAdd(TRecordBuffer Buffer) {
    setRecordId(Buffer, takeRecordId());
    FRecords.push_back(Buffer);
    visibleChanged();
    if (!FPositionsStale)
        FPositionOfId.back() = static_cast<int32_t>(FRecords.size()) - 1;
    FListSorted = false;
}

void TSybDataSet::_InternalInsert(int Pos, TRecordBuffer Buffer) {
    if (Pos < 0)
        Pos = 0;
    if (Pos >= static_cast<int>(FRecords.size())) {
        _InternalAdd(Buffer);
        return;
    }
    setRecordId(Buffer, takeRecordId());
    FRecords.insert(FRecords.begin() + Pos, Buffer);
    recordsMoved();
    FListSorted = false;
}

void TSybDataSet::AddRecord(TRecordBuffer Buffer) {
    FRecords.push_back(Buffer);
    visibleChanged();
}

// ---- editing ----------------------------------------------------------------------------------

// Starts an edit or insert afresh: no blob written by an earlier one, and a copy of the
// active record as it is now for dsOldValue.
void TSybDataSet::beginRecordChange() {
    detachBlobStreams();
    releaseEditBlobs();
    if (FOldBuffer)
        freeBlock(FOldBuffer);
    FOldBuffer = nullptr;
    auto* copy = new char[static_cast<std::size_t>(FRecordSize > 0 ? FRecordSize : 1)];
    std::memcpy(copy, ActiveBuffer(), static_cast<std::size_t>(FRecordSize));
    FOldBuffer = copy;
}

void TSybDataSet::InternalEdit() {
    TDataSet::InternalEdit();
    beginRecordChange();
}

void TSybDataSet::InternalInsert() {
    TDataSet::InternalInsert();
    beginRecordChange();
}

void TSybDataSet::InternalCancel() {
    detachBlobStreams();
    if (FOldBuffer)
        freeBlock(FOldBuffer);
    FOldBuffer = nullptr;
    releaseEditBlobs();
    TDataSet::InternalCancel();
}

void TSybDataSet::InternalPost() {
    // What a blob stream still open has written belongs to the record being posted.
    flushBlobStreams();
    CheckRequiredFields();
    TRecordBuffer active = ActiveBuffer();
    int p;
    if (State() == dsEdit) {
        // The edited buffer carries its record's identity: wherever a sort or an insert
        // moved the record meanwhile, the edit goes over that record.
        p = positionOfId(recordId(active));
        if (p < 0)
            DatabaseError(dbconsts::SRecordNotFound, this);
        TRecordBuffer stored = FRecords[static_cast<std::size_t>(p)];
        // The values as fetched are kept the first time the record changes.
        const TUpdateStatus status = notePendingEdit(stored);
        commitEditBlobs(active, stored);
        std::memcpy(stored, active, static_cast<std::size_t>(FRecordSize));
        setRecordStatus(stored, status);
        visibleChanged(); // the new values may pass the filter or fail it
    } else {
        // A new record goes in front of the record whose bookmark the host stored in the
        // buffer (the one that was current), or last when appended; it gets an identity
        // of its own when stored.
        TRecordBuffer block = AllocStoredRecord();
        std::memcpy(block, active, static_cast<std::size_t>(FRecordSize));
        try {
            if (GetBookmarkFlag(active) == bfEOF) {
                _InternalAdd(block);
                p = static_cast<int>(FRecords.size()) - 1;
            } else {
                const int before = positionOfId(recordId(active));
                p = before < 0 ? 0 : before;
                _InternalInsert(p, block);
            }
        } catch (...) {
            freeBlock(block);
            throw;
        }
        notePendingInsert(block);
        commitEditBlobs(active, nullptr);
    }
    if (FAutoSort && !FSortFieldList.empty())
        p = Resort(p);
    // The posted record is the current one: the host re-reads the window from here.
    FCurRec = p;
    detachBlobStreams();
    if (FOldBuffer)
        freeBlock(FOldBuffer);
    FOldBuffer = nullptr;
}

void TSybDataSet::InternalAddRecord(void* Buffer, bool Append) {
    TRecordBuffer block = AllocStoredRecord();
    std::memcpy(block, Buffer, static_cast<std::size_t>(FRecordSize));
    try {
        if (Append)
            _InternalAdd(block);
        else
            _InternalInsert(FCurRec, block);
    } catch (...) {
        freeBlock(block);
        throw;
    }
    notePendingInsert(block);
}

} // namespace tovrin

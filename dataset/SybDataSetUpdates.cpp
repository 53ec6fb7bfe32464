// TSybDataSet: pending changes. A stored record carries its update status in its
// record-info area; the values as fetched of an edited record and the records deleted are
// kept aside, keyed by record identity, until the changes are applied or cancelled.
#include <algorithm>
#include <cstring>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Fields.h"

namespace tovrin {

using namespace host;

TUpdateStatus TSybDataSet::UpdateStatus() const {
    if (State() == dsInsert)
        return usInserted;
    const TRecordBuffer active = ActiveBuffer();
    if (!FCursorOpen || !active || IsEmpty())
        return usUnmodified;
    return RecordStatus(active);
}

TSybDataSet::TPendingChange* TSybDataSet::findPending(int32_t Id) {
    const auto it = FPendingIndex.find(Id);
    return it == FPendingIndex.end() ? nullptr : &FPending[it->second];
}

const TSybDataSet::TPendingChange* TSybDataSet::findPending(int32_t Id) const {
    const auto it = FPendingIndex.find(Id);
    return it == FPendingIndex.end() ? nullptr : &FPending[it->second];
}

void TSybDataSet::rebuildPendingIndex() {
    FPendingIndex.clear();
    for (std::size_t i = 0; i < FPending.size(); ++i)
        FPendingIndex[FPending[i].Id] = i;
}

TRecordBuffer TSybDataSet::copyRecord(const char* Buffer) {
    TRecordBuffer copy = AllocStoredRecord();
    std::memcpy(copy, Buffer, static_cast<std::size_t>(FRecordSize));
    if (!layoutHasBlobs())
        return copy;
    // The copy must not share holders with the record: either may be released alone.
    auto ownSlot = [&](char* slot) {
        TBTBlob* blob;
        std::memcpy(&blob, slot + 1, sizeof blob);
        if (!blob)
            return;
        auto* own = new TBTBlob();
        own->SetValue(blob->Value());
        std::memcpy(slot + 1, &own, sizeof own);
    };
    for (const int32_t offset : blobSlotOffsets())
        ownSlot(copy + offset);
    return copy;
}

TUpdateStatus TSybDataSet::notePendingEdit(const char* Stored) {
    const TUpdateStatus status = RecordStatus(Stored);
    if (status != usUnmodified)
        return status;
    TPendingChange change;
    change.Id = recordId(Stored);
    change.Original = copyRecord(Stored);
    FPendingIndex[change.Id] = FPending.size();
    FPending.push_back(change);
    return usModified;
}

void TSybDataSet::notePendingInsert(char* Stored) {
    setRecordStatus(Stored, usInserted);
    TPendingChange change;
    change.Id = recordId(Stored);
    FPendingIndex[change.Id] = FPending.size();
    FPending.push_back(change);
}

void TSybDataSet::takeOutForDelete(int Index) {
    TRecordBuffer record = FRecords[static_cast<std::size_t>(Index)];
    FRecords.erase(FRecords.begin() + Index);
    recordsMoved();
    const int32_t id = recordId(record);
    if (RecordStatus(record) == usInserted) {
        // Never on the server: the insert and the delete cancel out.
        FPending.erase(FPending.begin() + static_cast<std::ptrdiff_t>(FPendingIndex[id]));
        rebuildPendingIndex();
        _InternalFreeRecord(record);
        return;
    }
    TPendingChange* change = findPending(id);
    if (!change) {
        FPendingIndex[id] = FPending.size();
        FPending.push_back(TPendingChange{id, nullptr, nullptr, -1});
        change = &FPending.back();
    }
    setRecordStatus(record, usDeleted);
    change->Deleted = record;
    change->DeletedAt = Index;
}

const char* TSybDataSet::fetchedValues(const char* Buffer) const {
    switch (RecordStatus(Buffer)) {
    case usInserted:
        return nullptr;
    case usModified:
    case usDeleted:
        if (const TPendingChange* change = findPending(recordId(Buffer));
            change && change->Original)
            return change->Original;
        return Buffer;
    default:
        return Buffer;
    }
}

void TSybDataSet::revertChange(const TPendingChange& Change) {
    if (Change.Deleted) {
        TRecordBuffer back = Change.Deleted;
        if (Change.Original) {
            _InternalFreeRecord(Change.Deleted);
            back = Change.Original;
        }
        setRecordStatus(back, usUnmodified);
        const int at = std::clamp(Change.DeletedAt, 0, static_cast<int>(FRecords.size()));
        FRecords.insert(FRecords.begin() + at, back);
        recordsMoved();
        FListSorted = false;
        return;
    }
    const int p = positionOfId(Change.Id);
    if (p < 0) { // not expected: the record is listed while it is not deleted
        if (Change.Original)
            _InternalFreeRecord(Change.Original);
        return;
    }
    TRecordBuffer stored = FRecords[static_cast<std::size_t>(p)];
    if (Change.Original) {
        // The kept copy goes back in place: same identity, status usUnmodified.
        _InternalFreeRecord(stored);
        FRecords[static_cast<std::size_t>(p)] = Change.Original;
        FListSorted = false;
        visibleChanged();
    } else {
        FRecords.erase(FRecords.begin() + p);
        recordsMoved();
        _InternalFreeRecord(stored);
    }
}

void TSybDataSet::resyncAfterRevert(int32_t Id) {
    if (FAutoSort && !FSortFieldList.empty() && FRecords.size() > 1) {
        _InternalQuickSort(FSortFieldList, 0, static_cast<int>(FRecords.size()) - 1);
        recordsMoved();
        FListSorted = true;
    }
    const int p = positionOfId(Id);
    FCurRec = p >= 0 ? p : std::min(FCurRec, static_cast<int32_t>(FRecords.size()) - 1);
    Resync(TResyncMode{});
}

void TSybDataSet::CancelUpdates() {
    discardParked();
    if (!Active())
        return;
    if (State() == dsEdit || State() == dsInsert)
        Cancel();
    if (FPending.empty())
        return;
    const int32_t current = IsEmpty() ? -1 : recordId(ActiveBuffer());
    // Undone last first, so that each deleted record goes back among the records that
    // were there when it was deleted.
    for (auto it = FPending.rbegin(); it != FPending.rend(); ++it)
        revertChange(*it);
    FPending.clear();
    FPendingIndex.clear();
    resyncAfterRevert(current);
}

void TSybDataSet::RevertRecord() {
    if (!Active())
        return;
    if (State() == dsEdit || State() == dsInsert)
        Cancel();
    if (IsEmpty())
        return;
    const int32_t id = recordId(ActiveBuffer());
    const auto it = FPendingIndex.find(id);
    if (it == FPendingIndex.end())
        return;
    const TPendingChange change = FPending[it->second];
    FPending.erase(FPending.begin() + static_cast<std::ptrdiff_t>(it->second));
    rebuildPendingIndex();
    revertChange(change);
    resyncAfterRevert(id);
}

void TSybDataSet::mergePending(const std::vector<int32_t>& Skipped) noexcept {
    std::vector<TPendingChange> kept;
    for (TPendingChange& change : FPending) {
        if (std::find(Skipped.begin(), Skipped.end(), change.Id) != Skipped.end()) {
            kept.push_back(change);
            continue;
        }
        if (change.Original)
            _InternalFreeRecord(change.Original);
        if (change.Deleted) {
            _InternalFreeRecord(change.Deleted);
            continue;
        }
        const int p = positionOfId(change.Id);
        if (p >= 0)
            setRecordStatus(FRecords[static_cast<std::size_t>(p)], usUnmodified);
    }
    FPending = std::move(kept);
    rebuildPendingIndex();
}

void TSybDataSet::discardPending() noexcept {
    for (TPendingChange& change : FPending) {
        if (change.Original)
            _InternalFreeRecord(change.Original);
        if (change.Deleted)
            _InternalFreeRecord(change.Deleted);
    }
    FPending.clear();
    FPendingIndex.clear();
}

} // namespace tovrin

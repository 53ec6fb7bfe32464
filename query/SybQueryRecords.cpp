// TSybQuery: the record operations of the host framework over the stored records:
// record buffers, field access, bookmarks (4-byte record identities), record numbers
// (positions among the records the filter shows), deleting, filtering flags and the
// sorted flag.
#include <cstring>

#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Runtime.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

using namespace host;

namespace {

int32_t loadId(const void* bookmark) noexcept {
    int32_t v;
    std::memcpy(&v, bookmark, sizeof v);
    return v;
}

bool isText(TFieldType t) noexcept {
    return t == ftString || t == ftFixedChar || t == ftWideString;
}

} // namespace

// ---- buffers ---------------------------------------------------------------------------------

TRecordBuffer TSybQuery::AllocRecordBuffer() {
    return AllocStoredRecord();
}

void TSybQuery::FreeRecordBuffer(TRecordBuffer& Buffer) {
    freeBlock(Buffer);
    Buffer = nullptr;
}

int TSybQuery::GetRecordSize() {
    return FDataSize;
}

// ---- field access ------------------------------------------------------------------------------

bool TSybQuery::GetFieldData(TField* Field, void* Buffer) {
    if (!Field || !FCursorOpen)
        return false;
    const char* slot = GetFieldPointer(GetActiveRecordBuffer(), Field);
    if (!slot)
        return false;
    if (Buffer)
        std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(GetFieldSize(Field)));
    return slot[0] != 0;
}

void TSybQuery::SetFieldData(TField* Field, const void* Buffer) {
    if (!FCursorOpen || !Field)
        return;
    char* slot = GetFieldPointer(GetActiveRecordBuffer(), Field);
    if (!slot)
        return;
    if (Field->ReadOnly())
        DatabaseErrorFmt("Field %s is read only", {Field->GetDisplayName()});
    // OnCalcFields computes the calculated and lookup fields of a record; a data field
    // written there would change a stored or displayed record behind the edit cycle.
    if (State() == dsCalcFields && Field->FieldKind() == fkData)
        DatabaseError(dbconsts::SNotEditing, this);
    if (Field->FieldKind() == fkData || Field->FieldKind() == fkInternalCalc)
        Field->Validate(Buffer);
    const int size = GetFieldSize(Field);
    const auto* source = static_cast<const char*>(Buffer);
    bool changed;
    if (!source || slot[0] == 0) {
        changed = true;
    } else if (isText(Field->DataType())) {
        const std::size_t a = strnlen(source, static_cast<std::size_t>(size));
        const std::size_t b = strnlen(slot + 1, static_cast<std::size_t>(size));
        changed = a != b || std::memcmp(source, slot + 1, a) != 0;
    } else {
        changed = std::memcmp(source, slot + 1, static_cast<std::size_t>(size)) != 0;
    }
    if (changed)
        FSorted = false;
    slot[0] = source ? 1 : 0;
    if (source)
        std::memcpy(slot + 1, source, static_cast<std::size_t>(size));
    const TDataSetState state = State();
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- position and numbers ---------------------------------------------------------------------

void TSybQuery::InternalSetToRecord(TRecordBuffer Buffer) {
    FCurRec = positionOfId(recordId(Buffer));
}

int TSybQuery::GetRecNo() const {
    const TRecordBuffer active = ActiveBuffer();
    if (!active || FRecordSize == 0 || IsEmpty())
        return -1;
    auto* self = const_cast<TSybQuery*>(this);
    if (self->GetBookmarkFlag(active) != bfCurrent)
        return -1; // a new record has no number yet
    const int index = positionOfId(recordId(active));
    if (index < 0)
        return -1;
    return self->visibleNumber(index);
}

void TSybQuery::SetRecNo(int Value) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    if (IsEmpty())
        return;
    const int index = visibleIndex(Value);
    if (index < 0) {
        // No such record: the current record stays, its window is read again.
        UpdateCursorPos();
        CursorPosChanged();
        Resync(TResyncMode{rmExact});
        return;
    }
    DoBeforeScroll();
    FCurRec = index;
    CursorPosChanged();
    Resync(TResyncMode{rmExact});
    DoAfterScroll();
}

bool TSybQuery::IsSequenced() {
    return !Filtered();
}

bool TSybQuery::IsFiltered() {
    return Filtered() && HasFilterConditions();
}

void TSybQuery::SetFiltered(bool Value) {
    if (!Active()) {
        TSybDataSet::SetFiltered(Value);
        return;
    }
    CheckBrowseMode();
    if (Filtered() != Value)
        TSybDataSet::SetFiltered(Value);
    First();
}

void TSybQuery::SetFilter(const std::string& Value) {
    if (!Active() || !Filtered()) {
        TSybDataSet::SetFilter(Value);
        return;
    }
    CheckBrowseMode();
    const std::string previous = Filter();
    TSybDataSet::SetFilter(Value);
    try {
        First();
    } catch (...) {
        // An expression that fails on the records leaves the former one in force.
        TSybDataSet::SetFilter(previous);
        First();
        throw;
    }
}

void TSybQuery::SetFilterOptions(TFilterOptions Value) {
    if (!Active() || !Filtered() || Value == FilterOptions()) {
        TSybDataSet::SetFilterOptions(Value);
        return;
    }
    CheckBrowseMode();
    TSybDataSet::SetFilterOptions(Value);
    First();
}

bool TSybQuery::GetCanModify() const {
    return !FReadOnly;
}

// ---- deleting and errors --------------------------------------------------------------------

void TSybQuery::InternalDelete() {
    if (FCurRec < 0 || FCurRec >= static_cast<int32_t>(FRecords.size()))
        return;
    detachBlobStreams();
    // Kept aside until the deletion is applied or cancelled.
    takeOutForDelete(FCurRec);
}

void TSybQuery::InternalHandleException() {
    Application.HandleException(this);
}

// ---- bookmarks ---------------------------------------------------------------------------------

void TSybQuery::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
    const int32_t id = recordId(Buffer);
    std::memcpy(Data, &id, sizeof id);
}

void TSybQuery::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
    setRecordId(Buffer, loadId(Data));
}

TBookmarkFlag TSybQuery::GetBookmarkFlag(TRecordBuffer Buffer) {
    return static_cast<TBookmarkFlag>(static_cast<unsigned char>(Buffer[FRecordInfoOffset + 4]));
}

void TSybQuery::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
    Buffer[FRecordInfoOffset + 4] = static_cast<char>(Value);
}

bool TSybQuery::InternalBookmarkValid(const void* ABookmark) const {
    return positionOfId(loadId(ABookmark)) >= 0;
}

bool TSybQuery::BookmarkValid(const TBookmark& ABookmark) {
    if (ABookmark.size() < sizeof(int32_t))
        return false;
    return InternalBookmarkValid(ABookmark.data());
}

void TSybQuery::InternalGotoBookmark(const void* ABookmark) {
    // A bookmark of a deleted record or of an earlier open names no record: the position
    // goes before the first record, and the host's exact resynchronisation raises
    // "Record not found".
    FCurRec = positionOfId(loadId(ABookmark));
}

int TSybQuery::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
    if (Bookmark1.size() < sizeof(int32_t) || Bookmark2.size() < sizeof(int32_t))
        return 0;
    // By the records' current positions; a bookmark that names no record comes first.
    const int a = positionOfId(loadId(Bookmark1.data()));
    const int b = positionOfId(loadId(Bookmark2.data()));
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace tovrin

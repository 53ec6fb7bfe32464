// TSybQuery: the record operations of the host framework over the stored records:
// record buffers, field access, bookmarks (4-byte record indexes), record numbers,
// deleting, filtering flags and the sorted flag.
#include <cstring>

#include "host/DbConsts.h"
#include "host/Exceptions.h"
#include "host/Runtime.h"
#include "query/SybQuery.h"

namespace tovrin {

using namespace host;

namespace {

int32_t loadIndex(const void* bookmark) noexcept
{
    int32_t v;
    std::memcpy(&v, bookmark, sizeof v);
    return v;
}

bool isText(TFieldType t) noexcept
{
    return t == ftString || t == ftFixedChar || t == ftWideString;
}

}  // namespace

// ---- buffers ---------------------------------------------------------------------------------

TRecordBuffer TSybQuery::AllocRecordBuffer()
{
    return AllocStoredRecord();
}

void TSybQuery::FreeRecordBuffer(TRecordBuffer& Buffer)
{
    freeBlock(Buffer);
    Buffer = nullptr;
}

int TSybQuery::GetRecordSize()
{
    return FDataSize;
}

// ---- field access ------------------------------------------------------------------------------

bool TSybQuery::GetFieldData(TField* Field, void* Buffer)
{
    if (!Field || !FCursorOpen) return false;
    const char* slot = GetFieldPointer(GetActiveRecordBuffer(), Field);
    if (!slot) return false;
    if (Buffer)
        std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(GetFieldSize(Field->DataType(), Field->Size())));
    return slot[0] != 0;
}

void TSybQuery::SetFieldData(TField* Field, const void* Buffer)
{
    if (!FCursorOpen || !Field) return;
    char* slot = GetFieldPointer(GetActiveRecordBuffer(), Field);
    if (!slot) return;
    if (Field->ReadOnly()) DatabaseErrorFmt("Field %s is read only", {Field->GetDisplayName()});
    // OnCalcFields computes the calculated and lookup fields of a record; a data field
    // written there would change a stored or displayed record behind the edit cycle.
    if (State() == dsCalcFields && Field->FieldKind() == fkData) DatabaseError(dbconsts::SNotEditing, this);
    if (Field->FieldKind() == fkData || Field->FieldKind() == fkInternalCalc) Field->Validate(Buffer);
    const int size = GetFieldSize(Field->DataType(), Field->Size());
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
    if (changed) FSorted = false;
    slot[0] = source ? 1 : 0;
    if (source) std::memcpy(slot + 1, source, static_cast<std::size_t>(size));
    const TDataSetState state = State();
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- position and numbers ---------------------------------------------------------------------

void TSybQuery::InternalSetToRecord(TRecordBuffer Buffer)
{
    const int32_t n = recordNumber(Buffer);
    FCurRec = n < 0 ? -1 : n - 1;
}

int TSybQuery::GetRecNo() const
{
    const TRecordBuffer active = ActiveBuffer();
    if (!active || FRecordSize == 0) return -1;
    return recordNumber(active);
}

void TSybQuery::SetRecNo(int Value)
{
    if (Value >= 1 && Value <= static_cast<int>(FRecords.size())) FCurRec = Value - 1;
    CursorPosChanged();
    Resync(TResyncMode{rmExact});
}

bool TSybQuery::IsSequenced()
{
    return !Filtered();
}

bool TSybQuery::IsFiltered()
{
    return Filtered() && HasFilterConditions();
}

void TSybQuery::SetFiltered(bool Value)
{
    if (!Active()) {
        TSybDataSet::SetFiltered(Value);
        return;
    }
    CheckBrowseMode();
    if (Filtered() != Value) TSybDataSet::SetFiltered(Value);
    First();
}

void TSybQuery::SetFilter(const std::string& Value)
{
    if (!Active() || !Filtered()) {
        TSybDataSet::SetFilter(Value);
        return;
    }
    CheckBrowseMode();
    TSybDataSet::SetFilter(Value);
    First();
}

void TSybQuery::SetFilterOptions(TFilterOptions Value)
{
    if (!Active() || !Filtered() || Value == FilterOptions()) {
        TSybDataSet::SetFilterOptions(Value);
        return;
    }
    CheckBrowseMode();
    TSybDataSet::SetFilterOptions(Value);
    First();
}

bool TSybQuery::GetCanModify() const
{
    return !FReadOnly;
}

// ---- deleting and errors --------------------------------------------------------------------

void TSybQuery::InternalDelete()
{
    if (FCurRec < 0 || FCurRec >= static_cast<int32_t>(FRecords.size())) return;
    TRecordBuffer deleted = FRecords[static_cast<std::size_t>(FCurRec)];
    FRecords.erase(FRecords.begin() + FCurRec);
    // The record's blob holders go with it: no other stored record refers to them.
    _InternalFreeRecord(deleted);
}

void TSybQuery::InternalHandleException()
{
    Application.HandleException(this);
}

// ---- bookmarks ---------------------------------------------------------------------------------

void TSybQuery::GetBookmarkData(TRecordBuffer Buffer, void* Data)
{
    const int32_t index = recordNumber(Buffer) - 1;
    std::memcpy(Data, &index, sizeof index);
}

void TSybQuery::SetBookmarkData(TRecordBuffer Buffer, const void* Data)
{
    setRecordNumber(Buffer, loadIndex(Data) + 1);
}

TBookmarkFlag TSybQuery::GetBookmarkFlag(TRecordBuffer Buffer)
{
    return static_cast<TBookmarkFlag>(static_cast<unsigned char>(Buffer[FRecordInfoOffset + 4]));
}

void TSybQuery::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value)
{
    Buffer[FRecordInfoOffset + 4] = static_cast<char>(Value);
}

bool TSybQuery::InternalBookmarkValid(const void* ABookmark) const noexcept
{
    const int32_t index = loadIndex(ABookmark);
    return index >= 0 && index < static_cast<int32_t>(FRecords.size());
}

bool TSybQuery::BookmarkValid(const TBookmark& ABookmark)
{
    if (ABookmark.size() < sizeof(int32_t)) return false;
    return InternalBookmarkValid(ABookmark.data());
}

void TSybQuery::InternalGotoBookmark(const void* ABookmark)
{
    FCurRec = InternalBookmarkValid(ABookmark) ? loadIndex(ABookmark) : -1;
}

int TSybQuery::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2)
{
    if (Bookmark1.size() < sizeof(int32_t) || Bookmark2.size() < sizeof(int32_t)) return 0;
    const int32_t a = loadIndex(Bookmark1.data());
    const int32_t b = loadIndex(Bookmark2.data());
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace tovrin

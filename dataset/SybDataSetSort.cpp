// TSybDataSet: comparing records field by field, sorting the record list in memory, and
// keeping the order when records are posted (AutoSort, SortFields).
#include <algorithm>
#include <cstring>
#include <string_view>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Collation.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin {

using namespace host;

namespace {

template <class T> T load(const char* p) noexcept {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T> int threeWay(T a, T b) noexcept {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Orders two BCD values by their numeric value, digit by digit (never through a double,
// which cannot tell 38-digit keys apart).
int compareBcd(const char* a, const char* b) noexcept {
    return BCDCompare(load<TBcd>(a), load<TBcd>(b));
}

// Text of a NUL-terminated slot value of at most size bytes, without its trailing blanks:
// texts compare as the server compares them, so a char(n) value padded to its length
// equals the same text unpadded.
std::string_view slotText(const char* p, int size) noexcept {
    const std::string_view text{p, strnlen(p, static_cast<std::size_t>(size > 0 ? size : 0))};
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

} // namespace

int CompareFieldValues(TFieldType Type, const char* A, const char* B, int Size,
                       TBTCompareOptions Options) {
    switch (Type) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
        std::string_view a = slotText(A, Size);
        std::string_view b = slotText(B, Size);
        if (Options.Contains(btcoPartialKey))
            b = utf8Left(b, utf8Length(a));
        return Options.Contains(btcoCaseInsensitive) ? AnsiCompareTextRu(a, b)
                                                     : AnsiCompareStr(a, b);
    }
    case ftSmallint:
        return threeWay(load<int16_t>(A), load<int16_t>(B));
    case ftWord:
        return threeWay(load<uint16_t>(A), load<uint16_t>(B));
    case ftInteger:
    case ftAutoInc:
        return threeWay(load<int32_t>(A), load<int32_t>(B));
    case ftBoolean:
        return threeWay(load<uint16_t>(A) != 0, load<uint16_t>(B) != 0);
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
        return threeWay(load<double>(A), load<double>(B));
    case ftDate:
    case ftTime:
        return threeWay(load<int32_t>(A), load<int32_t>(B));
    case ftLargeint:
        return threeWay(load<int64_t>(A), load<int64_t>(B));
    case ftBCD:
        // Eight bytes: a count of units of the field's scale, the same for both values.
        return Size == static_cast<int>(sizeof(int64_t))
                   ? threeWay(load<int64_t>(A), load<int64_t>(B))
                   : compareBcd(A, B);
    case ftBytes: {
        const int c = std::memcmp(A, B, static_cast<std::size_t>(Size > 0 ? Size : 0));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case ftVarBytes: {
        // A 16-bit length and the bytes: compared bytewise unsigned over the stored
        // lengths, a value that is a prefix of a longer one first. A length beyond the
        // value area is cut to it.
        const std::size_t room = static_cast<std::size_t>(Size > 2 ? Size - 2 : 0);
        const std::size_t la = std::min<std::size_t>(load<uint16_t>(A), room);
        const std::size_t lb = std::min<std::size_t>(load<uint16_t>(B), room);
        const int c = std::memcmp(A + 2, B + 2, std::min(la, lb));
        if (c != 0)
            return c < 0 ? -1 : 1;
        return threeWay(la, lb);
    }
    default:
        return 0;
    }
}

namespace {

// A sort field resolved once per sort: where its slot lies and how to compare it.
struct SortKey {
    int32_t offset;
    TFieldType type;
    int size;
};

// Hoare's partition around the middle record, exchanging references only; recursion
// into the left part and a loop on the right part.
template <class Compare>
void quickSortRecords(std::vector<TRecordBuffer>& rec, int l, int r, Compare& compare) {
    int i;
    do {
        i = l;
        int j = r;
        char* pivot = rec[static_cast<std::size_t>((l + r) / 2)];
        do {
            while (compare(rec[static_cast<std::size_t>(i)], pivot) < 0)
                ++i;
            while (compare(rec[static_cast<std::size_t>(j)], pivot) > 0)
                --j;
            if (i <= j) {
                std::swap(rec[static_cast<std::size_t>(i)], rec[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j)
            quickSortRecords(rec, l, j, compare);
        l = i;
    } while (i < r);
}

// The sort on one numeric field: nulls first, then by value, then by record number; the
// whole order reversed when descending.
// The three-way order of a slot value type.
template <class T> int valueOrder(const char* a, const char* b) noexcept {
    return threeWay(load<T>(a), load<T>(b));
}

template <> int valueOrder<TBcd>(const char* a, const char* b) noexcept {
    return compareBcd(a, b);
}

template <class T>
void sortOnNumber(std::vector<TRecordBuffer>& rec, int l, int r, int32_t offset, int32_t infoOffset,
                  bool descending) {
    auto cmp = [offset, infoOffset, descending](const char* a, const char* b) {
        const char* pa = a + offset;
        const char* pb = b + offset;
        int c;
        if (pa[0] && pb[0])
            c = valueOrder<T>(pa + 1, pb + 1);
        else
            c = (pa[0] ? 1 : 0) - (pb[0] ? 1 : 0);
        if (c == 0)
            c = threeWay(load<int32_t>(a + infoOffset), load<int32_t>(b + infoOffset));
        return descending ? -c : c;
    };
    quickSortRecords(rec, l, r, cmp);
}

} // namespace

// ---- record comparison
// ----------------------------------------------------------------------------

int TSybDataSet::_InternalCompareRecords(const std::vector<TField*>& Fields, char* A, char* B,
                                         TBTCompareOptions Options) {
    if (!A || !B)
        return 0;
    for (TField* f : Fields) {
        const char* pa = GetFieldPointer(A, f);
        const char* pb = GetFieldPointer(B, f);
        if (!pa || !pb)
            continue;
        int c;
        if (pa[0] && pb[0])
            c = CompareFieldValues(f->DataType(), pa + 1, pb + 1, GetFieldSize(f), Options);
        else if (pa[0])
            c = 1;
        else if (pb[0])
            c = -1;
        else
            c = 0;
        if (c != 0)
            return c;
    }
    return 0;
}

int TSybDataSet::_InternalSortCompareRecords(const std::vector<TField*>& Fields, char* A, char* B) {
    if (FCalcFieldsInList) {
        ClearCalcFields(A);
        GetCalcFields(A);
        ClearCalcFields(B);
        GetCalcFields(B);
    }
    int c = _InternalCompareRecords(Fields, A, B, FSortOptions);
    if (c == 0 && A && B)
        c = threeWay(recordId(A), recordId(B));
    return FSortOptions.Contains(btcoDescending) ? -c : c;
}

int TSybDataSet::_InternalKeyCompareRecords(const std::vector<TField*>& Fields, char* Key,
                                            char* Rec) {
    if (FCalcFieldsInList) {
        ClearCalcFields(Rec);
        GetCalcFields(Rec);
    }
    return _InternalCompareRecords(Fields, Key, Rec, FLocateOptions);
}

// ---- field lists
// ------------------------------------------------------------------------------------

void TSybDataSet::BuildFieldList(std::vector<TField*>& List, const std::string& FieldNames) {
    List.clear();
    FCalcFieldsInList = false;
    int pos = 1;
    while (pos <= static_cast<int>(FieldNames.size())) {
        const std::string name = ExtractFieldName(FieldNames, pos);
        TField* field = FieldByName(name);
        const TFieldKind kind = field->FieldKind();
        const int type = field->DataType();
        const bool comparable = (type >= ftString && type <= ftVarBytes) || type == ftAutoInc ||
                                (type >= ftFixedChar && type <= ftLargeint);
        if ((kind != fkData && kind != fkCalculated) || !comparable)
            DatabaseErrorFmt("E_UNSUPPORTED_FIELD_TYPE", {field->GetDisplayName()});
        List.push_back(field);
        if (kind == fkCalculated)
            FCalcFieldsInList = true;
    }
}

// ---- sorting
// ----------------------------------------------------------------------------------------

void TSybDataSet::_InternalQuickSort(const std::vector<TField*>& Fields, int L, int R) {
    if (L >= R)
        return;
    const bool descending = FSortOptions.Contains(btcoDescending);
    const int32_t infoOffset = FRecordInfoOffset;
    if (FCalcFieldsInList) {
        // Every comparison recomputes the calculated fields of both records.
        auto cmp = [&](char* a, char* b) { return _InternalSortCompareRecords(Fields, a, b); };
        quickSortRecords(FRecords, L, R, cmp);
        return;
    }
    // Resolve the fields once: where each slot lies and how it compares.
    std::vector<SortKey> keys;
    keys.reserve(Fields.size());
    for (TField* f : Fields) {
        const int no = f->FieldNo();
        const int32_t offset =
            no > 0 ? FFieldOffsets[static_cast<std::size_t>(no)] : FFieldOffsets[0] + f->Offset();
        keys.push_back({offset, f->DataType(), GetFieldSize(f)});
    }
    // One numeric key, the common case, compares without the general dispatch.
    if (keys.size() == 1) {
        const int32_t offset = keys.front().offset;
        switch (keys.front().type) {
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            sortOnNumber<int32_t>(FRecords, L, R, offset, infoOffset, descending);
            return;
        case ftSmallint:
            sortOnNumber<int16_t>(FRecords, L, R, offset, infoOffset, descending);
            return;
        case ftWord:
            sortOnNumber<uint16_t>(FRecords, L, R, offset, infoOffset, descending);
            return;
        case ftLargeint:
            sortOnNumber<int64_t>(FRecords, L, R, offset, infoOffset, descending);
            return;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
            sortOnNumber<double>(FRecords, L, R, offset, infoOffset, descending);
            return;
        case ftBCD:
            if (keys.front().size == static_cast<int>(sizeof(int64_t)))
                sortOnNumber<int64_t>(FRecords, L, R, offset, infoOffset, descending);
            else
                sortOnNumber<TBcd>(FRecords, L, R, offset, infoOffset, descending);
            return;
        default:
            break;
        }
    }
    const TBTCompareOptions options = FSortOptions;
    auto cmp = [&](char* a, char* b) -> int {
        int c = 0;
        for (const SortKey& k : keys) {
            const char* pa = a + k.offset;
            const char* pb = b + k.offset;
            if (pa[0] && pb[0])
                c = CompareFieldValues(k.type, pa + 1, pb + 1, k.size, options);
            else
                c = (pa[0] ? 1 : 0) - (pb[0] ? 1 : 0);
            if (c != 0)
                break;
        }
        if (c == 0)
            c = threeWay(load<int32_t>(a + infoOffset), load<int32_t>(b + infoOffset));
        return descending ? -c : c;
    };
    quickSortRecords(FRecords, L, R, cmp);
}

void TSybDataSet::InternalSort(const std::vector<TField*>& Fields) {
    TOperationScope scope(*this);
    if (!Active() || FRecords.empty() || Fields.empty())
        return;
    // A record being edited or inserted is posted first (an unmodified one is cancelled):
    // the sort rebuilds the display buffers, which would lose the pending record.
    if (State() == dsEdit || State() == dsInsert || State() == dsSetKey)
        CheckBrowseMode();
    if (FRecords.empty())
        return;
    const TBookmark saved = GetBookmarkStr();
    {
        // Whether the comparisons recompute calculated fields follows the list being
        // sorted on, whatever list was built last.
        const bool savedCalc = FCalcFieldsInList;
        FCalcFieldsInList = std::any_of(Fields.begin(), Fields.end(), [](const TField* f) {
            return f->FieldKind() == fkCalculated;
        });
        try {
            _InternalQuickSort(Fields, 0, static_cast<int>(FRecords.size()) - 1);
        } catch (...) {
            recordsMoved();
            FCalcFieldsInList = savedCalc;
            throw;
        }
        recordsMoved();
        FCalcFieldsInList = savedCalc;
    }
    try {
        SetBufListSize(0);
        SetBufListSize(BufferCount() + 1);
    } catch (...) {
        SetState(dsInactive);
        CloseCursor();
        throw;
    }
    SetBookmarkStr(saved);
    FListSorted = true;
}

void TSybDataSet::Sort(TBTCompareOptions Options) {
    FSortOptions = Options;
    FSortedFieldNames = FSortFields;
    InternalSort(FSortFieldList);
}

void TSybDataSet::SortOn(const std::string& FieldNames, TBTCompareOptions Options) {
    FSortOptions = Options;
    FSortedFieldNames = FieldNames;
    std::vector<TField*> list;
    BuildFieldList(list, FieldNames);
    InternalSort(list);
}

void TSybDataSet::SortDefault() {
    Sort(FSortOptions);
}

void TSybDataSet::SortByFields(const std::string& FieldNames, bool Descending) {
    const TBTCompareOptions options =
        Descending ? TBTCompareOptions{btcoDescending} : TBTCompareOptions{};
    // Setting the names sorts with the options of the last sort; a second sort is needed
    // only when the direction changes too.
    if (FSortFields != FieldNames) {
        SetSortFieldNames(FieldNames);
        if (FSortOptions == options)
            return;
    }
    Sort(options);
}

void TSybDataSet::SetSortFieldNames(const std::string& Value) {
    if (FCursorOpen) {
        BuildFieldList(FSortFieldList, Value);
        FSortFields = Value;
        FListSorted = false;
        SortDefault();
    } else {
        FSortFields = Value;
    }
}

void TSybDataSet::SetAutoSort(bool Value) {
    if (Value && Active() && (!FAutoSort || !FListSorted || FSortedFieldNames != FSortFields))
        Sort(FSortOptions);
    FAutoSort = Value;
}

int TSybDataSet::Resort(int Index) {
    const auto count = static_cast<int>(FRecords.size());
    if (Index < 0 || Index >= count)
        return Index;
    const bool descending = FSortOptions.Contains(btcoDescending);
    // The order of a full sort: equal keys by identity, the whole order reversed when
    // descending; so a record moved here stands where the next sort leaves it.
    auto cmp = [&](int x, int y) {
        char* a = FRecords[static_cast<std::size_t>(x)];
        char* b = FRecords[static_cast<std::size_t>(y)];
        int c = _InternalCompareRecords(FSortFieldList, a, b, FSortOptions);
        if (c == 0)
            c = threeWay(recordId(a), recordId(b));
        return descending ? -c : c;
    };
    int j = Index;
    if (Index + 1 < count && cmp(Index, Index + 1) > 0) {
        j = Index + 1;
        while (j < count && cmp(Index, j) > 0)
            ++j;
        --j;
    } else if (Index > 0 && cmp(Index - 1, Index) > 0) {
        j = Index - 1;
        while (j >= 0 && cmp(j, Index) > 0)
            --j;
        ++j;
    }
    if (j == Index)
        return Index;
    TRecordBuffer moved = FRecords[static_cast<std::size_t>(Index)];
    FRecords.erase(FRecords.begin() + Index);
    FRecords.insert(FRecords.begin() + j, moved);
    recordsMoved();
    return j;
}

} // namespace tovrin

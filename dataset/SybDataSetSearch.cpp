// TSybDataSet: finding records in memory. Locate and Lookup write the search values into
// a key buffer in the stored-record format and compare it with the stored records field by
// field, by a sequential scan or, when the records are known to be in the order of the
// last sort on the key fields, by halving. FindRecord steps to the next or previous record
// that the filter accepts (FindFirst, FindNext, FindPrior, FindLast).
#include <cstring>

#include "tovrin5/dataset/FlagRestore.h"
#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin {

using namespace host;

// ---- choosing the search ---------------------------------------------------------------------

bool TSybDataSet::CanBinaryLocate(const std::vector<TField*>& Keys) {
    if (!FDoBinaryLocate || !DeclaredSorted() || !FListSorted || Keys.empty())
        return false;
    if (IsFiltered())
        return false;
    // Halving needs the key order to be the list order. A prefix of a text does not
    // sort like the whole text under the locale's collation ('Aba' sorts before 'abz',
    // but 'Ab' after 'ab'), so partial keys, and sorts made with partial keys, are
    // searched sequentially; so are locates whose letter-case rule differs from the
    // sort's.
    if (FLocateOptions.Contains(btcoPartialKey) || FSortOptions.Contains(btcoPartialKey))
        return false;
    if (FLocateOptions.Contains(btcoCaseInsensitive) != FSortOptions.Contains(btcoCaseInsensitive))
        return false;
    // The key fields must be the leading fields of the last sort, one by one, as the
    // dataset resolves the names (not as texts: a sort on "Names" says nothing about
    // "Name").
    int pos = 1;
    const auto length = static_cast<int>(FSortedFieldNames.size());
    for (TField* key : Keys) {
        if (pos > length)
            return false;
        const std::string name = ExtractFieldName(FSortedFieldNames, pos);
        if (FindField(name) != key)
            return false;
    }
    return true;
}

// ---- the searches ------------------------------------------------------------------------------

bool TSybDataSet::acceptsStored(int Index, TRecordBuffer Scratch, bool Always) {
    std::memcpy(Scratch, FRecords[static_cast<std::size_t>(Index)],
                static_cast<std::size_t>(FRecordSize));
    Scratch[FRecordInfoOffset + 4] = static_cast<char>(bfCurrent);
    return Always ? testFilter(Scratch) : FilterRecord(Scratch);
}

int TSybDataSet::_InternalSequentialSearch(const std::vector<TField*>& Keys, int /*First*/,
                                           int /*Last*/, char* Key, bool& Found) {
    Found = false;
    int c = 1;
    const auto count = static_cast<int>(FRecords.size());
    const bool filtered = IsFiltered();
    // The filter sees a copy of each stored record, numbered as the cursor numbers it, so
    // that a handler can neither change a stored record nor read a stale number.
    const TScratchRecord scratch(*this, filtered);
    for (int i = 0; i < count; ++i) {
        if (filtered && !acceptsStored(i, scratch.Get()))
            continue;
        c = _InternalKeyCompareRecords(Keys, Key, FRecords[static_cast<std::size_t>(i)]);
        if (c == 0) {
            Found = true;
            FCurRec = i;
            break;
        }
    }
    return c;
}

int TSybDataSet::_InternalBinarySearch(const std::vector<TField*>& Keys, int First, int Last,
                                       char* Key, bool& Found) {
    Found = false;
    const auto count = static_cast<int>(FRecords.size());
    if (First < 0)
        First = 0;
    if (Last > count - 1)
        Last = count - 1;
    if (First > Last)
        return 0;
    // The lower bound: the first record, in list order, that does not sort before the
    // key. Records equal to the key are adjacent in a list sorted on the key fields, so
    // that record is the first match when there is one, as with the sequential search.
    const bool descending = FSortOptions.Contains(btcoDescending);
    int lo = First;
    int hi = Last + 1;
    int c = 0;
    bool hiMatches = false;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        c = _InternalKeyCompareRecords(Keys, Key, FRecords[static_cast<std::size_t>(mid)]);
        if (descending)
            c = -c;
        if (c > 0) {
            lo = mid + 1;
        } else {
            hi = mid;
            hiMatches = c == 0;
        }
    }
    if (hi <= Last && hiMatches) {
        Found = true;
        FCurRec = hi;
        return 0;
    }
    return c;
}

// ---- Locate, Lookup ----------------------------------------------------------------------------

bool TSybDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                               TLocateOptions Options, bool /*SyncCursor*/) {
    if (VarArrayDimCount(KeyValues) > 1)
        DatabaseError("Variant array of values has invalid dimension count");
    CheckBrowseMode();
    CursorPosChanged();
    FLocateOptions = TBTCompareOptions();
    if (Options.Contains(loCaseInsensitive))
        FLocateOptions.Include(btcoCaseInsensitive);
    if (Options.Contains(loPartialKey))
        FLocateOptions.Include(btcoPartialKey);

    bool found = false;
    // The key list decides whether comparisons recompute calculated fields while the
    // search runs; afterwards the flag belongs to the sort list again.
    FlagRestore keepCalcFlag(FCalcFieldsInList);
    std::vector<TField*> keys;
    TRecordBuffer key = nullptr;
    bool disabled = false;
    try {
        BuildFieldList(keys, KeyFields);
        const bool keyHasCalc = FCalcFieldsInList;
        // A key its field cannot hold (cut to the field's size, out of the type's range)
        // equals no stored value: comparing its cut form would find a record that the
        // key does not name.
        const bool keyFits = KeyFitsFields(keys, KeyValues);
        key = AllocRecordBuffer();
        DisableControls();
        disabled = true;
        if (keyFits) {
            // The key buffer holds the search values as given, calculated fields
            // included: they are not recomputed from the key's other (empty) fields.
            PopulateRecord(key, KeyFields, KeyValues);
            FCalcFieldsInList = keyHasCalc;
            const int last = static_cast<int>(FRecords.size()) - 1;
            if (CanBinaryLocate(keys))
                (void)_InternalBinarySearch(keys, 0, last, key, found);
            else
                (void)_InternalSequentialSearch(keys, 0, last, key, found);
        }
    } catch (...) {
        if (disabled)
            EnableControls();
        if (key)
            FreeRecordBuffer(key);
        SetFound(false);
        throw;
    }
    EnableControls();
    FreeRecordBuffer(key);
    SetFound(found);
    return found;
}

bool TSybDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                         TLocateOptions Options) {
    TOperationScope scope(*this);
    DoBeforeScroll();
    const bool found = LocateRecord(KeyFields, KeyValues, Options, true);
    if (found) {
        Resync(TResyncMode{rmExact, rmCenter});
        DoAfterScroll();
    }
    return found;
}

Variant TSybDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                            const std::string& ResultFields) {
    TOperationScope scope(*this);
    Variant result = Null();
    const int32_t savedRec = FCurRec;
    if (!LocateRecord(KeyFields, KeyValues, TLocateOptions(), false)) {
        FCurRec = savedRec;
        return result;
    }
    // The values are read from a copy of the record found, with its calculated fields
    // computed there: the display buffers, the current record and the data links stay as
    // they were (no data change reaches a detail dataset).
    try {
        const TScratchRecord scratch(*this);
        std::memcpy(scratch.Get(), FRecords[static_cast<std::size_t>(FCurRec)],
                    static_cast<std::size_t>(FRecordSize));
        scratch.Get()[FRecordInfoOffset + 4] = static_cast<char>(bfCurrent);
        const TDataSetState saved = SetTempState(dsCalcFields);
        try {
            CalculateFields(scratch.Get());
            result = GetFieldValues(ResultFields);
        } catch (...) {
            RestoreState(saved);
            throw;
        }
        RestoreState(saved);
    } catch (...) {
        FCurRec = savedRec;
        throw;
    }
    FCurRec = savedRec;
    return result;
}

// ---- FindRecord
// ----------------------------------------------------------------------------------

bool TSybDataSet::FindRecord(bool Restart, bool GoForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    const auto count = static_cast<int>(FRecords.size());
    const int step = GoForward ? 1 : -1;
    // A restart searches from before the first (forward) or after the last record
    // (backward), so FindFirst and FindLast land on the first and last record. The
    // search steps to the next record the filter (expression and handler) accepts,
    // whether or not Filtered is on: Find* are how an application searches with a
    // filter without applying it.
    int pos = Restart ? (GoForward ? -1 : count) : FCurRec;
    const bool filtered = HasFilterConditions();
    int target = -1;
    {
        const TScratchRecord scratch(*this, filtered);
        for (int i = pos + step; i >= 0 && i < count; i += step) {
            if (!filtered || acceptsStored(i, scratch.Get(), true)) {
                target = i;
                break;
            }
        }
    }
    if (target >= 0) {
        FCurRec = target;
        Resync(TResyncMode{rmExact, rmCenter});
        SetFound(true);
    }
    if (Found())
        DoAfterScroll();
    return Found();
}

} // namespace tovrin

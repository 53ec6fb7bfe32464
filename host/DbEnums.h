// Enumerations and small option sets of the dataset framework: field types and kinds,
// dataset states, record-fetch modes and results, bookmark flags, locate, filter, resync
// and blob-stream options, data events and parameter types. The ordinals are fixed: they
// are stored in record buffers and compared by number, so never reorder them.
#pragma once

#include <string>

#include "tovrin5/host/Sets.h"

namespace tovrin::host {

/// A record buffer: one flat block of bytes whose layout the concrete dataset defines.
using TRecordBuffer = char*;

/// A bookmark: the bytes a dataset writes with GetBookmarkData (BookmarkSize of them).
/// An empty string is the nil bookmark.
using TBookmark = std::string;

/// Field data types. Ordinals 0..25 select value sizes and comparison rules of record slots.
enum TFieldType : int {
    ftUnknown = 0,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd
};
inline constexpr int kFieldTypeCount = ftFMTBcd + 1;

/// Printable name of a field type ("String", "Integer", ...), for messages.
const char* FieldTypeName(TFieldType type) noexcept;

/// How a field gets its value: stored data, computed by OnCalcFields, looked up in another
/// dataset, or computed and stored by the dataset itself.
enum TFieldKind : int { fkData = 0, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

/// Dataset states. dsCalcFields..dsOpening are also used as temporary states.
enum TDataSetState : int {
    dsInactive = 0,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter,
    dsNewValue,
    dsOldValue,
    dsCurValue,
    dsBlockRead,
    dsInternalCalc,
    dsOpening
};

/// States in which field values may be written.
inline constexpr TSet<TDataSetState> dsWriteModes{dsEdit,   dsInsert,   dsSetKey,      dsCalcFields,
                                                  dsFilter, dsNewValue, dsInternalCalc};

/// Direction of a record fetch (GetRecord).
enum TGetMode : int { gmCurrent = 0, gmNext, gmPrior };

/// Outcome of a record fetch (GetRecord).
enum TGetResult : int { grOK = 0, grBOF, grEOF, grError };

/// Position marker stored in a record buffer.
enum TBookmarkFlag : int { bfCurrent = 0, bfBOF, bfEOF, bfInserted };

enum TLocateOption : int { loCaseInsensitive = 0, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption : int { foCaseInsensitive = 0, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

enum TBlobStreamMode : int { bmRead = 0, bmWrite, bmReadWrite };

enum TResyncModeItem : int { rmExact = 0, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;

/// Notifications sent from a dataset through its data sources to data links.
enum TDataEvent : int {
    deFieldChange = 0,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
    dePropertyChange,
    deFieldListChange,
    deFocusControl,
    deParentScroll
};

enum TParamType : int { ptUnknown = 0, ptInput, ptOutput, ptInputOutput, ptResult };

/// What an OnPostError/OnEditError/OnDeleteError handler decides.
enum TDataAction : int { daFail = 0, daAbort, daRetry };

/// Where a record stands with respect to the server: as fetched, edited, new, or deleted
/// and kept aside until the changes are applied or cancelled.
enum TUpdateStatus : int { usUnmodified = 0, usModified, usInserted, usDeleted };

/// How an applied update or delete finds its row: by every column, by the key columns and
/// the changed ones, or by the key columns only.
enum TUpdateMode : int { upWhereAll = 0, upWhereChanged, upWhereKeyOnly };

/// The statement a pending change is applied with.
enum TUpdateKind : int { ukModify = 0, ukInsert, ukDelete };

/// How a data field takes part in writing changes back: pfInUpdate, its column is written
/// by inserts and updates; pfInWhere, its value as fetched locates the row (upWhereAll,
/// upWhereChanged); pfInKey, it is part of the key that locates the row in every mode;
/// pfHidden, a column the server added that the application did not ask for.
enum TProviderFlag : int { pfInUpdate = 0, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = TSet<TProviderFlag>;

/// What an OnUpdateRecord/OnUpdateError handler decides: fail (the error is raised), abort
/// (everything rolled back quietly), skip (the record stays pending), retry (the record is
/// applied again), applied (the handler applied the record itself).
enum TUpdateAction : int { uaFail = 0, uaAbort, uaSkip, uaRetry, uaApplied };

} // namespace tovrin::host

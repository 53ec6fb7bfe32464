// TDataSet: the dataset engine. It owns the ring of record buffers shown to data links,
// the dataset state machine, the fields and field definitions, and drives a concrete
// dataset through protected virtual operations (the record operations: GetRecord,
// InternalFirst, bookmarks, GetFieldData, InternalPost, ...).
//
// Buffer ring. m_buffers holds BufferCount()+1 record buffers allocated by
// AllocRecordBuffer. Entries 0..m_recordCount-1 hold consecutive records of the cursor
// (the window shown to the data links); m_activeRecord indexes the current record in that
// window; entry m_recordCount is the scratch buffer that the next GetRecord fills.
// m_currentRecord is the window entry at which the concrete dataset's own position stands
// (-1: unknown, re-established by UpdateCursorPos before the next move).
//
// States. dsInactive -> (Open) dsBrowse -> (Edit) dsEdit / (Insert, Append) dsInsert
// -> (Post, Cancel) dsBrowse -> (Close) dsInactive. SetState changes the state and tells
// the data sources (deUpdateState); SetTempState/RestoreState switch temporarily (for
// calculated fields, filtering, ...) without telling anyone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/DbEnums.h"
#include "tovrin5/host/Events.h"
#include "tovrin5/host/FieldDefs.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/Variant.h"

namespace tovrin::host {

class TDataSource;
class TFilterExpression;
class TDataLink;
class TStream;
class EDatabaseError;

using TDataSetNotifyEvent = TEvent<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = TEvent<void(TDataSet* DataSet, EDatabaseError* E, TDataAction& Action)>;
using TFilterRecordEvent = TEvent<void(TDataSet* DataSet, bool& Accept)>;

class TDataSet : public TComponent {
protected:
    /// Marks a public operation in progress. Close() called meanwhile (from an event
    /// handler) is carried out when the outermost operation ends, so that nothing the
    /// operation still uses is released under it; the next Before* event hook (or the
    /// filter or calculated-field event) stops the operation with EAbort.
    class TOperationScope {
    public:
        explicit TOperationScope(TDataSet& DataSet) noexcept : m_dataSet(DataSet) {
            ++m_dataSet.m_busy;
        }
        ~TOperationScope() {
            if (--m_dataSet.m_busy == 0 && m_dataSet.m_closePending)
                m_dataSet.finishPendingClose();
        }
        TOperationScope(const TOperationScope&) = delete;
        TOperationScope& operator=(const TOperationScope&) = delete;

    private:
        TDataSet& m_dataSet;
    };

public:
    explicit TDataSet(TComponent* AOwner);
    /// Releases the buffers and detaches fields and data sources. A concrete dataset must
    /// Close() in its own destructor (the base cannot call the record operations then).
    ~TDataSet() override;
    [[nodiscard]] std::string ClassName() const override { return "TDataSet"; }

    // ---- opening and closing ---------------------------------------------------------
    /// Opens: BeforeOpen, OpenCursor, then (when the cursor opened) dsBrowse, AfterOpen
    /// and AfterScroll (when not empty). An OpenCursor that leaves the cursor closed
    /// leaves the dataset inactive without an error.
    void Open() { SetActive(true); }
    /// Closes: BeforeClose, dsInactive, CloseCursor, AfterClose. A pending edit is dropped
    /// (InternalCancel without the cancel events). Called from an event handler while an
    /// operation runs, the close happens when that operation has stopped (see
    /// TOperationScope); the operation ends with EAbort unless it was about to end anyway.
    void Close() { SetActive(false); }
    [[nodiscard]] bool Active() const noexcept { return m_state != dsInactive; }
    virtual void SetActive(bool Value);
    [[nodiscard]] TDataSetState State() const noexcept { return m_state; }
    /// True while the dataset's cursor is open (the concrete dataset's answer).
    [[nodiscard]] virtual bool IsCursorOpen() const = 0;

    // ---- fields -----------------------------------------------------------------
    [[nodiscard]] TFields& Fields() noexcept { return m_fields; }
    [[nodiscard]] const TFields& Fields() const noexcept { return m_fields; }
    [[nodiscard]] TFieldDefs& FieldDefs() noexcept { return m_fieldDefs; }
    [[nodiscard]] int FieldCount() const noexcept { return m_fields.Count(); }
    /// Field of that name; raises EDatabaseError "<ds>: Field '<name>' not found".
    [[nodiscard]] TField* FieldByName(const std::string& FieldName) const;
    [[nodiscard]] TField* FindField(const std::string& FieldName) const;
    [[nodiscard]] TField* FieldByNumber(int FieldNo) const {
        return m_fields.FieldByNumber(FieldNo);
    }
    /// Fields named in a semicolon-separated list (each must exist).
    void GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const;
    void GetFieldNames(std::vector<std::string>& List) const;
    /// Value of one field, or a 0-based variant array for several names ("a;b").
    [[nodiscard]] Variant GetFieldValues(const std::string& FieldNames) const;
    [[nodiscard]] Variant FieldValues(const std::string& FieldNames) const {
        return GetFieldValues(FieldNames);
    }
    [[nodiscard]] Variant GetFieldValue(const std::string& FieldNames) const {
        return GetFieldValues(FieldNames);
    }
    void SetFieldValues(const std::string& FieldNames, const Variant& Value);
    /// True when the fields were created from the field definitions at open.
    [[nodiscard]] bool DefaultFields() const noexcept { return m_defaultFields; }
    /// Bytes the calculated and lookup fields take (each DataSize + 1 flag byte).
    [[nodiscard]] int CalcFieldsSize() const noexcept { return m_calcFieldsSize; }
    /// Writes the values to the fields in order (Null clears; Empty leaves a field as is).
    void SetFields(const std::vector<Variant>& Values);
    /// Makes every field of the current record null (edit modes only).
    void ClearFields();

    // ---- navigation -------------------------------------------------------------
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    /// Moves Distance records; returns how many it moved (negative backwards).
    int MoveBy(int Distance);
    [[nodiscard]] bool Bof() const noexcept { return m_bof; }
    [[nodiscard]] bool Eof() const noexcept { return m_eof; }
    /// True when the dataset shows no record.
    [[nodiscard]] bool IsEmpty() const noexcept { return m_activeRecord >= m_recordCount; }
    /// 1-based number of the current record (-1 when unknown).
    [[nodiscard]] int RecNo() const {
        TOperationScope scope(const_cast<TDataSet&>(*this));
        return GetRecNo();
    }
    /// Makes the record with that number current; the base does nothing.
    virtual void SetRecNo(int /*Value*/) {}
    /// Number of records (-1 when the dataset cannot tell).
    [[nodiscard]] int RecordCount() {
        TOperationScope scope(*this);
        return GetRecordCount();
    }
    /// Re-reads the records around the current one from the concrete dataset.
    void Refresh();

    // ---- editing ------------------------------------------------------------------
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    /// Posts (when modified) or cancels a pending edit; raises when inactive.
    void CheckBrowseMode();
    /// Asks the data links to write pending control values (deUpdateRecord).
    void UpdateRecord();
    void AppendRecord(const std::vector<Variant>& Values);
    void InsertRecord(const std::vector<Variant>& Values);
    [[nodiscard]] bool Modified() const noexcept { return m_modified; }
    [[nodiscard]] bool CanModify() const { return GetCanModify(); }

    // ---- bookmarks ----------------------------------------------------------------
    /// Bookmark of the current record; empty when there is none (empty dataset, the
    /// record being inserted).
    [[nodiscard]] TBookmark GetBookmark() const { return GetBookmarkStr(); }
    [[nodiscard]] TBookmark Bookmark() const { return GetBookmarkStr(); }
    void SetBookmark(const TBookmark& Value) { SetBookmarkStr(Value); }
    [[nodiscard]] TBookmark GetBookmarkStr() const;
    void SetBookmarkStr(const TBookmark& Value) { GotoBookmark(Value); }
    /// Makes the bookmarked record current (centred in the window); nil does nothing.
    void GotoBookmark(const TBookmark& ABookmark);
    [[nodiscard]] virtual bool BookmarkValid(const TBookmark& ABookmark);
    /// Order of two bookmarks (-1, 0, 1); the base compares nil bookmarks as equal.
    [[nodiscard]] virtual int CompareBookmarks(const TBookmark& Bookmark1,
                                               const TBookmark& Bookmark2);
    [[nodiscard]] int BookmarkSize() const noexcept { return m_bookmarkSize; }

    // ---- sorting and update status -----------------------------------------------
    /// Whether SortByFields orders the records (the base cannot; a dataset holding its
    /// records in memory can).
    [[nodiscard]] virtual bool CanSortByFields() const { return false; }
    /// Orders the records by the fields (names separated by ";"), descending when asked;
    /// an edit in progress is posted first. The base raises EDatabaseError.
    virtual void SortByFields(const std::string& FieldNames, bool Descending);
    /// Whether the current record is changed, inserted or deleted and not yet applied
    /// (usInserted while a new record is edited). The base keeps no such changes and says
    /// usUnmodified.
    [[nodiscard]] virtual TUpdateStatus UpdateStatus() const { return usUnmodified; }

    // ---- filtering and searching --------------------------------------------------
    [[nodiscard]] bool Filtered() const noexcept { return m_filtered; }
    /// Stores the filtering switch. Concrete datasets override it to re-read their
    /// records (CheckBrowseMode, then First) when it changes on an open dataset.
    virtual void SetFiltered(bool Value);
    [[nodiscard]] TFilterOptions FilterOptions() const noexcept { return m_filterOptions; }
    /// Stores the options (see SetFiltered for re-reading).
    virtual void SetFilterOptions(TFilterOptions Value);
    [[nodiscard]] const TFilterRecordEvent& OnFilterRecord() const noexcept {
        return m_onFilterRecord;
    }
    /// Stores the handler (see SetFiltered for re-reading).
    virtual void SetOnFilterRecord(TFilterRecordEvent Value);
    /// The filter expression (see TFilterExpression); empty for none. While Filtered is on
    /// a record shows when the expression and the OnFilterRecord handler both accept it.
    [[nodiscard]] const std::string& Filter() const noexcept { return m_filterText; }
    /// Parses and stores the expression (see SetFiltered for re-reading). An expression
    /// that cannot be parsed raises EDatabaseError naming the position, and the former
    /// one stays. On an open dataset the field names and the literals are also checked
    /// against the fields first: an unknown field or a literal its field cannot take
    /// raises the same way, the former expression still in force.
    virtual void SetFilter(const std::string& Value);
    /// Finds the first record whose key fields equal the values and makes it current.
    /// The base scans the records with the controls disabled and fires one BeforeScroll,
    /// and AfterScroll only when it found a record (the current record stays otherwise).
    virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                        TLocateOptions Options);
    /// Values of ResultFields in the first record whose key fields equal KeyValues, or
    /// Null; the current record does not change and no scroll event fires.
    virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                           const std::string& ResultFields);
    bool FindFirst() { return findScoped(true, true); }
    bool FindLast() { return findScoped(true, false); }
    bool FindNext() { return findScoped(false, true); }
    bool FindPrior() { return findScoped(false, false); }
    /// Result of the last Find*/Locate.
    [[nodiscard]] bool Found() const noexcept { return m_found; }

    // ---- data-aware controls --------------------------------------------------------
    /// Stops notifications to data links until the matching EnableControls.
    void DisableControls();
    /// Resumes notifications. The links then receive one state change when the state
    /// differs, and one data-set change when a data event was held back meanwhile
    /// (nothing when nothing changed, so that a caller that refreshes the links itself
    /// afterwards causes one notification, not two).
    void EnableControls();
    [[nodiscard]] bool ControlsDisabled() const noexcept { return m_disableCount != 0; }
    /// Notifies the dataset and, unless controls are disabled, its data sources and links.
    /// Info carries the field for deFieldChange/deFocusControl, the distance for
    /// deDataSetScroll.
    virtual void DataEvent(TDataEvent Event, intptr_t Info);
    /// True when ADataSource's dataset is this one or is linked back to it through data
    /// sources (a link would be circular).
    [[nodiscard]] bool IsLinkedTo(TDataSource* ADataSource);
    /// The data source this dataset is a detail of (nullptr by default).
    [[nodiscard]] virtual TDataSource* GetDataSource() const { return nullptr; }

    // ---- record-level access used by fields and links -------------------------------
    /// Reads a field of the current record (see TField::GetData); Buffer nullptr tests
    /// for null. Returns false for null or when there is no current record.
    virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
    /// Writes a field of the current record (Buffer nullptr: null); the base raises
    /// "operation not supported". Implementations send deFieldChange.
    virtual void SetFieldData(TField* Field, const void* Buffer);
    /// Stream over a blob field's value in the current record, owned by the caller.
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
    /// Converts text between the client's and the storage's character sets (ToOem: for
    /// storing). The base copies unchanged; returns the length of Dest.
    virtual int Translate(const char* Src, char* Dest, bool ToOem);
    /// True when RecNo/SetRecNo address records by stable sequence numbers.
    [[nodiscard]] virtual bool IsSequenced() { return true; }
    /// Copies the current record into Buffer; false when there is none.
    virtual bool GetCurrentRecord(TRecordBuffer Buffer);
    /// The buffer of the current record in the window (nullptr when closed).
    [[nodiscard]] TRecordBuffer ActiveBuffer() const noexcept;
    /// The buffer being calculated (dsCalcFields).
    [[nodiscard]] TRecordBuffer CalcBuffer() const noexcept { return m_calcBuffer; }
    /// Number of records the window holds (the largest BufferCount of the links, >= 1).
    [[nodiscard]] int BufferCount() const noexcept { return m_bufferCount; }

    // ---- events -----------------------------------------------------------------------
#define HOST_DATASET_EVENT(Name, Type)                                                             \
    [[nodiscard]] const Type& Name() const noexcept {                                              \
        return m_##Name;                                                                           \
    }                                                                                              \
    void Set##Name(Type Value) {                                                                   \
        m_##Name = std::move(Value);                                                               \
    }
    HOST_DATASET_EVENT(BeforeOpen, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterOpen, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeClose, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterClose, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeInsert, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterInsert, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeEdit, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterEdit, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforePost, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterPost, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeCancel, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterCancel, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeDelete, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterDelete, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeScroll, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterScroll, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(BeforeRefresh, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(AfterRefresh, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(OnCalcFields, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(OnNewRecord, TDataSetNotifyEvent)
    HOST_DATASET_EVENT(OnDeleteError, TDataSetErrorEvent)
    HOST_DATASET_EVENT(OnEditError, TDataSetErrorEvent)
    HOST_DATASET_EVENT(OnPostError, TDataSetErrorEvent)
#undef HOST_DATASET_EVENT

    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    /// Lists no children: what a dataset owns (its default fields, datasets it creates
    /// while running) is made again at run time and never written to a stream.
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) const override;

    /// Appends the dataset's events as published event properties, in the framework's
    /// order (BeforeOpen ... OnPostError), for descendants that publish them.
    static void AddEventProperties(TPropList& list);

protected:
    // ---- state ----------------------------------------------------------------------
    /// Changes the state, clears Modified and sends deUpdateState.
    void SetState(TDataSetState Value);
    /// Switches to a temporary state without notifying anyone (links are held off until
    /// RestoreState); returns the state to restore.
    TDataSetState SetTempState(TDataSetState Value);
    void RestoreState(TDataSetState Value);
    void SetModified(bool Value) noexcept {
        m_modified = Value;
    }
    void SetFound(bool Value) noexcept {
        m_found = Value;
    }
    void SetBookmarkSize(int Value) noexcept {
        m_bookmarkSize = Value;
    }
    void SetDefaultFields(bool Value) noexcept {
        m_defaultFields = Value;
    }
    void CheckActive() const;
    void CheckInactive() const;
    /// Raises EAbort when a Close() is waiting for the operation in progress to stop (or
    /// the dataset was closed under it); called after the events an operation continues
    /// from.
    void AbortIfClosing();

    // ---- opening and closing hooks ----------------------------------------------------
    /// Opens the cursor. InfoQuery: only the field definitions are wanted (the base then
    /// calls InternalInitFieldDefs). Otherwise records whether the fields are default
    /// (no fields before the open), runs InternalOpen and sizes the buffer ring.
    /// Post: IsCursorOpen() tells whether it worked; on a closed cursor the caller
    /// leaves the dataset inactive.
    virtual void OpenCursor(bool InfoQuery);
    /// Releases the buffer ring, then InternalClose. Safe to call on a closed cursor.
    virtual void CloseCursor();
    /// Produce the records: open the concrete cursor, describe the columns
    /// (FieldDefs), create default fields (CreateFields when DefaultFields) and
    /// BindFields(true). Post: IsCursorOpen().
    virtual void InternalOpen() = 0;
    /// Release the concrete cursor; unbind (BindFields(false)) and, when DefaultFields,
    /// DestroyFields. Pre: the buffer ring is already released.
    virtual void InternalClose() = 0;
    /// Fill FieldDefs() from the open cursor's columns.
    virtual void InternalInitFieldDefs() = 0;
    /// Describes the columns: InternalInitFieldDefs on an open cursor, else a short
    /// information-only OpenCursor/CloseCursor.
    virtual void InitFieldDefs();
    /// FieldDefs.Update: InitFieldDefs unless the definitions are up to date.
    void UpdateFieldDefs();
    /// Creates one field per field definition (not ftUnknown), owned by the dataset.
    virtual void CreateFields();
    /// Destroys every field of the Fields list.
    virtual void DestroyFields();
    /// Binding: binds data fields to their definitions by name (FieldNo; EDatabaseError
    /// when a definition is missing), numbers calculated and lookup fields -1 and gives
    /// each an Offset in the calculated-field area (size: CalcFieldsSize). Unbinding sets
    /// every FieldNo to 0.
    virtual void BindFields(bool Binding);
    /// Class of the default field for a type (DefaultFieldClass).
    [[nodiscard]] virtual TFieldClass GetFieldClass(TFieldType FieldType) const;
    /// Event hooks: each runs its event handler (if assigned) and nothing else.
    /// Overrides add behaviour around the event (call the inherited hook to fire it).
    /// Before* hooks may raise to stop the operation before anything changed.
    virtual void DoAfterOpen();
    virtual void DoBeforeOpen();
    virtual void DoAfterClose();
    virtual void DoBeforeClose();
    virtual void DoBeforeInsert();
    virtual void DoAfterInsert();
    virtual void DoBeforeEdit();
    virtual void DoAfterEdit();
    virtual void DoBeforePost();
    virtual void DoAfterPost();
    virtual void DoBeforeCancel();
    virtual void DoAfterCancel();
    virtual void DoBeforeDelete();
    virtual void DoAfterDelete();
    virtual void DoBeforeScroll();
    virtual void DoAfterScroll();
    virtual void DoOnNewRecord();
    virtual void DoOnCalcFields();

    // ---- record buffers ---------------------------------------------------------------
    /// A new record buffer (the concrete layout, zero-filled).
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    /// Releases a buffer from AllocRecordBuffer and sets the reference to nullptr.
    virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
    /// Size of a record's data part.
    [[nodiscard]] virtual int GetRecordSize() {
        return 0;
    }
    /// Reads a record into Buffer and moves the concrete position: gmCurrent the record
    /// at the position, gmNext/gmPrior the following/preceding one (skipping records a
    /// filter rejects). Returns grOK, grBOF/grEOF at the ends (position unchanged),
    /// grError when the current record is not available. On grOK the buffer holds the
    /// record with bookmark data and flag bfCurrent, calculated fields computed.
    virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
    /// Sets the concrete position before the first / after the last record.
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    /// Sets the concrete position to the record held in Buffer.
    virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
    /// Initialises a buffer for a new record (all fields null, no record number).
    /// Called by InitRecord when inserting and appending.
    virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
    /// InternalInitRecord, ClearCalcFields and flag bfInserted.
    virtual void InitRecord(TRecordBuffer Buffer);
    /// Resizes the buffer ring to Value buffers (allocating or freeing the difference);
    /// 0 releases all. On an allocation failure the ring is left as it was.
    void SetBufListSize(int Value);
    /// Sets the window to Value records, keeping the current record in it.
    void SetBufferCount(int Value);
    /// Recomputes the window size from the links (at least 1) when the cursor is open.
    void UpdateBufferCount();
    [[nodiscard]] TRecordBuffer Buffers(int Index) const {
        return m_buffers.at(static_cast<std::size_t>(Index));
    }
    [[nodiscard]] int ActiveRecord() const noexcept {
        return m_activeRecord;
    }
    [[nodiscard]] int BufferedRecordCount() const noexcept {
        return m_recordCount;
    }
    [[nodiscard]] int CurrentRecord() const noexcept {
        return m_currentRecord;
    }

    // ---- position ---------------------------------------------------------------------
    /// Forgets which window entry the concrete position stands at.
    void CursorPosChanged() noexcept {
        m_currentRecord = -1;
    }
    /// Moves the concrete position to the active record (when it is not already there).
    void UpdateCursorPos();
    /// Moves the concrete position to window entry Index.
    void SetCurrentRecord(int Index);
    /// Refills the window around the concrete position. rmExact: the record at the
    /// position must exist ("Record not found" otherwise); without it the nearest record
    /// is taken, or the window is emptied. rmCenter: the record goes to the middle of the
    /// window, else it keeps the active record's row. Sends deDataSetChange.
    void Resync(TResyncMode Mode);
    void ClearBuffers() noexcept;
    void ActivateBuffers() noexcept;
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();

    // ---- bookmarks --------------------------------------------------------------------
    /// Writes the bookmark of the record in Buffer (BookmarkSize bytes) to Data.
    virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) = 0;
    /// Stores a bookmark into Buffer's bookmark data.
    virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) = 0;
    /// The position marker stored in Buffer: bfCurrent for a record read by GetRecord,
    /// bfInserted for a new record, bfBOF/bfEOF for a new record before the first /
    /// after the last (the engine sets them while inserting and appending).
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
    /// Sets the concrete position to the bookmarked record.
    virtual void InternalGotoBookmark(const void* ABookmark) = 0;
    [[nodiscard]] bool BookmarkAvailable() const;

    // ---- editing hooks --------------------------------------------------------------
    /// Called by Edit after BeforeEdit, position on the record. Default: nothing.
    virtual void InternalEdit() {}
    /// Called by Insert/Append with the new buffer active and initialised.
    virtual void InternalInsert() {}
    /// Called by Cancel with the position on the edited record, before dsBrowse, and
    /// when an edit is abandoned (OnNewRecord raised, Close while editing): release
    /// what InternalEdit/InternalInsert set up.
    virtual void InternalCancel() {}
    /// Store the active buffer (dsEdit: over its record; dsInsert: as a new record in
    /// front of the bookmarked one, or last when its flag is bfEOF). Implementations
    /// call CheckRequiredFields first.
    virtual void InternalPost() = 0;
    /// Raises EDatabaseError "Field '<display name>' must have a value" for the first
    /// data field, in field order, that is Required, not ReadOnly and null in the active
    /// record.
    void CheckRequiredFields();
    /// Remove the record at the concrete position; the position then names the next.
    virtual void InternalDelete() = 0;
    /// Store a whole record from Buffer (a record buffer of this dataset) in one step:
    /// appended when Append, else inserted at the position. For datasets that add
    /// records outside the edit cycle; the engine's own AppendRecord/InsertRecord go
    /// through Append/Insert and Post.
    virtual void InternalAddRecord(void* Buffer, bool Append) = 0;
    /// Re-read the records (Refresh). Default: nothing.
    virtual void InternalRefresh() {}
    /// Report an exception that must not propagate (called inside a catch block).
    virtual void InternalHandleException() = 0;
    [[nodiscard]] virtual bool GetCanModify() const {
        return true;
    }

    // ---- counts and numbers -----------------------------------------------------------
    [[nodiscard]] virtual int GetRecNo() const {
        return -1;
    }
    [[nodiscard]] virtual int GetRecordCount() {
        return -1;
    }

    // ---- calculated fields ------------------------------------------------------------
    /// Computes the calculated and lookup fields of Buffer in the temporary state
    /// dsCalcFields (when there are any).
    virtual void GetCalcFields(TRecordBuffer Buffer);
    /// Sets CalcBuffer, clears the calculated fields, fetches lookup values and runs
    /// OnCalcFields. Pre: the state is dsCalcFields (or dsInternalCalc).
    virtual void CalculateFields(TRecordBuffer Buffer);
    /// Makes the calculated fields of Buffer null; the base does nothing.
    virtual void ClearCalcFields(TRecordBuffer Buffer);

    // ---- filtering ---------------------------------------------------------------------
    /// Whether a filter expression or an OnFilterRecord handler is set (whether or not
    /// Filtered is on).
    [[nodiscard]] bool HasFilterConditions() const noexcept;
    /// Tests the record under test (the state is dsFilter, so the fields read it): the
    /// filter expression, then, when it accepts, the OnFilterRecord handler. True when
    /// both accept (a missing one accepts).
    bool RecordMatchesFilter();

    // ---- searching ---------------------------------------------------------------------
    /// One step of FindFirst/FindNext/...: Restart moves to the first (GoForward) or last
    /// record first. Returns whether a record was found and sets Found. The base returns
    /// false.
    virtual bool FindRecord(bool Restart, bool GoForward);

private:
    friend class TDataSource;
    friend class TDataLink;
    friend class TFieldDefs;
    friend class TFieldDef;
    friend class TField;

    void openCursorComplete();
    bool findScoped(bool restart, bool forward);
    /// Carries out a Close() requested while an operation ran; never raises.
    void finishPendingClose() noexcept;
    /// GetRecord into buffer; marks the concrete position stale when it raises.
    bool readRecord(TRecordBuffer buffer, TGetMode mode);
    void freeFieldBuffers() noexcept;
    void doInsertAppend(bool append);
    /// First and Last: fill the buffers from one end of the records and mark that end.
    void moveToEnd(bool last);
    void checkOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent);
    void moveBuffer(int curIndex, int newIndex) noexcept;
    void registerDataSource(TDataSource* source);
    void unregisterDataSource(TDataSource* source);
    void adjustLinkFirstRecords(int delta);
    bool scanLocate(const std::vector<TField*>& keys, const Variant& values,
                    TLocateOptions options);

    TFields m_fields{this};
    TFieldDefs m_fieldDefs{this};
    std::vector<TDataSource*> m_dataSources;
    std::vector<TRecordBuffer> m_buffers;
    int m_bufferCount = 0;
    int m_recordCount = 0;
    int m_activeRecord = 0;
    int m_currentRecord = -1;
    bool m_bof = true;
    bool m_eof = true;
    TDataSetState m_state = dsInactive;
    TDataSetState m_disableState = dsInactive;
    TDataEvent m_enableEvent = deDataSetChange;
    bool m_changeHeld = false; // a data event was held back while the controls were disabled
    int m_disableCount = 0;
    int m_quietScrolls = 0;      // > 0 while Locate/Lookup scan: no scroll events
    int m_busy = 0;              // public operations in progress (TOperationScope)
    bool m_closePending = false; // Close() called while m_busy
    bool m_modified = false;
    bool m_found = false;
    bool m_defaultFields = false;
    bool m_internalOpenComplete = false;
    bool m_streamedActive = false;
    int m_calcFieldsSize = 0;
    int m_bookmarkSize = 0;
    TRecordBuffer m_calcBuffer = nullptr;
    bool m_filtered = false;
    TFilterOptions m_filterOptions;
    TFilterRecordEvent m_onFilterRecord;
    std::string m_filterText;
    std::unique_ptr<TFilterExpression> m_filterExpression; // parsed m_filterText; null when empty

    TDataSetNotifyEvent m_BeforeOpen, m_AfterOpen, m_BeforeClose, m_AfterClose;
    TDataSetNotifyEvent m_BeforeInsert, m_AfterInsert, m_BeforeEdit, m_AfterEdit;
    TDataSetNotifyEvent m_BeforePost, m_AfterPost, m_BeforeCancel, m_AfterCancel;
    TDataSetNotifyEvent m_BeforeDelete, m_AfterDelete, m_BeforeScroll, m_AfterScroll;
    TDataSetNotifyEvent m_BeforeRefresh, m_AfterRefresh, m_OnCalcFields, m_OnNewRecord;
    TDataSetErrorEvent m_OnDeleteError, m_OnEditError, m_OnPostError;
};

} // namespace tovrin::host

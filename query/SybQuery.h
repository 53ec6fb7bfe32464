// TSybQuery: the query component. It holds SQL text with parameters, names the connection
// it runs on, says which row result of its batch it shows (ResultSet) and can feed other
// queries (receivers, whose Master it is) with the other row results of the same batch.
// Once open it is an in-memory TSybDataSet: every row of its result is stored, and the
// record operations of the host framework (buffers, field access, bookmarks, record
// numbers, delete, filtering) work on those stored records. Edits, inserts and deletes
// stay pending in memory until ApplyUpdates writes them back to the server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/client/Cstypes.h"
#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/host/Strings.h"
#include "tovrin5/query/SybCommandClient.h"
#include "tovrin5/query/SybMessages.h"

namespace tovrin::host {
class TReader;
class TWriter;
class Exception;
} // namespace tovrin::host

namespace tovrin {

class TSybConnect;
class TSybQuery;
class TSybClientField;
class TParamMapping;
class TTovrinAbout;

/// Which row result of a batch a query shows (0 is the first).
using TResultSetNo = uint8_t;

/// Fired for a query created for a row result that no query claimed.
using TNewResultSetEvent = host::TEvent<void(TSybQuery* ADataSet)>;

/// Fired while the rows of a row result are loaded into ADataSet: RowsFetched rows of that
/// result are stored so far.
using TFetchProgressEvent = host::TEvent<void(TSybQuery* ADataSet, int64_t RowsFetched)>;

/// Fired for each row of a row result as soon as it is fetched into ADataSet, before it is
/// stored. During the call the dataset's fields read that row. Keep comes in true; a
/// handler that sets it to false drops the row, so that an application exporting a large
/// result reads it forward only, in constant memory.
using TFetchRowEvent = host::TEvent<void(TSybQuery* ADataSet, bool& Keep)>;

/// Fired when a batch delivers a procedure's return status (Sender's ReturnStatus) or its
/// output parameters (Sender's OutputParam...), at the point of the batch where the server
/// sent them.
using TBatchValuesEvent = host::TEvent<void(TSybQuery* Sender)>;

/// Fired for each pending change ApplyUpdates applies, with the dataset reading that
/// record's values (OldValue its values as fetched). UpdateAction comes in as uaFail: a
/// handler that applied the record itself answers uaApplied; uaSkip leaves it pending,
/// uaAbort stops the whole apply quietly, uaRetry calls the handler again, and uaFail
/// makes the apply fail.
using TUpdateRecordEvent = host::TEvent<void(host::TDataSet* DataSet, host::TUpdateKind UpdateKind,
                                             host::TUpdateAction& UpdateAction)>;

/// Fired when applying a pending change failed (E: the server's error or the conflict),
/// with the dataset reading that record's values. UpdateAction comes in as uaFail (the
/// error is raised); uaAbort stops quietly, uaSkip leaves the record pending and goes on,
/// uaRetry applies the record again, uaApplied counts it as applied.
using TUpdateErrorEvent =
    host::TEvent<void(host::TDataSet* DataSet, host::Exception& E, host::TUpdateKind UpdateKind,
                      host::TUpdateAction& UpdateAction)>;

/// Raised by ApplyUpdates when a statement did not affect exactly one row, or when the
/// server refused it. Bookmark() names the record concerned (its identity).
class ESybUpdateError : public ESybQueryError {
public:
    ESybUpdateError(const std::string& Message, host::TBookmark ABookmark, host::TUpdateKind AKind)
        : ESybQueryError(Message), FBookmark(std::move(ABookmark)), FKind(AKind) {}
    [[nodiscard]] const host::TBookmark& Bookmark() const noexcept { return FBookmark; }
    [[nodiscard]] host::TUpdateKind UpdateKind() const noexcept { return FKind; }

private:
    host::TBookmark FBookmark;
    host::TUpdateKind FKind;
};

/// The row count that one statement of a batch reported when it ended.
struct TStatementRowCount {
    int32_t Rows = 0;       ///< rows it selected, inserted, updated or deleted
    int32_t RowResults = 0; ///< row results of the batch up to this statement, its own included
    bool Selected = false;  ///< its rows came as a row result (a select), not as changes
};

/// The detail link of a query: connects it to the DataSource whose dataset is its master.
class TSybDataLink : public host::TDetailDataLink {
public:
    explicit TSybDataLink(TSybQuery* AQuery) : FQuery(AQuery) {}
    [[nodiscard]] std::string ClassName() const override { return "TSybDataLink"; }
    [[nodiscard]] host::TDataSet* GetDetailDataSet() override;
    [[nodiscard]] TSybQuery* Query() const noexcept { return FQuery; }

protected:
    /// The master opened or closed, or the link was attached or detached: an open detail
    /// re-runs (RefreshParams).
    void ActiveChanged() override;
    /// The master's current record changed as a whole (Field nullptr): an open detail
    /// re-runs. A change of one field while the master is edited does not re-run it.
    void RecordChanged(host::TField* Field) override;
    /// The master is about to change record or state: an open detail posts or cancels
    /// its pending edit.
    void CheckBrowseMode() override;

private:
    TSybQuery* FQuery;
};

class TSybQuery : public TSybDataSet, public TSybCommandClient {
public:
    explicit TSybQuery(host::TComponent* AOwner);
    ~TSybQuery() override;
    [[nodiscard]] std::string ClassName() const override { return "TSybQuery"; }
    void GetPublishedProperties(host::TPropList& list) const override;
    void Notification(host::TComponent* AComponent, host::TOperation Operation) override;

    // ---- configuration --------------------------------------------------------------
    [[nodiscard]] host::TStrings* SQL() const noexcept { return FSQL.get(); }
    /// Closes an open query and takes the new text when it differs from the current one.
    void SetSQL(host::TStrings* Value);
    [[nodiscard]] const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    void SetDatabaseName(const std::string& Value);
    [[nodiscard]] TResultSetNo ResultSet() const noexcept { return FResultSet; }
    void SetResultSet(TResultSetNo Value);
    [[nodiscard]] TSybQuery* Master() const noexcept { return FMaster; }
    /// Moves the query to another master's receiver list (nullptr: none). Raises
    /// "Master "<m>" of query "<q>" would make the query its own master" when Value is
    /// this query or has it above in its chain of masters; nothing changes then.
    void SetMaster(TSybQuery* Value);
    /// The connection used when the package runs inside a library (see connection
    /// resolution); only stored.
    void SetExternalConnect(TSybConnect* Value) noexcept { FExternalConnect = Value; }
    [[nodiscard]] TSybConnect* ExternalConnect() const noexcept { return FExternalConnect; }
    [[nodiscard]] host::TParams* Params() const noexcept { return FParams.get(); }
    /// Copies the values of same-named parameters; the parameter list does not change.
    void SetParamsList(host::TParams* Value);
    [[nodiscard]] host::TDataSource* GetDataSource() const override;
    [[nodiscard]] host::TDataSource* DataSource() const { return GetDataSource(); }
    void SetDataSource(host::TDataSource* Value);
    [[nodiscard]] bool ReadOnly() const noexcept { return FReadOnly; }
    void SetReadOnly(bool Value) noexcept { FReadOnly = Value; }
    [[nodiscard]] bool GetCachedUpdates() const noexcept { return !FReadOnly; }
    [[nodiscard]] bool CachedUpdates() const noexcept { return GetCachedUpdates(); }
    void SetCachedUpdates(bool Value) noexcept { FReadOnly = !Value; }
    [[nodiscard]] TTovrinAbout* About() const noexcept { return FAbout; }
    /// The return status of the last execution; 0 when none came (see HasReturnStatus).
    [[nodiscard]] int32_t ReturnStatus() const noexcept { return FReturnStatus; }
    /// Receivers of this query's batch (queries whose Master it is).
    [[nodiscard]] const std::vector<TSybQuery*>* ResultQueries() const noexcept {
        return FResultQueries.get();
    }

    [[nodiscard]] const TSybMessageProc& OnServerMessage() const noexcept override {
        return FOnServerMessage;
    }
    void SetOnServerMessage(TSybMessageProc Value) { FOnServerMessage = std::move(Value); }
    [[nodiscard]] const TSybMessageProc& OnServerError() const noexcept override {
        return FOnServerError;
    }
    void SetOnServerError(TSybMessageProc Value) { FOnServerError = std::move(Value); }
    [[nodiscard]] const TNewResultSetEvent& OnNewDataSet() const noexcept { return FOnNewDataSet; }
    void SetOnNewDataSet(TNewResultSetEvent Value) { FOnNewDataSet = std::move(Value); }
    /// Fired every FetchProgressInterval rows while a row result is loaded into this query,
    /// or into one of its receivers that has no handler of its own (ADataSet names the
    /// query being filled). Unassigned, the fetch does not count. An exception from the
    /// handler ends the fetch as any failure does (the command is cancelled). Run-time
    /// only: not written to the component stream.
    [[nodiscard]] const TFetchProgressEvent& OnFetchProgress() const noexcept {
        return FOnFetchProgress;
    }
    void SetOnFetchProgress(TFetchProgressEvent Value) { FOnFetchProgress = std::move(Value); }
    /// The forward-only read: fired for every row fetched into this query, or into one of
    /// its receivers that has no handler of its own (ADataSet names the query being
    /// filled). During the call the fields of ADataSet read the new row (the dataset is in
    /// the temporary state dsFilter); calculated and lookup fields read nothing then. A row
    /// the handler does not keep is never stored: a result read that way opens empty, and
    /// its memory does not grow with its rows. An exception from the handler ends the
    /// fetch as any failure does (the command is cancelled). Run-time only.
    [[nodiscard]] const TFetchRowEvent& OnFetchRow() const noexcept { return FOnFetchRow; }
    void SetOnFetchRow(TFetchRowEvent Value) { FOnFetchRow = std::move(Value); }
    /// Fired when a return status arrives, right after ReturnStatus has taken it, so that
    /// an application can show it in the order of the batch. Run-time only.
    [[nodiscard]] const TBatchValuesEvent& OnReturnStatus() const noexcept {
        return FOnReturnStatus;
    }
    void SetOnReturnStatus(TBatchValuesEvent Value) { FOnReturnStatus = std::move(Value); }
    /// Fired when output parameters arrive, once OutputParam and OutputParamValue read
    /// them. Run-time only.
    [[nodiscard]] const TBatchValuesEvent& OnOutputParams() const noexcept {
        return FOnOutputParams;
    }
    void SetOnOutputParams(TBatchValuesEvent Value) { FOnOutputParams = std::move(Value); }
    /// Rows between two OnFetchProgress calls (default 10,000; values below 1 read as 1).
    [[nodiscard]] int32_t FetchProgressInterval() const noexcept { return FFetchProgressInterval; }
    void SetFetchProgressInterval(int32_t Value) noexcept {
        FFetchProgressInterval = Value < 1 ? 1 : Value;
    }

    // ---- opening and executing ------------------------------------------------------------
    /// Opens or closes; closing also closes every receiver (whose changes not yet applied
    /// are kept for the next time its master's batch brings the same rows). A receiver or
    /// detail with changes not yet applied refuses to close ("apply or cancel them first"):
    /// closed, it could not apply them.
    void SetActive(bool Value) override;
    /// Close, Open, Close: runs the SQL and discards any rows.
    void ExecSQL();
    /// The fields that identify a record (names separated by semicolons), used by Refresh
    /// to find the current record again (empty: every data field that is not a blob) and
    /// by ApplyUpdates to locate rows. On an open query the named fields get pfInKey and
    /// the others lose it.
    [[nodiscard]] const std::string& KeyFields() const noexcept { return FKeyFields; }
    void SetKeyFields(const std::string& Value);

    // ---- applying pending changes ----------------------------------------------------------
    /// Applies the pending changes in the order they were made (those of parked rows, a
    /// detail's other master records, after the shown ones), each as one insert,
    /// update or delete on UpdateTableName (else the table of a single-table select).
    /// Each field is written to the column it comes from, under the column's real name,
    /// as its ProviderFlags allow; a pending change to a field that cannot be written
    /// raises ESybUpdateError before anything is sent. Outside a transaction the apply
    /// runs in one of its own; inside one (the connection's InTransaction) it takes a
    /// savepoint and never ends the transaction. Each statement must affect exactly one
    /// row (@@rowcount, read in the same batch); otherwise, or when the server refuses it,
    /// the apply's statements are rolled back (to the savepoint inside a transaction),
    /// every change stays pending as it was, and ESybUpdateError is raised ("Record
    /// changed or deleted by another user" with the table and the key), its text saying
    /// what was rolled back. Each insert and update reads its row back in the same batch
    /// (by @@identity for a new row whose identity or key the server assigned, else by
    /// the key): on success the records take the values the server holds (identities,
    /// defaults, rounding, trigger changes, a new timestamp), the applied changes are
    /// merged and the deleted records are gone. An edit in progress is posted first.
    void ApplyUpdates();
    /// The table changes are applied to; empty: taken from the SQL. On an open query the
    /// fields' ProviderFlags are set again from what the SQL says of the new table.
    [[nodiscard]] const std::string& UpdateTableName() const noexcept { return FUpdateTableName; }
    void SetUpdateTableName(const std::string& Value);
    /// How an update or delete finds its row (upWhereAll by default). upWhereChanged
    /// locates by KeyFields and the original values of the changed columns (a delete by
    /// KeyFields); upWhereKeyOnly by KeyFields alone. Both need KeyFields.
    [[nodiscard]] host::TUpdateMode UpdateMode() const noexcept { return FUpdateMode; }
    void SetUpdateMode(host::TUpdateMode Value) noexcept { FUpdateMode = Value; }
    [[nodiscard]] const TUpdateRecordEvent& OnUpdateRecord() const noexcept {
        return FOnUpdateRecord;
    }
    void SetOnUpdateRecord(TUpdateRecordEvent Value) { FOnUpdateRecord = std::move(Value); }
    [[nodiscard]] const TUpdateErrorEvent& OnUpdateError() const noexcept { return FOnUpdateError; }
    void SetOnUpdateError(TUpdateErrorEvent Value) { FOnUpdateError = std::move(Value); }
    /// The statement ApplyUpdates sends for one pending change (without the row-count
    /// check); empty when the change needs none.
    [[nodiscard]] std::string UpdateStatement(const TPendingChange& Change);

    // ---- master-detail (DataSource) ---------------------------------------------------
    /// Gives every parameter the application has not set (not Bound) the value and type
    /// of the master's field of the same name, and leaves it unbound so that the next
    /// open fills it again. Raises the host's field-not-found error for a parameter the
    /// master has no field for. Nothing without a DataSource or master dataset.
    void SetParamsFromCursor();
    /// Re-runs the query (Close, Open) for the master's current record when the master is
    /// open and not in dsSetKey; the controls see one change. Changes not yet applied are
    /// kept: the rows they belong to are parked and come back, changes included, whenever
    /// the query is asked for the same rows again (the master returns to that record).
    void RefreshParams();
    /// Whether the master's current record asks for other rows than the query shows: the
    /// SQL text with the master's values differs from the one the rows were read with.
    /// True as well when that cannot be told (the master closed, in dsSetKey, a value
    /// that has no literal), leaving the decision to RefreshParams.
    [[nodiscard]] bool LinkValuesChanged();

    // ---- searching ------------------------------------------------------------------------
    /// Raises ESybQueryError "Variant array of values has invalid dimension count" for
    /// values of more than one array dimension, otherwise the dataset's search.
    bool LocateRecord(const std::string& KeyFields, const host::Variant& KeyValues,
                      host::TLocateOptions Options, bool SyncCursor) override {
        if (host::VarArrayDimCount(KeyValues) > 1)
            throw ESybQueryError("Variant array of values has invalid dimension count");
        return TSybDataSet::LocateRecord(KeyFields, KeyValues, Options, SyncCursor);
    }

    // ---- streaming ----------------------------------------------------------------------
    /// Declares ParamData: the parameter list (names, types, values, in order) as a
    /// collection, written when the query has parameters or, in an inherited form, when
    /// they differ from the ancestor's.
    void DefineProperties(host::TFiler* Filer) override;

    // ---- record access ----------------------------------------------------------------
    /// Declares that the stored records are in the order of the last sort (the search
    /// may then halve); any field write that changes a value clears it.
    void SetSorted(bool Value) noexcept { FSorted = Value; }
    [[nodiscard]] bool Sorted() const noexcept { return FSorted; }
    bool GetFieldData(host::TField* Field, void* Buffer) override;
    void SetFieldData(host::TField* Field, const void* Buffer) override;
    [[nodiscard]] bool IsSequenced() override;
    /// Makes the Value-th record the filter shows current, with the scroll events of a
    /// move (an edit is posted first); a number out of range re-reads the window around
    /// the current record and moves nothing.
    void SetRecNo(int Value) override;
    void SetFiltered(bool Value) override;
    /// Sets the expression; on an open filtered dataset the records are read again from
    /// the first (a pending edit is posted or cancelled first).
    void SetFilter(const std::string& Value) override;
    /// Sets the options; re-reads as SetFilter does.
    void SetFilterOptions(host::TFilterOptions Value) override;
    [[nodiscard]] bool BookmarkValid(const host::TBookmark& ABookmark) override;
    [[nodiscard]] int CompareBookmarks(const host::TBookmark& Bookmark1,
                                       const host::TBookmark& Bookmark2) override;
    /// True when the bookmark (a record identity) names a stored record of this open.
    [[nodiscard]] bool InternalBookmarkValid(const void* ABookmark) const;

protected:
    // ---- opening and executing ------------------------------------------------------------
    /// Runs BeforeOpen, then fills the unbound parameters from the master (a detail only).
    void DoBeforeOpen() override;
    /// A closed detail asked for its field definitions executes with the master's values
    /// too (the parameters are filled first).
    void InitFieldDefs() override;
    void OpenCursor(bool InfoQuery) override;
    /// The records are in the order of the last sort when the application said so.
    [[nodiscard]] bool DeclaredSorted() const override { return FSorted; }
    /// ParamData: reads the stored parameter list in place of the one the SQL parse made.
    void ReadParamData(host::TReader* Reader);
    /// ParamData: writes the parameter list as a collection.
    void WriteParamData(host::TWriter* Writer);
    /// Runs the SQL text and fills this query and its receivers.
    void InternalExec() override;
    /// Opens as the dataset does; when rows of the same SQL text (a receiver: of its
    /// master's batch) were parked with changes, they replace the rows just read.
    void InternalOpen() override;
    /// Closes to be filled again (a detail's re-run, a receiver's refill): an edit in
    /// progress is posted, and the rows with changes not yet applied are parked.
    void closeKeepingChanges();
    /// Loads the row result just announced on FCommand into this query.
    virtual void FetchResultSet();
    /// Binds the fetch fields again and loads the rows of a row result that continues the
    /// current one (same format) after compute results.
    void FetchMoreRows();
    /// Loads every row of the current row result into stored records.
    void fetchRows();
    /// Describes the open result's columns as field definitions.
    void InternalInitFieldDefs() override;
    /// Refresh: runs the SQL again with the current parameter values (a detail takes them
    /// from its master's current record, as an open does) and stores the new rows under
    /// the same fields; receivers of the batch are filled again with it. A record found
    /// again by its KeyFields (else all non-blob data fields) keeps its identity, so that
    /// its bookmarks stay valid; the others get new ones. The position
    /// goes to the record whose KeyFields (else all non-blob data fields) hold the values
    /// the current record held, else stays at the same index. AutoSort sorts the new rows.
    /// A receiver's Refresh re-reads nothing (its rows come with its master's batch). On
    /// failure the dataset is closed and the error raised. With changes pending it raises
    /// and changes nothing.
    void InternalRefresh() override;
    /// The fields Refresh identifies a record by.
    [[nodiscard]] std::vector<host::TField*> refreshKeyFields();
    struct TRefreshSnapshot;
    /// Numbers the stored records after Refresh's fetch: a record that the old ones hold
    /// by Keys takes the identity of the first such old record not yet matched, so that its
    /// bookmarks stay valid; the others take new ones. False (nothing done) when the
    /// identities must start again: numberRecords then numbers them.
    bool numberRecordsKeeping(TRefreshSnapshot& Old, const std::vector<host::TField*>& Keys);

    // ---- SQL text and parameters (defined with the parameter code) ---------------------
public:
    /// The SQL text with a literal for every parameter value, and a blank between a literal
    /// and a neighbour it would otherwise join into one token (sqltext::AppendSqlPiece).
    [[nodiscard]] std::string GetSQLText();
    /// Ignores the value: SQLText is computed.
    void SetSQLText(const std::string& Value);
    /// The first parameter of that name; raises the host's "Parameter '<name>' not found".
    [[nodiscard]] host::TParam* ParamByName(const std::string& Value) const;
    /// Number of parameters (one per distinct marker name in the SQL text).
    [[nodiscard]] uint16_t GetParamsCount() const noexcept;
    [[nodiscard]] uint16_t ParamCount() const noexcept { return GetParamsCount(); }
    /// Empties Params, then adds one parameter for every distinct name that follows a
    /// colon in SQL. Quotes and comments are not recognised; the query's own parameters
    /// change only when Params is Params().
    void ParseParams(host::TParams* Params, const std::string& SQL);
    /// The literal that replaces a marker of this parameter (dates and date-times in a
    /// form the server reads alike whatever the session's set dateformat, set language or
    /// set quoted_identifier). Raises "Param datatype unsupported".
    [[nodiscard]] std::string ParamStrValue(host::TParam* Param) const;
    /// The body of a date-time literal: "20261207 14:05:09:45".
    [[nodiscard]] std::string DateTimeAsString(host::TDateTime Value) const;
    /// The value with every single quote doubled (to be enclosed in single quotes).
    [[nodiscard]] static std::string PrepareStringValue(const std::string& Value);
    /// "0x" and two upper-case hexadecimal digits per byte.
    [[nodiscard]] static std::string PrepareBinaryValue(const std::string& Value);
    /// The markers of the SQL text, in order (several may name the same parameter).
    [[nodiscard]] const std::vector<std::unique_ptr<TParamMapping>>&
    ParamMappings() const noexcept {
        return FParamMappings;
    }
    /// The SQL text after the last marker.
    [[nodiscard]] const std::string& SQLTail() const noexcept { return FSQLTail; }

    // ---- what the last execution left ------------------------------------------------
    // A procedure's return status is ReturnStatus() (HasReturnStatus() tells whether one
    // came); its output parameters are read with OutputParamCount / OutputParam /
    // OutputParamValue / OutputParamByName. Both stay until the next execution of the
    // query (output parameters until the next batch that returns some), whether or not
    // the query shows rows. The statements' row counts are RowsAffected() and
    // StatementRowCounts().

    /// Number of output parameters of the last parameter result.
    [[nodiscard]] int OutputParamCount() const noexcept {
        return static_cast<int>(FParamFields.size());
    }
    /// Descriptor of output parameter Index (0-based, in the procedure's order): its
    /// GetName (as the server names it, "@total"), type and current value. Raises
    /// EListError outside the list.
    [[nodiscard]] TSybClientField* OutputParam(int Index) const;
    /// Value of output parameter Index as a Variant of its field type (Null for NULL).
    [[nodiscard]] host::Variant OutputParamValue(int Index) const;
    /// Value of the output parameter of that name, compared without letter case and
    /// with or without its leading "@". Raises EDatabaseError "Output parameter '<name>'
    /// not found".
    [[nodiscard]] host::Variant OutputParamByName(const std::string& Name) const;
    /// Number of row results the last execution met.
    [[nodiscard]] int32_t ResultSetCount() const noexcept { return FResultSetCount; }
    /// True when the last execution received a return status (a procedure ran), which
    /// ReturnStatus then holds, 0 included.
    [[nodiscard]] bool HasReturnStatus() const noexcept { return FHasReturnStatus; }
    /// The row count of the last statement of the last execution that reported one (the
    /// server's count at the end of a select, insert, update or delete), -1 when none did.
    [[nodiscard]] int32_t RowsAffected() const noexcept {
        return FStatementRowCounts.empty() ? -1 : FStatementRowCounts.back().Rows;
    }
    /// Every row count the last execution's statements reported, in the order the server
    /// sent them. The list grows while the batch runs, so a message handler can tell
    /// which counts came before its message.
    [[nodiscard]] const std::vector<TStatementRowCount>& StatementRowCounts() const noexcept {
        return FStatementRowCounts;
    }
    /// The connection the last execution resolved (nullptr before the first).
    [[nodiscard]] TSybConnect* SybConnect() const noexcept { return FSybConnect; }
    /// The registered connection of that name (trimmed, upper-cased comparison), or
    /// nullptr. Finding it does not route its messages to this query: only running a
    /// command on it does.
    [[nodiscard]] TSybConnect* GetCTLibConnectionByName(const std::string& Name);

protected:
    /// Change handler of FSQL: re-parses the parameter markers.
    void QueryChanged(host::TObject* Sender);
    /// Frees the parameter mappings (the parameters stay).
    void ClearParams();
    /// Frees the output-parameter descriptors, last first.
    void ClearParamFields();
    /// Scans SQL into Params (one parameter per distinct name), FParamMappings and FSQLTail.
    void ParseSQL(host::TParams* Params, const std::string& SQL);
    /// Points every marker at the parameter of its name (null when there is none).
    void pairMappingsByName();
    /// Finds the connection of this execution (external inside a library, else by
    /// DatabaseName), stores it in FSybConnect and connects it when needed.
    void ResolveConnection();
    /// True when this execution uses the external connection (inside a library).
    [[nodiscard]] bool usesExternalConnect() const;
    /// The steps of one execution of a query without a master. The clean-up (lock,
    /// active query, command, cursor) is the guard's, defined with them.
    class TCommandGuard;
    /// A receiver's execution: fills it from the master's live command.
    void receiveFromMaster();
    /// The connection handle under the lock, logging in again when a failure on another
    /// thread dropped it.
    [[nodiscard]] CS_CONNECTION* takeConnection();
    /// Allocates FCommand on Handle and sends the SQL text with its literals.
    void sendCommand(CS_CONNECTION* Handle);
    /// Walks every result of the command, routing row results and keeping the others.
    /// Adds the connection's messages to the command's log; raises at once when a
    /// client-library failure dropped the connection.
    void collectMessages(TSybMessageLog& Messages);
    void readResults();
    /// After a failure: cancels the command (unless its connection was dropped) and joins
    /// the unhandled errors it still reported to Failure's text.
    void abandonCommand(CS_CONNECTION* Handle, host::Exception* Failure) noexcept;
    /// Offers a freshly filled record to the OnFetchRow handler; true when it keeps it.
    bool offerFetchedRow(const TFetchRowEvent& Handler, host::TRecordBuffer Record);
    /// Converts the current row of every fetch field into Buffer.
    void _InternalFillRecord(host::TRecordBuffer Buffer);
    /// Marks the exact-decimal fields of money and smallmoney columns as Currency.
    void markMoneyFields();
    /// The CS-Library context used for date values: the master's connection's for a
    /// receiver, else this query's.
    [[nodiscard]] CS_CONTEXT* dateContext() const;
    /// Result handling of one execution (the command is FCommand). routeRowResult returns
    /// the query that keeps the rows (nullptr when they went to a query already freed).
    TSybQuery* routeRowResult();
    /// The rows of a row result that continues `target`'s after compute results (compute
    /// by): appended to it, or read and dropped when it is gone.
    void continueRowResult(TSybQuery* target);
    /// Reads the current result's rows without keeping them.
    void skipResult();
    void readParamResult();
    void readStatusResult();
    /// Keeps the row count of the statement that just ended, when it reported one.
    void readRowCount(bool Selected);

    // ---- record access ----------------------------------------------------------------
    host::TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(host::TRecordBuffer& Buffer) override;
    [[nodiscard]] int GetRecordSize() override;
    void InternalSetToRecord(host::TRecordBuffer Buffer) override;
    void InternalDelete() override;
    void InternalHandleException() override;
    [[nodiscard]] bool IsFiltered() override;
    /// 1-based number of the current record among the records the filter shows; -1
    /// without one (empty, a new record).
    [[nodiscard]] int GetRecNo() const override;
    [[nodiscard]] bool GetCanModify() const override;
    void GetBookmarkData(host::TRecordBuffer Buffer, void* Data) override;
    void SetBookmarkData(host::TRecordBuffer Buffer, const void* Data) override;
    host::TBookmarkFlag GetBookmarkFlag(host::TRecordBuffer Buffer) override;
    void SetBookmarkFlag(host::TRecordBuffer Buffer, host::TBookmarkFlag Value) override;
    void InternalGotoBookmark(const void* ABookmark) override;

    // ---- fields (in declared order) -----------------------------------------------------
    TTovrinAbout* FAbout = nullptr; // design time only
    TSybConnect* FExternalConnect = nullptr;
    TSybQuery* FResultTarget = nullptr;
    std::unique_ptr<std::vector<TSybQuery*>> FResultQueries; // not owning
    std::string FSQLTail;
    std::vector<std::unique_ptr<TParamMapping>> FParamMappings; // emptied by ClearParams
    int32_t FResultSetCount = 0;
    std::vector<std::unique_ptr<TSybClientField>> FParamFields; // emptied by ClearParamFields
    std::unique_ptr<host::TStringList> FSQL;
    TSybConnect* FSybConnect = nullptr;
    CS_COMMAND* FCommand = nullptr;
    std::unique_ptr<host::TParams> FParams;
    std::unique_ptr<TSybDataLink> FDataLink;
    std::string FDatabaseName;
    int32_t FReturnStatus = 0;
    bool FHasReturnStatus = false;
    std::vector<TStatementRowCount> FStatementRowCounts;
    TFetchProgressEvent FOnFetchProgress;
    TFetchRowEvent FOnFetchRow;
    TBatchValuesEvent FOnReturnStatus;
    TBatchValuesEvent FOnOutputParams;
    int32_t FFetchProgressInterval = 10000;
    TSybMessageProc FOnServerMessage;
    TSybMessageProc FOnServerError;
    bool FReadOnly = false;
    bool FSorted = false;
    TSybQuery* FMaster = nullptr;
    TResultSetNo FResultSet = 0;
    TNewResultSetEvent FOnNewDataSet;
    std::string FKeyFields;
    std::string FUpdateTableName;
    host::TUpdateMode FUpdateMode = host::upWhereAll;
    std::string FRowsKey;         // what the rows were read with: the SQL text sent
    bool FKeepingChanges = false; // closing in closeKeepingChanges
    bool FRowsRestored = false;   // the open took back parked rows
    TUpdateRecordEvent FOnUpdateRecord;
    TUpdateErrorEvent FOnUpdateError;

    /// The table ApplyUpdates writes to; raises when none can be told.
    [[nodiscard]] std::string updateTable() const;
    /// The table ApplyUpdates would write to; empty when none can be told.
    [[nodiscard]] std::string updateTableOrEmpty() const;
    /// What the SQL says of one fetched column with respect to the update table
    /// (SybQueryOrigins.cpp).
    struct TColumnOrigin {
        bool Known = false; ///< false: the SQL is not a plain select; the field name stands
        std::string Column; ///< the update table's column it is (empty: none)
        std::string What;   ///< what it is instead, for messages
    };
    /// One origin per fetched column, with respect to Table.
    [[nodiscard]] std::vector<TColumnOrigin> columnOrigins(const std::string& Table) const;
    /// The status bits the client library gave fetched column Index (0-based).
    [[nodiscard]] CS_INT columnStatus(int Index) const;
    /// Whether fetched column Index is a timestamp (the server's status, or its user type).
    [[nodiscard]] bool timestampColumn(int Index) const;
    /// Sets every data field's ProviderFlags from the column it comes from.
    void setDefaultProviderFlags();
    /// Whether the fetched column of a data field is the table's timestamp, or the
    /// table's identity.
    [[nodiscard]] bool isTimestampField(host::TField* Field) const;
    [[nodiscard]] bool isIdentityField(host::TField* Field) const;
    /// The values read back for one applied record: each field with its slot's bytes.
    using TReadBack = std::vector<std::pair<host::TField*, std::string>>;
    /// One statement of ApplyUpdates: Text with the literals, Marked with a marker :vN for
    /// the N-th value instead; ReadBack the select that reads the row back (marked too),
    /// ReadFields the fields of its columns.
    struct TUpdateBatch {
        std::string Text;
        std::string Marked;
        std::vector<std::pair<host::TField*, host::Variant>> Values;
        std::string ReadBack;
        std::vector<host::TField*> ReadFields;
    };
    /// Writes the insert, update or delete of one change (SybUpdateBuilder.cpp).
    class TUpdateBuilder;
    [[nodiscard]] TUpdateBatch buildUpdate(const TPendingChange& Change);
    /// Runs the statement, "select @@rowcount" and the read-back as one batch on the
    /// query's connection; returns the row count and fills Read when exactly one row came
    /// back.
    int64_t runUpdateBatch(const TUpdateBatch& Batch, TReadBack& Read);
    /// Applies one change with the events; false when it is to stay pending (skipped).
    /// Read receives the row as the server holds it, when the package applied it.
    bool applyChange(const TPendingChange& Change, const std::string& Table, TReadBack& Read);
    /// Checks before anything is sent that every pending change can be written.
    void checkWritable();
    /// Undoes a failed apply: to its savepoint when Nested, else the whole transaction;
    /// returns the sentence that tells the application what happened.
    [[nodiscard]] std::string undoApply(bool Nested) noexcept;
    /// Puts the rows read back into the records of their identities.
    void takeReadBack(const std::vector<std::pair<int32_t, TReadBack>>& Rows);
};

} // namespace tovrin

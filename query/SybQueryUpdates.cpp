// TSybQuery: applying the pending changes to the server. Each change becomes one insert,
// update or delete (SybUpdateBuilder.cpp) with every value as a literal of the package's
// literal builder, sent with "select @@rowcount" and the select that reads the row back in
// the same batch. All of them run in one transaction on the query's connection, or under a
// savepoint of the transaction the session has open; a statement that does not touch
// exactly one row undoes them all, and only them. After success the records take the
// values read back.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

using namespace host;

namespace {

constexpr const char* kConflict = "Record changed or deleted by another user";

// The savepoint an apply inside an open transaction rolls back to on failure. Savepoints
// of one name nest: a rollback goes to the most recent one.
constexpr const char* kSavepoint = "tovrin_apply";

TUpdateKind changeKind(const TSybDataSet::TPendingChange& Change) {
    return Change.Deleted ? ukDelete : (Change.Original ? ukModify : ukInsert);
}

TBookmark bookmarkOf(int32_t Id) {
    TBookmark bookmark(sizeof(int32_t), '\0');
    std::memcpy(bookmark.data(), &Id, sizeof(int32_t));
    return bookmark;
}

} // namespace

int64_t TSybQuery::runUpdateBatch(const TUpdateBatch& Batch, TReadBack& Read) {
    TSybQuery runner(nullptr);
    runner.SetDatabaseName(FDatabaseName);
    runner.SetExternalConnect(FExternalConnect);
    // The row as the server holds it comes as the batch's second row result.
    TSybQuery reader(nullptr);
    if (!Batch.ReadBack.empty()) {
        reader.SetMaster(&runner);
        reader.SetResultSet(1);
    }
    runner.SQL()->SetText(Batch.Marked + "\nselect @@rowcount" +
                          (Batch.ReadBack.empty() ? "" : "\n" + Batch.ReadBack));
    for (std::size_t i = 0; i < Batch.Values.size(); ++i)
        runner.ParamByName("v" + std::to_string(i + 1))
            ->AssignFieldValue(Batch.Values[i].first, Batch.Values[i].second);
    runner.Open();
    const int64_t value =
        runner.IsEmpty() || runner.FieldCount() == 0 ? 0 : runner.Fields()[0]->AsLargeInt();
    Read.clear();
    if (value == 1 && reader.Active() && reader.FRecords.size() == 1 &&
        reader.FieldCount() == static_cast<int>(Batch.ReadFields.size())) {
        for (std::size_t i = 0; i < Batch.ReadFields.size(); ++i) {
            TField* from = reader.Fields()[static_cast<int>(i)];
            TField* to = Batch.ReadFields[i];
            const int size = GetFieldSize(to);
            if (from->DataType() != to->DataType() || GetFieldSize(from) != size)
                continue; // a persistent field of another type: it keeps what was sent
            const char* slot = reader.GetFieldPointer(reader.FRecords.front(), from);
            Read.emplace_back(to, std::string(slot, static_cast<std::size_t>(size) + 1));
        }
    }
    reader.SetMaster(nullptr);
    runner.Close();
    return value;
}

namespace {

// What an event handler's action makes of the change being applied.
enum class TOutcome { Applied, Skipped, Retry, Failed };

TOutcome outcomeOf(TUpdateAction Action) {
    switch (Action) {
    case uaApplied:
        return TOutcome::Applied;
    case uaSkip:
        return TOutcome::Skipped;
    case uaAbort:
        Abort();
    case uaRetry:
        return TOutcome::Retry;
    case uaFail:
        break;
    }
    return TOutcome::Failed;
}

// Raised when a change could not be applied: the error as it stands when it is already an
// update error, else its message as one. Called only while E is being handled.
[[noreturn]] void raiseAsUpdateError(Exception& E, const TBookmark& Bookmark, TUpdateKind Kind) {
    if (dynamic_cast<ESybUpdateError*>(&E))
        throw;
    throw ESybUpdateError(E.Message(), Bookmark, Kind);
}

// The conflict of a statement that did not touch exactly one row, saying which row: the
// key columns' values as fetched (all located columns without KeyFields), read back from
// the where clause.
std::string conflictMessage(const std::string& Sql, const std::string& Table) {
    const std::size_t where = Sql.find(" where ");
    const std::string key = where == std::string::npos ? std::string() : Sql.substr(where + 7);
    return std::string(kConflict) + " (table " + Table +
           (key.empty() ? "" : ", key " + (key.size() > 200 ? key.substr(0, 200) + "..." : key)) +
           ")";
}

} // namespace

bool TSybQuery::applyChange(const TPendingChange& Change, const std::string& Table,
                            TReadBack& Read) {
    Read.clear();
    const TUpdateKind kind = changeKind(Change);
    const char* record = Change.Deleted;
    if (!record) {
        const int p = positionOfId(Change.Id);
        if (p < 0)
            return true;
        record = FRecords[static_cast<std::size_t>(p)];
    }
    const TBookmark bookmark = bookmarkOf(Change.Id);

    // While the events run, the fields read the record being applied.
    struct TReadScope {
        TRecordBuffer& slot;
        TRecordBuffer saved;
        ~TReadScope() { slot = saved; }
    } scope{FReadBuffer, FReadBuffer};
    auto ask = [&](auto&& Handler) {
        TUpdateAction action = uaFail;
        FReadBuffer = const_cast<char*>(record);
        Handler(action);
        FReadBuffer = scope.saved;
        return outcomeOf(action);
    };

    for (;;) {
        try {
            if (FOnUpdateRecord) {
                const TOutcome outcome =
                    ask([&](TUpdateAction& Action) { FOnUpdateRecord(this, kind, Action); });
                if (outcome == TOutcome::Retry)
                    continue;
                if (outcome == TOutcome::Failed)
                    throw ESybUpdateError(
                        "ApplyUpdates: the record was not applied (" + Table + ")", bookmark, kind);
                return outcome == TOutcome::Applied;
            }
            const TUpdateBatch batch = buildUpdate(Change);
            if (batch.Marked.empty())
                return true;
            if (runUpdateBatch(batch, Read) != 1)
                throw ESybUpdateError(conflictMessage(batch.Text, Table), bookmark, kind);
            return true;
        } catch (EAbort&) {
            throw;
        } catch (Exception& e) {
            if (!FOnUpdateError)
                raiseAsUpdateError(e, bookmark, kind);
            const TOutcome outcome =
                ask([&](TUpdateAction& Action) { FOnUpdateError(this, e, kind, Action); });
            if (outcome == TOutcome::Retry)
                continue;
            if (outcome == TOutcome::Failed)
                raiseAsUpdateError(e, bookmark, kind);
            return outcome == TOutcome::Applied;
        }
    }
}

void TSybQuery::checkWritable() {
    // A handler of OnUpdateRecord may write any record itself.
    if (FOnUpdateRecord)
        return;
    for (const TPendingChange& change : FPending) {
        try {
            (void)buildUpdate(change);
        } catch (ESybQueryError& e) {
            throw ESybUpdateError(e.Message(), bookmarkOf(change.Id), changeKind(change));
        }
    }
}

namespace {

// Runs Sql on the query's connection (the caller holds its lock).
void execOn(const std::string& DatabaseName, TSybConnect* External, const std::string& Sql) {
    TSybQuery runner(nullptr);
    runner.SetDatabaseName(DatabaseName);
    runner.SetExternalConnect(External);
    runner.SQL()->SetText(Sql);
    runner.ExecSQL();
}

} // namespace

void TSybQuery::ApplyUpdates() {
    if (!Active())
        return;
    CheckBrowseMode();
    if (!UpdatesPending())
        return;
    // Everything that can be told before sending is checked first.
    const std::string table = updateTable();
    checkWritable();
    for (std::size_t i = 0; i < parkedCount(); ++i) {
        const TParkedScope parked(*this, i);
        checkWritable();
    }
    ResolveConnection();
    TSybConnect& connection = *FSybConnect;
    std::lock_guard<std::recursive_mutex> lock(connection.Lock());
    auto exec = [&](const std::string& Sql) { execOn(FDatabaseName, FExternalConnect, Sql); };
    // Inside the application's transaction the apply must neither commit nor end it: it
    // takes a savepoint and, on failure, undoes its own statements only.
    const bool nested = connection.InTransaction();
    exec(nested ? std::string("save tran ") + kSavepoint : "begin tran");
    std::vector<int32_t> skipped;
    std::vector<std::pair<int32_t, TReadBack>> readBack;
    // The rows parked while the query shows others (a detail's other master records)
    // are applied after the shown ones, in the same transaction.
    std::vector<std::vector<int32_t>> parkedSkipped(parkedCount());
    std::vector<std::vector<std::pair<int32_t, TReadBack>>> parkedReadBack(parkedCount());
    auto applyAll = [&](std::vector<int32_t>& Skipped,
                        std::vector<std::pair<int32_t, TReadBack>>& ReadBack) {
        // A copy: an event handler must not see the list change under it.
        const std::vector<TPendingChange> changes = FPending;
        for (const TPendingChange& change : changes) {
            TReadBack read;
            if (!applyChange(change, table, read))
                Skipped.push_back(change.Id);
            else if (!read.empty())
                ReadBack.emplace_back(change.Id, std::move(read));
        }
    };
    try {
        applyAll(skipped, readBack);
        for (std::size_t i = 0; i < parkedSkipped.size(); ++i) {
            const TParkedScope parked(*this, i);
            applyAll(parkedSkipped[i], parkedReadBack[i]);
        }
        if (!nested)
            exec("commit tran");
    } catch (EAbort&) {
        (void)undoApply(nested);
        throw;
    } catch (Exception& e) {
        e.SetMessage(e.Message() + undoApply(nested));
        throw;
    } catch (...) {
        (void)undoApply(nested);
        throw;
    }
    takeReadBack(readBack);
    for (std::size_t i = 0; i < parkedReadBack.size(); ++i) {
        const TParkedScope parked(*this, i);
        takeReadBack(parkedReadBack[i]);
    }
    mergePending(skipped);
    mergeParked(parkedSkipped);
    UpdateCursorPos();
    Resync(TResyncMode{});
}

std::string TSybQuery::undoApply(bool Nested) noexcept {
    try {
        TSybConnect& connection = *FSybConnect;
        if (!Nested) {
            if (connection.InTransaction())
                execOn(FDatabaseName, FExternalConnect, "rollback tran");
            return "; the apply was rolled back and every change stays pending";
        }
        if (!connection.InTransaction())
            return "; the server ended the transaction that was open, undoing all of its work, "
                   "and every change stays pending";
        execOn(FDatabaseName, FExternalConnect, std::string("rollback tran ") + kSavepoint);
        return "; the apply was rolled back to its savepoint, the transaction that was open "
               "stays open, and every change stays pending";
    } catch (...) {
        // The connection may be gone; the first error tells why.
        return "; undoing the apply failed (the connection may be lost), and every change "
               "stays pending";
    }
}

void TSybQuery::takeReadBack(const std::vector<std::pair<int32_t, TReadBack>>& Rows) {
    for (const auto& [id, values] : Rows) {
        const int p = positionOfId(id);
        if (p < 0)
            continue;
        char* record = FRecords[static_cast<std::size_t>(p)];
        for (const auto& [field, bytes] : values)
            if (char* slot = GetFieldPointer(record, field))
                std::memcpy(slot, bytes.data(), bytes.size());
        visibleChanged(); // a value the server changed may change what the filter shows
        // A value the server changed may move the record in an automatic sort.
        if (FAutoSort && !FSortFieldList.empty())
            (void)Resort(p);
    }
    if (!Rows.empty())
        FSorted = false;
}

} // namespace tovrin

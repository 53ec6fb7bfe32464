// TSybQuery: running the SQL batch as one language command and routing its results. Row
// results go to the query itself (the one numbered ResultSet), to receivers (queries whose
// Master is this query) or to new queries; return statuses and output parameters stay in
// the query. The connection's lock is held for the whole exchange, and the command is
// cancelled on failure and always dropped.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Runtime.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnection.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybRegistry.h"

namespace tovrin {

namespace {

[[noreturn]] void raise(const char* message) {
    throw host::Exception(message);
}

// The messages the library left on the connection explain a failed call better than the
// call's name: they are raised when there are any; a dead connection is dropped and said
// to be lost, so that the next execution logs in again.
[[noreturn]] void raiseCallFailed(TSybConnect* connection, const char* message) {
    if (connection != nullptr) {
        connection->RaiseCommandFailure(message);
    }
    raise(message);
}

} // namespace

TSybConnect* TSybQuery::GetCTLibConnectionByName(const std::string& Name) {
    return detail::findConnection(Name);
}

bool TSybQuery::usesExternalConnect() const {
    return host::IsLibrary() && FExternalConnect != nullptr;
}

void TSybQuery::ResolveConnection() {
    FSybConnect =
        usesExternalConnect() ? FExternalConnect : GetCTLibConnectionByName(FDatabaseName);
    if (FSybConnect == nullptr) {
        throw host::Exception("Sybase connection named \"" + FDatabaseName + "\" not found");
    }
    if (!FSybConnect->Connected()) {
        FSybConnect->Connect();
    }
    if (!FSybConnect->Connected()) {
        throw host::Exception("Could not open sybase connection \"" + FDatabaseName + "\"");
    }
}

// The clean-up of one execution, whatever happens once the connection is resolved: the
// guard holds the connection's lock, makes the query the connection's active query for
// exactly that time (the previous one is put back: a statement run from inside another
// command, such as connecting's "use", hands the messages back to that command), drops
// the command and resets the screen cursor.
class TSybQuery::TCommandGuard {
public:
    TCommandGuard(TSybQuery& Query, TSybConnect& Connection)
        : m_query(Query), m_connection(Connection), m_lock(Connection.Lock()),
          m_previous(Connection.ActiveQuery()), m_routed(!Query.usesExternalConnect()) {
        if (m_routed) {
            m_connection.SetActiveQuery(&m_query);
        }
    }
    ~TCommandGuard() {
        host::Screen.SetCursor(host::crDefault);
        // Dropped also after a lost connection: dropping the connection handle only
        // detaches its commands, which still have to be freed. The field is cleared, so
        // that nothing reads from the dropped command later.
        if (m_query.FCommand != nullptr) {
            ct_cmd_drop(m_query.FCommand);
            m_query.FCommand = nullptr;
        }
        if (m_routed) {
            m_connection.SetActiveQuery(m_previous);
        }
    }
    TCommandGuard(const TCommandGuard&) = delete;
    TCommandGuard& operator=(const TCommandGuard&) = delete;

private:
    TSybQuery& m_query;
    TSybConnect& m_connection;
    std::unique_lock<std::recursive_mutex> m_lock;
    TSybCommandClient* m_previous;
    bool m_routed;
};

void TSybQuery::InternalExec() {
    if (FMaster != nullptr) {
        receiveFromMaster();
        return;
    }
    FReturnStatus = 0;
    FHasReturnStatus = false;
    FStatementRowCounts.clear();
    FResultSetCount = 0;
    if (host::Trim(FSQL->Text()).empty()) {
        raise("No SQL statement available");
    }
    ResolveConnection();
    if (host::Screen.Cursor() != host::crSQLWait) {
        host::Screen.SetCursor(host::crSQLWait);
    }
    TSybConnect& connection = *FSybConnect;
    const TCommandGuard guard(*this, connection);
    FCommand = nullptr;
    CS_CONNECTION* handle = takeConnection();
    try {
        // Ends the command by closing the connection when it outlasts CommandTimeout.
        const TSybConnect::TCommandWatch watch(connection);
        sendCommand(handle);
        readResults();
    } catch (host::Exception& e) {
        abandonCommand(handle, &e);
        throw;
    } catch (...) {
        abandonCommand(handle, nullptr);
        throw;
    }
}

void TSybQuery::receiveFromMaster() {
    // The master's execution hands over its live command just before opening this query.
    // Opened any other way, there is no command to read from.
    if (FCommand == nullptr) {
        raise("The query receives its rows from its master query: open the master");
    }
    FRowsKey = FMaster->FRowsKey + "\n-- row result " + std::to_string(FResultSet);
    FRowsRestored = false;
    try {
        FetchResultSet();
    } catch (...) {
        const TSybConnect* connection = FMaster->FSybConnect;
        if (connection != nullptr && connection->ConnectionHandle() != nullptr) {
            ct_cancel(nullptr, FCommand, CS_CANCEL_ALL);
        }
        throw;
    }
}

CS_CONNECTION* TSybQuery::takeConnection() {
    // Read only under the lock: while this thread waited for it, another thread's command
    // may have lost the connection and freed its handle. It then logs in again here.
    TSybConnect& connection = *FSybConnect;
    CS_CONNECTION* handle = connection.ConnectionHandle();
    if (handle == nullptr) {
        connection.Connect();
        handle = connection.ConnectionHandle();
        if (handle == nullptr || !connection.Connected()) {
            throw host::Exception("Could not open sybase connection \"" + FDatabaseName + "\"");
        }
    }
    return handle;
}

void TSybQuery::sendCommand(CS_CONNECTION* Handle) {
    if (ct_cmd_alloc(Handle, &FCommand) != CS_SUCCEED) {
        FCommand = nullptr;
        raiseCallFailed(FSybConnect, "ct_cmd_alloc failed");
    }
    std::string text = GetSQLText();
    FRowsKey = text;
    FRowsRestored = false;
    if (ct_command(FCommand, CS_LANG_CMD, text.data(), static_cast<CS_INT>(text.size()),
                   CS_UNUSED) != CS_SUCCEED) {
        raiseCallFailed(FSybConnect, "ct_command failed");
    }
    if (ct_send(FCommand) != CS_SUCCEED) {
        raiseCallFailed(FSybConnect, "ct_send failed");
    }
}

void TSybQuery::collectMessages(TSybMessageLog& Messages) {
    FSybConnect->CollectMessages(Messages);
    // A client-library failure dropped the connection: its command cannot be read on.
    if (FSybConnect->ConnectionHandle() == nullptr) {
        Messages.RaiseIfAny();
        raise("Result pending operation failed");
    }
}

void TSybQuery::readResults() {
    // A server error does not end the reading: the command is read to its end (its return
    // status, output parameters and the results after the error), and the errors of the
    // whole command are raised then.
    TSybMessageLog messages;
    CS_INT resultType = 0;
    CS_RETCODE result;
    // Whether the statement now ending returned a row result (its count is then the rows
    // it selected).
    bool rowsReturned = false;
    // compute … by: the groups' rows come as several row results with compute results
    // between them; they are one result set, and the compute results are passed over.
    bool afterCompute = false;
    TSybQuery* rowTarget = nullptr;
    while ((result = ct_results(FCommand, &resultType)) == CS_SUCCEED) {
        collectMessages(messages);
        switch (resultType) {
        case CS_ROW_RESULT:
            if (afterCompute) {
                continueRowResult(rowTarget);
            } else {
                rowTarget = routeRowResult();
            }
            afterCompute = false;
            rowsReturned = true;
            break;
        case CS_COMPUTE_RESULT:
            skipResult();
            afterCompute = true;
            break;
        case CS_PARAM_RESULT:
            readParamResult();
            if (FOnOutputParams) {
                FOnOutputParams(this);
            }
            break;
        case CS_STATUS_RESULT:
            readStatusResult();
            if (FOnReturnStatus) {
                FOnReturnStatus(this);
            }
            break;
        case CS_CMD_DONE:
            readRowCount(rowsReturned);
            rowsReturned = false;
            afterCompute = false;
            break;
        default:
            break;
        }
    }
    if (result != CS_END_RESULTS) {
        FSybConnect->RaiseCommandFailure("Result pending operation failed", messages);
    }
    FSybConnect->CollectMessages(messages);
    messages.RaiseIfAny();
}

void TSybQuery::abandonCommand(CS_CONNECTION* Handle, host::Exception* Failure) noexcept {
    // Once diagnostics dropped the connection handle (a lost connection), the library must
    // not touch the command again.
    if (FCommand == nullptr || FSybConnect->ConnectionHandle() != Handle) {
        return;
    }
    ct_cancel(nullptr, FCommand, CS_CANCEL_ALL);
    // What the cancelled command still reported belongs to this failure: the handlers
    // see it, and its unhandled errors join the exception's text, so that one exception
    // tells every error of the execution and none becomes the next command's.
    try {
        const std::string rest = host::Trim(FSybConnect->CollectMessages());
        if (Failure != nullptr && !rest.empty()) {
            const std::string first = host::Trim(Failure->Message());
            Failure->SetMessage(first.empty() ? rest : first + ";\n" + rest);
        }
    } catch (...) {
        // The execution's own exception is the one that leaves.
    }
}

void TSybQuery::skipResult() {
    // Read and dropped (compute rows belong to no result set; a continued result nobody
    // keeps). The client library wants every column bound before it hands out a row, so
    // each gets a scratch buffer.
    CS_INT count = 0;
    if (ct_res_info(FCommand, CS_NUMDATA, &count, sizeof count, nullptr) != CS_SUCCEED) {
        raise("ct_res_info failed");
    }
    std::vector<std::string> buffers(static_cast<std::size_t>(std::max<CS_INT>(count, 0)));
    std::vector<CS_INT> copied(buffers.size());
    std::vector<CS_SMALLINT> indicators(buffers.size());
    for (CS_INT column = 1; column <= count; ++column) {
        CS_DATAFMT format{};
        if (ct_describe(FCommand, column, &format) != CS_SUCCEED) {
            raise("ct_describe failed");
        }
        const auto k = static_cast<std::size_t>(column - 1);
        buffers[k].assign(static_cast<std::size_t>(std::clamp<CS_INT>(format.maxlength, 64, 65536)),
                          '\0');
        format.maxlength = static_cast<CS_INT>(buffers[k].size());
        format.count = 1;
        format.format = CS_FMT_UNUSED;
        if (ct_bind(FCommand, column, &format, buffers[k].data(), &copied[k], &indicators[k]) !=
            CS_SUCCEED) {
            raise("ct_bind failed");
        }
    }
    while (ct_fetch(FCommand, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
    }
}

void TSybQuery::continueRowResult(TSybQuery* target) {
    // A receiver that took back its parked rows (every group's, with its changes) has
    // them already.
    if (target == nullptr || target->FRowsRestored) {
        skipResult();
        return;
    }
    target->FCommand = FCommand;
    struct Release {
        TSybQuery* target;
        TSybQuery* self;
        ~Release() {
            if (target != self) {
                target->FCommand = nullptr;
            }
        }
    } release{target, this};
    const std::size_t before = target->FRecords.size();
    target->FetchMoreRows();
    if (target != this) {
        // A receiver was opened, and its records numbered, with the first group's rows:
        // the rows of the later groups get identities of their own.
        for (std::size_t i = before; i < target->FRecords.size(); ++i) {
            target->setRecordId(target->FRecords[i], target->takeRecordId());
        }
        target->recordsMoved();
    }
}

TSybQuery* TSybQuery::routeRowResult() {
    // Row results are numbered from 0; numbers from 256 on match no query (ResultSet
    // holds 0..255), so each such result gets a query of its own.
    TSybQuery* target = nullptr;
    if (FResultSetCount == FResultSet) {
        target = this;
    } else {
        for (TSybQuery* receiver : *FResultQueries) {
            if (receiver->FResultSet == FResultSetCount) {
                target = receiver;
                break;
            }
        }
    }
    // A query made for a result nobody claimed: freed with `created` once its rows have
    // been read, unless OnNewDataSet is assigned, which hands it to the application (it
    // then stays owned by this query and is refilled by the next executions).
    std::unique_ptr<TSybQuery> created;
    if (target == nullptr) {
        created = std::make_unique<TSybQuery>(this);
        target = created.get();
        target->SetMaster(this);
        target->SetResultSet(static_cast<TResultSetNo>(FResultSetCount & 0xFF));
        if (FOnNewDataSet) {
            created.release();
            FOnNewDataSet(target);
        }
    }
    FResultTarget = target;

    struct Final {
        TSybQuery* target;
        TSybQuery* self;
        ~Final() {
            // A receiver's copy of the command is valid only while it is being filled.
            if (target != self) {
                target->FCommand = nullptr;
            }
        }
    } final{target, this};
    ++FResultSetCount;
    target->FCommand = FCommand;
    if (target == this) {
        FetchResultSet();
    } else {
        // A receiver still showing an earlier batch's rows is refilled, not left as it is.
        target->closeKeepingChanges();
        target->Open();
    }
    return created ? nullptr : target;
}

void TSybQuery::readParamResult() {
    CS_INT count = 0;
    if (ct_res_info(FCommand, CS_NUMDATA, &count, sizeof count, nullptr) != CS_SUCCEED) {
        raise("ct_res_info failed");
    }
    ClearParamFields();
    for (CS_INT column = 1; column <= count; ++column) {
        CS_DATAFMT format{};
        if (ct_describe(FCommand, column, &format) != CS_SUCCEED) {
            raise("ct_describe failed");
        }
        FParamFields.push_back(std::make_unique<TSybClientField>(nullptr, column, format));
        TSybClientField* descriptor = FParamFields.back().get();
        descriptor->KeepUnmappedAsText();
        if (descriptor->Bind(FCommand) != CS_SUCCEED) {
            raise("ct_bind failed");
        }
    }
    bool fetched = false;
    while (ct_fetch(FCommand, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
        fetched = true;
        for (const auto& field : FParamFields) {
            if (!field->ReadUnbound(FCommand)) {
                break;
            }
        }
    }
    if (fetched) {
        CS_CONTEXT* context = FSybConnect != nullptr ? FSybConnect->Context() : nullptr;
        for (const auto& field : FParamFields) {
            field->KeepValue(context);
        }
    }
}

void TSybQuery::readRowCount(bool Selected) {
    // Statements that count nothing (create, declare, a procedure's own end) report -1.
    CS_INT count = -1;
    if (ct_res_info(FCommand, CS_ROW_COUNT, &count, sizeof count, nullptr) == CS_SUCCEED &&
        count >= 0) {
        FStatementRowCounts.push_back(TStatementRowCount{count, FResultSetCount, Selected});
    }
}

void TSybQuery::readStatusResult() {
    CS_DATAFMT format{};
    format.datatype = CS_INT_TYPE;
    if (ct_bind(FCommand, 1, &format, &FReturnStatus, nullptr, nullptr) != CS_SUCCEED) {
        raise("ct_bind failed");
    }
    while (ct_fetch(FCommand, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
    }
    FHasReturnStatus = true;
}

namespace detail {

// "use <database>" for a connection: a temporary query that finds the connection by its
// name runs the statement; it is freed whether or not that raises.
void execOnConnection(TSybConnect& Connection, const std::string& Sql) {
    auto query = std::make_unique<TSybQuery>(nullptr);
    query->SetDatabaseName(Connection.DatabaseName());
    query->SQL()->SetText(Sql);
    query->ExecSQL();
}

} // namespace detail
} // namespace tovrin

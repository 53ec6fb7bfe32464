// SQLite connections of the server: opened with the server's functions and catalog tables,
// an authorizer through which the session locks the tables a statement uses, a busy handler
// that waits for SQLite's own locks (and gives up when the client cancels) and a progress
// handler that interrupts a statement on cancel.
#include "SqlConnection.h"

#include "SqlCatalog.h"
#include "SqlErrors.h"
#include "SqlTimestamp.h"

#include <chrono>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace devserver {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kMaxValueBytes = 128 << 20;

int busyHandler(void* data, int attempt) {
    auto* hooks = static_cast<const ConnectionHooks*>(data);
    if (hooks->cancelled && hooks->cancelled())
        return 0;
    if (attempt * 5 >= kBusyTimeoutMs)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
}

/// Tells the session of each table a statement reads or writes, as it is prepared.
int authorizer(void* data, int action, const char* first, const char* second, const char* database,
               const char*) {
    auto* hooks = static_cast<const ConnectionHooks*>(data);
    if (!hooks->lockTable || (database && std::string_view(database) == "temp"))
        return SQLITE_OK;
    // A read of no column (count(*)) comes without a database name: it is a read of the
    // connection's own database, and it must wait for writers like any other read.
    if (!database)
        database = "main";
    const char* table = nullptr;
    bool write = true;
    switch (action) {
    case SQLITE_READ:
        table = first;
        write = false;
        break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_CREATE_TABLE:
    case SQLITE_DROP_TABLE:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_VIEW:
        table = first;
        break;
    case SQLITE_CREATE_INDEX:
    case SQLITE_DROP_INDEX:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_ALTER_TABLE:
        table = second;
        break;
    default:
        return SQLITE_OK;
    }
    if (!table)
        return SQLITE_OK;
    return hooks->lockTable(database, table, write) ? SQLITE_OK : SQLITE_DENY;
}

int progressHandler(void* data) {
    auto* hooks = static_cast<const ConnectionHooks*>(data);
    return hooks->cancelled && hooks->cancelled() ? 1 : 0;
}

} // namespace

SqlConnection::SqlConnection(const std::string& uri, ConnectionHooks hooks)
    : m_hooks(std::move(hooks)) {
    int rc = sqlite3_open_v2(uri.c_str(), &m_db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI |
                                 SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("cannot open database " + m_hooks.databaseName + ": " + message);
    }
    sqlite3_extended_result_codes(m_db, 0);
    // One value (and one row) at most twice what one request may carry: enough for anything a
    // client sends, and a bound on what one statement may build up in memory.
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    registerServerFunctions(m_db, &m_hooks);
    registerTimestampFunction(m_db);
    sqlite3_busy_handler(m_db, busyHandler, &m_hooks);
    sqlite3_progress_handler(m_db, 10000, progressHandler, &m_hooks);
    sqlite3_set_authorizer(m_db, authorizer, &m_hooks);
    // Temporary tables, sorts and indexes stay in memory: the server writes nothing outside
    // its data directory.
    exec("pragma temp_store = memory");
    createCatalog(*this);
}

SqlConnection::~SqlConnection() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

void SqlConnection::exec(const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw mapSqliteError(rc, message);
    }
}

} // namespace devserver

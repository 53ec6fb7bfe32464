// SQLite connections of the server: opened with the server's functions and catalog tables,
// a busy handler that waits for other sessions' locks (and gives up when the client
// cancels) and a progress handler that interrupts a statement on cancel.
#include "SqlConnection.h"

#include "SqlCatalog.h"
#include "SqlErrors.h"
#include "SqlTimestamp.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace devserver {

namespace {

constexpr int kBusyTimeoutMs = 30000;

int busyHandler(void* data, int attempt) {
    auto* hooks = static_cast<const ConnectionHooks*>(data);
    if (hooks->cancelled && hooks->cancelled())
        return 0;
    if (attempt * 5 >= kBusyTimeoutMs)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
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
    registerServerFunctions(m_db, &m_hooks);
    registerTimestampFunction(m_db);
    sqlite3_busy_handler(m_db, busyHandler, &m_hooks);
    sqlite3_progress_handler(m_db, 10000, progressHandler, &m_hooks);
    // The server's default sort order is binary: like compares case-sensitively too.
    exec("pragma case_sensitive_like = on");
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

// One SQLite connection of a session to one database, with the functions, the collation
// and the handlers (busy waits, cancel) that the server's SQL needs.
#pragma once

#include "Engine.h"

#include <sqlite3.h>

#include <functional>
#include <string>

namespace devserver {

/// Identity and hooks a connection's SQL functions and handlers use.
struct ConnectionHooks {
    std::string databaseName;
    std::string userName;
    DateOrder dateOrder = DateOrder::MDY;
    /// Polled while SQLite works or waits for a lock; true stops the statement.
    std::function<bool()> cancelled;
    /// The session's first day of the week (1 Monday … 7 Sunday) for datepart(weekday).
    std::function<int()> dateFirst;
    /// Called as a statement is prepared, for each table of a shared database it reads or
    /// writes (`database` as the connection names it: "main" or an attached one); false
    /// refuses the statement (the session keeps the reason).
    std::function<bool(const char* database, const char* table, bool write)> lockTable;
};

/// An open SQLite connection (closed by the destructor).
class SqlConnection final {
public:
    /// Opens the database at `uri` (a SQLite URI). Throws std::runtime_error.
    SqlConnection(const std::string& uri, ConnectionHooks hooks);
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    [[nodiscard]] sqlite3* handle() const noexcept { return m_db; }
    [[nodiscard]] const ConnectionHooks& hooks() const noexcept { return m_hooks; }
    /// The date order its SQL functions read dates in (the session's set dateformat).
    void setDateOrder(DateOrder order) noexcept { m_hooks.dateOrder = order; }
    /// Executes SQL without results; throws SqlError.
    void exec(const std::string& sql);

private:
    sqlite3* m_db = nullptr;
    ConnectionHooks m_hooks;
};

/// The table that holds the text of each stored procedure of a database.
inline constexpr const char* kProcedureTableName = "tovrin_procedures";

/// Registers the decimal collation and the server's functions on `db`.
void registerServerFunctions(sqlite3* db, const ConnectionHooks* hooks);
/// Registers the server's string functions and its `like` on `db` (SqlStringFunctions.cpp).
void registerStringFunctions(sqlite3* db);

} // namespace devserver

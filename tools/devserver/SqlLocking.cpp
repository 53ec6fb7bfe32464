// How a session takes and gives back the server's table locks (see TableLocks.h), and how
// its transactions meet them.
//
// Locks: SQLite names each table a statement uses as the statement is prepared, and the
// session locks it then, before the statement runs. Locks are taken only while a statement
// of the batch runs (not while the batch is checked before it runs) and given back at its
// end, or at the end of the transaction for what it wrote. A lock that cannot be had fails
// the statement with the lock's error, rolls the transaction back and ends the batch.
//
// Transactions: SQLite's transaction on the session's connection begins only with the first
// statement of a transaction that changes something. Reads before it see what is committed
// when each runs (the table locks keep out what others have not committed); from then on
// the session holds the database's writer lock, so nobody commits into the snapshot its
// transaction reads. Had the transaction begun at `begin tran`, a read would fix a snapshot
// that another session's commit could make stale, and the first write would then fail.
#include "SqlDatabase.h"
#include "SqlSession.h"
#include "SqlTranslator.h"

#include <algorithm>
#include <cctype>

namespace devserver {

namespace {

/// SQLite's own tables (the schema, sequences). They are written only along with a table
/// (whose lock covers them) or for SQLite's own bookkeeping, never locked themselves.
bool isInternalTable(std::string_view table) {
    return table.size() >= 7 && lower(table.substr(0, 7)) == "sqlite_";
}

} // namespace

bool SqlSession::changesData(const Token& head) {
    return head.is("insert") || head.is("update") || head.is("delete") || head.is("truncate");
}

bool SqlSession::changesStorage(std::span<const Token> tokens) {
    if (tokens.empty())
        return false;
    const Token& head = tokens[0];
    if (head.is("select")) // select … into makes a table
        return std::any_of(tokens.begin(), tokens.end(),
                           [](const Token& t) { return t.is("into"); });
    return changesData(head) || head.is("create") || head.is("drop") || head.is("alter");
}

void SqlSession::beginTransaction() {
    m_tranDatabase = m_database;
    m_pendingSavepoints.clear();
}

void SqlSession::openStorageTransaction() {
    SqlConnection& c = connectionFor(m_tranDatabase);
    if (sqlite3_get_autocommit(c.handle()) == 0)
        return;
    c.exec("begin");
    // The savepoints set so far all mark the transaction's start: nothing changed before it.
    for (const std::string& name : m_pendingSavepoints)
        c.exec("savepoint " + quoteIdentifier(name));
    m_pendingSavepoints.clear();
}

void SqlSession::saveTransaction(const std::string& name) {
    SqlConnection& c = connectionFor(m_tranDatabase);
    if (sqlite3_get_autocommit(c.handle()) != 0)
        m_pendingSavepoints.push_back(name);
    else
        c.exec("savepoint " + quoteIdentifier(name));
}

bool SqlSession::rollbackToSavepoint(const std::string& name) {
    SqlConnection& c = connectionFor(m_tranDatabase);
    if (sqlite3_get_autocommit(c.handle()) != 0) {
        // Nothing has changed yet: rolling back to a savepoint set so far changes nothing.
        for (const std::string& pending : m_pendingSavepoints)
            if (lower(pending) == lower(name))
                return true;
        return false;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(c.handle(), ("rollback to " + quoteIdentifier(name)).c_str(),
                                nullptr, nullptr, &error);
    sqlite3_free(error);
    return rc == SQLITE_OK;
}

void SqlSession::endStorageTransaction(bool commit) {
    m_pendingSavepoints.clear();
    SqlConnection& c = connectionFor(m_tranDatabase);
    if (sqlite3_get_autocommit(c.handle()) == 0)
        c.exec(commit ? "commit" : "rollback");
}

bool SqlSession::isLockError(const SqlError& error) {
    return error.number() == 1205 || error.number() == 12205;
}

bool SqlSession::lockTable(const std::string& connectionDatabase, const char* schema,
                           const char* table, bool write) {
    if (!m_locking)
        return true;
    if (m_lockError)
        return false; // the statement already failed on a lock: do not wait twice
    const std::string database =
        std::string_view(schema) == "main" ? lower(connectionDatabase) : lower(schema);
    if (isInternalTable(table))
        return true;
    TableLocks::Wait wait;
    wait.sessionLevel = m_lockWait.has_value();
    wait.seconds = m_lockWait ? m_lockWait : m_server.config().lockWaitSeconds;
    wait.cancelled = [this] { return m_sink && m_sink->cancelled(); };
    const bool inTransaction = m_tranCount > 0;
    const std::string resource = database + "." + lower(table);
    TableLocks& locks = m_server.locks();
    try {
        if (write) {
            locks.acquire(m_lockOwner, m_spid, database, TableLocks::Mode::Exclusive, inTransaction,
                          wait);
            locks.acquire(m_lockOwner, m_spid, resource, TableLocks::Mode::Exclusive, inTransaction,
                          wait);
        } else {
            locks.acquire(m_lockOwner, m_spid, resource,
                          m_statementWrites ? TableLocks::Mode::Update : TableLocks::Mode::Shared,
                          false, wait);
        }
        return true;
    } catch (const SqlError& e) {
        m_lockError = e;
        return false;
    }
}

void SqlSession::beginStatementLocks(std::span<const Token> tokens, LockScope& saved) {
    saved = {m_locking, m_statementWrites};
    m_locking = true;
    m_lockError.reset();
    m_statementWrites = !tokens.empty() && changesData(tokens[0]);
}

void SqlSession::endStatementLocks(const LockScope& saved) {
    m_locking = saved.locking;
    m_statementWrites = saved.writes;
    m_lockError.reset();
    if (m_tranCount == 0)
        m_server.locks().releaseAll(m_lockOwner);
    else
        m_server.locks().releaseStatement(m_lockOwner);
}

SqlError SqlSession::lockErrorOr(const SqlError& caught) {
    return m_lockError ? *m_lockError : caught;
}

void SqlSession::setLockWait(std::span<const Token> tokens, Frame& frame) {
    // set lock wait [seconds] | set lock nowait
    if (tokens.size() == 1 && tokens[0].is("nowait")) {
        m_lockWait = 0;
        return;
    }
    if (tokens.empty() || !tokens[0].is("wait"))
        throw syntaxError(tokens.empty() ? "lock" : tokens[0].text);
    if (tokens.size() == 1) {
        m_lockWait.reset(); // back to the server's wait period
        return;
    }
    const SqlValue v = evaluate(tokens.subspan(1), frame);
    ColumnType intType;
    const int64_t seconds = v.isNull() ? -1 : coerceValue(v, intType, m_dateOrder).integer;
    if (seconds < 0 || seconds > INT32_MAX)
        throw SqlError(12207, 16,
                       "The lock wait period must be from 0 to 2147483647 seconds, not " +
                           std::to_string(seconds) + ".");
    m_lockWait = static_cast<int>(seconds);
}

} // namespace devserver

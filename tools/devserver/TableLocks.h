// The server's own locks. SQLite locks a whole database file; sessions are kept apart by
// locks the server takes on tables instead, so that work on one table never waits for work
// on another:
//
// - A statement takes a shared lock on each table it reads and an exclusive lock on each
//   table it writes; a statement that writes takes an update lock on the tables it only
//   reads, so that two sessions updating the same table queue up instead of deadlocking
//   when each turns its read into a write.
// - Shared and update locks last for the statement (isolation level 1); exclusive locks
//   last to the end of the transaction, or of the statement outside one.
// - SQLite lets one connection at a time write a database, for as long as its transaction
//   lasts. That is a lock too (the database's writer lock, exclusive, held like a table's),
//   taken here so that waiting for it follows the same rules and shows in deadlocks.
//
// A request that conflicts waits as long as the session's lock wait period says (forever
// by default), until the client cancels, or until waiting would close a cycle of waiting
// sessions: then it fails at once with the deadlock error.
#pragma once

#include "SqlErrors.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace devserver {

class TableLocks final {
public:
    enum class Mode { None, Shared, Update, Exclusive };

    /// How a request waits: `seconds` (nothing: until granted; 0: not at all), whether that
    /// period is the session's own or the server's, and a poll for the client's cancel.
    struct Wait {
        std::optional<int> seconds;
        bool sessionLevel = false;
        std::function<bool()> cancelled;
    };

    /// Grants `mode` on `resource` (a lower-case "database.table", or "database" for its
    /// writer lock) to `owner`, for the statement or, with `untilTransactionEnd`, until
    /// releaseAll. Throws SqlError 12205 when the wait period passes or the client cancels,
    /// 1205 when waiting would deadlock.
    void acquire(int owner, int spid, const std::string& resource, Mode mode,
                 bool untilTransactionEnd, const Wait& wait);
    /// Releases the locks `owner` took for its statement.
    void releaseStatement(int owner);
    /// Releases every lock of `owner`.
    void releaseAll(int owner);

private:
    struct Held {
        Mode statement = Mode::None;
        Mode transaction = Mode::None;
        [[nodiscard]] Mode effective() const { return std::max(statement, transaction); }
    };
    struct Waiting {
        std::string resource;
        Mode mode;
    };
    /// Owners holding `resource` in a mode that conflicts with `mode`, other than `owner`.
    [[nodiscard]] std::vector<int> blockers(int owner, const std::string& resource,
                                            Mode mode) const;
    /// True when one of `owner`'s blockers waits, directly or not, for `owner`.
    [[nodiscard]] bool wouldDeadlock(int owner, const std::string& resource, Mode mode) const;
    void release(int owner, bool all);

    std::mutex m_mutex;
    std::condition_variable m_released;
    std::map<std::string, std::map<int, Held>> m_locks; ///< by resource, then owner
    std::map<int, Waiting> m_waiting;                   ///< by owner
};

} // namespace devserver

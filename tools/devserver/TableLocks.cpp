// The server's table locks: a table of who holds what, one condition to wait on, and a
// search of the waits-for graph before each wait.
#include "TableLocks.h"

#include <algorithm>
#include <set>
#include <vector>

namespace devserver {

namespace {

// How often a waiting request looks at the client's cancel.
constexpr auto kPollSlice = std::chrono::milliseconds(50);

bool compatible(TableLocks::Mode requested, TableLocks::Mode held) {
    using Mode = TableLocks::Mode;
    if (requested == Mode::None || held == Mode::None)
        return true;
    // Readers share with one another and with one would-be writer.
    return (requested == Mode::Shared && held != Mode::Exclusive) ||
           (held == Mode::Shared && requested == Mode::Update);
}

std::string lockType(TableLocks::Mode mode, const std::string& resource) {
    const char* kind = mode == TableLocks::Mode::Exclusive ? "exclusive"
                       : mode == TableLocks::Mode::Update  ? "update"
                                                           : "shared";
    return std::string(kind) + (resource.find('.') == std::string::npos ? " database" : " table");
}

SqlError timedOut(int spid, const std::string& resource, TableLocks::Mode mode,
                  const TableLocks::Wait& wait) {
    return SqlError(12205, 17,
                    "Could not acquire a lock within the specified wait period. " +
                        std::string(wait.sessionLevel ? "SESSION" : "SERVER") +
                        " level wait period=" + std::to_string(wait.seconds.value_or(0)) +
                        " seconds, spid=" + std::to_string(spid) +
                        ", lock type=" + lockType(mode, resource) +
                        ", dbid=0, objid=0, pageno=0, rowno=0. Aborting the transaction.");
}

SqlError deadlock(int spid) {
    return SqlError(1205, 13,
                    "Your server command (family id #0, process id #" + std::to_string(spid) +
                        ") encountered a deadlock situation. Please re-run your command.");
}

} // namespace

std::vector<int> TableLocks::blockers(int owner, const std::string& resource, Mode mode) const {
    std::vector<int> out;
    const auto it = m_locks.find(resource);
    if (it == m_locks.end())
        return out;
    for (const auto& [other, held] : it->second)
        if (other != owner && !compatible(mode, held.effective()))
            out.push_back(other);
    return out;
}

bool TableLocks::wouldDeadlock(int owner, const std::string& resource, Mode mode) const {
    std::vector<int> pending = blockers(owner, resource, mode);
    std::set<int> seen;
    while (!pending.empty()) {
        const int next = pending.back();
        pending.pop_back();
        if (next == owner)
            return true;
        if (!seen.insert(next).second)
            continue;
        const auto waiting = m_waiting.find(next);
        if (waiting == m_waiting.end())
            continue;
        for (int b : blockers(next, waiting->second.resource, waiting->second.mode))
            pending.push_back(b);
    }
    return false;
}

void TableLocks::acquire(int owner, int spid, const std::string& resource, Mode mode,
                         bool untilTransactionEnd, const Wait& wait) {
    using Clock = std::chrono::steady_clock;
    const std::optional<Clock::time_point> deadline =
        wait.seconds ? std::optional(Clock::now() + std::chrono::seconds(*wait.seconds))
                     : std::nullopt;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (blockers(owner, resource, mode).empty()) {
            m_waiting.erase(owner);
            Held& held = m_locks[resource][owner];
            Mode& slot = untilTransactionEnd ? held.transaction : held.statement;
            slot = std::max(slot, mode);
            return;
        }
        if (wouldDeadlock(owner, resource, mode)) {
            m_waiting.erase(owner);
            throw deadlock(spid);
        }
        if (deadline && Clock::now() >= *deadline) {
            m_waiting.erase(owner);
            throw timedOut(spid, resource, mode, wait);
        }
        m_waiting[owner] = Waiting{resource, mode};
        m_released.wait_for(lock, kPollSlice);
        // The cancel poll reads the client's socket: not under the table's mutex.
        lock.unlock();
        const bool cancelled = wait.cancelled && wait.cancelled();
        lock.lock();
        if (cancelled) {
            m_waiting.erase(owner);
            throw timedOut(spid, resource, mode, wait);
        }
    }
}

void TableLocks::release(int owner, bool all) {
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_locks.begin(); it != m_locks.end();) {
            auto held = it->second.find(owner);
            if (held != it->second.end()) {
                held->second.statement = Mode::None;
                if (all)
                    held->second.transaction = Mode::None;
                if (held->second.effective() == Mode::None)
                    it->second.erase(held);
            }
            it = it->second.empty() ? m_locks.erase(it) : std::next(it);
        }
    }
    m_released.notify_all();
}

void TableLocks::releaseStatement(int owner) {
    release(owner, false);
}

void TableLocks::releaseAll(int owner) {
    release(owner, true);
}

} // namespace devserver

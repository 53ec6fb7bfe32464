// The server's databases: their names, where they live (files under the data directory, or
// in a scratch directory removed when the server ends) and the connection that keeps each open.
#pragma once

#include "Engine.h"
#include "SqlConnection.h"
#include "TableLocks.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devserver {

class SqlDatabase final : public Database {
public:
    /// Opens or creates `master` (and `pubs` with the sample) as `config` says.
    explicit SqlDatabase(const ServerConfig& config);
    ~SqlDatabase() override;

    std::unique_ptr<Session> openSession(const LoginInfo& login, int spid) override;

    [[nodiscard]] const ServerConfig& config() const noexcept { return m_config; }
    /// The locks sessions take on tables.
    [[nodiscard]] TableLocks& locks() noexcept { return m_locks; }
    /// The database's name as created when `name` names one (any case), else empty.
    [[nodiscard]] std::string find(const std::string& name) const;
    /// The SQLite URI of an existing database.
    [[nodiscard]] std::string uriOf(const std::string& name) const;
    /// Creates a database. Throws SqlError 1801 when it exists, 2702 for a bad name.
    void createDatabase(const std::string& name);
    /// True for a database that lives only as long as the server (nothing to make durable).
    [[nodiscard]] bool isScratch(const std::string& name) const;
    /// Names of every database.
    [[nodiscard]] std::vector<std::string> names() const;

    /// A logged-in client as sp_who shows it.
    struct SessionEntry {
        int spid = 0;
        std::string user;
        std::string host;
        std::string database;
    };
    /// Sessions note themselves here while they exist (spid 0, the server's own, does not).
    void noteSession(const SessionEntry& entry);
    void forgetSession(int spid);
    [[nodiscard]] std::vector<SessionEntry> sessions() const;

private:
    std::string makeUri(const std::string& name) const;
    void addDatabase(const std::string& name);

    ServerConfig m_config;
    TableLocks m_locks;
    std::string m_scratchDir;
    mutable std::mutex m_mutex;
    /// Lower-case name → (name, connection keeping it open).
    std::map<std::string, std::pair<std::string, std::unique_ptr<SqlConnection>>> m_databases;
    std::map<int, SessionEntry> m_sessions; ///< by spid, under m_mutex
};

/// The table that holds the text of each stored procedure of a database.
inline constexpr const char* kProcedureTable = kProcedureTableName;

} // namespace devserver

// Shared by the query tests: the servers of the connection tests (DEVSERVER with the sample
// database, DROPPING that closes the connection after three rows of a result) plus
// DMYSERVER, a server whose date order is day-month-year; connections to them registered
// under names of their own; and small helpers to run SQL through queries.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "connect_support.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "support/ExecutionChecks.h"
#include "support/ServerConf.h"

namespace querytest {

/// Starts the servers once per test program. The connection tests' freetds.conf (named
/// by FREETDSCONF) gains a section DMYSERVER.
class QueryEnvironment {
public:
    static QueryEnvironment& get() {
        static QueryEnvironment environment;
        return environment;
    }

private:
    QueryEnvironment() {
        connecttest::ServerEnvironment::get();
        const std::string conf = std::getenv("FREETDSCONF");
        m_dmy = std::make_unique<testsupport::DevServer>(
            std::vector<std::string>{"--sample", "--date-order", "dmy", "--user",
                                     connecttest::kUser, "--password", connecttest::kPassword},
            "DMYSERVER");
        testsupport::appendServerSection(conf, {"DMYSERVER", m_dmy->port()});
    }

    std::unique_ptr<testsupport::DevServer> m_dmy;
};

/// A connection to Server registered under Name, with the accepted login, not connected.
inline std::unique_ptr<tovrin::TSybConnect>
makeConnection(const std::string& Name, const std::string& Server = "DEVSERVER") {
    QueryEnvironment::get();
    auto connection = std::make_unique<tovrin::TSybConnect>(nullptr);
    connection->SetDatabaseName(Name);
    connection->SetServerName(Server);
    connection->SetUserName(connecttest::kUser);
    connection->SetPassword(connecttest::kPassword);
    connection->SetApplicationName("query_tests");
    return connection;
}

/// A query on the connection named Connection with the given SQL text, not open.
inline std::unique_ptr<tovrin::TSybQuery> makeQuery(const std::string& Connection,
                                                    const std::string& Sql) {
    auto query = std::make_unique<tovrin::TSybQuery>(nullptr);
    query->SetName("Query1");
    query->SetDatabaseName(Connection);
    query->SQL()->SetText(Sql);
    return query;
}

/// Runs Sql on the connection named Connection with ExecSQL.
inline void exec(const std::string& Connection, const std::string& Sql) {
    makeQuery(Connection, Sql)->ExecSQL();
}

using testsupport::errorOf;
using testsupport::lockIsFree;

/// A test suite whose tests share one connection to DEVSERVER, registered under Name, with
/// Database as its database when given: connected before the suite's first test and
/// closed after its last.
template <const char* Name, const char* Database = nullptr>
class ConnectedSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_connection = makeConnection(Name).release();
        if constexpr (Database != nullptr)
            s_connection->SetDatabase(Database);
        s_connection->Connect();
    }
    static void TearDownTestSuite() {
        delete s_connection;
        s_connection = nullptr;
    }
    /// Checks that a test left no execution behind: the lock free, no active query.
    static void expectIdle() {
        EXPECT_TRUE(lockIsFree(*s_connection));
        EXPECT_EQ(s_connection->ActiveQuery(), nullptr);
    }
    static inline tovrin::TSybConnect* s_connection = nullptr;
};

/// A test suite with two connections of its own, registered under Name and Other: the
/// session under test and a second user's, for what another session sees or changes.
template <const char* Name, const char* Other> class TwoSessionSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_connection = makeConnection(Name).release();
        s_connection->Connect();
        s_other = makeConnection(Other).release();
        s_other->Connect();
    }
    static void TearDownTestSuite() {
        delete s_other;
        delete s_connection;
        s_other = s_connection = nullptr;
    }
    static inline tovrin::TSybConnect* s_connection = nullptr;
    static inline tovrin::TSybConnect* s_other = nullptr;
};

} // namespace querytest

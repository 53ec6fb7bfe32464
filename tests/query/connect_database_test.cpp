// The connection's Database: only a plain name is ever sent, and a switch the server
// refuses leaves the previous database, its name and later logins as they were.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "query_support.h"

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::makeConnection;
using querytest::makeQuery;

std::string currentDatabase(const std::string& connection) {
    auto query = makeQuery(connection, "select db_name() as db");
    query->Open();
    return query->FieldByName("db")->AsString();
}

TEST(ConnectDatabase, OnlyAPlainNameIsAcceptedAndNothingElseIsSent) {
    auto connection = makeConnection("DB_NAMES");
    connection->SetDatabase("pubs");
    connection->Connect();
    for (const std::string& bad : std::vector<std::string>{
             "pubs create table injected_t (i int)", "pubs; drop table x", "pubs--", "[pubs]",
             "\"pubs\"", "1pubs", "$pubs", "pu bs", "pu\nbs", std::string(256, 'a')}) {
        const std::string error = errorOf([&] { connection->SetDatabase(bad); });
        EXPECT_EQ(error.rfind("Invalid database name", 0), 0u) << bad << ": " << error;
        EXPECT_EQ(connection->Database(), "pubs") << bad;
    }
    // Nothing reached the server: the statement after the name never ran.
    EXPECT_NE(errorOf([&] { makeQuery("DB_NAMES", "select * from injected_t")->Open(); }), "");
    EXPECT_EQ(currentDatabase("DB_NAMES"), "pubs");

    // Plain names, blank and names with blanks around them are taken.
    for (const std::string good : {"tempdb", " pubs ", "", "#x", "_a1$@#"}) {
        auto stored = makeConnection("DB_STORED");
        EXPECT_NO_THROW(stored->SetDatabase(good)) << good;
        EXPECT_EQ(stored->Database(), good);
    }
}

TEST(ConnectDatabase, AFailedSwitchKeepsThePreviousDatabaseAndLaterLogins) {
    auto connection = makeConnection("DB_SWITCH");
    int connects = 0;
    connection->SetOnConnect([&](host::TObject*) { ++connects; });
    connection->SetDatabase("pubs");
    connection->Connect();
    ASSERT_EQ(connects, 1);

    const std::string error = errorOf([&] { connection->SetDatabase("nosuchdb"); });
    EXPECT_NE(error.find("911"), std::string::npos) << error;
    EXPECT_EQ(connection->Database(), "pubs");
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(currentDatabase("DB_SWITCH"), "pubs");

    // A reconnect, by itself or through a changed login property, logs in to pubs again.
    connection->Reconnect();
    EXPECT_EQ(connects, 2);
    EXPECT_EQ(currentDatabase("DB_SWITCH"), "pubs");
    connection->SetApplicationName("db_switch");
    EXPECT_EQ(connects, 3);
    EXPECT_EQ(currentDatabase("DB_SWITCH"), "pubs");

    connection->SetDatabase("tempdb");
    EXPECT_EQ(currentDatabase("DB_SWITCH"), "tempdb");
}

} // namespace

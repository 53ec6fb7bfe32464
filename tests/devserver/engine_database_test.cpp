// Databases and sessions: use and create database, the sample database, transactions seen
// across sessions, many sessions at once, databases kept in files under the data directory.
#include "engine_sink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <unistd.h>

namespace devserver::test {
namespace {

RecordingSink run(Session& session, const std::string& sql) {
    RecordingSink sink;
    session.executeBatch(sql, sink);
    return sink;
}

int64_t scalar(Session& session, const std::string& sql) {
    RecordingSink sink = run(session, sql);
    auto results = sink.results();
    if (results.empty() || results.back().rows.empty()) {
        ADD_FAILURE() << "no value from: " << sql
                      << (sink.errors().empty() ? "" : " — " + sink.errors()[0].text);
        return -1;
    }
    return results.back().rows[0][0].integer;
}

TEST(EngineDatabases, UseChangesTheCurrentDatabaseAndSaysSo) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    EXPECT_EQ(session->currentDatabase(), "master");
    RecordingSink s = run(*session, "create database sales_db\nuse [sales_db]\nselect db_name()");
    EXPECT_TRUE(s.errors().empty());
    EXPECT_EQ(session->currentDatabase(), "sales_db");
    const Event* changed = nullptr;
    for (const auto& e : s.events)
        if (e.kind == Event::Kind::DatabaseChanged)
            changed = &e;
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(changed->oldName, "master");
    EXPECT_EQ(changed->newName, "sales_db");
    auto messages = s.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].number, 5701);
    EXPECT_EQ(messages[0].severity, 10);
    EXPECT_EQ(messages[0].text, "Changed database context to 'sales_db'.");
    EXPECT_EQ(s.results().at(0).rows.at(0)[0].bytes, "sales_db");

    RecordingSink bad = run(*session, "use nowhere\nselect db_name()");
    ASSERT_EQ(bad.errors().size(), 1u);
    EXPECT_EQ(bad.errors()[0].number, 911);
    EXPECT_EQ(session->currentDatabase(), "sales_db");
    RecordingSink again = run(*session, "create database SALES_DB");
    ASSERT_EQ(again.errors().size(), 1u);
    EXPECT_EQ(again.errors()[0].number, 1801);
}

TEST(EngineDatabases, TablesBelongToTheirDatabase) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink s =
        run(*session, "create database other\n"
                      "create table t (v int) insert into t values (1)\n"
                      "use other\n"
                      "create table t (v int) insert into t values (2) insert into t values (3)\n"
                      "select sum(v) from t\n"
                      "select sum(v) from master..t\n"
                      "select count(*) from master.dbo.t");
    EXPECT_TRUE(s.errors().empty()) << s.errors()[0].text;
    auto results = s.results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].rows[0][0].integer, 5);
    EXPECT_EQ(results[1].rows[0][0].integer, 1);
    EXPECT_EQ(results[2].rows[0][0].integer, 1);
    // Another session sees the new database and its committed rows.
    auto second = database->openSession(LoginInfo{}, 2);
    EXPECT_EQ(scalar(*second, "use other select count(*) from t"), 2);
}

TEST(EngineDatabases, SampleDatabaseHasItsTablesAndProcedures) {
    ServerConfig config;
    config.sample = true;
    auto database = Database::open(config);
    auto session = database->openSession(LoginInfo{}, 1);
    for (const char* table : {"publishers", "authors", "titles", "titleauthor", "sales"}) {
        int64_t rows = scalar(*session, std::string("select count(*) from pubs..") + table);
        EXPECT_GE(rows, 20) << table;
        EXPECT_LE(rows, 50) << table;
    }
    EXPECT_GT(scalar(*session, "select count(*) from pubs..titles where price is null"), 0);
    EXPECT_GT(scalar(*session, "select count(*) from pubs..publishers where logo is not null"), 0);
    RecordingSink s =
        run(*session,
            "use pubs\ndeclare @q int, @r money\nexec title_sales 'FI1000', @q output, @r output");
    EXPECT_TRUE(s.errors().empty());
    bool sawParams = false;
    for (const auto& e : s.events)
        if (e.kind == Event::Kind::OutputParameters) {
            sawParams = true;
            EXPECT_EQ(e.values.size(), 2u);
        }
    EXPECT_TRUE(sawParams);
}

TEST(EngineDatabases, TransactionsAreSeenByOthersOnlyWhenCommitted) {
    auto database = Database::open(ServerConfig{});
    auto a = database->openSession(LoginInfo{}, 1);
    auto b = database->openSession(LoginInfo{}, 2);
    ASSERT_TRUE(run(*a, "create table shared (v int)").errors().empty());
    run(*a, "begin tran\ninsert into shared values (1)\ninsert into shared values (2)");
    EXPECT_TRUE(a->inTransaction());
    EXPECT_EQ(scalar(*a, "select count(*) from shared"), 2);
    // Every kind of read of the table meets the writer's lock, even one that reads no column.
    for (const char* read : {"select count(*) from shared", "select max(v) from shared"}) {
        RecordingSink refused = run(*b, std::string("set lock nowait\n") + read);
        ASSERT_EQ(refused.errors().size(), 1u) << read;
        EXPECT_EQ(refused.errors()[0].number, 12205) << read;
    }
    run(*b, "set lock wait");
    // A reader in another session waits for the writer's locks, as on the server, and
    // never sees the rows before they are committed.
    int64_t seen = -1;
    std::thread reader([&] { seen = scalar(*b, "select count(*) from shared"); });
    RecordingSink use = run(*a, "use master");
    ASSERT_EQ(use.errors().size(), 1u);
    EXPECT_EQ(use.errors()[0].number, 226);
    run(*a, "commit tran");
    reader.join();
    EXPECT_FALSE(a->inTransaction());
    EXPECT_EQ(seen, 2);

    run(*a, "begin transaction insert into shared values (3)");
    std::thread reader2([&] { seen = scalar(*b, "select count(*) from shared"); });
    run(*a, "rollback");
    reader2.join();
    EXPECT_FALSE(a->inTransaction());
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(scalar(*a, "select @@trancount"), 0);
    // Nested begin/commit pairs commit at the outermost commit.
    run(*a, "begin tran begin tran insert into shared values (4) commit");
    EXPECT_TRUE(a->inTransaction());
    EXPECT_EQ(scalar(*a, "select @@trancount"), 1);
    run(*a, "commit");
    EXPECT_EQ(scalar(*b, "select count(*) from shared"), 3);
    // Savepoints roll back part of a transaction.
    run(*a, "begin tran insert into shared values (5) save tran part insert into shared values (6)"
            " rollback tran part commit");
    EXPECT_EQ(scalar(*b, "select count(*) from shared"), 4);
    // A session closed inside a transaction leaves nothing behind.
    run(*a, "begin tran insert into shared values (7)");
    a.reset();
    EXPECT_EQ(scalar(*b, "select count(*) from shared"), 4);
}

TEST(EngineDatabases, ManySessionsWorkAtOnce) {
    auto database = Database::open(ServerConfig{});
    auto setup = database->openSession(LoginInfo{}, 1);
    ASSERT_TRUE(run(*setup, "create table hits (session int, n int)").errors().empty());
    constexpr int kSessions = 8;
    constexpr int kInserts = 25;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kSessions; ++t) {
        threads.emplace_back([&, t] {
            auto session = database->openSession(LoginInfo{}, 10 + t);
            for (int i = 0; i < kInserts; ++i) {
                RecordingSink s =
                    run(*session, "insert into hits values (" + std::to_string(t) + ", " +
                                      std::to_string(i) + ")\nselect count(*) from hits");
                if (!s.errors().empty())
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(scalar(*setup, "select count(*) from hits"), kSessions * kInserts);
}

TEST(EngineDatabases, DataDirectoryKeepsDatabasesInFiles) {
    auto dir =
        std::filesystem::temp_directory_path() / ("engine-data-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    {
        ServerConfig config;
        config.dataDir = dir.string();
        config.sample = true;
        auto database = Database::open(config);
        auto session = database->openSession(LoginInfo{}, 1);
        EXPECT_TRUE(run(*session, "create database kept\nuse kept\ncreate table t (v money)\n"
                                  "insert into t values (1.2345)")
                        .errors()
                        .empty());
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "master.db"));
    EXPECT_TRUE(std::filesystem::exists(dir / "kept.db"));
    EXPECT_TRUE(std::filesystem::exists(dir / "pubs.db"));
    {
        ServerConfig config;
        config.dataDir = dir.string();
        config.sample = true; // pubs exists already: not loaded twice
        auto database = Database::open(config);
        auto session = database->openSession(LoginInfo{}, 1);
        EXPECT_EQ(scalar(*session, "use kept select v from t"), 12345);
        EXPECT_EQ(scalar(*session, "select count(*) from pubs..publishers"), 21);
    }
    std::filesystem::remove_all(dir);
}

TEST(EngineDatabases, SampleDatabaseReadsTheSameInEveryDateOrder) {
    for (DateOrder order : {DateOrder::MDY, DateOrder::DMY, DateOrder::YDM}) {
        ServerConfig config;
        config.sample = true;
        config.dateOrder = order;
        auto database = Database::open(config);
        auto session = database->openSession(LoginInfo{}, 1);
        RecordingSink s =
            run(*session, "select pubdate from pubs..titles where title_id = 'CK1373'\n"
                          "select ord_date, shipped from pubs..sales where ord_num = 'k207b'");
        auto results = s.results();
        ASSERT_EQ(results.size(), 2u);
        // 4 Feb 1986 10:07:11.003 and 6 Feb 1993 09:07:13.037 (shipped 6 Mar 1993 11:03:29.998,
        // which rounds down to the minute).
        EXPECT_EQ(results[0].rows.at(0)[0].days, 31445);
        EXPECT_EQ(results[0].rows.at(0)[0].ticks, (10u * 3600 + 7 * 60 + 11) * 300 + 1);
        EXPECT_EQ(results[1].rows.at(0)[0].days, 34004);
        EXPECT_EQ(results[1].rows.at(0)[1].days, 34032);
        EXPECT_EQ(results[1].rows.at(0)[1].ticks, (11u * 60 + 3) * 18000);
    }
}

} // namespace
} // namespace devserver::test

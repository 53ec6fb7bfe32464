// Two sessions at once: what one holds (an open transaction, a result it stops reading) must
// hold up only work on the same table, in memory and with a data directory alike; work on
// the same table waits for the lock as the set lock reference describes (wait periods,
// error 12205 that rolls the transaction back, deadlocks ended by error 1205).
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

using Clock = std::chrono::steady_clock;

// Far below any lock timeout, far above what an unhindered statement takes.
constexpr long long kPromptMs = 10000;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

/// Runs `sql`, expecting it to succeed promptly.
void expectPrompt(CtConnection& con, const std::string& sql) {
    const auto start = Clock::now();
    const CtBatch b = con.execute(sql);
    EXPECT_LT(millisecondsSince(start), kPromptMs) << sql;
    EXPECT_TRUE(b.ok && !b.failed) << sql << (b.errors().empty() ? "" : ": " + b.errors()[0].text);
}

/// The server arguments of a memory-only server, or of one with a data directory.
class SessionIsolation : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        m_server = std::make_unique<DevServer>();
        if (GetParam()) {
            const std::string dir = m_server->tempDir() + "/data";
            m_server.reset();
            m_server = std::make_unique<DevServer>(std::vector<std::string>{"--data", dir});
        }
    }
    std::unique_ptr<DevServer> m_server;
};

} // namespace

TEST_P(SessionIsolation, AnOpenTransactionHoldsUpNoReadOfAnotherTable) {
    CtConnection writer;
    CtConnection reader;
    ASSERT_FALSE(writer.execute("create table iso_a (id int) create table iso_b (id int)").failed);
    ASSERT_FALSE(writer.execute("insert into iso_b values (7)").failed);
    ASSERT_FALSE(writer.execute("begin tran insert into iso_a values (1)").failed);

    const auto start = Clock::now();
    const CtBatch b = reader.execute("select id from iso_b");
    EXPECT_LT(millisecondsSince(start), kPromptMs);
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "7");

    ASSERT_FALSE(writer.execute("rollback tran").failed);
    const CtBatch after = reader.execute("select count(*) from iso_a");
    ASSERT_EQ(after.rowResults().size(), 1u);
    EXPECT_EQ(after.rowResults()[0]->rows.at(0).at(0).text, "0");
}

TEST_P(SessionIsolation, AResultTheClientStopsReadingHoldsUpNoWriteElsewhere) {
    CtConnection setup;
    ASSERT_FALSE(
        setup.execute("create table iso_big (v varchar(250)) create table iso_log (id int)")
            .failed);
    ASSERT_FALSE(setup.execute("insert into iso_big values (replicate('x', 250))").failed);
    // 2^15 rows of 250 bytes: far more than the socket buffers hold.
    for (int i = 0; i < 15; ++i)
        ASSERT_FALSE(setup.execute("insert into iso_big select v from iso_big").failed);

    CtConnection stalled;
    auto cmd = stalled.newCommand();
    ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, const_cast<char*>("select v from iso_big"),
                         CS_NULLTERM, CS_UNUSED),
              CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    // The client reads nothing: the server blocks writing the result, its statement open.

    CtConnection other;
    expectPrompt(other, "insert into iso_log values (1)");
    expectPrompt(other, "begin tran update iso_log set id = 2 commit tran");
    expectPrompt(other, "select count(*) from iso_log");
}

TEST_P(SessionIsolation, WorkOnTheSameTableWaitsForTheCommit) {
    CtConnection writer;
    CtConnection reader;
    ASSERT_FALSE(
        writer.execute("create table iso_same (id int) insert into iso_same values (1)").failed);
    ASSERT_FALSE(writer.execute("begin tran update iso_same set id = 2").failed);

    auto read =
        std::async(std::launch::async, [&] { return reader.execute("select id from iso_same"); });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    ASSERT_FALSE(writer.execute("commit tran").failed);
    const CtBatch b = read.get();
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "2"); // never the uncommitted state
}

TEST_P(SessionIsolation, AReaderLeavesNoLockBehindItsStatement) {
    CtConnection reader;
    CtConnection writer;
    ASSERT_FALSE(
        reader.execute("create table iso_read (id int) insert into iso_read values (1)").failed);
    // Isolation level 1: a read in an open transaction holds its lock only while it runs.
    ASSERT_FALSE(reader.execute("begin tran select id from iso_read").failed);
    expectPrompt(writer, "update iso_read set id = 5");
    const CtBatch b = reader.execute("select id from iso_read commit tran");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "5");
}

TEST_P(SessionIsolation, ALockNotHadInTheWaitPeriodFailsAndRollsBack) {
    CtConnection holder;
    CtConnection other;
    ASSERT_FALSE(holder.execute("create table iso_held (id int)").failed);
    ASSERT_FALSE(other.execute("create table #mine (id int)").failed);
    ASSERT_FALSE(holder.execute("begin tran insert into iso_held values (1)").failed);
    for (const std::string setting : {"set lock nowait", "set lock wait 1"}) {
        ASSERT_FALSE(other.execute(setting).failed) << setting;
        ASSERT_FALSE(other.execute("begin tran insert into #mine values (1)").failed);
        const auto start = Clock::now();
        const CtBatch b = other.execute("select id from iso_held select 'after'");
        EXPECT_LT(millisecondsSince(start), kPromptMs) << setting;
        ASSERT_FALSE(b.errors().empty()) << setting;
        EXPECT_EQ(b.errors()[0].number, 12205) << setting;
        EXPECT_NE(b.errors()[0].text.find("SESSION level wait period"), std::string::npos);
        // The command failed, its transaction was rolled back and the batch ended.
        EXPECT_TRUE(b.rowResults().empty()) << setting;
        const CtBatch state = other.execute("select @@trancount, count(*) from #mine");
        ASSERT_EQ(state.rowResults().size(), 1u);
        EXPECT_EQ(state.rowResults()[0]->rows.at(0).at(0).text, "0") << setting;
        EXPECT_EQ(state.rowResults()[0]->rows.at(0).at(1).text, "0") << setting;
    }
    ASSERT_FALSE(holder.execute("rollback tran").failed);
}

TEST_P(SessionIsolation, ADeadlockEndsOneTransactionAndLetsTheOtherOn) {
    CtConnection first;
    CtConnection second;
    ASSERT_FALSE(first.execute("create database iso_other").failed);
    ASSERT_FALSE(first
                     .execute("create table iso_here (id int) insert into iso_here values (1)"
                              " create table iso_other..there (id int)"
                              " insert into iso_other..there values (1)")
                     .failed);
    ASSERT_FALSE(first.execute("begin tran update iso_here set id = 2").failed);
    ASSERT_FALSE(second.execute("begin tran update iso_other..there set id = 2").failed);
    auto waiting = std::async(std::launch::async, [&] {
        return first.execute("update iso_other..there set id = 3 commit tran");
    });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    const auto start = Clock::now();
    const CtBatch victim = second.execute("update iso_here set id = 4 commit tran");
    EXPECT_LT(millisecondsSince(start), kPromptMs);
    ASSERT_FALSE(victim.errors().empty());
    EXPECT_EQ(victim.errors()[0].number, 1205);
    const CtBatch winner = waiting.get();
    EXPECT_TRUE(winner.errors().empty());
    const CtBatch state = second.execute(
        "select @@trancount, (select id from iso_here), (select id from iso_other..there)");
    ASSERT_EQ(state.rowResults().size(), 1u);
    const auto& row = state.rowResults()[0]->rows.at(0);
    EXPECT_EQ(row.at(0).text, "0");
    EXPECT_EQ(row.at(1).text, "2");
    EXPECT_EQ(row.at(2).text, "3");
}

TEST_P(SessionIsolation, WritesToAnotherDatabaseGoOn) {
    CtConnection writer;
    CtConnection other;
    ASSERT_FALSE(writer.execute("create database iso_elsewhere").failed);
    ASSERT_FALSE(writer
                     .execute("create table iso_busy (id int)"
                              " create table iso_elsewhere..calm (id int)")
                     .failed);
    ASSERT_FALSE(writer.execute("begin tran insert into iso_busy values (1)").failed);
    expectPrompt(other, "insert into iso_elsewhere..calm values (1)");
    ASSERT_FALSE(writer.execute("commit tran").failed);
}

TEST_P(SessionIsolation, ATransactionRollsBackAllItChanged) {
    CtConnection con;
    ASSERT_FALSE(
        con.execute("create table iso_kept (id int) insert into iso_kept values (1)").failed);
    // Reads come first and a savepoint is set before anything changes; then a table made by
    // select into, rows and a created table change.
    const CtBatch b = con.execute(
        "begin tran select count(*) from iso_kept save tran start"
        " select id into iso_copied from iso_kept insert into iso_kept values (2)"
        " rollback tran start insert into iso_kept values (3) create table iso_made (id int)"
        " update iso_kept set id = 9 rollback tran");
    EXPECT_TRUE(b.errors().empty()) << b.errors()[0].text;
    const CtBatch state =
        con.execute("select @@trancount, (select count(*) from iso_kept where id = 1),"
                    " (select count(*) from iso_kept), (select count(*) from sysobjects"
                    " where name in ('iso_made', 'iso_copied'))");
    ASSERT_EQ(state.rowResults().size(), 1u);
    const auto& row = state.rowResults()[0]->rows.at(0);
    EXPECT_EQ(row.at(0).text, "0");
    EXPECT_EQ(row.at(1).text, "1");
    EXPECT_EQ(row.at(2).text, "1");
    EXPECT_EQ(row.at(3).text, "0");
}

INSTANTIATE_TEST_SUITE_P(MemoryAndData, SessionIsolation, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Data" : "Memory"; });

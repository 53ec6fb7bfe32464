// Running a query's batch against the development server: which query receives each row
// result, procedures' return statuses and output parameters, statements without rows,
// the database switch, the messages of failures, and what a failure leaves behind (the
// query closed, the lock free, the connection usable).
#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tovrin5/host/Fields.h"
#include "tovrin5/host/Runtime.h"
#include "tovrin5/host/SysUtils.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "EXEC";

class QueryExec : public querytest::ConnectedSuite<kConnection> {
protected:
    void TearDown() override { expectIdle(); }
};

int firstInt(TSybQuery& query) {
    query.First();
    return query.Fields()[0]->AsInteger();
}

TEST_F(QueryExec, EachRowResultGoesToTheQueryNumberedForIt) {
    auto query =
        makeQuery(kConnection, "select 10 as a\nselect 20 as b union select 21\nselect 30 as c");
    query->Open();
    EXPECT_EQ(firstInt(*query), 10);
    EXPECT_EQ(query->ResultSetCount(), 3);
    // Unclaimed results were read into temporary queries and freed.
    EXPECT_TRUE(query->ResultQueries()->empty());
    for (int k = 0; k < query->ComponentCount(); ++k) {
        EXPECT_EQ(dynamic_cast<TSybQuery*>(query->Components(k)), nullptr);
    }

    query->Close();
    query->SetResultSet(1);
    query->Open();
    EXPECT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(query->Fields()[0]->FieldName(), "b");

    // A number beyond the batch's row results leaves the query closed, without an error
    // and without the after-open event.
    query->Close();
    query->SetResultSet(3);
    bool afterOpen = false;
    query->SetAfterOpen([&afterOpen](host::TDataSet*) { afterOpen = true; });
    query->Open();
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(afterOpen);
}

TEST_F(QueryExec, NewDataSetsAreKeptAndRefilled) {
    auto query = makeQuery(kConnection, "select 1 as a\nselect 2 as b\nselect 3 as c");
    std::vector<TSybQuery*> created;
    query->SetOnNewDataSet([&](TSybQuery* dataSet) {
        EXPECT_FALSE(dataSet->Active());
        EXPECT_EQ(dataSet->Master(), query.get());
        EXPECT_EQ(dataSet->Owner(), query.get());
        created.push_back(dataSet);
    });
    query->Open();
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0]->ResultSet(), 1);
    EXPECT_EQ(created[1]->ResultSet(), 2);
    EXPECT_TRUE(created[0]->Active());
    EXPECT_EQ(firstInt(*created[0]), 2);
    EXPECT_EQ(firstInt(*created[1]), 3);

    // Closing the master closes its receivers; reopening refills the same queries.
    query->Close();
    EXPECT_FALSE(created[0]->Active());
    query->SQL()->SetText("select 4 as a\nselect 5 as b\nselect 6 as c");
    query->Open();
    EXPECT_EQ(created.size(), 2u);
    EXPECT_EQ(firstInt(*created[0]), 5);
    EXPECT_EQ(firstInt(*created[1]), 6);

    // Opened on its own, a receiver has no command to read from.
    query->Close();
    EXPECT_EQ(errorOf([&] { created[0]->Open(); }),
              "The query receives its rows from its master query: open the master");
    EXPECT_FALSE(created[0]->Active());
}

TEST_F(QueryExec, ReceiversAreMatchedByTheirResultSet) {
    auto master = makeQuery(kConnection, "select 1 as a\nselect 2 as b\nselect 3 as c");
    TSybQuery same(nullptr), first(nullptr), second(nullptr);
    same.SetMaster(master.get());
    same.SetResultSet(0); // the master's own number: never filled
    first.SetMaster(master.get());
    first.SetResultSet(2);
    second.SetMaster(master.get());
    second.SetResultSet(2); // the earlier receiver of a number wins
    master->Open();
    EXPECT_EQ(firstInt(*master), 1);
    EXPECT_FALSE(same.Active());
    EXPECT_EQ(firstInt(first), 3);
    EXPECT_FALSE(second.Active());

    // Another master: the receiver leaves the first master's list.
    auto other = makeQuery(kConnection, "select 7\nselect 8\nselect 9");
    first.SetMaster(other.get());
    EXPECT_EQ(master->ResultQueries()->size(), 2u);
    other->Open();
    EXPECT_EQ(firstInt(first), 9);
    master->Close();
    other->Close();
    EXPECT_FALSE(first.Active());
}

TEST_F(QueryExec, The257thRowResultGoesToANewQuery) {
    std::string sql;
    for (int k = 0; k < 257; ++k) {
        sql += "select " + std::to_string(k) + " as k\n";
    }
    auto query = makeQuery(kConnection, sql);
    std::vector<TSybQuery*> created;
    query->SetOnNewDataSet([&created](TSybQuery* dataSet) { created.push_back(dataSet); });
    query->Open();
    EXPECT_EQ(query->ResultSetCount(), 257);
    ASSERT_EQ(created.size(), 256u);
    EXPECT_EQ(created[254]->ResultSet(), 255);
    EXPECT_EQ(firstInt(*created[254]), 255);
    // Number 256 wraps to 0, which no receiver matches while the master shows result 0.
    EXPECT_EQ(created[255]->ResultSet(), 0);
    EXPECT_EQ(firstInt(*created[255]), 256);

    query->Close();
    query->Open();
    EXPECT_EQ(created.size(), 257u); // only the 257th result needs a new query again
    EXPECT_EQ(firstInt(*created[100]), 101);
}

TEST_F(QueryExec, ProcedureStatusAndOutputParametersAreKept) {
    exec(kConnection,
         "create procedure qt_totals @a int, @twice int output, @label varchar(10) output,"
         " @when datetime output, @none int output as begin select @a as a, @a + 1 as b"
         " select @twice = @a * 2 select @label = 'it''s' select @when = '2026-12-07 10:00'"
         " select @none = null return 7 end");
    auto query =
        makeQuery(kConnection, "declare @t int, @l varchar(10), @w datetime, @n int\n"
                               "exec qt_totals :a, @t output, @l output, @w output, @n output");
    query->ParamByName("a")->SetAsInteger(21);
    query->Open();
    EXPECT_EQ(query->ReturnStatus(), 7);
    EXPECT_EQ(query->ResultSetCount(), 1);
    EXPECT_EQ(query->FieldByName("b")->AsInteger(), 22);
    ASSERT_EQ(query->OutputParamCount(), 4);
    EXPECT_EQ(query->OutputParamValue(0).AsInteger(), 42);
    EXPECT_EQ(query->OutputParamByName("@label").AsString(), "it's");
    EXPECT_EQ(query->OutputParamByName("LABEL").AsString(), "it's");
    EXPECT_EQ(query->OutputParamByName("when").AsDateTime(),
              host::EncodeDate(2026, 12, 7) + host::EncodeTime(10, 0, 0, 0));
    EXPECT_TRUE(query->OutputParamValue(3).IsNull());
    EXPECT_EQ(errorOf([&] { (void)query->OutputParamByName("nope"); }),
              "Output parameter 'nope' not found");

    // They outlive the query's closing and stay until the next execution.
    query->Close();
    EXPECT_EQ(query->ReturnStatus(), 7);
    EXPECT_EQ(query->OutputParamValue(0).AsInteger(), 42);
    query->SQL()->SetText("select 1 as x");
    query->Open();
    EXPECT_EQ(query->ReturnStatus(), 0);
}

TEST_F(QueryExec, AReturnStatusOfZeroIsToldFromNone) {
    exec(kConnection, "create procedure qt_zero as return 0");
    exec(kConnection, "create procedure qt_five as begin select 1 as one return 5 end");
    auto query = makeQuery(kConnection, "exec qt_zero");
    query->Open();
    EXPECT_TRUE(query->HasReturnStatus());
    EXPECT_EQ(query->ReturnStatus(), 0);

    query->SQL()->SetText("select 'exec' as word");
    query->Open();
    EXPECT_FALSE(query->HasReturnStatus());
    EXPECT_EQ(query->ReturnStatus(), 0);

    query->Close();
    query->SQL()->SetText("exec qt_five");
    query->Open();
    EXPECT_TRUE(query->HasReturnStatus());
    EXPECT_EQ(query->ReturnStatus(), 5);

    // A batch that fails before any procedure ran has none.
    query->Close();
    query->SQL()->SetText("select * from qt_no_such_table");
    EXPECT_NE(errorOf([&] { query->Open(); }), "");
    EXPECT_FALSE(query->HasReturnStatus());
}

TEST_F(QueryExec, RowCountsOfEveryStatementInOrder) {
    exec(kConnection, "create table #counted (n int)");
    auto query = makeQuery(kConnection, "insert #counted values (1)\n"
                                        "insert #counted select n + 1 from #counted\n"
                                        "declare @x int\n"
                                        "select n from #counted order by n\n"
                                        "update #counted set n = n * 10\n"
                                        "delete #counted where n > 1000");
    int results = 0;
    query->SetOnNewDataSet([&results](TSybQuery*) { ++results; });
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), 0);
    const std::vector<TStatementRowCount>& counts = query->StatementRowCounts();
    ASSERT_EQ(counts.size(), 5u);
    const int32_t rows[] = {1, 1, 2, 2, 0};
    const int32_t rowResults[] = {0, 0, 1, 1, 1};
    const bool selected[] = {false, false, true, false, false};
    for (std::size_t k = 0; k < counts.size(); ++k) {
        EXPECT_EQ(counts[k].Rows, rows[k]) << k;
        EXPECT_EQ(counts[k].RowResults, rowResults[k]) << k;
        EXPECT_EQ(counts[k].Selected, selected[k]) << k;
    }

    // Each execution starts afresh; statements that count nothing leave -1.
    query->SQL()->SetText("update #counted set n = n + 1");
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), 2);
    EXPECT_EQ(query->StatementRowCounts().size(), 1u);
    query->SQL()->SetText("declare @y int");
    query->ExecSQL();
    EXPECT_EQ(query->RowsAffected(), -1);
    EXPECT_TRUE(query->StatementRowCounts().empty());
}

TEST_F(QueryExec, FetchProgressEveryIntervalRows) {
    exec(kConnection, "create table #many (n int)");
    exec(kConnection, "insert #many values (1)");
    for (int k = 0; k < 11; ++k) {
        exec(kConnection, "insert #many select n from #many"); // 2048 rows in the end
    }
    auto query = makeQuery(kConnection, "select n from #many\nselect n from #many where n < 0");
    EXPECT_EQ(query->FetchProgressInterval(), 10000);
    query->SetFetchProgressInterval(500);
    std::vector<std::pair<TSybQuery*, int64_t>> calls;
    query->SetOnFetchProgress([&](TSybQuery* data, int64_t rows) {
        // Called while the rows are stored: the dataset already holds that many.
        EXPECT_EQ(data->StoredRecordCount(), rows);
        calls.emplace_back(data, rows);
    });
    query->Open();
    ASSERT_EQ(calls.size(), 4u);
    for (std::size_t k = 0; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].first, query.get());
        EXPECT_EQ(calls[k].second, static_cast<int64_t>(500 * (k + 1)));
    }

    // A receiver's rows are reported through the master's handler, naming the receiver.
    query->Close();
    calls.clear();
    query->SQL()->SetText("select 1 as one\nselect n from #many");
    TSybQuery* receiver = nullptr;
    query->SetOnNewDataSet([&receiver](TSybQuery* created) { receiver = created; });
    query->Open();
    ASSERT_NE(receiver, nullptr);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.back().first, receiver);

    // A handler that raises ends the fetch like any failure.
    query->Close();
    query->SQL()->SetText("select n from #many");
    query->SetOnFetchProgress(
        [](TSybQuery*, int64_t) { throw host::Exception("stopped by the user"); });
    EXPECT_EQ(errorOf([&] { query->Open(); }), "stopped by the user");
    EXPECT_FALSE(query->Active());
    query->SetOnFetchProgress(nullptr);
    query->Open();
    EXPECT_EQ(query->RecordCount(), 2048);
}

TEST_F(QueryExec, AForwardOnlyReadSeesEveryRowAndStoresOnlyTheKeptOnes) {
    exec(kConnection, "create table #stream (n int, label varchar(20) null, body text null)\n"
                      "insert #stream values (1, 'one', 'first text')\n"
                      "insert #stream values (2, null, null)\n"
                      "insert #stream values (3, 'three', 'third text')");
    auto query = makeQuery(kConnection, "select n, label, body from #stream order by n\n"
                                        "select n * 10 as tens from #stream order by n");
    std::vector<std::string> seen;
    TSybQuery* receiver = nullptr;
    query->SetOnNewDataSet([&receiver](TSybQuery* created) { receiver = created; });
    query->SetOnFetchRow([&](TSybQuery* data, bool& keep) {
        EXPECT_TRUE(keep);
        std::string row;
        for (int i = 0; i < data->Fields().Count(); ++i)
            row +=
                (i > 0 ? "|" : "") +
                (data->Fields()[i]->IsNull() ? std::string("NULL") : data->Fields()[i]->AsString());
        seen.push_back(row);
        keep = data == query.get() &&
               data->Fields()[0]->AsInteger() == 3; // keep one row of the first result
    });
    query->Open();
    EXPECT_EQ(seen, (std::vector<std::string>{"1|one|first text", "2|NULL|NULL",
                                              "3|three|third text", "10", "20", "30"}));
    // Only the kept row was stored; the receiver, read through the master's handler, is empty.
    EXPECT_EQ(query->StoredRecordCount(), 1);
    EXPECT_EQ(query->FieldByName("label")->AsString(), "three");
    EXPECT_EQ(query->FieldByName("body")->AsString(), "third text");
    ASSERT_NE(receiver, nullptr);
    EXPECT_TRUE(receiver->Active());
    EXPECT_EQ(receiver->StoredRecordCount(), 0);
    EXPECT_TRUE(receiver->IsEmpty());

    // A handler that raises ends the fetch like any failure.
    query->Close();
    query->SetOnFetchRow([](TSybQuery*, bool&) { throw host::Exception("enough"); });
    EXPECT_EQ(errorOf([&] { query->Open(); }), "enough");
    EXPECT_FALSE(query->Active());
}

TEST_F(QueryExec, ReturnStatusesAndOutputParametersAreToldWhereTheyArrive) {
    exec(kConnection, "create procedure qt_where @v int, @o int output as begin select @o = @v * 2 "
                      "return @v end");
    auto query = makeQuery(kConnection, "declare @x int\n"
                                        "exec qt_where 1, @x output\n"
                                        "select 'between' as b\n"
                                        "exec qt_where 2, @x output");
    std::vector<std::string> order;
    query->SetOnReturnStatus([&](TSybQuery* sender) {
        order.push_back("status " + std::to_string(sender->ReturnStatus()));
    });
    query->SetOnOutputParams([&](TSybQuery* sender) {
        order.push_back("output " + sender->OutputParamValue(0).AsString());
    });
    query->SetOnNewDataSet([&](TSybQuery*) { order.push_back("rows"); });
    query->SetResultSet(5); // every row result goes to a new query
    query->Open();
    ASSERT_EQ(order.size(), 5u);
    EXPECT_EQ(order[2], "rows");
    // Each procedure's values come before the rows the server sent after them.
    std::vector<std::string> first(order.begin(), order.begin() + 2);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string>{"output 2", "status 1"}));
    std::vector<std::string> last(order.begin() + 3, order.end());
    std::sort(last.begin(), last.end());
    EXPECT_EQ(last, (std::vector<std::string>{"output 4", "status 2"}));
}

TEST_F(QueryExec, StatementsWithoutRowsLeaveTheQueryClosed) {
    exec(kConnection, "create table #counter (n int)");
    auto update = makeQuery(kConnection, "insert #counter values (1)");
    int opened = 0;
    update->SetAfterOpen([&opened](host::TDataSet*) { ++opened; });
    update->Open();
    EXPECT_FALSE(update->Active());
    update->ExecSQL();
    EXPECT_FALSE(update->Active());
    EXPECT_EQ(opened, 0);

    // ExecSQL of a select runs it and discards the rows.
    auto select = makeQuery(kConnection, "select n from #counter");
    select->ExecSQL();
    EXPECT_FALSE(select->Active());
    select->Open();
    EXPECT_EQ(select->RecordCount(), 2);
}

TEST_F(QueryExec, DatabaseIsSwitchedWithUse) {
    auto connection = querytest::makeConnection("EXEC_USE");
    std::vector<std::string> information;
    bool connected = false;
    connection->SetOnServerMessage(
        [&](const TSybMessage* message, bool&) { information.push_back(message->Text()); });
    connection->SetOnConnect([&](host::TObject*) {
        connected = true;
        auto query = makeQuery("EXEC_USE", "select db_name() as db");
        query->Open();
        EXPECT_EQ(query->FieldByName("db")->AsString(), "pubs");
    });
    connection->SetDatabase("pubs");
    connection->Connect();
    EXPECT_TRUE(connected);
    EXPECT_FALSE(information.empty());

    connection->SetDatabase("tempdb");
    auto query = makeQuery("EXEC_USE", "select db_name() as db");
    query->Open();
    EXPECT_EQ(query->FieldByName("db")->AsString(), "tempdb");

    // A database that does not exist: the error reaches the caller, the connection stays.
    EXPECT_NE(errorOf([&] { connection->SetDatabase("no_such_database"); }), "");
    EXPECT_TRUE(connection->Connected());
    EXPECT_TRUE(querytest::lockIsFree(*connection));
}

TEST_F(QueryExec, FailuresReportTheirExactMessages) {
    auto blank = makeQuery(kConnection, " \r\n\t ");
    EXPECT_EQ(errorOf([&] { blank->Open(); }), "No SQL statement available");

    auto unknown = makeQuery(" no such connection ", "select 1");
    EXPECT_EQ(errorOf([&] { unknown->Open(); }),
              "Sybase connection named \" no such connection \" not found");

    // A server error: the exception is the message's text, trimmed.
    std::vector<std::string> texts;
    auto failing = makeQuery(kConnection, "select * from qt_no_such_table\nselect 1 as x");
    s_connection->SetOnServerError([&texts](const TSybMessage* message, bool&) {
        texts.push_back(host::Trim(message->GetMsgText()));
    });
    const std::string error = errorOf([&] { failing->Open(); });
    s_connection->SetOnServerError({});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(error, texts[0]);
    EXPECT_EQ(error.rfind("Message 208,Level 16: ", 0), 0u) << error;
    EXPECT_FALSE(failing->Active());

    // The batch is read to its end, and every error it reported joins the one exception;
    // none becomes the next command's error, and the connection is usable.
    auto twice = makeQuery(kConnection, "raiserror 50001 'first'\nraiserror 50002 'second'");
    EXPECT_EQ(errorOf([&] { twice->Open(); }),
              "Message 50001,Level 16: first;\nMessage 50002,Level 16: second");
    auto after = makeQuery(kConnection, "select 5 as n");
    after->Open();
    EXPECT_EQ(after->FieldByName("n")->AsInteger(), 5);
}

TEST_F(QueryExec, MessagesGoToTheRunningQuerysHandlers) {
    std::vector<std::string> connectionInfo, queryInfo, queryErrors;
    s_connection->SetOnServerMessage(
        [&](const TSybMessage* message, bool&) { connectionInfo.push_back(message->Text()); });
    auto query =
        makeQuery(kConnection, "print 'hello'\nraiserror 50003 'handled'\nselect 1 as one");
    query->SetOnServerError([&](const TSybMessage* message, bool& handled) {
        queryErrors.push_back(message->Text());
        handled = true;
    });
    query->Open(); // the error was handled: no exception
    EXPECT_EQ(firstInt(*query), 1);
    EXPECT_EQ(queryErrors, std::vector<std::string>{"handled"});
    // Without a handler of its own the query's information goes to the connection's.
    EXPECT_EQ(connectionInfo, std::vector<std::string>{"hello"});

    query->Close();
    query->SetOnServerMessage(
        [&](const TSybMessage* message, bool&) { queryInfo.push_back(message->Text()); });
    query->Open();
    EXPECT_EQ(queryInfo, std::vector<std::string>{"hello"});
    EXPECT_EQ(connectionInfo.size(), 1u);
    s_connection->SetOnServerMessage({});
}

TEST_F(QueryExec, AnOnNewDataSetHandlerThatRaisesKeepsItsQuery) {
    auto query = makeQuery(kConnection, "select 1 as a\nselect 2 as b");
    TSybQuery* kept = nullptr;
    query->SetOnNewDataSet([&kept](TSybQuery* dataSet) {
        kept = dataSet;
        throw host::Exception("handler refused");
    });
    EXPECT_EQ(errorOf([&] { query->Open(); }), "handler refused");
    EXPECT_FALSE(query->Active());
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(query->ResultQueries()->size(), 1u);
    EXPECT_EQ(kept->Owner(), query.get());
}

TEST_F(QueryExec, AnExecutableFindsTheConnectionByNameEvenWithAnExternalOne) {
    auto other = querytest::makeConnection("EXEC_OTHER");
    auto query = makeQuery(kConnection, "select 1 as one");
    query->SetExternalConnect(other.get());
    query->Open();
    EXPECT_EQ(query->SybConnect(), s_connection);
    EXPECT_FALSE(other->Connected());
    query->Close();
    query->SetDatabaseName("EXEC_NOWHERE");
    EXPECT_EQ(errorOf([&] { query->Open(); }),
              "Sybase connection named \"EXEC_NOWHERE\" not found");
}

// Inside a library the connection given with SetExternalConnect is the one used, and the
// query's DatabaseName is not consulted. The flag is fixed once per process, so the case
// runs in a child process of its own.
TEST(QueryInsideALibrary, UsesTheExternalConnection) {
    querytest::QueryEnvironment::get();
    EXPECT_EXIT(
        {
            int status = 1;
            try {
                host::SetIsLibrary(true);
                auto connection = querytest::makeConnection("LIB_EXTERNAL");
                auto query = makeQuery("LIB_NO_SUCH_NAME", "select 3 as n");
                query->SetExternalConnect(connection.get());
                query->Open();
                const bool used = query->SybConnect() == connection.get() &&
                                  connection->Connected() &&
                                  query->FieldByName("n")->AsInteger() == 3;
                status = used ? 0 : 3;
            } catch (...) {
                status = 2;
            }
            std::_Exit(status); // no destructors: the servers belong to the parent
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(QueryLostConnection, ADroppedConnectionEndsTheOpenWithItsMessages) {
    auto connection = querytest::makeConnection("EXEC_DROPPING", "DROPPING");
    connection->Connect();
    auto query = makeQuery("EXEC_DROPPING",
                           "select 1 as n union all select 2 union all select 3 union all select 4"
                           " union all select 5");
    const std::string error = errorOf([&] { query->Open(); });
    EXPECT_NE(error, "");
    EXPECT_EQ(error.rfind("Client library error ", 0), 0u) << error;
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(connection->Connected());
    EXPECT_TRUE(querytest::lockIsFree(*connection));
    EXPECT_EQ(connection->ActiveQuery(), nullptr);

    // The next execution connects again; a result short enough goes through.
    auto again = makeQuery("EXEC_DROPPING", "select 8 as n");
    again->Open();
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(again->FieldByName("n")->AsInteger(), 8);
}

TEST_F(QueryExec, ComputeResultsArePassedOver) {
    // The rows of every group make one result; the compute results between them are
    // skipped, and the next select is still the next result.
    exec(kConnection, "create table cmp (region varchar(10), qty int)\n"
                      "insert cmp values ('east', 1) insert cmp values ('east', 2) insert cmp "
                      "values ('west', 4)");
    auto query = makeQuery(kConnection, "select region, qty from cmp order by region\n"
                                        "compute sum(qty) by region compute count(qty)\n"
                                        "select 99 as after");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 3);
    EXPECT_EQ(query->ResultSetCount(), 2);
    query->Last();
    EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 4);
    query->Close();
    query->SetResultSet(1);
    query->Open();
    EXPECT_EQ(firstInt(*query), 99);
    query->Close();
    exec(kConnection, "drop table cmp");
}

} // namespace

// Running a query's batch against the development server: which query receives each row
// result, procedures' return statuses and output parameters, statements without rows,
// the database switch, the messages of failures, and what a failure leaves behind (the
// query closed, the lock free, the connection usable).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/Fields.h"
#include "host/Runtime.h"
#include "host/SysUtils.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr const char* kConnection = "EXEC";

class QueryExec : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_connection = querytest::makeConnection(kConnection).release();
        s_connection->Connect();
    }
    static void TearDownTestSuite() {
        delete s_connection;
        s_connection = nullptr;
    }
    void TearDown() override {
        EXPECT_TRUE(querytest::lockIsFree(*s_connection));
        EXPECT_EQ(s_connection->ActiveQuery(), nullptr);
    }
    static TSybConnect* s_connection;
};
TSybConnect* QueryExec::s_connection = nullptr;

int firstInt(TSybQuery& query) {
    query.First();
    return query.Fields()[0]->AsInteger();
}

TEST_F(QueryExec, EachRowResultGoesToTheQueryNumberedForIt) {
    auto query = makeQuery(kConnection, "select 10 as a\nselect 20 as b union select 21\nselect 30 as c");
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
    same.SetResultSet(0);  // the master's own number: never filled
    first.SetMaster(master.get());
    first.SetResultSet(2);
    second.SetMaster(master.get());
    second.SetResultSet(2);  // the earlier receiver of a number wins
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
    EXPECT_EQ(created.size(), 257u);  // only the 257th result needs a new query again
    EXPECT_EQ(firstInt(*created[100]), 101);
}

TEST_F(QueryExec, ProcedureStatusAndOutputParametersAreKept) {
    exec(kConnection,
         "create procedure qt_totals @a int, @twice int output, @label varchar(10) output,"
         " @when datetime output, @none int output as begin select @a as a, @a + 1 as b"
         " select @twice = @a * 2 select @label = 'it''s' select @when = '2026-12-07 10:00'"
         " select @none = null return 7 end");
    auto query = makeQuery(kConnection,
                           "declare @t int, @l varchar(10), @w datetime, @n int\n"
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
    connection->SetOnServerMessage([&](const TSybMessage* message, bool&) {
        information.push_back(message->Text());
    });
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

    // The first error ends the batch; what the cancelled rest reports never becomes the
    // next command's error, and the connection is usable: the command was cancelled.
    auto twice = makeQuery(kConnection, "raiserror 50001 'first'\nraiserror 50002 'second'");
    EXPECT_EQ(errorOf([&] { twice->Open(); }), "Message 50001,Level 16: first");
    auto after = makeQuery(kConnection, "select 5 as n");
    after->Open();
    EXPECT_EQ(after->FieldByName("n")->AsInteger(), 5);
}

TEST_F(QueryExec, MessagesGoToTheRunningQuerysHandlers) {
    std::vector<std::string> connectionInfo, queryInfo, queryErrors;
    s_connection->SetOnServerMessage(
        [&](const TSybMessage* message, bool&) { connectionInfo.push_back(message->Text()); });
    auto query = makeQuery(kConnection, "print 'hello'\nraiserror 50003 'handled'\nselect 1 as one");
    query->SetOnServerError([&](const TSybMessage* message, bool& handled) {
        queryErrors.push_back(message->Text());
        handled = true;
    });
    query->Open();  // the error was handled: no exception
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
    EXPECT_EQ(errorOf([&] { query->Open(); }), "Sybase connection named \"EXEC_NOWHERE\" not found");
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
            std::_Exit(status);  // no destructors: the servers belong to the parent
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

} // namespace

// Server errors of a query's command: raised as ESybServerError with the numbers of the
// first unhandled error and every message of the command, and only once the command has
// been read to its end, so that its return status, output parameters and later results
// are still there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/Fields.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "ERRORS";

class QueryErrors : public querytest::ConnectedSuite<kConnection> {
protected:
    void TearDown() override {
        expectIdle();
        for (const char* procedure : {"#qe_two", "#qe_status"}) {
            try {
                exec(kConnection, std::string("drop procedure ") + procedure);
            } catch (const host::Exception&) {
                // Not created: the test failed before.
            }
        }
    }
};

// The ESybServerError an action raises; fails the test when it raises nothing or another.
ESybServerError serverErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ESybServerError& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not an ESybServerError: " << e.what();
        return ESybServerError("");
    }
    ADD_FAILURE() << "no exception";
    return ESybServerError("");
}

TEST_F(QueryErrors, ServerErrorsCarryTheFirstUnhandledErrorAndEveryMessage) {
    exec(kConnection, "create procedure #qe_two as\nbegin\n  print 'before'\n"
                      "  raiserror 20001 'first failure'\n  raiserror 20002 'second failure'\nend");
    auto query = makeQuery(kConnection, "exec #qe_two");
    const ESybServerError e = serverErrorOf([&] { query->ExecSQL(); });
    // The text is what it always was; existing handlers of the base classes still catch it.
    EXPECT_EQ(e.Message(), "Message 20001,Level 16: first failure;\n"
                           "Message 20002,Level 16: second failure");
    EXPECT_EQ(e.MsgNumber(), 20001);
    EXPECT_EQ(e.Severity(), 16);
    EXPECT_GE(e.State(), 1);
    EXPECT_EQ(e.Line(), 4);
    EXPECT_NE(e.ProcName().find("qe_two"), std::string::npos) << e.ProcName();
    ASSERT_EQ(e.Messages().size(), 3u);
    EXPECT_EQ(e.Messages()[0].Text, "before");
    EXPECT_EQ(e.Messages()[1].MsgNumber, 20001);
    EXPECT_EQ(e.Messages()[2].MsgNumber, 20002);
    EXPECT_EQ(e.Messages()[2].Line, 5);
    EXPECT_EQ(e.Messages()[2].Text, "second failure");
    EXPECT_FALSE(e.Messages()[2].ServerName.empty());
    EXPECT_THROW(query->ExecSQL(), ESybQueryError);
    EXPECT_THROW(query->ExecSQL(), host::Exception);

    // A handled error stays among the messages; the first unhandled one gives the numbers.
    query->SetOnServerError(
        [](const TSybMessage* message, bool& handled) { handled = message->MsgNumber() == 20001; });
    const ESybServerError second = serverErrorOf([&] { query->ExecSQL(); });
    EXPECT_EQ(second.Message(), "Message 20002,Level 16: second failure");
    EXPECT_EQ(second.MsgNumber(), 20002);
    EXPECT_EQ(second.Line(), 5);
    EXPECT_EQ(second.Messages().size(), 3u);

    // A statement the server refuses outright is a server error too.
    auto bad = makeQuery(kConnection, "select no_such_column from sysobjects");
    EXPECT_EQ(serverErrorOf([&] { bad->Open(); }).MsgNumber(), 207);
}

TEST_F(QueryErrors, AnErrorIsRaisedOnlyOnceTheCommandWasReadToItsEnd) {
    exec(kConnection, "create procedure #qe_status @out int output as\nbegin\n"
                      "  select @out = 5\n  raiserror 20001 'failed'\n"
                      "  select 'after' as word\n  return -1\nend");
    auto query = makeQuery(kConnection, "declare @o int\nexec #qe_status @o output\n"
                                        "select 'later' as later");
    int statuses = 0;
    query->SetOnReturnStatus([&](TSybQuery*) { ++statuses; });
    std::vector<TSybQuery*> later;
    query->SetOnNewDataSet([&](TSybQuery* received) { later.push_back(received); });
    const ESybServerError e = serverErrorOf([&] { query->Open(); });
    EXPECT_EQ(e.Message(), "Message 20001,Level 16: failed");
    EXPECT_TRUE(query->HasReturnStatus());
    EXPECT_EQ(query->ReturnStatus(), -1);
    EXPECT_EQ(statuses, 1);
    ASSERT_EQ(query->OutputParamCount(), 1);
    EXPECT_EQ(query->OutputParamValue(0).AsInteger(), 5);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0]->FieldByName("later")->AsString(), "later");
    EXPECT_FALSE(query->Active());
}

} // namespace

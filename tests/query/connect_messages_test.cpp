// CheckMessages: information to OnServerMessage, errors to OnServerError or into one
// exception, the active query's events taking precedence, and message formatting.
#include <string>
#include <vector>

#include "connect_support.h"

namespace host = tovrin::host;

namespace {

using connecttest::makeConnection;
using connecttest::runBatch;
using tovrin::TSybMessage;

struct Received {
    int number;
    int severity;
    std::string text;
};

tovrin::TSybMessageProc recorder(std::vector<Received>& into, bool handle = false) {
    return [&into, handle](const TSybMessage* message, bool& handled) {
        EXPECT_FALSE(handled);
        into.push_back({message->MsgNumber(), message->Severity(), message->Text()});
        handled = handle;
    };
}

std::string batchError(tovrin::TSybConnect& connection, const std::string& sql,
                       bool checkEachResult = true) {
    try {
        runBatch(connection, sql, checkEachResult);
    } catch (const host::Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

TEST(ConnectMessages, InformationGoesToOnServerMessage) {
    auto connection = makeConnection();
    std::vector<Received> information;
    connection->SetOnServerMessage(recorder(information, true));
    connection->Connect();
    information.clear(); // whatever the login itself reported

    runBatch(*connection, "use pubs");
    ASSERT_EQ(information.size(), 1u);
    EXPECT_EQ(information[0].number, 5701);
    EXPECT_EQ(information[0].severity, 10);
    EXPECT_EQ(information[0].text, "Changed database context to 'pubs'.");

    runBatch(*connection, "print 'first' print 'second'");
    ASSERT_EQ(information.size(), 3u);
    EXPECT_EQ(information[1].text, "first");
    EXPECT_EQ(information[2].text, "second");
    EXPECT_TRUE(connection->Connected());
}

TEST(ConnectMessages, UnhandledErrorsBecomeOneException) {
    auto connection = makeConnection();
    std::vector<Received> information;
    connection->SetOnServerMessage(recorder(information));
    connection->Connect();
    // Both errors are queued before the messages are read.
    const std::string message = batchError(
        *connection, "raiserror 20001 'first failure' raiserror 20002 'second failure'", false);
    EXPECT_EQ(message,
              "Message 20001,Level 16: first failure;\nMessage 20002,Level 16: second failure");
    EXPECT_TRUE(connection->Connected()) << "server errors leave the connection open";
    // The queue was emptied: nothing is reported twice.
    EXPECT_NO_THROW(connection->CheckMessages());
    EXPECT_NO_THROW(runBatch(*connection, "print 'still usable'"));
}

TEST(ConnectMessages, HandledErrorsAreLeftOut) {
    auto connection = makeConnection();
    std::vector<Received> errors;
    connection->Connect();
    connection->SetOnServerError([&errors](const TSybMessage* message, bool& handled) {
        errors.push_back({message->MsgNumber(), message->Severity(), message->Text()});
        handled = message->MsgNumber() == 20001;
    });
    const std::string message =
        batchError(*connection, "raiserror 20001 'handled' raiserror 20002 'not handled'");
    EXPECT_EQ(message, "Message 20002,Level 16: not handled");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].number, 20001);
    EXPECT_EQ(errors[1].text, "not handled");

    errors.clear();
    EXPECT_EQ(batchError(*connection, "raiserror 20001 'handled'"), "(no exception)");
    EXPECT_EQ(errors.size(), 1u);
}

TEST(ConnectMessages, HandlerExceptionLeavesCheckMessages) {
    auto connection = makeConnection();
    connection->Connect();
    connection->SetOnServerMessage(
        [](const TSybMessage*, bool&) { throw host::Exception("handler failed"); });
    EXPECT_EQ(batchError(*connection, "print 'x'"), "handler failed");
    // The queue was emptied before the handler ran: nothing is delivered a second time.
    EXPECT_NO_THROW(connection->CheckMessages());
}

// The query component publishes the same two events; the connection reaches them through
// the command-client interface. A stand-in client exercises the routing here.
struct StandInQuery final : tovrin::TSybCommandClient {
    const tovrin::TSybMessageProc& OnServerMessage() const noexcept override {
        return onServerMessage;
    }
    const tovrin::TSybMessageProc& OnServerError() const noexcept override { return onServerError; }
    tovrin::TSybMessageProc onServerMessage;
    tovrin::TSybMessageProc onServerError;
};

TEST(QueryRouting, ActiveQueryEventsTakePrecedenceEachOnItsOwn) {
    auto connection = makeConnection();
    std::vector<Received> connectionInfo;
    std::vector<Received> connectionErrors;
    std::vector<Received> queryErrors;
    connection->SetOnServerMessage(recorder(connectionInfo));
    connection->SetOnServerError(recorder(connectionErrors));
    connection->Connect();
    connectionInfo.clear();

    StandInQuery query;
    query.onServerError = recorder(queryErrors, true);
    connection->SetActiveQuery(&query);
    EXPECT_EQ(batchError(*connection, "print 'info' raiserror 20001 'for the query'"),
              "(no exception)");
    ASSERT_EQ(queryErrors.size(), 1u);
    EXPECT_EQ(queryErrors[0].text, "for the query");
    EXPECT_TRUE(connectionErrors.empty());
    ASSERT_EQ(connectionInfo.size(), 1u) << "the query has no information handler";
    EXPECT_EQ(connectionInfo[0].text, "info");

    std::vector<Received> queryInfo;
    query.onServerMessage = recorder(queryInfo);
    runBatch(*connection, "print 'to the query'");
    ASSERT_EQ(queryInfo.size(), 1u);
    EXPECT_EQ(connectionInfo.size(), 1u);

    connection->SetActiveQuery(nullptr);
    EXPECT_NE(batchError(*connection, "raiserror 20003 'back to the connection'"),
              "(no exception)");
    EXPECT_EQ(connectionErrors.size(), 1u);
}

TEST(ConnectMessages, MessageTexts) {
    tovrin::CS_SERVERMSG server{};
    server.msgnumber = 207;
    server.severity = 16;
    const std::string text = "Invalid column name 'x'.";
    text.copy(server.text, text.size());
    server.textlen = static_cast<tovrin::CS_INT>(text.size());
    const tovrin::TSybServerMessage serverMessage(&server);
    EXPECT_EQ(serverMessage.GetMsgText(), "Message 207,Level 16: Invalid column name 'x'. ");

    server.textlen = 0;
    EXPECT_EQ(tovrin::TSybServerMessage(&server).GetMsgText(), "Message 207,Level 16:  ");
    server.textlen = 100000; // longer than the record: cut to the buffer
    EXPECT_EQ(tovrin::TSybServerMessage(&server).Text().size(), sizeof server.text);

    tovrin::CS_CLIENTMSG client{};
    client.msgnumber = 0x01020304;
    client.severity = 5;
    const std::string clientText = "Read from the server failed";
    clientText.copy(client.msgstring, clientText.size());
    client.msgstringlen = static_cast<tovrin::CS_INT>(clientText.size());
    EXPECT_EQ(tovrin::TSybClientMessage(&client).GetMsgText(),
              "Client library error 16909060, severity 5, number 4, origin 2, layer 1 Read from "
              "the server failed ");

    const tovrin::TSybServerMessage empty(nullptr);
    EXPECT_EQ(empty.MsgNumber(), 0);
    EXPECT_EQ(empty.Severity(), 0);
    EXPECT_EQ(empty.Text(), "");
    EXPECT_EQ(tovrin::TSybClientMessage(nullptr).MsgNumber(), 0);
}

TEST(ConnectMessages, LostConnectionIsDroppedOnceAndCanReconnect) {
    auto connection = makeConnection();
    connection->SetServerName("DROPPING");
    int disconnects = 0;
    connection->SetOnDisconnect([&disconnects](host::TObject*) { ++disconnects; });
    connection->Reconnect(); // warm up FreeTDS's one-time allocations
    connection->Disconnect();
    disconnects = 0;
    const int descriptors = connecttest::openDescriptors();
    connection->Connect();

    // The server closes the connection after three rows (the login reads one).
    const std::string message = batchError(
        *connection, "select 1 as n union select 2 union select 3 union select 4 union select 5");
    EXPECT_NE(message.find("Client library error"), std::string::npos) << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->ConnectionHandle(), nullptr);
    EXPECT_NO_THROW(connection->CheckMessages()) << "the dropped handle is never used again";
    connection->Disconnect();
    EXPECT_EQ(disconnects, 0) << "nothing left to disconnect";

    connection->Connect();
    EXPECT_TRUE(connection->Connected());
    connection->Disconnect();
    EXPECT_EQ(connecttest::openDescriptors(), descriptors);
}

TEST(ConnectMessages, NothingToReportReturnsQuietly) {
    auto connection = makeConnection();
    EXPECT_NO_THROW(connection->CheckMessages()); // not connected: no queue
    connection->Connect();
    EXPECT_NO_THROW(connection->CheckMessages());
    EXPECT_NO_THROW(connection->CSCHECK(tovrin::CS_FAIL));
    EXPECT_TRUE(connection->Connected());
}

} // namespace

TEST(ConnectMessages, ServerMessagesCarryStateLineProcedureAndServer) {
    auto connection = makeConnection();
    connection->Connect();
    struct Seen {
        int number, state, line;
        std::string procedure, server;
    };
    std::vector<Seen> seen;
    connection->SetOnServerError([&seen](const TSybMessage* message, bool& handled) {
        seen.push_back({message->MsgNumber(), message->State(), message->Line(),
                        message->ProcName(), message->ServerName()});
        handled = true;
    });
    runBatch(*connection, "create procedure #msg_where as\nbegin\n  select 1 as one\n  select "
                          "no_such_column from sysobjects\nend");
    runBatch(*connection, "print 'first line'\nselect no_such_column from sysobjects", false);
    runBatch(*connection, "exec #msg_where", false);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].number, 207);
    EXPECT_GE(seen[0].state, 1);
    EXPECT_EQ(seen[0].line, 2);
    EXPECT_EQ(seen[0].procedure, "");
    EXPECT_FALSE(seen[0].server.empty());
    EXPECT_EQ(seen[1].line, 4);
    EXPECT_NE(seen[1].procedure.find("msg_where"), std::string::npos) << seen[1].procedure;
    EXPECT_EQ(seen[1].server, seen[0].server);
}

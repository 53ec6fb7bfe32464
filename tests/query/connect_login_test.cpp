// Logging in and out: success, refused logins, unreachable and silent servers, the host
// name, events, the setters' reconnect rules, and repeated connects that leak nothing.
#include <malloc.h>

#include <chrono>
#include <string>

#include "connect_support.h"

namespace host = tovrin::host;

namespace {

using connecttest::makeConnection;
using tovrin::TSybConnect;

struct EventCounter {
    int connects = 0;
    int disconnects = 0;
    bool connectedDuringDisconnect = false;

    void attach(TSybConnect& connection) {
        connection.SetOnConnect([this](host::TObject*) { ++connects; });
        connection.SetOnDisconnect([this, &connection](host::TObject*) {
            ++disconnects;
            connectedDuringDisconnect = connection.Connected();
        });
    }
};

std::string connectError(TSybConnect& connection) {
    try {
        connection.Connect();
    } catch (const host::Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

TEST(ConnectLogin, SucceedsAndFiresEachEventOnce) {
    auto connection = makeConnection();
    EventCounter events;
    events.attach(*connection);
    EXPECT_EQ(connection->LoginTimeout(), 60);

    connection->Connect();
    EXPECT_TRUE(connection->Connected());
    EXPECT_NE(connection->Context(), nullptr);
    EXPECT_NE(connection->ConnectionHandle(), nullptr);
    EXPECT_GE(connection->DateFormat(), tovrin::CS_OPT_FMTMDY);
    EXPECT_LE(connection->DateFormat(), tovrin::CS_OPT_FMTDYM);
    connection->Connect(); // already connected: nothing
    connection->SetConnected(true);
    EXPECT_EQ(events.connects, 1);

    connection->Disconnect();
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);
    EXPECT_TRUE(events.connectedDuringDisconnect);
    connection->Disconnect();
    connection->SetConnected(false);
    EXPECT_EQ(events.disconnects, 1);

    connection->SetConnected(true);
    EXPECT_TRUE(connection->Connected());
    connection->Close();
    EXPECT_EQ(events.connects, 2);
    EXPECT_EQ(events.disconnects, 2);
}

TEST(ConnectLogin, HostNameIsTheLocalHostAndCannotBeWritten) {
    auto connection = makeConnection();
    EXPECT_EQ(connection->HostName(), "");
    connection->SetHostName("elsewhere");
    EXPECT_EQ(connection->HostName(), "");
    connection->Connect();
    EXPECT_EQ(connection->HostName(), TSybConnect::GetDefaultHostName());
    EXPECT_FALSE(connection->HostName().empty());
    connection->SetHostName("elsewhere");
    EXPECT_EQ(connection->HostName(), TSybConnect::GetDefaultHostName());
}

TEST(ConnectLogin, RefusedLoginRaisesTheServersText) {
    auto connection = makeConnection();
    EventCounter events;
    events.attach(*connection);
    connection->SetPassword("wrong");
    const std::string message = connectError(*connection);
    EXPECT_NE(message.find("Message 4002,Level 14: Login failed."), std::string::npos) << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);
    EXPECT_EQ(connection->ConnectionHandle(), nullptr);
    EXPECT_EQ(events.connects, 0);

    // A handled refusal still fails the login, with the generic text.
    connection->SetOnServerError([](const tovrin::TSybMessage*, bool& handled) { handled = true; });
    EXPECT_EQ(connectError(*connection), "Connect failed");

    // The same component logs in once the password is right.
    connection->SetPassword(connecttest::kPassword);
    connection->Connect();
    EXPECT_TRUE(connection->Connected());
}

TEST(ConnectLogin, UnreachableServersGiveClientMessages) {
    auto connection = makeConnection();
    connection->SetServerName("CLOSEDPORT");
    std::string message = connectError(*connection);
    EXPECT_EQ(
        message.rfind("Client library error 20009, severity 9, number 41, origin 0, layer 0 ", 0),
        0u)
        << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);

    connection->SetServerName("no-such-server.invalid");
    message = connectError(*connection);
    EXPECT_NE(message.find("Client library error 20009"), std::string::npos) << message;
    EXPECT_NE(message.find(";\nClient library error"), std::string::npos) << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);
}

TEST(ConnectLogin, SilentServerFailsWithinTheLoginTimeout) {
    auto connection = makeConnection();
    connection->SetServerName("SILENT");
    connection->SetLoginTimeout(2);
    const std::string message = connectError(*connection);
    // FreeTDS's own timeout message comes first; the connection then fails.
    EXPECT_EQ(message.rfind("Client library error 20003, severity 6", 0), 0u) << message;
    EXPECT_NE(message.find("Adaptive Server connection timed out"), std::string::npos) << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);

    // The component is usable again at once.
    connection->SetServerName("DEVSERVER");
    connection->Connect();
    EXPECT_TRUE(connection->Connected());
}

TEST(ConnectLogin, LoginSlowerThanTheTimeoutFails) {
    auto connection = makeConnection();
    connection->SetServerName("SLOWLOGIN");
    connection->SetLoginTimeout(1);
    const std::string message = connectError(*connection);
    EXPECT_EQ(message.rfind("Client library error 20003, severity 6", 0), 0u) << message;
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->Context(), nullptr);
}

TEST(ConnectLogin, SettersReconnectOnlyOnRealChanges) {
    auto connection = makeConnection();
    EventCounter events;
    events.attach(*connection);
    connection->Connect();

    connection->SetServerName("DEVSERVER");
    connection->SetUserName(connecttest::kUser);
    connection->SetPassword(connecttest::kPassword);
    connection->SetApplicationName("connect_tests");
    EXPECT_EQ(events.connects, 1);

    connection->SetServerName("devserver"); // letter case counts as a change
    EXPECT_EQ(events.connects, 2);
    EXPECT_EQ(events.disconnects, 1);
    EXPECT_TRUE(connection->Connected());
    connection->SetApplicationName("other app");
    EXPECT_EQ(events.connects, 3);
    connection->SetPassword(connecttest::kPassword);
    EXPECT_EQ(events.connects, 3);

    // Neither the login timeout nor the database (stored until the query unit supplies
    // "use") reconnects.
    connection->SetLoginTimeout(5);
    EXPECT_EQ(connection->LoginTimeout(), 5);
    connection->SetDatabase("pubs");
    EXPECT_EQ(connection->Database(), "pubs");
    EXPECT_EQ(events.connects, 3);
    EXPECT_EQ(events.disconnects, 2);

    // A changed login that the server refuses leaves the component disconnected.
    EXPECT_THROW(connection->SetUserName("nobody"), host::Exception);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(events.disconnects, 3);

    // While disconnected, setters only store.
    connection->SetUserName(connecttest::kUser);
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(events.connects, 3);
}

TEST(ConnectLogin, NoEventFiresWhenOnConnectIsMissing) {
    auto connection = makeConnection();
    connection->Connect();
    connection->Disconnect();
    EXPECT_FALSE(connection->Connected());
}

TEST(ConnectLogin, RefusesClearlyWhileTheLibraryIsNotLoaded) {
    auto connection = makeConnection();
    tovrin::ctDLLLoaded = false;
    const std::string message = connectError(*connection);
    tovrin::ctDLLLoaded = true;
    EXPECT_EQ(message, "Cannot connect: the Client-Library (libct.so.4) is not loaded");
    EXPECT_FALSE(connection->Connected());
    connection->Connect();
    EXPECT_TRUE(connection->Connected());
}

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapMeasurable = false; // LeakSanitizer checks for leaks instead
#else
constexpr bool kHeapMeasurable = true;
#endif

TEST(ConnectLogin, ThousandConnectsLeakNothing) {
    auto connection = makeConnection();
    connection->Reconnect(); // warm up FreeTDS's one-time allocations
    connection->Disconnect();
    const int descriptors = connecttest::openDescriptors();
    const std::size_t heap = heapInUse();
    for (int i = 0; i < 1000; ++i) {
        connection->Connect();
        connection->Reconnect();
        connection->Disconnect();
    }
    EXPECT_EQ(connecttest::openDescriptors(), descriptors);
    if (kHeapMeasurable) {
        EXPECT_LT(heapInUse(), heap + 64 * 1024) << "2000 logins leaked memory";
    }
}

TEST(ConnectLogin, ThousandFailedConnectsLeakNothing) {
    auto refused = makeConnection();
    refused->SetPassword("wrong");
    auto unreachable = makeConnection();
    unreachable->SetServerName("CLOSEDPORT");
    EXPECT_NE(connectError(*refused), "(no exception)");
    EXPECT_NE(connectError(*unreachable), "(no exception)");
    const int descriptors = connecttest::openDescriptors();
    const std::size_t heap = heapInUse();
    for (int i = 0; i < 500; ++i) {
        EXPECT_THROW(refused->Connect(), host::Exception);
        EXPECT_THROW(unreachable->Connect(), host::Exception);
    }
    EXPECT_EQ(connecttest::openDescriptors(), descriptors);
    if (kHeapMeasurable) {
        EXPECT_LT(heapInUse(), heap + 64 * 1024) << "1000 failed logins leaked memory";
    }
}

} // namespace

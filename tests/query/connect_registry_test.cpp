// The named-connection registry: generated names, lookup, renaming rules, removal and use
// from several threads.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "connect_support.h"
#include "tovrin5/host/Filer.h"

namespace host = tovrin::host;

namespace {

using tovrin::TSybConnect;
using tovrin::detail::findConnection;

int registered() {
    host::TThreadListLock lock(*tovrin::CTLibConnections);
    return lock.list()->Count();
}

std::string renameError(TSybConnect& connection, const std::string& name) {
    try {
        connection.SetDatabaseName(name);
    } catch (const host::Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

TEST(ConnectRegistry, NamesLookupAndRenaming) {
    ASSERT_EQ(registered(), 0) << "every test leaves the registry empty";
    auto first = std::make_unique<TSybConnect>(nullptr);
    auto second = std::make_unique<TSybConnect>(nullptr);
    EXPECT_EQ(first->DatabaseName(), "Connection1");
    EXPECT_EQ(second->DatabaseName(), "Connection2");

    EXPECT_EQ(findConnection(" connection1 "), first.get());
    // The lookup alone routes no messages: only a query running its command does.
    EXPECT_EQ(first->ActiveQuery(), nullptr);
    EXPECT_EQ(findConnection("Connection3"), nullptr);

    EXPECT_EQ(renameError(*second, "CONNECTION1"),
              "Connection named \"CONNECTION1\" already exists");
    EXPECT_EQ(renameError(*second, "  connection1 "),
              "Connection named \"connection1\" already exists");
    EXPECT_EQ(second->DatabaseName(), "Connection2");

    EXPECT_EQ(renameError(*first, "Connection1"), "(no exception)");
    EXPECT_EQ(renameError(*first, "connection1"),
              "Connection named \"connection1\" already exists");
    EXPECT_EQ(renameError(*first, " Sales "), "(no exception)");
    EXPECT_EQ(first->DatabaseName(), " Sales ");
    EXPECT_EQ(findConnection("SALES"), first.get());
    EXPECT_EQ(findConnection("Connection1"), nullptr);

    // At most one connection may be nameless.
    EXPECT_EQ(renameError(*first, ""), "(no exception)");
    EXPECT_EQ(renameError(*second, "   "), "Connection named \"\" already exists");

    first.reset();
    EXPECT_EQ(findConnection(""), nullptr);
    EXPECT_EQ(renameError(*second, ""), "(no exception)");
    EXPECT_EQ(registered(), 1);
}

TEST(ConnectRegistry, GeneratedNamesTakeTheNextFreeNumber) {
    ASSERT_EQ(registered(), 0);
    auto first = std::make_unique<TSybConnect>(nullptr);
    auto second = std::make_unique<TSybConnect>(nullptr);
    first.reset();
    // One entry left, named Connection2: the next number is free.
    auto third = std::make_unique<TSybConnect>(nullptr);
    EXPECT_EQ(third->DatabaseName(), "Connection3");
    // A name given by hand is passed over too.
    second->SetDatabaseName("connection4");
    TSybConnect fourth(nullptr);
    EXPECT_EQ(fourth.DatabaseName(), "Connection5");
}

TEST(ConnectRegistry, OwnedConnectionsLeaveWithTheirOwner) {
    ASSERT_EQ(registered(), 0);
    {
        host::TComponent owner(nullptr);
        auto* connection = new TSybConnect(&owner);
        EXPECT_EQ(findConnection("Connection1"), connection);
    }
    EXPECT_EQ(registered(), 0);
}

TEST(ConnectRegistry, ConstructionNeedsTheRegistry) {
    host::TThreadList* saved = tovrin::CTLibConnections;
    tovrin::CTLibConnections = nullptr;
    try {
        TSybConnect connection(nullptr);
        tovrin::CTLibConnections = saved;
        FAIL() << "constructed without a registry";
    } catch (const host::EAssertionFailed& e) {
        tovrin::CTLibConnections = saved;
        EXPECT_EQ(e.Message(), "CTLibConnections not defined (SybConnect, line 460)");
        EXPECT_EQ(e.Line(), 460);
    }
}

TEST(ConnectRegistry, ConcurrentUseFromSeveralThreads) {
    ASSERT_EQ(registered(), 0);
    constexpr int kThreads = 4;
    constexpr int kRounds = 300;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < kRounds; ++round) {
                try {
                    // Other threads create and destroy connections meanwhile: the
                    // generated name is never taken.
                    auto connection = std::make_unique<TSybConnect>(nullptr);
                    TSybConnect other(nullptr);
                    const std::string name =
                        "thread" + std::to_string(t) + "-" + std::to_string(round);
                    connection->SetDatabaseName(name);
                    if (findConnection(" " + name + " ") != connection.get()) {
                        ++failures;
                    }
                    // Its own name in other letter case is refused.
                    const std::string own =
                        "THREAD" + std::to_string(t) + "-" + std::to_string(round);
                    try {
                        connection->SetDatabaseName(own);
                        ++failures;
                    } catch (const host::Exception&) {
                    }
                } catch (...) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(registered(), 0);
}

} // namespace

namespace {

TEST(ConnectStreaming, StoredPropertiesWithoutPassword) {
    auto connection = std::make_unique<TSybConnect>(nullptr);
    connection->SetName("Sales");
    connection->SetServerName("DEVSERVER");
    connection->SetUserName("sa");
    connection->SetPassword("secret-password");
    connection->SetDatabase("pubs");
    connection->SetDatabaseName("SalesDb");
    const std::string text = host::ComponentToText(connection.get());
    EXPECT_NE(text.find("ServerName = 'DEVSERVER'"), std::string::npos) << text;
    EXPECT_NE(text.find("Database = 'pubs'"), std::string::npos) << text;
    EXPECT_NE(text.find("DatabaseName = 'SalesDb'"), std::string::npos) << text;
    EXPECT_NE(text.find("LoginTimeout = 60"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret-password"), std::string::npos) << text;
    EXPECT_EQ(text.find("Password"), std::string::npos) << text;
    EXPECT_EQ(text.find("Connected"), std::string::npos) << text;
    EXPECT_EQ(text.find("HostName"), std::string::npos) << text;

    connection.reset();
    TSybConnect loaded(nullptr);
    host::TextToComponent(text, &loaded);
    EXPECT_EQ(loaded.ServerName(), "DEVSERVER");
    EXPECT_EQ(loaded.DatabaseName(), "SalesDb");
    EXPECT_EQ(loaded.Password(), "");
    EXPECT_FALSE(loaded.Connected());
}

} // namespace

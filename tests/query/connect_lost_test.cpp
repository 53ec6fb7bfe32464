// A connection whose server went away: the first command that meets the dead connection
// says so, leaves the component disconnected, and the next use logs in again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "query_support.h"
#include "tovrin5/query/SybMessages.h"

namespace {

using namespace tovrin;
using querytest::makeConnection;
using querytest::makeQuery;

// A development server reached under the section LOSTSERVER, which a test can stop and
// start again on the same port.
class LostServer {
public:
    LostServer() { start({}); }
    void stop() { m_server->stop(); }
    void restart() { start({"--port", std::to_string(m_port)}); }

private:
    void start(std::vector<std::string> args) {
        querytest::QueryEnvironment::get();
        args.insert(args.end(), {"--sample", "--user", connecttest::kUser, "--password",
                                 connecttest::kPassword});
        const std::string conf = std::getenv("FREETDSCONF");
        m_server.reset();
        m_server = std::make_unique<testsupport::DevServer>(args, "LOSTSERVER");
        // The server points FREETDSCONF at a file of its own; the shared one names it too.
        if (m_port == 0) {
            m_port = m_server->port();
            testsupport::appendServerSection(conf, {"LOSTSERVER", m_port});
        }
        setenv("FREETDSCONF", conf.c_str(), 1);
    }

    std::unique_ptr<testsupport::DevServer> m_server;
    int m_port = 0;
};

TEST(ConnectLost, TheFirstCommandOnADeadConnectionSaysItWasLostAndTheNextLogsInAgain) {
    LostServer server;
    auto connection = makeConnection("LostConnection", "LOSTSERVER");
    connection->SetDatabase("pubs");
    connection->Connect();
    auto query = makeQuery("LostConnection", "select count(*) as n from titles");
    query->Open();
    query->Close();

    server.stop();
    std::string text;
    try {
        query->Open();
    } catch (const ESybConnectionLost& e) {
        text = e.Message();
    }
    EXPECT_NE(text.find("Connection to server \"LOSTSERVER\" lost"), std::string::npos) << text;
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(connection->ConnectionHandle(), nullptr);

    server.restart();
    // Logged in again, in the connection's database.
    query->Open();
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 30);
    EXPECT_TRUE(connection->Connected());
}

} // namespace

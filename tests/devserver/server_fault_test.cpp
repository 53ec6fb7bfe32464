// The development server's fault switches, observed through FreeTDS's ct-lib and raw sockets.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void fillTable(CtConnection& con, const std::string& table, int rows) {
    ASSERT_FALSE(con.execute("create table " + table + " (id int)").failed);
    for (int i = 0; i < rows; ++i)
        ASSERT_FALSE(
            con.execute("insert into " + table + " values (" + std::to_string(i) + ")").failed);
}

} // namespace

TEST(ServerFaults, DropAfterRowsClosesTheConnectionMidResult) {
    DevServer server({"--drop-after-rows", "3"});
    CtConnection con;
    fillTable(con, "ten", 10);
    CtBatch b = con.execute("select id from ten");
    EXPECT_FALSE(b.ok);
    size_t fetched = 0;
    for (const auto* r : b.rowResults())
        fetched += r->rows.size();
    EXPECT_EQ(fetched, 3u);
    bool clientMessage = false;
    for (const auto& m : b.messages)
        clientMessage = clientMessage || !m.fromServer;
    EXPECT_TRUE(clientMessage);
    // The server itself keeps serving.
    CtConnection other;
    EXPECT_EQ(other.execute("select 1").rowResults().size(), 1u);
}

TEST(ServerFaults, DropAfterZeroRowsSendsNoRowAtAll) {
    DevServer server({"--drop-after-rows", "0"});
    CtConnection con;
    fillTable(con, "two", 2);
    CtBatch b = con.execute("select id from two");
    EXPECT_FALSE(b.ok);
    for (const auto* r : b.rowResults())
        EXPECT_EQ(r->rows.size(), 0u);
}

TEST(ServerFaults, DropAfterRowsLeavesTheLoginsOwnQueryAlone) {
    // FreeTDS asks for @@spid right after the login; that row is not the client's.
    DevServer server({"--drop-after-rows", "1"});
    CtConnection con;
    fillTable(con, "three", 3);
    CtBatch b = con.execute("select id from three");
    EXPECT_FALSE(b.ok);
    size_t fetched = 0;
    for (const auto* r : b.rowResults())
        fetched += r->rows.size();
    EXPECT_EQ(fetched, 1u);
}

TEST(ServerFaults, LoginDelayPostponesTheLoginReply) {
    DevServer server({"--login-delay-ms", "400"});
    const auto start = Clock::now();
    CtConnection con;
    EXPECT_GE(millisecondsSince(start), 400);
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
}

TEST(ServerFaults, ResultDelayPostponesEachAnswerAndCanBeCancelled) {
    DevServer server({"--result-delay-ms", "400"});
    CtConnection con;
    auto start = Clock::now();
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
    EXPECT_GE(millisecondsSince(start), 400);

    // An attention during the delay is acknowledged and the connection stays usable.
    auto cmd = con.newCommand();
    ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, "select 2", CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    EXPECT_EQ(ct_cancel(nullptr, cmd.get(), CS_CANCEL_ALL), CS_SUCCEED);
    cmd.reset();
    CtBatch b = con.execute("select 3");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "3");
}

TEST(ServerFaults, SilentAcceptsAndNeverAnswers) {
    DevServer server({"--silent"});
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(server.port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string login =
        std::string("\x02\x01\x02\x00\x00\x00\x00\x00", 8) + std::string(504, '\0');
    EXPECT_EQ(::send(fd, login.data(), login.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(login.size()));
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 500), 0); // neither an answer nor a close
    ::close(fd);
    EXPECT_TRUE(server.running());
}

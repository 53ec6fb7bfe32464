// What keeps the development server standing on a network: no open login where others can
// reach it, bounded logins, connections, requests and descriptors.
#include "Options.h"
#include "devserver/raw_packet.h"
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::CtMessage;
using testsupport::DevServer;

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // the sanitizers keep freed memory aside on purpose
#else
constexpr bool kSanitized = false;
#endif

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int connectRaw(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// True when the server closes `fd` within `ms` (whatever it sends first is read and dropped).
bool closedWithin(int fd, int ms) {
    const auto start = Clock::now();
    char buffer[4096];
    while (millisecondsSince(start) < ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
            return true;
    }
    return false;
}

/// A figure of /proc/<pid>/status in kB (VmRSS, ...).
long statusKb(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

/// User and system CPU time of a process in clock ticks.
long cpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip; // state … cmajflt
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

bool anyMessage(const std::vector<CtMessage>& messages, int number) {
    for (const CtMessage& m : messages)
        if (m.number == number)
            return true;
    return false;
}

} // namespace

TEST(ServerSafety, ANetworkBindNeedsAUserAndAPassword) {
    using devserver::parseOptions;
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> environmentPassword;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {{}, std::nullopt, true},
        {{"--bind", "127.0.0.2"}, std::nullopt, true},
        {{"--bind", "0.0.0.0"}, std::nullopt, false},
        {{"--bind", "192.168.1.5", "--user", "dev"}, std::nullopt, false},
        {{"--bind", "0.0.0.0", "--user", "dev", "--password", ""}, std::nullopt, false},
        {{"--bind", "0.0.0.0", "--user", "dev", "--password", "pw"}, std::nullopt, true},
        {{"--bind", "0.0.0.0", "--user", "dev"}, std::string("pw"), true},
        {{"--bind", "0.0.0.0", "--user", "dev"}, std::string(""), false},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        if (c.accepted) {
            EXPECT_NO_THROW(parseOptions(c.args, c.environmentPassword)) << line;
        } else {
            try {
                parseOptions(c.args, c.environmentPassword);
                ADD_FAILURE() << "accepted: " << line;
            } catch (const std::invalid_argument& e) {
                EXPECT_NE(std::string(e.what()).find(
                              "a server reachable from the network needs --user and a password"),
                          std::string::npos)
                    << e.what();
            }
        }
    }
    // The command line's password wins over the environment's.
    EXPECT_EQ(parseOptions({"--user", "u", "--password", "cmd"}, std::string("env"))
                  .session.password.value_or(""),
              "cmd");
    EXPECT_EQ(parseOptions({"--user", "u"}, std::string("env")).session.password.value_or(""),
              "env");
}

TEST(ServerSafety, ThePasswordCanComeFromTheEnvironment) {
    ::setenv(devserver::kPasswordVariable, "from-env", 1);
    DevServer server({"--user", "dev"});
    ::unsetenv(devserver::kPasswordVariable);
    std::vector<CtMessage> messages;
    EXPECT_EQ(CtConnection::tryConnect("DEVSERVER", "dev", "wrong", &messages), nullptr);
    auto con = CtConnection::tryConnect("DEVSERVER", "dev", "from-env", &messages);
    ASSERT_NE(con, nullptr);
    EXPECT_EQ(con->execute("select 1").rowResults().size(), 1u);
}

TEST(ServerSafety, AnUnfinishedLoginIsDroppedAtItsDeadline) {
    DevServer server({"--login-timeout", "1"});
    const int fd = connectRaw(server.port());
    ASSERT_GE(fd, 0);
    // The header promises 512 bytes; a tenth of them comes.
    const std::string half = devservertest::rawPacket(0x02, 0x01, std::string(504, '\0'));
    ASSERT_EQ(::send(fd, half.data(), 60, MSG_NOSIGNAL), 60);
    EXPECT_TRUE(closedWithin(fd, 8000));
    ::close(fd);
    CtConnection con;
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
}

TEST(ServerSafety, ClientsBeyondTheCapAreRefusedWithAMessage) {
    DevServer server({"--max-connections", "2"});
    auto first = std::make_unique<CtConnection>();
    CtConnection second;
    std::vector<CtMessage> messages;
    EXPECT_EQ(CtConnection::tryConnect("DEVSERVER", "sa", "", &messages), nullptr);
    EXPECT_TRUE(anyMessage(messages, 1601));

    // A place that frees up is given to the next client.
    first.reset();
    std::unique_ptr<CtConnection> third;
    for (int i = 0; i < 50 && !third; ++i) {
        third = CtConnection::tryConnect("DEVSERVER", "sa", "", nullptr);
        if (!third)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->execute("select 1").rowResults().size(), 1u);
}

TEST(ServerSafety, ARequestOverTheLimitIsAnsweredAndTheSessionStays) {
    DevServer server;
    CtConnection con;
    const std::string huge = "select 1 /*" + std::string((64u << 20) + 16, 'x') + "*/";
    const CtBatch b = con.execute(huge);
    EXPECT_TRUE(b.ok);
    EXPECT_TRUE(b.failed);
    ASSERT_FALSE(b.errors().empty());
    EXPECT_NE(b.errors()[0].text.find("64 MiB"), std::string::npos) << b.errors()[0].text;
    const CtBatch after = con.execute("select 2");
    ASSERT_EQ(after.rowResults().size(), 1u);
    EXPECT_EQ(after.rowResults()[0]->rows.at(0).at(0).text, "2");
}

TEST(ServerSafety, ALargeRequestsMemoryIsGivenBack) {
    if (kSanitized)
        GTEST_SKIP() << "a sanitized server keeps freed memory aside";
    DevServer server;
    CtConnection con;
    ASSERT_FALSE(con.execute("create table big_value (b image)").failed);
    const long before = statusKb(server.pid(), "VmRSS");
    constexpr size_t kValueBytes = 16u << 20;
    const CtBatch b =
        con.execute("insert into big_value values (0x" + std::string(2 * kValueBytes, 'a') + ")");
    ASSERT_FALSE(b.failed);
    const CtBatch length = con.execute("select datalength(b) from big_value");
    ASSERT_EQ(length.rowResults().size(), 1u);
    EXPECT_EQ(length.rowResults()[0]->rows.at(0).at(0).text, std::to_string(kValueBytes));
    const long after = statusKb(server.pid(), "VmRSS");
    // The request was 32 MB and its value 16 MB: far less than either stays.
    EXPECT_LT(after - before, 8 * 1024) << "before " << before << " kB, after " << after << " kB";
}

TEST(ServerSafety, RunningOutOfDescriptorsNeitherSpinsNorHangsClients) {
    if (kSanitized)
        GTEST_SKIP() << "a sanitizer's own checks need descriptors (a pipe to probe memory): "
                        "with none left they report errors that are not there";
    DevServer server;
    const pid_t pid = server.pid();
    const long open = static_cast<long>(
        std::distance(std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"),
                      std::filesystem::directory_iterator{}));
    const rlimit limit{static_cast<rlim_t>(open + 12), static_cast<rlim_t>(open + 12)};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);

    std::vector<std::unique_ptr<CtConnection>> held;
    bool refused = false;
    for (int i = 0; i < 20 && !refused; ++i) {
        auto con = CtConnection::tryConnect("DEVSERVER", "sa", "", nullptr);
        refused = con == nullptr;
        if (con)
            held.push_back(std::move(con));
    }
    ASSERT_TRUE(refused);

    // With every descriptor taken, a client knocking is answered at once, and the server
    // does not burn its time on it meanwhile.
    const long ticksBefore = cpuTicks(pid);
    const auto start = Clock::now();
    std::vector<int> knocking;
    for (int i = 0; i < 3; ++i)
        knocking.push_back(connectRaw(server.port()));
    for (int fd : knocking) {
        if (fd >= 0) {
            EXPECT_TRUE(closedWithin(fd, 5000));
            ::close(fd);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000) -
                                std::min(std::chrono::milliseconds(1000),
                                         std::chrono::milliseconds(millisecondsSince(start))));
    const long ticks = cpuTicks(pid) - ticksBefore;
    EXPECT_LT(ticks, ::sysconf(_SC_CLK_TCK) / 2) << "CPU ticks spent: " << ticks;

    held.clear();
    std::unique_ptr<CtConnection> again;
    for (int i = 0; i < 50 && !again; ++i) {
        again = CtConnection::tryConnect("DEVSERVER", "sa", "", nullptr);
        if (!again)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->execute("select 1").rowResults().size(), 1u);
}

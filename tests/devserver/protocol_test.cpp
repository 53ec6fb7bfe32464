// The development server's protocol side driven through FreeTDS's ct-lib: login, messages,
// several results per batch, RPC with return status and output parameters, attention in
// the middle of a large result, many clients at once, and raw malformed input.
#include "raw_packet.h"
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using devservertest::rawPacket;
using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::CtMessage;
using testsupport::DevServer;

namespace {

// A LANGUAGE token holding `sql`, in one normal-request packet.
std::string languagePacket(const std::string& sql) {
    const uint32_t length = static_cast<uint32_t>(sql.size() + 1);
    std::string token = std::string("\x21", 1) +
                        std::string(reinterpret_cast<const char*>(&length), 4) +
                        std::string(1, '\0') + sql;
    return rawPacket(0x0F, 0x01, token);
}

// A plain TCP connection to the server, for sending bytes no client library would send.
class RawSocket {
public:
    explicit RawSocket(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawSocket() { ::close(m_fd); }
    [[nodiscard]] bool connected() const { return m_connected; }
    bool send(const std::string& bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    /// Reads until the server closes the connection; returns the bytes received.
    /// Gives up (returning what it has, and `closed` false) after `limitMs`.
    std::string readUntilClosed(bool& closed, int limitMs = 20000) {
        std::string received;
        closed = false;
        for (int waited = 0; waited < limitMs; waited += 100) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                return received;
            }
            received.append(buffer, static_cast<size_t>(n));
        }
        return received;
    }
    /// Sends a TDS 5.0 login record (user "sa", no password) in two packets as FreeTDS
    /// does and reads the reply; true when it holds a successful LOGINACK. `charset` is the
    /// character set the record names (FreeTDS names none); `reply` receives the reply.
    bool login(const std::string& packetSize = "512", const std::string& charset = "",
               std::string* reply = nullptr) {
        std::string record(568, '\0');
        auto field = [&](size_t at, size_t width, const std::string& v) {
            record.replace(at, v.size(), v);
            record[at + width] = static_cast<char>(v.size());
        };
        field(0, 30, "testhost");
        field(31, 30, "sa");
        field(140, 30, "raw-test");
        record[124] = 3;
        record[125] = 1;
        record[126] = 6;
        record[127] = 10;
        record[128] = 9;
        field(525, 30, charset);
        field(557, 6, packetSize);
        if (!send(rawPacket(0x02, 0x00, record.substr(0, 504))) ||
            !send(rawPacket(0x02, 0x01, record.substr(504))))
            return false;
        const std::string answer = readResponse();
        if (reply)
            *reply = answer;
        return answer.find(std::string("\xAD", 1)) != std::string::npos &&
               answer.find(std::string("\x05\x05\x00\x00\x00", 5)) != std::string::npos;
    }
    /// Reads packets up to the one with the EOM bit; returns their payloads joined and
    /// adds the length of each packet to `lengths` when given.
    std::string readResponse(std::vector<size_t>* lengths = nullptr) {
        std::string payload;
        for (;;) {
            std::string header = readExactly(8);
            if (header.size() < 8)
                return payload;
            const size_t length =
                (static_cast<uint8_t>(header[2]) << 8) | static_cast<uint8_t>(header[3]);
            if (lengths)
                lengths->push_back(length);
            payload += readExactly(length - 8);
            if (header[1] & 0x01)
                return payload;
        }
    }
    std::string readExactly(size_t n) {
        std::string out;
        while (out.size() < n) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                break;
            char buffer[4096];
            const ssize_t got = ::recv(m_fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0)
                break;
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    /// True when bytes arrive within `ms`.
    bool readable(int ms) {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

bool hasMessage(const std::vector<CtMessage>& messages, int number, int severity,
                const std::string& text) {
    for (const CtMessage& m : messages)
        if (m.fromServer && m.number == number && m.severity == severity && m.text == text)
            return true;
    return false;
}

CS_INT intValue(const testsupport::CtValue& v) {
    CS_INT i = 0;
    EXPECT_EQ(v.raw.size(), sizeof i);
    std::memcpy(&i, v.raw.data(), std::min(v.raw.size(), sizeof i));
    return i;
}

class ProtocolTest : public ::testing::Test {
protected:
    DevServer server;
};

} // namespace

TEST_F(ProtocolTest, LoginAnswersSpidAsIntegerAndReportsCurrentDatabase) {
    CtConnection con;
    CtBatch b = con.execute("select @@spid");
    ASSERT_TRUE(b.ok);
    auto rows = b.rowResults();
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0]->rows.size(), 1u);
    EXPECT_EQ(rows[0]->columns[0].datatype, CS_INT_TYPE);
    EXPECT_GT(intValue(rows[0]->rows[0][0]), 0);

    b = con.execute("select db_name()");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "master");
}

TEST(ProtocolLogin, RefusedLoginGives4002AndTheRightLoginStillWorks) {
    DevServer server({"--user", "alice", "--password", "secret"});
    std::vector<CtMessage> messages;
    EXPECT_EQ(CtConnection::tryConnect(server.serverName(), "alice", "wrong", &messages), nullptr);
    EXPECT_TRUE(hasMessage(messages, 4002, 14, "Login failed."));
    EXPECT_EQ(CtConnection::tryConnect(server.serverName(), "bob", "secret", &messages), nullptr);
    EXPECT_TRUE(hasMessage(messages, 4002, 14, "Login failed."));

    auto con = CtConnection::tryConnect(server.serverName(), "alice", "secret", &messages);
    ASSERT_NE(con, nullptr);
    EXPECT_EQ(con->execute("select user_name()").rowResults().size(), 1u);
}

TEST_F(ProtocolTest, MessagesCarryNumberSeverityAndText) {
    CtConnection con;
    CtBatch b = con.execute("print 'hello from print'");
    EXPECT_FALSE(b.failed);
    EXPECT_TRUE(hasMessage(b.messages, 0, 0, "hello from print")) << b.messages.size();

    b = con.execute("raiserror 50001 'custom failure'");
    EXPECT_TRUE(b.failed);
    EXPECT_TRUE(hasMessage(b.messages, 50001, 16, "custom failure"));

    b = con.execute("select * from no_such_table");
    EXPECT_TRUE(b.failed);
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 208);
    EXPECT_EQ(b.errors()[0].severity, 16);
    EXPECT_FALSE(b.errors()[0].server.empty());
}

TEST_F(ProtocolTest, SeveralResultsInOneBatchWithCounts) {
    CtConnection con;
    CtBatch setup = con.execute("create table multi (a int, b varchar(10))\n"
                                "insert into multi values (1, 'one')\n"
                                "insert into multi values (2, 'two')\n"
                                "insert into multi values (3, 'three')");
    ASSERT_FALSE(setup.failed);
    CtBatch b = con.execute("select a from multi order by a\n"
                            "print 'between'\n"
                            "update multi set b = 'x' where a > 1\n"
                            "select b from multi where a = 1\n"
                            "select a, b from multi where a > 5");
    ASSERT_TRUE(b.ok);
    EXPECT_FALSE(b.failed);
    auto rows = b.rowResults();
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0]->rows.size(), 3u);
    EXPECT_EQ(intValue(rows[0]->rows[2][0]), 3);
    ASSERT_EQ(rows[1]->rows.size(), 1u);
    EXPECT_EQ(rows[1]->rows[0][0].text, "one");
    EXPECT_EQ(rows[2]->rows.size(), 0u);
    EXPECT_EQ(rows[2]->columns.size(), 2u);
    EXPECT_TRUE(hasMessage(b.messages, 0, 0, "between"));
    std::vector<CS_INT> counts;
    for (const auto& r : b.results)
        if (r.type == CS_CMD_DONE)
            counts.push_back(r.rowCount);
    // select 3 rows, print (no count), update 2, select 1, select 0
    EXPECT_NE(std::find(counts.begin(), counts.end(), 2), counts.end());
    EXPECT_NE(std::find(counts.begin(), counts.end(), 3), counts.end());
}

TEST_F(ProtocolTest, ACompileErrorRunsNothingARunTimeErrorEndsItsStatement) {
    CtConnection con;
    CtBatch b = con.execute("select 1\nselect * from missing_table\nselect 2");
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(b.failed);
    EXPECT_TRUE(b.rowResults().empty());
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 208);
    // A duplicate key is found while the statement runs: the batch goes on.
    ASSERT_FALSE(con.execute("create table once (k int)\ncreate unique index once_k on once (k)\n"
                             "insert once values (1)")
                     .failed);
    b = con.execute("select 1\ninsert once values (1)\nselect 2");
    ASSERT_TRUE(b.ok);
    auto rows = b.rowResults();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->rows.at(0).at(0).text, "2");
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 2601);
    // The connection is still usable.
    EXPECT_EQ(con.execute("select 3").rowResults().size(), 1u);
}

TEST_F(ProtocolTest, RpcReturnsRowsStatusAndOutputParameters) {
    CtConnection con;
    ASSERT_FALSE(con.execute("create procedure twice @a int, @c int output as\n"
                             "select @a * 2 as doubled\n"
                             "select @c = @a + 1\n"
                             "return 7")
                     .failed);
    auto cmd = con.newCommand();
    ASSERT_EQ(ct_command(cmd.get(), CS_RPC_CMD, "twice", CS_NULLTERM, CS_NO_RECOMPILE), CS_SUCCEED);
    CS_DATAFMT f{};
    std::strcpy(f.name, "@a");
    f.namelen = CS_NULLTERM;
    f.datatype = CS_INT_TYPE;
    f.maxlength = sizeof(CS_INT);
    f.status = CS_INPUTVALUE;
    CS_INT a = 20;
    ASSERT_EQ(ct_param(cmd.get(), &f, &a, sizeof a, 0), CS_SUCCEED);
    std::strcpy(f.name, "@c");
    f.status = CS_RETURN;
    CS_INT c = 0;
    ASSERT_EQ(ct_param(cmd.get(), &f, &c, sizeof c, 0), CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CtBatch b = con.collect(cmd.get());
    ASSERT_TRUE(b.ok);
    EXPECT_FALSE(b.failed);
    auto rows = b.rowResults();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->rows.at(0).at(0).text, "40");
    EXPECT_EQ(b.returnStatuses(), std::vector<int>{7});
    auto params = b.rowResults(CS_PARAM_RESULT);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0]->rows.at(0).at(0).text, "21");

    // The same procedure through a language command.
    b = con.execute("declare @out int\nexec twice 5, @out output\nselect @out");
    EXPECT_EQ(b.returnStatuses(), std::vector<int>{7});
    rows = b.rowResults();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->rows.at(0).at(0).text, "6");
}

TEST_F(ProtocolTest, CancelInTheMiddleOfALargeResult) {
    CtConnection con;
    ASSERT_FALSE(con.execute("create table big (id int, name varchar(40))\n"
                             "insert into big values (1, 'a row of the big table')")
                     .failed);
    for (int i = 0; i < 17; ++i)
        ASSERT_FALSE(
            con.execute("insert into big select id + (select max(id) from big), name from big")
                .failed);
    auto cmd = con.newCommand();
    const char* sql = "select id, name from big";
    ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CS_INT type = 0;
    ASSERT_EQ(ct_results(cmd.get(), &type), CS_SUCCEED);
    ASSERT_EQ(type, CS_ROW_RESULT);
    CS_INT id = 0;
    CS_DATAFMT f{};
    f.datatype = CS_INT_TYPE;
    f.maxlength = sizeof id;
    f.count = 1;
    ASSERT_EQ(ct_bind(cmd.get(), 1, &f, &id, nullptr, nullptr), CS_SUCCEED);
    CS_INT fetched = 0;
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(ct_fetch(cmd.get(), CS_UNUSED, CS_UNUSED, CS_UNUSED, &fetched), CS_SUCCEED);
    ASSERT_EQ(ct_cancel(nullptr, cmd.get(), CS_CANCEL_ALL), CS_SUCCEED);
    cmd.reset();

    CtBatch b = con.execute("select count(*) from big");
    ASSERT_TRUE(b.ok);
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "131072");
}

TEST_F(ProtocolTest, SixteenConcurrentClientsEachSeeTheirOwnWorkAndOthersCommits) {
    {
        CtConnection setup;
        ASSERT_FALSE(setup.execute("create table shared_counts (client int, n int)").failed);
    }
    constexpr int kClients = 16;
    std::atomic<int> good{0};
    std::vector<std::string> failures(kClients);
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i)
        threads.emplace_back([i, &good, &failures] {
            try {
                CtConnection con;
                const std::string table = "own_" + std::to_string(i);
                CtBatch b = con.execute("create table " + table + " (v int)");
                for (int k = 0; k <= i && !b.failed; ++k)
                    b = con.execute("insert into " + table + " values (" + std::to_string(k) + ")");
                b = con.execute("insert into shared_counts values (" + std::to_string(i) + ", 1)");
                b = con.execute("select count(*), sum(v) from " + table);
                const auto rows = b.rowResults();
                if (b.failed || rows.size() != 1 || rows[0]->rows.size() != 1 ||
                    rows[0]->rows[0][0].text != std::to_string(i + 1) ||
                    rows[0]->rows[0][1].text != std::to_string(i * (i + 1) / 2))
                    failures[i] = "wrong result for client " + std::to_string(i);
                else
                    ++good;
            } catch (const std::exception& e) {
                failures[i] = e.what();
            }
        });
    for (auto& t : threads)
        t.join();
    for (const auto& f : failures)
        EXPECT_EQ(f, "");
    EXPECT_EQ(good, kClients);
    CtConnection after;
    CtBatch b = after.execute("select count(*) from shared_counts");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "16");
}

TEST_F(ProtocolTest, GarbageClosesOnlyThatConnection) {
    CtConnection bystander;
    const std::vector<std::string> garbage = {
        std::string("\x02\x01\x00\x03\x00\x00\x00\x00", 8), // length below the header
        std::string(64, '\xFF'),                            // random-looking bytes
        rawPacket(0x02, 0x01, "short login"),               // truncated login record
        rawPacket(0x02, 0x00, std::string(4000, 'x')) +
            rawPacket(0x02, 0x01, std::string(4000, 'y')),
        std::string("GET / HTTP/1.0\r\n\r\n"),
    };
    for (const std::string& bytes : garbage) {
        RawSocket raw(server.port());
        ASSERT_TRUE(raw.connected());
        raw.send(bytes);
        bool closed = false;
        raw.readUntilClosed(closed);
        EXPECT_TRUE(closed);
        EXPECT_EQ(bystander.execute("select 1").rowResults().size(), 1u);
    }
    CtConnection newcomer;
    EXPECT_EQ(newcomer.execute("select 2").rowResults().size(), 1u);
}

TEST_F(ProtocolTest, MalformedRequestsAfterLoginCloseOnlyThatConnection) {
    CtConnection bystander;
    const std::vector<std::string> malformed = {
        std::string("\xE6\xFF\x7F", 3),                      // RPC token longer than the message
        std::string("\x21\xF0\xFF\xFF\xFF\x00select 1", 14), // language length past the end
        std::string("\xE6\x05\x00\x02p1\x02\x00", 8) +       // RPC with a parameter count
            std::string("\xEC\x04\x00\xFF\xFF\x00\x00", 7),  // far above the bytes present
        std::string("\xE6\x05\x00\x02p1\x02\x00", 8) +       // parameter of an unknown type
            std::string("\xEC\x0A\x00\x01\x00\x00\x00\x00\x00\x00\x00\x99\x00", 13),
    };
    for (const std::string& tokens : malformed) {
        RawSocket raw(server.port());
        ASSERT_TRUE(raw.connected());
        ASSERT_TRUE(raw.login());
        raw.send(rawPacket(0x0F, 0x01, tokens));
        bool closed = false;
        raw.readUntilClosed(closed);
        EXPECT_TRUE(closed);
        EXPECT_EQ(bystander.execute("select 1").rowResults().size(), 1u);
    }
}

TEST_F(ProtocolTest, UnknownRequestTokenIsAnsweredWithAnErrorAndTheSessionGoesOn) {
    RawSocket raw(server.port());
    ASSERT_TRUE(raw.connected());
    ASSERT_TRUE(raw.login());
    raw.send(rawPacket(0x0F, 0x01, std::string("\x86\x00\x00", 3))); // a cursor declaration
    std::string reply = raw.readResponse();
    ASSERT_GE(reply.size(), 9u);
    EXPECT_EQ(static_cast<uint8_t>(reply[0]), 0xE5);                              // EED
    EXPECT_EQ(reply.substr(reply.size() - 9, 3), std::string("\xFD\x02\x00", 3)); // DONE error

    raw.send(languagePacket("select 42"));
    reply = raw.readResponse();
    EXPECT_EQ(static_cast<uint8_t>(reply.at(0)), 0xEE);                           // ROWFMT
    EXPECT_EQ(reply.substr(reply.size() - 9, 3), std::string("\xFD\x10\x00", 3)); // DONE count
}

TEST_F(ProtocolTest, AnAttentionRightBehindARequestCancelsIt) {
    RawSocket raw(server.port());
    ASSERT_TRUE(raw.connected());
    ASSERT_TRUE(raw.login());
    // The request and the attention arrive together: the request must not be answered
    // after the acknowledgement, or the next request would read its rows.
    ASSERT_TRUE(raw.send(languagePacket("select 'two'") + rawPacket(0x06, 0x01, "")));
    std::string reply;
    do
        reply = raw.readResponse();
    while (reply.size() >= 9 && (reply[reply.size() - 8] & 0x20) == 0);
    ASSERT_GE(reply.size(), 9u);
    EXPECT_EQ(reply.substr(reply.size() - 9, 3), std::string("\xFD\x20\x00", 3));

    ASSERT_TRUE(raw.send(languagePacket("select 'three'")));
    reply = raw.readResponse();
    EXPECT_NE(reply.find("three"), std::string::npos);
    EXPECT_EQ(reply.find("two"), std::string::npos);
}

TEST_F(ProtocolTest, PreLoginIsClosedAndTdsAutoFallsBackToTds5) {
    RawSocket raw(server.port());
    ASSERT_TRUE(raw.connected());
    raw.send(
        rawPacket(0x12, 0x01, std::string("\x00\x00\x1A\x00\x06\xFF", 6) + std::string(20, '\0')));
    bool closed = false;
    EXPECT_EQ(raw.readUntilClosed(closed), "");
    EXPECT_TRUE(closed);

    // A client configured with tds version = auto retries with TDS 5.0 and gets in.
    const std::string conf = server.tempDir() + "/auto.conf";
    std::ofstream(conf) << "[AUTO]\n\thost = 127.0.0.1\n\tport = " << server.port()
                        << "\n\ttds version = auto\n\tclient charset = UTF-8\n";
    ::setenv("FREETDSCONF", conf.c_str(), 1);
    std::vector<CtMessage> messages;
    auto con = CtConnection::tryConnect("AUTO", "sa", "", &messages);
    server.activate();
    ASSERT_NE(con, nullptr);
    EXPECT_EQ(con->execute("select 1").rowResults().size(), 1u);
}

TEST_F(ProtocolTest, StopsCleanlyOnSigterm) {
    CtConnection idle;
    const int status = server.stop();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ProtocolOptions, DateOrderIsAnsweredFromTheServersSetting) {
    for (const auto& [order, expected] :
         {std::pair{"dmy", CS_OPT_FMTDMY}, std::pair{"ydm", CS_OPT_FMTYDM}}) {
        DevServer server({"--date-order", order});
        CtConnection con;
        CS_INT value = 0;
        ASSERT_EQ(
            ct_options(con.connection(), CS_GET, CS_OPT_DATEFORMAT, &value, CS_UNUSED, nullptr),
            CS_SUCCEED);
        EXPECT_EQ(value, expected) << order;
        CS_BOOL off = CS_FALSE;
        EXPECT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_CHAINXACTS, &off, CS_UNUSED, nullptr),
                  CS_SUCCEED);
        EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
    }
}

TEST_F(ProtocolTest, PreparedStatementsRunWithAndWithoutRows) {
    CtConnection con;
    ASSERT_FALSE(con.execute("create table prep (a int, b varchar(10))\n"
                             "insert into prep values (1, 'one')\n"
                             "insert into prep values (2, 'two')")
                     .failed);
    auto cmd = con.newCommand();
    ASSERT_EQ(ct_dynamic(cmd.get(), CS_PREPARE, const_cast<char*>("s1"), CS_NULLTERM,
                         const_cast<char*>("select b from prep where a > ? order by a"),
                         CS_NULLTERM),
              CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    con.collect(cmd.get());
    // Executions returning rows, none, and rows again: a result without rows must end
    // cleanly, or the next fetch waits for ever.
    for (const auto& [bound, expected] :
         {std::pair{"0", 2u}, std::pair{"5", 0u}, std::pair{"1", 1u}}) {
        ASSERT_EQ(ct_dynamic(cmd.get(), CS_EXECUTE, const_cast<char*>("s1"), CS_NULLTERM, nullptr,
                             CS_UNUSED),
                  CS_SUCCEED);
        CS_DATAFMT f{};
        f.datatype = CS_CHAR_TYPE;
        f.maxlength = 10;
        f.status = CS_INPUTVALUE;
        f.namelen = 0;
        ASSERT_EQ(ct_param(cmd.get(), &f, const_cast<char*>(bound),
                           static_cast<CS_INT>(std::strlen(bound)), 0),
                  CS_SUCCEED);
        ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
        CtBatch b = con.collect(cmd.get());
        ASSERT_TRUE(b.ok);
        EXPECT_FALSE(b.failed);
        ASSERT_EQ(b.rowResults().size(), 1u) << bound;
        EXPECT_EQ(b.rowResults()[0]->rows.size(), expected) << bound;
    }
    ASSERT_EQ(
        ct_dynamic(cmd.get(), CS_DEALLOC, const_cast<char*>("s1"), CS_NULLTERM, nullptr, CS_UNUSED),
        CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    con.collect(cmd.get());
    cmd.reset();
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
}

TEST_F(ProtocolTest, LanguageCommandParametersArriveAsVariables) {
    CtConnection con;
    auto cmd = con.newCommand();
    const char* sql = "select @a * 2, @b";
    ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    CS_DATAFMT f{};
    std::strcpy(f.name, "@a");
    f.namelen = CS_NULLTERM;
    f.datatype = CS_INT_TYPE;
    f.maxlength = sizeof(CS_INT);
    f.status = CS_INPUTVALUE;
    CS_INT a = 21;
    ASSERT_EQ(ct_param(cmd.get(), &f, &a, sizeof a, 0), CS_SUCCEED);
    CS_DATAFMT g{};
    std::strcpy(g.name, "@b");
    g.namelen = CS_NULLTERM;
    g.datatype = CS_CHAR_TYPE;
    g.maxlength = 20;
    g.status = CS_INPUTVALUE;
    char text[] = "caf\xC3\xA9";
    ASSERT_EQ(ct_param(cmd.get(), &g, text, static_cast<CS_INT>(std::strlen(text)), 0), CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CtBatch b = con.collect(cmd.get());
    ASSERT_TRUE(b.ok);
    EXPECT_FALSE(b.failed);
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "42");
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(1).text, "caf\xC3\xA9");
}

TEST_F(ProtocolTest, AnswersTravelInThePacketSizeTheClientAskedFor) {
    for (const auto& [asked, granted] : {std::pair<const char*, size_t>{"4096", 4096},
                                         {"512", 512},
                                         {"100", 512},
                                         {"999999", 65024}}) {
        RawSocket raw(server.port());
        ASSERT_TRUE(raw.connected());
        ASSERT_TRUE(raw.login(asked));
        raw.send(languagePacket(
            "select replicate('x', 16000), replicate('y', 16000), replicate('z', 16000), "
            "replicate('w', 16000), replicate('v', 16000)"));
        std::vector<size_t> lengths;
        const std::string reply = raw.readResponse(&lengths);
        ASSERT_GT(lengths.size(), 1u) << asked;
        for (size_t i = 0; i + 1 < lengths.size(); ++i)
            EXPECT_EQ(lengths[i], granted) << "packet " << i << " when asking " << asked;
        EXPECT_LE(lengths.back(), granted);
        EXPECT_NE(reply.find(std::string(16000, 'v')), std::string::npos);
    }
}

TEST_F(ProtocolTest, CtLibNegotiatesThePacketSizeItAsksFor) {
    CS_CONTEXT* context = nullptr;
    ASSERT_EQ(cs_ctx_alloc(CS_VERSION_100, &context), CS_SUCCEED);
    ASSERT_EQ(ct_init(context, CS_VERSION_100), CS_SUCCEED);
    CS_CONNECTION* connection = nullptr;
    ASSERT_EQ(ct_con_alloc(context, &connection), CS_SUCCEED);
    ct_con_props(connection, CS_SET, CS_USERNAME, const_cast<char*>("sa"), CS_NULLTERM, nullptr);
    ct_con_props(connection, CS_SET, CS_PASSWORD, const_cast<char*>(""), CS_NULLTERM, nullptr);
    CS_INT size = 8192;
    ASSERT_EQ(ct_con_props(connection, CS_SET, CS_PACKETSIZE, &size, CS_UNUSED, nullptr),
              CS_SUCCEED);
    const std::string name = server.serverName();
    ASSERT_EQ(ct_connect(connection, const_cast<char*>(name.c_str()), CS_NULLTERM), CS_SUCCEED);
    size = 0;
    EXPECT_EQ(ct_con_props(connection, CS_GET, CS_PACKETSIZE, &size, CS_UNUSED, nullptr),
              CS_SUCCEED);
    EXPECT_EQ(size, 8192);
    ct_close(connection, CS_FORCE_CLOSE);
    ct_con_drop(connection);
    ct_exit(context, CS_FORCE_EXIT);
    cs_ctx_drop(context);
}

TEST(ProtocolCharset, ConvertsBetweenItsCharsetAndTheOneALoginNames) {
    DevServer utf8;
    DevServer iso1({"--server-charset", "iso_1"});
    struct Case {
        const char* what;
        DevServer& server;
        std::string loginCharset;
        std::string announced;
        std::string sql;      // as the client sends it, in its character set
        std::string expected; // bytes the reply holds
    };
    const Case cases[] = {
        {"iso_1 server, no charset named", iso1, "", "iso_1", "select 'f\xFCr'", "\x03\x66\xFCr"},
        {"iso_1 server, utf8 client", iso1, "utf8", "utf8", "select 'f\xC3\xBCr'",
         "\x04\x66\xC3\xBCr"},
        {"iso_1 server, utf8 client, text it cannot hold", iso1, "utf8", "utf8",
         "select 'x\xCE\xA9'", "Error converting client characters into server's character set"},
        {"utf8 server, iso_1 client", utf8, "iso_1", "iso_1", "select 'f\xFCr'", "\x03\x66\xFCr"},
        {"utf8 server, iso_1 client, text it cannot take", utf8, "iso_1", "iso_1",
         "select convert(varchar(10), 0x78CEA9)", "\x02x?"},
        {"utf8 server, iso_1 client, the warning after it", utf8, "iso_1", "iso_1",
         "select convert(varchar(10), 0x78CEA9)",
         "could not be converted into client's character set"},
        {"iso_1 server, unknown charset", iso1, "koi8_r", "iso_1", "select 'f\xFCr'",
         "\x03\x66\xFCr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawSocket raw(c.server.port());
        ASSERT_TRUE(raw.connected());
        std::string reply;
        ASSERT_TRUE(raw.login("512", c.loginCharset, &reply));
        const std::string envChange =
            std::string("\x03", 1) + static_cast<char>(c.announced.size()) + c.announced;
        EXPECT_NE(reply.find(envChange), std::string::npos);
        const bool known = c.loginCharset.empty() || c.loginCharset == c.announced;
        EXPECT_EQ(reply.find("Character set conversion is not available") != std::string::npos,
                  !known);
        ASSERT_TRUE(raw.send(languagePacket(c.sql)));
        const std::string answer = raw.readResponse();
        EXPECT_NE(answer.find(c.expected), std::string::npos);
    }
}

TEST(ProtocolCharset, Iso1ServerMeasuresCharacterDataInItsOwnBytes) {
    DevServer iso1({"--server-charset", "iso_1"});
    CtConnection con(iso1.serverName());
    const CtBatch b =
        con.execute("create table lengths (v varchar(5)) "
                    "insert into lengths values ('\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC') "
                    "select v, datalength(v), @@charsetname from lengths");
    ASSERT_TRUE(b.ok);
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& row = b.rowResults()[0]->rows.at(0);
    EXPECT_EQ(row.at(0).text,
              "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"); // five characters, five bytes
    EXPECT_EQ(row.at(1).text, "5");
    EXPECT_EQ(row.at(2).text, "iso_1");
}

TEST_F(ProtocolTest, ComputeClausesSendComputeResultsAfterTheirGroups) {
    CtConnection con;
    ASSERT_FALSE(
        con.execute("create table sales (region varchar(10), amount money, qty int)\n"
                    "insert sales values ('east', 10.5, 1) insert sales values ('east', 2.25, 2)\n"
                    "insert sales values ('west', 7, 4)")
            .failed);
    CtBatch b = con.execute("select region, amount, qty from sales order by region\n"
                            "compute sum(amount), count(qty), max(qty) by region\n"
                            "compute sum(amount), avg(qty)");
    ASSERT_TRUE(b.ok);
    ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    std::vector<std::string> shape;
    for (const auto& r : b.results) {
        if (r.type == CS_ROW_RESULT)
            shape.push_back("rows:" + std::to_string(r.rows.size()));
        if (r.type == CS_COMPUTE_RESULT) {
            std::string values;
            for (const auto& v : r.rows.at(0))
                values += (values.empty() ? "" : ",") + v.text;
            shape.push_back("compute:" + values);
        }
    }
    const std::vector<std::string> expected = {"rows:2", "compute:12.7500,2,2", "rows:1",
                                               "compute:7.0000,1,4", "compute:19.7500,2"};
    EXPECT_EQ(shape, expected);
    // Without by: one compute result after all rows; the connection stays in step.
    b = con.execute("select qty from sales compute min(qty)");
    ASSERT_EQ(b.results.size(), 3u);
    EXPECT_EQ(b.results[1].type, CS_COMPUTE_RESULT);
    EXPECT_EQ(b.results[1].rows.at(0).at(0).text, "1");
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u);
    // A compute column that is not in the select list is refused.
    EXPECT_EQ(con.execute("select region from sales compute sum(amount)").errors().at(0).number,
              8118);
}

TEST_F(ProtocolTest, ClientLibraryOptionsSetTheSessionsSettings) {
    // The client library's values (cspublic.h) not declared by the package's header.
    constexpr CS_INT kOptFormatOnly = 5024, kMonday = 1, kSunday = 7;
    CtConnection con;
    CS_BOOL on = CS_TRUE;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_NOCOUNT, &on, CS_UNUSED, nullptr),
              CS_SUCCEED);
    CtBatch b = con.execute("create table optc (v int)\ninsert optc values (1)");
    ASSERT_FALSE(b.failed);
    for (const auto& r : b.results)
        if (r.type == CS_CMD_DONE)
            EXPECT_EQ(r.rowCount, -1) << "no counts under nocount";
    CS_BOOL off = CS_FALSE;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_NOCOUNT, &off, CS_UNUSED, nullptr),
              CS_SUCCEED);

    ASSERT_EQ(ct_options(con.connection(), CS_SET, kOptFormatOnly, &on, CS_UNUSED, nullptr),
              CS_SUCCEED);
    b = con.execute("select v from optc");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_TRUE(b.rowResults()[0]->rows.empty()) << "format only: no rows";
    ASSERT_EQ(ct_options(con.connection(), CS_SET, kOptFormatOnly, &off, CS_UNUSED, nullptr),
              CS_SUCCEED);

    // datefirst: read back what `set` changed, and set it through the library.
    ASSERT_FALSE(con.execute("set datefirst 1").failed);
    CS_INT day = 0;
    ASSERT_EQ(ct_options(con.connection(), CS_GET, CS_OPT_DATEFIRST, &day, CS_UNUSED, nullptr),
              CS_SUCCEED);
    EXPECT_EQ(day, kMonday);
    day = kSunday;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_DATEFIRST, &day, CS_UNUSED, nullptr),
              CS_SUCCEED);
    b = con.execute("select datepart(weekday, '2026-12-08')");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "3");
}

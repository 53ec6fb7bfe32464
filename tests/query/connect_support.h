// Shared by the connection tests: development servers (a normal one and a silent one), a
// freetds.conf that also names a closed port, and a way to run a batch directly on a
// connection's handle so that its messages reach CheckMessages as a query's would.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/query/SybConnect.h"
#include "support/DevServer.h"
#include "support/ExecutionChecks.h"
#include "support/ServerConf.h"

namespace connecttest {

inline constexpr const char* kUser = "sa";
inline constexpr const char* kPassword = "demo";

/// A loopback port on which nothing listens (bound once, then released).
inline int closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

/// Starts the servers once per test program and points FreeTDS at a freetds.conf with the
/// sections DEVSERVER (login sa/demo), SILENT (accepts and never answers), SLOWLOGIN
/// (answers a login after 3 seconds), DROPPING (closes the connection after three rows) and
/// CLOSEDPORT.
class ServerEnvironment {
public:
    static ServerEnvironment& get() {
        static ServerEnvironment environment;
        return environment;
    }

private:
    ServerEnvironment()
        : m_server(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--sample", "--user", kUser, "--password", kPassword})),
          m_silent(std::make_unique<testsupport::DevServer>(std::vector<std::string>{"--silent"},
                                                            "SILENT")),
          m_slow(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--login-delay-ms", "3000"}, "SLOWLOGIN")),
          m_dropping(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--sample", "--drop-after-rows", "3"}, "DROPPING")) {
        testsupport::writeServerConf(m_server->tempDir() + "/connect-tests.conf",
                                     {{"DEVSERVER", m_server->port()},
                                      {"SILENT", m_silent->port()},
                                      {"SLOWLOGIN", m_slow->port()},
                                      {"DROPPING", m_dropping->port()},
                                      {"CLOSEDPORT", closedPort()}});
    }

    std::unique_ptr<testsupport::DevServer> m_server;
    std::unique_ptr<testsupport::DevServer> m_silent;
    std::unique_ptr<testsupport::DevServer> m_slow;
    std::unique_ptr<testsupport::DevServer> m_dropping;
};

/// A connection to DEVSERVER with the accepted login, not yet connected.
inline std::unique_ptr<tovrin::TSybConnect> makeConnection() {
    ServerEnvironment::get();
    auto connection = std::make_unique<tovrin::TSybConnect>(nullptr);
    connection->SetServerName("DEVSERVER");
    connection->SetUserName(kUser);
    connection->SetPassword(kPassword);
    connection->SetApplicationName("connect_tests");
    return connection;
}

/// Runs a batch on the connection's handle, calling CheckMessages after every result (when
/// checkEachResult) and at the end, the way query execution does; the command is always
/// dropped.
inline void runBatch(tovrin::TSybConnect& connection, const std::string& sql,
                     bool checkEachResult = true) {
    using namespace tovrin;
    CS_COMMAND* command = nullptr;
    ASSERT_EQ(ct_cmd_alloc(connection.ConnectionHandle(), &command), CS_SUCCEED);
    struct Drop {
        CS_COMMAND* command;
        ~Drop() { ct_cmd_drop(command); }
    } drop{command};
    std::string text = sql;
    ASSERT_EQ(
        ct_command(command, CS_LANG_CMD, text.data(), static_cast<CS_INT>(text.size()), CS_UNUSED),
        CS_SUCCEED);
    ASSERT_EQ(ct_send(command), CS_SUCCEED);
    try {
        CS_INT resultType = 0;
        CS_RETCODE result;
        while ((result = ct_results(command, &resultType)) == CS_SUCCEED) {
            if (checkEachResult) {
                connection.CheckMessages();
            }
            if (resultType == CS_ROW_RESULT) {
                while (ct_fetch(command, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr) == CS_SUCCEED) {
                }
                connection.CheckMessages();
            }
        }
        connection.CheckMessages();
    } catch (...) {
        // A client-library failure drops the connection handle; FreeTDS's ct_cancel then
        // dereferences the dropped connection, so only a live command is cancelled.
        if (connection.ConnectionHandle() != nullptr) {
            ct_cancel(nullptr, command, CS_CANCEL_ALL);
        }
        throw;
    }
}

using testsupport::openDescriptors;

} // namespace connecttest

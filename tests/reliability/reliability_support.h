// Shared by the reliability tests: the development servers they run against, a fault proxy
// that stands between a connection and a server and cuts or stalls the server's answer
// after a chosen number of bytes, and helpers that check what a failed execution leaves.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "support/DevServer.h"
#include "support/ExecutionChecks.h"
#include "support/ServerConf.h"

namespace reliability {

inline constexpr const char* kUser = "sa";
inline constexpr const char* kPassword = "Rel1ab1l1ty-S3cret";

/// Relays TCP connections from a loopback port to a server. Armed with a byte count, it
/// lets that many more bytes of the server's answers through and then either cuts every
/// relayed connection (both sockets closed) or stalls it (holds it open and forwards
/// nothing more from the server), until disarmed. Bytes from the client always pass.
class FaultProxy final {
public:
    enum class Mode { Cut, Stall };

    explicit FaultProxy(int targetPort) : m_target(targetPort) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        if (m_listener < 0 ||
            bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listener, 64) != 0) {
            throw std::runtime_error("fault proxy: cannot listen");
        }
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (pipe2(m_wake, O_CLOEXEC) != 0) {
            throw std::runtime_error("fault proxy: cannot make a pipe");
        }
        m_thread = std::thread([this] { run(); });
    }

    ~FaultProxy() {
        m_stop = true;
        (void)!write(m_wake[1], "x", 1);
        m_thread.join();
        for (Pair& pair : m_pairs) {
            close(pair.client);
            close(pair.server);
        }
        close(m_listener);
        close(m_wake[0]);
        close(m_wake[1]);
    }
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    [[nodiscard]] int port() const noexcept { return m_port; }

    /// From now on `bytes` more bytes of server answers pass, then `mode` applies.
    void arm(std::size_t bytes, Mode mode) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_armed = true;
        m_budget = bytes;
        m_passed = 0;
        m_mode = mode;
    }
    /// Everything passes again (connections already cut stay cut; stalled ones resume).
    void disarm() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_armed = false;
        (void)!write(m_wake[1], "x", 1);
    }
    /// From now on every `from` in a server answer (within one read) becomes `to` (of the
    /// same length); an empty `from` ends the replacing.
    void replace(std::string from, std::string to) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_from = std::move(from);
        m_to = std::move(to);
    }
    /// Bytes of server answers passed since the last arm.
    [[nodiscard]] std::size_t passed() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_passed;
    }

private:
    struct Pair {
        int client;
        int server;
    };

    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        return address;
    }

    // How many of `available` server bytes may pass now, and whether the connection is
    // to be cut after them.
    std::size_t allowance(std::size_t available, bool& cut, bool& stall) {
        std::lock_guard<std::mutex> lock(m_lock);
        cut = stall = false;
        if (!m_armed) {
            return available;
        }
        const std::size_t left = m_budget - m_passed;
        const std::size_t take = std::min(available, left);
        m_passed += take;
        if (m_passed == m_budget) {
            cut = m_mode == Mode::Cut;
            stall = m_mode == Mode::Stall;
        }
        return take;
    }

    void patch(char* data, std::size_t size) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_from.empty() || m_from.size() != m_to.size()) {
            return;
        }
        std::string_view view(data, size);
        for (std::size_t at = view.find(m_from); at != std::string_view::npos;
             at = view.find(m_from, at + 1)) {
            std::memcpy(data + at, m_to.data(), m_to.size());
        }
    }

    bool stalled() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_armed && m_mode == Mode::Stall && m_passed == m_budget;
    }

    void run() {
        std::vector<char> buffer(65536);
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            const bool hold = stalled();
            for (const Pair& pair : m_pairs) {
                fds.push_back({pair.client, POLLIN, 0});
                fds.push_back({pair.server, static_cast<short>(hold ? 0 : POLLIN), 0});
            }
            if (poll(fds.data(), fds.size(), 100) < 0) {
                continue;
            }
            if (fds[1].revents & POLLIN) {
                char drain[64];
                (void)!read(m_wake[0], drain, sizeof drain);
            }
            std::vector<Pair> kept;
            if (fds[0].revents & POLLIN) {
                // Polled from the next round on: `fds` holds only the pairs relayed so far.
                const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    sockaddr_in address = loopback(m_target);
                    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
                        0) {
                        kept.push_back({client, server});
                    } else {
                        close(server);
                        close(client);
                    }
                }
            }
            for (std::size_t i = 0; i < m_pairs.size(); ++i) {
                const Pair pair = m_pairs[i];
                const short fromClient = fds[2 + 2 * i].revents;
                const short fromServer = fds[3 + 2 * i].revents;
                bool open = true;
                if (fromClient & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = recv(pair.client, buffer.data(), buffer.size(), 0);
                    open = n > 0 && send(pair.server, buffer.data(), static_cast<std::size_t>(n),
                                         MSG_NOSIGNAL) == n;
                }
                if (open && (fromServer & (POLLIN | POLLHUP | POLLERR))) {
                    const ssize_t n = recv(pair.server, buffer.data(), buffer.size(), MSG_PEEK);
                    if (n <= 0) {
                        open = false;
                    } else {
                        bool cut = false;
                        bool stall = false;
                        const std::size_t take = allowance(static_cast<std::size_t>(n), cut, stall);
                        if (take > 0) {
                            (void)!recv(pair.server, buffer.data(), take, 0);
                            patch(buffer.data(), take);
                            open = send(pair.client, buffer.data(), take, MSG_NOSIGNAL) ==
                                   static_cast<ssize_t>(take);
                        }
                        if (cut) {
                            open = false;
                        }
                    }
                }
                if (open) {
                    kept.push_back(pair);
                } else {
                    shutdown(pair.client, SHUT_RDWR);
                    close(pair.client);
                    close(pair.server);
                }
            }
            m_pairs = std::move(kept);
        }
    }

    int m_target;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<Pair> m_pairs; // relay thread only
    std::mutex m_lock;
    bool m_armed = false;
    std::size_t m_budget = 0;
    std::size_t m_passed = 0;
    Mode m_mode = Mode::Cut;
    std::string m_from;
    std::string m_to;
};

/// The servers, started once per test program: RELSERVER (the sample database, login
/// kUser/kPassword), RELPROXY (a FaultProxy in front of RELSERVER), RELSLOW (answers every
/// request after 3 s), RELSILENT (accepts and never answers). FREETDSCONF names them.
class Environment {
public:
    static Environment& get() {
        static Environment environment;
        return environment;
    }
    [[nodiscard]] FaultProxy& proxy() { return *m_proxy; }
    [[nodiscard]] const std::string& confPath() const { return m_conf; }
    [[nodiscard]] testsupport::DevServer& server() { return *m_server; }

private:
    Environment()
        : m_server(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--sample", "--user", kUser, "--password", kPassword},
              "RELSERVER")),
          m_slow(std::make_unique<testsupport::DevServer>(
              std::vector<std::string>{"--sample", "--result-delay-ms", "3000"}, "RELSLOW")),
          m_silent(std::make_unique<testsupport::DevServer>(std::vector<std::string>{"--silent"},
                                                            "RELSILENT")),
          m_proxy(std::make_unique<FaultProxy>(m_server->port())) {
        m_conf = m_server->tempDir() + "/reliability.conf";
        testsupport::writeServerConf(m_conf, {{"RELSERVER", m_server->port()},
                                              {"RELPROXY", m_proxy->port()},
                                              {"RELSLOW", m_slow->port()},
                                              {"RELSILENT", m_silent->port()}});
    }

    std::unique_ptr<testsupport::DevServer> m_server;
    std::unique_ptr<testsupport::DevServer> m_slow;
    std::unique_ptr<testsupport::DevServer> m_silent;
    std::unique_ptr<FaultProxy> m_proxy;
    std::string m_conf;
};

/// A connection registered as `name` to `server` with the accepted login and database
/// pubs, not connected.
inline std::unique_ptr<tovrin::TSybConnect>
makeConnection(const std::string& name, const std::string& server = "RELSERVER") {
    Environment::get();
    auto connection = std::make_unique<tovrin::TSybConnect>(nullptr);
    connection->SetDatabaseName(name);
    connection->SetServerName(server);
    connection->SetUserName(kUser);
    connection->SetPassword(kPassword);
    connection->SetDatabase("pubs");
    connection->SetApplicationName("reliability_tests");
    return connection;
}

/// A query on the connection named `connection`, not open.
inline std::unique_ptr<tovrin::TSybQuery> makeQuery(const std::string& connection,
                                                    const std::string& sql) {
    auto query = std::make_unique<tovrin::TSybQuery>(nullptr);
    query->SetDatabaseName(connection);
    query->SQL()->SetText(sql);
    return query;
}

using testsupport::errorOf;
using testsupport::lockIsFree;
using testsupport::openDescriptors;

/// What every failed execution must leave: the query closed, the lock free, no query
/// marked as running on the connection.
inline void expectCleanFailure(tovrin::TSybQuery& query, tovrin::TSybConnect& connection,
                               const std::string& context) {
    EXPECT_FALSE(query.Active()) << context;
    EXPECT_TRUE(lockIsFree(connection)) << context;
    EXPECT_EQ(connection.ActiveQuery(), nullptr) << context;
}

/// Resident set size of this process in KiB (from /proc/self/statm).
inline long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace reliability

// The accepting side of the server: a listening socket, one thread per client, and a clean
// stop on request (SIGINT/SIGTERM through `requestStop`). Finished client threads are
// joined and their sockets closed as the listener goes, so nothing piles up per connection.
// Clients beyond the connection cap get a failed login at once, without a thread; when the
// process runs out of descriptors the client waiting is closed at once (a spare descriptor
// makes room to take it) and accepting pauses briefly instead of spinning on the error.
#pragma once

#include "Engine.h"
#include "Options.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devserver {

class Listener final {
public:
    /// Binds and listens on `bind`:`port` (0 = any free port). Throws std::runtime_error.
    Listener(const std::string& bind, uint16_t port);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    /// The port actually bound.
    [[nodiscard]] uint16_t port() const noexcept { return m_port; }

    /// Accepts and serves up to `maxConnections` clients at once until `requestStop`; then
    /// stops every client and returns.
    void run(Database& database, const ServerConfig& config, const SessionOptions& options,
             int maxConnections);

    /// Asks `run` to return. Async-signal-safe.
    void requestStop() noexcept;

private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    /// A refused client: told why, then closed once it has read that or after a while.
    struct Refused {
        int fd = -1;
        std::chrono::steady_clock::time_point closeBy;
    };
    void reap(bool all);
    /// Takes the next client; -1 when there is none or accepting must pause.
    int acceptClient();
    void refuse(int fd, const ServerConfig& config);
    /// Reads and drops what refused clients send; closes those done or out of time.
    void tendRefused(bool all);

    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    int m_spareFd = -1; ///< given up to take (and close) a client when descriptors run out
    std::chrono::steady_clock::time_point m_pausedUntil;
    std::vector<Refused> m_refused;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::list<std::unique_ptr<Client>> m_clients;
};

} // namespace devserver

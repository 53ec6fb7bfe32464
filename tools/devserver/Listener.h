// The accepting side of the server: a listening socket, one thread per client, and a clean
// stop on request (SIGINT/SIGTERM through `requestStop`). Finished client threads are
// joined and their sockets closed as the listener goes, so nothing piles up per connection.
#pragma once

#include "Engine.h"
#include "Options.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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

    /// Accepts and serves clients until `requestStop`; then stops every client and returns.
    void run(Database& database, const ServerConfig& config, const SessionOptions& options);

    /// Asks `run` to return. Async-signal-safe.
    void requestStop() noexcept;

private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void reap(bool all);

    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::list<std::unique_ptr<Client>> m_clients;
};

} // namespace devserver

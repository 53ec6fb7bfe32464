// Accepting connections and running one thread per client.
#include "Listener.h"

#include "ClientSession.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace devserver {

namespace {

constexpr int kReapIntervalMs = 200;
// How long accepting pauses when the process is out of descriptors or memory.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
// Refused clients held at once to be told why, and for how long at most.
constexpr size_t kMaxRefused = 64;
constexpr auto kRefusedLinger = std::chrono::seconds(2);
// What a client beyond the connection cap is told, as Adaptive Server says it.
constexpr int32_t kNoUserConnections = 1601;
constexpr int kFirstSpid = 11;
constexpr int kLastSpid = 32000;

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

Listener::Listener(const std::string& bind, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, bind.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("--bind expects an IPv4 address, not '" + bind + "'");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw systemError("socket");
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const auto e = systemError("cannot listen on " + bind + ":" + std::to_string(port));
        ::close(m_listenFd);
        throw e;
    }
    if (::listen(m_listenFd, 128) != 0) {
        const auto e = systemError("listen");
        ::close(m_listenFd);
        throw e;
    }
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        const auto e = systemError("pipe");
        ::close(m_listenFd);
        throw e;
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

Listener::~Listener() {
    m_stopping = true;
    reap(true);
    tendRefused(true);
    ::close(m_listenFd);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    if (m_spareFd >= 0)
        ::close(m_spareFd);
}

void Listener::requestStop() noexcept {
    m_stopping = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &byte, 1);
}

void Listener::reap(bool all) {
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        Client& c = **it;
        if (all && !c.finished)
            ::shutdown(c.fd, SHUT_RDWR);
        if (all || c.finished) {
            if (c.thread.joinable())
                c.thread.join();
            ::close(c.fd);
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
}

int Listener::acceptClient() {
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        return fd;
    if (errno == EMFILE || errno == ENFILE) {
        // Out of descriptors: the spare one makes room to take the client and close it, so
        // that it learns at once instead of waiting in the backlog for its login to time out.
        if (m_spareFd >= 0) {
            ::close(m_spareFd);
            const int taken = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (taken >= 0)
                ::close(taken);
            m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        m_pausedUntil = std::chrono::steady_clock::now() + kAcceptPause;
    } else if (errno == ENOBUFS || errno == ENOMEM) {
        m_pausedUntil = std::chrono::steady_clock::now() + kAcceptPause;
    }
    return -1; // also when the client went away before it was taken
}

void Listener::refuse(int fd, const ServerConfig& config) {
    if (m_refused.size() >= kMaxRefused) {
        ::close(fd);
        return;
    }
    ServerMessage message;
    message.number = kNoUserConnections;
    message.severity = 17;
    message.text = "There are not enough 'user connections' available to start a new process. "
                   "Retry when there are fewer active users, or ask your System Administrator to "
                   "reconfigure the server with more user connections.";
    ClientSession::refuse(fd, config, message);
    ::shutdown(fd, SHUT_WR);
    // Closed only once the client has read the answer: closing with its login unread
    // would reset the connection and lose the answer.
    m_refused.push_back({fd, std::chrono::steady_clock::now() + kRefusedLinger});
}

void Listener::tendRefused(bool all) {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(m_refused, [&](const Refused& r) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(r.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        }
        const bool done =
            all || n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) || now >= r.closeBy;
        if (done)
            ::close(r.fd);
        return done;
    });
}

void Listener::run(Database& database, const ServerConfig& config, const SessionOptions& options,
                   int maxConnections) {
    int nextSpid = kFirstSpid;
    while (!m_stopping) {
        const bool paused = std::chrono::steady_clock::now() < m_pausedUntil;
        std::vector<pollfd> fds = {{m_wakeRead, POLLIN, 0}, {paused ? -1 : m_listenFd, POLLIN, 0}};
        for (const Refused& r : m_refused)
            fds.push_back({r.fd, POLLIN, 0});
        const int r = ::poll(fds.data(), fds.size(), paused ? 20 : kReapIntervalMs);
        reap(false);
        if (r < 0 && errno != EINTR)
            throw systemError("poll");
        if (!m_refused.empty())
            tendRefused(false);
        if (m_stopping)
            break;
        if (r <= 0 || !(fds[1].revents & POLLIN))
            continue;
        const int fd = acceptClient();
        if (fd < 0)
            continue;
        if (m_clients.size() >= static_cast<size_t>(maxConnections)) {
            refuse(fd, config);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int spid = nextSpid;
        nextSpid = nextSpid >= kLastSpid ? kFirstSpid : nextSpid + 1;
        auto client = std::make_unique<Client>();
        client->fd = fd;
        Client* c = client.get();
        try {
            c->thread = std::thread([c, spid, &database, &config, &options, this] {
                if (options.silent) {
                    ClientSession::runSilent(c->fd, m_stopping);
                } else {
                    ClientSession session(c->fd, spid, database, config, options, m_stopping);
                    session.run();
                }
                c->finished = true;
            });
        } catch (const std::system_error&) {
            ::close(fd); // no thread available: refuse this client, keep serving others
            continue;
        }
        m_clients.push_back(std::move(client));
    }
    reap(true);
    tendRefused(true);
}

} // namespace devserver

// Accepting connections and running one thread per client.
#include "Listener.h"

#include "ClientSession.h"

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
}

Listener::~Listener() {
    m_stopping = true;
    reap(true);
    ::close(m_listenFd);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
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

void Listener::run(Database& database, const ServerConfig& config, const SessionOptions& options) {
    int nextSpid = kFirstSpid;
    while (!m_stopping) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        const int r = ::poll(fds, 2, kReapIntervalMs);
        reap(false);
        if (r < 0 && errno != EINTR)
            throw systemError("poll");
        if (m_stopping)
            break;
        if (r <= 0 || !(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue; // the client went away before we took it, or out of descriptors
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
}

} // namespace devserver

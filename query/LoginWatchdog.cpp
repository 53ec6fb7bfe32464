// The login watchdog. On Linux the socket that a blocked thread waits on is found through
// /proc/self/task/<tid>/syscall: while the thread sits in poll(2) or ppoll(2) the file
// names the call and its arguments, and the pollfd array is read from the process's own
// memory. The socket is duplicated, the thread is checked to be still in the same call,
// and only then is the duplicate shut down, so a descriptor number reused in between can
// never be touched. Elsewhere the watchdog does nothing.
#include "tovrin5/query/LoginWatchdog.h"

#include <chrono>

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#endif

namespace tovrin::detail {

namespace {

// FreeTDS reports the timeout at the limit itself; the socket is shut down a little later
// so that its own timeout message comes first.
constexpr std::chrono::milliseconds kGrace{300};
constexpr std::chrono::milliseconds kRetry{100};

#if defined(__linux__)

std::string readSyscallLine(long threadId) {
    const std::string path = "/proc/self/task/" + std::to_string(threadId) + "/syscall";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (file == nullptr) {
        return {};
    }
    char line[256] = {};
    const bool ok = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    return ok ? std::string(line) : std::string();
}

bool isStreamSocket(int fd) {
    int domain = 0;
    int type = 0;
    socklen_t length = sizeof domain;
    if (getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0) {
        return false;
    }
    length = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        return false;
    }
    return (domain == AF_INET || domain == AF_INET6) && type == SOCK_STREAM;
}

// Shuts down the TCP socket that thread `threadId` is polling; false when the thread is
// not waiting in poll on such a socket right now.
bool breakWait(long threadId) {
    const std::string before = readSyscallLine(threadId);
    unsigned long number = 0;
    unsigned long fdsAddress = 0;
    unsigned long count = 0;
    if (std::sscanf(before.c_str(), "%lu %lx %lx", &number, &fdsAddress, &count) != 3) {
        return false; // running, or not in a system call
    }
    if ((number != SYS_poll && number != SYS_ppoll) || count == 0 || count > 16) {
        return false;
    }
    pollfd fds[16];
    iovec local{fds, count * sizeof(pollfd)};
    iovec remote{reinterpret_cast<void*>(fdsAddress), count * sizeof(pollfd)};
    if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) !=
        static_cast<ssize_t>(count * sizeof(pollfd))) {
        return false;
    }
    for (unsigned long i = 0; i < count; ++i) {
        const int copy = fcntl(fds[i].fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            continue;
        }
        bool done = false;
        if (isStreamSocket(copy) && readSyscallLine(threadId) == before) {
            done = shutdown(copy, SHUT_RDWR) == 0;
        }
        close(copy);
        if (done) {
            return true;
        }
    }
    return false;
}

long currentThreadId() {
    return static_cast<long>(syscall(SYS_gettid));
}

#else

bool breakWait(long) {
    return false;
}

long currentThreadId() {
    return 0;
}

#endif

} // namespace

LoginWatchdog::LoginWatchdog(int seconds) : m_threadId(currentThreadId()) {
    if (seconds > 0) {
        m_thread = std::thread([this, seconds] { watch(seconds); });
    }
}

LoginWatchdog::~LoginWatchdog() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_done = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool LoginWatchdog::fired() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_fired;
}

void LoginWatchdog::watch(int seconds) {
    std::unique_lock<std::mutex> lock(m_lock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds) + kGrace;
    if (m_wake.wait_until(lock, deadline, [this] { return m_done; })) {
        return;
    }
    // The login thread may be busy elsewhere at this moment (name resolution, message
    // handling): try again until it is found waiting or the login ends.
    while (!m_done) {
        if (breakWait(m_threadId)) {
            m_fired = true;
            return;
        }
        m_wake.wait_for(lock, kRetry, [this] { return m_done; });
    }
}

} // namespace tovrin::detail

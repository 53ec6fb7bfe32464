// Keeps a login within its time limit. FreeTDS's ct_connect reports the login timeout as
// a message but, with TDS 5.0, then goes on waiting for ever on a server that accepted the
// TCP connection and never answers. The watchdog, started just before ct_connect, ends
// such a wait: shortly after the time limit it shuts the login's socket down (the socket
// the waiting thread is polling), and ct_connect returns with its timeout, end-of-file and
// connection-failed messages.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tovrin::detail {

class LoginWatchdog final {
public:
    /// Watches the calling thread's login for `seconds` (plus a short grace); a limit of 0
    /// or less watches nothing.
    explicit LoginWatchdog(int seconds);
    /// Stops watching; returns once the watching thread has ended.
    ~LoginWatchdog();
    LoginWatchdog(const LoginWatchdog&) = delete;
    LoginWatchdog& operator=(const LoginWatchdog&) = delete;

    /// True when the watchdog had to end the login.
    [[nodiscard]] bool fired() const;

private:
    void watch(int seconds);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    long m_threadId = 0;
    std::thread m_thread;
};

} // namespace tovrin::detail

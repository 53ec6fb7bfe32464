// Password sources and the no-echo prompt.
#include "Password.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace tovrin::sqltool {

std::string resolvePassword(const std::optional<std::string>& given, const char* environmentValue,
                            const PasswordPrompt& prompt) {
    if (given)
        return *given;
    if (environmentValue != nullptr)
        return environmentValue;
    if (prompt) {
        if (auto answered = prompt())
            return *answered;
    }
    return {};
}

namespace {

/// Restores the terminal's settings when the reading ends, however it ends.
class EchoOff final {
public:
    explicit EchoOff(int fd) : m_fd(fd) {
        if (tcgetattr(fd, &m_saved) != 0)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        m_active = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active)
            tcsetattr(m_fd, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

volatile std::sig_atomic_t g_caughtSignal = 0;

extern "C" void notePromptSignal(int signal) {
    g_caughtSignal = signal;
}

/// While the prompt waits, the signals that end a program at the terminal (Ctrl-C, Ctrl-\,
/// a hang-up, a kill) are only noted, so that the echo is switched back on first; the
/// caller then raises the noted signal again under its former handling. The signals stay
/// blocked except inside waitForInput, so that none can slip in between a look at the
/// note and the wait. Signals the program ignores stay ignored.
class PromptSignals final {
public:
    PromptSignals() {
        g_caughtSignal = 0;
        struct sigaction note {};
        note.sa_handler = notePromptSignal;
        sigemptyset(&note.sa_mask);
        sigset_t blocked;
        sigemptyset(&blocked);
        for (std::size_t k = 0; k < kCount; ++k) {
            if (sigaction(kSignals[k], nullptr, &m_saved[k]) != 0 ||
                m_saved[k].sa_handler == SIG_IGN)
                continue;
            m_installed[k] = sigaction(kSignals[k], &note, nullptr) == 0;
            sigaddset(&blocked, kSignals[k]);
        }
        pthread_sigmask(SIG_BLOCK, &blocked, &m_formerMask);
    }
    ~PromptSignals() {
        // A signal that came while blocked is noted here, before the former handling is back.
        pthread_sigmask(SIG_SETMASK, &m_formerMask, nullptr);
        for (std::size_t k = 0; k < kCount; ++k) {
            if (m_installed[k])
                sigaction(kSignals[k], &m_saved[k], nullptr);
        }
    }
    PromptSignals(const PromptSignals&) = delete;
    PromptSignals& operator=(const PromptSignals&) = delete;

    /// Waits until fd has input; false when a signal was noted (before or during the wait).
    bool waitForInput(int fd) const {
        for (;;) {
            if (g_caughtSignal != 0)
                return false;
            pollfd wait{fd, POLLIN, 0};
            // The former mask lets the signals in during the wait only.
            const int ready = ppoll(&wait, 1, nullptr, &m_formerMask);
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return true; // let the read report the failure
        }
    }

private:
    static constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
    static constexpr std::size_t kCount = sizeof kSignals / sizeof kSignals[0];
    struct sigaction m_saved[kCount] {};
    bool m_installed[kCount] = {};
    sigset_t m_formerMask{};
};

} // namespace

std::optional<std::string> readPasswordFromTerminal(const std::string& promptText) {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> result;
    {
        PromptSignals signals;
        EchoOff echoOff(fd);
        if (write(fd, promptText.data(), promptText.size()) >= 0) {
            std::string line;
            char c = 0;
            ssize_t n = 0;
            while (signals.waitForInput(fd)) {
                n = read(fd, &c, 1);
                if (n == 1 && c != '\n') {
                    line.push_back(c);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            if (g_caughtSignal == 0 && (n >= 0 || !line.empty()))
                result = std::move(line);
        }
        // The echo comes back on here, then the former signal handling.
    }
    // Read after the former handling is back, so that a signal caught in between counts.
    const int caught = g_caughtSignal;
    if (caught != 0) {
        // End the line the prompt was on, then let the signal do what it would have done.
        const char newline = '\n';
        [[maybe_unused]] const ssize_t ignored = write(fd, &newline, 1);
        close(fd);
        std::raise(caught);
        return std::nullopt;
    }
    close(fd);
    return result;
}

} // namespace tovrin::sqltool

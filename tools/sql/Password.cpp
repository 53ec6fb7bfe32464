// Password sources and the no-echo prompt.
#include "Password.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void notePromptSignal(int signal) {
    caughtSignal = signal;
}

/// While the prompt waits, the signals that end a program at the terminal (Ctrl-C, Ctrl-\,
/// a hang-up, a kill) only interrupt the read, so that the echo is switched back on; the
/// caller then raises the signal again under its former handling.
class PromptSignals final {
public:
    PromptSignals() {
        caughtSignal = 0;
        struct sigaction note {};
        note.sa_handler = notePromptSignal;
        sigemptyset(&note.sa_mask);
        note.sa_flags = 0; // no SA_RESTART: the read returns with EINTR
        for (std::size_t k = 0; k < kCount; ++k)
            m_installed[k] = sigaction(kSignals[k], &note, &m_saved[k]) == 0;
    }
    ~PromptSignals() {
        for (std::size_t k = 0; k < kCount; ++k) {
            if (m_installed[k])
                sigaction(kSignals[k], &m_saved[k], nullptr);
        }
    }
    PromptSignals(const PromptSignals&) = delete;
    PromptSignals& operator=(const PromptSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
    static constexpr std::size_t kCount = sizeof kSignals / sizeof kSignals[0];
    struct sigaction m_saved[kCount] {};
    bool m_installed[kCount] = {};
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
            for (;;) {
                n = read(fd, &c, 1);
                if (n == 1 && c != '\n') {
                    line.push_back(c);
                    continue;
                }
                if (n < 0 && errno == EINTR && caughtSignal == 0)
                    continue;
                break;
            }
            if (caughtSignal == 0 && (n >= 0 || !line.empty()))
                result = std::move(line);
        }
        // The echo comes back on here, then the former signal handling.
    }
    // Read after the former handling is back, so that a signal caught in between counts.
    const int caught = caughtSignal;
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

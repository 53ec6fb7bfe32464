// Password sources and the no-echo prompt.
#include "Password.h"

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

} // namespace

std::optional<std::string> readPasswordFromTerminal(const std::string& promptText) {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> result;
    {
        EchoOff echoOff(fd);
        if (write(fd, promptText.data(), promptText.size()) >= 0) {
            std::string line;
            char c = 0;
            ssize_t n = 0;
            while ((n = read(fd, &c, 1)) == 1 && c != '\n')
                line.push_back(c);
            if (n >= 0 || !line.empty())
                result = std::move(line);
        }
    }
    close(fd);
    return result;
}

} // namespace tovrin::sqltool

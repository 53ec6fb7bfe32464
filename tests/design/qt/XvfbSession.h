// A virtual X server (Xvfb) for the life of an object, on a display number it chooses
// itself; DISPLAY names it while the object lives.
#pragma once

#include <sys/types.h>

#include <string>

namespace designtest {

class XvfbSession {
public:
    /// Starts Xvfb with one 1280 x 1024 screen of 24-bit colour. Throws std::runtime_error
    /// when it cannot be started (program missing, no display reported within 30 s).
    XvfbSession();
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    /// ":<n>".
    [[nodiscard]] const std::string& display() const noexcept { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

} // namespace designtest

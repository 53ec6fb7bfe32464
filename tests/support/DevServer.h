// Test helper: runs the development server (tovrin-devserver) for the lifetime of an
// object, on a free loopback port, and points FreeTDS at it.
//
//   testsupport::DevServer server({"--sample"});   // waits for "listening on ..."
//   // FREETDSCONF now names a freetds.conf with a section "DEVSERVER" for this server:
//   // host 127.0.0.1, its port, tds version = 5.0, client charset = UTF-8 (writeConf
//   // writes it with another client charset or none).
//
// The destructor stops the server (SIGTERM, then SIGKILL if it does not end) and removes
// the temporary directory holding freetds.conf; a server also ends when the thread that
// started it ends (or the test program dies), so create it in the test's own thread.
// FREETDSCONF is process-wide: when several
// servers run at once, the one started last is the one FreeTDS finds under its name (give
// each a different name and use `confPath()` if a test needs both).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class DevServer final {
public:
    /// Starts the server with `--port 0` and `extraArgs`; `serverName` names the
    /// freetds.conf section. Throws std::runtime_error if the server does not start.
    explicit DevServer(const std::vector<std::string>& extraArgs = {},
                       const std::string& serverName = "DEVSERVER");
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    /// The TCP port the server listens on (127.0.0.1).
    [[nodiscard]] int port() const noexcept { return m_port; }
    /// The freetds.conf section name that reaches this server.
    [[nodiscard]] const std::string& serverName() const noexcept { return m_serverName; }
    /// Path of the freetds.conf written for this server.
    [[nodiscard]] const std::string& confPath() const noexcept { return m_confPath; }
    /// A temporary directory removed with this object (holds freetds.conf; usable for
    /// scratch files).
    [[nodiscard]] const std::string& tempDir() const noexcept { return m_dir; }
    [[nodiscard]] pid_t pid() const noexcept { return m_pid; }
    /// True while the server process has not ended.
    [[nodiscard]] bool running();
    /// Stops the server (SIGTERM) and waits for it; returns its exit status as waitpid
    /// reports it (or -1 if already reaped). Called by the destructor if still running.
    int stop();
    /// Points FREETDSCONF at this server's freetds.conf again.
    void activate() const;
    /// Rewrites this server's freetds.conf with `clientCharset` as its client charset, or,
    /// when empty, with none (FreeTDS then takes the character set of the program's locale,
    /// ISO-8859-1 under the C locale), and activates it.
    void writeConf(const std::string& clientCharset);

    /// Path of the tovrin-devserver program.
    static std::string programPath();

private:
    std::string m_serverName;
    std::string m_dir;
    std::string m_confPath;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace testsupport

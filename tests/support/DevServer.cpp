// Starting and stopping the development server for tests.
#include "support/DevServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {
constexpr int kStartTimeoutMs = 60000;
constexpr int kStopTimeoutMs = 10000;
} // namespace

std::string DevServer::programPath() {
#ifdef TOVRIN_DEVSERVER_PATH
    return TOVRIN_DEVSERVER_PATH;
#else
    throw std::runtime_error("the tovrin-devserver program is not part of this build");
#endif
}

DevServer::DevServer(const std::vector<std::string>& extraArgs, const std::string& serverName)
    : m_serverName(serverName) {
    char pattern[] = "/tmp/tovrin-devserver-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    m_dir = pattern;

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const std::string program = programPath();
    std::vector<std::string> args = {program, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // fork + exec rather than posix_spawn: the child asks to be sent SIGTERM when the test
    // program dies (crash included), so no server outlives it. Only async-signal-safe calls
    // happen between fork and exec.
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(out[1], STDOUT_FILENO);
        // Keep no descriptor of the test program (client sockets above all: a copy held by
        // the server would hide a client's close from the server it talks to).
        ::close_range(3, ~0U, 0);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(out[1]);
    if (m_pid < 0) {
        ::close(out[0]);
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(forkError));
    }

    // Read the one line "listening on ADDR:PORT".
    std::string line;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        const int r = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (r < 0 && errno == EINTR)
            continue;
        char buffer[256];
        const ssize_t n = r > 0 ? ::read(out[0], buffer, sizeof buffer) : -1;
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    const std::string prefix = "listening on ";
    const size_t colon = line.rfind(':');
    if (line.compare(0, prefix.size(), prefix) != 0 || colon == std::string::npos) {
        stop();
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error("the development server did not start (output: '" + line + "')");
    }
    m_port = std::atoi(line.c_str() + colon + 1);

    m_confPath = m_dir + "/freetds.conf";
    writeConf("UTF-8");
}

void DevServer::writeConf(const std::string& clientCharset) {
    const std::string charsetLine =
        clientCharset.empty() ? std::string() : "\tclient charset = " + clientCharset + "\n";
    std::ofstream conf(m_confPath, std::ios::trunc);
    conf << "[global]\n"
         << charsetLine << "[" << m_serverName << "]\n"
         << "\thost = 127.0.0.1\n"
         << "\tport = " << m_port << "\n"
         << "\ttds version = 5.0\n"
         << charsetLine;
    conf.close();
    activate();
}

DevServer::~DevServer() {
    stop();
    const char* current = std::getenv("FREETDSCONF");
    if (current && m_confPath == current)
        ::unsetenv("FREETDSCONF");
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void DevServer::activate() const {
    ::setenv("FREETDSCONF", m_confPath.c_str(), 1);
}

bool DevServer::running() {
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

int DevServer::stop() {
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int waited = 0; waited < kStopTimeoutMs; waited += 10) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno != EINTR)) {
            m_pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}

} // namespace testsupport

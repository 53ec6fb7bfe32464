// tovrin-sql on a terminal (a pseudo-terminal): the password prompt without echo, line
// editing with numbered prompts and "go", the table format chosen for a terminal and the
// progress line on standard error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <csignal>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "support/DevServer.h"
#include "tool_process.h"

namespace {

constexpr const char* kPassword = "tty-pw-4711";

struct TerminalRun {
    int exitCode = -1;
    std::string screen;     ///< everything the program wrote to the terminal
    bool echoAfter = false; ///< whether the terminal echoed input once the program had ended
};

/// Runs tovrin-sql on a new pseudo-terminal; for each step, waits until the screen shows
/// `first` (after what the previous steps saw) and then types `second`.
/// `stdoutFile`, when given, receives the program's standard output instead of the terminal.
TerminalRun runOnTerminal(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& steps,
                          const std::string& stdoutFile = "") {
    const tooltest::CStringArray argv = tooltest::toolArguments(args);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        // As from an interactive shell: a suite started in the background of another
        // shell would otherwise pass on Ctrl-C and Ctrl-\ as ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        unsetenv("TOVRIN_PASSWORD");
        if (!stdoutFile.empty()) {
            const int fd = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, STDOUT_FILENO);
        }
        execv(argv.data()[0], argv.data());
        _exit(127);
    }
    TerminalRun run;
    if (pid < 0)
        return run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::size_t seen = 0;
    std::size_t step = 0;
    for (;;) {
        if (step < steps.size()) {
            const std::size_t at = run.screen.find(steps[step].first, seen);
            if (at != std::string::npos) {
                seen = at + steps[step].first.size();
                const std::string& typed = steps[step].second;
                // As a person types: the keys come a moment after the prompt, not in the
                // instant the line editor switches the terminal's mode for it.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (write(master, typed.data(), typed.size()) < 0)
                    break;
                ++step;
                continue;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // the program ended (EIO once the slave side is closed)
        run.screen.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    // The terminal's settings outlive the program while the master side is open.
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios after{};
    run.echoAfter = slave >= 0 && tcgetattr(slave, &after) == 0 && (after.c_lflag & ECHO) != 0;
    if (slave >= 0)
        close(slave);
    close(master);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

class ToolTerminal : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<testsupport::DevServer>(
            std::vector<std::string>{"--user", "sa", "--password", kPassword}, "TTYSERVER");
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override { s_server->activate(); }
    static inline std::unique_ptr<testsupport::DevServer> s_server;
};

} // namespace

TEST_F(ToolTerminal, PromptsForThePasswordWithoutEchoAndRunsTypedBatches) {
    const TerminalRun run = runOnTerminal({"-S", "TTYSERVER", "-U", "sa"},
                                          {{"Password: ", std::string(kPassword) + "\n"},
                                           {"1> ", "select 41 + 1 as answer\n"},
                                           {"2> ", "go\n"},
                                           {"(1 row affected)", "select 'dropped'\n"},
                                           {"2> ", "reset\n"},
                                           {"1> ", "quit\n"}});
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_TRUE(run.echoAfter);
    EXPECT_EQ(run.screen.find(kPassword), std::string::npos) << run.screen;
    // On a terminal the table format is the default.
    EXPECT_NE(run.screen.find("answer\r\n-----------\r\n         42\r\n(1 row affected)"),
              std::string::npos)
        << run.screen;
    EXPECT_EQ(run.screen.find("dropped\r\n-"), std::string::npos); // the reset batch never ran
}

TEST_F(ToolTerminal, CtrlCAtThePasswordPromptEndsTheProgramWithTheEchoBackOn) {
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa"}, {{"Password: ", "half\x03"}});
    EXPECT_EQ(run.exitCode, 128 + SIGINT) << run.screen;
    EXPECT_TRUE(run.echoAfter) << run.screen;
    EXPECT_EQ(run.screen.find("half"), std::string::npos) << run.screen;
    EXPECT_EQ(run.screen.find("1> "), std::string::npos) << run.screen; // no session started
}

TEST_F(ToolTerminal, ServerErrorsLeaveTheSessionOpen) {
    const TerminalRun run = runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                                          {{"1> ", "select * from tty_no_such_table\n"},
                                           {"2> ", "go\n"},
                                           {"Msg 208, Level 16", "select 7 as seven\n"},
                                           {"2> ", "go\n"},
                                           {"(1 row affected)", "exit\n"}});
    EXPECT_EQ(run.exitCode, 1)
        << run.screen; // the session went on, and its status tells of the error
    EXPECT_NE(run.screen.find("seven"), std::string::npos) << run.screen;
}

TEST_F(ToolTerminal, ProgressLineOnlyOnATerminal) {
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword, "-f", "csv", "-Q",
                       "select 1 as a\nwaitfor delay '00:00:01'\nselect 2 as b"},
                      {});
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_NE(run.screen.find("rows/s"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("\r\033[K"), std::string::npos); // and it is erased again
}

TEST_F(ToolTerminal, CtrlCCancelsTheRunningBatchAndKeepsTheSessionAndItsTransaction) {
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                      {{"1> ", "begin tran\n"},
                       {"2> ", "go\n"},
                       {"1> ", "waitfor delay '00:00:20'\nselect 'too late' as never\n"},
                       {"3> ", "go\n"},
                       {"0 results, 0 rows", "\x03"}, // the progress line: the batch is running
                       {"Query cancelled", "select @@trancount as open_transactions\n"},
                       {"2> ", "go\n"},
                       {"(1 row affected)", "rollback tran\n"},
                       {"2> ", "go\n"},
                       {"1> ", "quit\n"}});
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_EQ(run.screen.find("too late\r\n-"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("open_transactions\r\n-----------------\r\n                1\r\n"),
              std::string::npos)
        << run.screen;
}

TEST_F(ToolTerminal, CtrlCAtThePromptAndCtrlDDropTheTypedBatch) {
    const TerminalRun run = runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                                          {{"1> ", "select 'dropped' as d\n"},
                                           {"2> ", "\x03"},
                                           {"1> ", "select 'kept' as k\n"},
                                           {"2> ", "go\n"},
                                           // the prompt after the result, not typed ahead of it
                                           {"1> ", "select 'half typed' as h\n"},
                                           {"2> ", "\x04"}});
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_NE(run.screen.find("kept\r\n"), std::string::npos) << run.screen;
    EXPECT_EQ(run.screen.find("dropped\r\n-"), std::string::npos) << run.screen;
    EXPECT_EQ(run.screen.find("half typed\r\n-"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("not sent"), std::string::npos) << run.screen;
}

TEST_F(ToolTerminal, ALostConnectionIsAnnouncedAndFailsTheSession) {
    testsupport::DevServer dropping(
        {"--user", "sa", "--password", kPassword, "--drop-after-rows", "3"}, "TTYDROP");
    const TerminalRun run =
        runOnTerminal({"-S", "TTYDROP", "-U", "sa", "-P", kPassword},
                      {{"1> ", "begin tran\n"},
                       {"2> ", "go\n"},
                       {"1> ", "select 10 as n union all select 11 union all select 12 union all "
                               "select 13 union all select 14\n"},
                       {"2> ", "go\n"},
                       {"logged in again", "select @@trancount as open_transactions\n"},
                       {"2> ", "go\n"},
                       {"(1 row affected)", "quit\n"}});
    s_server->activate();
    EXPECT_EQ(run.exitCode, 1) << run.screen;
    EXPECT_NE(run.screen.find("connection lost; logged in again: any open transaction was rolled "
                              "back, database is now "),
              std::string::npos)
        << run.screen;
    EXPECT_NE(run.screen.find("open_transactions\r\n-----------------\r\n                0\r\n"),
              std::string::npos)
        << run.screen;
}

TEST_F(ToolTerminal, HistoryIsKeptPrivateAndWithoutPasswords) {
    const std::string home = s_server->tempDir() + "/home";
    mkdir(home.c_str(), 0700);
    const char* former = std::getenv("HOME");
    const std::string saved = former != nullptr ? former : "";
    setenv("HOME", home.c_str(), 1);
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                      {{"1> ", "select 'remembered' as r\n"},
                       {"2> ", "go\n"},
                       {"(1 row affected)", "exec sp_password 'old', 'new-secret'\n"},
                       {"2> ", "reset\n"},
                       {"1> ", "quit\n"}});
    if (former != nullptr)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    const std::string path = home + "/.tovrin_sql_history";
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("remembered"), std::string::npos) << text.str();
    EXPECT_EQ(text.str().find("new-secret"), std::string::npos) << text.str();
}

TEST_F(ToolTerminal, ThePromptStaysOnTheTerminalWhenTheResultsGoElsewhere) {
    const std::string results = s_server->tempDir() + "/redirected.txt";
    const TerminalRun run = runOnTerminal(
        {"-S", "TTYSERVER", "-U", "sa", "-P", kPassword, "-f", "csv", "-q"},
        {{"1> ", "select 'to the file' as where_to\n"}, {"2> ", "go\n"}, {"1> ", "quit\n"}},
        results);
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    std::ifstream in(results);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "where_to\r\nto the file\r\n");
    EXPECT_EQ(run.screen.find("to the file\r\n"), std::string::npos) << run.screen;
}

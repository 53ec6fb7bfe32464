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
#include <functional>
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

/// Typed as a step: closes the terminal instead (the user closes the window).
constexpr const char* kHangUp = "\x01hang up";

struct TerminalRun {
    int exitCode = -1;
    std::string screen;     ///< everything the program wrote to the terminal
    bool echoAfter = false; ///< whether the terminal echoed input once the program had ended
};

/// Runs tovrin-sql on a new pseudo-terminal; for each step, waits until the screen shows
/// `first` (after what the previous steps saw) and then types `second` (kHangUp closes
/// the terminal). `stdoutFile`, when given, receives the program's standard output
/// instead of the terminal. `beforeStep`, when given, is called with the step's index
/// before it is typed.
TerminalRun runOnTerminal(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& steps,
                          const std::string& stdoutFile = "",
                          const std::function<void(std::size_t)>& beforeStep = {}) {
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
                if (beforeStep)
                    beforeStep(step);
                if (typed == kHangUp) {
                    close(master);
                    master = -1;
                    break;
                }
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
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (master < 0)
        return run; // hung up
    // The terminal's settings outlive the program while the master side is open.
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios after{};
    run.echoAfter = slave >= 0 && tcgetattr(slave, &after) == 0 && (after.c_lflag & ECHO) != 0;
    if (slave >= 0)
        close(slave);
    close(master);
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

namespace {

/// Writes a scratch file into the suite's directory and returns its path.
std::string scratchFile(const std::string& dir, const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    tooltest::writeFile(path, text);
    return path;
}

/// A script whose second batch waits: Ctrl-C lands in it. Its last batches, one of them
/// in a nested file, must never run once it is cancelled.
std::string waitingScript(const std::string& dir) {
    const std::string nested = scratchFile(dir, "nested.sql", "select 'nested ran' as b3\ngo\n");
    return scratchFile(dir, "script.sql",
                       "select 'first ran' as b1\ngo\nwaitfor delay '00:00:20'\n"
                       "select 'second ran' as b2\ngo\n:r " +
                           nested + "\nselect 'fourth ran' as b4\ngo\n");
}

/// The history file of a session run with HOME set to `home`.
std::string historyText(const std::string& home) {
    std::ifstream in(home + "/.tovrin_sql_history");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Sets HOME for the sessions a test starts, and puts it back afterwards.
class HomeFor {
public:
    explicit HomeFor(const std::string& home) {
        mkdir(home.c_str(), 0700);
        const char* former = std::getenv("HOME");
        m_had = former != nullptr;
        m_saved = m_had ? former : "";
        setenv("HOME", home.c_str(), 1);
    }
    ~HomeFor() {
        if (m_had)
            setenv("HOME", m_saved.c_str(), 1);
        else
            unsetenv("HOME");
    }
    HomeFor(const HomeFor&) = delete;
    HomeFor& operator=(const HomeFor&) = delete;

private:
    bool m_had = false;
    std::string m_saved;
};

} // namespace

TEST_F(ToolTerminal, CtrlCDuringAReadFileDropsTheRestOfItAndOfTheFilesItReads) {
    const std::string script = waitingScript(s_server->tempDir());
    const TerminalRun run = runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                                          {{"1> ", ":r " + script + "\n"},
                                           {"0 results, 0 rows", "\x03"},
                                           {"was not run", ""},
                                           {"1> ", "select 'session goes on' as after\n"},
                                           {"2> ", "go\n"},
                                           {"(1 row affected)", "quit\n"}});
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_NE(run.screen.find("first ran"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("Query cancelled"), std::string::npos) << run.screen;
    for (const char* never : {"second ran\r\n", "nested ran\r\n", "fourth ran\r\n"})
        EXPECT_EQ(run.screen.find(never), std::string::npos) << never << "\n" << run.screen;
    EXPECT_NE(run.screen.find("session goes on"), std::string::npos) << run.screen;
}

TEST_F(ToolTerminal, CtrlCEndsAScriptRunWithStatusOne) {
    const std::string script = waitingScript(s_server->tempDir());
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword, "-f", "csv", "-i", script},
                      {{"0 results, 0 rows", "\x03"}});
    EXPECT_EQ(run.exitCode, 1) << run.screen;
    EXPECT_NE(run.screen.find("first ran"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("interrupted: the run stops"), std::string::npos) << run.screen;
    for (const char* never : {"second ran\r\n", "nested ran\r\n", "fourth ran\r\n"})
        EXPECT_EQ(run.screen.find(never), std::string::npos) << never << "\n" << run.screen;
}

TEST_F(ToolTerminal, CtrlCStopsTheWritingOfAResultHeldForSorting) {
    const TerminalRun run = runOnTerminal(
        {"-S", "TTYSERVER", "-U", "sa", "-P", kPassword, "--sort", "n"},
        {{"1> ", "create table #d (i int)\n"},
         {"2> ", "insert #d select 0 union all select 1 union all select 2 union all select 3 "
                 "union all select 4 union all select 5 union all select 6 union all select 7 "
                 "union all select 8 union all select 9\n"},
         {"3> ", "go\n"},
         {"1> ", "select a.i * 10000 + b.i * 1000 + c.i * 100 + d.i * 10 + e.i as n "
                 "from #d a, #d b, #d c, #d d, #d e\n"},
         {"2> ", "go\n"},
         {"n\r\n-----\r\n", "\x03"},
         {"Query cancelled", "quit\n"}});
    EXPECT_EQ(run.exitCode, 0) << run.screen.substr(0, 2000);
    // The sorted rows stop where Ctrl-C came: never the last, never the count line.
    EXPECT_EQ(run.screen.find("99999\r\n"), std::string::npos);
    EXPECT_EQ(run.screen.find("(100000 rows affected)"), std::string::npos);
}

TEST_F(ToolTerminal, ALostConnectionIsRecognisedAtTheFirstBatchThatMeetsIt) {
    auto first = std::make_unique<testsupport::DevServer>(
        std::vector<std::string>{"--user", "sa", "--password", kPassword}, "TTYRESTART");
    const int port = first->port();
    std::unique_ptr<testsupport::DevServer> second;
    const TerminalRun run =
        runOnTerminal({"-S", "TTYRESTART", "-U", "sa", "-P", kPassword},
                      {{"1> ", "select 'before' as b\n"},
                       {"2> ", "go\n"},
                       {"(1 row affected)", "select 'once' as sent\n"},
                       {"2> ", "go\n"},
                       {"logged in again", ""},
                       {"1> ", "select 'again' as second_try\n"},
                       {"2> ", "go\n"},
                       {"(1 row affected)", "quit\n"}},
                      "", [&](std::size_t step) {
                          if (step != 3)
                              return;
                          // The server restarts on the same port between two batches.
                          first->stop();
                          second = std::make_unique<testsupport::DevServer>(
                              std::vector<std::string>{"--user", "sa", "--password", kPassword,
                                                       "--port", std::to_string(port)},
                              "TTYRESTART2");
                      });
    s_server->activate();
    EXPECT_EQ(run.exitCode, 1) << run.screen;
    EXPECT_NE(run.screen.find("connection lost; logged in again"), std::string::npos) << run.screen;
    // The batch that met the dead connection is not sent again on the new one.
    EXPECT_EQ(run.screen.find("once\r\n"), std::string::npos) << run.screen;
    EXPECT_NE(run.screen.find("again\r\n"), std::string::npos) << run.screen;
}

TEST_F(ToolTerminal, ASessionStaysAtThePromptWhenTheNewLoginFails) {
    testsupport::DevServer going({"--user", "sa", "--password", kPassword}, "TTYGONE");
    const TerminalRun run =
        runOnTerminal({"-S", "TTYGONE", "-U", "sa", "-P", kPassword, "--timeout", "5"},
                      {{"1> ", "select 1 as one\n"},
                       {"2> ", "go\n"},
                       {"the new login failed", ""},
                       {"1> ", "select 2 as two\n"},
                       {"2> ", "go\n"},
                       {"the batch was not sent", ""},
                       {"1> ", "quit\n"}},
                      "", [&](std::size_t step) {
                          if (step == 1)
                              going.stop(); // the server is gone, and stays gone
                      });
    s_server->activate();
    EXPECT_EQ(run.exitCode, 1) << run.screen;
    EXPECT_NE(run.screen.find("connection lost; the new login failed"), std::string::npos)
        << run.screen;
    EXPECT_NE(run.screen.find("not connected; the new login failed"), std::string::npos)
        << run.screen;
}

TEST_F(ToolTerminal, HistoryEntriesAreKeptAtOnceAndSessionsSideBySideKeepEachOthers) {
    const std::string home = s_server->tempDir() + "/home-merge";
    const HomeFor homeFor(home);
    // The terminal is closed under the session: its entry is in the file already.
    TerminalRun run = runOnTerminal(
        {"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
        {{"1> ", "select 'closed window' as w\n"}, {"2> ", "go\n"}, {"(1 row affected)", kHangUp}});
    EXPECT_NE(historyText(home).find("closed"), std::string::npos) << historyText(home);
    // A second session runs and ends while a first one is open: the first keeps the
    // second's entry when it ends.
    run = runOnTerminal(
        {"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
        {{"1> ", "select 'outer session' as o\n"}, {"2> ", "go\n"}, {"(1 row affected)", "quit\n"}},
        "", [&](std::size_t step) {
            if (step != 2)
                return;
            const TerminalRun inner =
                runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                              {{"1> ", "select 'inner session' as i\n"},
                               {"2> ", "go\n"},
                               {"(1 row affected)", "quit\n"}});
            EXPECT_EQ(inner.exitCode, 0) << inner.screen;
        });
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    // Each entry once: a session adds its own entries and nobody else's.
    const std::string history = historyText(home);
    for (const std::string entry : {"closed", "outer", "inner"}) {
        const std::size_t at = history.find(entry);
        EXPECT_NE(at, std::string::npos) << entry << "\n" << history;
        EXPECT_EQ(history.find(entry, at + 1), std::string::npos) << entry << "\n" << history;
    }
}

TEST_F(ToolTerminal, ABatchIsOneHistoryEntryThatViEditsAndBangBangRunsAgain) {
    const std::string home = s_server->tempDir() + "/home-edit";
    const HomeFor homeFor(home);
    // The "editor" changes the batch as a person would, and the edited batch runs.
    setenv("EDITOR", "sed -i s/first/edited/", 1);
    const TerminalRun run =
        runOnTerminal({"-S", "TTYSERVER", "-U", "sa", "-P", kPassword},
                      {{"1> ", "select 'first' as word,\n"},
                       {"2> ", "2 as two\n"},
                       {"3> ", "go\n"},
                       {"(1 row affected)", "\x1b[A\n"}, // the last entry: both lines of the batch
                       {"3> ", "go\n"},
                       {"(1 row affected)", "!!\n"},
                       {"(1 row affected)", "vi\n"},
                       {"edited", "quit\n"}});
    unsetenv("EDITOR");
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    std::size_t runs = 0;
    for (std::size_t at = run.screen.find("first |"); at != std::string::npos;
         at = run.screen.find("first |", at + 1))
        ++runs;
    EXPECT_EQ(runs, 3u) << run.screen; // typed, recalled, !!
    EXPECT_NE(run.screen.find("edited |"), std::string::npos) << run.screen;
}

// The password dialog on a terminal, used where there is no display or no toolkit: the
// secret is read without echo from a pseudo-terminal, and the whole verb is run in a child
// process whose controlling terminal is one.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tovrin5/design/DesignDialogs.h"
#include "tovrin5/design/SybConnectEditor.h"
#include "tovrin5/design/SybConnectPropertyFrm.h"
#include "tovrin5/query/SybConnect.h"

namespace {

using namespace tovrin;

/// A pseudo-terminal pair.
struct Pty {
    int master = -1;
    int slave = -1;
    Pty() { EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
    ~Pty() {
        close(master);
        close(slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
};

/// Reads what fd gives until the text contains marker, the input ends or 10 s pass.
std::string readUntil(int fd, const std::string& marker) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

void type(int fd, const std::string& keys) {
    ASSERT_EQ(write(fd, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
}

TEST(TerminalDialog, ReadsTheSecretWithoutEchoAndRestoresTheTerminal) {
    Pty pty;
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    ASSERT_NE(before.c_lflag & ECHO, 0u);

    std::string secret = "untouched";
    bool read = false;
    std::thread reader([&] { read = design::ReadSecret(pty.slave, "Secret: ", secret); });
    const std::string prompt = readUntil(pty.master, "Secret: ");
    type(pty.master, "s3cr3t pass\n");
    reader.join();
    const std::string shown = prompt + readUntil(pty.master, "\n");

    EXPECT_TRUE(read);
    EXPECT_EQ(secret, "s3cr3t pass");
    EXPECT_NE(shown.find("Secret: "), std::string::npos);
    EXPECT_EQ(shown.find("s3cr"), std::string::npos) << "the secret was echoed: " << shown;
    termios after{};
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST(TerminalDialog, EndOfInputBeforeAnyTextCancels) {
    Pty pty;
    std::string secret = "untouched";
    bool read = true;
    std::thread reader([&] { read = design::ReadSecret(pty.slave, "Secret: ", secret); });
    readUntil(pty.master, "Secret: ");
    type(pty.master, "\x04"); // Ctrl-D
    reader.join();
    EXPECT_FALSE(read);
    EXPECT_EQ(secret, "untouched");

    // An empty line is an empty password, not a cancel.
    std::thread again([&] { read = design::ReadSecret(pty.slave, "Secret: ", secret); });
    readUntil(pty.master, "Secret: ");
    type(pty.master, "\n");
    again.join();
    EXPECT_TRUE(read);
    EXPECT_EQ(secret, "");
}

TEST(TerminalDialog, InputThatIsNoTerminalIsReadAsItIs) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    type(fds[1], "from a pipe\r\nnext line\n");
    close(fds[1]);
    std::string secret;
    EXPECT_TRUE(design::ReadSecret(fds[0], "", secret));
    EXPECT_EQ(secret, "from a pipe");
    EXPECT_TRUE(design::ReadSecret(fds[0], "", secret));
    EXPECT_EQ(secret, "next line");
    EXPECT_FALSE(design::ReadSecret(fds[0], "", secret));
    EXPECT_EQ(secret, "next line");
    close(fds[0]);
}

TEST(TerminalDialog, FormPromptsWithItsCaptionAndLabel) {
    Pty pty;
    TSybConnectPropertyForm form;
    form.ePassword.Text = "before";
    TModalResult result = mrNone;
    std::thread runner([&] { result = design::RunPropertyFormOnTerminal(form, pty.slave); });
    const std::string prompt = readUntil(pty.master, "cancels): ");
    type(pty.master, "after\n");
    runner.join();
    EXPECT_NE(prompt.find("TBTSybConnect Options"), std::string::npos) << prompt;
    EXPECT_NE(prompt.find("Password"), std::string::npos) << prompt;
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(form.ePassword.Text, "after");
}

/// Runs verb 0 of the connection editor in a child process whose controlling terminal is
/// a new pseudo-terminal and which has no display; the parent types keys once the prompt
/// shows. The child exits 0 when the password it ends with is expected, 3 when the
/// dialog would not have gone to the terminal.
struct VerbOnTerminal {
    int exitCode = -1;
    std::string output;

    VerbOnTerminal(const std::string& keys, const std::string& expected) {
        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child < 0) {
            ADD_FAILURE() << "forkpty failed";
            return;
        }
        if (child == 0) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("QT_QPA_PLATFORM");
            design::SetDialogPresenter(nullptr);
            int code = 1;
            try {
                if (design::DefaultDialogRoute() != design::TDialogRoute::Terminal) {
                    _exit(3);
                }
                TSybConnect connection(nullptr);
                connection.SetPassword("old");
                TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
                code = connection.Password() == expected && connection.PropertyForm() == nullptr
                           ? 0
                           : 1;
            } catch (...) {
                code = 2;
            }
            _exit(code);
        }
        output = readUntil(master, "cancels): ");
        type(master, keys);
        output += readUntil(master, "\x01never");
        int status = 0;
        waitpid(child, &status, 0);
        close(master);
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(TerminalDialog, VerbWithoutDisplayReadsThePasswordFromTheControllingTerminal) {
    VerbOnTerminal typed("typed-on-tty\n", "typed-on-tty");
    EXPECT_EQ(typed.exitCode, 0) << typed.output;
    EXPECT_NE(typed.output.find("TBTSybConnect Options"), std::string::npos) << typed.output;
    EXPECT_EQ(typed.output.find("typed-on"), std::string::npos) << typed.output;

    VerbOnTerminal cancelled("\x04", "old");
    EXPECT_EQ(cancelled.exitCode, 0) << cancelled.output;
}

} // namespace

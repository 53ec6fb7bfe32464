// Ctrl-C handling: a self-pipe per purpose (cancel a running command, interrupt the
// prompt), filled by the signal handler, emptied by the watch thread or the line reader.
#include "CancelWatch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <utility>

#include <tovrin5/client/Ctpublic.h>
#include <tovrin5/query/SybConnect.h>

namespace tovrin::sqltool {

namespace {

int g_cancelPipe[2] = {-1, -1};
int g_promptPipe[2] = {-1, -1};
std::atomic<bool> g_running{false};
struct sigaction g_former {};

void onInterrupt(int) {
    const int saved = errno;
    const char byte = 1;
    // The byte is a wake-up only: a full pipe already holds one.
    ssize_t ignored = write(g_running.load() ? g_cancelPipe[1] : g_promptPipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

void makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        fds[0] = fds[1] = -1;
}

void drain(int fd) {
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

CancelWatch::CancelWatch() {
    makePipe(g_cancelPipe);
    makePipe(g_promptPipe);
    sigaction(SIGINT, nullptr, &g_former);
    // A program started in the background of a shell without job control has Ctrl-C
    // ignored, so that it outlives the foreground's: it stays so.
    if (g_former.sa_handler != SIG_IGN) {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: a wait at the prompt sees the interrupt
        sigaction(SIGINT, &action, nullptr);
    }
    m_thread = std::thread([this] { watch(); });
}

CancelWatch::~CancelWatch() {
    sigaction(SIGINT, &g_former, nullptr);
    // Closing the write end ends the watch thread's wait.
    close(g_cancelPipe[1]);
    m_thread.join();
    close(g_cancelPipe[0]);
    close(g_promptPipe[0]);
    close(g_promptPipe[1]);
    g_cancelPipe[0] = g_cancelPipe[1] = g_promptPipe[0] = g_promptPipe[1] = -1;
}

void CancelWatch::watch() {
    for (;;) {
        pollfd p{g_cancelPipe[0], POLLIN, 0};
        if (poll(&p, 1, -1) < 0)
            continue;
        char buffer[64];
        const ssize_t n = read(g_cancelPipe[0], buffer, sizeof buffer);
        if (n == 0)
            return; // closed: the watch ends
        if (n < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_watching || m_cancelled.load())
            continue;
        CS_CONNECTION* handle =
            m_connection != nullptr ? m_connection->ConnectionHandle() : nullptr;
        if (handle != nullptr && ct_cancel != nullptr) {
            // An attention: the server stops the batch and the pending results are
            // discarded; the connection stays logged in. The query drops its command just
            // before holdOutput closes this window: a Ctrl-C typed in that instant sends
            // the attention while the command is being dropped.
            ct_cancel(handle, nullptr, CS_CANCEL_ATTN);
        }
        m_cancelled.store(true); // also stops the writing of a held result
    }
}

void CancelWatch::beginCommand(TSybConnect& connection) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_connection = &connection;
    m_watching = true;
    m_cancelled.store(false);
    g_running.store(true);
}

void CancelWatch::holdOutput() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_connection = nullptr;
}

bool CancelWatch::endCommand() {
    g_running.store(false);
    std::lock_guard<std::mutex> lock(m_lock);
    m_connection = nullptr;
    m_watching = false;
    return m_cancelled.exchange(false);
}

int CancelWatch::promptDescriptor() const noexcept {
    return g_promptPipe[0];
}

bool CancelWatch::takePromptInterrupt() {
    char buffer[64];
    const bool interrupted = read(g_promptPipe[0], buffer, sizeof buffer) > 0;
    if (interrupted)
        drain(g_promptPipe[0]);
    return interrupted;
}

} // namespace tovrin::sqltool

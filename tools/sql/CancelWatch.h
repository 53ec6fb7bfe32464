// Ctrl-C in an interactive session: while a batch runs it cancels the batch's command (an
// attention to the server, as the client library allows from outside the waiting call),
// and the session, its connection and its transaction go on; at the prompt it discards
// what was typed. The signal handler only writes a byte to a pipe: a thread of this class
// sends the cancel, and the line reader watches the other pipe.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace tovrin {
class TSybConnect;
}

namespace tovrin::sqltool {

class CancelWatch final {
public:
    /// Takes SIGINT over until destroyed (the former handling is restored then).
    CancelWatch();
    ~CancelWatch();
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

    /// From now until endCommand, Ctrl-C cancels what runs on the connection.
    void beginCommand(TSybConnect& connection);
    /// The command is over and what it kept is being written: from now until endCommand,
    /// Ctrl-C stops the writing (cancelRequested) without touching the connection.
    void holdOutput();
    /// Ends the watch of beginCommand; true when Ctrl-C cancelled the command or stopped
    /// its output.
    bool endCommand();
    /// True when Ctrl-C was typed since beginCommand.
    [[nodiscard]] bool cancelRequested() const noexcept { return m_cancelled.load(); }
    /// A descriptor that becomes readable when Ctrl-C was typed at the prompt.
    [[nodiscard]] int promptDescriptor() const noexcept;
    /// True (once) when Ctrl-C was typed at the prompt since the last call.
    bool takePromptInterrupt();

private:
    void watch();

    std::mutex m_lock;
    TSybConnect* m_connection = nullptr;
    bool m_watching = false;
    std::atomic<bool> m_cancelled{false};
    std::thread m_thread;
};

} // namespace tovrin::sqltool

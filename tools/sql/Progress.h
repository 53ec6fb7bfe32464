// The progress line on standard error while a batch's results arrive: results and rows
// received so far, elapsed time and rows per second, redrawn a few times a second and
// erased when the batch ends. Only when standard error is a terminal; otherwise the
// object does nothing, so redirected output never holds progress text.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tovrin::sqltool {

class Progress final {
public:
    /// `enabled` false (or standard error not a terminal) makes every call a no-op.
    explicit Progress(bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// A batch starts: the clock and counts start from zero and the line appears after a
    /// short moment (quick batches show nothing).
    void start();
    /// A row result of `rows` rows has been received.
    void addResult(std::int64_t rows) noexcept;
    /// The batch ended: the line is erased.
    void stop();

    [[nodiscard]] bool enabled() const noexcept { return m_enabled; }

private:
    void run();
    void draw(bool erase);

    bool m_enabled;
    std::atomic<std::int64_t> m_rows{0};
    std::atomic<int> m_results{0};
    std::chrono::steady_clock::time_point m_started;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_drawn = false;
    std::thread m_thread;
};

} // namespace tovrin::sqltool

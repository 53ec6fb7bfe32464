// The progress line on standard error while a batch's results arrive: results received,
// rows received so far (those of the result still being fetched included, as the query's
// fetch progress reports them), elapsed time and rows per second. It is redrawn a few
// times a second, from the fetch's progress reports and, while the server is silent, from
// a timer, and erased when the batch ends. Only when standard error is a terminal;
// otherwise the object does nothing, so redirected output never holds progress text.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace tovrin::sqltool {

/// When the line appears and how often it changes.
struct ProgressPace {
    /// Quick batches end before this and leave no trace.
    std::chrono::milliseconds firstDraw{500};
    /// Least time between two drawings.
    std::chrono::milliseconds redraw{250};
};

class Progress final {
public:
    /// `enabled` false (or standard error not a terminal) makes every call a no-op.
    explicit Progress(bool enabled);
    /// Always enabled, drawing into `sink` at `pace` (for tests of the line itself).
    Progress(std::FILE* sink, ProgressPace pace);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// A batch starts: the clock and counts start from zero.
    void start();
    /// The result being fetched holds `rows` rows so far (the query's fetch progress).
    void rowsFetched(std::int64_t rows) noexcept;
    /// A row result of `rows` rows has been received whole.
    void addResult(std::int64_t rows) noexcept;
    /// The batch ended: the line is erased.
    void stop();
    /// Erases the line, if shown, before something else is written to the terminal; it
    /// is drawn again at the next turn of its pace.
    void clearLine();

    [[nodiscard]] bool enabled() const noexcept { return m_enabled; }
    /// The line's text: "2 results, 15000 rows, 1.5 s, 10000 rows/s".
    [[nodiscard]] std::string text() const;

private:
    void run();
    /// Draws when the pace allows; the caller holds m_mutex.
    void drawIfDue();
    void draw(bool erase);

    bool m_enabled;
    std::FILE* m_sink;
    ProgressPace m_pace;
    std::atomic<std::int64_t> m_rows{0};    // rows of the results received whole
    std::atomic<std::int64_t> m_current{0}; // rows of the result being fetched
    std::atomic<int> m_results{0};
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    bool m_drawn = false;
    bool m_cleared = false; ///< erased for other output since the last drawing
    std::thread m_thread;
};

} // namespace tovrin::sqltool

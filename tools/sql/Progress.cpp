// The progress line: counters that the batch's fetch updates, drawn from the fetch's
// progress reports and from a timer thread while no report comes.
#include "Progress.h"

#include <algorithm>
#include <unistd.h>

namespace tovrin::sqltool {

Progress::Progress(bool enabled)
    : m_enabled(enabled && isatty(STDERR_FILENO) == 1), m_sink(stderr), m_pace() {}

Progress::Progress(std::FILE* sink, ProgressPace pace)
    : m_enabled(sink != nullptr), m_sink(sink), m_pace(pace) {}

Progress::~Progress() {
    stop();
}

void Progress::start() {
    if (!m_enabled)
        return;
    stop();
    m_rows = 0;
    m_current = 0;
    m_results = 0;
    m_started = std::chrono::steady_clock::now();
    m_lastDraw = m_started;
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void Progress::rowsFetched(std::int64_t rows) noexcept {
    if (!m_enabled)
        return;
    m_current = rows;
    // The fetch never waits for the line: when the timer is drawing, this report shows
    // at its next turn.
    std::unique_lock<std::mutex> lock(m_mutex, std::try_to_lock);
    if (lock.owns_lock() && m_running)
        drawIfDue();
}

void Progress::addResult(std::int64_t rows) noexcept {
    m_rows += rows;
    m_current = 0;
    ++m_results;
}

void Progress::stop() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_wake.notify_all();
    m_thread.join();
    draw(true);
}

void Progress::clearLine() {
    if (!m_enabled)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_drawn)
        draw(true);
    // While output keeps coming the line stays away; it returns once the output pauses.
    m_cleared = true;
    m_lastDraw = std::chrono::steady_clock::now();
}

void Progress::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // The timer wakes at least every 20 ms however fast the pace, so that it never spins.
    const auto tick = std::max(m_pace.redraw, std::chrono::milliseconds(20));
    if (m_wake.wait_for(lock, m_pace.firstDraw, [this] { return !m_running; }))
        return;
    do {
        drawIfDue();
    } while (!m_wake.wait_for(lock, tick, [this] { return !m_running; }));
}

void Progress::drawIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_started < m_pace.firstDraw)
        return;
    if ((m_drawn || m_cleared) && now - m_lastDraw < m_pace.redraw)
        return;
    m_cleared = false;
    draw(false);
    m_lastDraw = now;
}

std::string Progress::text() const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    const std::int64_t rows = m_rows.load() + m_current.load();
    const double rate = seconds > 0 ? static_cast<double>(rows) / seconds : 0.0;
    const int results = m_results.load();
    char line[128];
    std::snprintf(line, sizeof line, "%d result%s, %lld rows, %.1f s, %.0f rows/s", results,
                  results == 1 ? "" : "s", static_cast<long long>(rows), seconds, rate);
    return line;
}

void Progress::draw(bool erase) {
    if (erase) {
        if (m_drawn)
            std::fputs("\r\033[K", m_sink);
        m_drawn = false;
        std::fflush(m_sink);
        return;
    }
    std::fprintf(m_sink, "\r\033[K%s", text().c_str());
    std::fflush(m_sink);
    m_drawn = true;
}

} // namespace tovrin::sqltool

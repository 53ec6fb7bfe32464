// The progress line: a thread redraws it from counters the batch updates.
#include "Progress.h"

#include <cstdio>
#include <unistd.h>

namespace tovrin::sqltool {

Progress::Progress(bool enabled) : m_enabled(enabled && isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    stop();
}

void Progress::start() {
    if (!m_enabled)
        return;
    stop();
    m_rows = 0;
    m_results = 0;
    m_started = std::chrono::steady_clock::now();
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void Progress::addResult(std::int64_t rows) noexcept {
    m_rows += rows;
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

void Progress::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    // Quick batches finish before the first redraw and leave no trace.
    if (m_wake.wait_for(lock, std::chrono::milliseconds(500), [this] { return !m_running; }))
        return;
    do {
        draw(false);
    } while (!m_wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return !m_running; }));
}

void Progress::draw(bool erase) {
    if (erase) {
        if (m_drawn)
            std::fputs("\r\033[K", stderr);
        m_drawn = false;
        std::fflush(stderr);
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    const std::int64_t rows = m_rows.load();
    const double rate = seconds > 0 ? static_cast<double>(rows) / seconds : 0.0;
    std::fprintf(stderr, "\r\033[K%d result%s, %lld rows, %.1f s, %.0f rows/s", m_results.load(),
                 m_results.load() == 1 ? "" : "s", static_cast<long long>(rows), seconds, rate);
    std::fflush(stderr);
    m_drawn = true;
}

} // namespace tovrin::sqltool

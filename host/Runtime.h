// Process-wide run-time services: the exit-procedure chain run once at process end, the
// flag telling that the code runs inside a dynamically loaded library, the screen cursor,
// and the application's exception display.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "tovrin5/host/Events.h"

namespace tovrin::host {

/// Adds a procedure to the exit chain. The chain runs once, at process end (or at the
/// first RunExitProcs call), last added first. A procedure that throws is skipped over.
void AddExitProc(std::function<void()> Proc);
/// Runs and empties the chain now (later additions run at process end).
void RunExitProcs() noexcept;

/// True when the code runs inside a dynamically loaded library. False unless a host
/// program fixed it; it can be set once per process (a second call with another value
/// raises EInvalidOperation "IsLibrary can be set only once").
[[nodiscard]] bool IsLibrary() noexcept;
void SetIsLibrary(bool Value);

using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crSQLWait = -17;

/// The screen: only its cursor is kept (no display).
class TScreen {
public:
    constexpr TScreen() noexcept = default;
    [[nodiscard]] TCursor Cursor() const noexcept { return m_cursor.load(); }
    void SetCursor(TCursor Value) noexcept { m_cursor.store(Value); }

private:
    std::atomic<TCursor> m_cursor{crDefault};
};
extern TScreen Screen;

/// Restores the screen cursor on scope exit.
class TCursorGuard {
public:
    explicit TCursorGuard(TCursor cursor) noexcept : m_saved(Screen.Cursor()) {
        Screen.SetCursor(cursor);
    }
    ~TCursorGuard() { Screen.SetCursor(m_saved); }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;

private:
    TCursor m_saved;
};

class TObject;
using TExceptionEvent = TEvent<void(TObject* Sender, const std::exception& E)>;

/// The application object: reports exceptions that no caller handles.
class TApplication {
public:
    constexpr TApplication() noexcept = default;
    /// Reports the exception being handled (call inside a catch block): to OnException
    /// when assigned, else ShowException. Never throws; outside a catch block it does
    /// nothing.
    void HandleException(TObject* Sender) noexcept;
    /// Writes the message and a line feed to stderr.
    void ShowException(const std::exception& E) noexcept;
    [[nodiscard]] TExceptionEvent OnException() const;
    void SetOnException(TExceptionEvent handler);

private:
    mutable std::mutex m_lock;
    std::unique_ptr<TExceptionEvent> m_onException;
};
extern TApplication Application;

} // namespace tovrin::host

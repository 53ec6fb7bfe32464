// Exit-procedure chain, inside-a-library flag, screen cursor and exception display.
#include "tovrin5/host/Runtime.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

constinit TScreen Screen;
constinit TApplication Application;

namespace {

// The chain lives on the heap and is never freed: exit procedures may run from atexit
// after other statics are gone.
struct ExitChain {
    std::mutex lock;
    std::vector<std::function<void()>> procs;
    bool registered = false;
};

ExitChain& exitChain() {
    static auto* chain = new ExitChain;
    return *chain;
}

void runAtExit() {
    RunExitProcs();
}

std::mutex& libraryFlagLock() {
    static std::mutex m;
    return m;
}
bool g_isLibrary = false;
bool g_isLibraryFixed = false;

} // namespace

void AddExitProc(std::function<void()> Proc) {
    ExitChain& chain = exitChain();
    std::lock_guard guard(chain.lock);
    chain.procs.push_back(std::move(Proc));
    if (!chain.registered) {
        chain.registered = true;
        std::atexit(&runAtExit);
    }
}

void RunExitProcs() noexcept {
    ExitChain& chain = exitChain();
    while (true) {
        std::function<void()> proc;
        {
            std::lock_guard guard(chain.lock);
            if (chain.procs.empty())
                return;
            proc = std::move(chain.procs.back());
            chain.procs.pop_back();
        }
        try {
            if (proc)
                proc();
        } catch (...) {
            // One failing procedure must not keep the others from running.
        }
    }
}

bool IsLibrary() noexcept {
    std::lock_guard guard(libraryFlagLock());
    return g_isLibrary;
}

void SetIsLibrary(bool Value) {
    std::lock_guard guard(libraryFlagLock());
    if (g_isLibraryFixed && g_isLibrary != Value)
        throw EInvalidOperation("IsLibrary can be set only once");
    g_isLibrary = Value;
    g_isLibraryFixed = true;
}

void TApplication::HandleException(TObject* Sender) noexcept {
    std::exception_ptr current = std::current_exception();
    if (!current)
        return;
    TExceptionEvent handler;
    try {
        handler = OnException();
    } catch (...) {
    }
    // The handler, or else the default display, gets the exception; one the handler raises
    // in turn is not passed on: the original is shown.
    auto deliver = [&](const std::exception& e) noexcept {
        try {
            if (handler)
                handler(Sender, e);
            else
                ShowException(e);
        } catch (...) {
            ShowException(e);
        }
    };
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        deliver(e);
    } catch (...) {
        deliver(Exception("Unknown exception"));
    }
}

void TApplication::ShowException(const std::exception& E) noexcept {
    std::fputs(E.what(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

TExceptionEvent TApplication::OnException() const {
    std::lock_guard guard(m_lock);
    return m_onException ? *m_onException : TExceptionEvent();
}

void TApplication::SetOnException(TExceptionEvent handler) {
    auto copy = std::make_unique<TExceptionEvent>(std::move(handler));
    std::lock_guard guard(m_lock);
    m_onException = std::move(copy);
}

} // namespace tovrin::host

// The route of the design-time dialogs: installed presenter, toolkit library, terminal.
#include "tovrin5/design/DesignDialogs.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "tovrin5/client/Csconfig.h"
#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/design/DialogsPlugin.h"

#ifndef TOVRIN_VERSION
#define TOVRIN_VERSION "0"
#endif

namespace tovrin::design {

namespace {

constexpr const char* kDialogsLibrary = "libTovrin5Dialogs.so";

struct DialogState {
    std::mutex lock;
    std::shared_ptr<TDialogPresenter> presenter;
    bool pluginSearched = false;
    const TovrinDialogsPlugin* plugin = nullptr;
    std::string pluginPath;
};

DialogState& state() {
    static DialogState s;
    return s;
}

/// Directory of the file that holds this code (the package), with a trailing slash.
std::string packageDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&packageDirectory), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    const std::string file = info.dli_fname;
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

const TovrinDialogsPlugin* openPlugin(const std::string& file, std::string& path) {
    // The library is kept for the life of the process: a toolkit does not survive being
    // unloaded while its objects live.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return nullptr;
    }
    auto* entry =
        reinterpret_cast<const TovrinDialogsPlugin* (*)()>(dlsym(handle, TOVRIN_DIALOGS_ENTRY));
    const TovrinDialogsPlugin* table = entry != nullptr ? entry() : nullptr;
    if (table == nullptr || table->abiVersion != TOVRIN_DIALOGS_ABI) {
        dlclose(handle);
        return nullptr;
    }
    char resolved[4096] = {};
    if (dlinfo(handle, RTLD_DI_ORIGIN, resolved) == 0) {
        path = std::string(resolved) + "/" + kDialogsLibrary;
    } else {
        path = file;
    }
    return table;
}

/// The toolkit library, loaded on first use; nullptr when there is none.
const TovrinDialogsPlugin* plugin() {
    DialogState& s = state();
    std::lock_guard guard(s.lock);
    if (!s.pluginSearched) {
        s.pluginSearched = true;
        const std::string besidePackage = packageDirectory();
        if (!besidePackage.empty()) {
            s.plugin = openPlugin(besidePackage + kDialogsLibrary, s.pluginPath);
        }
        if (s.plugin == nullptr) {
            s.plugin = openPlugin(kDialogsLibrary, s.pluginPath);
        }
    }
    return s.plugin;
}

std::shared_ptr<TDialogPresenter> installedPresenter() {
    DialogState& s = state();
    std::lock_guard guard(s.lock);
    return s.presenter;
}

/// The window route when the toolkit library is there and reaches a display.
const TovrinDialogsPlugin* windowPlugin() {
    const TovrinDialogsPlugin* p = plugin();
    return p != nullptr && p->displayAvailable() != 0 ? p : nullptr;
}

/// The controlling terminal, or -1.
int openTerminal() {
    return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

/// Restores a terminal's settings on scope exit.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd) {
        if (tcgetattr(fd, &m_saved) != 0) {
            return;
        }
        termios quiet = m_saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHOE | ECHOK));
        // The line feed the user types is still shown, so the next output starts a line.
        quiet.c_lflag |= ECHONL;
        m_active = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active) {
            tcsetattr(m_fd, TCSAFLUSH, &m_saved);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    [[nodiscard]] bool active() const noexcept { return m_active; }

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
};

} // namespace

void SetDialogPresenter(std::shared_ptr<TDialogPresenter> Presenter) {
    DialogState& s = state();
    std::lock_guard guard(s.lock);
    s.presenter = std::move(Presenter);
}

TDialogRoute DefaultDialogRoute() {
    return windowPlugin() != nullptr ? TDialogRoute::Window : TDialogRoute::Terminal;
}

std::string DialogsLibraryPath() {
    plugin();
    DialogState& s = state();
    std::lock_guard guard(s.lock);
    return s.pluginPath;
}

bool ReadSecret(int Fd, const std::string& Prompt, std::string& Text) {
    std::string line;
    bool ended = false;
    bool gotLineEnd = false;
    {
        // Echo goes off before the prompt appears, so that nothing typed after it shows.
        EchoOff echoOff(Fd);
        writeAll(Fd, Prompt);
        for (;;) {
            char c = 0;
            const ssize_t n = read(Fd, &c, 1);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ended = true;
                break;
            }
            if (c == '\n') {
                gotLineEnd = true;
                break;
            }
            line += c;
        }
        if (ended && echoOff.active()) {
            // Ctrl-D echoes nothing; end the prompt's line.
            writeAll(Fd, "\n");
        }
    }
    if (!gotLineEnd && line.empty()) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    Text = std::move(line);
    return true;
}

TModalResult RunPropertyFormOnTerminal(TSybConnectPropertyForm& Form, int Fd) {
    const std::string prompt = Form.Caption + "\n" + Form.Label1.Caption + " (Ctrl-D cancels): ";
    std::string text;
    if (!ReadSecret(Fd, prompt, text)) {
        return mrCancel;
    }
    Form.ePassword.Text = std::move(text);
    return mrOk;
}

TModalResult ShowModalForm(TSybConnectPropertyForm& Form) {
    if (std::shared_ptr<TDialogPresenter> presenter = installedPresenter()) {
        return presenter->ShowPropertyForm(Form);
    }
    if (const TovrinDialogsPlugin* p = windowPlugin()) {
        const int result = p->showPropertyForm(&Form);
        if (result >= 0) {
            return static_cast<TModalResult>(result);
        }
    }
    const int fd = openTerminal();
    if (fd < 0) {
        // Nobody to ask: the form ends as if cancelled, which changes nothing.
        return mrCancel;
    }
    struct Close {
        int fd;
        ~Close() { close(fd); }
    } closeTerminal{fd};
    return RunPropertyFormOnTerminal(Form, fd);
}

void ShowInformation(const std::string& Caption, const std::string& Text) {
    if (std::shared_ptr<TDialogPresenter> presenter = installedPresenter()) {
        presenter->ShowInformation(Caption, Text);
        return;
    }
    if (const TovrinDialogsPlugin* p = windowPlugin()) {
        if (p->showInformation(Caption.c_str(), Text.c_str()) >= 0) {
            return;
        }
    }
    const int fd = openTerminal();
    writeAll(fd >= 0 ? fd : STDERR_FILENO, Caption + "\n" + Text + "\n");
    if (fd >= 0) {
        close(fd);
    }
}

TAboutInfo AboutInfo() {
    TAboutInfo info;
    info.Package = "Tovrin5";
    info.Version = TOVRIN_VERSION;
    Dl_info where{};
    if (ctDLLLoaded && ct_init != nullptr &&
        dladdr(reinterpret_cast<void*>(ct_init), &where) != 0 && where.dli_fname != nullptr) {
        info.ClientLibrary = where.dli_fname;
    } else {
        info.ClientLibrary = std::string(kCtLibraryName) + " (not loaded)";
    }
    return info;
}

std::string AboutCaption() {
    return "About Tovrin5";
}

std::string AboutText() {
    const TAboutInfo info = AboutInfo();
    return info.Package + " " + info.Version +
           "\nSybase Adaptive Server Enterprise components: TSybConnect, TSybQuery" +
           "\nClient library: " + info.ClientLibrary;
}

void ShowAboutDialog() {
    ShowInformation(AboutCaption(), AboutText());
}

} // namespace tovrin::design

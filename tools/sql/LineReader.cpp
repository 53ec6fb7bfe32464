// Line sources: a std::istream, or libedit's readline interface on the terminal.
#include "LineReader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <editline/readline.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <utility>
#include <vector>

namespace tovrin::sqltool {

namespace {

class StreamReader final : public LineReader {
public:
    explicit StreamReader(std::istream& in) : m_in(in) {}
    std::optional<std::string> readLine(int) override {
        std::string line;
        if (!std::getline(m_in, line))
            return std::nullopt;
        if (m_first) {
            m_first = false;
            if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
                line.erase(0, 3);
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

private:
    std::istream& m_in;
    bool m_first = true;
};

// The terminal reader's state, shared with libedit's character callback.
int g_interruptFd = -1;
bool g_interrupted = false;

/// libedit's character source: a byte of the terminal, or a line end that cuts the line
/// short when Ctrl-C was typed.
int readCharacter(FILE*) {
    for (;;) {
        pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {g_interruptFd, POLLIN, 0}};
        const int n = poll(p, g_interruptFd >= 0 ? 2 : 1, -1);
        if (n < 0 && errno != EINTR)
            return EOF;
        if (g_interruptFd >= 0 && (p[1].revents & POLLIN) != 0) {
            char buffer[64];
            while (read(g_interruptFd, buffer, sizeof buffer) > 0) {
            }
            g_interrupted = true;
            return '\n';
        }
        if (n <= 0)
            continue;
        unsigned char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got == 1)
            return c;
        if (got == 0 || errno != EINTR)
            return EOF;
    }
}

/// Entries the history file keeps.
constexpr int kHistoryEntries = 1000;

/// The first line of libedit's history files.
constexpr char kHistoryHeading[] = "_HiStOrY_V2_\n";

/// An entry as libedit's history file holds it: one line, blanks, line breaks, controls
/// and backslashes as octal escapes that its reader turns back.
std::string encodedEntry(const std::string& entry) {
    std::string out;
    for (const char c : entry) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte <= ' ' || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '\n';
}

/// Adds one entry at the end of the history file, in one write of its own, so that
/// sessions side by side add theirs without overwriting each other's (libedit's own
/// append writes the entry before it too).
void appendHistoryEntry(const std::string& path, const std::string& entry) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat info {};
    std::string text = fstat(fd, &info) == 0 && info.st_size == 0 ? kHistoryHeading : "";
    text += encodedEntry(entry);
    const ssize_t written = write(fd, text.data(), text.size());
    (void)written; // a history that cannot be written is no reason to stop the session
    close(fd);
}

class EditLineReader final : public LineReader {
public:
    EditLineReader(std::string historyFile, int interruptDescriptor, bool promptOnStandardError,
                   bool numberedPrompt)
        : m_historyFile(std::move(historyFile)), m_numberedPrompt(numberedPrompt) {
        g_interruptFd = interruptDescriptor;
        if (promptOnStandardError)
            rl_outstream = stderr;
        rl_readline_name = const_cast<char*>("tovrin-sql");
        rl_catch_signals = 0;
        rl_getc_function = readCharacter;
        using_history();
        if (!m_historyFile.empty()) {
            // Created private before anything is written into it.
            const int fd = open(m_historyFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fchmod(fd, 0600);
                close(fd);
            }
            read_history(m_historyFile.c_str());
        }
    }
    ~EditLineReader() override {
        // Every entry is in the file already, this session's and those of sessions that
        // ran beside it: only the oldest go.
        if (!m_historyFile.empty())
            history_truncate_file(m_historyFile.c_str(), kHistoryEntries);
        g_interruptFd = -1;
    }
    std::optional<std::string> readLine(int lineNumber) override {
        if (!m_recalled.empty()) {
            std::string line = std::move(m_recalled.front());
            m_recalled.erase(m_recalled.begin());
            return line;
        }
        const std::string prompt = m_numberedPrompt ? std::to_string(lineNumber) + "> " : "";
        char* raw = readline(prompt.c_str());
        if (raw == nullptr)
            return std::nullopt;
        std::string line(raw);
        std::free(raw);
        // A recalled entry of several lines comes back as one: its lines are read in turn.
        if (const std::size_t cut = line.find('\n'); cut != std::string::npos) {
            std::istringstream rest(line.substr(cut + 1));
            for (std::string part; std::getline(rest, part);)
                m_recalled.push_back(part);
            line.resize(cut);
        }
        return line;
    }
    bool takeInterrupted() override {
        if (g_interrupted)
            m_recalled.clear();
        return std::exchange(g_interrupted, false);
    }
    void remember(const std::string& entry) override {
        if (mentionsPassword(entry))
            return;
        add_history(entry.c_str());
        if (!m_historyFile.empty())
            appendHistoryEntry(m_historyFile, entry);
    }

private:
    std::string m_historyFile;
    bool m_numberedPrompt;
    std::vector<std::string> m_recalled; ///< the lines still to read of a recalled entry
};

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

bool mentionsPassword(const std::string& line) {
    const std::string l = lower(line);
    return l.find("password") != std::string::npos || l.find("identified by") != std::string::npos;
}

std::unique_ptr<LineReader> makeStreamReader(std::istream& in) {
    return std::make_unique<StreamReader>(in);
}

std::unique_ptr<LineReader> makeEditLineReader(const std::string& historyFile,
                                               int interruptDescriptor, bool promptOnStandardError,
                                               bool numberedPrompt) {
    return std::make_unique<EditLineReader>(historyFile, interruptDescriptor, promptOnStandardError,
                                            numberedPrompt);
}

} // namespace tovrin::sqltool

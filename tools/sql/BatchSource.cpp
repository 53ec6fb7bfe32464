// Batches from the input and its ":r" files, and the terminal's editing commands.
#include "BatchSource.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tovrin::sqltool {

namespace {

/// Deepest nesting of ":r" files (a file that reads itself ends here).
constexpr std::size_t kMaxSources = 17;

/// Runs `command` through the shell with `argument` as its $1; its exit status, or -1
/// when it could not be started or did not end normally.
int runShell(const std::string& command, const std::string& argument = {}) {
    std::vector<std::string> texts = {"sh", "-c", command, "sh"};
    if (!argument.empty())
        texts.push_back(argument);
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string editorCommand(const std::string& chosen) {
    if (!chosen.empty())
        return chosen;
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "vi";
}

} // namespace

struct BatchSource::Source {
    LineReader* reader;
    int lines;        ///< lines read so far
    std::string name; ///< the file's name; empty for the input itself
};

struct BatchSource::Owned {
    std::unique_ptr<std::istream> stream;
    std::unique_ptr<LineReader> reader;
};

BatchSource::BatchSource(LineReader& input, SourceSettings settings,
                         std::function<bool()> interrupted)
    : m_settings(std::move(settings)), m_interrupted(std::move(interrupted)),
      m_splitter(m_settings.terminator, m_settings.interactive,
                 m_settings.editor.empty() ? "vi" : m_settings.editor) {
    m_sources.push_back({&input, 0, {}});
}

BatchSource::~BatchSource() = default;

std::optional<Batch> BatchSource::next(std::ostream& err) {
    for (;;) {
        const bool fromTerminal = m_settings.interactive && m_sources.size() == 1;
        if (!fromTerminal && checkInterrupt(err)) {
            if (m_stopped)
                return std::nullopt;
            continue;
        }
        Source& source = m_sources.back();
        const int pending = m_splitter.pendingLines();
        std::optional<std::string> line = source.reader->readLine(pending + 1);
        if (source.reader->takeInterrupted()) {
            m_splitter.discard();
            m_typed.clear();
            continue;
        }
        if (!line) {
            if (m_sources.size() > 1) {
                m_sources.pop_back();
                continue;
            }
            if (m_settings.interactive) {
                if (pending > 0)
                    err << "\ntovrin-sql: the unfinished batch was not sent (end it with "
                        << m_settings.terminator << ")" << std::endl;
                return std::nullopt;
            }
            if (checkInterrupt(err))
                return std::nullopt; // Ctrl-C cut the read short: not the end of the input
            if (auto rest = m_splitter.takeBatch())
                return made(std::move(*rest), 1, m_splitter.takenFirstLine());
            return std::nullopt;
        }
        if (fromTerminal)
            m_typed += *line + '\n';
        const int lineNumber =
            m_sources.size() == 1 && !m_settings.interactive ? ++source.lines : 0;
        // "vi" and "!!" are commands when typed; in a file they are its text.
        m_splitter.setTerminalCommands(fromTerminal);
        const BatchSplitter::LineOutcome outcome = m_splitter.addLine(*line, lineNumber);
        if (outcome == BatchSplitter::LineOutcome::Quit)
            return std::nullopt;
        if (auto batch = onLine(outcome, err))
            return batch;
        if (m_stopped)
            return std::nullopt;
    }
}

std::optional<Batch> BatchSource::onLine(BatchSplitter::LineOutcome outcome, std::ostream& err) {
    using Outcome = BatchSplitter::LineOutcome;
    switch (outcome) {
    case Outcome::BatchReady: {
        std::string sql = *m_splitter.takeBatch();
        if (m_settings.interactive && !m_typed.empty()) {
            // The lines typed for the batch are one history entry; without the "go" line
            // when it was typed too, so that the recalled entry is the batch to edit.
            std::string entry = m_typed;
            if (m_sources.size() == 1)
                entry.resize(m_typed.rfind('\n', m_typed.size() - 2) + 1);
            remember(entry);
            m_typed.clear();
        }
        return made(std::move(sql), m_splitter.takenRepeat(), m_splitter.takenFirstLine());
    }
    case Outcome::Reset:
        m_typed.clear();
        break;
    case Outcome::ReadFile:
        readFile(m_splitter.fileToRead(), err);
        break;
    case Outcome::Edit:
        return editBatch(err);
    case Outcome::RunLast:
        dropLastTyped(); // the batch being typed goes on after it
        if (m_last.empty()) {
            err << "tovrin-sql: !!: no batch has run yet" << std::endl;
            break;
        }
        return made(m_last, 1, 0);
    case Outcome::Shell:
        dropLastTyped();
        if (const int status = runShell(m_splitter.shellCommand()); status != 0)
            err << "tovrin-sql: !! " << m_splitter.shellCommand() << ": exit status " << status
                << std::endl;
        break;
    default:
        break;
    }
    return std::nullopt;
}

void BatchSource::readFile(const std::string& name, std::ostream& err) {
    auto file = std::make_unique<std::ifstream>(name, std::ios::binary);
    std::string problem;
    if (!*file)
        problem = std::strerror(errno);
    else if (m_sources.size() >= kMaxSources)
        problem = "files nested too deep";
    if (problem.empty()) {
        auto reader = makeStreamReader(*file);
        m_sources.push_back({reader.get(), 0, name});
        m_owned.push_back({std::move(file), std::move(reader)});
        return;
    }
    m_failedRead = true;
    err << "tovrin-sql: :r " << name << ": " << problem;
    if (!m_settings.interactive && !m_settings.keepGoing) {
        // Later batches may depend on what the file would have done.
        m_stopped = true;
        err << "; the run stops";
    }
    err << std::endl;
}

void BatchSource::pushText(std::string text) {
    auto stream = std::make_unique<std::istringstream>(std::move(text));
    auto reader = makeStreamReader(*stream);
    m_sources.push_back({reader.get(), 0, "(edited batch)"});
    m_owned.push_back({std::move(stream), std::move(reader)});
}

std::optional<Batch> BatchSource::editBatch(std::ostream& err) {
    const std::string text = m_splitter.pendingLines() > 0 ? m_splitter.pendingText() : m_last;
    m_splitter.discard();
    m_typed.clear();
    char path[] = "/tmp/tovrin-sql-XXXXXX.sql";
    const int fd = mkstemps(path, 4); // mode 0600: the batch may hold what others must not read
    if (fd < 0) {
        err << "tovrin-sql: vi: cannot make a file to edit: " << std::strerror(errno) << std::endl;
        return std::nullopt;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    const int status = written ? runShell(editorCommand(m_settings.editor) + " \"$1\"", path) : -1;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream edited;
    edited << in.rdbuf();
    unlink(path);
    if (status != 0) {
        err << "tovrin-sql: vi: the editor failed (exit status " << status << "); nothing was run"
            << std::endl;
        return std::nullopt;
    }
    std::string batch = edited.str();
    if (!batch.empty() && batch.back() != '\n')
        batch += '\n';
    remember(batch);
    // Read as typed lines, so that "go" lines in it end batches; the last one ends with it.
    pushText(batch + m_settings.terminator + '\n');
    return std::nullopt;
}

bool BatchSource::checkInterrupt(std::ostream& err) {
    if (!m_interrupted || !m_interrupted())
        return false;
    if (m_settings.interactive) {
        dropFiles(err);
        return true;
    }
    m_stopped = true;
    err << "tovrin-sql: interrupted: the run stops" << std::endl;
    return true;
}

void BatchSource::dropFiles(std::ostream& err) {
    if (m_sources.size() <= 1)
        return;
    err << "tovrin-sql: the rest of " << m_sources[1].name << " was not run" << std::endl;
    m_sources.resize(1);
    m_owned.clear();
    m_splitter.discard();
    m_typed.clear();
}

Batch BatchSource::made(std::string sql, int repeat, int firstLine) {
    Batch batch;
    batch.sql = std::move(sql);
    batch.repeat = repeat;
    ++m_batches;
    if (m_settings.located) {
        batch.number = m_batches;
        batch.firstLine = firstLine;
    }
    m_last = batch.sql;
    return batch;
}

void BatchSource::dropLastTyped() {
    if (m_typed.empty())
        return;
    m_typed.pop_back(); // the line's end
    m_typed.resize(m_typed.rfind('\n') + 1);
}

void BatchSource::remember(const std::string& sql) {
    std::string entry = sql;
    while (!entry.empty() && entry.back() == '\n')
        entry.pop_back();
    if (!entry.empty())
        m_sources.front().reader->remember(entry);
}

} // namespace tovrin::sqltool

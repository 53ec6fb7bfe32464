// Where the batches of a run come from: the input (a terminal, a pipe, a -i file or -Q
// text) and the files that ":r" lines read into it, split on "go" lines. On the terminal
// it also runs the editing commands: "vi" edits the batch in an editor and runs it, "!!"
// runs the last batch again, "!! command" runs a shell command; a finished batch becomes
// one history entry.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BatchRunner.h"
#include "Batches.h"
#include "LineReader.h"

namespace tovrin::sqltool {

struct SourceSettings {
    bool interactive = false; ///< the input is the terminal
    bool located = false;     ///< a file or a pipe: batches are numbered and located by line
    bool keepGoing = false;   ///< a ":r" file that cannot be read does not end the run
    std::string terminator = "go";
    std::string editor; ///< the editor of "vi" (else $VISUAL, $EDITOR, vi)
};

class BatchSource final {
public:
    /// `interrupted` tells (once) whether Ctrl-C was typed while no batch ran; it is asked
    /// before each line of a file or pipe (the terminal's reader sees Ctrl-C itself).
    BatchSource(LineReader& input, SourceSettings settings, std::function<bool()> interrupted);
    ~BatchSource();
    BatchSource(const BatchSource&) = delete;
    BatchSource& operator=(const BatchSource&) = delete;

    /// The next batch; nullopt at the end of the input, at "quit", or when the run must
    /// stop (stopped()). Ctrl-D on the terminal discards an unfinished batch; at the end
    /// of a file or pipe the rest is a batch of its own.
    std::optional<Batch> next(std::ostream& err);
    /// Drops what is left of the ":r" files being read (a batch of them was cancelled)
    /// and the batch collected so far.
    void dropFiles(std::ostream& err);

    /// True when a ":r" file could not be read.
    [[nodiscard]] bool failedRead() const noexcept { return m_failedRead; }
    /// True when the input ended early: a ":r" file that cannot be read in a file or
    /// pipe run (without --keep-going), or Ctrl-C between batches of one.
    [[nodiscard]] bool stopped() const noexcept { return m_stopped; }

private:
    struct Source;
    struct Owned;

    std::optional<Batch> onLine(BatchSplitter::LineOutcome outcome, std::ostream& err);
    void readFile(const std::string& name, std::ostream& err);
    void pushText(std::string text);
    std::optional<Batch> editBatch(std::ostream& err);
    bool checkInterrupt(std::ostream& err);
    Batch made(std::string sql, int repeat, int firstLine);
    void remember(const std::string& sql);
    /// Takes the last typed line (a command) out of the batch's history entry.
    void dropLastTyped();

    SourceSettings m_settings;
    std::function<bool()> m_interrupted;
    BatchSplitter m_splitter;
    std::vector<Source> m_sources;
    std::vector<Owned> m_owned;
    std::string m_typed; ///< lines typed on the terminal for the batch being collected
    std::string m_last;  ///< the last batch sent
    int m_batches = 0;
    bool m_failedRead = false;
    bool m_stopped = false;
};

} // namespace tovrin::sqltool

// Splitting SQL input into batches: a line holding only "go" (any case, blanks around it)
// ends a batch, as in Adaptive Server's own tools. "reset" alone on a line drops the
// batch typed so far; "quit" or "exit" alone on a line ends the input.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovrin::sqltool {

/// Collects lines and hands out each batch as it ends.
class BatchSplitter final {
public:
    enum class LineOutcome { Collected, BatchReady, Reset, Quit };

    /// Takes one line (without its line break). BatchReady: takeBatch() gives the batch
    /// ended by this "go" (blank batches are dropped, so BatchReady comes only for text).
    LineOutcome addLine(const std::string& line);
    /// The finished batch (after BatchReady), or the unfinished rest at the end of the
    /// input; nullopt when only blanks were collected.
    [[nodiscard]] std::optional<std::string> takeBatch();
    /// Number of lines of the batch being collected (for the prompt).
    [[nodiscard]] int pendingLines() const noexcept { return m_lines; }

private:
    std::string m_text;
    int m_lines = 0;
    std::optional<std::string> m_ready;
};

/// The batches of a whole text (a -Q argument or a file), in order. A text without any
/// "go" line is one batch.
[[nodiscard]] std::vector<std::string> splitBatches(const std::string& text);

/// True when `line` is the command word alone (case-insensitive, blanks around allowed).
[[nodiscard]] bool isCommandLine(const std::string& line, const char* word);

} // namespace tovrin::sqltool

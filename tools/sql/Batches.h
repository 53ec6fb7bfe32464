// Splitting SQL input into batches: a line holding only "go" (any case, blanks around it)
// ends a batch, as in Adaptive Server's own tools, and "go N" ends it to be run N times.
// "reset" alone on a line drops the batch typed so far; "quit" or "exit" alone on a line
// ends the input; ":r file" reads the file's lines into the batch. Another word than "go"
// can end batches (isql's -c). On the terminal, "vi" (or the editor's name) edits the
// batch in an editor, "!!" alone runs the last batch again and "!! command" runs a shell
// command.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovrin::sqltool {

/// Collects lines and hands out each batch as it ends.
class BatchSplitter final {
public:
    enum class LineOutcome { Collected, BatchReady, Reset, Quit, ReadFile, Edit, RunLast, Shell };

    /// `terminator` ends a batch instead of "go"; `terminalCommands` recognises the
    /// lines "vi" (and `editorWord`), "!!" and "!! command".
    explicit BatchSplitter(std::string terminator = "go", bool terminalCommands = false,
                           std::string editorWord = "vi");

    /// Takes one line (without its line break), line `lineNumber` of the input (0 when
    /// not counted). BatchReady: takeBatch() gives the batch ended by this "go" (blank
    /// batches are dropped, so BatchReady comes only for text). ReadFile: the line was
    /// ":r file"; the caller adds the file's lines (fileToRead() names it).
    LineOutcome addLine(const std::string& line, int lineNumber = 0);
    /// The finished batch (after BatchReady), or the unfinished rest at the end of the
    /// input; nullopt when only blanks were collected.
    [[nodiscard]] std::optional<std::string> takeBatch();
    /// Number of lines of the batch being collected (for the prompt).
    [[nodiscard]] int pendingLines() const noexcept { return m_lines; }
    /// How many times the batch that takeBatch() gave is to run ("go N"; 1 otherwise).
    [[nodiscard]] int takenRepeat() const noexcept { return m_takenRepeat; }
    /// The input line where the batch that takeBatch() gave starts (0 when not counted).
    [[nodiscard]] int takenFirstLine() const noexcept { return m_takenFirstLine; }
    /// The file named by the last ":r" line.
    [[nodiscard]] const std::string& fileToRead() const noexcept { return m_file; }
    /// The command of the last "!! command" line.
    [[nodiscard]] const std::string& shellCommand() const noexcept { return m_file; }
    /// The text of the batch being collected (for the editor).
    [[nodiscard]] const std::string& pendingText() const noexcept { return m_text; }
    /// Drops the batch typed so far (Ctrl-C at the prompt).
    void discard() noexcept;
    /// Whether "vi" and "!!" lines are commands (lines typed on the terminal) or text.
    void setTerminalCommands(bool on) noexcept { m_terminalCommands = on; }

private:
    std::optional<LineOutcome> commandOf(const std::string& line);

    std::string m_terminator;
    bool m_terminalCommands;
    std::string m_editorWord;
    std::string m_text;
    int m_lines = 0;
    int m_firstLine = 0;
    std::optional<std::string> m_ready;
    int m_readyRepeat = 1;
    int m_readyFirstLine = 0;
    int m_takenRepeat = 1;
    int m_takenFirstLine = 0;
    std::string m_file;
};

/// The repeat count of a "go" or "go N" line (N from 1); 0 when the line is not one.
/// `terminator` stands for "go" when another word ends batches.
[[nodiscard]] int goLineCount(const std::string& line, const std::string& terminator = "go");

/// The batches of a whole text (a -Q argument or a file), in order. A text without any
/// "go" line (or `terminator` line) is one batch.
[[nodiscard]] std::vector<std::string> splitBatches(const std::string& text,
                                                    const std::string& terminator = "go");

/// True when `line` is the command word alone (case-insensitive, blanks around allowed).
[[nodiscard]] bool isCommandLine(const std::string& line, const char* word);

} // namespace tovrin::sqltool

// Sources of input lines: a stream (a file, piped standard input) or the terminal with
// line editing and history (libedit).
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <string>

namespace tovrin::sqltool {

class LineReader {
public:
    virtual ~LineReader() = default;
    /// The next line without its line break; nullopt at the end of the input.
    /// `lineNumber` is the number of the line within the batch being typed (from 1).
    virtual std::optional<std::string> readLine(int lineNumber) = 0;
    /// True (once) when the last line was cut short by Ctrl-C: it and the batch typed so
    /// far are to be discarded.
    virtual bool takeInterrupted() { return false; }
    /// Keeps a history entry (a whole batch, lines separated by line feeds).
    virtual void remember(const std::string& entry) { (void)entry; }
};

/// Lines of a stream (a trailing carriage return is dropped; a UTF-8 byte-order mark
/// before the first line is skipped).
[[nodiscard]] std::unique_ptr<LineReader> makeStreamReader(std::istream& in);

/// Lines typed on the terminal, prompted "1> ", "2> ", ... (no prompt with
/// `numberedPrompt` false) with libedit's line editing. The history is read from
/// `historyFile` (unless empty; created with mode 0600) and each entry given to remember()
/// is appended to it at once, unless it sets a password; at the end the file is cut to
/// its last entries, so that sessions running side by side keep each other's entries.
/// A recalled entry of several lines is read as those lines. `interruptDescriptor` (or
/// -1) becomes readable when Ctrl-C is typed. With `promptOnStandardError` the prompt
/// goes to standard error (the results are redirected).
[[nodiscard]] std::unique_ptr<LineReader> makeEditLineReader(const std::string& historyFile = {},
                                                             int interruptDescriptor = -1,
                                                             bool promptOnStandardError = false,
                                                             bool numberedPrompt = true);

/// True for a line that names a password (sp_password, "with password", "identified
/// by"), which the history never keeps.
[[nodiscard]] bool mentionsPassword(const std::string& line);

} // namespace tovrin::sqltool

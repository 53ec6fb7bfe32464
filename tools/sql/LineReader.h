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
};

/// Lines of a stream (a trailing carriage return is dropped).
[[nodiscard]] std::unique_ptr<LineReader> makeStreamReader(std::istream& in);

/// Lines typed on the terminal, prompted "1> ", "2> ", ... with libedit's line editing;
/// non-blank lines go into the history.
[[nodiscard]] std::unique_ptr<LineReader> makeEditLineReader();

} // namespace tovrin::sqltool

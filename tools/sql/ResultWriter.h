// The output side of tovrin-sql: one interface that receives, in order, what a batch
// produced (row results, return status, output parameters, server messages), and the
// three formats that implement it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tovrin::sqltool {

/// One value ready for output. The kind decides quoting: numbers and booleans are written
/// bare in JSON and right-aligned in a table; NULL is written as NULL (null in JSON).
struct Cell {
    enum class Kind { Null, Number, Boolean, Text };
    Kind kind = Kind::Null;
    std::string text; ///< the value's text ("1"/"0" for booleans; empty for NULL)

    static Cell null() { return {}; }
    static Cell number(std::string text) { return {Kind::Number, std::move(text)}; }
    static Cell boolean(bool value) { return {Kind::Boolean, value ? "1" : "0"}; }
    static Cell textValue(std::string text) { return {Kind::Text, std::move(text)}; }
};

/// A column of a row result: its name and whether its values are numbers.
struct ColumnInfo {
    std::string name;
    bool numeric = false;
};

/// A message the server (or the client library) sent while the batch ran.
struct ServerNote {
    int number = 0;
    int severity = 0;
    std::string text;
};

class ResultWriter {
public:
    virtual ~ResultWriter() = default;
    /// A row result starts; `resultNumber` counts the row results of the batch from 1.
    virtual void beginResult(int resultNumber, const std::vector<ColumnInfo>& columns) = 0;
    virtual void writeRow(const std::vector<Cell>& row) = 0;
    /// The row result ends after `rowCount` rows.
    virtual void endResult(std::int64_t rowCount) = 0;
    /// A statement that returned no rows (insert, update, delete) changed `rows` rows.
    virtual void writeRowsAffected(std::int64_t rows) = 0;
    virtual void writeReturnStatus(int status) = 0;
    virtual void writeOutputParameters(const std::vector<ColumnInfo>& names, const std::vector<Cell>& values) = 0;
    virtual void writeMessage(const ServerNote& note) = 0;
    /// Writes out whatever is buffered.
    virtual void flush() = 0;
};

/// "(1 row affected)", "(n rows affected)": the row count line of the server's own tools.
[[nodiscard]] inline std::string rowsAffectedLine(std::int64_t rows) {
    return '(' + std::to_string(rows) + (rows == 1 ? " row" : " rows") + " affected)";
}

/// An aligned table; messages, row counts and return statuses go into the same output.
/// Quiet: no row counts and no messages of severity 10 or less.
[[nodiscard]] std::unique_ptr<ResultWriter> makeTableWriter(std::ostream& out, bool quiet);

/// CSV as RFC 4180 (CRLF line ends, fields quoted when they hold a comma, a quote, a line
/// break or leading or trailing blanks; a text equal to NULL or empty is quoted so that
/// it differs from a NULL). Each row result is a header line and the rows; a blank line
/// separates results; the return status and output parameters are results of their own.
/// Messages and row counts go to `notes`.
[[nodiscard]] std::unique_ptr<ResultWriter> makeCsvWriter(std::ostream& out, std::ostream& notes, bool quiet);

/// JSON lines: {"result":n,"row":{...}} per row, {"result":n,"columns":[...],"rows":k} at
/// the end of each row result, {"rows_affected":k} for a statement without rows (not when
/// quiet), {"return_status":s}, {"output_parameters":{...}},
/// {"message":{"number":n,"severity":s,"text":"..."}}.
[[nodiscard]] std::unique_ptr<ResultWriter> makeJsonWriter(std::ostream& out, bool quiet);

/// A text as a JSON string literal (quotes included); invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string jsonString(const std::string& text);

/// One CSV field, quoted when needed (see makeCsvWriter).
[[nodiscard]] std::string csvField(const Cell& cell);

/// Number of characters a UTF-8 text takes on a terminal (one per code point).
[[nodiscard]] std::size_t displayWidth(const std::string& text);

} // namespace tovrin::sqltool

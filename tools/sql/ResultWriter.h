// The output side of tovrin-sql: one interface that receives, in order, what a batch
// produced (row results, return status, output parameters, server messages), and the
// three formats that implement it.
#pragma once

#include <cstdint>
#include <functional>
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
    std::string text;   ///< the value's text ("1"/"0" for booleans; empty for NULL)
    bool exact = false; ///< an exact number (numeric, money, bigint) a double could not hold

    static Cell null() { return {}; }
    static Cell number(std::string text) { return {Kind::Number, std::move(text)}; }
    static Cell exactNumber(std::string text) { return {Kind::Number, std::move(text), true}; }
    static Cell boolean(bool value) { return {Kind::Boolean, value ? "1" : "0"}; }
    static Cell textValue(std::string text) { return {Kind::Text, std::move(text)}; }
};

/// A column of a row result: its name, whether its values are numbers, and the width its
/// declared type needs on a terminal (0 when unknown), which a streamed table uses.
struct ColumnInfo {
    std::string name;
    bool numeric = false;
    std::size_t width = 0;
    bool unnamed = false; ///< the server sent no name (a table heads it empty, as isql does)
};

/// A message the server (or the client library) sent while the batch ran.
struct ServerNote {
    ServerNote() = default;
    ServerNote(int number, int severity, std::string text)
        : number(number), severity(severity), text(std::move(text)) {}

    int number = 0;
    int severity = 0;
    std::string text;
    int state = 0;
    int line = 0;          ///< line of the batch or procedure; 0 when not known
    std::string procedure; ///< empty for the batch itself
    std::string server;
    int batch = 0;     ///< number of the batch in the input (from 1); 0 when not known
    int inputLine = 0; ///< first line of the batch in the input (its line 1); 0 when not known

    /// Severity 11 and above is an error.
    [[nodiscard]] bool isError() const noexcept { return severity > 10; }
};

/// A server message as isql shows it: "Msg n, Level l, State s:", then "Server 'S',
/// Procedure 'P', Line n:" (with the batch and its first input line when known), then
/// the text; every line ends with a line feed. A print (number 0) is its text alone.
[[nodiscard]] std::string isqlMessage(const ServerNote& note);

class ResultWriter {
public:
    virtual ~ResultWriter() = default;
    /// A row result starts; `resultNumber` counts the row results of the batch from 1.
    virtual void beginResult(int resultNumber, const std::vector<ColumnInfo>& columns) = 0;
    virtual void writeRow(const std::vector<Cell>& row) = 0;
    /// The row result ends after `rowCount` rows. `counted`: the server reported the
    /// count (not under "set nocount on"), so the count line is shown.
    virtual void endResult(std::int64_t rowCount, bool counted = true) = 0;
    /// A statement that returned no rows (insert, update, delete) changed `rows` rows.
    virtual void writeRowsAffected(std::int64_t rows) = 0;
    virtual void writeReturnStatus(int status) = 0;
    virtual void writeOutputParameters(const std::vector<ColumnInfo>& names,
                                       const std::vector<Cell>& values) = 0;
    virtual void writeMessage(const ServerNote& note) = 0;
    /// A failure of the tool or of the exchange (not a server message): the JSON format
    /// writes it as {"error":{"text":...}}, the others leave it to standard error.
    /// Returns true when written.
    virtual bool writeFailure(const std::string& text) {
        (void)text;
        return false;
    }
    /// True when server errors belong in this output (writeMessage) rather than on
    /// standard error.
    [[nodiscard]] virtual bool carriesErrors() const { return false; }
    /// The SQL of a batch about to run (-e).
    virtual void writeEcho(const std::string& sql) { (void)sql; }
    /// Writes out whatever is buffered.
    virtual void flush() = 0;
    /// True once a write to the output failed (a full disk, a closed pipe).
    [[nodiscard]] virtual bool writeFailed() const { return false; }

    /// `check` tells when the user asked to stop writing (Ctrl-C); null for never.
    void setStopCheck(std::function<bool()> check) { m_stopCheck = std::move(check); }
    /// True when the writing of a result held in memory is to stop here.
    [[nodiscard]] bool stopRequested() const { return m_stopCheck && m_stopCheck(); }

private:
    std::function<bool()> m_stopCheck;
};

/// "(1 row affected)", "(n rows affected)": the row count line of the server's own tools.
[[nodiscard]] inline std::string rowsAffectedLine(std::int64_t rows) {
    return '(' + std::to_string(rows) + (rows == 1 ? " row" : " rows") + " affected)";
}

/// How a table looks.
struct TableStyle {
    bool quiet = false;            ///< no row counts and no messages of severity 10 or less
    bool streamed = false;         ///< rows written as they come (widths from the types)
    int headerEvery = 0;           ///< streamed: headings again every n rows (0: never)
    bool headers = true;           ///< column headings at all
    std::string separator = " | "; ///< between two columns
    int width = 0; ///< a line wider than this wraps before the column that passes it (0: never)
};

/// An aligned table; messages, row counts and return statuses go into the same output.
/// Buffered, a row result is kept until it ends and each column is as wide as its widest
/// value; streamed, each row is written as it comes and a column is as wide as its
/// declared type (ColumnInfo::width) or its name, a longer value overflowing its column
/// rather than being cut. With a width, the columns that do not fit on a line go on the
/// next ones, the headings as the rows.
[[nodiscard]] std::unique_ptr<ResultWriter> makeTableWriter(std::ostream& out,
                                                            const TableStyle& style);
[[nodiscard]] inline std::unique_ptr<ResultWriter>
makeTableWriter(std::ostream& out, bool quiet, bool streamed = false, int headerEvery = 0) {
    TableStyle style;
    style.quiet = quiet;
    style.streamed = streamed;
    style.headerEvery = headerEvery;
    return makeTableWriter(out, style);
}

/// CSV as RFC 4180 (CRLF line ends, fields quoted when they hold a comma, a quote, a line
/// break or leading or trailing blanks; a text equal to NULL or empty is quoted so that
/// it differs from a NULL). Each row result is a header line (unless `headers` is false)
/// and the rows; a blank line separates results. Messages, row counts, return statuses
/// and output parameters go to `notes`, so that the output holds only rows.
[[nodiscard]] std::unique_ptr<ResultWriter> makeCsvWriter(std::ostream& out, std::ostream& notes,
                                                          bool quiet, bool headers = true);

/// JSON lines: {"result":n,"row":{...}} per row (exact numbers as strings, so that
/// readers that hold numbers as doubles keep every digit; bare with `bareExact`),
/// {"result":n,"columns":[...],"rows":k} at the end of each row result, {"rows_affected":k} for a
/// statement without rows (not when quiet), {"return_status":s}, {"output_parameters":{...}},
/// {"message":{"number":n,"severity":s,"text":"..."}} for information and
/// {"error":{"number":n,"severity":s,"state":s,"line":l,"procedure":p,"server":s,
/// "batch":b,"input_line":i,"text":"..."}} for errors (members without a value left out),
/// {"error":{"text":"..."}} for a failure of the tool or the exchange, {"sql":"..."} for a
/// batch echoed by -e.
[[nodiscard]] std::unique_ptr<ResultWriter> makeJsonWriter(std::ostream& out, bool quiet,
                                                           bool bareExact = false);

/// A text as a JSON string literal (quotes included); invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string jsonString(const std::string& text);

/// One CSV field, quoted when needed (see makeCsvWriter).
[[nodiscard]] std::string csvField(const Cell& cell);

/// Number of terminal columns a UTF-8 text takes: two for East Asian wide and full-width
/// characters, none for combining marks, one for the others.
[[nodiscard]] std::size_t displayWidth(const std::string& text);

} // namespace tovrin::sqltool

// The aligned table format. Buffered, a row result is kept until it ends, because the
// width of each column is that of its longest value; streamed, widths come from the
// declared column types and each row is written as it arrives.
#include "ResultWriter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace tovrin::sqltool {

namespace {

/// The code point of the UTF-8 sequence at text[i] and its length; a byte that starts no
/// valid sequence is taken alone.
char32_t decode(const std::string& text, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    length = c < 0x80             ? 1
             : (c & 0xE0) == 0xC0 ? 2
             : (c & 0xF0) == 0xE0 ? 3
             : (c & 0xF8) == 0xF0 ? 4
                                  : 1;
    if (length == 1 || i + length > text.size())
        return length = 1, c;
    char32_t code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return length = 1, c;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    return code;
}

/// Columns one code point takes on a terminal.
std::size_t columnsOf(char32_t c) {
    // Combining marks and zero-width characters join the character before them.
    if ((c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
        (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
        (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200C || c == 0x200D || c == 0xFEFF)
        return 0;
    // East Asian wide and full-width ranges.
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
        (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
        (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD))
        return 2;
    return 1;
}

} // namespace

std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 1;
        width += columnsOf(decode(text, i, length));
        i += length;
    }
    return width;
}

namespace {

/// Control characters would move the cursor or change the terminal: line breaks and tabs
/// are shown as \n, \r, \t, the others as \xHH.
std::string printable(const Cell& cell) {
    if (cell.kind == Cell::Kind::Null)
        return "NULL";
    std::string out;
    out.reserve(cell.text.size());
    for (std::size_t i = 0; i < cell.text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(cell.text[i]);
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                out += escaped;
            } else if (c == 0xC2 && i + 1 < cell.text.size() &&
                       static_cast<unsigned char>(cell.text[i + 1]) >= 0x80 &&
                       static_cast<unsigned char>(cell.text[i + 1]) <= 0x9F) {
                // C1 controls (U+0080..U+009F) start escape sequences on many terminals.
                char escaped[12];
                std::snprintf(escaped, sizeof escaped, "\\u%04X",
                              static_cast<unsigned char>(cell.text[++i]));
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

class TableWriter final : public ResultWriter {
public:
    TableWriter(std::ostream& out, bool quiet, bool streamed, int headerEvery)
        : m_out(out), m_quiet(quiet), m_streamed(streamed), m_headerEvery(headerEvery) {}

    void beginResult(int, const std::vector<ColumnInfo>& columns) override {
        m_columns = columns;
        m_rows.clear();
        if (m_streamed) {
            m_widths.clear();
            for (const ColumnInfo& column : m_columns)
                m_widths.push_back(std::max(column.width, displayWidth(column.name)));
            m_rowsSinceHeader = 0;
            writeHeader();
        }
    }
    void writeRow(const std::vector<Cell>& row) override {
        std::vector<std::string> texts;
        texts.reserve(row.size());
        for (const Cell& cell : row)
            texts.push_back(printable(cell));
        if (!m_streamed) {
            m_rows.push_back(std::move(texts));
            return;
        }
        if (m_headerEvery > 0 && m_rowsSinceHeader == m_headerEvery) {
            m_out << '\n';
            writeHeader();
            m_rowsSinceHeader = 0;
        }
        writeLine(texts, false);
        ++m_rowsSinceHeader;
    }
    void endResult(std::int64_t rowCount, bool counted) override {
        if (!m_streamed)
            writeTable();
        if (!m_quiet && counted)
            m_out << rowsAffectedLine(rowCount) << '\n';
        m_out << '\n';
        m_rows.clear();
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_quiet)
            m_out << rowsAffectedLine(rows) << '\n';
    }
    void writeReturnStatus(int status) override {
        m_out << "(return status = " << status << ")\n\n";
    }
    void writeOutputParameters(const std::vector<ColumnInfo>& names,
                               const std::vector<Cell>& values) override {
        m_out << "Output parameters:\n";
        m_columns = names;
        m_rows.clear();
        std::vector<std::string> texts;
        for (const Cell& cell : values)
            texts.push_back(printable(cell));
        m_rows.push_back(std::move(texts));
        writeTable();
        m_out << '\n';
        m_rows.clear();
    }
    void writeMessage(const ServerNote& note) override {
        if (m_quiet && !note.isError())
            return;
        m_out << isqlMessage(note);
    }
    void writeEcho(const std::string& sql) override {
        m_out << sql;
        if (!sql.empty() && sql.back() != '\n')
            m_out << '\n';
    }
    void flush() override { m_out.flush(); }

private:
    void writeLine(const std::vector<std::string>& texts, bool header) {
        for (std::size_t i = 0; i < m_widths.size(); ++i) {
            const std::string& text = i < texts.size() ? texts[i] : std::string();
            const std::size_t width = displayWidth(text);
            // A value wider than its column is written whole, pushing the rest right.
            const std::size_t pad = m_widths[i] > width ? m_widths[i] - width : 0;
            if (i > 0)
                m_out << " | ";
            const bool right = !header && m_columns[i].numeric && text != "NULL";
            if (right)
                m_out << std::string(pad, ' ') << text;
            else if (i + 1 < m_widths.size())
                m_out << text << std::string(pad, ' ');
            else
                m_out << text; // no trailing blanks after the last column
        }
        m_out << '\n';
    }
    void writeHeader() {
        std::vector<std::string> header;
        for (const ColumnInfo& column : m_columns)
            header.push_back(column.name);
        writeLine(header, true);
        for (std::size_t i = 0; i < m_widths.size(); ++i) {
            if (i > 0)
                m_out << "-+-";
            m_out << std::string(m_widths[i], '-');
        }
        m_out << '\n';
    }
    void writeTable() {
        m_widths.clear();
        for (const ColumnInfo& column : m_columns)
            m_widths.push_back(displayWidth(column.name));
        for (const auto& row : m_rows)
            for (std::size_t i = 0; i < row.size() && i < m_widths.size(); ++i)
                m_widths[i] = std::max(m_widths[i], displayWidth(row[i]));
        writeHeader();
        for (const auto& row : m_rows)
            writeLine(row, false);
    }

    std::ostream& m_out;
    bool m_quiet;
    bool m_streamed;
    int m_headerEvery;
    int m_rowsSinceHeader = 0;
    std::vector<ColumnInfo> m_columns;
    std::vector<std::size_t> m_widths;
    std::vector<std::vector<std::string>> m_rows;
};

} // namespace

std::string isqlMessage(const ServerNote& note) {
    if (note.number == 0 && !note.isError())
        return note.text + '\n';
    std::string out = "Msg " + std::to_string(note.number) + ", Level " +
                      std::to_string(note.severity) + ", State " + std::to_string(note.state) +
                      ":\n";
    std::string where;
    if (!note.server.empty())
        where = "Server '" + note.server + "'";
    if (!note.procedure.empty())
        where += (where.empty() ? "" : ", ") + std::string("Procedure '") + note.procedure + "'";
    if (note.line > 0)
        where += (where.empty() ? "" : ", ") + std::string("Line ") + std::to_string(note.line);
    if (note.batch > 0) {
        where += (where.empty() ? "" : " ") + std::string("(batch ") + std::to_string(note.batch);
        if (note.inputLine > 0)
            where += ", which starts at input line " + std::to_string(note.inputLine);
        where += ")";
    }
    if (!where.empty())
        out += where + ":\n";
    out += note.text;
    if (out.back() != '\n')
        out += '\n';
    return out;
}

std::unique_ptr<ResultWriter> makeTableWriter(std::ostream& out, bool quiet, bool streamed,
                                              int headerEvery) {
    return std::make_unique<TableWriter>(out, quiet, streamed, headerEvery);
}

} // namespace tovrin::sqltool

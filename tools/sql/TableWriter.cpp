// The aligned table format. Buffered, a row result is kept until it ends, because the
// width of each column is that of its longest value; streamed, widths come from the
// declared column types and each row is written as it arrives.
#include "ResultWriter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include <unicode/uchar.h>

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

/// Columns one code point takes on a terminal, from Unicode's East Asian Width and emoji
/// presentation data as ICU has them.
std::size_t columnsOf(char32_t c) {
    const auto code = static_cast<UChar32>(c);
    // Combining marks, zero-width and format characters join the character before them.
    const int8_t type = u_charType(code);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_FORMAT_CHAR)
        return 0;
    if (u_hasBinaryProperty(code, UCHAR_EMOJI_PRESENTATION))
        return 2;
    const int width = u_getIntPropertyValue(code, UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
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

/// Rows a streamed result holds back to size a column whose type gives no width (text),
/// so that the columns after it line up.
constexpr std::size_t kLookAheadRows = 200;

class TableWriter final : public ResultWriter {
public:
    TableWriter(std::ostream& out, TableStyle style) : m_out(out), m_style(std::move(style)) {}

    void beginResult(int, const std::vector<ColumnInfo>& columns) override {
        m_columns = columns;
        m_rows.clear();
        m_lookingAhead = false;
        if (!m_style.streamed)
            return;
        m_widths.clear();
        for (const ColumnInfo& column : m_columns) {
            m_widths.push_back(
                std::max(column.width, column.unnamed ? 0 : displayWidth(column.name)));
            // A column without a declared width before the last: its rows decide.
            m_lookingAhead |= column.width == 0 && &column != &m_columns.back();
        }
        m_rowsSinceHeader = 0;
        if (!m_lookingAhead)
            writeHeader();
    }
    void writeRow(const std::vector<Cell>& row) override {
        std::vector<std::string> texts;
        texts.reserve(row.size());
        for (const Cell& cell : row)
            texts.push_back(printable(cell));
        if (!m_style.streamed || m_lookingAhead) {
            m_rows.push_back(std::move(texts));
            if (m_lookingAhead && m_rows.size() == kLookAheadRows)
                endLookAhead();
            return;
        }
        writeStreamed(texts);
    }
    void endResult(std::int64_t rowCount, bool counted) override {
        if (!m_style.streamed)
            writeTable();
        else if (m_lookingAhead)
            endLookAhead();
        // Cut short by Ctrl-C, the count would not be what was shown.
        if (!m_style.quiet && counted && !stopRequested())
            m_out << rowsAffectedLine(rowCount) << '\n';
        m_out << '\n';
        m_rows.clear();
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_style.quiet)
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
        if (m_style.quiet && !note.isError())
            return;
        m_out << isqlMessage(note);
    }
    void writeEcho(const std::string& sql) override {
        m_out << sql;
        if (!sql.empty() && sql.back() != '\n')
            m_out << '\n';
    }
    void flush() override { m_out.flush(); }
    [[nodiscard]] bool writeFailed() const override { return m_out.fail(); }

private:
    void writeStreamed(const std::vector<std::string>& texts) {
        if (m_style.headerEvery > 0 && m_rowsSinceHeader == m_style.headerEvery) {
            m_out << '\n';
            writeHeader();
            m_rowsSinceHeader = 0;
        }
        writeLine(texts, false);
        ++m_rowsSinceHeader;
    }
    /// The rows held back have sized the columns: they are written, and the rest streams.
    void endLookAhead() {
        m_lookingAhead = false;
        widenTo(m_rows);
        writeHeader();
        for (const auto& row : m_rows)
            writeStreamed(row);
        m_rows.clear();
    }
    void widenTo(const std::vector<std::vector<std::string>>& rows) {
        for (const auto& row : rows)
            for (std::size_t i = 0; i < row.size() && i < m_widths.size(); ++i)
                m_widths[i] = std::max(m_widths[i], displayWidth(row[i]));
    }
    /// The first column of each line: with a width, a line ends before the column that
    /// would pass it (a line holds one column at least).
    [[nodiscard]] std::vector<std::size_t> lineStarts() const {
        std::vector<std::size_t> starts{0};
        const std::size_t limit = m_style.width > 0 ? static_cast<std::size_t>(m_style.width) : 0;
        std::size_t used = 0;
        for (std::size_t i = 0; i < m_widths.size(); ++i) {
            const std::size_t need =
                (i == starts.back() ? 0 : m_style.separator.size()) + m_widths[i];
            if (limit > 0 && i != starts.back() && used + need > limit) {
                starts.push_back(i);
                used = m_widths[i];
            } else {
                used += need;
            }
        }
        return starts;
    }
    void writeLine(const std::vector<std::string>& texts, bool header) {
        const std::vector<std::size_t> starts = lineStarts();
        std::size_t next = 1;
        for (std::size_t i = 0; i < m_widths.size(); ++i) {
            const std::string& text = i < texts.size() ? texts[i] : std::string();
            const std::size_t width = displayWidth(text);
            // A value wider than its column is written whole, pushing the rest right.
            const std::size_t pad = m_widths[i] > width ? m_widths[i] - width : 0;
            const bool lastOnLine =
                i + 1 == m_widths.size() || (next < starts.size() && starts[next] == i + 1);
            if (next < starts.size() && starts[next] == i) {
                m_out << '\n';
                ++next;
            } else if (i > 0) {
                m_out << m_style.separator;
            }
            const bool right = !header && m_columns[i].numeric && text != "NULL";
            if (right)
                m_out << std::string(pad, ' ') << text;
            else if (!lastOnLine)
                m_out << text << std::string(pad, ' ');
            else
                m_out << text; // no trailing blanks at the end of a line
        }
        m_out << '\n';
    }
    void writeHeader() {
        if (!m_style.headers)
            return;
        std::vector<std::string> header;
        for (const ColumnInfo& column : m_columns)
            header.push_back(column.unnamed ? std::string() : column.name);
        writeLine(header, true);
        std::vector<std::string> rules;
        for (const std::size_t width : m_widths)
            rules.emplace_back(width, '-');
        const std::string separator = m_style.separator;
        // The rule crosses the separator where it has a bar: "-+-" under " | ".
        m_style.separator = ruleSeparator(separator);
        writeLine(rules, true);
        m_style.separator = separator;
    }
    [[nodiscard]] static std::string ruleSeparator(const std::string& separator) {
        std::string rule = separator;
        for (char& c : rule)
            c = c == '|' ? '+' : c == ' ' ? '-' : c;
        return rule;
    }
    void writeTable() {
        m_widths.clear();
        for (const ColumnInfo& column : m_columns)
            m_widths.push_back(column.unnamed ? 0 : displayWidth(column.name));
        widenTo(m_rows);
        writeHeader();
        for (const auto& row : m_rows) {
            if (stopRequested())
                return; // Ctrl-C: the rest of the held result is not wanted
            writeLine(row, false);
        }
    }

    std::ostream& m_out;
    TableStyle m_style;
    int m_rowsSinceHeader = 0;
    bool m_lookingAhead = false;
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

std::unique_ptr<ResultWriter> makeTableWriter(std::ostream& out, const TableStyle& style) {
    return std::make_unique<TableWriter>(out, style);
}

} // namespace tovrin::sqltool

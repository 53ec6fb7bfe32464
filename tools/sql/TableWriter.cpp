// The aligned table format. A row result is buffered until it ends, because the width
// of each column is that of its longest value.
#include "ResultWriter.h"

#include <algorithm>
#include <ostream>

namespace tovrin::sqltool {

std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++width;
    return width;
}

namespace {

/// Control characters would break the alignment: line breaks and tabs are shown escaped.
std::string printable(const Cell& cell) {
    if (cell.kind == Cell::Kind::Null)
        return "NULL";
    std::string out;
    out.reserve(cell.text.size());
    for (char c : cell.text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
    return out;
}

class TableWriter final : public ResultWriter {
public:
    TableWriter(std::ostream& out, bool quiet) : m_out(out), m_quiet(quiet) {}

    void beginResult(int, const std::vector<ColumnInfo>& columns) override {
        m_columns = columns;
        m_rows.clear();
    }
    void writeRow(const std::vector<Cell>& row) override {
        std::vector<std::string> texts;
        texts.reserve(row.size());
        for (const Cell& cell : row)
            texts.push_back(printable(cell));
        m_rows.push_back(std::move(texts));
    }
    void endResult(std::int64_t rowCount) override {
        writeTable();
        if (!m_quiet)
            m_out << rowsAffectedLine(rowCount) << '\n';
        m_out << '\n';
        m_rows.clear();
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_quiet)
            m_out << rowsAffectedLine(rows) << '\n';
    }
    void writeReturnStatus(int status) override { m_out << "(return status = " << status << ")\n\n"; }
    void writeOutputParameters(const std::vector<ColumnInfo>& names, const std::vector<Cell>& values) override {
        m_out << "Output parameters:\n";
        m_columns = names;
        m_rows.clear();
        writeRow(values);
        writeTable();
        m_out << '\n';
        m_rows.clear();
    }
    void writeMessage(const ServerNote& note) override {
        if (note.number == 0 && note.severity <= 10) {
            if (!m_quiet)
                m_out << note.text << '\n';
            return;
        }
        if (m_quiet && note.severity <= 10)
            return;
        m_out << "Msg " << note.number << ", Level " << note.severity << ": " << note.text << '\n';
    }
    void flush() override { m_out.flush(); }

private:
    void writeTable() {
        std::vector<std::size_t> widths;
        for (const ColumnInfo& column : m_columns)
            widths.push_back(displayWidth(column.name));
        for (const auto& row : m_rows)
            for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
                widths[i] = std::max(widths[i], displayWidth(row[i]));
        auto line = [&](const std::vector<std::string>& texts, bool header) {
            for (std::size_t i = 0; i < widths.size(); ++i) {
                const std::string& text = i < texts.size() ? texts[i] : std::string();
                const std::size_t pad = widths[i] - displayWidth(text);
                if (i > 0)
                    m_out << " | ";
                const bool right = !header && m_columns[i].numeric && text != "NULL";
                if (right)
                    m_out << std::string(pad, ' ') << text;
                else if (i + 1 < widths.size())
                    m_out << text << std::string(pad, ' ');
                else
                    m_out << text; // no trailing blanks after the last column
            }
            m_out << '\n';
        };
        std::vector<std::string> header;
        for (const ColumnInfo& column : m_columns)
            header.push_back(column.name);
        line(header, true);
        for (std::size_t i = 0; i < widths.size(); ++i) {
            if (i > 0)
                m_out << "-+-";
            m_out << std::string(widths[i], '-');
        }
        m_out << '\n';
        for (const auto& row : m_rows)
            line(row, false);
    }

    std::ostream& m_out;
    bool m_quiet;
    std::vector<ColumnInfo> m_columns;
    std::vector<std::vector<std::string>> m_rows;
};

} // namespace

std::unique_ptr<ResultWriter> makeTableWriter(std::ostream& out, bool quiet) {
    return std::make_unique<TableWriter>(out, quiet);
}

} // namespace tovrin::sqltool

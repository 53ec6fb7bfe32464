// CSV output as RFC 4180: CRLF record ends, double quotes around fields that need them,
// a double quote inside a field written twice.
#include "ResultWriter.h"

#include <ostream>

namespace tovrin::sqltool {

namespace {

bool needsQuotes(const std::string& text) {
    if (text.empty() || text == "NULL")
        return true;
    if (text.front() == ' ' || text.back() == ' ')
        return true;
    for (char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// Appends the cell as one CSV field.
void appendField(std::string& out, const Cell& cell) {
    if (cell.kind == Cell::Kind::Null)
        out += "NULL";
    else if (cell.kind == Cell::Kind::Text && needsQuotes(cell.text))
        appendQuoted(out, cell.text);
    else
        out += cell.text;
}

} // namespace

std::string csvField(const Cell& cell) {
    std::string out;
    appendField(out, cell);
    return out;
}

namespace {

class CsvWriter final : public ResultWriter {
public:
    CsvWriter(std::ostream& out, std::ostream& notes, bool quiet, bool headers)
        : m_out(out), m_notes(notes), m_quiet(quiet), m_headers(headers) {}

    void beginResult(int, const std::vector<ColumnInfo>& columns) override {
        separate();
        writeHeader(columns);
    }
    void writeRow(const std::vector<Cell>& row) override {
        // One write per row, from a line buffer that keeps its capacity.
        m_line.clear();
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                m_line += ',';
            appendField(m_line, row[i]);
        }
        m_line += "\r\n";
        m_out.write(m_line.data(), static_cast<std::streamsize>(m_line.size()));
    }
    void endResult(std::int64_t rowCount, bool counted) override {
        if (!m_quiet && counted)
            m_notes << rowsAffectedLine(rowCount) << '\n';
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_quiet)
            m_notes << rowsAffectedLine(rows) << '\n';
    }
    // The return status and output parameters are not rows: among them they would break
    // every reader of the file. They go with the messages, as isql shows them.
    void writeReturnStatus(int status) override {
        m_notes << "(return status = " << status << ")\n";
    }
    void writeOutputParameters(const std::vector<ColumnInfo>& names,
                               const std::vector<Cell>& values) override {
        m_notes << "Output parameters:";
        for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
            m_notes << (i > 0 ? ", " : " ") << names[i].name << " = " << csvField(values[i]);
        m_notes << '\n';
    }
    void writeMessage(const ServerNote& note) override {
        if (m_quiet && !note.isError())
            return;
        m_notes << isqlMessage(note);
    }
    void writeEcho(const std::string& sql) override {
        m_notes << sql;
        if (!sql.empty() && sql.back() != '\n')
            m_notes << '\n';
    }
    void flush() override {
        m_out.flush();
        m_notes.flush();
    }
    [[nodiscard]] bool writeFailed() const override { return m_out.fail(); }

private:
    void separate() {
        if (m_blocks++ > 0)
            m_out << "\r\n";
    }
    void writeHeader(const std::vector<ColumnInfo>& columns) {
        if (!m_headers)
            return;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                m_out << ',';
            m_out << csvField(Cell::textValue(columns[i].name));
        }
        m_out << "\r\n";
    }

    std::ostream& m_out;
    std::ostream& m_notes;
    bool m_quiet;
    bool m_headers;
    int m_blocks = 0;
    std::string m_line;
};

} // namespace

std::unique_ptr<ResultWriter> makeCsvWriter(std::ostream& out, std::ostream& notes, bool quiet,
                                            bool headers) {
    return std::make_unique<CsvWriter>(out, notes, quiet, headers);
}

} // namespace tovrin::sqltool

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
    return text.find_first_of(",\"\r\n") != std::string::npos;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

std::string csvField(const Cell& cell) {
    if (cell.kind == Cell::Kind::Null)
        return "NULL";
    if (cell.kind != Cell::Kind::Text)
        return cell.text;
    return needsQuotes(cell.text) ? quoted(cell.text) : cell.text;
}

namespace {

class CsvWriter final : public ResultWriter {
public:
    CsvWriter(std::ostream& out, std::ostream& notes, bool quiet) : m_out(out), m_notes(notes), m_quiet(quiet) {}

    void beginResult(int, const std::vector<ColumnInfo>& columns) override {
        separate();
        writeHeader(columns);
    }
    void writeRow(const std::vector<Cell>& row) override {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0)
                m_out << ',';
            m_out << csvField(row[i]);
        }
        m_out << "\r\n";
    }
    void endResult(std::int64_t rowCount) override {
        if (!m_quiet)
            m_notes << rowsAffectedLine(rowCount) << '\n';
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_quiet)
            m_notes << rowsAffectedLine(rows) << '\n';
    }
    void writeReturnStatus(int status) override {
        separate();
        m_out << "return_status\r\n" << status << "\r\n";
    }
    void writeOutputParameters(const std::vector<ColumnInfo>& names, const std::vector<Cell>& values) override {
        separate();
        writeHeader(names);
        writeRow(values);
    }
    void writeMessage(const ServerNote& note) override {
        if (m_quiet && note.severity <= 10)
            return;
        if (note.number == 0 && note.severity <= 10)
            m_notes << note.text << '\n';
        else
            m_notes << "Msg " << note.number << ", Level " << note.severity << ": " << note.text << '\n';
    }
    void flush() override {
        m_out.flush();
        m_notes.flush();
    }

private:
    void separate() {
        if (m_blocks++ > 0)
            m_out << "\r\n";
    }
    void writeHeader(const std::vector<ColumnInfo>& columns) {
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
    int m_blocks = 0;
};

} // namespace

std::unique_ptr<ResultWriter> makeCsvWriter(std::ostream& out, std::ostream& notes, bool quiet) {
    return std::make_unique<CsvWriter>(out, notes, quiet);
}

} // namespace tovrin::sqltool

// JSON lines output: one JSON object per line, tagged by what it carries.
#include "ResultWriter.h"

#include <cstdio>
#include <ostream>

namespace tovrin::sqltool {

namespace {

/// Length of the valid UTF-8 sequence at text[i], or 0 when it is not valid.
std::size_t utf8Length(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    unsigned min = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    unsigned code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

/// True when the text is a number as JSON writes it.
bool isJsonNumber(const std::string& text) {
    std::size_t i = 0;
    const auto digits = [&]() {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > start;
    };
    if (i < text.size() && text[i] == '-')
        ++i;
    if (i < text.size() && text[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

/// `bareExact`: exact numbers bare too (most readers turn them into doubles and lose
/// digits, so by default they are strings).
std::string jsonValue(const Cell& cell, bool bareExact) {
    switch (cell.kind) {
    case Cell::Kind::Null:
        return "null";
    case Cell::Kind::Boolean:
        return cell.text == "1" ? "true" : "false";
    case Cell::Kind::Number:
        return isJsonNumber(cell.text) && (bareExact || !cell.exact) ? cell.text
                                                                     : jsonString(cell.text);
    case Cell::Kind::Text:
        break;
    }
    return jsonString(cell.text);
}

std::string jsonObject(const std::vector<ColumnInfo>& names, const std::vector<Cell>& values,
                       bool bareExact) {
    std::string out = "{";
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
        if (i > 0)
            out += ',';
        out += jsonString(names[i].name);
        out += ':';
        out += jsonValue(values[i], bareExact);
    }
    out += '}';
    return out;
}

class JsonWriter final : public ResultWriter {
public:
    JsonWriter(std::ostream& out, bool quiet, bool bareExact)
        : m_out(out), m_quiet(quiet), m_bareExact(bareExact) {}

    void beginResult(int resultNumber, const std::vector<ColumnInfo>& columns) override {
        m_result = resultNumber;
        m_columns = columns;
    }
    void writeRow(const std::vector<Cell>& row) override {
        m_out << "{\"result\":" << m_result
              << ",\"row\":" << jsonObject(m_columns, row, m_bareExact) << "}\n";
    }
    void endResult(std::int64_t rowCount, bool) override {
        m_out << "{\"result\":" << m_result << ",\"columns\":[";
        for (std::size_t i = 0; i < m_columns.size(); ++i)
            m_out << (i > 0 ? "," : "") << jsonString(m_columns[i].name);
        m_out << "],\"rows\":" << rowCount << "}\n";
    }
    void writeRowsAffected(std::int64_t rows) override {
        if (!m_quiet)
            m_out << "{\"rows_affected\":" << rows << "}\n";
    }
    void writeReturnStatus(int status) override {
        m_out << "{\"return_status\":" << status << "}\n";
    }
    void writeOutputParameters(const std::vector<ColumnInfo>& names,
                               const std::vector<Cell>& values) override {
        m_out << "{\"output_parameters\":" << jsonObject(names, values, m_bareExact) << "}\n";
    }
    void writeMessage(const ServerNote& note) override {
        if (!note.isError()) {
            if (m_quiet)
                return;
            m_out << "{\"message\":{\"number\":" << note.number << ",\"severity\":" << note.severity
                  << ",\"text\":" << jsonString(note.text) << "}}\n";
            return;
        }
        m_out << "{\"error\":{\"number\":" << note.number << ",\"severity\":" << note.severity
              << ",\"state\":" << note.state;
        if (note.line > 0)
            m_out << ",\"line\":" << note.line;
        if (!note.procedure.empty())
            m_out << ",\"procedure\":" << jsonString(note.procedure);
        if (!note.server.empty())
            m_out << ",\"server\":" << jsonString(note.server);
        if (note.batch > 0)
            m_out << ",\"batch\":" << note.batch;
        if (note.inputLine > 0)
            m_out << ",\"input_line\":" << note.inputLine;
        m_out << ",\"text\":" << jsonString(note.text) << "}}\n";
    }
    [[nodiscard]] bool carriesErrors() const override { return true; }
    bool writeFailure(const std::string& text) override {
        m_out << "{\"error\":{\"text\":" << jsonString(text) << "}}\n";
        return true;
    }
    void writeEcho(const std::string& sql) override {
        m_out << "{\"sql\":" << jsonString(sql) << "}\n";
    }
    void flush() override { m_out.flush(); }
    [[nodiscard]] bool writeFailed() const override { return m_out.fail(); }

private:
    std::ostream& m_out;
    bool m_quiet;
    bool m_bareExact;
    int m_result = 0;
    std::vector<ColumnInfo> m_columns;
};

} // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD for a byte that is not UTF-8
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::unique_ptr<ResultWriter> makeJsonWriter(std::ostream& out, bool quiet, bool bareExact) {
    return std::make_unique<JsonWriter>(out, quiet, bareExact);
}

} // namespace tovrin::sqltool

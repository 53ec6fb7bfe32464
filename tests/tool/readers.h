// Test helpers that read the tool's output formats back: an RFC 4180 CSV reader that
// keeps the blocks apart (a blank line between results) and tells quoted fields from bare
// ones, and a small JSON reader for JSON lines.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tooltest {

struct CsvField {
    std::string text;
    bool quoted = false;
    [[nodiscard]] bool isNull() const { return !quoted && text == "NULL"; }
};
using CsvRecord = std::vector<CsvField>;
using CsvBlock = std::vector<CsvRecord>;

/// Reads CSV with CRLF record ends; throws on a bare LF, a quote inside a bare field or
/// an unterminated quoted field. A blank line ends a block.
inline std::vector<CsvBlock> parseCsv(const std::string& text) {
    std::vector<CsvBlock> blocks(1);
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, 2, "\r\n") == 0) { // a blank line
            blocks.emplace_back();
            i += 2;
            continue;
        }
        CsvRecord record;
        for (;;) {
            CsvField field;
            if (i < text.size() && text[i] == '"') {
                field.quoted = true;
                ++i;
                for (;;) {
                    if (i >= text.size())
                        throw std::runtime_error("unterminated quoted field");
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field.text += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field.text += text[i++];
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r') {
                    if (text[i] == '"' || text[i] == '\n')
                        throw std::runtime_error("quote or bare line feed in an unquoted field");
                    field.text += text[i++];
                }
            }
            record.push_back(std::move(field));
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            if (text.compare(i, 2, "\r\n") != 0)
                throw std::runtime_error("record not ended by CRLF at " + std::to_string(i));
            i += 2;
            break;
        }
        blocks.back().push_back(std::move(record));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    return blocks;
}

/// A JSON value: null, boolean, number (kept as its text), string, array or object (its
/// members in order).
struct Json {
    enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    std::string text; ///< number text or string value
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    [[nodiscard]] bool has(const std::string& name) const {
        for (const auto& m : members)
            if (m.first == name)
                return true;
        return false;
    }
    [[nodiscard]] const Json& operator[](const std::string& name) const {
        for (const auto& m : members)
            if (m.first == name)
                return m.second;
        throw std::runtime_error("no member " + name);
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}
    Json parseWhole() {
        Json v = value();
        blanks();
        if (m_pos != m_text.size())
            fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(m_pos) + " in " +
                                 m_text);
    }
    void blanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
    }
    bool take(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) != 0)
            return false;
        m_pos += w.size();
        return true;
    }
    Json value() {
        blanks();
        Json v;
        if (m_pos >= m_text.size())
            fail("value expected");
        const char c = m_text[m_pos];
        if (take("null"))
            return v;
        if (take("true") || take("false")) {
            v.kind = Json::Kind::Boolean;
            v.boolean = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return v;
        }
        if (c == '"') {
            v.kind = Json::Kind::String;
            v.text = string();
            return v;
        }
        if (c == '[') {
            v.kind = Json::Kind::Array;
            ++m_pos;
            blanks();
            if (take("]"))
                return v;
            for (;;) {
                v.items.push_back(value());
                blanks();
                if (take("]"))
                    return v;
                if (!take(","))
                    fail("',' or ']' expected");
            }
        }
        if (c == '{') {
            v.kind = Json::Kind::Object;
            ++m_pos;
            blanks();
            if (take("}"))
                return v;
            for (;;) {
                blanks();
                std::string name = string();
                blanks();
                if (!take(":"))
                    fail("':' expected");
                v.members.emplace_back(std::move(name), value());
                blanks();
                if (take("}"))
                    return v;
                if (!take(","))
                    fail("',' or '}' expected");
            }
        }
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               std::string("+-0123456789.eE").find(m_text[m_pos]) != std::string::npos)
            ++m_pos;
        if (start == m_pos)
            fail("unexpected character");
        v.kind = Json::Kind::Number;
        v.text = m_text.substr(start, m_pos - start);
        return v;
    }
    std::string string() {
        if (!take("\""))
            fail("string expected");
        std::string out;
        for (;;) {
            if (m_pos >= m_text.size())
                fail("unterminated string");
            const char c = m_text[m_pos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = m_text[m_pos++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '/':
                out += '/';
                break;
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'u': {
                const unsigned code =
                    static_cast<unsigned>(std::stoul(m_text.substr(m_pos, 4), nullptr, 16));
                m_pos += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                fail("bad escape");
            }
        }
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

inline Json parseJson(const std::string& line) {
    return JsonReader(line).parseWhole();
}

/// Every non-empty line of JSON-lines output, parsed.
inline std::vector<Json> parseJsonLines(const std::string& text) {
    std::vector<Json> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            out.push_back(parseJson(text.substr(start, end - start)));
        start = end + 1;
    }
    return out;
}

} // namespace tooltest

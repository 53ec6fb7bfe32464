// Lexer: splits the component text form into tokens, counting lines for messages.
#include "tovrin5/host/ReaderLexer.h"

#include <charconv>
#include <cmath>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {
namespace detail {

Lexer::Lexer(std::string text) : m_text(std::move(text)) {
    if (m_text.size() > kMaxTextSize)
        throw EReadError("Component text too large");
}

void Lexer::fail(const std::string& reason) {
    throw EReadError("Line " + std::to_string(peek().line) + ": " + reason);
}

void Lexer::skipBlanks() {
    while (m_pos < m_text.size()) {
        char c = m_text[m_pos];
        if (c == '\n') {
            ++m_line;
            ++m_pos;
        } else if (static_cast<unsigned char>(c) <= ' ') {
            ++m_pos;
        } else {
            break;
        }
    }
}

void Lexer::failHere(const std::string& reason) const {
    throw EReadError("Line " + std::to_string(m_line) + ": " + reason);
}

// One quoted part or #nn character; appends to out. Returns false when none follows.
bool Lexer::stringPart(std::string& out) {
    if (m_pos >= m_text.size())
        return false;
    char c = m_text[m_pos];
    if (c == '\'') {
        ++m_pos;
        while (true) {
            if (m_pos >= m_text.size() || m_text[m_pos] == '\n' || m_text[m_pos] == '\r')
                failHere("Unterminated string");
            char d = m_text[m_pos++];
            if (d == '\'') {
                if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
                    out += '\'';
                    ++m_pos;
                    continue;
                }
                return true;
            }
            out += d;
        }
    }
    if (c == '#') {
        ++m_pos;
        size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
            ++m_pos;
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(m_text.data() + start, m_text.data() + m_pos, value);
        if (start == m_pos || ec != std::errc() || value > 255)
            failHere("Invalid character code");
        out += static_cast<char>(value);
        return true;
    }
    return false;
}

Token Lexer::scan() {
    skipBlanks();
    Token t;
    t.line = m_line;
    if (m_pos >= m_text.size())
        return t;
    char c = m_text[m_pos];
    if (identStart(c)) {
        scanIdent(t);
    } else if (c == '\'' || c == '#') {
        scanString(t);
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
        scanNumber(t);
    } else if (c == '{') {
        scanBinary(t);
    } else if (std::string("=:()<>[],").find(c) != std::string::npos) {
        ++m_pos;
        t.kind = Tok::Symbol;
        t.text = std::string(1, c);
    } else {
        failHere(std::string("Invalid character '") +
                 (static_cast<unsigned char>(c) < 32 ? '?' : c) + "'");
    }
    return t;
}

// A name, dotted names included (Font.Style).
void Lexer::scanIdent(Token& t) {
    size_t start = m_pos;
    while (m_pos < m_text.size() &&
           (identChar(m_text[m_pos]) ||
            (m_text[m_pos] == '.' && m_pos + 1 < m_text.size() && identStart(m_text[m_pos + 1]))))
        ++m_pos;
    t.kind = Tok::Ident;
    t.text = m_text.substr(start, m_pos - start);
}

// Quoted parts and #nn characters, joined; 'a' + (line break) 'b' continues the same text.
void Lexer::scanString(Token& t) {
    t.kind = Tok::String;
    while (true) {
        while (stringPart(t.text)) {
        }
        size_t save = m_pos;
        int saveLine = m_line;
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == '+') {
            ++m_pos;
            skipBlanks();
            if (m_pos < m_text.size() && (m_text[m_pos] == '\'' || m_text[m_pos] == '#'))
                continue;
            failHere("String expected after +");
        }
        m_pos = save;
        m_line = saveLine;
        return;
    }
}

// An integer, or a float (a '.' or an exponent, INF, or a c/d/s suffix).
void Lexer::scanNumber(Token& t) {
    const char c = m_text[m_pos];
    size_t start = m_pos;
    if (c == '-' || c == '+')
        ++m_pos;
    if (m_pos + 2 < m_text.size() + 0 && m_text.compare(m_pos, 3, "INF") == 0) {
        m_pos += 3;
        t.kind = Tok::Float;
        t.number = c == '-' ? -HUGE_VAL : HUGE_VAL;
        return;
    }
    bool isFloat = false;
    while (m_pos < m_text.size()) {
        char d = m_text[m_pos];
        if (d >= '0' && d <= '9') {
            ++m_pos;
        } else if (d == '.' || d == 'e' || d == 'E') {
            isFloat = true;
            ++m_pos;
            if ((d == 'e' || d == 'E') && m_pos < m_text.size() &&
                (m_text[m_pos] == '-' || m_text[m_pos] == '+'))
                ++m_pos;
        } else {
            break;
        }
    }
    const char* first = m_text.data() + start;
    if (*first == '+')
        ++first;
    const char* last = m_text.data() + m_pos;
    if (isFloat) {
        auto [ptr, ec] = std::from_chars(first, last, t.number);
        if (ec != std::errc() || ptr != last)
            failHere("Invalid number");
        t.kind = Tok::Float;
    } else {
        auto [ptr, ec] = std::from_chars(first, last, t.integer);
        if (ec != std::errc() || ptr != last)
            failHere("Invalid number");
        t.kind = Tok::Integer;
    }
    if (m_pos < m_text.size() &&
        (m_text[m_pos] == 'c' || m_text[m_pos] == 'd' || m_text[m_pos] == 's')) {
        if (t.kind == Tok::Integer)
            t.number = static_cast<double>(t.integer);
        t.kind = Tok::Float;
        t.suffix = m_text[m_pos++];
    }
    if (m_pos < m_text.size() && identChar(m_text[m_pos]))
        failHere("Invalid number");
}

// {hex digits}, blanks between them allowed; an odd count of digits is an error.
void Lexer::scanBinary(Token& t) {
    ++m_pos;
    t.kind = Tok::Binary;
    int high = -1;
    while (true) {
        skipBlanks();
        if (m_pos >= m_text.size())
            failHere("Unterminated binary value");
        char d = m_text[m_pos++];
        if (d == '}')
            break;
        int v = (d >= '0' && d <= '9')   ? d - '0'
                : (d >= 'A' && d <= 'F') ? d - 'A' + 10
                : (d >= 'a' && d <= 'f') ? d - 'a' + 10
                                         : -1;
        if (v < 0)
            failHere("Invalid binary value");
        if (high < 0) {
            high = v;
        } else {
            t.text += static_cast<char>(high * 16 + v);
            high = -1;
        }
    }
    if (high >= 0)
        failHere("Invalid binary value");
}

} // namespace detail
} // namespace tovrin::host

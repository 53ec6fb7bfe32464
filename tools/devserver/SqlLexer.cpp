// T-SQL tokenizer.
#include "SqlLexer.h"

#include "SqlErrors.h"

#include <cctype>

namespace devserver {

namespace {

bool identStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool identPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c >= 0x80;
}

} // namespace

Token syntheticToken(Token::Kind kind, std::string text, int line, size_t& nextOffset) {
    Token t;
    t.kind = kind;
    t.text = std::move(text);
    t.line = line;
    t.begin = nextOffset++;
    t.end = nextOffset++;
    return t;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Token::is(std::string_view word) const {
    return kind == Kind::Identifier && equalsIgnoreCase(text, word);
}

namespace {

/// Reads a batch token by token, counting lines.
class Lexer {
public:
    Lexer(std::string_view sql, bool quotedIdentifiers) : m_sql(sql), m_quoted(quotedIdentifiers) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        while (m_i < m_sql.size()) {
            if (skipSpaceOrComment())
                continue;
            Token t;
            t.line = m_line;
            t.begin = m_i;
            readToken(t);
            t.end = m_i;
            tokens.push_back(std::move(t));
        }
        return tokens;
    }

private:
    unsigned char at(size_t k) const {
        return k < m_sql.size() ? static_cast<unsigned char>(m_sql[k]) : 0;
    }

    /// Skips one blank, line end or comment; false when a token starts here.
    bool skipSpaceOrComment() {
        const unsigned char c = at(m_i);
        if (c == '\n') {
            ++m_line;
            ++m_i;
            return true;
        }
        if (std::isspace(c)) {
            ++m_i;
            return true;
        }
        if (c == '-' && at(m_i + 1) == '-') {
            while (m_i < m_sql.size() && m_sql[m_i] != '\n')
                ++m_i;
            return true;
        }
        if (c == '/' && at(m_i + 1) == '*') {
            skipBlockComment();
            return true;
        }
        return false;
    }

    /// /* … */, nested.
    void skipBlockComment() {
        int depth = 0;
        while (m_i < m_sql.size()) {
            if (m_sql[m_i] == '/' && at(m_i + 1) == '*') {
                ++depth;
                m_i += 2;
            } else if (m_sql[m_i] == '*' && at(m_i + 1) == '/') {
                m_i += 2;
                if (--depth == 0)
                    break;
            } else {
                if (m_sql[m_i] == '\n')
                    ++m_line;
                ++m_i;
            }
        }
        if (depth != 0)
            throw SqlError(113, 15, "Missing end comment mark '*/'.");
    }

    void readToken(Token& t) {
        unsigned char c = at(m_i);
        // N'...' (a national-character literal, as some clients send every string) reads
        // like a plain literal: text is UTF-8 throughout.
        if ((c == 'N' || c == 'n') && at(m_i + 1) == '\'')
            c = at(++m_i);
        if (c == '\'' || c == '"') {
            readQuoted(t, static_cast<char>(c));
        } else if (c == '[') {
            size_t close = m_sql.find(']', m_i + 1);
            if (close == std::string_view::npos)
                throw syntaxError(m_sql.substr(m_i, 20));
            t.kind = Token::Kind::QuotedIdentifier;
            t.text = std::string(m_sql.substr(m_i + 1, close - m_i - 1));
            m_i = close + 1;
        } else if (c == '0' && (at(m_i + 1) == 'x' || at(m_i + 1) == 'X')) {
            m_i += 2;
            while (std::isxdigit(at(m_i)))
                t.text += m_sql[m_i++];
            t.kind = Token::Kind::Binary;
        } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(m_i + 1))) ||
                   (c == '$' && (std::isdigit(at(m_i + 1)) || at(m_i + 1) == '.'))) {
            readNumber(t, c);
        } else if (c == '@') {
            bool global = at(m_i + 1) == '@';
            size_t start = m_i;
            m_i += global ? 2 : 1;
            while (identPart(at(m_i)))
                ++m_i;
            t.text = std::string(m_sql.substr(start, m_i - start));
            t.kind = global ? Token::Kind::GlobalVariable : Token::Kind::Variable;
        } else if (identStart(c)) {
            size_t start = m_i;
            while (identPart(at(m_i)))
                ++m_i;
            t.text = std::string(m_sql.substr(start, m_i - start));
            t.kind = Token::Kind::Identifier;
        } else {
            readOperator(t, c);
        }
    }

    /// A string literal (or a quoted identifier) in `quote`s; a doubled quote stands for one.
    void readQuoted(Token& t, char quote) {
        ++m_i;
        bool closed = false;
        while (m_i < m_sql.size()) {
            if (m_sql[m_i] == quote) {
                if (at(m_i + 1) == static_cast<unsigned char>(quote)) {
                    t.text += quote;
                    m_i += 2;
                    continue;
                }
                ++m_i;
                closed = true;
                break;
            }
            if (m_sql[m_i] == '\\' && at(m_i + 1) == '\n') {
                // A backslash before a line end continues the string on the next line:
                // neither is part of the value.
                ++m_line;
                m_i += 2;
                continue;
            }
            if (m_sql[m_i] == '\n')
                ++m_line;
            t.text += m_sql[m_i++];
        }
        if (!closed) {
            std::string shown = t.text.substr(0, 40);
            throw SqlError(105, 15, "Unclosed quote before the character string '" + shown + "'.");
        }
        t.kind = quote == '"' && m_quoted ? Token::Kind::QuotedIdentifier : Token::Kind::String;
    }

    void readNumber(Token& t, unsigned char c) {
        // A money literal may start with '$'.
        if (c == '$')
            ++m_i;
        while (std::isdigit(at(m_i)))
            t.text += m_sql[m_i++];
        if (at(m_i) == '.') {
            t.text += m_sql[m_i++];
            while (std::isdigit(at(m_i)))
                t.text += m_sql[m_i++];
        }
        if ((at(m_i) == 'e' || at(m_i) == 'E') &&
            (std::isdigit(at(m_i + 1)) ||
             ((at(m_i + 1) == '+' || at(m_i + 1) == '-') && std::isdigit(at(m_i + 2))))) {
            t.text += m_sql[m_i++];
            if (at(m_i) == '+' || at(m_i) == '-')
                t.text += m_sql[m_i++];
            while (std::isdigit(at(m_i)))
                t.text += m_sql[m_i++];
        }
        t.kind = Token::Kind::Number;
    }

    void readOperator(Token& t, unsigned char c) {
        static constexpr std::string_view kTwo[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||", "=="};
        t.kind = Token::Kind::Operator;
        std::string_view two = m_sql.substr(m_i, 2);
        for (auto op : kTwo) {
            if (two == op) {
                t.text = std::string(op);
                m_i += 2;
                return;
            }
        }
        t.text = std::string(1, static_cast<char>(c));
        ++m_i;
    }

    std::string_view m_sql;
    const bool m_quoted;
    size_t m_i = 0;
    int m_line = 1;
};

} // namespace

std::vector<Token> tokenize(std::string_view sql, bool quotedIdentifiers) {
    return Lexer(sql, quotedIdentifiers).run();
}

} // namespace devserver

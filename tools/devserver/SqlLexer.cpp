// T-SQL tokenizer.
#include "SqlLexer.h"

#include "SqlErrors.h"

#include <cctype>

namespace devserver {

namespace {

bool identStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80; }
bool identPart(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c >= 0x80; }

} // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Token::is(std::string_view word) const {
    return kind == Kind::Identifier && equalsIgnoreCase(text, word);
}

std::vector<Token> tokenize(std::string_view sql, bool quotedIdentifiers) {
    std::vector<Token> tokens;
    size_t i = 0;
    int line = 1;
    const size_t n = sql.size();
    auto at = [&](size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(sql[k]) : 0; };
    while (i < n) {
        unsigned char c = at(i);
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '-' && at(i + 1) == '-') {
            while (i < n && sql[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && at(i + 1) == '*') {
            int depth = 0;
            size_t start = i;
            while (i < n) {
                if (sql[i] == '/' && at(i + 1) == '*') {
                    ++depth;
                    i += 2;
                } else if (sql[i] == '*' && at(i + 1) == '/') {
                    i += 2;
                    if (--depth == 0) break;
                } else {
                    if (sql[i] == '\n') ++line;
                    ++i;
                }
            }
            if (depth != 0) {
                (void)start;
                throw SqlError(113, 15, "Missing end comment mark '*/'.");
            }
            continue;
        }
        Token t;
        t.line = line;
        t.begin = i;
        // N'...' (a national-character literal, as some clients send every string) reads
        // like a plain literal: text is UTF-8 throughout.
        if ((c == 'N' || c == 'n') && at(i + 1) == '\'') c = at(++i);
        if (c == '\'' || c == '"') {
            const char quote = static_cast<char>(c);
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == quote) {
                    if (at(i + 1) == static_cast<unsigned char>(quote)) {
                        t.text += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (sql[i] == '\\' && at(i + 1) == '\n') {
                    // A backslash before a line end continues the string on the next line:
                    // neither is part of the value.
                    ++line;
                    i += 2;
                    continue;
                }
                if (sql[i] == '\n') ++line;
                t.text += sql[i++];
            }
            if (!closed) {
                std::string shown = t.text.substr(0, 40);
                throw SqlError(105, 15, "Unclosed quote before the character string '" + shown + "'.");
            }
            t.kind = quote == '"' && quotedIdentifiers ? Token::Kind::QuotedIdentifier : Token::Kind::String;
        } else if (c == '[') {
            size_t close = sql.find(']', i + 1);
            if (close == std::string_view::npos) throw syntaxError(sql.substr(i, 20));
            t.kind = Token::Kind::QuotedIdentifier;
            t.text = std::string(sql.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
            i += 2;
            while (std::isxdigit(at(i))) t.text += sql[i++];
            t.kind = Token::Kind::Binary;
        } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1))) ||
                   (c == '$' && (std::isdigit(at(i + 1)) || at(i + 1) == '.'))) {
            // A money literal may start with '$'.
            if (c == '$') ++i;
            while (std::isdigit(at(i))) t.text += sql[i++];
            if (at(i) == '.') {
                t.text += sql[i++];
                while (std::isdigit(at(i))) t.text += sql[i++];
            }
            if ((at(i) == 'e' || at(i) == 'E') &&
                (std::isdigit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && std::isdigit(at(i + 2))))) {
                t.text += sql[i++];
                if (at(i) == '+' || at(i) == '-') t.text += sql[i++];
                while (std::isdigit(at(i))) t.text += sql[i++];
            }
            t.kind = Token::Kind::Number;
        } else if (c == '@') {
            bool global = at(i + 1) == '@';
            size_t start = i;
            i += global ? 2 : 1;
            while (identPart(at(i))) ++i;
            t.text = std::string(sql.substr(start, i - start));
            t.kind = global ? Token::Kind::GlobalVariable : Token::Kind::Variable;
        } else if (identStart(c)) {
            size_t start = i;
            while (identPart(at(i))) ++i;
            t.text = std::string(sql.substr(start, i - start));
            t.kind = Token::Kind::Identifier;
        } else {
            static constexpr std::string_view kTwo[] = {"<=", ">=", "<>", "!=", "!<", "!>", "||", "=="};
            t.kind = Token::Kind::Operator;
            std::string_view two = sql.substr(i, 2);
            bool matched = false;
            for (auto op : kTwo) {
                if (two == op) {
                    t.text = std::string(op);
                    i += 2;
                    matched = true;
                    break;
                }
            }
            if (!matched) {
                t.text = std::string(1, static_cast<char>(c));
                ++i;
            }
        }
        t.end = i;
        tokens.push_back(std::move(t));
    }
    return tokens;
}

} // namespace devserver

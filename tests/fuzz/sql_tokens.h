// A small SQL tokenizer for the fuzz targets: it splits text into the tokens that decide
// where a literal ends (quoted strings with doubled quotes, bracketed names, line comments
// up to the line feed, nesting block comments, a colon with the name after it) and
// tells, for every byte, which token holds it. It follows the server's reading of these
// constructs, not the marker scanner's code, so that the two can be checked against each
// other.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tovrin5/query/SqlScanner.h"

namespace fuzzsql {

enum class Kind {
    Blank,
    Word,
    SingleQuoted,
    DoubleQuoted,
    Bracketed,
    LineComment,
    BlockComment,
    Other
};

struct Token {
    Kind kind;
    std::size_t begin;  ///< first byte
    std::size_t end;    ///< one past the last byte
    bool closed = true; ///< false for a quoted string or block comment that runs to the end
};

inline bool isWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c == '.' || c == '@' || c == '#' || c >= 0x80;
}

inline std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> tokens;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t begin = i;
        Token token{Kind::Other, begin, begin + 1};
        if (c == '\'' || c == '"') {
            token.kind = c == '\'' ? Kind::SingleQuoted : Kind::DoubleQuoted;
            token.closed = false;
            ++i;
            while (i < n) {
                if (static_cast<unsigned char>(text[i]) == c) {
                    if (i + 1 < n && static_cast<unsigned char>(text[i + 1]) == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    token.closed = true;
                    break;
                }
                ++i;
            }
            token.end = i;
        } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            token.kind = Kind::LineComment;
            i += 2;
            while (i < n && text[i] != '\n') {
                ++i;
            }
            token.end = i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            token.kind = Kind::BlockComment;
            token.closed = false;
            int depth = 0;
            while (i < n) {
                if (text[i] == '/' && i + 1 < n && text[i + 1] == '*') {
                    ++depth;
                    i += 2;
                } else if (text[i] == '*' && i + 1 < n && text[i + 1] == '/') {
                    i += 2;
                    if (--depth == 0) {
                        token.closed = true;
                        break;
                    }
                } else {
                    ++i;
                }
            }
            token.end = i;
        } else if (c == '[') {
            token.kind = Kind::Bracketed;
            token.closed = false;
            ++i;
            while (i < n && text[i] != ']') {
                ++i;
            }
            if (i < n) {
                ++i;
                token.closed = true;
            }
            token.end = i;
        } else if (c == ':' && tovrin::sqltext::MarkerNameEnd(text, i + 1) > i + 1) {
            // The colon stays a token of its own; the name after it (which may hold
            // brackets) is passed over whole, as far as a marker name reaches.
            ++i;
            tokens.push_back(token);
            const std::size_t nameBegin = i;
            i = tovrin::sqltext::MarkerNameEnd(text, i);
            tokens.push_back(Token{Kind::Word, nameBegin, i});
            continue;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            token.kind = Kind::Blank;
            while (i < n &&
                   (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
                ++i;
            }
            token.end = i;
        } else if (isWordByte(c)) {
            token.kind = Kind::Word;
            while (i < n && isWordByte(static_cast<unsigned char>(text[i]))) {
                ++i;
            }
            token.end = i;
        } else {
            ++i;
        }
        tokens.push_back(token);
    }
    return tokens;
}

/// Index of the token holding byte `pos` (tokens cover the text without gaps).
inline std::size_t tokenAt(const std::vector<Token>& tokens, std::size_t pos) {
    std::size_t lo = 0;
    std::size_t hi = tokens.size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (tokens[mid].begin <= pos) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

} // namespace fuzzsql

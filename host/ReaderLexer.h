// The scanner of the component text form: its tokens and the Lexer that reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {
namespace detail {

enum class Tok { End, Ident, Integer, Float, String, Symbol, Binary };

struct Token {
    Tok kind = Tok::End;
    std::string text; // identifier, string value, symbol, binary bytes
    int64_t integer = 0;
    double number = 0;
    char suffix = 0; // float suffix: 'c' currency, 'd' date, 's' single
    int line = 1;
};

constexpr size_t kMaxTextSize = size_t{256} << 20;
constexpr int kMaxDepth = 200;

class Lexer {
public:
    /// Raises EReadError for a text over kMaxTextSize.
    explicit Lexer(std::string text);

    const Token& peek() {
        if (!m_havePeek) {
            m_peek = scan();
            m_havePeek = true;
        }
        return m_peek;
    }

    Token next() {
        peek();
        m_havePeek = false;
        return std::move(m_peek);
    }

    /// Raises EReadError naming the line of the next token.
    [[noreturn]] void fail(const std::string& reason);

private:
    void skipBlanks();
    [[noreturn]] void failHere(const std::string& reason) const;

    static bool identStart(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    }
    static bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

    bool stringPart(std::string& out);
    Token scan();
    void scanIdent(Token& t);
    void scanString(Token& t);
    void scanNumber(Token& t);
    void scanBinary(Token& t);

    std::string m_text;
    size_t m_pos = 0;
    int m_line = 1;
    Token m_peek;
    bool m_havePeek = false;
};

inline bool isIdent(const Token& t, const char* word) {
    return t.kind == Tok::Ident && SameText(t.text, word);
}
inline bool isSymbol(const Token& t, char c) {
    return t.kind == Tok::Symbol && t.text.size() == 1 && t.text[0] == c;
}

} // namespace detail
} // namespace tovrin::host

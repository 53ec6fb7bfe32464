// The T-SQL tokenizer: splits a batch into identifiers, literals, variables and operators,
// each with its line and its place in the batch text. Quoted identifiers are off unless
// asked for, as on Adaptive Server by default: text in double quotes is a string literal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace devserver {

struct Token {
    enum class Kind {
        Identifier,       ///< name or keyword; `text` as written
        QuotedIdentifier, ///< [name] (or "name" with quoted identifiers); `text` without the quotes
        String,           ///< '…' (or "…" without quoted identifiers); `text` is the value
        Number,           ///< 12, 1.5, 2e3; `text` as written
        Binary,           ///< 0x…; `text` holds the hex digits only
        Variable,         ///< @name; `text` with the '@'
        GlobalVariable,   ///< @@name; `text` with the "@@"
        Operator,         ///< punctuation and operators ("(", ",", "<=", …)
    };
    Kind kind = Kind::Operator;
    std::string text;
    int line = 1;
    size_t begin = 0; ///< offset of the first character in the batch
    size_t end = 0;   ///< offset just after the token

    /// True for an identifier equal to `word` ignoring case.
    [[nodiscard]] bool is(std::string_view word) const;
    /// True for an operator token with this text.
    [[nodiscard]] bool isOp(std::string_view op) const {
        return kind == Kind::Operator && text == op;
    }
};

/// Tokenizes `sql`; with `quotedIdentifiers` (set quoted_identifier on) text in double
/// quotes is a name. Throws SqlError 105 for an unclosed quote and 102 for an unclosed
/// comment.
[[nodiscard]] std::vector<Token> tokenize(std::string_view sql, bool quotedIdentifiers = false);

/// Case-insensitive comparison of ASCII words.
[[nodiscard]] bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept;
/// A token a rewrite adds to a statement: it takes the offsets at `nextOffset` (past the
/// statement's text, so nothing takes it for a piece of what the client sent) and moves it on.
[[nodiscard]] Token syntheticToken(Token::Kind kind, std::string text, int line,
                                   size_t& nextOffset);
/// A name or word in ASCII lower case, the form names are compared and kept in.
[[nodiscard]] std::string lower(std::string_view s);

} // namespace devserver

// Splits a tokenized batch (or procedure body) into statements and the control-flow
// blocks around them. T-SQL needs no separator between statements: a statement ends where
// a keyword that starts another one appears outside parentheses (with the exceptions that
// keep `insert … select`, `update … set`, `union select` together).
#pragma once

#include "SqlLexer.h"

#include <memory>
#include <span>
#include <vector>

namespace devserver {

struct Statement {
    enum class Kind { Simple, Block, If, While };
    Kind kind = Kind::Simple;
    /// Simple: the statement's tokens. If/While: the condition's tokens.
    std::vector<Token> tokens;
    /// Block: its statements. If: then-branch and, when present, else-branch. While: body.
    std::vector<std::unique_ptr<Statement>> children;
    int line = 1;
    size_t begin = 0; ///< offset of the statement's first character in the batch
};

/// Parses `tokens` into a block of statements. `create procedure` takes the rest of the
/// batch. Throws SqlError 156/102 for a misplaced `else`, `end` or an unclosed `begin`.
[[nodiscard]] std::unique_ptr<Statement> parseStatements(const std::vector<Token>& tokens);

/// True for words that begin a statement.
[[nodiscard]] bool isStatementKeyword(const Token& token);

/// Index of the ')' matching the '(' at `open`, or tokens.size().
[[nodiscard]] size_t matchingParen(std::span<const Token> tokens, size_t open);
/// Index of the first comma at depth 1 after the '(' at `open`, or the matching ')'.
[[nodiscard]] size_t firstArgumentEnd(std::span<const Token> tokens, size_t open);

/// The index of the first token from `from` on, outside parentheses, for which
/// `stops(token)` holds; the end of `tokens` when there is none.
template <class Stop>
[[nodiscard]] size_t findOutsideParentheses(std::span<const Token> tokens, size_t from,
                                            Stop stops) {
    int depth = 0;
    size_t i = from;
    for (; i < tokens.size(); ++i) {
        if (tokens[i].isOp("("))
            ++depth;
        else if (tokens[i].isOp(")"))
            --depth;
        else if (depth == 0 && stops(tokens[i]))
            return i;
    }
    return i;
}

/// The index of the first token from `from` on, outside any case … end, for which
/// `stops(token, depth)` holds (`depth`: the parenthesis depth there, 0 at the top level);
/// the end of `tokens` when there is none.
template <class Stop>
[[nodiscard]] size_t findOutsideCase(std::span<const Token> tokens, size_t from, Stop stops) {
    int depth = 0, caseDepth = 0;
    size_t i = from;
    for (; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.isOp("("))
            ++depth;
        else if (t.isOp(")"))
            --depth;
        else if (t.is("case"))
            ++caseDepth;
        else if (t.is("end") && caseDepth > 0)
            --caseDepth;
        else if (caseDepth == 0 && stops(t, depth))
            return i;
    }
    return i;
}

} // namespace devserver

// T-SQL to SQLite translation of whole statements: inserts, updates and deletes typed from
// their tables, selects (SqlTranslateSelect.cpp), expressions (SqlTranslateExpressions.cpp).
#include "SqlTranslatorParts.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>

namespace devserver::translator {

bool isCharacterType(const ColumnType& t) {
    return t.type == SqlType::Char || t.type == SqlType::VarChar || t.type == SqlType::UniChar ||
           t.type == SqlType::UniVarChar || t.type == SqlType::Text;
}

std::string typeTextOf(std::span<const Token> tokens) {
    std::string text;
    for (const Token& t : tokens) {
        if (!text.empty() && t.kind == Token::Kind::Identifier && text.back() != '(' &&
            text.back() != ',')
            text += ' ';
        text += t.text;
    }
    return text;
}

/// The end of the operand that starts at `i` (a literal, variable, name, function call or
/// parenthesized expression, with its sign), or `i` when it is none of these.
size_t primaryEnd(std::span<const Token> tokens, size_t i) {
    while (i < tokens.size() && (tokens[i].isOp("-") || tokens[i].isOp("+")))
        ++i;
    if (i >= tokens.size())
        return i;
    const Token& t = tokens[i];
    if (t.isOp("(")) {
        size_t close = matchingParen(tokens, i);
        return close < tokens.size() ? close + 1 : i;
    }
    if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String ||
        t.kind == Token::Kind::Variable || t.kind == Token::Kind::GlobalVariable ||
        t.kind == Token::Kind::Binary || t.isOp("?"))
        return i + 1;
    if (t.kind != Token::Kind::Identifier && t.kind != Token::Kind::QuotedIdentifier)
        return i;
    if (t.is("case") || isStatementKeyword(t))
        return i;
    size_t j = i + 1;
    while (j + 1 < tokens.size() && tokens[j].isOp(".") &&
           (tokens[j + 1].kind == Token::Kind::Identifier ||
            tokens[j + 1].kind == Token::Kind::QuotedIdentifier || tokens[j + 1].isOp(".")))
        j += 2;
    if (j < tokens.size() && tokens[j].isOp("(")) {
        size_t close = matchingParen(tokens, j);
        return close < tokens.size() ? close + 1 : i;
    }
    return j;
}

/// True when the operator at `i` stands before an operand (a sign), not between two.
bool isUnaryPosition(std::span<const Token> tokens, size_t i) {
    if (i == 0)
        return true;
    const Token& prev = tokens[i - 1];
    if (prev.kind == Token::Kind::Operator)
        return !prev.isOp(")");
    if (prev.kind != Token::Kind::Identifier)
        return false;
    static constexpr std::string_view kBefore[] = {
        "select", "values", "where",  "and", "or",    "not",    "then",
        "else",   "when",   "return", "set", "by",    "in",     "between",
        "like",   "is",     "having", "on",  "print", "default"};
    for (auto word : kBefore)
        if (prev.is(word))
            return true;
    return false;
}

bool isComparison(const Token& t) {
    return t.isOp("=") || t.isOp("<>") || t.isOp("!=") || t.isOp("<") || t.isOp(">") ||
           t.isOp("<=") || t.isOp(">=") || t.isOp("!<") || t.isOp("!>");
}

} // namespace devserver::translator

namespace devserver {

using namespace translator;

namespace {

/// `text` between `quote`s, each quote in it doubled.
std::string quoted(const std::string& text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        if (c == quote)
            out += quote;
        out += c;
    }
    return out + quote;
}

} // namespace

std::string quoteLiteral(const std::string& text) {
    return quoted(text, '\'');
}

std::string quoteIdentifier(const std::string& name) {
    return quoted(name, '"');
}

std::vector<std::span<const Token>> splitAtCommas(std::span<const Token> tokens) {
    std::vector<std::span<const Token>> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].isOp("("))
            ++depth;
        else if (tokens[i].isOp(")"))
            --depth;
        else if (tokens[i].isOp(",") && depth == 0) {
            parts.push_back(tokens.subspan(start, i - start));
            start = i + 1;
        }
    }
    if (start < tokens.size() || !parts.empty())
        parts.push_back(tokens.subspan(start));
    return parts;
}

Translation translate(std::span<const Token> tokens, const TranslateContext& context,
                      bool isSelect) {
    Translation out;
    std::vector<Token> joined;
    tokens = rewriteOuterJoins(tokens, context, joined);
    std::vector<Token> written;
    tokens = rewriteJoinedWrite(tokens, context.rowLimit, written);
    out.outerJoinInner = outerJoinInnerTables(tokens);
    if (isSelect && !tokens.empty() && tokens[0].is("select")) {
        translateSelect(tokens, context, out);
    } else {
        Translator tr(context, out);
        tr.m_keepAsText = literalsKeptAsText(tokens, context);
        tr.m_timesOfDay = literalsKeptAsText(tokens, context, true);
        // Variables and literals can always be typed; the columns of an update's table too.
        TypeScope scope;
        scope.variable = context.variable;
        scope.marker = context.marker;
        tr.m_typeOf = [&scope](std::span<const Token> expression) {
            return expressionType(expression, scope);
        };
        std::vector<Token> tableSelect;
        std::optional<SelectTyper> tableTyper;
        if (!tokens.empty() && tokens[0].is("delete")) {
            // "select * from <the table>" types the names of its condition.
            const size_t tableAt = tokens.size() > 1 && tokens[1].is("from") ? 2 : 1;
            size_t tableEnd = tableAt;
            while (tableEnd < tokens.size() && !tokens[tableEnd].is("where") &&
                   !tokens[tableEnd].is("from"))
                ++tableEnd;
            if (tableEnd > tableAt) {
                tableSelect.push_back(Token{Token::Kind::Identifier, "select"});
                tableSelect.push_back(Token{Token::Kind::Operator, "*"});
                tableSelect.push_back(Token{Token::Kind::Identifier, "from"});
                tableSelect.insert(tableSelect.end(), tokens.begin() + static_cast<long>(tableAt),
                                   tokens.begin() + static_cast<long>(tableEnd));
                tableTyper.emplace(tableSelect, context);
                tr.m_typeOf = [&tableTyper](std::span<const Token> expression) {
                    return tableTyper->type(expression);
                };
            }
        }
        if (!tokens.empty() && tokens[0].is("update")) {
            size_t setAt = 0, fromAt = 0;
            for (size_t k = 1, depth = 0; k < tokens.size(); ++k) {
                if (tokens[k].isOp("("))
                    ++depth;
                else if (tokens[k].isOp(")"))
                    --depth;
                else if (depth == 0 && !setAt && tokens[k].is("set"))
                    setAt = k;
                else if (depth == 0 && setAt && !fromAt && tokens[k].is("from"))
                    fromAt = k;
            }
            if (setAt > 1) {
                // "select * from <the table, or the update's own from clause>" types its names.
                tableSelect.push_back(Token{Token::Kind::Identifier, "select"});
                tableSelect.push_back(Token{Token::Kind::Operator, "*"});
                tableSelect.push_back(Token{Token::Kind::Identifier, "from"});
                tableSelect.insert(tableSelect.end(), tokens.begin() + 1,
                                   tokens.begin() + static_cast<long>(setAt));
                if (fromAt) {
                    tableSelect.push_back(Token{Token::Kind::Operator, ","});
                    tableSelect.insert(tableSelect.end(),
                                       tokens.begin() + static_cast<long>(fromAt + 1),
                                       tokens.end());
                }
                tableTyper.emplace(tableSelect, context);
                tr.m_typeOf = [&tableTyper](std::span<const Token> expression) {
                    return tableTyper->type(expression);
                };
            }
        }
        const bool isInsert = !tokens.empty() && tokens[0].is("insert");
        // T-SQL lets `into` after insert and `from` after delete be left out.
        if (tokens.size() > 2 && tokens[0].is("insert") && !tokens[1].is("into")) {
            tr.emit("insert into");
            tokens = tokens.subspan(1);
        } else if (tokens.size() > 1 && tokens[0].is("delete") && !tokens[1].is("from")) {
            tr.emit("delete from");
            tokens = tokens.subspan(1);
        }
        size_t selectAt = tokens.size();
        if (isInsert) {
            for (size_t k = 1, depth = 0; k < tokens.size(); ++k) {
                if (tokens[k].isOp("("))
                    ++depth;
                else if (tokens[k].isOp(")"))
                    --depth;
                else if (depth == 0 && tokens[k].is("select")) {
                    selectAt = k;
                    break;
                }
            }
        }
        if (selectAt < tokens.size()) {
            // insert … select: the select's expressions are typed from its own tables.
            tr.run(tokens.subspan(0, selectAt));
            // set rowcount limits the rows an insert … select writes too.
            if (context.rowLimit > 0)
                tr.emit("select * from (");
            translateSelect(tokens.subspan(selectAt), context, out);
            if (context.rowLimit > 0)
                tr.emit(") limit " + std::to_string(context.rowLimit));
        } else {
            tr.run(tokens);
        }
    }
    return out;
}

std::span<const Token> nullComparisons(std::span<const Token> tokens, bool condition,
                                       std::vector<Token>& storage) {
    auto isComparison = [](const Token& t) { return t.isOp("=") || t.isOp("!=") || t.isOp("<>"); };
    bool any = false;
    for (size_t i = 0; i + 1 < tokens.size() && !any; ++i)
        any = isComparison(tokens[i]) && tokens[i + 1].is("null");
    if (!any)
        return tokens;
    storage.clear();
    storage.reserve(tokens.size() + 4);
    size_t synthetic = tokens.back().end + 1;
    bool inCondition = condition;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (!condition && t.kind == Token::Kind::Identifier) {
            if (t.is("where") || t.is("having") || t.is("on") || t.is("when"))
                inCondition = true;
            else if (t.is("set") || t.is("select") || t.is("values") || t.is("then") ||
                     t.is("else") || t.is("order") || t.is("group"))
                inCondition = false;
        }
        if (inCondition && isComparison(t) && i + 1 < tokens.size() && tokens[i + 1].is("null")) {
            Token word = t;
            word.kind = Token::Kind::Identifier;
            word.text = "is";
            storage.push_back(word);
            if (!t.isOp("=")) {
                word.text = "not";
                word.begin = synthetic++;
                word.end = synthetic++;
                storage.push_back(word);
            }
            continue;
        }
        storage.push_back(t);
    }
    return storage;
}

Translation translateExpression(std::span<const Token> tokens, const TranslateContext& context) {
    Translation out;
    out.sql = "select";
    Translator tr(context, out);
    // Variables and literals are typed; there are no columns here.
    TypeScope scope;
    scope.variable = context.variable;
    scope.marker = context.marker;
    tr.m_typeOf = [&scope](std::span<const Token> expression) {
        return expressionType(expression, scope);
    };
    tr.run(tokens);
    return out;
}

} // namespace devserver
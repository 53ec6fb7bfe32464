// T-SQL to SQLite translation, token by token.
#include "SqlTranslator.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>
#include <map>
#include <set>

#include <cstdlib>

namespace devserver {

namespace {

/// Functions whose T-SQL name differs from the SQLite (or registered) one.
struct Rename {
    std::string_view from;
    std::string_view to;
};
constexpr Rename kRenames[] = {
    {"isnull", "ifnull"},       {"len", "length"},           {"char_length", "length"},
    {"datalength", "tovrin_datalength"}, {"ceiling", "tovrin_ceiling"}, {"str_replace", "replace"},
    {"getutcdate", "getdate"},  {"count_big", "count"},
};

/// Functions whose result is character data (for `+` as concatenation).
constexpr std::string_view kStringFunctions[] = {
    "upper", "lower", "ltrim", "rtrim", "substring", "str", "db_name", "user_name", "suser_name",
    "replicate", "space", "char", "replace", "str_replace", "left", "right", "trim", "stuff",
};

/// Words that end the select list.
constexpr std::string_view kSelectListEnd[] = {"from", "into", "where", "group", "having", "order",
                                              "union", "compute", "for", "except", "intersect"};

bool isCharacterType(const ColumnType& t) {
    return t.type == SqlType::Char || t.type == SqlType::VarChar || t.type == SqlType::UniChar ||
           t.type == SqlType::UniVarChar || t.type == SqlType::Text;
}

std::string typeTextOf(std::span<const Token> tokens) {
    std::string text;
    for (const Token& t : tokens) {
        if (!text.empty() && t.kind == Token::Kind::Identifier && text.back() != '(' && text.back() != ',')
            text += ' ';
        text += t.text;
    }
    return text;
}

/// Index of the ')' matching the '(' at `open`, or tokens.size().
size_t matchingParen(std::span<const Token> tokens, size_t open) {
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].isOp("(")) ++depth;
        else if (tokens[i].isOp(")") && --depth == 0) return i;
    }
    return tokens.size();
}

/// Index of the first comma at depth 1 after the '(' at `open`, or the matching ')'.
size_t firstArgumentEnd(std::span<const Token> tokens, size_t open) {
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].isOp("(")) ++depth;
        else if (tokens[i].isOp(")") && --depth == 0) return i;
        else if (tokens[i].isOp(",") && depth == 1) return i;
    }
    return tokens.size();
}

/// The value to bind for a variable: money and numeric values, held as exact text, are
/// bound as numbers (so that they compare and compute as numbers) when a double holds them
/// exactly, and as text otherwise.
SqlValue bindable(const SqlValue& value, const std::optional<ColumnType>& type) {
    if (!type || value.kind != SqlValue::Kind::Text) return value;
    const SqlType t = type->type;
    if (t != SqlType::Money && t != SqlType::SmallMoney && t != SqlType::Numeric && t != SqlType::Decimal)
        return value;
    const int scale = t == SqlType::Money || t == SqlType::SmallMoney ? 4 : type->scale;
    auto unscaled = parseDecimal(value.bytes, scale);
    if (!unscaled) return value;
    const __int128 factor = powerOfTen(scale);
    if (*unscaled % factor == 0) {
        __int128 whole = *unscaled / factor;
        if (whole >= INT64_MIN && whole <= INT64_MAX) return SqlValue::ofInteger(static_cast<int64_t>(whole));
    }
    constexpr __int128 kExactInDouble = static_cast<__int128>(1) << 53;
    if (*unscaled > -kExactInDouble && *unscaled < kExactInDouble)
        return SqlValue::ofReal(std::strtod(value.bytes.c_str(), nullptr));
    return value;
}

/// Significant digits of a number literal, and whether it has a fraction or exponent.
bool needsExactText(const std::string& number) {
    if (number.find_first_of("eE") != std::string::npos) return false;
    int significant = 0;
    bool leading = true;
    for (char c : number) {
        if (c == '.') continue;
        if (leading && c == '0') continue;
        leading = false;
        ++significant;
    }
    if (number.find('.') == std::string::npos) {
        // Integers beyond 64 bits would become approximate reals.
        return significant > 18;
    }
    return significant > 15;
}

/// The end of the operand that starts at `i` (a literal, variable, name, function call or
/// parenthesized expression, with its sign), or `i` when it is none of these.
size_t primaryEnd(std::span<const Token> tokens, size_t i) {
    while (i < tokens.size() && (tokens[i].isOp("-") || tokens[i].isOp("+"))) ++i;
    if (i >= tokens.size()) return i;
    const Token& t = tokens[i];
    if (t.isOp("(")) {
        size_t close = matchingParen(tokens, i);
        return close < tokens.size() ? close + 1 : i;
    }
    if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String || t.kind == Token::Kind::Variable ||
        t.kind == Token::Kind::GlobalVariable || t.kind == Token::Kind::Binary || t.isOp("?"))
        return i + 1;
    if (t.kind != Token::Kind::Identifier && t.kind != Token::Kind::QuotedIdentifier) return i;
    if (t.is("case") || isStatementKeyword(t)) return i;
    size_t j = i + 1;
    while (j + 1 < tokens.size() && tokens[j].isOp(".") &&
           (tokens[j + 1].kind == Token::Kind::Identifier || tokens[j + 1].kind == Token::Kind::QuotedIdentifier ||
            tokens[j + 1].isOp(".")))
        j += 2;
    if (j < tokens.size() && tokens[j].isOp("(")) {
        size_t close = matchingParen(tokens, j);
        return close < tokens.size() ? close + 1 : i;
    }
    return j;
}

/// True when the operator at `i` stands before an operand (a sign), not between two.
bool isUnaryPosition(std::span<const Token> tokens, size_t i) {
    if (i == 0) return true;
    const Token& prev = tokens[i - 1];
    if (prev.kind == Token::Kind::Operator) return !prev.isOp(")");
    if (prev.kind != Token::Kind::Identifier) return false;
    static constexpr std::string_view kBefore[] = {"select", "values", "where", "and", "or", "not", "then", "else",
                                                  "when", "return", "set", "by", "in", "between", "like", "is",
                                                  "having", "on", "print", "default"};
    for (auto word : kBefore)
        if (prev.is(word)) return true;
    return false;
}

bool isComparison(const Token& t);
bool isColumnReference(std::span<const Token> expression);

class Translator {
public:
    Translator(const TranslateContext& context, Translation& out) : m_context(context), m_out(out) {}

    void run(std::span<const Token> tokens) {
        for (size_t i = 0; i < tokens.size();) i = step(tokens, i);
    }

    void emit(std::string_view text) {
        if (!m_out.sql.empty() && m_out.sql.back() != ' ') m_out.sql += ' ';
        m_out.sql += text;
    }

    /// Binds a value and emits its parameter.
    void bind(SqlValue value) {
        m_out.binds.push_back(std::move(value));
        emit("?" + std::to_string(m_out.binds.size()));
    }

    bool isCharacterOperand(std::span<const Token> tokens, size_t i, bool backwards) {
        if (i >= tokens.size()) return false;
        const Token& t = tokens[i];
        if (t.kind == Token::Kind::String) return true;
        if (t.kind == Token::Kind::Variable || t.kind == Token::Kind::GlobalVariable) {
            auto [value, type] = m_context.variable(t);
            if (type) return isCharacterType(*type);
            return value.kind == SqlValue::Kind::Text;
        }
        size_t functionAt = i;
        if (backwards) {
            if (!t.isOp(")")) return false;
            int depth = 0;
            size_t k = i + 1;
            while (k-- > 0) {
                if (tokens[k].isOp(")")) ++depth;
                else if (tokens[k].isOp("(") && --depth == 0) break;
            }
            if (k == 0 || k > i) return false;
            functionAt = k - 1;
        } else if (!(i + 1 < tokens.size() && tokens[i + 1].isOp("("))) {
            return false;
        }
        const Token& f = tokens[functionAt];
        if (f.kind != Token::Kind::Identifier) return false;
        if (f.is("convert") && functionAt + 2 < tokens.size()) {
            auto type = parseDeclaredType(tokens[functionAt + 2].text);
            return type && isCharacterType(*type);
        }
        for (auto name : kStringFunctions)
            if (f.is(name)) return true;
        return false;
    }

    size_t step(std::span<const Token> tokens, size_t i) {
        if (m_typeOf && !m_glue) {
            if (m_plainOnce) m_plainOnce = false;
            else if (size_t end = exactChain(tokens, i)) return end;
        }
        const Token& t = tokens[i];
        auto next = [&](size_t k) -> const Token* { return i + k < tokens.size() ? &tokens[i + k] : nullptr; };
        switch (t.kind) {
        case Token::Kind::String: {
            auto parts = parseDateLiteral(t.text, m_context.dateOrder);
            if (!parts && m_timesOfDay.contains(t.begin)) parts = parseTimeOfDay(t.text);
            if (parts && !m_keepAsText.contains(t.begin))
                emit(quoteLiteral(formatDateTime(*parts)));
            else
                emit(quoteLiteral(t.text.empty() ? " " : t.text)); // '' is one space on the server
            return i + 1;
        }
        case Token::Kind::Binary: {
            std::string hex = t.text;
            if (hex.size() % 2) hex.insert(hex.begin(), '0');
            emit("X'" + hex + "'");
            return i + 1;
        }
        case Token::Kind::Number:
            emit(needsExactText(t.text) ? quoteLiteral(t.text) : t.text);
            return i + 1;
        case Token::Kind::Variable:
        case Token::Kind::GlobalVariable: {
            auto [value, type] = m_context.variable(t);
            bind(bindable(value, type));
            return i + 1;
        }
        case Token::Kind::QuotedIdentifier:
            emit(quoteIdentifier(t.text));
            return i + 1;
        case Token::Kind::Operator:
            if (t.isOp("-") && i + 1 < tokens.size() && tokens[i + 1].kind == Token::Kind::Number &&
                needsExactText(tokens[i + 1].text) && isUnaryPosition(tokens, i)) {
                emit(quoteLiteral("-" + tokens[i + 1].text));
                return i + 2;
            }
            if (t.isOp("+") &&
                ((i > 0 && isCharacterOperand(tokens, i - 1, true)) || isCharacterOperand(tokens, i + 1, false))) {
                emit("||");
            } else if ((t.isOp("/") || t.isOp("%")) && i + 1 < tokens.size()) {
                // The divisor is checked, so that a division by zero fails as on the server
                // instead of giving NULL.
                size_t end = primaryEnd(tokens, i + 1);
                if (end == i + 1) {
                    emit(t.text);
                    return i + 1;
                }
                emit(t.text);
                emit("tovrin_divisor(");
                run(tokens.subspan(i + 1, end - i - 1));
                emit(")");
                return end;
            } else if (t.isOp("?")) {
                if (!m_context.marker) throw syntaxError("?");
                bind(m_context.marker(t));
            } else if (t.isOp("==")) {
                emit("=");
            } else if (t.isOp("!<")) {
                emit(">=");
            } else if (t.isOp("!>")) {
                emit("<=");
            } else if (t.isOp(".")) {
                // Qualified names are written without spaces.
                if (!m_out.sql.empty() && m_out.sql.back() == ' ') m_out.sql.pop_back();
                m_out.sql += '.';
                m_glue = true;
                return i + 1;
            } else {
                emit(t.text);
            }
            return i + 1;
        case Token::Kind::Identifier: break;
        }

        // Identifiers and keywords.
        if (m_glue) {
            m_glue = false;
            m_out.sql += identifierText(t);
            return i + 1;
        }
        // db..name, db.dbo.name, dbo.name
        const Token* n1 = next(1);
        const Token* n2 = next(2);
        const Token* n3 = next(3);
        if (t.is("dbo") && n1 && n1->isOp(".") && n2 && n2->kind != Token::Kind::Operator) {
            return i + 2;
        }
        if (n1 && n1->isOp(".") && n2 && (n2->isOp(".") || (n2->is("dbo") && n3 && n3->isOp(".")))) {
            size_t nameAt = n2->isOp(".") ? i + 3 : i + 4;
            if (nameAt < tokens.size()) {
                if (!equalsIgnoreCase(t.text, m_context.currentDatabase)) {
                    emit(quoteIdentifier(m_context.schemaFor(t.text)));
                    m_out.sql += '.';
                    m_glue = true;
                }
                return nameAt;
            }
        }
        if (t.is("create") && n1 && n1->is("table") && n2 && !n2->text.empty() && n2->text[0] == '#') {
            emit("create temp table");
            return i + 2;
        }
        if (n1 && n1->isOp("(")) {
            if (m_typeOf && (t.is("sum") || t.is("avg") || t.is("min") || t.is("max"))) {
                if (auto name = exactAggregate(tokens, i)) {
                    emit(*name);
                    return i + 1;
                }
            }
            if (m_typeOf && (t.is("round") || t.is("abs"))) {
                // round and abs keep money and numeric values exact and of their type.
                const size_t close = matchingParen(tokens, i + 1);
                const size_t firstEnd = firstArgumentEnd(tokens, i + 1);
                if (close < tokens.size()) {
                    auto type = exactType(tokens, i, close + 1);
                    const bool arity = t.is("abs") ? firstEnd == close : firstEnd < close;
                    if (type && arity && firstEnd > i + 2) {
                        emit(t.is("abs") ? "tovrin_abs(" : "tovrin_round(");
                        run(tokens.subspan(i + 2, close - i - 2));
                        emit(", " + typeArguments(*type) + ")");
                        return close + 1;
                    }
                }
            }
            if (t.is("convert")) return convertCall(tokens, i);
            if (t.is("cast")) return castCall(tokens, i);
            for (const Rename& r : kRenames) {
                if (t.is(r.from)) {
                    emit(r.to);
                    return i + 1;
                }
            }
            if (t.is("datepart") || t.is("datename") || t.is("dateadd") || t.is("datediff")) {
                // The first argument is a date part keyword: pass it as text.
                if (n2 && n2->kind == Token::Kind::Identifier && n3 && n3->isOp(",")) {
                    emit("tovrin_" + lowerWord(t.text) + "(" + quoteLiteral(lowerWord(n2->text)) + ",");
                    return i + 4;
                }
            }
        }
        emit(identifierText(t));
        return i + 1;
    }

    static std::string lowerWord(const std::string& s) {
        std::string out;
        for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    }

    static std::string identifierText(const Token& t) {
        if (t.kind == Token::Kind::QuotedIdentifier || (!t.text.empty() && t.text[0] == '#'))
            return quoteIdentifier(t.text);
        return t.text;
    }

    /// convert(type, expr [, style]) → tovrin_convert('type', expr [, style])
    size_t convertCall(std::span<const Token> tokens, size_t i) {
        size_t open = i + 1;
        size_t comma = firstArgumentEnd(tokens, open);
        if (comma >= tokens.size() || !tokens[comma].isOp(",")) throw syntaxError("convert");
        emit("tovrin_convert(" + quoteLiteral(targetText(tokens.subspan(open + 1, comma - open - 1))) + ",");
        return comma + 1;
    }

    /// cast(expr as type) → tovrin_convert('type', expr)
    size_t castCall(std::span<const Token> tokens, size_t i) {
        size_t open = i + 1;
        size_t close = matchingParen(tokens, open);
        if (close >= tokens.size()) throw syntaxError("cast");
        size_t as = close;
        for (size_t k = close; k-- > open + 1;) {
            if (tokens[k].is("as")) {
                as = k;
                break;
            }
        }
        if (as == close || as == open + 1) throw syntaxError("cast");
        emit("tovrin_convert(" + quoteLiteral(targetText(tokens.subspan(as + 1, close - as - 1))) + ",");
        run(tokens.subspan(open + 1, as - open - 1));
        emit(")");
        return close + 1;
    }

    /// The declared type text of a conversion target, with the length a character or
    /// binary type gets when none is written.
    static std::string targetText(std::span<const Token> typeTokens) {
        auto target = conversionTarget(typeTokens);
        if (!target) {
            std::string type = typeTextOf(typeTokens);
            throw SqlError(243, 16, "Type '" + type + "' is not a defined system type.");
        }
        return declaredTypeText(*target);
    }

    /// Offsets of date-like string literals that meet columns holding no date-times.
    std::set<size_t> m_keepAsText;
    /// Time-of-day literals that meet date-time columns: written as the time on 1 Jan 1900.
    std::set<size_t> m_timesOfDay;
    /// The static type of an expression, when the statement's names can be typed. With it,
    /// arithmetic on money and numeric values, and their sums and averages, are computed
    /// exactly by the server's functions instead of in SQLite's floating point.
    std::function<std::optional<ColumnType>(std::span<const Token>)> m_typeOf;

    /// One operator or operand of an arithmetic expression over tokens [begin, end).
    struct Node {
        size_t begin = 0, end = 0;
        size_t op = kLeaf; ///< index of the operator token (binary or sign), or kLeaf
        int left = -1, right = -1;
        bool unary = false;
    };
    static constexpr size_t kLeaf = static_cast<size_t>(-1);

    /// The exact result type of an expression, if it has one: money or numeric.
    std::optional<ColumnType> exactType(std::span<const Token> tokens, size_t begin, size_t end) {
        auto type = m_typeOf(tokens.subspan(begin, end - begin));
        if (!type) return std::nullopt;
        const SqlType k = type->type;
        if (k != SqlType::Numeric && k != SqlType::Decimal && k != SqlType::Money && k != SqlType::SmallMoney)
            return std::nullopt;
        return type;
    }

    /// The arguments of tovrin_arith and tovrin_negate that give the result type.
    static std::string typeArguments(const ColumnType& type) {
        const int kind = type.type == SqlType::Money ? 1 : type.type == SqlType::SmallMoney ? 2 : 0;
        const int precision = kind ? 19 : type.precision ? type.precision : 18;
        const int scale = kind ? 4 : type.scale;
        return std::to_string(kind) + ", " + std::to_string(precision) + ", " + std::to_string(scale);
    }

    /// The exact aggregate that replaces sum, avg, min or max at `i` when its argument is
    /// money or numeric.
    std::optional<std::string> exactAggregate(std::span<const Token> tokens, size_t i) {
        const size_t open = i + 1;
        const size_t close = matchingParen(tokens, open);
        if (close >= tokens.size()) return std::nullopt;
        size_t from = open + 1;
        if (from < close && (tokens[from].is("distinct") || tokens[from].is("all"))) ++from;
        if (from >= close) return std::nullopt;
        auto type = exactType(tokens, from, close);
        if (!type) return std::nullopt;
        if (tokens[i].is("min") || tokens[i].is("max")) {
            // A plain column is ordered by its collation already (and its index serves it).
            if (isColumnReference(tokens.subspan(from, close - from))) return std::nullopt;
            return tokens[i].is("min") ? "tovrin_min" : "tovrin_max";
        }
        const bool money = type->type == SqlType::Money || type->type == SqlType::SmallMoney;
        if (tokens[i].is("sum")) return money ? "tovrin_sum_money" : "tovrin_sum";
        if (money) return std::string("tovrin_avg_money");
        return "tovrin_avg_" + std::to_string(std::max<int>(type->scale, 6));
    }

    /// The index after the `end` of the case expression at `i`, or `i` when it has none.
    static size_t caseEnd(std::span<const Token> tokens, size_t i) {
        int depth = 0, nested = 0;
        for (size_t k = i; k < tokens.size(); ++k) {
            if (tokens[k].isOp("(")) ++depth;
            else if (tokens[k].isOp(")")) --depth;
            else if (depth == 0 && tokens[k].is("case")) ++nested;
            else if (depth == 0 && tokens[k].is("end") && --nested == 0) return k + 1;
        }
        return i;
    }

    /// True when the token at `i` can begin an operand.
    static bool operandAt(std::span<const Token> tokens, size_t i) {
        if (i >= tokens.size()) return false;
        const Token& t = tokens[i];
        if (t.is("case")) return caseEnd(tokens, i) > i;
        if (t.kind == Token::Kind::Identifier) {
            static constexpr std::string_view kWords[] = {
                "and",   "or",     "not",   "then",  "else",    "when",  "by",     "in",    "between",
                "like",  "is",     "on",    "as",    "from",    "asc",   "desc",   "exists", "distinct",
                "all",   "union",  "end",   "escape", "top",    "where", "having", "group", "order",
                "into",  "values", "set",   "select", "return", "print", "default", "if",   "while",
                "begin", "join",   "inner", "outer", "cross",   "using", "with",   "except", "intersect",
                "compute", "for",  "declare", "exec", "execute", "update", "delete", "insert", "waitfor"};
            if (isStatementKeyword(t)) return false;
            for (auto w : kWords)
                if (t.is(w)) return false;
        }
        return primaryEnd(tokens, i) > i;
    }

    int parseAdditive(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes) {
        return parseLeftAssociative(tokens, pos, nodes, {"+", "-"}, &Translator::parseMultiplicative);
    }

    int parseMultiplicative(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes) {
        return parseLeftAssociative(tokens, pos, nodes, {"*", "/", "%"}, &Translator::parseUnary);
    }

    // One level of left-associative binary operators: operands parsed by `operand`, joined
    // while one of `ops` stands between them and an operand (or a sign) follows it.
    int parseLeftAssociative(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes,
                             std::initializer_list<const char*> ops,
                             int (Translator::*operand)(std::span<const Token>, size_t&, std::vector<Node>&)) {
        auto isOneOf = [&ops](const Token& t) {
            for (const char* op : ops)
                if (t.isOp(op)) return true;
            return false;
        };
        int left = (this->*operand)(tokens, pos, nodes);
        while (left >= 0 && pos + 1 < tokens.size() && isOneOf(tokens[pos]) &&
               (operandAt(tokens, pos + 1) || tokens[pos + 1].isOp("-") || tokens[pos + 1].isOp("+"))) {
            const size_t op = pos++;
            const int right = (this->*operand)(tokens, pos, nodes);
            if (right < 0) {
                pos = op;
                break;
            }
            nodes.push_back(Node{nodes[static_cast<size_t>(left)].begin, pos, op, left, right, false});
            left = static_cast<int>(nodes.size() - 1);
        }
        return left;
    }

    int parseUnary(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes) {
        if (pos < tokens.size() && (tokens[pos].isOp("-") || tokens[pos].isOp("+"))) {
            const size_t op = pos++;
            const int operand = parseUnary(tokens, pos, nodes);
            if (operand < 0) {
                pos = op;
                return -1;
            }
            nodes.push_back(Node{op, pos, op, operand, -1, true});
            return static_cast<int>(nodes.size() - 1);
        }
        if (!operandAt(tokens, pos)) return -1;
        const size_t end = tokens[pos].is("case") ? caseEnd(tokens, pos) : primaryEnd(tokens, pos);
        nodes.push_back(Node{pos, end, kLeaf, -1, -1, false});
        pos = end;
        return static_cast<int>(nodes.size() - 1);
    }

    /// Translates the arithmetic expression that starts at `i` with its operators on money
    /// and numeric values made exact; 0 when no arithmetic starts there.
    size_t exactChain(std::span<const Token> tokens, size_t i) {
        const bool sign = tokens[i].isOp("-") || tokens[i].isOp("+");
        if (sign ? !isUnaryPosition(tokens, i) : !operandAt(tokens, i)) return 0;
        std::vector<Node> nodes;
        size_t pos = i;
        const int root = parseAdditive(tokens, pos, nodes);
        if (root < 0) return 0;
        if (pos + 1 < tokens.size() && isComparison(tokens[pos])) {
            // A comparison of money or numeric values that are not both plain columns (whose
            // collation compares them exactly, and whose indexes stay usable) compares exactly.
            const size_t opAt = pos++;
            const int right = parseAdditive(tokens, pos, nodes);
            if (right >= 0 && exactComparison(tokens, nodes[static_cast<size_t>(root)], nodes[static_cast<size_t>(right)])) {
                emit("tovrin_compare(");
                emitNode(tokens, nodes, root);
                emit(",");
                emitNode(tokens, nodes, right);
                emit(")");
                step(tokens, opAt);
                emit("0");
                return pos;
            }
            pos = opAt;
        }
        if (nodes[static_cast<size_t>(root)].op == kLeaf) return 0;
        emitNode(tokens, nodes, root);
        return pos;
    }

    /// True when two operands of a comparison are numbers, one of them money or numeric,
    /// and not both plain columns.
    bool exactComparison(std::span<const Token> tokens, const Node& left, const Node& right) {
        auto l = tokens.subspan(left.begin, left.end - left.begin);
        auto r = tokens.subspan(right.begin, right.end - right.begin);
        if (isColumnReference(l) || isColumnReference(r)) return false;
        auto a = m_typeOf(l);
        auto b = m_typeOf(r);
        if (!a || !b) return false;
        auto number = [](SqlType k) {
            return k == SqlType::Bit || k == SqlType::TinyInt || k == SqlType::SmallInt || k == SqlType::Int ||
                   k == SqlType::BigInt || k == SqlType::Real || k == SqlType::Float || k == SqlType::Numeric ||
                   k == SqlType::Decimal || k == SqlType::Money || k == SqlType::SmallMoney;
        };
        auto exact = [](SqlType k) {
            return k == SqlType::Numeric || k == SqlType::Decimal || k == SqlType::Money || k == SqlType::SmallMoney;
        };
        return number(a->type) && number(b->type) && (exact(a->type) || exact(b->type));
    }

    /// Translates `tokens` with no arithmetic starting at its first token.
    void runPlain(std::span<const Token> tokens) {
        m_plainOnce = true;
        run(tokens);
        m_plainOnce = false;
    }

    void emitNode(std::span<const Token> tokens, const std::vector<Node>& nodes, int index) {
        const Node& n = nodes[static_cast<size_t>(index)];
        if (n.op == kLeaf) return runPlain(tokens.subspan(n.begin, n.end - n.begin));
        const Token& op = tokens[n.op];
        auto type = exactType(tokens, n.begin, n.end);
        if (n.unary) {
            if (type && op.isOp("-")) {
                emit("tovrin_negate(");
                emitNode(tokens, nodes, n.left);
                emit(", " + typeArguments(*type) + ")");
            } else if (nodes[static_cast<size_t>(n.left)].op == kLeaf) {
                runPlain(tokens.subspan(n.begin, n.end - n.begin));
            } else {
                emit(op.text);
                emit("(");
                emitNode(tokens, nodes, n.left);
                emit(")");
            }
            return;
        }
        if (type && !op.isOp("%")) {
            const int code = op.isOp("+") ? 0 : op.isOp("-") ? 1 : op.isOp("*") ? 2 : 3;
            emit("tovrin_arith(" + std::to_string(code) + ",");
            emitNode(tokens, nodes, n.left);
            emit(",");
            emitNode(tokens, nodes, n.right);
            emit(", " + typeArguments(*type) + ")");
            return;
        }
        emit("(");
        emitNode(tokens, nodes, n.left);
        emit(")");
        if (op.isOp("+")) {
            auto whole = m_typeOf(tokens.subspan(n.begin, n.end - n.begin));
            const bool concatenation = (whole && isCharacterType(*whole)) ||
                                       (n.op > 0 && isCharacterOperand(tokens, n.op - 1, true)) ||
                                       isCharacterOperand(tokens, n.op + 1, false);
            emit(concatenation ? "||" : "+");
        } else {
            emit(op.text);
        }
        // The divisor is checked, so that a division by zero fails as on the server.
        const bool divides = op.isOp("/") || op.isOp("%");
        emit(divides ? "tovrin_divisor(" : "(");
        emitNode(tokens, nodes, n.right);
        emit(")");
    }

private:
    const TranslateContext& m_context;
    Translation& m_out;
    bool m_glue = false;
    bool m_plainOnce = false;
};

/// The last name of a possibly qualified table name starting at `i` ("db..t", "dbo.t", "t"),
/// and the index after it.
std::pair<std::string, size_t> tableNameAt(std::span<const Token> tokens, size_t i) {
    std::string name;
    while (i < tokens.size()) {
        const Token& t = tokens[i];
        if (t.kind == Token::Kind::Identifier || t.kind == Token::Kind::QuotedIdentifier) {
            name = t.text;
            ++i;
            if (i < tokens.size() && tokens[i].isOp(".")) {
                while (i < tokens.size() && tokens[i].isOp(".")) ++i;
                continue;
            }
        }
        break;
    }
    return {name, i};
}

bool isComparison(const Token& t) {
    return t.isOp("=") || t.isOp("<>") || t.isOp("!=") || t.isOp("<") || t.isOp(">") || t.isOp("<=") ||
           t.isOp(">=") || t.isOp("!<") || t.isOp("!>");
}

/// Finds the date-like string literals of a statement that meet a column known not to hold
/// date-times: values inserted into or assigned to such a column, and values compared
/// with it.
/// With `timesOfDay`, finds instead the literals that hold only a time of day ('10:00',
/// '10:00:00:0') and meet a column known to hold date-times.
std::set<size_t> literalsKeptAsText(std::span<const Token> tokens, const TranslateContext& context,
                                    bool timesOfDay = false) {
    std::set<size_t> keep;
    if (!context.isDateTimeColumn) return keep;
    auto dateLike = [&](const Token& t) {
        if (t.kind != Token::Kind::String) return false;
        const bool date = parseDateLiteral(t.text, context.dateOrder).has_value();
        if (!timesOfDay) return date;
        // A bare number is no time of day.
        return !date && t.text.find_first_not_of("0123456789 ") != std::string::npos &&
               parseTimeOfDay(t.text).has_value();
    };
    if (std::none_of(tokens.begin(), tokens.end(), dateLike)) return keep;
    auto notDate = [&](const std::string& table, const std::string& column) {
        auto known = context.isDateTimeColumn(table, column);
        return known.has_value() && *known == timesOfDay;
    };
    std::string table;
    if (!tokens.empty() && tokens[0].is("insert")) {
        size_t i = tokens.size() > 1 && tokens[1].is("into") ? 2 : 1;
        auto [name, after] = tableNameAt(tokens, i);
        table = name;
        std::vector<std::string> columns;
        size_t valuesAt = after;
        if (after < tokens.size() && tokens[after].isOp("(")) {
            size_t close = matchingParen(tokens, after);
            for (auto item : splitAtCommas(tokens.subspan(after + 1, close - after - 1)))
                columns.push_back(item.empty() ? std::string() : item.back().text);
            valuesAt = close + 1;
        } else if (context.columnsOf) {
            columns = context.columnsOf(table);
        }
        if (valuesAt < tokens.size() && tokens[valuesAt].is("values")) {
            for (size_t k = valuesAt + 1; k < tokens.size(); ++k) {
                if (!tokens[k].isOp("(")) continue;
                size_t close = matchingParen(tokens, k);
                auto items = splitAtCommas(tokens.subspan(k + 1, close - k - 1));
                for (size_t v = 0; v < items.size() && v < columns.size(); ++v)
                    if (items[v].size() == 1 && dateLike(items[v][0]) && notDate(table, columns[v]))
                        keep.insert(items[v][0].begin);
                k = close;
            }
        }
    } else if (!tokens.empty() && tokens[0].is("update")) {
        table = tableNameAt(tokens, 1).first;
    } else if (!tokens.empty() && tokens[0].is("delete")) {
        size_t i = tokens.size() > 1 && tokens[1].is("from") ? 2 : 1;
        table = tableNameAt(tokens, i).first;
    }
    // column = 'value', 'value' = column, column between 'a' and 'b', column in ('a', 'b')
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!dateLike(tokens[i])) continue;
        auto columnBefore = [&](size_t at) -> std::string {
            if (at < tokens.size() && (tokens[at].kind == Token::Kind::Identifier ||
                                       tokens[at].kind == Token::Kind::QuotedIdentifier))
                return tokens[at].text;
            return {};
        };
        std::string column;
        if (i >= 2 && isComparison(tokens[i - 1])) column = columnBefore(i - 2);
        if (column.empty() && i + 2 < tokens.size() && isComparison(tokens[i + 1])) column = columnBefore(i + 2);
        if (column.empty() && i >= 2 && tokens[i - 1].is("between")) column = columnBefore(i - 2);
        if (column.empty() && i >= 4 && tokens[i - 1].is("and") && tokens[i - 3].is("between"))
            column = columnBefore(i - 4);
        if (column.empty()) {
            // Inside "column in ( … )".
            int depth = 0;
            for (size_t k = i; k-- > 0;) {
                if (tokens[k].isOp(")")) ++depth;
                else if (tokens[k].isOp("(") && depth-- == 0) {
                    if (k >= 2 && tokens[k - 1].is("in")) column = columnBefore(k - 2);
                    break;
                }
            }
        }
        if (column.empty() || isStatementKeyword(Token{Token::Kind::Identifier, column})) continue;
        if (notDate(table, column)) keep.insert(tokens[i].begin);
    }
    return keep;
}


/// Where the first select list of a select statement ends (its first top-level `from`,
/// `into`, `where`, … or the end).
size_t selectListEnd(std::span<const Token> tokens, size_t from) {
    int depth = 0, caseDepth = 0;
    size_t listEnd = from;
    for (; listEnd < tokens.size(); ++listEnd) {
        const Token& t = tokens[listEnd];
        if (t.isOp("(")) ++depth;
        else if (t.isOp(")")) --depth;
        else if (t.is("case")) ++caseDepth;
        else if (t.is("end") && caseDepth > 0) --caseDepth;
        else if (depth == 0 && caseDepth == 0 && t.kind == Token::Kind::Identifier) {
            for (auto word : kSelectListEnd)
                if (t.is(word)) return listEnd;
        }
    }
    return listEnd;
}

/// True for a token that can end an expression (so that a name after it is an alias).
bool endsExpression(const Token& t) {
    switch (t.kind) {
    case Token::Kind::Number:
    case Token::Kind::String:
    case Token::Kind::Binary:
    case Token::Kind::Variable:
    case Token::Kind::GlobalVariable:
    case Token::Kind::QuotedIdentifier: return true;
    case Token::Kind::Identifier: return t.is("end") || t.is("null") || (!t.is("as") && !isStatementKeyword(t));
    case Token::Kind::Operator: return t.isOp(")");
    }
    return false;
}

/// A select-list item split into its expression and its alias ("expr as name", "expr name",
/// "expr 'name'", "expr \"name\"").
struct SelectItem {
    std::span<const Token> expression;
    std::optional<std::string> alias;
};

SelectItem splitAlias(std::span<const Token> item) {
    const size_t n = item.size();
    if (n >= 1 && item[n - 1].is("as")) throw syntaxError("as");
    if (n >= 2) {
        const Token& last = item[n - 1];
        const bool nameLike = last.kind == Token::Kind::String || last.kind == Token::Kind::QuotedIdentifier ||
                              (last.kind == Token::Kind::Identifier && !last.is("end") && !last.is("null") &&
                               !isStatementKeyword(last));
        if (nameLike && n >= 3 && item[n - 2].is("as")) return {item.subspan(0, n - 2), last.text};
        if (nameLike && !item[n - 2].is("as") && endsExpression(item[n - 2])) return {item.subspan(0, n - 1), last.text};
    }
    return {item, std::nullopt};
}

/// True for a plain column reference (name, qualifier.name, …), which names its column.
bool isColumnReference(std::span<const Token> expression) {
    if (expression.empty()) return false;
    for (size_t k = 0; k < expression.size(); ++k) {
        const Token& t = expression[k];
        const bool name = t.kind == Token::Kind::QuotedIdentifier ||
                          (t.kind == Token::Kind::Identifier && !t.is("null") && !isStatementKeyword(t));
        if (k % 2 == 0 ? !name : !t.isOp(".")) {
            // db..name
            if (!(t.isOp(".") && k > 0 && expression[k - 1].isOp("."))) return false;
        }
    }
    return !expression.back().isOp(".");
}

bool isStar(std::span<const Token> expression) { return !expression.empty() && expression.back().isOp("*") &&
                                                        (expression.size() == 1 || expression[expression.size() - 2].isOp(".")); }

/// True when the expression compares values (its string literals may be date-times that
/// meet date-time columns).
bool compares(std::span<const Token> expression) {
    for (const Token& t : expression)
        if (isComparison(t) || t.is("like") || t.is("between") || t.is("in") || t.is("when")) return true;
    return false;
}

/// Types the expressions of one select list: column references are looked up by preparing
/// them against the statement's from clause (without its conditions, so that a correlated
/// subquery prepares too).
class SelectTyper {
public:
    SelectTyper(std::span<const Token> select, const TranslateContext& context) : m_context(context) {
        size_t i = 1;
        if (i < select.size() && (select[i].is("distinct") || select[i].is("all"))) ++i;
        if (i + 1 < select.size() && select[i].is("top") && select[i + 1].kind == Token::Kind::Number) i += 2;
        m_listStart = i;
        m_listEnd = selectListEnd(select, i);
        size_t fromAt = m_listEnd;
        while (fromAt < select.size() && !select[fromAt].is("from")) {
            // select … into t from …
            if (!select[fromAt].is("into")) break;
            ++fromAt;
            while (fromAt < select.size() && !select[fromAt].is("from") && !select[fromAt].is("where")) ++fromAt;
        }
        if (fromAt < select.size() && select[fromAt].is("from")) {
            size_t fromEnd = fromAt + 1;
            int depth = 0;
            for (; fromEnd < select.size(); ++fromEnd) {
                const Token& t = select[fromEnd];
                if (t.isOp("(")) ++depth;
                else if (t.isOp(")")) --depth;
                else if (depth == 0 && (t.is("where") || t.is("group") || t.is("having") || t.is("order") ||
                                        t.is("union") || t.is("compute") || t.is("for") || t.is("except") ||
                                        t.is("intersect") || t.is("at") || t.is("plan")))
                    break;
            }
            m_from = select.subspan(fromAt, fromEnd - fromAt);
        }
    }

    [[nodiscard]] size_t listStart() const { return m_listStart; }
    [[nodiscard]] size_t listEnd() const { return m_listEnd; }

    std::optional<ColumnType> type(std::span<const Token> expression) {
        TypeScope scope;
        scope.column = [this](std::span<const Token> name) { return column(name); };
        scope.variable = m_context.variable;
        scope.marker = m_context.marker;
        scope.subquery = [this](std::span<const Token> select) -> std::optional<ColumnType> {
            SelectTyper inner(select, m_context);
            auto items = splitAtCommas(select.subspan(inner.listStart(), inner.listEnd() - inner.listStart()));
            if (items.size() != 1 || items[0].empty()) return std::nullopt;
            auto expression = splitAlias(items[0]).expression;
            if (isStar(expression)) return std::nullopt;
            return inner.type(expression);
        };
        return expressionType(expression, scope);
    }

    /// Number of columns a `*` or `t.*` item stands for.
    size_t starWidth(std::span<const Token> star) {
        auto columns = probe(star);
        return columns ? columns->size() : 0;
    }

private:
    std::optional<ColumnType> column(std::span<const Token> name) {
        auto columns = probe(name);
        if (!columns || columns->size() != 1) return std::nullopt;
        return (*columns)[0];
    }

    std::optional<std::vector<std::optional<ColumnType>>> probe(std::span<const Token> expression) {
        if (!m_context.probeColumns || m_from.empty()) return std::nullopt;
        if (!m_fromSql) {
            Translation from;
            Translator(m_context, from).run(m_from);
            m_fromSql = from.sql;
        }
        Translation item;
        Translator(m_context, item).run(expression);
        auto [it, fresh] = m_probed.try_emplace(item.sql);
        if (fresh) it->second = m_context.probeColumns("select " + item.sql + " " + *m_fromSql);
        return it->second;
    }

    const TranslateContext& m_context;
    std::span<const Token> m_from;
    size_t m_listStart = 1;
    size_t m_listEnd = 1;
    std::optional<std::string> m_fromSql;
    std::map<std::string, std::optional<std::vector<std::optional<ColumnType>>>> m_probed;
};

/// Rewrites the first select list: aliases, assignments, static column types and top n.
void translateSelect(std::span<const Token> tokens, const TranslateContext& context, Translation& out) {
    Translator tr(context, out);
    tr.m_keepAsText = literalsKeptAsText(tokens, context);
    tr.m_timesOfDay = literalsKeptAsText(tokens, context, true);
    SelectTyper typer(tokens, context);
    tr.m_typeOf = [&typer](std::span<const Token> expression) { return typer.type(expression); };
    size_t i = 1;
    tr.emit("select");
    if (i < tokens.size() && (tokens[i].is("distinct") || tokens[i].is("all"))) {
        tr.emit(tokens[i].text);
        ++i;
    }
    std::optional<std::string> top;
    if (i + 1 < tokens.size() && tokens[i].is("top") && tokens[i + 1].kind == Token::Kind::Number) {
        top = tokens[i + 1].text;
        i += 2;
    }
    const size_t listEnd = typer.listEnd();
    auto items = splitAtCommas(tokens.subspan(i, listEnd - i));
    // The selects after the first one of a union.
    std::vector<std::span<const Token>> branches;
    {
        int depth = 0;
        size_t start = 0;
        for (size_t k = listEnd; k < tokens.size(); ++k) {
            if (tokens[k].isOp("(")) ++depth;
            else if (tokens[k].isOp(")")) --depth;
            else if (depth == 0 && tokens[k].is("union")) {
                if (start) branches.push_back(tokens.subspan(start, k - start));
                start = k + 1;
                if (start < tokens.size() && tokens[start].is("all")) ++start;
            } else if (depth == 0 && start && (tokens[k].is("order") || tokens[k].is("compute"))) {
                branches.push_back(tokens.subspan(start, k - start));
                start = 0;
            }
        }
        if (start && start < tokens.size()) branches.push_back(tokens.subspan(start));
    }
    out.compound = !branches.empty();
    bool firstItem = true;
    for (auto item : items) {
        if (!firstItem) tr.emit(",");
        firstItem = false;
        std::string assignment;
        std::optional<std::string> alias;
        if (item.size() >= 3 && item[1].isOp("=")) {
            if (item[0].kind == Token::Kind::Variable) {
                assignment = item[0].text;
                item = item.subspan(2);
            } else if (item[0].kind == Token::Kind::Identifier || item[0].kind == Token::Kind::String ||
                       item[0].kind == Token::Kind::QuotedIdentifier) {
                alias = item[0].text;
                item = item.subspan(2);
            }
        }
        if (item.empty()) throw syntaxError(",");
        std::span<const Token> expression = item;
        if (!alias && assignment.empty()) {
            SelectItem split = splitAlias(item);
            expression = split.expression;
            alias = split.alias;
        }
        if (isStar(expression)) {
            const size_t width = typer.starWidth(expression);
            for (size_t k = 0; k < std::max<size_t>(width, 1); ++k) {
                out.assignments.push_back(assignment);
                out.columnHints.push_back(std::nullopt);
                out.namedItems.push_back(true);
            }
            tr.run(expression);
            continue;
        }
        const bool column = isColumnReference(expression);
        std::optional<ColumnType> hint = column && !out.compound ? std::nullopt : typer.type(expression);
        if (hint && isCharacterColumn(*hint) && !compares(expression)) {
            // Text stays as written: a date-like literal shown as text is not a date-time.
            for (const Token& t : expression)
                if (t.kind == Token::Kind::String) tr.m_keepAsText.insert(t.begin);
        }
        tr.run(expression);
        if (alias) tr.emit("as " + quoteIdentifier(*alias));
        out.assignments.push_back(assignment);
        out.columnHints.push_back(hint);
        // Without an alias an expression column, a variable or a NULL is named after nothing.
        out.namedItems.push_back(alias.has_value() || column);
    }
    for (auto branch : branches) {
        // Each column of a union is as wide as the widest of its selects.
        if (branch.empty() || !branch[0].is("select")) continue;
        SelectTyper branchTyper(branch, context);
        auto branchItems = splitAtCommas(branch.subspan(branchTyper.listStart(),
                                                        branchTyper.listEnd() - branchTyper.listStart()));
        for (size_t k = 0; k < out.columnHints.size(); ++k) {
            auto& hint = out.columnHints[k];
            if (!hint) continue;
            std::optional<ColumnType> other;
            if (k < branchItems.size() && !branchItems[k].empty()) {
                auto expression = splitAlias(branchItems[k]).expression;
                if (!isStar(expression)) other = branchTyper.type(expression);
            }
            hint = other ? std::optional(uniteTypes(*hint, *other)) : std::nullopt;
        }
    }
    // The names after a union belong to other tables: their selects are not typed.
    size_t unionAt = listEnd;
    for (int depth = 0; unionAt < tokens.size(); ++unionAt) {
        if (tokens[unionAt].isOp("(")) ++depth;
        else if (tokens[unionAt].isOp(")")) --depth;
        else if (depth == 0 && tokens[unionAt].is("union")) break;
    }
    size_t orderAt = unionAt;
    for (size_t k = listEnd, depth = 0; k + 1 < unionAt; ++k) {
        if (tokens[k].isOp("(")) ++depth;
        else if (tokens[k].isOp(")")) --depth;
        else if (depth == 0 && tokens[k].is("order") && tokens[k + 1].is("by")) {
            orderAt = k;
            break;
        }
    }
    tr.run(tokens.subspan(listEnd, orderAt - listEnd));
    if (orderAt < unionAt) {
        // Money and numeric expressions are ordered by their exact decimal text: a result
        // holds short values as numbers and long ones as text, which SQLite would not
        // order among each other by value.
        tr.emit("order by");
        size_t itemsEnd = orderAt + 2;
        for (size_t depth = 0; itemsEnd < unionAt; ++itemsEnd) {
            if (tokens[itemsEnd].isOp("(")) ++depth;
            else if (tokens[itemsEnd].isOp(")")) --depth;
            else if (depth == 0 && (tokens[itemsEnd].is("compute") || tokens[itemsEnd].is("for") ||
                                    tokens[itemsEnd].is("at") || tokens[itemsEnd].is("plan")))
                break;
        }
        bool firstKey = true;
        for (auto key : splitAtCommas(tokens.subspan(orderAt + 2, itemsEnd - orderAt - 2))) {
            if (!firstKey) tr.emit(",");
            firstKey = false;
            auto expression = key;
            if (!expression.empty() && (expression.back().is("asc") || expression.back().is("desc")))
                expression = expression.first(expression.size() - 1);
            const bool exact = !expression.empty() && !isColumnReference(expression) &&
                               !(expression.size() == 1 && expression[0].kind == Token::Kind::Number) &&
                               tr.exactType(expression, 0, expression.size());
            if (!exact) {
                tr.run(key);
                continue;
            }
            tr.emit("tovrin_sort_key(");
            tr.run(expression);
            tr.emit(std::string(") collate ") + kDecimalCollation);
            if (expression.size() < key.size()) tr.emit(key.back().text);
        }
        tr.run(tokens.subspan(itemsEnd, unionAt - itemsEnd));
    }
    // Each further select of a union is typed from its own tables; what follows the last
    // one (an order by of the whole union) is not.
    size_t at = unionAt;
    for (auto branch : branches) {
        const auto begin = static_cast<size_t>(branch.data() - tokens.data());
        if (branch.empty() || begin < at) continue;
        tr.m_typeOf = nullptr;
        tr.run(tokens.subspan(at, begin - at));
        SelectTyper branchTyper(branch, context);
        tr.m_typeOf = [&branchTyper](std::span<const Token> expression) { return branchTyper.type(expression); };
        tr.run(branch);
        at = begin + branch.size();
    }
    tr.m_typeOf = nullptr;
    tr.run(tokens.subspan(at));
    if (top) tr.emit("limit " + *top);
}

} // namespace

std::string quoteLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string quoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::vector<std::span<const Token>> splitAtCommas(std::span<const Token> tokens) {
    std::vector<std::span<const Token>> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].isOp("(")) ++depth;
        else if (tokens[i].isOp(")")) --depth;
        else if (tokens[i].isOp(",") && depth == 0) {
            parts.push_back(tokens.subspan(start, i - start));
            start = i + 1;
        }
    }
    if (start < tokens.size() || !parts.empty()) parts.push_back(tokens.subspan(start));
    return parts;
}

Translation translate(std::span<const Token> tokens, const TranslateContext& context, bool isSelect) {
    Translation out;
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
        tr.m_typeOf = [&scope](std::span<const Token> expression) { return expressionType(expression, scope); };
        std::vector<Token> tableSelect;
        std::optional<SelectTyper> tableTyper;
        if (!tokens.empty() && tokens[0].is("delete")) {
            // "select * from <the table>" types the names of its condition.
            const size_t tableAt = tokens.size() > 1 && tokens[1].is("from") ? 2 : 1;
            size_t tableEnd = tableAt;
            while (tableEnd < tokens.size() && !tokens[tableEnd].is("where") && !tokens[tableEnd].is("from")) ++tableEnd;
            if (tableEnd > tableAt) {
                tableSelect.push_back(Token{Token::Kind::Identifier, "select"});
                tableSelect.push_back(Token{Token::Kind::Operator, "*"});
                tableSelect.push_back(Token{Token::Kind::Identifier, "from"});
                tableSelect.insert(tableSelect.end(), tokens.begin() + static_cast<long>(tableAt),
                                   tokens.begin() + static_cast<long>(tableEnd));
                tableTyper.emplace(tableSelect, context);
                tr.m_typeOf = [&tableTyper](std::span<const Token> expression) { return tableTyper->type(expression); };
            }
        }
        if (!tokens.empty() && tokens[0].is("update")) {
            size_t setAt = 0, fromAt = 0;
            for (size_t k = 1, depth = 0; k < tokens.size(); ++k) {
                if (tokens[k].isOp("(")) ++depth;
                else if (tokens[k].isOp(")")) --depth;
                else if (depth == 0 && !setAt && tokens[k].is("set")) setAt = k;
                else if (depth == 0 && setAt && !fromAt && tokens[k].is("from")) fromAt = k;
            }
            if (setAt > 1) {
                // "select * from <the table, or the update's own from clause>" types its names.
                tableSelect.push_back(Token{Token::Kind::Identifier, "select"});
                tableSelect.push_back(Token{Token::Kind::Operator, "*"});
                tableSelect.push_back(Token{Token::Kind::Identifier, "from"});
                if (fromAt) tableSelect.insert(tableSelect.end(), tokens.begin() + static_cast<long>(fromAt + 1), tokens.end());
                else tableSelect.insert(tableSelect.end(), tokens.begin() + 1, tokens.begin() + static_cast<long>(setAt));
                tableTyper.emplace(tableSelect, context);
                tr.m_typeOf = [&tableTyper](std::span<const Token> expression) { return tableTyper->type(expression); };
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
                if (tokens[k].isOp("(")) ++depth;
                else if (tokens[k].isOp(")")) --depth;
                else if (depth == 0 && tokens[k].is("select")) {
                    selectAt = k;
                    break;
                }
            }
        }
        if (selectAt < tokens.size()) {
            // insert … select: the select's expressions are typed from its own tables.
            tr.run(tokens.subspan(0, selectAt));
            translateSelect(tokens.subspan(selectAt), context, out);
        } else {
            tr.run(tokens);
        }
    }
    return out;
}

std::span<const Token> nullComparisons(std::span<const Token> tokens, bool condition, std::vector<Token>& storage) {
    auto isComparison = [](const Token& t) { return t.isOp("=") || t.isOp("!=") || t.isOp("<>"); };
    bool any = false;
    for (size_t i = 0; i + 1 < tokens.size() && !any; ++i)
        any = isComparison(tokens[i]) && tokens[i + 1].is("null");
    if (!any) return tokens;
    storage.clear();
    storage.reserve(tokens.size() + 4);
    size_t synthetic = tokens.back().end + 1;
    bool inCondition = condition;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (!condition && t.kind == Token::Kind::Identifier) {
            if (t.is("where") || t.is("having") || t.is("on") || t.is("when")) inCondition = true;
            else if (t.is("set") || t.is("select") || t.is("values") || t.is("then") || t.is("else") ||
                     t.is("order") || t.is("group"))
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
    tr.m_typeOf = [&scope](std::span<const Token> expression) { return expressionType(expression, scope); };
    tr.run(tokens);
    return out;
}

} // namespace devserver

// The token-by-token translation of T-SQL expressions to SQLite: literals, variables,
// qualified names, the server's functions and operators, and exact arithmetic on money and
// numeric values.
#include "SqlTranslatorParts.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>

namespace devserver::translator {

namespace {

/// Functions whose T-SQL name differs from the SQLite (or registered) one.
struct Rename {
    std::string_view from;
    std::string_view to;
};
constexpr Rename kRenames[] = {
    {"isnull", "ifnull"},
    {"len", "length"},
    {"char_length", "length"},
    {"datalength", "tovrin_datalength"},
    {"ceiling", "tovrin_ceiling"},
    {"getutcdate", "getdate"},
    {"count_big", "count"},
    // join keywords to SQLite, which refuses them as function names
    {"left", "tovrin_left"},
    {"right", "tovrin_right"},
};

/// Functions whose result is character data (for `+` as concatenation).
constexpr std::string_view kStringFunctions[] = {
    "upper",   "lower",       "ltrim",      "rtrim",     "substring", "str",
    "db_name", "user_name",   "suser_name", "replicate", "space",     "char",
    "replace", "str_replace", "left",       "right",     "trim",      "stuff",
};

} // namespace

void Translator::emit(std::string_view text) {
    if (!m_out.sql.empty() && m_out.sql.back() != ' ')
        m_out.sql += ' ';
    m_out.sql += text;
}

/// Binds a value and emits its parameter.
void Translator::bind(SqlValue value) {
    m_out.binds.push_back(std::move(value));
    emit("?" + std::to_string(m_out.binds.size()));
}

bool Translator::isCharacterOperand(std::span<const Token> tokens, size_t i, bool backwards) {
    if (i >= tokens.size())
        return false;
    const Token& t = tokens[i];
    if (t.kind == Token::Kind::String)
        return true;
    if (t.kind == Token::Kind::Variable || t.kind == Token::Kind::GlobalVariable) {
        auto [value, type] = m_context.variable(t);
        if (type)
            return isCharacterType(*type);
        return value.kind == SqlValue::Kind::Text;
    }
    size_t functionAt = i;
    if (backwards) {
        if (!t.isOp(")"))
            return false;
        int depth = 0;
        size_t k = i + 1;
        while (k-- > 0) {
            if (tokens[k].isOp(")"))
                ++depth;
            else if (tokens[k].isOp("(") && --depth == 0)
                break;
        }
        if (k == 0 || k > i)
            return false;
        functionAt = k - 1;
    } else if (!(i + 1 < tokens.size() && tokens[i + 1].isOp("("))) {
        return false;
    }
    const Token& f = tokens[functionAt];
    if (f.kind != Token::Kind::Identifier)
        return false;
    if (f.is("convert") && functionAt + 2 < tokens.size()) {
        auto type = parseDeclaredType(tokens[functionAt + 2].text);
        return type && isCharacterType(*type);
    }
    for (auto name : kStringFunctions)
        if (f.is(name))
            return true;
    return false;
}

size_t Translator::step(std::span<const Token> tokens, size_t i) {
    m_stepStarts[&tokens[i]] = m_out.sql.size();
    if (m_typeOf && !m_glue) {
        if (m_plainOnce)
            m_plainOnce = false;
        else if (size_t end = exactChain(tokens, i))
            return end;
    }
    const Token& t = tokens[i];
    switch (t.kind) {
    case Token::Kind::String:
        return stepString(t, i);
    case Token::Kind::Binary:
        return stepBinary(t, i);
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
        return stepOperator(tokens, i);
    case Token::Kind::Identifier:
        break;
    }
    return stepIdentifier(tokens, i);
}

size_t Translator::stepString(const Token& t, size_t i) {
    auto parts = parseDateLiteral(t.text, m_context.dateOrder);
    if (!parts && m_timesOfDay.contains(t.begin))
        parts = parseTimeOfDay(t.text);
    if (parts && !m_keepAsText.contains(t.begin))
        emit(quoteLiteral(formatDateTime(roundedToTicks(*parts))));
    else
        emit(quoteLiteral(t.text.empty() ? " " : t.text)); // '' is one space on the server
    return i + 1;
}

size_t Translator::stepBinary(const Token& t, size_t i) {
    std::string hex = t.text;
    if (hex.size() % 2)
        hex.insert(hex.begin(), '0');
    emit("X'" + hex + "'");
    return i + 1;
}

size_t Translator::stepOperator(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    if (t.isOp("-") && i + 1 < tokens.size() && tokens[i + 1].kind == Token::Kind::Number &&
        needsExactText(tokens[i + 1].text) && isUnaryPosition(tokens, i)) {
        emit(quoteLiteral("-" + tokens[i + 1].text));
        return i + 2;
    }
    // Trailing blanks do not count when character values are compared ('ab ' = 'ab'); the
    // columns of tables compare so by their collation, literals and variables by this one.
    if (isComparison(t) && i > 0 && isCharacterOperand(tokens, i - 1, true) &&
        isCharacterOperand(tokens, i + 1, false))
        emit("collate rtrim");
    if (t.isOp("+") && ((i > 0 && isCharacterOperand(tokens, i - 1, true)) ||
                        isCharacterOperand(tokens, i + 1, false))) {
        return concatenation(tokens, i);
    } else if ((t.isOp("/") || t.isOp("%")) && i + 1 < tokens.size()) {
        return stepDivision(tokens, i);
    } else if (t.isOp("?")) {
        if (!m_context.marker)
            throw syntaxError("?");
        bind(m_context.marker(t));
    } else if (t.isOp("==")) {
        emit("=");
    } else if (t.isOp("!<")) {
        emit(">=");
    } else if (t.isOp("!>")) {
        emit("<=");
    } else if (t.isOp(".")) {
        // Qualified names are written without spaces.
        if (!m_out.sql.empty() && m_out.sql.back() == ' ')
            m_out.sql.pop_back();
        m_out.sql += '.';
        m_glue = true;
    } else {
        emit(t.text);
    }
    return i + 1;
}

namespace {

/// The first token of the operand that ends just before the operator at `i` (a literal,
/// variable, name or function call, qualified or not, or a parenthesized expression).
std::optional<size_t> operandStart(std::span<const Token> tokens, size_t i) {
    if (i == 0)
        return std::nullopt;
    size_t k = i - 1;
    if (tokens[k].isOp(")")) {
        int depth = 0;
        for (;; --k) {
            if (tokens[k].isOp(")"))
                ++depth;
            else if (tokens[k].isOp("(") && --depth == 0)
                break;
            if (k == 0)
                return std::nullopt;
        }
        if (k == 0 || tokens[k - 1].kind != Token::Kind::Identifier)
            return k;
        --k;
    } else if (tokens[k].kind == Token::Kind::Operator) {
        return std::nullopt;
    }
    while (k >= 2 && tokens[k - 1].isOp(".") && tokens[k - 2].kind != Token::Kind::Operator)
        k -= 2;
    return k;
}

} // namespace

size_t Translator::concatenation(std::span<const Token> tokens, size_t i) {
    const size_t rightEnd = primaryEnd(tokens, i + 1);
    std::optional<size_t> leftAt;
    if (i == 0) {
        // A sign, not a concatenation.
    } else if (m_concatEnd == &tokens[i - 1]) {
        leftAt = m_concatStart;
    } else if (auto start = operandStart(tokens, i)) {
        if (auto found = m_stepStarts.find(&tokens[*start]); found != m_stepStarts.end())
            leftAt = found->second;
    }
    if (!leftAt || rightEnd == i + 1) {
        emit("||");
        return i + 1;
    }
    m_out.sql.insert(*leftAt, " tovrin_concat(");
    emit(",");
    run(tokens.subspan(i + 1, rightEnd - i - 1));
    emit(")");
    m_concatEnd = &tokens[rightEnd - 1];
    m_concatStart = *leftAt;
    return rightEnd;
}

// The divisor is checked, so that a division by zero fails as on the server instead of
// giving NULL.
size_t Translator::stepDivision(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    size_t end = primaryEnd(tokens, i + 1);
    emit(t.text);
    if (end == i + 1)
        return i + 1;
    emit("tovrin_divisor(");
    run(tokens.subspan(i + 1, end - i - 1));
    emit(")");
    return end;
}

// Identifiers and keywords.
size_t Translator::stepIdentifier(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    if (m_glue) {
        m_glue = false;
        m_out.sql += identifierText(t);
        return i + 1;
    }
    if (size_t nameAt = skipQualifiers(tokens, i); nameAt != i)
        return nameAt;
    auto next = [&](size_t k) -> const Token* {
        return i + k < tokens.size() ? &tokens[i + k] : nullptr;
    };
    const Token* n1 = next(1);
    const Token* n2 = next(2);
    if (t.is("create") && n1 && n1->is("table") && n2 && !n2->text.empty() && n2->text[0] == '#') {
        emit("create temp table");
        return i + 2;
    }
    if (n1 && n1->isOp("(")) {
        if (size_t end = functionCall(tokens, i); end != i)
            return end;
    }
    emit(identifierText(t));
    return i + 1;
}

size_t Translator::skipQualifiers(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    auto next = [&](size_t k) -> const Token* {
        return i + k < tokens.size() ? &tokens[i + k] : nullptr;
    };
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
    return i;
}

size_t Translator::functionCall(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    if (m_typeOf && (t.is("sum") || t.is("avg") || t.is("min") || t.is("max"))) {
        if (auto name = exactAggregate(tokens, i)) {
            emit(*name);
            return i + 1;
        }
    }
    if (m_typeOf && (t.is("round") || t.is("abs"))) {
        if (size_t end = exactRoundOrAbs(tokens, i); end != i)
            return end;
    }
    if (t.is("convert"))
        return convertCall(tokens, i);
    if (t.is("cast"))
        return castCall(tokens, i);
    for (const Rename& r : kRenames) {
        if (t.is(r.from)) {
            emit(r.to);
            return i + 1;
        }
    }
    if (t.is("datepart") || t.is("datename") || t.is("dateadd") || t.is("datediff")) {
        // The first argument is a date part keyword: pass it as text.
        if (i + 3 < tokens.size() && tokens[i + 2].kind == Token::Kind::Identifier &&
            tokens[i + 3].isOp(",")) {
            emit("tovrin_" + lowerWord(t.text) + "(" + quoteLiteral(lowerWord(tokens[i + 2].text)) +
                 ",");
            return i + 4;
        }
    }
    return i;
}

// round and abs keep money and numeric values exact and of their type.
size_t Translator::exactRoundOrAbs(std::span<const Token> tokens, size_t i) {
    const Token& t = tokens[i];
    const size_t close = matchingParen(tokens, i + 1);
    const size_t firstEnd = firstArgumentEnd(tokens, i + 1);
    if (close >= tokens.size())
        return i;
    auto type = exactType(tokens, i, close + 1);
    const bool arity = t.is("abs") ? firstEnd == close : firstEnd < close;
    if (!type || !arity || firstEnd <= i + 2)
        return i;
    emit(t.is("abs") ? "tovrin_abs(" : "tovrin_round(");
    run(tokens.subspan(i + 2, close - i - 2));
    emit(", " + typeArguments(*type) + ")");
    return close + 1;
}

std::string Translator::lowerWord(const std::string& s) {
    std::string out;
    for (char c : s)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Translator::identifierText(const Token& t) {
    if (t.kind == Token::Kind::QuotedIdentifier || (!t.text.empty() && t.text[0] == '#'))
        return quoteIdentifier(t.text);
    return t.text;
}

/// convert(type, expr [, style]) → tovrin_convert('type', expr [, style])
size_t Translator::convertCall(std::span<const Token> tokens, size_t i) {
    size_t open = i + 1;
    size_t comma = firstArgumentEnd(tokens, open);
    if (comma >= tokens.size() || !tokens[comma].isOp(","))
        throw syntaxError("convert");
    const std::string target = targetText(tokens.subspan(open + 1, comma - open - 1));
    emit("tovrin_convert(" + quoteLiteral(target) + ",");
    if (!m_typeOf)
        return comma + 1;
    // Money converts to text with two decimals ($1234.5 is '1234.50') and to an integer
    // rounded ($4.50 is 5): through the numeric of that scale.
    size_t valueEnd = comma + 1;
    for (int depth = 0; valueEnd < tokens.size(); ++valueEnd) {
        if (tokens[valueEnd].isOp("("))
            ++depth;
        else if (tokens[valueEnd].isOp(")") && depth-- == 0)
            break;
        else if (tokens[valueEnd].isOp(",") && depth == 0)
            break;
    }
    const auto targetType = parseDeclaredType(target);
    const auto source =
        valueEnd > comma + 1 ? exactType(tokens, comma + 1, valueEnd) : std::nullopt;
    if (!targetType || !source ||
        (source->type != SqlType::Money && source->type != SqlType::SmallMoney))
        return comma + 1;
    const SqlType to = targetType->type;
    const bool integer = to == SqlType::TinyInt || to == SqlType::SmallInt || to == SqlType::Int ||
                         to == SqlType::BigInt;
    if (!isCharacterType(*targetType) && !integer)
        return comma + 1;
    emit(std::string("tovrin_convert('numeric(19,") + (integer ? "0" : "2") + ")',");
    run(tokens.subspan(comma + 1, valueEnd - comma - 1));
    emit(")");
    return valueEnd;
}

/// cast(expr as type) → tovrin_convert('type', expr)
size_t Translator::castCall(std::span<const Token> tokens, size_t i) {
    size_t open = i + 1;
    size_t close = matchingParen(tokens, open);
    if (close >= tokens.size())
        throw syntaxError("cast");
    size_t as = close;
    for (size_t k = close; k-- > open + 1;) {
        if (tokens[k].is("as")) {
            as = k;
            break;
        }
    }
    if (as == close || as == open + 1)
        throw syntaxError("cast");
    emit("tovrin_convert(" + quoteLiteral(targetText(tokens.subspan(as + 1, close - as - 1))) +
         ",");
    run(tokens.subspan(open + 1, as - open - 1));
    emit(")");
    return close + 1;
}

/// The declared type text of a conversion target, with the length a character or
/// binary type gets when none is written.
std::string Translator::targetText(std::span<const Token> typeTokens) {
    auto target = conversionTarget(typeTokens);
    if (!target) {
        std::string type = typeTextOf(typeTokens);
        throw SqlError(243, 16, "Type '" + type + "' is not a defined system type.");
    }
    return declaredTypeText(*target);
}

/// The exact result type of an expression, if it has one: money or numeric.
std::optional<ColumnType> Translator::exactType(std::span<const Token> tokens, size_t begin,
                                                size_t end) {
    auto type = m_typeOf(tokens.subspan(begin, end - begin));
    if (!type)
        return std::nullopt;
    const SqlType k = type->type;
    if (k != SqlType::Numeric && k != SqlType::Decimal && k != SqlType::Money &&
        k != SqlType::SmallMoney)
        return std::nullopt;
    return type;
}

/// The arguments of tovrin_arith and tovrin_negate that give the result type.
std::string Translator::typeArguments(const ColumnType& type) {
    const int kind = type.type == SqlType::Money ? 1 : type.type == SqlType::SmallMoney ? 2 : 0;
    const int precision = kind ? 19 : type.precision ? type.precision : 18;
    const int scale = kind ? 4 : type.scale;
    return std::to_string(kind) + ", " + std::to_string(precision) + ", " + std::to_string(scale);
}

/// The exact aggregate that replaces sum, avg, min or max at `i` when its argument is
/// money or numeric.
std::optional<std::string> Translator::exactAggregate(std::span<const Token> tokens, size_t i) {
    const size_t open = i + 1;
    const size_t close = matchingParen(tokens, open);
    if (close >= tokens.size())
        return std::nullopt;
    size_t from = open + 1;
    if (from < close && (tokens[from].is("distinct") || tokens[from].is("all")))
        ++from;
    if (from >= close)
        return std::nullopt;
    auto type = exactType(tokens, from, close);
    if (!type)
        return std::nullopt;
    if (tokens[i].is("min") || tokens[i].is("max")) {
        // A plain column is ordered by its collation already (and its index serves it).
        if (isColumnReference(tokens.subspan(from, close - from)))
            return std::nullopt;
        return tokens[i].is("min") ? "tovrin_min" : "tovrin_max";
    }
    const bool money = type->type == SqlType::Money || type->type == SqlType::SmallMoney;
    if (tokens[i].is("sum"))
        return money ? "tovrin_sum_money" : "tovrin_sum";
    if (money)
        return std::string("tovrin_avg_money");
    return "tovrin_avg_" + std::to_string(std::max<int>(type->scale, 6));
}

/// The index after the `end` of the case expression at `i`, or `i` when it has none.
size_t Translator::caseEnd(std::span<const Token> tokens, size_t i) {
    int depth = 0, nested = 0;
    for (size_t k = i; k < tokens.size(); ++k) {
        if (tokens[k].isOp("("))
            ++depth;
        else if (tokens[k].isOp(")"))
            --depth;
        else if (depth == 0 && tokens[k].is("case"))
            ++nested;
        else if (depth == 0 && tokens[k].is("end") && --nested == 0)
            return k + 1;
    }
    return i;
}

/// True when the token at `i` can begin an operand.
bool Translator::operandAt(std::span<const Token> tokens, size_t i) {
    if (i >= tokens.size())
        return false;
    const Token& t = tokens[i];
    if (t.is("case"))
        return caseEnd(tokens, i) > i;
    if (t.kind == Token::Kind::Identifier) {
        static constexpr std::string_view kWords[] = {
            "and",     "or",       "not",    "then",   "else",      "when",    "by",     "in",
            "between", "like",     "is",     "on",     "as",        "from",    "asc",    "desc",
            "exists",  "distinct", "all",    "union",  "end",       "escape",  "top",    "where",
            "having",  "group",    "order",  "into",   "values",    "set",     "select", "return",
            "print",   "default",  "if",     "while",  "begin",     "join",    "inner",  "outer",
            "cross",   "using",    "with",   "except", "intersect", "compute", "for",    "declare",
            "exec",    "execute",  "update", "delete", "insert",    "waitfor"};
        if (isStatementKeyword(t))
            return false;
        for (auto w : kWords)
            if (t.is(w))
                return false;
    }
    return primaryEnd(tokens, i) > i;
}

int Translator::parseAdditive(std::span<const Token> tokens, size_t& pos,
                              std::vector<Node>& nodes) {
    return parseLeftAssociative(tokens, pos, nodes, {"+", "-"}, &Translator::parseMultiplicative);
}

int Translator::parseMultiplicative(std::span<const Token> tokens, size_t& pos,
                                    std::vector<Node>& nodes) {
    return parseLeftAssociative(tokens, pos, nodes, {"*", "/", "%"}, &Translator::parseUnary);
}

// One level of left-associative binary operators: operands parsed by `operand`, joined
// while one of `ops` stands between them and an operand (or a sign) follows it.
int Translator::parseLeftAssociative(std::span<const Token> tokens, size_t& pos,
                                     std::vector<Node>& nodes,
                                     std::initializer_list<const char*> ops,
                                     int (Translator::*operand)(std::span<const Token>, size_t&,
                                                                std::vector<Node>&)) {
    auto isOneOf = [&ops](const Token& t) {
        for (const char* op : ops)
            if (t.isOp(op))
                return true;
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

int Translator::parseUnary(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes) {
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
    if (!operandAt(tokens, pos))
        return -1;
    const size_t end = tokens[pos].is("case") ? caseEnd(tokens, pos) : primaryEnd(tokens, pos);
    nodes.push_back(Node{pos, end, kLeaf, -1, -1, false});
    pos = end;
    return static_cast<int>(nodes.size() - 1);
}

/// Translates the arithmetic expression that starts at `i` with its operators on money
/// and numeric values made exact; 0 when no arithmetic starts there.
size_t Translator::exactChain(std::span<const Token> tokens, size_t i) {
    const bool sign = tokens[i].isOp("-") || tokens[i].isOp("+");
    if (sign ? !isUnaryPosition(tokens, i) : !operandAt(tokens, i))
        return 0;
    std::vector<Node> nodes;
    size_t pos = i;
    const int root = parseAdditive(tokens, pos, nodes);
    if (root < 0)
        return 0;
    if (pos + 1 < tokens.size() && isComparison(tokens[pos])) {
        // A comparison of money or numeric values that are not both plain columns (whose
        // collation compares them exactly, and whose indexes stay usable) compares exactly.
        const size_t opAt = pos++;
        const int right = parseAdditive(tokens, pos, nodes);
        if (right >= 0 && exactComparison(tokens, nodes[static_cast<size_t>(root)],
                                          nodes[static_cast<size_t>(right)])) {
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
    if (nodes[static_cast<size_t>(root)].op == kLeaf)
        return 0;
    emitNode(tokens, nodes, root);
    return pos;
}

/// True when two operands of a comparison are numbers, one of them money or numeric,
/// and not both plain columns.
bool Translator::exactComparison(std::span<const Token> tokens, const Node& left,
                                 const Node& right) {
    auto l = tokens.subspan(left.begin, left.end - left.begin);
    auto r = tokens.subspan(right.begin, right.end - right.begin);
    if (isColumnReference(l) || isColumnReference(r))
        return false;
    auto a = m_typeOf(l);
    auto b = m_typeOf(r);
    if (!a || !b)
        return false;
    auto number = [](SqlType k) {
        return k == SqlType::Bit || k == SqlType::TinyInt || k == SqlType::SmallInt ||
               k == SqlType::Int || k == SqlType::BigInt || k == SqlType::Real ||
               k == SqlType::Float || k == SqlType::Numeric || k == SqlType::Decimal ||
               k == SqlType::Money || k == SqlType::SmallMoney;
    };
    auto exact = [](SqlType k) {
        return k == SqlType::Numeric || k == SqlType::Decimal || k == SqlType::Money ||
               k == SqlType::SmallMoney;
    };
    return number(a->type) && number(b->type) && (exact(a->type) || exact(b->type));
}

/// Translates `tokens` with no arithmetic starting at its first token.
void Translator::runPlain(std::span<const Token> tokens) {
    m_plainOnce = true;
    run(tokens);
    m_plainOnce = false;
}

void Translator::emitNode(std::span<const Token> tokens, const std::vector<Node>& nodes,
                          int index) {
    const Node& n = nodes[static_cast<size_t>(index)];
    if (n.op == kLeaf)
        return runPlain(tokens.subspan(n.begin, n.end - n.begin));
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
    if (op.isOp("+")) {
        auto whole = m_typeOf(tokens.subspan(n.begin, n.end - n.begin));
        if ((whole && isCharacterType(*whole)) ||
            (n.op > 0 && isCharacterOperand(tokens, n.op - 1, true)) ||
            isCharacterOperand(tokens, n.op + 1, false)) {
            // A NULL operand of a concatenation counts as an empty string.
            emit("tovrin_concat(");
            emitNode(tokens, nodes, n.left);
            emit(",");
            emitNode(tokens, nodes, n.right);
            emit(")");
            return;
        }
    }
    emit("(");
    emitNode(tokens, nodes, n.left);
    emit(")");
    emit(op.text);
    // The divisor is checked, so that a division by zero fails as on the server.
    const bool divides = op.isOp("/") || op.isOp("%");
    emit(divides ? "tovrin_divisor(" : "(");
    emitNode(tokens, nodes, n.right);
    emit(")");
}

} // namespace devserver::translator

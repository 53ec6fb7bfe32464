// Static typing of expressions by recursive descent over the statement's tokens.
#include "ExpressionTypes.h"

#include "SqlErrors.h"
#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>
#include <string>

namespace devserver {

namespace {

/// A typed operand; `nullLiteral` marks a bare NULL, which takes the type of what it meets.
struct Typed {
    ColumnType type;
    bool nullLiteral = false;
};
using Result = std::optional<Typed>;

ColumnType numeric(int precision, int scale) {
    precision = std::clamp(precision, 1, 38);
    scale = std::clamp(scale, 0, precision);
    return makeColumnType(SqlType::Numeric, 0, static_cast<uint8_t>(precision),
                          static_cast<uint8_t>(scale));
}

int32_t clampLength(int64_t n) {
    return static_cast<int32_t>(std::clamp<int64_t>(n, 1, kMaxExpressionLength));
}

bool isInteger(SqlType t) {
    return t == SqlType::Bit || t == SqlType::TinyInt || t == SqlType::SmallInt ||
           t == SqlType::Int || t == SqlType::BigInt;
}
bool isExact(SqlType t) {
    return t == SqlType::Numeric || t == SqlType::Decimal;
}
bool isMoney(SqlType t) {
    return t == SqlType::Money || t == SqlType::SmallMoney;
}
bool isApproximate(SqlType t) {
    return t == SqlType::Real || t == SqlType::Float;
}
bool isNumber(SqlType t) {
    return isInteger(t) || isExact(t) || isMoney(t) || isApproximate(t);
}
bool isDateTime(SqlType t) {
    return t == SqlType::DateTime || t == SqlType::SmallDateTime || t == SqlType::Date ||
           t == SqlType::Time;
}
bool isBinary(SqlType t) {
    return t == SqlType::Binary || t == SqlType::VarBinary || t == SqlType::Image;
}

/// Rank in the server's type hierarchy: when two types meet, the higher rank wins.
int rank(SqlType t) {
    switch (t) {
    case SqlType::Float:
        return 100;
    case SqlType::DateTime:
        return 96;
    case SqlType::Real:
        return 94;
    case SqlType::Numeric:
        return 92;
    case SqlType::Decimal:
        return 91;
    case SqlType::Money:
        return 88;
    case SqlType::SmallMoney:
        return 86;
    case SqlType::SmallDateTime:
        return 84;
    case SqlType::Date:
        return 83;
    case SqlType::Time:
        return 82;
    case SqlType::BigInt:
        return 80;
    case SqlType::Int:
        return 78;
    case SqlType::SmallInt:
        return 76;
    case SqlType::TinyInt:
        return 74;
    case SqlType::Bit:
        return 72;
    case SqlType::UniVarChar:
        return 60;
    case SqlType::UniChar:
        return 58;
    case SqlType::Text:
        return 56;
    case SqlType::VarChar:
        return 54;
    case SqlType::Char:
        return 52;
    case SqlType::Image:
        return 40;
    case SqlType::VarBinary:
        return 38;
    case SqlType::Binary:
        return 36;
    }
    return 0;
}

/// Precision and scale of a number type seen as an exact numeric.
std::pair<int, int> exactOf(const ColumnType& t) {
    switch (t.type) {
    case SqlType::Bit:
        return {1, 0};
    case SqlType::TinyInt:
        return {3, 0};
    case SqlType::SmallInt:
        return {5, 0};
    case SqlType::Int:
        return {10, 0};
    case SqlType::BigInt:
        return {19, 0};
    case SqlType::SmallMoney:
        return {10, 4};
    case SqlType::Money:
        return {19, 4};
    case SqlType::Numeric:
    case SqlType::Decimal:
        return {t.precision ? t.precision : 18, t.scale};
    default:
        return {38, 0};
    }
}

/// Length in bytes (characters for uni types) a value of `t` takes as text.
int32_t textLengthOf(const ColumnType& t) {
    switch (t.type) {
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::UniChar:
    case SqlType::UniVarChar:
    case SqlType::Binary:
    case SqlType::VarBinary:
        return t.length;
    case SqlType::Text:
    case SqlType::Image:
        return kMaxExpressionLength;
    case SqlType::Bit:
        return 1;
    case SqlType::TinyInt:
        return 3;
    case SqlType::SmallInt:
        return 6;
    case SqlType::Int:
        return 11;
    case SqlType::BigInt:
        return 20;
    case SqlType::Numeric:
    case SqlType::Decimal:
        return t.precision + 2;
    case SqlType::Real:
    case SqlType::Float:
        return 25;
    default:
        return 30;
    }
}

/// The type of a column fed by either of two types (case branches, isnull, coalesce).
Typed unite(const Typed& a, const Typed& b) {
    if (a.nullLiteral)
        return b;
    if (b.nullLiteral)
        return a;
    const ColumnType& x = a.type;
    const ColumnType& y = b.type;
    const ColumnType& high = rank(x.type) >= rank(y.type) ? x : y;
    Typed out{high, false};
    if (isExact(high.type) && isNumber(x.type) && isNumber(y.type)) {
        auto [p1, s1] = exactOf(x);
        auto [p2, s2] = exactOf(y);
        const int scale = std::max(s1, s2);
        out.type = numeric(std::max(p1 - s1, p2 - s2) + scale, scale);
        out.type.type = high.type;
    } else if (isCharacterColumn(high) || isBinary(high.type)) {
        if (high.type != SqlType::Text && high.type != SqlType::Image)
            out.type.length = clampLength(std::max(textLengthOf(x), textLengthOf(y)));
    }
    out.type.nullable = true;
    return out;
}

/// The type of `a op b` for an arithmetic operator (+ - * / %) or a bit operator.
Typed arithmetic(const Typed& a, const Typed& b, const std::string& op) {
    if (a.nullLiteral && b.nullLiteral)
        return Typed{makeColumnType(SqlType::Int, 4), true};
    const ColumnType x = a.nullLiteral ? b.type : a.type;
    const ColumnType y = b.nullLiteral ? a.type : b.type;
    if (op == "+" && (isCharacterColumn(x) || isCharacterColumn(y))) {
        // Concatenation.
        if (x.type == SqlType::Text || y.type == SqlType::Text)
            return Typed{makeColumnType(SqlType::Text, 0x7fffffff)};
        const bool uni = x.type == SqlType::UniChar || x.type == SqlType::UniVarChar ||
                         y.type == SqlType::UniChar || y.type == SqlType::UniVarChar;
        const bool fixed = x.type == SqlType::Char && y.type == SqlType::Char;
        const SqlType t = uni ? SqlType::UniVarChar : fixed ? SqlType::Char : SqlType::VarChar;
        return Typed{makeColumnType(
            t, clampLength(static_cast<int64_t>(textLengthOf(x)) + textLengthOf(y)))};
    }
    if (op == "+" && isBinary(x.type) && isBinary(y.type)) {
        if (x.type == SqlType::Image || y.type == SqlType::Image)
            return Typed{makeColumnType(SqlType::Image, 0x7fffffff)};
        return Typed{makeColumnType(SqlType::VarBinary,
                                    clampLength(static_cast<int64_t>(x.length) + y.length))};
    }
    const ColumnType& high = rank(x.type) >= rank(y.type) ? x : y;
    if (!isNumber(high.type) || !isNumber(x.type) || !isNumber(y.type)) {
        ColumnType t = isNumber(x.type) ? x : isNumber(y.type) ? y : high;
        return Typed{t};
    }
    if (isExact(high.type)) {
        auto [p1, s1] = exactOf(x);
        auto [p2, s2] = exactOf(y);
        int p = 38, s = 0;
        if (op == "+" || op == "-") {
            s = std::max(s1, s2);
            p = std::max(p1 - s1, p2 - s2) + s + 1;
        } else if (op == "*") {
            p = p1 + p2 + 1;
            s = s1 + s2;
        } else if (op == "/") {
            s = std::max(6, s1 + p2 + 1);
            p = p1 - s1 + s2 + s;
        } else {
            s = std::max(s1, s2);
            p = std::min(p1 - s1, p2 - s2) + s;
        }
        if (p > 38) {
            // Keep the integer digits and give up scale, down to six digits at most.
            const int excess = p - 38;
            s = std::max(std::min(s, 6), s - excess);
            p = 38;
        }
        ColumnType t = numeric(p, s);
        t.type = high.type;
        return Typed{t};
    }
    if (high.type == SqlType::Bit)
        return Typed{makeColumnType(SqlType::Int, 4)};
    ColumnType t = high;
    t.nullable = true;
    return Typed{t};
}

/// The type of a number literal: int, numeric(p, s) with its digits, or float with an
/// exponent; money when written with '$'.
Typed numberLiteral(const Token& t) {
    const std::string& s = t.text;
    if (t.end > t.begin && t.end - t.begin == s.size() + 1)
        return Typed{makeColumnType(SqlType::Money, 8)};
    if (s.find_first_of("eE") != std::string::npos)
        return Typed{makeColumnType(SqlType::Float, 8)};
    const size_t point = s.find('.');
    std::string digits = point == std::string::npos ? s : s.substr(0, point) + s.substr(point + 1);
    const int scale = point == std::string::npos ? 0 : static_cast<int>(s.size() - point - 1);
    size_t first = digits.find_first_not_of('0');
    const int significant =
        first == std::string::npos ? 0 : static_cast<int>(digits.size() - first);
    if (point == std::string::npos) {
        if (significant <= 9 || (significant == 10 && digits.substr(first) <= "2147483647"))
            return Typed{makeColumnType(SqlType::Int, 4)};
        if (significant <= 38)
            return Typed{numeric(significant, 0)};
        return Typed{makeColumnType(SqlType::Float, 8)};
    }
    const int intDigits = std::max(significant - scale, 0);
    if (intDigits + scale > 38)
        return Typed{makeColumnType(SqlType::Float, 8)};
    return Typed{numeric(std::max(intDigits + scale, 1), scale)};
}

Typed ofValue(const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Null:
        return Typed{makeColumnType(SqlType::Int, 4), true};
    case SqlValue::Kind::Integer:
        if (v.integer < INT32_MIN || v.integer > INT32_MAX)
            return Typed{makeColumnType(SqlType::BigInt, 8)};
        return Typed{makeColumnType(SqlType::Int, 4)};
    case SqlValue::Kind::Real:
        return Typed{makeColumnType(SqlType::Float, 8)};
    case SqlValue::Kind::Text:
        return Typed{
            makeColumnType(SqlType::VarChar, clampLength(static_cast<int64_t>(v.bytes.size())))};
    case SqlValue::Kind::Blob:
        return Typed{
            makeColumnType(SqlType::VarBinary, clampLength(static_cast<int64_t>(v.bytes.size())))};
    }
    return Typed{makeColumnType(SqlType::Int, 4)};
}

class Typer {
public:
    Typer(std::span<const Token> tokens, const TypeScope& scope) : m_t(tokens), m_scope(scope) {}

    Result whole() {
        Result r = additive();
        if (!r || m_pos != m_t.size())
            return std::nullopt;
        return r;
    }

private:
    [[nodiscard]] bool atEnd() const { return m_pos >= m_t.size(); }
    [[nodiscard]] const Token& peek(size_t k = 0) const {
        static const Token kNone{};
        return m_pos + k < m_t.size() ? m_t[m_pos + k] : kNone;
    }

    Result additive() {
        Result left = multiplicative();
        while (left && !atEnd()) {
            const Token& op = peek();
            if (!(op.isOp("+") || op.isOp("-") || op.isOp("&") || op.isOp("|") || op.isOp("^") ||
                  op.isOp("||")))
                break;
            ++m_pos;
            Result right = multiplicative();
            if (!right)
                return std::nullopt;
            left = arithmetic(*left, *right, op.isOp("||") ? "+" : op.text);
        }
        return left;
    }

    Result multiplicative() {
        Result left = unary();
        while (left && !atEnd()) {
            const Token& op = peek();
            if (!(op.isOp("*") || op.isOp("/") || op.isOp("%")))
                break;
            ++m_pos;
            Result right = unary();
            if (!right)
                return std::nullopt;
            left = arithmetic(*left, *right, op.text);
        }
        return left;
    }

    Result unary() {
        if (peek().isOp("-") || peek().isOp("+") || peek().isOp("~")) {
            ++m_pos;
            Result r = unary();
            if (r && r->type.type == SqlType::Bit)
                r->type = makeColumnType(SqlType::Int, 4);
            return r;
        }
        return primary();
    }

    /// Index of the token that closes the '(' at `open`, or the end.
    size_t closing(size_t open) const { return matchingParen(m_t, open); }

    /// The arguments of the call whose '(' is at `open`, split at top-level commas.
    std::vector<std::span<const Token>> arguments(size_t open, size_t close) const {
        std::vector<std::span<const Token>> out;
        if (close == open + 1)
            return out;
        int depth = 0;
        size_t start = open + 1;
        for (size_t i = open + 1; i < close; ++i) {
            if (m_t[i].isOp("("))
                ++depth;
            else if (m_t[i].isOp(")"))
                --depth;
            else if (m_t[i].isOp(",") && depth == 0) {
                out.push_back(m_t.subspan(start, i - start));
                start = i + 1;
            }
        }
        out.push_back(m_t.subspan(start, close - start));
        return out;
    }

    Result sub(std::span<const Token> tokens) const {
        if (tokens.empty())
            return std::nullopt;
        return Typer(tokens, m_scope).whole();
    }

    Result primary() {
        if (atEnd())
            return std::nullopt;
        const Token& t = peek();
        switch (t.kind) {
        case Token::Kind::Number:
            ++m_pos;
            return numberLiteral(t);
        case Token::Kind::String:
            ++m_pos;
            return Typed{
                makeColumnType(SqlType::VarChar, clampLength(static_cast<int64_t>(t.text.size())))};
        case Token::Kind::Binary:
            ++m_pos;
            return Typed{makeColumnType(
                SqlType::VarBinary, clampLength(static_cast<int64_t>((t.text.size() + 1) / 2)))};
        case Token::Kind::Variable:
        case Token::Kind::GlobalVariable: {
            ++m_pos;
            if (!m_scope.variable)
                return std::nullopt;
            auto [value, type] = m_scope.variable(t);
            if (type)
                return Typed{*type};
            return ofValue(value);
        }
        case Token::Kind::Operator:
            if (t.isOp("?")) {
                ++m_pos;
                if (!m_scope.marker)
                    return std::nullopt;
                return ofValue(m_scope.marker(t));
            }
            if (t.isOp("(")) {
                const size_t close = closing(m_pos);
                if (close >= m_t.size())
                    return std::nullopt;
                auto inner = m_t.subspan(m_pos + 1, close - m_pos - 1);
                m_pos = close + 1;
                if (!inner.empty() && inner[0].is("select")) {
                    if (!m_scope.subquery)
                        return std::nullopt;
                    auto type = m_scope.subquery(inner);
                    if (!type)
                        return std::nullopt;
                    return Typed{*type};
                }
                return sub(inner);
            }
            return std::nullopt;
        case Token::Kind::QuotedIdentifier:
        case Token::Kind::Identifier:
            break;
        }
        if (t.is("null")) {
            ++m_pos;
            return Typed{makeColumnType(SqlType::Int, 4), true};
        }
        if (t.is("case"))
            return caseExpression();
        if (peek(1).isOp("(") && t.kind == Token::Kind::Identifier)
            return function();
        // A column: name, qualifier.name, db..name, …
        const size_t start = m_pos;
        ++m_pos;
        while (!atEnd() && peek().isOp(".")) {
            ++m_pos;
            if (!atEnd() && (peek().kind == Token::Kind::Identifier ||
                             peek().kind == Token::Kind::QuotedIdentifier))
                ++m_pos;
        }
        if (!m_scope.column)
            return std::nullopt;
        auto type = m_scope.column(m_t.subspan(start, m_pos - start));
        if (!type)
            return std::nullopt;
        return Typed{*type};
    }

    /// case [x] when … then r … [else e] end: the union of the result types.
    Result caseExpression() {
        ++m_pos; // case
        std::vector<std::span<const Token>> results;
        // Splits the case at its own when/then/else/end, skipping nested cases and parentheses.
        size_t partStart = m_pos;
        bool inResult = false;
        int depth = 0, nested = 0;
        for (; m_pos < m_t.size(); ++m_pos) {
            const Token& k = m_t[m_pos];
            if (k.isOp("("))
                ++depth;
            else if (k.isOp(")"))
                --depth;
            else if (depth == 0 && k.is("case"))
                ++nested;
            else if (depth == 0 && k.is("end") && nested > 0)
                --nested;
            else if (depth == 0 && nested == 0 &&
                     (k.is("when") || k.is("then") || k.is("else") || k.is("end"))) {
                if (inResult)
                    results.push_back(m_t.subspan(partStart, m_pos - partStart));
                inResult = k.is("then") || k.is("else");
                partStart = m_pos + 1;
                if (k.is("end")) {
                    ++m_pos;
                    break;
                }
            }
        }
        if (results.empty())
            return std::nullopt;
        std::optional<Typed> out;
        for (auto r : results) {
            Result t = sub(r);
            if (!t)
                return std::nullopt;
            out = out ? unite(*out, *t) : *t;
        }
        if (out)
            out->type.nullable = true;
        return out;
    }

    /// A function call's name and arguments.
    struct Call {
        const Token& name;
        std::vector<std::span<const Token>> args;

        bool is(std::initializer_list<std::string_view> names) const {
            for (auto n : names)
                if (name.is(n))
                    return true;
            return false;
        }
        /// The value of argument `i` when it is a small unsigned integer literal.
        std::optional<int64_t> literalInt(size_t i) const {
            if (i < args.size() && args[i].size() == 1 && args[i][0].kind == Token::Kind::Number &&
                args[i][0].text.find_first_not_of("0123456789") == std::string::npos &&
                args[i][0].text.size() < 10)
                return std::stoll(args[i][0].text);
            return std::nullopt;
        }
    };

    static Typed varchar(int64_t n) {
        return Typed{makeColumnType(SqlType::VarChar, clampLength(n))};
    }
    static Typed fixedType(SqlType t, int32_t n) { return Typed{makeColumnType(t, n)}; }
    Result arg(const Call& call, size_t i) const {
        return i < call.args.size() ? sub(call.args[i]) : std::nullopt;
    }

    Result function() {
        const Token& name = peek();
        const size_t open = m_pos + 1;
        const size_t close = closing(open);
        if (close >= m_t.size())
            return std::nullopt;
        m_pos = close + 1;
        const Call call{name, arguments(open, close)};
        if (call.is({"convert", "cast"}))
            return conversion(call);
        if (call.is({"isnull", "coalesce"}))
            return firstNonNull(call);
        if (call.is({"nullif", "abs", "round", "floor", "ceiling", "sign", "power", "upper",
                     "lower", "reverse"})) {
            Result t = arg(call, 0);
            if (t && t->type.type == SqlType::Bit && !name.is("upper") && !name.is("lower"))
                t->type = makeColumnType(SqlType::Int, 4);
            return t;
        }
        if (call.is({"min", "max", "sum", "avg"}))
            return aggregate(call);
        if (call.is({"dateadd"})) {
            Result d = arg(call, 2);
            if (d && isDateTime(d->type.type))
                return d;
            return fixedType(SqlType::DateTime, 8);
        }
        if (Result t = textFunction(call))
            return t;
        return fixedResult(call);
    }

    /// convert(type, expr [, style]), cast(expr as type): the target type.
    Result conversion(const Call& call) const {
        const auto& args = call.args;
        if (call.is({"convert"})) {
            if (args.size() < 2)
                return std::nullopt;
            auto target = conversionTarget(args[0]);
            if (!target)
                return std::nullopt;
            return Typed{*target};
        }
        if (args.size() != 1)
            return std::nullopt;
        auto a = args[0];
        for (size_t k = a.size(); k-- > 1;) {
            if (a[k].is("as")) {
                auto target = conversionTarget(a.subspan(k + 1));
                if (!target)
                    return std::nullopt;
                return Typed{*target};
            }
        }
        return std::nullopt;
    }

    /// isnull, coalesce: the union of the arguments' types.
    Result firstNonNull(const Call& call) const {
        if (call.args.empty())
            return std::nullopt;
        std::optional<Typed> out;
        for (size_t i = 0; i < call.args.size(); ++i) {
            Result t = arg(call, i);
            if (!t)
                return std::nullopt;
            out = out ? unite(*out, *t) : *t;
        }
        out->type.nullable = true;
        return out;
    }

    Result aggregate(const Call& call) const {
        if (call.args.empty())
            return std::nullopt;
        auto a = call.args[0];
        if (!a.empty() && (a[0].is("distinct") || a[0].is("all")))
            a = a.subspan(1);
        Result t = sub(a);
        if (!t)
            return std::nullopt;
        t->nullLiteral = false;
        t->type.nullable = true;
        if (call.is({"min", "max"}))
            return t;
        const SqlType k = t->type.type;
        if (isInteger(k))
            return fixedType(k == SqlType::BigInt ? SqlType::BigInt : SqlType::Int,
                             k == SqlType::BigInt ? 8 : 4);
        if (isMoney(k))
            return fixedType(SqlType::Money, 8);
        if (isExact(k)) {
            ColumnType n =
                numeric(38, call.is({"avg"}) ? std::max<int>(t->type.scale, 6) : t->type.scale);
            n.type = k;
            return Typed{n};
        }
        if (isApproximate(k))
            return fixedType(SqlType::Float, 8);
        return std::nullopt;
    }

    /// Functions whose result length follows from their arguments.
    Result textFunction(const Call& call) const {
        if (call.is({"ltrim", "rtrim", "trim", "substring", "left", "right"})) {
            Result t = arg(call, 0);
            if (!t)
                return std::nullopt;
            if (t->type.type == SqlType::UniChar || t->type.type == SqlType::UniVarChar)
                return Typed{makeColumnType(SqlType::UniVarChar, t->type.length)};
            return varchar(textLengthOf(t->type));
        }
        if (call.is({"str"}))
            return fixedType(SqlType::Char, static_cast<int32_t>(std::clamp<int64_t>(
                                                call.literalInt(1).value_or(10), 1, 255)));
        if (call.is({"space"}))
            return varchar(call.literalInt(0).value_or(kMaxExpressionLength));
        if (call.is({"replicate"})) {
            Result t = arg(call, 0);
            auto n = call.literalInt(1);
            if (t && n)
                return varchar(static_cast<int64_t>(textLengthOf(t->type)) *
                               std::max<int64_t>(*n, 1));
            return varchar(kMaxExpressionLength);
        }
        return std::nullopt;
    }

    /// Functions whose result type does not depend on their arguments.
    static Result fixedResult(const Call& call) {
        if (call.is({"count"}))
            return fixedType(SqlType::Int, 4);
        if (call.is({"count_big"}))
            return fixedType(SqlType::BigInt, 8);
        if (call.is({"sqrt", "exp", "log", "log10", "sin", "cos", "tan", "asin", "acos", "atan",
                     "atn2", "cot", "pi", "rand", "rand2", "degrees", "radians", "square"}))
            return fixedType(SqlType::Float, 8);
        if (call.is({"len",        "char_length", "datalength", "charindex", "patindex", "ascii",
                     "object_id",  "datediff",    "datepart",   "db_id",     "user_id",  "suser_id",
                     "col_length", "isnumeric",   "isdate",     "day",       "month",    "year",
                     "hextoint",   "instr",       "unicode"}))
            return fixedType(SqlType::Int, 4);
        if (call.is({"datename"}))
            return varchar(30);
        if (call.is({"getdate", "getutcdate", "current_bigdatetime"}))
            return fixedType(SqlType::DateTime, 8);
        if (call.is({"current_date"}))
            return fixedType(SqlType::Date, 4);
        if (call.is({"current_time"}))
            return fixedType(SqlType::Time, 4);
        if (call.is({"db_name", "user_name", "suser_name", "object_name", "host_name", "app_name",
                     "col_name", "index_name"}))
            return varchar(255);
        if (call.is({"char"}))
            return fixedType(SqlType::Char, 1);
        if (call.is({"soundex"}))
            return fixedType(SqlType::Char, 4);
        if (call.is({"newid"}))
            return varchar(36);
        if (call.is({"inttohex"}))
            return varchar(8);
        if (call.is({"str_replace", "replace", "stuff"}))
            return varchar(kMaxExpressionLength);
        return std::nullopt;
    }

    std::span<const Token> m_t;
    const TypeScope& m_scope;
    size_t m_pos = 0;
};

} // namespace

bool isCharacterColumn(const ColumnType& t) noexcept {
    return t.type == SqlType::Char || t.type == SqlType::VarChar || t.type == SqlType::UniChar ||
           t.type == SqlType::UniVarChar || t.type == SqlType::Text;
}

std::optional<ColumnType> conversionTarget(std::span<const Token> typeTokens) {
    std::string text;
    bool hasLength = false;
    for (const Token& t : typeTokens) {
        if (t.isOp("("))
            hasLength = true;
        if (!text.empty() && t.kind == Token::Kind::Identifier && text.back() != '(' &&
            text.back() != ',')
            text += ' ';
        text += t.text;
    }
    auto type = parseDeclaredType(text);
    if (!type)
        return std::nullopt;
    const SqlType k = type->type;
    if (!hasLength && (k == SqlType::Char || k == SqlType::VarChar || k == SqlType::UniChar ||
                       k == SqlType::UniVarChar || k == SqlType::Binary || k == SqlType::VarBinary))
        type->length = 30;
    type->nullable = true;
    return type;
}

ColumnType uniteTypes(const ColumnType& a, const ColumnType& b) {
    return unite(Typed{a}, Typed{b}).type;
}

std::optional<ColumnType> expressionType(std::span<const Token> tokens, const TypeScope& scope) {
    if (tokens.empty())
        return std::nullopt;
    Result r = Typer(tokens, scope).whole();
    if (!r)
        return std::nullopt;
    r->type.nullable = true;
    return r->type;
}

std::pair<ColumnType, size_t> declaredVariable(std::span<const Token> item) {
    if (item.size() < 2 || item[0].kind != Token::Kind::Variable)
        throw syntaxError(item.empty() ? "declare" : item[0].text);
    size_t typeEnd = 1;
    while (typeEnd < item.size() && !item[typeEnd].isOp("="))
        ++typeEnd;
    std::string typeText;
    for (size_t k = 1; k < typeEnd; ++k) {
        if (k > 1 && item[k].kind == Token::Kind::Identifier &&
            item[k - 1].kind == Token::Kind::Identifier)
            typeText += ' ';
        typeText += item[k].text;
    }
    if (item[1].is("as"))
        typeText = typeText.substr(2);
    auto type = parseDeclaredType(typeText);
    if (!type)
        throw SqlError(2715, 16, "Can't find type '" + typeText + "'.");
    return {*type, typeEnd};
}

} // namespace devserver

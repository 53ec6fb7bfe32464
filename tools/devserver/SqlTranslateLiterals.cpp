// Literals whose translation depends on the column they meet: date-like strings stored in
// columns that hold no date-times keep their text, and times of day compared with
// date-time columns become date-times; long numbers stay exact.
#include "SqlTranslatorParts.h"

#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>
#include <cstdlib>

namespace devserver::translator {

/// The value to bind for a variable: money and numeric values, held as exact text, are
/// bound as numbers (so that they compare and compute as numbers) when a double holds them
/// exactly, and as text otherwise.
SqlValue bindable(const SqlValue& value, const std::optional<ColumnType>& type) {
    if (!type || value.kind != SqlValue::Kind::Text)
        return value;
    const SqlType t = type->type;
    if (t != SqlType::Money && t != SqlType::SmallMoney && t != SqlType::Numeric &&
        t != SqlType::Decimal)
        return value;
    const int scale = t == SqlType::Money || t == SqlType::SmallMoney ? 4 : type->scale;
    auto unscaled = parseDecimal(value.bytes, scale);
    if (!unscaled)
        return value;
    const __int128 factor = powerOfTen(scale);
    if (*unscaled % factor == 0) {
        __int128 whole = *unscaled / factor;
        if (whole >= INT64_MIN && whole <= INT64_MAX)
            return SqlValue::ofInteger(static_cast<int64_t>(whole));
    }
    constexpr __int128 kExactInDouble = static_cast<__int128>(1) << 53;
    if (*unscaled > -kExactInDouble && *unscaled < kExactInDouble)
        return SqlValue::ofReal(std::strtod(value.bytes.c_str(), nullptr));
    return value;
}

bool needsExactText(const std::string& number) {
    if (number.find_first_of("eE") != std::string::npos)
        return false;
    int significant = 0;
    bool leading = true;
    for (char c : number) {
        if (c == '.')
            continue;
        if (leading && c == '0')
            continue;
        leading = false;
        ++significant;
    }
    if (number.find('.') == std::string::npos) {
        // Integers beyond 64 bits would become approximate reals.
        return significant > 18;
    }
    return significant > 15;
}

namespace {

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
                while (i < tokens.size() && tokens[i].isOp("."))
                    ++i;
                continue;
            }
        }
        break;
    }
    return {name, i};
}

/// Which literals keep their text, for one statement and one kind of column.
class KeptLiterals {
public:
    KeptLiterals(std::span<const Token> tokens, const TranslateContext& context, bool timesOfDay)
        : m_tokens(tokens), m_context(context), m_timesOfDay(timesOfDay) {}

    std::set<size_t> find() {
        if (std::none_of(m_tokens.begin(), m_tokens.end(),
                         [this](const Token& t) { return dateLike(t); }))
            return m_keep;
        findTable();
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            if (!dateLike(m_tokens[i]))
                continue;
            std::string column = comparedColumn(i);
            if (column.empty() || isStatementKeyword(Token{Token::Kind::Identifier, column}))
                continue;
            if (notDate(column))
                m_keep.insert(m_tokens[i].begin);
        }
        return m_keep;
    }

private:
    bool dateLike(const Token& t) const {
        if (t.kind != Token::Kind::String)
            return false;
        const bool date = parseDateLiteral(t.text, m_context.dateOrder).has_value();
        if (!m_timesOfDay)
            return date;
        // A bare number is no time of day.
        return !date && t.text.find_first_not_of("0123456789 ") != std::string::npos &&
               parseTimeOfDay(t.text).has_value();
    }

    bool notDate(const std::string& column) const {
        auto known = m_context.isDateTimeColumn(m_table, column);
        return known.has_value() && *known == m_timesOfDay;
    }

    /// The table the statement changes (insert, update, delete), and the literals of an
    /// insert's values lists.
    void findTable() {
        auto tokens = m_tokens;
        if (!tokens.empty() && tokens[0].is("insert")) {
            size_t i = tokens.size() > 1 && tokens[1].is("into") ? 2 : 1;
            auto [name, after] = tableNameAt(tokens, i);
            m_table = name;
            insertedValues(after);
        } else if (!tokens.empty() && tokens[0].is("update")) {
            m_table = tableNameAt(tokens, 1).first;
        } else if (!tokens.empty() && tokens[0].is("delete")) {
            size_t i = tokens.size() > 1 && tokens[1].is("from") ? 2 : 1;
            m_table = tableNameAt(tokens, i).first;
        }
    }

    /// insert t [(columns)] values (…), (…): each literal meets the column it is inserted into.
    void insertedValues(size_t after) {
        auto tokens = m_tokens;
        std::vector<std::string> columns;
        size_t valuesAt = after;
        if (after < tokens.size() && tokens[after].isOp("(")) {
            size_t close = matchingParen(tokens, after);
            for (auto item : splitAtCommas(tokens.subspan(after + 1, close - after - 1)))
                columns.push_back(item.empty() ? std::string() : item.back().text);
            valuesAt = close + 1;
        } else if (m_context.columnsOf) {
            columns = m_context.columnsOf(m_table);
        }
        if (valuesAt >= tokens.size() || !tokens[valuesAt].is("values"))
            return;
        for (size_t k = valuesAt + 1; k < tokens.size(); ++k) {
            if (!tokens[k].isOp("("))
                continue;
            size_t close = matchingParen(tokens, k);
            auto items = splitAtCommas(tokens.subspan(k + 1, close - k - 1));
            for (size_t v = 0; v < items.size() && v < columns.size(); ++v)
                if (items[v].size() == 1 && dateLike(items[v][0]) && notDate(columns[v]))
                    m_keep.insert(items[v][0].begin);
            k = close;
        }
    }

    std::string nameAt(size_t at) const {
        if (at < m_tokens.size() && (m_tokens[at].kind == Token::Kind::Identifier ||
                                     m_tokens[at].kind == Token::Kind::QuotedIdentifier))
            return m_tokens[at].text;
        return {};
    }

    /// The column the literal at `i` is compared with: column = 'value', 'value' = column,
    /// column between 'a' and 'b', column in ('a', 'b'); empty when none.
    std::string comparedColumn(size_t i) const {
        auto tokens = m_tokens;
        std::string column;
        if (i >= 2 && isComparison(tokens[i - 1]))
            column = nameAt(i - 2);
        if (column.empty() && i + 2 < tokens.size() && isComparison(tokens[i + 1]))
            column = nameAt(i + 2);
        if (column.empty() && i >= 2 && tokens[i - 1].is("between"))
            column = nameAt(i - 2);
        if (column.empty() && i >= 4 && tokens[i - 1].is("and") && tokens[i - 3].is("between"))
            column = nameAt(i - 4);
        if (!column.empty())
            return column;
        // Inside "column in ( … )".
        int depth = 0;
        for (size_t k = i; k-- > 0;) {
            if (tokens[k].isOp(")"))
                ++depth;
            else if (tokens[k].isOp("(") && depth-- == 0) {
                if (k >= 2 && tokens[k - 1].is("in"))
                    return nameAt(k - 2);
                break;
            }
        }
        return {};
    }

    std::span<const Token> m_tokens;
    const TranslateContext& m_context;
    const bool m_timesOfDay;
    std::string m_table;
    std::set<size_t> m_keep;
};

} // namespace

std::set<size_t> literalsKeptAsText(std::span<const Token> tokens, const TranslateContext& context,
                                    bool timesOfDay) {
    if (!context.isDateTimeColumn)
        return {};
    return KeptLiterals(tokens, context, timesOfDay).find();
}

} // namespace devserver::translator

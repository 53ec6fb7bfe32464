// Translates T-SQL statements to SQLite: string and binary literals, date-time literals in
// the server's date order, variables as bound parameters, owner and database qualifiers,
// Adaptive Server's functions and operators, `name = expr` column aliases and `top n`.
// Where the statement's names can be typed, arithmetic, comparisons, aggregates, round, abs
// and sort keys on money and numeric values become calls of the exact functions
// (ExactArithmetic.h), so that SQLite's floating point never computes them.
#pragma once

#include "Engine.h"
#include "SqlLexer.h"
#include "TypesValues.h"

#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace devserver {

/// What the translator needs to know about the session.
struct TranslateContext {
    DateOrder dateOrder = DateOrder::MDY;
    /// set ansinull: when off (the default), `= null` in a condition is `is null`.
    bool ansiNull = false;
    /// set rowcount: the most rows an insert … select, update or delete writes (0: no limit).
    int64_t rowLimit = 0;
    std::string currentDatabase;
    /// Value and declared type of a variable (@x) or global variable (@@x); throws
    /// SqlError 137 for an undeclared one.
    std::function<std::pair<SqlValue, std::optional<ColumnType>>(const Token&)> variable;
    /// The SQLite schema under which database `name` is reachable from the current
    /// connection (attaching it when needed); throws SqlError 911 for an unknown database.
    std::function<std::string(const std::string&)> schemaFor;
    /// The value of a `?` marker (prepared statements); throws SqlError 102 when the batch
    /// has no marker values.
    std::function<SqlValue(const Token&)> marker;
    /// Whether column `column` of table `table` (any table of the current database when
    /// `table` is empty) holds date-times: nothing when no such column is known. Date-time
    /// literals are converted to the stored form unless they meet a column that is known
    /// not to hold date-times.
    std::function<std::optional<bool>(const std::string& table, const std::string& column)>
        isDateTimeColumn;
    /// The columns of `table` in order (for `insert … values` without a column list).
    std::function<std::vector<std::string>(const std::string& table)> columnsOf;
    /// Prepares the SQLite query `sql` without running it and gives the declared type of
    /// each of its columns (nothing for a column without one); nothing when it does not
    /// prepare. Used to type the columns that select-list expressions refer to.
    std::function<std::optional<std::vector<std::optional<ColumnType>>>(const std::string& sql)>
        probeColumns;
};

/// A translated statement.
struct Translation {
    std::string sql;
    std::vector<SqlValue> binds; ///< values of ?1, ?2, …
    /// Select statements: per select-list item, the variable it assigns (`@v = expr`), or
    /// empty.
    std::vector<std::string> assignments;
    /// Select statements: per result column, the static type of its expression (nothing
    /// for plain columns, whose declared type SQLite reports, and for what cannot be typed).
    std::vector<std::optional<ColumnType>> columnHints;
    /// Select statements: per result column, whether it has a name (an alias or a plain
    /// column); expression columns without an alias are unnamed, as on the server.
    std::vector<bool> namedItems;
    /// Select statements: true for a union, whose column types come from every select of it
    /// (the hints then hold them for plain columns too).
    bool compound = false;
    /// The tables (lower case) on the inner side of the statement's outer joins: their
    /// columns are nullable in a result.
    std::set<std::string> outerJoinInner;
};

/// Translates the tokens of one statement. With `isSelect`, the first select list is
/// rewritten (aliases, assignments, top n).
[[nodiscard]] Translation translate(std::span<const Token> tokens, const TranslateContext& context,
                                    bool isSelect = false);

/// Translates an expression and wraps it as "select <expr>".
[[nodiscard]] Translation translateExpression(std::span<const Token> tokens,
                                              const TranslateContext& context);

/// With ansinull off, the comparisons `x = null` and `x != null` (`<>`) of a statement's
/// conditions (where, having, on, when; the whole of an if or while condition when
/// `condition`) test for NULL, as on the server. Returns `tokens` when nothing changes, else
/// a span of `storage`.
[[nodiscard]] std::span<const Token> nullComparisons(std::span<const Token> tokens, bool condition,
                                                     std::vector<Token>& storage);

/// Splits tokens at commas outside parentheses.
[[nodiscard]] std::vector<std::span<const Token>> splitAtCommas(std::span<const Token> tokens);

/// SQL text of a literal value (for generated statements).
[[nodiscard]] std::string quoteLiteral(const std::string& text);
/// Double-quoted SQLite identifier.
[[nodiscard]] std::string quoteIdentifier(const std::string& name);

} // namespace devserver

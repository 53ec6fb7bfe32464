// The static type of a select-list expression, worked out from the expression alone as the
// server does: column types, convert/cast targets, literal types, arithmetic promotion by
// the type hierarchy with the precision and scale rules of exact numerics, isnull and
// coalesce, case, aggregates and the built-in functions. A result column is described
// with this type whatever values its rows hold.
#pragma once

#include "Engine.h"
#include "SqlLexer.h"
#include "TypesValues.h"

#include <functional>
#include <optional>
#include <span>
#include <utility>

namespace devserver {

/// Longest character or binary value an expression can be declared with.
inline constexpr int32_t kMaxExpressionLength = 16384;

/// What typing needs to know about names.
struct TypeScope {
    /// The declared type of the column named by `name` (a possibly qualified name); nothing
    /// when it is not known.
    std::function<std::optional<ColumnType>(std::span<const Token> name)> column;
    /// Value and declared type of a variable or global variable.
    std::function<std::pair<SqlValue, std::optional<ColumnType>>(const Token&)> variable;
    /// The type of the first column of a scalar subquery (the tokens from `select` on).
    std::function<std::optional<ColumnType>(std::span<const Token> select)> subquery;
    /// The value of a `?` marker.
    std::function<SqlValue(const Token&)> marker;
};

/// The type of `tokens` as an expression, or nothing when it cannot be worked out
/// statically (an unknown function or column).
[[nodiscard]] std::optional<ColumnType> expressionType(std::span<const Token> tokens,
                                                       const TypeScope& scope);

/// Reads the target type of convert or cast: a character or binary type written without a
/// length gets 30, as on the server. Nothing for an unknown type.
[[nodiscard]] std::optional<ColumnType> conversionTarget(std::span<const Token> typeTokens);

/// One item of a declare list (`@v type [= value]`): the variable's type, and the index of
/// its `=` (the item's size when it has none). Throws SqlError 102 for a malformed item and
/// 2715 for an unknown type.
[[nodiscard]] std::pair<ColumnType, size_t> declaredVariable(std::span<const Token> item);

/// The type of a column fed by values of either type (case branches, isnull, the columns
/// of the selects of a union): the higher type in the hierarchy, wide enough for both.
[[nodiscard]] ColumnType uniteTypes(const ColumnType& a, const ColumnType& b);

/// True for char, varchar, unichar, univarchar and text.
[[nodiscard]] bool isCharacterColumn(const ColumnType& type) noexcept;

} // namespace devserver

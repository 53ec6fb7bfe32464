// The declared types of columns. SQLite keeps a column's declared type text but gives it
// only one of five affinities; these functions read the Adaptive Server type back from that
// text, choose the declared text that gives a column the storage it needs, and give
// expression columns a type from their values.
#pragma once

#include "Engine.h"
#include "TypesValues.h"

#include <optional>
#include <string>
#include <string_view>

namespace devserver {

/// A column type of these parts (nullable).
[[nodiscard]] inline ColumnType makeColumnType(SqlType type, int32_t length, uint8_t precision = 0,
                                               uint8_t scale = 0) {
    ColumnType t;
    t.type = type;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

/// Reads a declared type ("money", "numeric(10,2)", "varchar(40)", "numeric text(10,2)").
/// Returns nothing for a type it does not know.
[[nodiscard]] std::optional<ColumnType> parseDeclaredType(std::string_view declared);

/// True for declared type names whose values are stored as exact decimal text (money,
/// smallmoney, numeric, decimal): their SQLite declaration gets the word `text` after the
/// name, for text affinity, and the decimal collation.
[[nodiscard]] bool needsDecimalStorage(std::string_view typeName);

/// True for money, smallmoney, numeric and decimal: exact types kept to their scale.
[[nodiscard]] bool isExactDecimal(SqlType type) noexcept;

/// The name of the collation that orders decimal text numerically.
inline constexpr const char* kDecimalCollation = "tovrin_decimal";

/// The type of an expression column whose first value is `first`.
[[nodiscard]] ColumnType typeOfValue(const SqlValue& first);

/// The declaration text of `type` ("numeric(10,2)", "varchar(40)") as written in T-SQL.
[[nodiscard]] std::string declaredTypeText(const ColumnType& type);

} // namespace devserver

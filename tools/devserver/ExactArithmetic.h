// Exact arithmetic on money and numeric values, as the server computes them: numbers are
// read from any stored form (integers, decimal text of up to 77 digits, reals by their
// shortest decimal form) and computed without rounding in a wide integer; only the result
// is brought to the scale of its type (rounded half away from zero, or cut for a
// division) and checked against the type's range.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

namespace devserver {

/// How a result's range is checked.
enum class ExactKind : int {
    Numeric = 0,    ///< at most `precision` digits
    Money = 1,      ///< a 64-bit count of 1/10000 units
    SmallMoney = 2, ///< a 32-bit count of 1/10000 units
};

/// Operator codes of tovrin_arith.
enum class ExactOp : int { Add = 0, Subtract = 1, Multiply = 2, Divide = 3 };

/// Registers on `db`:
///  - tovrin_arith(op, a, b, kind, precision, scale): a op b computed exactly, its result
///    brought to `scale`; NULL when either operand is; error 3606 when the result leaves
///    its type, 3607 for a division by zero;
///  - tovrin_negate(a, kind, precision, scale): -a;
///  - tovrin_round(x, digits, kind, precision, scale) and tovrin_abs(x, kind, precision, scale);
///  - tovrin_compare(a, b): -1, 0 or 1, comparing exactly;
///  - tovrin_sort_key(x): x as plain decimal text, for ordering with the decimal collation;
///  - the aggregates tovrin_min(x) and tovrin_max(x) (comparing exactly),
///    tovrin_sum(x) and tovrin_sum_money(x) (exact sums) and tovrin_avg_money(x),
///    tovrin_avg_0(x) … tovrin_avg_38(x) (exact averages cut to 4, or to the scale in the name).
/// A result whose value a double holds exactly enough (at most 15 significant digits) is
/// given as an integer or a real, so that it compares with other numbers as a number; a
/// longer one as its exact decimal text.
void registerExactFunctions(sqlite3* db);

/// Compares two decimal numbers written as text ("-12.50", "7", "1e3") exactly, whatever
/// their number of digits; nothing when either is no plain number.
[[nodiscard]] int compareDecimalNumbers(std::string_view a, std::string_view b, bool& ok) noexcept;

} // namespace devserver

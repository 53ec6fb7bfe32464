// Reading the records of a host dataset into the output: each field's value as a Cell,
// and a whole dataset (or its current record) as one row result.
#pragma once

#include <cstdint>

#include "ResultWriter.h"
#include <tovrin5/host/DbEnums.h>
#include <tovrin5/host/Variant.h>

namespace tovrin::host {
class TDataSet;
class TField;
} // namespace tovrin::host

namespace tovrin::sqltool {

/// The value of a field in the current record: NULL, a number (integers, floats and
/// money with "." as decimal separator, exact decimals), a boolean, a date-time as
/// "yyyy-mm-dd hh:nn:ss.zzz", binary values as "0x" and upper-case hexadecimal, text as
/// it is.
[[nodiscard]] Cell fieldCell(const host::TField& field);

/// Terminal columns the values of the field's declared type need (0 for text and image).
[[nodiscard]] std::size_t declaredWidth(const host::TField& field);

/// The visible fields of the dataset as columns.
[[nodiscard]] std::vector<ColumnInfo> datasetColumns(const host::TDataSet& data);

/// A value held in a Variant, read as a field of `type` would be (output parameters);
/// an exact decimal with at least `decimals` digits after the point.
[[nodiscard]] Cell variantCell(const host::Variant& value, host::TFieldType type, int decimals = 0);

/// An exact decimal's text with at least `decimals` digits after the point ("2" with 2
/// gives "2.00"); never in E-notation, as the text itself is not.
[[nodiscard]] std::string withDecimals(std::string text, int decimals);

/// Which records of a dataset are written.
enum class RowSelection {
    All,     ///< every record the dataset shows, from the first (a filter in force applies)
    Current, ///< the current record only (a located one)
    None,    ///< the columns without rows (a locate that found nothing)
};

/// Writes the dataset as row result number `resultNumber` (`counted`: see
/// ResultWriter::endResult). Returns the rows written.
std::int64_t writeDataSet(host::TDataSet& data, ResultWriter& writer, int resultNumber,
                          RowSelection rows, bool counted = true);

} // namespace tovrin::sqltool

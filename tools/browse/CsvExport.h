// A result written as CSV (RFC 4180): a header of field names, then every record in the
// dataset's order (filtered and sorted as shown), visible fields only, NULL as an empty
// field, fields quoted when they hold a comma, a quote or a line break, CRLF line ends.
// Values are written whole and in one form whatever the locale: binary as 0x and
// hexadecimal digits, dates and times as yyyy-MM-dd HH:mm:ss.zzz, exact decimals with
// their places.
#pragma once

#include <cstdint>
#include <ostream>

namespace tovrin::host {
class TDataSet;
}

namespace tovrin::browse {

/// Writes the dataset and returns the number of records written. The cursor comes back
/// to the record it was on; other links are told once at the end.
std::int64_t writeCsv(host::TDataSet& dataSet, std::ostream& out);

} // namespace tovrin::browse

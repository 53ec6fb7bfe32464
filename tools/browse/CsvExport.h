// A result written as CSV (RFC 4180): a header of field names, then every record in the
// dataset's order (filtered and sorted as shown), visible fields only, NULL as an empty
// field, fields quoted when they hold a comma, a quote or a line break, CRLF line ends.
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

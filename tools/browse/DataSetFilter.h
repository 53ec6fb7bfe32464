// The filter box: a dataset's Filter expression, applied through the framework's
// SetFilter and SetFiltered when the framework has filter expressions.
#pragma once

#include <string>

namespace tovrin::host {
class TDataSet;
}

namespace tovrin::browse {

/// Whether the framework's datasets take Filter expressions.
[[nodiscard]] bool filterExpressionsAvailable();

/// Filters the dataset by expression (an empty one shows every record). Returns false
/// when the framework has no filter expressions; raises what the dataset raises for an
/// expression it cannot read.
bool applyFilter(host::TDataSet& dataSet, const std::string& expression);

} // namespace tovrin::browse

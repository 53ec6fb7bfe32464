// What the tool does to a result in memory, without asking the server again: the
// filter, the sort and the locate, applied to each row result that has the fields.
#pragma once

#include <string>
#include <vector>

#include "RowFilter.h"

namespace tovrin::host {
class TDataSet;
}

namespace tovrin::sqltool {

/// One field=value pair of --locate.
struct LocateKey {
    std::string field;
    std::string value;
};

/// Reads "field=value"; raises UsageError without "=" or field name, and for a value
/// written as a date ("yyyy-mm-dd...") that is none (2026-02-30), before anything runs.
[[nodiscard]] LocateKey parseLocateKey(const std::string& argument);

struct InMemoryWork {
    std::string sortFields; ///< "f1;f2"; empty for no sort
    bool descending = false;
    bool ignoreCase = false;
    RowFilter* filter = nullptr; ///< null for no filter
    std::vector<LocateKey> locate;
};

/// What happened to one result.
struct ShapeOutcome {
    bool sorted = false;
    bool filtered = false;
    bool locateTried = false;
    bool located = false; ///< show only the current record
};

/// True when the result has every field of the sort, or there is no sort.
[[nodiscard]] bool sortFits(const host::TDataSet& data, const InMemoryWork& work);

/// Applies the work to an open dataset: the filter when the result has its fields, then
/// the sort (a dataset of the package is needed; others stay in their order), then the
/// locate, which leaves the found record current. Each step is skipped for a result that
/// lacks one of its fields. Raises the dataset's errors (a field that cannot be sorted).
ShapeOutcome shapeResult(host::TDataSet& data, const InMemoryWork& work);

} // namespace tovrin::sqltool

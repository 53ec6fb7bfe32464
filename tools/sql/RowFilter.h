// The --filter expression: the dataset's own filter language (host/FilterExpression.h:
// comparisons, and/or/not, parentheses, is [not] null, quoted texts, numbers, dates, a
// trailing * for texts that begin alike, and "like" with % and _), set as the Filter of
// each result that has the fields it names. --nocase makes its text comparisons ignore
// letter case.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace tovrin::host {
class TDataSet;
class TFilterExpression;
} // namespace tovrin::host

namespace tovrin::sqltool {

/// A filter text that cannot be read, or that names a field the result lacks.
class FilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RowFilter final {
public:
    /// Parses the expression; raises FilterError with the position of the problem.
    explicit RowFilter(const std::string& text, bool ignoreCase = false);
    ~RowFilter();
    RowFilter(const RowFilter&) = delete;
    RowFilter& operator=(const RowFilter&) = delete;

    /// True when every field the expression names exists in `data` (which must be open).
    [[nodiscard]] bool fitsDataSet(const host::TDataSet& data) const;
    /// Filters `data` from now on: sets the expression as its Filter (with
    /// foCaseInsensitive for --nocase) and Filtered true. Raises FilterError for a
    /// missing field or a value its field cannot take.
    void apply(host::TDataSet& data);

private:
    std::string m_text;
    std::unique_ptr<host::TFilterExpression> m_parsed;
    bool m_ignoreCase;
};

} // namespace tovrin::sqltool

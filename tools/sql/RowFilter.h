// The --filter expression: conditions on the fields of a result, evaluated in memory on
// each record through the dataset's OnFilterRecord event.
//
//   expression := term { "or" term }
//   term       := condition { "and" condition }
//   condition  := "not" condition | "(" expression ")"
//               | field op value | field "is" ["not"] "null"
//   op         := "=" | "<>" | "!=" | "<" | "<=" | ">" | ">=" | "like"
//   value      := 'text' (a quote doubled inside) | number | null
//
// Field names are words (letters, digits, _, @, #, $) or written in double quotes or
// brackets. Keywords are case-insensitive. As in SQL, a comparison with NULL is false; a
// date-time field compares with a text in "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" form; "like"
// takes % (any run) and _ (one character) and compares the value's text.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace host {
class TDataSet;
}

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
    /// Filters `data` from now on: binds the field names and installs the record filter
    /// (Filtered true). Raises FilterError for a missing field. The dataset keeps its own
    /// copy of the expression, so the RowFilter may go first.
    void apply(host::TDataSet& data);

    struct Node;

private:
    std::unique_ptr<Node> m_root;
    bool m_ignoreCase;
};

} // namespace tovrin::sqltool

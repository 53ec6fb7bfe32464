// TFilterExpression: the text of a dataset's Filter property, parsed once into a tree and
// evaluated on the record under test through the dataset's fields.
//
//   expression := term { "or" term }
//   term       := factor { "and" factor }
//   factor     := "not" factor | "(" expression ")" | condition
//   condition  := operand op operand | operand "is" ["not"] "null" | operand "like" 'pattern'
//   op         := "=" | "<>" | "!=" | "<" | "<=" | ">" | ">="
//   operand    := field | 'text' (a quote doubled inside) | number | true | false | null
//   field      := a word (letters, digits, _ @ # $) | [any name] | "any name"
//
// Keywords are read in any letter case, field names as the dataset finds them. A literal
// compared with a field takes the field's type: a number for numeric fields, a date and
// time ("yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" or the short date format) for date and time
// fields, true/false (or a number, 0 false) for Boolean fields, a text otherwise. A text
// ending in * compared with = or <> matches the texts that begin with what precedes the *,
// unless the options hold foNoPartialCompare. foCaseInsensitive compares texts without
// regard to letter case. "like" takes % (any run of characters) and _ (one character).
// Nulls follow SQL's three-valued logic: a comparison or like involving a null is unknown
// ("is null" tests for it), "not" of unknown is unknown, "and" is false when either side
// is false, "or" true when either side is true, and a record passes only when the whole
// expression is true.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DbEnums.h"

namespace tovrin::host {

class TDataSet;

class TFilterExpression final {
public:
    /// Parses Text. Raises EDatabaseError "Filter expression error at position <n>: <what>"
    /// (n counts characters from 1) when it is not an expression.
    explicit TFilterExpression(const std::string& Text);
    ~TFilterExpression();
    TFilterExpression(const TFilterExpression&) = delete;
    TFilterExpression& operator=(const TFilterExpression&) = delete;

    /// Names of the fields the expression refers to, in the order written.
    [[nodiscard]] std::vector<std::string> FieldNames() const;
    /// Whether the current record of DataSet satisfies the expression. DataSet's fields
    /// must read the record under test (the dataset is in dsFilter). The field names are
    /// resolved and literals converted to their fields' types on the first evaluation
    /// after Unbind; an unknown field or a literal its field cannot take raises then.
    [[nodiscard]] bool Evaluate(TDataSet& DataSet, TFilterOptions Options);
    /// Resolves the field names and converts the literals for DataSet now (the work of the
    /// first evaluation), raising what that raises.
    void Bind(TDataSet& DataSet);
    /// Forgets the resolved fields (they were destroyed or re-bound).
    void Unbind() noexcept;

    struct Node;

private:
    std::unique_ptr<Node> m_root;
    TDataSet* m_boundTo = nullptr;
};

} // namespace tovrin::host

// The --filter expression, read and applied by the dataset's filter engine.
#include "RowFilter.h"

#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/host/FilterExpression.h>

namespace tovrin::sqltool {

RowFilter::RowFilter(const std::string& text, bool ignoreCase)
    : m_text(text), m_ignoreCase(ignoreCase) {
    try {
        m_parsed = std::make_unique<host::TFilterExpression>(text);
    } catch (const host::Exception& e) {
        throw FilterError("--filter: " + e.Message());
    }
}

RowFilter::~RowFilter() = default;

bool RowFilter::fitsDataSet(const host::TDataSet& data) const {
    for (const std::string& name : m_parsed->FieldNames())
        if (data.FindField(name) == nullptr)
            return false;
    return true;
}

void RowFilter::apply(host::TDataSet& data) {
    for (const std::string& name : m_parsed->FieldNames())
        if (data.FindField(name) == nullptr)
            throw FilterError("--filter: the result has no field '" + name + "'");
    host::TFilterOptions options;
    if (m_ignoreCase)
        options.Include(host::foCaseInsensitive);
    try {
        data.SetFilterOptions(options);
        data.SetFilter(m_text);
        data.SetFiltered(true);
    } catch (const host::Exception& e) {
        // A literal its field cannot take shows when the first record is read.
        throw FilterError("--filter: " + e.Message());
    }
}

} // namespace tovrin::sqltool

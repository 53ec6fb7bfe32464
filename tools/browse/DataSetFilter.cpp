// Applying a filter expression, when the framework's datasets have them.
#include "DataSetFilter.h"

#include <tovrin5/host/DataSet.h>

namespace tovrin::browse {

namespace {

template <class DataSet>
constexpr bool kHasFilterExpressions = requires(DataSet& d, const std::string& e) {
    d.SetFilter(e);
};

template <class DataSet> bool applyExpression(DataSet& dataSet, const std::string& expression) {
    if constexpr (kHasFilterExpressions<DataSet>) {
        dataSet.SetFilter(expression);
        dataSet.SetFiltered(!expression.empty());
        return true;
    } else {
        return false;
    }
}

} // namespace

bool filterExpressionsAvailable() {
    return kHasFilterExpressions<host::TDataSet>;
}

bool applyFilter(host::TDataSet& dataSet, const std::string& expression) {
    return applyExpression(dataSet, expression);
}

} // namespace tovrin::browse

// Sorting a result for the grid.
#include "DataSetSort.h"

#include <tovrin5/dataset/SybDataSet.h>

namespace tovrin::browse {

qt::TDataSetModel::SortHandler inMemorySort() {
    return [](host::TDataSet& dataSet, const std::string& fieldNames, bool descending) {
        auto* sortable = dynamic_cast<TSybDataSet*>(&dataSet);
        if (sortable == nullptr)
            return;
        const TBTCompareOptions options =
            descending ? TBTCompareOptions{btcoDescending} : TBTCompareOptions{};
        // Setting the names sorts with the options of the last sort; a second sort is
        // needed only when the direction changes too.
        if (sortable->SortFields() != fieldNames) {
            sortable->SetSortFieldNames(fieldNames);
            if (sortable->SortOptions() == options)
                return;
        }
        sortable->Sort(options);
    };
}

} // namespace tovrin::browse

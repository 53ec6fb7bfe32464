// Header-click sorting for the package's datasets: the sort handler that TDataSetModel
// calls, making the clicked column the dataset's sort field, ascending or descending.
#pragma once

#include <tovrin5/qt/DataSetModel.h>

namespace tovrin::browse {

/// For a TSybDataSet: SortFields becomes the names and the records are sorted in memory,
/// descending when asked. Other datasets are left as they are.
[[nodiscard]] qt::TDataSetModel::SortHandler inMemorySort();

} // namespace tovrin::browse

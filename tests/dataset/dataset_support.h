// Test support for the in-memory dataset: the shared records-without-a-server support
// (tests/support/FetchFieldSupport.h) and a query over rows given by the test that opens
// the operations the tests drive.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Variant.h"
#include "tovrin5/query/SybQuery.h"
#include "tests/support/FetchFieldSupport.h"

namespace dstest {

using namespace tovrin::host;
using namespace tovrin;

using fetchsupport::Column;
using fetchsupport::column;
using fetchsupport::isBlobType;
using fetchsupport::Strings;
using TestFetchField = fetchsupport::ColumnFetchField;

/// A query over rows given by the test, with the protected operations the tests drive.
class TestQuery : public fetchsupport::RowsQuery {
public:
    using RowsQuery::RowsQuery;
    int execCount = 0;

    // Protected operations the tests drive directly.
    using TDataSet::ActiveBuffer;
    using TDataSet::BufferedRecordCount;
    using TDataSet::RestoreState;
    using TDataSet::SetTempState;
    using TSybDataSet::_InternalCompareRecords;
    using TSybDataSet::BuildFieldList;
    using TSybDataSet::FilterRecord;
    using TSybDataSet::GetRecord;
    using TSybDataSet::InternalInitRecord;
    using TSybDataSet::recordId;
    using TSybQuery::AllocRecordBuffer;
    using TSybQuery::FreeRecordBuffer;
    using TSybQuery::GetBookmarkData;
    using TSybQuery::GetRecordSize;
    using TSybQuery::InternalGotoBookmark;
    void SetCurRec(int value) { FCurRec = value; }
    [[nodiscard]] TBTCompareOptions LocateOptions() const { return FLocateOptions; }
    [[nodiscard]] char* Slot(int record, TField* field) {
        return GetFieldPointer(StoredRecord(record), field);
    }
    [[nodiscard]] std::size_t StoreFootprint() const { return FStore.Footprint(); }

    /// Text of a blob column in a stored record ("<null>" when the flag is 0).
    std::string StoredBlob(int record, TField* field) {
        char* slot = Slot(record, field);
        if (!slot[0])
            return "<null>";
        TBTBlob* blob;
        std::memcpy(&blob, slot + 1, sizeof blob);
        return blob ? blob->Value() : std::string("<no holder>");
    }

protected:
    void InternalExec() override {
        ++execCount;
        RowsQuery::InternalExec();
    }
};

/// A persistent field of type F named `name` (of `size` when given) added to the dataset,
/// which owns it.
template <class F> F* addField(TDataSet& dataSet, const char* name, int size = 0) {
    auto* field = new F(&dataSet);
    field->SetFieldName(name);
    if (size != 0)
        field->SetSize(size);
    field->SetDataSet(&dataSet);
    return field;
}

/// A calculated field of type F named `name` added to the dataset, which owns it.
template <class F> F* addCalculatedField(TDataSet& dataSet, const char* name) {
    auto* field = new F(&dataSet);
    field->SetFieldName(name);
    field->SetFieldKind(fkCalculated);
    field->SetDataSet(&dataSet);
    return field;
}

} // namespace dstest

// Test support for the in-memory dataset: a column descriptor that describes a column by
// hand, and a query whose "execution" stores rows given by the test (through
// AllocRecordBuffer, AddRecord, InternalInitRecord and PopulateField, as a fetch does).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "dataset/SybDataSet.h"
#include "host/DataSource.h"
#include "host/Exceptions.h"
#include "host/Variant.h"
#include "query/SybQuery.h"

namespace dstest {

using namespace host;
using namespace tovrin;

struct Column {
    std::string name;
    TFieldType type;
    int size = 0;
};

class TestFetchField : public TBTFetchField {
public:
    TestFetchField(TSybDataSet* dataSet, Column column) : TBTFetchField(dataSet), m_column(std::move(column)) {}
    TFieldType GetOstrelDataType() override { return m_column.type; }
    int GetOstrelLength() override { return GetFieldSize(m_column.type, m_column.size); }
    std::string GetName() override { return m_column.name; }

private:
    Column m_column;
};

inline bool isBlobType(TFieldType t) { return t >= ftBlob && t <= ftTypedBinary; }

/// A query over rows given by the test. Blob columns take their value as text (Null for
/// none); every other column goes through PopulateField.
class TestQuery : public TSybQuery {
public:
    explicit TestQuery(TComponent* owner, std::vector<Column> columns = {})
        : TSybQuery(owner), m_columns(std::move(columns)) {}
    ~TestQuery() override { Close(); }

    void AddRow(std::vector<Variant> row) { m_rows.push_back(std::move(row)); }
    void SetColumns(std::vector<Column> columns) { m_columns = std::move(columns); }
    int execCount = 0;

    // Protected operations the tests drive directly.
    using TSybDataSet::_InternalCompareRecords;
    using TSybDataSet::BuildFieldList;
    using TSybDataSet::FilterRecord;
    using TSybDataSet::GetRecord;
    using TSybDataSet::InternalInitRecord;
    using TSybDataSet::recordNumber;
    using TSybQuery::AllocRecordBuffer;
    using TSybQuery::FreeRecordBuffer;
    using TSybQuery::GetBookmarkData;
    using TSybQuery::GetRecordSize;
    using TSybQuery::InternalGotoBookmark;
    using TDataSet::ActiveBuffer;
    using TDataSet::SetTempState;
    using TDataSet::RestoreState;
    using TDataSet::BufferedRecordCount;
    void SetCurRec(int value) { FCurRec = value; }
    [[nodiscard]] TBTCompareOptions LocateOptions() const { return FLocateOptions; }
    [[nodiscard]] char* Slot(int record, TField* field) { return GetFieldPointer(StoredRecord(record), field); }
    [[nodiscard]] std::size_t StoreFootprint() const { return FStore.Footprint(); }

    /// Text of a blob column in a stored record ("<null>" when the flag is 0).
    std::string StoredBlob(int record, TField* field)
    {
        char* slot = Slot(record, field);
        if (!slot[0]) return "<null>";
        TBTBlob* blob;
        std::memcpy(&blob, slot + 1, sizeof blob);
        return blob ? blob->Value() : std::string("<no holder>");
    }

protected:
    void InternalExec() override
    {
        ++execCount;
        describe();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        for (const Column& c : m_columns) new TestFetchField(this, c);
        FCursorOpen = true;
        CreateBuffer();
        for (const auto& row : m_rows) {
            TRecordBuffer buffer = AllocRecordBuffer();
            AddRecord(buffer);
            InternalInitRecord(buffer);
            for (std::size_t i = 0; i < m_columns.size() && i < row.size(); ++i) {
                TField* field = Fields().FieldByNumber(static_cast<int>(i) + 1);
                if (!field) continue;
                if (isBlobType(m_columns[i].type)) {
                    if (row[i].IsNull()) continue;
                    auto* blob = new TBTBlob();
                    blob->SetValue(row[i].AsString());
                    char* slot = GetFieldPointer(buffer, field);
                    std::memcpy(slot + 1, &blob, sizeof blob);
                    slot[0] = blob->Size() > 0 ? 1 : 0;
                } else {
                    PopulateField(buffer, field, row[i]);
                }
            }
        }
    }
    void FetchResultSet() override {}
    void InternalInitFieldDefs() override { describe(); }

private:
    void describe()
    {
        FieldDefs().Clear();
        for (const Column& c : m_columns) FieldDefs().Add(c.name, c.type, c.size);
    }
    std::vector<Column> m_columns;
    std::vector<std::vector<Variant>> m_rows;
};

/// Values of one field over the whole dataset, in cursor order, as text.
inline std::vector<std::string> column(TDataSet& ds, const std::string& name)
{
    std::vector<std::string> out;
    ds.First();
    while (!ds.Eof()) {
        TField* f = ds.FieldByName(name);
        out.push_back(f->IsNull() ? std::string("null") : f->AsString());
        ds.Next();
    }
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace dstest

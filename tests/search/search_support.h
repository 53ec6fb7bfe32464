// Test support for searching: a query whose "execution" stores rows given by the test (as
// the row fetch does: AllocStoredRecord, AddRecord, PopulateField), and a data link that
// records what a data-aware control or a detail would be told.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dataset/SybDataSet.h"
#include "host/DataSource.h"
#include "host/Exceptions.h"
#include "host/Variant.h"
#include "query/SybQuery.h"

namespace searchtest {

using namespace host;
using namespace tovrin;

struct Column {
    std::string name;
    TFieldType type;
    int size = 0;
};

class RowField : public TBTFetchField {
public:
    RowField(TSybDataSet* dataSet, Column column) : TBTFetchField(dataSet), m_column(std::move(column)) {}
    TFieldType GetOstrelDataType() override { return m_column.type; }
    int GetOstrelLength() override { return GetFieldSize(m_column.type, m_column.size); }
    std::string GetName() override { return m_column.name; }

private:
    Column m_column;
};

/// A query over rows given by the test.
class RowQuery : public TSybQuery {
public:
    explicit RowQuery(TComponent* owner, std::vector<Column> columns = {})
        : TSybQuery(owner), m_columns(std::move(columns)) {}
    ~RowQuery() override { Close(); }

    void AddRow(std::vector<Variant> row) { m_rows.push_back(std::move(row)); }
    void ClearRows() { m_rows.clear(); }

    using TDataSet::DataEvent;
    using TDataSet::SetState;
    using TSybDataSet::CurRec;

protected:
    void InternalExec() override
    {
        FieldDefs().Clear();
        for (const Column& c : m_columns) FieldDefs().Add(c.name, c.type, c.size);
        if (DefaultFields()) CreateFields();
        BindFields(true);
        for (const Column& c : m_columns) new RowField(this, c);
        FCursorOpen = true;
        CreateBuffer();
        for (const auto& row : m_rows) {
            TRecordBuffer buffer = AllocStoredRecord();
            InternalInitRecord(buffer);
            AddRecord(buffer);
            for (std::size_t i = 0; i < m_columns.size() && i < row.size(); ++i)
                if (TField* field = Fields().FieldByNumber(static_cast<int>(i) + 1)) PopulateField(buffer, field, row[i]);
        }
    }
    void FetchResultSet() override {}
    void InternalInitFieldDefs() override
    {
        FieldDefs().Clear();
        for (const Column& c : m_columns) FieldDefs().Add(c.name, c.type, c.size);
    }

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<Variant>> m_rows;
};

/// Counts what a link hears: whole-record changes (data-set changes and scrolls reach
/// RecordChanged with no field) and the rest by name.
class CountingLink : public TDataLink {
public:
    int recordChanges = 0;
    std::vector<std::string> events;
    void reset()
    {
        recordChanges = 0;
        events.clear();
    }

protected:
    void RecordChanged(TField* f) override
    {
        if (!f) ++recordChanges;
        events.push_back(f ? "field" : "record");
    }
};

/// The message of the exception Action raises ("" when it raises none).
inline std::string errorOf(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const host::Exception& e) {
        return e.Message();
    }
    return {};
}

/// Values of one field over the whole dataset, in cursor order, as text.
inline std::vector<std::string> column(TDataSet& ds, const std::string& name)
{
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        TField* f = ds.FieldByName(name);
        out.push_back(f->IsNull() ? std::string("null") : f->AsString());
    }
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace searchtest

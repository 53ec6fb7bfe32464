// Records without a server, for the dataset tests, the search tests and the dataset
// benchmarks: columns described by hand, the column descriptor (a TBTFetchField) that
// reports such a column, a query that opens over those columns the way a fetch does
// (field definitions, fields, one fetch field per column, buffers) and leaves the rows to
// its subclass, and a query that stores rows of values given by the caller.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/Variant.h"
#include "tovrin5/query/SybQuery.h"

namespace host = tovrin::host;

namespace fetchsupport {

/// A column as a row result would describe it.
struct Column {
    std::string name;
    host::TFieldType type = host::ftUnknown;
    int size = 0; ///< characters or bytes for strings and binary columns
};

/// Reports a Column as the fetch's column descriptor does (type, slot length, name).
class ColumnFetchField final : public tovrin::TBTFetchField {
public:
    ColumnFetchField(tovrin::TSybDataSet* dataSet, Column column)
        : tovrin::TBTFetchField(dataSet), m_column(std::move(column)) {}
    host::TFieldType GetOstrelDataType() override { return m_column.type; }
    int GetOstrelLength() override { return tovrin::GetFieldSize(m_column.type, m_column.size); }
    std::string GetName() override { return m_column.name; }

private:
    Column m_column;
};

/// A query over columns described by hand. OpenColumns does what the fetch does before
/// the first row; the subclass's InternalExec then stores the rows.
class ColumnQuery : public tovrin::TSybQuery {
public:
    explicit ColumnQuery(host::TComponent* owner, std::vector<Column> columns = {})
        : tovrin::TSybQuery(owner), m_columns(std::move(columns)) {}
    ~ColumnQuery() override { Close(); }

    void SetColumns(std::vector<Column> columns) { m_columns = std::move(columns); }
    [[nodiscard]] const std::vector<Column>& Columns() const noexcept { return m_columns; }

protected:
    /// Field definitions and fields for the columns, one fetch field per column, the
    /// cursor open and the record layout and buffers made.
    void OpenColumns() {
        DescribeColumns();
        if (DefaultFields())
            CreateFields();
        BindFields(true);
        for (const Column& c : m_columns)
            new ColumnFetchField(this, c);
        FCursorOpen = true;
        CreateBuffer();
    }
    void DescribeColumns() {
        FieldDefs().Clear();
        for (const Column& c : m_columns)
            FieldDefs().Add(c.name, c.type, c.size);
    }
    void FetchResultSet() override {}
    void InternalInitFieldDefs() override { DescribeColumns(); }

private:
    std::vector<Column> m_columns;
};

inline bool isBlobType(host::TFieldType t) {
    return t >= host::ftBlob && t <= host::ftTypedBinary;
}

/// A query over rows of values given by the caller, stored as the fetch stores them
/// (AllocStoredRecord, AddRecord, InternalInitRecord, then the values). Blob columns take
/// their value as text in a holder of their own (Null or an empty text: no value); every
/// other column goes through PopulateField.
class RowsQuery : public ColumnQuery {
public:
    using ColumnQuery::ColumnQuery;

    void AddRow(std::vector<host::Variant> row) { m_rows.push_back(std::move(row)); }
    void ClearRows() { m_rows.clear(); }

protected:
    void InternalExec() override {
        OpenColumns();
        const std::vector<Column>& columns = Columns();
        for (const auto& row : m_rows) {
            host::TRecordBuffer buffer = AllocStoredRecord();
            AddRecord(buffer);
            InternalInitRecord(buffer);
            for (std::size_t i = 0; i < columns.size() && i < row.size(); ++i) {
                host::TField* field = Fields().FieldByNumber(static_cast<int>(i) + 1);
                if (!field)
                    continue;
                if (isBlobType(columns[i].type)) {
                    if (row[i].IsNull())
                        continue;
                    auto* blob = new tovrin::TBTBlob();
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

private:
    std::vector<std::vector<host::Variant>> m_rows;
};

using Strings = std::vector<std::string>;

/// Values of one field over the whole dataset, in cursor order, as text ("null" for
/// NULL).
inline Strings column(host::TDataSet& ds, const std::string& name) {
    Strings out;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        host::TField* f = ds.FieldByName(name);
        out.push_back(f->IsNull() ? std::string("null") : f->AsString());
    }
    return out;
}

} // namespace fetchsupport

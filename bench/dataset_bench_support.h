// A query over generated rows for the dataset benchmarks: the rows are stored the way a
// fetch stores them (AllocRecordBuffer, AddRecord, InternalInitRecord, field values).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dataset/SybDataSet.h"
#include "query/SybQuery.h"

namespace dsbench {

using namespace host;
using namespace tovrin;

struct Column {
    std::string name;
    TFieldType type;
    int size = 0;
};

class BenchFetchField : public TBTFetchField {
public:
    BenchFetchField(TSybDataSet* dataSet, Column column) : TBTFetchField(dataSet), m_column(std::move(column)) {}
    TFieldType GetOstrelDataType() override { return m_column.type; }
    int GetOstrelLength() override { return GetFieldSize(m_column.type, m_column.size); }
    std::string GetName() override { return m_column.name; }

private:
    Column m_column;
};

/// Row i's values are written by the filler straight into the slots (value areas).
using Filler = std::function<void(int row, int column, char* value, char& flag)>;

class BenchQuery final : public TSybQuery {
public:
    BenchQuery(std::vector<Column> columns, int rows, Filler filler)
        : TSybQuery(nullptr), m_columns(std::move(columns)), m_rows(rows), m_filler(std::move(filler)) {}
    ~BenchQuery() override { Close(); }

    [[nodiscard]] char* Slot(char* record, int column) const
    {
        return record + FFieldOffsets[static_cast<std::size_t>(column) + 1];
    }

protected:
    void InternalExec() override
    {
        describe();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        for (const Column& c : m_columns) new BenchFetchField(this, c);
        FCursorOpen = true;
        CreateBuffer();
        FRecords.reserve(static_cast<std::size_t>(m_rows));
        for (int r = 0; r < m_rows; ++r) {
            TRecordBuffer buffer = AllocRecordBuffer();
            AddRecord(buffer);
            InternalInitRecord(buffer);
            for (std::size_t c = 0; c < m_columns.size(); ++c) {
                char* slot = Slot(buffer, static_cast<int>(c));
                m_filler(r, static_cast<int>(c), slot + 1, slot[0]);
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
    int m_rows;
    Filler m_filler;
};

/// A deterministic pseudo-random sequence (xorshift).
inline uint32_t mix(uint32_t x)
{
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

}  // namespace dsbench

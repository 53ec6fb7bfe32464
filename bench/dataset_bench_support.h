// A query over generated rows for the dataset benchmarks, built on the shared
// records-without-a-server support (tests/support/FetchFieldSupport.h): it opens over
// its columns as a fetch does and stores the rows the way a fetch stores them
// (AllocRecordBuffer, AddRecord, InternalInitRecord, field values).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/query/SybQuery.h"
#include "tests/support/FetchFieldSupport.h"

namespace dsbench {

using namespace tovrin::host;
using namespace tovrin;

using fetchsupport::Column;

/// Row i's values are written by the filler straight into the slots (value areas).
using Filler = std::function<void(int row, int column, char* value, char& flag)>;

class BenchQuery final : public fetchsupport::ColumnQuery {
public:
    BenchQuery(std::vector<Column> columns, int rows, Filler filler)
        : ColumnQuery(nullptr, std::move(columns)), m_rows(rows), m_filler(std::move(filler)) {}

    [[nodiscard]] char* Slot(char* record, int column) const {
        return record + FFieldOffsets[static_cast<std::size_t>(column) + 1];
    }

protected:
    void InternalExec() override {
        OpenColumns();
        const auto columns = static_cast<int>(Columns().size());
        FRecords.reserve(static_cast<std::size_t>(m_rows));
        for (int r = 0; r < m_rows; ++r) {
            TRecordBuffer buffer = AllocRecordBuffer();
            AddRecord(buffer);
            InternalInitRecord(buffer);
            for (int c = 0; c < columns; ++c) {
                char* slot = Slot(buffer, c);
                m_filler(r, c, slot + 1, slot[0]);
            }
        }
    }

private:
    int m_rows;
    Filler m_filler;
};

/// A deterministic pseudo-random sequence (xorshift).
inline uint32_t mix(uint32_t x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

} // namespace dsbench

// TDataSetModel over a result of 1,000,000 rows: the cost of one cell read at random (almost
// every read misses the row cache and moves the cursor there and back), the cost per cell
// of reading every cell from top to bottom as a scrolling view does, and the memory the
// model adds to the dataset (its row cache and bookkeeping; the dataset's own records are
// reported beside it).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QModelIndex>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/qt/DataSetModel.h"
#include "tests/support/FetchFieldSupport.h"

namespace host = tovrin::host;

namespace {

constexpr int kRows = 1000000;

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

struct Result {
    std::unique_ptr<fetchsupport::RowsQuery> dataSet;
    std::size_t datasetBytes = 0;
};

/// id, a name, a price (NULL every tenth row), a date: made once for the program.
Result& million() {
    static Result result = [] {
        Result r;
        const std::size_t before = heapInUse();
        r.dataSet = std::make_unique<fetchsupport::RowsQuery>(
            nullptr, std::vector<fetchsupport::Column>{{"id", host::ftInteger, 0},
                                                       {"name", host::ftString, 24},
                                                       {"price", host::ftFloat, 0},
                                                       {"sold", host::ftDateTime, 0}});
        for (int i = 0; i < kRows; ++i) {
            r.dataSet->AddRow({i, "customer " + std::to_string(i),
                               i % 10 == 0 ? host::Null() : host::Variant(i * 0.25),
                               host::Variant(host::EncodeDate(2000, 1, 1) + i % 9000)});
        }
        r.dataSet->Open();
        r.dataSet->ClearRows();
        r.datasetBytes = heapInUse() - before;
        return r;
    }();
    return result;
}

void BM_RandomCellAccess(benchmark::State& state) {
    Result& result = million();
    tovrin::qt::TDataSetModel model(result.dataSet.get());
    std::mt19937 random(11);
    std::uniform_int_distribution<int> anyRow(0, kRows - 1);
    std::uniform_int_distribution<int> anyColumn(0, model.columnCount() - 1);
    std::int64_t cells = 0;
    for (auto _ : state) {
        const QModelIndex cell = model.index(anyRow(random), anyColumn(random));
        benchmark::DoNotOptimize(model.data(cell));
        ++cells;
    }
    state.counters["per_cell"] = benchmark::Counter(
        static_cast<double>(cells), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RandomCellAccess)->Unit(benchmark::kMicrosecond);

void BM_ScrollTopToBottom(benchmark::State& state) {
    Result& result = million();
    std::size_t modelBytes = 0;
    std::size_t cacheBytes = 0;
    std::int64_t cells = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        tovrin::qt::TDataSetModel model(result.dataSet.get());
        const int columns = model.columnCount();
        for (int row = 0; row < kRows; ++row) {
            for (int column = 0; column < columns; ++column)
                benchmark::DoNotOptimize(model.data(model.index(row, column)));
        }
        cells += static_cast<std::int64_t>(kRows) * columns;
        modelBytes = heapInUse() - before;
        cacheBytes = model.cacheBytes();
    }
    state.counters["per_cell"] = benchmark::Counter(
        static_cast<double>(cells), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["model_MB"] = static_cast<double>(modelBytes) / 1e6;
    state.counters["cache_MB"] = static_cast<double>(cacheBytes) / 1e6;
    state.counters["dataset_MB"] = static_cast<double>(result.datasetBytes) / 1e6;
}
BENCHMARK(BM_ScrollTopToBottom)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

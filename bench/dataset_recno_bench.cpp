// Walking 100,000 shown records and reading RecNo at each, under a filter and without
// one. Under the filter the dataset holds 200,000 records and shows every other one, so
// both walks visit 100,000 records; the filtered walk also tests each stored record with
// the filter as it steps. The goal: the filtered walk under twice the unfiltered one.
#include <benchmark/benchmark.h>

#include "bench/dataset_bench_support.h"

namespace {

using namespace dsbench;

constexpr int kShown = 100000;

void fill(int row, int /*column*/, char* value, char& flag) {
    flag = 1;
    const int32_t v = row;
    std::memcpy(value, &v, sizeof v);
}

std::vector<Column> columns() {
    return {{"ID", ftInteger}};
}

void walkReadingRecNo(benchmark::State& state, BenchQuery& q) {
    int64_t sum = 0;
    std::size_t steps = 0;
    for (auto _ : state) {
        for (q.First(); !q.Eof(); q.Next()) {
            sum += q.RecNo();
            ++steps;
        }
    }
    benchmark::DoNotOptimize(sum);
    if (steps != static_cast<std::size_t>(kShown) * state.iterations())
        state.SkipWithError("the walk did not visit every shown record");
    state.SetItemsProcessed(static_cast<int64_t>(steps));
}

void BM_RecNoWalkUnfiltered(benchmark::State& state) {
    BenchQuery q(columns(), kShown, fill);
    q.Open();
    walkReadingRecNo(state, q);
}

void BM_RecNoWalkFilteredHandler(benchmark::State& state) {
    BenchQuery q(columns(), 2 * kShown, fill);
    TField* id = nullptr;
    q.SetOnFilterRecord([&id](TDataSet*, bool& accept) { accept = id->AsInteger() % 2 == 0; });
    q.SetFiltered(true);
    q.Open();
    id = q.FieldByName("ID");
    walkReadingRecNo(state, q);
}

void BM_RecNoWalkFilteredExpression(benchmark::State& state) {
    // Every record shows: the filter's cost without the skipped records.
    BenchQuery q(columns(), kShown, fill);
    q.SetFilter("ID >= 0");
    q.SetFiltered(true);
    q.Open();
    walkReadingRecNo(state, q);
}

} // namespace

BENCHMARK(BM_RecNoWalkUnfiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecNoWalkFilteredHandler)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecNoWalkFilteredExpression)->Unit(benchmark::kMillisecond);

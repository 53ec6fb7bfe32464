// Walking 100,000 shown records and reading RecNo at each, under a filter and without
// one. The handler's filter shows every other one of 200,000 records, so that walk tests
// twice as many records as it shows (the walk without RecNo beside it tells what the
// stepping itself costs); the expression's filter shows all of 100,000. The goal: a
// filtered walk under twice the unfiltered one.
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

void walk(benchmark::State& state, BenchQuery& q, bool ReadRecNo) {
    int64_t sum = 0;
    std::size_t steps = 0;
    for (auto _ : state) {
        for (q.First(); !q.Eof(); q.Next()) {
            sum += ReadRecNo ? q.RecNo() : 1;
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
    walk(state, q, true);
}

// Twice the records, every other one shown by a handler; with ReadRecNo off, what the
// filtered walk itself costs.
void filteredByHandler(benchmark::State& state, bool ReadRecNo) {
    BenchQuery q(columns(), 2 * kShown, fill);
    TField* id = nullptr; // found at the first test (the open reads the first records)
    int64_t tests = 0;
    q.SetOnFilterRecord([&id, &tests](TDataSet* ds, bool& accept) {
        ++tests;
        if (!id)
            id = ds->FieldByName("ID");
        accept = id->AsInteger() % 2 == 0;
    });
    q.SetFiltered(true);
    q.Open();
    tests = 0;
    walk(state, q, ReadRecNo);
    // Two per shown record are the walk's own; more would mean RecNo tests records.
    state.counters["tests_per_shown"] =
        static_cast<double>(tests) / (static_cast<double>(kShown) * state.iterations());
}

void BM_RecNoWalkFilteredHandler(benchmark::State& state) {
    filteredByHandler(state, true);
}

void BM_WalkFilteredHandlerWithoutRecNo(benchmark::State& state) {
    filteredByHandler(state, false);
}

void BM_RecNoWalkFilteredExpression(benchmark::State& state) {
    // Every record shows: the filter's cost without the skipped records.
    BenchQuery q(columns(), kShown, fill);
    q.SetFilter("ID >= 0");
    q.SetFiltered(true);
    q.Open();
    walk(state, q, true);
}

} // namespace

BENCHMARK(BM_RecNoWalkUnfiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecNoWalkFilteredHandler)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkFilteredHandlerWithoutRecNo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecNoWalkFilteredExpression)->Unit(benchmark::kMillisecond);

// Locate on 1,000,000 records sorted on the key: searching by halving (DoBinaryLocate with
// the records declared sorted) against the sequential scan, with the key at the start, in
// the middle, at the end and missing, for an integer key and a text key. The halving
// search should take microseconds wherever the key lies; the scan grows with the position.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/dataset_bench_support.h"

namespace {

using namespace dsbench;

constexpr int kRows = 1000000;

std::string nameOf(int row) {
    char text[16];
    std::snprintf(text, sizeof text, "name%07d", row);
    return text;
}

// One dataset for all cases: ID = row, Name = "name" and the row in seven digits, sorted
// on ID and on Name alike.
BenchQuery& dataset() {
    static std::unique_ptr<BenchQuery> q = [] {
        auto d = std::make_unique<BenchQuery>(
            std::vector<Column>{{"ID", ftInteger}, {"Name", ftString, 20}}, kRows,
            [](int row, int column, char* value, char& flag) {
                flag = 1;
                if (column == 0) {
                    const int32_t v = row;
                    std::memcpy(value, &v, sizeof v);
                } else {
                    const std::string text = nameOf(row);
                    std::memcpy(value, text.c_str(), text.size() + 1);
                }
            });
        d->Open();
        return d;
    }();
    return *q;
}

enum Where { kStart, kMiddle, kEnd, kMiss };

void locate(benchmark::State& state, bool binary, bool text) {
    BenchQuery& q = dataset();
    const auto where = static_cast<Where>(state.range(0));
    // Sorting a million texts takes seconds: only when the order changes.
    if (q.SortedFieldNames() != (text ? "Name" : "ID") || !q.ListSorted())
        q.SortOn(text ? "Name" : "ID", {});
    q.SetSorted(true);
    q.SetDoBinaryLocate(binary);
    const int row = where == kStart    ? 0
                    : where == kMiddle ? kRows / 2
                    : where == kEnd    ? kRows - 1
                                       : -1;
    const Variant key =
        text ? Variant(row < 0 ? std::string("name-missing") : nameOf(row)) : Variant(row);
    const std::string field = text ? "Name" : "ID";
    for (auto _ : state) {
        const bool found = q.Locate(field, key, {});
        if (found != (row >= 0)) {
            state.SkipWithError("wrong result");
            return;
        }
    }
    state.SetLabel(where == kStart    ? "start"
                   : where == kMiddle ? "middle"
                   : where == kEnd    ? "end"
                                      : "miss");
}

void BM_LocateBinaryInteger(benchmark::State& state) {
    locate(state, true, false);
}
void BM_LocateSequentialInteger(benchmark::State& state) {
    locate(state, false, false);
}
void BM_LocateBinaryText(benchmark::State& state) {
    locate(state, true, true);
}
void BM_LocateSequentialText(benchmark::State& state) {
    locate(state, false, true);
}

BENCHMARK(BM_LocateBinaryInteger)->DenseRange(kStart, kMiss)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateSequentialInteger)->DenseRange(kStart, kMiss)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateBinaryText)->DenseRange(kStart, kMiss)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateSequentialText)->DenseRange(kStart, kMiss)->Unit(benchmark::kMicrosecond);

} // namespace

// Next through 1,000,000 stored records of a query, with the heap allocations per step
// counted (the goal is none), and the bytes a stored record takes against the record
// size of the layout, allocator overhead included, for (int, varchar(20), money,
// datetime) records.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <new>

#include "bench/dataset_bench_support.h"
#include "bench/counting_allocator.h"

namespace {

using namespace dsbench;

constexpr int kRows = 1000000;

void fill(int row, int column, char* value, char& flag) {
    flag = 1;
    switch (column) {
    case 0: {
        int32_t v = row;
        std::memcpy(value, &v, 4);
        break;
    }
    case 1: {
        std::string s = "name " + std::to_string(row);
        std::memcpy(value, s.c_str(), s.size() + 1);
        break;
    }
    case 2: {
        double v = row * 0.25;
        std::memcpy(value, &v, 8);
        break;
    }
    default: {
        double ms = 63000000000000.0 + row * 1000.0;
        std::memcpy(value, &ms, 8);
        break;
    }
    }
}

std::vector<Column> columns() {
    return {{"ID", ftInteger}, {"NAME", ftString, 20}, {"PRICE", ftFloat}, {"WHEN", ftDateTime}};
}

void BM_NextThroughMillion(benchmark::State& state) {
    BenchQuery q(columns(), kRows, fill);
    q.Open();
    TField* id = q.FieldByName("ID");
    std::size_t steps = 0;
    std::size_t allocations = 0;
    int64_t sum = 0;
    for (auto _ : state) {
        q.First();
        const std::size_t before = g_allocations;
        while (!q.Eof()) {
            sum += id->AsInteger();
            q.Next();
            ++steps;
        }
        allocations += g_allocations - before;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(static_cast<int64_t>(steps));
    state.counters["allocs_per_step"] =
        static_cast<double>(allocations) / static_cast<double>(steps);
}

void BM_MemoryPerRecord(benchmark::State& state) {
    double perRecord = 0;
    int recordSize = 0;
    for (auto _ : state) {
        struct mallinfo2 before = mallinfo2();
        auto* q = new BenchQuery(columns(), kRows, fill);
        q->Open();
        struct mallinfo2 after = mallinfo2();
        recordSize = q->RecordSize();
        const double bytes = static_cast<double>((after.uordblks + after.hblkhd) -
                                                 (before.uordblks + before.hblkhd));
        perRecord = bytes / kRows;
        delete q;
    }
    state.counters["record_size"] = recordSize;
    state.counters["bytes_per_record"] = perRecord;
    state.counters["overhead_per_record"] = perRecord - recordSize;
}

BENCHMARK(BM_NextThroughMillion)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

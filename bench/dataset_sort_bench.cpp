// Sorting 1,000,000 stored records on an integer field and on a 20-character text field
// (case-sensitive and case-insensitive), each measured against std::sort over the same
// records with a direct comparison of the same keys, in the same run. Counters: the
// std::sort time and the ratio (dataset sort / std::sort).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string_view>

#include "bench/dataset_bench_support.h"
#include "tovrin5/host/Collation.h"

namespace host = tovrin::host;

namespace {

using namespace dsbench;

constexpr int kRows = 1000000;

// Columns: Shuf (integer, scrambles the order between runs), Key (integer), Name (text).
BenchQuery& data() {
    static BenchQuery* q = [] {
        auto* query =
            new BenchQuery({{"Shuf", ftInteger}, {"Key", ftInteger}, {"Name", ftString, 20}}, kRows,
                           [](int row, int column, char* value, char& flag) {
                               flag = 1;
                               uint32_t h = mix(static_cast<uint32_t>(row) * 2654435761u + 12345u);
                               if (column == 0) {
                                   int32_t v = static_cast<int32_t>(mix(h ^ 0x9E3779B9u));
                                   std::memcpy(value, &v, 4);
                               } else if (column == 1) {
                                   int32_t v = static_cast<int32_t>(h);
                                   std::memcpy(value, &v, 4);
                               } else {
                                   // 20 letters, mixed case, from the row's hash.
                                   uint32_t x = h;
                                   for (int i = 0; i < 20; ++i) {
                                       x = mix(x + static_cast<uint32_t>(i));
                                       char c = static_cast<char>('a' + x % 26);
                                       value[i] = (x >> 8) & 1 ? static_cast<char>(c - 32) : c;
                                   }
                                   value[20] = 0;
                               }
                           });
        query->Open();
        return query;
    }();
    return *q;
}

template <class Less>
void run(benchmark::State& state, const char* field, TBTCompareOptions options, Less less) {
    BenchQuery& q = data();
    double stdSeconds = 0;
    double ourSeconds = 0;
    for (auto _ : state) {
        q.SortOn("Shuf", {});
        std::vector<char*> records;
        records.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            records.push_back(q.StoredRecord(i));

        auto t0 = std::chrono::steady_clock::now();
        q.SortOn(field, options);
        auto t1 = std::chrono::steady_clock::now();
        std::sort(records.begin(), records.end(), less);
        auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(records.data());

        const double ours = std::chrono::duration<double>(t1 - t0).count();
        const double theirs = std::chrono::duration<double>(t2 - t1).count();
        ourSeconds += ours;
        stdSeconds += theirs;
        state.SetIterationTime(ours);
    }
    state.counters["std_sort_ms"] =
        benchmark::Counter(stdSeconds * 1000 / static_cast<double>(state.iterations()));
    state.counters["ratio"] = benchmark::Counter(ourSeconds / stdSeconds);
}

void BM_SortInteger(benchmark::State& state) {
    BenchQuery& q = data();
    run(state, "Key", {}, [&q](char* a, char* b) {
        int32_t x, y;
        std::memcpy(&x, q.Slot(a, 1) + 1, 4);
        std::memcpy(&y, q.Slot(b, 1) + 1, 4);
        return x < y;
    });
}

void BM_SortTextCaseSensitive(benchmark::State& state) {
    BenchQuery& q = data();
    run(state, "Name", {}, [&q](char* a, char* b) {
        return host::AnsiCompareStr(std::string_view(q.Slot(a, 2) + 1),
                                    std::string_view(q.Slot(b, 2) + 1)) < 0;
    });
}

void BM_SortTextCaseInsensitive(benchmark::State& state) {
    BenchQuery& q = data();
    run(state, "Name", {btcoCaseInsensitive}, [&q](char* a, char* b) {
        return host::AnsiCompareTextRu(std::string_view(q.Slot(a, 2) + 1),
                                       std::string_view(q.Slot(b, 2) + 1)) < 0;
    });
}

BENCHMARK(BM_SortInteger)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTextCaseSensitive)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTextCaseInsensitive)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

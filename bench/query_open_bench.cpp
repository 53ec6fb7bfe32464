// Opening a query on a 1,000,000-row result of (int, varchar(20), money, datetime) from the
// development server, beside the floor: a plain C ct_bind/ct_fetch loop over the same
// result in the same run. The times are CPU times of the benchmark thread, so they are
// the client's alone (the server is another process). The query benchmark also reports
// the heap bytes the open query holds per row beside the bytes of the row's values.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "bench/ct_floor.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "support/DevServer.h"

namespace {

using namespace tovrin;

constexpr const char* kUser = "sa";
constexpr const char* kPassword = "bench";
constexpr const char* kRows = "select r.* from bench_rows r, bench_ten a, bench_ten b, bench_ten c";
constexpr long kRowCount = 1000000;

// One server with 1,000 base rows and a ten-row table whose triple cross join with them
// gives the million rows; one connection of the package and one of the floor.
class Environment {
public:
    static Environment& get() {
        static Environment environment;
        return environment;
    }
    TSybConnect& connection() { return *m_connection; }
    ct_floor* floor() { return m_floor; }

private:
    Environment()
        : m_server(std::vector<std::string>{"--user", kUser, "--password", kPassword},
                   "BENCHSERVER") {
        m_connection = std::make_unique<TSybConnect>(nullptr);
        m_connection->SetDatabaseName("BENCH");
        m_connection->SetServerName("BENCHSERVER");
        m_connection->SetUserName(kUser);
        m_connection->SetPassword(kPassword);
        m_connection->Connect();
        std::string sql =
            "create table bench_rows (id int, name varchar(20), amount money, stamp datetime)\n"
            "create table bench_ten (k int)\n";
        for (int k = 0; k < 10; ++k) {
            sql += "insert bench_ten values (" + std::to_string(k) + ")\n";
        }
        for (int k = 0; k < 1000; ++k) {
            const std::string name = std::string("row-") +
                                     std::string(static_cast<std::size_t>(k % 16), 'x') +
                                     std::to_string(k);
            sql += "insert bench_rows values (" + std::to_string(k) + ", '" + name.substr(0, 20) +
                   "', " + std::to_string(k * 37 % 100000) +
                   ".25, '2026-12-07 10:" + std::to_string(10 + k % 50) + ":05.330')\n";
        }
        TSybQuery setup(nullptr);
        setup.SetDatabaseName("BENCH");
        setup.SQL()->SetText(sql);
        setup.ExecSQL();
        m_floor =
            ct_floor_connect("BENCHSERVER", kUser, kPassword, TSybConnect::kDefaultPacketSize);
    }
    ~Environment() { ct_floor_close(m_floor); }

    testsupport::DevServer m_server;
    std::unique_ptr<TSybConnect> m_connection;
    ct_floor* m_floor = nullptr;
};

void BM_CtFloorFetch(benchmark::State& state) {
    Environment& environment = Environment::get();
    long rows = 0;
    long long bytes = 0;
    for (auto _ : state) {
        rows = ct_floor_fetch(environment.floor(), kRows, 0, &bytes);
        if (rows != kRowCount) {
            state.SkipWithError("the floor did not read the million rows");
            return;
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["value_bytes_per_row"] = static_cast<double>(bytes) / static_cast<double>(rows);
}
BENCHMARK(BM_CtFloorFetch)->Unit(benchmark::kMillisecond)->Iterations(3);

// Heap bytes in use: small blocks and the large ones malloc maps on its own.
std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_QueryOpen(benchmark::State& state) {
    Environment::get();
    TSybQuery query(nullptr);
    query.SetDatabaseName("BENCH");
    query.SQL()->SetText(kRows);
    double heapPerRow = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        query.Open();
        state.PauseTiming();
        if (query.RecordCount() != kRowCount) {
            state.SkipWithError("the query did not read the million rows");
            return;
        }
        heapPerRow = static_cast<double>(heapInUse() - before) / kRowCount;
        query.Close();
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(kRowCount);
    state.counters["heap_bytes_per_row"] = heapPerRow;
}
BENCHMARK(BM_QueryOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

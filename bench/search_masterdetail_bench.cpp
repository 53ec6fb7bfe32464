// The cost of one master move in a master-detail pair against the development server: the
// master (20 records in memory) moves one record and its detail query runs again for the
// new key and loads its 10 rows. Wall-clock time, since most of the work is the server's
// and the round trip over loopback; runs_per_move counts the detail's executions.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "support/DevServer.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;

constexpr const char* kUser = "sa";
constexpr const char* kPassword = "bench";

class Environment {
public:
    static Environment& get() {
        static Environment environment;
        return environment;
    }

private:
    Environment()
        : m_server(std::vector<std::string>{"--user", kUser, "--password", kPassword}, "MDSERVER") {
        m_connection = std::make_unique<TSybConnect>(nullptr);
        m_connection->SetDatabaseName("MD");
        m_connection->SetServerName("MDSERVER");
        m_connection->SetUserName(kUser);
        m_connection->SetPassword(kPassword);
        m_connection->Connect();
        std::string sql =
            "create table md_master (pub_id char(4), name varchar(20))\n"
            "create table md_detail (pub_id char(4), n int, title varchar(40), price money)\n";
        for (int p = 0; p < 20; ++p) {
            const std::string pub = "P" + std::to_string(100 + p);
            sql +=
                "insert md_master values ('" + pub + "', 'publisher " + std::to_string(p) + "')\n";
            for (int n = 0; n < 10; ++n)
                sql += "insert md_detail values ('" + pub + "', " + std::to_string(n) +
                       ", 'title " + std::to_string(p * 10 + n) + "', " +
                       std::to_string(n * 3 + 1) + ".5)\n";
        }
        // Rows of other keys, so that the detail's condition has something to skip.
        for (int n = 0; n < 200; ++n)
            sql += "insert md_detail values ('X" + std::to_string(n) + "', " + std::to_string(n) +
                   ", 'other', 1)\n";
        TSybQuery setup(nullptr);
        setup.SetDatabaseName("MD");
        setup.SQL()->SetText(sql);
        setup.ExecSQL();
    }

    testsupport::DevServer m_server;
    std::unique_ptr<TSybConnect> m_connection;
};

void BM_MasterMove(benchmark::State& state) {
    Environment::get();
    TSybQuery master(nullptr);
    master.SetDatabaseName("MD");
    master.SQL()->SetText("select pub_id, name from md_master order by pub_id");
    host::TDataSource source(nullptr);
    source.SetDataSet(&master);
    TSybQuery detail(nullptr);
    detail.SetDatabaseName("MD");
    detail.SQL()->SetText(
        "select n, title, price from md_detail where pub_id = :pub_id order by n");
    detail.SetDataSource(&source);
    long runs = 0;
    detail.SetAfterOpen([&](host::TDataSet*) { ++runs; });
    master.Open();
    detail.Open();
    runs = 0;
    long moves = 0;
    const int last = master.RecordCount();
    for (auto _ : state) {
        if (master.RecNo() == last) {
            state.PauseTiming();
            master.First();
            --runs; // the rewind's own re-run is not a measured move
            state.ResumeTiming();
        }
        master.Next();
        ++moves;
        if (detail.RecordCount() != 10) {
            state.SkipWithError("the detail did not show 10 rows");
            return;
        }
    }
    state.counters["runs_per_move"] =
        moves ? static_cast<double>(runs) / static_cast<double>(moves) : 0;
}
BENCHMARK(BM_MasterMove)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

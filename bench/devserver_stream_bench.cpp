// The development server's cost of streaming a large result: a 1,000,000-row result of
// (int, varchar(20), money, datetime) read by a ct-lib client, with the CPU time the server
// process spent on it (user + system, from /proc) next to the time SQLite alone needs to
// produce the same rows from the same database file in the same run.
//
// Counters: server_cpu_s (the server's CPU per result), sqlite_s (the CPU SQLite needs to step
// through the rows and read every column), server_per_sqlite (their ratio), rows. CPU times
// rather than elapsed ones, so that other work on the machine does not change the figures.
#include <benchmark/benchmark.h>

#include "support/DevServer.h"

#include <ctpublic.h>
#include <sqlite3.h>

#include <ctime>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 1000000;

/// CPU seconds (user + system) the process `pid` has used so far.
double processCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name (which ends with the last ')'): utime is the 12th, stime
    // the 13th of them.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12)
            utime = std::stoull(field);
        if (i == 13)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

/// CPU seconds the calling thread has used so far.
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// A logged-in ct-lib connection.
class Client {
public:
    explicit Client(const std::string& server, CS_INT packetSize = 0) {
        if (cs_ctx_alloc(CS_VERSION_100, &m_context) != CS_SUCCEED ||
            ct_init(m_context, CS_VERSION_100) != CS_SUCCEED ||
            ct_con_alloc(m_context, &m_connection) != CS_SUCCEED)
            throw std::runtime_error("ct-lib set-up failed");
        ct_con_props(m_connection, CS_SET, CS_USERNAME, const_cast<char*>("sa"), CS_NULLTERM,
                     nullptr);
        ct_con_props(m_connection, CS_SET, CS_PASSWORD, const_cast<char*>(""), CS_NULLTERM,
                     nullptr);
        if (packetSize > 0)
            ct_con_props(m_connection, CS_SET, CS_PACKETSIZE, &packetSize, CS_UNUSED, nullptr);
        if (ct_connect(m_connection, const_cast<char*>(server.c_str()), CS_NULLTERM) != CS_SUCCEED)
            throw std::runtime_error("cannot connect to the development server");
    }
    ~Client() {
        ct_close(m_connection, CS_FORCE_CLOSE);
        ct_con_drop(m_connection);
        ct_exit(m_context, CS_FORCE_EXIT);
        cs_ctx_drop(m_context);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    /// Runs `sql`, binds every column of every row result as ct-lib clients do and fetches
    /// all rows; returns the number of rows.
    long run(const std::string& sql) {
        CS_COMMAND* cmd = nullptr;
        ct_cmd_alloc(m_connection, &cmd);
        ct_command(cmd, CS_LANG_CMD, const_cast<char*>(sql.c_str()), CS_NULLTERM, CS_UNUSED);
        if (ct_send(cmd) != CS_SUCCEED)
            throw std::runtime_error("ct_send failed");
        long rows = 0;
        CS_INT type = 0;
        CS_RETCODE rc;
        while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
            if (type == CS_CMD_FAIL)
                throw std::runtime_error("the command failed: " + sql);
            if (type != CS_ROW_RESULT)
                continue;
            CS_INT columns = 0;
            ct_res_info(cmd, CS_NUMDATA, &columns, CS_UNUSED, nullptr);
            std::vector<CS_DATAFMT> formats(static_cast<size_t>(columns));
            std::vector<std::vector<char>> buffers(static_cast<size_t>(columns));
            std::vector<CS_INT> lengths(static_cast<size_t>(columns));
            std::vector<CS_SMALLINT> indicators(static_cast<size_t>(columns));
            for (CS_INT c = 0; c < columns; ++c) {
                CS_DATAFMT& f = formats[static_cast<size_t>(c)];
                ct_describe(cmd, c + 1, &f);
                f.count = 1;
                f.format = CS_FMT_UNUSED;
                buffers[static_cast<size_t>(c)].resize(
                    static_cast<size_t>(std::max<CS_INT>(f.maxlength, 8)) + 1);
                f.maxlength = static_cast<CS_INT>(buffers[static_cast<size_t>(c)].size());
                ct_bind(cmd, c + 1, &f, buffers[static_cast<size_t>(c)].data(),
                        &lengths[static_cast<size_t>(c)], &indicators[static_cast<size_t>(c)]);
            }
            CS_INT fetched = 0;
            while (ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, &fetched) == CS_SUCCEED)
                rows += fetched;
        }
        ct_cmd_drop(cmd);
        return rows;
    }

private:
    CS_CONTEXT* m_context = nullptr;
    CS_CONNECTION* m_connection = nullptr;
};

/// The server with a 1,000,000-row table `big` in a database file, started once.
struct Fixture {
    std::unique_ptr<testsupport::DevServer> server;
    std::string dataDir;

    Fixture() {
        char pattern[] = "/tmp/tovrin-bench-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("no temporary directory");
        dataDir = pattern;
        server =
            std::make_unique<testsupport::DevServer>(std::vector<std::string>{"--data", dataDir});
        Client client(server->serverName());
        // Digits 0..9 crossed six times give the million rows.
        std::string fill = "create database bench\n";
        client.run(fill);
        fill = "use bench\n"
               "create table digits (d int)\n";
        for (int d = 0; d < 10; ++d)
            fill += "insert digits values (" + std::to_string(d) + ")\n";
        fill += "create table big (id int, name varchar(20), amount money, stamp datetime)\n"
                "insert into big select a.d + 10 * b.d + 100 * c.d + 1000 * e.d + 10000 * f.d + "
                "100000 * g.d,"
                " 'customer ' + convert(varchar(10), a.d * 7919 + b.d * 104729 + c.d * 13),"
                " convert(money, (a.d * 1000 + b.d * 100 + c.d * 10 + e.d) / 7.0),"
                " dateadd(second, a.d * 86413 + b.d * 3607 + c.d * 61 + e.d, '2026-01-01')"
                " from digits a, digits b, digits c, digits e, digits f, digits g\n";
        client.run(fill);
    }
    ~Fixture() {
        server.reset();
        std::string command = "rm -rf '" + dataDir + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dataDir.c_str());
    }

    /// CPU seconds SQLite needs to step through `select id, name, amount, stamp from big` in the
    /// server's database file, reading every column as the server does.
    double sqliteAlone() const {
        sqlite3* db = nullptr;
        const std::string path = dataDir + "/bench.db";
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select id, name, amount, stamp from big", -1, &stmt, nullptr);
        const double start = threadCpuSeconds();
        long rows = 0;
        size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 0));
            for (int c = 1; c < 4; ++c) {
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
                bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
            }
            ++rows;
        }
        const double seconds = threadCpuSeconds() - start;
        benchmark::DoNotOptimize(bytes);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        if (rows != kRows)
            throw std::runtime_error("the table holds " + std::to_string(rows) + " rows");
        return seconds;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_MillionRowResult(benchmark::State& state) {
    Fixture& f = fixture();
    f.server->activate();
    Client client(f.server->serverName(), static_cast<CS_INT>(state.range(0)));
    client.run("use bench");
    double serverCpu = 0, sqlite = 0;
    long rows = 0;
    for (auto _ : state) {
        const double before = processCpuSeconds(f.server->pid());
        rows = client.run("select id, name, amount, stamp from big");
        serverCpu += processCpuSeconds(f.server->pid()) - before;
        state.PauseTiming();
        sqlite += f.sqliteAlone();
        state.ResumeTiming();
    }
    if (rows != kRows)
        state.SkipWithError("wrong number of rows");
    const double n = static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["server_cpu_s"] = serverCpu / n;
    state.counters["sqlite_s"] = sqlite / n;
    state.counters["server_per_sqlite"] = sqlite > 0 ? serverCpu / sqlite : 0;
}
// The argument is the packet size the client asks for (512 is FreeTDS's default).
BENCHMARK(BM_MillionRowResult)
    ->Arg(512)
    ->Arg(4096)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

// tovrin-sql run from files and pipes as scripts are: where a run stops, what is a usage
// error before anything runs, isql's own options, a failed write of the results, and the
// headings of the table format.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/DevServer.h"
#include "tool/tool_process.h"

using tooltest::ToolRun;

namespace {

constexpr const char* kPassword = "script-pw";

class ToolScripts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<testsupport::DevServer>(
            std::vector<std::string>{"--user", "sa", "--password", kPassword});
        const ToolRun setup = run({"-Q", "create table script_rows (id int, label varchar(20))\n"
                                         "insert script_rows values (1, 'one')\n"
                                         "insert script_rows values (2, 'two')"});
        ASSERT_EQ(setup.exitCode, 0) << setup.err;
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override { s_server->activate(); }

    static ToolRun run(std::vector<std::string> args, const std::string& input = "") {
        std::vector<std::string> all{"-S", "DEVSERVER", "-U", "sa", "-P", kPassword};
        all.insert(all.end(), args.begin(), args.end());
        return tooltest::runTool(s_server->tempDir(), all, input);
    }
    static std::string path(const std::string& name) { return s_server->tempDir() + "/" + name; }
    static int count(const std::string& table) {
        const ToolRun r = run({"-f", "csv", "-b", "-Q", "select count(*) from " + table});
        return std::stoi(r.out);
    }

    static inline std::unique_ptr<testsupport::DevServer> s_server;
};

} // namespace

TEST_F(ToolScripts, AMissingReadFileStopsAFileOrPipeRunUnlessKeepGoing) {
    const std::string script =
        "select 'before' as b\ngo\n:r " + path("no-such.sql") + "\nselect 'after' as a\ngo\n";
    tooltest::writeFile(path("reads-missing.sql"), script);
    for (const ToolRun& r : {run({"-i", path("reads-missing.sql")}), run({}, script)}) {
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.out.find("before"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("after"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("No such file or directory; the run stops"), std::string::npos)
            << r.err;
    }
    const ToolRun going = run({"--keep-going"}, script);
    EXPECT_EQ(going.exitCode, 1) << going.err;
    EXPECT_NE(going.out.find("after"), std::string::npos) << going.out;
}

TEST_F(ToolScripts, UsageErrorsOfPipedParametersLocateDatesAndSortFields) {
    // Piped, the batches are not known before they run: a --param no batch used is an
    // error at the end.
    ToolRun r = run({"--param", "nope=1"}, "select 1 as one\ngo\n");
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("unknown parameter 'nope'"), std::string::npos) << r.err;
    EXPECT_EQ(run({"--param", "id=2"}, "select label from script_rows where id = :id\ngo\n").out,
              "label\r\ntwo\r\n");

    // A date that is none stops the run before the insert.
    r = run({"--locate", "seen=2026-02-30", "-Q",
             "insert script_rows values (3, 'three')\nselect * from script_rows"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("--locate seen: '2026-02-30' is not a date"), std::string::npos) << r.err;
    EXPECT_EQ(count("script_rows"), 2);

    // A sort on a field no result has shows no rows, unsorted ones would pass for sorted.
    r = run({"--sort", "nosuch", "-Q", "select * from script_rows"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "") << r.out;
    EXPECT_NE(r.err.find("--sort: no result has the field(s) nosuch"), std::string::npos) << r.err;
}

TEST_F(ToolScripts, IsqlCommandLinesRunWithTheirClassicMeaning) {
    const std::string sql = "select id, label from script_rows order by id";
    // No headings, a comma between the columns, a width nothing reaches.
    ToolRun r = run({"-b", "-s,", "-w", "999", "-f", "table", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "          1,one\n          2,two\n(2 rows affected)\n\n");

    // A narrow width puts the columns that do not fit on the next line, headings too.
    r = run({"-w", "15", "-f", "table", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "id\nlabel\n-----------\n--------------------\n          1\none\n"
                     "          2\ntwo\n(2 rows affected)\n\n");

    // Another word ends the batches; -m hides the messages below the severity.
    r = run({"-c", "run", "-m", "11", "-f", "csv"},
            "print 'hidden note'\nselect 1 as a\nrun\nselect 2 as b\nrun\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "a\r\n1\r\n\r\nb\r\n2\r\n");
    EXPECT_EQ(r.err.find("hidden note"), std::string::npos) << r.err;

    // -I names the freetds.conf; the options without a meaning here are accepted.
    r = tooltest::runTool(s_server->tempDir(), {"-I",          s_server->confPath(),
                                                "-S",          "DEVSERVER",
                                                "-U",          "sa",
                                                "-P",          kPassword,
                                                "-X",          "-Y",
                                                "-p",          "-z",
                                                "us_english",  "-a",
                                                "utf8",        "-H",
                                                "somehost",    "-y",
                                                "/opt/sybase", "-t",
                                                "30",          "-l",
                                                "10",          "-n",
                                                "-f",          "csv",
                                                "-Q",          "select 7 as seven"},
                          "", {{"FREETDSCONF", ""}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "seven\r\n7\r\n");
    EXPECT_EQ(run({"-I", path("no-such.conf"), "-Q", "select 1"}).exitCode, 2);
}

TEST_F(ToolScripts, AFullDiskIsReportedAtTheFirstFailedWriteAndTheFetchStops) {
    // Thousands of rows, then a statement that would wait: a fetch that went on after the
    // failed write would wait too.
    const std::string sql = "create table #w (i int)\n"
                            "insert #w select 0 union all select 1 union all select 2 union all "
                            "select 3 union all select 4 union all select 5 union all select 6 "
                            "union all select 7 union all select 8 union all select 9\n"
                            "select a.i, b.i, c.i, d.i from #w a, #w b, #w c, #w d\n"
                            "waitfor delay '00:00:06'";
    for (const char* format : {"csv", "table", "json"}) {
        const auto start = std::chrono::steady_clock::now();
        const ToolRun r = run({"-f", format, "-o", "/dev/full", "-Q", sql});
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.exitCode, 1) << format << "\n" << r.err;
        EXPECT_NE(r.err.find("cannot write the results: No space left on device"),
                  std::string::npos)
            << format << "\n"
            << r.err;
        EXPECT_LT(took, std::chrono::seconds(5)) << format;
    }
}

TEST_F(ToolScripts, TableHeadingsOfUnnamedColumnsAreEmptyAndColumnsAfterTextLineUp) {
    ToolRun r = run({"-f", "table", "-Q", "select 1, 'x' as b"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), std::string(11, ' ') + " | b") << r.out;

    r = run({"-f", "table", "-Q",
             "create table #t (t text, n int)\ninsert #t values ('short', 1)\n"
             "insert #t values ('a much longer text value', 22)\nselect t, n from #t"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out.substr(r.out.find("\nt ") + 1));
    std::string line;
    std::size_t bar = std::string::npos;
    int seen = 0;
    while (std::getline(lines, line) && !line.empty() && line[0] != '(') {
        const std::size_t at = line.find_first_of("|+");
        if (bar == std::string::npos)
            bar = at;
        EXPECT_EQ(at, bar) << r.out;
        ++seen;
    }
    EXPECT_EQ(seen, 4) << r.out;
}

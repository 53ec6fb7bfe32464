// The progress line of a batch, fed by the query's fetch progress: the rows of a result
// still being fetched show before the result is complete, receivers' rows included, and
// the line is erased when the batch ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "BatchRunner.h"
#include "Progress.h"
#include "ResultWriter.h"
#include "tovrin5/query/SybConnect.h"
#include "support/DevServer.h"

namespace {

using namespace tovrin;
using namespace tovrin::sqltool;

std::string readAll(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

TEST(ProgressLine, RowsShowWhileTheirResultIsStillBeingFetched) {
    testsupport::DevServer server({"--user", "sa", "--password", "pw"}, "PROGRESSSERVER");
    TSybConnect connection(nullptr);
    connection.SetServerName("PROGRESSSERVER");
    connection.SetUserName("sa");
    connection.SetPassword("pw");
    connection.Connect();

    std::ostringstream out;
    std::ostringstream notes;
    std::ostringstream errors;
    auto writer = makeCsvWriter(out, notes, false);
    const InMemoryWork work;
    const std::vector<ParamSetting> params;
    {
        Progress none(false);
        BatchRunner runner(connection, *writer, work, params, none, errors);
        std::string fill = "create table #rows (n int)\ninsert #rows values (1)\n";
        for (int k = 0; k < 12; ++k)
            fill += "insert #rows select n from #rows\n"; // 4096 rows in the end
        ASSERT_FALSE(runner.run(fill).failed) << errors.str();
    }
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        // Drawn at every report, so that each one leaves its line in the sink.
        Progress progress(sink,
                          ProgressPace{std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
        BatchRunner runner(connection, *writer, work, params, progress, errors);
        const BatchReport report = runner.run("select n from #rows\nselect n, n as m from #rows");
        ASSERT_FALSE(report.failed) << errors.str();
        EXPECT_EQ(report.rowResults, 2);
    }
    const std::string text = readAll(sink);
    std::fclose(sink);
    // Reported while the first result was still coming (no result whole yet, some of its
    // rows counted), then while the second, a receiver's, was (more than the first's 4096).
    // Which counts show depends on when the timer draws: the fetch never waits for it.
    EXPECT_TRUE(std::regex_search(text, std::regex("0 results, [1-9][0-9]* rows"))) << text;
    EXPECT_TRUE(std::regex_search(
        text, std::regex("1 result, (409[7-9]|4[1-9][0-9]{2}|[5-8][0-9]{3}) rows")))
        << text;
    // Erased at the end.
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
}

TEST(ProgressLine, StepsAsideForOutputThatKeepsComing) {
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        Progress progress(sink, ProgressPace{std::chrono::milliseconds(0), std::chrono::hours(1)});
        progress.start();
        progress.rowsFetched(10); // drawn (or the timer drew first): the pace allows it at once
        progress.clearLine();     // a row is about to be written to the same terminal
        progress.rowsFetched(20); // not drawn again while output keeps coming
        progress.clearLine();
    }
    const std::string text = readAll(sink);
    std::fclose(sink);
    // At most one drawing (of 10 rows, of none when the timer came first, or none at all
    // when the timer held the line as the report came: the fetch never waits), erased
    // before the output; 20 rows never shown.
    EXPECT_EQ(text.find("20 rows"), std::string::npos) << text;
    const auto drawings = std::count(text.begin(), text.end(), '\r');
    EXPECT_TRUE(drawings == 0 || (drawings == 2 && text.rfind("\r\033[K0 results, ", 0) == 0 &&
                                  text.substr(text.size() - 4) == "\r\033[K"))
        << text;
}

} // namespace

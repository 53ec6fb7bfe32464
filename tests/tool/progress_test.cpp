// The progress line of a batch, fed by the query's fetch progress: the rows of a result
// still being fetched show before the result is complete, receivers' rows included, and
// the line is erased when the batch ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>

#include "BatchRunner.h"
#include "Progress.h"
#include "ResultWriter.h"
#include "query/SybConnect.h"
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
    // Reported while the first result was still coming (no result whole yet), then while
    // the second, a receiver's, was.
    EXPECT_NE(text.find("0 results, 1000 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("0 results, 4000 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("1 result, 5096 rows"), std::string::npos) << text;
    EXPECT_NE(text.find("1 result, 8096 rows"), std::string::npos) << text;
    // Erased at the end.
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
}

TEST(ProgressLine, StepsAsideForOutputThatKeepsComing) {
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        Progress progress(sink, ProgressPace{std::chrono::milliseconds(0), std::chrono::hours(1)});
        progress.start();
        progress.rowsFetched(10); // drawn: the pace allows a first drawing at once
        progress.clearLine();     // a row is about to be written to the same terminal
        progress.rowsFetched(20); // not drawn again while output keeps coming
        progress.clearLine();
    }
    const std::string text = readAll(sink);
    std::fclose(sink);
    // One drawing (10 rows), erased before the output; 20 rows never shown.
    EXPECT_EQ(text.rfind("\r\033[K0 results, 10 rows, ", 0), 0u) << text;
    EXPECT_EQ(text.find("20 rows"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 2) << text;
}

} // namespace

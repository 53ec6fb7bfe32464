// tovrin-sql end to end on exact values: decimals and money keep every digit and their
// column's scale in every format, sorting and filtering on them is exact, and -T sets the
// longest text value the server sends.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/DevServer.h"
#include "tool/readers.h"
#include "tool/tool_process.h"

using tooltest::parseCsv;
using tooltest::parseJsonLines;
using tooltest::ToolRun;

namespace {

// One batch: the table lives in the tool's session only.
const std::string kExactRows =
    "create table #x (k int, m money, n numeric(10,2), big numeric(18,0), huge numeric(30,0),"
    " m2 money, r real null)\n"
    "insert #x values (1, 2, 2.5, 1234567890123456, 100000000000000000000, 12345678901234.56, "
    "0.29)\n"
    "insert #x values (2, 922337203685477.5807, -0.01, -1, 123456789012345678901234567891, 0.1234, "
    "1)\n"
    "insert #x values (3, -3, 0, 0, 123456789012345678901234567890, -1.5, null)\n";

// Each column of the rows, as every format must write it.
const std::vector<std::vector<std::string>> kExpected = {
    {"1", "2.00", "2.50", "1234567890123456", "100000000000000000000", "12345678901234.56", "0.29"},
    {"2", "922337203685477.5807", "-0.01", "-1", "123456789012345678901234567891", "0.1234", "1"},
    {"3", "-3.00", "0.00", "0", "123456789012345678901234567890", "-1.50", "NULL"},
};

class ToolExact : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<testsupport::DevServer>(
            std::vector<std::string>{"--user", "sa", "--password", "pw"});
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override { s_server->activate(); }

    static ToolRun run(std::vector<std::string> args) {
        std::vector<std::string> all{"-S", "DEVSERVER", "-U", "sa", "-P", "pw"};
        all.insert(all.end(), args.begin(), args.end());
        return tooltest::runTool(s_server->tempDir(), all);
    }

    static inline std::unique_ptr<testsupport::DevServer> s_server;
};

} // namespace

TEST_F(ToolExact, DecimalsKeepEveryDigitAndTheirScaleInEveryFormat) {
    const std::string sql = kExactRows + "select * from #x order by k";
    ToolRun r = run({"-f", "csv", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty()) << r.out;
    const auto& rows = blocks.back();
    ASSERT_EQ(rows.size(), kExpected.size() + 1) << r.out;
    for (std::size_t row = 0; row < kExpected.size(); ++row)
        for (std::size_t c = 0; c < kExpected[row].size(); ++c)
            EXPECT_EQ(rows[row + 1][c].text, kExpected[row][c]) << row << "," << c;

    r = run({"-f", "json", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = parseJsonLines(r.out);
    const std::vector<std::string> names = {"k", "m", "n", "big", "huge", "m2", "r"};
    std::size_t row = 0;
    for (const auto& line : lines) {
        if (!line.has("row") || row >= kExpected.size())
            continue;
        for (std::size_t c = 0; c < names.size(); ++c) {
            const tooltest::Json& cell = line["row"][names[c]];
            if (kExpected[row][c] == "NULL") {
                EXPECT_EQ(cell.kind, tooltest::Json::Kind::Null);
                continue;
            }
            EXPECT_EQ(cell.text, kExpected[row][c]) << row << "," << names[c];
            // Money and numerics are strings, which readers that hold every number as a
            // double (jq, JavaScript) keep whole; int and real stay numbers.
            const bool exact = c >= 1 && c <= 5;
            EXPECT_EQ(cell.kind,
                      exact ? tooltest::Json::Kind::String : tooltest::Json::Kind::Number)
                << row << "," << names[c];
        }
        ++row;
    }
    EXPECT_EQ(row, kExpected.size()) << r.out;

    r = run({"-f", "table", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const auto& values : kExpected)
        for (const auto& value : values)
            EXPECT_NE(r.out.find(value), std::string::npos) << value << "\n" << r.out;
    // Streamed, the columns are as wide as their declared digits: every line of the result
    // puts its separators where the heading does.
    std::istringstream table(r.out);
    std::string heading, line;
    while (std::getline(table, heading) && heading.rfind("k ", 0) != 0) {
    }
    ASSERT_FALSE(heading.empty()) << r.out;
    while (std::getline(table, line) && !line.empty() && line[0] != '(') {
        if (line[0] == '-')
            continue;
        for (std::size_t at = heading.find(" | "); at != std::string::npos;
             at = heading.find(" | ", at + 1))
            EXPECT_EQ(line.substr(at, 3), " | ") << line << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("E+"), std::string::npos) << r.out;
}

TEST_F(ToolExact, JsonNumbersSwitchWritesExactValuesBare) {
    const ToolRun r = run({"-f", "json", "--json-numbers", "-Q",
                           "select convert(money, 922337203685477.5807) as m, "
                           "convert(numeric(38,0), 12345678901234567890123456789012345678) as n"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(
                  R"("row":{"m":922337203685477.5807,"n":12345678901234567890123456789012345678})"),
              std::string::npos)
        << r.out;
}

TEST_F(ToolExact, ParameterDecimalsReachTheServerWithEveryDigit) {
    const ToolRun r = run({"-f", "csv", "--param", "amt=922337203685477.5807", "--param",
                           "neg=-0.0000000001", "--param", "big=9007199254740993", "-Q",
                           "select :amt as amt, :neg as neg, :big + 0 as big"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "amt,neg,big\r\n922337203685477.5807,-0.0000000001,9007199254740993\r\n");
    // A float keeps about 16 digits: the type has to say so.
    const ToolRun refused = run({"--param", "f=1e3", "-Q", "select :f as f"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("give it as f:float=1e3"), std::string::npos) << refused.err;
    EXPECT_EQ(run({"-f", "csv", "--param", "f:float=1e3", "-Q", "select :f as f"}).out,
              "f\r\n1000\r\n");
}

TEST_F(ToolExact, SortFilterAndLocateCompareEveryDigit) {
    const std::string sql = kExactRows + "select k, huge from #x";
    ToolRun r = run({"-f", "csv", "--sort", "huge", "--desc", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    ASSERT_EQ(blocks.back().size(), 4u) << r.out;
    EXPECT_EQ(blocks.back()[1][0].text, "2");
    EXPECT_EQ(blocks.back()[2][0].text, "3");
    EXPECT_EQ(blocks.back()[3][0].text, "1");

    r = run({"-f", "csv", "--filter", "huge > 123456789012345678901234567890", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    ASSERT_EQ(blocks.back().size(), 2u) << r.out;
    EXPECT_EQ(blocks.back()[1][0].text, "2");

    r = run({"-f", "csv", "--locate", "huge=123456789012345678901234567890", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    ASSERT_EQ(blocks.back().size(), 2u) << r.out;
    EXPECT_EQ(blocks.back()[1][0].text, "3");
}

TEST_F(ToolExact, TextSizeOptionSetsTheLongestTextTheServerSends) {
    const std::string sql = "create table #t (t text)\ninsert #t values ('" +
                            std::string(40000, 'q') +
                            "')\nselect datalength(t) as stored, t from #t";
    ToolRun r = run({"-f", "csv", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.back()[1][1].text.size(), 40000u);

    r = run({"-f", "csv", "-T", "0", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.back()[1][1].text.size(), 32768u);

    r = run({"-f", "csv", "-T", "1000", "-Q", sql});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    blocks = parseCsv(r.out);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.back()[1][1].text.size(), 1000u);
}

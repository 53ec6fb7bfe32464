// tovrin-sql end to end: the program run as a user runs it, against the development
// server over FreeTDS, with its output read back in each format. The tests create their
// own table and procedure (tool_cases, tool_summary) and assert only on those.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <strings.h>
#include <algorithm>
#include <memory>

#include "support/DevServer.h"
#include "tool/readers.h"
#include "tool/tool_process.h"

using tooltest::CsvBlock;
using tooltest::Json;
using tooltest::parseCsv;
using tooltest::parseJsonLines;
using tooltest::ToolRun;

namespace {

constexpr const char* kPassword = "s3cret-pw";

const char* const kSetup =
    R"(create table tool_cases (id int not null, label varchar(60) null, amount float null,
    seen datetime null, flag bit not null)
insert into tool_cases values (1, 'plain', 1.5, '2026-12-07 14:05:09.050', 1)
insert into tool_cases values (2, 'comma, and "quote"', null, null, 0)
insert into tool_cases values (3, 'line one
line two', -2.25, '1999-01-02', 1)
insert into tool_cases values (4, 'NULL', 0, null, 0)
insert into tool_cases values (5, '', 100, null, 1)
insert into tool_cases values (6, null, 7, null, 0)
insert into tool_cases values (7, 'Ünïcödé ☃ it''s', 3.5, null, 1)
go
create procedure tool_summary @min float, @count int output, @top varchar(60) output as
begin
    select id, label from tool_cases where amount >= @min order by id
    select @count = count(*) from tool_cases where amount >= @min
    select @top = max(label) from tool_cases where amount >= @min
    return 3
end
)";

class ToolCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<testsupport::DevServer>(
            std::vector<std::string>{"--user", "sa", "--password", kPassword});
        const ToolRun setup = tooltest::runTool(
            s_server->tempDir(), {"-S", "DEVSERVER", "-U", "sa", "-P", kPassword, "-Q", kSetup});
        ASSERT_EQ(setup.exitCode, 0) << setup.err;
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override { s_server->activate(); }

    /// Runs the tool logged in, with `args` after the login options.
    static ToolRun run(std::vector<std::string> args, const std::string& input = "") {
        std::vector<std::string> all{"-S", "DEVSERVER", "-U", "sa", "-P", kPassword};
        all.insert(all.end(), args.begin(), args.end());
        return tooltest::runTool(s_server->tempDir(), all, input);
    }
    static std::string path(const std::string& name) { return s_server->tempDir() + "/" + name; }

    static std::vector<std::string> column(const CsvBlock& block, std::size_t c) {
        std::vector<std::string> out;
        for (std::size_t r = 1; r < block.size(); ++r)
            out.push_back(block[r][c].text);
        return out;
    }

    static inline std::unique_ptr<testsupport::DevServer> s_server;
};

const char* const kSelectAll = "select id, label, amount, seen, flag from tool_cases order by id";

} // namespace

TEST_F(ToolCli, CsvReadsBackWithQuotesCommasLineBreaksAndNulls) {
    const ToolRun r = run({"-f", "csv", "-Q", kSelectAll});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto blocks = parseCsv(r.out);
    ASSERT_EQ(blocks.size(), 1u);
    const CsvBlock& rows = blocks[0];
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0][0].text, "id");
    EXPECT_EQ(rows[0][4].text, "flag");
    EXPECT_EQ(column(rows, 1)[0], "plain");
    EXPECT_EQ(rows[2][1].text, "comma, and \"quote\"");
    EXPECT_TRUE(rows[2][2].isNull());
    EXPECT_NE(rows[3][1].text.find("line one\nline two"),
              std::string::npos); // the bytes the SQL had
    EXPECT_EQ(rows[3][2].text, "-2.25");
    EXPECT_EQ(rows[3][3].text, "1999-01-02 00:00:00.000");
    EXPECT_FALSE(rows[4][1].isNull()); // the text NULL is not a NULL
    EXPECT_EQ(rows[4][1].text, "NULL");
    EXPECT_EQ(rows[5][1].text, " "); // the server stores an empty text as one blank
    EXPECT_TRUE(rows[5][1].quoted);
    EXPECT_TRUE(rows[6][1].isNull());
    EXPECT_EQ(rows[7][1].text, "Ünïcödé ☃ it's");
    EXPECT_EQ(rows[1][3].text, "2026-12-07 14:05:09.050");
    EXPECT_EQ(column(rows, 4), (std::vector<std::string>{"1", "0", "1", "0", "1", "0", "1"}));
    EXPECT_NE(r.err.find("(7 rows affected)"), std::string::npos);
}

TEST_F(ToolCli, JsonLinesReadBackWithTypes) {
    const ToolRun r = run({"-f", "json", "-Q", kSelectAll});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = parseJsonLines(r.out);
    ASSERT_EQ(lines.size(), 8u);
    const Json& first = lines[0]["row"];
    EXPECT_EQ(first["id"].kind, Json::Kind::Number);
    EXPECT_EQ(first["amount"].text, "1.5");
    EXPECT_EQ(first["flag"].kind, Json::Kind::Boolean);
    EXPECT_TRUE(first["flag"].boolean);
    EXPECT_EQ(first["seen"].text, "2026-12-07 14:05:09.050");
    EXPECT_EQ(lines[1]["row"]["label"].text, "comma, and \"quote\"");
    EXPECT_EQ(lines[1]["row"]["amount"].kind, Json::Kind::Null);
    EXPECT_EQ(lines[2]["row"]["label"].text, "line one\nline two");
    EXPECT_EQ(lines[3]["row"]["label"].kind, Json::Kind::String);
    EXPECT_EQ(lines[5]["row"]["label"].kind, Json::Kind::Null);
    EXPECT_EQ(lines[6]["row"]["label"].text, "Ünïcödé ☃ it's");
    EXPECT_EQ(lines[7]["rows"].text, "7");
}

TEST_F(ToolCli, TableShowsNullAndRowCount) {
    const ToolRun r = run(
        {"-f", "table", "-Q", "select id, label from tool_cases where id in (4, 6) order by id"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Streamed, the widths are those of the declared types: int 11, varchar(60) 60.
    EXPECT_EQ(r.out, "id          | label\n" + std::string(11, '-') + "-+-" + std::string(60, '-') +
                         "\n" +
                         "          4 | NULL\n"
                         "          6 | NULL\n"
                         "(2 rows affected)\n"
                         "\n");
}

TEST_F(ToolCli, WithoutATerminalTheDefaultIsCsv) {
    const ToolRun r = run({"-Q", "select id from tool_cases where id = 1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "id\r\n1\r\n");
}

TEST_F(ToolCli, EveryResultOfABatchInOrderWithMessages) {
    const ToolRun r =
        run({"-f", "json", "-Q",
             "select 1 as a\nprint 'between the results'\nselect 2 as b, 'x' as c\nselect 3 as d"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = parseJsonLines(r.out);
    ASSERT_EQ(lines.size(), 7u) << r.out;
    EXPECT_EQ(lines[0]["row"]["a"].text, "1");
    EXPECT_EQ(lines[2]["message"]["text"].text, "between the results");
    EXPECT_EQ(lines[3]["result"].text, "2");
    EXPECT_EQ(lines[3]["row"]["c"].text, "x");
    EXPECT_EQ(lines[5]["result"].text, "3");
    EXPECT_EQ(lines[5]["row"]["d"].text, "3");
}

TEST_F(ToolCli, ProcedureRowsReturnStatusAndOutputParameters) {
    const std::string sql =
        "declare @n int, @t varchar(60)\nexec tool_summary 3, @n output, @t output";
    const ToolRun json = run({"-f", "json", "-Q", sql});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto lines = parseJsonLines(json.out);
    ASSERT_GE(lines.size(), 6u) << json.out;
    EXPECT_EQ(lines[0]["row"]["id"].text, "5");
    EXPECT_EQ(lines[3]["rows"].text, "3");
    // Between the rows and the status: only the counts of the assignments the server
    // reported.
    // After the rows: the status and the output parameters where the server sent them,
    // between counts of the statements the server reported.
    std::size_t status = 0, outputs = 0;
    for (std::size_t k = 4; k < lines.size(); ++k) {
        if (lines[k].has("return_status"))
            status = k;
        else if (lines[k].has("output_parameters"))
            outputs = k;
        else
            EXPECT_TRUE(lines[k].has("rows_affected")) << json.out;
    }
    ASSERT_GT(status, 3u) << json.out;
    ASSERT_GT(outputs, 3u) << json.out;
    EXPECT_EQ(lines[status]["return_status"].text, "3");
    // Output parameters carry the procedure's own parameter names.
    EXPECT_EQ(lines[outputs]["output_parameters"]["@count"].text, "3");
    EXPECT_EQ(lines[outputs]["output_parameters"]["@top"].text, "Ünïcödé ☃ it's");

    const ToolRun table = run({"-f", "table", "-Q", sql});
    EXPECT_NE(table.out.find("(return status = 3)"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("Output parameters:"), std::string::npos);

    // CSV holds the rows alone: the status and the output parameters go to standard error.
    const ToolRun csv = run({"-f", "csv", "-Q", sql});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out, "id,label\r\n5,\" \"\r\n6,NULL\r\n7,Ünïcödé ☃ it's\r\n");
    EXPECT_NE(csv.err.find("(return status = 3)"), std::string::npos) << csv.err;
    EXPECT_NE(csv.err.find("Output parameters: @count = 3, @top = Ünïcödé ☃ it's"),
              std::string::npos)
        << csv.err;
}

TEST_F(ToolCli, StatementsWithoutRowsShowHowManyRowsTheyChanged) {
    const std::string sql = "create table #changed (n int)\n"
                            "insert #changed values (1)\n"
                            "insert #changed select n + 1 from #changed\n"
                            "print 'between'\n"
                            "update #changed set n = n * 10\n"
                            "select n from #changed order by n\n"
                            "delete from #changed where n > 10";
    const ToolRun table = run({"-f", "table", "-Q", sql});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out, "(1 row affected)\n"
                         "(1 row affected)\n"
                         "between\n"
                         "(2 rows affected)\n"
                         "n\n"
                         "-----------\n"
                         "         10\n"
                         "         20\n"
                         "(2 rows affected)\n"
                         "\n"
                         "(1 row affected)\n");

    // CSV keeps the counts beside the data, JSON gives them lines of their own; quiet
    // leaves them out.
    const ToolRun csv = run({"-f", "csv", "-Q", sql});
    EXPECT_EQ(csv.err,
              "(1 row affected)\n(1 row affected)\nbetween\n(2 rows affected)\n(2 rows affected)\n"
              "(1 row affected)\n");
    const ToolRun json = run({"-f", "json", "-Q", sql});
    const auto lines = parseJsonLines(json.out);
    ASSERT_EQ(lines.size(), 8u) << json.out;
    EXPECT_EQ(lines[0]["rows_affected"].text, "1");
    EXPECT_EQ(lines[3]["rows_affected"].text, "2");
    EXPECT_EQ(lines[6]["rows"].text, "2");
    EXPECT_EQ(lines[7]["rows_affected"].text, "1");
    const ToolRun quiet = run({"-q", "-f", "table", "-Q", sql});
    EXPECT_EQ(quiet.out.find("affected"), std::string::npos) << quiet.out;
}

TEST_F(ToolCli, ReturnStatusOnlyWhenAProcedureSentOne) {
    // A procedure that does not exist sends none, whatever the batch's words say.
    const ToolRun missing = run({"-f", "table", "-Q", "exec tool_no_such_procedure"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out.find("return status"), std::string::npos) << missing.out;
    const ToolRun words = run({"-f", "table", "-Q", "select 'exec' as word"});
    EXPECT_EQ(words.out.find("return status"), std::string::npos) << words.out;

    // A status of 0 is still a status.
    const ToolRun zero =
        run({"-f", "table", "-Q", "create procedure #tool_zero as return 0\ngo\nexec #tool_zero"});
    ASSERT_EQ(zero.exitCode, 0) << zero.err;
    EXPECT_NE(zero.out.find("(return status = 0)"), std::string::npos) << zero.out;

    // Every status of a batch, each where the server sent it.
    const ToolRun two =
        run({"-f", "table", "-q", "-Q",
             "create procedure #tool_check @code varchar(10) as\n"
             "begin if @code = 'NOPE' return 1 return 0 end\n"
             "go\nexec #tool_check 'NOPE'\nselect 'between' as b\nexec #tool_check 'FI1000'"});
    ASSERT_EQ(two.exitCode, 0) << two.err;
    const std::size_t first = two.out.find("(return status = 1)");
    const std::size_t between = two.out.find("between");
    const std::size_t second = two.out.find("(return status = 0)");
    ASSERT_NE(first, std::string::npos) << two.out;
    ASSERT_NE(second, std::string::npos) << two.out;
    EXPECT_LT(first, between);
    EXPECT_LT(between, second);
}

TEST_F(ToolCli, ParametersTypedByFormOrByName) {
    const ToolRun r = run({"-f", "json", "--param", "min=3.5", "--param", "who=O'Brien", "--param",
                           "when=2026-12-07T08:30:00", "--param", "code:text=007", "-Q",
                           "select id from tool_cases where amount >= :min order by id\n"
                           "select :who as who, :code as code, :min as again\n"
                           "select id from tool_cases where seen >= :when"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = parseJsonLines(r.out);
    ASSERT_EQ(lines.size(), 8u) << r.out;
    EXPECT_EQ(lines[0]["row"]["id"].text, "5");
    EXPECT_EQ(lines[1]["row"]["id"].text, "6");
    EXPECT_EQ(lines[2]["row"]["id"].text, "7");
    const Json& row = lines[4]["row"];
    EXPECT_EQ(row["who"].text, "O'Brien");
    EXPECT_EQ(row["code"].text, "007");
    EXPECT_EQ(row["again"].text, "3.5");
    EXPECT_EQ(lines[6]["row"]["id"].text, "1"); // the date-time compared as a date-time
    EXPECT_EQ(lines[7]["rows"].text, "1");
}

TEST_F(ToolCli, UnknownParameterIsRefusedBeforeAnythingRuns) {
    const ToolRun r =
        run({"--param", "nope=1", "-Q", "insert into tool_cases values (99, 'x', 1, null, 0)"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown parameter 'nope'"), std::string::npos) << r.err;
    const ToolRun check = run({"-Q", "select count(*) as n from tool_cases where id = 99"});
    EXPECT_EQ(check.out, "n\r\n0\r\n");
}

TEST_F(ToolCli, SortInMemoryDescendingAndWithoutCase) {
    ToolRun r =
        run({"-f", "csv", "--sort", "amount", "--desc", "-Q", "select id, amount from tool_cases"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(column(parseCsv(r.out).at(0), 0),
              (std::vector<std::string>{"5", "6", "7", "1", "4", "3", "2"}));

    r = run({"-f", "csv", "--sort", "label", "--nocase", "-Q",
             "select label from tool_cases where id in (1, 2, 4) union all select 'Plain' union "
             "all select 'apple'"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto labels = column(parseCsv(r.out).at(0), 0);
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(labels[0], "apple");
    EXPECT_EQ(labels[1], "comma, and \"quote\"");
    EXPECT_EQ(labels[2], "NULL");
    EXPECT_EQ(strcasecmp(labels[3].c_str(), "plain"), 0);
    EXPECT_EQ(strcasecmp(labels[4].c_str(), "plain"), 0);

    r = run({"-f", "csv", "--sort", "no_such_field", "-Q", "select id from tool_cases"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--sort"), std::string::npos);
}

TEST_F(ToolCli, TextIsUtf8WithoutAClientCharsetUnlessJAloneLeavesItToFreetdsConf) {
    s_server->writeConf("");
    struct RestoreConf {
        ~RestoreConf() { s_server->writeConf("UTF-8"); }
    } restore;
    const std::string sql = "select label from tool_cases where id = 7";
    for (const char* charset : {"", "utf8"}) {
        std::vector<std::string> args{"-f", "csv", "-Q", sql};
        if (*charset != '\0')
            args.insert(args.begin(), {"-J", charset});
        const ToolRun r = run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(column(parseCsv(r.out).at(0), 0), std::vector<std::string>{"Ünïcödé ☃ it's"})
            << charset;
    }
    // -J alone before another option: FreeTDS's own choice, ISO-8859-1 under the C locale.
    const ToolRun left = run({"-J", "-f", "csv", "-Q", sql});
    EXPECT_NE(left.out.find("\xDC"
                            "n\xEF"
                            "c\xF6"
                            "d\xE9 ? it's"),
              std::string::npos)
        << left.out << left.err;
}

TEST_F(ToolCli, FilterAndLocateInMemory) {
    ToolRun r = run({"-f", "csv", "--filter", "amount > 1 and flag = 1", "-Q", kSelectAll});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(column(parseCsv(r.out).at(0), 0), (std::vector<std::string>{"1", "5", "7"}));

    r = run({"-f", "csv", "--locate", "label=NULL", "-Q", kSelectAll}); // NULL locates a NULL
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(column(parseCsv(r.out).at(0), 0), std::vector<std::string>{"6"});

    r = run({"-f", "csv", "--locate", "label=PLAIN", "--nocase", "-Q", kSelectAll});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(column(parseCsv(r.out).at(0), 0), std::vector<std::string>{"1"});

    r = run({"-f", "csv", "--locate", "id=3", "-Q", kSelectAll});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(column(parseCsv(r.out).at(0), 0), std::vector<std::string>{"3"});

    r = run({"-f", "csv", "--locate", "id=42", "-Q", kSelectAll});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.err.find("no record where id=42"), std::string::npos) << r.err;

    // A misspelt field shows no rows at all, rather than every row unfiltered.
    r = run({"-f", "csv", "--filter", "amout > 1", "-Q", kSelectAll});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "") << r.out;
    EXPECT_NE(r.err.find("--filter"), std::string::npos) << r.err;

    r = run({"--filter", "amount >", "-Q", kSelectAll});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--filter"), std::string::npos);
}

TEST_F(ToolCli, OutputFileAndQuiet) {
    const std::string file = path("result.csv");
    const ToolRun r = run({"-f", "csv", "-q", "-o", file, "-Q",
                           "select id from tool_cases where id < 3 order by id"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(tooltest::readFile(file), "id\r\n1\r\n2\r\n");
}

TEST_F(ToolCli, InputFileBatchesShareTheConnection) {
    const std::string file = path("batches.sql");
    tooltest::writeFile(
        file, "create table #scratch (v int)\ngo\n"
              "insert into #scratch values (41)\ninsert into #scratch values (1)\n  GO  \n"
              "select sum(v) as total from #scratch\n");
    const ToolRun r = run({"-f", "csv", "-i", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "total\r\n42\r\n");
}

TEST_F(ToolCli, StandardInputBatches) {
    const ToolRun r = run({"-f", "csv"}, "select 1 as a\ngo\nselect 2 as b\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "a\r\n1\r\n\r\nb\r\n2\r\n");
}

TEST_F(ToolCli, ServerErrorKeepsTheRowsBeforeAndAfterIt) {
    // A run-time error ends only its statement (a name that resolves nowhere would stop
    // the whole batch before it runs, as on the server).
    const ToolRun r =
        run({"-f", "csv", "-Q", "select 1 as a\nraiserror 20000 'tool failure'\nselect 2 as b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "a\r\n1\r\n\r\nb\r\n2\r\n");
    EXPECT_NE(r.err.find("Msg 20000, Level 16, State 1:\nServer '"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("', Line 2:\ntool failure"), std::string::npos) << r.err;
}

TEST_F(ToolCli, AFailedBatchStopsTheRun) {
    const ToolRun r =
        run({"-f", "csv", "-Q", "select * from tool_no_such_table\ngo\nselect 5 as later"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.find("later"), std::string::npos);
}

TEST_F(ToolCli, SyntaxErrorReadsAsIsqlShowsItAndExitsOne) {
    const ToolRun r = run({"-Q", "select from where"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Msg 102, Level 15, State 1:\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Line 1:\nIncorrect syntax"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
}

TEST_F(ToolCli, WrongPasswordFailsTheLoginWithoutShowingIt) {
    const ToolRun r = tooltest::runTool(
        s_server->tempDir(), {"-S", "DEVSERVER", "-U", "sa", "-P", "not-the-pw", "-Q", "select 1"});
    EXPECT_EQ(r.exitCode, 3);
    // The refusal reads as every other server error.
    EXPECT_NE(
        r.err.find("tovrin-sql: cannot log in to 'DEVSERVER':\nMsg 4002, Level 14, State 1:\n"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Login failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not-the-pw"), std::string::npos);
    EXPECT_EQ(r.out.find("not-the-pw"), std::string::npos);
}

TEST_F(ToolCli, UnknownServerFailsTheLogin) {
    const ToolRun r = tooltest::runTool(s_server->tempDir(), {"-S", "TOOL_NO_SUCH_SERVER", "-U",
                                                              "sa", "-P", "x", "-Q", "select 1"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("cannot log in to 'TOOL_NO_SUCH_SERVER'"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(ToolCli, PasswordFromTheEnvironment) {
    ToolRun r = tooltest::runTool(s_server->tempDir(),
                                  {"-S", "DEVSERVER", "-U", "sa", "-Q", "select 1 as one"}, "",
                                  {{"TOVRIN_PASSWORD", kPassword}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "one\r\n1\r\n");
    // Without -P, the variable and a terminal to ask on, the password is empty.
    r = tooltest::runTool(s_server->tempDir(), {"-S", "DEVSERVER", "-U", "sa", "-Q", "select 1"},
                          "", {{"TOVRIN_PASSWORD", ""}});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err.find(kPassword), std::string::npos);
}

TEST_F(ToolCli, CommandTimeoutFailsTheBatch) {
    const ToolRun r = run({"--timeout", "1", "-Q", "waitfor delay '00:00:03'\nselect 1 as late"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("timed out"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("late"), std::string::npos);
}

TEST_F(ToolCli, CommandTimeoutBoundsACommandThatWouldRunForMinutes) {
    // The client library only reports its own time limit and goes on waiting: the run
    // ends within the limit only because the connection's CommandTimeout ends the wait.
    const ToolRun r = run({"--timeout", "1", "-Q", "waitfor delay '00:10:00'\nselect 1 as late"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("timed out"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("connection lost"), std::string::npos) << r.err;
}

TEST_F(ToolCli, NoProgressLineWhenStandardErrorIsNotATerminal) {
    const ToolRun r =
        run({"-f", "csv", "-Q", "waitfor delay '00:00:01'\nselect id from tool_cases"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "(7 rows affected)\n");
}

TEST_F(ToolCli, HelpAndBadCommandLines) {
    ToolRun r = tooltest::runTool(s_server->tempDir(), {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option :
         {"-S", "-U", "-P", "-D", "--timeout", "--packet-size", "-Q", "-i", "--param", "--sort",
          "--desc", "--nocase", "--filter", "--locate", "--format", "-o", "TOVRIN_PASSWORD"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    r = tooltest::runTool(s_server->tempDir(), {"-S", "DEVSERVER", "--frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--frobnicate"), std::string::npos);
    r = tooltest::runTool(s_server->tempDir(), {"-S", "DEVSERVER", "-i", path("missing.sql")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos);
}

TEST_F(ToolCli, ALostConnectionKeepsTheRowsReceived) {
    {
        testsupport::DevServer dropping(
            {"--user", "sa", "--password", kPassword, "--drop-after-rows", "3"}, "DROPPING");
        const ToolRun r = tooltest::runTool(
            s_server->tempDir(),
            {"-S", "DROPPING", "-U", "sa", "-P", kPassword, "-f", "csv", "-Q",
             "select 1 as a\nselect 10 as n union all select 11 union all select 12 "
             "union all select 13 union all select 14"});
        EXPECT_EQ(r.exitCode, 1);
        const auto blocks = parseCsv(r.out);
        ASSERT_EQ(blocks.size(), 2u) << r.out;
        EXPECT_EQ(column(blocks[0], 0), std::vector<std::string>{"1"});
        EXPECT_EQ(column(blocks[1], 0), (std::vector<std::string>{"10", "11", "12"}));
        EXPECT_NE(r.err.find("tovrin-sql: connection lost: the run stops"), std::string::npos)
            << r.err;
        // Not even --keep-going runs a batch on a new login: the session it needs is gone.
        const ToolRun going = tooltest::runTool(
            s_server->tempDir(),
            {"-S", "DROPPING", "-U", "sa", "-P", kPassword, "--keep-going", "-Q",
             "select 1 as a union all select 2 union all select 3 union all select 4"
             "\ngo\nselect 'after' as b"});
        EXPECT_EQ(going.exitCode, 1);
        EXPECT_EQ(going.out.find("after"), std::string::npos) << going.out;
    }
    s_server->activate();
}

TEST_F(ToolCli, ParameterValuesThatDoNotFitAreUsageErrors) {
    for (const char* argument : {"n:int=abc", "n:int=99999999999999999999", "n:datetime=2026-13-45",
                                 "n:bool=perhaps", "n:float=1e999", "n=2026-02-30"}) {
        const ToolRun r = run({"--param", argument, "-Q", "select :n as n"});
        EXPECT_EQ(r.exitCode, 2) << argument << "\n" << r.err;
        EXPECT_NE(r.err.find("tovrin-sql: --param n: "), std::string::npos) << argument << "\n"
                                                                            << r.err;
        EXPECT_EQ(r.out, "") << argument;
    }
}

TEST_F(ToolCli, ParameterValuesKeepTheirFormAndEveryMarkerNeedsOne) {
    ToolRun r =
        run({"--param", "zip=01002", "--param", "n=-0", "-Q", "select :zip as zip, :n as n"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "zip,n\r\n01002,0\r\n");
    // A marker without a value would go to the server as NULL: refused before anything runs.
    r = run({"-Q", "insert into tool_cases values (98, :label, 1, null, 0)"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("parameter :label has no value"), std::string::npos) << r.err;
    EXPECT_EQ(run({"-Q", "select count(*) as n from tool_cases where id = 98"}).out, "n\r\n0\r\n");
}

TEST_F(ToolCli, TheSqlReachesTheServerByteForByte) {
    const ToolRun r = run({"-Q", "select datalength('line1\nline2') as n"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "n\r\n11\r\n");
}

TEST_F(ToolCli, IsqlHabitsGoNReadFileEchoAndHeaders) {
    tooltest::writeFile(path("part.sql"), "select count(*) as n from #runs\n");
    const std::string file = path("habits.sql");
    tooltest::writeFile(file, "\xEF\xBB\xBF"
                              "create table #runs (v int)\ngo\n"
                              "insert #runs values (1)\ngo 3\n"
                              ":r " +
                                  path("part.sql") + "\ngo\n");
    ToolRun r = run({"-f", "csv", "-q", "-i", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "n\r\n3\r\n");

    // -e writes each batch before its results; -h is isql's headers, not help.
    r = run({"-f", "table", "-q", "-e", "-h", "2", "-Q",
             "select 1 as v union all select 2 union all select 3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "select 1 as v union all select 2 union all select 3\n"
                     "v\n-----------\n          1\n          2\n\nv\n-----------\n          3\n\n");
    r = run({"-h", "0", "-f", "csv", "-Q", "select 4 as four"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "four\r\n4\r\n");
    for (const char* help : {"--help", "-?"}) {
        r = tooltest::runTool(s_server->tempDir(), {help});
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_NE(r.out.find("--keep-going"), std::string::npos) << help;
    }
    // Without -S, DSQUERY names the server.
    r = tooltest::runTool(s_server->tempDir(),
                          {"-U", "sa", "-P", kPassword, "-Q", "select 5 as five"}, "",
                          {{"DSQUERY", "DEVSERVER"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "five\r\n5\r\n");
    r = tooltest::runTool(s_server->tempDir(), {"-U", "sa", "-Q", "select 1"}, "",
                          {{"DSQUERY", ""}});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(ToolCli, KeepGoingRunsTheBatchesAfterAFailedOneAndErrorsNameTheirBatch) {
    const std::string file = path("keep.sql");
    tooltest::writeFile(
        file,
        "select 1 as first\ngo\n\n-- the failing one\nselect *\n  from tool_no_such_table\ngo\n"
        "select 3 as third\ngo\n");
    ToolRun r = run({"-f", "csv", "-q", "--keep-going", "-i", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "first\r\n1\r\n\r\nthird\r\n3\r\n");
    EXPECT_NE(
        r.err.find(
            ", Line 3 (batch 2, which starts at input line 3):\ntool_no_such_table not found"),
        std::string::npos)
        << r.err;
    r = run({"-f", "json", "-i", file});
    EXPECT_EQ(r.exitCode, 1);
    const auto lines = parseJsonLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[2]["error"]["number"].text, "208");
    EXPECT_EQ(lines[2]["error"]["batch"].text, "2");
    EXPECT_EQ(r.err, ""); // in JSON the errors are part of the output
}

TEST_F(ToolCli, AFailedWriteToStandardOutputFailsTheRun) {
    // /dev/full accepts the open and refuses every write.
    const std::string script = std::string(TOVRIN_SQL_PATH) + " -S DEVSERVER -U sa -P " +
                               kPassword +
                               " -f csv -Q 'select id from tool_cases' > /dev/full 2>/dev/null";
    const int status = std::system(script.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST_F(ToolCli, PipedBatchesRunAsSoonAsTheirGoArrives) {
    int input[2];
    int output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        close(input[1]);
        close(output[0]);
        execl(TOVRIN_SQL_PATH, TOVRIN_SQL_PATH, "-S", "DEVSERVER", "-U", "sa", "-P", kPassword,
              "-f", "csv", "-q", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    const std::string first = "select 'first' as a\ngo\n";
    ASSERT_EQ(write(input[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
    // The first batch's rows arrive while the input is still open.
    std::string seen;
    for (int tries = 0; tries < 100 && seen.find("first\r\n") == std::string::npos; ++tries) {
        pollfd p{output[0], POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = read(output[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, static_cast<std::size_t>(n));
        }
    }
    EXPECT_EQ(seen, "a\r\nfirst\r\n");
    close(input[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    close(output[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ToolCli, SetNocountOnLeavesOutTheCountLines) {
    const std::string sql = "set nocount on\n"
                            "select id from tool_cases where id < 3 order by id\n"
                            "set nocount off\n"
                            "select id from tool_cases where id = 3";
    for (const std::vector<std::string>& shape :
         {std::vector<std::string>{}, std::vector<std::string>{"--sort", "id"}}) {
        std::vector<std::string> args{"-f", "table"};
        args.insert(args.end(), shape.begin(), shape.end());
        args.insert(args.end(), {"-Q", sql});
        const ToolRun r = run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.find("(2 rows affected)"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("(1 row affected)"), std::string::npos) << r.out;
    }
}

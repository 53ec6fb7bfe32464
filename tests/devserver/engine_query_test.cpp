// Queries and batches through the SQL side: row results, counts, several results and
// errors in one batch, messages and their numbers.
#include "engine_sink.h"

#include <gtest/gtest.h>

#include <cmath>

namespace devserver::test {
namespace {

class EngineQuery : public EngineSessionTest {
protected:
    EngineQuery() : EngineSessionTest(7) {}
};

TEST_F(EngineQuery, SelectsConstantsAndSessionValues) {
    auto& s = run("select 1 as one, 'abc' as txt, @@spid, db_name(), user_name()");
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    const auto& cols = results[0].columns;
    EXPECT_EQ(cols[0].name, "one");
    EXPECT_EQ(cols[0].type.type, SqlType::Int);
    EXPECT_EQ(cols[1].type.type, SqlType::VarChar);
    EXPECT_EQ(cols[2].name, "");
    const auto& row = results[0].rows[0];
    EXPECT_EQ(row[0].integer, 1);
    EXPECT_EQ(row[1].bytes, "abc");
    EXPECT_EQ(row[2].integer, 7);
    EXPECT_EQ(row[3].bytes, "master");
    EXPECT_EQ(row[4].bytes, "tester");
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 1u);
    EXPECT_FALSE(dones[0].error);
    EXPECT_EQ(dones[0].count, 1);
}

TEST_F(EngineQuery, BatchStopsOnErrorsAsTheServerDoes) {
    // Compile errors (a syntax error, a name that resolves nowhere, a literal NULL for a
    // not-null column) run nothing of the batch, not even the statements before them.
    struct Case {
        const char* failing;
        int number;
    };
    const Case compileErrors[] = {
        {"select 2 from", 102},
        {"select * from nosuchtable", 208},
        {"select nosuchcolumn from t0", 207},
        {"insert into t0 values (null, 'x')", 233},
        {"select @undeclared", 137},
        {"insert into t0 values ('7', 'x')", 257},
        {"update t0 set a = '7' where b = 'x'", 257},
        {"select b from t0 where a = '7'", 257},
        {"delete t0 where '7' < a", 257},
    };
    run("create table t0 (a int, b varchar(10) null)");
    for (const auto& c : compileErrors) {
        auto& s = run(std::string("insert into t0 values (1, 'one')\n") + c.failing +
                      "\ninsert into t0 values (3, 'c')");
        auto errors = s.errors();
        ASSERT_EQ(errors.size(), 1u) << c.failing;
        EXPECT_EQ(errors[0].number, c.number) << c.failing;
        EXPECT_EQ(errors[0].line, 2) << c.failing;
        ASSERT_EQ(s.dones().size(), 1u) << c.failing;
        EXPECT_TRUE(s.dones()[0].error);
        auto& count = run("select count(*) from t0");
        EXPECT_EQ(count.results().at(0).rows.at(0)[0].integer, 0)
            << "nothing ran before " << c.failing;
    }

    for (const char* unknownType :
         {"create table bad (a nosuchtype)", "create table bad (a sql_variant null)",
          "declare @v varbinary(max)"}) {
        ASSERT_EQ(run(unknownType).errors().size(), 1u) << unknownType;
        EXPECT_EQ(sink.errors()[0].number, 2715) << unknownType;
    }

    // Names of tables the batch creates resolve when their statements run; a run-time error
    // such as a duplicate key ends only its statement.
    auto& s = run("create table t1 (a int not null, b varchar(10) null)\n"
                  "create unique index t1_a on t1 (a)\n"
                  "insert into t1 values (1, \"one\")\n"
                  "insert into t1 values (2, 'two')\n"
                  "insert into t1 values (2, 'dup')\n"
                  "select a, b from t1 order by a\n"
                  "select count(*) from t1");
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[0].rows[1][1].bytes, "two");
    EXPECT_FALSE(results[0].columns[0].type.nullable);
    EXPECT_TRUE(results[0].columns[1].type.nullable);
    EXPECT_EQ(results[1].rows[0][0].integer, 2);
    auto errors = s.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 2601);
    EXPECT_EQ(errors[0].line, 5);
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 7u);
    EXPECT_EQ(dones[2].count, 1);
    EXPECT_TRUE(dones[4].error);
    EXPECT_EQ(dones[5].count, 2);

    // A NULL that only shows at run time fails with 515.
    auto& late = run("declare @n int\ninsert into t1 values (@n, 'x')\nselect 1");
    ASSERT_EQ(late.errors().size(), 1u);
    EXPECT_EQ(late.errors()[0].number, 515);
    EXPECT_EQ(late.results().size(), 1u);
}

TEST_F(EngineQuery, SqlErrorsMapToServerNumbers) {
    run("create table u1 (id int not null, name varchar(10))\n"
        "create unique index u1_id on u1 (id)\n"
        "insert into u1 values (1, 'a')");
    std::vector<int> numbers;
    std::vector<ServerMessage> errors;
    for (const char* sql :
         {"insert into u1 values (1, 'b')", "select * frm u1", "select * from u1 where",
          "create table u1 (x int)", "select @undeclared", "exec('select 1 + ')"}) {
        for (const auto& e : run(sql).errors()) {
            numbers.push_back(e.number);
            errors.push_back(e);
        }
    }
    EXPECT_EQ(numbers, (std::vector<int>{2601, 102, 102, 2714, 137, 102}));
    EXPECT_EQ(errors[0].severity, 14);
    EXPECT_EQ(errors[1].severity, 15);
    EXPECT_EQ(errors[0].text,
              "Attempt to insert duplicate key row in object 'u1' with unique index 'u1_id'");
    auto& s = run("select convert(int, 'abc')\n"
                  "select 'after', @@error\n"
                  "select 'done', @@error");
    ASSERT_EQ(s.errors().size(), 1u);
    EXPECT_EQ(s.errors()[0].number, 249);
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows[0][1].integer, 249) << "@@error is the previous statement's status";
    EXPECT_EQ(results[1].rows[0][1].integer, 0) << "@@error is reset by a successful statement";
}

TEST_F(EngineQuery, RowCountAndSetRowcount) {
    auto& s = run("create table rc (v int)\n"
                  "insert into rc values (1) insert into rc values (2) insert into rc values (3)\n"
                  "update rc set v = v + 10 where v > 1\n"
                  "select @@rowcount\n"
                  "set rowcount 2\n"
                  "select v from rc order by v\n"
                  "set rowcount 0\n"
                  "select v from rc order by v\n"
                  "select top 1 v from rc order by v desc\n"
                  "delete from rc\n");
    EXPECT_TRUE(s.errors().empty());
    auto results = s.results();
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0].rows[0][0].integer, 2);
    EXPECT_EQ(results[1].rows.size(), 2u);
    EXPECT_EQ(results[2].rows.size(), 3u);
    ASSERT_EQ(results[3].rows.size(), 1u);
    EXPECT_EQ(results[3].rows[0][0].integer, 13);
    auto dones = s.dones();
    EXPECT_EQ(dones.back().count, 3) << "delete reports its count";
}

TEST_F(EngineQuery, SelectIntoKeepsDeclaredTypes) {
    auto& s = run("create table src (m money, d datetime, n numeric(12,4), c char(3))\n"
                  "insert into src values (1.5, '2026-07-12', 3.1415, 'ab')\n"
                  "select m, d, n, c, m * 2 as twice into copy from src\n"
                  "select * from copy");
    EXPECT_TRUE(s.errors().empty()) << s.errors()[0].text;
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    const auto& cols = results[0].columns;
    EXPECT_EQ(cols[0].type.type, SqlType::Money);
    EXPECT_EQ(cols[1].type.type, SqlType::DateTime);
    EXPECT_EQ(cols[2].type.type, SqlType::Numeric);
    EXPECT_EQ(cols[2].type.scale, 4);
    EXPECT_EQ(cols[3].type.type, SqlType::Char);
    EXPECT_FALSE(cols[0].type.nullable) << "copied from a not-null column";
    EXPECT_TRUE(cols[4].type.nullable) << "an expression";
    EXPECT_EQ(results[0].rows[0][0].integer, 15000);
    EXPECT_TRUE(results[0].rows[0][2].numeric == 31415);
    EXPECT_EQ(s.dones()[2].count, 1);
}

TEST_F(EngineQuery, ControlFlowAliasesAndConcatenation) {
    auto& s = run("declare @i int, @s varchar(50)\n"
                  "select @i = 0, @s = '>'\n"
                  "while @i < 5\n"
                  "begin\n"
                  "    select @i = @i + 1\n"
                  "    if @i = 3 continue\n"
                  "    select @s = @s + convert(varchar(5), @i)\n"
                  "end\n"
                  "if @s = '>1245' select total = @i, 'label' = @s else print 'wrong'\n"
                  "select case when @i > 2 then 'big' else 'small' end size");
    EXPECT_TRUE(s.messages().empty()) << s.messages()[0].text;
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].columns[0].name, "total");
    EXPECT_EQ(results[0].columns[1].name, "label");
    EXPECT_EQ(results[0].rows[0][0].integer, 5);
    EXPECT_EQ(results[0].rows[0][1].bytes, ">1245");
    EXPECT_EQ(results[1].columns[0].name, "size");
    EXPECT_EQ(results[1].rows[0][0].bytes, "big");
}

TEST_F(EngineQuery, CancelStopsTheBatchAtOnce) {
    run("create table big (v int)\n"
        "insert into big values (1) insert into big values (2) insert into big values (3)");
    sink.clear();
    sink.cancelAfterRows = 5;
    session->executeBatch("select a.v, b.v, c.v from big a, big b, big c\nprint 'not reached'",
                          sink);
    EXPECT_EQ(sink.results().at(0).rows.size(), 5u);
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_TRUE(sink.dones().empty()) << "nothing is reported after a refused row";
    // A cancel requested before a statement stops the batch there, also inside waitfor.
    sink.clear();
    sink.cancelAfterRows = -1;
    sink.cancelRequested = true;
    session->executeBatch("waitfor delay '10:00:00'\nselect 1", sink);
    EXPECT_TRUE(sink.events.empty());
    // The session is usable afterwards.
    sink.cancelRequested = false;
    auto& after = run("select count(*) from big");
    EXPECT_EQ(after.results().at(0).rows.at(0)[0].integer, 3);
}

TEST_F(EngineQuery, WaitforDelayWaitsWhenNotCancelled) {
    auto& s = run("waitfor delay '00:00:00.05'\nselect 1");
    EXPECT_TRUE(s.errors().empty());
    EXPECT_EQ(s.results().size(), 1u);
    auto& bad = run("waitfor delay 'soon'");
    ASSERT_EQ(bad.errors().size(), 1u);
}

TEST_F(EngineQuery, BinaryLiteralsAndQuotedStrings) {
    auto& s = run("select 0x00ff10, \"it's\", 'say \"hi\"', 'a''b', datalength(0xabc)");
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    const auto& row = results[0].rows[0];
    EXPECT_EQ(row[0].bytes, std::string("\x00\xff\x10", 3));
    EXPECT_EQ(row[1].bytes, "it's");
    EXPECT_EQ(row[2].bytes, "say \"hi\"");
    EXPECT_EQ(row[3].bytes, "a'b");
    EXPECT_EQ(row[4].integer, 2);
}

TEST_F(EngineQuery, ABackslashBeforeALineEndContinuesAString) {
    auto& s = run("select 'con\\\ntinued', \"two\\\nlines\", 'kept\\ \n', 'back\\\\\n\nslash',\n"
                  "'crlf\\\r\n', 'end\\'");
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    const auto& row = results[0].rows[0];
    EXPECT_EQ(row[0].bytes, "continued");
    EXPECT_EQ(row[1].bytes, "twolines");
    EXPECT_EQ(row[2].bytes, "kept\\ \n");     // a blank between: no continuation
    EXPECT_EQ(row[3].bytes, "back\\\nslash"); // the second backslash continues, the first stays
    EXPECT_EQ(row[4].bytes, "crlf\\\r\n");    // only a line feed right after the backslash counts
    EXPECT_EQ(row[5].bytes, "end\\");
}

TEST_F(EngineQuery, NationalCharacterLiteralsReadAsStrings) {
    auto& s = run("create table nat (n int, name varchar(20))\n"
                  "insert into nat values (1, N'Grüße')\n"
                  "select n, name from nat where name = N'Grüße'\n"
                  "select n'it''s'");
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    EXPECT_EQ(results[0].rows[0][1].bytes, "Grüße");
    EXPECT_EQ(results[1].rows[0][0].bytes, "it's");
}

TEST_F(EngineQuery, MalformedBatchesReportErrors) {
    for (const char* sql : {"select 'unclosed",
                            "/* open comment",
                            "begin select 1",
                            "end",
                            "else select 1",
                            "if",
                            "select (",
                            "exec",
                            "declare @x nosuchtype",
                            "use",
                            ")))",
                            "\x01\x02",
                            "raiserror(",
                            "raiserror",
                            "raiserror('x'",
                            "exec @x =",
                            "create procedure",
                            "create proc p @a as",
                            "select into",
                            "select 1 into",
                            "select convert(int",
                            "select convert(",
                            "select datepart(dd",
                            "print",
                            "set",
                            "waitfor",
                            "begin tran x y z",
                            "drop procedure",
                            "select * from pubs..",
                            "declare @x int select @x = 1, 2",
                            "select [unclosed",
                            "select @",
                            "insert",
                            "truncate table",
                            "select case",
                            "select case when 1 = 1 then",
                            "select cast(1 as)",
                            "select cast(1)",
                            "select cast(1 as nosuchtype)",
                            "select 1 as",
                            "select ,",
                            "select count(",
                            "select a.",
                            "select (select",
                            "select 1 union select",
                            "select - from t",
                            "select isnull()",
                            "select 'a' 'b' 'c'",
                            "select 1 union all select 1, 2"}) {
        auto& s = run(sql);
        EXPECT_FALSE(s.errors().empty()) << sql;
        ASSERT_FALSE(s.dones().empty()) << sql;
        EXPECT_TRUE(s.dones().back().error) << sql;
    }
    auto& ok = run("select 1");
    EXPECT_TRUE(ok.errors().empty());
}

TEST_F(EngineQuery, ServerDialectForTables) {
    auto& s = run(
        "if exists (select 1 from sysobjects where name = 'ids' and type = 'U') drop table ids\n"
        "create table ids (id numeric(10,0) identity, name varchar(10) not null)\n"
        "insert ids (name) values ('first')\n"
        "insert ids (name) values ('second')\n"
        "select @@identity\n"
        "delete ids where name = 'first'\n"
        "select id, name from dbo.ids\n"
        "if object_id('ids') is not null print 'exists'\n"
        "truncate table ids\n"
        "select count(*) from ids");
    EXPECT_TRUE(s.errors().empty()) << s.errors()[0].text;
    auto results = s.results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].rows[0][0].integer, 2);
    ASSERT_EQ(results[1].rows.size(), 1u);
    EXPECT_EQ(results[1].rows[0][0].integer, 2);
    EXPECT_EQ(results[1].rows[0][1].bytes, "second");
    EXPECT_EQ(results[2].rows[0][0].integer, 0);
    ASSERT_EQ(s.messages().size(), 1u);
    EXPECT_EQ(s.messages()[0].text, "exists");
}

TEST_F(EngineQuery, DeleteWithoutFromOrWhereEmptiesTheTable) {
    auto& s = run("create table wipe (v int)\n"
                  "insert wipe values (1) insert wipe values (2)\n"
                  "delete wipe\n"
                  "select count(*) from wipe\n"
                  "create table #wipe (v int)\n"
                  "insert #wipe values (1) insert #wipe values (2) insert #wipe values (3)\n"
                  "delete #wipe\n"
                  "select count(*) from #wipe");
    ASSERT_TRUE(s.errors().empty()) << s.errors()[0].text;
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows[0][0].integer, 0);
    EXPECT_EQ(results[1].rows[0][0].integer, 0);
    bool sawTwo = false, sawThree = false;
    for (const auto& d : s.dones()) {
        sawTwo = sawTwo || d.count == 2;
        sawThree = sawThree || d.count == 3;
    }
    EXPECT_TRUE(sawTwo && sawThree) << "each delete reports the rows it removed";
}

TEST_F(EngineQuery, TemporaryTablesAndNocount) {
    auto& s = run("create table #work (v int)\n"
                  "insert #work values (1)\n"
                  "select v * 2 as d into #double from #work\n"
                  "set nocount on\n"
                  "insert into #work values (2)\n"
                  "select count(*) from #work\n"
                  "set nocount off\n"
                  "select d from #double\n"
                  "drop table #work");
    EXPECT_TRUE(s.errors().empty()) << s.errors()[0].text;
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 9u);
    EXPECT_EQ(dones[1].count, 1);
    EXPECT_FALSE(dones[4].count.has_value()) << "no counts while nocount is on";
    EXPECT_FALSE(dones[5].count.has_value());
    EXPECT_EQ(dones[7].count, 1);
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows[0][0].integer, 2);
    EXPECT_EQ(results[1].rows[0][0].integer, 2);
    // Temporary tables belong to their session.
    auto other = database->openSession(LoginInfo{}, 9);
    RecordingSink otherSink;
    other->executeBatch("select * from #double", otherSink);
    ASSERT_EQ(otherSink.errors().size(), 1u);
    EXPECT_EQ(otherSink.errors()[0].number, 208);
}

TEST_F(EngineQuery, DeepNestingIsRefusedNotFatal) {
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "if 1 = 1 ";
    deep += "select 1";
    auto& s = run(deep);
    ASSERT_EQ(s.errors().size(), 1u);
    EXPECT_EQ(s.errors()[0].number, 404);
    std::string blocks;
    for (int i = 0; i < 100; ++i)
        blocks += "begin ";
    blocks += "select 7 ";
    for (int i = 0; i < 100; ++i)
        blocks += "end ";
    auto& ok = run(blocks);
    EXPECT_TRUE(ok.errors().empty());
    EXPECT_EQ(ok.results().at(0).rows.at(0)[0].integer, 7);
}

TEST_F(EngineQuery, MarkersAndParametersCarryValues) {
    run("create table priced (name varchar(10), price money, sold datetime)\n"
        "insert into priced values ('a', 5, '2026-01-01') insert into priced values ('b', 15.5, "
        "'2026-02-01')\n"
        "insert into priced values ('c', 25, null)");
    auto text = [](const std::string& s) {
        RpcParameter p;
        p.type.type = SqlType::VarChar;
        p.type.length = 255;
        p.value.isNull = false;
        p.value.bytes = s;
        return p;
    };
    const std::string sql =
        "select name from priced where price > ? and name <> '?' and sold < ? order by name";
    EXPECT_EQ(session->countParameterMarkers(sql), 2);
    EXPECT_EQ(session->countParameterMarkers("select 1 -- ?\n/* ? */ select '?'"), 0);
    sink.clear();
    session->executeWithMarkers(sql, {text("10"), text("2026-06-01")}, sink);
    EXPECT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    EXPECT_EQ(results[0].rows[0][0].bytes, "b");
    // A marker that matches nothing still gives an empty row result.
    sink.clear();
    session->executeWithMarkers("select name from priced where price > ?", {text("1000")}, sink);
    ASSERT_EQ(sink.results().size(), 1u);
    EXPECT_TRUE(sink.results()[0].rows.empty());
    // Too few values is an error, not a crash.
    sink.clear();
    session->executeWithMarkers("select ? + ?", {text("1")}, sink);
    EXPECT_EQ(sink.errors().size(), 1u);
    // A ? in a plain batch is a syntax error.
    EXPECT_EQ(run("select ?").errors().at(0).number, 102);

    RpcParameter limit;
    limit.name = "@limit";
    limit.type.type = SqlType::Money;
    limit.value.isNull = false;
    limit.value.integer = 200000; // 20.0000
    sink.clear();
    session->executeBatchWithParams("select name from priced where price < @limit order by name",
                                    {limit}, sink);
    EXPECT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    ASSERT_EQ(sink.results().size(), 1u);
    EXPECT_EQ(sink.results()[0].rows.size(), 2u);
}

TEST_F(EngineQuery, LikeIsCaseSensitiveAsTheServersBinaryOrder) {
    auto& s = run("create table names_t (n varchar(10))\n"
                  "insert into names_t values ('Smith') insert into names_t values ('smith')\n"
                  "select count(*) from names_t where n like 'S%'\n"
                  "select count(*) from names_t where n = 'smith'");
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows[0][0].integer, 1);
    EXPECT_EQ(results[1].rows[0][0].integer, 1);
}

TEST_F(EngineQuery, DivisionByZeroFailsLikeTheServer) {
    run("create table ratio (a int, b int, m money)\n"
        "insert into ratio values (7, 2, 0) insert into ratio values (9, 3, 1.5)");
    auto& s = run("select a / b, a % b, a / (b - 1), -a / -b, 10.0 / m from ratio where m > 0\n"
                  "select 1 / 2 * 4, 7 / ratio.b from ratio where b = 2");
    ASSERT_TRUE(s.errors().empty());
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    const auto& first = results[0].rows.at(0);
    EXPECT_EQ(first[0].integer, 3);
    EXPECT_EQ(first[1].integer, 0);
    EXPECT_EQ(first[2].integer, 4);
    EXPECT_EQ(first[3].integer, 3);
    // numeric(3,1) / money is an exact numeric with the scale the division rule gives.
    ASSERT_EQ(results[0].columns[4].type.type, SqlType::Numeric);
    const int scale = results[0].columns[4].type.scale;
    EXPECT_NEAR(static_cast<double>(first[4].numeric) / std::pow(10.0, scale), 10.0 / 1.5, 1e-12);
    const auto& last = results.back().rows.at(0);
    EXPECT_EQ(last[0].integer, 0);
    EXPECT_EQ(last[1].integer, 3);

    // A divide by zero ends the batch (earlier statements stay done) ...
    for (const char* failing : {"select a / (b - 2) from ratio", "select m / 0 from ratio"}) {
        auto& f =
            run(std::string("insert into ratio values (1, 1, 1)\n") + failing + "\nselect 'after'");
        ASSERT_EQ(f.errors().size(), 1u) << failing;
        EXPECT_EQ(f.errors()[0].number, 3607);
        EXPECT_EQ(f.errors()[0].text, "Divide by zero occurred.");
        EXPECT_TRUE(f.results().empty()) << "nothing after the failing statement runs: " << failing;
    }
    EXPECT_EQ(run("select count(*) from ratio").results().at(0).rows.at(0)[0].integer, 4);
    // ... and rolls back the transaction it occurs in.
    auto& t =
        run("begin tran\ninsert into ratio values (5, 5, 5)\nselect a / 0 from ratio\ncommit");
    EXPECT_EQ(t.errors().size(), 1u);
    auto& after = run("select count(*), @@trancount from ratio");
    EXPECT_EQ(after.results().at(0).rows.at(0)[0].integer, 4);
    EXPECT_EQ(after.results().at(0).rows.at(0)[1].integer, 0);
}

TEST_F(EngineQuery, SetOptionsApply) {
    run("create table opt (a int, b int null)\ninsert opt values (1, null) insert opt values (2, "
        "5)");
    // datefirst: 8 Dec 2026 is a Tuesday, day 3 of a week that starts on Sunday, 2 from Monday.
    auto& week = run("select datepart(weekday, '2026-12-08')\nset datefirst 1\n"
                     "select datepart(weekday, '2026-12-08')");
    ASSERT_EQ(week.results().size(), 2u);
    EXPECT_EQ(week.results()[0].rows.at(0)[0].integer, 3);
    EXPECT_EQ(week.results()[1].rows.at(0)[0].integer, 2);
    EXPECT_EQ(session->option(SessionOption::DateFirst), 1);

    // ansinull off (the default): `= null` finds the NULLs; on: it finds nothing.
    auto& nulls = run("select count(*) from opt where b = null\nif null = null select 'equal'\n"
                      "set ansinull on\nselect count(*) from opt where b = null\nselect count(*) "
                      "from opt where b <> null");
    ASSERT_EQ(nulls.results().size(), 4u);
    EXPECT_EQ(nulls.results()[0].rows.at(0)[0].integer, 1);
    EXPECT_EQ(nulls.results()[1].rows.at(0)[0].bytes, "equal");
    EXPECT_EQ(nulls.results()[2].rows.at(0)[0].integer, 0);
    EXPECT_EQ(nulls.results()[3].rows.at(0)[0].integer, 0);
    run("set ansinull off");
    EXPECT_EQ(run("update opt set b = null where b <> null").dones().at(0).count, 1)
        << "update's set stays an assignment";

    // fmtonly: the description without rows.
    auto& format = run("set fmtonly on\nselect a, b from opt\nset fmtonly off");
    ASSERT_EQ(format.results().size(), 1u);
    EXPECT_EQ(format.results()[0].columns.size(), 2u);
    EXPECT_TRUE(format.results()[0].rows.empty());

    // chained: a data statement begins a transaction that stays open.
    auto& chained = run("set chained on\ninsert opt values (3, 3)\nselect @@trancount");
    EXPECT_EQ(chained.results().at(0).rows.at(0)[0].integer, 1);
    EXPECT_EQ(run("set chained off").errors().at(0).number, 226);
    run("rollback\nset chained off");
    EXPECT_EQ(run("select count(*) from opt").results().at(0).rows.at(0)[0].integer, 2);

    // arithabort arith_overflow off: a divide by zero ends only its statement.
    auto& arith = run("set arithabort arith_overflow off\nselect 1 / 0\nselect 'after'");
    EXPECT_EQ(arith.errors().size(), 1u);
    EXPECT_EQ(arith.results().size(), 1u);
    run("set arithabort on");

    // noexec: statements are checked, not run.
    auto& noexec =
        run("set noexec on\ninsert opt values (9, 9)\nset noexec off\nselect count(*) from opt");
    EXPECT_EQ(noexec.results().at(0).rows.at(0)[0].integer, 2);
}

TEST_F(EngineQuery, AnErrorInsideATransactionLeavesItOpenForTheClient) {
    run("create table acct (id int, v int)\ncreate unique index acct_id on acct (id)\ninsert acct "
        "values (1, 10)");
    auto& s = run("begin tran\n"
                  "update acct set v = 20 where id = 1\n"
                  "select @@rowcount\n"
                  "insert acct values (1, 99)\n"
                  "select @@trancount, @@rowcount, @@error");
    ASSERT_EQ(s.errors().size(), 1u);
    EXPECT_EQ(s.errors()[0].number, 2601);
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows.at(0)[0].integer, 1) << "@@rowcount after the update";
    EXPECT_EQ(results[1].rows.at(0)[0].integer, 1) << "the transaction stays open";
    EXPECT_EQ(results[1].rows.at(0)[1].integer, 0) << "the failed insert counted no row";
    EXPECT_EQ(results[1].rows.at(0)[2].integer, 2601);
    EXPECT_TRUE(session->inTransaction());
    run("rollback");
    EXPECT_FALSE(session->inTransaction());
    EXPECT_EQ(run("select v from acct").results().at(0).rows.at(0)[0].integer, 10)
        << "the update was rolled back";
}

TEST_F(EngineQuery, SyntaxErrorsQuoteWhatTheClientWrote) {
    EXPECT_EQ(run("select 0x0102 0x03").errors().at(0).text, "Incorrect syntax near '0x03'.");
}

} // namespace
} // namespace devserver::test

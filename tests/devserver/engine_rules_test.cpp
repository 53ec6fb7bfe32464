// The server's rules for stored values, comparisons, joins and the limits of data
// statements, each as Adaptive Server's reference manuals describe it: what is stored is
// what a client reads back, and what it reads back finds the row again.
#include "engine_sink.h"

#include "tools/devserver/TypesValues.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace devserver::test {
namespace {

class EngineRules : public EngineSessionTest {
protected:
    /// The single value of a one-row, one-column select.
    Value scalar(const std::string& sql) {
        auto& s = run(sql);
        EXPECT_TRUE(s.errors().empty()) << sql << ": " << s.errors().front().text;
        auto results = s.results();
        if (results.size() != 1 || results[0].rows.size() != 1) {
            ADD_FAILURE() << sql << ": no single row";
            return Value{};
        }
        return results[0].rows[0].at(0);
    }
    int64_t count(const std::string& sql) { return scalar(sql).integer; }
};

// Reference manual, "Nulls require variable-length datatypes" and "char and varchar": char
// not null is blank-padded to its length; varchar and char null (stored as varchar) lose
// their trailing blanks; comparisons ignore trailing blanks.
TEST_F(EngineRules, FixedAndVariableCharacterStorage) {
    run("create table chars (id int, f char(5), n char(5) null, v varchar(5) null)");
    run("insert into chars values (1, 'ab', 'ab  ', 'ab  ')");
    run("insert into chars (id, f) values (2, 'abcde')");
    const auto row =
        run("select datalength(f), datalength(n), datalength(v) from chars where id = 1")
            .results()
            .at(0)
            .rows.at(0);
    EXPECT_EQ(row[0].integer, 5);
    EXPECT_EQ(row[1].integer, 2);
    EXPECT_EQ(row[2].integer, 2);
    run("update chars set f = 'x', v = '   ' where id = 2");
    EXPECT_EQ(count("select datalength(f) from chars where id = 2"), 5);
    EXPECT_EQ(count("select datalength(v) from chars where id = 2"), 1) << "all blanks leave one";

    EXPECT_EQ(count("select datalength(convert(char(5), 'ab'))"), 5);
    EXPECT_EQ(count("declare @c char(5) select @c = 'ab' select datalength(@c)"), 5);

    struct Case {
        const char* condition;
        bool holds;
    };
    const Case comparisons[] = {
        {"'abc  ' = 'abc'", true}, {"'abc' = 'abc   '", true}, {"'abc ' <> 'abc'", false},
        {"' abc' = 'abc'", false}, {"@v = 'ab'", true},        {"upper(@v) = 'AB  '", true},
    };
    for (const auto& c : comparisons) {
        const std::string sql = std::string("declare @v varchar(10) select @v = 'ab   ' ") +
                                "select case when " + c.condition + " then 1 else 0 end";
        EXPECT_EQ(count(sql), c.holds ? 1 : 0) << c.condition;
    }
    // A padded value and the value as written find the same row.
    EXPECT_EQ(count("select count(*) from chars where f = 'ab'"), 1);
    EXPECT_EQ(count("select count(*) from chars where f like 'ab'"), 1);
    EXPECT_EQ(count("select count(*) from chars where v = 'ab   '"), 1);
}

// Reference manual, "Date and time datatypes": datetime is accurate to 1/300 second (shown
// with a last digit of 0, 3 or 6), smalldatetime to the minute.
TEST_F(EngineRules, DateTimesAreStoredAsTheyAreReadBack) {
    run("create table stamps (id int, d datetime null, s smalldatetime null)");
    struct Case {
        const char* written;
        uint32_t ticks; ///< 1/300 s after 10:00
    };
    const Case cases[] = {
        {"10:00:00.001", 0},
        {"10:00:00.002", 1},
        {"10:00:00.005", 2},
        {"10:00:00.998", 299},
    };
    int id = 0;
    for (const auto& c : cases) {
        ++id;
        run("insert into stamps (id, d) values (" + std::to_string(id) + ", '2026-03-10 " +
            c.written + "')");
        const Value stored = scalar("select d from stamps where id = " + std::to_string(id));
        EXPECT_EQ(stored.ticks, 10u * 3600 * 300 + c.ticks) << c.written;
        // What was stored is found again by the value written and by the value read back.
        EXPECT_EQ(count(std::string("select count(*) from stamps where d = '2026-03-10 ") +
                        c.written + "'"),
                  1)
            << c.written;
        EXPECT_EQ(count("select count(*) from stamps where d = convert(datetime, '2026-03-10 " +
                        std::string(c.written) + "')"),
                  1)
            << c.written;
    }
    // A value read back in milliseconds finds its row: .005 is stored as 2/300 s, which a
    // client shows as .006 or .007.
    EXPECT_EQ(count("select count(*) from stamps where d = '2026-03-10 10:00:00.007'"), 1);
    EXPECT_EQ(count("select count(*) from stamps where d = '2026-03-10 10:00:00.006'"), 1);
    EXPECT_EQ(count("select datepart(ms, d) from stamps where id = 3"), 6);

    run("insert into stamps (id, s) values (10, '2026-03-10 10:05:29.998')");
    run("insert into stamps (id, s) values (11, '2026-03-10 10:05:29.999')");
    EXPECT_EQ(count("select count(*) from stamps where s = '2026-03-10 10:05'"), 1);
    EXPECT_EQ(count("select count(*) from stamps where s = '2026-03-10 10:06'"), 1);
    EXPECT_EQ(count("select datepart(ss, s) from stamps where id = 11"), 0);
    run("declare @d datetime select @d = '2026-03-10 10:00:00.005' "
        "insert into stamps (id, d) values (12, dateadd(ms, 3, @d))");
    EXPECT_EQ(count("select datepart(ms, d) from stamps where id = 12"), 10);
}

// Every row of the sample sales table is found again by a where clause made of the date-times
// a client reads of it, whether it shows their milliseconds cut or rounded.
TEST(EngineRulesSample, FetchedDateTimesFindTheirRows) {
    ServerConfig config;
    config.sample = true;
    auto database = Database::open(config);
    auto session = database->openSession(LoginInfo{"tester", "", "", ""}, 1);
    RecordingSink sink;
    session->executeBatch("use pubs select ord_num, ord_date, shipped from sales", sink);
    const auto rows = sink.results().at(0).rows;
    ASSERT_GT(rows.size(), 30u);
    auto literal = [](const Value& v, bool rounded) {
        const DateTimeParts p = fromDaysTicks(v.days, 0);
        const uint32_t ms = rounded ? (v.ticks * 10 + 1) / 3 : v.ticks * 10 / 3;
        char text[40];
        std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02u:%02u:%02u.%03u'", p.year, p.month,
                      p.day, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        return std::string(text);
    };
    for (const auto& row : rows) {
        for (bool rounded : {false, true}) {
            std::string sql = "select count(*) from sales where ord_num = '" + row[0].bytes +
                              "' and ord_date = " + literal(row[1], rounded);
            if (!row[2].isNull)
                sql += " and shipped = " + literal(row[2], rounded);
            sink.clear();
            session->executeBatch(sql, sink);
            ASSERT_TRUE(sink.errors().empty()) << sql;
            EXPECT_EQ(sink.results().at(0).rows.at(0)[0].integer, 1) << sql;
        }
    }
}

// Error guide, message 233: an insert that leaves out a column without a default that does
// not allow nulls is refused when the batch is compiled, in state 2.
TEST_F(EngineRules, InsertLeavingOutARequiredColumnIsRefusedAtCompile) {
    run("create table required (a int, b varchar(5), c int default 0, d int null)");
    auto& s = run("insert into required (a, b) values (1, 'x')\n"
                  "insert into required (a, c) values (2, 3)");
    ASSERT_EQ(s.errors().size(), 1u);
    EXPECT_EQ(s.errors()[0].number, 233);
    EXPECT_EQ(s.errors()[0].state, 2);
    EXPECT_EQ(s.errors()[0].line, 2);
    EXPECT_NE(s.errors()[0].text.find("column b"), std::string::npos);
    EXPECT_EQ(count("select count(*) from required"), 0) << "nothing of the batch ran";
    EXPECT_TRUE(run("insert into required (b, a) values ('y', 4)").errors().empty());
}

// Transact-SQL User's Guide, "Outer joins" and "Outer join restrictions": `*=` keeps every
// row of the outer table; a condition on the inner table alone decides which rows carry
// nulls, it removes none; the inner table's columns are nullable in the result.
TEST_F(EngineRules, OldOuterJoinOperators) {
    run("create table authors2 (id int, name varchar(10))\n"
        "create table books2 (author int, title varchar(10), kind char(4))\n"
        "insert into authors2 values (1, 'Ann') insert into authors2 values (2, 'Bob')\n"
        "insert into authors2 values (3, 'Cy')\n"
        "insert into books2 values (1, 'One', 'prose') insert into books2 values (1, 'Two', "
        "'poem')\n"
        "insert into books2 values (2, 'Three', 'poem')");
    struct Case {
        const char* sql;
        std::vector<std::pair<std::string, std::string>> rows; ///< name, title ("-" for NULL)
    };
    const Case cases[] = {
        {"select a.name, b.title from authors2 a, books2 b where a.id *= b.author order by 1, 2",
         {{"Ann", "One"}, {"Ann", "Two"}, {"Bob", "Three"}, {"Cy", "-"}}},
        {"select name, title from books2, authors2 where author =* id order by 1, 2",
         {{"Ann", "One"}, {"Ann", "Two"}, {"Bob", "Three"}, {"Cy", "-"}}},
        {"select name, title from authors2, books2 where authors2.id *= books2.author "
         "and kind = 'poem' order by 1, 2",
         {{"Ann", "Two"}, {"Bob", "Three"}, {"Cy", "-"}}},
        {"select name, title from authors2, books2 where authors2.id *= books2.author "
         "and name between 'B' and 'Z' order by 1, 2",
         {{"Bob", "Three"}, {"Cy", "-"}}},
    };
    for (const auto& c : cases) {
        auto& s = run(c.sql);
        ASSERT_TRUE(s.errors().empty()) << c.sql << ": " << s.errors()[0].text;
        const auto result = s.results().at(0);
        ASSERT_EQ(result.rows.size(), c.rows.size()) << c.sql;
        for (size_t r = 0; r < c.rows.size(); ++r) {
            EXPECT_EQ(result.rows[r][0].bytes, c.rows[r].first) << c.sql;
            const auto& title = result.rows[r][1];
            EXPECT_EQ(title.isNull ? "-" : title.bytes, c.rows[r].second) << c.sql;
        }
        EXPECT_FALSE(result.columns[0].type.nullable) << c.sql;
        EXPECT_TRUE(result.columns[1].type.nullable) << "the inner table's column: " << c.sql;
    }
    const auto ansi =
        run("select b.title from authors2 a left join books2 b on a.id = b.author").results();
    EXPECT_TRUE(ansi.at(0).columns[0].type.nullable);
    const auto inner =
        run("select b.title from authors2 a join books2 b on a.id = b.author").results();
    EXPECT_FALSE(inner.at(0).columns[0].type.nullable);
}

// Reference manual, "+ (concatenation)": a NULL operand concatenates as an empty string.
TEST_F(EngineRules, NullConcatenatesAsEmpty) {
    run("create table names2 (first varchar(10) null, last varchar(10) null)");
    run("insert into names2 values ('Ann', null)");
    struct Case {
        const char* expression;
        const char* result; ///< nullptr for NULL
    };
    const Case cases[] = {
        {"'a' + NULL", "a"},
        {"'abc' + @unset", "abc"},
        {"@unset + 'abc' + @unset", "abc"},
        {"'x' + @unset + upper('y') + 'z'", "xYz"},
        {"(select first + ' ' + last from names2)", "Ann "},
        {"rtrim('a ' + @unset) + 'b'", "ab"},
        {"@unset + @unset", nullptr},
    };
    for (const auto& c : cases) {
        const Value v = scalar(std::string("declare @unset varchar(10) select ") + c.expression);
        if (c.result) {
            EXPECT_FALSE(v.isNull) << c.expression;
            EXPECT_EQ(v.bytes, c.result) << c.expression;
        } else {
            EXPECT_TRUE(v.isNull) << c.expression;
        }
    }
}

// Reference manual, "set": rowcount stops select, insert, update and delete statements after
// that many rows (truncate table empties the table all the same).
TEST_F(EngineRules, RowcountLimitsUpdatesAndDeletes) {
    run("create table limited (id int, v int)");
    for (int id = 1; id <= 6; ++id)
        run("insert into limited values (" + std::to_string(id) + ", 0)");
    run("create table marks (id int)");
    run("insert into marks values (2) insert into marks values (4) insert into marks values (6)");

    run("set rowcount 2");
    auto& updated = run("update limited set v = 1 where id > 1");
    ASSERT_TRUE(updated.errors().empty()) << updated.errors()[0].text;
    EXPECT_EQ(updated.dones().back().count, 2);
    EXPECT_EQ(count("select count(*) from limited where v = 1"), 2);
    auto& deleted = run("delete limited where v = 0");
    ASSERT_TRUE(deleted.errors().empty()) << deleted.errors()[0].text;
    EXPECT_EQ(deleted.dones().back().count, 2);
    EXPECT_EQ(count("select count(*) from limited"), 4);
    EXPECT_EQ(run("update limited set v = 2 from limited, marks where limited.id >= marks.id")
                  .dones()
                  .back()
                  .count,
              2);
    EXPECT_EQ(count("select count(*) from limited where v = 2"), 2);
    EXPECT_EQ(run("insert into marks select id from limited").dones().back().count, 2);
    EXPECT_EQ(count("select count(*) from marks"), 5) << "the select reads the first 2 rows";
    run("set rowcount 0");
    EXPECT_EQ(run("update limited set v = 3").dones().back().count, 4) << "no limit after 0";
    run("set rowcount 1");
    run("truncate table limited");
    run("set rowcount 0");
    EXPECT_EQ(count("select count(*) from limited"), 0) << "truncate table is not limited";
}

// Reference manual, "update" and "delete": the from clause joins other tables; the table
// written, named there too, is the same table, not a second copy of it.
TEST_F(EngineRules, UpdatesAndDeletesJoinOtherTables) {
    run("create table prices (id int, price money, kind varchar(5))\n"
        "create table rises (kind varchar(5), pct int)\n"
        "insert into prices values (1, $10, 'a') insert into prices values (2, $20, 'b')\n"
        "insert into prices values (3, $30, 'c')\n"
        "insert into rises values ('a', 10) insert into rises values ('b', 50)");
    auto& u = run("update prices set price = price * (100 + r.pct) / 100 from prices, rises r "
                  "where prices.kind = r.kind");
    ASSERT_TRUE(u.errors().empty()) << u.errors()[0].text;
    EXPECT_EQ(u.dones().back().count, 2);
    const auto prices = run("select price from prices order by id").results().at(0).rows;
    ASSERT_EQ(prices.size(), 3u);
    EXPECT_EQ(prices[0][0].integer, 110000);
    EXPECT_EQ(prices[1][0].integer, 300000);
    EXPECT_EQ(prices[2][0].integer, 300000);

    // The target may be left out of the from list, or given an alias there.
    EXPECT_EQ(run("update prices set kind = 'z' from rises where prices.kind = rises.kind and "
                  "rises.pct > 20")
                  .dones()
                  .back()
                  .count,
              1);
    EXPECT_EQ(run("update prices set kind = 'y' from prices p, rises where p.kind = rises.kind")
                  .dones()
                  .back()
                  .count,
              1);
    auto& d = run("delete prices from prices, rises where rises.kind = 'b' and "
                  "prices.price > $20");
    ASSERT_TRUE(d.errors().empty()) << d.errors()[0].text;
    EXPECT_EQ(d.dones().back().count, 2);
    EXPECT_EQ(count("select count(*) from prices"), 1);
    EXPECT_EQ(run("delete from prices from prices p, rises where p.id = 1 and rises.kind = 'a'")
                  .dones()
                  .back()
                  .count,
              1);
    EXPECT_EQ(count("select count(*) from prices"), 0);
}

// Reference manual, "like" and "Wildcard characters": % _ [abc] [a-c] [^a-c], an escape
// character, matching case-sensitively under the default binary sort order.
TEST_F(EngineRules, LikeBracketsAndRanges) {
    struct Case {
        const char* condition;
        bool holds;
    };
    const Case cases[] = {
        {"'abc' like 'a[a-c]c'", true},
        {"'adc' like 'a[a-c]c'", false},
        {"'abc' like 'a[^a-c]c'", false},
        {"'adc' like 'a[^a-c]c'", true},
        {"'abc' like '[xa]%'", true},
        {"'a%c' like 'a[%]c'", true},
        {"'abc' like 'a[%]c'", false},
        {"'a_c' like 'a!_c' escape '!'", true},
        {"'abc' like 'a!_c' escape '!'", false},
        {"'abc' like '%b%'", true},
        {"'abc' like 'A%'", false},
        {"'aXbXc' like 'a%b%c'", true},
        {"'é1' like '_[0-9]'", true},
        {"'abc' not like 'a[bc]_'", false},
        {"'[x' like '[x'", true},
        {"'ab   ' like 'ab'", true},
        {"'ab' like 'ab '", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(count(std::string("select case when ") + c.condition + " then 1 else 0 end"),
                  c.holds ? 1 : 0)
            << c.condition;
}

// Reference manual, "convert" and "Money datatypes": money shown as text keeps two decimals;
// converted to an integer it is rounded.
TEST_F(EngineRules, MoneyConversions) {
    run("create table wallet (m money, s smallmoney)");
    run("insert into wallet values ($1234.5, $4.5)");
    EXPECT_EQ(scalar("select convert(varchar, $1234.5)").bytes, "1234.50");
    EXPECT_EQ(scalar("select convert(varchar(20), m) from wallet").bytes, "1234.50");
    EXPECT_EQ(scalar("select convert(int, $4.50)").integer, 5);
    EXPECT_EQ(scalar("select convert(int, -$4.50)").integer, -5);
    EXPECT_EQ(scalar("select convert(int, s) from wallet").integer, 5);
    EXPECT_EQ(scalar("select convert(int, $4.49)").integer, 4);
    EXPECT_EQ(scalar("select convert(varchar, 4.5)").bytes, "4.5") << "a numeric keeps its digits";
}

// Reference manual, "String functions".
TEST_F(EngineRules, StringFunctions) {
    struct Case {
        const char* expression;
        const char* text; ///< nullptr: NULL
    };
    const Case texts[] = {
        {"rtrim('   ')", nullptr},
        {"ltrim('  ')", nullptr},
        {"ltrim('  a ') + '|'", "a |"},
        {"substring('abc', 4, 2)", nullptr},
        {"substring('abcdef', -1, 3)", "a"},
        {"substring('abcdef', 2, 3)", "bcd"},
        {"right('abcdef', 2)", "ef"},
        {"stuff('abcdef', 2, 3, 'XY')", "aXYef"},
        {"stuff('abc', 2, 1, null)", "ac"},
        {"stuff('abc', 5, 1, 'x')", nullptr},
        {"char(65)", "A"},
        {"reverse('abc')", "cba"},
        {"soundex('Smith')", "S530"},
        {"soundex('Robert')", "R163"},
        {"str_replace('a-b-c', '-', '+')", "a+b+c"},
        {"str_replace('a-b-c', '-', null)", "abc"},
        {"datename(month, '2026-03-10')", "March"},
        {"datename(weekday, '2026-03-10')", "Tuesday"},
        {"datename(year, '2026-03-10')", "2026"},
    };
    for (const auto& c : texts) {
        const Value v = scalar(std::string("select ") + c.expression);
        if (c.text) {
            EXPECT_FALSE(v.isNull) << c.expression;
            EXPECT_EQ(v.bytes, c.text) << c.expression;
        } else {
            EXPECT_TRUE(v.isNull) << c.expression << " gave '" << v.bytes << "'";
        }
    }
    struct Number {
        const char* expression;
        int64_t value;
    };
    const Number numbers[] = {
        {"patindex('%cd%', 'abcdcd')", 3},
        {"patindex('%[0-9]%', 'ab7c')", 3},
        {"patindex('ab%', 'abc')", 1},
        {"patindex('%x%', 'abc')", 0},
        {"ascii('A')", 65},
        {"difference('Smith', 'Smyth')", 4},
        {"charindex('b', 'abcabc', 3)", 5},
        {"charindex('b', 'abcabc')", 2},
        {"charindex('é', 'aéb')", 2},
    };
    for (const auto& c : numbers)
        EXPECT_EQ(count(std::string("select ") + c.expression), c.value) << c.expression;
    EXPECT_EQ(scalar("select convert(binary(4), 1)").bytes, std::string("\0\0\0\1", 4));
    EXPECT_EQ(scalar("select convert(varbinary(8), 258)").bytes, std::string("\0\0\1\2", 4));
}

// Error guide, message 266: a procedure that ends with another transaction count than it
// began with (here: it rolled back its caller's transaction) is reported on its return.
TEST_F(EngineRules, ProcedureEndingTheCallersTransaction) {
    run("create table log2 (n int)");
    run("create procedure undo as rollback transaction");
    run("create procedure keep as select 1");
    auto& s = run("begin transaction insert into log2 values (1) exec undo select @@trancount");
    auto messages = s.messages();
    auto found = std::find_if(messages.begin(), messages.end(),
                              [](const ServerMessage& m) { return m.number == 266; });
    ASSERT_NE(found, messages.end());
    EXPECT_NE(found->text.find("Previous count = 1, Current count = 0"), std::string::npos);
    EXPECT_EQ(count("select count(*) from log2"), 0);
    auto& quiet = run("begin transaction exec keep commit transaction");
    for (const auto& m : quiet.messages())
        EXPECT_NE(m.number, 266);
}

// Error guide, message 3606: a float result too large for its type is an arithmetic
// overflow, not an infinity.
TEST_F(EngineRules, FloatOverflowIsAnError) {
    for (const char* sql : {"select 1e300 * 1e10", "select convert(real, 1e300)",
                            "declare @f float select @f = 1e300 * 1e300"}) {
        auto errors = run(sql).errors();
        ASSERT_EQ(errors.size(), 1u) << sql;
        EXPECT_EQ(errors[0].number, 3606) << sql;
    }
    EXPECT_DOUBLE_EQ(scalar("select 1e300 * 10").real, 1e301);
}

} // namespace
} // namespace devserver::test

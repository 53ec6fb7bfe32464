// The server's rules for stored values, comparisons, joins and the limits of data
// statements, each as Adaptive Server's reference manuals describe it: what is stored is
// what a client reads back, and what it reads back finds the row again.
#include "engine_sink.h"

#include <gtest/gtest.h>

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
    const auto row = run("select datalength(f), datalength(n), datalength(v) from chars where id = 1")
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
        {"'abc  ' = 'abc'", true},
        {"'abc' = 'abc   '", true},
        {"'abc ' <> 'abc'", false},
        {"' abc' = 'abc'", false},
        {"@v = 'ab'", true},
        {"upper(@v) = 'AB  '", true},
    };
    for (const auto& c : comparisons) {
        const std::string sql = std::string("declare @v varchar(10) select @v = 'ab   ' ") +
                                "select case when " + c.condition + " then 1 else 0 end";
        EXPECT_EQ(count(sql), c.holds ? 1 : 0) << c.condition;
    }
    // A padded value and the value as written find the same row.
    EXPECT_EQ(count("select count(*) from chars where f = 'ab'"), 1);
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
        {"10:00:00.001", 0}, {"10:00:00.002", 1}, {"10:00:00.005", 2}, {"10:00:00.998", 299},
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

} // namespace
} // namespace devserver::test

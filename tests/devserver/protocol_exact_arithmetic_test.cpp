// Money and numeric values computed exactly, as a client sees them through ct-lib: 38-digit
// numerics and the money range edges through + - * /, unary minus, convert, isnull and case;
// results brought to their scale; exact sums and averages over many rows; comparisons,
// ordering and joins that tell apart numbers differing only in their last digit; overflow
// and division by zero raising the server's errors.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include "TypesValues.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

constexpr const char* kBig = "12345678901234567890123456789012345678";
constexpr const char* kMoneyMax = "922337203685477.5807";
constexpr const char* kMoneyMin = "-922337203685477.5808";

class ExactArithmetic : public ::testing::Test {
protected:
    void SetUp() override {
        CtBatch b = con.execute(
            std::string("create table xa (id int, n38 numeric(38,0), f38 numeric(38,10), m money, "
                        "n numeric(10,2), sm smallmoney)\n"
                        "insert into xa values (1, ") +
            kBig + ", 1234567890123456789012345678.0123456789, $" + kMoneyMax +
            ", 12.34, 214748.3647)\n" + "insert into xa values (2, -" + kBig + ", -0.0000000001, " +
            kMoneyMin + ", -0.01, -214748.3648)");
        ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    }

    /// The single value of `sql`, failing the test on any error.
    std::string value(const std::string& sql) {
        CtBatch b = con.execute(sql);
        for (const auto& e : b.errors())
            ADD_FAILURE() << sql << ": " << e.number << " " << e.text;
        if (b.rowResults().size() != 1 || b.rowResults()[0]->rows.size() != 1) {
            ADD_FAILURE() << sql << ": not one row";
            return {};
        }
        return b.rowResults()[0]->rows[0].at(0).text;
    }

    /// The number of the one error `sql` raises (0 when it raises none).
    int errorOf(const std::string& sql) {
        CtBatch b = con.execute(sql);
        if (b.errors().size() != 1) {
            ADD_FAILURE() << sql << ": " << b.errors().size() << " errors";
            return b.errors().empty() ? 0 : b.errors()[0].number;
        }
        return b.errors()[0].number;
    }

    DevServer server;
    CtConnection con;
};

struct Case {
    const char* expression; ///< selected from the row with id 1
    const char* text;
};

const Case kCases[] = {
    // 38 digits through every operator
    {"n38 + 0", "12345678901234567890123456789012345678"},
    {"n38 - 1", "12345678901234567890123456789012345677"},
    {"n38 - n38", "0"},
    {"-n38", "-12345678901234567890123456789012345678"},
    {"convert(numeric(38,0), '12345678901234567890123456789012345678') + 1",
     "12345678901234567890123456789012345679"},
    {"convert(numeric(38,0), '99999999999999999999999999999999999998') + 1",
     "99999999999999999999999999999999999999"},
    {"convert(numeric(30,0), '123456789012345678901234567890') * 3",
     "370370367037037036703703703670"},
    {"convert(numeric(20,0), '12345678901234567890') * convert(numeric(17,0), '10000000000000000')",
     "123456789012345678900000000000000000"},
    {"convert(numeric(30,0), '123456789012345678901234567890') / 10",
     "12345678901234567890123456789.00000000"},
    {"f38 + 1", "1234567890123456789012345679.012345679"},
    {"f38 - 1234567890123456789012345678", "0.012345679"},
    // results brought to their scale: divisions cut, the rest rounded half away from zero
    {"convert(numeric(10,0), 2) / 3", "0.66666666666"},
    {"convert(numeric(5,2), -2) / 3", "-0.6666666666666"},
    {"n * 0.5", "6.170"},
    {"convert(numeric(38,20), 0.0000005) * convert(numeric(38,20), 1)", "0.000001"},
    {"convert(numeric(38,20), -0.0000004999) * convert(numeric(38,20), 1)", "0.000000"},
    // round and abs keep the type and every digit
    {"round(n38 - 50, -2)", "12345678901234567890123456789012345600"},
    {"round(f38, 9)", "1234567890123456789012345678.0123456790"},
    {"round(f38, 2)", "1234567890123456789012345678.0100000000"},
    {"round(m, 2)", "922337203685477.5800"},
    {"round(convert(money, -2.5), 0)", "-3.0000"},
    {"round(convert(numeric(5,1), 14.6), -1)", "10.0"},
    {"round(convert(numeric(5,1), 15.0), -1)", "20.0"},
    {"abs(-n38)", "12345678901234567890123456789012345678"},
    {"abs(convert(numeric(5,2), -0.05)) * 3", "0.15"},
    // the money range
    {"m", kMoneyMax},
    {"m + 0", kMoneyMax},
    {"m - $0.0001", "922337203685477.5806"},
    {"m * 1", kMoneyMax},
    {"m / 3", "307445734561825.8602"},
    {"-m", "-922337203685477.5807"},
    {"-m - $0.0001", kMoneyMin},
    {"convert(money, '-922337203685477.5808')", kMoneyMin},
    {"m - m", "0.0000"},
    {"$0.0001 / 2", "0.0000"},
    {"sm + 0", "214748.3647"},
    {"sm - $0.0001", "214748.3646"},
    // exact values pass through isnull, coalesce, case and convert
    {"isnull(n38, 0) + 1", "12345678901234567890123456789012345679"},
    {"coalesce(null, n38) - 8", "12345678901234567890123456789012345670"},
    {"case when id = 1 then n38 else 0 end + 2", "12345678901234567890123456789012345680"},
    {"convert(varchar(40), n38 - 1)", "12345678901234567890123456789012345677"},
    {"convert(numeric(38,0), f38)", "1234567890123456789012345678"},
    {"convert(int, n * 100)", "1234"},
    {"convert(money, n38 / 10000000000000000000000000)", "1234567890123.4568"},
    {"convert(float, n) * 2", "24.68"},
};

} // namespace

TEST_F(ExactArithmetic, OperatorsKeepEveryDigit) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(value(std::string("select ") + c.expression + " from xa where id = 1"), c.text);
    }
}

TEST_F(ExactArithmetic, VariablesComputeExactly) {
    EXPECT_EQ(value(std::string("declare @v numeric(38,0) select @v = ") + kBig +
                    " select @v = @v - 2 select @v + 1"),
              "12345678901234567890123456789012345677");
    EXPECT_EQ(value("declare @m money select @m = $922337203685477.5806 select @m + $0.0001"),
              kMoneyMax);
}

TEST_F(ExactArithmetic, ResultsOutsideTheirTypeOverflow) {
    for (const char* sql : {
             "select convert(numeric(38,0), '99999999999999999999999999999999999999') + 1",
             "select n38 * 10 from xa where id = 1",
             "select -n38 - n38 * 9 from xa where id = 1",
             "select m + $0.0001 from xa where id = 1",
             "select m * 2 from xa where id = 2",
             "select -m from xa where id = 2",
             "select sm + sm from xa where id = 1",
             "select convert(money, n38) from xa where id = 1",
             "select convert(int, n38) from xa where id = 1",
             "select abs(m) from xa where id = 2",
             "select round(m, -1) from xa where id = 1",
             "select n38 * n38 from xa where id = 1",
             "select sum(a.n38 * 8) from xa a, xa b where a.id = 1",
         }) {
        EXPECT_EQ(errorOf(sql), 3606) << sql;
    }
    EXPECT_EQ(value("select n from xa where id = 1"), "12.34") << "the session goes on";
}

TEST_F(ExactArithmetic, DivisionByZeroFails) {
    for (const char* sql :
         {"select n / 0 from xa where id = 1", "select m / $0 from xa where id = 1",
          "select n38 / convert(numeric(5,2), 0.00) from xa where id = 1",
          "select avg(n) / 0 from xa"}) {
        EXPECT_EQ(errorOf(sql), 3607) << sql;
    }
}

TEST_F(ExactArithmetic, SumsAndAveragesOverManyRowsAreExact) {
    // 1,000 rows of one value: SQLite's floating point would lose the low digits.
    CtBatch b =
        con.execute("create table digit (d int)\n"
                    "insert digit values (0) insert digit values (1) insert digit values (2) "
                    "insert digit values (3) "
                    "insert digit values (4) insert digit values (5) insert digit values (6) "
                    "insert digit values (7) "
                    "insert digit values (8) insert digit values (9)\n"
                    "create table many (v numeric(38,4) null, m money null, n numeric(12,2) null)\n"
                    "insert many select 12345678901234567890.1234, $92233720368.5477, 0.01 from "
                    "digit a, digit b, digit c\n"
                    "insert many values (null, null, null)");
    ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    EXPECT_EQ(value("select count(*) from many"), "1001");
    EXPECT_EQ(value("select sum(v) from many"), "12345678901234567890123.4000");
    EXPECT_EQ(value("select avg(v) from many"), "12345678901234567890.123400");
    EXPECT_EQ(value("select sum(m) from many"), "92233720368547.7000");
    EXPECT_EQ(value("select avg(m) from many"), "92233720368.5477");
    EXPECT_EQ(value("select sum(n) from many"), "10.00");
    EXPECT_EQ(value("select sum(distinct n) from many"), "0.01");
    EXPECT_EQ(value("select sum(v - 12345678901234567890) from many"), "123.4000");
    EXPECT_EQ(value("select sum(n) from many where n is null"), "");
    // A money sum past the money range overflows.
    b = con.execute(
        "insert many select null, $922337203685.4775, null from digit a, digit b, digit c");
    ASSERT_FALSE(b.failed);
    EXPECT_EQ(errorOf("select sum(m) from many"), 3606);
}

TEST_F(ExactArithmetic, ComparisonsOrderingAndJoinsSeeTheLastDigit) {
    CtBatch b = con.execute("create table near (k numeric(38,0), f numeric(38,10))\n"
                            "insert near values (12345678901234567890123456789012345679, "
                            "1234567890123456789012345678.0123456780)\n"
                            "insert near values (12345678901234567890123456789012345677, "
                            "1234567890123456789012345678.0123456790)\n"
                            "insert near values (12345678901234567890123456789012345678, "
                            "1234567890123456789012345678.0123456789)\n"
                            "create index near_k on near (k)");
    ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    EXPECT_EQ(value(std::string("select count(*) from near where k = ") + kBig), "1");
    EXPECT_EQ(value(std::string("select count(*) from near where k > ") + kBig), "1");
    EXPECT_EQ(value(std::string("select count(*) from near where k >= ") + kBig), "2");
    EXPECT_EQ(value("select count(*) from near where f < 1234567890123456789012345678.012345679"),
              "2");
    EXPECT_EQ(value("select count(*) from near n, xa x where n.k = x.n38"), "1");
    EXPECT_EQ(value("select count(*) from near n, xa x where n.f = x.f38"), "1");
    EXPECT_EQ(
        value("select count(*) from near where k - 1 = 12345678901234567890123456789012345676"),
        "1");
    // Computed values far beyond 15 digits still compare as numbers with small ones.
    EXPECT_EQ(value("select count(*) from near where k - 1 < 5"), "0");
    EXPECT_EQ(value("select count(*) from near where -k + 0 < -5.5"), "3");
    EXPECT_EQ(value("select count(*) from near where k * 1 between 0 and k"), "3");
    EXPECT_EQ(value(std::string("declare @v numeric(38,0) select @v = ") + kBig +
                    " select count(*) from near where @v > 5 and 5 < @v"),
              "3");
    EXPECT_EQ(
        value("select count(*) from near where k + 0 > 12345678901234567890123456789012345677.5"),
        "2");
    b = con.execute("select k, f from near order by k");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& rows = b.rowResults()[0]->rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0].text, "12345678901234567890123456789012345677");
    EXPECT_EQ(rows[1][0].text, kBig);
    EXPECT_EQ(rows[2][0].text, "12345678901234567890123456789012345679");
    b = con.execute("select f from near order by f desc");
    ASSERT_EQ(b.rowResults().size(), 1u);
    ASSERT_EQ(b.rowResults()[0]->rows.size(), 3u);
    EXPECT_EQ(b.rowResults()[0]->rows[0][0].text, "1234567890123456789012345678.0123456790");
    EXPECT_EQ(b.rowResults()[0]->rows[2][0].text, "1234567890123456789012345678.0123456780");
    // Computed keys order by value, long and short ones mixed.
    b = con.execute("insert near values (-5, 0) insert near values (7, 0)\n"
                    "insert near values (-12345678901234567890123456789012345678, 0)\n"
                    "select k - 1 from near order by k - 1 desc, f * 1");
    ASSERT_EQ(b.rowResults().size(), 1u) << (b.errors().empty() ? "" : b.errors()[0].text);
    ASSERT_EQ(b.rowResults()[0]->rows.size(), 6u);
    const char* descending[] = {"12345678901234567890123456789012345678",
                                "12345678901234567890123456789012345677",
                                "12345678901234567890123456789012345676",
                                "6",
                                "-6",
                                "-12345678901234567890123456789012345679"};
    for (size_t r = 0; r < 6; ++r)
        EXPECT_EQ(b.rowResults()[0]->rows[r][0].text, descending[r]) << "row " << r;
    // Every select of a union computes exactly.
    b = con.execute("select k from near where k = 7 union all select k - 1 from near where k > 100 "
                    "union all select n38 + 1 from xa where id = 1 order by 1");
    ASSERT_EQ(b.rowResults().size(), 1u) << (b.errors().empty() ? "" : b.errors()[0].text);
    ASSERT_EQ(b.rowResults()[0]->rows.size(), 5u);
    EXPECT_EQ(b.rowResults()[0]->rows[0][0].text, "7");
    EXPECT_EQ(b.rowResults()[0]->rows[1][0].text, "12345678901234567890123456789012345676");
    EXPECT_EQ(b.rowResults()[0]->rows[4][0].text, "12345678901234567890123456789012345679");
    // A delete's condition compares exactly too.
    b = con.execute("delete near where k - 1 < 12345678901234567890123456789012345677");
    ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    EXPECT_EQ(value("select count(*) from near"), "2");
    EXPECT_EQ(value("select max(k) - min(k) from near"), "1");
    EXPECT_EQ(value("select max(k - 12345678901234567890123456789012345670) from near"), "9");
    EXPECT_EQ(value("select min(k * 1) from near"), "12345678901234567890123456789012345678");
    EXPECT_EQ(value("select max(-k + 0) from near"), "-12345678901234567890123456789012345678");
    EXPECT_EQ(value("select max(f + 0) from near"), "1234567890123456789012345678.012345679");
}

TEST_F(ExactArithmetic, StoredResultsKeepEveryDigit) {
    CtBatch b = con.execute("create table kept (k numeric(38,0), m money)\n"
                            "insert kept select n38 - 1, m - $0.0001 from xa where id = 1\n"
                            "select k + 0 as k2, m into kept2 from kept\n"
                            "update kept set k = k - 1, m = m / 2");
    ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    EXPECT_EQ(value("select k2 from kept2"), "12345678901234567890123456789012345677");
    EXPECT_EQ(value("select m from kept2"), "922337203685477.5806");
    EXPECT_EQ(value("select k from kept"), "12345678901234567890123456789012345676");
    EXPECT_EQ(value("select m from kept"), "461168601842738.7903");
}

TEST(DecimalCollation, OrdersPlainDecimalsByValueAtAnyLength) {
    struct Pair {
        const char* a;
        const char* b;
        int expected;
    };
    const Pair pairs[] = {
        {"1.10", "1.1", 0},
        {"-0.00", "0", 0},
        {"007", "7", 0},
        {"9", "10", -1},
        {"-10", "-9", -1},
        {"-1", "0.5", -1},
        {".5", "0.49", 1},
        {"12345678901234567890123456789012345678", "12345678901234567890123456789012345677", 1},
        {"1234567890123456789012345678.0123456789", "1234567890123456789012345678.012345679", -1},
        {"-12345678901234567890123456789012345678", "5", -1},
        {"1e3", "999", 1},
        {"abc", "abd", -1},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(devserver::compareDecimalText(p.a, p.b), p.expected) << p.a << " vs " << p.b;
        EXPECT_EQ(devserver::compareDecimalText(p.b, p.a), -p.expected) << p.b << " vs " << p.a;
    }
}

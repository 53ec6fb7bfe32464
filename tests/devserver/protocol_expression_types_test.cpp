// Computed result columns as a client sees them through ct-lib: for each form of expression
// the type, length, precision and scale that ct_describe reports, whatever the rows hold
// (the first row of the table is all NULL), the values as text, column names from aliases,
// and the errors for values that cannot be sent as their column is declared.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

struct Case {
    const char* expression;
    CS_INT type;
    CS_INT length;    ///< -1: not checked (fixed by the client library)
    CS_INT precision; ///< numeric and decimal only
    CS_INT scale;
    const char* text; ///< the value in the second row, as cs_convert shows it
};

class ExpressionTypes : public ::testing::Test {
protected:
    void SetUp() override {
        CtBatch b = con.execute(
            "create table ex (i int null, si smallint null, ti tinyint null, b bit null, r real "
            "null, "
            "f float null, m money null, sm smallmoney null, n numeric(10,2) null, d decimal(5,1) "
            "null, "
            "dt datetime null, c char(10) null, vc varchar(20) null, tx text null, bn binary(4) "
            "null)\n"
            "insert into ex (i) values (null)\n"
            "insert into ex values (40000, -3, 200, 1, 1.5, 2.25, 19.99, 3.5, 12.34, 1.5, "
            "'2026-07-12 14:05:09', 'chars', 'a varchar', 'a text', 0x0102)");
        ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
    }
    /// The first column of `select <expression> from ex` (two rows, the first all NULL).
    testsupport::CtResult select(const std::string& expression) {
        CtBatch b = con.execute("select " + expression + " from ex");
        for (const auto& e : b.errors())
            ADD_FAILURE() << expression << ": " << e.number << " " << e.text;
        if (b.rowResults().size() != 1) {
            ADD_FAILURE() << expression << ": no row result";
            return {};
        }
        return *b.rowResults()[0];
    }

    DevServer server;
    CtConnection con;
};

const Case kCases[] = {
    // convert and cast: the target type, whatever the source
    {"convert(smallint, si)", CS_SMALLINT_TYPE, 2, 0, 0, "-3"},
    {"convert(tinyint, ti)", CS_TINYINT_TYPE, 1, 0, 0, "200"},
    {"convert(bit, i)", CS_BIT_TYPE, 1, 0, 0, "1"},
    {"convert(real, f)", CS_REAL_TYPE, 4, 0, 0, "2.25"},
    {"convert(money, n)", CS_MONEY_TYPE, 8, 0, 0, "12.3400"},
    {"convert(smallmoney, ti)", CS_MONEY4_TYPE, 4, 0, 0, "200.0000"},
    {"convert(numeric(12,3), r)", CS_NUMERIC_TYPE, -1, 12, 3, "1.500"},
    {"convert(decimal(7,2), i)", CS_DECIMAL_TYPE, -1, 7, 2, "40000.00"},
    {"convert(char(7), vc)", CS_CHAR_TYPE, 7, 0, 0, "a varch"},
    {"convert(char(12), vc)", CS_CHAR_TYPE, 12, 0, 0, "a varchar   "},
    {"convert(char(8), null)", CS_CHAR_TYPE, 8, 0, 0, nullptr},
    {"convert(varchar(4), vc)", CS_CHAR_TYPE, 4, 0, 0, "a va"},
    {"convert(varchar, i)", CS_CHAR_TYPE, 30, 0, 0, "40000"},
    {"convert(text, vc)", CS_TEXT_TYPE, -1, 0, 0, "a varchar"},
    {"convert(smalldatetime, dt)", CS_DATETIME4_TYPE, 4, 0, 0, "Jul 12 2026 02:05PM"},
    {"convert(date, dt)", CS_DATE_TYPE, 4, 0, 0, "Jul 12 2026 12:00AM"},
    {"convert(time, dt)", CS_TIME_TYPE, 4, 0, 0, "Jan  1 1900 02:05PM"},
    {"convert(binary(3), bn)", CS_BINARY_TYPE, 3, 0, 0, "010200"},
    {"convert(image, bn)", CS_IMAGE_TYPE, -1, 0, 0, "0102"},
    {"convert(int, null)", CS_INT_TYPE, 4, 0, 0, nullptr},
    {"cast(m as numeric(10,2))", CS_NUMERIC_TYPE, -1, 10, 2, "19.99"},
    {"cast(i as varchar(8))", CS_CHAR_TYPE, 8, 0, 0, "40000"},
    // literals
    {"'abc'", CS_CHAR_TYPE, 3, 0, 0, "abc"},
    {"1.5", CS_NUMERIC_TYPE, -1, 2, 1, "1.5"},
    {"3000000000", CS_NUMERIC_TYPE, -1, 10, 0, "3000000000"},
    {"2e3", CS_FLOAT_TYPE, 8, 0, 0, "2000"},
    {"0x0a0b", CS_BINARY_TYPE, 2, 0, 0, "0a0b"},
    // arithmetic: integer, money and exact numeric rules, a NULL first row changes nothing
    {"i + 1", CS_INT_TYPE, 4, 0, 0, "40001"},
    {"si * si", CS_SMALLINT_TYPE, 2, 0, 0, "9"},
    {"si * 2", CS_INT_TYPE, 4, 0, 0, "-6"},
    {"m * 2", CS_MONEY_TYPE, 8, 0, 0, "39.9800"},
    {"m + i", CS_MONEY_TYPE, 8, 0, 0, "40019.9900"},
    {"sm + sm", CS_MONEY4_TYPE, 4, 0, 0, "7.0000"},
    {"n + 1", CS_NUMERIC_TYPE, -1, 13, 2, "13.34"},
    {"n * d", CS_NUMERIC_TYPE, -1, 16, 3, "18.510"},
    {"n - d", CS_NUMERIC_TYPE, -1, 11, 2, "10.84"},
    {"d + d", CS_DECIMAL_TYPE, -1, 6, 1, "3.0"},
    {"f * i", CS_FLOAT_TYPE, 8, 0, 0, "90000"},
    {"r + 1", CS_REAL_TYPE, 4, 0, 0, "2.5"},
    {"-si", CS_SMALLINT_TYPE, 2, 0, 0, "3"},
    {"vc + '!'", CS_CHAR_TYPE, 21, 0, 0, "a varchar!"},
    // isnull, coalesce, case
    {"isnull(m, 0)", CS_MONEY_TYPE, 8, 0, 0, "19.9900"},
    {"isnull(vc, 'none')", CS_CHAR_TYPE, 20, 0, 0, "a varchar"},
    {"coalesce(null, n, i)", CS_NUMERIC_TYPE, -1, 12, 2, "12.34"},
    {"case when i > 0 then 'positive' else 'not' end", CS_CHAR_TYPE, 8, 0, 0, "positive"},
    {"case when i > 0 then 1 else 2.5 end", CS_NUMERIC_TYPE, -1, 11, 1, "1.0"},
    {"case when i > 0 then m end", CS_MONEY_TYPE, 8, 0, 0, "19.9900"},
    // functions
    {"upper(c)", CS_CHAR_TYPE, 10, 0, 0, "CHARS     "},
    {"substring(vc, 3, 3)", CS_CHAR_TYPE, 20, 0, 0, "var"},
    {"len(vc)", CS_INT_TYPE, 4, 0, 0, "9"},
    {"getdate()", CS_DATETIME_TYPE, 8, 0, 0, ""},
    {"datediff(day, dt, dt)", CS_INT_TYPE, 4, 0, 0, "0"},
    {"replicate('ab', 3)", CS_CHAR_TYPE, 6, 0, 0, "ababab"},
    {"str(f, 8, 2)", CS_CHAR_TYPE, 8, 0, 0, "    2.25"},
};

/// True when the expression is NULL in the table's first row: it reads a column and gives
/// no value of its own for NULL (a concatenation with a string does: NULL counts as empty).
bool readsColumns(const std::string& expression) {
    if (expression.starts_with("isnull") || expression.find(" else ") != std::string::npos ||
        expression.find("+ '") != std::string::npos)
        return false;
    for (const char* name :
         {"i", "si", "ti", "b", "r", "f", "m", "sm", "n", "d", "dt", "c", "vc", "tx", "bn"}) {
        for (size_t at = expression.find(name); at != std::string::npos;
             at = expression.find(name, at + 1)) {
            const auto isWord = [](char ch) {
                return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
            };
            const size_t end = at + std::strlen(name);
            const bool quoted =
                std::count(expression.begin(), expression.begin() + static_cast<long>(at), '\'') %
                2;
            if (!quoted && (at == 0 || !isWord(expression[at - 1])) &&
                (end >= expression.size() || !isWord(expression[end])) &&
                (end >= expression.size() || expression[end] != '('))
                return true;
        }
    }
    return false;
}

} // namespace

TEST_F(ExpressionTypes, ColumnsAreDescribedByTheirExpressions) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.expression);
        const testsupport::CtResult r = select(c.expression);
        ASSERT_EQ(r.columns.size(), 1u);
        ASSERT_EQ(r.rows.size(), 2u);
        const testsupport::CtColumn& col = r.columns[0];
        EXPECT_EQ(col.datatype, c.type);
        if (c.length >= 0) {
            EXPECT_EQ(col.maxLength, c.length);
        }
        if (c.type == CS_NUMERIC_TYPE || c.type == CS_DECIMAL_TYPE) {
            EXPECT_EQ(col.precision, c.precision);
            EXPECT_EQ(col.scale, c.scale);
        }
        if (readsColumns(c.expression)) {
            EXPECT_TRUE(r.rows[0][0].isNull) << "the first row is all NULL";
        }
        if (!c.text) {
            EXPECT_TRUE(r.rows[1][0].isNull);
        } else if (*c.text) {
            EXPECT_FALSE(r.rows[1][0].isNull);
            EXPECT_EQ(r.rows[1][0].text, c.text);
        }
    }
}

TEST_F(ExpressionTypes, AggregatesHaveTheServersResultTypes) {
    CtBatch b = con.execute("select count(*), sum(i), sum(m), avg(n), max(vc), min(dt), sum(f), "
                            "count_big(*), avg(sm) from ex");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& columns = b.rowResults()[0]->columns;
    const auto& row = b.rowResults()[0]->rows.at(0);
    const CS_INT types[] = {CS_INT_TYPE,     CS_INT_TYPE,    CS_MONEY_TYPE,
                            CS_NUMERIC_TYPE, CS_CHAR_TYPE,   CS_DATETIME_TYPE,
                            CS_FLOAT_TYPE,   CS_BIGINT_TYPE, CS_MONEY_TYPE};
    ASSERT_EQ(columns.size(), std::size(types));
    for (size_t i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].datatype, types[i]) << "column " << i;
    EXPECT_EQ(columns[3].precision, 38);
    EXPECT_EQ(columns[3].scale, 6);
    EXPECT_EQ(columns[4].maxLength, 20);
    EXPECT_EQ(row[0].text, "2");
    EXPECT_EQ(row[1].text, "40000");
    EXPECT_EQ(row[2].text, "19.9900");
    EXPECT_EQ(row[3].text, "12.340000");
    EXPECT_EQ(row[4].text, "a varchar");
}

TEST_F(ExpressionTypes, UnionColumnsAreWideEnoughForEverySelect) {
    CtBatch b = con.execute("select 'a', i, vc from ex where i > 0 "
                            "union all select 'bbb', 1.5, c from ex where i > 0 "
                            "union all select 'cc', null, tx from ex where 1 = 0 "
                            "order by 1");
    ASSERT_EQ(b.rowResults().size(), 1u) << (b.errors().empty() ? "" : b.errors()[0].text);
    const auto& r = *b.rowResults()[0];
    ASSERT_EQ(r.columns.size(), 3u);
    EXPECT_EQ(r.columns[0].datatype, CS_CHAR_TYPE);
    EXPECT_EQ(r.columns[0].maxLength, 3);
    EXPECT_EQ(r.columns[1].datatype, CS_NUMERIC_TYPE);
    EXPECT_EQ(r.columns[1].precision, 11);
    EXPECT_EQ(r.columns[1].scale, 1);
    EXPECT_EQ(r.columns[2].datatype, CS_TEXT_TYPE);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0].text, "a");
    EXPECT_EQ(r.rows[0][1].text, "40000.0");
    EXPECT_EQ(r.rows[1][0].text, "bbb");
    EXPECT_EQ(r.rows[1][2].text.substr(0, 5), "chars");
}

TEST_F(ExpressionTypes, AliasesNameColumnsAndUnnamedExpressionsHaveNoName) {
    CtBatch b = con.execute("select 1 'e', 2 \"d\", 3 as f, g = 4, null, i + 1, i, 5 h, "
                            "case when i > 0 then 1 end size from ex where i > 0");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& columns = b.rowResults()[0]->columns;
    const char* names[] = {"e", "d", "f", "g", "", "", "i", "h", "size"};
    ASSERT_EQ(columns.size(), std::size(names));
    for (size_t i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].name, names[i]) << "column " << i;
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[1].text, "2");
}

TEST_F(ExpressionTypes, LongComputedStringsArriveWhole) {
    CtBatch b =
        con.execute("select replicate('x', 300), vc + replicate('y', 280) from ex where i > 0");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& r = *b.rowResults()[0];
    EXPECT_EQ(r.columns[0].maxLength, 300);
    EXPECT_EQ(r.rows.at(0)[0].text, std::string(300, 'x'));
    EXPECT_EQ(r.columns[1].maxLength, 300);
    EXPECT_EQ(r.rows.at(0)[1].text, "a varchar" + std::string(280, 'y'));
}

TEST_F(ExpressionTypes, ValuesThatDoNotFitTheirColumnRaiseErrors) {
    // An integer result past the int range: the server's arithmetic overflow, after the rows
    // that fit.
    CtBatch b = con.execute("select i * 100000 from ex");
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 3606);
    EXPECT_EQ(b.errors()[0].text, "Arithmetic overflow occurred.");
    b = con.execute("select convert(int, m * 1000000000) from ex where i > 0");
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 3606);
    // convert never wraps a value round.
    for (const char* sql :
         {"select convert(smallint, i) from ex where i > 0",
          "select convert(tinyint, si) from ex where i > 0", "select convert(int, 2147483648.0)"}) {
        b = con.execute(sql);
        ASSERT_EQ(b.errors().size(), 1u) << sql;
        EXPECT_EQ(b.errors()[0].number, 3606) << sql;
    }
    // A value longer than the longest declared string: an error, never a cut value.
    b = con.execute("select replicate('ab', 10000)");
    ASSERT_EQ(b.errors().size(), 1u);
    EXPECT_EQ(b.errors()[0].number, 7237);
    // The session goes on.
    b = con.execute("select i from ex where i > 0");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[0].text, "40000");
}

TEST_F(ExpressionTypes, TempdbIsADatabaseOfItsOwn) {
    CtBatch b = con.execute("use tempdb\n"
                            "select db_name()\n"
                            "create table #scratch (v int)\n"
                            "insert #scratch values (7)\n"
                            "select v from #scratch");
    EXPECT_TRUE(b.errors().empty()) << b.errors()[0].text;
    ASSERT_EQ(b.rowResults().size(), 2u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[0].text, "tempdb");
    EXPECT_EQ(b.rowResults()[1]->rows.at(0)[0].text, "7");
    b = con.execute("use master select db_name()");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[0].text, "master");
}

TEST_F(ExpressionTypes, TextSizeOptionIsReportedAndHonoured) {
    CtBatch b = con.execute("select @@textsize");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[0].text, "32768");
    CS_INT size = 5;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_TEXTSIZE, &size, CS_UNUSED, nullptr),
              CS_SUCCEED);
    b = con.execute("select @@textsize, tx from ex where i > 0");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[0].text, "5");
    EXPECT_EQ(b.rowResults()[0]->rows.at(0)[1].text, "a tex");
}

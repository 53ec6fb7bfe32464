// Column types and exact values through the SQL side: every declared type, NULL in each,
// money to 1/10000, numeric to 38 digits, datetime to 1/300 s, smalldatetime to the minute,
// long text and image values, and types of expression columns.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineTypes : public EngineSessionTest {
protected:
    /// Runs a batch that must not fail and returns its last row result.
    ResultSet query(const std::string& sql) {
        run(sql);
        for (const auto& e : sink.errors())
            ADD_FAILURE() << e.number << ": " << e.text << " in: " << sql;
        auto results = sink.results();
        if (results.empty()) {
            ADD_FAILURE() << "no result for: " << sql;
            return {};
        }
        return results.back();
    }
};

// A value its column cannot hold fails the insert or update that writes it, with the
// error a select would otherwise report later, and nothing is stored.
TEST_F(EngineTypes, WritesOfValuesTheColumnCannotHoldFail) {
    query("create table t_fit (id int, i int null, ti tinyint null, m money null, n numeric(5,2) "
          "null,"
          " dt datetime null, sdt smalldatetime null, vc varchar(3) null)\n"
          "insert t_fit (id, i, ti, m, n, dt, sdt, vc) values (1, 2147483647, 255, "
          "922337203685477.5807, 999.99,"
          " '9999-12-31 23:59:59.996', '2079-06-06 23:59', 'abcdef')\n"
          "select count(*) from t_fit");
    const std::pair<const char*, int> refused[] = {
        {"insert t_fit (id, i) values (2, 2147483648)", 3606},
        {"insert t_fit (id, i) values (2, 'abc')", 257},
        {"insert t_fit (id, ti) values (2, 256)", 3606},
        {"insert t_fit (id, ti) values (2, -1)", 3606},
        {"insert t_fit (id, m) values (2, 922337203685477.5808)", 3606},
        {"insert t_fit (id, n) values (2, 1000.00)", 3606},
        {"insert t_fit (id, dt) values (2, '1752-12-31')", 249},
        {"insert t_fit (id, dt) values (2, 'no date')", 249},
        {"insert t_fit (id, sdt) values (2, '1899-12-31 23:59')", 249},
        {"update t_fit set ti = ti + 1 where id = 1", 3606},
        {"update t_fit set i = i + 1 where id = 1", 3606},
        {"insert t_fit (id, i) select id + 1, i + 1 from t_fit", 3606},
    };
    for (const auto& [sql, number] : refused) {
        RecordingSink& bad = run(sql);
        ASSERT_EQ(bad.errors().size(), 1u) << sql;
        EXPECT_EQ(bad.errors()[0].number, number) << sql;
    }
    // The accepted row is unchanged, and the too long text was cut when it was written.
    auto r = query("select count(*), max(i), max(ti) from t_fit");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0].integer, 1);
    EXPECT_EQ(r.rows[0][1].integer, 2147483647);
    EXPECT_EQ(r.rows[0][2].integer, 255);
    auto text = query("select vc, datalength(vc), vc + 'def' from t_fit");
    EXPECT_EQ(text.rows.at(0)[0].bytes, "abc");
    EXPECT_EQ(text.rows.at(0)[1].integer, 3);
    EXPECT_EQ(text.rows.at(0)[2].bytes, "abcdef") << "the stored value itself is three bytes";
    EXPECT_TRUE(run("update t_fit set vc = 'uvwxyz'").errors().empty());
    EXPECT_EQ(query("select vc + '!' from t_fit").rows.at(0)[0].bytes, "uvw!");
}

TEST_F(EngineTypes, DeclaredTypesDescribeColumns) {
    auto r = query(
        "create table t_all (c_int int, c_small smallint null, c_tiny tinyint, c_bit bit not null,"
        " c_real real, c_float float, c_money money, c_smallmoney smallmoney, c_num numeric(12,3),"
        " c_dec decimal(38,10), c_dt datetime, c_sdt smalldatetime, c_char char(5), c_vc "
        "varchar(30),"
        " c_bin binary(4), c_vbin varbinary(6), c_text text, c_image image, c_big bigint, c_date "
        "date,"
        " c_time time, c_uc unichar(3), c_uvc univarchar(10), c_longc varchar(1000), c_longb "
        "binary(300))\n"
        "select * from t_all");
    ASSERT_EQ(r.columns.size(), 25u);
    const SqlType expected[] = {
        SqlType::Int,     SqlType::SmallInt, SqlType::TinyInt,    SqlType::Bit,
        SqlType::Real,    SqlType::Float,    SqlType::Money,      SqlType::SmallMoney,
        SqlType::Numeric, SqlType::Decimal,  SqlType::DateTime,   SqlType::SmallDateTime,
        SqlType::Char,    SqlType::VarChar,  SqlType::Binary,     SqlType::VarBinary,
        SqlType::Text,    SqlType::Image,    SqlType::BigInt,     SqlType::Date,
        SqlType::Time,    SqlType::UniChar,  SqlType::UniVarChar, SqlType::VarChar,
        SqlType::Binary};
    for (size_t i = 0; i < r.columns.size(); ++i)
        EXPECT_EQ(r.columns[i].type.type, expected[i]) << r.columns[i].name;
    EXPECT_EQ(r.columns[8].type.precision, 12);
    EXPECT_EQ(r.columns[8].type.scale, 3);
    EXPECT_EQ(r.columns[9].type.precision, 38);
    EXPECT_EQ(r.columns[12].type.length, 5);
    EXPECT_EQ(r.columns[13].type.length, 30);
    EXPECT_EQ(r.columns[21].type.length, 3);
    EXPECT_EQ(r.columns[23].type.length, 1000);
    EXPECT_EQ(r.columns[24].type.length, 300);
    EXPECT_FALSE(r.columns[3].type.nullable);
    // Declared without null or not null: not nullable, as on the server.
    EXPECT_FALSE(r.columns[0].type.nullable);
    EXPECT_TRUE(r.columns[1].type.nullable);
}

TEST_F(EngineTypes, NullTravelsInEveryType) {
    auto r = query("create table t_null (c_int int null, c_money money null, c_num numeric(10,2) "
                   "null, c_dt datetime null,"
                   " c_sdt smalldatetime null, c_char char(5) null, c_bin varbinary(4) null, "
                   "c_text text null, c_image image null,"
                   " c_real real null, c_date date null, c_time time null, c_uvc univarchar(5) "
                   "null, c_big bigint null)\n"
                   "insert into t_null values (null, null, null, null, null, null, null, null, "
                   "null, null, null,"
                   " null, null, null)\n"
                   "select * from t_null");
    ASSERT_EQ(r.rows.size(), 1u);
    for (size_t i = 0; i < r.rows[0].size(); ++i)
        EXPECT_TRUE(r.rows[0][i].isNull) << r.columns[i].name;
}

TEST_F(EngineTypes, MoneyIsExactToTheTenThousandth) {
    auto r = query("create table t_money (m money, s smallmoney)\n"
                   "insert into t_money values (922337203685477.5807, 214748.3647)\n"
                   "insert into t_money values (-922337203685477.5808, -214748.3648)\n"
                   "insert into t_money values (0.0001, 12.34)\n"
                   "insert into t_money values (19.99, 0)\n"
                   "select m, s from t_money order by m");
    ASSERT_EQ(r.rows.size(), 4u);
    EXPECT_EQ(r.rows[0][0].integer, INT64_MIN);
    EXPECT_EQ(r.rows[0][1].integer, -2147483648LL);
    EXPECT_EQ(r.rows[1][0].integer, 1);
    EXPECT_EQ(r.rows[1][1].integer, 123400);
    EXPECT_EQ(r.rows[2][0].integer, 199900);
    EXPECT_EQ(r.rows[3][0].integer, INT64_MAX);
    EXPECT_EQ(r.rows[3][1].integer, 2147483647);
    // Comparisons and arithmetic treat the stored values as numbers.
    auto cmp = query("select count(*) from t_money where m > 10 and m < 100");
    EXPECT_EQ(cmp.rows[0][0].integer, 1);
}

TEST_F(EngineTypes, NumericKeepsThirtyEightDigits) {
    auto r = query("create table t_num (a numeric(38,0), b decimal(38,10), c numeric(5,2))\n"
                   "insert into t_num values (12345678901234567890123456789012345678,"
                   " 1234567890123456789012345678.0123456789, 123.456)\n"
                   "insert into t_num values (-99999999999999999999999999999999999999, "
                   "-0.0000000001, -0.005)\n"
                   "select a, b, c from t_num order by a");
    ASSERT_EQ(r.rows.size(), 2u);
    __int128 big = 0;
    for (char c : std::string("12345678901234567890123456789012345678"))
        big = big * 10 + (c - '0');
    __int128 nines = 0;
    for (int i = 0; i < 38; ++i)
        nines = nines * 10 + 9;
    __int128 b = 0;
    for (char c : std::string("12345678901234567890123456780123456789"))
        b = b * 10 + (c - '0');
    EXPECT_TRUE(r.rows[0][0].numeric == -nines);
    EXPECT_TRUE(r.rows[0][1].numeric == -1);
    EXPECT_TRUE(r.rows[0][2].numeric == -1) << "rounded half away from zero to the scale";
    EXPECT_TRUE(r.rows[1][0].numeric == big);
    EXPECT_TRUE(r.rows[1][1].numeric == b);
    EXPECT_TRUE(r.rows[1][2].numeric == 12346);
    // Ordering and comparison are numeric, not textual.
    auto order = query("create table t_ord (v numeric(10,2))\n"
                       "insert into t_ord values (9.5) insert into t_ord values (10.25) insert "
                       "into t_ord values (-3)\n"
                       "select v from t_ord where v > 5 order by v desc");
    ASSERT_EQ(order.rows.size(), 2u);
    EXPECT_TRUE(order.rows[0][0].numeric == 1025);
    EXPECT_TRUE(order.rows[1][0].numeric == 950);
}

TEST_F(EngineTypes, DateTimeKeepsTicksAndSmallDateTimeRoundsToMinutes) {
    auto r = query("create table t_dt (d datetime, s smalldatetime, dd date, tt time)\n"
                   "insert into t_dt values ('2026-07-12 14:05:09.003', '2026-07-12 14:05:29.998',"
                   " '2026-07-12', '14:05:09.997')\n"
                   "insert into t_dt values ('1900-01-01 00:00:00.000', '2026-07-12 23:59:30',"
                   " '1753-01-01', '00:00:00')\n"
                   "select d, s, dd, tt from t_dt order by d desc");
    ASSERT_EQ(r.rows.size(), 2u);
    const auto& a = r.rows[0];
    // 12 Jul 2026 is day 46213 after 1 Jan 1900.
    EXPECT_EQ(a[0].days, 46213);
    EXPECT_EQ(a[0].ticks, (14u * 3600 + 5 * 60 + 9) * 300 + 1);
    EXPECT_EQ(a[1].days, 46213);
    EXPECT_EQ(a[1].ticks, (14u * 60 + 5) * 18000) << "29.998 s rounds down";
    EXPECT_EQ(a[2].days, 46213);
    EXPECT_EQ(a[3].ticks, (14u * 3600 + 5 * 60 + 9) * 300 + 299);
    const auto& b = r.rows[1];
    EXPECT_EQ(b[0].days, 0);
    EXPECT_EQ(b[0].ticks, 0u);
    EXPECT_EQ(b[1].days, 46214) << "23:59:30 rounds up to the next day";
    EXPECT_EQ(b[1].ticks, 0u);
    EXPECT_EQ(b[2].days, -53690);
}

TEST_F(EngineTypes, CharacterAndBinaryValues) {
    auto r = query("create table t_cb (c char(5), v varchar(10), b binary(4), vb varbinary(8), u "
                   "univarchar(4))\n"
                   "insert into t_cb values ('ab', 'xyz', 0x0102, 0xdeadbeef, 'äöüßx')\n"
                   "insert into t_cb values ('', '', 0x, 0x0, 'z')\n"
                   "select c, v, b, vb, u from t_cb order by v desc");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0].bytes, "ab   ");
    EXPECT_EQ(r.rows[0][1].bytes, "xyz");
    EXPECT_EQ(r.rows[0][2].bytes, std::string("\x01\x02\x00\x00", 4));
    EXPECT_EQ(r.rows[0][3].bytes, "\xde\xad\xbe\xef");
    EXPECT_EQ(r.rows[0][4].bytes, "äöüß") << "unichar lengths count characters";
    EXPECT_FALSE(r.rows[1][1].isNull);
    EXPECT_EQ(r.rows[1][1].bytes, " ") << "'' is one space, as on the server";
    EXPECT_EQ(r.rows[1][3].bytes, std::string(1, '\0'));

    // Trailing blanks do not count in a comparison: the padded value finds its row.
    for (const char* where :
         {"c = 'ab   ' and v = 'xyz  '", "c = 'ab ' and v = 'xyz'", "c = ' ab'"}) {
        const ResultSet found = query(std::string("select count(*) from t_cb where ") + where);
        ASSERT_EQ(found.rows.size(), 1u);
        EXPECT_EQ(found.rows[0][0].integer, where[5] == ' ' ? 0 : 1) << where;
    }
}

TEST_F(EngineTypes, AnEmptyStringIsOneSpace) {
    auto r = query("create table t_empty (v varchar(5), t text)\n"
                   "insert into t_empty values ('', '')\n"
                   "select datalength(''), '[' + '' + ']', datalength(v), datalength(t), v + '|' "
                   "from t_empty");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0].integer, 1);
    EXPECT_EQ(r.rows[0][1].bytes, "[ ]");
    EXPECT_EQ(r.rows[0][2].integer, 1);
    EXPECT_EQ(r.rows[0][3].integer, 1);
    EXPECT_EQ(r.rows[0][4].bytes, " |");
}

TEST_F(EngineTypes, LongTextAndImageRoundTrip) {
    std::string text(1 << 20, 'x');
    for (size_t i = 0; i < text.size(); i += 997)
        text[i] = static_cast<char>('a' + i % 26);
    std::string hex;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string image;
    for (size_t i = 0; i < (1u << 20) + 3; ++i) {
        auto byte = static_cast<unsigned char>(i * 131 + (i >> 8));
        image += static_cast<char>(byte);
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    auto r = query("set textsize 2147483647\n"
                   "create table t_long (t text, i image)\n"
                   "insert into t_long values ('" +
                   text + "', 0x" + hex +
                   ")\n"
                   "select t, i, datalength(t), datalength(i) from t_long");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_TRUE(r.rows[0][0].bytes == text);
    EXPECT_TRUE(r.rows[0][1].bytes == image);
    EXPECT_EQ(r.rows[0][2].integer, 1 << 20);
    EXPECT_EQ(r.rows[0][3].integer, (1 << 20) + 3);
}

TEST_F(EngineTypes, TextSizeCutsTextAndImageValues) {
    run("create table t_ts (t text, i image)\n"
        "insert into t_ts values ('" +
        std::string(40000, 't') + "', 0x" + std::string(80000, 'a') + ")");
    auto r = query("select @@textsize, t, i from t_ts");
    EXPECT_EQ(r.rows.at(0)[0].integer, 32768) << "the default a session starts with";
    EXPECT_EQ(r.rows[0][1].bytes.size(), 32768u);
    EXPECT_EQ(r.rows[0][2].bytes.size(), 32768u);
    r = query("set textsize 100 select @@textsize, t, i, datalength(t) from t_ts");
    EXPECT_EQ(r.rows.at(0)[0].integer, 100);
    EXPECT_EQ(r.rows[0][1].bytes, std::string(100, 't'));
    EXPECT_EQ(r.rows[0][2].bytes.size(), 100u);
    EXPECT_EQ(r.rows[0][3].integer, 40000) << "the stored value is whole";
    r = query("set textsize 0 select @@textsize");
    EXPECT_EQ(r.rows.at(0)[0].integer, 32768) << "0 restores the default";
}

TEST_F(EngineTypes, VariablesKeepTheirDeclaredTypes) {
    auto r = query("declare @m money, @n numeric(38,0), @d datetime, @c varchar(3)\n"
                   "select @m = 1.23456, @n = 99999999999999999999999999999999999999\n"
                   "set @d = '2026-07-12 10:00'\n"
                   "set @c = 'abcdef'\n"
                   "select @m, @n, @d, @c, @m * 2");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.columns[0].type.type, SqlType::Money);
    EXPECT_EQ(r.rows[0][0].integer, 12346);
    EXPECT_EQ(r.columns[1].type.type, SqlType::Numeric);
    __int128 nines = 0;
    for (int i = 0; i < 38; ++i)
        nines = nines * 10 + 9;
    EXPECT_TRUE(r.rows[0][1].numeric == nines);
    EXPECT_EQ(r.columns[2].type.type, SqlType::DateTime);
    EXPECT_EQ(r.rows[0][2].ticks, 10u * 3600 * 300);
    EXPECT_EQ(r.rows[0][3].bytes, "abc");
    EXPECT_EQ(r.columns[4].type.type, SqlType::Money) << "money times an int stays money";
    EXPECT_EQ(r.rows[0][4].integer, 24692);
}

TEST_F(EngineTypes, AggregatesKeepTheColumnsTypes) {
    auto r =
        query("create table agg (m money, n numeric(10,2), d datetime, c varchar(5), i smallint)\n"
              "insert into agg values ($1.25, 10.50, '2026-01-01', 'a', 1)\n"
              "insert into agg values (2.5, 20.25, '2026-03-01', 'b', 2)\n"
              "select max(m), min(n), max(d), min(c), sum(m), avg(n), sum(i), count(*) from agg");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.columns[0].type.type, SqlType::Money);
    EXPECT_EQ(r.rows[0][0].integer, 25000);
    EXPECT_EQ(r.columns[1].type.type, SqlType::Numeric);
    EXPECT_TRUE(r.rows[0][1].numeric == 1050);
    EXPECT_EQ(r.columns[2].type.type, SqlType::DateTime);
    EXPECT_EQ(r.columns[3].type.type, SqlType::VarChar);
    EXPECT_EQ(r.columns[3].type.length, 5);
    EXPECT_EQ(r.columns[4].type.type, SqlType::Money);
    EXPECT_EQ(r.rows[0][4].integer, 37500);
    EXPECT_EQ(r.columns[5].type.type, SqlType::Numeric);
    EXPECT_TRUE(r.rows[0][5].numeric == 15375000) << "avg keeps six decimals";
    EXPECT_EQ(r.columns[6].type.type, SqlType::Int);
    EXPECT_EQ(r.rows[0][6].integer, 3);
    EXPECT_EQ(r.rows[0][7].integer, 2);
}

TEST_F(EngineTypes, SelectIntoCreatesColumnsOfTheExpressionTypes) {
    auto r = query("create table src (m money null, v varchar(8) null, i int null)\n"
                   "insert into src values (null, null, null)\n"
                   "insert into src values (1.5, 'eight ch', 7)\n"
                   "select m * 2 as doubled, convert(numeric(8,2), i) as n, v + '!' as shout,"
                   " convert(char(4), i) as code, case when i > 5 then 'big' end as size into "
                   "copied from src\n"
                   "select * from copied where n is not null");
    ASSERT_EQ(r.columns.size(), 5u);
    EXPECT_EQ(r.columns[0].type.type, SqlType::Money);
    EXPECT_EQ(r.columns[1].type.type, SqlType::Numeric);
    EXPECT_EQ(r.columns[1].type.precision, 8);
    EXPECT_EQ(r.columns[1].type.scale, 2);
    EXPECT_EQ(r.columns[2].type.type, SqlType::VarChar);
    EXPECT_EQ(r.columns[2].type.length, 9);
    EXPECT_EQ(r.columns[3].type.type, SqlType::Char);
    EXPECT_EQ(r.columns[3].type.length, 4);
    EXPECT_EQ(r.columns[4].type.length, 3);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0].integer, 30000);
    EXPECT_TRUE(r.rows[0][1].numeric == 700);
    EXPECT_EQ(r.rows[0][2].bytes, "eight ch!");
    EXPECT_EQ(r.rows[0][3].bytes, "7   ");
    EXPECT_EQ(r.rows[0][4].bytes, "big");
}

TEST_F(EngineTypes, DateLikeTextInACharacterExpressionStaysText) {
    auto r =
        query("select '2026-07-12', 'due ' + '12.07.2026', substring('2026-07-12 10:00', 1, 10),"
              " convert(datetime, '2026-07-12')");
    ASSERT_EQ(r.columns.size(), 4u);
    EXPECT_EQ(r.columns[0].type.type, SqlType::VarChar);
    EXPECT_EQ(r.rows.at(0)[0].bytes, "2026-07-12");
    EXPECT_EQ(r.rows[0][1].bytes, "due 12.07.2026");
    EXPECT_EQ(r.rows[0][2].bytes, "2026-07-12");
    EXPECT_EQ(r.columns[3].type.type, SqlType::DateTime);
    EXPECT_EQ(r.rows[0][3].days, 46213);
}

} // namespace
} // namespace devserver::test

// Parameters of a query against the development server: values of every type reach the
// server as literals that it reads back unchanged, strings cannot break out of their
// literal, date-times mean the same date whatever the server's or the session's date
// order, and the parameter list follows the SQL text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Fields.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr const char* kConnection = "PARAMS";
constexpr const char* kDmyConnection = "PARAMS_DMY";

class QueryParams : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_connection = querytest::makeConnection(kConnection).release();
        s_connection->Connect();
        s_dmy = querytest::makeConnection(kDmyConnection, "DMYSERVER").release();
        s_dmy->Connect();
    }
    static void TearDownTestSuite() {
        delete s_connection;
        delete s_dmy;
    }
    static TSybConnect* s_connection;
    static TSybConnect* s_dmy;
};
TSybConnect* QueryParams::s_connection = nullptr;
TSybConnect* QueryParams::s_dmy = nullptr;

// Values an attacker would try: quotes in runs, comment starters, statement separators,
// line breaks, marker look-alikes and multi-byte characters, glued together at random.
std::vector<std::string> hostileValues() {
    const std::vector<std::string> pieces = {"'",
                                             "''",
                                             "'''",
                                             "''''",
                                             "--",
                                             "/*",
                                             "*/",
                                             ";",
                                             "\n",
                                             "\r\n",
                                             "\r",
                                             ":v",
                                             ":x1",
                                             "::",
                                             "\"",
                                             "\"\"",
                                             "\\",
                                             "\\'",
                                             "\\\n",
                                             "\\\r\n",
                                             "' or 1=1 --",
                                             "'; drop table #canary --",
                                             "select 1",
                                             "')",
                                             "0x41",
                                             "%",
                                             "_",
                                             "[",
                                             "]",
                                             "\t",
                                             "\xC3\xA9",
                                             "\xE6\x97\xA5\xE6\x9C\xAC",
                                             "\xF0\x9F\x99\x82",
                                             "NULL",
                                             "end",
                                             "go",
                                             "$1",
                                             "?",
                                             "@v",
                                             "N'",
                                             "x"};
    std::mt19937 random(424242);
    std::vector<std::string> values;
    for (const std::string& piece : pieces) {
        values.push_back("<" + piece + ">");
    }
    for (int k = 0; k < 400; ++k) {
        std::string value = "<";
        const int count = 1 + static_cast<int>(random() % 12);
        for (int n = 0; n < count; ++n) {
            value += pieces[random() % pieces.size()];
        }
        values.push_back(value + ">");
    }
    return values;
}

TEST_F(QueryParams, StringValuesCannotLeaveTheirLiteral) {
    exec(kConnection, "create table #canary (a int)");
    exec(kConnection, "insert #canary values (1)");
    auto query = makeQuery(kConnection, "select :v as v, 'tail' as t");
    int results = 0;
    query->SetOnNewDataSet([&results](TSybQuery*) { ++results; });
    for (const std::string& value : hostileValues()) {
        query->Close();
        query->ParamByName("v")->SetAsString(value);
        ASSERT_NO_THROW(query->Open()) << value;
        ASSERT_EQ(query->RecordCount(), 1) << value;
        ASSERT_EQ(query->FieldCount(), 2) << value;
        ASSERT_EQ(query->FieldByName("v")->AsString(), value);
        ASSERT_EQ(query->FieldByName("t")->AsString(), "tail");
    }
    EXPECT_EQ(results, 0) << "an injected statement produced a row result";
    auto canary = makeQuery(kConnection, "select count(*) as n from #canary");
    canary->Open();
    EXPECT_EQ(canary->FieldByName("n")->AsInteger(), 1);
}

TEST_F(QueryParams, ValuesOfEveryTypeRoundTrip) {
    exec(kConnection,
         "create table #p (i int null, b bit, f float null, m money null, s varchar(40) null,"
         " dt datetime null, bin varbinary(20) null, t text null)");
    auto insert = makeQuery(kConnection, "insert #p values (:i, :b, :f, :m, :s, :dt, :bin, :t)");
    insert->ParamByName("i")->SetAsInteger(-7);
    insert->ParamByName("b")->SetAsBoolean(true);
    insert->ParamByName("f")->SetAsFloat(0.1 + 0.2);
    insert->ParamByName("m")->SetAsCurrency(-1234.5678);
    insert->ParamByName("s")->SetAsString("O'Brien");
    insert->ParamByName("dt")->SetAsDateTime(host::EncodeDate(2026, 12, 25) +
                                             host::EncodeTime(23, 59, 58, 990));
    insert->ParamByName("bin")->SetAsBlob(std::string("\0\xFF'\x01", 4));
    insert->ParamByName("t")->SetAsMemo("memo's text");
    insert->ExecSQL();
    EXPECT_FALSE(insert->Active());

    // A Boolean true finds the bit column's 1.
    auto query = makeQuery(kConnection, "select * from #p where b = :b");
    query->ParamByName("b")->SetAsBoolean(true);
    query->Open();
    ASSERT_EQ(query->RecordCount(), 1);
    EXPECT_EQ(query->FieldByName("i")->AsInteger(), -7);
    EXPECT_EQ(query->FieldByName("f")->AsFloat(), 0.1 + 0.2);
    EXPECT_EQ(query->FieldByName("m")->AsFloat(), -1234.5678);
    EXPECT_EQ(query->FieldByName("s")->AsString(), "O'Brien");
    EXPECT_EQ(query->FieldByName("dt")->AsDateTime(),
              host::EncodeDate(2026, 12, 25) + host::EncodeTime(23, 59, 58, 990));
    EXPECT_EQ(query->FieldByName("bin")->AsString(), std::string("\0\xFF'\x01", 4));
    EXPECT_EQ(query->FieldByName("t")->AsString(), "memo's text");

    // Unset parameters are NULL.
    auto nulls = makeQuery(kConnection, "select * from #p where b = :b and i is :unset");
    nulls->ParamByName("b")->SetAsBoolean(false);
    nulls->Open();
    EXPECT_EQ(nulls->RecordCount(), 0);
}

TEST_F(QueryParams, FloatsReachTheServerExactly) {
    exec(kConnection, "create table #floats (k int, f float)");
    std::mt19937_64 random(99);
    std::vector<double> values = {0.1,
                                  -0.0001,
                                  1e-5,
                                  1.5e20,
                                  123456789012345.67,
                                  5e-324,
                                  1.7976931348623157e308,
                                  -2.2250738585072014e-308};
    for (int k = 0; k < 40; ++k) {
        values.push_back(
            std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 120) - 80));
    }
    auto insert = makeQuery(kConnection, "insert #floats values (:k, :f)");
    for (std::size_t k = 0; k < values.size(); ++k) {
        insert->ParamByName("k")->SetAsInteger(static_cast<int>(k));
        insert->ParamByName("f")->SetAsFloat(values[k]);
        insert->ExecSQL();
    }
    auto query = makeQuery(kConnection, "select f from #floats order by k");
    query->Open();
    ASSERT_EQ(query->RecordCount(), static_cast<int>(values.size()));
    for (double value : values) {
        EXPECT_EQ(query->FieldByName("f")->AsFloat(), value)
            << insert->ParamStrValue(insert->ParamByName("f"));
        query->Next();
    }
}

TEST_F(QueryParams, DateTimesMeanTheSameOnEveryServerDateOrder) {
    const host::TDateTime value = host::EncodeDate(2026, 12, 7) + host::EncodeTime(14, 5, 9, 10);
    const host::TDateTime late = host::EncodeDate(2026, 1, 25) + host::EncodeTime(0, 0, 0, 0);
    for (const char* connection : {kConnection, kDmyConnection}) {
        exec(connection, "create table #dates (k int, d datetime)");
        auto insert = makeQuery(connection, "insert #dates values (:k, :d)");
        insert->ParamByName("k")->SetAsInteger(1);
        insert->ParamByName("d")->SetAsDateTime(value);
        insert->ExecSQL();
        insert->ParamByName("k")->SetAsInteger(2);
        insert->ParamByName("d")->SetAsDateTime(late);
        insert->ExecSQL();
        auto query = makeQuery(connection, "select d from #dates order by k");
        query->Open();
        ASSERT_EQ(query->RecordCount(), 2) << connection;
        EXPECT_EQ(query->FieldByName("d")->AsDateTime(), value) << connection;
        query->Next();
        EXPECT_EQ(query->FieldByName("d")->AsDateTime(), late) << connection;
        exec(connection, "drop table #dates");
    }
    // The literal is the same on the day-month-year server: year first, no separators.
    auto query = makeQuery(kDmyConnection, "select :d as d");
    query->ParamByName("d")->SetAsDateTime(value);
    query->Open();
    EXPECT_EQ(query->GetSQLText(), "select '20261207 14:05:09:10' as d\n");
}

TEST_F(QueryParams, DateParametersMeanTheSameWhateverTheSessionSet) {
    // After a batch changes the session's date order or makes double quotes names, a
    // date-time, a date and a time parameter still reach the server as the same values.
    const host::TDateTime value = host::EncodeDate(2026, 12, 7) + host::EncodeTime(14, 5, 9, 10);
    struct Restore {
        ~Restore() { exec(kConnection, "set dateformat mdy\nset quoted_identifier off"); }
    } restore;
    for (const char* setting : {"set dateformat dmy", "set dateformat ydm", "set dateformat myd",
                                "set dateformat dym\nset quoted_identifier on"}) {
        exec(kConnection, setting);
        auto query = makeQuery(
            kConnection,
            "select datepart(dd, :a) as dd, datepart(mm, :b) as mm, convert(datetime, :c) as d,"
            " datepart(dd, :e) as day, datepart(ms, :t) as ms");
        for (const char* name : {"a", "b", "c"})
            query->ParamByName(name)->SetAsDateTime(value);
        query->ParamByName("e")->SetAsDate(value);
        query->ParamByName("t")->SetAsTime(value);
        query->Open();
        EXPECT_EQ(query->FieldByName("dd")->AsInteger(), 7) << setting;
        EXPECT_EQ(query->FieldByName("mm")->AsInteger(), 12) << setting;
        EXPECT_EQ(query->FieldByName("d")->AsDateTime(), value) << setting;
        EXPECT_EQ(query->FieldByName("day")->AsInteger(), 7) << setting;
        EXPECT_EQ(query->FieldByName("ms")->AsInteger(), 10) << setting;
    }
}

TEST_F(QueryParams, ParameterListFollowsTheSqlText) {
    auto query = makeQuery(kConnection, "select :a as a, :b as b\n");
    ASSERT_EQ(query->ParamCount(), 2);
    query->ParamByName("a")->SetAsInteger(1);
    query->ParamByName("b")->SetAsString("two");
    EXPECT_EQ(query->GetSQLText(), "select 1 as a, 'two' as b\n");

    // A new text keeps the values of the names it still has.
    query->SQL()->SetText("select :b as b, :c as c, :b as b2");
    ASSERT_EQ(query->ParamCount(), 2);
    EXPECT_EQ(query->Params()->Items(0)->AsString(), "two");
    EXPECT_TRUE(query->Params()->Items(1)->IsNull());
    // A name used twice is one parameter, whose value every marker of it carries.
    EXPECT_EQ(query->GetSQLText(), "select 'two' as b, NULL as c, 'two' as b2\n");
    query->Open();
    EXPECT_EQ(query->FieldByName("b")->AsString(), "two");
    EXPECT_EQ(query->FieldByName("b2")->AsString(), "two");

    // Editing the list in place re-parses without closing the open query.
    query->SQL()->Add("-- :d");
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->ParamCount(), 2);

    // Assigning SQLText does nothing; ParseParams lists distinct names.
    query->SetSQLText("select 1");
    EXPECT_EQ(query->ParamMappings().size(), 3u);
    host::TParams names;
    query->ParseParams(&names, "select :x, :y, :x");
    EXPECT_EQ(names.Count(), 2);
    EXPECT_EQ(query->ParamCount(), 2);
}

TEST_F(QueryParams, ValuesJoinTheTextAsWrittenUnlessTokensWouldMerge) {
    exec(kConnection, "create table #qp_tab_7 (i int)\ninsert #qp_tab_7 values (3)");
    auto query = makeQuery(kConnection, "select i + :k as n from #qp_tab_:k where i = 2-:m");
    query->ParamByName("k")->SetAsInteger(7);
    query->ParamByName("m")->SetAsInteger(-1);
    // The name's letters and the value make one name; the minus signs stay apart.
    EXPECT_EQ(query->GetSQLText(), "select i + 7 as n from #qp_tab_7 where i = 2- -1\n");
    query->Open();
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 10);
}

TEST_F(QueryParams, ANameUsedTwiceFiltersWithItsValueAtEveryMarker) {
    auto query = makeQuery(kConnection, "select title_id from pubs..titles\n"
                                        "where title_id = :id or :ID is null");
    ASSERT_EQ(query->ParamCount(), 1);
    query->ParamByName("id")->SetAsString("FI3984");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 1);
    EXPECT_EQ(query->FieldByName("title_id")->AsString(), "FI3984");
    query->Close();
    query->ParamByName("id")->Clear();
    query->Open();
    EXPECT_EQ(query->RecordCount(), 30);
}

// Milliseconds since midnight of a time value (compared as integers: the fraction of a
// day a time field gives back and the one EncodeTime makes may differ in the last bit).
int timeOfDay(host::TDateTime value) {
    return host::DateTimeToTimeStamp(value).Time;
}

TEST_F(QueryParams, LargeIntegersDatesAndTimesComeBackExactly) {
    const std::vector<int64_t> integers = {9007199254740993LL, std::numeric_limits<int64_t>::min(),
                                           std::numeric_limits<int64_t>::max(), -1, 0};
    // Days above 12 tell the date orders apart; times to the hundredth of a second are
    // exact in the server's 1/300 s ticks.
    const std::vector<host::TDateTime> dates = {
        host::EncodeDate(2026, 1, 25) + host::EncodeTime(23, 0, 0, 0),
        host::EncodeDate(9999, 12, 31), host::EncodeDate(1753, 1, 1),
        host::EncodeDate(1899, 12, 30)};
    const std::vector<host::TDateTime> times = {host::EncodeTime(14, 5, 9, 10),
                                                host::EncodeTime(0, 0, 0, 0),
                                                host::EncodeTime(23, 59, 59, 990)};
    for (const char* connection : {kConnection, kDmyConnection}) {
        auto query = makeQuery(connection, "select :i as i, :d as d, :t as t");
        for (std::size_t k = 0; k < integers.size(); ++k) {
            query->Close();
            query->ParamByName("i")->SetAsLargeInt(integers[k]);
            query->ParamByName("d")->SetAsDate(dates[k % dates.size()]);
            query->ParamByName("t")->SetAsTime(times[k % times.size()]);
            query->Open();
            ASSERT_EQ(query->FieldByName("i")->DataType(), host::ftLargeint) << query->GetSQLText();
            ASSERT_EQ(query->FieldByName("d")->DataType(), host::ftDate) << query->GetSQLText();
            ASSERT_EQ(query->FieldByName("t")->DataType(), host::ftTime) << query->GetSQLText();
            EXPECT_EQ(query->FieldByName("i")->AsLargeInt(), integers[k]) << connection;
            EXPECT_EQ(query->FieldByName("d")->AsDateTime(), std::floor(dates[k % dates.size()]))
                << connection << " " << query->GetSQLText();
            EXPECT_EQ(timeOfDay(query->FieldByName("t")->AsDateTime()),
                      timeOfDay(times[k % times.size()]))
                << connection << " " << query->GetSQLText();
        }
    }
}

TEST_F(QueryParams, DetailLinksOnBigintDateTimeAndBinaryFields) {
    // Two keys one apart above 2^53, which a double cannot tell apart.
    exec(kConnection, "create table #keys (k bigint, d date, t time, b varbinary(8), n int)");
    exec(kConnection,
         "insert #keys values (9007199254740992, '01.25.2026', '10:00:00:000', 0x00FF, 1)");
    exec(kConnection,
         "insert #keys values (9007199254740993, '01.26.2026', '10:00:00:010', 0x0100, 2)");
    auto master = makeQuery(kConnection, "select k, d, t, b from #keys order by n");
    host::TDataSource source(nullptr);
    source.SetDataSet(master.get());
    auto detail =
        makeQuery(kConnection, "select n, :t as t from #keys where k = :k and d = :d and b = :b");
    detail->SetDataSource(&source);
    master->Open();
    detail->Open();
    for (int n = 1; n <= 2; ++n, master->Next()) {
        ASSERT_FALSE(master->Eof());
        ASSERT_EQ(detail->RecordCount(), 1) << detail->GetSQLText();
        EXPECT_EQ(detail->FieldByName("n")->AsInteger(), n) << detail->GetSQLText();
        EXPECT_EQ(timeOfDay(detail->FieldByName("t")->AsDateTime()),
                  timeOfDay(master->FieldByName("t")->AsDateTime()));
    }
}

TEST_F(QueryParams, UnsupportedParameterTypeLeavesTheQueryClosed) {
    auto query = makeQuery(kConnection, "select :d as d");
    query->ParamByName("d")->SetDataType(host::ftCursor);
    query->ParamByName("d")->SetValue(host::Variant(1));
    EXPECT_EQ(errorOf([&] { query->Open(); }), "Param datatype unsupported");
    EXPECT_FALSE(query->Active());
    EXPECT_TRUE(querytest::lockIsFree(*s_connection));
    query->ParamByName("d")->Clear();
    query->Open();
    EXPECT_TRUE(query->FieldByName("d")->IsNull());
}

} // namespace

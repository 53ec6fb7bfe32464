// Date-time literals: every date order (the server's or the session's set dateformat), the
// separators, milliseconds after ':' and '.', ISO, unseparated and month-name forms, and
// their conversion wherever they meet a date-time column; double quotes under
// set quoted_identifier.
#include "engine_sink.h"

#include "tools/devserver/TypesValues.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

std::string canonical(std::string_view text, DateOrder order) {
    auto parts = parseDateTime(text, order);
    return parts ? formatDateTime(*parts) : "<none>";
}

TEST(EngineDateLiterals, NumericDatesFollowTheDateOrder) {
    EXPECT_EQ(canonical("07.12.2026 14:05:09:45", DateOrder::MDY), "2026-07-12 14:05:09.045");
    EXPECT_EQ(canonical("12.07.2026 14:05:09:45", DateOrder::DMY), "2026-07-12 14:05:09.045");
    EXPECT_EQ(canonical("2026/07/12", DateOrder::YMD), "2026-07-12 00:00:00.000");
    EXPECT_EQ(canonical("2026/12/07", DateOrder::YDM), "2026-07-12 00:00:00.000");
    EXPECT_EQ(canonical("2026-07-12", DateOrder::YDM), "2026-07-12 00:00:00.000") << "ISO";
    EXPECT_EQ(canonical("07-2026-12 1:02", DateOrder::MYD), "2026-07-12 01:02:00.000");
    EXPECT_EQ(canonical("12/2026/07 23:59:59.5", DateOrder::DYM), "2026-07-12 23:59:59.500");
    // A four-digit year in front reads year first whatever the order.
    EXPECT_EQ(canonical("2026-07-12 14:05", DateOrder::DMY), "2026-07-12 14:05:00.000");
    EXPECT_EQ(canonical("2026-07-12T14:05:09.123", DateOrder::MDY), "2026-07-12 14:05:09.123");
}

TEST(EngineDateLiterals, FractionsAndClockForms) {
    EXPECT_EQ(canonical("01/02/2026 10:11:12.5", DateOrder::MDY), "2026-01-02 10:11:12.500");
    EXPECT_EQ(canonical("01/02/2026 10:11:12.05", DateOrder::MDY), "2026-01-02 10:11:12.050");
    EXPECT_EQ(canonical("01/02/2026 10:11:12:5", DateOrder::MDY), "2026-01-02 10:11:12.005");
    EXPECT_EQ(canonical("01/02/2026 2:05PM", DateOrder::MDY), "2026-01-02 14:05:00.000");
    EXPECT_EQ(canonical("01/02/2026 12:00 am", DateOrder::MDY), "2026-01-02 00:00:00.000");
    EXPECT_EQ(canonical("Jul 12 2026  2:05PM", DateOrder::DMY), "2026-07-12 14:05:00.000");
    EXPECT_EQ(canonical("12 July 2026", DateOrder::MDY), "2026-07-12 00:00:00.000");
}

TEST(EngineDateLiterals, RejectsWhatIsNoDate) {
    for (const char* text :
         {"1.2.3", "13/01/2026", "02/30/2026", "hello", "2026", "12.07.26", "01/02/2026 25:00",
          "01/02/2026 10:61", "01.02/2026", "Jul 32 2026", "01/02/2026 10:11:12 xyz", ""})
        EXPECT_EQ(canonical(text, DateOrder::MDY), "<none>") << text;
}

TEST(EngineDateLiterals, TicksRoundTripThroughMilliseconds) {
    for (uint32_t ticks : {0u, 1u, 2u, 3u, 299u, 300u, 12345678u, 25919999u}) {
        DateTimeParts parts = fromDaysTicks(100, ticks);
        int32_t days = 0;
        uint32_t back = 0;
        toDaysTicks(parts, days, back);
        EXPECT_EQ(days, 100);
        EXPECT_EQ(back, ticks);
    }
    // 23:59:59.999 rounds to the next midnight.
    DateTimeParts late{2026, 12, 31, 23, 59, 59, 999};
    int32_t days = 0;
    uint32_t ticks = 1;
    toDaysTicks(late, days, ticks);
    EXPECT_EQ(days, daysFromCivil(2027, 1, 1));
    EXPECT_EQ(ticks, 0u);
    int y = 0, m = 0, d = 0;
    civilFromDays(daysFromCivil(2000, 2, 29), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    EXPECT_EQ(daysFromCivil(1900, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1899, 12, 31), -1);
}

class EngineDateOrder : public ::testing::TestWithParam<std::pair<DateOrder, const char*>> {};

TEST_P(EngineDateOrder, LiteralsMeetDateTimeColumnsInTheServersOrder) {
    ServerConfig config;
    config.dateOrder = GetParam().first;
    auto database = Database::open(config);
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    const std::string literal = GetParam().second; // 12 July 2026, 14:05:09.045
    session->executeBatch("create table t_when (id int, d datetime)\n"
                          "insert into t_when values (1, '" +
                              literal +
                              "')\n"
                              "insert into t_when values (2, \"2026-07-13\")\n"
                              "update t_when set d = '" +
                              literal + "' where id = 2 and d > '" + literal +
                              "'\n"
                              "select id, d from t_when where d = '" +
                              literal + "' order by id",
                          sink);
    EXPECT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    for (const auto& row : results[0].rows) {
        EXPECT_EQ(row[1].days, 46213);
        EXPECT_EQ(row[1].ticks, (14u * 3600 + 5 * 60 + 9) * 300 + 14);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, EngineDateOrder,
                         ::testing::Values(std::pair{DateOrder::MDY, "07/12/2026 14:05:09:45"},
                                           std::pair{DateOrder::DMY, "12.07.2026 14:05:09:45"},
                                           std::pair{DateOrder::YMD, "2026/07/12 14:05:09:45"},
                                           std::pair{DateOrder::YDM, "2026.12.07 14:05:09:45"},
                                           std::pair{DateOrder::MYD, "07-2026-12 14:05:09:45"},
                                           std::pair{DateOrder::DYM, "12/2026/07 14:05:09:45"}));

TEST(EngineDateLiterals, SetDateformatChangesTheSessionsOrderButNotTheUnambiguousForms) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    // 12 July 2026 written in each order, then in forms every order reads alike.
    const std::pair<const char*, const char*> orders[] = {
        {"mdy", "07/12/2026"}, {"dmy", "12.07.2026"}, {"ymd", "2026/07/12"},
        {"ydm", "2026.12.07"}, {"myd", "07-2026-12"}, {"dym", "12/2026/07"}};
    for (const auto& [order, literal] : orders) {
        RecordingSink sink;
        session->executeBatch(std::string("set dateformat ") + order + "\nselect datepart(dd, '" +
                                  literal + "'), datepart(mm, '" + literal +
                                  "'), datepart(dd, '20260712'),"
                                  " datepart(mm, '260712'), datepart(dd, '2026-07-12T14:05'),"
                                  " convert(datetime, '20260712 14:05:09.045')",
                              sink);
        ASSERT_TRUE(sink.errors().empty()) << order << ": " << sink.errors()[0].text;
        const auto results = sink.results();
        ASSERT_EQ(results.size(), 1u) << order;
        const auto& row = results[0].rows.at(0);
        EXPECT_EQ(row[0].integer, 12) << order;
        EXPECT_EQ(row[1].integer, 7) << order;
        EXPECT_EQ(row[2].integer, 12) << order;
        EXPECT_EQ(row[3].integer, 7) << order;
        EXPECT_EQ(row[4].integer, 12) << order;
        EXPECT_EQ(row[5].days, daysFromCivil(2026, 7, 12)) << order;
        EXPECT_EQ(row[5].ticks, (14u * 3600 + 5 * 60 + 9) * 300 + 14) << order;
    }
    EXPECT_EQ(session->dateOrder(), DateOrder::DYM) << "answered to the client's option query";
    RecordingSink sink;
    session->executeBatch("set dateformat 'xyz'", sink);
    EXPECT_EQ(sink.errors().size(), 1u);
    EXPECT_EQ(session->dateOrder(), DateOrder::DYM);
}

TEST(EngineDateLiterals, QuotedIdentifierMakesDoubleQuotesNames) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    auto firstValue = [&](const std::string& sql) {
        RecordingSink sink;
        session->executeBatch(sql, sink);
        if (!sink.errors().empty())
            return "error: " + sink.errors()[0].text;
        const auto results = sink.results();
        return results.empty() || results[0].rows.empty() ? std::string("<none>")
                                                          : results[0].rows[0][0].bytes;
    };
    EXPECT_EQ(
        firstValue(
            "create table t_quoted (name varchar(10)) insert into t_quoted values ('stored')"),
        "<none>");
    EXPECT_EQ(firstValue("select \"name\" from t_quoted"), "name");
    firstValue("set quoted_identifier on");
    EXPECT_EQ(firstValue("select \"name\" from t_quoted"), "stored");
    EXPECT_EQ(firstValue("select 'name' from t_quoted"), "name");
    firstValue("set quoted_identifier off");
    EXPECT_EQ(firstValue("select \"name\" from t_quoted"), "name");
}

TEST(EngineDateFunctions, DatePartsAndArithmetic) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch(
        "select datepart(year, '2026-07-12'), datepart(mm, '2026-07-12'),"
        " dateadd(day, 20, '2026-07-12'), datediff(day, '2026-01-01', '2026-07-12'),"
        " dateadd(month, 1, '2026-01-31')",
        sink);
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    const auto& row = results[0].rows.at(0);
    EXPECT_EQ(row[0].integer, 2026);
    EXPECT_EQ(row[1].integer, 7);
    EXPECT_EQ(results[0].columns[2].type.type, SqlType::DateTime);
    EXPECT_EQ(row[2].days, daysFromCivil(2026, 8, 1));
    EXPECT_EQ(row[3].integer, 192);
    EXPECT_EQ(row[4].days, daysFromCivil(2026, 2, 28));
}

TEST(EngineDateFunctions, ConvertWritesDateTimesInStyles) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch(
        "declare @d datetime select @d = '2026-07-02 14:05:09.045'\n"
        "select convert(varchar(30), @d), convert(char(10), @d, 101), convert(varchar(10), @d, "
        "104),"
        " convert(varchar(8), @d, 112), convert(varchar(8), @d, 108),"
        " convert(varchar(30), @d, 109), convert(datetime, convert(varchar(10), @d, 103), 103)",
        sink);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    const auto& row = results[0].rows.at(0);
    EXPECT_EQ(row[0].bytes, "Jul  2 2026  2:05PM");
    EXPECT_EQ(row[1].bytes, "07/02/2026");
    EXPECT_EQ(row[2].bytes, "02.07.2026");
    EXPECT_EQ(row[3].bytes, "20260702");
    EXPECT_EQ(row[4].bytes, "14:05:09");
    // .045 is held as 14/300 s, shown with a last digit of 0, 3 or 6.
    EXPECT_EQ(row[5].bytes, "Jul  2 2026  2:05:09:046PM");
    EXPECT_EQ(row[6].days, daysFromCivil(2026, 7, 2)) << "text in style 103 read back as a date";
}

TEST(EngineDateLiterals, TextColumnsKeepDateLikeStrings) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch(
        "create table notes_t (label varchar(30), happened datetime)\n"
        "insert into notes_t values ('2026-07-12', '2026-07-12')\n"
        "insert into notes_t (happened, label) values ('07/13/2026', '07/13/2026')\n"
        "update notes_t set label = 'Jul 14 2026' where label = '07/13/2026'\n"
        "select label, happened from notes_t where label in ('2026-07-12', 'Jul 14 2026')"
        " and happened between '07/01/2026' and '2026-07-31' order by happened",
        sink);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[0].rows[0][0].bytes, "2026-07-12") << "a varchar keeps the text as written";
    EXPECT_EQ(results[0].rows[1][0].bytes, "Jul 14 2026");
    EXPECT_EQ(results[0].rows[0][1].days, 46213);
    EXPECT_EQ(results[0].rows[1][1].days, 46214);
}

TEST(EngineDateLiterals, EachDateTypeHoldsItsOwnRange) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch(
        "create table ranges_t (d date null, dt datetime null, sdt smalldatetime null)\n"
        "insert into ranges_t (d) values ('0001-01-01')\n"
        "insert into ranges_t (d) values ('Mar 15 1600')\n"
        "insert into ranges_t (dt) values ('1753-01-01')\n"
        "insert into ranges_t (sdt) values ('1900-01-01')\n"
        "insert into ranges_t (sdt) values ('2079-06-06 23:59:29')\n"
        "select d, dt, sdt from ranges_t\n",
        sink);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    auto results = sink.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 5u);
    EXPECT_EQ(results[0].rows[0][0].days, daysFromCivil(1, 1, 1));
    EXPECT_EQ(results[0].rows[1][0].days, daysFromCivil(1600, 3, 15));
    EXPECT_EQ(results[0].rows[2][1].days, daysFromCivil(1753, 1, 1));
    EXPECT_EQ(results[0].rows[3][2].days, 0);
    // The last minute a smalldatetime's 16 bits of days hold.
    EXPECT_EQ(results[0].rows[4][2].days, 65535);
    EXPECT_EQ(results[0].rows[4][2].ticks, (23u * 60 + 59) * 60 * 300);

    RecordingSink early;
    session->executeBatch("select convert(date, '0001-01-01'), convert(date, '1752-12-31')", early);
    ASSERT_TRUE(early.errors().empty()) << early.errors()[0].text;
    ASSERT_EQ(early.results().size(), 1u);
    EXPECT_EQ(early.results()[0].rows.at(0)[1].days, daysFromCivil(1752, 12, 31));

    for (const char* refused : {"select convert(datetime, '1752-12-31')",
                                "select convert(datetime, '0001-01-01 00:00:00.000')",
                                "select convert(smalldatetime, '1600-01-01')",
                                "select convert(smalldatetime, '1899-12-31 23:59')",
                                "select convert(smalldatetime, '2079-06-07')",
                                // rounds up to the minute after the last one
                                "select convert(smalldatetime, '2079-06-06 23:59:30')"}) {
        RecordingSink bad;
        session->executeBatch(refused, bad);
        EXPECT_EQ(bad.errors().size(), 1u) << refused;
    }
}

TEST(EngineDateLiterals, TimeColumnsMatchEveryFormOfTheirTime) {
    auto database = Database::open(ServerConfig{});
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch("create table clock_t (id int, t time)\n"
                          "insert into clock_t values (1, '10:00:00:000')\n"
                          "insert into clock_t values (2, '10:00')\n"
                          "insert into clock_t values (3, '11:30:15.5')\n",
                          sink);
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    for (const char* condition :
         {"t = '10:00:00:0'", "t = '10:00'", "t = convert(time, '10:00:00:0')",
          "t = '10:00:00:000'", "'10:00:00.000' = t", "t in ('10:00', '09:00')"}) {
        RecordingSink found;
        session->executeBatch(
            std::string("select id from clock_t where ") + condition + " order by id", found);
        ASSERT_TRUE(found.errors().empty()) << condition << ": " << found.errors()[0].text;
        auto results = found.results();
        ASSERT_EQ(results.size(), 1u) << condition;
        const auto& rows = results[0].rows;
        ASSERT_EQ(rows.size(), 2u) << condition;
        EXPECT_EQ(rows[0][0].integer, 1) << condition;
        EXPECT_EQ(rows[1][0].integer, 2) << condition;
    }
    RecordingSink later;
    session->executeBatch("select id from clock_t where t > '11:00' and t = '11:30:15:500'", later);
    ASSERT_EQ(later.results().size(), 1u);
    ASSERT_EQ(later.results()[0].rows.size(), 1u);
    EXPECT_EQ(later.results()[0].rows[0][0].integer, 3);
}

} // namespace
} // namespace devserver::test

// Faults at every step of an execution: the server's answer cut at any byte (before the
// first row, inside a row result, in the second result, in the output parameters), the
// server dropping the connection after n rows, a server error in the middle of a batch,
// application handlers that raise, and values that cannot be converted. Each failure must
// raise, leave the query closed, the connection's lock free and no query marked running,
// and the next open must work (on a connection that logs in again when it was lost).
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tovrin5/host/Fields.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/host/SysUtils.h"
#include "reliability_support.h"
#include "support/ServerConf.h"

namespace host = tovrin::host;

using namespace reliability;
using tovrin::TSybConnect;
using tovrin::TSybQuery;

namespace {

// A procedure giving two row results, two output parameters and a return status.
const char* const kProcedure =
    "create procedure rel_batch @n int, @twice int output, @label varchar(20) output as begin"
    " select title_id, title, price from titles order by title_id"
    " select au_id, au_lname from authors order by au_id"
    " select @twice = @n * 2 select @label = 'done' return 3 end";
const char* const kBatch =
    "declare @t int, @l varchar(20)\nexec rel_batch 21, @t output, @l output";

void createProcedure() {
    static bool created = false;
    if (created) {
        return;
    }
    auto connection = makeConnection("REL_SETUP");
    makeQuery("REL_SETUP", kProcedure)->ExecSQL();
    created = true;
}

// What the batch gives when nothing fails: the titles in order (their ids joined), the
// status and the output parameters.
void expectBatchResults(TSybQuery& query, std::string& titles) {
    ASSERT_TRUE(query.Active());
    titles.clear();
    for (query.First(); !query.Eof(); query.Next()) {
        titles += query.FieldByName("title_id")->AsString() + ",";
    }
    EXPECT_GT(query.RecordCount(), 10);
    EXPECT_EQ(query.ReturnStatus(), 3);
    ASSERT_EQ(query.OutputParamCount(), 2);
    EXPECT_EQ(query.OutputParamValue(0).AsInteger(), 42);
    EXPECT_EQ(query.OutputParamValue(1).AsString(), "done");
}

} // namespace

TEST(FaultsAtEveryStep, AnAnswerCutAtAnyByteFailsCleanlyAndTheNextOpenWorks) {
    createProcedure();
    FaultProxy& proxy = Environment::get().proxy();
    auto connection = makeConnection("REL_PROXY", "RELPROXY");
    auto query = makeQuery("REL_PROXY", kBatch);

    // The whole answer, measured once.
    connection->Connect();
    proxy.arm(std::numeric_limits<std::size_t>::max(), FaultProxy::Mode::Cut);
    query->Open();
    const std::size_t total = proxy.passed();
    proxy.disarm();
    std::string titles;
    expectBatchResults(*query, titles);
    query->Close();
    ASSERT_GT(total, 1000u);

    // Every byte of the first packet, then positions spread over the whole answer, and
    // both sides of every packet boundary.
    std::set<std::size_t> cuts;
    for (std::size_t n = 0; n < 24; ++n) {
        cuts.insert(n);
    }
    for (std::size_t n = 0; n < total; n += std::max<std::size_t>(1, total / 60)) {
        cuts.insert(n);
    }
    for (std::size_t n = 512; n < total; n += 512) {
        cuts.insert(n - 1);
        cuts.insert(n);
        cuts.insert(n + 1);
    }
    cuts.insert(total - 1);

    RecordProperty("answer_bytes", static_cast<int>(total));
    RecordProperty("cut_positions", static_cast<int>(cuts.size()));
    std::set<std::string> firstLines;
    for (const std::size_t n : cuts) {
        const std::string context =
            "answer cut after " + std::to_string(n) + " of " + std::to_string(total) + " bytes";
        proxy.disarm();
        connection->Connect();
        proxy.arm(n, FaultProxy::Mode::Cut);
        const std::string error = errorOf([&] { query->Open(); });
        proxy.disarm();
        EXPECT_NE(error, "") << context;
        firstLines.insert(error.substr(0, error.find_first_of(";\n")));
        expectCleanFailure(*query, *connection, context);
        EXPECT_FALSE(connection->Connected()) << context;
        EXPECT_EQ(error.find(kPassword), std::string::npos) << context;

        // The same query on the same connection: it logs in again and reads everything.
        ASSERT_EQ(errorOf([&] { query->Open(); }), "") << context;
        std::string again;
        expectBatchResults(*query, again);
        EXPECT_EQ(again, titles) << context;
        query->Close();
        if (HasFailure()) {
            break;
        }
    }
    // Only the client library's own account of the lost connection reaches the caller.
    for (const std::string& line : firstLines) {
        EXPECT_EQ(line.rfind("Client library error ", 0), 0u) << line;
    }
}

TEST(FaultsAtEveryStep, TheServerDroppingTheConnectionAfterNRows) {
    // The server counts the rows of every result, the one-row "select @@spid" that FreeTDS
    // sends at login included: limits below 2 would already end the login.
    for (const int rows : {2, 3, 5, 17}) {
        testsupport::DevServer dropping({"--sample", "--drop-after-rows", std::to_string(rows)},
                                        "RELDROP");
        Environment::get().server().activate();
        testsupport::appendServerSection(Environment::get().confPath(),
                                         {"RELDROP" + std::to_string(rows), dropping.port()});
        const std::string name = "REL_DROP" + std::to_string(rows);
        auto connection = makeConnection(name, "RELDROP" + std::to_string(rows));
        connection->SetDatabase("");
        const std::string context = "dropped after " + std::to_string(rows) + " rows";

        // The first result is short enough to pass; the second is cut.
        auto query = makeQuery(name, "select 1 as a where 1 = 0\n"
                                     "select title_id from pubs..titles order by title_id");
        query->SetResultSet(1);
        const std::string error = errorOf([&] { query->Open(); });
        EXPECT_EQ(error.rfind("Client library error ", 0), 0u) << context << ": " << error;
        expectCleanFailure(*query, *connection, context);
        EXPECT_FALSE(connection->Connected()) << context;

        // A result within the limit goes through on the reconnected connection.
        auto small = makeQuery(name, "select 7 as n");
        ASSERT_EQ(errorOf([&] { small->Open(); }), "") << context;
        EXPECT_TRUE(connection->Connected()) << context;
        EXPECT_EQ(small->FieldByName("n")->AsInteger(), 7) << context;
    }
}

TEST(FaultsAtEveryStep, AServerErrorInTheMiddleOfABatchLeavesTheConnectionUsable) {
    auto connection = makeConnection("REL_ERRORS");
    for (const int resultSet : {0, 1, 2}) {
        const std::string context = "ResultSet " + std::to_string(resultSet);
        auto query = makeQuery("REL_ERRORS", "select title_id from titles\n"
                                             "select * from rel_no_such_table\n"
                                             "select au_id from authors");
        query->SetResultSet(static_cast<tovrin::TResultSetNo>(resultSet));
        const std::string error = errorOf([&] { query->Open(); });
        EXPECT_EQ(error.rfind("Message 208,Level 16: ", 0), 0u) << context << ": " << error;
        expectCleanFailure(*query, *connection, context);
        EXPECT_TRUE(connection->Connected()) << context;

        auto next = makeQuery("REL_ERRORS", "select count(*) as n from authors");
        next->Open();
        EXPECT_GT(next->FieldByName("n")->AsInteger(), 0) << context;
    }
}

TEST(FaultsAtEveryStep, HandlersThatRaiseLeaveTheConnectionUsable) {
    auto connection = makeConnection("REL_HANDLERS");
    auto works = [&](const std::string& context) {
        auto next = makeQuery("REL_HANDLERS", "select 11 as n");
        next->Open();
        EXPECT_EQ(next->FieldByName("n")->AsInteger(), 11) << context;
    };

    {
        auto query = makeQuery("REL_HANDLERS", "select 1 as a\nselect 2 as b\nselect 3 as c");
        query->SetOnNewDataSet([](TSybQuery*) { throw host::Exception("new data set refused"); });
        EXPECT_EQ(errorOf([&] { query->Open(); }), "new data set refused");
        expectCleanFailure(*query, *connection, "OnNewDataSet");
        works("OnNewDataSet");
    }
    {
        auto query = makeQuery("REL_HANDLERS", "select title_id from titles");
        auto* id = new host::TStringField(query.get());
        id->SetFieldName("title_id");
        id->SetSize(6);
        id->SetDataSet(query.get());
        auto* calc = new host::TIntegerField(query.get());
        calc->SetFieldName("calc");
        calc->SetFieldKind(host::fkCalculated);
        calc->SetDataSet(query.get());
        query->SetOnCalcFields(
            [](host::TDataSet*) { throw host::Exception("calculation refused"); });
        EXPECT_EQ(errorOf([&] { query->Open(); }), "calculation refused");
        expectCleanFailure(*query, *connection, "OnCalcFields");
        works("OnCalcFields");
        query->SetOnCalcFields([calc, id](host::TDataSet*) {
            calc->SetAsInteger(static_cast<int>(id->AsString().size()));
        });
        query->Open();
        EXPECT_EQ(calc->AsInteger(), 6);
    }
    {
        auto query = makeQuery("REL_HANDLERS", "select title_id from titles");
        query->SetOnFilterRecord(
            [](host::TDataSet*, bool&) { throw host::Exception("filter refused"); });
        query->SetFiltered(true);
        EXPECT_EQ(errorOf([&] { query->Open(); }), "filter refused");
        expectCleanFailure(*query, *connection, "OnFilterRecord");
        works("OnFilterRecord");
    }
    {
        auto query =
            makeQuery("REL_HANDLERS", "select title_id, title from titles order by title_id");
        query->Open();
        host::TField* title = query->FieldByName("title");
        const std::string before = title->AsString();
        title->SetOnValidate([](host::TField*) { throw host::Exception("value refused"); });
        query->Edit();
        EXPECT_EQ(errorOf([&] { title->SetAsString("changed"); }), "value refused");
        query->Cancel();
        EXPECT_EQ(title->AsString(), before);
        EXPECT_TRUE(lockIsFree(*connection));
        works("OnValidate");
    }
    {
        // A raising BeforeOpen: nothing is sent.
        auto query = makeQuery("REL_HANDLERS", "select 1 as a");
        query->SetBeforeOpen([](host::TDataSet*) { throw host::Exception("open refused"); });
        EXPECT_EQ(errorOf([&] { query->Open(); }), "open refused");
        expectCleanFailure(*query, *connection, "BeforeOpen");
        works("BeforeOpen");
    }
}

TEST(FaultsAtEveryStep, AValueThatCannotBecomeALiteralStopsTheExecutionBeforeAnythingIsSent) {
    auto connection = makeConnection("REL_CONVERT");
    connection->Connect();
    auto query = makeQuery("REL_CONVERT", "select convert(datetime, :d) as d");
    query->ParamByName("d")->SetAsWord(7);
    EXPECT_EQ(errorOf([&] { query->Open(); }), "Param datatype unsupported");
    expectCleanFailure(*query, *connection, "ftWord parameter");
    EXPECT_TRUE(connection->Connected());
    query->ParamByName("d")->SetAsDateTime(host::EncodeDate(2026, 12, 7));
    query->Open();
    EXPECT_EQ(query->FieldByName("d")->AsDateTime(), host::EncodeDate(2026, 12, 7));
}

TEST(FaultsAtEveryStep, AValueFromTheServerThatCannotBeConvertedFailsTheOpen) {
    // The time of day of 2026-12-07 10:00 travels as 10 800 000 three-hundredths of a
    // second; the proxy turns it into a count beyond one day.
    FaultProxy& proxy = Environment::get().proxy();
    auto connection = makeConnection("REL_BAD_VALUE", "RELPROXY");
    auto query =
        makeQuery("REL_BAD_VALUE", "select 1 as n, convert(datetime, '2026-12-07 10:00:00') as d");
    connection->Connect();
    proxy.replace(std::string("\x80\xcb\xa4\x00", 4), std::string("\xff\xff\xff\x7f", 4));
    const std::string error = errorOf([&] { query->Open(); });
    proxy.replace("", "");
    EXPECT_NE(error.find("._InternalFillRecord failed for field 1: "), std::string::npos) << error;
    expectCleanFailure(*query, *connection, "unconvertible datetime");
    EXPECT_TRUE(connection->Connected());

    query->Open();
    EXPECT_EQ(query->FieldByName("d")->AsDateTime(),
              host::EncodeDate(2026, 12, 7) + host::EncodeTime(10, 0, 0, 0));
}

TEST(FaultsAtEveryStep, ADateFromTheServerOutsideTheCalendarFailsTheOpen) {
    // 2026-12-07 travels as day 46361 after 1 January 1900; the proxy makes it day
    // 2147483647, far beyond 31 December 9999.
    FaultProxy& proxy = Environment::get().proxy();
    auto connection = makeConnection("REL_BAD_DATE", "RELPROXY");
    auto query = makeQuery("REL_BAD_DATE", "select 1 as n, convert(date, '2026-12-07') as d");
    connection->Connect();
    proxy.replace(std::string("\x19\xb5\x00\x00", 4), std::string("\xff\xff\xff\x7f", 4));
    const std::string error = errorOf([&] { query->Open(); });
    proxy.replace("", "");
    EXPECT_NE(error.find("._InternalFillRecord failed for field 1: "), std::string::npos) << error;
    expectCleanFailure(*query, *connection, "date outside the calendar");

    query->Close();
    query->Open();
    EXPECT_EQ(query->FieldByName("d")->AsDateTime(), host::EncodeDate(2026, 12, 7));
    query->Close();

    // A time column: 10:00 travels as 10 800 000 three-hundredths of a second.
    auto times = makeQuery("REL_BAD_DATE", "select 1 as n, convert(time, '10:00:00') as t");
    proxy.replace(std::string("\x80\xcb\xa4\x00", 4), std::string("\xff\xff\xff\x7f", 4));
    const std::string timeError = errorOf([&] { times->Open(); });
    proxy.replace("", "");
    EXPECT_NE(timeError.find("._InternalFillRecord failed for field 1: "), std::string::npos)
        << timeError;
    expectCleanFailure(*times, *connection, "time beyond one day");
    times->Open();
    EXPECT_EQ(times->FieldByName("t")->AsDateTime(), host::EncodeTime(10, 0, 0, 0));
}

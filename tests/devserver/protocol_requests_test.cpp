// Requests of FreeTDS's ct-lib beyond plain language text: RPCs with long parameter names,
// language commands whose parameters are named or positional, the date order set and read
// back through ct_options, and text and image values replaced through the send-data path.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <cstring>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

class ProtocolRequests : public ::testing::Test {
protected:
    DevServer server;
    CtConnection con;

    /// Adds an input (or, with `output`, a return) parameter named `name` to `cmd`.
    static void param(CS_COMMAND* cmd, const std::string& name, CS_INT type, void* value,
                      CS_INT length, bool output = false) {
        CS_DATAFMT f{};
        std::strncpy(f.name, name.c_str(), sizeof f.name - 1);
        f.namelen = name.empty() ? 0 : CS_NULLTERM;
        f.datatype = type;
        f.maxlength = type == CS_CHAR_TYPE ? 255 : length;
        f.status = output ? CS_RETURN : CS_INPUTVALUE;
        ASSERT_EQ(ct_param(cmd, &f, value, length, 0), CS_SUCCEED) << name;
    }
};

TEST_F(ProtocolRequests, RpcParameterNamesLongerThanThirtyCharacters) {
    const std::string name = "@" + std::string(49, 'p'); // 50 characters
    ASSERT_FALSE(con.execute("create proc longnames " + name + " int, @twice int output as " +
                             "select @twice = " + name + " * 2 return 3")
                     .failed);
    auto cmd = con.newCommand();
    ASSERT_EQ(ct_command(cmd.get(), CS_RPC_CMD, "longnames", CS_NULLTERM, CS_NO_RECOMPILE),
              CS_SUCCEED);
    CS_INT in = 21, out = 0;
    param(cmd.get(), name, CS_INT_TYPE, &in, sizeof in);
    param(cmd.get(), "@twice", CS_INT_TYPE, &out, sizeof out, true);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CtBatch b = con.collect(cmd.get());
    ASSERT_TRUE(b.ok);
    EXPECT_FALSE(b.failed);
    ASSERT_EQ(b.rowResults(CS_PARAM_RESULT).size(), 1u);
    EXPECT_EQ(b.rowResults(CS_PARAM_RESULT)[0]->rows.at(0).at(0).text, "42");
    EXPECT_EQ(b.returnStatuses(), std::vector<int>{3});
    EXPECT_EQ(con.execute("select 1").rowResults().size(), 1u) << "the session goes on";
}

TEST_F(ProtocolRequests, LanguageParametersByNameAndByPosition) {
    ASSERT_FALSE(con.execute("create table #lp (id numeric identity, name varchar(30), "
                             "age int, cost money)")
                     .failed);
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "by name" : "by position");
        auto cmd = con.newCommand();
        const char* sql = "insert into #lp (name, age, cost) values (@in1, @in2, @in3 * 2)";
        ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
        char text[] = "joe blow";
        CS_INT age = named ? 2 : 3;
        CS_FLOAT cost = 1.25;
        param(cmd.get(), named ? "@in1" : "", CS_CHAR_TYPE, text,
              static_cast<CS_INT>(std::strlen(text)));
        param(cmd.get(), named ? "@in2" : "", CS_INT_TYPE, &age, sizeof age);
        param(cmd.get(), named ? "@in3" : "", CS_FLOAT_TYPE, &cost, sizeof cost);
        ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
        CtBatch b = con.collect(cmd.get());
        ASSERT_TRUE(b.ok);
        EXPECT_FALSE(b.failed);
        EXPECT_TRUE(b.errors().empty()) << b.errors().front().text;
    }
    CtBatch rows = con.execute("select name, age, cost from #lp order by age");
    ASSERT_EQ(rows.rowResults().size(), 1u);
    const auto& r = rows.rowResults()[0]->rows;
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][0].text, "joe blow");
    EXPECT_EQ(r[0][1].text, "2");
    EXPECT_EQ(r[1][1].text, "3");
    EXPECT_EQ(r[1][2].text, "2.5000");
}

TEST_F(ProtocolRequests, DateFormatSetThroughTheClientLibraryIsReadBackAndUsed) {
    CS_INT order = 0;
    ASSERT_EQ(ct_options(con.connection(), CS_GET, CS_OPT_DATEFORMAT, &order, CS_UNUSED, nullptr),
              CS_SUCCEED);
    EXPECT_EQ(order, CS_OPT_FMTMDY);
    for (const CS_INT set : {CS_OPT_FMTDMY, CS_OPT_FMTYDM, CS_OPT_FMTMYD}) {
        CS_INT value = set;
        ASSERT_EQ(
            ct_options(con.connection(), CS_SET, CS_OPT_DATEFORMAT, &value, CS_UNUSED, nullptr),
            CS_SUCCEED);
        order = 0;
        ASSERT_EQ(
            ct_options(con.connection(), CS_GET, CS_OPT_DATEFORMAT, &order, CS_UNUSED, nullptr),
            CS_SUCCEED);
        EXPECT_EQ(order, set);
    }
    CS_INT dmy = CS_OPT_FMTDMY;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_DATEFORMAT, &dmy, CS_UNUSED, nullptr),
              CS_SUCCEED);
    CtBatch b = con.execute("select datepart(month, convert(datetime, '02/01/2003'))");
    ASSERT_EQ(b.rowResults().size(), 1u);
    EXPECT_EQ(b.rowResults()[0]->rows.at(0).at(0).text, "1") << "read day first";
}

/// Reads the text or image value of column `item` of the single row `sql` selects, and its
/// I/O descriptor (which names its table, column and text pointer).
std::string readBlob(CtConnection& con, const std::string& sql, CS_INT item, CS_IODESC& io) {
    auto cmd = con.newCommand();
    EXPECT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql.c_str(), CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    EXPECT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    std::string value;
    CS_INT type = 0;
    while (ct_results(cmd.get(), &type) == CS_SUCCEED) {
        if (type != CS_ROW_RESULT)
            continue;
        CS_INT rows = 0;
        while (ct_fetch(cmd.get(), CS_UNUSED, CS_UNUSED, CS_UNUSED, &rows) == CS_SUCCEED) {
            char buffer[64];
            CS_INT got = 0;
            CS_RETCODE rc;
            for (CS_INT column = 1; column < item; ++column)
                ct_get_data(cmd.get(), column, buffer, sizeof buffer, &got);
            do {
                rc = ct_get_data(cmd.get(), item, buffer, sizeof buffer, &got);
                value.append(buffer, static_cast<size_t>(got));
            } while (rc == CS_SUCCEED);
            EXPECT_EQ(ct_data_info(cmd.get(), CS_GET, item, &io), CS_SUCCEED);
        }
    }
    return value;
}

/// Replaces the value `io` describes with `value`, sent in two pieces; true on success.
bool sendBlob(CtConnection& con, CS_IODESC io, const std::string& value) {
    auto cmd = con.newCommand();
    EXPECT_EQ(ct_command(cmd.get(), CS_SEND_DATA_CMD, nullptr, CS_UNUSED, CS_COLUMN_DATA),
              CS_SUCCEED);
    io.total_txtlen = static_cast<CS_INT>(value.size());
    io.log_on_update = CS_TRUE;
    EXPECT_EQ(ct_data_info(cmd.get(), CS_SET, CS_UNUSED, &io), CS_SUCCEED);
    const size_t half = value.size() / 2;
    std::string copy = value;
    EXPECT_EQ(ct_send_data(cmd.get(), copy.data(), static_cast<CS_INT>(half)), CS_SUCCEED);
    EXPECT_EQ(ct_send_data(cmd.get(), copy.data() + half, static_cast<CS_INT>(value.size() - half)),
              CS_SUCCEED);
    EXPECT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CtBatch b = con.collect(cmd.get());
    return b.ok && !b.failed;
}

TEST_F(ProtocolRequests, TextAndImageValuesAreReplacedThroughTheSendDataPath) {
    ASSERT_FALSE(con.execute("create table blobs (id int, note text null, pic image null)\n"
                             "insert blobs values (1, 'first', 0x0102)\n"
                             "insert blobs values (2, 'second', 0x0304)")
                     .failed);
    CS_IODESC io{};
    EXPECT_EQ(readBlob(con, "select id, note from blobs where id = 2", 2, io), "second");
    EXPECT_EQ(std::string(io.name, static_cast<size_t>(io.namelen)), "blobs.note");
    const std::string text(5000, 'x');
    ASSERT_TRUE(sendBlob(con, io, text + "end"));

    CS_IODESC pictureIo{};
    EXPECT_EQ(readBlob(con, "select pic from blobs b where id = 1", 1, pictureIo),
              std::string("\x01\x02", 2));
    const std::string picture("\x00\xff\x10\x00", 4);
    ASSERT_TRUE(sendBlob(con, pictureIo, picture));

    CtBatch b = con.execute("select id, datalength(note), pic from blobs order by id");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& rows = b.rowResults()[0]->rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1].text, "5") << "the other row's text is untouched";
    EXPECT_EQ(rows[0][2].raw, picture);
    EXPECT_EQ(rows[1][1].text, "5003");
    EXPECT_EQ(rows[1][2].raw, std::string("\x03\x04", 2));
    CS_IODESC again{};
    EXPECT_EQ(readBlob(con, "select note from blobs where id = 2", 1, again), text + "end");

    // A pointer the server never sent names no row: an error, and nothing changes.
    CS_IODESC stale = io;
    std::memset(stale.textptr, 0x5A, sizeof stale.textptr);
    EXPECT_FALSE(sendBlob(con, stale, "lost"));
    b = con.execute("select datalength(note) from blobs where id = 2");
    EXPECT_EQ(b.rowResults().at(0)->rows.at(0).at(0).text, "5003");
}

} // namespace

// What FreeTDS's ct-lib reports of result columns through ct_describe: identity and
// timestamp columns in any select, and browse mode (`select … for browse`), whose result
// says which columns are expressions, which are keys and which were added hidden.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::CtBatch;
using testsupport::CtColumn;
using testsupport::CtConnection;
using testsupport::DevServer;

namespace {

constexpr CS_INT kTimestampUserType = 80;

class ProtocolOrigin : public ::testing::Test {
protected:
    DevServer server;
    CtConnection con;

    void SetUp() override {
        CtBatch b = con.execute(
            "create table bt (id int identity, name varchar(10), price money null, timestamp)\n"
            "insert bt (name, price) values ('a', 1)\ninsert bt (name, price) values ('b', 2)");
        ASSERT_FALSE(b.failed);
    }

    /// The number of columns ct_describe knows in the first result of `sql`, hidden ones
    /// included.
    int describedColumns(const std::string& sql) {
        auto cmd = con.newCommand();
        EXPECT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql.c_str(), CS_NULLTERM, CS_UNUSED),
                  CS_SUCCEED);
        EXPECT_EQ(ct_send(cmd.get()), CS_SUCCEED);
        CS_INT type = 0;
        EXPECT_EQ(ct_results(cmd.get(), &type), CS_SUCCEED);
        int n = 0;
        CS_DATAFMT f{};
        while (n < 10 && ct_describe(cmd.get(), n + 1, &f) == CS_SUCCEED)
            ++n;
        ct_cancel(nullptr, cmd.get(), CS_CANCEL_ALL);
        con.takeMessages();
        return n;
    }

    /// The columns of the single row result of `sql`.
    std::vector<CtColumn> describe(const std::string& sql) {
        CtBatch b = con.execute(sql);
        EXPECT_FALSE(b.failed) << sql;
        if (b.rowResults().size() != 1)
            return {};
        return b.rowResults()[0]->columns;
    }
};

TEST_F(ProtocolOrigin, AnySelectMarksIdentityAndTimestampColumnsAndNamesAliases) {
    const auto c = describe("select id, name as label, timestamp, price * 2 from bt");
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].name, "id");
    EXPECT_NE(c[0].status & CS_IDENTITY, 0);
    EXPECT_EQ(c[0].status & CS_CANBENULL, 0);
    EXPECT_EQ(c[1].name, "label");
    EXPECT_EQ(c[1].status & CS_IDENTITY, 0);
    EXPECT_EQ(c[2].name, "timestamp");
    EXPECT_EQ(c[2].usertype, kTimestampUserType);
    EXPECT_EQ(c[2].datatype, CS_BINARY_TYPE);
    EXPECT_EQ(c[2].maxLength, 8);
    EXPECT_EQ(c[3].name, "");
    EXPECT_NE(c[3].status & CS_CANBENULL, 0);
    // Outside browse mode nothing is marked as key, hidden or updatable.
    for (const CtColumn& column : c)
        EXPECT_EQ(column.status & (CS_KEY | CS_HIDDEN | CS_UPDATABLE), 0) << column.name;
}

TEST_F(ProtocolOrigin, BrowseModeAddsTheKeyAndTimestampHiddenAndMarksExpressions) {
    auto cmd = con.newCommand();
    const char* sql = "select name as n, upper(name) as big, 1 from bt for browse";
    ASSERT_EQ(ct_command(cmd.get(), CS_LANG_CMD, sql, CS_NULLTERM, CS_UNUSED), CS_SUCCEED);
    ASSERT_EQ(ct_send(cmd.get()), CS_SUCCEED);
    CS_INT type = 0;
    ASSERT_EQ(ct_results(cmd.get(), &type), CS_SUCCEED);
    ASSERT_EQ(type, CS_ROW_RESULT);
    // The client library counts only the columns asked for; the hidden ones follow them.
    CS_INT visible = 0;
    ASSERT_EQ(ct_res_info(cmd.get(), CS_NUMDATA, &visible, CS_UNUSED, nullptr), CS_SUCCEED);
    EXPECT_EQ(visible, 3);
    struct Expected {
        const char* name;
        CS_INT status; ///< of CS_UPDATABLE, CS_KEY, CS_HIDDEN
    };
    const Expected expected[] = {{"n", CS_UPDATABLE},
                                 {"big", 0},
                                 {"", 0},
                                 {"id", CS_UPDATABLE | CS_KEY | CS_HIDDEN},
                                 {"timestamp", CS_UPDATABLE | CS_KEY | CS_HIDDEN}};
    for (CS_INT i = 0; i < 5; ++i) {
        SCOPED_TRACE(expected[i].name);
        CS_DATAFMT f{};
        ASSERT_EQ(ct_describe(cmd.get(), i + 1, &f), CS_SUCCEED);
        EXPECT_EQ(std::string(f.name, static_cast<size_t>(std::max<CS_INT>(f.namelen, 0))),
                  expected[i].name);
        EXPECT_EQ(f.status & (CS_UPDATABLE | CS_KEY | CS_HIDDEN), expected[i].status);
        if (i == 4) {
            EXPECT_EQ(f.usertype, kTimestampUserType);
        }
    }
    testsupport::CtResult rows;
    con.fetchAll(cmd.get(), rows);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[0][0].text, "a");
    EXPECT_EQ(rows.rows[0][1].text, "A");
    CtBatch rest = con.collect(cmd.get());
    ASSERT_TRUE(rest.ok);
    EXPECT_FALSE(rest.failed);

    // Columns the select list names are not added again; `*` names them all.
    EXPECT_EQ(describedColumns("select id, name from bt for browse"), 3);
    EXPECT_EQ(describedColumns("select * from bt b for browse"), 4);
    // The session goes on after browse results.
    EXPECT_EQ(con.execute("select count(*) from bt").rowResults().at(0)->rows.at(0).at(0).text,
              "2");
}

} // namespace

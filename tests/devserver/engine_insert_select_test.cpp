// Inserts without a column list and inserts from a select, in batches of one statement and
// of many: the check a batch passes before it runs sees each insert as it will run.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineInsertSelect : public EngineSessionTest {
protected:
    void SetUp() override {
        EngineSessionTest::SetUp();
        run("create table t_src (a int, b varchar(10))\n"
            "insert t_src values (1, 'x')\n"
            "create table t_ident (id int identity, a int, b varchar(10))\n"
            "create table t_heads (head varchar(10))");
        ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    }
    int64_t count(const std::string& table) {
        run("select count(*) from " + table);
        return sink.results().at(0).rows.at(0).at(0).integer;
    }
};

// A select whose first column is a call writes its value; its parentheses are no column list.
TEST_F(EngineInsertSelect, ASelectListStartingWithACallIsNoColumnList) {
    const char* batches[] = {
        "insert t_heads select upper(b) from t_src",
        "insert t_heads select left(b, 1) from t_src\ninsert t_heads select 'y'",
        "insert t_ident select convert(int, a), b from t_src",
        "select 1\ninsert t_ident select isnull(a, 0), upper(b) from t_src",
    };
    for (const char* sql : batches) {
        RecordingSink& r = run(sql);
        EXPECT_TRUE(r.errors().empty()) << sql << ": " << r.errors().at(0).text;
    }
    EXPECT_EQ(count("t_heads where head in ('X', 'x', 'y')"), 3);
    EXPECT_EQ(count("t_ident where a = 1 and b = 'X'"), 1);
}

// In a batch of many statements an insert into a table with an identity column, without a
// column list, runs as it does alone; one it refuses stops the whole batch before it runs.
TEST_F(EngineInsertSelect, IdentityTableInsertsInABatchAreCheckedAsTheyRun) {
    RecordingSink& r = run("insert t_ident select a, b from t_src\n"
                           "insert t_ident values (2, 'y')\n"
                           "insert into t_ident select max(a) + 10, b from t_src group by b\n"
                           "select id, a from t_ident order by id");
    ASSERT_TRUE(r.errors().empty()) << r.errors()[0].text;
    const auto rows = r.results().at(0).rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][0].integer, 3);
    EXPECT_EQ(rows[2][1].integer, 11);
    RecordingSink& refused = run("insert t_src values (3, 'z')\n"
                                 "insert t_ident values (null, 'n')");
    ASSERT_EQ(refused.errors().size(), 1u);
    EXPECT_EQ(refused.errors()[0].number, 233);
    EXPECT_EQ(count("t_src"), 1) << "nothing of a refused batch runs";
    EXPECT_EQ(count("t_ident"), 3);
}

} // namespace
} // namespace devserver::test

// Queries and batches through the SQL side: row results, counts, several results and
// errors in one batch, messages and their numbers.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineQuery : public ::testing::Test {
protected:
    void SetUp() override {
        database = Database::open(ServerConfig{});
        session = database->openSession(LoginInfo{"tester", "", "", ""}, 7);
    }
    RecordingSink& run(const std::string& sql) {
        sink.clear();
        session->executeBatch(sql, sink);
        return sink;
    }
    std::unique_ptr<Database> database;
    std::unique_ptr<Session> session;
    RecordingSink sink;
};

TEST_F(EngineQuery, SelectsConstantsAndSessionValues) {
    auto& s = run("select 1 as one, 'abc' as txt, @@spid, db_name(), user_name()");
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    const auto& cols = results[0].columns;
    EXPECT_EQ(cols[0].name, "one");
    EXPECT_EQ(cols[0].type.type, SqlType::Int);
    EXPECT_EQ(cols[1].type.type, SqlType::VarChar);
    EXPECT_EQ(cols[2].name, "");
    const auto& row = results[0].rows[0];
    EXPECT_EQ(row[0].integer, 1);
    EXPECT_EQ(row[1].bytes, "abc");
    EXPECT_EQ(row[2].integer, 7);
    EXPECT_EQ(row[3].bytes, "master");
    EXPECT_EQ(row[4].bytes, "tester");
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 1u);
    EXPECT_FALSE(dones[0].error);
    EXPECT_EQ(dones[0].count, 1);
}

TEST_F(EngineQuery, BatchWithSeveralResultsGoesOnAfterErrors) {
    auto& s = run("create table t1 (a int not null, b varchar(10))\n"
                  "insert into t1 values (1, \"one\")\n"
                  "insert into t1 values (2, 'two')\n"
                  "select * from nosuchtable\n"
                  "select a, b from t1 order by a\n"
                  "select nosuchcolumn from t1\n"
                  "insert into t1 values (null, 'x')\n"
                  "select count(*) from t1");
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[0].rows[1][1].bytes, "two");
    EXPECT_FALSE(results[0].columns[0].type.nullable);
    EXPECT_TRUE(results[0].columns[1].type.nullable);
    EXPECT_EQ(results[1].rows[0][0].integer, 2);
    auto errors = s.errors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].number, 208);
    EXPECT_EQ(errors[0].line, 4);
    EXPECT_EQ(errors[1].number, 207);
    EXPECT_EQ(errors[1].severity, 16);
    EXPECT_EQ(errors[1].text, "Invalid column name 'nosuchcolumn'.");
    EXPECT_EQ(errors[2].number, 515);
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 8u);
    EXPECT_EQ(dones[1].count, 1);
    EXPECT_TRUE(dones[3].error);
    EXPECT_EQ(dones[4].count, 2);
    EXPECT_TRUE(dones[5].error);
}

} // namespace
} // namespace devserver::test

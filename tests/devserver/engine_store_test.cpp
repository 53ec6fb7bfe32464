// Values as the server stores them: exact numerics rounded to their column's scale by every
// kind of write, so that the stored, selected and compared values agree.
#include "engine_sink.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace devserver::test {
namespace {

class EngineStore : public EngineSessionTest {
protected:
    /// Runs a batch that must not fail.
    RecordingSink& ok(const std::string& sql) {
        run(sql);
        for (const auto& e : sink.errors())
            ADD_FAILURE() << e.number << ": " << e.text << " in: " << sql;
        return sink;
    }
    /// The single integer a batch ending in a one-value select gives.
    int64_t scalar(const std::string& sql) {
        auto results = ok(sql).results();
        if (results.empty() || results.back().rows.size() != 1) {
            ADD_FAILURE() << "no single row for: " << sql;
            return -1;
        }
        return results.back().rows[0].at(0).integer;
    }
};

// Each way of writing a value rounds it half away from zero to the column's scale: a where
// clause built from the fetched value finds the row, and the unrounded value does not.
TEST_F(EngineStore, ExactNumericsAreRoundedToTheColumnScaleOnEveryWrite) {
    ok("create table t_round (id int, n numeric(5,2) null, d decimal(7,3) null, m money null,"
       " sm smallmoney null)\n"
       "create table t_source (id int, n numeric(10,4), m numeric(12,6))\n"
       "insert t_source values (3, -4.5650, 7.123450)\n"
       "create procedure p_round @n numeric(5,2), @m money as\n"
       "    insert t_round (id, n, m) values (5, @n, @m)");
    ok("insert t_round values (1, 1.239, 2.0005, 1.23456, -0.00005)\n"
       "insert t_round (id, n, d, m, sm) values (2, 0, 0, 0, 0)\n"
       "update t_round set n = -2.345, d = 1.9994, m = 0.00015, sm = 214748.36465 where id = 2\n"
       "insert t_round (id, n, m) select id, n, m from t_source\n"
       "declare @n numeric(5,2), @m money\n"
       "select @n = 9.999, @m = 1.99995\n"
       "insert t_round (id, n, m) values (4, @n, @m)\n"
       "exec p_round 3.455, -0.00025");
    struct Stored {
        int id;
        const char* column;
        const char* rounded;
        const char* written;
    };
    const Stored cases[] = {
        {1, "n", "1.24", "1.239"},     {1, "d", "2.001", "2.0005"},
        {1, "m", "1.2346", "1.23456"}, {1, "sm", "-0.0001", "-0.00005"},
        {2, "n", "-2.35", "-2.345"},   {2, "d", "1.999", "1.9994"},
        {2, "m", "0.0002", "0.00015"}, {2, "sm", "214748.3647", "214748.36465"},
        {3, "n", "-4.57", "-4.565"},   {3, "m", "7.1235", "7.12345"},
        {4, "n", "10.00", "9.999"},    {4, "m", "2.0000", "1.99995"},
        {5, "n", "3.46", "3.455"},     {5, "m", "-0.0003", "-0.00025"},
    };
    for (const auto& c : cases) {
        const std::string where =
            "select count(*) from t_round where id = " + std::to_string(c.id) + " and " + c.column +
            " = ";
        EXPECT_EQ(scalar(where + c.rounded), 1) << c.column << " of row " << c.id;
        EXPECT_EQ(scalar(where + c.written), 0) << c.column << " of row " << c.id;
    }
    // The stored value is the rounded one, whatever reads it.
    EXPECT_EQ(scalar("select count(*) from t_round where convert(varchar(20), n) = '1.24'"), 1);
    EXPECT_EQ(scalar("select count(*) from t_round t1, t_round t2"
                     " where t1.id = 1 and t2.id = 2 and t1.n + t2.n = -1.11"),
              1);
    auto n = ok("select n from t_round where id = 1").results().at(0).rows.at(0).at(0);
    EXPECT_TRUE(n.numeric == 124);
    // A table made by select into keeps its columns' scales for later writes.
    ok("select id, n, m into t_copy from t_round where id = 1\n"
       "insert t_copy values (9, 5.555, 1.00005)");
    EXPECT_EQ(scalar("select count(*) from t_copy where n = 5.56 and m = 1.0001"), 1);
}

// A value whose integer digits do not fit the precision, itself or once rounded, fails the
// write with an arithmetic overflow and stores nothing.
TEST_F(EngineStore, ExactNumericsTooLargeForTheColumnOverflow) {
    ok("create table t_over (id int, n numeric(5,2) null, sm smallmoney null)\n"
       "insert t_over values (1, 999.99, 0)");
    for (const char* sql :
         {"insert t_over (id, n) values (2, 1000)", "insert t_over (id, n) values (2, 999.995)",
          "insert t_over (id, n) values (2, -999.999)", "update t_over set n = n + 0.01",
          "insert t_over (id, sm) values (2, 214748.36475)"}) {
        RecordingSink& bad = run(sql);
        ASSERT_EQ(bad.errors().size(), 1u) << sql;
        EXPECT_EQ(bad.errors()[0].number, 3606) << sql;
    }
    EXPECT_EQ(scalar("select count(*) from t_over where n = 999.99"), 1);
    EXPECT_EQ(scalar("select count(*) from t_over"), 1);
}

// With databases kept in files, values are rounded the same way, and still after the server
// has been started again on those files.
TEST(EngineStoreFiles, ExactNumericsAreRoundedInDataFiles) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("engine-store-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    ServerConfig config;
    config.dataDir = dir.string();
    const char* batches[] = {
        "create table t_kept (id int, n numeric(5,2))\ninsert t_kept values (1, 1.239)",
        "insert t_kept values (2, 2.345)\nupdate t_kept set n = 7.005 where id = 1",
    };
    for (const char* sql : batches) {
        auto database = Database::open(config);
        auto session = database->openSession(LoginInfo{}, 1);
        RecordingSink sink;
        session->executeBatch(sql, sink);
        EXPECT_TRUE(sink.errors().empty()) << sql;
    }
    auto database = Database::open(config);
    auto session = database->openSession(LoginInfo{}, 1);
    RecordingSink sink;
    session->executeBatch("select count(*) from t_kept where id = 1 and n = 7.01 or id = 2 and n = "
                          "2.35",
                          sink);
    EXPECT_EQ(sink.results().at(0).rows.at(0).at(0).integer, 2);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace devserver::test

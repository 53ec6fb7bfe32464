// The system tables and procedures: sysobjects, syscolumns, systypes, sysusers and
// sysdatabases with the server's column types, and sp_help, sp_who and sp_helpdb with the
// server's result columns.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineCatalog : public EngineSessionTest {
protected:
    EngineCatalog() : EngineSessionTest(9) {}
    void SetUp() override {
        EngineSessionTest::SetUp();
        ASSERT_TRUE(run("create table cat_t (id int, name varchar(20) null, amount money null, "
                        "note text null,"
                        " total numeric(30,2) null)\n"
                        "create unique index cat_t_id on cat_t (id)")
                        .errors()
                        .empty());
    }
    ResultSet only(const std::string& sql) {
        auto& s = run(sql);
        for (const auto& e : s.errors())
            ADD_FAILURE() << sql << ": " << e.number << " " << e.text;
        auto results = s.results();
        if (results.size() != 1) {
            ADD_FAILURE() << sql << ": " << results.size() << " results";
            return {};
        }
        return results[0];
    }
};

TEST_F(EngineCatalog, SystemTablesHaveTheServersColumnTypes) {
    auto objects = only("select name, type, id from sysobjects where name = 'cat_t'");
    ASSERT_EQ(objects.rows.size(), 1u);
    EXPECT_EQ(objects.columns[0].type.type, SqlType::VarChar)
        << "not text: catalog queries read no blob";
    EXPECT_FALSE(objects.columns[0].type.nullable);
    EXPECT_EQ(objects.columns[1].type.type, SqlType::Char);
    EXPECT_EQ(objects.columns[1].type.length, 2);
    EXPECT_EQ(objects.rows[0][1].bytes.substr(0, 1), "U");
    EXPECT_EQ(
        only("select count(*) from sysobjects where name like 'tovrin%' or name like 'sqlite%'")
            .rows[0][0]
            .integer,
        0)
        << "internal objects stay hidden";

    // Per column: the type code (the nullable code for a nullable column), user type, status.
    auto columns =
        only("select c.name, c.type, c.usertype, c.status, c.length from syscolumns c, sysobjects o"
             " where o.id = c.id and o.name = 'cat_t' order by c.colid");
    ASSERT_EQ(columns.rows.size(), 5u);
    const struct {
        const char* name;
        int type, usertype, status, length;
    } expected[] = {{"id", 56, 7, 0, 4},
                    {"name", 39, 2, 8, 20},
                    {"amount", 110, 11, 8, 8},
                    {"note", 35, 19, 8, 16},
                    {"total", 108, 10, 8, 14}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(columns.rows[i][0].bytes, expected[i].name);
        EXPECT_EQ(columns.rows[i][1].integer, expected[i].type) << expected[i].name;
        EXPECT_EQ(columns.rows[i][2].integer, expected[i].usertype) << expected[i].name;
        EXPECT_EQ(columns.rows[i][3].integer, expected[i].status) << expected[i].name;
        EXPECT_EQ(columns.rows[i][4].integer, expected[i].length) << expected[i].name;
    }
    EXPECT_EQ(only("select type from systypes where name = 'int'").rows.at(0)[0].integer, 56);
    EXPECT_EQ(only("select name from sysusers where uid = 1").rows.at(0)[0].bytes, "dbo");
    auto databases = only("select name, dbid from sysdatabases order by dbid");
    ASSERT_FALSE(databases.rows.empty());
    EXPECT_EQ(databases.rows[0][0].bytes, "master");
    EXPECT_EQ(databases.columns[0].type.type, SqlType::VarChar);

    // A table created later shows at once.
    run("create table cat_later (v int)");
    EXPECT_EQ(only("select count(*) from sysobjects where name = 'cat_later' and type = 'U'")
                  .rows[0][0]
                  .integer,
              1);
}

TEST_F(EngineCatalog, SystemProceduresHaveTheServersResultShapes) {
    auto& help = run("sp_help cat_t");
    EXPECT_TRUE(help.errors().empty());
    auto results = help.results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].columns[0].name, "Name");
    EXPECT_EQ(results[0].rows.at(0)[2].bytes, "user table");
    const auto& cols = results[1];
    ASSERT_EQ(cols.columns.size(), 12u);
    EXPECT_EQ(cols.columns[0].name, "Column_name");
    EXPECT_EQ(cols.columns[5].name, "Nulls");
    ASSERT_EQ(cols.rows.size(), 5u);
    EXPECT_EQ(cols.rows[0][1].bytes, "int");
    EXPECT_EQ(cols.rows[0][5].integer, 0) << "id is not null";
    EXPECT_EQ(cols.rows[2][1].bytes, "money");
    EXPECT_EQ(cols.rows[2][5].integer, 1);
    EXPECT_EQ(results[2].columns[0].name, "index_name");
    EXPECT_EQ(results[2].rows.at(0)[0].bytes, "cat_t_id");

    auto& all = run("exec sp_help");
    ASSERT_EQ(all.results().size(), 1u);
    EXPECT_GE(all.results()[0].rows.size(), 1u);
    EXPECT_EQ(run("sp_help no_such_object").errors().at(0).number, 17461);

    auto& who = run("sp_who");
    ASSERT_EQ(who.results().size(), 1u);
    EXPECT_EQ(who.results()[0].columns[1].name, "spid");
    ASSERT_EQ(who.results()[0].rows.size(), 1u);
    EXPECT_EQ(who.results()[0].rows[0][1].integer, 9);
    EXPECT_EQ(who.results()[0].rows[0][7].bytes, "master");

    auto& db = run("sp_helpdb master");
    ASSERT_EQ(db.results().size(), 1u);
    EXPECT_EQ(db.results()[0].columns[1].name, "db_size");
    ASSERT_EQ(db.results()[0].rows.size(), 1u);
    EXPECT_EQ(db.results()[0].rows[0][0].bytes, "master");
}

} // namespace
} // namespace devserver::test

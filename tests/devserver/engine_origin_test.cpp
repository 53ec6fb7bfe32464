// What the SQL side tells of each result column's origin (the table column it shows, under
// its own name or an alias; nothing for expressions and constants), identity and timestamp
// columns, @@identity and identity_insert, and savepoints inside a transaction.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineOrigin : public EngineSessionTest {
protected:
    EngineOrigin() : EngineSessionTest(9) {}

    /// Runs `sql` and expects it to succeed.
    RecordingSink& ok(const std::string& sql) {
        RecordingSink& s = run(sql);
        EXPECT_TRUE(s.errors().empty()) << sql << ": " << s.errors().front().text;
        return s;
    }
    /// The single integer the select `sql` gives.
    int64_t integer(const std::string& sql) {
        auto results = ok(sql).results();
        if (results.size() != 1 || results[0].rows.size() != 1) {
            ADD_FAILURE() << sql << ": no single value";
            return -1;
        }
        return results[0].rows[0][0].integer;
    }
};

TEST_F(EngineOrigin, PlainColumnsNameTheirTableAndColumnExpressionsNothing) {
    ok("create table ua (id int identity, name varchar(10), price money null)\n"
       "create table ub (uid int, city varchar(10))\n"
       "insert ua (name, price) values ('a', 2)\ninsert ub values (1, 'x')");
    auto results =
        ok("select ua.id, ua.name as note, upper(ua.name) as big, ua.price * 2 as double_price, 1 "
           "as one, ub.city, u.name from ua, ub, ua u where ua.id = ub.uid")
            .results();
    ASSERT_EQ(results.size(), 1u);
    const std::vector<Column>& c = results[0].columns;
    ASSERT_EQ(c.size(), 7u);
    struct Expected {
        const char* name;
        const char* table;
        const char* column;
    };
    const Expected expected[] = {
        {"id", "ua", "id"}, {"note", "ua", "name"}, {"big", "", ""},       {"double_price", "", ""},
        {"one", "", ""},    {"city", "ub", "city"}, {"name", "ua", "name"}};
    for (size_t i = 0; i < c.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(c[i].name, expected[i].name);
        EXPECT_EQ(c[i].origin.table, expected[i].table);
        EXPECT_EQ(c[i].origin.column, expected[i].column);
        const bool plain = *expected[i].table != '\0';
        EXPECT_EQ(c[i].origin.database, plain ? "master" : "");
        EXPECT_EQ(c[i].origin.owner, plain ? "dbo" : "");
        EXPECT_EQ(c[i].identity, i == 0);
    }
    EXPECT_FALSE(c[0].type.nullable) << "an identity column never holds NULL";
}

TEST_F(EngineOrigin, TimestampColumnsTakeANewDatabaseWideValueOnEveryWrite) {
    ok("create table t1 (a int, timestamp)\ncreate table t2 (b int, ts timestamp)");
    ok("insert t1 (a) values (1)\ninsert t2 (b) values (1)\ninsert t1 (a) values (2)");
    auto rows = ok("select a, timestamp from t1 order by a").results().at(0);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_TRUE(rows.columns[1].timestamp);
    EXPECT_EQ(rows.columns[1].type.type, SqlType::VarBinary);
    EXPECT_EQ(rows.columns[1].type.length, 8);
    const std::string first = rows.rows[0][1].bytes, third = rows.rows[1][1].bytes;
    ASSERT_EQ(first.size(), 8u);
    const std::string second = ok("select ts from t2").results().at(0).rows.at(0).at(0).bytes;
    // One counter for the database: t2's row was stamped between t1's two.
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(ok("select @@dbts").results().at(0).rows.at(0).at(0).bytes, third);

    ok("update t1 set a = 10 where a = 1");
    const std::string updated =
        ok("select timestamp from t1 where a = 10").results().at(0).rows.at(0).at(0).bytes;
    EXPECT_GT(updated, third);
    EXPECT_EQ(ok("select @@dbts").results().at(0).rows.at(0).at(0).bytes, updated);
    // The other row is untouched.
    EXPECT_EQ(ok("select timestamp from t1 where a = 2").results().at(0).rows.at(0).at(0).bytes,
              third);
}

TEST_F(EngineOrigin, IdentityOfTheLastInsertAndExplicitValuesOnlyWhenAllowed) {
    ok("create table ids (id numeric(10,0) identity, name varchar(10))\n"
       "create table plain (a int)");
    ok("insert ids (name) values ('a')\ninsert ids (name) values ('b')");
    EXPECT_EQ(integer("select @@identity"), 2);
    ok("insert plain values (7)");
    EXPECT_EQ(integer("select @@identity"), 0) << "a table without an identity column";

    RecordingSink& refused = run("insert ids (id, name) values (10, 'c')");
    ASSERT_EQ(refused.errors().size(), 1u);
    EXPECT_EQ(refused.errors()[0].number, 584);
    EXPECT_EQ(refused.errors()[0].text, "Explicit value specified for identity field in table "
                                        "'ids' when IDENTITY_INSERT is set to OFF.");
    EXPECT_EQ(integer("select count(*) from ids"), 2);

    ok("set identity_insert ids on\ninsert ids (id, name) values (10, 'c')\n"
       "set identity_insert ids off");
    EXPECT_EQ(integer("select @@identity"), 10);
    EXPECT_EQ(run("insert ids (id, name) values (11, 'd')").errors().at(0).number, 584);
    ok("insert ids (name) values ('e')");
    EXPECT_EQ(integer("select @@identity"), 11);
}

TEST_F(EngineOrigin, RollbackToASavepointKeepsTheWorkBeforeItAndTheTransaction) {
    ok("create table sp (a int)");
    ok("begin tran\ninsert sp values (1)\nsave transaction before_two\ninsert sp values (2)");
    ok("rollback transaction before_two");
    EXPECT_EQ(integer("select @@trancount"), 1);
    ok("insert sp values (3)\ncommit tran");
    auto rows = ok("select a from sp order by a").results().at(0).rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].integer, 1);
    EXPECT_EQ(rows[1][0].integer, 3);
}

} // namespace
} // namespace devserver::test

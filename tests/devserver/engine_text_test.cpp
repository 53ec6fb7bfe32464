// left() and right() on every character type, text included, wherever an expression may be.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineText : public EngineSessionTest {};

TEST_F(EngineText, LeftAndRightTakeTextAndCharacterColumns) {
    run("create table t_notes (id int, tx text null, vc varchar(20) null, uc univarchar(20) null)\n"
        "insert t_notes values (1, 'hello world', 'abcdef', 'uvwxyz')\n"
        "insert t_notes values (2, null, null, null)");
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    struct Case {
        const char* expression;
        const char* text; ///< nullptr: NULL
    };
    const Case cases[] = {
        {"left(tx, 5)", "hello"},    {"right(tx, 5)", "world"},   {"left(tx, 50)", "hello world"},
        {"left(vc, 2)", "ab"},       {"right(vc, 2)", "ef"},      {"left(uc, 3)", "uvw"},
        {"left('abcdef', 2)", "ab"}, {"upper(left(tx, 1))", "H"}, {"left(tx, 5) + '!'", "hello!"},
    };
    for (const auto& c : cases) {
        for (int id : {1, 2}) {
            RecordingSink& r = run(std::string("select ") + c.expression +
                                   " from t_notes where id = " + std::to_string(id));
            ASSERT_TRUE(r.errors().empty()) << c.expression << ": " << r.errors()[0].text;
            const Value v = r.results().at(0).rows.at(0).at(0);
            if (id == 1 && c.text)
                EXPECT_EQ(v.bytes, c.text) << c.expression;
            else if (id == 2 && std::string(c.expression).find('\'') == std::string::npos)
                EXPECT_TRUE(v.isNull) << c.expression << " of NULL";
        }
    }
    // In a where clause and in an insert … select as well.
    run("create table t_heads (head varchar(10))\n"
        "insert t_heads select left(tx, 5) from t_notes where left(tx, 5) = 'hello'\n"
        "select count(*) from t_heads where head = 'hello'");
    ASSERT_TRUE(sink.errors().empty()) << sink.errors()[0].text;
    EXPECT_EQ(sink.results().at(0).rows.at(0).at(0).integer, 1);
}

} // namespace
} // namespace devserver::test

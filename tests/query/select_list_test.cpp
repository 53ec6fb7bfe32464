// The reader of a plain select's list and from clause, without a server: which items are
// columns (and of which table, under which name), which are expressions, and which texts
// are not one plain select at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/query/SybSelectList.h"

namespace {

using namespace tovrin::selectlist;

// Items as "C:qualifier.column>label", "S:qualifier.*" or "E>label"; tables as
// "name/alias".
std::string describe(const SelectShape& Shape) {
    std::string out;
    for (const SelectItem& item : Shape.items) {
        switch (item.kind) {
        case SelectItem::Kind::Column:
            out += "C:" + item.qualifier + "." + item.column + ">" + item.label;
            break;
        case SelectItem::Kind::Star:
            out += "S:" + item.qualifier + ".*";
            break;
        case SelectItem::Kind::Expression:
            out += "E>" + item.label;
            break;
        }
        out += " ";
    }
    out += "|";
    for (const TableRef& table : Shape.tables)
        out += " " + table.name + "/" + table.alias;
    return out;
}

TEST(SelectList, ReadsColumnsAliasesExpressionsAndTables) {
    struct Case {
        const char* sql;
        const char* shape;
    };
    const Case cases[] = {
        {"select id, name as note, label = type, price cost from t",
         "C:.id>id C:.name>note C:.type>label C:.price>cost | t/"},
        {"SELECT DISTINCT TOP 5 a.id, a.[Name] FROM dbo.t a HOLDLOCK WHERE a.id > 1",
         "C:a.id>id C:a.Name>Name | dbo.t/a"},
        // Commas and keywords inside literals, comments and calls are not separators.
        {"select substring(name, 1, 2) as s, 'a, b from' as \"x y\", -- from u\n"
         " /* , from v */ id from t",
         "E>s E>x y C:.id>id | t/"},
        {"select upper(type) as type, price * 2 double_price, 1, null, @v, (select max(id) "
         "from u) top_id from t",
         "E>type E>double_price E> E> E> E>top_id | t/"},
        {"select case when x = 1 then 'a' else 'b' end, count(*) from t group by x", "E> E> | t/"},
        {"select *, t.*, o.id from db.dbo.items t inner join orders as o on o.id = t.id "
         "left outer join (select 1 as k) d on d.k = 1, tags g (index tags_i) order by 1",
         "S:.* S:t.* C:o.id>id | db.dbo.items/t orders/o /d tags/g"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto shape = readSelect(c.sql);
        ASSERT_TRUE(shape.has_value());
        EXPECT_EQ(describe(*shape), c.shape);
    }
}

TEST(SelectList, OnlyOnePlainSelectHasAShape) {
    for (const char* sql :
         {"exec items_of 1", "select 1", "select id from t union select id from u",
          "select id into #copy from t", "select id from t\nselect id from u", "update t set a = 1",
          "select id from t where id in (select 1", "  "}) {
        SCOPED_TRACE(sql);
        EXPECT_FALSE(readSelect(sql).has_value());
    }
    // A subquery is not a second statement.
    EXPECT_TRUE(readSelect("select id from t where id in (select id from u)").has_value());
}

} // namespace

// Filtering, searching and required fields on a query over the sample database, used the
// way an application uses them: persistent fields with a calculated one, a filter
// expression on it, Find* before the filter is applied, and a new record posted; searches
// and filters on char(n) values and on nulls agree with the server.
#include <gtest/gtest.h>

#include "tovrin5/host/FieldsTyped.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::makeQuery;

constexpr char kConnection[] = "FILTER";
constexpr char kPubs[] = "pubs";

class QueryFilter : public querytest::ConnectedSuite<kConnection, kPubs> {};

TEST_F(QueryFilter, AnApplicationFiltersSearchesAndAddsTitles) {
    auto query = makeQuery(
        kConnection, "select title_id, title, type, price, pubdate from titles order by title_id");
    query->FieldDefs().Update();
    for (int i = 0; i < query->FieldDefs().Count(); ++i)
        query->FieldDefs().Items(i)->CreateField(query.get());
    auto* withTax = new host::TFloatField(query.get());
    withTax->SetFieldName("with_tax");
    withTax->SetFieldKind(host::fkCalculated);
    withTax->SetDataSet(query.get());
    host::TField* price = query->FieldByName("price");
    query->SetOnCalcFields([&](host::TDataSet*) {
        if (!price->IsNull())
            withTax->SetAsFloat(price->AsFloat() * 1.25);
    });
    query->Open();
    ASSERT_TRUE(query->Active());
    auto id = [&] { return query->FieldByName("title_id")->AsString(); };

    // Find* search with the expression before it is applied; the cursor shows all.
    query->SetFilter("type = 'cook*' and with_tax > 12");
    EXPECT_TRUE(query->FindFirst());
    EXPECT_EQ(id(), "CK1325");
    EXPECT_TRUE(query->FindNext());
    EXPECT_EQ(id(), "CK1373");
    EXPECT_FALSE(query->FindNext());
    EXPECT_EQ(query->RecordCount(), 30);

    query->SetFiltered(true);
    EXPECT_EQ(query->RecordCount(), 2);
    query->SetFilter("pubdate >= '2010-01-01' and price is null");
    EXPECT_EQ(id(), "CO1698");
    EXPECT_EQ(query->RecordCount(), 1);
    query->SetFilterOptions(host::TFilterOptions{host::foCaseInsensitive});
    query->SetFilter("title = 'the *' and not (type = 'UNSORTED*')");
    EXPECT_EQ(query->RecordCount(), 3); // The Curious Palate, The Patient Stew, The Art of ...
    query->SetFiltered(false);

    // A key longer than its column finds nothing; a new title needs its not-null values.
    EXPECT_FALSE(query->Locate("title_id", "CK13250", {}));
    EXPECT_TRUE(query->FieldByName("title_id")->Required());
    EXPECT_FALSE(price->Required());
    query->Append();
    query->FieldByName("title_id")->SetAsString("NEW001");
    EXPECT_EQ(querytest::errorOf([&] { query->Post(); }), "Field 'title' must have a value");
    query->FieldByName("title")->SetAsString("A New Title");
    query->FieldByName("type")->SetAsString("cookery");
    query->FieldByName("pubdate")->SetAsDateTime(host::EncodeDate(2026, 12, 8));
    query->FieldByName("price")->SetAsFloat(20);
    query->Post();
    query->SetFilter("type = 'cook*' and with_tax > 12");
    query->SetFiltered(true);
    EXPECT_EQ(query->RecordCount(), 3);
}

// The server's count of the rows of titles that a condition selects.
int serverCount(const std::string& condition) {
    auto count = makeQuery(kConnection, "select count(*) from titles where " + condition);
    count->Open();
    return count->Fields()[0]->AsInteger();
}

TEST_F(QueryFilter, CharValuesAreFoundWithoutTheirPadding) {
    auto query = makeQuery(kConnection, "select title_id, type from titles order by title_id");
    query->Open();
    ASSERT_EQ(query->FieldByName("type")->Size(), 12);
    const int kitchen = serverCount("type = 'kitchen'");
    ASSERT_GT(kitchen, 0);
    // The sequential search, the lookup and the halving search, with the key as the server
    // takes it, padded, or with blanks beyond the column's length.
    for (const char* key : {"kitchen", "kitchen     ", "kitchen                "}) {
        query->First();
        EXPECT_TRUE(query->Locate("type", key, {})) << '"' << key << '"';
        EXPECT_EQ(query->FieldByName("type")->AsString().substr(0, 7), "kitchen");
        EXPECT_FALSE(query->Lookup("type", key, "title_id").IsNull()) << '"' << key << '"';
    }
    EXPECT_TRUE(query->Locate("type", "KITCHEN", host::TLocateOptions{host::loCaseInsensitive}));
    EXPECT_TRUE(query->Locate("type", "kitch", host::TLocateOptions{host::loPartialKey}));
    EXPECT_FALSE(query->Locate("type", "kitchenette", {}));

    query->SetDoBinaryLocate(true);
    query->SortOn("type", {});
    query->SetSorted(true);
    query->Last();
    EXPECT_TRUE(query->Locate("type", "kitchen", {}));
    // The first of the kitchen titles in the sorted order: the one before is another type.
    EXPECT_EQ(query->FieldByName("type")->AsString().substr(0, 7), "kitchen");
    int found = 0;
    for (; !query->Eof() && query->FieldByName("type")->AsString().substr(0, 7) == "kitchen";
         query->Next())
        ++found;
    EXPECT_EQ(found, kitchen);

    query->SetFilter("type = 'kitchen'");
    query->SetFiltered(true);
    EXPECT_EQ(query->RecordCount(), kitchen);
}

TEST_F(QueryFilter, NullsFollowThreeValuedLogicAsOnTheServer) {
    auto query = makeQuery(kConnection, "select title_id, type, price from titles");
    query->Open();
    ASSERT_GT(serverCount("price is null"), 0);
    for (const char* condition : {"not (price < 16)", "not (price < 16 or type = 'kitchen')",
                                  "not (price < 16 and type = 'kitchen')",
                                  "price >= 16 or not (price < 3)", "not (not (price < 16))"}) {
        query->SetFilter(condition);
        query->SetFiltered(true);
        EXPECT_EQ(query->RecordCount(), serverCount(condition)) << condition;
    }
}

} // namespace

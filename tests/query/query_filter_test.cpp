// Filtering, searching and required fields on a query over the sample database, used the
// way an application uses them: persistent fields with a calculated one, a filter
// expression on it, Find* before the filter is applied, and a new record posted.
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

} // namespace

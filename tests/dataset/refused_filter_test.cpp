// A filter expression the dataset refuses, when it is read or when it meets the fields,
// leaves the former filter in force; and the dataset's own sorting by fields, which
// generic code (the Qt model's header sort) reaches through the framework's dataset.
#include <gtest/gtest.h>

#include "dataset_support.h"

namespace dstest {
namespace {

std::unique_ptr<TestQuery> prices() {
    auto q = std::make_unique<TestQuery>(
        nullptr, std::vector<Column>{{"N", ftInteger}, {"S", ftString, 20}, {"P", ftFloat}});
    const char* names[] = {"pear", "fig", "apple", "kiwi", "plum"};
    for (int i = 1; i <= 5; ++i)
        q->AddRow({i, names[i - 1], i * 10.0});
    return q;
}

TEST(Filter, ARefusedExpressionLeavesTheFormerFilterInForce) {
    struct Case {
        const char* expression;
        const char* why; // a piece of the message
    };
    const Case cases[] = {
        {"nosuchfield > 1", "nosuchfield"}, // unknown when the fields are met
        {"P > 'cheap'", "cheap"},           // a literal its field cannot take
        {"N > > 2", "position"},            // not an expression at all
    };
    for (const bool filtered : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.expression);
            auto q = prices();
            q->Open();
            q->SetFilter("P >= 30");
            q->SetFiltered(filtered);
            try {
                q->SetFilter(c.expression);
                ADD_FAILURE() << "accepted";
            } catch (const host::EDatabaseError& e) {
                EXPECT_NE(e.Message().find(c.why), std::string::npos) << e.Message();
            }
            EXPECT_EQ(q->Filter(), "P >= 30");
            EXPECT_EQ(q->Filtered(), filtered);
            EXPECT_EQ(column(*q, "N"),
                      filtered ? Strings({"3", "4", "5"}) : Strings({"1", "2", "3", "4", "5"}));
            // Turned on later, the filter in force is the former one.
            q->SetFiltered(true);
            EXPECT_EQ(column(*q, "N"), Strings({"3", "4", "5"}));
        }
    }
}

TEST(Filter, AnExpressionOnAClosedDatasetIsCheckedWhenItMeetsTheFields) {
    auto q = prices();
    q->SetFilter("nosuchfield > 1"); // no fields to check against yet
    q->SetFiltered(true);
    EXPECT_THROW(q->Open(), host::EDatabaseError);
}

TEST(Sort, TheFrameworksDatasetSortsByFieldsBothWays) {
    auto q = prices();
    q->Open();
    host::TDataSet& generic = *q;
    ASSERT_TRUE(generic.CanSortByFields());
    generic.SortByFields("S", false);
    EXPECT_EQ(column(*q, "S"), Strings({"apple", "fig", "kiwi", "pear", "plum"}));
    generic.SortByFields("S", true);
    EXPECT_EQ(column(*q, "S"), Strings({"plum", "pear", "kiwi", "fig", "apple"}));
    generic.SortByFields("P", true);
    EXPECT_EQ(column(*q, "N"), Strings({"5", "4", "3", "2", "1"}));
    generic.SortByFields("P", false);
    EXPECT_EQ(column(*q, "N"), Strings({"1", "2", "3", "4", "5"}));
    EXPECT_THROW(generic.SortByFields("nosuchfield", false), host::EDatabaseError);
}

} // namespace
} // namespace dstest

// Records keep their identity while an application works on a query's rows from the
// development server: records chosen by bookmark, edits under AutoSort, sorting a filtered
// result, and Refresh reading the server again and coming back to the same record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/Fields.h"
#include "tovrin5/host/Params.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using namespace tovrin::host;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "IDENTITY";

class QueryIdentity : public querytest::ConnectedSuite<kConnection> {
protected:
    void SetUp() override {
        exec(kConnection, "create table #people (id int, name varchar(20), dept char(1))\n"
                          "insert #people values (1, 'Ann', 'b')\n"
                          "insert #people values (2, 'Bob', 'a')\n"
                          "insert #people values (3, 'Cid', 'b')\n"
                          "insert #people values (4, 'Dan', 'a')\n"
                          "insert #people values (5, 'Eve', 'b')");
    }
    void TearDown() override { exec(kConnection, "drop table #people"); }
};

// The ids of the records shown, in order; the current record stays where it was.
std::vector<int> ids(TSybQuery& q) {
    const TBookmark current = q.GetBookmark();
    std::vector<int> out;
    for (q.First(); !q.Eof(); q.Next())
        out.push_back(q.FieldByName("id")->AsInteger());
    if (!current.empty())
        q.GotoBookmark(current);
    return out;
}

int currentId(TSybQuery& q) {
    return q.FieldByName("id")->AsInteger();
}

TEST_F(QueryIdentity, AnApplicationWorksOnTheRecordsItChose) {
    auto q = makeQuery(kConnection, "select id, name, dept from #people order by id");
    q->Open();

    // The user picks Bob and Dan, re-sorts the grid, and deletes what was picked.
    std::vector<TBookmark> picked;
    for (int id : {2, 4}) {
        ASSERT_TRUE(q->Locate("id", id, {}));
        picked.push_back(q->GetBookmark());
    }
    q->SortOn("name", {btcoDescending});
    for (const TBookmark& b : picked) {
        q->GotoBookmark(b);
        q->Delete();
    }
    EXPECT_EQ(ids(*q), (std::vector<int>{5, 3, 1}));
    EXPECT_FALSE(q->BookmarkValid(picked[0]));

    // Under AutoSort an edited record moves; the cursor moves with it, so the next edit
    // changes the same record. An appended record is current after Post.
    q->SetSortFieldNames("name");
    q->SetAutoSort(true);
    q->Sort({}); // ascending, as the grid's header was clicked
    ASSERT_TRUE(q->Locate("id", 1, {}));
    q->Edit();
    q->FieldByName("name")->SetAsString("Zed");
    q->Post();
    EXPECT_EQ(currentId(*q), 1);
    q->Edit();
    q->FieldByName("dept")->SetAsString("z");
    q->Post();
    EXPECT_EQ(ids(*q), (std::vector<int>{3, 5, 1}));
    EXPECT_EQ(q->FieldByName("dept")->AsString(), "z");
    q->Append();
    q->FieldByName("id")->SetAsInteger(6);
    q->FieldByName("name")->SetAsString("Bea");
    q->FieldByName("dept")->SetAsString("b");
    q->Post();
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_EQ(ids(*q), (std::vector<int>{6, 3, 5, 1}));

    // A filtered result sorts, keeps its current record, and numbers what it shows.
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("dept")->AsString() == "b"; });
    q->SetFiltered(true);
    ASSERT_TRUE(q->Locate("id", 3, {}));
    q->SortOn("id", {btcoDescending});
    EXPECT_EQ(currentId(*q), 3);
    EXPECT_EQ(ids(*q), (std::vector<int>{6, 5, 3}));
    EXPECT_EQ(q->RecNo(), 3);
    EXPECT_EQ(q->RecordCount(), 3);
    q->SetRecNo(2);
    EXPECT_EQ(currentId(*q), 5);
    q->Edit();
    q->FieldByName("name")->SetAsString("Eva");
    q->Post();
    q->SetFiltered(false);
    ASSERT_TRUE(q->Locate("id", 5, {}));
    EXPECT_EQ(q->FieldByName("name")->AsString(), "Eva");
}

TEST_F(QueryIdentity, RefreshReadsTheServerAgainAndKeepsTheRecord) {
    auto q =
        makeQuery(kConnection, "select id, name from #people where dept = :dept order by name");
    q->ParamByName("dept")->SetAsString("b");
    q->Open();
    TField* name = q->FieldByName("name");
    ASSERT_TRUE(q->Locate("id", 3, {}));
    int refreshes = 0;
    q->SetAfterRefresh([&](TDataSet*) { ++refreshes; });

    exec(kConnection, "update #people set name = 'Aaron' where id = 1\n"
                      "insert #people values (7, 'Abe', 'b')");
    q->Refresh();
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(ids(*q), (std::vector<int>{1, 7, 3, 5}));
    EXPECT_EQ(currentId(*q), 3); // found again by its values
    EXPECT_EQ(q->RecNo(), 3);
    ASSERT_TRUE(q->Locate("id", 1, {}));
    EXPECT_EQ(name->AsString(), "Aaron"); // the same field object, the new value

    // With KeyFields the record is found even when its other values changed.
    q->SetKeyFields("id");
    exec(kConnection, "update #people set name = 'Zoe' where id = 1");
    q->Refresh();
    EXPECT_EQ(currentId(*q), 1);
    EXPECT_EQ(name->AsString(), "Zoe");
    EXPECT_EQ(q->RecNo(), 4);

    // The current parameter value; a record no longer there leaves the same position.
    q->ParamByName("dept")->SetAsString("a");
    q->Refresh();
    EXPECT_EQ(ids(*q), (std::vector<int>{2, 4}));
    EXPECT_EQ(currentId(*q), 4);
}

TEST_F(QueryIdentity, RefreshKeepsTheBookmarksOfRecordsFoundAgain) {
    auto q = makeQuery(kConnection, "select id, name from #people order by id");
    q->Open();
    const auto bookmarkOf = [&](int id) {
        EXPECT_TRUE(q->Locate("id", id, {}));
        return q->GetBookmark();
    };
    const TBookmark bob = bookmarkOf(2);
    const TBookmark cid = bookmarkOf(3);
    const TBookmark dan = bookmarkOf(4);
    exec(kConnection, "delete #people where id = 3\n"
                      "update #people set name = 'Dany' where id = 4\n"
                      "insert #people values (0, 'Al', 'a')");
    q->Refresh();
    // Without KeyFields a record is found again by all its data fields.
    ASSERT_TRUE(q->BookmarkValid(bob));
    q->GotoBookmark(bob);
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_FALSE(q->BookmarkValid(cid));
    EXPECT_FALSE(q->BookmarkValid(dan));

    // With KeyFields a record whose other values changed is found again too.
    q->SetKeyFields("id");
    const TBookmark dany = bookmarkOf(4);
    exec(kConnection, "update #people set name = 'Danny' where id = 4");
    q->Refresh();
    ASSERT_TRUE(q->BookmarkValid(dany));
    q->GotoBookmark(dany);
    EXPECT_EQ(q->FieldByName("name")->AsString(), "Danny");
    ASSERT_TRUE(q->BookmarkValid(bob));
    q->GotoBookmark(bob);
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_EQ(ids(*q), (std::vector<int>{0, 1, 2, 4, 5}));
}

TEST_F(QueryIdentity, ReceiversAreRefreshedWithTheirMaster) {
    auto master = makeQuery(
        kConnection, "select id from #people where id = 1\nselect name from #people where id = 2");
    TSybQuery receiver(nullptr);
    receiver.SetMaster(master.get());
    receiver.SetResultSet(1);
    master->Open();
    EXPECT_EQ(receiver.FieldByName("name")->AsString(), "Bob");
    exec(kConnection, "update #people set name = 'Rob' where id = 2");
    master->Refresh();
    EXPECT_EQ(receiver.FieldByName("name")->AsString(), "Rob");
    master->Close();
}

} // namespace

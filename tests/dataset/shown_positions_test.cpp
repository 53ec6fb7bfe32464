// Record numbers under a filter: RecNo, SetRecNo and RecordCount agree with a plain walk
// of the shown records after every change that can alter which records show or where:
// edits, inserts, deletes, sorts, reverted changes and a changed filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "dataset_support.h"

namespace dstest {
namespace {

std::unique_ptr<TestQuery> evenOfTwenty() {
    auto q = std::make_unique<TestQuery>(
        nullptr, std::vector<Column>{{"N", ftInteger}, {"S", ftString, 20}});
    for (int i = 1; i <= 20; ++i)
        q->AddRow({i, "r" + std::to_string(i)});
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("N")->AsInteger() % 2 == 0; });
    q->SetFiltered(true);
    q->Open();
    return q;
}

int n(TestQuery& q) {
    return q.FieldByName("N")->AsInteger();
}

// Expected: the N of each shown record in order. The count and the numbered moves are
// checked before any walk, since a walk tests each record with the filter afresh.
void expectShown(TestQuery& q, const std::vector<int>& Expected) {
    const int count = static_cast<int>(Expected.size());
    EXPECT_EQ(q.RecordCount(), count);
    for (int k = count; k >= 1; --k) {
        q.SetRecNo(k);
        EXPECT_EQ(n(q), Expected[static_cast<std::size_t>(k) - 1]) << "SetRecNo(" << k << ")";
        EXPECT_EQ(q.RecNo(), k);
    }
    std::vector<int> walked;
    int number = 0;
    for (q.First(); !q.Eof(); q.Next()) {
        walked.push_back(n(q));
        EXPECT_EQ(q.RecNo(), ++number);
    }
    EXPECT_EQ(walked, Expected);
}

std::vector<int> evens(std::initializer_list<int> Without = {}) {
    std::vector<int> v;
    for (int i = 2; i <= 20; i += 2)
        if (std::find(Without.begin(), Without.end(), i) == Without.end())
            v.push_back(i);
    return v;
}

void setN(TestQuery& q, int Value) {
    q.Edit();
    q.FieldByName("N")->SetAsInteger(Value);
    q.Post();
}

struct Change {
    const char* name;
    std::function<void(TestQuery&)> apply;
    std::vector<int> shown;
};

TEST(ShownPositions, AgreeWithAWalkAfterEachChange) {
    const std::vector<Change> changes = {
        {"edit makes the current record fail",
         [](TestQuery& q) {
             q.SetRecNo(3);
             setN(q, 7);
         },
         evens({6})},
        {"edit keeps the record shown",
         [](TestQuery& q) {
             q.SetRecNo(10);
             setN(q, 40);
         },
         {2, 4, 6, 8, 10, 12, 14, 16, 18, 40}},
        {"insert of a shown record",
         [](TestQuery& q) {
             q.SetRecNo(2);
             q.Insert();
             q.FieldByName("N")->SetAsInteger(100);
             q.Post();
         },
         {2, 100, 4, 6, 8, 10, 12, 14, 16, 18, 20}},
        {"append of a record the filter rejects",
         [](TestQuery& q) {
             q.Append();
             q.FieldByName("N")->SetAsInteger(101);
             q.Post();
         },
         evens()},
        {"delete",
         [](TestQuery& q) {
             q.SetRecNo(2);
             q.Delete();
         },
         evens({4})},
        {"sort",
         [](TestQuery& q) { q.SortOn("N", {btcoDescending}); },
         {20, 18, 16, 14, 12, 10, 8, 6, 4, 2}},
        {"edit undone by CancelUpdates",
         [](TestQuery& q) {
             q.SetRecNo(1);
             setN(q, 3);
             expectShown(q, evens({2}));
             q.CancelUpdates();
         },
         evens()},
        {"values changed while the filter was off",
         [](TestQuery& q) {
             q.SetFiltered(false);
             q.SetRecNo(1); // N = 1
             setN(q, 50);
             q.SetFiltered(true);
         },
         {50, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20}},
        {"a new handler",
         [](TestQuery& q) {
             q.SetOnFilterRecord([](TDataSet* ds, bool& accept) {
                 accept = ds->FieldByName("N")->AsInteger() % 5 == 0;
             });
         },
         {5, 10, 15, 20}},
        {"an expression beside the handler",
         [](TestQuery& q) { q.SetFilter("N > 14"); },
         {16, 18, 20}},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        auto q = evenOfTwenty();
        expectShown(*q, evens()); // builds the positions the change must make stale
        change.apply(*q);
        expectShown(*q, change.shown);
    }
}

// The current record's number right after the change, before anything is read again.
TEST(ShownPositions, CurrentNumberAfterAnEditAndADelete) {
    auto q = evenOfTwenty();
    q->SetRecNo(5); // N = 10
    EXPECT_EQ(q->RecNo(), 5);
    q->SetRecNo(2);
    q->Delete();
    EXPECT_EQ(n(*q), 6);
    EXPECT_EQ(q->RecNo(), 2);
    q->Last();
    EXPECT_EQ(q->RecNo(), 9);
    q->Prior();
    setN(*q, 1000);
    EXPECT_EQ(n(*q), 1000);
    EXPECT_EQ(q->RecNo(), 8);
    EXPECT_EQ(q->RecordCount(), 9);
}

// A handler may read more than the record. When a walk finds a record the filter now
// judges otherwise, the numbers are worked out afresh.
TEST(ShownPositions, HandlerReadingASettingIsFollowedAfterAWalk) {
    auto q = evenOfTwenty();
    int limit = 20;
    q->SetOnFilterRecord([&limit](TDataSet* ds, bool& accept) {
        const int value = ds->FieldByName("N")->AsInteger();
        accept = value % 2 == 0 && value <= limit;
    });
    expectShown(*q, evens());
    limit = 8;
    std::vector<int> walked;
    for (q->First(); !q->Eof(); q->Next())
        walked.push_back(n(*q));
    EXPECT_EQ(walked, (std::vector<int>{2, 4, 6, 8}));
    EXPECT_EQ(q->RecordCount(), 4);
    expectShown(*q, {2, 4, 6, 8});
}

} // namespace
} // namespace dstest

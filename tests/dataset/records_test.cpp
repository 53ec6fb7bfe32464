// The query's record access: field reads and writes with change detection, bookmarks as
// record identities, record numbers, delete, read-only, and the query component's own
// properties and receiver links.
#include <gtest/gtest.h>

#include <cstring>

#include "dataset_support.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/FieldsTyped.h"

namespace dstest {
namespace {

std::unique_ptr<TestQuery> rows(int count) {
    auto q = std::make_unique<TestQuery>(nullptr,
                                         std::vector<Column>{{"N", ftInteger}, {"S", ftString, 8}});
    for (int i = 1; i <= count; ++i)
        q->AddRow({i, "s" + std::to_string(i)});
    return q;
}

TBookmark bookmarkOf(int32_t index) {
    return TBookmark(reinterpret_cast<const char*>(&index), sizeof index);
}

TEST(FieldData, ReadsOnClosedAndNullFields) {
    auto q = rows(2);
    int32_t value = 12345;
    EXPECT_FALSE(q->GetFieldData(nullptr, &value));
    q->Open();
    TField* n = q->FieldByName("N");
    EXPECT_TRUE(q->GetFieldData(n, &value));
    EXPECT_EQ(value, 1);

    // Null keeps the bytes: a read with a destination still copies them.
    q->Edit();
    n->Clear();
    value = 0;
    EXPECT_FALSE(q->GetFieldData(n, &value));
    EXPECT_EQ(value, 1);
    q->Cancel();
    q->Close();
    value = 777;
    EXPECT_FALSE(q->GetFieldData(n, &value));
    EXPECT_EQ(value, 777);
}

TEST(FieldData, WritesClearTheSortedFlagOnlyWhenTheValueChanges) {
    auto q = rows(2);
    q->Open();
    TField* s = q->FieldByName("S");
    q->SetSorted(true);
    q->Edit();
    s->SetAsString("s1");
    EXPECT_TRUE(q->Sorted());
    // Bytes after the terminating zero do not count.
    char raw[9] = {'s', '1', 0, 'x', 'y', 0, 0, 0, 0};
    q->SetFieldData(s, raw);
    EXPECT_TRUE(q->Sorted());
    s->SetAsString("s9");
    EXPECT_FALSE(q->Sorted());
    q->SetSorted(true);
    s->Clear();
    EXPECT_FALSE(q->Sorted());
    q->SetSorted(true);
    s->Clear(); // already null: still a change
    EXPECT_FALSE(q->Sorted());
    q->SetSorted(true);
    q->FieldByName("N")->SetAsInteger(1);
    EXPECT_TRUE(q->Sorted());
    q->Cancel();

    // In dsSetKey there is no buffer: nothing is written, the flag stays.
    TDataSetState saved = q->SetTempState(dsSetKey);
    q->SetFieldData(s, "zz");
    q->RestoreState(saved);
    EXPECT_TRUE(q->Sorted());
    EXPECT_EQ(s->AsString(), "s1");
}

TEST(FieldData, ReadOnlyFieldsAndValidation) {
    auto q = rows(1);
    q->Open();
    TField* n = q->FieldByName("N");
    n->SetReadOnly(true);
    q->Edit();
    int32_t v = 5;
    try {
        q->SetFieldData(n, &v);
        FAIL() << "wrote a read-only field";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field N is read only");
    }
    n->SetReadOnly(false);
    n->SetOnValidate([](TField* f) {
        if (f->AsInteger() < 0)
            throw EDatabaseError("negative");
    });
    EXPECT_THROW(n->SetAsInteger(-1), EDatabaseError);
    EXPECT_EQ(n->AsInteger(), 1);
    n->SetAsInteger(3);
    q->Post();
    EXPECT_EQ(n->AsInteger(), 3);
}

TEST(FieldData, CalculatedWritesSendNoFieldChange) {
    TestQuery q(nullptr, {{"N", ftInteger}});
    auto* n = addField<TIntegerField>(q, "N");
    auto* c = addCalculatedField<TIntegerField>(q, "C");
    int changes = 0;
    c->SetOnChange([&](TField*) { ++changes; });
    q.SetOnCalcFields([&](TDataSet*) { c->SetAsInteger(n->AsInteger() + 100); });
    q.AddRow({1});
    q.Open();
    EXPECT_EQ(c->AsInteger(), 101);
    EXPECT_EQ(changes, 0);
}

// A bookmark names its record, not a position: it follows the record through sorts,
// inserts and deletes, and names nothing once the record is deleted or the dataset was
// opened again.
TEST(Bookmarks, NameTheirRecord) {
    auto q = rows(5);
    q->Open();
    auto current = [&] { return q->FieldByName("N")->AsInteger(); };
    auto bookmarkOfN = [&](int n) {
        EXPECT_TRUE(q->Locate("N", n, {}));
        return q->GetBookmark();
    };
    const TBookmark b2 = bookmarkOfN(2), b3 = bookmarkOfN(3), b4 = bookmarkOfN(4);
    ASSERT_EQ(b2.size(), 4u);

    q->SortOn("S", {btcoDescending});
    EXPECT_EQ(current(), 4); // the sort came back to the current record
    q->GotoBookmark(b2);
    EXPECT_EQ(current(), 2);
    // Ordered by where the records stand now.
    EXPECT_EQ(q->CompareBookmarks(b2, b4), 1);
    EXPECT_EQ(q->CompareBookmarks(b4, b2), -1);
    EXPECT_EQ(q->CompareBookmarks(b4, b4), 0);
    EXPECT_EQ(q->CompareBookmarks(TBookmark(), b2), 0);

    q->First();
    q->Insert();
    q->FieldByName("N")->SetAsInteger(9);
    q->Post();
    q->GotoBookmark(b3);
    EXPECT_EQ(current(), 3);

    // Deleting an earlier record leaves the others' bookmarks alone; the deleted record's
    // bookmark names nothing.
    q->GotoBookmark(b4);
    q->Prior();
    EXPECT_EQ(current(), 5);
    q->Delete();
    q->GotoBookmark(b3);
    q->Delete();
    EXPECT_FALSE(q->BookmarkValid(b3));
    EXPECT_TRUE(q->BookmarkValid(b4));
    q->GotoBookmark(b4);
    EXPECT_EQ(current(), 4);
    EXPECT_THROW(q->GotoBookmark(b3), EDatabaseError);
    EXPECT_EQ(current(), 4);
    EXPECT_EQ(q->CompareBookmarks(b3, b4), -1); // a bookmark that names nothing first

    // A record without identity (a fresh buffer) has no valid bookmark.
    char* buffer = q->AllocRecordBuffer();
    q->InternalInitRecord(buffer);
    int32_t none = 0;
    q->GetBookmarkData(buffer, &none);
    EXPECT_FALSE(q->BookmarkValid(bookmarkOf(none)));
    q->FreeRecordBuffer(buffer);

    q->Close();
    q->Open();
    EXPECT_FALSE(q->BookmarkValid(b4));
    EXPECT_FALSE(q->BookmarkValid(b2));
    EXPECT_THROW(q->GotoBookmark(b2), EDatabaseError);
}

// Going to each remembered bookmark and deleting there deletes exactly those records.
TEST(Bookmarks, DeleteTheChosenRecords) {
    auto q = rows(5);
    q->Open();
    std::vector<TBookmark> chosen;
    for (q->First(); !q->Eof(); q->Next())
        if (q->FieldByName("N")->AsInteger() % 2 == 0)
            chosen.push_back(q->GetBookmark());
    for (const TBookmark& b : chosen) {
        q->GotoBookmark(b);
        q->Delete();
    }
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "3", "5"}));
}

TEST(RecNo, OutOfRangeLeavesThePositionButResyncs) {
    auto q = rows(3);
    q->Open();
    q->SetRecNo(2);
    for (int bad : {0, -1, 4}) {
        q->SetRecNo(bad);
        EXPECT_EQ(q->RecNo(), 2) << bad;
        EXPECT_EQ(q->FieldByName("N")->AsInteger(), 2) << bad;
    }
    q->Close();
    EXPECT_EQ(q->RecNo(), -1);
}

TEST(Query, ReadOnlyAndCachedUpdates) {
    auto q = rows(1);
    EXPECT_TRUE(q->CachedUpdates());
    EXPECT_FALSE(q->ReadOnly());
    q->SetCachedUpdates(false);
    EXPECT_TRUE(q->ReadOnly());
    q->Open();
    EXPECT_FALSE(q->CanModify());
    EXPECT_THROW(q->Edit(), EDatabaseError);
}

TEST(Query, StreamsWhatDiffersFromTheDefaults) {
    TComponent owner(nullptr);
    owner.SetName("Form1");
    auto* q = new TSybQuery(&owner);
    q->SetName("Query1");
    std::string text = ComponentToText(&owner);
    EXPECT_NE(text.find("CachedUpdates = True"), std::string::npos) << text;
    EXPECT_EQ(text.find("ReadOnly"), std::string::npos) << text;
    EXPECT_EQ(text.find("Active"), std::string::npos) << text;
    q->SetCachedUpdates(false);
    text = ComponentToText(&owner);
    EXPECT_NE(text.find("ReadOnly = True"), std::string::npos) << text;
    EXPECT_NE(text.find("CachedUpdates = False"), std::string::npos) << text;
}

TEST(Query, SettersCloseOnlyOnARealChange) {
    auto q = rows(2);
    q->Open();
    q->SetDatabaseName("");
    q->SetResultSet(0);
    TStringList same;
    q->SetSQL(&same);
    EXPECT_TRUE(q->Active());
    q->SetDatabaseName("DEV");
    EXPECT_FALSE(q->Active());
    q->Open();
    q->SetResultSet(1);
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->ResultSet(), 1);
    q->Open();
    TStringList other;
    other.Add("select 1");
    q->SetSQL(&other);
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->SQL()->Text(), other.Text());
}

TEST(Query, ReceiverLinks) {
    TestQuery a(nullptr), b(nullptr);
    auto receiver = rows(1);
    receiver->SetMaster(&a);
    ASSERT_EQ(a.ResultQueries()->size(), 1u);
    receiver->SetMaster(&b);
    EXPECT_TRUE(a.ResultQueries()->empty());
    ASSERT_EQ(b.ResultQueries()->size(), 1u);

    // Closing a master closes its receivers.
    receiver->Open();
    b.Open();
    b.Close();
    EXPECT_FALSE(receiver->Active());

    // The master going away clears the link.
    receiver->Notification(&b, opRemove);
    EXPECT_EQ(receiver->Master(), nullptr);
    EXPECT_TRUE(b.ResultQueries()->empty());

    // A master destroyed before its receiver leaves it without a master.
    auto master = std::make_unique<TestQuery>(nullptr);
    receiver->SetMaster(master.get());
    master.reset();
    EXPECT_EQ(receiver->Master(), nullptr);
}

// A component that reports its destruction.
struct Watch : TComponent {
    Watch(TComponent* owner, bool& gone) : TComponent(owner), m_gone(gone) {}
    ~Watch() override { m_gone = true; }
    bool& m_gone;
};

TEST(Query, OwnedReceiversGoWithTheirMaster) {
    bool gone = false;
    auto* master = new TestQuery(nullptr);
    auto* owned = new TestQuery(master);
    new Watch(owned, gone);
    owned->SetMaster(master);
    owned->Open();
    // The receiver leaves a list that no longer exists; the sanitizer build checks that
    // nothing reads freed memory on the way.
    delete master;
    EXPECT_TRUE(gone);
}

} // namespace
} // namespace dstest

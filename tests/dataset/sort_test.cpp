// Sorting: field-by-field comparison of every comparable type, options, the quicksort of
// the record list, SortFields and AutoSort, and sorting while a record is being edited.
#include <gtest/gtest.h>

#include <cstring>

#include "dataset_support.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/SysUtils.h"

namespace dstest {
namespace {

std::unique_ptr<TestQuery> people() {
    auto q = std::make_unique<TestQuery>(
        nullptr,
        std::vector<Column>{{"Name", ftString, 20}, {"City", ftString, 20}, {"Age", ftInteger}});
    q->AddRow({"Smith", "Oslo", 40});
    q->AddRow({"adams", "Rome", 30});
    q->AddRow({"Smith", "Bergen", 25});
    q->AddRow({"Brown", Null(), 50});
    q->AddRow({"Adams", "Paris", Null()});
    return q;
}

TEST(Sort, ByTwoFieldsAscendingAndDescending) {
    auto q = people();
    q->Open();
    q->SortOn("Name;City", {});
    EXPECT_EQ(column(*q, "Name"), (Strings{"adams", "Adams", "Brown", "Smith", "Smith"}));
    EXPECT_EQ(column(*q, "City"), (Strings{"Rome", "Paris", "null", "Bergen", "Oslo"}));
    EXPECT_TRUE(q->ListSorted());
    EXPECT_EQ(q->SortedFieldNames(), "Name;City");
    EXPECT_EQ(q->SortFields(), ""); // SortOn leaves SortFields alone

    q->SortOn("Name;City", {btcoDescending});
    EXPECT_EQ(column(*q, "City"), (Strings{"Oslo", "Bergen", "null", "Paris", "Rome"}));
}

TEST(Sort, NullsFirstAscendingLastDescending) {
    auto q = people();
    q->Open();
    q->SortOn("Age", {});
    EXPECT_EQ(column(*q, "Age"), (Strings{"null", "25", "30", "40", "50"}));
    q->SortOn("Age", {btcoDescending});
    EXPECT_EQ(column(*q, "Age"), (Strings{"50", "40", "30", "25", "null"}));
}

TEST(Sort, CaseInsensitiveAndTiesByRecordNumber) {
    auto q = people();
    q->Open();
    // Records stored by posting carry their record numbers: equal keys keep their order.
    q->First();
    while (!q->Eof()) {
        q->Edit();
        q->FieldByName("Age")->SetAsInteger(1);
        q->Post();
        q->Next();
    }
    q->SortOn("Name", {btcoCaseInsensitive});
    Strings names = column(*q, "Name");
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(SameText(names[0], "adams") && SameText(names[1], "adams"), true);
    EXPECT_EQ(names[4], "Smith");
}

TEST(Compare, ValuesOfEveryComparableType) {
    auto cmp = [](TFieldType t, auto a, auto b, int size = 0, TBTCompareOptions o = {}) {
        char x[64] = {};
        char y[64] = {};
        std::memcpy(x, &a, sizeof a);
        std::memcpy(y, &b, sizeof b);
        return CompareFieldValues(t, x, y, size ? size : static_cast<int>(sizeof a), o);
    };
    EXPECT_EQ(cmp(ftInteger, int32_t{-2000000000}, int32_t{2000000000}), -1);
    EXPECT_EQ(cmp(ftSmallint, int16_t{-5}, int16_t{3}), -1);
    EXPECT_EQ(cmp(ftWord, uint16_t{65535}, uint16_t{1}), 1);
    EXPECT_EQ(cmp(ftBoolean, uint16_t{0}, uint16_t{7}), -1);
    EXPECT_EQ(cmp(ftBoolean, uint16_t{1}, uint16_t{7}), 0);
    EXPECT_EQ(cmp(ftFloat, 1.5, 1.25), 1);
    EXPECT_EQ(cmp(ftDateTime, 10.0, 10.0), 0);
    EXPECT_EQ(cmp(ftDate, int32_t{730000}, int32_t{730001}), -1);
    // 64-bit values beyond a double's precision still order.
    EXPECT_EQ(cmp(ftLargeint, int64_t{9007199254740993}, int64_t{9007199254740992}), 1);
    EXPECT_EQ(cmp(ftLargeint, int64_t{-1}, int64_t{1}), -1);
    // BCD by numeric value, whatever the scale of the two values.
    EXPECT_EQ(cmp(ftBCD, StrToBCD("-1.5"), StrToBCD("0.25")), -1);
    EXPECT_EQ(cmp(ftBCD, StrToBCD("10"), StrToBCD("9.999")), 1);
    EXPECT_EQ(cmp(ftBCD, StrToBCD("2.50"), StrToBCD("2.5")), 0);
    EXPECT_EQ(cmp(ftBCD, StrToBCD("-10"), StrToBCD("-9")), -1);
    // Bytes compare unsigned.
    EXPECT_EQ(cmp(ftBytes, uint8_t{0x80}, uint8_t{0x7F}), 1);
    // Blob references never order.
    EXPECT_EQ(cmp(ftMemo, uint64_t{1}, uint64_t{2}), 0);

    auto text = [](const char* a, const char* b, TBTCompareOptions o) {
        return CompareFieldValues(ftString, a, b, 21, o);
    };
    EXPECT_NE(text("abc", "ABC", {}), 0);
    EXPECT_EQ(text("abc", "ABC", {btcoCaseInsensitive}), 0);
    EXPECT_EQ(text("Sm", "Smith", {btcoPartialKey}), 0);
    EXPECT_NE(text("Smith", "Sm", {btcoPartialKey}), 0);
    EXPECT_EQ(text("Жук", "жук", {btcoCaseInsensitive}), 0);
    // A partial key is cut to whole characters.
    EXPECT_EQ(text("Жу", "Жук", {btcoPartialKey}), 0);
}

TEST(Sort, LargeintBcdAndBytesOrderByValue) {
    TestQuery q(nullptr, {{"Big", ftLargeint}, {"Dec", ftBCD, 4}, {"Bin", ftBytes, 2}});
    q.AddRow({Variant(static_cast<long long>(9007199254740993LL)), "2.5",
              Variant(std::string("\x80\x01", 2))});
    q.AddRow({Variant(static_cast<long long>(-3)), "-7.25", Variant(std::string("\x7F\xFF", 2))});
    q.AddRow({Variant(static_cast<long long>(9007199254740992LL)), "100",
              Variant(std::string("\x80\x00", 2))});
    q.Open();
    q.SortOn("Big", {});
    EXPECT_EQ(column(q, "Big"), (Strings{"-3", "9007199254740992", "9007199254740993"}));
    q.SortOn("Dec", {});
    EXPECT_EQ(column(q, "Big"), (Strings{"-3", "9007199254740993", "9007199254740992"}));
    q.SortOn("Bin", {btcoDescending});
    EXPECT_EQ(column(q, "Big"), (Strings{"9007199254740993", "9007199254740992", "-3"}));
}

// A ftVarBytes value area: the 16-bit length, the bytes, then whatever the area held.
std::string varBytes(uint16_t length, const std::string& area) {
    std::string value(2, '\0');
    std::memcpy(value.data(), &length, sizeof length);
    return value + area;
}

TEST(Compare, VarBytesBytewiseUnsignedOverTheStoredLength) {
    auto cmp = [](const std::string& a, const std::string& b, int size = 10) {
        std::string x = a;
        std::string y = b;
        x.resize(static_cast<std::size_t>(size), '\0');
        y.resize(static_cast<std::size_t>(size), '\0');
        return CompareFieldValues(ftVarBytes, x.data(), y.data(), size, {});
    };
    EXPECT_EQ(cmp(varBytes(2, "\x80\x01"), varBytes(2, "\x7F\xFF")), 1);
    EXPECT_EQ(cmp(varBytes(2, std::string("\x00\x01", 2)), varBytes(2, std::string("\x00\x02", 2))),
              -1);
    // A prefix of a longer value comes first; the empty value before everything.
    EXPECT_EQ(cmp(varBytes(1, "\x80"), varBytes(2, std::string("\x80\x00", 2))), -1);
    EXPECT_EQ(cmp(varBytes(2, std::string("\x80\x00", 2)), varBytes(1, "\x80")), 1);
    EXPECT_EQ(cmp(varBytes(0, ""), varBytes(1, std::string(1, '\0'))), -1);
    EXPECT_EQ(cmp(varBytes(0, "abc"), varBytes(0, "xyz")), 0);
    // Bytes past the stored length do not count.
    EXPECT_EQ(cmp(varBytes(1, "Ax"), varBytes(1, "Ay")), 0);
    // A length beyond the value area is cut to it.
    EXPECT_EQ(cmp(varBytes(9000, "abcdefgh"), varBytes(8, "abcdefgh")), 0);
}

TEST(Sort, VarBytesOrderByValueAndLocateMatchesByValue) {
    TestQuery q(nullptr, {{"Id", ftInteger}, {"Bin", ftVarBytes, 4}});
    q.AddRow({1, VarFromBytes(std::string("\x80\x01", 2))});
    q.AddRow({2, VarFromBytes(std::string("\x7F\xFF\xFF\xFF", 4))});
    q.AddRow({3, VarFromBytes(std::string("\x80", 1))});
    q.AddRow({4, Null()});
    q.AddRow({5, VarFromBytes(std::string())});
    q.AddRow({6, VarFromBytes(std::string("\x80\x00", 2))});
    q.Open();
    q.SortOn("Bin", {});
    EXPECT_EQ(column(q, "Id"), (Strings{"4", "5", "2", "3", "6", "1"}));
    q.SortOn("Bin", {btcoDescending});
    EXPECT_EQ(column(q, "Id"), (Strings{"1", "6", "3", "2", "5", "4"}));
    q.SortOn("Bin;Id", {});
    EXPECT_EQ(column(q, "Id"), (Strings{"4", "5", "2", "3", "6", "1"}));

    // A locate matches the whole value, not a value it is a prefix of, and finds a
    // value given as text of bytes as well.
    EXPECT_TRUE(q.Locate("Bin", VarFromBytes(std::string("\x80", 1)), {}));
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 3);
    EXPECT_TRUE(q.Locate("Bin", Variant(std::string("\x80\x00", 2)), {}));
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 6);
    EXPECT_FALSE(q.Locate("Bin", VarFromBytes(std::string("\x7F\xFF", 2)), {}));
    EXPECT_TRUE(q.Locate("Bin", VarFromBytes(std::string()), {}));
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 5);
    EXPECT_EQ(q.Lookup("Bin", VarFromBytes(std::string("\x80\x01", 2)), "Id").AsInteger(), 1);
    // Halving over the sorted list finds the same records.
    q.SortOn("Bin", {});
    q.SetSorted(true);
    q.SetDoBinaryLocate(true);
    for (int id = 1; id <= 6; ++id) {
        ASSERT_TRUE(q.Locate("Id", id, {}));
        const Variant value = q.FieldByName("Bin")->Value();
        if (value.IsNull())
            continue;
        EXPECT_TRUE(q.Locate("Bin", value, {}));
        EXPECT_EQ(q.FieldByName("Id")->AsInteger(), id);
    }
}

TEST(Sort, KeepsTheCurrentRecord) {
    auto q = people();
    q->Open();
    q->SetRecNo(3);
    q->SortOn("Age", {});
    EXPECT_EQ(q->FieldByName("Age")->AsInteger(), 25);
    EXPECT_EQ(q->RecNo(), 2);

    // Under a filter the sort comes back to the same record too, and only the records
    // shown count for RecNo.
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = !ds->FieldByName("Age")->IsNull(); });
    q->SetFiltered(true);
    q->Last(); // Brown, 50
    q->SortOn("Name;City", {});
    EXPECT_EQ(q->FieldByName("Name")->AsString(), "Brown");
    EXPECT_EQ(q->RecNo(), 2);
    EXPECT_EQ(column(*q, "Name"), (Strings{"adams", "Brown", "Smith", "Smith"}));
}

// Equal keys keep the order the records were fetched in, records posted later come after
// them, and the same sort twice gives the same order, ascending or descending.
TEST(Sort, IsStable) {
    TestQuery q(nullptr, {{"Id", ftInteger}, {"Dept", ftString, 4}});
    for (auto [id, dept] : std::vector<std::pair<int, const char*>>{
             {1, "b"}, {2, "a"}, {3, "b"}, {4, "a"}, {5, "b"}, {6, "a"}})
        q.AddRow({id, dept});
    q.Open();
    q.Append();
    q.FieldByName("Id")->SetAsInteger(7);
    q.FieldByName("Dept")->SetAsString("a");
    q.Post();
    q.First();
    q.Insert(); // stored in front of Id 1, yet posted after every fetched record
    q.FieldByName("Id")->SetAsInteger(0);
    q.FieldByName("Dept")->SetAsString("b");
    q.Post();
    for (int round = 0; round < 2; ++round) {
        q.SortOn("Dept", {});
        EXPECT_EQ(column(q, "Id"), (Strings{"2", "4", "6", "7", "1", "3", "5", "0"})) << round;
    }
    q.SortOn("Dept", {btcoDescending});
    EXPECT_EQ(column(q, "Id"), (Strings{"0", "5", "3", "1", "7", "6", "4", "2"}));
}

// With AutoSort, a posted record moves to where a full sort puts it and stays current, so
// the next edit changes that record.
TEST(Sort, AutoSortPostKeepsThePostedRecordCurrent) {
    TestQuery q(nullptr, {{"Id", ftInteger}, {"Dept", ftString, 4}});
    for (auto [id, dept] :
         std::vector<std::pair<int, const char*>>{{1, "a"}, {2, "b"}, {3, "b"}, {4, "c"}})
        q.AddRow({id, dept});
    q.SetSortFieldNames("Dept");
    q.SetAutoSort(true);
    q.Open();
    ASSERT_TRUE(q.Locate("Id", 1, {}));
    q.Edit();
    q.FieldByName("Dept")->SetAsString("b"); // ties with 2 and 3: goes in front of them
    q.Post();
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 1);
    EXPECT_EQ(column(q, "Id"), (Strings{"1", "2", "3", "4"}));
    ASSERT_TRUE(q.Locate("Id", 2, {}));
    q.Edit();
    q.FieldByName("Dept")->SetAsString("z");
    q.Post();
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 2);
    q.Edit();
    q.FieldByName("Dept")->SetAsString("0");
    q.Post();
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 2);
    EXPECT_EQ(q.RecNo(), 1);
    q.Append();
    q.FieldByName("Id")->SetAsInteger(5);
    q.FieldByName("Dept")->SetAsString("b");
    q.Post();
    EXPECT_EQ(q.FieldByName("Id")->AsInteger(), 5);
    EXPECT_EQ(column(q, "Id"), (Strings{"2", "1", "3", "5", "4"}));
}

TEST(Sort, SortFieldsAndAutoSort) {
    auto q = people();
    q->Sort({btcoDescending}); // closed: only remembered
    EXPECT_EQ(q->SortOptions(), TBTCompareOptions{btcoDescending});
    q->SetSortFieldNames("Age");
    q->SetAutoSort(true);
    q->Open();
    EXPECT_EQ(column(*q, "Age"), (Strings{"50", "40", "30", "25", "null"}));

    // Posting a changed key moves only that record, to its descending place.
    q->SetRecNo(2); // 40
    q->Edit();
    q->FieldByName("Age")->SetAsInteger(10);
    q->Post();
    EXPECT_EQ(column(*q, "Age"), (Strings{"50", "30", "25", "10", "null"}));
    q->Append();
    q->FieldByName("Age")->SetAsInteger(35);
    q->Post();
    EXPECT_EQ(column(*q, "Age"), (Strings{"50", "35", "30", "25", "10", "null"}));

    // Setting SortFields on an open dataset sorts at once, with the last options.
    q->SetSortFieldNames("Name;City");
    EXPECT_EQ(column(*q, "Name"), (Strings{"Smith", "Smith", "Brown", "Adams", "adams", "null"}));
    EXPECT_EQ(column(*q, "City"), (Strings{"Oslo", "Bergen", "null", "Paris", "Rome", "null"}));

    // A bad list keeps the old value and sorts nothing.
    q->First();
    EXPECT_THROW(q->SetSortFieldNames("Nope"), EDatabaseError);
    EXPECT_EQ(q->SortFields(), "Name;City");
    EXPECT_EQ(q->FieldByName("Name")->AsString(), "Smith");
}

TEST(Sort, AutoSortSortsOnlyWhenTheOrderIsNotKnown) {
    auto q = people();
    q->SetSortFieldNames("Age");
    q->Open();
    int scrolls = 0;
    q->SetBeforeScroll([&](TDataSet*) { ++scrolls; });
    q->SetAutoSort(true); // switched on: sorts
    EXPECT_GT(scrolls, 0);
    EXPECT_TRUE(q->ListSorted());
    EXPECT_EQ(q->FieldByName("Age")->AsInteger(), 40); // still the record that was current
    scrolls = 0;
    q->SetAutoSort(true); // already on and sorted by SortFields: nothing
    EXPECT_EQ(scrolls, 0);
    q->SortOn("Name", {}); // now the list is in another order
    scrolls = 0;
    q->SetAutoSort(true);
    EXPECT_GT(scrolls, 0);
    EXPECT_EQ(q->SortedFieldNames(), "Age");
}

TEST(Sort, EmptySortFieldsSortsNothing) {
    auto q = people();
    q->SetAutoSort(true);
    q->Open();
    EXPECT_EQ(column(*q, "Name"), (Strings{"Smith", "adams", "Smith", "Brown", "Adams"}));
    q->Sort({});
    EXPECT_FALSE(q->ListSorted());
}

TEST(Sort, UnsupportedFieldsAndBadSortFieldsAtOpen) {
    TestQuery q(nullptr, {{"Id", ftInteger}, {"Memo", ftMemo}});
    q.AddRow({1, "text"});
    q.Open();
    try {
        q.SortOn("Memo", {});
        FAIL() << "a memo field sorted";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "E_UNSUPPORTED_FIELD_TYPE");
    }
    EXPECT_THROW(q.SortOn("Missing", {}), EDatabaseError);
    q.Close();

    int afterOpen = 0;
    q.SetAfterOpen([&](TDataSet*) { ++afterOpen; });
    q.SetSortFieldNames("Id;Missing");
    EXPECT_THROW(q.Open(), EDatabaseError);
    EXPECT_EQ(q.SortFields(), "");
    EXPECT_EQ(afterOpen, 0);
    // The failed open left the dataset closed, its records released; it opens again.
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.StoredRecordCount(), 0);
    q.Open();
    EXPECT_EQ(afterOpen, 1);
    EXPECT_EQ(q.RecordCount(), 1);
}

TEST(Sort, LookupFieldsAreNotSortable) {
    TestQuery master(nullptr, {{"K", ftInteger}, {"V", ftString, 5}});
    master.AddRow({1, "one"});
    TestQuery q(nullptr, {{"K", ftInteger}});
    addField<TIntegerField>(q, "K");
    auto* look = new TStringField(&q);
    look->SetFieldName("L");
    look->SetSize(5);
    look->SetFieldKind(fkLookup);
    look->SetLookupDataSet(&master);
    look->SetKeyFields("K");
    look->SetLookupKeyFields("K");
    look->SetLookupResultField("V");
    look->SetDataSet(&q);
    master.Open();
    q.AddRow({1});
    q.Open();
    try {
        q.SortOn("L", {});
        FAIL() << "a lookup field sorted";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "E_UNSUPPORTED_FIELD_TYPE");
    }
}

TEST(Sort, OnACalculatedField) {
    TestQuery q(nullptr, {{"N", ftInteger}});
    auto* n = addField<TIntegerField>(q, "N");
    auto* neg = addCalculatedField<TIntegerField>(q, "NEG");
    q.SetOnCalcFields([&](TDataSet*) { neg->SetAsInteger(-n->AsInteger()); });
    for (int i : {3, 1, 2})
        q.AddRow({i});
    q.Open();
    q.SortOn("NEG", {});
    EXPECT_EQ(column(q, "N"), (Strings{"3", "2", "1"}));
}

// Sorting while a record is being edited or inserted posts it first.
TEST(Sort, WhileEditingPostsTheRecordFirst) {
    auto q = people();
    q->Open();
    q->SetRecNo(2);
    q->Edit();
    q->FieldByName("Age")->SetAsInteger(99);
    q->SortOn("Age", {});
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_EQ(column(*q, "Age"), (Strings{"null", "25", "40", "50", "99"}));

    q->Insert();
    q->FieldByName("Age")->SetAsInteger(1);
    q->SortOn("Age", {});
    EXPECT_EQ(column(*q, "Age"), (Strings{"null", "1", "25", "40", "50", "99"}));
}

} // namespace
} // namespace dstest

namespace dstest {
namespace {

// A record inserted while a filter hides every record goes to the front of the list; with
// AutoSort it then moves to its sorted place like any other posted record.
TEST(Sort, AutoSortPlacesARecordInsertedWhileNothingShows) {
    TestQuery q(nullptr, {{"N", ftInteger}});
    for (int i : {1, 2, 3})
        q.AddRow({i});
    q.SetSortFieldNames("N");
    q.SetAutoSort(true);
    bool hideAll = true;
    q.SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
        accept = !hideAll || ds->FieldByName("N")->AsInteger() >= 10;
    });
    q.SetFiltered(true);
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
    q.Insert();
    q.FieldByName("N")->SetAsInteger(10);
    q.Post();
    hideAll = false;
    q.SetFiltered(false);
    EXPECT_EQ(column(q, "N"), (Strings{"1", "2", "3", "10"}));
}

} // namespace
} // namespace dstest

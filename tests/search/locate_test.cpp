// Locate, Lookup and FindRecord over stored records: key shapes and options, the choice
// between searching by halving and scanning, the current record, Found, scroll events and
// what the data links are told.
#include <gtest/gtest.h>

#include <memory>

#include "tovrin5/query/SybMessages.h"
#include "search_support.h"

namespace host = tovrin::host;

using namespace searchtest;

namespace {

std::unique_ptr<RowQuery> people() {
    auto q = std::make_unique<RowQuery>(
        nullptr,
        std::vector<Column>{{"ID", ftInteger}, {"Name", ftString, 20}, {"City", ftString, 20}});
    q->AddRow({1, "Jones", "Oslo"});
    q->AddRow({2, "Smithson", "Rome"});
    q->AddRow({3, "SMITHSON", "Lima"});
    q->AddRow({4, "Smith", "Rome"});
    q->AddRow({5, Null(), "Oslo"});
    q->AddRow({6, "Smith", "Oslo"});
    return q;
}

int currentId(TDataSet& ds) {
    return ds.FieldByName("ID")->AsInteger();
}

} // namespace

TEST(Locate, EmptyDatasetFindsNothingWithEitherSearch) {
    RowQuery q(nullptr, {{"ID", ftInteger}});
    q.Open();
    EXPECT_FALSE(q.Locate("ID", 1, {}));
    EXPECT_FALSE(q.Found());
    q.SetDoBinaryLocate(true);
    q.SortOn("ID", {});
    q.SetSorted(true);
    EXPECT_FALSE(q.Locate("ID", 1, {}));
    EXPECT_FALSE(q.Found());
}

TEST(Locate, PartialAndCaseInsensitiveKeys) {
    auto q = people();
    q->Open();
    EXPECT_TRUE(q->Locate("Name", "Smith", TLocateOptions{loPartialKey}));
    EXPECT_EQ(currentId(*q), 2); // the first record whose name starts with Smith
    EXPECT_TRUE(q->Locate("Name", "Smith", {}));
    EXPECT_EQ(currentId(*q), 4); // exact
    EXPECT_TRUE(q->Locate("Name", "smithS", TLocateOptions{loPartialKey, loCaseInsensitive}));
    EXPECT_EQ(currentId(*q), 2);
    q->Last();
    EXPECT_FALSE(q->Locate("Name", "smithson", {})); // case-sensitive
    EXPECT_TRUE(q->Locate("Name", "smithson", TLocateOptions{loCaseInsensitive}));
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_TRUE(q->Locate("Name", Null(), {})); // null matches null
    EXPECT_EQ(currentId(*q), 5);
    EXPECT_FALSE(
        q->Locate("Name", "Smithsonian", TLocateOptions{loPartialKey})); // the key is longer
}

TEST(Locate, SeveralKeyFieldsAndTheShapeOfTheValues) {
    auto q = people();
    q->Open();
    EXPECT_TRUE(q->Locate("Name;City", VarArrayOf({"Smith", "Oslo"}), {}));
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_TRUE(q->Locate("City;ID", VarArrayOf({"Rome", 4, "ignored"}), {}));
    EXPECT_EQ(currentId(*q), 4);

    q->First();
    EXPECT_EQ(errorOf([&] { (void)q->Locate("Name;City", "Smith", {}); }),
              "Only one field can by filled with non-array variant");
    EXPECT_EQ(errorOf([&] { (void)q->Locate("", "Smith", {}); }), "Invalid field count");
    EXPECT_NE(errorOf([&] { (void)q->Locate("Nope", 1, {}); }).find("Nope"), std::string::npos);

    Variant fromOne = VarArrayCreate({1, 2}, varVariant); // bounds 1..2: element 0 does not exist
    VarArrayPut(fromOne, "Smith", {1});
    VarArrayPut(fromOne, "Oslo", {2});
    EXPECT_THROW((void)q->Locate("Name;City", fromOne, {}), host::Exception);

    Variant square = VarArrayCreate({0, 1, 0, 1}, varVariant);
    try {
        (void)q->Locate("Name;City", square, {});
        FAIL() << "a two-dimensional array was accepted";
    } catch (const ESybQueryError& e) {
        EXPECT_EQ(e.Message(), "Variant array of values has invalid dimension count");
    }
    // None of the failures moved the cursor or left Found set.
    EXPECT_EQ(currentId(*q), 1);
    EXPECT_FALSE(q->Found());
    EXPECT_FALSE(q->ControlsDisabled());
}

TEST(Locate, CurrentRecordFoundFlagAndScrollEvents) {
    auto q = people();
    int before = 0;
    int after = 0;
    q->SetBeforeScroll([&](TDataSet*) { ++before; });
    q->SetAfterScroll([&](TDataSet*) { ++after; });
    q->Open();
    q->Next();
    before = after = 0;

    EXPECT_FALSE(q->Locate("City", "Paris", {}));
    EXPECT_FALSE(q->Found());
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    q->Next(); // the cursor goes on from where it was
    EXPECT_EQ(currentId(*q), 3);

    before = after = 0;
    EXPECT_TRUE(q->Locate("City", "Lima", {}));
    EXPECT_TRUE(q->Found());
    EXPECT_EQ(currentId(*q), 3);
    EXPECT_EQ(q->RecNo(), 3);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    q->Next();
    EXPECT_EQ(currentId(*q), 4);
}

TEST(Locate, PendingEditIsPostedFirst) {
    auto q = people();
    q->Open();
    q->Edit();
    q->FieldByName("City")->SetAsString("Kyiv");
    EXPECT_TRUE(q->Locate("City", "Kyiv", {}));
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_EQ(currentId(*q), 1);
}

TEST(Locate, FilteredDatasetSkipsRejectedRecords) {
    auto q = people();
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("ID")->AsInteger() != 4; });
    q->SetFiltered(true);
    q->Open();
    q->SetDoBinaryLocate(true);
    q->SortOn("Name", {});
    q->SetSorted(true);
    EXPECT_TRUE(q->Locate("Name", "Smith", {}));
    EXPECT_EQ(currentId(*q), 6); // 4 is filtered out
    EXPECT_FALSE(q->Locate("ID", 4, {}));
}

TEST(Locate, ByACalculatedFieldUsesTheGivenValue) {
    RowQuery q(nullptr, {{"ID", ftInteger}});
    auto* id = new TIntegerField(&q);
    id->SetFieldName("ID");
    id->SetDataSet(&q);
    auto* twice = new TIntegerField(&q);
    twice->SetFieldName("Twice");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(&q);
    q.SetOnCalcFields([&](TDataSet*) { twice->SetAsInteger(2 * id->AsInteger()); });
    for (int i = 1; i <= 5; ++i)
        q.AddRow({i});
    q.Open();
    EXPECT_TRUE(q.Locate("Twice", 8, {}));
    EXPECT_EQ(id->AsInteger(), 4);
    EXPECT_TRUE(q.Locate("ID;Twice", VarArrayOf({2, 4}), {}));
    EXPECT_FALSE(q.Locate("ID;Twice", VarArrayOf({2, 5}), {}));
    EXPECT_EQ(q.Lookup("Twice", 6, "ID").AsInteger(), 3);
}

// ---- searching by halving --------------------------------------------------------------

namespace {

// 1000 records with ID 1..1000 and a calculated key K = ID whose computations are counted:
// a scan computes K for every record it passes, halving for about ten.
struct Counted {
    RowQuery q{nullptr, {{"ID", ftInteger}, {"Name", ftString, 10}}};
    TIntegerField* id = nullptr;
    TIntegerField* k = nullptr;
    int calcs = 0;
    Counted() {
        id = new TIntegerField(&q);
        id->SetFieldName("ID");
        id->SetDataSet(&q);
        auto* name = new TStringField(&q);
        name->SetFieldName("Name");
        name->SetSize(10);
        name->SetDataSet(&q);
        k = new TIntegerField(&q);
        k->SetFieldName("K");
        k->SetFieldKind(fkCalculated);
        k->SetDataSet(&q);
        q.SetOnCalcFields([this](TDataSet*) {
            ++calcs;
            k->SetAsInteger(id->AsInteger());
        });
        for (int i = 1000; i >= 1; --i)
            q.AddRow({i, i % 2 ? "odd" : "even"});
        q.Open();
        q.SetDoBinaryLocate(true);
    }
    // Declare: SetSorted(true) right before the locate. (Computing K for the records the
    // cursor shows writes a calculated field, which withdraws the declaration.)
    int locateCost(bool declare, const std::string& keys, const Variant& values,
                   TLocateOptions options = {}) {
        if (declare)
            q.SetSorted(true);
        calcs = 0;
        EXPECT_TRUE(q.Locate(keys, values, options)) << keys;
        EXPECT_EQ(id->AsInteger(), 900) << keys;
        return calcs;
    }
};

} // namespace

TEST(BinaryLocate, ChosenOnlyForTheLeadingFieldsOfADeclaredSort) {
    Counted c;
    c.q.SortOn("K;Name", {});
    EXPECT_GT(c.locateCost(false, "K", 900), 500); // SetSorted never called: a scan
    EXPECT_LT(c.locateCost(true, "K", 900), 40);
    EXPECT_LT(c.locateCost(true, " k ; name ", VarArrayOf({900, "even"})),
              40); // names as the dataset resolves them
    EXPECT_GT(c.locateCost(true, "Name;K", VarArrayOf({"even", 900})),
              500); // not the leading fields
    EXPECT_GT(c.locateCost(true, "K", 900, TLocateOptions{loCaseInsensitive}),
              500);                                                             // another case rule
    EXPECT_GT(c.locateCost(true, "K", 900, TLocateOptions{loPartialKey}), 500); // a partial key
    c.q.SetDoBinaryLocate(false);
    EXPECT_GT(c.locateCost(true, "K", 900), 500);
    c.q.SetDoBinaryLocate(true);
    c.q.SetSortFieldNames("Name;K");              // sorts: K is no longer the leading sort field
    EXPECT_GT(c.locateCost(true, "K", 900), 400); // the 450th record
}

TEST(BinaryLocate, SortOnALongerNameSaysNothingAboutTheShorterOne) {
    RowQuery q(nullptr, {{"Name", ftString, 5}, {"Names", ftString, 5}});
    const char* names[] = {"a", "b", "c", "d", "e"};
    const char* reversed[] = {"z", "y", "x", "w", "v"};
    for (int i = 0; i < 5; ++i)
        q.AddRow({names[i], reversed[i]});
    q.Open();
    q.SetDoBinaryLocate(true);
    q.SortOn("Names", {});
    q.SetSorted(true);
    for (const char* name : names) {
        EXPECT_TRUE(q.Locate("Name", name, {})) << name;
        EXPECT_EQ(q.FieldByName("Name")->AsString(), name);
    }
}

TEST(BinaryLocate, FindsWhatTheScanFindsWhateverTheOptions) {
    RowQuery q(nullptr, {{"ID", ftInteger}, {"Name", ftString, 10}});
    const char* names[] = {"A", "a", "B", "b", "abz", "Aba", "m", "m", "m", "C", "c"};
    int id = 0;
    for (const char* n : names)
        q.AddRow({++id, n});
    q.Open();
    q.SetDoBinaryLocate(true);
    const TBTCompareOptions sorts[] = {
        {}, {btcoCaseInsensitive}, {btcoDescending}, {btcoDescending, btcoCaseInsensitive}};
    const TLocateOptions locates[] = {
        {}, {loCaseInsensitive}, {loPartialKey}, {loPartialKey, loCaseInsensitive}};
    const char* keys[] = {"a", "A", "b", "B", "ab", "Ab", "m", "c", "C", "x"};
    for (const TBTCompareOptions& sort : sorts) {
        q.SortOn("Name", sort);
        for (const TLocateOptions& options : locates) {
            for (const char* key : keys) {
                q.SetSorted(false);
                const bool scanned = q.Locate("Name", key, options);
                const int scannedRec = q.RecNo();
                q.SetSorted(true);
                const bool halved = q.Locate("Name", key, options);
                EXPECT_EQ(halved, scanned)
                    << key << " sort " << int(sort.Bits()) << " locate " << options.Bits();
                if (halved && scanned) {
                    EXPECT_EQ(q.RecNo(), scannedRec) << key;
                }
            }
        }
    }
}

TEST(BinaryLocate, DescendingOrderAndMisses) {
    RowQuery q(nullptr, {{"ID", ftInteger}});
    for (int i = 1; i <= 99; i += 2)
        q.AddRow({i});
    q.Open();
    q.SetDoBinaryLocate(true);
    for (const TBTCompareOptions& sort : {TBTCompareOptions{}, TBTCompareOptions{btcoDescending}}) {
        q.SortOn("ID", sort);
        q.SetSorted(true);
        for (int key = 0; key <= 100; ++key) {
            const bool found = q.Locate("ID", key, {});
            EXPECT_EQ(found, key % 2 == 1) << key;
            if (found) {
                EXPECT_EQ(q.FieldByName("ID")->AsInteger(), key);
            }
        }
    }
}

// ---- Lookup ------------------------------------------------------------------------------------

TEST(Lookup, ReturnsTheValuesAndLeavesCursorAndLinksAlone) {
    auto q = people();
    TDataSource source(nullptr);
    source.SetDataSet(q.get());
    CountingLink link;
    link.SetDataSource(&source);
    int scrolls = 0;
    q->SetBeforeScroll([&](TDataSet*) { ++scrolls; });
    q->SetAfterScroll([&](TDataSet*) { ++scrolls; });
    q->Open();
    q->Next();
    q->Next();
    link.reset();
    scrolls = 0;

    EXPECT_EQ(q->Lookup("ID", 6, "City").AsString(), "Oslo");
    const Variant both = q->Lookup("Name;City", VarArrayOf({"Smith", "Rome"}), "ID;City");
    EXPECT_EQ(VarArrayGet(both, {0}).AsInteger(), 4);
    EXPECT_EQ(VarArrayGet(both, {1}).AsString(), "Rome");
    EXPECT_TRUE(q->Lookup("Name", "smith", "ID").IsNull()); // exact and case-sensitive
    EXPECT_TRUE(q->Lookup("Name", "Smi", "ID").IsNull());
    EXPECT_EQ(currentId(*q), 3);
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(link.recordChanges, 0);
    q->Next(); // the cursor goes on from where it was
    EXPECT_EQ(currentId(*q), 4);
    EXPECT_EQ(errorOf([&] { (void)q->Lookup("ID", 1, "Nope"); }).find("Nope") != std::string::npos,
              true);
    EXPECT_EQ(currentId(*q), 4);
}

// ---- what the links hear ------------------------------------------------------------------------

TEST(Locate, TellsTheLinksOnceWhenItMovesAndNotAtAllWhenItMisses) {
    auto q = people();
    TDataSource source(nullptr);
    source.SetDataSet(q.get());
    CountingLink link;
    link.SetDataSource(&source);
    q->Open();
    link.reset();
    EXPECT_TRUE(q->Locate("ID", 5, {}));
    EXPECT_EQ(link.recordChanges, 1);
    link.reset();
    EXPECT_FALSE(q->Locate("ID", 50, {}));
    EXPECT_EQ(link.recordChanges, 0);
    link.reset();
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(link.recordChanges, 1);
    // Disabling and enabling the controls with nothing in between tells nobody; a move in
    // between is told once.
    link.reset();
    q->DisableControls();
    q->EnableControls();
    EXPECT_EQ(link.recordChanges, 0);
    q->DisableControls();
    q->Next();
    q->Next();
    q->EnableControls();
    EXPECT_EQ(link.recordChanges, 1);
}

// ---- FindFirst, FindNext, FindPrior, FindLast
// -----------------------------------------------------

TEST(FindRecord, StepsThroughTheRecordsAndStopsAtTheEnds) {
    auto q = people();
    int after = 0;
    q->SetAfterScroll([&](TDataSet*) { ++after; });
    q->Open();
    q->Locate("ID", 3, {});
    after = 0;
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(currentId(*q), 4);
    EXPECT_TRUE(q->FindPrior());
    EXPECT_TRUE(q->FindPrior());
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_EQ(after, 3);
    EXPECT_TRUE(q->FindLast());
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_TRUE(q->Found());
    after = 0;
    EXPECT_FALSE(q->FindNext());
    EXPECT_FALSE(q->Found());
    EXPECT_EQ(after, 0);
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_TRUE(q->FindFirst());
    EXPECT_EQ(currentId(*q), 1);
    EXPECT_FALSE(q->FindPrior());
    EXPECT_EQ(currentId(*q), 1);
}

TEST(FindRecord, SkipsRecordsTheFilterRejects) {
    auto q = people();
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("City")->AsString() == "Oslo"; });
    q->SetFiltered(true);
    q->Open();
    EXPECT_TRUE(q->FindFirst());
    EXPECT_EQ(currentId(*q), 1);
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(currentId(*q), 5);
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_FALSE(q->FindNext());
    EXPECT_TRUE(q->FindLast());
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_TRUE(q->FindPrior());
    EXPECT_EQ(currentId(*q), 5);
}

TEST(FindRecord, OnAnEmptyDatasetFindsNothing) {
    RowQuery q(nullptr, {{"ID", ftInteger}});
    q.Open();
    EXPECT_FALSE(q.FindFirst());
    EXPECT_FALSE(q.FindLast());
    EXPECT_FALSE(q.FindNext());
    EXPECT_FALSE(q.Found());
}

// The filter decides what Find* find, whether or not it is applied: the handler and the
// expression both, with Filtered off the cursor still shows every record.
TEST(FindRecord, SearchesWithTheFilterWhetherOrNotItIsApplied) {
    auto q = people();
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("City")->AsString() == "Oslo"; });
    q->SetFilter("ID > 1");
    q->Open();
    EXPECT_FALSE(q->Filtered());
    EXPECT_EQ(q->RecordCount(), 6);
    EXPECT_TRUE(q->FindFirst());
    EXPECT_EQ(currentId(*q), 5);
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(currentId(*q), 6);
    EXPECT_FALSE(q->FindNext());
    EXPECT_EQ(currentId(*q), 6);
    q->Prior(); // the cursor still shows the records the filter rejects
    EXPECT_EQ(currentId(*q), 5);
    q->Prior();
    EXPECT_EQ(currentId(*q), 4);
    EXPECT_FALSE(q->FindPrior()); // ID 1 is in Oslo but not above 1
    EXPECT_EQ(currentId(*q), 4);
    q->SetOnFilterRecord(nullptr);
    EXPECT_TRUE(q->FindLast());
    EXPECT_EQ(currentId(*q), 6);
    q->SetFilter("Name = 'Smith*'");
    EXPECT_TRUE(q->FindFirst());
    EXPECT_EQ(currentId(*q), 2);
    EXPECT_TRUE(q->FindNext());
    EXPECT_EQ(currentId(*q), 4);
}

// A key that its field cannot hold matches nothing: it is not cut to fit, whichever search
// runs, and Lookup finds nothing with it either.
TEST(Locate, AKeyItsFieldCannotHoldMatchesNothing) {
    RowQuery q(nullptr, {{"ID", ftInteger}, {"Small", ftSmallint}, {"Name", ftString, 4}});
    q.AddRow({1, 1, "Erin"});
    q.AddRow({2, 2, "Bo"});
    q.AddRow({3, -32768, "Al"});
    q.Open();
    q.SetDoBinaryLocate(true);
    for (bool halving : {false, true}) {
        SCOPED_TRACE(halving ? "halving" : "scanning");
        q.SortOn("Name", {});
        q.SetSorted(halving);
        EXPECT_TRUE(q.Locate("Name", "Erin", {}));
        EXPECT_FALSE(q.Locate("Name", "Erinxx", {}));
        EXPECT_FALSE(q.Locate("Name", "Erinxx", TLocateOptions{loPartialKey}));
        EXPECT_TRUE(q.Lookup("Name", "Erinxx", "ID").IsNull());
        q.SortOn("ID", {});
        q.SetSorted(halving);
        EXPECT_FALSE(q.Locate("ID", 4294967297.0, {})); // beyond the column's range
        EXPECT_FALSE(q.Locate("ID", int64_t{4294967297}, {}));
        EXPECT_FALSE(q.Locate("ID", 1.5, {}));
        EXPECT_FALSE(q.Locate("ID", "2.5", {}));
        EXPECT_TRUE(q.Locate("ID", "2", {}));
        EXPECT_EQ(currentId(q), 2);
        EXPECT_TRUE(q.Locate("ID", 3.0, {}));
        EXPECT_EQ(currentId(q), 3);
    }
    EXPECT_FALSE(q.Locate("Small", 98304, {})); // 0x18000 would read as -32768
    EXPECT_TRUE(q.Lookup("ID;Small", VarArrayOf({3, 98304}), "Name").IsNull());
    EXPECT_EQ(q.Lookup("ID;Small", VarArrayOf({3, -32768}), "Name").AsString(), "Al");
    EXPECT_THROW((void)q.Locate("ID", "three", {}), EVariantError); // not a number at all
}

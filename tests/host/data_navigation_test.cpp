// Dataset engine: opening and closing, navigation over the buffer ring, Resync, RecNo,
// bookmarks and data links watching scrolls.
#include <gtest/gtest.h>

#include "tests/host/data_ArrayDataSet.h"
#include "tovrin5/host/DataSource.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

std::vector<int> idsInWindow(ArrayDataSet& ds, RecordingLink& link) {
    std::vector<int> ids;
    int saved = link.ActiveRecord();
    for (int i = 0; i < link.RecordCount(); ++i) {
        link.SetActiveRecord(i);
        ids.push_back(ds.FieldByName("ID")->AsInteger());
    }
    link.SetActiveRecord(saved);
    return ids;
}

} // namespace

TEST(DataSetOpenClose, EventsAndStatesInOrder) {
    auto ds = makeNumbers(3);
    std::vector<std::string> log;
    ds->SetBeforeOpen(
        [&](TDataSet* d) { log.push_back("BeforeOpen:" + std::to_string(d->State())); });
    ds->SetAfterOpen(
        [&](TDataSet* d) { log.push_back("AfterOpen:" + std::to_string(d->State())); });
    ds->SetAfterScroll([&](TDataSet*) { log.push_back("AfterScroll"); });
    ds->SetBeforeClose([&](TDataSet*) { log.push_back("BeforeClose"); });
    ds->SetAfterClose(
        [&](TDataSet* d) { log.push_back("AfterClose:" + std::to_string(d->State())); });
    ds->Open();
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_TRUE(ds->DefaultFields());
    EXPECT_EQ(ds->FieldCount(), 3);
    EXPECT_EQ(ds->FieldByName("name")->FieldNo(), 2);
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    ds->Close();
    EXPECT_EQ(ds->FieldCount(), 0); // default fields go with the cursor
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen:0", "AfterOpen:1", "AfterScroll",
                                             "BeforeClose", "AfterClose:0"}));
}

TEST(DataSetOpenClose, EmptyDatasetHasNoScrollAndNoValues) {
    auto ds = makeNumbers(0);
    int scrolls = 0;
    ds->SetAfterScroll([&](TDataSet*) { ++scrolls; });
    ds->Open();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(scrolls, 0);
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "");
    EXPECT_TRUE(ds->Bookmark().empty());
    EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(DataSetOpenClose, PersistentFieldsSurviveCloseAndBindByName) {
    auto ds = makeNumbers(2);
    auto* name = new TStringField(ds.get());
    name->SetFieldName("NAME");
    name->SetSize(10);
    name->SetDataSet(ds.get());
    ds->Open();
    EXPECT_FALSE(ds->DefaultFields());
    EXPECT_EQ(ds->FieldCount(), 1);
    EXPECT_EQ(name->FieldNo(), 2);
    EXPECT_EQ(name->AsString(), "n1");
    EXPECT_THROW((void)ds->FieldByName("ID"), EDatabaseError);
    EXPECT_THROW(name->SetSize(5), EDatabaseError); // not while open
    ds->Close();
    EXPECT_EQ(ds->FieldCount(), 1);
    EXPECT_EQ(name->FieldNo(), 0);
}

TEST(DataSetOpenClose, FieldOfWrongTypeOrMissingDefinitionRefusesOpen) {
    auto ds = makeNumbers(2);
    auto* f = new TIntegerField(ds.get());
    f->SetFieldName("NAME");
    f->SetDataSet(ds.get());
    EXPECT_THROW(ds->Open(), EDatabaseError);
    EXPECT_FALSE(ds->Active());
    f->SetFieldName("NOPE");
    try {
        ds->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Numbers: Field 'NOPE' not found");
    }
    EXPECT_FALSE(ds->Active());
}

TEST(DataSetNavigation, NextPriorFirstLastAcrossTheWindow) {
    auto ds = makeNumbers(10);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetBufferCount(4);
    link.SetDataSource(&src);
    ds->Open();
    EXPECT_EQ(ds->BufferCount(), 4);
    EXPECT_EQ(ds->BufferedRecordCount(), 4);
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{1, 2, 3, 4}));
    std::vector<int> seen;
    while (!ds->Eof()) {
        seen.push_back(ds->FieldByName("ID")->AsInteger());
        ds->Next();
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 10); // Eof leaves the last record current
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{7, 8, 9, 10}));
    EXPECT_EQ(link.ActiveRecord(), 3);
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 10);
    seen.clear();
    while (!ds->Bof()) {
        seen.push_back(ds->FieldByName("ID")->AsInteger());
        ds->Prior();
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ds->MoveBy(6), 6);
    EXPECT_EQ(ds->RecNo(), 7);
    EXPECT_EQ(ds->MoveBy(100), 3);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-4), -4);
    EXPECT_EQ(ds->RecNo(), 6);
    ds->First();
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->RecNo(), 1);
    ds->Close();
    link.SetDataSource(nullptr);
}

TEST(DataSetNavigation, LinksSeeScrollDistancesAndChanges) {
    auto ds = makeNumbers(6);
    TDataSource src(nullptr);
    RecordingLink link;
    link.SetBufferCount(3);
    link.SetDataSource(&src);
    src.SetDataSet(ds.get());
    EXPECT_FALSE(link.Active());
    ds->Open();
    EXPECT_TRUE(link.Active());
    link.events.clear();
    ds->Next(); // inside the window
    ds->Next();
    ds->Next(); // the window shifts by one
    EXPECT_EQ(link.events, (std::vector<std::string>{"checkbrowse", "scrolled:0", "checkbrowse",
                                                     "scrolled:0", "checkbrowse", "scrolled:1"}));
    EXPECT_EQ(link.ActiveRecord(), 2);
    link.events.clear();
    ds->First();
    EXPECT_EQ(link.events, (std::vector<std::string>{"checkbrowse", "changed"}));
    link.events.clear();
    ds->DisableControls();
    ds->Next();
    ds->Next();
    EXPECT_TRUE(link.events.empty());
    ds->EnableControls();
    EXPECT_EQ(link.events, (std::vector<std::string>{"changed"}));
    link.events.clear();
    ds->Close();
    EXPECT_EQ(link.events, (std::vector<std::string>{"inactive"}));
    EXPECT_FALSE(src.IsLinkedTo(ds.get()));
}

TEST(DataSetNavigation, ResyncCentresTheRecordAndExactNeedsIt) {
    auto ds = makeNumbers(20);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetBufferCount(5);
    link.SetDataSource(&src);
    ds->Open();
    ds->SetRecNo(10);
    EXPECT_EQ(ds->RecNo(), 10);
    EXPECT_EQ(link.ActiveRecord(), 2); // (5 - 1) / 2
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{8, 9, 10, 11, 12}));
    ds->SetRecNo(20); // no records after it: the window fills from before
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{16, 17, 18, 19, 20}));
    EXPECT_EQ(link.ActiveRecord(), 4);
    ds->SetRecNo(1);
    EXPECT_EQ(idsInWindow(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));
    // Without rmCenter the record keeps its row.
    ds->MoveBy(3);
    ds->SetCurRec(11);
    ds->Resync(TResyncMode{rmExact});
    EXPECT_EQ(link.ActiveRecord(), 3);
    EXPECT_EQ(ds->RecNo(), 12);
    ds->SetCurRec(20); // after the last record
    EXPECT_THROW(ds->Resync(TResyncMode{rmExact}), EDatabaseError);
    ds->Close();
}

TEST(DataSetNavigation, WindowShrinksAroundTheActiveRecord) {
    auto ds = makeNumbers(10);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetBufferCount(6);
    link.SetDataSource(&src);
    ds->Open();
    ds->MoveBy(4);
    EXPECT_EQ(ds->RecNo(), 5);
    link.SetBufferCount(2);
    EXPECT_EQ(ds->BufferCount(), 2);
    EXPECT_EQ(ds->RecNo(), 5);
    ds->Next();
    EXPECT_EQ(ds->RecNo(), 6);
    ds->Prior();
    ds->Prior();
    EXPECT_EQ(ds->RecNo(), 4);
    link.SetDataSource(nullptr);
    EXPECT_EQ(ds->BufferCount(), 1);
    EXPECT_EQ(ds->RecNo(), 4);
}

TEST(DataSetGetRecord, ModesAtTheEnds) {
    auto ds = makeNumbers(2);
    ds->Open();
    TRecordBuffer b = ds->Alloc();
    ds->SetCurRec(-1);
    EXPECT_EQ(ds->Fetch(b, gmCurrent), grBOF);
    EXPECT_EQ(ds->Fetch(b, gmPrior), grBOF);
    EXPECT_EQ(ds->Fetch(b, gmNext), grOK);
    EXPECT_EQ(ds->Fetch(b, gmNext), grOK);
    EXPECT_EQ(ds->Fetch(b, gmNext), grEOF);
    EXPECT_EQ(ds->CurRec(), 1);
    ds->SetCurRec(2);
    EXPECT_EQ(ds->Fetch(b, gmCurrent), grEOF);
    ds->Free(b);
    EXPECT_EQ(b, nullptr);
}

TEST(DataSetBookmarks, GotoCompareAndValidity) {
    auto ds = makeNumbers(8);
    ds->Open();
    ds->MoveBy(5);
    TBookmark six = ds->GetBookmark();
    ds->First();
    TBookmark one = ds->Bookmark();
    std::vector<std::string> log;
    ds->SetBeforeScroll([&](TDataSet*) { log.push_back("before"); });
    ds->SetAfterScroll([&](TDataSet*) { log.push_back("after"); });
    ds->GotoBookmark(six);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 6);
    EXPECT_EQ(log, (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(ds->CompareBookmarks(one, six), -1);
    EXPECT_EQ(ds->CompareBookmarks(six, one), 1);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark(), six), 0);
    EXPECT_TRUE(ds->BookmarkValid(six));
    EXPECT_FALSE(ds->BookmarkValid(TBookmark()));
    ds->SetBookmark(one);
    EXPECT_EQ(ds->RecNo(), 1);
    ds->SetBookmark(TBookmark()); // nil: nothing happens
    EXPECT_EQ(ds->RecNo(), 1);
}

TEST(DataSetBookmarks, PositionsAfterDeleteAndInsert) {
    auto ds = makeNumbers(5);
    ds->Open();
    ds->Last();
    TBookmark last = ds->Bookmark();
    ds->MoveBy(-2);
    TBookmark third = ds->Bookmark();
    ds->Delete(); // deletes 3; the bookmark now names the record that followed
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    EXPECT_FALSE(ds->BookmarkValid(last));
    EXPECT_THROW(ds->GotoBookmark(last), EDatabaseError);
    ds->GotoBookmark(third);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    ds->First();
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(100);
    ds->Post();
    ds->GotoBookmark(third); // index 2 is now record 2
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
}

TEST(DataSetFind, FindFirstNextPriorLast) {
    auto ds = makeNumbers(4);
    ds->Open();
    EXPECT_TRUE(ds->FindLast());
    EXPECT_EQ(ds->RecNo(), 4);
    int after = 0;
    ds->SetAfterScroll([&](TDataSet*) { ++after; });
    EXPECT_FALSE(ds->FindNext());
    EXPECT_FALSE(ds->Found());
    EXPECT_EQ(after, 0);
    EXPECT_TRUE(ds->FindPrior());
    EXPECT_TRUE(ds->Found());
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_TRUE(ds->FindFirst());
    EXPECT_EQ(ds->RecNo(), 1);
}

TEST(DataSetLocate, GenericLocateAndLookup) {
    auto ds = makeNumbers(5);
    ds->AddRow({6, "Smithson", 1.0});
    ds->Open();
    ds->MoveBy(1);
    EXPECT_TRUE(ds->Locate("NAME", Variant("N4"), TLocateOptions{loCaseInsensitive}));
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_FALSE(ds->Locate("NAME", Variant("N4"), {}));
    EXPECT_FALSE(ds->Found());
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_TRUE(ds->Locate("NAME", Variant("Smith"), TLocateOptions{loPartialKey}));
    EXPECT_EQ(ds->RecNo(), 6);
    EXPECT_TRUE(ds->Locate("ID;NAME", VarArrayOf({2, "n2"}), {}));
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(ds->Lookup("ID", 3, "NAME").AsString(), "n3");
    EXPECT_TRUE(ds->Lookup("ID", 99, "NAME").IsNull());
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_THROW(ds->Locate("NOPE", 1, {}), EDatabaseError);
}

TEST(DataSetLocate, ScanFiresOneScrollAndLookupNone) {
    auto ds = makeNumbers(50);
    ds->Open();
    std::vector<std::string> log;
    ds->SetBeforeScroll([&](TDataSet*) { log.push_back("before"); });
    ds->SetAfterScroll([&](TDataSet* d) { log.push_back("after:" + std::to_string(d->RecNo())); });
    EXPECT_TRUE(ds->Locate("ID", 40, {}));
    EXPECT_EQ(log, (std::vector<std::string>{"before", "after:40"}));
    log.clear();
    EXPECT_FALSE(ds->Locate("ID", 400, {}));
    EXPECT_EQ(log, (std::vector<std::string>{"before"}));
    EXPECT_EQ(ds->RecNo(), 40);
    log.clear();
    EXPECT_EQ(ds->Lookup("ID", 7, "NAME").AsString(), "n7");
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(ds->RecNo(), 40);
}

TEST(DataSetLocate, FailedScanGivesBackControlsAndScrollEvents) {
    auto ds = makeNumbers(5);
    ds->Open();
    EXPECT_THROW(ds->Lookup("ID", 3, "NOPE"), EDatabaseError);
    EXPECT_FALSE(ds->ControlsDisabled());
    int scrolls = 0;
    ds->SetAfterScroll([&](TDataSet*) { ++scrolls; });
    ds->First();
    ds->Next();
    EXPECT_EQ(scrolls, 2);
}

// Dataset engine: edit, insert, append, post, cancel and delete with their events, states
// and temporary states, error events and what data links see while editing.
#include <gtest/gtest.h>

#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

struct EventLog {
    std::vector<std::string> log;
    void attach(TDataSet* ds) {
        auto rec = [this](const char* name) {
            return TDataSetNotifyEvent([this, name](TDataSet* d) {
                log.push_back(std::string(name) + ":" + std::to_string(d->State()));
            });
        };
        ds->SetBeforeEdit(rec("BeforeEdit"));
        ds->SetAfterEdit(rec("AfterEdit"));
        ds->SetBeforeInsert(rec("BeforeInsert"));
        ds->SetAfterInsert(rec("AfterInsert"));
        ds->SetBeforePost(rec("BeforePost"));
        ds->SetAfterPost(rec("AfterPost"));
        ds->SetBeforeCancel(rec("BeforeCancel"));
        ds->SetAfterCancel(rec("AfterCancel"));
        ds->SetBeforeDelete(rec("BeforeDelete"));
        ds->SetAfterDelete(rec("AfterDelete"));
        ds->SetBeforeScroll(rec("BeforeScroll"));
        ds->SetAfterScroll(rec("AfterScroll"));
        ds->SetOnNewRecord(rec("OnNewRecord"));
    }
};

std::vector<int> storedIds(ArrayDataSet& ds) {
    std::vector<int> ids;
    for (int i = 0; i < ds.StoredCount(); ++i)
        ids.push_back(std::stoi(ds.StoredInt(i, 0) == "null" ? "0" : ds.StoredInt(i, 0)));
    return ids;
}

} // namespace

TEST(DataSetEditing, EditPostEventOrderAndStoredValue) {
    auto ds = makeNumbers(3);
    ds->Open();
    ds->Next();
    EventLog ev;
    ev.attach(ds.get());
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    EXPECT_EQ(ds->RecNo(), 2);
    ds->FieldByName("ID")->SetAsInteger(42);
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(ds->StoredInt(1, 0), "2"); // not stored before Post
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->StoredInt(1, 0), "42");
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 42);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"BeforeEdit:1", "AfterEdit:2", "BeforePost:2",
                                                "AfterPost:1"}));
    ds->Edit();
    ds->Edit(); // already editing: nothing happens
    EXPECT_EQ(ev.log.size(), 6u);
    ds->Cancel();
}

TEST(DataSetEditing, OldValueShowsTheRecordBeforeTheEdit) {
    auto ds = makeNumbers(2);
    ds->Open();
    TField* id = ds->FieldByName("ID");
    ds->Edit();
    id->SetAsInteger(10);
    EXPECT_EQ(id->OldValue().AsInteger(), 1);
    EXPECT_EQ(id->NewValue().AsInteger(), 10);
    EXPECT_EQ(ds->State(), dsEdit); // the temporary state is gone again
    ds->Post();
    EXPECT_EQ(id->OldValue().AsInteger(), 10); // no edit pending: the record itself
}

TEST(DataSetEditing, CancelRestoresTheRecord) {
    auto ds = makeNumbers(3);
    ds->Open();
    EventLog ev;
    ev.attach(ds.get());
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("changed");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "n1");
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"BeforeEdit:1", "AfterEdit:2", "BeforeCancel:2",
                                                "AfterCancel:1"}));
    ds->Cancel(); // nothing to cancel
    EXPECT_EQ(ev.log.size(), 4u);
}

TEST(DataSetEditing, InsertGoesInFrontOfTheCurrentRecord) {
    auto ds = makeNumbers(4);
    ds->Open();
    ds->MoveBy(2);
    EventLog ev;
    ev.attach(ds.get());
    ds->Insert();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_FALSE(ds->Modified());
    ds->FieldByName("ID")->SetAsInteger(99);
    ds->Post();
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 2, 99, 3, 4}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 99);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"BeforeInsert:1", "BeforeScroll:1", "OnNewRecord:3",
                                                "AfterInsert:3", "AfterScroll:3", "BeforePost:3",
                                                "AfterPost:1"}));
}

TEST(DataSetEditing, AppendGoesLastAndInsertIntoEmptyGoesFirst) {
    auto ds = makeNumbers(3);
    ds->Open();
    ds->Append();
    EXPECT_TRUE(ds->Eof());
    ds->FieldByName("ID")->SetAsInteger(7);
    ds->Post();
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 2, 3, 7}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 7);
    ds->AppendRecord({8, "eight", 8.0});
    ds->First();
    ds->InsertRecord({0, "zero"});
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{0, 1, 2, 3, 7, 8}));

    auto empty = makeNumbers(0);
    empty->Open();
    empty->Edit(); // nothing to edit: inserts instead
    EXPECT_EQ(empty->State(), dsInsert);
    empty->FieldByName("ID")->SetAsInteger(5);
    empty->Post();
    EXPECT_EQ(storedIds(*empty), (std::vector<int>{5}));
    EXPECT_FALSE(empty->IsEmpty());
}

TEST(DataSetEditing, CancelledInsertLeavesNoTrace) {
    auto ds = makeNumbers(3);
    ds->Open();
    ds->Next();
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(50);
    ds->Cancel();
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    ds->Append();
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    auto empty = makeNumbers(0);
    empty->Open();
    empty->Insert();
    empty->Cancel();
    EXPECT_TRUE(empty->IsEmpty());
}

TEST(DataSetEditing, DeleteEventOrderAndPosition) {
    auto ds = makeNumbers(3);
    ds->Open();
    ds->Next();
    EventLog ev;
    ev.attach(ds.get());
    ds->Delete();
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 3}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"BeforeDelete:1", "BeforeScroll:1", "AfterDelete:1",
                                                "AfterScroll:1"}));
    ds->Delete(); // the last: the previous becomes current
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    ds->Delete();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(DataSetEditing, ScrollingPostsOrCancelsPendingEdits) {
    auto ds = makeNumbers(3);
    ds->Open();
    ds->Edit();
    ds->Next(); // unmodified: cancelled
    EXPECT_EQ(ds->State(), dsBrowse);
    ds->Edit();
    ds->FieldByName("ID")->SetAsInteger(20);
    EventLog ev;
    ev.attach(ds.get());
    ds->Next(); // modified: posted
    EXPECT_EQ(ds->StoredInt(1, 0), "20");
    EXPECT_EQ(ev.log, (std::vector<std::string>{"BeforePost:2", "AfterPost:1", "BeforeScroll:1",
                                                "AfterScroll:1"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
}

TEST(DataSetEditing, ReadOnlyDatasetAndBrowseWritesAreRefused) {
    auto ds = makeNumbers(2);
    ds->SetReadOnlyDataSet(true);
    ds->Open();
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_THROW(ds->Insert(), EDatabaseError);
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    ds->SetReadOnlyDataSet(false);
    try {
        ds->FieldByName("ID")->SetAsInteger(3);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Numbers: Dataset not in edit or insert mode");
    }
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    EXPECT_THROW(ds->Post(), EDatabaseError);
}

TEST(DataSetEditing, PostErrorEventCanRetryAbortOrFail) {
    auto ds = makeNumbers(2);
    ds->Open();
    ds->Edit();
    ds->FieldByName("ID")->SetAsInteger(9);
    ds->FailPosts(2);
    int calls = 0;
    ds->SetOnPostError([&](TDataSet*, EDatabaseError* e, TDataAction& a) {
        EXPECT_EQ(e->Message(), "post refused");
        ++calls;
        a = daRetry;
    });
    ds->Post();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(ds->StoredInt(0, 0), "9");
    ds->Edit();
    ds->FieldByName("ID")->SetAsInteger(10);
    ds->FailPosts(1);
    ds->SetOnPostError([&](TDataSet*, EDatabaseError*, TDataAction& a) { a = daFail; });
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsEdit); // the edit stays pending
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 9);
}

TEST(DataSetEditing, LinksSeeStateAndRecordChanges) {
    auto ds = makeNumbers(3);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetDataSource(&src);
    std::vector<TDataSetState> states;
    src.SetOnStateChange([&](TObject*) { states.push_back(src.State()); });
    ds->Open();
    link.events.clear();
    ds->Edit();
    EXPECT_TRUE(link.Editing());
    ds->FieldByName("NAME")->SetAsString("x");
    ds->Post();
    EXPECT_FALSE(link.Editing());
    // Edit checks browse mode first; Post asks for pending values, then checks again.
    EXPECT_EQ(link.events,
              (std::vector<std::string>{"checkbrowse", "editing", "record", "field:NAME", "update",
                                        "checkbrowse", "not editing", "changed"}));
    EXPECT_EQ(states, (std::vector<TDataSetState>{dsBrowse, dsEdit, dsBrowse}));
    src.SetAutoEdit(true);
    EXPECT_TRUE(link.Edit());
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
    ds->Close();
}

TEST(DataSetStates, TemporaryStatesHoldOffLinksAndRestore) {
    auto ds = makeNumbers(2);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetDataSource(&src);
    ds->Open();
    link.events.clear();
    TDataSetState old = ds->SetTempState(dsCalcFields);
    EXPECT_EQ(old, dsBrowse);
    EXPECT_EQ(ds->State(), dsCalcFields);
    EXPECT_EQ(src.State(), dsBrowse); // nobody was told
    EXPECT_TRUE(ds->ControlsDisabled());
    ds->RestoreState(old);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_TRUE(link.events.empty());
}

TEST(DataSetStates, ClosingWhileEditingDropsTheEdit) {
    auto ds = makeNumbers(2);
    ds->Open();
    ds->Edit();
    ds->FieldByName("ID")->SetAsInteger(77);
    int cancels = 0;
    ds->SetBeforeCancel([&](TDataSet*) { ++cancels; });
    ds->calls.clear();
    ds->Close();
    EXPECT_EQ(ds->calls, (std::vector<std::string>{"InternalCancel", "InternalClose"}));
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(ds->State(), dsInactive);
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_THROW(ds->First(), EDatabaseError);
}

TEST(DataSetEditing, EditingInsideAFullWindow) {
    auto ds = makeNumbers(10);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    RecordingLink link;
    link.SetBufferCount(3);
    link.SetDataSource(&src);
    ds->Open();
    ds->MoveBy(4); // record 5, window 3..5
    ASSERT_EQ(ds->RecNo(), 5);
    ASSERT_EQ(link.ActiveRecord(), 2);
    auto window = [&] {
        std::vector<std::string> ids;
        int saved = link.ActiveRecord();
        for (int i = 0; i < link.RecordCount(); ++i) {
            link.SetActiveRecord(i);
            ids.push_back(ds->FieldByName("ID")->IsNull() ? "new"
                                                          : ds->FieldByName("ID")->AsString());
        }
        link.SetActiveRecord(saved);
        return ids;
    };
    ds->Insert();
    EXPECT_EQ(window(), (std::vector<std::string>{"3", "4", "new"}));
    ds->Cancel();
    EXPECT_EQ(window(), (std::vector<std::string>{"3", "4", "5"}));
    EXPECT_EQ(ds->RecNo(), 5);
    ds->Append();
    EXPECT_EQ(window(), (std::vector<std::string>{"9", "10", "new"}));
    ds->FieldByName("ID")->SetAsInteger(11);
    ds->Post();
    EXPECT_EQ(window(), (std::vector<std::string>{"9", "10", "11"}));
    EXPECT_EQ(ds->RecordCount(), 11);
    ds->Delete(); // the last record: the window closes up from before
    EXPECT_EQ(window(), (std::vector<std::string>{"8", "9", "10"}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 10);
    ds->First();
    ds->Delete();
    EXPECT_EQ(window(), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(link.ActiveRecord(), 0);
    ds->Refresh();
    EXPECT_EQ(window(), (std::vector<std::string>{"2", "3", "4"}));
    ds->Close();
}

TEST(DataSetEditing, FailuresWhileStartingOrFillingANewRecordLeaveNoRecord) {
    auto ds = makeNumbers(2);
    ds->Open();
    ds->Next();
    EXPECT_THROW(ds->InsertRecord({Variant("not a number")}), EVariantError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 2}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    int afterInsert = 0;
    ds->SetAfterInsert([&](TDataSet*) { ++afterInsert; });
    ds->SetOnNewRecord([](TDataSet* d) {
        d->FieldByName("ID")->SetAsInteger(50); // defaults may be written here
        DatabaseError("no new records today");
    });
    ds->calls.clear();
    EXPECT_THROW(ds->Append(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(afterInsert, 0);
    // What InternalInsert set up is released again.
    EXPECT_EQ(ds->calls, (std::vector<std::string>{"InternalInsert", "InternalCancel"}));
    EXPECT_EQ(storedIds(*ds), (std::vector<int>{1, 2}));
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    ds->SetOnNewRecord([](TDataSet* d) { d->FieldByName("NAME")->SetAsString("default"); });
    ds->Append();
    EXPECT_FALSE(ds->Modified()); // defaults from OnNewRecord do not count as changes
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "default");
    ds->Cancel();
    ds->SetBeforeEdit([](TDataSet*) { DatabaseError("read only today"); });
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetEditing, EditThatFailsWhileCalculatingIsUndone) {
    auto ds = makeNumbers(2);
    auto* id = new TIntegerField(ds.get());
    id->SetFieldName("ID");
    id->SetDataSet(ds.get());
    auto* calc = new TIntegerField(ds.get());
    calc->SetFieldName("CALC");
    calc->SetFieldKind(fkCalculated);
    calc->SetDataSet(ds.get());
    bool fail = false;
    ds->SetOnCalcFields([&](TDataSet*) {
        if (fail)
            DatabaseError("cannot calculate");
        calc->SetAsInteger(id->AsInteger() + 100);
    });
    ds->Open();
    EXPECT_EQ(calc->AsInteger(), 101);
    fail = true;
    ds->calls.clear();
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->calls, (std::vector<std::string>{"InternalEdit", "InternalCancel"}));
    fail = false;
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
}

// The record list: reading records in each mode, filtering, counting, and storing
// edited, inserted and appended records at their positions.
#include <gtest/gtest.h>

#include <functional>

#include "dataset_support.h"
#include "tovrin5/host/FieldsTyped.h"

namespace dstest {
namespace {

std::unique_ptr<TestQuery> numbers(int count) {
    auto q = std::make_unique<TestQuery>(
        nullptr, std::vector<Column>{{"N", ftInteger}, {"S", ftString, 20}});
    for (int i = 1; i <= count; ++i)
        q->AddRow({i, "r" + std::to_string(i)});
    return q;
}

TEST(GetRecord, EndsOfTheListAndPositions) {
    auto empty = numbers(0);
    empty->Open();
    char* buffer = empty->AllocRecordBuffer();
    EXPECT_EQ(empty->GetRecord(buffer, gmNext, true), grEOF);
    EXPECT_EQ(empty->GetRecord(buffer, gmPrior, true), grBOF);
    empty->SetCurRec(-1);
    EXPECT_EQ(empty->GetRecord(buffer, gmCurrent, true), grBOF);
    empty->SetCurRec(0);
    EXPECT_EQ(empty->GetRecord(buffer, gmCurrent, true), grEOF);
    empty->FreeRecordBuffer(buffer);

    auto q = numbers(3);
    q->Open();
    buffer = q->AllocRecordBuffer();
    q->SetCurRec(2);
    EXPECT_EQ(q->GetRecord(buffer, gmNext, true), grEOF);
    EXPECT_EQ(q->CurRec(), 2);
    q->SetCurRec(0);
    EXPECT_EQ(q->GetRecord(buffer, gmPrior, true), grBOF);
    EXPECT_EQ(q->CurRec(), 0);
    EXPECT_EQ(q->GetRecord(buffer, gmNext, true), grOK);
    EXPECT_EQ(q->recordId(buffer), 2);
    q->FreeRecordBuffer(buffer);
}

TEST(Navigation, WalksForwardAndBackward) {
    auto q = numbers(5);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 5);
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "3", "4", "5"}));
    q->Last();
    EXPECT_EQ(q->RecNo(), 5);
    Strings back;
    while (!q->Bof()) {
        back.push_back(q->FieldByName("S")->AsString());
        q->Prior();
    }
    EXPECT_EQ(back, (Strings{"r5", "r4", "r3", "r2", "r1"}));
    q->SetRecNo(3);
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 3);
}

TEST(Filter, OnlyAcceptedRecordsShowAndCount) {
    auto q = numbers(10);
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("N")->AsInteger() % 3 == 0; });
    q->SetFiltered(true);
    q->Open();
    EXPECT_EQ(column(*q, "N"), (Strings{"3", "6", "9"}));
    q->First();
    q->Next();
    const int before = q->CurRec();
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_EQ(q->CurRec(), before);
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 6);
    EXPECT_EQ(q->RecNo(), 2); // counted among the records shown

    // A rejected current record reads as an error; past the last accepted one, the end.
    char* buffer = q->AllocRecordBuffer();
    q->SetCurRec(0);
    EXPECT_EQ(q->GetRecord(buffer, gmCurrent, true), grError);
    EXPECT_EQ(q->CurRec(), 0);
    q->SetCurRec(8);
    EXPECT_EQ(q->GetRecord(buffer, gmNext, true), grEOF);
    EXPECT_EQ(q->CurRec(), 9);
    q->FreeRecordBuffer(buffer);

    // Filtering off shows everything again.
    q->SetFiltered(false);
    EXPECT_EQ(q->RecordCount(), 10);
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 1);
}

// Under a filter RecNo runs 1..RecordCount over the records shown, and SetRecNo moves to
// the n-th of them as any move does: an edit is posted, the scroll events fire.
TEST(Filter, RecNoNumbersTheShownRecords) {
    auto q = numbers(10);
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("N")->AsInteger() % 3 == 0; });
    q->SetFiltered(true);
    q->Open();
    Strings numbers;
    for (q->First(); !q->Eof(); q->Next())
        numbers.push_back(std::to_string(q->RecNo()));
    EXPECT_EQ(numbers, (Strings{"1", "2", "3"}));
    int before = 0, after = 0;
    q->SetBeforeScroll([&](TDataSet*) { ++before; });
    q->SetAfterScroll([&](TDataSet*) { ++after; });
    q->Edit();
    q->FieldByName("S")->SetAsString("edited");
    q->SetRecNo(2);
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 6);
    EXPECT_EQ(q->RecNo(), 2);
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    q->SetRecNo(4); // there is no fourth: nothing moves
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 6);
    EXPECT_EQ(after, 1);
    q->SetRecNo(3);
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 9);
    EXPECT_EQ(column(*q, "S"), (Strings{"r3", "r6", "edited"}));
}

TEST(Filter, FilteredWithoutHandlerShowsAllButIsNotSequenced) {
    auto q = numbers(4);
    q->SetFiltered(true);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 4);
    EXPECT_FALSE(q->IsSequenced());
    q->SetFiltered(false);
    EXPECT_TRUE(q->IsSequenced());
}

// An exception from the filter event reaches the caller with the dataset back in its
// state and its controls enabled.
TEST(Filter, ExceptionLeavesStateAndControlsAsTheyWere) {
    auto q = numbers(5);
    bool fail = false;
    q->SetOnFilterRecord([&](TDataSet* ds, bool& accept) {
        if (fail && ds->FieldByName("N")->AsInteger() == 3)
            throw EDatabaseError("filter failed");
        accept = true;
    });
    q->SetFiltered(true);
    q->Open();
    fail = true;
    EXPECT_THROW((void)q->RecordCount(), EDatabaseError);
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_FALSE(q->ControlsDisabled());
    q->First();
    EXPECT_THROW(q->MoveBy(4), EDatabaseError);
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_FALSE(q->ControlsDisabled());
    fail = false;
    q->Last();
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 5);
}

TEST(Editing, EditPostAndCancel) {
    auto q = numbers(3);
    q->Open();
    q->Next();
    q->Edit();
    q->FieldByName("S")->SetAsString("changed");
    q->Cancel();
    EXPECT_EQ(q->FieldByName("S")->AsString(), "r2");
    EXPECT_EQ(q->FieldByName("S")->OldValue().AsString(), "r2");
    q->Edit();
    EXPECT_EQ(q->recordId(q->ActiveBuffer()), 2);
    q->FieldByName("S")->SetAsString("posted");
    q->Post();
    EXPECT_EQ(column(*q, "S"), (Strings{"r1", "posted", "r3"}));
}

TEST(Editing, InsertAppendAndDeletePositions) {
    auto q = numbers(4);
    q->Open();
    q->SetRecNo(3);
    q->Insert();
    q->FieldByName("N")->SetAsInteger(99);
    q->Post();
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "99", "3", "4"}));
    q->Append();
    q->FieldByName("N")->SetAsInteger(100);
    q->Post();
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "99", "3", "4", "100"}));
    q->SetRecNo(3);
    q->Delete();
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 3);
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "3", "4", "100"}));
    q->Last();
    q->Delete();
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 4);
    EXPECT_EQ(q->RecordCount(), 4);

    auto empty = numbers(0);
    empty->Open();
    empty->Insert();
    empty->FieldByName("N")->SetAsInteger(1);
    empty->Post();
    empty->Insert();
    empty->FieldByName("N")->SetAsInteger(0);
    empty->Post();
    EXPECT_EQ(column(*empty, "N"), (Strings{"0", "1"}));
}

TEST(Editing, InsertRecordAndAppendRecordStoreWholeRecords) {
    auto q = numbers(2);
    q->Open();
    q->AppendRecord({Variant(7), Variant("seven")});
    q->First();
    q->InsertRecord({Variant(0), Variant("zero")});
    EXPECT_EQ(column(*q, "S"), (Strings{"zero", "r1", "r2", "seven"}));
}

// A calculated field must not turn an insert into a cancel: the temporary states in
// which it is computed leave the record's modified flag alone.
TEST(Editing, CalculatedFieldsDoNotCancelPendingInserts) {
    TestQuery q(nullptr, {{"ID", ftInteger}, {"NAME", ftString, 10}});
    auto* id = addField<TIntegerField>(q, "ID");
    addField<TStringField>(q, "NAME", 10);
    auto* twice = addCalculatedField<TIntegerField>(q, "TWICE");
    q.SetOnCalcFields([&](TDataSet*) {
        if (!id->IsNull())
            twice->SetAsInteger(id->AsInteger() * 2);
    });
    q.AddRow({1, "one"});
    q.Open();
    EXPECT_EQ(twice->AsInteger(), 2);
    q.Insert();
    id->SetAsInteger(5);
    EXPECT_TRUE(q.Modified());
    EXPECT_EQ(twice->AsInteger(), 10);
    (void)id->OldValue();
    EXPECT_TRUE(q.Modified());
    q.Next();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(column(q, "TWICE"), (Strings{"10", "2"}));
}

TEST(Editing, RecordsReadDuringAnEditKeepTheirIdentity) {
    auto q = numbers(3);
    q->Open();
    q->Last();
    q->Edit();
    char* buffer = q->AllocRecordBuffer();
    q->SetCurRec(0);
    EXPECT_EQ(q->GetRecord(buffer, gmCurrent, true), grOK);
    EXPECT_EQ(q->recordId(buffer), 1);
    q->FreeRecordBuffer(buffer);
    q->Cancel();
}

TEST(Editing, CloseReleasesRecordsAndReopenReadsAgain) {
    auto q = numbers(3);
    q->Open();
    q->Edit();
    q->FieldByName("N")->SetAsInteger(42);
    q->Close(); // drops the pending edit
    EXPECT_EQ(q->StoredRecordCount(), 0);
    q->Open();
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "3"}));
    EXPECT_EQ(q->execCount, 2);
}

// A query with a calculated TWICE = 2 * N over N = 10, 20, 30, 40.
std::unique_ptr<TestQuery> withTwice(std::function<void(TestQuery&)> extra = nullptr) {
    auto q = std::make_unique<TestQuery>(
        nullptr, std::vector<Column>{{"N", ftInteger}, {"S", ftString, 20}});
    auto* n = addField<TIntegerField>(*q, "N");
    addField<TStringField>(*q, "S", 20);
    auto* twice = addCalculatedField<TIntegerField>(*q, "TWICE");
    TestQuery* raw = q.get();
    q->SetOnCalcFields([n, twice, raw, extra](TDataSet*) {
        twice->SetAsInteger(2 * n->AsInteger());
        if (extra)
            extra(*raw);
    });
    for (int i = 1; i <= 4; ++i)
        q->AddRow({10 * i, "r" + std::to_string(i)});
    return q;
}

// The filter sees the calculated fields of the record it tests, through the handler and
// through the expression, with no sort involved.
TEST(Filter, SeesTheCalculatedFieldsOfTheRecordUnderTest) {
    auto q = withTwice();
    q->SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("TWICE")->AsInteger() > 60; });
    q->SetFiltered(true);
    q->Open();
    EXPECT_EQ(column(*q, "N"), Strings{"40"});
    EXPECT_EQ(q->RecordCount(), 1);
    q->SetOnFilterRecord(nullptr);
    q->SetFilter("TWICE > 50 and TWICE < 80");
    EXPECT_EQ(column(*q, "N"), Strings{"30"});
    EXPECT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->FieldByName("TWICE")->AsInteger(), 60);
}

// Filter and FilterOptions changed on an open, filtered query show the records they
// select at once, from the first; the expression alone makes the query filtered.
TEST(Filter, ExpressionAndOptionsTakeEffectOnAnOpenQuery) {
    auto q = numbers(5);
    q->SetFilter("S = 'R*'");
    q->SetFiltered(true);
    q->Open();
    EXPECT_TRUE(q->IsEmpty());
    q->SetFilterOptions(TFilterOptions{foCaseInsensitive});
    EXPECT_EQ(q->RecordCount(), 5);
    q->Last();
    q->SetFilter("N >= 4");
    EXPECT_EQ(q->FieldByName("N")->AsInteger(), 4); // back at the first it shows
    EXPECT_EQ(column(*q, "N"), (Strings{"4", "5"}));
    q->Edit();
    q->FieldByName("N")->SetAsInteger(1);
    q->SetFilter("N < 3"); // the pending edit is posted first
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2", "1"}));
    // Reopened, the query has new default fields: the expression finds them anew.
    q->Close();
    q->Open();
    EXPECT_EQ(column(*q, "N"), (Strings{"1", "2"}));
}

// Exact decimals compare digit by digit: values a double cannot tell apart stay apart.
TEST(Filter, ExactDecimalsCompareDigitByDigit) {
    TestQuery q(nullptr, {{"D", ftBCD, 2}});
    for (const char* v : {"12345678901234567890.01", "12345678901234567890.02", "-0.5", "0", "7"})
        q.AddRow({v});
    q.Open();
    const struct {
        const char* expression;
        Strings values;
    } cases[] = {
        {"D > '12345678901234567890.01'", {"12345678901234567890.02"}},
        {"D = 12345678901234567890.010", {"12345678901234567890.01"}},
        {"D < 0", {"-0.5"}},
        {"D >= 0 and D < 7.5", {"0", "7"}},
    };
    q.SetFiltered(true);
    for (const auto& c : cases) {
        q.SetFilter(c.expression);
        EXPECT_EQ(column(q, "D"), c.values) << c.expression;
    }
}

// OnCalcFields may set calculated fields only: a data field written there raises and
// the stored record keeps its value.
TEST(Editing, OnCalcFieldsCannotChangeADataField) {
    bool writeData = false;
    auto q = withTwice([&](TestQuery& ds) {
        if (writeData)
            ds.FieldByName("S")->SetAsString("changed");
    });
    q->Open();
    writeData = true;
    try {
        q->Next();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(std::string(e.Message()).find("Dataset not in edit or insert mode"),
                  std::string::npos);
    }
    writeData = false;
    EXPECT_EQ(column(*q, "S"), (Strings{"r1", "r2", "r3", "r4"}));
    EXPECT_EQ(column(*q, "TWICE"), (Strings{"20", "40", "60", "80"}));
}

} // namespace
} // namespace dstest

namespace dstest {
namespace {

// Closing the dataset from any of its event handlers never crashes: the operation stops
// (quietly, with EAbort, unless it had nothing left to do), the dataset ends closed, and
// it opens and edits again afterwards.
TEST(Events, CloseFromAnyHandlerEndsClosed) {
    using Run = void (*)(TDataSet&);
    struct Case {
        const char* event;
        Run run;
    };
    const Case cases[] = {
        {"BeforePost",
         [](TDataSet& ds) {
             ds.Edit();
             ds.FieldByName("N")->SetAsInteger(7);
             ds.Post();
         }},
        {"BeforeEdit", [](TDataSet& ds) { ds.Edit(); }},
        {"BeforeInsert", [](TDataSet& ds) { ds.Insert(); }},
        {"OnNewRecord", [](TDataSet& ds) { ds.Append(); }},
        {"BeforeCancel",
         [](TDataSet& ds) {
             ds.Edit();
             ds.Cancel();
         }},
        {"BeforeDelete", [](TDataSet& ds) { ds.Delete(); }},
        {"BeforeScroll", [](TDataSet& ds) { ds.Next(); }},
        {"AfterScroll", [](TDataSet& ds) { ds.Last(); }},
        {"AfterPost",
         [](TDataSet& ds) {
             ds.Edit();
             ds.FieldByName("N")->SetAsInteger(7);
             ds.Post();
         }},
        {"BeforeRefresh", [](TDataSet& ds) { ds.Refresh(); }},
        {"OnCalcFields", [](TDataSet& ds) { ds.Next(); }},
        {"OnCalcFields",
         [](TDataSet& ds) {
             ds.Edit();
             ds.FieldByName("N")->SetAsInteger(7);
         }},
        {"OnFilterRecord", [](TDataSet& ds) { ds.Last(); }},
        {"OnFilterRecord", [](TDataSet& ds) { (void)ds.RecordCount(); }},
        {"OnFilterRecord", [](TDataSet& ds) { ds.Locate("N", 3, {}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.event));
        TestQuery q(nullptr, {{"N", ftInteger}});
        auto* n = addField<TIntegerField>(q, "N");
        auto* twice = addCalculatedField<TIntegerField>(q, "TWICE");
        for (int i : {1, 2, 3})
            q.AddRow({i});
        bool armed = false;
        auto closer = [&](TDataSet* ds) {
            if (!armed)
                return;
            armed = false;
            ds->Close();
        };
        const std::string event = c.event;
        if (event == "BeforePost")
            q.SetBeforePost(closer);
        if (event == "BeforeEdit")
            q.SetBeforeEdit(closer);
        if (event == "BeforeInsert")
            q.SetBeforeInsert(closer);
        if (event == "OnNewRecord")
            q.SetOnNewRecord(closer);
        if (event == "BeforeCancel")
            q.SetBeforeCancel(closer);
        if (event == "BeforeDelete")
            q.SetBeforeDelete(closer);
        if (event == "BeforeScroll")
            q.SetBeforeScroll(closer);
        if (event == "AfterScroll")
            q.SetAfterScroll(closer);
        if (event == "AfterPost")
            q.SetAfterPost(closer);
        if (event == "BeforeRefresh")
            q.SetBeforeRefresh(closer);
        q.SetOnCalcFields([&](TDataSet* ds) {
            twice->SetAsInteger(n->AsInteger() * 2);
            if (event == "OnCalcFields")
                closer(ds);
        });
        q.SetOnFilterRecord([&](TDataSet* ds, bool&) {
            if (event == "OnFilterRecord")
                closer(ds);
        });
        q.SetFiltered(event == "OnFilterRecord");
        q.Open();
        armed = true;
        try {
            c.run(q);
        } catch (const EAbort&) {
        }
        EXPECT_FALSE(armed);
        EXPECT_FALSE(q.Active());
        EXPECT_EQ(q.State(), dsInactive);
        q.Open();
        EXPECT_EQ(q.RecordCount(), 3);
        q.Append();
        n->SetAsInteger(4);
        q.Post();
        EXPECT_EQ(column(q, "TWICE"), (Strings{"2", "4", "6", "8"}));
    }
}

} // namespace
} // namespace dstest

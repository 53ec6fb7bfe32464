// Temporary states (calculating fields, reading old values, field-change events) keep the
// pending record's modified flag and give the state and controls back on an exception.
#include <gtest/gtest.h>

#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

std::unique_ptr<ArrayDataSet> withCalculatedField(TIntegerField*& id, TIntegerField*& calc) {
    auto ds = makeNumbers(2);
    id = new TIntegerField(ds.get());
    id->SetFieldName("ID");
    id->SetDataSet(ds.get());
    auto* name = new TStringField(ds.get());
    name->SetFieldName("NAME");
    name->SetSize(10);
    name->SetDataSet(ds.get());
    calc = new TIntegerField(ds.get());
    calc->SetFieldName("CALC");
    calc->SetFieldKind(fkCalculated);
    calc->SetDataSet(ds.get());
    TIntegerField* idField = id;
    TIntegerField* calcField = calc;
    ds->SetOnCalcFields([idField, calcField](TDataSet*) {
        if (!idField->IsNull())
            calcField->SetAsInteger(idField->AsInteger() * 10);
    });
    return ds;
}

TEST(TempState, InsertWithCalculatedFieldIsPostedByTheNextMove) {
    TIntegerField* id = nullptr;
    TIntegerField* calc = nullptr;
    auto ds = withCalculatedField(id, calc);
    ds->Open();
    ds->Insert();
    id->SetAsInteger(7); // the field change recomputes CALC in dsCalcFields
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(calc->AsInteger(), 70);
    ds->Next();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->StoredCount(), 3);
    EXPECT_EQ(ds->StoredInt(0, 0), "7");
}

TEST(TempState, ReadingOldValuesKeepsTheEditModified) {
    TIntegerField* id = nullptr;
    TIntegerField* calc = nullptr;
    auto ds = withCalculatedField(id, calc);
    ds->Open();
    ds->Edit();
    id->SetAsInteger(5);
    EXPECT_EQ(id->OldValue().AsInteger(), 1);
    EXPECT_TRUE(ds->Modified());
    ds->CheckBrowseMode(); // posts, not cancels
    EXPECT_EQ(ds->StoredInt(0, 0), "5");

    // The explicit switch keeps the flag as well.
    ds->Edit();
    id->SetAsInteger(6);
    TDataSetState saved = ds->SetTempState(dsCalcFields);
    ds->RestoreState(saved);
    EXPECT_TRUE(ds->Modified());
    ds->Cancel();
    EXPECT_FALSE(ds->Modified());
}

TEST(TempState, ExceptionWhileCalculatingRestoresStateAndControls) {
    TIntegerField* id = nullptr;
    TIntegerField* calc = nullptr;
    auto ds = withCalculatedField(id, calc);
    bool fail = false;
    TIntegerField* idField = id;
    TIntegerField* calcField = calc;
    ds->SetOnCalcFields([&](TDataSet*) {
        if (fail)
            DatabaseError("cannot calculate");
        calcField->SetAsInteger(idField->AsInteger());
    });
    ds->Open();
    fail = true;
    EXPECT_THROW(ds->Next(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_FALSE(ds->ControlsDisabled());
    fail = false;
    ds->Next();
    EXPECT_EQ(id->AsInteger(), 2);
}

} // namespace

// Fields: record formats and conversions, errors, validation and change events,
// calculated and lookup fields, blob fields, filters with RecordCount.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

std::unique_ptr<ArrayDataSet> makeTyped() {
    auto ds = std::make_unique<ArrayDataSet>(nullptr, std::vector<Column>{{"S", ftString, 5},
                                                                          {"SI", ftSmallint, 0},
                                                                          {"I", ftInteger, 0},
                                                                          {"W", ftWord, 0},
                                                                          {"B", ftBoolean, 0},
                                                                          {"F", ftFloat, 0},
                                                                          {"C", ftCurrency, 0},
                                                                          {"BCD", ftBCD, 2},
                                                                          {"D", ftDate, 0},
                                                                          {"T", ftTime, 0},
                                                                          {"DT", ftDateTime, 0},
                                                                          {"BY", ftBytes, 3},
                                                                          {"L", ftLargeint, 0},
                                                                          {"M", ftMemo, 0}});
    ds->SetName("Typed");
    ds->AddRow({});
    return ds;
}

} // namespace

TEST(FieldConversions, EachTypeRoundTripsThroughItsRecordFormat) {
    auto ds = makeTyped();
    ds->Open();
    ds->Edit();
    auto f = [&](const char* n) { return ds->FieldByName(n); };
    f("S")->SetAsString("abcdefgh");
    EXPECT_EQ(f("S")->AsString(), "abcde"); // cut to Size
    f("S")->SetAsInteger(123);
    EXPECT_EQ(f("S")->AsInteger(), 123);
    f("SI")->SetAsString("-300");
    EXPECT_EQ(f("SI")->AsInteger(), -300);
    f("I")->SetValue(Variant(2000000000));
    EXPECT_EQ(f("I")->AsFloat(), 2000000000.0);
    EXPECT_EQ(f("I")->AsString(), "2000000000");
    f("W")->SetAsInteger(65535);
    EXPECT_EQ(f("W")->AsInteger(), 65535);
    f("B")->SetAsString("true");
    EXPECT_TRUE(f("B")->AsBoolean());
    EXPECT_EQ(f("B")->AsString(), "True");
    f("F")->SetAsFloat(2.5);
    EXPECT_EQ(f("F")->AsInteger(), 2); // rounds half to even
    EXPECT_EQ(f("F")->AsString(), "2.5");
    f("C")->SetAsCurrency(12.34);
    EXPECT_EQ(f("C")->Value().VarType(), varCurrency);
    f("BCD")->SetAsString("-123.45");
    EXPECT_EQ(f("BCD")->AsString(), "-123.45");
    EXPECT_DOUBLE_EQ(f("BCD")->AsFloat(), -123.45);
    f("BCD")->SetAsFloat(0.125);
    EXPECT_EQ(f("BCD")->AsString(), "0.12"); // two decimals
    TDateTime day = EncodeDate(2000, 1, 1);
    f("D")->SetAsDateTime(day + 0.5);
    EXPECT_EQ(f("D")->AsDateTime(), day);
    f("T")->SetAsDateTime(day + 0.25);
    EXPECT_DOUBLE_EQ(f("T")->AsDateTime(), 0.25);
    f("DT")->SetAsDateTime(day + 0.5);
    EXPECT_DOUBLE_EQ(f("DT")->AsDateTime(), day + 0.5);
    f("BY")->SetAsString(std::string("\x01\x02", 2));
    EXPECT_EQ(f("BY")->AsString(), std::string("\x01\x02\x00", 3));
    f("L")->SetAsLargeInt(INT64_C(9000000000));
    EXPECT_EQ(f("L")->AsLargeInt(), INT64_C(9000000000));
    EXPECT_THROW((void)f("L")->AsInteger(), EDatabaseError);
    ds->Post();
    // The record formats the dataset stores are the fixed ones.
    ds->Edit();
    double ms = 0;
    ASSERT_TRUE(f("DT")->GetData(&ms));
    EXPECT_EQ(ms, TimeStampToMSecs(DateTimeToTimeStamp(day + 0.5)));
    int32_t dateSlot[2] = {0, 0};
    ASSERT_TRUE(f("D")->GetData(dateSlot));
    EXPECT_EQ(dateSlot[0], DateTimeToTimeStamp(day).Date);
    TBcd bcd;
    ASSERT_TRUE(static_cast<TBCDField*>(f("BCD"))->GetAsBCD(bcd));
    EXPECT_EQ(bcd.Precision, 2); // 0.12: two digits, both after the point
    EXPECT_EQ(bcd.SignSpecialPlaces, 0x02);
    EXPECT_EQ(bcd.Fraction[0], 0x12);
    TBcd negative = StrToBCD("-123.45");
    EXPECT_EQ(negative.Precision, 5);
    EXPECT_EQ(negative.SignSpecialPlaces, 0x82);
    EXPECT_EQ(negative.Fraction[0], 0x12);
    EXPECT_EQ(negative.Fraction[2], 0x50);
    EXPECT_EQ(BCDToStr(negative), "-123.45");
    uint16_t boolSlot = 0;
    ASSERT_TRUE(f("B")->GetData(&boolSlot));
    EXPECT_EQ(boolSlot, 1);
    ds->Cancel();
}

TEST(FieldConversions, NullsAndClear) {
    auto ds = makeTyped();
    ds->Open();
    auto* i = ds->FieldByName("I");
    EXPECT_TRUE(i->IsNull());
    EXPECT_TRUE(i->Value().IsNull());
    EXPECT_EQ(i->AsInteger(), 0);
    EXPECT_EQ(i->AsString(), "");
    ds->Edit();
    i->SetAsInteger(5);
    EXPECT_FALSE(i->IsNull());
    i->Clear();
    EXPECT_TRUE(i->IsNull());
    i->SetValue(Variant(7));
    i->SetValue(Null());
    EXPECT_TRUE(i->IsNull());
    i->SetAsString(""); // empty text clears numbers
    EXPECT_TRUE(i->IsNull());
    ds->Cancel();
}

TEST(FieldConversions, ErrorsLeaveTheValueUnchanged) {
    auto ds = makeTyped();
    ds->Open();
    ds->Edit();
    auto* si = ds->FieldByName("SI");
    si->SetAsInteger(1);
    try {
        si->SetAsInteger(40000);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(
            e.Message(),
            "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
    }
    EXPECT_THROW(si->SetAsString("12x"), EConvertError);
    EXPECT_THROW(ds->FieldByName("F")->SetAsString("abc"), EConvertError);
    EXPECT_THROW(ds->FieldByName("B")->SetAsString("maybe"), EConvertError);
    EXPECT_THROW(ds->FieldByName("DT")->SetAsString("not a date"), EConvertError);
    EXPECT_THROW(si->SetValue(Variant("abc")), EVariantError);
    EXPECT_EQ(si->AsInteger(), 1);
    try {
        (void)ds->FieldByName("B")->AsDateTime();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot access field 'B' as type DateTime");
    }
    auto* range = static_cast<TIntegerField*>(ds->FieldByName("I"));
    range->SetMinValue(1);
    range->SetMaxValue(10);
    EXPECT_THROW(range->SetAsInteger(11), EDatabaseError);
    range->SetAsInteger(10);
    EXPECT_EQ(range->AsInteger(), 10);
    ds->Cancel();
    try {
        (void)ds->FieldByName("nope");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Typed: Field 'nope' not found");
    }
    EXPECT_EQ(ds->FindField("nope"), nullptr);
}

TEST(FieldEvents, ValidateSeesTheNewValueAndMayRefuseIt) {
    auto ds = makeNumbers(2);
    ds->Open();
    auto* id = ds->FieldByName("ID");
    std::vector<int> changes;
    id->SetOnValidate([&](TField* f) {
        if (f->AsInteger() < 0)
            DatabaseError("negative");
    });
    id->SetOnChange([&](TField* f) { changes.push_back(f->AsInteger()); });
    ds->Edit();
    id->SetAsInteger(5);
    EXPECT_THROW(id->SetAsInteger(-1), EDatabaseError);
    EXPECT_EQ(id->AsInteger(), 5);
    EXPECT_EQ(changes, (std::vector<int>{5}));
    ds->Cancel();
}

TEST(FieldEvents, DisplayNameReadOnlyAndTransliterate) {
    auto ds = makeNumbers(1);
    ds->Open();
    auto* name = ds->FieldByName("NAME");
    EXPECT_EQ(name->GetDisplayName(), "NAME");
    name->SetDisplayLabel("Name of it");
    EXPECT_EQ(name->DisplayLabel(), "Name of it");
    name->SetReadOnly(true);
    ds->Edit();
    EXPECT_THROW(name->SetAsString("x"), EDatabaseError);
    name->SetReadOnly(false);
    ds->m_upperOnStore = true;
    name->SetAsString("abc");
    EXPECT_EQ(name->AsString(), "ABC");
    name->SetTransliterate(false);
    name->SetAsString("abc");
    EXPECT_EQ(name->AsString(), "abc");
    ds->Cancel();
}

TEST(CalculatedFields, ComputedForEveryRecordAndAfterChanges) {
    auto ds = makeNumbers(5);
    auto* id = new TIntegerField(ds.get());
    id->SetFieldName("ID");
    id->SetDataSet(ds.get());
    auto* amount = new TFloatField(ds.get());
    amount->SetFieldName("AMOUNT");
    amount->SetDataSet(ds.get());
    auto* twice = new TIntegerField(ds.get());
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(ds.get());
    auto* label = new TStringField(ds.get());
    label->SetFieldName("LABEL");
    label->SetSize(12);
    label->SetFieldKind(fkCalculated);
    label->SetDataSet(ds.get());
    int calcs = 0;
    ds->SetOnCalcFields([&](TDataSet* d) {
        ++calcs;
        EXPECT_EQ(d->State(), dsCalcFields);
        twice->SetAsInteger(id->AsInteger() * 2);
        if (id->AsInteger() % 2 == 0)
            label->SetAsString("even");
    });
    ds->Open();
    EXPECT_EQ(twice->FieldNo(), -1);
    EXPECT_EQ(twice->Offset(), 0);
    EXPECT_EQ(label->Offset(), 5);
    EXPECT_EQ(ds->CalcFieldsSize(), 5 + 14); // each value area plus its flag byte
    EXPECT_GT(calcs, 0);
    std::vector<int> values;
    std::vector<std::string> labels;
    for (ds->First(); !ds->Eof(); ds->Next()) {
        values.push_back(twice->AsInteger());
        labels.push_back(label->AsString());
    }
    EXPECT_EQ(values, (std::vector<int>{2, 4, 6, 8, 10}));
    EXPECT_EQ(labels, (std::vector<std::string>{"", "even", "", "even", ""})); // cleared per record
    ds->First();
    ds->Edit();
    id->SetAsInteger(21);
    EXPECT_EQ(twice->AsInteger(), 42); // recomputed on the field change
    ds->Cancel();
    EXPECT_EQ(twice->AsInteger(), 2);
    EXPECT_THROW(twice->SetAsInteger(1), EDatabaseError); // browse mode
}

TEST(LookupFields, ValueComesFromTheLookupDataset) {
    auto names = std::make_unique<ArrayDataSet>(
        nullptr, std::vector<Column>{{"CODE", ftInteger, 0}, {"TEXT", ftString, 10}});
    names->AddRow({1, "one"});
    names->AddRow({3, "three"});
    names->Open();
    auto ds = makeNumbers(3);
    auto* id = new TIntegerField(ds.get());
    id->SetFieldName("ID");
    id->SetDataSet(ds.get());
    auto* look = new TStringField(ds.get());
    look->SetFieldName("WORD");
    look->SetSize(10);
    look->SetFieldKind(fkLookup);
    look->SetDataSet(ds.get());
    EXPECT_THROW(ds->Open(), EDatabaseError); // incomplete lookup definition
    look->SetLookupDataSet(names.get());
    look->SetKeyFields("ID");
    look->SetLookupKeyFields("CODE");
    look->SetLookupResultField("TEXT");
    ds->Open();
    std::vector<std::string> words;
    for (; !ds->Eof(); ds->Next())
        words.push_back(look->IsNull() ? "null" : look->AsString());
    EXPECT_EQ(words, (std::vector<std::string>{"one", "null", "three"}));
    EXPECT_EQ(names->RecNo(), 1); // the lookup dataset stays where it was
    ds->Close();
    names.reset(); // the field forgets a destroyed lookup dataset
    EXPECT_EQ(look->LookupDataSet(), nullptr);
}

TEST(BlobFields, ReadWriteThroughStreamsAndNullWhenEmpty) {
    auto ds = makeTyped();
    ds->Open();
    auto* memo = static_cast<TBlobField*>(ds->FieldByName("M"));
    EXPECT_TRUE(memo->IsBlob());
    EXPECT_TRUE(memo->IsNull());
    EXPECT_EQ(memo->AsString(), "");
    EXPECT_THROW(memo->SetAsString("x"), EDatabaseError);
    ds->Edit();
    memo->SetAsString("long text value");
    EXPECT_TRUE(memo->Modified());
    EXPECT_EQ(memo->BlobSize(), 15);
    ds->Post();
    EXPECT_FALSE(memo->Modified()); // the record was stored: nothing pending any more
    EXPECT_EQ(memo->AsString(), "long text value");
    EXPECT_EQ(memo->Value().AsString(), "long text value");
    ds->Edit();
    memo->Clear();
    EXPECT_TRUE(memo->IsNull());
    ds->Post();
    EXPECT_TRUE(memo->IsNull());
    EXPECT_THROW((void)ds->CreateBlobStream(ds->FieldByName("I"), bmRead), EInvalidCast);
}

TEST(Filters, FilterRecordHidesRecordsAndCountsFollow) {
    auto ds = makeNumbers(10);
    ds->Open();
    ds->SetOnFilterRecord([](TDataSet* d, bool& accept) {
        EXPECT_EQ(d->State(), dsFilter);
        accept = d->FieldByName("ID")->AsInteger() % 3 == 0;
    });
    EXPECT_EQ(ds->RecordCount(), 10); // not filtered yet
    ds->SetFiltered(true);
    EXPECT_EQ(ds->RecordCount(), 3);
    std::vector<int> ids;
    for (; !ds->Eof(); ds->Next())
        ids.push_back(ds->FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(ds->RecNo(), 9); // numbers count every stored record
    ds->Last();
    ds->Prior();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 6);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 6); // counting does not move
    ds->SetFiltered(false);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(ds->RecordCount(), 10);
    ds->SetOnFilterRecord([](TDataSet*, bool& accept) { accept = false; });
    ds->SetFiltered(true);
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->RecordCount(), 0);
}

TEST(FieldConversions, IntegerFieldsTakeTheirTypesWholeRangeAndNoMore) {
    struct Case {
        const char* field;
        int64_t lo, hi;
        bool boundedBelowInt64;
    };
    const Case cases[] = {{"SI", INT16_MIN, INT16_MAX, true},
                          {"W", 0, UINT16_MAX, true},
                          {"I", INT32_MIN, INT32_MAX, true},
                          {"L", INT64_MIN, INT64_MAX, false}};
    auto ds = makeTyped();
    ds->Open();
    ds->Edit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        TField* f = ds->FieldByName(c.field);
        for (int64_t v : {c.lo, c.hi}) {
            f->SetAsLargeInt(v);
            EXPECT_EQ(f->AsLargeInt(), v);
        }
        if (c.boundedBelowInt64) {
            EXPECT_THROW(f->SetAsLargeInt(c.lo - 1), EDatabaseError);
            EXPECT_THROW(f->SetAsLargeInt(c.hi + 1), EDatabaseError);
            EXPECT_EQ(f->AsLargeInt(), c.hi); // a refused value leaves the stored one
        }
    }
}

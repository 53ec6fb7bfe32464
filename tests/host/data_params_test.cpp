// Parameters: typed writers and readers, Bound, sizes, assignment from fields and lists,
// comparison, lookup by name, and the collection streaming of a parameter list.
#include <gtest/gtest.h>

#include "tovrin5/host/Filer.h"
#include "tovrin5/host/Params.h"
#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

TEST(Params, WritersSetTypeValueAndBound) {
    TParams params;
    TParam* p = params.CreateParam(ftUnknown, "low", ptInput);
    EXPECT_FALSE(p->Bound());
    EXPECT_TRUE(p->IsNull());
    EXPECT_EQ(p->AsInteger(), 0);
    EXPECT_EQ(p->AsString(), "");
    p->SetAsFloat(10.5);
    EXPECT_EQ(p->DataType(), ftFloat);
    EXPECT_TRUE(p->Bound());
    EXPECT_EQ(p->AsString(), "10.5");
    p->SetAsInteger(7);
    EXPECT_EQ(p->DataType(), ftInteger);
    EXPECT_EQ(p->GetDataSize(), 4);
    p->SetAsString("abc");
    EXPECT_EQ(p->DataType(), ftString);
    EXPECT_EQ(p->GetDataSize(), 4);
    EXPECT_THROW((void)p->AsInteger(), EVariantError);
    p->SetAsBoolean(true);
    EXPECT_EQ(p->AsInteger(), -1); // a true Boolean reads as -1
    p->SetAsDateTime(EncodeDate(2001, 2, 3));
    EXPECT_EQ(p->DataType(), ftDateTime);
    EXPECT_EQ(p->AsDateTime(), EncodeDate(2001, 2, 3));
    p->Clear();
    EXPECT_TRUE(p->IsNull());
    EXPECT_EQ(p->DataType(), ftDateTime);
    TParam* q = params.CreateParam(ftUnknown, "q", ptUnknown);
    EXPECT_THROW((void)q->GetDataSize(), EDatabaseError);
    q->SetValue(Variant(int64_t{5}));
    EXPECT_EQ(q->DataType(), ftLargeint); // an untyped parameter takes the value's type
    q->SetDataType(ftString);
    EXPECT_EQ(q->Value().VarType(), varString);
}

TEST(Params, LookupByNameAndAssignValues) {
    TParams a;
    a.CreateParam(ftInteger, "x", ptInput);
    a.CreateParam(ftInteger, "X", ptInput); // same name, case-insensitively
    a.CreateParam(ftString, "name", ptInput);
    EXPECT_EQ(a.ParamByName("x"), a.Items(0));
    EXPECT_EQ(a.FindParam("NAME"), a.Items(2));
    EXPECT_EQ(a.FindParam("none"), nullptr);
    try {
        (void)a.ParamByName("none");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Parameter 'none' not found");
    }
    EXPECT_THROW((void)a.Items(3), EListError);
    TParams b;
    b.CreateParam(ftInteger, "x", ptInput)->SetAsInteger(5);
    b.CreateParam(ftString, "other", ptInput)->SetAsString("ignored");
    a.AssignValues(&b);
    EXPECT_EQ(a.Items(0)->AsInteger(), 5);
    EXPECT_TRUE(a.Items(1)->IsNull()); // only the first of a name
    EXPECT_EQ(a.Count(), 3);
    a.SetParamValues("x;name", VarArrayOf({1, "n"}));
    EXPECT_EQ(a.ParamValues("name").AsString(), "n");
}

TEST(Params, AssignFieldTakesTypeValueAndName) {
    auto ds = makeNumbers(1);
    ds->Open();
    TParams params;
    TParam* p = params.CreateParam(ftUnknown, "id", ptInput);
    p->AssignField(ds->FieldByName("ID"));
    EXPECT_EQ(p->DataType(), ftInteger);
    EXPECT_EQ(p->AsInteger(), 1);
    EXPECT_EQ(p->Name(), "ID");
    EXPECT_TRUE(p->Bound());
    ds->Edit();
    ds->FieldByName("NAME")->Clear();
    p->AssignField(ds->FieldByName("NAME"));
    EXPECT_EQ(p->DataType(), ftString);
    EXPECT_TRUE(p->IsNull());
    ds->Cancel();
}

TEST(Params, EqualityOfParamsAndLists) {
    TParams a, b;
    a.CreateParam(ftFloat, "low", ptInput)->SetAsFloat(1.5);
    b.CreateParam(ftFloat, "low", ptInput)->SetAsFloat(1.5);
    EXPECT_TRUE(a.IsEqual(&b));
    b.Items(0)->SetAsFloat(2.5);
    EXPECT_FALSE(a.IsEqual(&b));
    b.Items(0)->SetAsFloat(1.5);
    b.CreateParam(ftFloat, "high", ptInput);
    EXPECT_FALSE(a.IsEqual(&b));
    TParams c;
    c.Assign(&b);
    EXPECT_TRUE(c.IsEqual(&b));
    EXPECT_EQ(c.Items(1)->Name(), "high");
}

TEST(Params, CollectionStreamingRestoresNamesTypesAndValues) {
    TParams params;
    params.CreateParam(ftFloat, "low", ptInput)->SetAsFloat(10.5);
    params.CreateParam(ftString, "name", ptInput)->SetAsString("O'Brien");
    params.CreateParam(ftInteger, "empty", ptOutput);
    TWriter writer;
    writer.WriteCollection(&params);
    std::string text = writer.Text();
    EXPECT_NE(text.find("low"), std::string::npos);

    TParams loaded;
    loaded.CreateParam(ftUnknown, "stale", ptUnknown);
    TReader reader(text);
    EXPECT_EQ(reader.ReadValue(), vaCollection);
    reader.ReadCollection(&loaded);
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.Items(0)->Name(), "low");
    EXPECT_EQ(loaded.Items(0)->DataType(), ftFloat);
    EXPECT_EQ(loaded.Items(0)->AsFloat(), 10.5);
    EXPECT_EQ(loaded.Items(1)->AsString(), "O'Brien");
    EXPECT_EQ(loaded.Items(2)->ParamType(), ptOutput);
    EXPECT_EQ(loaded.Items(2)->DataType(), ftInteger);
    EXPECT_TRUE(loaded.Items(2)->IsNull());
    EXPECT_FALSE(loaded.Items(2)->Bound());

    TReader broken("< item Name = 'x' DataType = ftNoSuchType end >");
    TParams target;
    broken.ReadValue();
    EXPECT_THROW(broken.ReadCollection(&target), EReadError);
}

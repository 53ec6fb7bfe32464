// Filling record buffers from values: the shapes of the values, every message, and the
// byte format of each type matching the records the dataset stores.
#include <gtest/gtest.h>

#include <cstring>

#include "dataset_support.h"

namespace dstest {
namespace {

class Populate : public ::testing::Test {
protected:
    void SetUp() override {
        q.AddRow({1, "Smith", true, Variant::makeDate(EncodeDate(2000, 1, 1)),
                  static_cast<long long>(9007199254740993LL), "12.50",
                  Variant(std::string("\x01\xFF", 2))});
        q.Open();
        key = q.AllocRecordBuffer();
    }
    void TearDown() override { q.FreeRecordBuffer(key); }

    std::string message(const std::string& names, const Variant& values) {
        try {
            q.PopulateRecord(key, names, values);
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return "no error";
    }
    // Whether the key equals stored record 0 on the named fields.
    int compareWithRow(const std::string& names, TBTCompareOptions options = {}) {
        std::vector<TField*> list;
        q.BuildFieldList(list, names);
        return q._InternalCompareRecords(list, key, q.StoredRecord(0), options);
    }

    TestQuery q{nullptr,
                {{"Id", ftInteger},
                 {"Name", ftString, 8},
                 {"Flag", ftBoolean},
                 {"Born", ftDateTime},
                 {"Big", ftLargeint},
                 {"Dec", ftBCD, 2},
                 {"Bin", ftBytes, 2}}};
    char* key = nullptr;
};

TEST_F(Populate, MessagesAndTheirOrder) {
    EXPECT_EQ(message("Id;Name", 1), "Only one field can by filled with non-array variant");
    EXPECT_EQ(message("", 1), "Invalid field count");
    Variant twoDims = VarArrayCreate({0, 1, 0, 1}, varVariant);
    EXPECT_EQ(message("Id", twoDims), "Array has more then one dimension");
    // An unknown name is reported before the shape of the values.
    EXPECT_NE(message("Nope;Id", 1).find("Nope"), std::string::npos);
}

TEST_F(Populate, PlainValuesAndArrays) {
    q.PopulateRecord(key, "Id", 1);
    EXPECT_EQ(compareWithRow("Id"), 0);
    q.PopulateRecord(key, "Id", VarArrayOf({Variant(1)}));
    EXPECT_EQ(compareWithRow("Id"), 0);
    q.PopulateRecord(key, "Id;Name",
                     VarArrayOf({Variant(1), Variant("Smith"), Variant("ignored")}));
    EXPECT_EQ(compareWithRow("Id;Name"), 0);
    q.PopulateRecord(key, "Id;Name", VarArrayOf({Variant(1), Variant("Smythe")}));
    EXPECT_NE(compareWithRow("Id;Name"), 0);

    Variant fromOne = VarArrayCreate({1, 2}, varVariant);
    EXPECT_THROW(q.PopulateRecord(key, "Id;Name", fromOne), EVariantError);
    Variant tooShort = VarArrayOf({Variant(1)});
    EXPECT_THROW(q.PopulateRecord(key, "Id;Name", tooShort), EVariantError);
}

TEST_F(Populate, NullEmptyAndCutTexts) {
    TField* name = q.FieldByName("Name");
    char* slot = q.GetFieldPointer(key, name);
    q.PopulateField(key, name, "x");
    q.PopulateField(key, name, Null());
    EXPECT_EQ(slot[0], 0);
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(slot[i], 0);
    q.PopulateField(key, name, Variant());
    EXPECT_EQ(slot[0], 1);
    EXPECT_STREQ(slot + 1, "");
    q.PopulateField(key, name, "Smithsonian");
    EXPECT_STREQ(slot + 1, "Smithson");
    EXPECT_EQ(compareWithRow("Name", {btcoPartialKey}), 1);
    q.PopulateField(key, name, "Smi");
    EXPECT_EQ(compareWithRow("Name", {btcoPartialKey}), 0);
    // Cut to whole characters: 8 bytes hold three two-byte letters and two more bytes.
    q.PopulateField(key, name, "ЖЖЖЖЖ");
    EXPECT_STREQ(slot + 1, "ЖЖЖЖ");
    EXPECT_THROW(q.PopulateField(key, q.FieldByName("Id"), "twelve"), EVariantError);
}

TEST_F(Populate, EveryTypeMatchesTheStoredRow) {
    q.PopulateRecord(key, "Flag", true);
    EXPECT_EQ(compareWithRow("Flag"), 0);
    uint16_t flag;
    std::memcpy(&flag, q.GetFieldPointer(key, q.FieldByName("Flag")) + 1, 2);
    EXPECT_EQ(flag, 1);
    q.PopulateRecord(key, "Born", Variant::makeDate(EncodeDate(2000, 1, 1)));
    EXPECT_EQ(compareWithRow("Born"), 0);
    q.PopulateRecord(key, "Born", Variant::makeDate(EncodeDate(2000, 1, 2)));
    EXPECT_EQ(compareWithRow("Born"), 1);
    // 2^53 + 1 is stored exactly and only equals itself.
    q.PopulateRecord(key, "Big", static_cast<long long>(9007199254740993LL));
    EXPECT_EQ(compareWithRow("Big"), 0);
    q.PopulateRecord(key, "Big", static_cast<long long>(9007199254740992LL));
    EXPECT_EQ(compareWithRow("Big"), -1);
    q.PopulateRecord(key, "Dec", 12.5);
    EXPECT_EQ(compareWithRow("Dec"), 0);
    q.PopulateRecord(key, "Dec", "12.51");
    EXPECT_EQ(compareWithRow("Dec"), 1);
    q.PopulateRecord(key, "Bin", Variant(std::string("\x01\xFF", 2)));
    EXPECT_EQ(compareWithRow("Bin"), 0);
    q.PopulateRecord(key, "Bin", VarArrayOf({Variant(std::string("\x01\xFE", 2))}));
    EXPECT_EQ(compareWithRow("Bin"), -1);
    EXPECT_EQ(q.FieldByName("Big")->AsLargeInt(), 9007199254740993LL);
    EXPECT_EQ(q.FieldByName("Dec")->AsString(), "12.5");
    EXPECT_EQ(q.FieldByName("Bin")->AsString(), std::string("\x01\xFF", 2));
}

} // namespace
} // namespace dstest

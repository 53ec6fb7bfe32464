// Variants: conversions between kinds, errors, arrays with bounds.
#include <gtest/gtest.h>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/host/Variant.h"

using namespace tovrin::host;

TEST(CoreVariant, EmptyAndNullAreDistinct) {
    Variant empty;
    Variant null = Null();
    EXPECT_TRUE(VarIsEmpty(empty));
    EXPECT_FALSE(VarIsNull(empty));
    EXPECT_TRUE(VarIsNull(null));
    EXPECT_FALSE(empty == null);
    // Empty converts to zero and empty text; Null converts to text only.
    EXPECT_EQ(empty.AsInteger(), 0);
    EXPECT_EQ(empty.AsString(), "");
    EXPECT_EQ(VarToStr(null), "");
    EXPECT_EQ(VarToStrDef(null, "-"), "-");
    EXPECT_THROW((void)null.AsInteger(), EVariantError);
    EXPECT_THROW((void)null.AsFloat(), EVariantError);
}

TEST(CoreVariant, TextToNumberParsesAndFailsWithVariantError) {
    EXPECT_EQ(Variant("42").AsInteger(), 42);
    EXPECT_EQ(Variant(" -7").AsInt64(), -7);
    EXPECT_EQ(Variant("10.5").AsFloat(), 10.5);
    EXPECT_EQ(Variant("2.5").AsInteger(), 2); // rounds half to even
    EXPECT_EQ(Variant("3.5").AsInteger(), 4);
    EXPECT_EQ(Variant("9223372036854775807").AsInt64(), 9223372036854775807LL);
    try {
        (void)Variant("abc").AsInteger();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (String) into type (Integer)");
    }
    EXPECT_THROW((void)Variant("").AsFloat(), EVariantError);
    EXPECT_THROW((void)Variant("3000000000").AsInteger(), EVariantError);
    EXPECT_THROW((void)Variant(1e300).AsInt64(), EVariantError);
    EXPECT_TRUE(Variant("true").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_THROW((void)Variant("maybe").AsBoolean(), EVariantError);
}

TEST(CoreVariant, NumberToTextFormats) {
    EXPECT_EQ(Variant(int32_t{-12}).AsString(), "-12");
    EXPECT_EQ(Variant(10.5).AsString(), "10.5");
    EXPECT_EQ(Variant(0.1 + 0.2).AsString(), "0.3");
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(VarFromCurrency(12.34567).AsString(), "12.3457");
    EXPECT_EQ(Variant(1e20).AsString(), "1E20");
    // The decimal separator of the settings applies, and text with either separator parses.
    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(Variant(10.5).AsString(), "10,5");
    EXPECT_EQ(Variant("10,5").AsFloat(), 10.5);
    EXPECT_EQ(Variant("10.5").AsFloat(), 10.5);
    FormatSettings() = saved;
}

TEST(CoreVariant, KindsAndTypedConversions) {
    EXPECT_EQ(Variant(int16_t{1}).VarType(), varSmallint);
    EXPECT_EQ(Variant(int32_t{1}).VarType(), varInteger);
    EXPECT_EQ(Variant(1LL).VarType(), varInt64);
    EXPECT_EQ(Variant(uint8_t{1}).VarType(), varByte);
    EXPECT_EQ(Variant(1.0).VarType(), varDouble);
    EXPECT_EQ(Variant("x").VarType(), varString);
    EXPECT_EQ(VarFromDateTime(1.5).VarType(), varDate);
    EXPECT_EQ(VarFromCurrency(1.5).VarType(), varCurrency);
    EXPECT_EQ(Variant(true).AsInteger(), -1); // the framework's True is all bits set
    EXPECT_EQ(VarAsType(Variant("300"), varSmallint).VarType(), varSmallint);
    EXPECT_THROW((void)VarAsType(Variant(300), varByte), EVariantError);
    EXPECT_THROW((void)VarAsType(Null(), varInteger), EVariantError);
    EXPECT_EQ(VarAsType(Variant(36526.5), varDate).AsDateTime(), 36526.5);
    EXPECT_EQ(Variant("2000-01-01").AsDateTime(), 36526.0);
}

TEST(CoreVariant, EqualityComparesValuesAcrossKinds) {
    EXPECT_TRUE(Variant(int16_t{5}) == Variant(5LL));
    EXPECT_TRUE(Variant(5) == Variant(5.0));
    EXPECT_TRUE(Variant("5") == Variant(5));
    EXPECT_FALSE(Variant("abc") == Variant(5));
    EXPECT_FALSE(Variant("a") == Variant("A"));
    EXPECT_TRUE(Null() == Null());
    EXPECT_TRUE(VarArrayOf({1, "x"}) == VarArrayOf({1, "x"}));
    EXPECT_FALSE(VarArrayOf({1, "x"}) == VarArrayOf({1, "y"}));
}

TEST(CoreVariant, ArraysOfAnyBoundsCheckIndices) {
    Variant a = VarArrayCreate({5, 7}, varInteger);
    EXPECT_EQ(VarArrayDimCount(a), 1);
    EXPECT_EQ(VarArrayLowBound(a, 1), 5);
    EXPECT_EQ(VarArrayHighBound(a, 1), 7);
    EXPECT_EQ(VarArrayGet(a, {5}).AsInteger(), 0);
    VarArrayPut(a, Variant("12"), {6});
    EXPECT_EQ(VarArrayGet(a, {6}).VarType(), varInteger); // stored in the element type
    EXPECT_EQ(VarArrayGet(a, {6}).AsInteger(), 12);
    try {
        (void)VarArrayGet(a, {0});
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Variant or safe array index out of bounds");
    }
    EXPECT_THROW((void)VarArrayGet(a, {8}), EVariantError);
    EXPECT_THROW((void)VarArrayGet(a, {5, 5}), EVariantError);
    EXPECT_THROW((void)VarArrayLowBound(a, 2), EVariantError);
    EXPECT_THROW(VarArrayPut(a, Variant("x"), {5}), EVariantError);

    // Two dimensions, negative bounds, row-major storage.
    Variant m = VarArrayCreate({-1, 0, 10, 12}, varVariant);
    EXPECT_EQ(VarArrayDimCount(m), 2);
    VarArrayPut(m, Variant("corner"), {0, 12});
    VarArrayPut(m, Variant(3), {-1, 11});
    EXPECT_EQ(VarArrayGet(m, {0, 12}).AsString(), "corner");
    EXPECT_EQ(VarArrayGet(m, {-1, 11}).AsInteger(), 3);
    EXPECT_TRUE(VarIsEmpty(VarArrayGet(m, {0, 10})));
    EXPECT_THROW((void)VarArrayGet(m, {1, 10}), EVariantError);

    EXPECT_EQ(VarArrayDimCount(Variant(1)), 0);
    EXPECT_THROW((void)VarArrayGet(Variant(1), {0}), EVariantError);
    EXPECT_THROW((void)VarArrayCreate({3, 1}, varInteger), EVariantError);
    EXPECT_THROW((void)VarArrayCreate({0, 1 << 30, 0, 1 << 30}, varInteger), EVariantError);
}

TEST(CoreVariant, ArrayCopiesAreIndependent) {
    Variant a = VarArrayOf({1, 2, 3});
    Variant b = a;
    VarArrayPut(b, Variant(99), {0});
    EXPECT_EQ(VarArrayGet(a, {0}).AsInteger(), 1);
    EXPECT_EQ(VarArrayGet(b, {0}).AsInteger(), 99);
    EXPECT_EQ(VarArrayLowBound(a, 1), 0);
    EXPECT_EQ(VarArrayHighBound(a, 1), 2);
    EXPECT_THROW((void)a.AsString(), EVariantError);
}

TEST(CoreVariant, BytesRoundTrip) {
    std::string raw("\x00\x01\xff"
                    "abc",
                    6);
    Variant v = VarFromBytes(raw);
    EXPECT_EQ(v.VarType(), varArray | varByte);
    EXPECT_EQ(v.AsBytes(), raw);
    EXPECT_EQ(VarArrayHighBound(v, 1), 5);
    EXPECT_EQ(VarFromBytes("").AsBytes(), "");
}

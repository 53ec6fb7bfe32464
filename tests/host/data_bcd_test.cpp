// Exact decimals: the packed decimal's conversions and order, and TBCDField reading and
// writing every digit.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FieldsBcd.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/Params.h"
#include "tests/host/data_ArrayDataSet.h"

namespace {

using namespace tovrin::host;

unsigned __int128 parseMagnitude(const std::string& digits) {
    unsigned __int128 v = 0;
    for (char c : digits)
        v = v * 10 + static_cast<unsigned>(c - '0');
    return v;
}

TEST(ExactDecimal, ScaledIntegersKeepEveryDigit) {
    struct Case {
        const char* magnitude;
        bool negative;
        int scale;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"12345678901234567890123456780123456789", false, 10,
         "1234567890123456789012345678.0123456789"},
        {"99999999999999999999999999999999999999", true, 0,
         "-99999999999999999999999999999999999999"},
        {"340282366920938463463374607431768211455", false, 38,
         "3.40282366920938463463374607431768211455"},
        {"9223372036854775807", false, 4, "922337203685477.5807"},
        {"9223372036854775808", true, 4, "-922337203685477.5808"},
        {"25000", false, 4, "2.5"},
        {"5", true, 3, "-0.005"},
        {"0", true, 2, "0"},
        {"10", false, 0, "10"},
    };
    for (const Case& c : cases) {
        const TBcd bcd = ScaledIntegerToBCD(parseMagnitude(c.magnitude), c.negative, c.scale);
        EXPECT_EQ(BCDToStr(bcd), c.text) << c.magnitude;
        EXPECT_EQ(BCDCompare(bcd, StrToBCD(c.text)), 0) << c.magnitude;
    }
}

TEST(ExactDecimal, CompareOrdersByValueToTheLastDigit) {
    // Ascending; neighbours differ only in their last digit or in sign, scale or zeros.
    const std::vector<std::string> ascending = {"-123456789012345678901234567894",
                                                "-123456789012345678901234567893",
                                                "-2.5",
                                                "-0.001",
                                                "0",
                                                "0.00000000000000000000000000000000000001",
                                                "1.5",
                                                "1.50001",
                                                "123456789012345678901234567891",
                                                "123456789012345678901234567892",
                                                "99999999999999999999999999999999999999"};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            const int expected = i < j ? -1 : (i > j ? 1 : 0);
            const int got = BCDCompare(StrToBCD(ascending[i]), StrToBCD(ascending[j]));
            EXPECT_EQ((got > 0) - (got < 0), expected) << ascending[i] << " vs " << ascending[j];
        }
    }
    // Trailing zeros of a scale and the sign of zero do not count.
    EXPECT_EQ(BCDCompare(ScaledIntegerToBCD(150, false, 2), StrToBCD("1.5")), 0);
    EXPECT_EQ(BCDCompare(ScaledIntegerToBCD(0, true, 4), StrToBCD("-0")), 0);
}

TEST(ExactDecimal, DoublesConvertThroughTheirShortestText) {
    EXPECT_EQ(BCDToStr(DoubleToBCD(0.1, 20)), "0.1");
    EXPECT_EQ(BCDToStr(DoubleToBCD(0.29, 63)), "0.29");
    EXPECT_EQ(BCDToStr(DoubleToBCD(2.675, 2)), "2.68"); // a tie goes to the even digit
    EXPECT_EQ(BCDToStr(DoubleToBCD(2.665, 2)), "2.66");
    EXPECT_EQ(BCDToStr(DoubleToBCD(-9.995, 2)), "-10");
    EXPECT_EQ(BCDToStr(DoubleToBCD(1e20, 4)), "100000000000000000000");
    EXPECT_THROW((void)DoubleToBCD(1e70, 0), EConvertError);
}

TEST(ExactDecimal, IntegersRoundExactlyAndRefuseOverflow) {
    struct Case {
        const char* text;
        bool fits;
        int64_t value;
    };
    const std::vector<Case> cases = {
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"2.5", true, 2},
        {"3.5", true, 4},
        {"2.5000001", true, 3},
        {"-2.5", true, -2},
        {"12345678901234567.49", true, 12345678901234567},
        {"123456789012345678901234567890", false, 0},
    };
    for (const Case& c : cases) {
        int64_t v = -1;
        EXPECT_EQ(BCDToInt64(StrToBCD(c.text), v), c.fits) << c.text;
        if (c.fits) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(ExactDecimal, MoneyUnitsConvertBothWaysExactly) {
    // Text, scale, whether it fits 64-bit units, the units (rounded, a tie to even), and
    // the text the units read back as.
    struct Case {
        const char* text;
        int scale;
        bool fits;
        int64_t units;
        const char* back;
    };
    const std::vector<Case> cases = {
        {"922337203685477.5807", 4, true, INT64_MAX, "922337203685477.5807"},
        {"-922337203685477.5808", 4, true, INT64_MIN, "-922337203685477.5808"},
        {"922337203685477.5808", 4, false, 0, ""},
        {"1.23455", 4, true, 12346, "1.2346"},
        {"1.23465", 4, true, 12346, "1.2346"},
        {"-0.00005", 4, true, 0, "0"},
        {"-0.0005", 4, true, -5, "-0.0005"},
        {"2.5", 4, true, 25000, "2.5"},
        {"0.5", 0, true, 0, "0"},
        {"9", 18, true, 9000000000000000000, "9"},
        {"10", 18, false, 0, ""},
        {"123456789012345678901234567890", 4, false, 0, ""},
    };
    for (const Case& c : cases) {
        int64_t units = -1;
        ASSERT_EQ(BCDToScaledInt64(StrToBCD(c.text), c.scale, units), c.fits) << c.text;
        if (!c.fits)
            continue;
        EXPECT_EQ(units, c.units) << c.text;
        EXPECT_EQ(BCDToStr(ScaledInt64ToBCD(units, c.scale)), c.back) << c.text;
    }
}

TEST(ExactDecimal, FieldsAndParametersKeepEveryDigit) {
    testdata::ArrayDataSet ds(nullptr, {{"N", ftBCD, 10}});
    ds.AddRow({});
    ds.Open();
    ds.Edit();
    TField* field = ds.FieldByName("N");
    const std::string text = "1234567890123456789012345678.0123456789";
    field->SetAsString(text);
    EXPECT_EQ(field->AsString(), text);
    EXPECT_EQ(field->Value().VarType(), varString);
    EXPECT_EQ(field->Value().AsString(), text);
    field->SetValue(Variant(static_cast<long long>(INT64_MAX)));
    EXPECT_EQ(field->AsLargeInt(), INT64_MAX);
    EXPECT_EQ(field->AsString(), "9223372036854775807");
    field->SetAsString("-2147483648.5");
    EXPECT_EQ(field->AsInteger(), INT32_MIN);

    TParam param(nullptr, ptInput);
    param.SetAsBCD(StrToBCD(text));
    EXPECT_EQ(BCDToStr(param.AsBCD()), text);
    param.SetDataType(ftBCD);
    param.SetValue(Variant(0.29));
    EXPECT_EQ(BCDToStr(param.AsBCD()), "0.29");
}

} // namespace

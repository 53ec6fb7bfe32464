// Text helpers: Format, general float text, trimming, field-name lists, string lists and
// the locale-aware comparisons.
#include <gtest/gtest.h>

#include <vector>

#include "tovrin5/host/Collation.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Strings.h"
#include "tovrin5/host/SysUtils.h"

using namespace tovrin::host;

TEST(CoreText, FormatConversions) {
    EXPECT_EQ(Format("Message %d,Level %d: %s ", {208, 16, "Invalid object"}),
              "Message 208,Level 16: Invalid object ");
    EXPECT_EQ(Format("Connection named \"%s\" already exists", {"X"}),
              "Connection named \"X\" already exists");
    EXPECT_EQ(Format("%5d|%-5d|%.3d", {42, 42, 7}), "   42|42   |007");
    EXPECT_EQ(Format("%x %u %%", {255, 7u}), "FF 7 %");
    EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%*d", {4, 1}), "   1");
    EXPECT_EQ(Format("%.2f %n", {3.14159, 1234567.891}), "3.14 1,234,567.89");
    EXPECT_EQ(Format("%e", {1000.0}), "1.00000000000000E+003");
    EXPECT_EQ(Format("%.3s", {"abcdef"}), "abc");
    EXPECT_EQ(Format("%d", {int64_t{-9223372036854775807LL - 1}}), "-9223372036854775808");
    // A wrong kind or a missing argument is an error, never undefined output.
    EXPECT_THROW((void)Format("%d", {"text"}), EConvertError);
    EXPECT_THROW((void)Format("%s", {12}), EConvertError);
    EXPECT_THROW((void)Format("%s %s", {"one"}), EConvertError);
    EXPECT_THROW((void)Format("%", {}), EConvertError);
    try {
        (void)Format("%q", {1});
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Format '%q' invalid or incompatible with argument");
    }
}

TEST(CoreText, GeneralFloatFormat) {
    EXPECT_EQ(FloatToStr(10.5), "10.5");
    EXPECT_EQ(FloatToStr(10.0), "10");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333"); // 15 significant digits
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(-1.5e-300), "-1.5E-300");
    EXPECT_EQ(Format("%g", {2.5}), "2.5");
    EXPECT_EQ(Format("%.3g", {3.14159}), "3.14");
    // The separator follows the settings; the explicit form always uses what it is given.
    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(FloatToStr(10.5), "10,5");
    EXPECT_EQ(Format("%g", {10.5}), "10,5");
    EXPECT_EQ(FloatToStrSep(10.5, '.'), "10.5");
    EXPECT_EQ(StrToFloat("10,5"), 10.5);
    FormatSettings() = saved;
    EXPECT_EQ(FloatToStr(10.5), "10.5");
}

TEST(CoreText, NumbersFromText) {
    EXPECT_EQ(StrToInt(" 12"), 12);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_THROW((void)StrToInt("2147483648"), EConvertError);
    EXPECT_THROW((void)StrToInt("12 "), EConvertError);
    EXPECT_THROW((void)StrToInt(""), EConvertError);
    EXPECT_EQ(StrToIntDef("x", -1), -1);
    try {
        (void)StrToFloat("1.2.3");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1.2.3' is not a valid floating point value");
    }
}

TEST(CoreText, TrimCaseAndFieldNames) {
    EXPECT_EQ(Trim(" \t\r\n select 1 \r\n\x01"), "select 1");
    EXPECT_EQ(Trim("\t \n"), "");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(UpperCase("abc-\xc3\xa9"), "ABC-\xc3\xa9"); // ASCII only
    EXPECT_EQ(AnsiUpperCase("stra\xc3\x9f"
                            "e \xd0\xb4"),
              "STRASSE \xd0\x94");
    EXPECT_EQ(CompareText("abc", "ABD"), -1);
    EXPECT_TRUE(SameText("Connection1", "CONNECTION1"));

    std::string fields = "Name; City ;;Zip";
    int pos = 1;
    std::vector<std::string> names;
    while (pos <= static_cast<int>(fields.size()))
        names.push_back(ExtractFieldName(fields, pos));
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "City", "", "Zip"}));
    pos = 1;
    EXPECT_EQ(ExtractFieldName("", pos), "");
    pos = 1;
    EXPECT_EQ(ExtractFieldName("Single", pos), "Single");
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
}

TEST(CoreText, StringListTextEndsEveryLineWithThePlatformLineBreak) {
    TStringList sql;
    sql.Add("select * from titles where price > :low");
    sql.Add("and type = :kind");
    EXPECT_EQ(sql.Text(), "select * from titles where price > :low\nand type = :kind\n");
    // Lines set from LF-ended text read back byte for byte (a line break inside a quoted
    // literal must reach the server unchanged).
    TStringList literal;
    literal.SetText("select datalength('line1\nline2')\n");
    EXPECT_EQ(literal.Text(), "select datalength('line1\nline2')\n");
    TStringList empty;
    EXPECT_EQ(empty.Text(), "");

    TStringList parsed;
    parsed.SetText("a\r\nb\nc\rd\r\n");
    ASSERT_EQ(parsed.Count(), 4);
    EXPECT_EQ(parsed[3], "d");
    parsed.SetText("x\r\n\r\ny");
    ASSERT_EQ(parsed.Count(), 3);
    EXPECT_EQ(parsed[1], "");
    EXPECT_THROW((void)parsed.Get(3), EListError);
    EXPECT_THROW(parsed.Delete(-1), EListError);
    try {
        (void)parsed.Get(7);
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (7)");
    }
}

TEST(CoreText, UpdatesFireOneChange) {
    TStringList list;
    int changes = 0;
    int changing = 0;
    list.SetOnChange([&](TObject* sender) {
        EXPECT_EQ(sender, &list);
        ++changes;
    });
    list.SetOnChanging([&](TObject*) { ++changing; });
    list.Add("a");
    EXPECT_EQ(changes, 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("b");
    list.Add("c");
    list.EndUpdate();
    EXPECT_EQ(changes, 1); // still inside the outer update
    list.EndUpdate();
    EXPECT_EQ(changes, 2);
    // An update without changes fires nothing.
    list.BeginUpdate();
    list.EndUpdate();
    EXPECT_EQ(changes, 2);

    TStringList source;
    source.SetText("x\r\ny\r\n");
    list.BeginUpdate();
    list.Assign(&source);
    list.EndUpdate();
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(list.Equals(&source));
    EXPECT_GE(changing, 3);
}

TEST(CoreText, SortedListsAndLookups) {
    TStringList list;
    list.SetSorted(true);
    list.Add("pear");
    list.Add("Apple");
    list.Add("banana");
    EXPECT_EQ(list.CommaText(), "Apple,banana,pear");
    EXPECT_EQ(list.Add("APPLE"), 0); // duplicates ignored by default, case-insensitively
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.IndexOf("BANANA"), 1);
    EXPECT_THROW(list.Insert(0, "x"), EListError);
    list.SetDuplicates(dupError);
    EXPECT_THROW(list.Add("pear"), EListError);

    TStringList pairs;
    pairs.SetCommaText("a=1,\"b c=2\",d=");
    EXPECT_EQ(pairs.Values("b c"), "2");
    EXPECT_EQ(pairs.Values("missing"), "");
    pairs.SetValues("a", "9");
    EXPECT_EQ(pairs[0], "a=9");
}

TEST(CoreCollation, CaseSensitiveAndInsensitiveAreThreeWay) {
    EXPECT_EQ(AnsiCompareStr("abc", "abc"), 0);
    EXPECT_NE(AnsiCompareStr("abc", "ABC"), 0);
    EXPECT_EQ(AnsiCompareStr("abc", "ABC"), -AnsiCompareStr("ABC", "abc"));
    EXPECT_EQ(AnsiCompareStr("apple", "banana"), -1);
    EXPECT_EQ(AnsiCompareStr("banana", "apple"), 1);
    // Locale-aware: case is a lesser difference than the letters themselves.
    EXPECT_EQ(AnsiCompareStr("apple", "Banana"), -1);
    EXPECT_EQ(AnsiCompareStr("Apple", "banana"), -1);

    EXPECT_EQ(AnsiCompareTextRu("abc", "ABC"), 0);
    EXPECT_EQ(AnsiCompareTextRu("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
                                "\xd0\xbf\xd0\xa0\xd0\x98\xd0\x92\xd0\x95\xd0\xa2"),
              0); // Привет = пРИВЕТ
    EXPECT_EQ(AnsiCompareTextRu("abc", "abd"), -1);
    EXPECT_EQ(AnsiCompareTextRu("b", "A"), 1);
    // Cyrillic sorts as the Russian alphabet: е before ж, and both after Latin.
    EXPECT_EQ(AnsiCompareTextRu("\xd0\xb5", "\xd0\xb6"), -1);
    EXPECT_EQ(AnsiCompareTextRu("z", "\xd0\xb0"), -1);
    EXPECT_EQ(AnsiCompareText("hello", "HELLO"), 0);
    // Invalid UTF-8 compares without failing, consistently.
    EXPECT_EQ(AnsiCompareStr("\xff", "\xff"), 0);
}

TEST(CoreCollation, PartialKeysNeverSplitACharacter) {
    const std::string smith = "Sm\xc3\xadth"; // Smíth, í takes two bytes
    EXPECT_EQ(utf8Length(smith), 5u);
    EXPECT_EQ(utf8Left(smith, 3), "Sm\xc3\xad");
    EXPECT_EQ(utf8Left(smith, 99), smith);
    EXPECT_EQ(utf8Left(smith, 0), "");
    EXPECT_EQ(utf8CutBytes(smith, 3), "Sm"); // the third byte would split í
    EXPECT_EQ(utf8CutBytes(smith, 4), "Sm\xc3\xad");
    // Four-byte characters and stray continuation bytes.
    const std::string emoji = "a\xf0\x9f\x98\x80"
                              "b";
    EXPECT_EQ(utf8Length(emoji), 3u);
    EXPECT_EQ(utf8Left(emoji, 2), "a\xf0\x9f\x98\x80");
    EXPECT_EQ(utf8CutBytes(emoji, 4), "a");
    EXPECT_EQ(utf8Length("\x80\x80"), 2u);
    EXPECT_EQ(utf8Left("\xe2\x82", 1), "\xe2"); // truncated sequence: one byte per character

    // A partial key "Sm" cut from the longer text compares equal case-insensitively.
    std::string key = "SM";
    std::string cut(utf8Left(smith, utf8Length(key)));
    EXPECT_EQ(AnsiCompareTextRu(key, cut), 0);
}

// Parameter markers and literals, without a server: the scan of SQL text into pieces and
// markers, and the literal of each parameter type.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/query/SybSqlParams.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using sqltext::ScanMarkers;

std::vector<std::string> names(const sqltext::TScan& scan) {
    std::vector<std::string> result;
    for (const auto& marker : scan.Markers) {
        result.push_back(marker.Name);
    }
    return result;
}

// Joining the pieces, colons and names gives back the text: the scan loses nothing.
std::string rejoin(const sqltext::TScan& scan) {
    std::string text;
    for (const auto& marker : scan.Markers) {
        text += marker.PrecedingText + ":" + marker.Name;
    }
    return text + scan.Tail;
}

TEST(SqlMarkerScan, WorkedExampleSplitsIntoPiecesAndTail) {
    const std::string sql = "select * from titles where price > :low\r\n"
                            "and type = :kind and notes <> 'a:b'\r\n";
    const auto scan = ScanMarkers(sql);
    ASSERT_EQ(names(scan), (std::vector<std::string>{"low", "kind"}));
    EXPECT_EQ(scan.Markers[0].PrecedingText, "select * from titles where price > ");
    EXPECT_EQ(scan.Markers[0].NamePos, 37);
    EXPECT_EQ(scan.Markers[1].PrecedingText, "\r\nand type = ");
    EXPECT_EQ(scan.Tail, " and notes <> 'a:b'\r\n");
    EXPECT_EQ(rejoin(scan), sql);
}

TEST(SqlMarkerScan, ColonsInLiteralsAndCommentsAreText) {
    const std::string sql = "select ':a', \":b\", 'it''s :c', \"say \"\":d\"\"\" -- :e\r\n"
                            "/* :f\r\n :g */ :h /* unterminated :i\r\n";
    const auto scan = ScanMarkers(sql);
    EXPECT_EQ(names(scan), std::vector<std::string>{"h"});
    EXPECT_EQ(rejoin(scan), sql);

    // A line comment ends at the line feed only, as the server reads it.
    EXPECT_EQ(names(ScanMarkers("-- x\r:a\n-- y\n:b\n")), (std::vector<std::string>{"b"}));
    // An unterminated literal runs to the end.
    EXPECT_TRUE(ScanMarkers("select 'abc :x\r\n").Markers.empty());
    // Comments nest: the marker is still inside the outer comment.
    EXPECT_TRUE(ScanMarkers("/* /* */ :a */\n").Markers.empty());
}

TEST(SqlMarkerScan, NameCharactersAndLoneColons) {
    EXPECT_EQ(names(ScanMarkers("::x\n")), std::vector<std::string>{"x"});
    EXPECT_EQ(ScanMarkers("::x\n").Markers[0].PrecedingText, ":");
    EXPECT_TRUE(ScanMarkers(": x\n").Markers.empty());
    EXPECT_EQ(names(ScanMarkers(":1, :a[1]+:b^c`d\n")),
              (std::vector<std::string>{"1", "a[1]", "b^c`d"}));
    // '{' (0x7B) and '@' (0x40) lie outside the name characters.
    EXPECT_EQ(names(ScanMarkers(":ab{c :@d :_e\n")), (std::vector<std::string>{"ab", "_e"}));
    // A colon at the very end of the text makes no marker and stays in the tail.
    const auto scan = ScanMarkers("select 1:");
    EXPECT_TRUE(scan.Markers.empty());
    EXPECT_EQ(scan.Tail, "select 1:");
    // A name at the very end is still a marker.
    EXPECT_EQ(names(ScanMarkers("select :end")), std::vector<std::string>{"end"});
}

TEST(SqlMarkerScan, UsedTwiceMakesTwoMarkers) {
    const auto scan = ScanMarkers("where a = :x or b = :x\r\n");
    EXPECT_EQ(names(scan), (std::vector<std::string>{"x", "x"}));
    EXPECT_EQ(scan.Markers[1].PrecedingText, " or b = ");
}

TEST(SqlMarkerScan, MultiByteCharactersStayWhole) {
    // "naïve" and a Cyrillic name: the name takes the continuation bytes of a character
    // that started inside it.
    EXPECT_EQ(names(ScanMarkers(":na\xC3\xAFve :\xD0\xB8\xD0\xBC\xD1\x8F=1\n")),
              (std::vector<std::string>{"na\xC3\xAFve", "\xD0\xB8\xD0\xBC\xD1\x8F"}));
    // A lone byte of 0xC0..0xFF is a name character by itself; a following byte that does
    // not complete it is not taken.
    EXPECT_EQ(names(ScanMarkers(":a\xE9 b\n")), std::vector<std::string>{"a\xE9"});
    EXPECT_EQ(names(ScanMarkers(":a\xE9\xBB b\n")), std::vector<std::string>{"a\xE9"});
    // A continuation byte on its own ends a name.
    EXPECT_EQ(names(ScanMarkers(":a\xBB\n")), std::vector<std::string>{"a"});
}

TEST(SqlMarkerScan, EmptyAndRandomTextsRejoinExactly) {
    const auto empty = ScanMarkers("");
    EXPECT_TRUE(empty.Markers.empty());
    EXPECT_EQ(empty.Tail, "");

    std::mt19937 random(20261207);
    const std::string alphabet = ":'\"-/*\r\nab_1 \xC3\xA9";
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 40);
        for (int k = 0; k < length; ++k) {
            text += alphabet[random() % alphabet.size()];
        }
        const auto scan = ScanMarkers(text);
        ASSERT_EQ(rejoin(scan), text) << text;
        for (const auto& marker : scan.Markers) {
            ASSERT_FALSE(marker.Name.empty());
            ASSERT_EQ(text.substr(static_cast<std::size_t>(marker.NamePos) - 1, marker.Name.size()),
                      marker.Name);
        }
    }
}

TEST(SqlLiterals, QuotingDoublesEveryQuote) {
    EXPECT_EQ(sqltext::PrepareStringValue("O'Brien"), "O''Brien");
    EXPECT_EQ(sqltext::PrepareStringValue("5'"), "5''");
    // A run of quotes is doubled quote by quote, so the literal cannot end early.
    EXPECT_EQ(sqltext::PrepareStringValue("a''b"), "a''''b");
    EXPECT_EQ(sqltext::PrepareStringValue("'''"), "''''''");
    EXPECT_EQ(sqltext::PrepareStringValue("\"\\"), "\"\\");
    // A backslash before a line end gets a continuation of its own for the server to drop.
    EXPECT_EQ(sqltext::PrepareStringValue("a\\\nb"), "a\\\\\n\nb");
    EXPECT_EQ(sqltext::PrepareStringValue("a\\\r\nb"), "a\\\\\n\r\nb");
    EXPECT_EQ(sqltext::PrepareStringValue("a\\ \nb\\"), "a\\ \nb\\");
    EXPECT_EQ(sqltext::PrepareStringValue(""), "");
}

TEST(SqlLiterals, BinaryIsUpperCaseHex) {
    EXPECT_EQ(sqltext::PrepareBinaryValue(""), "0x");
    EXPECT_EQ(sqltext::PrepareBinaryValue(std::string("\x00\x0A\xFF\x7f", 4)), "0x000AFF7F");
}

TEST(SqlLiterals, DateTimesAreWrittenYearFirstWithoutSeparators) {
    // "yyyymmdd": the form the server reads the same under every set dateformat and
    // set language.
    const host::TDateTime value = host::EncodeDate(2026, 12, 7) + host::EncodeTime(14, 5, 9, 45);
    EXPECT_EQ(sqltext::DateTimeAsString(value), "20261207 14:05:09:45");

    const host::TDateTime early = host::EncodeDate(1900, 1, 2) + host::EncodeTime(0, 0, 0, 5);
    EXPECT_EQ(sqltext::DateTimeAsString(early), "19000102 00:00:00:5");
    // Dates before 30 December 1899 are negative TDateTime values whose fraction still
    // counts forward from midnight: the time is subtracted from the negative day number.
    const host::TDateTime old = host::EncodeDate(1753, 1, 1) - host::EncodeTime(23, 59, 59, 997);
    EXPECT_EQ(sqltext::DateTimeAsString(old), "17530101 23:59:59:997");
}

TEST(SqlLiterals, FloatsReadBackExactlyWithADot) {
    EXPECT_EQ(sqltext::FloatLiteral(10.5), "10.5");
    EXPECT_EQ(sqltext::FloatLiteral(0), "0");
    EXPECT_EQ(sqltext::FloatLiteral(-0.1), "-0.1");
    EXPECT_EQ(sqltext::FloatLiteral(1.5e20), "1.5E20");
    EXPECT_EQ(sqltext::FloatLiteral(1e-5), "1E-5");
    EXPECT_EQ(sqltext::FloatLiteral(0.0001), "0.0001");
    EXPECT_EQ(sqltext::FloatLiteral(123456789012345.0), "123456789012345");
    EXPECT_EQ(sqltext::FloatLiteral(1e15), "1E15");
    EXPECT_EQ(sqltext::FloatLiteral(0.1 + 0.2), "0.30000000000000004");

    // Whatever the C locale's separator, the literal has a dot and parses back exactly.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    std::mt19937_64 random(7);
    for (int k = 0; k < 5000; ++k) {
        const double value = std::ldexp(static_cast<double>(random() >> 11) - 4.5e15,
                                        static_cast<int>(random() % 200) - 100);
        const std::string literal = sqltext::FloatLiteral(value);
        ASSERT_EQ(literal.find(','), std::string::npos);
        std::setlocale(LC_NUMERIC, "C");
        ASSERT_EQ(std::strtod(literal.c_str(), nullptr), value) << literal;
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(SqlLiterals, EveryParameterType) {
    host::TParams params;
    auto make = [&params](const char* name) {
        return params.CreateParam(host::ftUnknown, name, host::ptInput);
    };
    auto* p = make("p");
    EXPECT_EQ(sqltext::ParamStrValue(*p), "NULL");
    p->SetAsInteger(-42);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "-42");
    p->SetAsSmallInt(300);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "300");
    p->SetAsBoolean(true);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "1");
    p->SetAsBoolean(false);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "0");
    p->SetAsFloat(10.5);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "10.5");
    p->SetAsCurrency(-1.25);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "-1.25");
    p->SetAsString("it's");
    EXPECT_EQ(sqltext::ParamStrValue(*p), "'it''s'");
    p->SetAsMemo("a''b");
    EXPECT_EQ(sqltext::ParamStrValue(*p), "'a''''b'");
    p->SetAsDateTime(host::EncodeDate(2026, 12, 7) + host::EncodeTime(14, 5, 9, 45));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "'20261207 14:05:09:45'");
    p->SetAsBlob(std::string("\x01\xAB", 2));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "0x01AB");

    // An exact decimal goes with every digit, whether given as a decimal or as a double.
    p->SetAsBCD(host::StrToBCD("-1234567890123456789012345678.0123456789"));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "-1234567890123456789012345678.0123456789");
    p->SetValue(host::Variant(0.29));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "0.29");

    // A null parameter is NULL whatever its type; a value of another type is refused.
    p->SetDataType(host::ftCursor);
    p->SetValue(host::Variant(1));
    try {
        (void)sqltext::ParamStrValue(*p);
        FAIL() << "ftCursor accepted";
    } catch (const host::Exception& e) {
        EXPECT_EQ(e.Message(), "Param datatype unsupported");
    }
    p->Clear();
    EXPECT_EQ(sqltext::ParamStrValue(*p), "NULL");
}

TEST(SqlLiterals, LargeIntegersDatesTimesAndVarBytes) {
    host::TParams params;
    auto* p = params.CreateParam(host::ftUnknown, "p", host::ptInput);
    // 64-bit values exactly, never through a double (2^53 + 1 has no double).
    p->SetAsLargeInt(9007199254740993LL);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(bigint, 9007199254740993)");
    p->SetAsLargeInt(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(bigint, -9223372036854775808)");
    p->SetAsLargeInt(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(bigint, 9223372036854775807)");

    // A date year first, its time of day dropped; a time without its date.
    const host::TDateTime moment = host::EncodeDate(2026, 12, 7) + host::EncodeTime(14, 5, 9, 45);
    p->SetAsDate(moment);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(date, '20261207')");
    p->SetAsDate(host::EncodeDate(1, 1, 1));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(date, '00010101')");
    p->SetAsTime(moment);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(time, '14:05:09:45')");
    p->SetAsTime(host::EncodeTime(0, 0, 0, 5));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(time, '00:00:00:5')");
    p->SetAsTime(host::EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(sqltext::ParamStrValue(*p), "convert(time, '23:59:59:999')");

    // A binary column's field type (a master field of a detail) goes as hexadecimal.
    p->SetAsBlob(std::string("\x00'\xFE", 3));
    p->SetDataType(host::ftVarBytes);
    EXPECT_EQ(sqltext::ParamStrValue(*p), "0x0027FE");
}

TEST(SqlLiterals, ParseParamsListsEachNameOnceIgnoringQuotes) {
    host::TParams params;
    params.CreateParam(host::ftInteger, "old", host::ptInput);
    sqltext::ParseParams(params, "select :a, ':b', :a, :: -- :c\n");
    ASSERT_EQ(params.Count(), 3);
    EXPECT_EQ(params[0]->Name(), "a");
    EXPECT_EQ(params[1]->Name(), "b");
    EXPECT_EQ(params[2]->Name(), "c");
    EXPECT_EQ(params[0]->DataType(), host::ftUnknown);
    EXPECT_EQ(params[0]->ParamType(), host::ptUnknown);
}

} // namespace

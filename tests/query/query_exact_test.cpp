// Exact values against the development server: decimals and money to the last digit
// through fields, sorting, locating, master-detail links and output parameters; reals as
// the server shows them; text, image and long binary values never cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/FieldsTyped.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "EXACT";
constexpr char kTempdb[] = "tempdb";

class ExactValues : public querytest::ConnectedSuite<kConnection, kTempdb> {
protected:
    static void SetUpTestSuite() {
        ConnectedSuite::SetUpTestSuite();
        // Keys that a double cannot tell apart, stored out of order.
        exec(kConnection, "create table #keys (k numeric(30,0) null, label varchar(10))");
        for (const char* row :
             {"(123456789012345678901234567893, 'three')",
              "(123456789012345678901234567891, 'one')", "(123456789012345678901234567894, 'four')",
              "(null, 'none')", "(123456789012345678901234567892, 'two')", "(7, 'seven')"}) {
            exec(kConnection, std::string("insert #keys values ") + row);
        }
    }
    static std::vector<std::string> labels(TSybQuery& query) {
        std::vector<std::string> result;
        for (query.First(); !query.Eof(); query.Next()) {
            result.push_back(query.FieldByName("label")->AsString());
        }
        return result;
    }
};

TEST_F(ExactValues, DecimalsMoneyAndRealsReadAsTheServerHoldsThem) {
    struct Case {
        const char* type;
        const char* value;
        const char* text; // AsString: every digit, trailing zeros of the scale may go
        int precision;
        int scale;
    };
    const std::vector<Case> cases = {
        {"numeric(38,10)", "1234567890123456789012345678.0123456789",
         "1234567890123456789012345678.0123456789", 38, 10},
        {"numeric(38,0)", "-99999999999999999999999999999999999999",
         "-99999999999999999999999999999999999999", 38, 0},
        {"decimal(20,5)", "123456789012345.12345", "123456789012345.12345", 20, 5},
        {"money", "922337203685477.5807", "922337203685477.5807", 19, 4},
        {"money", "-922337203685477.5808", "-922337203685477.5808", 19, 4},
        {"money", "12345678901234.5678", "12345678901234.5678", 19, 4},
        {"smallmoney", "-214748.3648", "-214748.3648", 10, 4},
        {"numeric(10,2)", "2.50", "2.5", 10, 2},
    };
    std::string columns = "r real";
    std::string values = "0.29";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        columns += ", c" + std::to_string(i) + " " + cases[i].type;
        values += std::string(", ") + cases[i].value;
    }
    exec(kConnection, "create table #exact (" + columns + ")");
    exec(kConnection, "insert #exact values (" + values + ")");
    auto query = makeQuery(kConnection, "select * from #exact");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        host::TField* field = query->FieldByName("c" + std::to_string(i));
        SCOPED_TRACE(std::string(cases[i].type) + " " + cases[i].value);
        ASSERT_EQ(field->DataType(), host::ftBCD);
        EXPECT_EQ(field->AsString(), cases[i].text);
        EXPECT_EQ(field->Value().AsString(), cases[i].text);
        auto* decimal = dynamic_cast<host::TBCDField*>(field);
        ASSERT_NE(decimal, nullptr);
        EXPECT_EQ(decimal->Precision(), cases[i].precision);
        EXPECT_EQ(field->Size(), cases[i].scale);
        EXPECT_EQ(decimal->Currency(),
                  std::string(cases[i].type).find("money") != std::string::npos);
    }
    EXPECT_EQ(query->FieldByName("c3")->AsLargeInt(), 922337203685478LL);
    EXPECT_EQ(query->FieldByName("c6")->AsFloat(), -214748.3648);
    // A real reads as the shortest text of its float.
    EXPECT_EQ(query->FieldByName("r")->AsFloat(), 0.29);
    EXPECT_EQ(query->FieldByName("r")->AsString(), "0.29");
}

TEST_F(ExactValues, LongKeysSortLocateAndLookUpByEveryDigit) {
    auto query = makeQuery(kConnection, "select k, label from #keys");
    query->Open();
    query->SortOn("k", {});
    EXPECT_EQ(labels(*query),
              (std::vector<std::string>{"none", "seven", "one", "two", "three", "four"}));
    query->SortOn("k", TBTCompareOptions{btcoDescending});
    EXPECT_EQ(labels(*query),
              (std::vector<std::string>{"four", "three", "two", "one", "seven", "none"}));

    // A key given as text, as an integer and as a double, sequentially and by halving.
    for (bool binary : {false, true}) {
        query->SortOn("k", {});
        query->SetSorted(binary);
        query->SetDoBinaryLocate(binary);
        SCOPED_TRACE(binary ? "binary" : "sequential");
        ASSERT_TRUE(query->Locate("k", host::Variant("123456789012345678901234567893"), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "three");
        ASSERT_TRUE(query->Locate("k", host::Variant("123456789012345678901234567891"), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "one");
        EXPECT_FALSE(query->Locate("k", host::Variant("123456789012345678901234567895"), {}));
        ASSERT_TRUE(query->Locate("k", host::Variant(7), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "seven");
        ASSERT_TRUE(query->Locate("k", host::Variant(7.0), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "seven");
    }
    EXPECT_EQ(
        query->Lookup("k", host::Variant("123456789012345678901234567894"), "label").AsString(),
        "four");
    EXPECT_TRUE(
        query->Lookup("k", host::Variant("123456789012345678901234567890"), "label").IsNull());
}

TEST_F(ExactValues, MoneySortsLocatesAndLinksByItsExactUnits) {
    // Money is kept as its count of 1/10,000 units: order, search and a master's link
    // value must read it so, the extremes and the sign included.
    exec(kConnection, "create table #cash (m money null, s smallmoney null, label varchar(10))");
    for (const char* row :
         {"(0.0001, 1.5, 'tiny')", "(-922337203685477.5808, -214748.3648, 'least')",
          "(null, null, 'none')", "(922337203685477.5807, 214748.3647, 'most')",
          "(-2.5, -0.0001, 'minus')", "(12345678901234.5678, 2, 'long')"}) {
        exec(kConnection, std::string("insert #cash values ") + row);
    }
    auto query = makeQuery(kConnection, "select m, s, label from #cash");
    query->Open();
    for (const char* column : {"m", "s"}) {
        SCOPED_TRACE(column);
        query->SortOn(column, {});
        EXPECT_EQ(labels(*query),
                  (std::vector<std::string>{"none", "least", "minus", "tiny", "long", "most"}));
        query->SortOn(column, TBTCompareOptions{btcoDescending});
        EXPECT_EQ(labels(*query),
                  (std::vector<std::string>{"most", "long", "tiny", "minus", "least", "none"}));
    }
    for (bool binary : {false, true}) {
        query->SortOn("m", {});
        query->SetSorted(binary);
        query->SetDoBinaryLocate(binary);
        SCOPED_TRACE(binary ? "binary" : "sequential");
        ASSERT_TRUE(query->Locate("m", host::Variant("922337203685477.5807"), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "most");
        EXPECT_FALSE(query->Locate("m", host::Variant("922337203685477.5806"), {}));
        ASSERT_TRUE(query->Locate("m", host::Variant(-2.5), {}));
        EXPECT_EQ(query->FieldByName("label")->AsString(), "minus");
        EXPECT_EQ(query->FieldByName("s")->AsString(), "-0.0001");
        EXPECT_EQ(query->FieldByName("m")->AsFloat(), -2.5);
        EXPECT_EQ(query->FieldByName("m")->AsInteger(), -2);
    }
    EXPECT_EQ(query->Lookup("m", host::Variant("12345678901234.5678"), "label").AsString(), "long");
    EXPECT_EQ(query->Lookup("s", host::Variant(2), "label").AsString(), "long");

    auto master = makeQuery(kConnection, "select m from #cash where m is not null order by m");
    host::TDataSource source(nullptr);
    source.SetDataSet(master.get());
    auto detail = makeQuery(kConnection, "select label from #cash where m = :m");
    detail->SetDataSource(&source);
    master->Open();
    detail->Open();
    const std::vector<std::string> expected = {"least", "minus", "tiny", "long", "most"};
    std::size_t row = 0;
    for (master->First(); !master->Eof(); master->Next(), ++row) {
        ASSERT_LT(row, expected.size());
        ASSERT_EQ(detail->RecordCount(), 1) << detail->GetSQLText();
        EXPECT_EQ(detail->FieldByName("label")->AsString(), expected[row]);
    }
    EXPECT_EQ(row, expected.size());
}

TEST_F(ExactValues, AMasterLinkedOnALongNumericKeySendsEveryDigit) {
    auto master = makeQuery(kConnection, "select k from #keys where k is not null order by k");
    host::TDataSource source(nullptr);
    source.SetDataSet(master.get());
    auto detail = makeQuery(kConnection, "select label from #keys where k = :k");
    detail->SetDataSource(&source);
    master->Open();
    detail->Open();
    const std::vector<std::string> expected = {"seven", "one", "two", "three", "four"};
    std::size_t row = 0;
    for (master->First(); !master->Eof(); master->Next(), ++row) {
        ASSERT_LT(row, expected.size());
        ASSERT_EQ(detail->RecordCount(), 1) << detail->GetSQLText();
        EXPECT_EQ(detail->FieldByName("label")->AsString(), expected[row]);
        EXPECT_NE(detail->GetSQLText().find("k = " + master->FieldByName("k")->AsString()),
                  std::string::npos)
            << detail->GetSQLText();
    }
    EXPECT_EQ(row, expected.size());
}

TEST_F(ExactValues, OutputParametersKeepEveryDigit) {
    exec(kConnection,
         "create procedure qx_digits @n numeric(38,0) output, @m money output, @r real output"
         " as begin select @n = 12345678901234567890123456789012345678"
         " select @m = -922337203685477.5808 select @r = 0.29 end");
    auto query = makeQuery(kConnection, "declare @n numeric(38,0), @m money, @r real\n"
                                        "exec qx_digits @n output, @m output, @r output");
    query->ExecSQL();
    ASSERT_EQ(query->OutputParamCount(), 3);
    EXPECT_EQ(query->OutputParam(0)->GetOstrelDataType(), host::ftBCD);
    EXPECT_EQ(query->OutputParamValue(0).AsString(), "12345678901234567890123456789012345678");
    EXPECT_EQ(query->OutputParamValue(1).AsString(), "-922337203685477.5808");
    EXPECT_EQ(query->OutputParamValue(2).AsFloat(), 0.29);
}

TEST_F(ExactValues, TextImageAndLongBinaryValuesArriveWhole) {
    // A connection of its own, with the default text size and with the server's.
    for (CS_INT textSize : {TSybConnect::kDefaultTextSize, 0}) {
        SCOPED_TRACE(textSize);
        auto connection = querytest::makeConnection("EXACTTEXT");
        connection->SetDatabase("tempdb");
        connection->SetTextSize(textSize);
        connection->Connect();
        std::string text(100000, 'x');
        for (std::size_t i = 0; i < text.size(); i += 7) {
            text[i] = static_cast<char>('a' + i % 26);
        }
        std::string image(100000, '\0');
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<char>((i * 31) & 0xFF);
        }
        exec("EXACTTEXT",
             "create table #big (t text null, im image null, vb varbinary(100000) null,"
             " vc varchar(100000) null)");
        auto insert = makeQuery("EXACTTEXT", "insert #big values (:t, :im, :vb, :vc)");
        insert->ParamByName("t")->SetAsMemo(text);
        insert->ParamByName("im")->SetAsBlob(image);
        insert->ParamByName("vb")->SetAsBlob(image);
        insert->ParamByName("vc")->SetAsString(text);
        insert->ExecSQL();
        auto query = makeQuery("EXACTTEXT", "select t, im, vb, vc from #big");
        query->Open();
        ASSERT_EQ(query->RecordCount(), 1);
        EXPECT_EQ(query->FieldByName("vb")->DataType(), host::ftBlob);
        EXPECT_TRUE(query->FieldByName("vb")->AsString() == image);
        EXPECT_EQ(query->FieldByName("vc")->DataType(), host::ftMemo);
        EXPECT_TRUE(query->FieldByName("vc")->AsString() == text);
        if (textSize == 0) {
            // The server's own default cuts: the package itself does not.
            EXPECT_EQ(query->FieldByName("t")->AsString().size(), 32768u);
            EXPECT_EQ(query->FieldByName("im")->AsString().size(), 32768u);
        } else {
            EXPECT_TRUE(query->FieldByName("t")->AsString() == text);
            EXPECT_TRUE(query->FieldByName("im")->AsString() == image);
        }
    }
    EXPECT_EQ(errorOf([] { TSybConnect(nullptr).SetTextSize(-1); }),
              "Invalid text size -1: 0 to 2147483647 expected");
}

TEST(ExactValueMapping, UnmappedOutputParameterTypesAreKeptAsText) {
    CS_DATAFMT format{};
    format.maxlength = 12;
    for (CS_INT code : {CS_UNITEXT_TYPE, 35, 36}) {
        format.datatype = code;
        TSybClientField parameter(nullptr, 1, format);
        EXPECT_THROW((void)parameter.GetOstrelDataType(), host::Exception) << code;
        parameter.KeepUnmappedAsText();
        EXPECT_EQ(parameter.GetOstrelDataType(), host::ftString) << code;
        EXPECT_TRUE(parameter.Value(nullptr).IsNull()) << code;
    }
}

} // namespace

// Column typing and value conversion against the development server: every type it sends
// reads back exactly, NULL in each, numerics of every precision, large text and image
// values read whole, and the names of the field definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Fields.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "TYPES";
constexpr char kTempdb[] = "tempdb";

class QueryTypes : public querytest::ConnectedSuite<kConnection, kTempdb> {};

host::TDateTime dateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
    return host::EncodeDate(y, mo, d) + host::EncodeTime(h, mi, s, ms);
}

TEST_F(QueryTypes, EveryColumnTypeReadsBackExactlyAndNullInEach) {
    exec(kConnection,
         "create table #types (k int, i int null, si smallint null, ti tinyint null, b bit null,"
         " r real null, f float null, m money null, sm smallmoney null, n numeric(10,2) null,"
         " d decimal(38,0) null, dt datetime null, sdt smalldatetime null, c char(5) null,"
         " vc varchar(20) null, bn binary(4) null, vb varbinary(10) null, t text null,"
         " im image null)");
    exec(kConnection,
         "insert #types values (1, -2147483648, -32768, 200, 1, 1.5, 0.1, -1.5, 214748.3647,"
         " -12345.67, 12345678901234567890123456789012345678, '2026-12-07 14:05:09.010',"
         " '2026-12-07 14:05', 'ab', 'x''y  z', 0x01, 0x0102, 'some text', 0x000A0B)\n"
         "insert #types (k) values (2)");
    auto query = makeQuery(kConnection, "select * from #types order by k");
    query->Open();
    ASSERT_TRUE(query->Active());
    ASSERT_EQ(query->RecordCount(), 2);

    auto type = [&](const char* name) { return query->FieldByName(name)->DataType(); };
    EXPECT_EQ(type("i"), host::ftInteger);
    EXPECT_EQ(type("si"), host::ftSmallint);
    EXPECT_EQ(type("ti"), host::ftSmallint);
    EXPECT_EQ(type("b"), host::ftBoolean);
    EXPECT_EQ(type("r"), host::ftFloat);
    EXPECT_EQ(type("f"), host::ftFloat);
    EXPECT_EQ(type("m"), host::ftBCD);
    EXPECT_EQ(type("sm"), host::ftBCD);
    EXPECT_EQ(type("n"), host::ftBCD);
    EXPECT_EQ(type("d"), host::ftBCD);
    EXPECT_EQ(type("dt"), host::ftDateTime);
    EXPECT_EQ(type("sdt"), host::ftDateTime);
    EXPECT_EQ(type("c"), host::ftString);
    EXPECT_EQ(type("vc"), host::ftString);
    EXPECT_EQ(type("bn"), host::ftVarBytes);
    EXPECT_EQ(type("vb"), host::ftVarBytes);
    EXPECT_EQ(type("t"), host::ftMemo);
    EXPECT_EQ(type("im"), host::ftBlob);

    query->First();
    auto field = [&](const char* name) { return query->FieldByName(name); };
    EXPECT_EQ(field("i")->AsInteger(), -2147483648LL);
    EXPECT_EQ(field("si")->AsInteger(), -32768);
    EXPECT_EQ(field("ti")->AsInteger(), 200);
    EXPECT_TRUE(field("b")->AsBoolean());
    EXPECT_EQ(field("r")->AsFloat(), 1.5);
    EXPECT_EQ(field("f")->AsFloat(), 0.1);
    EXPECT_EQ(field("m")->AsFloat(), -1.5);
    EXPECT_EQ(field("sm")->AsFloat(), 214748.3647);
    EXPECT_EQ(field("n")->AsFloat(), -12345.67);
    EXPECT_EQ(field("d")->AsFloat(),
              std::strtod("12345678901234567890123456789012345678", nullptr));
    EXPECT_EQ(field("dt")->AsDateTime(), dateTime(2026, 12, 7, 14, 5, 9, 10));
    EXPECT_EQ(field("sdt")->AsDateTime(), dateTime(2026, 12, 7, 14, 5, 0, 0));
    // A char value keeps the blanks the server pads it with.
    EXPECT_EQ(field("c")->AsString(), "ab   ");
    EXPECT_EQ(field("vc")->AsString(), "x'y  z");
    EXPECT_EQ(field("bn")->AsString(), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(field("vb")->AsString(), std::string("\x01\x02", 2));
    EXPECT_EQ(field("t")->AsString(), "some text");
    EXPECT_EQ(field("im")->AsString(), std::string("\0\x0A\x0B", 3));

    query->Next();
    for (const char* name : {"i", "si", "ti", "b", "r", "f", "m", "sm", "n", "d", "dt", "sdt", "c",
                             "vc", "bn", "vb", "t", "im"}) {
        EXPECT_TRUE(field(name)->IsNull()) << name;
    }
    EXPECT_EQ(query->FieldDefs().Find("vc")->Size(), 20);
    // Exact decimals: all digits as precision, the scale as size.
    EXPECT_EQ(query->FieldDefs().Find("m")->Precision(), 19);
    EXPECT_EQ(query->FieldDefs().Find("m")->Size(), 4);
    EXPECT_EQ(query->FieldDefs().Find("sm")->Precision(), 10);
    EXPECT_EQ(query->FieldDefs().Find("n")->Precision(), 10);
    EXPECT_EQ(query->FieldDefs().Find("n")->Size(), 2);
}

TEST_F(QueryTypes, NumericsOfEveryPrecisionConvert) {
    // numeric(p, p/2) for p = 1..38, each holding a negative value of p digits.
    std::string columns;
    std::string values;
    std::vector<std::string> texts;
    const std::string digits = "98765432109876543210987654321098765432";
    for (int p = 1; p <= 38; ++p) {
        const int scale = p / 2;
        columns += (p > 1 ? ", " : "") + ("n" + std::to_string(p)) + " numeric(" +
                   std::to_string(p) + "," + std::to_string(scale) + ")";
        std::string text = "-" + digits.substr(0, static_cast<std::size_t>(p - scale));
        if (scale > 0) {
            text += "." + digits.substr(static_cast<std::size_t>(p - scale),
                                        static_cast<std::size_t>(scale));
        }
        values += (p > 1 ? ", " : "") + text;
        texts.push_back(text);
    }
    exec(kConnection, "create table #numerics (" + columns + ")");
    exec(kConnection, "insert #numerics values (" + values + ")");
    auto query = makeQuery(kConnection, "select * from #numerics");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 1);
    for (int p = 1; p <= 38; ++p) {
        const std::string name = "n" + std::to_string(p);
        EXPECT_EQ(query->FieldByName(name)->AsFloat(), std::strtod(texts[p - 1].c_str(), nullptr))
            << name << " " << texts[p - 1];
        EXPECT_EQ(query->FieldByName(name)->AsString(),
                  host::BCDToStr(host::StrToBCD(texts[p - 1])))
            << name;
    }
}

TEST_F(QueryTypes, TypesBeyondTheClassicSetOpen) {
    exec(kConnection,
         "create table #more (bi bigint null, da date null, tm time null, lvb varbinary(300) null,"
         " uc unichar(3) null, uv univarchar(20) null, lvc varchar(1000) null)");
    exec(kConnection, "insert #more values (-9223372036854775807, '2026-12-07', '14:05:09', 0x" +
                          std::string(600, 'A') + ", 'ab', 'x\xC3\xA9y', '" +
                          std::string(1000, 'q') + "')\ninsert #more (bi) values (null)");
    auto query = makeQuery(kConnection, "select * from #more order by bi desc");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 2);
    query->First();
    EXPECT_EQ(query->FieldByName("bi")->DataType(), host::ftLargeint);
    EXPECT_EQ(query->FieldByName("bi")->AsLargeInt(), -9223372036854775807LL);
    EXPECT_EQ(query->FieldByName("da")->DataType(), host::ftDate);
    EXPECT_EQ(query->FieldByName("da")->AsDateTime(), host::EncodeDate(2026, 12, 7));
    EXPECT_EQ(query->FieldByName("tm")->DataType(), host::ftTime);
    EXPECT_EQ(query->FieldByName("tm")->AsDateTime(), host::EncodeTime(14, 5, 9, 0));
    EXPECT_EQ(query->FieldByName("lvb")->DataType(), host::ftVarBytes);
    EXPECT_EQ(query->FieldByName("lvb")->AsString(), std::string(300, '\xAA'));
    EXPECT_EQ(query->FieldByName("uc")->DataType(), host::ftString);
    EXPECT_EQ(query->FieldByName("uc")->AsString(), "ab ");
    EXPECT_EQ(query->FieldByName("uv")->AsString(), "x\xC3\xA9y");
    EXPECT_EQ(query->FieldByName("lvc")->AsString(), std::string(1000, 'q'));
    query->Next();
    for (const char* name : {"bi", "da", "tm", "lvb", "uc", "uv", "lvc"}) {
        EXPECT_TRUE(query->FieldByName(name)->IsNull()) << name;
    }
}

TEST_F(QueryTypes, LargeTextAndImageValuesReadWhole) {
    exec(kConnection, "set textsize 33554432");
    exec(kConnection, "create table #large (k int, t text null, im image null)");
    std::mt19937 random(11);
    std::string text(1 << 20, ' ');
    for (char& c : text) {
        c = static_cast<char>('a' + random() % 26);
    }
    text[100] = '\'';
    std::string image(16 << 20, '\0');
    for (char& c : image) {
        c = static_cast<char>(random() & 0xFF);
    }
    // The image goes in as a hexadecimal literal written here: a 16 MiB blob parameter
    // would hold one variant per byte.
    auto insert = makeQuery(kConnection, "insert #large values (1, :t, " +
                                             TSybQuery::PrepareBinaryValue(image) + ")");
    insert->ParamByName("t")->SetAsMemo(text);
    insert->ExecSQL();
    exec(kConnection, "insert #large values (2, :t, :im)"); // both NULL

    auto query = makeQuery(kConnection, "select t, im, datalength(im) as n from #large order by k");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 2);
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 16 << 20);
    const std::string readText = query->FieldByName("t")->AsString();
    EXPECT_EQ(readText.size(), text.size());
    EXPECT_TRUE(readText == text);
    const std::string readImage = query->FieldByName("im")->AsString();
    EXPECT_EQ(readImage.size(), image.size());
    EXPECT_TRUE(readImage == image);
    query->Next();
    EXPECT_TRUE(query->FieldByName("t")->IsNull());
    EXPECT_TRUE(query->FieldByName("im")->IsNull());
}

TEST_F(QueryTypes, BinaryColumnsSortAndLocateByValue) {
    // Fetched values of several lengths in one column: the sort compares the stored
    // bytes over each value's own length, the old bytes of a longer earlier row left
    // aside.
    exec(kConnection, "create table #bins (k int, b varbinary(8) null)");
    exec(kConnection, "insert #bins values (1, 0x8001)\ninsert #bins values (2, 0x7FFFFFFF)\n"
                      "insert #bins values (3, 0x80)\ninsert #bins values (4, null)\n"
                      "insert #bins values (5, 0x8000)");
    auto query = makeQuery(kConnection, "select k, b from #bins order by k");
    query->Open();
    query->SortOn("b", {});
    std::vector<int> keys;
    for (query->First(); !query->Eof(); query->Next()) {
        keys.push_back(query->FieldByName("k")->AsInteger());
    }
    EXPECT_EQ(keys, (std::vector<int>{4, 2, 3, 5, 1}));
    ASSERT_TRUE(query->Locate("b", host::VarFromBytes(std::string("\x80", 1)), {}));
    EXPECT_EQ(query->FieldByName("k")->AsInteger(), 3);
    EXPECT_FALSE(query->Locate("b", host::VarFromBytes(std::string("\x7F\xFF", 2)), {}));
}

TEST_F(QueryTypes, FieldNamesAreMadeUniqueWithoutLetterCase) {
    auto query = makeQuery(kConnection,
                           "select 1 as X, 2, 3 as X, 4 as a, 5 as A, 6 as A_1, 7 as b_1, 8 as b,"
                           " 9 as b, 10 as '  '");
    query->Open();
    std::vector<std::string> names;
    query->GetFieldNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"X", "COLUMN2", "X_1", "a", "A_1", "A_1_1", "b_1",
                                               "b", "b_2", "COLUMN10"}));
    EXPECT_EQ(query->FieldByName("A_1_1")->AsInteger(), 6);
    EXPECT_EQ(query->FieldByName("b_2")->AsInteger(), 9);
}

// A column described as not nullable makes a Required field, and Post refuses a record
// that leaves such a field null, naming the field as the application shows it.
TEST_F(QueryTypes, NotNullColumnsAreRequiredAndPostEnforcesThem) {
    exec(kConnection, "create table #required (k int not null, name varchar(10) not null, note "
                      "varchar(10) null)");
    exec(kConnection, "insert #required values (1, 'one', null)");
    auto query = makeQuery(kConnection, "select k, name, note from #required");
    query->Open();
    ASSERT_TRUE(query->Active());
    EXPECT_TRUE(query->FieldByName("k")->Required());
    EXPECT_TRUE(query->FieldByName("name")->Required());
    EXPECT_FALSE(query->FieldByName("note")->Required());
    query->FieldByName("name")->SetDisplayLabel("Customer name");

    query->Append();
    query->FieldByName("k")->SetAsInteger(2);
    EXPECT_EQ(querytest::errorOf([&] { query->Post(); }),
              "Field 'Customer name' must have a value");
    EXPECT_EQ(query->State(), host::dsInsert);
    query->FieldByName("name")->SetAsString("two");
    query->Post();
    EXPECT_EQ(query->RecordCount(), 2);

    query->First();
    query->Edit();
    query->FieldByName("k")->Clear();
    EXPECT_EQ(querytest::errorOf([&] { query->Post(); }), "Field 'k' must have a value");
    query->Cancel();
    EXPECT_EQ(query->FieldByName("k")->AsInteger(), 1);
}

TEST_F(QueryTypes, EmptyResultHasFieldsAndNoRecords) {
    exec(kConnection, "create table #empty (a int, b varchar(7))");
    auto query = makeQuery(kConnection, "select * from #empty");
    query->Open();
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(query->FieldCount(), 2);
    EXPECT_EQ(query->RecordCount(), 0);
    EXPECT_EQ(query->FieldDefs().Find("b")->Size(), 7);
}

TEST_F(QueryTypes, DatesSplitAsTheLibrarySplitsThem) {
    CS_CONTEXT* context = s_connection->Context();
    ASSERT_NE(context, nullptr);
    std::mt19937 random(5);
    auto check = [context](CS_INT type, const void* raw) {
        CS_DATEREC record{};
        ASSERT_EQ(cs_dt_crack(context, type, const_cast<void*>(raw), &record), CS_SUCCEED);
        ASSERT_EQ(clientvalue::ServerDateTimeMSecs(context, type, raw),
                  clientvalue::DateTimeMSecs(record.dateyear, record.datemonth + 1,
                                             record.datedmonth, record.datehour, record.dateminute,
                                             record.datesecond, record.datemsecond));
    };
    for (int k = 0; k < 5000; ++k) {
        CS_DATETIME value{static_cast<CS_INT>(random() % 2958463) - 53690,
                          static_cast<CS_INT>(random() % (300 * 86400))};
        if (k < 300) {
            value.dttime = k; // every fraction of the first second
        }
        check(CS_DATETIME_TYPE, &value);
        CS_DATETIME4 small{static_cast<CS_USHORT>(random() % 65536),
                           static_cast<CS_USHORT>(random() % 1440)};
        check(CS_DATETIME4_TYPE, &small);
    }
    CS_DATETIME bad{0, 300 * 86400};
    EXPECT_EQ(querytest::errorOf(
                  [&] { (void)clientvalue::ServerDateTimeMSecs(context, CS_DATETIME_TYPE, &bad); }),
              "cs_dt_crack failed.");
    EXPECT_EQ(querytest::errorOf(
                  [&] { (void)clientvalue::ServerDateTimeMSecs(nullptr, CS_DATETIME_TYPE, &bad); }),
              "Connection not defined");
}

TEST(QueryTypeMapping, UnknownClientTypesAreRefusedByCode) {
    CS_DATAFMT format{};
    std::strcpy(format.name, "x");
    format.namelen = 1;
    format.maxlength = 4;
    for (CS_INT code : {CS_SENSITIVITY_TYPE, CS_BOUNDARY_TYPE, CS_VOID_TYPE, CS_XML_TYPE, 99, -3}) {
        format.datatype = code;
        TSybClientField field(nullptr, 1, format);
        try {
            (void)field.GetOstrelDataType();
            ADD_FAILURE() << code;
        } catch (const host::Exception& e) {
            EXPECT_EQ(e.Message(),
                      "Unknown data type " + std::to_string(code) + " receiver from SQL Server");
        }
    }
}

TEST(QueryTypeMapping, NumericPrecisionsOutsideTheLibraryRangeRaise) {
    unsigned char numeric[35] = {39, 0, 0, 1};
    try {
        (void)clientvalue::NumericToDouble(numeric);
        FAIL();
    } catch (const ESybQueryError& e) {
        EXPECT_EQ(e.Message(), "Precision 39 not supported for numeric types");
    }
    numeric[0] = 0;
    EXPECT_THROW((void)clientvalue::NumericToDouble(numeric), ESybQueryError);
    // Magnitude bytes grow with the precision, 16 for 38 digits.
    EXPECT_EQ(clientvalue::NumericMagnitudeBytes(20), 9);
    EXPECT_EQ(clientvalue::NumericMagnitudeBytes(21), 9);
    EXPECT_EQ(clientvalue::NumericMagnitudeBytes(25), 11);
    EXPECT_EQ(clientvalue::NumericMagnitudeBytes(38), 16);
}

TEST(QueryTypeMapping, DateMillisecondsMatchTheHostTimeStamp) {
    std::mt19937 random(3);
    for (int k = 0; k < 2000; ++k) {
        const int y = 1753 + static_cast<int>(random() % 8246);
        const int mo = 1 + static_cast<int>(random() % 12);
        const int d =
            1 + static_cast<int>(random() % static_cast<unsigned>(host::DaysInAMonth(y, mo)));
        const int h = static_cast<int>(random() % 24);
        const int mi = static_cast<int>(random() % 60);
        const int s = static_cast<int>(random() % 60);
        const int ms = static_cast<int>(random() % 1000);
        host::TDateTime date = host::EncodeDate(y, mo, d);
        const host::TDateTime time = host::EncodeTime(h, mi, s, ms);
        const host::TDateTime value = date < 0 ? date - time : date + time;
        ASSERT_EQ(clientvalue::DateTimeMSecs(y, mo, d, h, mi, s, ms),
                  host::TimeStampToMSecs(host::DateTimeToTimeStamp(value)));
    }
}

} // namespace

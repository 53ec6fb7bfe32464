// How the development server encodes every column type, checked through ct-lib: the type
// ct_describe reports, the exact value (raw bytes where text would round), and NULL.
#include "support/CtClient.h"
#include "support/DevServer.h"

#include <gtest/gtest.h>

#include <cstring>

using testsupport::CtBatch;
using testsupport::CtConnection;
using testsupport::CtResult;
using testsupport::DevServer;

namespace {

template <class T> T rawAs(const testsupport::CtValue& v) {
    T out{};
    EXPECT_EQ(v.raw.size(), sizeof out);
    std::memcpy(&out, v.raw.data(), std::min(v.raw.size(), sizeof out));
    return out;
}

class ProtocolTypes : public ::testing::Test {
protected:
    void SetUp() override {
        CtBatch b = con.execute(
            "create table typed (b bit null, ti tinyint null, si smallint null, i int null, bi "
            "bigint null, r real null, "
            "f float null, sm smallmoney null, m money null, n numeric(38,0) null, d decimal(10,2) "
            "null, dt datetime null, "
            "sdt smalldatetime null, da date null, t time null, c char(5) null, vc varchar(20) "
            "null, lc varchar(1000) null, "
            "u univarchar(10) null, bn binary(4) null, vb varbinary(300) null, tx text null, im "
            "image null)\n"
            "insert into typed values (1, 200, -300, -70000, -5000000000, 1.5, -2.25, 12.3456, "
            "-123456789.1234, 99999999999999999999999999999999999999, -12345678.90, "
            "'2026-07-12 14:05:09.997', '2026-07-12 14:05', '2026-07-12', '14:05:09', 'ab', '', "
            "'" +
            std::string(600, 'L') + "', 'h\xC3\xA9llo', 0x0102, 0x" + std::string(600, '7') +
            ", 'some text', 0xff0001)\n"
            "insert into typed (b) values (0)");
        ASSERT_FALSE(b.failed) << (b.errors().empty() ? "" : b.errors()[0].text);
        b = con.execute("select * from typed order by b desc");
        ASSERT_EQ(b.rowResults().size(), 1u);
        result = *b.rowResults()[0];
        ASSERT_EQ(result.rows.size(), 2u);
        ASSERT_EQ(result.columns.size(), 23u);
    }
    const testsupport::CtColumn& column(const std::string& name) {
        for (const auto& c : result.columns)
            if (c.name == name)
                return c;
        throw std::runtime_error("no column " + name);
    }
    const testsupport::CtValue& value(size_t row, const std::string& name) {
        for (size_t i = 0; i < result.columns.size(); ++i)
            if (result.columns[i].name == name)
                return result.rows.at(row).at(i);
        throw std::runtime_error("no column " + name);
    }

    DevServer server;
    CtConnection con;
    CtResult result;
};

} // namespace

TEST_F(ProtocolTypes, DescribedTypesFollowTheDeclaredTypes) {
    const std::pair<const char*, CS_INT> expected[] = {
        {"b", CS_BIT_TYPE},         {"ti", CS_TINYINT_TYPE},    {"si", CS_SMALLINT_TYPE},
        {"i", CS_INT_TYPE},         {"bi", CS_BIGINT_TYPE},     {"r", CS_REAL_TYPE},
        {"f", CS_FLOAT_TYPE},       {"sm", CS_MONEY4_TYPE},     {"m", CS_MONEY_TYPE},
        {"n", CS_NUMERIC_TYPE},     {"d", CS_DECIMAL_TYPE},     {"dt", CS_DATETIME_TYPE},
        {"sdt", CS_DATETIME4_TYPE}, {"da", CS_DATE_TYPE},       {"t", CS_TIME_TYPE},
        {"c", CS_CHAR_TYPE},        {"vc", CS_CHAR_TYPE},       {"lc", CS_CHAR_TYPE},
        {"bn", CS_BINARY_TYPE},     {"vb", CS_LONGBINARY_TYPE}, {"tx", CS_TEXT_TYPE},
        {"im", CS_IMAGE_TYPE}};
    for (const auto& [name, type] : expected)
        EXPECT_EQ(column(name).datatype, type) << name;
    EXPECT_EQ(column("n").precision, 38);
    EXPECT_EQ(column("d").precision, 10);
    EXPECT_EQ(column("d").scale, 2);
    EXPECT_EQ(column("c").maxLength, 5);
    EXPECT_EQ(column("lc").maxLength, 1000);
    EXPECT_EQ(column("vb").maxLength, 300);
    EXPECT_TRUE(column("i").status & CS_CANBENULL);
    EXPECT_EQ(column("bn").usertype, 3);
    EXPECT_EQ(column("vb").usertype, 4);
}

TEST_F(ProtocolTypes, ValuesArriveExactly) {
    EXPECT_EQ(value(0, "b").text, "1");
    EXPECT_EQ(value(0, "ti").text, "200");
    EXPECT_EQ(value(0, "si").text, "-300");
    EXPECT_EQ(value(0, "i").text, "-70000");
    EXPECT_EQ(value(0, "bi").text, "-5000000000");
    EXPECT_EQ(rawAs<float>(value(0, "r")), 1.5f);
    EXPECT_EQ(rawAs<double>(value(0, "f")), -2.25);
    EXPECT_EQ(rawAs<CS_MONEY4>(value(0, "sm")).mny4, 123456);
    const auto m = rawAs<CS_MONEY>(value(0, "m"));
    EXPECT_EQ((static_cast<int64_t>(m.mnyhigh) << 32) | m.mnylow, -1234567891234LL);
    EXPECT_EQ(value(0, "n").text, "99999999999999999999999999999999999999");
    EXPECT_EQ(value(0, "d").text, "-12345678.90");
    const auto dt = rawAs<CS_DATETIME>(value(0, "dt"));
    EXPECT_EQ(dt.dtdays, 46213);
    EXPECT_EQ(dt.dttime, 15212999);
    const auto sdt = rawAs<CS_DATETIME4>(value(0, "sdt"));
    EXPECT_EQ(sdt.days, 46213);
    EXPECT_EQ(sdt.minutes, 845);
    EXPECT_EQ(rawAs<CS_DATE>(value(0, "da")), 46213);
    EXPECT_EQ(rawAs<CS_TIME>(value(0, "t")), (14 * 3600 + 5 * 60 + 9) * 300);
    EXPECT_EQ(value(0, "c").text, "ab   ");
    EXPECT_EQ(value(0, "vc").text, " "); // '' travels as one space: length 0 means NULL
    EXPECT_EQ(value(0, "lc").text, std::string(600, 'L'));
    EXPECT_EQ(value(0, "u").text, "h\xC3\xA9llo");
    EXPECT_EQ(value(0, "bn").raw, std::string("\x01\x02\x00\x00", 4));
    EXPECT_EQ(value(0, "vb").raw, std::string(300, '\x77'));
    EXPECT_EQ(value(0, "tx").text, "some text");
    EXPECT_EQ(value(0, "im").raw, std::string("\xff\x00\x01", 3));
}

TEST_F(ProtocolTypes, NullTravelsInEveryNullableType) {
    EXPECT_FALSE(value(1, "b").isNull);
    for (size_t i = 1; i < result.columns.size(); ++i)
        EXPECT_TRUE(result.rows[1][i].isNull) << result.columns[i].name;
}

TEST_F(ProtocolTypes, LargeTextAndImageRoundTrip) {
    std::string text;
    for (int i = 0; text.size() < (1u << 20) + 17; ++i)
        text += "line " + std::to_string(i) + " of a long text\n";
    std::string hex;
    std::string image;
    for (size_t i = 0; i < (1u << 20) + 3; ++i) {
        const auto byte = static_cast<unsigned char>((i * 7) & 0xFF);
        image.push_back(static_cast<char>(byte));
        static const char* digits = "0123456789abcdef";
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    // The client library's text-size option lifts the default limit of 32,768 bytes.
    CS_INT textSize = 4 << 20;
    ASSERT_EQ(ct_options(con.connection(), CS_SET, CS_OPT_TEXTSIZE, &textSize, CS_UNUSED, nullptr),
              CS_SUCCEED);
    ASSERT_FALSE(con.execute("create table blobs (tx text, im image)\n"
                             "insert into blobs values ('" +
                             text + "', 0x" + hex + ")")
                     .failed);
    CtBatch b = con.execute("select tx, im from blobs");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto& row = b.rowResults()[0]->rows.at(0);
    EXPECT_EQ(row[0].text.size(), text.size());
    EXPECT_TRUE(row[0].text == text);
    EXPECT_EQ(row[1].raw.size(), image.size());
    EXPECT_TRUE(row[1].raw == image);
}

TEST(ProtocolWideRows, AFormatLongerThan64KiBTravelsAsRowFmt2) {
    DevServer server;
    CtConnection con;
    constexpr int kColumns = 600;
    // 600 columns of about 125 bytes of format each: some 75 KB, beyond ROWFMT's 16-bit length.
    const std::string prefix = "a_rather_long_column_name_so_that_the_format_outgrows_64_kib_" +
                               std::string(50, 'x') + "_";
    std::string create = "create table wide (";
    std::string insert = "insert into wide values (";
    for (int i = 0; i < kColumns; ++i) {
        create += (i ? ", " : "") + prefix + std::to_string(i) + " varchar(20) null";
        insert += (i ? ", " : "") + std::string("'v") + std::to_string(i) + "'";
    }
    ASSERT_FALSE(con.execute(create + ")").failed);
    ASSERT_FALSE(con.execute(insert + ")").failed);
    CtBatch b = con.execute("select * from wide");
    ASSERT_EQ(b.rowResults().size(), 1u);
    const auto* r = b.rowResults()[0];
    ASSERT_EQ(r->columns.size(), static_cast<size_t>(kColumns));
    EXPECT_EQ(r->columns[kColumns - 1].name, prefix + std::to_string(kColumns - 1));
    ASSERT_EQ(r->rows.size(), 1u);
    EXPECT_EQ(r->rows[0][kColumns - 1].text, "v" + std::to_string(kColumns - 1));
}

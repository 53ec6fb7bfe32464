// The server's codec without a network: packet reassembly over arbitrary splits, value
// encodings at their edges, and malformed requests, which must raise ProtocolError (never
// crash or read out of bounds; the sanitizer build checks the latter).
#include "ByteBuffer.h"
#include "Codec.h"
#include "PacketIo.h"
#include "RequestReader.h"
#include "TokenWriter.h"
#include "raw_packet.h"

#include <gtest/gtest.h>

#include <random>

using namespace devserver;
using devservertest::rawPacket;

namespace {

std::string encode(const ColumnType& type, const Value& value) {
    ByteWriter out;
    writeValue(out, describe(type), value);
    return out.data();
}

Value text(const std::string& s) {
    Value v;
    v.isNull = false;
    v.bytes = s;
    return v;
}

// A DBRPC request for procedure "p" with one INTN(4) input and one VARCHAR output parameter.
std::string rpcRequest() {
    ByteWriter w;
    w.u8(token::kDbRpc);
    w.u16(5);
    w.bVarchar("p1");
    w.u16(2);
    ByteWriter fmt;
    fmt.u16(2);
    fmt.bVarchar("@a");
    fmt.u8(0);
    fmt.i32(0);
    fmt.u8(wire::kIntN);
    fmt.u8(4);
    fmt.u8(0);
    fmt.bVarchar("@b");
    fmt.u8(1);
    fmt.i32(0);
    fmt.u8(wire::kVarChar);
    fmt.u8(20);
    fmt.u8(0);
    w.u8(token::kParamFmt);
    w.u16(static_cast<uint16_t>(fmt.size()));
    w.bytes(fmt.data());
    w.u8(token::kParams);
    w.u8(4);
    w.i32(-5);
    w.u8(0);
    return w.data();
}

} // namespace

TEST(ProtocolCodec, MessagesReassembleWhateverTheReadSizes) {
    const std::string first(1000, 'a');
    const std::string stream = rawPacket(0x0F, 0x00, first.substr(0, 504)) +
                               rawPacket(0x0F, 0x01, first.substr(504)) +
                               rawPacket(0x06, 0x01, "") + rawPacket(0x01, 0x01, "select 1");
    for (size_t chunk : {1u, 3u, 7u, 8u, 9u, 511u, 4096u}) {
        MessageAssembler a(1 << 20);
        std::vector<Message> got;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            a.append(stream.data() + at, std::min(chunk, stream.size() - at));
            Message m;
            std::string error;
            ParseResult r;
            while ((r = a.next(m, error)) == ParseResult::Complete)
                got.push_back(m);
            ASSERT_NE(r, ParseResult::Error) << error;
        }
        ASSERT_EQ(got.size(), 3u) << chunk;
        EXPECT_EQ(got[0].type, 0x0F);
        EXPECT_EQ(got[0].payload, first);
        EXPECT_EQ(got[1].type, 0x06);
        EXPECT_EQ(got[1].payload, "");
        EXPECT_EQ(got[2].payload, "select 1");
        EXPECT_FALSE(a.hasPartial());
    }
}

TEST(ProtocolCodec, AssemblerRefusesOversizedMixedAndUnknownPackets) {
    Message m;
    std::string error;
    MessageAssembler small(100);
    const std::string big =
        rawPacket(0x0F, 0x00, std::string(60, 'x')) + rawPacket(0x0F, 0x01, std::string(60, 'y'));
    small.append(big.data(), big.size());
    EXPECT_EQ(small.next(m, error), ParseResult::Error);

    MessageAssembler mixed(1000);
    const std::string interleaved = rawPacket(0x0F, 0x00, "abc") + rawPacket(0x01, 0x01, "def");
    mixed.append(interleaved.data(), interleaved.size());
    EXPECT_EQ(mixed.next(m, error), ParseResult::Error);

    MessageAssembler typed(1000);
    typed.setAcceptedTypes({0x02});
    const std::string header("\x47\x45\x54\x20", 4); // "GET " announces a 21 KB packet
    typed.append(header.data(), header.size());
    typed.append(std::string(4, '\0').data(), 4);
    EXPECT_EQ(typed.next(m, error), ParseResult::Error); // refused before the bogus length
}

TEST(ProtocolCodec, NumericUsesThePrecisionsByteCountAndBigEndianMagnitude) {
    Value v;
    v.isNull = false;
    v.numeric = -1234567890;
    EXPECT_EQ(encode({SqlType::Numeric, 0, 10, 2, true}, v),
              std::string("\x06\x01\x00\x49\x96\x02\xD2", 7));
    __int128 max = 0;
    for (int i = 0; i < 38; ++i)
        max = max * 10 + 9;
    v.numeric = max;
    const std::string wide = encode({SqlType::Decimal, 0, 38, 0, true}, v);
    ASSERT_EQ(wide.size(), 18u);
    EXPECT_EQ(wide[0], 17);
    EXPECT_EQ(wide[1], 0);
    for (int p = 1; p <= 38; ++p)
        EXPECT_EQ(
            static_cast<int>(encode({SqlType::Numeric, 0, static_cast<uint8_t>(p), 0, true}, v)[0]),
            numericBytes(p));
    EXPECT_EQ(encode({SqlType::Numeric, 0, 5, 0, true}, Value::null()), std::string(1, '\0'));
}

TEST(ProtocolCodec, StringsAreCutAtCharacterBoundariesAndEmptyIsNotNull) {
    // Four two-byte characters into a varchar(5): cut to two characters, not 5 bytes.
    EXPECT_EQ(encode({SqlType::VarChar, 5, 0, 0, true}, text("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9")),
              std::string("\x04\xC3\xA9\xC3\xA9", 5));
    EXPECT_EQ(encode({SqlType::VarChar, 5, 0, 0, true}, text("")), std::string("\x01 ", 2));
    EXPECT_EQ(encode({SqlType::Char, 4, 0, 0, true}, text("ab")), std::string("\x04"
                                                                              "ab  ",
                                                                              5));
    EXPECT_EQ(encode({SqlType::VarBinary, 4, 0, 0, true}, text("")), std::string("\x01\x00", 2));
    EXPECT_EQ(encode({SqlType::VarChar, 300, 0, 0, true}, Value::null()), std::string(4, '\0'));
    EXPECT_EQ(encode({SqlType::Text, 0, 0, 0, true}, Value::null()), std::string(1, '\0'));
    const std::string t = encode({SqlType::Text, 0, 0, 0, true}, text(""));
    EXPECT_EQ(t.size(), 1u + 24 + 4); // pointer and timestamp, then length 0: empty, not NULL
    EXPECT_EQ(t[0], 16);
}

TEST(ProtocolCodec, UnicharTravelsAsUtf16WithSurrogatesAndReplacement) {
    EXPECT_EQ(utf8ToUtf16le("A\xC3\xA9"), std::string("A\x00\xE9\x00", 4));
    EXPECT_EQ(utf8ToUtf16le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4)); // U+1F600
    EXPECT_EQ(utf8ToUtf16le("\xC3"), std::string("\xFD\xFF", 2));             // truncated sequence
    EXPECT_EQ(utf8ToUtf16le("\xC0\xAF"), std::string("\xFD\xFF\xFD\xFF", 4)); // overlong
    EXPECT_EQ(encode({SqlType::UniChar, 3, 0, 0, true}, text("a")), std::string("\x06\x00\x00\x00"
                                                                                "a\x00 \x00 \x00",
                                                                                10));
}

TEST(ProtocolCodec, DateAndTimeWidenToDatetimeForOlderClients) {
    Value d;
    d.isNull = false;
    d.days = 46213;
    EXPECT_EQ(describe({SqlType::Date, 4, 0, 0, true}, false).datatype, wire::kDateTimeN);
    ByteWriter out;
    writeValue(out, describe({SqlType::Date, 4, 0, 0, true}, false), d);
    EXPECT_EQ(out.data(), std::string("\x08\x85\xB4\x00\x00\x00\x00\x00\x00", 9));
    Value t;
    t.isNull = false;
    t.ticks = 300;
    ByteWriter out2;
    writeValue(out2, describe({SqlType::Time, 4, 0, 0, false}, false), t);
    EXPECT_EQ(out2.data(), std::string("\x00\x00\x00\x00\x2C\x01\x00\x00", 8));
}

TEST(ProtocolCodec, RpcRequestDecodesNamesTypesValuesAndOutputFlags) {
    Message m{0x0F, rpcRequest()};
    const Request r = parseRequest(m);
    ASSERT_EQ(r.kind, Request::Kind::Rpc);
    EXPECT_EQ(r.rpcName, "p1");
    ASSERT_EQ(r.params.size(), 2u);
    EXPECT_EQ(r.params[0].name, "@a");
    EXPECT_EQ(r.params[0].format.column.type, SqlType::Int);
    EXPECT_EQ(r.params[0].value.integer, -5);
    EXPECT_FALSE(r.params[0].output);
    EXPECT_TRUE(r.params[1].output);
    EXPECT_TRUE(r.params[1].value.isNull);
}

TEST(ProtocolCodec, MutatedRequestsRaiseProtocolErrorOrParse) {
    const std::string base = rpcRequest();
    std::mt19937 random(12345);
    int errors = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = base;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % bytes.size();
            switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.erase(at, 1 + random() % 4);
                break;
            default:
                bytes.insert(at, 1, static_cast<char>(random()));
                break;
            }
            if (bytes.empty())
                bytes = "\xE6";
        }
        try {
            (void)parseRequest(Message{0x0F, bytes});
        } catch (const ProtocolError&) {
            ++errors;
        }
    }
    EXPECT_GT(errors, 0);
}

TEST(ProtocolCodec, TruncatedLoginRecordsAreRefused) {
    std::string record(568, '\0');
    record[124] = 3;
    record[125] = 1;
    record[127] = 10;
    record[128] = 9;
    record[557] = '9';
    record[563] = 50; // length byte beyond the 6-byte field: clamped, not trusted
    const LoginRecord r = parseLogin(record);
    EXPECT_TRUE(r.littleEndian);
    EXPECT_FALSE(r.hasCapabilities);
    for (size_t n : {0u, 100u, 567u})
        EXPECT_THROW(parseLogin(record.substr(0, n)), ProtocolError);
    // A capability token whose length runs past the record.
    EXPECT_THROW(parseLogin(record + std::string("\xE2\x40\x00\x01\x0E", 5)), ProtocolError);
}

TEST(ProtocolCodec, TextColumnsNameTheirTableAndCarryATextPointer) {
    ColumnType textType;
    textType.type = SqlType::Text;
    WireFormat f = describe(textType);
    f.table = "docs";
    ByteWriter info;
    writeTypeInfo(info, f);
    // usertype, datatype, max length, then the table name with its u16 length.
    EXPECT_NE(info.data().find(std::string("\x04\x00"
                                           "docs",
                                           6)),
              std::string::npos);
    ByteWriter value;
    writeValue(value, f, text("abc"));
    const std::string v = value.data();
    ASSERT_EQ(v.size(), 1u + 16 + 8 + 4 + 3);
    EXPECT_EQ(v[0], 16);
    EXPECT_NE(v.substr(1, 16), std::string(16, '\0')) << "a zero text pointer reads as no text";
    // Binary types carry the server's user types 3 and 4.
    ColumnType binary;
    binary.type = SqlType::Binary;
    binary.length = 8;
    EXPECT_EQ(describe(binary).usertype, 3);
    binary.type = SqlType::VarBinary;
    EXPECT_EQ(describe(binary).usertype, 4);
    binary.length = 300;
    EXPECT_EQ(describe(binary).usertype, 4);
}

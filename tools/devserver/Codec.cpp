// Encoding and decoding of TDS 5.0 values.
#include "Codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace devserver {

namespace {

constexpr int32_t kTextMaxLength = 2147483647;

bool isNullableFixed(uint8_t datatype) {
    switch (datatype) {
    case wire::kIntN:
    case wire::kUIntN:
    case wire::kFltN:
    case wire::kMoneyN:
    case wire::kDateTimeN:
    case wire::kDateN:
    case wire::kTimeN:
    case wire::kBitN:
        return true;
    default:
        return false;
    }
}

WireFormat sized(const ColumnType& type, uint8_t fixed, uint8_t nullable, int32_t size) {
    WireFormat f;
    f.column = type;
    f.datatype = type.nullable ? nullable : fixed;
    f.maxLength = size;
    return f;
}

void writeIntegerLe(ByteWriter& out, int64_t v, int size) {
    const auto u = static_cast<uint64_t>(v);
    for (int i = 0; i < size; ++i)
        out.u8(static_cast<uint8_t>((u >> (8 * i)) & 0xFF));
}

int64_t readIntegerLe(ByteReader& in, int size, bool isSigned) {
    uint64_t u = 0;
    for (int i = 0; i < size; ++i)
        u |= static_cast<uint64_t>(in.u8()) << (8 * i);
    if (isSigned && size < 8 && (u >> (8 * size - 1)) & 1)
        u |= ~uint64_t{0} << (8 * size);
    return static_cast<int64_t>(u);
}

// Writes the fixed-size body of a number-like value (no length byte).
void writeFixedBody(ByteWriter& out, const WireFormat& f, const Value& v) {
    switch (f.column.type) {
    case SqlType::Bit:
        out.u8(v.integer != 0 ? 1 : 0);
        break;
    case SqlType::TinyInt:
        out.u8(static_cast<uint8_t>(v.integer));
        break;
    case SqlType::SmallInt:
        writeIntegerLe(out, v.integer, 2);
        break;
    case SqlType::Int:
        writeIntegerLe(out, v.integer, 4);
        break;
    case SqlType::BigInt:
        writeIntegerLe(out, v.integer, 8);
        break;
    case SqlType::Real:
        out.u32(std::bit_cast<uint32_t>(static_cast<float>(v.real)));
        break;
    case SqlType::Float:
        out.u64(std::bit_cast<uint64_t>(v.real));
        break;
    case SqlType::SmallMoney:
        out.i32(static_cast<int32_t>(v.integer));
        break;
    case SqlType::Money:
        out.i32(static_cast<int32_t>(v.integer >> 32));
        out.u32(static_cast<uint32_t>(v.integer & 0xFFFFFFFF));
        break;
    case SqlType::SmallDateTime:
        out.u16(static_cast<uint16_t>(v.days));
        out.u16(static_cast<uint16_t>(v.ticks / 18000));
        break;
    case SqlType::DateTime:
        out.i32(v.days);
        out.u32(v.ticks);
        break;
    // A date or time widened to datetime (maxLength 8, see describe): a date at midnight,
    // a time on the first day.
    case SqlType::Date:
        out.i32(v.days);
        if (f.maxLength == 8)
            out.u32(0);
        break;
    case SqlType::Time:
        if (f.maxLength == 8)
            out.i32(0);
        out.i32(static_cast<int32_t>(v.ticks));
        break;
    default:
        break;
    }
}

std::string paddedOrCut(const WireFormat& f, const Value& v, bool character, char pad) {
    const size_t max = static_cast<size_t>(std::max(f.maxLength, 1));
    std::string s = v.bytes;
    if (s.size() > max)
        s.resize(character ? utf8Prefix(s, max) : max);
    const bool fixed = f.column.type == SqlType::Char || f.column.type == SqlType::Binary;
    if (fixed && s.size() < max)
        s.append(max - s.size(), pad);
    if (s.empty())
        s.assign(1, pad == ' ' ? ' ' : '\0');
    return s;
}

} // namespace

int numericBytes(int precision) {
    static constexpr int kBytes[39] = {0,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,
                                       7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12,
                                       12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
    return kBytes[std::clamp(precision, 1, 38)];
}

namespace {

/// numeric and decimal: precision 1 to 38, the scale no greater.
WireFormat describeNumeric(const ColumnType& type) {
    WireFormat f;
    f.column = type;
    f.datatype = type.type == SqlType::Numeric ? wire::kNumN : wire::kDecN;
    f.precision = static_cast<uint8_t>(std::clamp<int>(type.precision, 1, 38));
    f.scale = std::min(type.scale, f.precision);
    f.column.precision = f.precision;
    f.column.scale = f.scale;
    f.maxLength = numericBytes(f.precision);
    return f;
}

/// char, varchar, binary and varbinary: the long forms past 255 bytes.
WireFormat describeBytes(const ColumnType& type) {
    WireFormat f;
    f.column = type;
    const int32_t length = std::max<int32_t>(type.length, 1);
    const bool character = type.type == SqlType::Char || type.type == SqlType::VarChar;
    if (length > 255) {
        f.datatype = character ? wire::kLongChar : wire::kLongBinary;
    } else {
        switch (type.type) {
        case SqlType::Char:
            f.datatype = wire::kChar;
            break;
        case SqlType::VarChar:
            f.datatype = wire::kVarChar;
            break;
        case SqlType::Binary:
            f.datatype = wire::kBinary;
            break;
        default:
            f.datatype = wire::kVarBinary;
            break;
        }
    }
    // The server's user types of binary and varbinary (char and varchar keep 0).
    if (type.type == SqlType::Binary)
        f.usertype = wire::kUserTypeBinary;
    if (type.type == SqlType::VarBinary)
        f.usertype = wire::kUserTypeVarBinary;
    f.maxLength = length;
    f.column.length = length;
    return f;
}

/// unichar and univarchar travel as long binary of UTF-16 with their user type.
WireFormat describeUnicode(const ColumnType& type) {
    WireFormat f;
    f.column = type;
    f.datatype = wire::kLongBinary;
    f.usertype = type.type == SqlType::UniChar ? wire::kUserTypeUniChar : wire::kUserTypeUniVarChar;
    const int32_t chars = std::clamp<int32_t>(type.length, 1, 1 << 28);
    f.maxLength = chars * 2;
    f.column.length = chars;
    return f;
}

/// text and image.
WireFormat describeLob(const ColumnType& type) {
    WireFormat f;
    f.column = type;
    f.datatype = type.type == SqlType::Text ? wire::kText : wire::kImage;
    f.usertype = type.type == SqlType::Text ? wire::kUserTypeText : wire::kUserTypeImage;
    f.maxLength = kTextMaxLength;
    return f;
}

} // namespace

WireFormat describe(const ColumnType& declared, bool dateAndTime) {
    if (!dateAndTime && (declared.type == SqlType::Date || declared.type == SqlType::Time)) {
        ColumnType widened = declared;
        widened.type = SqlType::DateTime;
        WireFormat f = describe(widened, true);
        f.column = declared;
        return f;
    }
    const ColumnType& type = declared;
    switch (type.type) {
    case SqlType::Bit:
        return sized(type, wire::kBit, wire::kBitN, 1);
    case SqlType::TinyInt:
        return sized(type, wire::kInt1, wire::kIntN, 1);
    case SqlType::SmallInt:
        return sized(type, wire::kInt2, wire::kIntN, 2);
    case SqlType::Int:
        return sized(type, wire::kInt4, wire::kIntN, 4);
    case SqlType::BigInt:
        return sized(type, wire::kInt8, wire::kIntN, 8);
    case SqlType::Real:
        return sized(type, wire::kFlt4, wire::kFltN, 4);
    case SqlType::Float:
        return sized(type, wire::kFlt8, wire::kFltN, 8);
    case SqlType::SmallMoney:
        return sized(type, wire::kMoney4, wire::kMoneyN, 4);
    case SqlType::Money:
        return sized(type, wire::kMoney, wire::kMoneyN, 8);
    case SqlType::SmallDateTime:
        return sized(type, wire::kDateTime4, wire::kDateTimeN, 4);
    case SqlType::DateTime:
        return sized(type, wire::kDateTime, wire::kDateTimeN, 8);
    case SqlType::Date:
        return sized(type, wire::kDate, wire::kDateN, 4);
    case SqlType::Time:
        return sized(type, wire::kTime, wire::kTimeN, 4);
    case SqlType::Numeric:
    case SqlType::Decimal:
        return describeNumeric(type);
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::Binary:
    case SqlType::VarBinary:
        return describeBytes(type);
    case SqlType::UniChar:
    case SqlType::UniVarChar:
        return describeUnicode(type);
    case SqlType::Text:
    case SqlType::Image:
        return describeLob(type);
    }
    return sized(type, wire::kInt4, wire::kIntN, 4);
}

void writeTypeInfo(ByteWriter& out, const WireFormat& f) {
    out.i32(f.usertype);
    out.u8(f.datatype);
    switch (f.datatype) {
    case wire::kNumN:
    case wire::kDecN:
        out.u8(static_cast<uint8_t>(f.maxLength));
        out.u8(f.precision);
        out.u8(f.scale);
        break;
    case wire::kChar:
    case wire::kVarChar:
    case wire::kBinary:
    case wire::kVarBinary:
        out.u8(static_cast<uint8_t>(f.maxLength));
        break;
    case wire::kLongChar:
    case wire::kLongBinary:
        out.i32(f.maxLength);
        break;
    case wire::kText:
    case wire::kImage:
        out.i32(f.maxLength);
        out.u16(static_cast<uint16_t>(f.table.size()));
        out.bytes(f.table);
        break;
    default:
        if (isNullableFixed(f.datatype))
            out.u8(static_cast<uint8_t>(f.maxLength));
        break;
    }
}

namespace {

constexpr uint8_t kTextPointerLength = 16;
// The mark after the row id of a text pointer that names a row.
constexpr std::string_view kTextPointerMark("\x52\x4f\x57\x49\x44\x00\x00\x01", 8);

std::string textPointerOf(int64_t row) {
    std::string pointer;
    for (int i = 0; i < 8; ++i)
        pointer += static_cast<char>(static_cast<uint64_t>(row) >> (8 * i));
    pointer += kTextPointerMark;
    return pointer;
}

} // namespace

std::optional<int64_t> textPointerRow(std::string_view pointer) {
    if (pointer.size() != kTextPointerLength || pointer.substr(8) != kTextPointerMark)
        return std::nullopt;
    uint64_t row = 0;
    for (int i = 7; i >= 0; --i)
        row = (row << 8) | static_cast<uint8_t>(pointer[static_cast<size_t>(i)]);
    return static_cast<int64_t>(row);
}

void writeValue(ByteWriter& out, const WireFormat& f, const Value& v) {
    switch (f.datatype) {
    case wire::kNumN:
    case wire::kDecN: {
        if (v.isNull) {
            out.u8(0);
            return;
        }
        const int n = numericBytes(f.precision);
        out.u8(static_cast<uint8_t>(n));
        const bool negative = v.numeric < 0;
        auto magnitude = negative ? static_cast<unsigned __int128>(-(v.numeric + 1)) + 1
                                  : static_cast<unsigned __int128>(v.numeric);
        out.u8(negative ? 1 : 0);
        for (int i = n - 2; i >= 0; --i)
            out.u8(i >= 16 ? 0 : static_cast<uint8_t>((magnitude >> (8 * i)) & 0xFF));
        return;
    }
    case wire::kChar:
    case wire::kVarChar:
    case wire::kBinary:
    case wire::kVarBinary: {
        if (v.isNull) {
            out.u8(0);
            return;
        }
        const bool character = f.datatype == wire::kChar || f.datatype == wire::kVarChar;
        const std::string s = paddedOrCut(f, v, character, character ? ' ' : '\0');
        out.u8(static_cast<uint8_t>(s.size()));
        out.bytes(s);
        return;
    }
    case wire::kLongChar:
    case wire::kLongBinary: {
        if (v.isNull) {
            out.i32(0);
            return;
        }
        std::string s;
        if (f.usertype == wire::kUserTypeUniChar || f.usertype == wire::kUserTypeUniVarChar) {
            s = utf8ToUtf16le(v.bytes);
            const size_t max = static_cast<size_t>(f.maxLength);
            if (s.size() > max)
                s.resize(max & ~size_t{1});
            if (f.usertype == wire::kUserTypeUniChar)
                while (s.size() + 2 <= max)
                    s.append(" \0", 2);
            if (s.empty())
                s.assign(" \0", 2);
        } else {
            s = paddedOrCut(f, v, f.datatype == wire::kLongChar,
                            f.datatype == wire::kLongChar ? ' ' : '\0');
        }
        out.i32(static_cast<int32_t>(s.size()));
        out.bytes(s);
        return;
    }
    case wire::kText:
    case wire::kImage: {
        if (v.isNull) {
            out.u8(0);
            return;
        }
        // Text pointer and timestamp are opaque to clients, but a zero text pointer means
        // "no text" to some of them: both are sent non-zero. The pointer of a value read
        // from a table carries its row (for writetext): the row id, then a mark.
        out.u8(kTextPointerLength);
        if (v.textRow > 0) {
            out.bytes(textPointerOf(v.textRow));
        } else {
            out.bytes(std::string_view("\x01\x00\x00\x00\x00\x00\x00\x00"
                                       "\x01\x00\x00\x00\x00\x00\x00\x00",
                                       16));
        }
        out.bytes(std::string_view("\x01\x00\x00\x00\x00\x00\x00\x00", 8)); // timestamp
        const size_t n = std::min<size_t>(v.bytes.size(), static_cast<size_t>(kTextMaxLength));
        out.i32(static_cast<int32_t>(n));
        out.bytes(std::string_view(v.bytes).substr(0, n));
        return;
    }
    default:
        if (isNullableFixed(f.datatype)) {
            if (v.isNull) {
                out.u8(0);
                return;
            }
            out.u8(static_cast<uint8_t>(f.maxLength));
        }
        writeFixedBody(out, f, v);
        return;
    }
}

namespace {

/// Sets a type of a fixed size: `s1` … `s8` are the types of sizes 1, 2, 4 and 8 (kBad where
/// the datatype has no such size).
void setBySize(WireFormat& f, int32_t size, SqlType s1, SqlType s2, SqlType s4, SqlType s8) {
    ColumnType& c = f.column;
    switch (size) {
    case 1:
        c.type = s1;
        break;
    case 2:
        c.type = s2;
        break;
    case 4:
        c.type = s4;
        break;
    case 8:
        c.type = s8;
        break;
    default:
        throw ProtocolError("invalid size " + std::to_string(size) + " for datatype " +
                            std::to_string(f.datatype));
    }
    f.maxLength = size;
    c.length = size;
}

/// Reads the format of the integer, bit, float, money and date-time datatypes (the fixed
/// ones and their nullable forms with a size); false for any other datatype.
bool readFixedSizeType(ByteReader& in, WireFormat& f) {
    constexpr SqlType kBad = SqlType::Bit; // placeholder for sizes a type never has
    switch (f.datatype) {
    case wire::kInt1:
        setBySize(f, 1, SqlType::TinyInt, kBad, kBad, kBad);
        break;
    case wire::kInt2:
        setBySize(f, 2, kBad, SqlType::SmallInt, kBad, kBad);
        break;
    case wire::kInt4:
        setBySize(f, 4, kBad, kBad, SqlType::Int, kBad);
        break;
    case wire::kInt8:
        setBySize(f, 8, kBad, kBad, kBad, SqlType::BigInt);
        break;
    case wire::kIntN:
        setBySize(f, in.u8(), SqlType::TinyInt, SqlType::SmallInt, SqlType::Int, SqlType::BigInt);
        break;
    case wire::kBit:
        setBySize(f, 1, SqlType::Bit, kBad, kBad, kBad);
        break;
    case wire::kBitN:
        if (in.u8() != 1)
            throw ProtocolError("invalid size for a bit parameter");
        setBySize(f, 1, SqlType::Bit, kBad, kBad, kBad);
        break;
    case wire::kFlt4:
        setBySize(f, 4, kBad, kBad, SqlType::Real, kBad);
        break;
    case wire::kFlt8:
        setBySize(f, 8, kBad, kBad, kBad, SqlType::Float);
        break;
    case wire::kFltN: {
        const int32_t n = in.u8();
        if (n != 4 && n != 8)
            throw ProtocolError("invalid size for a float parameter");
        setBySize(f, n, kBad, kBad, SqlType::Real, SqlType::Float);
        break;
    }
    case wire::kMoney4:
        setBySize(f, 4, kBad, kBad, SqlType::SmallMoney, kBad);
        break;
    case wire::kMoney:
        setBySize(f, 8, kBad, kBad, kBad, SqlType::Money);
        break;
    case wire::kMoneyN: {
        const int32_t n = in.u8();
        if (n != 4 && n != 8)
            throw ProtocolError("invalid size for a money parameter");
        setBySize(f, n, kBad, kBad, SqlType::SmallMoney, SqlType::Money);
        break;
    }
    case wire::kDateTime4:
        setBySize(f, 4, kBad, kBad, SqlType::SmallDateTime, kBad);
        break;
    case wire::kDateTime:
        setBySize(f, 8, kBad, kBad, kBad, SqlType::DateTime);
        break;
    case wire::kDateTimeN: {
        const int32_t n = in.u8();
        if (n != 4 && n != 8)
            throw ProtocolError("invalid size for a datetime parameter");
        setBySize(f, n, kBad, kBad, SqlType::SmallDateTime, SqlType::DateTime);
        break;
    }
    case wire::kDate:
        setBySize(f, 4, kBad, kBad, SqlType::Date, kBad);
        break;
    case wire::kTime:
        setBySize(f, 4, kBad, kBad, SqlType::Time, kBad);
        break;
    case wire::kDateN:
    case wire::kTimeN:
        if (in.u8() != 4)
            throw ProtocolError("invalid size for a date or time parameter");
        setBySize(f, 4, kBad, kBad, f.datatype == wire::kDateN ? SqlType::Date : SqlType::Time,
                  kBad);
        break;
    default:
        return false;
    }
    return true;
}

} // namespace

WireFormat readTypeInfo(ByteReader& in) {
    WireFormat f;
    f.usertype = in.i32();
    f.datatype = in.u8();
    ColumnType& c = f.column;
    c.nullable = true;
    if (readFixedSizeType(in, f))
        return f;
    switch (f.datatype) {
    case wire::kNumN:
    case wire::kDecN: {
        f.maxLength = in.u8();
        f.precision = in.u8();
        f.scale = in.u8();
        if (f.precision < 1 || f.precision > 38 || f.scale > f.precision || f.maxLength > 17)
            throw ProtocolError("invalid numeric precision or scale");
        c.type = f.datatype == wire::kNumN ? SqlType::Numeric : SqlType::Decimal;
        c.precision = f.precision;
        c.scale = f.scale;
        c.length = f.maxLength;
        break;
    }
    case wire::kChar:
    case wire::kVarChar:
    case wire::kBinary:
    case wire::kVarBinary:
        f.maxLength = in.u8();
        c.type = (f.datatype == wire::kChar || f.datatype == wire::kVarChar) ? SqlType::VarChar
                                                                             : SqlType::VarBinary;
        c.length = std::max<int32_t>(f.maxLength, 1);
        break;
    case wire::kLongChar:
    case wire::kLongBinary:
        f.maxLength = in.i32();
        if (f.maxLength < 0)
            throw ProtocolError("negative parameter length");
        c.type = f.datatype == wire::kLongChar ? SqlType::VarChar : SqlType::VarBinary;
        c.length = std::max<int32_t>(f.maxLength, 1);
        break;
    case wire::kText:
    case wire::kImage:
        f.maxLength = in.i32();
        in.skip(in.u16()); // table name
        c.type = f.datatype == wire::kText ? SqlType::Text : SqlType::Image;
        c.length = f.maxLength;
        break;
    default:
        throw ProtocolError("unsupported parameter datatype " + std::to_string(f.datatype));
    }
    return f;
}

namespace {

/// The body of a fixed-size value of `size` bytes (integer, bit, float, money, date-time).
void readFixedBody(ByteReader& in, const WireFormat& f, int size, Value& v) {
    v.isNull = false;
    switch (f.column.type) {
    case SqlType::Bit:
        v.integer = in.u8() != 0;
        break;
    case SqlType::TinyInt:
        v.integer = in.u8();
        break;
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt:
        v.integer = readIntegerLe(in, size, true);
        break;
    case SqlType::Real:
        v.real = std::bit_cast<float>(in.u32());
        break;
    case SqlType::Float:
        v.real = std::bit_cast<double>(in.u64());
        break;
    case SqlType::SmallMoney:
        v.integer = in.i32();
        break;
    case SqlType::Money: {
        const int64_t high = in.i32();
        const uint32_t low = in.u32();
        v.integer = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
        break;
    }
    case SqlType::SmallDateTime:
        v.days = in.u16();
        v.ticks = static_cast<uint32_t>(in.u16()) * 18000;
        break;
    case SqlType::DateTime:
        v.days = in.i32();
        v.ticks = in.u32();
        break;
    case SqlType::Date:
        v.days = in.i32();
        break;
    case SqlType::Time:
        v.ticks = in.u32();
        break;
    default:
        throw ProtocolError("unexpected fixed parameter type");
    }
}

/// A numeric or decimal value: length, sign byte, big-endian magnitude.
Value readNumericValue(ByteReader& in) {
    Value v;
    const uint8_t n = in.u8();
    if (n == 0)
        return v;
    if (n < 2 || n > 17)
        throw ProtocolError("invalid numeric value length");
    const bool negative = in.u8() != 0;
    unsigned __int128 magnitude = 0;
    for (int i = 1; i < n; ++i)
        magnitude = (magnitude << 8) | in.u8();
    if (magnitude >> 127)
        throw ProtocolError("numeric value out of range");
    v.isNull = false;
    v.numeric = negative ? -static_cast<__int128>(magnitude) : static_cast<__int128>(magnitude);
    return v;
}

/// `n` bytes of a character or binary value that is null when empty.
Value readBytesValue(ByteReader& in, size_t n) {
    Value v;
    if (n == 0)
        return v;
    v.isNull = false;
    v.bytes = std::string(in.bytes(n));
    return v;
}

/// A four-byte length that must not be negative.
size_t readLongLength(ByteReader& in) {
    const int32_t n = in.i32();
    if (n < 0)
        throw ProtocolError("negative value length");
    return static_cast<size_t>(n);
}

/// A text or image value: text pointer (none for null), timestamp, length, bytes.
Value readLobValue(ByteReader& in) {
    Value v;
    const uint8_t pointer = in.u8();
    if (pointer == 0)
        return v;
    in.skip(pointer);
    in.skip(8); // timestamp
    const size_t n = readLongLength(in);
    v.isNull = false;
    v.bytes = std::string(in.bytes(n));
    return v;
}

/// A fixed-size value; the nullable forms carry a length byte, 0 for null.
Value readFixedValue(ByteReader& in, const WireFormat& f) {
    Value v;
    if (isNullableFixed(f.datatype)) {
        const uint8_t n = in.u8();
        if (n == 0)
            return v;
        if (static_cast<int32_t>(n) != f.maxLength)
            throw ProtocolError("value length does not match its format");
    }
    readFixedBody(in, f, f.maxLength, v);
    return v;
}

} // namespace

Value readValue(ByteReader& in, const WireFormat& f) {
    switch (f.datatype) {
    case wire::kNumN:
    case wire::kDecN:
        return readNumericValue(in);
    case wire::kChar:
    case wire::kVarChar:
    case wire::kBinary:
    case wire::kVarBinary:
        return readBytesValue(in, in.u8());
    case wire::kLongChar:
    case wire::kLongBinary:
        return readBytesValue(in, readLongLength(in));
    case wire::kText:
    case wire::kImage:
        return readLobValue(in);
    default:
        return readFixedValue(in, f);
    }
}

size_t utf8Prefix(std::string_view s, size_t max) {
    if (s.size() <= max)
        return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::string utf8ToUtf16le(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    auto put = [&out](uint32_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    };
    size_t i = 0;
    while (i < in.size()) {
        const auto b = static_cast<uint8_t>(in[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else {
            size_t extra = 0;
            uint32_t min = 0;
            if ((b & 0xE0) == 0xC0) {
                extra = 1;
                cp = b & 0x1F;
                min = 0x80;
            } else if ((b & 0xF0) == 0xE0) {
                extra = 2;
                cp = b & 0x0F;
                min = 0x800;
            } else if ((b & 0xF8) == 0xF0) {
                extra = 3;
                cp = b & 0x07;
                min = 0x10000;
            }
            bool ok = extra > 0 && i + extra < in.size();
            for (size_t k = 1; ok && k <= extra; ++k) {
                const auto c = static_cast<uint8_t>(in[i + k]);
                if ((c & 0xC0) != 0x80)
                    ok = false;
                else
                    cp = (cp << 6) | (c & 0x3F);
            }
            if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
                ok = false;
            if (ok)
                len = extra + 1;
            else
                cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
        i += len;
    }
    return out;
}

} // namespace devserver

// TDS 5.0 data types: how each SqlType is described in a row or parameter format and how
// its values are encoded, and the reverse for parameters that clients send. Knows nothing
// of SQL. Integers go out little-endian (FreeTDS declares that byte order in its login),
// numeric magnitudes big-endian, unichar values as UTF-16LE.
#pragma once

#include "ByteBuffer.h"
#include "Engine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devserver {

/// TDS 5.0 datatype codes used on the wire.
namespace wire {
inline constexpr uint8_t kImage = 0x22, kText = 0x23, kVarBinary = 0x25, kIntN = 0x26,
                         kVarChar = 0x27, kBinary = 0x2D, kChar = 0x2F, kInt1 = 0x30, kDate = 0x31,
                         kBit = 0x32, kTime = 0x33, kInt2 = 0x34, kInt4 = 0x38, kDateTime4 = 0x3A,
                         kFlt4 = 0x3B, kMoney = 0x3C, kDateTime = 0x3D, kFlt8 = 0x3E, kUInt2 = 0x41,
                         kUInt4 = 0x42, kUInt8 = 0x43, kUIntN = 0x44, kBitN = 0x68, kDecN = 0x6A,
                         kNumN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E, kDateTimeN = 0x6F,
                         kMoney4 = 0x7A, kDateN = 0x7B, kTimeN = 0x93, kLongChar = 0xAF,
                         kInt8 = 0xBF, kLongBinary = 0xE1;
inline constexpr int32_t kUserTypeUniChar = 34, kUserTypeUniVarChar = 35, kUserTypeText = 19,
                         kUserTypeImage = 20, kUserTypeBinary = 3, kUserTypeVarBinary = 4,
                         kUserTypeTimestamp = 80;
} // namespace wire

/// How a column or parameter travels: datatype byte, usertype and type info.
struct WireFormat {
    uint8_t datatype = wire::kIntN;
    int32_t usertype = 0;
    int32_t maxLength = 4; ///< size byte / max length in the type info (bytes)
    uint8_t precision = 0;
    uint8_t scale = 0;
    ColumnType column; ///< the declared type this format was made from (or decoded into)
    std::string table; ///< text and image: the table the column belongs to
};

/// Chooses the wire representation of a declared type. When `dateAndTime` is false (a
/// client library without the date and time types, such as db-lib), date and time columns
/// travel as datetime: a date at midnight, a time on 1 January 1900.
WireFormat describe(const ColumnType& type, bool dateAndTime = true);

/// Writes usertype, datatype and type info (without name, status or locale).
void writeTypeInfo(ByteWriter& out, const WireFormat& format);

/// Writes one value in the representation of `format`. Values longer than the declared
/// length are cut (character data at a UTF-8 character boundary); empty strings travel as
/// one space (empty binary as one zero byte) because a zero length means NULL.
void writeValue(ByteWriter& out, const WireFormat& format, const Value& value);

/// Reads usertype, datatype and type info of a client-sent parameter format.
/// Throws ProtocolError on a datatype the server does not accept.
WireFormat readTypeInfo(ByteReader& in);

/// Reads one value of a client-sent parameter. Throws ProtocolError on malformed data.
Value readValue(ByteReader& in, const WireFormat& format);

/// The row a text pointer this server sent names (see writeValue), or nothing for another
/// text pointer.
std::optional<int64_t> textPointerRow(std::string_view pointer);

/// Number of bytes (sign byte included) of a numeric value of precision `p` (1..38).
int numericBytes(int precision);

/// Converts UTF-8 to UTF-16LE; invalid sequences become U+FFFD.
std::string utf8ToUtf16le(std::string_view utf8);

/// Length of the longest prefix of `s` of at most `max` bytes ending on a character boundary.
size_t utf8Prefix(std::string_view s, size_t max);

} // namespace devserver

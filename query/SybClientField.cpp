// TSybClientField: column typing, binding, whole reads of text and image values, and the
// conversion of a column value into the record format.
#include "tovrin5/query/SybClientField.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybMessages.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

namespace {

// User types with which Adaptive Server marks unichar and univarchar columns; FreeTDS
// delivers them as CS_TEXT_TYPE already converted to the client character set.
constexpr CS_INT kUserTypeUnichar = 34;
constexpr CS_INT kUserTypeUnivarchar = 35;

bool isUnicodeText(const CS_DATAFMT& format) noexcept {
    return format.datatype == CS_TEXT_TYPE &&
           (format.usertype == kUserTypeUnichar || format.usertype == kUserTypeUnivarchar);
}

// The longest character or binary value a record slot holds: a varying binary slot keeps
// its length in 16 bits. Longer columns become blob fields.
constexpr CS_INT kLongestSlotValue = 65535;

bool isCharType(CS_INT datatype) noexcept {
    return datatype == CS_CHAR_TYPE || datatype == CS_LONGCHAR_TYPE || datatype == CS_VARCHAR_TYPE;
}

bool isBinaryType(CS_INT datatype) noexcept {
    return datatype == CS_BINARY_TYPE || datatype == CS_LONGBINARY_TYPE ||
           datatype == CS_VARBINARY_TYPE;
}

// Character and binary columns longer than a slot holds, kept as blobs.
bool isLongColumn(const CS_DATAFMT& format) noexcept {
    return (isCharType(format.datatype) || isBinaryType(format.datatype)) &&
           format.maxlength > kLongestSlotValue;
}

// Whether the package maps the datatype to a field type (output parameters of any other
// type are still read, as text or bytes).
bool isMappedType(CS_INT datatype) noexcept {
    switch (datatype) {
    case CS_CHAR_TYPE:
    case CS_LONGCHAR_TYPE:
    case CS_VARCHAR_TYPE:
    case CS_BINARY_TYPE:
    case CS_LONGBINARY_TYPE:
    case CS_VARBINARY_TYPE:
    case CS_TEXT_TYPE:
    case CS_IMAGE_TYPE:
    case CS_TINYINT_TYPE:
    case CS_SMALLINT_TYPE:
    case CS_INT_TYPE:
    case CS_USMALLINT_TYPE:
    case CS_BIGINT_TYPE:
    case CS_UINT_TYPE:
    case CS_REAL_TYPE:
    case CS_FLOAT_TYPE:
    case CS_MONEY_TYPE:
    case CS_MONEY4_TYPE:
    case CS_NUMERIC_TYPE:
    case CS_DECIMAL_TYPE:
    case CS_UBIGINT_TYPE:
    case CS_BIT_TYPE:
    case CS_DATETIME_TYPE:
    case CS_DATETIME4_TYPE:
    case CS_DATE_TYPE:
    case CS_TIME_TYPE:
        return true;
    default:
        return false;
    }
}

// The datatype a column is bound as: its own, except that the variable and long character
// and binary types are bound as their plain form (same bytes, no length prefix).
CS_INT bindDataType(CS_INT datatype) noexcept {
    switch (datatype) {
    case CS_LONGCHAR_TYPE:
    case CS_VARCHAR_TYPE:
        return CS_CHAR_TYPE;
    case CS_LONGBINARY_TYPE:
    case CS_VARBINARY_TYPE:
        return CS_BINARY_TYPE;
    default:
        return datatype;
    }
}

template <typename T> T readAs(const char* data) noexcept {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

template <typename T> void writeAs(char* area, T value) noexcept {
    std::memcpy(area, &value, sizeof value);
}

// A fixed-size value copied into its slot by a plain numeric conversion: Wire as the client
// library delivers it, Slot as the record holds it.
template <typename Wire, typename Slot> void widen(char* area, const char* data) noexcept {
    writeAs<Slot>(area, static_cast<Slot>(readAs<Wire>(data)));
}

// The datatypes whose slot takes the value so; the others need a conversion of their own.
struct Widening {
    CS_INT datatype;
    void (*store)(char* area, const char* data) noexcept;
};
constexpr Widening kWidenings[] = {
    {CS_TINYINT_TYPE, widen<uint8_t, int16_t>}, {CS_SMALLINT_TYPE, widen<int16_t, int16_t>},
    {CS_INT_TYPE, widen<int32_t, int32_t>},     {CS_USMALLINT_TYPE, widen<uint16_t, int32_t>},
    {CS_BIGINT_TYPE, widen<int64_t, int64_t>},  {CS_UINT_TYPE, widen<uint32_t, int64_t>},
    {CS_UBIGINT_TYPE, widen<uint64_t, double>}, {CS_FLOAT_TYPE, widen<double, double>},
    {CS_MONEY4_TYPE, widen<int32_t, int64_t>},
};

// Days from 1 January of year 1 to the given date of the proleptic Gregorian calendar,
// plus one: the host's TTimeStamp.Date.
int32_t timeStampDate(int year, int month, int day) {
    // EncodeDate validates (and raises the host's error for an invalid date).
    const host::TDateTime date = host::EncodeDate(year, month, day);
    return static_cast<int32_t>(std::lround(date)) + host::DateDelta;
}

// Milliseconds since midnight; the host's time encoding validates.
int32_t timeStampTime(int hour, int minute, int second, int msecond) {
    host::TDateTime unused = 0;
    if (!host::TryEncodeTime(hour, minute, second, msecond, unused)) {
        (void)host::EncodeTime(hour, minute, second, msecond); // raises the host's error
    }
    return ((hour * 60 + minute) * 60 + second) * 1000 + msecond;
}

// The time-stamp date (TTimeStamp.Date) of 1 January 1900, day 0 of the server's date
// types.
constexpr int32_t kDate1900 = host::DateDelta + 2;

struct CrackedDate {
    int32_t date; // TTimeStamp.Date
    int32_t time; // milliseconds since midnight
};

// A server time of day: 1/300 seconds since midnight, to milliseconds (rounded as the
// library rounds datetime values).
int32_t ticksToMSecs(CS_INT ticks) noexcept {
    return ticks / 300 * 1000 + ((ticks % 300) * 1000 + 150) / 300;
}

// Splits a datetime or smalldatetime value the way cs_dt_crack does, with integer
// arithmetic only (a library call and a calendar round trip per value would double the
// cost of reading dates). The connection's context is still required, as for the call.
CrackedDate crackDate(CS_CONTEXT* context, CS_INT datatype, const char* data) {
    if (context == nullptr) {
        throw host::Exception("Connection not defined");
    }
    constexpr int32_t kLastDate = 3652059; // 31 December 9999
    int64_t date = 0;
    int32_t time = 0;
    if (datatype == CS_DATETIME_TYPE) {
        const auto days = readAs<int32_t>(data);
        const auto ticks = readAs<int32_t>(data + 4);
        if (ticks < 0 || ticks >= 300 * host::SecsPerDay) {
            throw host::Exception("cs_dt_crack failed.");
        }
        date = static_cast<int64_t>(days) + kDate1900;
        time = ticksToMSecs(ticks);
    } else {
        date = static_cast<int64_t>(readAs<uint16_t>(data)) + kDate1900;
        const auto minutes = readAs<uint16_t>(data + 2);
        if (minutes >= host::MinsPerDay) {
            throw host::Exception("cs_dt_crack failed.");
        }
        time = minutes * 60000;
    }
    if (date < 1 || date > kLastDate) {
        throw host::Exception("cs_dt_crack failed.");
    }
    return CrackedDate{static_cast<int32_t>(date), time};
}

// A date column's day number (days after 1 January 1900) as a TTimeStamp.Date, checked
// as crackDate checks datetime values: a day outside the calendar is no date.
int32_t serverDate(int32_t days) {
    constexpr int32_t kLastDate = 3652059; // 31 December 9999
    const int64_t date = static_cast<int64_t>(days) + kDate1900;
    if (date < 1 || date > kLastDate) {
        throw host::Exception("cs_dt_crack failed.");
    }
    return static_cast<int32_t>(date);
}

// A time column's 1/300 seconds since midnight as milliseconds, checked as crackDate
// checks the time of a datetime value.
int32_t serverTime(int32_t ticks) {
    if (ticks < 0 || ticks >= 300 * host::SecsPerDay) {
        throw host::Exception("cs_dt_crack failed.");
    }
    return ticksToMSecs(ticks);
}

} // namespace

namespace clientvalue {

int NumericMagnitudeBytes(int Precision) noexcept {
    // Bytes of a numeric of each precision, sign byte included, as the client library
    // lays it out; index 0 is unused.
    static constexpr unsigned char kBytesPerPrecision[39] = {
        0,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9, 9,
        10, 10, 11, 11, 11, 12, 12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
    if (Precision < 1 || Precision > 38) {
        return 0;
    }
    return kBytesPerPrecision[Precision] - 1;
}

namespace {

// The unsigned magnitude of a CS_NUMERIC (precision, scale, sign byte, then the magnitude's
// bytes, most significant first); raises for a precision the type does not have.
unsigned __int128 numericMagnitude(const unsigned char* Numeric) {
    const int precision = Numeric[0];
    const int bytes = NumericMagnitudeBytes(precision);
    if (bytes == 0) {
        throw ESybQueryError(
            host::Format("Precision %d not supported for numeric types", {precision}));
    }
    unsigned __int128 magnitude = 0;
    for (int k = 0; k < bytes; ++k) {
        magnitude = (magnitude << 8) | Numeric[3 + k];
    }
    return magnitude;
}

} // namespace

double NumericToDouble(const unsigned char* Numeric) {
    const int scale = Numeric[1];
    const bool negative = Numeric[2] != 0;
    unsigned __int128 magnitude = numericMagnitude(Numeric);
    double value;
    constexpr unsigned __int128 kExactDoubleLimit = static_cast<unsigned __int128>(1) << 53;
    static constexpr double kPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (magnitude < kExactDoubleLimit && scale <= 22) {
        // Both operands are exact, so the one rounding of the division gives the nearest.
        value = static_cast<double>(magnitude) / kPowersOfTen[scale];
    } else {
        // The decimal text read by strtod is rounded once, to the nearest double.
        char digits[48];
        char* end = digits + sizeof digits;
        char* p = end;
        *--p = '\0';
        do {
            *--p = static_cast<char>('0' + static_cast<int>(magnitude % 10));
            magnitude /= 10;
        } while (magnitude != 0);
        std::string text(p);
        text += "e-" + std::to_string(scale);
        value = std::strtod(text.c_str(), nullptr);
    }
    return negative ? -value : value;
}

host::TBcd NumericToBCD(const unsigned char* Numeric) {
    return host::ScaledIntegerToBCD(numericMagnitude(Numeric), Numeric[2] != 0,
                                    std::min<int>(Numeric[1], 38));
}

double RealToDouble(float Value) noexcept {
    // The shortest text that reads back as the same float, read as a double: 0.29f
    // becomes 0.29, not 0.28999999165535.
    if (!std::isfinite(Value)) {
        return Value;
    }
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text - 1, Value);
    if (ec != std::errc()) {
        return Value;
    }
    *end = '\0';
    return std::strtod(text, nullptr);
}

double MoneyToDouble(int64_t Units) noexcept {
    constexpr int64_t kExact = int64_t{1} << 53;
    if (Units > -kExact && Units < kExact) {
        return static_cast<double>(Units) / 10000.0;
    }
    const std::string text = std::to_string(Units) + "e-4";
    return std::strtod(text.c_str(), nullptr);
}

double ServerDateTimeMSecs(CS_CONTEXT* Context, CS_INT DataType, const void* Value) {
    const CrackedDate cracked = crackDate(Context, DataType, static_cast<const char*>(Value));
    return static_cast<double>(cracked.date) * host::MSecsPerDay + cracked.time;
}

double DateTimeMSecs(int Year, int Month, int Day, int Hour, int Minute, int Second, int MSecond) {
    const double date = timeStampDate(Year, Month, Day);
    return date * host::MSecsPerDay + timeStampTime(Hour, Minute, Second, MSecond);
}

} // namespace clientvalue

TSybClientField::TSybClientField(TSybQuery* AQuery, CS_INT AColumnNo, const CS_DATAFMT& ADataFmt)
    : TBTFetchField(AQuery), FColumnNo(AColumnNo), FDataFmt(ADataFmt),
      FBufferLength(ADataFmt.maxlength), FDataType(ADataFmt.datatype),
      FReadsWhole(ADataFmt.datatype == CS_TEXT_TYPE || ADataFmt.datatype == CS_IMAGE_TYPE ||
                  isLongColumn(ADataFmt)),
      FUnmapped(false) {
    if (!FReadsWhole) {
        FBuffer.assign(static_cast<std::size_t>(std::max<CS_INT>(FBufferLength, 0)) + 1, '\0');
    }
    FData = FBuffer.data();
}

void TSybClientField::KeepUnmappedAsText() {
    if (isMappedType(FDataType) || FUnmapped) {
        return;
    }
    FUnmapped = true;
    FReadsWhole = false;
    // Room for the value's text, which can be longer than its bytes (a date's).
    constexpr std::size_t kTextRoom = 256;
    FBuffer.assign(static_cast<std::size_t>(std::max<CS_INT>(FBufferLength, 0)) * 2 + kTextRoom + 1,
                   '\0');
    FData = FBuffer.data();
}

TSybClientField::~TSybClientField() = default;

host::TFieldType TSybClientField::GetOstrelDataType() {
    if (FUnmapped) {
        return FBoundAs == CS_BINARY_TYPE ? host::ftBlob : host::ftString;
    }
    if (isLongColumn(FDataFmt)) {
        return isCharType(FDataType) ? host::ftMemo : host::ftBlob;
    }
    switch (FDataType) {
    case CS_CHAR_TYPE:
    case CS_LONGCHAR_TYPE:
    case CS_VARCHAR_TYPE:
        return host::ftString;
    case CS_BINARY_TYPE:
    case CS_LONGBINARY_TYPE:
    case CS_VARBINARY_TYPE:
        return host::ftVarBytes;
    case CS_TEXT_TYPE:
        return isUnicodeText(FDataFmt) ? host::ftString : host::ftMemo;
    case CS_IMAGE_TYPE:
        return host::ftBlob;
    case CS_TINYINT_TYPE:
    case CS_SMALLINT_TYPE:
        return host::ftSmallint;
    case CS_INT_TYPE:
    case CS_USMALLINT_TYPE:
        return host::ftInteger;
    case CS_BIGINT_TYPE:
    case CS_UINT_TYPE:
        return host::ftLargeint;
    case CS_MONEY_TYPE:
    case CS_MONEY4_TYPE:
    case CS_NUMERIC_TYPE:
    case CS_DECIMAL_TYPE:
        return host::ftBCD;
    case CS_REAL_TYPE:
    case CS_FLOAT_TYPE:
    case CS_UBIGINT_TYPE:
        return host::ftFloat;
    case CS_BIT_TYPE:
        return host::ftBoolean;
    case CS_DATETIME_TYPE:
    case CS_DATETIME4_TYPE:
        return host::ftDateTime;
    case CS_DATE_TYPE:
        return host::ftDate;
    case CS_TIME_TYPE:
        return host::ftTime;
    default:
        throw host::Exception(
            host::Format("Unknown data type %d receiver from SQL Server", {FDataType}));
    }
}

int TSybClientField::FieldSize() {
    switch (GetOstrelDataType()) {
    case host::ftString:
    case host::ftVarBytes:
        return std::max<CS_INT>(FBufferLength, 0);
    case host::ftBCD:
        return Scale();
    default:
        return 0;
    }
}

int TSybClientField::Scale() const noexcept {
    switch (FDataType) {
    case CS_MONEY_TYPE:
    case CS_MONEY4_TYPE:
        return 4;
    case CS_NUMERIC_TYPE:
    case CS_DECIMAL_TYPE:
        return std::clamp<CS_INT>(FDataFmt.scale, 0, 38);
    default:
        return 0;
    }
}

int TSybClientField::Precision() const noexcept {
    switch (FDataType) {
    case CS_MONEY_TYPE:
        return 19;
    case CS_MONEY4_TYPE:
        return 10;
    case CS_NUMERIC_TYPE:
    case CS_DECIMAL_TYPE:
        return std::clamp<CS_INT>(FDataFmt.precision, 0, 38);
    default:
        return 0;
    }
}

int TSybClientField::GetOstrelLength() {
    // Money is exact as the wire has it, a count of 1/10,000 units: the field keeps that
    // (TBCDField::Int64Slot) instead of a 34-byte packed decimal.
    if (KeepsMoneyUnits())
        return static_cast<int>(sizeof(int64_t));
    return GetFieldSize(GetOstrelDataType(), FieldSize());
}

std::string TSybClientField::GetName() {
    std::string name;
    if (FDataFmt.namelen == CS_NULLTERM) {
        name.assign(FDataFmt.name, strnlen(FDataFmt.name, sizeof FDataFmt.name));
    } else {
        const auto length = static_cast<std::size_t>(
            std::clamp<CS_INT>(FDataFmt.namelen, 0, static_cast<CS_INT>(sizeof FDataFmt.name)));
        name.assign(FDataFmt.name, length);
    }
    if (host::Trim(name).empty()) {
        return "COLUMN" + std::to_string(FColumnNo);
    }
    return name;
}

CS_RETCODE TSybClientField::Bind(CS_COMMAND* Command) {
    if (FReadsWhole) {
        return CS_SUCCEED;
    }
    CS_DATAFMT format = FDataFmt;
    format.datatype = bindDataType(FDataType);
    if (FUnmapped) {
        // A type the package does not map (an output parameter of a newer server type):
        // the library converts it to text; one it cannot convert is kept as its bytes.
        format.datatype = CS_CHAR_TYPE;
        format.format = CS_FMT_UNUSED;
        format.count = 1;
        format.maxlength = static_cast<CS_INT>(FBuffer.size() - 1);
        format.locale = nullptr;
        if (ct_bind(Command, FColumnNo, &format, FData, &FCopied, &FIndicator) == CS_SUCCEED) {
            FBoundAs = CS_CHAR_TYPE;
            return CS_SUCCEED;
        }
        format.datatype = CS_BINARY_TYPE;
        FBoundAs = CS_BINARY_TYPE;
        return ct_bind(Command, FColumnNo, &format, FData, &FCopied, &FIndicator);
    }
    format.format = CS_FMT_UNUSED;
    format.count = 1;
    format.maxlength = std::max<CS_INT>(FBufferLength, 0);
    return ct_bind(Command, FColumnNo, &format, FData, &FCopied, &FIndicator);
}

bool TSybClientField::ReadUnbound(CS_COMMAND* Command) {
    if (!FReadsWhole) {
        return true;
    }
    constexpr std::size_t kFirstChunk = 4096;
    if (FBuffer.size() < kFirstChunk) {
        FBuffer.resize(kFirstChunk);
    }
    std::size_t length = 0;
    bool sized = false;
    for (;;) {
        const auto room =
            static_cast<CS_INT>(std::min<std::size_t>(FBuffer.size() - length, INT_MAX));
        CS_INT got = 0;
        const CS_RETCODE result =
            ct_get_data(Command, FColumnNo, FBuffer.data() + length, room, &got);
        if (got > 0) {
            length += static_cast<std::size_t>(got);
        }
        if (result == CS_END_ITEM || result == CS_END_DATA) {
            break;
        }
        if (result != CS_SUCCEED) {
            return false;
        }
        if (!sized) {
            // The total length is known once the first chunk has been read: make room for
            // the whole value at once.
            sized = true;
            CS_IODESC io{};
            if (ct_data_info(Command, CS_GET, FColumnNo, &io) == CS_SUCCEED &&
                io.total_txtlen > 0 && static_cast<std::size_t>(io.total_txtlen) > length) {
                FBuffer.resize(static_cast<std::size_t>(io.total_txtlen) + 1);
            }
        }
        if (length == FBuffer.size()) {
            FBuffer.resize(FBuffer.size() * 2);
        }
    }
    FData = FBuffer.data();
    FCopied = static_cast<CS_INT>(length);
    FIndicator = CS_GOODDATA;
    if (length == 0) {
        // An empty read is either an empty value or NULL; the library tells them apart by
        // the total length it reports (negative for NULL).
        CS_IODESC io{};
        if (ct_data_info(Command, CS_GET, FColumnNo, &io) == CS_SUCCEED && io.total_txtlen < 0) {
            FIndicator = CS_NULLDATA;
        }
    }
    return true;
}

void TSybClientField::StoreValue(char* ValueArea, CS_CONTEXT* Context) {
    const char* data = FData;
    for (const Widening& widening : kWidenings) {
        if (widening.datatype == FDataType) {
            widening.store(ValueArea, data);
            return;
        }
    }
    switch (FDataType) {
    case CS_CHAR_TYPE:
    case CS_LONGCHAR_TYPE:
    case CS_VARCHAR_TYPE:
        if (FReadsWhole) {
            storeBlob(ValueArea);
            break;
        }
        std::memcpy(ValueArea, data,
                    static_cast<std::size_t>(std::clamp(FCopied, 0, FBufferLength)));
        break;
    case CS_BINARY_TYPE:
    case CS_LONGBINARY_TYPE:
    case CS_VARBINARY_TYPE: {
        if (FReadsWhole) {
            storeBlob(ValueArea);
            break;
        }
        const auto length =
            static_cast<uint16_t>(std::clamp(FCopied, 0, std::min(FBufferLength, 65535)));
        writeAs<uint16_t>(ValueArea, length);
        std::memcpy(ValueArea + 2, data, length);
        break;
    }
    case CS_TEXT_TYPE:
    case CS_IMAGE_TYPE:
        if (isUnicodeText(FDataFmt)) {
            std::memcpy(ValueArea, data,
                        static_cast<std::size_t>(std::clamp(FCopied, 0, FBufferLength)));
        } else {
            storeBlob(ValueArea);
        }
        break;
    case CS_REAL_TYPE:
        writeAs<double>(ValueArea, clientvalue::RealToDouble(readAs<float>(data)));
        break;
    case CS_BIT_TYPE:
        writeAs<int16_t>(ValueArea, readAs<uint8_t>(data) != 0 ? 1 : 0);
        break;
    case CS_DATETIME_TYPE:
    case CS_DATETIME4_TYPE:
        writeAs<double>(ValueArea, clientvalue::ServerDateTimeMSecs(Context, FDataType, data));
        break;
    case CS_DATE_TYPE:
        writeAs<int32_t>(ValueArea, serverDate(readAs<int32_t>(data)));
        break;
    case CS_TIME_TYPE:
        writeAs<int32_t>(ValueArea, serverTime(readAs<int32_t>(data)));
        break;
    case CS_MONEY_TYPE: {
        const auto high = readAs<int32_t>(data);
        const auto low = readAs<uint32_t>(data + 4);
        const int64_t units =
            static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
        writeAs<int64_t>(ValueArea, units);
        break;
    }
    case CS_NUMERIC_TYPE:
    case CS_DECIMAL_TYPE:
        writeAs<host::TBcd>(
            ValueArea, clientvalue::NumericToBCD(reinterpret_cast<const unsigned char*>(data)));
        break;
    default:
        break;
    }
}

void TSybClientField::storeBlob(char* ValueArea) const {
    auto* blob = new TBTBlob();
    blob->SetValue(std::string(FData, static_cast<std::size_t>(std::max(FCopied, 0))));
    writeAs<TBTBlob*>(ValueArea, blob);
}

host::Variant TSybClientField::Value(CS_CONTEXT* Context) {
    if (IsNull()) {
        return host::Null();
    }
    if (FUnmapped) {
        const std::string bytes(FData, static_cast<std::size_t>(std::max(FCopied, 0)));
        return FBoundAs == CS_CHAR_TYPE ? host::Variant(bytes) : host::VarFromBytes(bytes);
    }
    const host::TFieldType type = GetOstrelDataType();
    switch (type) {
    case host::ftString:
    case host::ftMemo:
        return host::Variant(std::string(FData, static_cast<std::size_t>(std::max(FCopied, 0))));
    case host::ftBlob:
        return host::VarFromBytes(
            std::string(FData, static_cast<std::size_t>(std::max(FCopied, 0))));
    default:
        break;
    }
    std::vector<char> area(
        static_cast<std::size_t>(std::max<int>(GetOstrelLength(), sizeof(host::TBcd))) + 8, '\0');
    StoreValue(area.data(), Context);
    const char* value = area.data();
    switch (type) {
    case host::ftVarBytes:
        return host::VarFromBytes(std::string(value + 2, readAs<uint16_t>(value)));
    case host::ftSmallint:
        return host::Variant(readAs<int16_t>(value));
    case host::ftInteger:
        return host::Variant(readAs<int32_t>(value));
    case host::ftLargeint:
        return host::Variant(static_cast<long long>(readAs<int64_t>(value)));
    case host::ftBoolean:
        return host::Variant(readAs<int16_t>(value) != 0);
    case host::ftFloat:
        return host::Variant(readAs<double>(value));
    case host::ftBCD:
        return host::Variant(host::BCDToStr(KeepsMoneyUnits()
                                                ? host::ScaledInt64ToBCD(readAs<int64_t>(value), 4)
                                                : readAs<host::TBcd>(value)));
    case host::ftDateTime:
        return host::VarFromDateTime(
            host::TimeStampToDateTime(host::MSecsToTimeStamp(readAs<double>(value))));
    case host::ftDate:
        return host::VarFromDateTime(
            host::TimeStampToDateTime(host::TTimeStamp{0, readAs<int32_t>(value)}));
    case host::ftTime:
        return host::VarFromDateTime(static_cast<double>(readAs<int32_t>(value)) /
                                     host::MSecsPerDay);
    default:
        return host::Null();
    }
}

} // namespace tovrin

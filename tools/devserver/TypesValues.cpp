// Exact decimals and the conversions between stored values, client values and the
// declared types of columns and variables.
#include "TypesValues.h"

#include "ExactArithmetic.h"

#include "SqlErrors.h"
#include "TypesCatalog.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace devserver {

namespace {

bool isIntegerType(SqlType t) {
    return t == SqlType::Bit || t == SqlType::TinyInt || t == SqlType::SmallInt ||
           t == SqlType::Int || t == SqlType::BigInt;
}

bool isCharacterType(SqlType t) {
    return t == SqlType::Char || t == SqlType::VarChar || t == SqlType::UniChar ||
           t == SqlType::UniVarChar || t == SqlType::Text;
}

bool isBinaryType(SqlType t) {
    return t == SqlType::Binary || t == SqlType::VarBinary || t == SqlType::Image;
}

int scaleOf(const ColumnType& t) {
    if (t.type == SqlType::Money || t.type == SqlType::SmallMoney)
        return 4;
    return t.scale;
}

/// Text of a double with enough digits to read it back exactly.
std::string realText(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    // Prefer the shortest form that reads back as the same value.
    for (int digits = 15; digits <= 17; ++digits) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, v);
        if (std::strtod(shorter, nullptr) == v)
            return shorter;
    }
    return buffer;
}

/// The value as decimal text (integers and reals included), or nothing for blobs/null.
std::optional<std::string> decimalSource(const SqlValue& v) {
    if (v.kind == SqlValue::Kind::Null || v.kind == SqlValue::Kind::Blob)
        return std::nullopt;
    return valueText(v);
}

/// The largest unscaled magnitude a type holds, or 0 for no limit below 10^38.
__int128 limitOf(const ColumnType& t) {
    if (t.type == SqlType::Money)
        return (static_cast<__int128>(1) << 63) - 1;
    if (t.type == SqlType::SmallMoney)
        return 2147483647;
    int p = t.precision ? t.precision : 38;
    return powerOfTen(p) - 1;
}

std::optional<int64_t> integerOf(const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Integer:
        return v.integer;
    case SqlValue::Kind::Real:
        if (!std::isfinite(v.real) || std::fabs(v.real) >= 9.2e18)
            return std::nullopt;
        return static_cast<int64_t>(v.real);
    case SqlValue::Kind::Text: {
        // Conversion to an integer truncates rather than rounds.
        auto exact = parseDecimal(v.bytes, 10);
        if (!exact)
            return std::nullopt;
        __int128 truncated = *exact / powerOfTen(10);
        if (truncated > INT64_MAX || truncated < INT64_MIN)
            return std::nullopt;
        return static_cast<int64_t>(truncated);
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> realOf(const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Integer:
        return static_cast<double>(v.integer);
    case SqlValue::Kind::Real:
        return v.real;
    case SqlValue::Kind::Text: {
        const char* begin = v.bytes.c_str();
        char* end = nullptr;
        double d = std::strtod(begin, &end);
        while (end && *end && std::isspace(static_cast<unsigned char>(*end)))
            ++end;
        if (end == begin || (end && *end))
            return std::nullopt;
        return d;
    }
    default:
        return std::nullopt;
    }
}

std::optional<DateTimeParts> dateTimeOf(const SqlValue& v, const ColumnType& type,
                                        DateOrder order) {
    if (v.kind == SqlValue::Kind::Text) {
        if (auto parts = parseDateTime(v.bytes, order))
            return parts;
        if (auto parts = parseTimeOfDay(v.bytes))
            return parts;
        (void)type;
        return std::nullopt;
    }
    if (v.kind == SqlValue::Kind::Integer || v.kind == SqlValue::Kind::Real) {
        // A number converts as days since 1 Jan 1900.
        double d = v.kind == SqlValue::Kind::Integer ? static_cast<double>(v.integer) : v.real;
        if (!std::isfinite(d) || std::fabs(d) > 3e6)
            return std::nullopt;
        double whole = std::floor(d);
        auto ticks = static_cast<uint32_t>(std::llround((d - whole) * 25920000.0));
        return fromDaysTicks(static_cast<int32_t>(whole), ticks);
    }
    return std::nullopt;
}

SqlError conversionError(const SqlValue& v, const ColumnType& t) {
    (void)t;
    std::string shown = v.kind == SqlValue::Kind::Text ? v.bytes : valueText(v);
    if (shown.size() > 60)
        shown.resize(60);
    return SqlError(249, 16,
                    "Syntax error during explicit conversion of VARCHAR value '" + shown +
                        "' to a target type.");
}

/// Cuts UTF-8 text to at most `maxBytes` without splitting a character.
void cutUtf8(std::string& s, size_t maxBytes) {
    if (s.size() <= maxBytes)
        return;
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        --cut;
    s.resize(cut);
}

/// Cuts UTF-8 text to at most `chars` characters.
void cutCharacters(std::string& s, size_t chars) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == chars) {
                s.resize(i);
                return;
            }
            ++count;
        }
    }
}

size_t characterCount(const std::string& s) {
    size_t count = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

SqlError tooLong(size_t bytes, const ColumnType& type) {
    return SqlError(kValueTooLong, 16,
                    "A value of " + std::to_string(bytes) +
                        " bytes does not fit its result column of type " + declaredTypeText(type) +
                        ".");
}

/// Reads the stored text of a money value ("-12.3400", "7", "0.5") into 1/10000 units
/// without a general decimal parse; false for any other form.
bool parseMoneyFast(const std::string& s, int64_t& out) {
    size_t i = 0;
    const size_t n = s.size();
    bool negative = false;
    if (i < n && s[i] == '-') {
        negative = true;
        ++i;
    }
    if (i >= n)
        return false;
    int64_t whole = 0;
    size_t digits = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++digits) {
        if (digits >= 14)
            return false;
        whole = whole * 10 + (s[i] - '0');
    }
    if (digits == 0)
        return false;
    int64_t fraction = 0;
    int fractionDigits = 0;
    if (i < n && s[i] == '.') {
        for (++i; i < n && s[i] >= '0' && s[i] <= '9'; ++i) {
            if (++fractionDigits > 4)
                return false;
            fraction = fraction * 10 + (s[i] - '0');
        }
    }
    if (i != n)
        return false;
    for (int k = fractionDigits; k < 4; ++k)
        fraction *= 10;
    const int64_t value = whole * 10000 + fraction;
    out = negative ? -value : value;
    return true;
}

/// Reads the canonical stored form "YYYY-MM-DD HH:MM:SS.mmm" into days and ticks; false for
/// any other form.
// A date holds days from 1 Jan 0001, a datetime from 1 Jan 1753; both end with the year
// 9999. A smalldatetime holds the days its unsigned 16 bits count from 1 Jan 1900, to
// 6 Jun 2079 (checked once rounded to the minute).
const int32_t kFirstDateTimeDay = daysFromCivil(1753, 1, 1);
constexpr int32_t kLastSmallDateTimeDay = 65535;

bool inDateRange(SqlType t, const DateTimeParts& p) {
    if (p.year < 1 || p.year > 9999)
        return false;
    if (t == SqlType::DateTime)
        return p.year >= 1753;
    if (t == SqlType::SmallDateTime)
        return p.year >= 1900 && p.year <= 2079;
    return true;
}

bool parseCanonicalFast(const std::string& s, int32_t& days, uint32_t& ticks) {
    if (s.size() != 23 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' ||
        s[16] != ':' || s[19] != '.')
        return false;
    auto number = [&](size_t at, size_t len, int& value) {
        value = 0;
        for (size_t k = at; k < at + len; ++k) {
            if (s[k] < '0' || s[k] > '9')
                return false;
            value = value * 10 + (s[k] - '0');
        }
        return true;
    };
    DateTimeParts p;
    if (!number(0, 4, p.year) || !number(5, 2, p.month) || !number(8, 2, p.day) ||
        !number(11, 2, p.hour) || !number(14, 2, p.minute) || !number(17, 2, p.second) ||
        !number(20, 3, p.millisecond))
        return false;
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour > 23 || p.minute > 59 ||
        p.second > 59)
        return false;
    toDaysTicks(p, days, ticks);
    return true;
}

} // namespace

__int128 powerOfTen(int n) noexcept {
    __int128 r = 1;
    for (int i = 0; i < n && i < 38; ++i)
        r *= 10;
    return r;
}

std::optional<__int128> parseDecimal(std::string_view text, int scale) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string digits;
    int fractionDigits = 0;
    bool seenPoint = false, any = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            any = true;
            if (digits.empty() && c == '0' && !seenPoint)
                continue;
            digits += c;
            if (seenPoint)
                ++fractionDigits;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!any)
        return std::nullopt;
    int exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            expNegative = text[i] == '-';
            ++i;
        }
        bool expAny = false;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            expAny = true;
            if (exponent < 10000)
                exponent = exponent * 10 + (text[i] - '0');
        }
        if (!expAny)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i != text.size())
        return std::nullopt;
    // value = digits * 10^(exponent - fractionDigits); wanted: value * 10^scale.
    int shift = exponent - fractionDigits + scale;
    // Strip leading zeros kept after the point.
    size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return static_cast<__int128>(0);
    digits.erase(0, first);
    if (shift >= 0) {
        if (static_cast<int>(digits.size()) + shift > 38)
            return std::nullopt;
        digits.append(static_cast<size_t>(shift), '0');
    } else {
        size_t drop = static_cast<size_t>(-shift);
        bool roundUp = false;
        if (drop > digits.size()) {
            digits.clear();
        } else {
            roundUp = digits[digits.size() - drop] >= '5';
            digits.resize(digits.size() - drop);
        }
        if (digits.size() > 38)
            return std::nullopt;
        __int128 r = 0;
        for (char c : digits)
            r = r * 10 + (c - '0');
        if (roundUp)
            ++r;
        if (r >= powerOfTen(38))
            return std::nullopt;
        return negative ? -r : r;
    }
    __int128 r = 0;
    for (char c : digits)
        r = r * 10 + (c - '0');
    return negative ? -r : r;
}

std::string formatDecimal(__int128 unscaled, int scale) {
    bool negative = unscaled < 0;
    unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-(unscaled + 1)) + 1
                                           : static_cast<unsigned __int128>(unscaled);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude);
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale)
            digits.insert(0, static_cast<size_t>(scale + 1) - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
    }
    return negative ? "-" + digits : digits;
}

int compareDecimalText(std::string_view a, std::string_view b) {
    // Plain decimal text (what money and numeric columns hold) compares digit by digit,
    // exactly at any length.
    bool plain = false;
    const int exact = compareDecimalNumbers(a, b, plain);
    if (plain)
        return exact;
    auto x = parseDecimal(a, 38 - 20);
    auto y = parseDecimal(b, 38 - 20);
    if (x && y)
        return *x < *y ? -1 : *x > *y ? 1 : 0;
    // Numbers beyond 20 integer digits: compare by value of a wider scan.
    auto xs = parseDecimal(a, 0);
    auto ys = parseDecimal(b, 0);
    if (xs && ys) {
        if (*xs != *ys)
            return *xs < *ys ? -1 : 1;
        double dx = std::strtod(std::string(a).c_str(), nullptr);
        double dy = std::strtod(std::string(b).c_str(), nullptr);
        return dx < dy ? -1 : dx > dy ? 1 : 0;
    }
    if (xs && !ys)
        return -1;
    if (!xs && ys)
        return 1;
    int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c)
        return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string valueText(const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Null:
        return "NULL";
    case SqlValue::Kind::Integer:
        return std::to_string(v.integer);
    case SqlValue::Kind::Real:
        return realText(v.real);
    case SqlValue::Kind::Text:
        return v.bytes;
    case SqlValue::Kind::Blob: {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string out = "0x";
        for (unsigned char c : v.bytes) {
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
        return out;
    }
    }
    return {};
}

void checkIntegerRange(int64_t v, SqlType t) {
    int64_t low = INT64_MIN, high = INT64_MAX;
    switch (t) {
    case SqlType::TinyInt:
        low = 0;
        high = 255;
        break;
    case SqlType::SmallInt:
        low = INT16_MIN;
        high = INT16_MAX;
        break;
    case SqlType::Int:
        low = INT32_MIN;
        high = INT32_MAX;
        break;
    default:
        return;
    }
    if (v < low || v > high)
        throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
}

namespace {

/// Integer types and bit, range-checked.
void wireInteger(const SqlValue& v, const ColumnType& type, Value& out) {
    const SqlType t = type.type;
    auto i = integerOf(v);
    if (!i)
        throw v.kind == SqlValue::Kind::Real
            ? SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.")
            : conversionError(v, type);
    checkIntegerRange(*i, t);
    out.integer = t == SqlType::Bit ? (*i != 0) : *i;
}

/// real (kept to float precision) and float.
void wireReal(const SqlValue& v, const ColumnType& type, Value& out) {
    const SqlType t = type.type;
    auto d = realOf(v);
    if (!d)
        throw conversionError(v, type);
    out.real = t == SqlType::Real ? static_cast<double>(static_cast<float>(*d)) : *d;
    if (!std::isfinite(out.real)) // 1e300 * 1e10 overflows; no infinity is a value
        throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
}

/// Money (in 1/10000 units) and numeric values, exact and range-checked.
void wireExact(const SqlValue& v, const ColumnType& type, Value& out) {
    const SqlType t = type.type;
    out.integer = 0;
    if (t == SqlType::Money && v.kind == SqlValue::Kind::Text &&
        parseMoneyFast(v.bytes, out.integer))
        return;
    auto text = decimalSource(v);
    auto d = text ? parseDecimal(*text, scaleOf(type)) : std::nullopt;
    if (!d) {
        if (text && parseDecimal(*text, 0))
            throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
        throw conversionError(v, type);
    }
    if (*d > limitOf(type) ||
        *d < -limitOf(type) - (t == SqlType::Money || t == SqlType::SmallMoney))
        throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
    if (t == SqlType::Money || t == SqlType::SmallMoney)
        out.integer = static_cast<int64_t>(*d);
    else
        out.numeric = *d;
}

/// The days and ticks a date-time type holds of `parts`: datetime and time to the 1/300
/// second, smalldatetime to the minute (29.998 seconds down, 29.999 up), date the day alone.
/// False when the rounded value leaves the type's range.
bool heldAs(SqlType t, const DateTimeParts& parts, int32_t& days, uint32_t& ticks) {
    toDaysTicks(parts, days, ticks);
    if (t == SqlType::SmallDateTime) {
        uint32_t minutes = (ticks + 9000) / 18000;
        if (minutes >= 1440) {
            minutes -= 1440;
            ++days;
        }
        ticks = minutes * 18000;
        if (days < 0 || days > kLastSmallDateTimeDay)
            return false;
    }
    if (t == SqlType::Time)
        days = 0;
    if (t == SqlType::Date)
        ticks = 0;
    return true;
}

/// Date-times as days and 1/300-second ticks; smalldatetime rounded to the minute.
void wireDateTime(const SqlValue& v, const ColumnType& type, DateOrder order, Value& out) {
    const SqlType t = type.type;
    if (v.kind == SqlValue::Kind::Text && t == SqlType::DateTime &&
        parseCanonicalFast(v.bytes, out.days, out.ticks)) {
        if (out.days < kFirstDateTimeDay)
            throw conversionError(v, type);
        return;
    }
    auto parts = dateTimeOf(v, type, order);
    if (!parts || !inDateRange(t, *parts) || !heldAs(t, *parts, out.days, out.ticks))
        throw conversionError(v, type);
}

/// The bytes of a text or blob value as they are; any other value as its text.
std::string valueBytes(const SqlValue& v) {
    if (v.kind == SqlValue::Kind::Text || v.kind == SqlValue::Kind::Blob)
        return v.bytes;
    return valueText(v);
}

/// Character values, checked against (or, for stored columns, cut to) their length.
void wireCharacter(const SqlValue& v, const ColumnType& type, int32_t textSize, bool storedColumn,
                   Value& out) {
    const SqlType t = type.type;
    out.bytes = valueBytes(v);
    if (t == SqlType::UniChar || t == SqlType::UniVarChar) {
        if (storedColumn)
            cutCharacters(out.bytes, static_cast<size_t>(type.length));
        if (characterCount(out.bytes) > static_cast<size_t>(type.length))
            throw tooLong(out.bytes.size(), type);
    } else if (t == SqlType::Text) {
        // The session's text size cuts text values, as the server does.
        if (textSize > 0)
            cutUtf8(out.bytes, static_cast<size_t>(textSize));
    } else {
        // Lengths are in the server's character set: UTF-8 bytes, or ISO-8859-1 ones
        // (one a character) for an iso_1 server, whose text is kept as UTF-8 here.
        const bool singleByte = serverCharset() == Charset::Iso1;
        const size_t max = static_cast<size_t>(type.length);
        if (storedColumn)
            singleByte ? cutCharacters(out.bytes, max) : cutUtf8(out.bytes, max);
        const size_t length = singleByte ? characterCount(out.bytes) : out.bytes.size();
        if (length > max)
            throw tooLong(length, type);
        if (t == SqlType::Char && length < max)
            out.bytes.append(max - length, ' ');
    }
}

/// Binary values, checked against (or, for stored columns, cut to) their length.
void wireBinary(const SqlValue& v, const ColumnType& type, int32_t textSize, bool storedColumn,
                Value& out) {
    const SqlType t = type.type;
    out.bytes = valueBytes(v);
    if (t == SqlType::Image) {
        if (textSize > 0 && out.bytes.size() > static_cast<size_t>(textSize))
            out.bytes.resize(static_cast<size_t>(textSize));
    } else if (out.bytes.size() > static_cast<size_t>(type.length)) {
        if (!storedColumn)
            throw tooLong(out.bytes.size(), type);
        out.bytes.resize(static_cast<size_t>(type.length));
    }
    if (t == SqlType::Binary && out.bytes.size() < static_cast<size_t>(type.length))
        out.bytes.append(static_cast<size_t>(type.length) - out.bytes.size(), '\0');
}

} // namespace

void toWireValue(const SqlValue& v, const ColumnType& type, DateOrder order, int32_t textSize,
                 bool storedColumn, Value& out) {
    out.isNull = true;
    out.integer = 0;
    out.real = 0;
    out.numeric = 0;
    out.days = 0;
    out.ticks = 0;
    out.bytes.clear();
    if (v.isNull())
        return;
    out.isNull = false;
    const SqlType t = type.type;
    if (isIntegerType(t))
        wireInteger(v, type, out);
    else if (t == SqlType::Real || t == SqlType::Float)
        wireReal(v, type, out);
    else if (t == SqlType::Money || t == SqlType::SmallMoney || t == SqlType::Numeric ||
             t == SqlType::Decimal)
        wireExact(v, type, out);
    else if (t == SqlType::DateTime || t == SqlType::SmallDateTime || t == SqlType::Date ||
             t == SqlType::Time)
        wireDateTime(v, type, order, out);
    else if (isCharacterType(t))
        wireCharacter(v, type, textSize, storedColumn, out);
    else if (isBinaryType(t))
        wireBinary(v, type, textSize, storedColumn, out);
}

Value toWireValue(const SqlValue& v, const ColumnType& type, DateOrder order, int32_t textSize,
                  bool storedColumn) {
    Value out;
    toWireValue(v, type, order, textSize, storedColumn, out);
    return out;
}

SqlValue fromWireValue(const Value& v, const ColumnType& type) {
    if (v.isNull)
        return SqlValue::null();
    const SqlType t = type.type;
    if (isIntegerType(t))
        return SqlValue::ofInteger(v.integer);
    if (t == SqlType::Real || t == SqlType::Float)
        return SqlValue::ofReal(v.real);
    if (t == SqlType::Money || t == SqlType::SmallMoney)
        return SqlValue::ofText(formatDecimal(v.integer, 4));
    if (t == SqlType::Numeric || t == SqlType::Decimal)
        return SqlValue::ofText(formatDecimal(v.numeric, type.scale));
    if (t == SqlType::DateTime || t == SqlType::SmallDateTime || t == SqlType::Date ||
        t == SqlType::Time)
        return SqlValue::ofText(
            formatDateTime(fromDaysTicks(t == SqlType::Time ? 0 : v.days, v.ticks)));
    if (isBinaryType(t))
        return SqlValue::ofBlob(v.bytes);
    return SqlValue::ofText(v.bytes);
}

SqlValue coerceValue(const SqlValue& v, const ColumnType& type, DateOrder order) {
    if (v.isNull())
        return v;
    const SqlType t = type.type;
    if (isIntegerType(t)) {
        auto i = integerOf(v);
        if (!i) {
            if (v.kind == SqlValue::Kind::Real ||
                (v.kind == SqlValue::Kind::Text && parseDecimal(v.bytes, 0)))
                throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
            throw conversionError(v, type);
        }
        checkIntegerRange(*i, t);
        return SqlValue::ofInteger(t == SqlType::Bit ? (*i != 0) : *i);
    }
    if (t == SqlType::Real || t == SqlType::Float) {
        auto d = realOf(v);
        if (!d)
            throw conversionError(v, type);
        const double held = t == SqlType::Real ? static_cast<float>(*d) : *d;
        if (!std::isfinite(held))
            throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
        return SqlValue::ofReal(held);
    }
    if (t == SqlType::Money || t == SqlType::SmallMoney || t == SqlType::Numeric ||
        t == SqlType::Decimal) {
        auto text = decimalSource(v);
        auto d = text ? parseDecimal(*text, scaleOf(type)) : std::nullopt;
        if (!d) {
            // A number with more digits than the type can hold at its scale overflows.
            bool plain = false;
            if (text)
                (void)compareDecimalNumbers(*text, "0", plain);
            if (plain)
                throw SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
            throw conversionError(v, type);
        }
        if (*d > limitOf(type) || *d < -limitOf(type) - 1)
            throw SqlError(3606, 16, "Arithmetic overflow occurred.");
        return SqlValue::ofText(formatDecimal(*d, scaleOf(type)));
    }
    if (t == SqlType::DateTime || t == SqlType::SmallDateTime || t == SqlType::Date ||
        t == SqlType::Time) {
        // Stored as the type holds it, so that what is stored is what a client reads back.
        auto parts = dateTimeOf(v, type, order);
        int32_t days = 0;
        uint32_t ticks = 0;
        if (!parts || !inDateRange(t, *parts) || !heldAs(t, *parts, days, ticks))
            throw conversionError(v, type);
        return SqlValue::ofText(formatDateTime(fromDaysTicks(days, ticks)));
    }
    if (isBinaryType(t)) {
        std::string bytes = v.kind == SqlValue::Kind::Blob || v.kind == SqlValue::Kind::Text
                                ? v.bytes
                                : valueText(v);
        if (v.kind == SqlValue::Kind::Integer) {
            // An integer converts to the bytes of its int (or bigint) form, most significant
            // first: convert(binary(4), 1) is 0x00000001.
            const bool isInt = v.integer >= INT32_MIN && v.integer <= INT32_MAX;
            const int width = isInt ? 4 : 8;
            bytes.assign(static_cast<size_t>(width), '\0');
            const auto bits = static_cast<uint64_t>(v.integer);
            for (int k = 0; k < width; ++k)
                bytes[static_cast<size_t>(width - 1 - k)] =
                    static_cast<char>((bits >> (8 * k)) & 0xFF);
        }
        if (t != SqlType::Image && bytes.size() > static_cast<size_t>(type.length))
            bytes.resize(static_cast<size_t>(type.length));
        return SqlValue::ofBlob(std::move(bytes));
    }
    std::string text =
        v.kind == SqlValue::Kind::Text || v.kind == SqlValue::Kind::Blob ? v.bytes : valueText(v);
    // char and varchar lengths are in the server's character set: one byte a character on
    // an iso_1 server (whose text is kept as UTF-8 here), UTF-8 bytes otherwise.
    const bool singleByte = serverCharset() == Charset::Iso1;
    if (t == SqlType::UniChar || t == SqlType::UniVarChar || (singleByte && t != SqlType::Text))
        cutCharacters(text, static_cast<size_t>(type.length));
    else if (t != SqlType::Text)
        cutUtf8(text, static_cast<size_t>(type.length));
    // A fixed-length character value is blank-padded to its length.
    if (t == SqlType::Char || t == SqlType::UniChar) {
        const size_t length =
            t == SqlType::UniChar || singleByte ? characterCount(text) : text.size();
        if (length < static_cast<size_t>(type.length))
            text.append(static_cast<size_t>(type.length) - length, ' ');
    }
    return SqlValue::ofText(std::move(text));
}

} // namespace devserver

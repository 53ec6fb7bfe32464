// Values as the SQL side holds them (SQLite's storage classes plus a declared type), and the
// conversions between them and the values a client sees: exact decimals for money and
// numeric, date-times as days and 1/300-second ticks, date-time literals in the server's
// date order.
#pragma once

#include "Engine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devserver {

/// One value with SQLite's storage class. Money and numeric values are held as decimal
/// text so that no digit is lost; date-times as canonical text "YYYY-MM-DD HH:MM:SS.mmm".
struct SqlValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes; ///< Text or Blob

    static SqlValue null() { return {}; }
    static SqlValue ofInteger(int64_t v) {
        SqlValue s;
        s.kind = Kind::Integer;
        s.integer = v;
        return s;
    }
    static SqlValue ofReal(double v) {
        SqlValue s;
        s.kind = Kind::Real;
        s.real = v;
        return s;
    }
    static SqlValue ofText(std::string v) {
        SqlValue s;
        s.kind = Kind::Text;
        s.bytes = std::move(v);
        return s;
    }
    static SqlValue ofBlob(std::string v) {
        SqlValue s;
        s.kind = Kind::Blob;
        s.bytes = std::move(v);
        return s;
    }
    [[nodiscard]] bool isNull() const noexcept { return kind == Kind::Null; }
};

/// A calendar date-time with millisecond precision.
struct DateTimeParts {
    int year = 1900, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

/// Days since 1 Jan 1900 of a calendar date (negative before it).
[[nodiscard]] int32_t daysFromCivil(int year, int month, int day) noexcept;
/// The calendar date of a day count since 1 Jan 1900.
void civilFromDays(int32_t days, int& year, int& month, int& day) noexcept;

/// Reads a date-time literal: ISO forms ("2026-07-12", "2026-07-12 14:05:09.150",
/// "2026-07-12T14:05"), numeric dates in `order` with '.', '/' or '-' between the parts and a
/// four-digit year ("12.07.2026 14:05:09:45", milliseconds after a final ':'), digits
/// without separators read the same in every order ("20260712" or "260712", each with an
/// optional time after a blank), and month names ("Jul 12 2026 2:05PM", "12 Jul 2026").
/// Returns nothing when `text` is not one.
[[nodiscard]] std::optional<DateTimeParts> parseDateTime(std::string_view text, DateOrder order);
/// parseDateTime for telling a date literal from other text: digits without separators
/// count only as "yyyymmdd" followed by a time ('20261207 14:05'), since a bare run of
/// digits in quotes is more often a code than a date.
[[nodiscard]] std::optional<DateTimeParts> parseDateLiteral(std::string_view text, DateOrder order);
/// Reads a time of day alone ("14:05", "14:05:09.5", "2:05PM").
[[nodiscard]] std::optional<DateTimeParts> parseTimeOfDay(std::string_view text);
/// The canonical text form "YYYY-MM-DD HH:MM:SS.mmm" in which date-times are stored.
[[nodiscard]] std::string formatDateTime(const DateTimeParts& parts);
/// Converts to days since 1900 and 1/300-second ticks since midnight (rounded; a value that
/// rounds up to midnight moves to the next day).
void toDaysTicks(const DateTimeParts& parts, int32_t& days, uint32_t& ticks) noexcept;
/// Converts days and ticks back to a date-time (ticks rounded to the nearest millisecond).
[[nodiscard]] DateTimeParts fromDaysTicks(int32_t days, uint32_t ticks) noexcept;
/// The datetime value nearest `parts`: its time in whole 1/300 s (.001 becomes .000, .005
/// becomes .007), as a datetime holds it.
[[nodiscard]] DateTimeParts roundedToTicks(const DateTimeParts& parts) noexcept;

/// A decimal number read exactly from text: `unscaled` / 10^scale.
struct Decimal {
    __int128 unscaled = 0;
    int scale = 0;
};

/// Reads a decimal number ("-12.50", "1e3", " 7 ") and rounds it half away from zero to
/// `scale` digits. Fails (nothing) when it is no number or has more than 38 digits.
[[nodiscard]] std::optional<__int128> parseDecimal(std::string_view text, int scale);
/// Writes `unscaled` / 10^scale as plain decimal text ("-0.05").
[[nodiscard]] std::string formatDecimal(__int128 unscaled, int scale);
/// 10^n for n in 0..38.
[[nodiscard]] __int128 powerOfTen(int n) noexcept;

/// Compares two values of a decimal column numerically when both are numbers, bytewise
/// otherwise; the collation that orders money and numeric columns stored as text.
[[nodiscard]] int compareDecimalText(std::string_view a, std::string_view b);

/// The server's message numbers for values that do not fit the type they are sent as.
inline constexpr int kArithmeticOverflow = 3606;
inline constexpr int kValueTooLong = 7237;

/// Converts a stored value to what a client receives for a column of type `type`.
/// `order` reads date-times stored in a non-canonical form. Nothing is cut silently: a
/// number outside its type raises SqlError 3606, a character or binary value longer than
/// its declared length SqlError 7237, a value that is no value of the type SqlError 249.
/// Text and image values are cut to `textSize` bytes when it is positive (the session's
/// `set textsize`). With `storedColumn`, character and binary values are cut to the
/// declared length instead: a table column holds no longer value on the server, which cuts
/// what is stored in it.
[[nodiscard]] Value toWireValue(const SqlValue& value, const ColumnType& type, DateOrder order,
                                int32_t textSize = 0, bool storedColumn = false);
/// The same, into `out` (whose buffers are reused: no allocation per value in a long result).
void toWireValue(const SqlValue& value, const ColumnType& type, DateOrder order, int32_t textSize,
                 bool storedColumn, Value& out);
/// Converts a value received from a client (an RPC parameter) to its stored form.
[[nodiscard]] SqlValue fromWireValue(const Value& value, const ColumnType& type);
/// Converts a value to the stored form of a variable or column of `type` (money and
/// numeric rounded to their scale as text, date-times in canonical text, character values
/// cut to their length, integers as integers). Throws SqlError 257 when it cannot.
[[nodiscard]] SqlValue coerceValue(const SqlValue& value, const ColumnType& type, DateOrder order);

/// Text of a value as `print` and string conversions show it.
[[nodiscard]] std::string valueText(const SqlValue& value);

} // namespace devserver

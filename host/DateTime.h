// Dates and times: TDateTime (days since 30 December 1899 as a double, the fraction being
// the time of day) and TTimeStamp (days since 1 January of year 1 plus one, milliseconds
// since midnight), with the framework's encodings, ranges and errors, exact to the ms.
#pragma once

#include <cstdint>
#include <string>

namespace tovrin::host {

/// Days since 30 December 1899; the fraction is the time of day. Negative values count
/// days before that date with a positive time fraction (-1.25 is 29 Dec 1899, 06:00).
using TDateTime = double;

/// Date and time as two integers. Field order as in the framework's record.
struct TTimeStamp {
    int32_t Time = 0; ///< milliseconds since midnight, 0..86399999
    int32_t Date = 0; ///< days since 1 January 0001, plus one (1 Jan 0001 is 1)
    bool operator==(const TTimeStamp&) const = default;
};

inline constexpr int32_t HoursPerDay = 24;
inline constexpr int32_t MinsPerDay = 24 * 60;
inline constexpr int32_t SecsPerDay = MinsPerDay * 60;
inline constexpr int32_t MSecsPerDay = SecsPerDay * 1000;
/// Days between 1 January 0001 and 30 December 1899 (TTimeStamp.Date of TDateTime 0).
inline constexpr int32_t DateDelta = 693594;

/// True for leap years of the proleptic Gregorian calendar.
[[nodiscard]] bool IsLeapYear(int Year) noexcept;
/// Days in the month (1..12) of the year; 0 for a month out of range.
[[nodiscard]] int DaysInAMonth(int Year, int Month) noexcept;

/// Date of year 1..9999, month 1..12, day 1..days in month. Otherwise raises
/// EConvertError "Invalid argument to date encode".
[[nodiscard]] TDateTime EncodeDate(int Year, int Month, int Day);
/// Time fraction of hour 0..23, minute 0..59, second 0..59, ms 0..999. Otherwise raises
/// EConvertError "Invalid argument to time encode".
[[nodiscard]] TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
/// Non-throwing forms; false when the arguments are out of range.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) noexcept;
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time) noexcept;

/// Splits the date part (rounded to the millisecond like DateTimeToTimeStamp). Dates
/// outside 1..9999 give year, month and day 0.
void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day);
/// Splits the time of day, exact to the millisecond.
void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec);

/// Rounds to the nearest millisecond and splits into day number and time of day.
[[nodiscard]] TTimeStamp DateTimeToTimeStamp(TDateTime DateTime);
/// Inverse of DateTimeToTimeStamp. Raises EConvertError "'<time>.<date>' is not a valid
/// timestamp" when Time is outside 0..86399999 or Date is not positive.
[[nodiscard]] TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp);
/// Milliseconds since the start of 1 January 0001 minus one day: Date * 86400000 + Time.
/// Validates as TimeStampToDateTime.
[[nodiscard]] double TimeStampToMSecs(const TTimeStamp& TimeStamp);
/// Inverse of TimeStampToMSecs (the value is rounded to a whole millisecond). Raises
/// EConvertError for a negative or non-finite value.
[[nodiscard]] TTimeStamp MSecsToTimeStamp(double MSecs);

/// Current local date and time, date only, time only.
[[nodiscard]] TDateTime Now();
[[nodiscard]] TDateTime Date();
[[nodiscard]] TDateTime Time();

/// Formats with a pattern: d dd ddd dddd, m mm mmm mmmm (month; after h/hh: minutes),
/// yy yyyy, h hh (0..23), n nn, s ss, z zzz, am/pm, "/" the date separator, ":" the time
/// separator of FormatSettings, text in single or double quotes literally, c the short
/// date and long time. Any other character stands for itself.
[[nodiscard]] std::string FormatDateTime(const std::string& Format, TDateTime DateTime);
/// Short date and long time (time omitted when zero).
[[nodiscard]] std::string DateTimeToStr(TDateTime DateTime);
[[nodiscard]] std::string DateToStr(TDateTime DateTime);
[[nodiscard]] std::string TimeToStr(TDateTime DateTime);
/// Parses "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" or the short date format of FormatSettings
/// followed by an optional time; raises EConvertError "'<text>' is not a valid date and time".
[[nodiscard]] TDateTime StrToDateTime(const std::string& Text);

} // namespace tovrin::host

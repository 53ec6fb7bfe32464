// Date and time encodings (TDateTime, TTimeStamp), exact to the millisecond, and their
// text forms.
#include "tovrin5/host/DateTime.h"

#include <sys/time.h>

#include <cctype>
#include <cmath>
#include <ctime>
#include <string>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {
constexpr int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Days from 1 Jan 0001 (day 1) of the given valid date.
int64_t dayNumber(int year, int month, int day) {
    const int* table = kMonthDays[IsLeapYear(year) ? 1 : 0];
    int64_t days = day;
    for (int m = 0; m < month - 1; ++m)
        days += table[m];
    int64_t y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400 + days;
}

// Splits a day number (1 = 1 Jan 0001) into year, month, day; false when out of range.
bool splitDayNumber(int64_t dayNo, int& year, int& month, int& day) {
    if (dayNo <= 0 || dayNo > 3652059)
        return false;
    int64_t d = dayNo - 1;
    constexpr int64_t kD1 = 365;
    constexpr int64_t kD4 = kD1 * 4 + 1;
    constexpr int64_t kD100 = kD4 * 25 - 1;
    constexpr int64_t kD400 = kD100 * 4 + 1;
    int64_t y = 1;
    y += (d / kD400) * 400;
    d %= kD400;
    int64_t i = d / kD100;
    if (i == 4)
        i = 3;
    y += i * 100;
    d -= i * kD100;
    y += (d / kD4) * 4;
    d %= kD4;
    i = d / kD1;
    if (i == 4)
        i = 3;
    y += i;
    d -= i * kD1;
    year = static_cast<int>(y);
    const int* table = kMonthDays[IsLeapYear(year) ? 1 : 0];
    int m = 0;
    while (d >= table[m]) {
        d -= table[m];
        ++m;
    }
    month = m + 1;
    day = static_cast<int>(d) + 1;
    return true;
}

void validateTimeStamp(const TTimeStamp& ts) {
    if (ts.Time < 0 || ts.Time >= MSecsPerDay || ts.Date <= 0)
        throw EConvertError("'" + std::to_string(ts.Time) + "." + std::to_string(ts.Date) +
                            "' is not a valid timestamp");
}
} // namespace

bool IsLeapYear(int Year) noexcept {
    return (Year % 4 == 0) && ((Year % 100 != 0) || (Year % 400 == 0));
}

int DaysInAMonth(int Year, int Month) noexcept {
    if (Month < 1 || Month > 12)
        return 0;
    return kMonthDays[IsLeapYear(Year) ? 1 : 0][Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) noexcept {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > DaysInAMonth(Year, Month))
        return false;
    Date = static_cast<double>(dayNumber(Year, Month, Day) - DateDelta);
    return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Time) noexcept {
    if (Hour < 0 || Hour >= 24 || Min < 0 || Min >= 60 || Sec < 0 || Sec >= 60 || MSec < 0 ||
        MSec >= 1000)
        return false;
    Time = static_cast<double>(((Hour * 60 + Min) * 60 + Sec) * 1000 + MSec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime d = 0;
    if (!TryEncodeDate(Year, Month, Day, d))
        throw EConvertError("Invalid argument to date encode");
    return d;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    TDateTime t = 0;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, t))
        throw EConvertError("Invalid argument to time encode");
    return t;
}

TTimeStamp DateTimeToTimeStamp(TDateTime DateTime) {
    // Beyond this the day number no longer fits its 32-bit field.
    if (!std::isfinite(DateTime) || std::fabs(DateTime) > 2.0e9)
        throw EConvertError("Invalid date and time value " + FloatToStrSep(DateTime, '.'));
    auto ms = static_cast<int64_t>(std::llround(DateTime * MSecsPerDay));
    TTimeStamp ts;
    ts.Time = static_cast<int32_t>((ms < 0 ? -ms : ms) % MSecsPerDay);
    ts.Date = static_cast<int32_t>(DateDelta + ms / MSecsPerDay);
    return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& TimeStamp) {
    validateTimeStamp(TimeStamp);
    double days = static_cast<double>(TimeStamp.Date) - DateDelta;
    double fraction = static_cast<double>(TimeStamp.Time) / MSecsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

double TimeStampToMSecs(const TTimeStamp& TimeStamp) {
    validateTimeStamp(TimeStamp);
    return static_cast<double>(static_cast<int64_t>(TimeStamp.Date) * MSecsPerDay + TimeStamp.Time);
}

TTimeStamp MSecsToTimeStamp(double MSecs) {
    if (!std::isfinite(MSecs) || MSecs < 0 || MSecs >= 2147483647.0 * MSecsPerDay)
        throw EConvertError("Invalid millisecond value " + FloatToStrSep(MSecs, '.'));
    auto ms = static_cast<int64_t>(std::llround(MSecs));
    TTimeStamp ts;
    ts.Date = static_cast<int32_t>(ms / MSecsPerDay);
    ts.Time = static_cast<int32_t>(ms % MSecsPerDay);
    return ts;
}

void DecodeDate(TDateTime Date, int& Year, int& Month, int& Day) {
    TTimeStamp ts = DateTimeToTimeStamp(Date);
    if (!splitDayNumber(ts.Date, Year, Month, Day)) {
        Year = 0;
        Month = 0;
        Day = 0;
    }
}

void DecodeTime(TDateTime Time, int& Hour, int& Min, int& Sec, int& MSec) {
    int32_t t = DateTimeToTimeStamp(Time).Time;
    Hour = t / 3600000;
    t %= 3600000;
    Min = t / 60000;
    t %= 60000;
    Sec = t / 1000;
    MSec = t % 1000;
}

TDateTime Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                      static_cast<int>(tv.tv_usec / 1000));
}

TDateTime Date() {
    return std::floor(Now());
}

TDateTime Time() {
    TDateTime n = Now();
    return n - std::floor(n);
}

namespace {
const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};
const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

// Appends v in decimal, at least `width` digits (zeros in front); no temporary strings, as
// dates are formatted once per value of a whole result.
void appendNumber(std::string& out, int v, int width = 1) {
    char digits[16];
    int n = 0;
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0)
        out += '-';
    for (int k = n; k < width; ++k)
        out += '0';
    while (n > 0)
        out += digits[--n];
}

// Format letters are ASCII: lower-cased without the locale.
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(const std::string& s, size_t pos, const char* word) {
    for (size_t k = 0; word[k]; ++k) {
        if (pos + k >= s.size() || asciiLower(s[pos + k]) != word[k])
            return false;
    }
    return true;
}

void formatInto(std::string& out, const std::string& fmt, TDateTime value, int depth);

// The parts of a date and time that the format letters show.
struct DateParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    int weekday = 0; // 0 Sunday
    bool hasTime = false;

    explicit DateParts(TDateTime value) {
        TTimeStamp ts = DateTimeToTimeStamp(value);
        if (!splitDayNumber(ts.Date, year, month, day))
            year = month = day = 0;
        hour = ts.Time / 3600000;
        minute = ts.Time / 60000 % 60;
        second = ts.Time / 1000 % 60;
        msec = ts.Time % 1000;
        weekday = static_cast<int>(((static_cast<int64_t>(ts.Date) % 7) + 7) %
                                   7); // day 1 (1 Jan 0001) is a Monday
        hasTime = ts.Time != 0;
    }
};

// Whether the format holds an am/pm marker, which turns the hours to the 12-hour clock.
bool hasAmPm(const std::string& fmt) {
    for (size_t k = 0; k < fmt.size(); ++k) {
        if ((fmt[k] == 'a' || fmt[k] == 'A') &&
            (startsWithNoCase(fmt, k, "am/pm") || startsWithNoCase(fmt, k, "a/p") ||
             startsWithNoCase(fmt, k, "ampm")))
            return true;
    }
    return false;
}

// Formats one value by one format string: the string is read as runs of the same letter
// (case-blind), each run one token. Each token's function appends its text and returns how
// many characters of the format it used. Nested formats (c, ddddd, t, tt) recurse at most
// twice, so that a format that names itself ends.
class DateFormatter {
public:
    DateFormatter(std::string& out, const std::string& fmt, TDateTime value, int depth)
        : m_out(out), m_fmt(fmt), m_value(value), m_depth(depth), m_parts(value),
          m_fs(FormatSettings()), m_twelveHour(hasAmPm(fmt)) {}

    void run() {
        size_t i = 0;
        while (i < m_fmt.size()) {
            const char c = m_fmt[i];
            const char lc = asciiLower(c);
            size_t run = 1;
            while (i + run < m_fmt.size() && asciiLower(m_fmt[i + run]) == lc)
                ++run;
            if (lc == '\'' || lc == '"') {
                i = quoted(i);
                continue;
            }
            if (lc == 'c') {
                dateAndTime();
                i += 1;
                continue;
            }
            bool hourToken = false;
            i += token(i, lc, run, hourToken);
            if (lc != ' ')
                m_lastWasHour =
                    hourToken || (m_lastWasHour && !std::isalpha(static_cast<unsigned char>(c)));
        }
    }

private:
    size_t token(size_t i, char lc, size_t run, bool& hourToken) {
        switch (lc) {
        case 'd':
            return days(run);
        case 'm':
            return months(run);
        case 'y':
            appendNumber(m_out, run <= 2 ? m_parts.year % 100 : m_parts.year, run <= 2 ? 2 : 4);
            return run;
        case 'h':
            hourToken = true;
            return hours(run);
        case 'n':
            return twoDigits(m_parts.minute, run);
        case 's':
            return twoDigits(m_parts.second, run);
        case 'z':
            return milliseconds(run);
        case 't':
            if (m_depth < 2)
                nested(run == 1 ? "hh:nn" : m_fs.LongTimeFormat);
            return run > 2 ? 2 : run;
        case 'a':
            return amPm(i);
        case '/':
            m_out += m_fs.DateSeparator;
            return 1;
        case ':':
            m_out += m_fs.TimeSeparator;
            return 1;
        default:
            m_out += m_fmt[i];
            return 1;
        }
    }

    void nested(const std::string& fmt) { formatInto(m_out, fmt, m_value, m_depth + 1); }

    // Text in quotes is copied as it stands; returns the position after the closing quote.
    size_t quoted(size_t i) {
        size_t end = m_fmt.find(m_fmt[i], i + 1);
        if (end == std::string::npos)
            end = m_fmt.size();
        m_out.append(m_fmt, i + 1, end - i - 1);
        return end + 1;
    }

    // c: the short date, and the long time unless the time is midnight.
    void dateAndTime() {
        if (m_depth >= 2)
            return;
        nested(m_fs.ShortDateFormat);
        if (m_parts.hasTime) {
            m_out += ' ';
            nested(m_fs.LongTimeFormat);
        }
    }

    // d, dd: day of month; ddd, dddd: weekday name; ddddd and longer: the short date.
    size_t days(size_t run) {
        if (run <= 2)
            appendNumber(m_out, m_parts.day, static_cast<int>(run));
        else if (run == 3)
            m_out += kShortDays[m_parts.weekday];
        else if (run == 4)
            m_out += kLongDays[m_parts.weekday];
        else if (m_depth < 2)
            nested(m_fs.ShortDateFormat);
        return run;
    }

    // m, mm: the month, or the minute right after an hour; mmm, mmmm: the month's name.
    size_t months(size_t run) {
        const int month = m_parts.month;
        if (m_lastWasHour && run <= 2) {
            appendNumber(m_out, m_parts.minute, static_cast<int>(run));
        } else if (run <= 2) {
            appendNumber(m_out, month, static_cast<int>(run));
        } else {
            m_out +=
                month >= 1 ? (run == 3 ? kShortMonths[month - 1] : kLongMonths[month - 1]) : "";
        }
        return run;
    }

    size_t hours(size_t run) {
        int h = m_parts.hour;
        if (m_twelveHour) {
            h %= 12;
            if (h == 0)
                h = 12;
        }
        return twoDigits(h, run);
    }

    // One letter: no leading zero; two (or more, of which two are used): two digits.
    size_t twoDigits(int v, size_t run) {
        appendNumber(m_out, v, run == 1 ? 1 : 2);
        return run > 2 ? 2 : run;
    }

    size_t milliseconds(size_t run) {
        if (run >= 3) {
            appendNumber(m_out, m_parts.msec, 3);
            return 3;
        }
        appendNumber(m_out, m_parts.msec);
        return 1;
    }

    // am/pm and a/p in the case written; ampm: the settings' strings; else a plain 'a'.
    size_t amPm(size_t i) {
        const bool am = m_parts.hour < 12;
        const bool upper = std::isupper(static_cast<unsigned char>(m_fmt[i])) != 0;
        if (startsWithNoCase(m_fmt, i, "am/pm")) {
            m_out += am ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            return 5;
        }
        if (startsWithNoCase(m_fmt, i, "a/p")) {
            m_out += am ? (upper ? 'A' : 'a') : (upper ? 'P' : 'p');
            return 3;
        }
        if (startsWithNoCase(m_fmt, i, "ampm")) {
            m_out += am ? m_fs.TimeAMString : m_fs.TimePMString;
            return 4;
        }
        m_out += m_fmt[i];
        return 1;
    }

    std::string& m_out;
    const std::string& m_fmt;
    TDateTime m_value;
    int m_depth;
    DateParts m_parts;
    const TFormatSettings& m_fs;
    bool m_twelveHour;
    bool m_lastWasHour = false;
};

void formatInto(std::string& out, const std::string& fmt, TDateTime value, int depth) {
    DateFormatter(out, fmt, value, depth).run();
}
} // namespace

std::string FormatDateTime(const std::string& Format, TDateTime DateTime) {
    std::string out;
    formatInto(out, Format.empty() ? std::string("c") : Format, DateTime, 0);
    return out;
}

std::string DateTimeToStr(TDateTime DateTime) {
    return FormatDateTime("c", DateTime);
}
std::string DateToStr(TDateTime DateTime) {
    return FormatDateTime(FormatSettings().ShortDateFormat, DateTime);
}
std::string TimeToStr(TDateTime DateTime) {
    return FormatDateTime(FormatSettings().LongTimeFormat, DateTime);
}

namespace {
bool readNumber(const std::string& s, size_t& i, int& value, int maxDigits) {
    size_t start = i;
    value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) &&
           i - start < static_cast<size_t>(maxDigits)) {
        value = value * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

bool parseTime(const std::string& s, size_t& i, TDateTime& t) {
    int h = 0, n = 0, sec = 0, ms = 0;
    char sep = FormatSettings().TimeSeparator;
    if (!readNumber(s, i, h, 2))
        return false;
    if (i >= s.size() || (s[i] != ':' && s[i] != sep))
        return false;
    ++i;
    if (!readNumber(s, i, n, 2))
        return false;
    if (i < s.size() && (s[i] == ':' || s[i] == sep)) {
        ++i;
        if (!readNumber(s, i, sec, 2))
            return false;
        if (i < s.size() && s[i] == '.') {
            ++i;
            size_t start = i;
            if (!readNumber(s, i, ms, 3))
                return false;
            for (size_t k = i - start; k < 3; ++k)
                ms *= 10;
        }
    }
    return TryEncodeTime(h, n, sec, ms, t);
}
} // namespace

TDateTime StrToDateTime(const std::string& Text) {
    std::string s = Trim(Text);
    auto fail = [&]() -> TDateTime {
        throw EConvertError("'" + Text + "' is not a valid date and time");
    };
    size_t i = 0;
    int a = 0, b = 0, c = 0;
    TDateTime date = 0;
    TDateTime time = 0;
    bool haveDate = false;
    // ISO form first.
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
        if (!readNumber(s, i, a, 4) || i != 4)
            return fail();
        ++i;
        if (!readNumber(s, i, b, 2))
            return fail();
        ++i;
        if (!readNumber(s, i, c, 2))
            return fail();
        if (!TryEncodeDate(a, b, c, date))
            return fail();
        haveDate = true;
        if (i < s.size() && (s[i] == 'T' || s[i] == ' '))
            ++i;
    } else {
        char sep = FormatSettings().DateSeparator;
        size_t probe = i;
        int first = 0;
        if (readNumber(s, probe, first, 4) && probe < s.size() &&
            (s[probe] == sep || s[probe] == '/' || s[probe] == '.' || s[probe] == '-')) {
            char used = s[probe];
            int parts[3] = {0, 0, 0};
            i = 0;
            for (int k = 0; k < 3; ++k) {
                if (!readNumber(s, i, parts[k], 4))
                    return fail();
                if (k < 2) {
                    if (i >= s.size() || s[i] != used)
                        return fail();
                    ++i;
                }
            }
            // Order of day, month and year from the short date format.
            std::string order;
            for (char f : FormatSettings().ShortDateFormat) {
                char l = static_cast<char>(std::tolower(static_cast<unsigned char>(f)));
                if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos)
                    order += l;
            }
            if (order.size() != 3)
                order = "dmy";
            int d = 0, m = 0, y = 0;
            for (int k = 0; k < 3; ++k) {
                if (order[static_cast<size_t>(k)] == 'd')
                    d = parts[k];
                else if (order[static_cast<size_t>(k)] == 'm')
                    m = parts[k];
                else
                    y = parts[k];
            }
            if (y < 100)
                y += y < 50 ? 2000 : 1900;
            if (!TryEncodeDate(y, m, d, date))
                return fail();
            haveDate = true;
            while (i < s.size() && s[i] == ' ')
                ++i;
        }
    }
    if (i < s.size()) {
        if (!parseTime(s, i, time))
            return fail();
    } else if (!haveDate) {
        return fail();
    }
    if (i != s.size())
        return fail();
    return date >= 0 ? date + time : date - time;
}

} // namespace tovrin::host

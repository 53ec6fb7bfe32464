// Date-time literals and the day/tick arithmetic of the datetime types: days since
// 1 Jan 1900 and 1/300-second ticks since midnight. Stored values use the canonical text
// "YYYY-MM-DD HH:MM:SS.mmm", which sorts correctly as text and keeps every tick: a tick is
// 3 1/3 ms, so rounding ticks to milliseconds and back gives the same tick.
#include "TypesValues.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

namespace devserver {

namespace {

constexpr uint32_t kTicksPerDay = 300u * 86400u;

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[static_cast<size_t>(m - 1)];
}

bool validDate(int y, int m, int d) {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

/// A cursor over the literal's characters.
struct Reader {
    std::string_view s;
    size_t pos = 0;

    bool atEnd() const { return pos >= s.size(); }
    char peek() const { return atEnd() ? '\0' : s[pos]; }
    void skipSpaces() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(s[pos])))
            ++pos;
    }
    /// Reads 1..maxDigits digits; `count` receives how many.
    bool number(int& value, int& count, int maxDigits) {
        value = 0;
        count = 0;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(s[pos])) && count < maxDigits) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
            ++count;
        }
        return count > 0;
    }
    bool word(std::string& out) {
        out.clear();
        while (!atEnd() && std::isalpha(static_cast<unsigned char>(s[pos]))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(s[pos])));
            ++pos;
        }
        return !out.empty();
    }
};

int monthFromName(const std::string& word) {
    static constexpr std::array<const char*, 12> kNames{
        "january", "february", "march",     "april",   "may",      "june",
        "july",    "august",   "september", "october", "november", "december"};
    if (word.size() < 3)
        return 0;
    for (size_t i = 0; i < kNames.size(); ++i) {
        std::string_view name(kNames[i]);
        if (word.size() <= name.size() && name.substr(0, word.size()) == word)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

/// Reads an optional time of day at the reader's position into `parts`; true when the rest
/// of the text was a valid time (or empty).
bool readTime(Reader& r, DateTimeParts& parts) {
    r.skipSpaces();
    if (r.atEnd())
        return true;
    int hour = 0, minute = 0, second = 0, ms = 0, n = 0;
    if (!r.number(hour, n, 2))
        return false;
    bool haveMinute = false;
    if (r.peek() == ':') {
        ++r.pos;
        if (!r.number(minute, n, 2))
            return false;
        haveMinute = true;
        if (r.peek() == ':') {
            ++r.pos;
            if (!r.number(second, n, 2))
                return false;
            if (r.peek() == ':') {
                // After a colon the number counts milliseconds.
                ++r.pos;
                if (!r.number(ms, n, 3))
                    return false;
            } else if (r.peek() == '.') {
                // After a period it is a fraction of a second.
                ++r.pos;
                int frac = 0;
                if (!r.number(frac, n, 3))
                    return false;
                ms = n == 1 ? frac * 100 : n == 2 ? frac * 10 : frac;
                while (std::isdigit(static_cast<unsigned char>(r.peek())))
                    ++r.pos;
            }
        }
    }
    r.skipSpaces();
    std::string suffix;
    if (r.word(suffix)) {
        if (suffix != "am" && suffix != "pm")
            return false;
        if (hour < 1 || hour > 12)
            return false;
        if (suffix == "am" && hour == 12)
            hour = 0;
        if (suffix == "pm" && hour != 12)
            hour += 12;
    } else if (!haveMinute) {
        return false;
    }
    r.skipSpaces();
    if (!r.atEnd())
        return false;
    if (hour > 23 || minute > 59 || second > 59 || ms > 999)
        return false;
    parts.hour = hour;
    parts.minute = minute;
    parts.second = second;
    parts.millisecond = ms;
    return true;
}

/// The order of the numeric date parts, a letter each: "mdy" for month, day, year.
std::string_view partOrder(DateOrder order) {
    switch (order) {
    case DateOrder::MDY:
        return "mdy";
    case DateOrder::DMY:
        return "dmy";
    case DateOrder::YMD:
        return "ymd";
    case DateOrder::YDM:
        return "ydm";
    case DateOrder::MYD:
        return "myd";
    case DateOrder::DYM:
        return "dym";
    }
    return "mdy";
}

/// Assigns the three numeric date parts according to the date order.
void orderParts(DateOrder order, const std::array<int, 3>& v, int& y, int& m, int& d) {
    const std::string_view parts = partOrder(order);
    for (size_t i = 0; i < 3; ++i)
        (parts[i] == 'y' ? y : parts[i] == 'm' ? m : d) = v[i];
}

int yearPosition(DateOrder order) {
    return static_cast<int>(partOrder(order).find('y'));
}

std::optional<DateTimeParts> numericDate(Reader r, DateOrder order) {
    std::array<int, 3> values{};
    std::array<int, 3> digits{};
    char separator = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (!r.number(values[i], digits[i], 4))
            return std::nullopt;
        if (i < 2) {
            char c = r.peek();
            if (c != '.' && c != '/' && c != '-')
                return std::nullopt;
            if (separator && c != separator)
                return std::nullopt;
            separator = c;
            ++r.pos;
        }
    }
    DateOrder effective = order;
    // A leading four-digit year is read year first; with '-' it is an ISO date (year,
    // month, day) whatever the order, which is also how stored values are read back.
    if (digits[0] == 4 && (yearPosition(order) != 0 || separator == '-'))
        effective = DateOrder::YMD;
    if (digits[static_cast<size_t>(yearPosition(effective))] != 4)
        return std::nullopt;
    for (size_t i = 0; i < 3; ++i)
        if (static_cast<int>(i) != yearPosition(effective) && digits[i] > 2)
            return std::nullopt;
    DateTimeParts parts;
    orderParts(effective, values, parts.year, parts.month, parts.day);
    if (!validDate(parts.year, parts.month, parts.day))
        return std::nullopt;
    if (r.peek() == 'T' || r.peek() == 't')
        ++r.pos;
    if (!readTime(r, parts))
        return std::nullopt;
    return parts;
}

// Digits without separators, read the same whatever the date order: "yyyymmdd" or
// "yymmdd" (years below 50 are 20yy), then an optional time after a blank.
std::optional<DateTimeParts> unseparatedDate(Reader r) {
    const size_t start = r.pos;
    while (std::isdigit(static_cast<unsigned char>(r.peek())))
        ++r.pos;
    const std::string_view digits = r.s.substr(start, r.pos - start);
    auto number = [&](size_t at, size_t count) {
        int value = 0;
        for (size_t k = at; k < at + count; ++k)
            value = value * 10 + (digits[k] - '0');
        return value;
    };
    DateTimeParts parts;
    if (digits.size() == 8) {
        parts.year = number(0, 4);
        parts.month = number(4, 2);
        parts.day = number(6, 2);
    } else if (digits.size() == 6) {
        const int yy = number(0, 2);
        parts.year = yy < 50 ? 2000 + yy : 1900 + yy;
        parts.month = number(2, 2);
        parts.day = number(4, 2);
    } else {
        return std::nullopt;
    }
    if (!validDate(parts.year, parts.month, parts.day))
        return std::nullopt;
    if (!r.atEnd() && !std::isspace(static_cast<unsigned char>(r.peek())))
        return std::nullopt;
    if (!readTime(r, parts))
        return std::nullopt;
    return parts;
}

/// The year after a date's day: an optional comma, then four digits.
bool readYearAfterDay(Reader& r, int& year) {
    if (r.peek() == ',')
        ++r.pos;
    r.skipSpaces();
    int n = 0;
    return r.number(year, n, 4) && n == 4;
}

std::optional<DateTimeParts> namedMonthDate(Reader r) {
    DateTimeParts parts;
    std::string word;
    int n = 0;
    if (r.word(word)) {
        // "Jul 12 2026", "July 12, 2026"
        r.skipSpaces();
        if (!r.number(parts.day, n, 2))
            return std::nullopt;
    } else {
        // "12 Jul 2026"
        if (!r.number(parts.day, n, 2))
            return std::nullopt;
        r.skipSpaces();
        if (!r.word(word))
            return std::nullopt;
    }
    parts.month = monthFromName(word);
    if (!parts.month || !readYearAfterDay(r, parts.year))
        return std::nullopt;
    if (!validDate(parts.year, parts.month, parts.day))
        return std::nullopt;
    if (!readTime(r, parts))
        return std::nullopt;
    return parts;
}

} // namespace

int32_t daysFromCivil(int year, int month, int day) noexcept {
    // Days from 1970-01-01 (Howard Hinnant's algorithm), shifted to 1900-01-01.
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = static_cast<int64_t>(era) * 146097 + doe - 719468;
    return static_cast<int32_t>(unixDays + 25567);
}

void civilFromDays(int32_t days, int& year, int& month, int& day) noexcept {
    int64_t z = static_cast<int64_t>(days) - 25567 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

std::optional<DateTimeParts> parseDateTime(std::string_view text, DateOrder order) {
    Reader r{text};
    r.skipSpaces();
    if (r.atEnd())
        return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(r.peek()))) {
        if (auto parts = numericDate(r, order))
            return parts;
        if (auto parts = unseparatedDate(r))
            return parts;
    }
    return namedMonthDate(r);
}

std::optional<DateTimeParts> parseDateLiteral(std::string_view text, DateOrder order) {
    Reader r{text};
    r.skipSpaces();
    const size_t start = r.pos;
    while (std::isdigit(static_cast<unsigned char>(r.peek())))
        ++r.pos;
    const size_t digits = r.pos - start;
    if ((digits == 6 || digits == 8) &&
        (r.atEnd() || std::isspace(static_cast<unsigned char>(r.peek())))) {
        r.skipSpaces();
        if (digits != 8 || r.atEnd())
            return std::nullopt;
    }
    return parseDateTime(text, order);
}

std::optional<DateTimeParts> parseTimeOfDay(std::string_view text) {
    Reader r{text};
    r.skipSpaces();
    if (r.atEnd())
        return std::nullopt;
    DateTimeParts parts;
    if (!readTime(r, parts))
        return std::nullopt;
    return parts;
}

std::string formatDateTime(const DateTimeParts& p) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month,
                  p.day, p.hour, p.minute, p.second, p.millisecond);
    return buffer;
}

void toDaysTicks(const DateTimeParts& parts, int32_t& days, uint32_t& ticks) noexcept {
    days = daysFromCivil(parts.year, parts.month, parts.day);
    const int64_t ms =
        ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
    int64_t t = (ms * 3 + 5) / 10;
    if (t >= kTicksPerDay) {
        t -= kTicksPerDay;
        ++days;
    }
    ticks = static_cast<uint32_t>(t);
}

DateTimeParts fromDaysTicks(int32_t days, uint32_t ticks) noexcept {
    DateTimeParts parts;
    days += static_cast<int32_t>(ticks / kTicksPerDay);
    ticks %= kTicksPerDay;
    civilFromDays(days, parts.year, parts.month, parts.day);
    int64_t ms = (static_cast<int64_t>(ticks) * 10 + 1) / 3;
    parts.millisecond = static_cast<int>(ms % 1000);
    int64_t seconds = ms / 1000;
    parts.second = static_cast<int>(seconds % 60);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.hour = static_cast<int>(seconds / 3600);
    return parts;
}

DateTimeParts roundedToTicks(const DateTimeParts& parts) noexcept {
    int32_t days = 0;
    uint32_t ticks = 0;
    toDaysTicks(parts, days, ticks);
    return fromDaysTicks(days, ticks);
}

} // namespace devserver

// The functions of the server's SQL dialect, registered on every connection: getdate(),
// db_name(), user_name(), object_id(), datalength(), replicate(), space(),
// left(), right(), convert() with the server's styles, datepart(), dateadd(), datediff(),
// and the collation that orders decimal text numerically.
#include "SqlConnection.h"

#include "ExactArithmetic.h"

#include "SqlErrors.h"
#include "TypesCatalog.h"
#include "TypesValues.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace devserver {

namespace {

/// Longest string replicate() and space() build.
constexpr uint64_t kMaxBuiltString = 64u << 20;

const ConnectionHooks& hooksOf(sqlite3_context* ctx) {
    return *static_cast<const ConnectionHooks*>(sqlite3_user_data(ctx));
}

SqlValue readValue(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return SqlValue::ofInteger(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return SqlValue::ofReal(sqlite3_value_double(v));
    case SQLITE_TEXT:
        return SqlValue::ofText(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                            static_cast<size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: {
        const void* data = sqlite3_value_blob(v);
        return SqlValue::ofBlob(std::string(static_cast<const char*>(data),
                                            static_cast<size_t>(sqlite3_value_bytes(v))));
    }
    default:
        return SqlValue::null();
    }
}

void resultValue(sqlite3_context* ctx, const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Null:
        sqlite3_result_null(ctx);
        break;
    case SqlValue::Kind::Integer:
        sqlite3_result_int64(ctx, v.integer);
        break;
    case SqlValue::Kind::Real:
        sqlite3_result_double(ctx, v.real);
        break;
    case SqlValue::Kind::Text:
        sqlite3_result_text64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    case SqlValue::Kind::Blob:
        sqlite3_result_blob64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT);
        break;
    }
}

void resultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

std::string nowText() {
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    DateTimeParts p;
    p.year = local.tm_year + 1900;
    p.month = local.tm_mon + 1;
    p.day = local.tm_mday;
    p.hour = local.tm_hour;
    p.minute = local.tm_min;
    p.second = local.tm_sec;
    p.millisecond = static_cast<int>(ms % 1000);
    return formatDateTime(roundedToTicks(p));
}

/// object_id('name'): the id of a table, view, index or procedure of the connection's
/// database, or NULL.
void objectIdFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    auto dot = name.rfind('.');
    if (dot != std::string::npos)
        name = name.substr(dot + 1);
    sqlite3* db = sqlite3_context_db_handle(ctx);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select id from temp.tovrin_objects where name = ?1 collate nocase",
                           -1, &stmt, nullptr) != SQLITE_OK)
        return sqlite3_result_null(ctx);
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW)
        sqlite3_result_int64(ctx, sqlite3_column_int64(stmt, 0));
    else
        sqlite3_result_null(ctx);
    sqlite3_finalize(stmt);
}

void getdateFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, nowText());
}

void dbNameFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, hooksOf(ctx).databaseName);
}

void userNameFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, hooksOf(ctx).userName);
}

void datalengthFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_BLOB)
        return sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
    const auto* text = sqlite3_value_text(argv[0]);
    const int bytes = sqlite3_value_bytes(argv[0]);
    if (serverCharset() != Charset::Iso1)
        return sqlite3_result_int64(ctx, bytes);
    // An iso_1 server keeps its text as UTF-8 here: one byte a character.
    int64_t characters = 0;
    for (int i = 0; i < bytes; ++i)
        characters += (text[i] & 0xC0) != 0x80;
    sqlite3_result_int64(ctx, characters);
}

void ceilingFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER)
        return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    sqlite3_result_double(ctx, std::ceil(sqlite3_value_double(argv[0])));
}

void replicateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    std::string unit(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    int64_t count = sqlite3_value_int64(argv[1]);
    if (count < 0 || unit.empty())
        return sqlite3_result_null(ctx);
    if (static_cast<uint64_t>(count) * unit.size() > kMaxBuiltString)
        count = static_cast<int64_t>(kMaxBuiltString / unit.size());
    std::string out;
    for (int64_t i = 0; i < count; ++i)
        out += unit;
    resultText(ctx, out);
}

void spaceFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    int64_t n =
        std::clamp<int64_t>(sqlite3_value_int64(argv[0]), 0, static_cast<int64_t>(kMaxBuiltString));
    resultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void leftRightFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const bool left = *static_cast<const bool*>(sqlite3_user_data(ctx));
    std::string s(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    int64_t n = std::max<int64_t>(0, sqlite3_value_int64(argv[1]));
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    if (static_cast<size_t>(n) >= starts.size())
        return resultText(ctx, s);
    if (left)
        return resultText(ctx, s.substr(0, starts[static_cast<size_t>(n)]));
    resultText(ctx, s.substr(starts[starts.size() - static_cast<size_t>(n)]));
}

constexpr bool kLeft = true;
constexpr bool kRight = false;

/// True for the canonical stored form of a date-time.
bool isCanonicalDateTime(const SqlValue& v) {
    const std::string& s = v.bytes;
    return v.kind == SqlValue::Kind::Text && s.size() == 23 && s[4] == '-' && s[7] == '-' &&
           s[10] == ' ' && s[13] == ':' && s[16] == ':' && s[19] == '.';
}

/// The convert styles that write a date as numbers: the order of year, month and day, and
/// what stands between them.
struct NumericDateStyle {
    int64_t style;
    const char* order;
    const char* separator;
};

constexpr NumericDateStyle kNumericDateStyles[] = {
    {101, "mdy", "/"}, {102, "ymd", "."}, {103, "dmy", "/"}, {104, "dmy", "."},
    {105, "dmy", "-"}, {110, "mdy", "-"}, {111, "ymd", "/"}, {112, "ymd", ""},
};

/// The date of `p` in a numeric style: four-digit year, two-digit month and day.
std::string numericDate(const DateTimeParts& p, const NumericDateStyle& style) {
    std::string out;
    for (const char* part = style.order; *part; ++part) {
        if (part != style.order)
            out += style.separator;
        char b[16];
        if (*part == 'y')
            std::snprintf(b, sizeof b, "%04d", p.year);
        else
            std::snprintf(b, sizeof b, "%02d", *part == 'm' ? p.month : p.day);
        out += b;
    }
    return out;
}

/// The milliseconds the server shows of a datetime's time: its 1/300 s cut to whole
/// milliseconds, so that the last digit is always 0, 3 or 6 (.005 is held as 2/300 s and
/// shown as .006).
int shownMilliseconds(int millisecond) {
    const int ticks = (millisecond * 3 + 5) / 10;
    return ticks * 10 / 3;
}

/// A date-time as text in one of the server's convert styles (0/100 when `style` is
/// unknown).
std::string styledDateTime(const DateTimeParts& p, int64_t style) {
    for (const auto& numeric : kNumericDateStyles)
        if (numeric.style == style)
            return numericDate(p, numeric);
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* mon = kMonths[p.month - 1];
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    const char* ampm = p.hour < 12 ? "AM" : "PM";
    char b[64];
    switch (style) {
    case 106:
        std::snprintf(b, sizeof b, "%02d %s %04d", p.day, mon, p.year);
        break;
    case 107:
        std::snprintf(b, sizeof b, "%s %02d, %04d", mon, p.day, p.year);
        break;
    case 8:
    case 108:
        std::snprintf(b, sizeof b, "%02d:%02d:%02d", p.hour, p.minute, p.second);
        break;
    case 9:
    case 109:
        std::snprintf(b, sizeof b, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, p.day, p.year, hour12,
                      p.minute, p.second, shownMilliseconds(p.millisecond), ampm);
        break;
    case 23:
        std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                      p.minute, p.second);
        break;
    default:
        std::snprintf(b, sizeof b, "%s %2d %04d %2d:%02d%s", mon, p.day, p.year, hour12, p.minute,
                      ampm);
        break;
    }
    return b;
}

void convertFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::string typeText(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    auto type = parseDeclaredType(typeText);
    if (!type)
        return sqlite3_result_error(
            ctx, ("Type '" + typeText + "' is not a defined system type.").c_str(), -1);
    try {
        SqlValue value = readValue(argv[1]);
        const bool toCharacter = type->type == SqlType::Char || type->type == SqlType::VarChar ||
                                 type->type == SqlType::UniChar ||
                                 type->type == SqlType::UniVarChar || type->type == SqlType::Text;
        if (toCharacter && isCanonicalDateTime(value)) {
            // Date-times become text in the requested style, as on the server.
            int64_t style = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL
                                ? sqlite3_value_int64(argv[2])
                                : 0;
            if (auto parts = parseDateTime(value.bytes, DateOrder::YMD))
                value = SqlValue::ofText(styledDateTime(*parts, style));
        }
        DateOrder order = hooksOf(ctx).dateOrder;
        const bool toDateTime = type->type == SqlType::DateTime ||
                                type->type == SqlType::SmallDateTime || type->type == SqlType::Date;
        if (toDateTime && value.kind == SqlValue::Kind::Text && argc > 2) {
            // The style says in which order the text gives the date.
            switch (sqlite3_value_int64(argv[2])) {
            case 1:
            case 101:
            case 10:
            case 110:
                order = DateOrder::MDY;
                break;
            case 3:
            case 103:
            case 4:
            case 104:
            case 5:
            case 105:
                order = DateOrder::DMY;
                break;
            case 2:
            case 102:
            case 11:
            case 111:
                order = DateOrder::YMD;
                break;
            case 12:
            case 112:
                if (value.bytes.size() == 8)
                    value.bytes = value.bytes.substr(0, 4) + "-" + value.bytes.substr(4, 2) + "-" +
                                  value.bytes.substr(6);
                break;
            default:
                break;
            }
        }
        resultValue(ctx, coerceValue(value, *type, order));
    } catch (const SqlError& e) {
        sqlite3_result_error(ctx, functionErrorText(e).c_str(), -1);
    }
}

/// tovrin_fits(value, 'type'): 1 when the value is one a stored column of the type holds
/// (read back exactly as a select would read it), else the server's error for it. Tables
/// check every column with it.
void fitsFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_int(ctx, 1);
    const std::string typeText(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])));
    // A table's few column types come again and again: each is parsed once per thread.
    thread_local std::unordered_map<std::string, std::optional<ColumnType>> parsed;
    auto known = parsed.find(typeText);
    if (known == parsed.end())
        known = parsed.emplace(typeText, parseDeclaredType(typeText)).first;
    if (!known->second)
        return sqlite3_result_int(ctx, 1);
    thread_local Value wire;
    try {
        toWireValue(readValue(argv[0]), *known->second, hooksOf(ctx).dateOrder, 0, true, wire);
        sqlite3_result_int(ctx, 1);
    } catch (const SqlError& e) {
        sqlite3_result_error(ctx, functionErrorText(e).c_str(), -1);
    }
    // The buffer is kept for the next value, but not the memory of a long one.
    if (wire.bytes.capacity() > 65536)
        std::string().swap(wire.bytes);
}

/// Reads a date-time argument; false when it is NULL or no date-time.
bool dateArgument(sqlite3_context* ctx, sqlite3_value* v, DateTimeParts& parts) {
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return false;
    std::string text(reinterpret_cast<const char*>(sqlite3_value_text(v)));
    auto p = parseDateTime(text, hooksOf(ctx).dateOrder);
    if (!p)
        p = parseTimeOfDay(text);
    if (!p)
        return false;
    parts = *p;
    return true;
}

enum class Part {
    Year,
    Quarter,
    Month,
    DayOfYear,
    Day,
    Week,
    Weekday,
    Hour,
    Minute,
    Second,
    Millisecond,
    Bad
};

Part partOf(const std::string& name) {
    if (name == "year" || name == "yy" || name == "yyyy")
        return Part::Year;
    if (name == "quarter" || name == "qq" || name == "q")
        return Part::Quarter;
    if (name == "month" || name == "mm" || name == "m")
        return Part::Month;
    if (name == "dayofyear" || name == "dy" || name == "y")
        return Part::DayOfYear;
    if (name == "day" || name == "dd" || name == "d")
        return Part::Day;
    if (name == "week" || name == "wk" || name == "ww")
        return Part::Week;
    if (name == "weekday" || name == "dw")
        return Part::Weekday;
    if (name == "hour" || name == "hh")
        return Part::Hour;
    if (name == "minute" || name == "mi" || name == "n")
        return Part::Minute;
    if (name == "second" || name == "ss" || name == "s")
        return Part::Second;
    if (name == "millisecond" || name == "ms")
        return Part::Millisecond;
    return Part::Bad;
}

int64_t totalMs(const DateTimeParts& p) {
    return static_cast<int64_t>(daysFromCivil(p.year, p.month, p.day)) * 86400000LL +
           ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
}

DateTimeParts fromTotalMs(int64_t ms) {
    int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t rest = ms - days * 86400000;
    DateTimeParts p;
    civilFromDays(static_cast<int32_t>(days), p.year, p.month, p.day);
    p.millisecond = static_cast<int>(rest % 1000);
    p.second = static_cast<int>(rest / 1000 % 60);
    p.minute = static_cast<int>(rest / 60000 % 60);
    p.hour = static_cast<int>(rest / 3600000);
    return p;
}

void datepartFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    DateTimeParts p;
    if (!dateArgument(ctx, argv[1], p))
        return sqlite3_result_null(ctx);
    int32_t days = daysFromCivil(p.year, p.month, p.day);
    switch (partOf(name)) {
    case Part::Year:
        return sqlite3_result_int(ctx, p.year);
    case Part::Quarter:
        return sqlite3_result_int(ctx, (p.month - 1) / 3 + 1);
    case Part::Month:
        return sqlite3_result_int(ctx, p.month);
    case Part::DayOfYear:
        return sqlite3_result_int(ctx, days - daysFromCivil(p.year, 1, 1) + 1);
    case Part::Day:
        return sqlite3_result_int(ctx, p.day);
    case Part::Week:
        return sqlite3_result_int(ctx, (days - daysFromCivil(p.year, 1, 1)) / 7 + 1);
    case Part::Weekday: {
        // 1 Jan 1900 was a Monday; day 1 of the week is the session's datefirst.
        const int first = hooksOf(ctx).dateFirst ? hooksOf(ctx).dateFirst() : 7;
        const int isoDay = ((days % 7) + 7) % 7 + 1; // 1 Monday … 7 Sunday
        return sqlite3_result_int(ctx, ((isoDay - first) % 7 + 7) % 7 + 1);
    }
    case Part::Hour:
        return sqlite3_result_int(ctx, p.hour);
    case Part::Minute:
        return sqlite3_result_int(ctx, p.minute);
    case Part::Second:
        return sqlite3_result_int(ctx, p.second);
    case Part::Millisecond:
        return sqlite3_result_int(ctx, shownMilliseconds(p.millisecond));
    case Part::Bad:
        break;
    }
    sqlite3_result_error(ctx, ("Invalid datepart '" + name + "'.").c_str(), -1);
}

/// datename(part, date): the month's and the weekday's names (March, Tuesday), any other
/// part as the digits datepart gives.
void datenameFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    static constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
    static constexpr const char* kWeekdays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                "Friday", "Saturday", "Sunday"};
    const std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    DateTimeParts p;
    const Part part = partOf(name);
    if (part != Part::Month && part != Part::Weekday)
        return datepartFunction(ctx, argc, argv);
    if (!dateArgument(ctx, argv[1], p))
        return sqlite3_result_null(ctx);
    if (part == Part::Month)
        return resultText(ctx, kMonths[p.month - 1]);
    const int32_t days = daysFromCivil(p.year, p.month, p.day);
    resultText(ctx, kWeekdays[((days % 7) + 7) % 7]); // 1 Jan 1900 was a Monday
}

void dateaddFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    int64_t n = sqlite3_value_int64(argv[1]);
    DateTimeParts p;
    if (!dateArgument(ctx, argv[2], p))
        return sqlite3_result_null(ctx);
    auto addMonths = [&](int64_t months) {
        int64_t m = p.year * 12LL + (p.month - 1) + months;
        p.year = static_cast<int>(m / 12);
        p.month = static_cast<int>(m % 12) + 1;
        static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int last = kDays[p.month - 1] +
                   (p.month == 2 && ((p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0));
        p.day = std::min(p.day, last);
    };
    int64_t ms = 0;
    switch (partOf(name)) {
    case Part::Year:
        addMonths(n * 12);
        break;
    case Part::Quarter:
        addMonths(n * 3);
        break;
    case Part::Month:
        addMonths(n);
        break;
    case Part::DayOfYear:
    case Part::Day:
    case Part::Weekday:
        ms = n * 86400000LL;
        break;
    case Part::Week:
        ms = n * 7 * 86400000LL;
        break;
    case Part::Hour:
        ms = n * 3600000LL;
        break;
    case Part::Minute:
        ms = n * 60000LL;
        break;
    case Part::Second:
        ms = n * 1000LL;
        break;
    case Part::Millisecond:
        ms = n;
        break;
    case Part::Bad:
        return sqlite3_result_error(ctx, ("Invalid datepart '" + name + "'.").c_str(), -1);
    }
    if (ms)
        p = fromTotalMs(totalMs(p) + ms);
    if (p.year < 1753 || p.year > 9999)
        return sqlite3_result_error(ctx, "Arithmetic overflow occurred.", -1);
    resultText(ctx, formatDateTime(roundedToTicks(p)));
}

void datediffFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    DateTimeParts a, b;
    if (!dateArgument(ctx, argv[1], a) || !dateArgument(ctx, argv[2], b))
        return sqlite3_result_null(ctx);
    int64_t da = daysFromCivil(a.year, a.month, a.day), db = daysFromCivil(b.year, b.month, b.day);
    switch (partOf(name)) {
    case Part::Year:
        return sqlite3_result_int64(ctx, b.year - a.year);
    case Part::Quarter:
        return sqlite3_result_int64(ctx, (b.year * 4 + (b.month - 1) / 3) -
                                             (a.year * 4 + (a.month - 1) / 3));
    case Part::Month:
        return sqlite3_result_int64(ctx, (b.year * 12 + b.month) - (a.year * 12 + a.month));
    case Part::DayOfYear:
    case Part::Day:
    case Part::Weekday:
        return sqlite3_result_int64(ctx, db - da);
    case Part::Week:
        return sqlite3_result_int64(ctx, (db + 1) / 7 - (da + 1) / 7);
    case Part::Hour:
        return sqlite3_result_int64(ctx, (db * 24 + b.hour) - (da * 24 + a.hour));
    case Part::Minute:
        return sqlite3_result_int64(ctx, ((db * 24 + b.hour) * 60 + b.minute) -
                                             ((da * 24 + a.hour) * 60 + a.minute));
    case Part::Second:
        return sqlite3_result_int64(ctx, totalMs(b) / 1000 - totalMs(a) / 1000);
    case Part::Millisecond:
        return sqlite3_result_int64(ctx, totalMs(b) - totalMs(a));
    case Part::Bad:
        break;
    }
    sqlite3_result_error(ctx, ("Invalid datepart '" + name + "'.").c_str(), -1);
}

/// tovrin_concat(a, b): character concatenation, in which a NULL operand counts as an empty
/// string; NULL only when both are.
void concatFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const bool nullA = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    const bool nullB = sqlite3_value_type(argv[1]) == SQLITE_NULL;
    if (nullA && nullB)
        return sqlite3_result_null(ctx);
    std::string out;
    for (sqlite3_value* v : {argv[0], argv[1]}) {
        if (sqlite3_value_type(v) == SQLITE_NULL)
            continue;
        const auto* text = sqlite3_value_text(v);
        out.append(reinterpret_cast<const char*>(text),
                   static_cast<size_t>(sqlite3_value_bytes(v)));
    }
    resultText(ctx, out);
}

/// tovrin_divisor(x): x, or the server's error 3607 when x is zero.
void divisorFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    bool zero = false;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        zero = sqlite3_value_int64(v) == 0;
        break;
    case SQLITE_FLOAT:
        zero = sqlite3_value_double(v) == 0.0;
        break;
    case SQLITE_TEXT: {
        auto d = parseDecimal(reinterpret_cast<const char*>(sqlite3_value_text(v)), 0);
        auto fine = parseDecimal(reinterpret_cast<const char*>(sqlite3_value_text(v)), 20);
        zero = d && fine && *fine == 0;
        break;
    }
    default:
        break;
    }
    if (zero) {
        sqlite3_result_error(
            ctx, functionErrorText(SqlError(3607, 16, "Divide by zero occurred.")).c_str(), -1);
        return;
    }
    sqlite3_result_value(ctx, v);
}

/// str(number [, length [, decimals]]): the number right-aligned in `length` characters
/// (10 by default) with `decimals` digits after the point (0 by default); stars when it
/// does not fit.
void strFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const int64_t length = argc > 1 ? sqlite3_value_int64(argv[1]) : 10;
    const int64_t decimals = argc > 2 ? sqlite3_value_int64(argv[2]) : 0;
    if (length < 1 || length > 255 || decimals < 0 || decimals > 16)
        return sqlite3_result_null(ctx);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals),
                  sqlite3_value_double(argv[0]));
    std::string text = buffer;
    if (static_cast<int64_t>(text.size()) > length)
        text.assign(static_cast<size_t>(length), '*');
    else
        text.insert(0, static_cast<size_t>(length) - text.size(), ' ');
    resultText(ctx, text);
}

int decimalCollation(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return compareDecimalText(
        std::string_view(static_cast<const char*>(a), static_cast<size_t>(lengthA)),
        std::string_view(static_cast<const char*>(b), static_cast<size_t>(lengthB)));
}

} // namespace

namespace {

/// A scalar function of the server: its name and argument count, whether its result
/// depends on its arguments alone, and its body (given the connection's hooks).
struct ScalarFunction {
    const char* name;
    int argc;
    bool pure;
    void (*body)(sqlite3_context*, int, sqlite3_value**);
};

constexpr ScalarFunction kScalarFunctions[] = {
    {"tovrin_divisor", 1, true, divisorFunction},
    {"tovrin_concat", 2, true, concatFunction},
    {"object_id", 1, false, objectIdFunction},
    {"getdate", 0, false, getdateFunction},
    {"db_name", 0, false, dbNameFunction},
    {"user_name", 0, false, userNameFunction},
    {"suser_name", 0, false, userNameFunction},
    {"tovrin_datalength", 1, true, datalengthFunction},
    {"tovrin_ceiling", 1, true, ceilingFunction},
    {"replicate", 2, true, replicateFunction},
    {"space", 1, true, spaceFunction},
    {"str", 1, true, strFunction},
    {"str", 2, true, strFunction},
    {"str", 3, true, strFunction},
    {"tovrin_convert", 2, false, convertFunction},
    // Deterministic, as a check constraint requires: stored date-times are in one form.
    {"tovrin_fits", 2, true, fitsFunction},
    {"tovrin_convert", 3, false, convertFunction},
    {"tovrin_datepart", 2, false, datepartFunction},
    {"tovrin_datename", 2, false, datenameFunction},
    {"tovrin_dateadd", 3, false, dateaddFunction},
    {"tovrin_datediff", 3, false, datediffFunction},
};

} // namespace

void registerServerFunctions(sqlite3* db, const ConnectionHooks* hooks) {
    void* data = const_cast<ConnectionHooks*>(hooks);
    constexpr int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_collation(db, kDecimalCollation, SQLITE_UTF8, nullptr, decimalCollation);
    registerExactFunctions(db);
    for (const auto& f : kScalarFunctions)
        sqlite3_create_function(db, f.name, f.argc, f.pure ? kPure : SQLITE_UTF8, data, f.body,
                                nullptr, nullptr);
    sqlite3_create_function(db, "tovrin_left", 2, kPure, const_cast<bool*>(&kLeft),
                            leftRightFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tovrin_right", 2, kPure, const_cast<bool*>(&kRight),
                            leftRightFunction, nullptr, nullptr);
    // like compares case-sensitively, as the server's default binary sort order does.
    registerStringFunctions(db);
}

} // namespace devserver

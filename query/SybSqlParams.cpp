// Parameter markers in SQL text and the literals that replace them.
#include "tovrin5/query/SybSqlParams.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Params.h"

namespace tovrin::sqltext {

namespace {

char hexDigit(unsigned value) noexcept {
    return static_cast<char>(value < 10 ? '0' + value : 'A' + (value - 10));
}

void appendTwoDigits(std::string& out, int value) {
    out += static_cast<char>('0' + (value / 10) % 10);
    out += static_cast<char>('0' + value % 10);
}

void appendFourDigits(std::string& out, int value) {
    appendTwoDigits(out, value / 100);
    appendTwoDigits(out, value % 100);
}

} // namespace

TScan ScanMarkers(const std::string& sql) {
    TScan scan;
    std::size_t segmentStart = 0;
    for (const TSqlSpan& span : ScanSql(sql)) {
        if (span.Kind != TSqlSpanKind::Marker) {
            continue;
        }
        const std::size_t nameStart = span.Begin + 1;
        scan.Markers.push_back(TMarker{sql.substr(nameStart, span.End - nameStart),
                                       static_cast<int>(nameStart) + 1,
                                       sql.substr(segmentStart, span.Begin - segmentStart)});
        segmentStart = span.End;
    }
    scan.Tail = sql.substr(segmentStart);
    return scan;
}

std::string PrepareStringValue(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 8);
    for (std::size_t k = 0; k < value.size(); ++k) {
        const char c = value[k];
        out += c;
        if (c == '\'') {
            out += '\'';
        } else if (c == '\\' &&
                   (value.compare(k + 1, 1, "\n") == 0 || value.compare(k + 1, 2, "\r\n") == 0)) {
            // The server drops a backslash and the line end right after it (a string
            // continued on the next line). A backslash-line end pair of our own goes in
            // between; the server drops that one, and the value's own pair stays.
            out += "\\\n";
        }
    }
    return out;
}

std::string PrepareBinaryValue(const std::string& bytes) {
    std::string out = "0x";
    out.reserve(2 + bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += hexDigit(b >> 4);
        out += hexDigit(b & 0x0F);
    }
    return out;
}

namespace {

// The date of a time stamp as eight digits without separators, "yyyymmdd": the server
// reads that form year first whatever set dateformat or set language the session ran.
void appendDate(std::string& out, const host::TTimeStamp& stamp) {
    int year = 0;
    int month = 0;
    int day = 0;
    host::DecodeDate(static_cast<host::TDateTime>(stamp.Date - host::DateDelta), year, month, day);
    appendFourDigits(out, year);
    appendTwoDigits(out, month);
    appendTwoDigits(out, day);
}

// The time of day of a time stamp: "hh:nn:ss:" and the milliseconds without leading
// zeros, which the server reads after the last colon as thousandths of a second.
void appendTime(std::string& out, const host::TTimeStamp& stamp) {
    appendTwoDigits(out, stamp.Time / 3600000);
    out += ':';
    appendTwoDigits(out, stamp.Time / 60000 % 60);
    out += ':';
    appendTwoDigits(out, stamp.Time / 1000 % 60);
    out += ':';
    out += std::to_string(stamp.Time % 1000);
}

} // namespace

std::string DateTimeAsString(host::TDateTime value) {
    const host::TTimeStamp stamp = host::DateTimeToTimeStamp(value);
    std::string out;
    out.reserve(32);
    appendDate(out, stamp);
    out += ' ';
    appendTime(out, stamp);
    return out;
}

std::string DateAsString(host::TDateTime value) {
    std::string out;
    out.reserve(12);
    appendDate(out, host::DateTimeToTimeStamp(value));
    return out;
}

std::string TimeAsString(host::TDateTime value) {
    std::string out;
    out.reserve(16);
    appendTime(out, host::DateTimeToTimeStamp(value));
    return out;
}

std::string FloatLiteral(double value) {
    if (!std::isfinite(value)) {
        // No literal of the server stands for these; the server then reports the text.
        return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    }
    if (value == 0) {
        return "0";
    }
    // The shortest scientific form that reads back as the same double: "d.ddde+XX".
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    const bool negative = text[0] == '-';
    std::string digits;
    for (std::size_t k = negative ? 1 : 0; k < e; ++k) {
        if (text[k] != '.') {
            digits += text[k];
        }
    }
    const int exponent = std::stoi(text.substr(e + 1));

    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent + 1);
        if (digits.size() <= integerDigits) {
            out += digits;
            out.append(integerDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, integerDigits);
            out += '.';
            out.append(digits, integerDigits);
        }
    }
    return out;
}

std::string ParamStrValue(const host::TParam& param) {
    if (param.IsNull()) {
        return "NULL";
    }
    switch (param.DataType()) {
    case host::ftSmallint:
    case host::ftInteger:
        return std::to_string(param.AsInteger());
    case host::ftBoolean:
        // A bit column holds 1 for true: a literal of -1 would never compare equal to it.
        return param.AsBoolean() ? "1" : "0";
    case host::ftFloat:
    case host::ftCurrency:
        return FloatLiteral(param.AsFloat());
    case host::ftBCD:
    case host::ftFMTBcd:
        // Every digit of an exact decimal (a master's numeric key field, for one).
        return host::BCDToStr(param.AsBCD());
    case host::ftString:
    case host::ftBytes:
    case host::ftMemo:
        return "'" + PrepareStringValue(param.AsString()) + "'";
    case host::ftLargeint:
        // Typed as bigint whatever the value: a plain literal outside the int range is a
        // numeric, which a client may read back as a double and so lose digits.
        return "convert(bigint, " + std::to_string(param.AsLargeInt()) + ")";
    case host::ftDateTime:
        // In single quotes: under set quoted_identifier on, double quotes make a name.
        return "'" + DateTimeAsString(param.AsDateTime()) + "'";
    case host::ftDate:
        return "convert(date, '" + DateAsString(param.AsDateTime()) + "')";
    case host::ftTime:
        return "convert(time, '" + TimeAsString(param.AsDateTime()) + "')";
    case host::ftBlob:
    case host::ftVarBytes:
        return PrepareBinaryValue(param.AsBlob());
    default:
        throw host::Exception("Param datatype unsupported");
    }
}

namespace {

bool isWordByte(unsigned char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c == '.' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

// True when `last` followed directly by `first` would read as another token than the two
// pieces mean: a comment's start, two quoted literals as one, or two values side by side as
// one word or number.
bool joinsIntoOneToken(unsigned char last, unsigned char first, bool valueAfterValue) noexcept {
    if (last == first && (last == '-' || last == '\'' || last == '"')) {
        return true;
    }
    return (last == '/' && first == '*') ||
           (valueAfterValue && isWordByte(last) && isWordByte(first));
}

} // namespace

void AppendSqlPiece(std::string& text, const std::string& piece, bool valueAfterValue) {
    if (!text.empty() && !piece.empty() &&
        joinsIntoOneToken(static_cast<unsigned char>(text.back()),
                          static_cast<unsigned char>(piece.front()), valueAfterValue)) {
        text += ' ';
    }
    text += piece;
}

void ParseParams(host::TParams& params, const std::string& sql) {
    params.Clear();
    std::size_t pos = sql.find(':');
    while (pos != std::string::npos) {
        const std::size_t start = pos + 1;
        const std::size_t end = MarkerNameEnd(sql, start);
        if (end > start) {
            const std::string name = sql.substr(start, end - start);
            if (params.FindParam(name) == nullptr) {
                params.CreateParam(host::ftUnknown, name, host::ptUnknown);
            }
        }
        pos = sql.find(':', end);
    }
}

} // namespace tovrin::sqltext

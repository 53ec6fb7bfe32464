// Text helpers: trimming, case mapping, integer and float text, Format, field-name lists.
#include "tovrin5/host/SysUtils.h"

#include <unicode/ucasemap.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

namespace {
bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
} // namespace

std::string Trim(const std::string& S) {
    size_t b = 0;
    size_t e = S.size();
    while (b < e && isBlank(S[b]))
        ++b;
    while (e > b && isBlank(S[e - 1]))
        --e;
    return S.substr(b, e - b);
}

std::string TrimLeft(const std::string& S) {
    size_t b = 0;
    while (b < S.size() && isBlank(S[b]))
        ++b;
    return S.substr(b);
}

std::string TrimRight(const std::string& S) {
    size_t e = S.size();
    while (e > 0 && isBlank(S[e - 1]))
        --e;
    return S.substr(0, e);
}

std::string UpperCase(const std::string& S) {
    std::string r = S;
    for (char& c : r) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return r;
}

std::string LowerCase(const std::string& S) {
    std::string r = S;
    for (char& c : r) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return r;
}

namespace {
using CaseFn = int32_t (*)(const UCaseMap*, char*, int32_t, const char*, int32_t, UErrorCode*);

std::string icuCase(const std::string& s, CaseFn fn) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> map(ucasemap_open("", 0, &status),
                                                             &ucasemap_close);
    if (U_FAILURE(status))
        return s;
    std::string out(s.size() + 16, '\0');
    status = U_ZERO_ERROR;
    int32_t n = fn(map.get(), out.data(), static_cast<int32_t>(out.size()), s.data(),
                   static_cast<int32_t>(s.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n), '\0');
        status = U_ZERO_ERROR;
        n = fn(map.get(), out.data(), n, s.data(), static_cast<int32_t>(s.size()), &status);
    }
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
        return s;
    out.resize(static_cast<size_t>(n));
    return out;
}
} // namespace

std::string AnsiUpperCase(const std::string& S) {
    return icuCase(S, &ucasemap_utf8ToUpper);
}
std::string AnsiLowerCase(const std::string& S) {
    return icuCase(S, &ucasemap_utf8ToLower);
}

int CompareStr(const std::string& S1, const std::string& S2) noexcept {
    int c = S1.compare(S2);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareText(const std::string& S1, const std::string& S2) noexcept {
    size_t n = std::min(S1.size(), S2.size());
    for (size_t i = 0; i < n; ++i) {
        auto a = static_cast<unsigned char>(S1[i]);
        auto b = static_cast<unsigned char>(S2[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 32);
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 32);
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (S1.size() == S2.size())
        return 0;
    return S1.size() < S2.size() ? -1 : 1;
}

bool SameText(const std::string& S1, const std::string& S2) noexcept {
    return CompareText(S1, S2) == 0;
}

std::string IntToStr(int64_t Value) {
    return std::to_string(Value);
}

std::string IntToHex(int64_t Value, int Digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", Digits < 0 ? 0 : (Digits > 16 ? 16 : Digits),
                  static_cast<unsigned long long>(Value));
    return buf;
}

bool TryStrToInt64(const std::string& S, int64_t& Value) noexcept {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ')
        ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+')) {
        negative = S[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < S.size() && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= S.size())
        return false;
    uint64_t magnitude = 0;
    const char* first = S.data() + i;
    const char* last = S.data() + S.size();
    auto [ptr, ec] = std::from_chars(first, last, magnitude, base);
    if (ec != std::errc() || ptr != last)
        return false;
    if (negative) {
        if (magnitude > uint64_t{1} << 63)
            return false;
        Value = magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                                 : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            if (base != 16)
                return false;
            Value = static_cast<int64_t>(magnitude); // hex text may give the bit pattern
        } else {
            Value = static_cast<int64_t>(magnitude);
        }
    }
    return true;
}

int64_t StrToInt64(const std::string& S) {
    int64_t v = 0;
    if (!TryStrToInt64(S, v))
        throw EConvertError("'" + S + "' is not a valid integer value");
    return v;
}

int32_t StrToInt(const std::string& S) {
    int64_t v = 0;
    if (!TryStrToInt64(S, v) || v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max())
        throw EConvertError("'" + S + "' is not a valid integer value");
    return static_cast<int32_t>(v);
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
    int64_t v = 0;
    if (!TryStrToInt64(S, v) || v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max())
        return Default;
    return static_cast<int32_t>(v);
}

namespace {
// "NAN", "INF" or "-INF" for a value that is not finite; nullptr for a finite one.
const char* nonFiniteText(double value) noexcept {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    return nullptr;
}

// The value as std::to_chars writes it in the given form and precision ('.' as the point).
std::string charsOf(double value, std::chars_format form, int precision) {
    char buf[400];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, form, precision);
    return std::string(buf, ec == std::errc() ? ptr : buf);
}

// The digits with the point written as the decimal separator.
std::string withSeparator(const std::string& digits, char separator) {
    std::string out;
    out.reserve(digits.size());
    for (char c : digits)
        out += (c == '.') ? separator : c;
    return out;
}

// General format with the given number of significant digits, exponent as E<digits>.
std::string generalFloat(double value, int precision, char separator) {
    if (const char* text = nonFiniteText(value))
        return text;
    std::string s = charsOf(value, std::chars_format::general, std::clamp(precision, 1, 17));
    size_t e = s.find('e');
    std::string out = withSeparator(s.substr(0, e), separator);
    if (e != std::string::npos) {
        out += 'E';
        size_t i = e + 1;
        if (s[i] == '-')
            out += '-';
        if (s[i] == '+' || s[i] == '-')
            ++i;
        while (i + 1 < s.size() && s[i] == '0')
            ++i;
        out += s.substr(i);
    }
    if (out == "-0")
        out = "0";
    return out;
}
} // namespace

std::string FloatToStrSep(double Value, char DecimalSeparator) {
    return generalFloat(Value, 15, DecimalSeparator);
}

std::string FloatToStr(double Value) {
    return generalFloat(Value, 15, FormatSettings().DecimalSeparator);
}

bool TryStrToFloat(const std::string& S, double& Value) noexcept {
    std::string t = Trim(S);
    if (t.empty())
        return false;
    char sep = FormatSettings().DecimalSeparator;
    for (char& c : t) {
        if (c == sep)
            c = '.';
    }
    const char* first = t.data();
    if (*first == '+')
        ++first;
    double v = 0;
    auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(v))
        return false;
    Value = v;
    return true;
}

double StrToFloat(const std::string& S) {
    double v = 0;
    if (!TryStrToFloat(S, v))
        throw EConvertError("'" + S + "' is not a valid floating point value");
    return v;
}

namespace {
[[noreturn]] void formatError(const std::string& fmt) {
    throw EConvertError("Format '" + fmt + "' invalid or incompatible with argument");
}

std::string fixedFloat(double value, int decimals, char separator, char thousands) {
    if (const char* text = nonFiniteText(value))
        return text;
    std::string s = charsOf(value, std::chars_format::fixed, decimals);
    size_t dot = s.find('.');
    std::string intPart = s.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    if (thousands) {
        bool neg = !intPart.empty() && intPart[0] == '-';
        std::string digits = neg ? intPart.substr(1) : intPart;
        std::string grouped;
        for (size_t i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0)
                grouped += thousands;
            grouped += digits[i];
        }
        intPart = (neg ? "-" : "") + grouped;
    }
    if (intPart == "-0" && frac.find_first_not_of('0') == std::string::npos)
        intPart = "0";
    return frac.empty() ? intPart : intPart + separator + frac;
}

std::string scientificFloat(double value, int precision, char separator) {
    if (const char* text = nonFiniteText(value))
        return text;
    std::string s = charsOf(value, std::chars_format::scientific, std::clamp(precision, 1, 18) - 1);
    size_t e = s.find('e');
    std::string out = withSeparator(s.substr(0, e), separator);
    std::string expo = s.substr(e + 1);
    char sign = expo[0];
    std::string digits = expo.substr(1);
    while (digits.size() < 3)
        digits.insert(digits.begin(), '0');
    out += 'E';
    out += sign;
    out += digits;
    return out;
}

// One conversion of a format string, "%[index:][-][width][.precision]type", as parsed.
struct FormatSpec {
    bool left = false;
    int width = 0;
    int precision = -1;
    char type = 0; // lower case
};

// Walks a format string: the text between conversions, and the conversions with the
// arguments they take (an index moves the position in the arguments, '*' takes one).
class FormatParser {
public:
    FormatParser(const std::string& fmt, const std::vector<const FormatArg*>& args)
        : m_fmt(fmt), m_args(args) {}

    [[nodiscard]] bool atEnd() const noexcept { return m_pos >= m_fmt.size(); }

    // Appends the plain text up to the next conversion ("%%" is a plain '%'); false when a
    // conversion follows.
    bool copyText(std::string& out) {
        char c = m_fmt[m_pos++];
        if (c != '%') {
            out += c;
            return true;
        }
        if (m_pos < m_fmt.size() && m_fmt[m_pos] == '%') {
            out += '%';
            ++m_pos;
            return true;
        }
        return false;
    }

    FormatSpec spec() {
        FormatSpec spec;
        readIndex();
        if (peek('-')) {
            spec.left = true;
            ++m_pos;
        }
        readNumber(spec.width);
        if (spec.width < 0) {
            spec.left = true;
            spec.width = -spec.width;
        }
        if (peek('.')) {
            ++m_pos;
            if (!readNumber(spec.precision))
                spec.precision = 0;
        }
        if (atEnd())
            formatError(m_fmt);
        spec.type = static_cast<char>(std::tolower(static_cast<unsigned char>(m_fmt[m_pos++])));
        return spec;
    }

    const FormatArg& nextArg() {
        if (m_argIndex >= m_args.size())
            formatError(m_fmt);
        return *m_args[m_argIndex++];
    }

private:
    [[nodiscard]] bool peek(char c) const noexcept {
        return m_pos < m_fmt.size() && m_fmt[m_pos] == c;
    }
    [[nodiscard]] bool atDigit() const noexcept {
        return m_pos < m_fmt.size() && m_fmt[m_pos] >= '0' && m_fmt[m_pos] <= '9';
    }

    // "index:" selects the argument; digits without the colon are the width, read again later.
    void readIndex() {
        size_t start = m_pos;
        size_t index = 0;
        bool hasIndex = false;
        while (atDigit() && index < 100000) {
            index = index * 10 + static_cast<size_t>(m_fmt[m_pos] - '0');
            ++m_pos;
            hasIndex = true;
        }
        if (hasIndex && peek(':')) {
            m_argIndex = index;
            ++m_pos;
        } else {
            m_pos = start;
        }
    }

    // A width or precision: digits, or '*' for the next argument, which must be an integer.
    bool readNumber(int& value) {
        if (peek('*')) {
            ++m_pos;
            if (m_argIndex >= m_args.size() ||
                m_args[m_argIndex]->kind() != FormatArg::Kind::Integer)
                formatError(m_fmt);
            value = static_cast<int>(m_args[m_argIndex++]->asInteger());
            return true;
        }
        bool any = false;
        value = 0;
        while (atDigit()) {
            value = value * 10 + (m_fmt[m_pos] - '0');
            if (value > 100000)
                formatError(m_fmt);
            ++m_pos;
            any = true;
        }
        return any;
    }

    const std::string& m_fmt;
    const std::vector<const FormatArg*>& m_args;
    size_t m_pos = 0;
    size_t m_argIndex = 0;
};

void zeroExtend(std::string& digits, int precision) {
    if (precision > 0 && static_cast<int>(digits.size()) < precision)
        digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
}

// %d and %u: %u reads a negative integer as its 32-bit two's complement.
std::string formatDecimal(const FormatArg& arg, const FormatSpec& spec, const std::string& fmt) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (arg.kind() == FormatArg::Kind::Integer) {
        int64_t v = arg.asInteger();
        if (spec.type == 'u') {
            magnitude = static_cast<uint32_t>(v);
        } else {
            negative = v < 0;
            magnitude = negative ? (0 - static_cast<uint64_t>(v)) : static_cast<uint64_t>(v);
        }
    } else if (arg.kind() == FormatArg::Kind::Unsigned) {
        magnitude = arg.asUnsigned();
    } else {
        formatError(fmt);
    }
    std::string digits = std::to_string(magnitude);
    zeroExtend(digits, spec.precision);
    return (negative ? "-" : "") + digits;
}

// %x: an integer that fits 32 bits shows its 32-bit pattern, a wider one its 64-bit one.
std::string formatHex(const FormatArg& arg, const FormatSpec& spec, const std::string& fmt) {
    uint64_t v = 0;
    if (arg.kind() == FormatArg::Kind::Integer) {
        int64_t s = arg.asInteger();
        v = (s >= std::numeric_limits<int32_t>::min() && s <= std::numeric_limits<int32_t>::max())
                ? static_cast<uint32_t>(s)
                : static_cast<uint64_t>(s);
    } else if (arg.kind() == FormatArg::Kind::Unsigned) {
        v = arg.asUnsigned();
    } else {
        formatError(fmt);
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
    std::string piece = buf;
    zeroExtend(piece, spec.precision);
    return piece;
}

std::string formatText(const FormatArg& arg, const FormatSpec& spec, const std::string& fmt) {
    if (arg.kind() != FormatArg::Kind::Text)
        formatError(fmt);
    std::string piece = arg.asText();
    if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < piece.size())
        piece.resize(static_cast<size_t>(spec.precision));
    return piece;
}

// %g, %e, %f, %n (with thousands) and %m (as %n); integers are accepted as numbers.
std::string formatFloat(const FormatArg& arg, const FormatSpec& spec, const std::string& fmt) {
    double v = 0;
    if (arg.kind() == FormatArg::Kind::Float) {
        v = arg.asFloat();
    } else if (arg.kind() == FormatArg::Kind::Integer) {
        v = static_cast<double>(arg.asInteger());
    } else if (arg.kind() == FormatArg::Kind::Unsigned) {
        v = static_cast<double>(arg.asUnsigned());
    } else {
        formatError(fmt);
    }
    const TFormatSettings& settings = FormatSettings();
    const int precision = spec.precision;
    if (spec.type == 'g')
        return generalFloat(v, precision < 0 ? 15 : (precision == 0 ? 1 : precision),
                            settings.DecimalSeparator);
    if (spec.type == 'e')
        return scientificFloat(v, precision < 0 ? 15 : precision, settings.DecimalSeparator);
    return fixedFloat(v, precision < 0 ? 2 : std::min(precision, 18), settings.DecimalSeparator,
                      spec.type == 'f' ? '\0' : settings.ThousandSeparator);
}

std::string formatPointer(const FormatArg& arg, const std::string& fmt) {
    if (arg.kind() != FormatArg::Kind::Pointer)
        formatError(fmt);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(arg.asPointer())));
    return buf;
}

std::string formatArg(const FormatArg& arg, const FormatSpec& spec, const std::string& fmt) {
    switch (spec.type) {
    case 'd':
    case 'u':
        return formatDecimal(arg, spec, fmt);
    case 'x':
        return formatHex(arg, spec, fmt);
    case 's':
        return formatText(arg, spec, fmt);
    case 'g':
    case 'f':
    case 'n':
    case 'e':
    case 'm':
        return formatFloat(arg, spec, fmt);
    case 'p':
        return formatPointer(arg, fmt);
    default:
        formatError(fmt);
    }
}
} // namespace

std::string Format(const std::string& Fmt, std::initializer_list<FormatArg> Args) {
    std::vector<const FormatArg*> args;
    for (const FormatArg& a : Args)
        args.push_back(&a);
    FormatParser parser(Fmt, args);
    std::string out;
    while (!parser.atEnd()) {
        if (parser.copyText(out))
            continue;
        const FormatSpec spec = parser.spec();
        std::string piece = formatArg(parser.nextArg(), spec, Fmt);
        if (static_cast<int>(piece.size()) < spec.width) {
            std::string pad(static_cast<size_t>(spec.width) - piece.size(), ' ');
            piece = spec.left ? piece + pad : pad + piece;
        }
        out += piece;
    }
    return out;
}

std::string ExtractFieldName(const std::string& Fields, int& Pos) {
    if (Pos < 1)
        Pos = 1;
    auto i = static_cast<size_t>(Pos);
    size_t len = Fields.size();
    while (i <= len && Fields[i - 1] != ';')
        ++i;
    std::string result =
        (static_cast<size_t>(Pos) <= len)
            ? Trim(Fields.substr(static_cast<size_t>(Pos) - 1, i - static_cast<size_t>(Pos)))
            : std::string();
    if (i <= len && Fields[i - 1] == ';')
        ++i;
    Pos = static_cast<int>(i);
    return result;
}

std::string QuotedStr(const std::string& S) {
    std::string r = "'";
    for (char c : S) {
        if (c == '\'')
            r += '\'';
        r += c;
    }
    r += '\'';
    return r;
}

std::string StringReplaceAll(const std::string& S, const std::string& OldPattern,
                             const std::string& NewPattern) {
    if (OldPattern.empty())
        return S;
    std::string r;
    size_t pos = 0;
    while (true) {
        size_t f = S.find(OldPattern, pos);
        if (f == std::string::npos)
            break;
        r.append(S, pos, f - pos);
        r += NewPattern;
        pos = f + OldPattern.size();
    }
    r.append(S, pos);
    return r;
}

} // namespace tovrin::host

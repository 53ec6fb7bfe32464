// The server's string functions and its `like`, registered on every connection: like with
// bracket classes ([a-c], [^…]) and an escape character, patindex, ltrim and rtrim, substring,
// stuff, ascii, char, reverse, soundex, difference, str_replace and charindex with a start.
// Positions and lengths count characters (UTF-8 code points). A function whose result would
// be an empty string gives NULL, as on the server.
#include "SqlConnection.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

namespace {

/// The characters of UTF-8 text, as code points (a stray byte stands for itself).
std::u32string decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        if (extra == 0 || i + extra >= s.size()) {
            out.push_back(b);
            ++i;
            continue;
        }
        char32_t c = b & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += extra + 1;
    }
    return out;
}

std::string encode(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool isNull(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

std::string_view textOf(sqlite3_value* v) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return text ? std::string_view(text, static_cast<size_t>(sqlite3_value_bytes(v)))
                : std::string_view();
}

/// The result of a string function: NULL for an empty string.
void resultString(sqlite3_context* ctx, const std::string& s) {
    if (s.empty())
        return sqlite3_result_null(ctx);
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// ---- like and patindex ----

/// One element of a like pattern: any run of characters (%), one character (_), a literal,
/// or a class of characters ([abc], [a-c], [^…]).
struct PatternElement {
    enum class Kind { AnyRun, One, Literal, Class } kind = Kind::Literal;
    char32_t literal = 0;
    std::vector<std::pair<char32_t, char32_t>> ranges;
    bool negated = false;

    [[nodiscard]] bool matches(char32_t c) const {
        switch (kind) {
        case Kind::One:
            return true;
        case Kind::Literal:
            return c == literal;
        case Kind::Class: {
            const bool in = std::any_of(ranges.begin(), ranges.end(),
                                        [c](auto r) { return c >= r.first && c <= r.second; });
            return in != negated;
        }
        case Kind::AnyRun:
            break;
        }
        return false;
    }
};

/// Reads a bracket class that starts at pattern[i] ('['); false when it has no closing ']'
/// (the '[' then stands for itself).
bool readClass(const std::u32string& pattern, size_t& i, PatternElement& element) {
    size_t k = i + 1;
    element.kind = PatternElement::Kind::Class;
    if (k < pattern.size() && pattern[k] == U'^') {
        element.negated = true;
        ++k;
    }
    for (bool first = true; k < pattern.size(); first = false) {
        if (pattern[k] == U']' && !first) {
            i = k + 1;
            return true;
        }
        char32_t low = pattern[k];
        if (k + 2 < pattern.size() && pattern[k + 1] == U'-' && pattern[k + 2] != U']') {
            element.ranges.emplace_back(low, pattern[k + 2]);
            k += 3;
        } else {
            element.ranges.emplace_back(low, low);
            ++k;
        }
    }
    return false;
}

std::vector<PatternElement> parsePattern(const std::u32string& pattern,
                                         std::optional<char32_t> escape) {
    std::vector<PatternElement> out;
    for (size_t i = 0; i < pattern.size();) {
        PatternElement e;
        const char32_t c = pattern[i];
        if (escape && c == *escape && i + 1 < pattern.size()) {
            e.literal = pattern[i + 1];
            i += 2;
        } else if (c == U'%') {
            e.kind = PatternElement::Kind::AnyRun;
            ++i;
        } else if (c == U'_') {
            e.kind = PatternElement::Kind::One;
            ++i;
        } else if (c == U'[' && readClass(pattern, i, e)) {
            // i is past the class
        } else {
            e = PatternElement{};
            e.literal = c;
            ++i;
        }
        out.push_back(std::move(e));
    }
    return out;
}

/// Whether the elements match `text` from `from` to its end (or, with `prefix`, some
/// leading part of it). Backtracks to the latest % only: linear for typical patterns.
bool matchFrom(const std::vector<PatternElement>& p, const std::u32string& text, size_t from,
               bool prefix) {
    size_t pi = 0, si = from, star = std::string::npos, mark = from;
    while (si < text.size()) {
        if (prefix && pi == p.size())
            return true;
        if (pi < p.size() && p[pi].kind == PatternElement::Kind::AnyRun) {
            star = pi++;
            mark = si;
        } else if (pi < p.size() && p[pi].matches(text[si])) {
            ++pi;
            ++si;
        } else if (star != std::string::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == PatternElement::Kind::AnyRun)
        ++pi;
    return pi == p.size();
}

/// like(pattern, text [, escape]): the `like` operator.
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && isNull(argv[2])))
        return sqlite3_result_null(ctx);
    std::optional<char32_t> escape;
    if (argc > 2) {
        const std::u32string e = decode(textOf(argv[2]));
        if (e.size() != 1)
            return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        escape = e[0];
    }
    const auto pattern = parsePattern(decode(textOf(argv[0])), escape);
    std::u32string text = decode(textOf(argv[1]));
    bool match = matchFrom(pattern, text, 0, false);
    // Trailing blanks of the text do not count (a char column's padding): 'ab   ' is like
    // 'ab', while a pattern ending in blanks still needs them.
    if (!match && !text.empty() && text.back() == U' ') {
        text.erase(text.find_last_not_of(U' ') + 1);
        match = matchFrom(pattern, text, 0, false);
    }
    sqlite3_result_int(ctx, match);
}

/// patindex('%pattern%', text): the position of the first match, 0 when there is none.
void patindexFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]))
        return sqlite3_result_null(ctx);
    auto pattern = parsePattern(decode(textOf(argv[0])), std::nullopt);
    const std::u32string text = decode(textOf(argv[1]));
    const bool anywhere = !pattern.empty() && pattern.front().kind == PatternElement::Kind::AnyRun;
    const bool prefix = !pattern.empty() && pattern.back().kind == PatternElement::Kind::AnyRun;
    if (anywhere)
        pattern.erase(pattern.begin());
    const size_t last = anywhere ? text.size() : 0;
    for (size_t from = 0; from <= last && !pattern.empty(); ++from)
        if (from < text.size() && matchFrom(pattern, text, from, prefix))
            return sqlite3_result_int64(ctx, static_cast<int64_t>(from) + 1);
    sqlite3_result_int(ctx, 0);
}

// ---- trimming, parts and positions ----

/// ltrim and rtrim: leading (trailing) blanks removed; NULL when nothing is left.
void trimFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    const bool left = *static_cast<const bool*>(sqlite3_user_data(ctx));
    std::string_view s = textOf(argv[0]);
    if (left)
        s.remove_prefix(std::min(s.find_first_not_of(' '), s.size()));
    else
        s = s.substr(0, s.find_last_not_of(' ') + 1);
    resultString(ctx, std::string(s));
}

constexpr bool kTrimLeft = true;
constexpr bool kTrimRight = false;

/// The characters of positions [start, start + length) (from 1) that the text has; empty
/// when none. A start before 1 does not count from the end: it only shortens the window.
std::u32string window(const std::u32string& s, int64_t start, int64_t length) {
    if (length <= 0)
        return {};
    const int64_t first = std::max<int64_t>(start, 1);
    const int64_t end = std::min<int64_t>(start + length, static_cast<int64_t>(s.size()) + 1);
    if (first >= end)
        return {};
    return s.substr(static_cast<size_t>(first - 1), static_cast<size_t>(end - first));
}

/// substring(text, start, length): NULL past the end.
void substringFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && isNull(argv[2])))
        return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
        // Binary values count bytes.
        const auto* data = static_cast<const char*>(sqlite3_value_blob(argv[0]));
        std::u32string bytes;
        for (int i = 0; i < sqlite3_value_bytes(argv[0]); ++i)
            bytes.push_back(static_cast<unsigned char>(data[i]));
        const std::u32string part = window(bytes, sqlite3_value_int64(argv[1]),
                                           argc > 2 ? sqlite3_value_int64(argv[2]) : INT32_MAX);
        if (part.empty())
            return sqlite3_result_null(ctx);
        std::string out(part.begin(), part.end());
        return sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
    }
    const std::u32string s = decode(textOf(argv[0]));
    resultString(ctx, encode(window(s, sqlite3_value_int64(argv[1]),
                                    argc > 2 ? sqlite3_value_int64(argv[2]) : INT32_MAX)));
}

/// stuff(text, start, length, insert): `length` characters from `start` replaced by
/// `insert` (deleted when it is NULL); NULL for a start outside the text or a negative
/// length.
void stuffFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || isNull(argv[2]))
        return sqlite3_result_null(ctx);
    const std::u32string s = decode(textOf(argv[0]));
    const int64_t start = sqlite3_value_int64(argv[1]);
    const int64_t length = sqlite3_value_int64(argv[2]);
    if (start < 1 || start > static_cast<int64_t>(s.size()) || length < 0)
        return sqlite3_result_null(ctx);
    const size_t at = static_cast<size_t>(start - 1);
    const size_t cut = std::min(s.size() - at, static_cast<size_t>(length));
    std::u32string out = s.substr(0, at);
    if (!isNull(argv[3]))
        out += decode(textOf(argv[3]));
    out += s.substr(at + cut);
    resultString(ctx, encode(out));
}

/// charindex(needle, text [, start]): the position (from 1) of the first occurrence at or
/// after `start`, 0 when there is none.
void charindexFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || (argc > 2 && isNull(argv[2])))
        return sqlite3_result_null(ctx);
    const std::u32string needle = decode(textOf(argv[0]));
    const std::u32string text = decode(textOf(argv[1]));
    const int64_t start = argc > 2 ? std::max<int64_t>(sqlite3_value_int64(argv[2]), 1) : 1;
    if (needle.empty() || start > static_cast<int64_t>(text.size()))
        return sqlite3_result_int(ctx, 0);
    const size_t at = text.find(needle, static_cast<size_t>(start - 1));
    sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

/// str_replace(text, pattern, replacement): every occurrence replaced (removed when the
/// replacement is NULL).
void strReplaceFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]))
        return sqlite3_result_null(ctx);
    const std::string_view text = textOf(argv[0]);
    const std::string_view pattern = textOf(argv[1]);
    const std::string_view replacement = isNull(argv[2]) ? std::string_view() : textOf(argv[2]);
    if (pattern.empty())
        return resultString(ctx, std::string(text));
    std::string out;
    size_t from = 0;
    for (size_t at; (at = text.find(pattern, from)) != std::string_view::npos;
         from = at + pattern.size()) {
        out.append(text.substr(from, at - from));
        out.append(replacement);
    }
    out.append(text.substr(from));
    resultString(ctx, out);
}

// ---- characters and codes ----

/// ascii(text): the code of the first character.
void asciiFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    const std::u32string s = decode(textOf(argv[0]));
    if (s.empty())
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, static_cast<int64_t>(s[0]));
}

/// char(code): the character of a code from 0 to 255; NULL for any other.
void charFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    const int64_t code = sqlite3_value_int64(argv[0]);
    if (code < 0 || code > 255)
        return sqlite3_result_null(ctx);
    const std::string s = encode(std::u32string(1, static_cast<char32_t>(code)));
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void reverseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    std::u32string s = decode(textOf(argv[0]));
    std::reverse(s.begin(), s.end());
    resultString(ctx, encode(s));
}

/// The four-character sound code of a text: its first letter and the digits of the
/// following consonants (b f p v 1, c g j k q s x z 2, d t 3, l 4, m n 5, r 6), adjacent
/// equal digits once, vowels separating, h and w not; padded with zeros.
std::string soundexOf(std::string_view text) {
    static constexpr const char* kDigits = "01230120022455012623010202"; // a … z
    std::string code;
    char last = 0;
    for (char raw : text) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw)));
        if (c < 'a' || c > 'z') {
            if (code.empty())
                continue;
            break;
        }
        const char digit = kDigits[c - 'a'];
        if (code.empty()) {
            code += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            last = digit;
            continue;
        }
        if (digit != '0' && digit != last)
            code += digit;
        if (c != 'h' && c != 'w')
            last = digit;
        if (code.size() == 4)
            break;
    }
    if (code.empty())
        return "0000";
    code.resize(4, '0');
    return code;
}

void soundexFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    const std::string code = soundexOf(textOf(argv[0]));
    sqlite3_result_text64(ctx, code.data(), code.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

/// difference(a, b): how many of the four characters of their sound codes agree (0 to 4).
void differenceFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]))
        return sqlite3_result_null(ctx);
    const std::string a = soundexOf(textOf(argv[0]));
    const std::string b = soundexOf(textOf(argv[1]));
    int same = 0;
    for (size_t i = 0; i < 4; ++i)
        same += a[i] == b[i];
    sqlite3_result_int(ctx, same);
}

struct StringFunction {
    const char* name;
    int argc;
    void (*body)(sqlite3_context*, int, sqlite3_value**);
};

constexpr StringFunction kStringFunctions[] = {
    {"like", 2, likeFunction},
    {"like", 3, likeFunction},
    {"patindex", 2, patindexFunction},
    {"substring", 2, substringFunction},
    {"substring", 3, substringFunction},
    {"stuff", 4, stuffFunction},
    {"charindex", 2, charindexFunction},
    {"charindex", 3, charindexFunction},
    {"str_replace", 3, strReplaceFunction},
    {"ascii", 1, asciiFunction},
    {"char", 1, charFunction},
    {"reverse", 1, reverseFunction},
    {"soundex", 1, soundexFunction},
    {"difference", 2, differenceFunction},
};

} // namespace

void registerStringFunctions(sqlite3* db) {
    constexpr int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    for (const auto& f : kStringFunctions)
        sqlite3_create_function(db, f.name, f.argc, kPure, nullptr, f.body, nullptr, nullptr);
    sqlite3_create_function(db, "ltrim", 1, kPure, const_cast<bool*>(&kTrimLeft), trimFunction,
                            nullptr, nullptr);
    sqlite3_create_function(db, "rtrim", 1, kPure, const_cast<bool*>(&kTrimRight), trimFunction,
                            nullptr, nullptr);
}

} // namespace devserver

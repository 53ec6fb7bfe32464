// Splitting SQL text into code, literals, names, comments and parameter markers.
#include "tovrin5/query/SqlScanner.h"

#include <cctype>

namespace tovrin::sqltext {

namespace {

// Length of the well-formed multi-byte UTF-8 sequence whose lead byte is at `pos`, or 0
// when there is none (a lone byte, a truncated sequence, an ASCII byte).
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) noexcept {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if (next < 0x80 || next > 0xBF) {
            return 0;
        }
    }
    return length;
}

// End of the literal or name opened by the quote at `pos`: after its closing quote, a
// doubled closing quote staying inside; the end of the text when it is not closed.
std::size_t quotedEnd(std::string_view text, std::size_t pos, char close, bool doubles) noexcept {
    for (std::size_t at = pos + 1; at < text.size(); ++at) {
        if (text[at] != close) {
            continue;
        }
        if (doubles && at + 1 < text.size() && text[at + 1] == close) {
            ++at;
            continue;
        }
        return at + 1;
    }
    return text.size();
}

// End of the block comment opened at `pos`, after the "*/" that closes the outermost.
std::size_t blockCommentEnd(std::string_view text, std::size_t pos) noexcept {
    int depth = 0;
    std::size_t at = pos;
    while (at + 1 < text.size()) {
        if (text[at] == '/' && text[at + 1] == '*') {
            ++depth;
            at += 2;
        } else if (text[at] == '*' && text[at + 1] == '/') {
            at += 2;
            if (--depth == 0) {
                return at;
            }
        } else {
            ++at;
        }
    }
    return text.size();
}

// The span that starts at `pos` when something other than code starts there.
bool specialSpanAt(std::string_view text, std::size_t pos, TSqlSpan& span) noexcept {
    const char c = text[pos];
    const char next = pos + 1 < text.size() ? text[pos + 1] : '\0';
    if (c == '\'') {
        span = {TSqlSpanKind::SingleQuoted, pos, quotedEnd(text, pos, '\'', true)};
    } else if (c == '"') {
        span = {TSqlSpanKind::DoubleQuoted, pos, quotedEnd(text, pos, '"', true)};
    } else if (c == '[') {
        span = {TSqlSpanKind::Bracketed, pos, quotedEnd(text, pos, ']', false)};
    } else if (c == '-' && next == '-') {
        const std::size_t lineEnd = text.find('\n', pos + 2);
        span = {TSqlSpanKind::LineComment, pos,
                lineEnd == std::string_view::npos ? text.size() : lineEnd};
    } else if (c == '/' && next == '*') {
        span = {TSqlSpanKind::BlockComment, pos, blockCommentEnd(text, pos)};
    } else if (c == ':' && MarkerNameEnd(text, pos + 1) > pos + 1) {
        span = {TSqlSpanKind::Marker, pos, MarkerNameEnd(text, pos + 1)};
    } else {
        return false;
    }
    return true;
}

bool isWordByte(unsigned char c) noexcept {
    return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c == '.' || c >= 0x80;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// The words and single characters of a stretch of code.
void appendCodeTokens(std::string_view code, std::vector<std::string>& out) {
    std::size_t i = 0;
    while (i < code.size()) {
        const auto c = static_cast<unsigned char>(code[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (isWordByte(c)) {
            std::size_t j = i;
            while (j < code.size() && isWordByte(static_cast<unsigned char>(code[j]))) {
                ++j;
            }
            out.push_back(lowerCase(code.substr(i, j - i)));
            i = j;
        } else {
            out.emplace_back(1, static_cast<char>(c));
            ++i;
        }
    }
}

} // namespace

std::size_t MarkerNameEnd(std::string_view text, std::size_t pos) noexcept {
    // Name characters are taken byte by byte, except that a well-formed UTF-8 character is
    // taken whole, so that a name never ends in the middle of one.
    while (pos < text.size() && IsNameChar(static_cast<unsigned char>(text[pos]))) {
        const std::size_t sequence = utf8SequenceLength(text, pos);
        pos += sequence > 0 ? sequence : 1;
    }
    return pos;
}

std::vector<TSqlSpan> ScanSql(std::string_view sql) {
    std::vector<TSqlSpan> spans;
    std::size_t codeStart = 0;
    std::size_t pos = 0;
    while (pos < sql.size()) {
        TSqlSpan span;
        if (!specialSpanAt(sql, pos, span)) {
            ++pos;
            continue;
        }
        if (codeStart < pos) {
            spans.push_back({TSqlSpanKind::Code, codeStart, pos});
        }
        spans.push_back(span);
        pos = span.End;
        codeStart = pos;
    }
    if (codeStart < sql.size()) {
        spans.push_back({TSqlSpanKind::Code, codeStart, sql.size()});
    }
    return spans;
}

std::vector<std::string> SqlTokens(std::string_view sql) {
    std::vector<std::string> out;
    for (const TSqlSpan& span : ScanSql(sql)) {
        const std::string_view text = sql.substr(span.Begin, span.End - span.Begin);
        switch (span.Kind) {
        case TSqlSpanKind::Code:
            appendCodeTokens(text, out);
            break;
        case TSqlSpanKind::Marker:
            out.emplace_back(":");
            out.push_back(lowerCase(text.substr(1)));
            break;
        case TSqlSpanKind::SingleQuoted:
        case TSqlSpanKind::DoubleQuoted:
            out.emplace_back("'");
            break;
        case TSqlSpanKind::Bracketed:
            out.push_back(lowerCase(text));
            break;
        case TSqlSpanKind::LineComment:
        case TSqlSpanKind::BlockComment:
            break;
        }
    }
    return out;
}

} // namespace tovrin::sqltext

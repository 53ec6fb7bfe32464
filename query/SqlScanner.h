// The one reading of SQL text that everything looking into a query's SQL shares: where
// quoted literals, bracketed and double-quoted names, comments and parameter markers
// (":name") begin and end. The parameter markers, the update builder's table lookup and
// any reader of the select list all see the same text as code, so that none of them can
// take a marker inside a comment for one outside it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tovrin::sqltext {

/// True for the bytes a marker name is made of: digits, the codes 0x41..0x7A (letters and
/// [ \ ] ^ _ `) and 0xC0..0xFF.
[[nodiscard]] constexpr bool IsNameChar(unsigned char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 0x41 && c <= 0x7A) || c >= 0xC0;
}

/// End (exclusive) of the marker name that starts at pos; pos itself when no name starts
/// there. A well-formed multi-byte UTF-8 character is taken whole, never a part of it.
[[nodiscard]] std::size_t MarkerNameEnd(std::string_view text, std::size_t pos) noexcept;

/// What a stretch of SQL text is.
enum class TSqlSpanKind {
    Code,         ///< anything else: words, numbers, operators, blanks
    Marker,       ///< a colon and a parameter name
    SingleQuoted, ///< 'text', a doubled quote inside
    DoubleQuoted, ///< "text" (a literal or, under quoted_identifier, a name)
    Bracketed,    ///< [name]
    LineComment,  ///< "--" up to, not including, the line feed
    BlockComment, ///< "/*" to the matching "*/"; comments nest
};

/// One stretch of the text: bytes [Begin, End).
struct TSqlSpan {
    TSqlSpanKind Kind = TSqlSpanKind::Code;
    std::size_t Begin = 0;
    std::size_t End = 0;
};

/// Splits a SQL text into consecutive spans that cover it exactly, adjacent code joined
/// into one span. Reads as the server does: a literal ends at its closing quote (a doubled
/// quote stays inside), a bracketed name at the first "]", a line comment at the line
/// feed (a carriage return alone does not end it), and block comments nest, so that
/// "/* /* */ */" is one comment. What is not closed runs to the end of the text. A marker
/// is a colon followed by name characters, in code only; a name that meets a multi-byte
/// UTF-8 character takes the whole character, never a part of it; a colon followed by
/// no name character stays code.
[[nodiscard]] std::vector<TSqlSpan> ScanSql(std::string_view sql);

/// The tokens of a SQL text as ScanSql reads it, letters lower-cased: words (letters,
/// digits and "_", "#", "@", "$", ".", bytes from 0x80 on), a bracketed name whole ("[a b]"),
/// each other character of code alone, a marker as ":" and its name, and "'" for every
/// quoted literal or double-quoted text; blanks and comments give none.
[[nodiscard]] std::vector<std::string> SqlTokens(std::string_view sql);

} // namespace tovrin::sqltext

// Locale-aware text comparison through ICU collators, and UTF-8 helpers for cutting a
// text to whole characters.
//
// AnsiCompareStr compares case-sensitively under the default locale at tertiary
// strength; AnsiCompareTextRu compares ignoring case under the Russian locale at
// secondary strength (the case-insensitive comparison of sorting and searching). Both
// take UTF-8 text and return -1, 0 or 1. Collators are created once and shared by all
// threads (ICU collators are safe for concurrent comparisons).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovrin::host {

/// Case-sensitive locale-aware comparison (default locale, tertiary strength): -1, 0, 1.
[[nodiscard]] int AnsiCompareStr(std::string_view S1, std::string_view S2);
/// Case-insensitive locale-aware comparison under the default locale: -1, 0, 1.
[[nodiscard]] int AnsiCompareText(std::string_view S1, std::string_view S2);
/// Case-insensitive comparison under the Russian locale (secondary strength): -1, 0, 1.
[[nodiscard]] int AnsiCompareTextRu(std::string_view S1, std::string_view S2);
[[nodiscard]] inline bool AnsiSameText(std::string_view S1, std::string_view S2) {
    return AnsiCompareText(S1, S2) == 0;
}

/// Number of characters (code points) of UTF-8 text; each invalid byte counts as one.
[[nodiscard]] std::size_t utf8Length(std::string_view s) noexcept;
/// The first count characters of s, never splitting a UTF-8 sequence.
[[nodiscard]] std::string_view utf8Left(std::string_view s, std::size_t count) noexcept;
/// The longest prefix of at most maxBytes bytes that ends on a character boundary.
[[nodiscard]] std::string_view utf8CutBytes(std::string_view s, std::size_t maxBytes) noexcept;

} // namespace tovrin::host

// ICU collators for the locale-aware comparisons, created once per process.
#include "tovrin5/host/Collation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <mutex>

namespace tovrin::host {

namespace {

// The process's default locale; the POSIX/C locale stands for "no preference" and is
// replaced by the root collation (its own tailoring orders by code point and would make
// the case-insensitive comparison see 'a' and 'A' as different letters).
const char* collationLocale() {
    const char* loc = uloc_getDefault();
    if (!loc || !*loc || std::strcmp(loc, "en_US_POSIX") == 0 || std::strcmp(loc, "c") == 0 ||
        std::strcmp(loc, "posix") == 0)
        return "";
    return loc;
}

class Collator {
public:
    Collator(const char* locale, UColAttributeValue strength) {
        UErrorCode status = U_ZERO_ERROR;
        m_collator = ucol_open(locale, &status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            m_collator = ucol_open("", &status);
        }
        if (m_collator) {
            ucol_setStrength(m_collator, strength);
            // No script reordering: Latin sorts before Cyrillic whatever the locale, as the
            // system comparison that this stands for does.
            const int32_t none = UCOL_REORDER_CODE_NONE;
            status = U_ZERO_ERROR;
            ucol_setReorderCodes(m_collator, &none, 1, &status);
        }
    }
    ~Collator() {
        if (m_collator)
            ucol_close(m_collator);
    }
    Collator(const Collator&) = delete;
    Collator& operator=(const Collator&) = delete;

    int compare(std::string_view a, std::string_view b) const {
        if (!m_collator) {
            int c = a.compare(b);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult r = ucol_strcollUTF8(m_collator, a.data(), static_cast<int32_t>(a.size()),
                                              b.data(), static_cast<int32_t>(b.size()), &status);
        if (U_FAILURE(status)) {
            int c = a.compare(b);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
    }

private:
    UCollator* m_collator = nullptr;
};

const Collator& caseSensitive() {
    static const Collator kCollator(collationLocale(), UCOL_TERTIARY);
    return kCollator;
}

const Collator& caseInsensitive() {
    static const Collator kCollator(collationLocale(), UCOL_SECONDARY);
    return kCollator;
}

const Collator& russianCaseInsensitive() {
    static const Collator kCollator("ru", UCOL_SECONDARY);
    return kCollator;
}

// Length of the UTF-8 sequence starting at s[i], or 1 for a byte that starts none.
size_t sequenceLength(std::string_view s, size_t i) noexcept {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n = 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    if (i + n > s.size())
        return 1;
    for (size_t k = 1; k < n; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    }
    return n;
}

} // namespace

int AnsiCompareStr(std::string_view S1, std::string_view S2) {
    return caseSensitive().compare(S1, S2);
}
int AnsiCompareText(std::string_view S1, std::string_view S2) {
    return caseInsensitive().compare(S1, S2);
}
int AnsiCompareTextRu(std::string_view S1, std::string_view S2) {
    return russianCaseInsensitive().compare(S1, S2);
}

std::size_t utf8Length(std::string_view s) noexcept {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += sequenceLength(s, i))
        ++count;
    return count;
}

std::string_view utf8Left(std::string_view s, std::size_t count) noexcept {
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < s.size(); ++n)
        i += sequenceLength(s, i);
    return s.substr(0, i);
}

std::string_view utf8CutBytes(std::string_view s, std::size_t maxBytes) noexcept {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t n = sequenceLength(s, i);
        if (i + n > maxBytes)
            break;
        i += n;
    }
    return s.substr(0, i);
}

} // namespace tovrin::host

// Character set names and the conversions between a client's character set and UTF-8.
#include "Charsets.h"

#include <atomic>
#include <cctype>
#include <cstdint>

namespace devserver {

namespace {

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// Decodes one UTF-8 character at `i` (advancing it); -1 for an invalid sequence (then `i`
/// moves past one byte). Overlong forms and surrogates are invalid.
int32_t nextCodePoint(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    int32_t cp = 0;
    int32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return -1;
    }
    for (int k = 1; k <= extra; ++k) {
        const uint8_t b = byte(i + static_cast<size_t>(k));
        if ((b & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

void appendLatin1AsUtf8(std::string& out, uint8_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

namespace {
std::atomic<Charset> g_processCharset{Charset::Utf8};
} // namespace

void setServerCharset(Charset charset) noexcept {
    g_processCharset = charset;
}

Charset serverCharset() noexcept {
    return g_processCharset;
}

std::optional<Charset> charsetByName(std::string_view name) {
    const std::string n = lowered(name);
    if (n == "utf8")
        return Charset::Utf8;
    if (n == "iso_1")
        return Charset::Iso1;
    return std::nullopt;
}

const char* charsetName(Charset charset) noexcept {
    return charset == Charset::Iso1 ? "iso_1" : "utf8";
}

bool textFromClient(std::string_view in, Charset client, Charset server, std::string& out) {
    out.clear();
    out.reserve(in.size());
    if (client == Charset::Iso1) {
        // Every byte is a character, and each fits either server character set.
        for (char c : in)
            appendLatin1AsUtf8(out, static_cast<uint8_t>(c));
        return true;
    }
    if (server == Charset::Utf8) {
        // Same character set: the text is kept as it came, as a server without conversion does.
        out.assign(in);
        return true;
    }
    for (size_t i = 0; i < in.size();) {
        const size_t start = i;
        const int32_t cp = nextCodePoint(in, i);
        if (cp < 0 || (server == Charset::Iso1 && cp > 0xFF))
            return false;
        out.append(in.substr(start, i - start));
    }
    return true;
}

std::string textToClient(std::string_view utf8, Charset client, bool& lossy) {
    if (client == Charset::Utf8)
        return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const int32_t cp = nextCodePoint(utf8, i);
        if (cp < 0 || cp > 0xFF) {
            out += '?';
            lossy = true;
        } else {
            out += static_cast<char>(cp);
        }
    }
    return out;
}

} // namespace devserver

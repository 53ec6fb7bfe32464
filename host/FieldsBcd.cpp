// Packed decimal conversions: text <-> TBcd through a plain digit string.
#include "tovrin5/host/FieldsBcd.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

namespace {

constexpr int kMaxDigits = 64;

// Builds a TBcd from integer digits and fraction digits (no sign, no leading zeros needed).
TBcd makeBcd(std::string intDigits, std::string fracDigits, bool negative) {
    while (intDigits.size() > 1 && intDigits.front() == '0')
        intDigits.erase(0, 1);
    if (intDigits == "0")
        intDigits.clear();
    while (!fracDigits.empty() && fracDigits.back() == '0')
        fracDigits.pop_back();
    TBcd bcd;
    std::string all = intDigits + fracDigits;
    if (all.empty())
        return bcd;
    bcd.Precision = static_cast<std::uint8_t>(all.size());
    bcd.SignSpecialPlaces =
        static_cast<std::uint8_t>((negative ? 0x80 : 0) | (fracDigits.size() & 0x3F));
    for (std::size_t i = 0; i < all.size(); ++i) {
        auto digit = static_cast<std::uint8_t>(all[i] - '0');
        if (i % 2 == 0)
            bcd.Fraction[i / 2] = static_cast<std::uint8_t>(digit << 4);
        else
            bcd.Fraction[i / 2] |= digit;
    }
    return bcd;
}

} // namespace

bool TryStrToBCD(const std::string& text, TBcd& bcd) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::string intDigits, fracDigits;
    bool point = false, any = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            (point ? fracDigits : intDigits).push_back(c);
            any = true;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (!any || i != text.size())
        return false;
    while (intDigits.size() > 1 && intDigits.front() == '0')
        intDigits.erase(0, 1);
    while (!fracDigits.empty() && fracDigits.back() == '0')
        fracDigits.pop_back();
    if (intDigits == "0")
        intDigits.clear();
    if (intDigits.size() + fracDigits.size() > kMaxDigits || fracDigits.size() > 63)
        return false;
    bcd = makeBcd(intDigits, fracDigits, negative);
    return true;
}

TBcd StrToBCD(const std::string& text) {
    TBcd bcd;
    if (!TryStrToBCD(text, bcd))
        throw EConvertError(dbconsts::SInvalidBcdValue, {text});
    return bcd;
}

std::string BCDToStr(const TBcd& bcd) {
    // One pass into a local buffer: sign, integer digits without leading zeros (at least
    // one), then the fraction without trailing zeros.
    const int precision = bcd.Precision > kMaxDigits ? kMaxDigits : bcd.Precision;
    const int places = std::min(bcd.SignSpecialPlaces & 0x3F, precision);
    const int intDigits = precision - places;
    auto digit = [&bcd](int i) {
        const std::uint8_t b = bcd.Fraction[i / 2];
        const int d = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
        return static_cast<char>('0' + (d > 9 ? 9 : d));
    };
    char text[kMaxDigits + 3];
    int n = 0;
    text[n++] = '-';
    int first = 0;
    while (first < intDigits && digit(first) == '0')
        ++first;
    if (first == intDigits)
        text[n++] = '0';
    for (int i = first; i < intDigits; ++i)
        text[n++] = digit(i);
    int last = precision;
    while (last > intDigits && digit(last - 1) == '0')
        --last;
    if (last > intDigits) {
        text[n++] = '.';
        for (int i = intDigits; i < last; ++i)
            text[n++] = digit(i);
    }
    const bool zero = n == 2 && text[1] == '0';
    const bool negative = (bcd.SignSpecialPlaces & 0x80) && !zero;
    return negative ? std::string(text, static_cast<std::size_t>(n))
                    : std::string(text + 1, static_cast<std::size_t>(n - 1));
}

TBcd DoubleToBCD(double value, int scale) {
    if (!std::isfinite(value))
        throw EConvertError(dbconsts::SBcdOverflow);
    scale = std::clamp(scale, 0, 63);
    // The shortest fixed-point text that reads back as the same double (0.1, not
    // 0.1000000000000000055511151231257827), rounded to the scale, a tie to even.
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (ec != std::errc())
        throw EConvertError(dbconsts::SBcdOverflow);
    std::string text(buf, end);
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos && text.size() - dot - 1 > static_cast<std::size_t>(scale)) {
        const std::size_t cut = dot + 1 + static_cast<std::size_t>(scale);
        const char first = text[cut];
        const bool beyondHalf = text.find_first_not_of('0', cut + 1) != std::string::npos;
        const char kept = text[scale == 0 ? dot - 1 : cut - 1];
        const bool up = first > '5' || (first == '5' && (beyondHalf || (kept - '0') % 2 == 1));
        text.resize(cut);
        if (text.back() == '.')
            text.pop_back();
        if (up) {
            std::size_t i = text.size();
            bool carry = true;
            while (carry && i > 0) {
                char& c = text[--i];
                if (c < '0' || c > '9')
                    continue;
                carry = c == '9';
                c = carry ? '0' : static_cast<char>(c + 1);
            }
            if (carry)
                text.insert(text[0] == '-' ? 1 : 0, 1, '1');
        }
    }
    TBcd bcd;
    if (!TryStrToBCD(text, bcd))
        throw EConvertError(dbconsts::SBcdOverflow);
    return bcd;
}

double BCDToDouble(const TBcd& bcd) {
    return std::strtod(BCDToStr(bcd).c_str(), nullptr);
}

namespace {

int digitAt(const TBcd& bcd, int i) noexcept {
    const std::uint8_t b = bcd.Fraction[i / 2];
    return (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

// The parts of a TBcd that a comparison needs: digit count, digits after the point,
// index of the first significant integer digit, and whether any digit is non-zero.
struct BcdShape {
    int precision;
    int places;
    int firstDigit;
    bool zero;
};

BcdShape shapeOf(const TBcd& bcd) noexcept {
    BcdShape s{};
    s.precision = std::min<int>(bcd.Precision, kMaxDigits);
    s.places = std::min(bcd.SignSpecialPlaces & 0x3F, s.precision);
    const int intDigits = s.precision - s.places;
    s.firstDigit = 0;
    while (s.firstDigit < intDigits && digitAt(bcd, s.firstDigit) == 0)
        ++s.firstDigit;
    s.zero = true;
    for (int i = s.firstDigit; i < s.precision && s.zero; ++i)
        s.zero = digitAt(bcd, i) == 0;
    return s;
}

} // namespace

namespace {

// The packed byte of each two-digit number: 42 gives 0x42.
constexpr auto kPackedPairs = [] {
    std::array<std::uint8_t, 100> table{};
    for (int i = 0; i < 100; ++i)
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i / 10) << 4 | (i % 10));
    return table;
}();

} // namespace

void UInt64ToBCD(std::uint64_t magnitude, bool negative, int scale, TBcd& bcd) noexcept {
    // Twenty digits, leading zeros included, two per byte from the least significant end;
    // the leading zero bytes are already there, and 32-bit steps are the cheaper ones.
    bcd.Precision = 20;
    bcd.SignSpecialPlaces = static_cast<std::uint8_t>((negative && magnitude != 0 ? 0x80 : 0) |
                                                      std::clamp(scale, 0, 20));
    int k = 9;
    for (; magnitude > UINT32_MAX; --k) {
        bcd.Fraction[k] = kPackedPairs[static_cast<std::size_t>(magnitude % 100)];
        magnitude /= 100;
    }
    for (auto low = static_cast<std::uint32_t>(magnitude); low != 0; --k) {
        bcd.Fraction[k] = kPackedPairs[low % 100];
        low /= 100;
    }
}

TBcd ScaledIntegerToBCD(unsigned __int128 magnitude, bool negative, int scale) noexcept {
    scale = std::clamp(scale, 0, 38);
    if (magnitude <= static_cast<unsigned __int128>(UINT64_MAX) && scale <= 20) {
        TBcd bcd;
        UInt64ToBCD(static_cast<std::uint64_t>(magnitude), negative, scale, bcd);
        return bcd;
    }
    const bool zero = magnitude == 0;
    // Decimal digits, least significant first, two at a time.
    std::uint8_t digits[48];
    int n = 0;
    constexpr std::uint64_t kTen19 = 10000000000000000000ull;
    while (magnitude > static_cast<unsigned __int128>(UINT64_MAX)) {
        std::uint64_t chunk = static_cast<std::uint64_t>(magnitude % kTen19);
        magnitude /= kTen19;
        for (int k = 0; k < 19; ++k, chunk /= 10)
            digits[n++] = static_cast<std::uint8_t>(chunk % 10);
    }
    std::uint64_t low = static_cast<std::uint64_t>(magnitude);
    while (low >= 10) {
        const auto pair = static_cast<unsigned>(low % 100);
        low /= 100;
        digits[n++] = static_cast<std::uint8_t>(pair % 10);
        digits[n++] = static_cast<std::uint8_t>(pair / 10);
    }
    if (low != 0)
        digits[n++] = static_cast<std::uint8_t>(low);
    while (n > 0 && digits[n - 1] == 0)
        --n; // the pair loop's leading zero
    while (n < scale)
        digits[n++] = 0;
    TBcd bcd;
    bcd.Precision = static_cast<std::uint8_t>(n);
    bcd.SignSpecialPlaces = static_cast<std::uint8_t>((negative && !zero ? 0x80 : 0) | scale);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t d = digits[n - 1 - i];
        if (i % 2 == 0)
            bcd.Fraction[i / 2] = static_cast<std::uint8_t>(d << 4);
        else
            bcd.Fraction[i / 2] |= d;
    }
    return bcd;
}

TBcd ScaledInt64ToBCD(int64_t units, int scale) noexcept {
    const bool negative = units < 0;
    const auto magnitude =
        negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    TBcd bcd;
    UInt64ToBCD(magnitude, negative, scale, bcd);
    return bcd;
}

bool BCDToScaledInt64(const TBcd& bcd, int scale, int64_t& units) noexcept {
    // The same digits with the point moved `scale` places right, then rounded to an integer.
    scale = std::clamp(scale, 0, 20);
    TBcd shifted = bcd;
    int precision = std::min<int>(shifted.Precision, kMaxDigits);
    int places = std::min(shifted.SignSpecialPlaces & 0x3F, precision);
    for (; places < scale; ++places, ++precision) {
        if (precision >= kMaxDigits)
            return false;
        std::uint8_t& b = shifted.Fraction[precision / 2];
        b = static_cast<std::uint8_t>(precision % 2 == 0 ? 0 : b & 0xF0);
    }
    shifted.Precision = static_cast<std::uint8_t>(precision);
    shifted.SignSpecialPlaces =
        static_cast<std::uint8_t>((bcd.SignSpecialPlaces & 0x80) | (places - scale));
    return BCDToInt64(shifted, units);
}

int BCDCompare(const TBcd& a, const TBcd& b) noexcept {
    const BcdShape sa = shapeOf(a);
    const BcdShape sb = shapeOf(b);
    if (sa.zero && sb.zero)
        return 0;
    const bool na = !sa.zero && (a.SignSpecialPlaces & 0x80);
    const bool nb = !sb.zero && (b.SignSpecialPlaces & 0x80);
    if (na != nb)
        return na ? -1 : 1;
    int magnitude = 0;
    const int lengthA = sa.precision - sa.places - sa.firstDigit;
    const int lengthB = sb.precision - sb.places - sb.firstDigit;
    if (lengthA != lengthB) {
        magnitude = lengthA < lengthB ? -1 : 1;
    } else {
        for (int k = 0; k < lengthA && magnitude == 0; ++k) {
            const int da = digitAt(a, sa.firstDigit + k), db = digitAt(b, sb.firstDigit + k);
            if (da != db)
                magnitude = da < db ? -1 : 1;
        }
        const int places = std::max(sa.places, sb.places);
        for (int k = 0; k < places && magnitude == 0; ++k) {
            const int da = k < sa.places ? digitAt(a, sa.precision - sa.places + k) : 0;
            const int db = k < sb.places ? digitAt(b, sb.precision - sb.places + k) : 0;
            if (da != db)
                magnitude = da < db ? -1 : 1;
        }
    }
    return na ? -magnitude : magnitude;
}

bool BCDToInt64(const TBcd& bcd, int64_t& value) noexcept {
    const BcdShape s = shapeOf(bcd);
    const int intDigits = s.precision - s.places;
    if (intDigits - s.firstDigit > 19)
        return false;
    std::uint64_t whole = 0;
    for (int i = s.firstDigit; i < intDigits; ++i) {
        const auto d = static_cast<std::uint64_t>(std::min(digitAt(bcd, i), 9));
        if (whole > (UINT64_MAX - d) / 10)
            return false;
        whole = whole * 10 + d;
    }
    if (s.places > 0) {
        const int first = digitAt(bcd, intDigits);
        bool rest = false;
        for (int i = intDigits + 1; i < s.precision && !rest; ++i)
            rest = digitAt(bcd, i) != 0;
        if (first > 5 || (first == 5 && (rest || (whole % 2) == 1))) {
            if (whole == UINT64_MAX)
                return false;
            ++whole;
        }
    }
    const bool negative = (bcd.SignSpecialPlaces & 0x80) != 0;
    if (negative) {
        if (whole > static_cast<std::uint64_t>(INT64_MAX) + 1)
            return false;
        value = whole == 0 ? 0 : static_cast<int64_t>(0 - whole);
    } else {
        if (whole > static_cast<std::uint64_t>(INT64_MAX))
            return false;
        value = static_cast<int64_t>(whole);
    }
    return true;
}

} // namespace tovrin::host

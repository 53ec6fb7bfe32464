// Packed decimal conversions: text <-> TBcd through a plain digit string.
#include "host/FieldsBcd.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/DbConsts.h"
#include "host/Exceptions.h"

namespace host {

namespace {

constexpr int kMaxDigits = 64;

// Builds a TBcd from integer digits and fraction digits (no sign, no leading zeros needed).
TBcd makeBcd(std::string intDigits, std::string fracDigits, bool negative)
{
    while (intDigits.size() > 1 && intDigits.front() == '0') intDigits.erase(0, 1);
    if (intDigits == "0") intDigits.clear();
    while (!fracDigits.empty() && fracDigits.back() == '0') fracDigits.pop_back();
    TBcd bcd;
    std::string all = intDigits + fracDigits;
    if (all.empty()) return bcd;
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

}  // namespace

bool TryStrToBCD(const std::string& text, TBcd& bcd)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
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
    while (i < text.size() && text[i] == ' ') ++i;
    if (!any || i != text.size()) return false;
    while (intDigits.size() > 1 && intDigits.front() == '0') intDigits.erase(0, 1);
    while (!fracDigits.empty() && fracDigits.back() == '0') fracDigits.pop_back();
    if (intDigits == "0") intDigits.clear();
    if (intDigits.size() + fracDigits.size() > kMaxDigits || fracDigits.size() > 63) return false;
    bcd = makeBcd(intDigits, fracDigits, negative);
    return true;
}

TBcd StrToBCD(const std::string& text)
{
    TBcd bcd;
    if (!TryStrToBCD(text, bcd)) throw EConvertError(dbconsts::SInvalidBcdValue, {text});
    return bcd;
}

std::string BCDToStr(const TBcd& bcd)
{
    int precision = bcd.Precision > kMaxDigits ? kMaxDigits : bcd.Precision;
    int places = bcd.SignSpecialPlaces & 0x3F;
    if (places > precision) places = precision;
    std::string digits;
    for (int i = 0; i < precision; ++i) {
        std::uint8_t b = bcd.Fraction[i / 2];
        int d = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
        digits.push_back(static_cast<char>('0' + (d > 9 ? 9 : d)));
    }
    std::string intPart = digits.substr(0, static_cast<std::size_t>(precision - places));
    std::string fracPart = digits.substr(static_cast<std::size_t>(precision - places));
    while (intPart.size() > 1 && intPart.front() == '0') intPart.erase(0, 1);
    if (intPart.empty()) intPart = "0";
    while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
    std::string result = intPart;
    if (!fracPart.empty()) result += "." + fracPart;
    if ((bcd.SignSpecialPlaces & 0x80) && result != "0") result.insert(0, "-");
    return result;
}

TBcd DoubleToBCD(double value, int scale)
{
    if (!std::isfinite(value)) throw EConvertError(dbconsts::SBcdOverflow);
    if (scale < 0) scale = 0;
    if (scale > 30) scale = 30;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", scale, value);
    TBcd bcd;
    if (!TryStrToBCD(buf, bcd)) throw EConvertError(dbconsts::SBcdOverflow);
    return bcd;
}

double BCDToDouble(const TBcd& bcd)
{
    return std::strtod(BCDToStr(bcd).c_str(), nullptr);
}

}  // namespace host

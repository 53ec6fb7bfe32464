// The framework's packed decimal record (TBcd, 34 bytes) and its conversions. A TBcd
// holds up to 64 decimal digits: Precision counts the digits, SignSpecialPlaces has the
// sign in bit 7 and the number of digits after the point in its low six bits, Fraction
// the digits as nibbles, two per byte, most significant first.
#pragma once

#include <cstdint>
#include <string>

namespace tovrin::host {

struct TBcd {
    std::uint8_t Precision = 0;         ///< 1..64 digits (0 for a zero value)
    std::uint8_t SignSpecialPlaces = 0; ///< bit 7 sign (1 = negative), bits 0..5 scale
    std::uint8_t Fraction[32] = {};     ///< packed digits, high nibble first
};
static_assert(sizeof(TBcd) == 34, "TBcd is the framework's 34-byte record");
static_assert(alignof(TBcd) == 1, "a TBcd lies at any address of a record buffer");

/// Parses a decimal text ("-12.345", "0.5", "7"; '.' or ',' as point). Returns false for
/// anything else or more than 64 digits.
bool TryStrToBCD(const std::string& text, TBcd& bcd);
/// As TryStrToBCD; raises EConvertError "'<text>' is not a valid BCD value" on failure.
TBcd StrToBCD(const std::string& text);
/// Decimal text with '.' as the point and without superfluous zeros ("-12.5", "0").
std::string BCDToStr(const TBcd& bcd);
/// Converts a double through its shortest round-trip decimal text (0.1 gives 0.1, not
/// the binary value's 55 digits), keeping at most `scale` digits after the point (rounded
/// to the nearest, a tie to the even digit). Raises EConvertError "BCD overflow" for a
/// value that is not finite or needs more than 64 digits.
TBcd DoubleToBCD(double value, int scale = 4);
/// The nearest double of the decimal value.
double BCDToDouble(const TBcd& bcd);
/// The exact value magnitude / 10^scale (negated when negative), as a server's money and
/// numeric values hold it: scale digits after the point, trailing zeros kept (a zero
/// value is never negative). Scale 0..38; magnitudes of up to 39 digits.
TBcd ScaledIntegerToBCD(unsigned __int128 magnitude, bool negative, int scale) noexcept;
/// The value magnitude / 10^scale (scale 0..20) as twenty digits, leading zeros
/// included, written into `bcd` in a few steps (for reading rows). Only the non-zero
/// leading bytes of Fraction are written: `bcd` must come zero-filled.
void UInt64ToBCD(std::uint64_t magnitude, bool negative, int scale, TBcd& bcd) noexcept;
/// The exact value units / 10^scale (scale 0..20), laid out as UInt64ToBCD does.
TBcd ScaledInt64ToBCD(int64_t units, int scale) noexcept;
/// The value in units of 10^-scale (scale 0..20), rounded to the nearest unit (a tie to
/// the even one). False when that lies outside the 64-bit range.
bool BCDToScaledInt64(const TBcd& bcd, int scale, int64_t& units) noexcept;
/// Three-way comparison by numeric value: negative, zero or positive. Leading and trailing
/// zeros and the sign of zero do not count (1.50 equals 1.5, -0 equals 0).
int BCDCompare(const TBcd& a, const TBcd& b) noexcept;
/// The value rounded to the nearest integer (halves to the even neighbour, as a double's
/// conversion rounds). False when it lies outside the 64-bit range.
bool BCDToInt64(const TBcd& bcd, int64_t& value) noexcept;

} // namespace tovrin::host

// Text helpers of the framework: trimming, case, integer and float text, Format with the
// framework's %-conversions, field-name lists, and the format settings (separators).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "tovrin5/host/FormatArg.h"

namespace tovrin::host {

/// Separators and default patterns used by the formatting routines. One set per process,
/// as in the framework; code that needs a fixed separator sets it and restores it.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};
/// The process's settings.
TFormatSettings& FormatSettings();

/// Removes leading and trailing blanks and control characters (bytes up to 32).
[[nodiscard]] std::string Trim(const std::string& S);
[[nodiscard]] std::string TrimLeft(const std::string& S);
[[nodiscard]] std::string TrimRight(const std::string& S);
/// ASCII letters only, other bytes unchanged.
[[nodiscard]] std::string UpperCase(const std::string& S);
[[nodiscard]] std::string LowerCase(const std::string& S);
/// Full Unicode case mapping of UTF-8 text (ICU); invalid sequences kept as they are.
[[nodiscard]] std::string AnsiUpperCase(const std::string& S);
[[nodiscard]] std::string AnsiLowerCase(const std::string& S);
/// Byte-wise three-way comparisons; CompareText ignores ASCII case.
[[nodiscard]] int CompareStr(const std::string& S1, const std::string& S2) noexcept;
[[nodiscard]] int CompareText(const std::string& S1, const std::string& S2) noexcept;
[[nodiscard]] bool SameText(const std::string& S1, const std::string& S2) noexcept;

[[nodiscard]] std::string IntToStr(int64_t Value);
[[nodiscard]] std::string IntToHex(int64_t Value, int Digits);
/// Decimal (optionally signed, blanks around allowed) or $hex/0x hex text to an integer;
/// raises EConvertError "'<text>' is not a valid integer value".
[[nodiscard]] int32_t StrToInt(const std::string& S);
[[nodiscard]] int64_t StrToInt64(const std::string& S);
[[nodiscard]] int32_t StrToIntDef(const std::string& S, int32_t Default);
bool TryStrToInt64(const std::string& S, int64_t& Value) noexcept;

/// General float format: at most 15 significant digits, no trailing zeros, a decimal
/// separator only when needed, scientific notation ("1.5E20", "1E-5") when the decimal
/// exponent is below -4 or at least 15. Separator from FormatSettings. "NAN", "INF", "-INF".
[[nodiscard]] std::string FloatToStr(double Value);
/// Same with an explicit decimal separator.
[[nodiscard]] std::string FloatToStrSep(double Value, char DecimalSeparator);
/// Parses with "." or the settings' separator; raises EConvertError "'<text>' is not a
/// valid floating point value".
[[nodiscard]] double StrToFloat(const std::string& S);
bool TryStrToFloat(const std::string& S, double& Value) noexcept;

/// Formats with the framework's conversions: %d (integer), %u, %x (hex, upper-case), %s
/// (text), %g (general float, as FloatToStr; precision = significant digits), %f and %n
/// (fixed, default 2 decimals; %n with thousands separators), %e (scientific), %p (pointer),
/// %% — each as %[index:][-][width][.precision]type, width and precision may be "*"
/// (taken from the arguments). Raises EConvertError "Format '<fmt>' invalid or
/// incompatible with argument" on a mismatch or missing argument.
[[nodiscard]] std::string Format(const std::string& Fmt, std::initializer_list<FormatArg> Args);

/// Returns the field name starting at Pos (1-based) of a semicolon-separated list and
/// moves Pos past the separator; names are trimmed. Pos beyond the end gives "".
[[nodiscard]] std::string ExtractFieldName(const std::string& Fields, int& Pos);

/// Encloses in single quotes, doubling the quotes inside.
[[nodiscard]] std::string QuotedStr(const std::string& S);
/// Replaces every occurrence of OldPattern (case-sensitive).
[[nodiscard]] std::string StringReplaceAll(const std::string& S, const std::string& OldPattern,
                                           const std::string& NewPattern);

} // namespace tovrin::host

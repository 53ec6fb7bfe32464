// SQL text with parameter markers (a colon and a name, as in ":low"): splitting the text
// into pieces around the markers, and the literal that replaces a marker for a parameter
// value. Nothing is bound on the server: the final SQL text carries every value as a
// literal, so the literals below must always be well-formed, whatever the value holds.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/query/SqlScanner.h"

namespace tovrin::host {
class TParam;
class TParams;
} // namespace tovrin::host

namespace tovrin {

/// One parameter marker of a query's SQL text: the name after its colon, the parameter of
/// that name, the 1-based position of the first character of its name, and the text
/// between the previous marker's name (or the start of the text) and this marker's colon.
/// Every marker of a name carries the value of the one parameter of that name: the final
/// text is built by name, so the parameter reference is informative only (null when the
/// parameter list, replaced from a component stream, has none of that name).
class TParamMapping final {
public:
    TParamMapping(std::string AName, host::TParam* AParam, int ANamePos, std::string APrecedingText)
        : FName(std::move(AName)), FParam(AParam), FNamePos(ANamePos),
          FPrecedingText(std::move(APrecedingText)) {}
    TParamMapping(const TParamMapping&) = delete;
    TParamMapping& operator=(const TParamMapping&) = delete;

    [[nodiscard]] const std::string& Name() const noexcept { return FName; }
    [[nodiscard]] host::TParam* Param() const noexcept { return FParam; }
    void SetParam(host::TParam* Value) noexcept { FParam = Value; }
    [[nodiscard]] int NamePos() const noexcept { return FNamePos; }
    [[nodiscard]] const std::string& PrecedingText() const noexcept { return FPrecedingText; }

private:
    std::string FName;
    host::TParam* FParam;
    int FNamePos;
    std::string FPrecedingText;
};

namespace sqltext {

/// A marker found by ScanMarkers.
struct TMarker {
    std::string Name;          ///< the name after the colon (never empty)
    int NamePos = 0;           ///< 1-based position of the name's first byte
    std::string PrecedingText; ///< text from the end of the previous name up to the colon
};

/// The markers of a text in order and the text after the last one.
struct TScan {
    std::vector<TMarker> Markers;
    std::string Tail;
};

/// Finds the markers of a SQL text as ScanSql reads it: colons inside literals, bracketed
/// names and comments are no markers; a colon not followed by a name character stays
/// text. Joining every marker's preceding text, ":" and its name, then the tail, gives
/// back the text exactly.
[[nodiscard]] TScan ScanMarkers(const std::string& sql);

/// The value with every single quote doubled, to be enclosed in single quotes: the literal
/// then always ends where the value ends, whatever quotes, comments or line breaks the
/// value holds. A backslash before a line end, which the server would read as the string
/// going on at the next line, is followed by one more backslash and line feed for the
/// server to drop, so that the value arrives whole.
[[nodiscard]] std::string PrepareStringValue(const std::string& value);

/// "0x" followed by two upper-case hexadecimal digits per byte ("0x" for no bytes).
[[nodiscard]] std::string PrepareBinaryValue(const std::string& bytes);

/// The body of a date-time literal in a form the server reads the same whatever the
/// session's set dateformat or set language: for 7 December 2026 14:05:09.045,
/// "20261207 14:05:09:45" (milliseconds after the last colon, no leading zeros).
[[nodiscard]] std::string DateTimeAsString(host::TDateTime value);

/// The date part of DateTimeAsString: "20261207" for 7 December 2026.
[[nodiscard]] std::string DateAsString(host::TDateTime value);

/// The time of day of a value, the time part of DateTimeAsString: "14:05:09:45".
[[nodiscard]] std::string TimeAsString(host::TDateTime value);

/// A floating-point literal the server reads back as the same double: the shortest
/// decimal form that round-trips, "." as the separator whatever the locale, scientific
/// notation with "E" below 1E-4 or from 1E15 on ("1.5E20", "1E-5").
[[nodiscard]] std::string FloatLiteral(double value);

/// The literal for a parameter: "NULL" for a null parameter of any type; otherwise by data
/// type: integers (ftSmallint, ftInteger) in decimal; ftLargeint exactly, as
/// "convert(bigint, n)" so that the server types it bigint whatever its size; ftBoolean as
/// 1 or 0 (the values a bit column holds); ftFloat and ftCurrency as FloatLiteral; ftBCD exactly,
/// every digit; ftString, ftBytes and ftMemo quoted; ftDateTime as DateTimeAsString in single
/// quotes; ftDate as "convert(date, 'DateAsString')" and ftTime as "convert(time, 'TimeAsString')";
/// ftBlob and ftVarBytes in hexadecimal. Raises host::Exception "Param datatype
/// unsupported" for any other type.
[[nodiscard]] std::string ParamStrValue(const host::TParam& param);

/// Appends a piece of SQL text or a literal to the final text, with a blank in between
/// only when the two would otherwise read as other tokens: two minus signs (a line
/// comment, as in "5 -" followed by "-1"), a slash and a star, the same quote on both sides
/// (two quoted literals touching read as one string holding a quote), or, for a value
/// right after another value (ValueAfterValue), word bytes on both sides (letters, digits,
/// "_", ".", "@", "#", "$" and bytes from 0x80 on: "1" and "2" would read as 12). A value
/// and the text's own letters or digits join as written ("tab_" and "7" give "tab_7").
void AppendSqlPiece(std::string& text, const std::string& piece, bool valueAfterValue = false);

/// Empties Params, then adds one ftUnknown/ptUnknown parameter for every distinct name
/// that follows a colon in the text, in order of first appearance. Quotes and comments
/// are not recognised.
void ParseParams(host::TParams& params, const std::string& sql);

} // namespace sqltext
} // namespace tovrin

// --param values: "name=value" typed by the form of the value, or "name:type=value".
// Every :name marker of a batch with that name gets the value.
#pragma once

#include <string>
#include <vector>

namespace tovrin::host {
class TParam;
class TParams;
} // namespace tovrin::host

namespace tovrin::sqltool {

struct ParamSetting {
    enum class Type { ByForm, Integer, Decimal, Float, DateTime, Text, Boolean, Null };
    std::string name; ///< without the colon
    Type type = Type::ByForm;
    std::string value;
};

/// Reads one --param argument. A leading colon of the name is dropped. Types: int,
/// decimal, float, datetime, text, bool, null (and the synonyms integer, numeric, double,
/// real, date, string, char, varchar, bit). Raises UsageError for an argument without "=" or name,
/// or an unknown type.
[[nodiscard]] ParamSetting parseParamSetting(const std::string& argument);

/// Gives the parameter the value. By form: NULL (any case) is null; a whole number is an
/// integer (a bigint beyond 32 bits, an exact decimal beyond 64; one with a leading zero,
/// such as 01002, stays text); a number with a decimal point is an exact decimal, sent
/// with every digit; a number with an exponent is refused (a float needs the type float,
/// as it keeps only about 16 digits); "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" (also with T) is a
/// date-time; anything else is text. Raises UsageError for a value that does not fit its
/// type.
void assignParam(host::TParam& param, const ParamSetting& setting);

/// True for a text that starts as a date does: "yyyy-mm-dd".
[[nodiscard]] bool looksLikeDate(const std::string& text);

/// Assigns every setting to all the parameters of its name (names compared without
/// regard to case, as the parameter list does). Returns the names of settings that
/// matched no parameter.
std::vector<std::string> applyParams(host::TParams& params,
                                     const std::vector<ParamSetting>& settings);

} // namespace tovrin::sqltool

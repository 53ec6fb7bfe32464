// Parsing --param arguments and writing their values into a query's parameters.
#include "ParamValues.h"

#include <cctype>
#include <cmath>
#include <cstdint>

#include "Options.h"
#include <tovrin5/host/FieldsBcd.h>
#include <tovrin5/host/DateTime.h>
#include <tovrin5/host/Params.h>
#include <tovrin5/host/SysUtils.h>

namespace tovrin::sqltool {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool sameName(const std::string& a, const std::string& b) {
    return lower(a) == lower(b);
}

bool isWholeNumber(const std::string& text) {
    std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

/// "01002" (a postal code, an account number) is text: as a number it would lose its zero.
bool hasLeadingZero(const std::string& text) {
    const std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    return text.size() > i + 1 && text[i] == '0';
}

[[noreturn]] void badValue(const ParamSetting& s, const std::string& what) {
    throw UsageError("--param " + s.name + ": " + what);
}

/// True for "12.50", "-0.5", ".5", "3.": a sign, digits and one decimal point.
bool isDecimalNumber(const std::string& text) {
    std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    bool point = false;
    bool digit = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !point)
            point = true;
        else if (std::isdigit(static_cast<unsigned char>(text[i])))
            digit = true;
        else
            return false;
    }
    return point && digit;
}

/// An exact decimal: every digit goes to the server as written (a double would round
/// 922337203685477.5807 to ...477.6).
void assignDecimal(host::TParam& param, const ParamSetting& s) {
    host::TBcd value;
    const std::string text = s.value[0] == '+' ? s.value.substr(1) : s.value;
    if ((!isDecimalNumber(text) && !isWholeNumber(text)) || !host::TryStrToBCD(text, value))
        badValue(s, "'" + s.value + "' is not a decimal number of at most 64 digits");
    param.SetAsBCD(value);
}

void assignInteger(host::TParam& param, const ParamSetting& s) {
    if (!isWholeNumber(s.value))
        badValue(s, "'" + s.value + "' is not a whole number");
    int64_t value = 0;
    const std::string digits = s.value[0] == '+' ? s.value.substr(1) : s.value;
    if (!host::TryStrToInt64(digits, value))
        badValue(s, "'" + s.value + "' is beyond the 64-bit integers (bigint)");
    if (value >= INT32_MIN && value <= INT32_MAX)
        param.SetAsInteger(static_cast<int32_t>(value));
    else
        param.SetAsLargeInt(value); // sent as a bigint, every digit
}

void assignFloat(host::TParam& param, const ParamSetting& s) {
    double value = 0;
    if (!host::TryStrToFloat(s.value, value) || !std::isfinite(value))
        badValue(s, "'" + s.value + "' is not a number");
    param.SetAsFloat(value);
}

void assignDateTime(host::TParam& param, const ParamSetting& s) {
    std::string text = s.value;
    if (text.size() > 10 && text[10] == 'T')
        text[10] = ' ';
    try {
        param.SetAsDateTime(host::StrToDateTime(text));
    } catch (const std::exception&) {
        badValue(s, "'" + s.value + "' is not a date and time (yyyy-mm-dd hh:nn:ss.zzz)");
    }
}

void assignBoolean(host::TParam& param, const ParamSetting& s) {
    const std::string v = lower(s.value);
    if (v == "1" || v == "true" || v == "yes")
        param.SetAsBoolean(true);
    else if (v == "0" || v == "false" || v == "no")
        param.SetAsBoolean(false);
    else
        badValue(s, "'" + s.value + "' is not a boolean (true, false, 1, 0)");
}

} // namespace

ParamSetting parseParamSetting(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos)
        throw UsageError("--param '" + argument + "': expected name=value or name:type=value");
    ParamSetting setting;
    std::string head = argument.substr(0, equals);
    setting.value = argument.substr(equals + 1);
    if (!head.empty() && head[0] == ':')
        head.erase(0, 1);
    const std::size_t colon = head.find(':');
    if (colon != std::string::npos) {
        const std::string type = lower(head.substr(colon + 1));
        head.resize(colon);
        using T = ParamSetting::Type;
        if (type == "int" || type == "integer")
            setting.type = T::Integer;
        else if (type == "float" || type == "double" || type == "real")
            setting.type = T::Float;
        else if (type == "decimal" || type == "numeric")
            setting.type = T::Decimal;
        else if (type == "datetime" || type == "date")
            setting.type = T::DateTime;
        else if (type == "text" || type == "string" || type == "char" || type == "varchar")
            setting.type = T::Text;
        else if (type == "bool" || type == "bit")
            setting.type = T::Boolean;
        else if (type == "null")
            setting.type = T::Null;
        else
            throw UsageError("--param " + head + ": unknown type '" + type +
                             "' (int, decimal, float, datetime, text, bool or null)");
    }
    if (head.empty())
        throw UsageError("--param '" + argument + "': the parameter name is missing");
    setting.name = head;
    return setting;
}

void assignParam(host::TParam& param, const ParamSetting& s) {
    using T = ParamSetting::Type;
    switch (s.type) {
    case T::Integer:
        assignInteger(param, s);
        return;
    case T::Float:
        assignFloat(param, s);
        return;
    case T::Decimal:
        assignDecimal(param, s);
        return;
    case T::DateTime:
        assignDateTime(param, s);
        return;
    case T::Text:
        param.SetAsString(s.value);
        return;
    case T::Boolean:
        assignBoolean(param, s);
        return;
    case T::Null:
        param.Clear();
        param.SetBound(true);
        return;
    case T::ByForm:
        break;
    }
    if (lower(s.value) == "null") {
        param.Clear();
        param.SetBound(true);
    } else if (isWholeNumber(s.value) && !hasLeadingZero(s.value)) {
        if (int64_t ignored = 0;
            host::TryStrToInt64(s.value[0] == '+' ? s.value.substr(1) : s.value, ignored))
            assignInteger(param, s);
        else
            assignDecimal(param, s); // beyond bigint: a numeric, exact all the same
    } else if (isDecimalNumber(s.value)) {
        assignDecimal(param, s);
    } else if (double ignored = 0; host::TryStrToFloat(s.value, ignored) &&
                                   s.value.find_first_of("eE") != std::string::npos) {
        // A float is rounded to about 16 digits: it is sent only when asked for by name.
        badValue(s, "'" + s.value + "' is a float: give it as " + s.name + ":float=" + s.value);
    } else if (looksLikeDate(s.value)) {
        assignDateTime(param, s);
    } else {
        param.SetAsString(s.value);
    }
}

std::vector<std::string> applyParams(host::TParams& params,
                                     const std::vector<ParamSetting>& settings) {
    std::vector<std::string> unmatched;
    for (const ParamSetting& setting : settings) {
        bool matched = false;
        for (int i = 0; i < params.Count(); ++i) {
            host::TParam* param = params.Items(i);
            if (sameName(param->Name(), setting.name)) {
                assignParam(*param, setting);
                matched = true;
            }
        }
        if (!matched)
            unmatched.push_back(setting.name);
    }
    return unmatched;
}

bool looksLikeDate(const std::string& text) {
    if (text.size() < 10)
        return false;
    for (std::size_t i = 0; i < 10; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : !std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

} // namespace tovrin::sqltool

// Filter, sort and locate on a result held in memory.
#include "InMemoryWork.h"

#include <cctype>

#include "Options.h"
#include "ParamValues.h"
#include <tovrin5/dataset/SybDataSet.h>
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/DateTime.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/host/FieldsBcd.h>
#include <tovrin5/host/SysUtils.h>

namespace tovrin::sqltool {

namespace {

std::vector<std::string> splitNames(const std::string& names) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string::npos)
            end = names.size();
        std::string name = names.substr(start, end - start);
        const auto first = name.find_first_not_of(' ');
        const auto last = name.find_last_not_of(' ');
        if (first != std::string::npos)
            out.push_back(name.substr(first, last - first + 1));
        start = end + 1;
    }
    return out;
}

bool hasFields(const host::TDataSet& data, const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (data.FindField(name) == nullptr)
            return false;
    return !names.empty();
}

/// A date and time written "yyyy-mm-dd[ hh:nn[:ss[.zzz]]]" (also with T); raises the
/// conversion's error for anything else.
host::TDateTime dateTimeOf(const std::string& text) {
    return host::StrToDateTime(
        text.size() > 10 && text[10] == 'T' ? text.substr(0, 10) + " " + text.substr(11) : text);
}

/// The locate value in the field's own kind, so that the comparison is by value.
host::Variant keyValue(const host::TField& field, const std::string& text) {
    if (text == "NULL" || text == "null")
        return host::Null();
    switch (field.DataType()) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc: {
        int64_t v = 0;
        if (host::TryStrToInt64(text, v) && v >= INT32_MIN && v <= INT32_MAX)
            return host::Variant(static_cast<int32_t>(v));
        break;
    }
    case host::ftLargeint: {
        int64_t v = 0;
        if (host::TryStrToInt64(text, v))
            return host::Variant(static_cast<long long>(v));
        break;
    }
    case host::ftBCD: {
        // Kept as its exact text: a double cannot tell 38-digit keys apart.
        host::TBcd v;
        if (host::TryStrToBCD(text, v))
            return host::Variant(text);
        break;
    }
    case host::ftFloat:
    case host::ftCurrency: {
        double v = 0;
        if (host::TryStrToFloat(text, v))
            return host::Variant(v);
        break;
    }
    case host::ftBoolean:
        if (text == "1" || text == "true")
            return host::Variant(true);
        if (text == "0" || text == "false")
            return host::Variant(false);
        break;
    case host::ftDateTime:
    case host::ftDate:
    case host::ftTime:
        try {
            return host::VarFromDateTime(dateTimeOf(text));
        } catch (const std::exception&) {
        }
        break;
    default:
        return host::Variant(text);
    }
    throw UsageError("--locate " + field.FieldName() + ": '" + text +
                     "' does not fit the field's type");
}

} // namespace

LocateKey parseLocateKey(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError("--locate '" + argument + "': expected field=value");
    LocateKey key{argument.substr(0, equals), argument.substr(equals + 1)};
    if (looksLikeDate(key.value)) {
        try {
            (void)dateTimeOf(key.value);
        } catch (const std::exception&) {
            throw UsageError("--locate " + key.field + ": '" + key.value +
                             "' is not a date and time (yyyy-mm-dd hh:nn:ss.zzz)");
        }
    }
    return key;
}

bool sortFits(const host::TDataSet& data, const InMemoryWork& work) {
    return work.sortFields.empty() || hasFields(data, splitNames(work.sortFields));
}

ShapeOutcome shapeResult(host::TDataSet& data, const InMemoryWork& work) {
    ShapeOutcome outcome;
    if (work.filter != nullptr && work.filter->fitsDataSet(data)) {
        work.filter->apply(data);
        outcome.filtered = true;
    }
    const std::vector<std::string> sortNames = splitNames(work.sortFields);
    if (auto* own = dynamic_cast<TSybDataSet*>(&data);
        own != nullptr && hasFields(data, sortNames)) {
        TBTCompareOptions options;
        if (work.descending)
            options.Include(btcoDescending);
        if (work.ignoreCase)
            options.Include(btcoCaseInsensitive);
        own->SortOn(work.sortFields, options);
        outcome.sorted = true;
    }
    if (!work.locate.empty()) {
        std::vector<std::string> names;
        for (const LocateKey& key : work.locate)
            names.push_back(key.field);
        if (hasFields(data, names)) {
            std::string keyFields;
            std::vector<host::Variant> values;
            for (const LocateKey& key : work.locate) {
                keyFields += (keyFields.empty() ? "" : ";") + key.field;
                values.push_back(keyValue(*data.FieldByName(key.field), key.value));
            }
            host::TLocateOptions options;
            if (work.ignoreCase)
                options.Include(host::loCaseInsensitive);
            const host::Variant keys = values.size() == 1 ? values[0] : host::VarArrayOf(values);
            outcome.locateTried = true;
            outcome.located = data.Locate(keyFields, keys, options);
        }
    }
    return outcome;
}

} // namespace tovrin::sqltool

// TSybDataSet: filling record buffers from values (the key records of searches), in the
// byte format of stored records so that the record comparison sees equal values as equal.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "tovrin5/dataset/FlagRestore.h"
#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Collation.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin {

using namespace host;

namespace {

// Whether the value is a byte string (an array of bytes), a single value for a binary
// field rather than an array of values.
bool isByteArray(const Variant& v) noexcept {
    return v.VarType() == (varArray | varByte);
}

TBcd variantToBcd(const Variant& v) {
    const TVarType type = v.VarType();
    if (type == varString)
        return StrToBCD(v.AsString());
    if (VarTypeIsInteger(type) || type == varBoolean || type == varEmpty)
        return StrToBCD(std::to_string(v.AsInt64()));
    // The shortest text that reads back as the same double, so 0.1 stays 0.1.
    return DoubleToBCD(v.AsFloat(), 20);
}

// The value as an integer when it is one exactly (integral, in the 64-bit range); false
// for a fractional or out-of-range number. Unconvertible values count as integers: the
// conversion that stores them reports them.
bool exactInteger(const Variant& v, int64_t& out) {
    const TVarType type = v.VarType();
    if (type == varSmallint || type == varInteger || type == varShortInt || type == varByte ||
        type == varWord || type == varLongWord || type == varInt64 || type == varBoolean) {
        out = v.AsInt64();
        return true;
    }
    double d = 0;
    if (type == varString) {
        if (TryStrToInt64(Trim(v.AsString()), out))
            return true;
        if (!TryStrToFloat(v.AsString(), d)) {
            out = 0;
            return true;
        }
    } else {
        d = v.AsFloat();
    }
    // 2^63 is the first double beyond the 64-bit range.
    if (!(d == std::trunc(d)) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return false;
    out = static_cast<int64_t>(d);
    return true;
}

bool integerFits(const Variant& v, int64_t lo, int64_t hi) {
    int64_t n = 0;
    return exactInteger(v, n) && n >= lo && n <= hi;
}

// Whether the field's slot holds the value without loss: a text within the field's size,
// an integer within the type's range, a date without a time for a date field.
bool valueFitsField(TField* field, const Variant& v) {
    if (VarIsNull(v) || v.VarType() == varEmpty)
        return true;
    const auto size = static_cast<std::size_t>(std::max(field->Size(), 0));
    switch (field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
        // Trailing blanks do not count: the comparison ignores them.
        const std::string text = VarToStr(v);
        const std::size_t end = text.find_last_not_of(' ');
        return (end == std::string::npos ? 0 : end + 1) <= size;
    }
    case ftSmallint:
        return integerFits(v, INT16_MIN, INT16_MAX);
    case ftWord:
        return integerFits(v, 0, UINT16_MAX);
    case ftInteger:
    case ftAutoInc:
        return integerFits(v, INT32_MIN, INT32_MAX);
    case ftLargeint:
        return integerFits(v, INT64_MIN, INT64_MAX);
    case ftDate: {
        const double d = v.AsDateTime();
        return d == std::trunc(d);
    }
    case ftTime: {
        const double d = v.AsDateTime();
        return d >= 0 && d < 1;
    }
    case ftBytes:
    case ftVarBytes:
        return isByteArray(v) || v.VarType() == varString ? v.AsBytes().size() <= size : true;
    default:
        return true;
    }
}

} // namespace

bool TSybDataSet::KeyFitsFields(const std::vector<TField*>& Keys, const Variant& Values) {
    if (Keys.empty())
        return true;
    int dims = VarArrayDimCount(Values);
    if (dims == 1 && Keys.size() == 1 && isByteArray(Values) &&
        (Keys.front()->DataType() == ftBytes || Keys.front()->DataType() == ftVarBytes))
        dims = 0;
    if (dims == 0)
        return Keys.size() != 1 || valueFitsField(Keys.front(), Values);
    if (dims > 1)
        return true; // PopulateRecord reports the shape
    for (std::size_t i = 0; i < Keys.size(); ++i)
        if (!valueFitsField(Keys[i], VarArrayGet(Values, {static_cast<int>(i)})))
            return false;
    return true;
}

void TSybDataSet::PopulateRecord(TRecordBuffer Buffer, const std::string& FieldNames,
                                 const Variant& Values) {
    // The key list is temporary: the flag that tells whether the sort list holds
    // calculated fields keeps its value.
    FlagRestore keepCalcFlag(FCalcFieldsInList);
    std::vector<TField*> list;
    BuildFieldList(list, FieldNames);
    int dims = VarArrayDimCount(Values);
    if (dims == 1 && list.size() == 1 && isByteArray(Values) &&
        (list.front()->DataType() == ftBytes || list.front()->DataType() == ftVarBytes))
        dims = 0; // the bytes of one binary value, not one value per field
    if (dims > 1)
        DatabaseError("Array has more then one dimension");
    if (dims == 0 && list.size() > 1)
        DatabaseError("Only one field can by filled with non-array variant");
    if (list.empty())
        DatabaseError("Invalid field count");
    if (dims == 0) {
        PopulateField(Buffer, list.front(), Values);
        return;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        PopulateField(Buffer, list[i], VarArrayGet(Values, {static_cast<int>(i)}));
}

void TSybDataSet::PopulateField(TRecordBuffer Buffer, TField* Field, const Variant& Value) {
    char* slot = GetFieldPointer(Buffer, Field);
    if (!slot)
        return;
    const int size = GetFieldSize(Field);
    char* value = slot + 1;
    if (VarIsNull(Value)) {
        slot[0] = 0;
        std::memset(value, 0, static_cast<std::size_t>(size));
        return;
    }
    // Convert first, write afterwards: a value that does not convert leaves the slot.
    switch (Field->DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
        std::string text(
            utf8CutBytes(VarToStr(Value), static_cast<std::size_t>(std::max(Field->Size(), 0))));
        text.resize(static_cast<std::size_t>(size), '\0');
        if (Field->Transliterate())
            Translate(text.data(), text.data(), true);
        std::memcpy(value, text.data(), static_cast<std::size_t>(size));
        break;
    }
    case ftSmallint:
    case ftWord: {
        const auto v = static_cast<uint16_t>(static_cast<uint64_t>(Value.AsInt64()) & 0xFFFFu);
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftInteger:
    case ftAutoInc: {
        const int32_t v = Value.AsInteger();
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftFloat:
    case ftCurrency: {
        const double v = Value.AsFloat();
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftDate:
    case ftTime: {
        const TTimeStamp ts = DateTimeToTimeStamp(Value.AsDateTime());
        const int32_t v = Field->DataType() == ftDate ? ts.Date : ts.Time;
        std::memset(value, 0, static_cast<std::size_t>(size));
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftDateTime: {
        const double v = TimeStampToMSecs(DateTimeToTimeStamp(Value.AsDateTime()));
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftLargeint: {
        // Exactly, not through a double: 2^53 + 1 must stay itself.
        const int64_t v = Value.AsInt64();
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftBoolean: {
        const uint16_t v = Value.AsBoolean() ? 1 : 0;
        std::memcpy(value, &v, sizeof v);
        break;
    }
    case ftBCD: {
        const TBcd v = variantToBcd(Value);
        if (size == static_cast<int>(sizeof(int64_t))) {
            // A field that keeps 64-bit units of its scale (TBCDField::Int64Slot).
            int64_t units = 0;
            if (!BCDToScaledInt64(v, Field->Size(), units))
                throw EConvertError(dbconsts::SBcdOverflow);
            std::memcpy(value, &units, sizeof units);
        } else {
            std::memcpy(value, &v, sizeof v);
        }
        break;
    }
    case ftBytes: {
        std::string bytes = Value.AsBytes();
        bytes.resize(static_cast<std::size_t>(size), '\0');
        std::memcpy(value, bytes.data(), static_cast<std::size_t>(size));
        break;
    }
    case ftVarBytes: {
        // The host's format: a 16-bit length, then the bytes (cut to the field's size).
        const std::string bytes = Value.AsBytes();
        const auto length = static_cast<uint16_t>(std::min<std::size_t>(
            bytes.size(), static_cast<std::size_t>(std::clamp(size - 2, 0, 0xFFFF))));
        std::memset(value, 0, static_cast<std::size_t>(size));
        std::memcpy(value, &length, sizeof length);
        std::memcpy(value + 2, bytes.data(), length);
        break;
    }
    default:
        // Blob references and types without a value: nothing is stored.
        break;
    }
    slot[0] = 1;
}

} // namespace tovrin

// The numeric field classes: integers of each width, floating point, currency and BCD.
#include <algorithm>
#include <cmath>

#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

// ---- integers ---------------------------------------------------------------------------

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) {
    SetDataType(ftInteger);
}

bool TIntegerField::readValue(int64_t& value) const {
    return readSlot<int32_t>(value);
}

void TIntegerField::writeValue(int64_t value) {
    writeSlot<int32_t>(value);
}

void TIntegerField::SetAsLargeInt(int64_t Value) {
    int64_t lo = typeMin(), hi = typeMax();
    if (m_minValue != 0 || m_maxValue != 0) {
        lo = std::max(lo, m_minValue);
        hi = std::min(hi, m_maxValue);
    }
    if (Value < lo || Value > hi)
        DatabaseErrorFmt(dbconsts::SFieldRangeError,
                         {IntToStr(Value), GetDisplayName(), IntToStr(lo), IntToStr(hi)});
    writeValue(Value);
}

void TIntegerField::SetAsString(const std::string& Value) {
    if (Value.empty()) {
        Clear();
        return;
    }
    int64_t v = 0;
    if (!TryStrToInt64(Trim(Value), v))
        throw EConvertError(dbconsts::SInvalidIntegerValue, {Value, GetDisplayName()});
    SetAsLargeInt(v);
}

void TIntegerField::SetAsFloat(double Value) {
    double r = std::nearbyint(Value);
    if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18)
        DatabaseErrorFmt(dbconsts::SFieldRangeError, {FloatToStr(Value), GetDisplayName(),
                                                      IntToStr(typeMin()), IntToStr(typeMax())});
    SetAsLargeInt(static_cast<int64_t>(r));
}

std::string TIntegerField::GetAsString() const {
    int64_t v = 0;
    return readValue(v) ? IntToStr(v) : std::string();
}

int32_t TIntegerField::GetAsInteger() const {
    int64_t v = 0;
    readValue(v);
    if (v < INT32_MIN || v > INT32_MAX)
        AccessError("Integer");
    return static_cast<int32_t>(v);
}

int64_t TIntegerField::GetAsLargeInt() const {
    int64_t v = 0;
    readValue(v);
    return v;
}

double TIntegerField::GetAsFloat() const {
    return static_cast<double>(GetAsLargeInt());
}
bool TIntegerField::GetAsBoolean() const {
    return GetAsLargeInt() != 0;
}

Variant TIntegerField::GetAsVariant() const {
    int64_t v = 0;
    if (!readValue(v))
        return Null();
    return Variant(static_cast<int32_t>(v));
}

void TIntegerField::SetVarValue(const Variant& v) {
    SetAsLargeInt(v.AsInt64());
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerSlotField(AOwner) {
    SetDataType(ftSmallint);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerSlotField(AOwner) {
    SetDataType(ftWord);
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
    SetDataType(ftAutoInc);
}

TLargeintField::TLargeintField(TComponent* AOwner) : TIntegerSlotField(AOwner) {
    SetDataType(ftLargeint);
}

Variant TLargeintField::GetAsVariant() const {
    int64_t v = 0;
    if (!readValue(v))
        return Null();
    return Variant(static_cast<long long>(v));
}

// ---- floating point ------------------------------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) {
    SetDataType(ftFloat);
}

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloat(double Value) {
    if ((m_minValue != 0 || m_maxValue != 0) && (Value < m_minValue || Value > m_maxValue))
        DatabaseErrorFmt(
            dbconsts::SFieldRangeError,
            {FloatToStr(Value), GetDisplayName(), FloatToStr(m_minValue), FloatToStr(m_maxValue)});
    SetData(&Value);
}

std::string TFloatField::GetAsString() const {
    double v = 0;
    return GetData(&v) ? FloatToStr(v) : std::string();
}

void TFloatField::SetAsString(const std::string& Value) {
    if (Value.empty()) {
        Clear();
        return;
    }
    double v = 0;
    if (!TryStrToFloat(Trim(Value), v))
        throw EConvertError(dbconsts::SInvalidFloatValue, {Value, GetDisplayName()});
    SetAsFloat(v);
}

int32_t TFloatField::GetAsInteger() const {
    double r = std::nearbyint(GetAsFloat());
    if (!(r >= INT32_MIN && r <= INT32_MAX))
        AccessError("Integer");
    return static_cast<int32_t>(r);
}

int64_t TFloatField::GetAsLargeInt() const {
    double r = std::nearbyint(GetAsFloat());
    if (!(r >= -9.2e18 && r <= 9.2e18))
        AccessError("LargeInt");
    return static_cast<int64_t>(r);
}

Variant TFloatField::GetAsVariant() const {
    double v = 0;
    if (!GetData(&v))
        return Null();
    return Currency() ? VarFromCurrency(v) : Variant(v);
}

void TFloatField::SetVarValue(const Variant& v) {
    SetAsFloat(v.AsFloat());
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
    SetDataType(ftCurrency);
}

// ---- BCD --------------------------------------------------------------------------------

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
    SetDataType(ftBCD);
    setSizeRaw(4);
}

bool TBCDField::GetAsBCD(TBcd& Value) const {
    Value = TBcd{};
    if (!m_int64Slot)
        return GetData(&Value);
    int64_t units = 0;
    if (!GetData(&units))
        return false;
    Value = ScaledInt64ToBCD(units, Size());
    return true;
}

void TBCDField::SetAsBCD(const TBcd& Value) {
    if (!m_int64Slot) {
        SetData(&Value);
        return;
    }
    // Rounded to the field's scale, as the server rounds a money value it is sent.
    int64_t units = 0;
    if (!BCDToScaledInt64(Value, Size(), units))
        throw EConvertError(dbconsts::SBcdOverflow);
    SetData(&units);
}

std::string TBCDField::GetAsString() const {
    TBcd b;
    return GetAsBCD(b) ? BCDToStr(b) : std::string();
}

double TBCDField::GetAsFloat() const {
    TBcd b;
    return GetAsBCD(b) ? BCDToDouble(b) : 0.0;
}

int32_t TBCDField::GetAsInteger() const {
    const int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX)
        AccessError("Integer");
    return static_cast<int32_t>(v);
}

int64_t TBCDField::GetAsLargeInt() const {
    // From the decimal itself: a 19-digit value does not survive a double.
    TBcd b;
    if (!GetAsBCD(b))
        return 0;
    int64_t v = 0;
    if (!BCDToInt64(b, v))
        AccessError("LargeInt");
    return v;
}

void TBCDField::SetAsString(const std::string& Value) {
    if (Value.empty()) {
        Clear();
        return;
    }
    TBcd b;
    if (!TryStrToBCD(Value, b))
        throw EConvertError(dbconsts::SInvalidFloatValue, {Value, GetDisplayName()});
    if (m_precision > 0 && b.Precision - (b.SignSpecialPlaces & 0x3F) > m_precision - Size())
        DatabaseErrorFmt(dbconsts::SFieldValueError, {GetDisplayName()});
    SetAsBCD(b);
}

void TBCDField::SetAsFloat(double Value) {
    SetAsBCD(DoubleToBCD(Value, Size()));
}

Variant TBCDField::GetAsVariant() const {
    // The exact decimal text: a double or the framework's currency would drop digits of
    // values beyond 15 significant digits or 4 decimals.
    TBcd b;
    if (!GetAsBCD(b))
        return Null();
    return Variant(BCDToStr(b));
}

void TBCDField::SetVarValue(const Variant& v) {
    if (v.VarType() == varString)
        SetAsString(v.AsString());
    else if (VarTypeIsInteger(v.VarType()))
        SetAsLargeInt(v.AsInt64());
    else
        SetAsFloat(v.AsFloat());
}

} // namespace tovrin::host

// Variant values: kinds, conversions with the framework's rules, arrays with bounds.
#include "tovrin5/host/Variant.h"

#include <cmath>
#include <limits>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

bool VarTypeIsInteger(TVarType type) noexcept {
    switch (type) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return true;
    default:
        return false;
    }
}

namespace {

bool isFloatType(TVarType t) {
    return t == varSingle || t == varDouble || t == varCurrency || t == varDate;
}

[[noreturn]] void castError(TVarType from, TVarType to) {
    throw EVariantError("Could not convert variant of type (" + VarTypeAsText(from) +
                        ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void boundsError() {
    throw EVariantError("Variant or safe array index out of bounds");
}

[[noreturn]] void notArrayError() {
    throw EVariantError("Variant is not an array");
}

constexpr size_t kMaxArrayElements = size_t{1} << 26;

double roundCurrency(double v) {
    return std::nearbyint(v * 10000.0) / 10000.0;
}

// Float to integer as the framework converts variants: round half to even, range checked.
bool floatToInt64(double v, int64_t& out) {
    if (!std::isfinite(v))
        return false;
    double r = std::nearbyint(v);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return false;
    out = static_cast<int64_t>(r);
    return true;
}

} // namespace

Variant::Variant() noexcept : m_type(varEmpty), m_int(0) {}
Variant::Variant(bool value) noexcept : m_type(varBoolean), m_int(0) {
    m_bool = value;
}
Variant::Variant(int8_t value) noexcept : m_type(varShortInt), m_int(value) {}
Variant::Variant(uint8_t value) noexcept : m_type(varByte), m_int(value) {}
Variant::Variant(int16_t value) noexcept : m_type(varSmallint), m_int(value) {}
Variant::Variant(uint16_t value) noexcept : m_type(varWord), m_int(value) {}
Variant::Variant(int32_t value) noexcept : m_type(varInteger), m_int(value) {}
Variant::Variant(uint32_t value) noexcept : m_type(varLongWord), m_int(value) {}
Variant::Variant(long value) noexcept : m_type(varInt64), m_int(value) {}
Variant::Variant(long long value) noexcept : m_type(varInt64), m_int(value) {}
Variant::Variant(unsigned long value) noexcept
    : m_type(varInt64), m_int(static_cast<int64_t>(value)) {}
Variant::Variant(unsigned long long value) noexcept
    : m_type(varInt64), m_int(static_cast<int64_t>(value)) {}
Variant::Variant(float value) noexcept : m_type(varSingle), m_double(value) {}
Variant::Variant(double value) noexcept : m_type(varDouble), m_double(value) {}
Variant::Variant(const char* value) : m_type(varString), m_int(0), m_string(value ? value : "") {}
Variant::Variant(std::string value) : m_type(varString), m_int(0), m_string(std::move(value)) {}

Variant::Variant(const Variant& o)
    : m_type(o.m_type), m_int(o.m_int), m_string(o.m_string), m_array(o.m_array) {}
Variant::Variant(Variant&& o) noexcept
    : m_type(o.m_type), m_int(o.m_int), m_string(std::move(o.m_string)),
      m_array(std::move(o.m_array)) {
    o.m_type = varEmpty;
}
Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        m_type = o.m_type;
        m_int = o.m_int;
        m_string = o.m_string;
        m_array = o.m_array;
    }
    return *this;
}
Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        m_type = o.m_type;
        m_int = o.m_int;
        m_string = std::move(o.m_string);
        m_array = std::move(o.m_array);
        o.m_type = varEmpty;
    }
    return *this;
}
Variant::~Variant() = default;

Variant Variant::makeCurrency(double value) {
    Variant v(roundCurrency(value));
    v.m_type = varCurrency;
    return v;
}

Variant Variant::makeDate(TDateTime value) {
    Variant v(value);
    v.m_type = varDate;
    return v;
}

Variant Variant::makeNull() noexcept {
    Variant v;
    v.m_type = varNull;
    return v;
}

Variant Variant::makeArray(std::shared_ptr<ArrayData> data) {
    Variant v;
    v.m_type = static_cast<TVarType>(varArray | data->elementType);
    v.m_array = std::move(data);
    return v;
}

Variant::ArrayData* Variant::mutableArrayData() {
    if (!m_array)
        return nullptr;
    if (m_array.use_count() > 1)
        m_array = std::make_shared<ArrayData>(*m_array);
    return m_array.get();
}

int64_t Variant::AsInt64() const {
    if (m_type == varEmpty)
        return 0;
    if (VarTypeIsInteger(m_type))
        return m_int;
    int64_t out = 0;
    if (isFloatType(m_type)) {
        if (!floatToInt64(m_double, out))
            castError(m_type, varInt64);
        return out;
    }
    if (m_type == varBoolean)
        return m_bool ? -1 : 0;
    if (m_type == varString) {
        if (TryStrToInt64(Trim(m_string), out))
            return out;
        double d = 0;
        if (TryStrToFloat(m_string, d) && floatToInt64(d, out))
            return out;
        if (SameText(Trim(m_string), "True"))
            return -1;
        if (SameText(Trim(m_string), "False"))
            return 0;
    }
    castError(m_type, varInt64);
}

int32_t Variant::AsInteger() const {
    int64_t v = 0;
    try {
        v = AsInt64();
    } catch (const EVariantError&) {
        castError(m_type, varInteger);
    }
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
        // Unsigned 32-bit values keep their bit pattern, as the framework's LongWord does.
        if (m_type == varLongWord)
            return static_cast<int32_t>(static_cast<uint32_t>(v));
        castError(m_type, varInteger);
    }
    return static_cast<int32_t>(v);
}

double Variant::AsFloat() const {
    if (m_type == varEmpty)
        return 0;
    if (VarTypeIsInteger(m_type))
        return static_cast<double>(m_int);
    if (isFloatType(m_type))
        return m_double;
    if (m_type == varBoolean)
        return m_bool ? -1 : 0;
    if (m_type == varString) {
        double d = 0;
        if (TryStrToFloat(m_string, d))
            return d;
        std::string dotted = m_string;
        for (char& c : dotted) {
            if (c == '.')
                c = FormatSettings().DecimalSeparator;
        }
        if (TryStrToFloat(dotted, d))
            return d;
    }
    castError(m_type, varDouble);
}

double Variant::AsCurrency() const {
    double d = 0;
    try {
        d = AsFloat();
    } catch (const EVariantError&) {
        castError(m_type, varCurrency);
    }
    if (!std::isfinite(d) || std::fabs(d) > 922337203685477.0)
        castError(m_type, varCurrency);
    return roundCurrency(d);
}

TDateTime Variant::AsDateTime() const {
    if (m_type == varString) {
        try {
            return StrToDateTime(m_string);
        } catch (const EConvertError&) {
            double d = 0;
            if (TryStrToFloat(m_string, d))
                return d;
            castError(m_type, varDate);
        }
    }
    try {
        return AsFloat();
    } catch (const EVariantError&) {
        castError(m_type, varDate);
    }
}

bool Variant::AsBoolean() const {
    if (m_type == varEmpty)
        return false;
    if (m_type == varBoolean)
        return m_bool;
    if (VarTypeIsInteger(m_type))
        return m_int != 0;
    if (isFloatType(m_type))
        return m_double != 0;
    if (m_type == varString) {
        std::string t = Trim(m_string);
        if (SameText(t, "True"))
            return true;
        if (SameText(t, "False"))
            return false;
        double d = 0;
        if (TryStrToFloat(t, d))
            return d != 0;
    }
    castError(m_type, varBoolean);
}

std::string Variant::AsString() const {
    switch (m_type) {
    case varEmpty:
    case varNull:
        return {};
    case varString:
        return m_string;
    case varBoolean:
        return m_bool ? "True" : "False";
    case varDate:
        return DateTimeToStr(m_double);
    case varSingle:
        return FloatToStr(static_cast<double>(static_cast<float>(m_double)));
    case varDouble:
    case varCurrency:
        return FloatToStr(m_double);
    default:
        if (VarTypeIsInteger(m_type))
            return IntToStr(m_int);
    }
    castError(m_type, varString);
}

std::string Variant::AsBytes() const {
    if (m_type == varString)
        return m_string;
    if (m_type == varEmpty)
        return {};
    if (IsArray() && m_array && m_array->bounds.size() == 1) {
        std::string out;
        out.reserve(m_array->elements.size());
        for (const Variant& e : m_array->elements) {
            int64_t b = e.AsInt64();
            if (b < 0 || b > 255)
                castError(m_type, static_cast<TVarType>(varArray | varByte));
            out += static_cast<char>(b);
        }
        return out;
    }
    castError(m_type, static_cast<TVarType>(varArray | varByte));
}

bool Variant::operator==(const Variant& other) const {
    if (m_type == varEmpty || other.m_type == varEmpty)
        return m_type == other.m_type;
    if (m_type == varNull || other.m_type == varNull)
        return m_type == other.m_type;
    if (IsArray() || other.IsArray()) {
        if (!IsArray() || !other.IsArray())
            return false;
        if (m_array->bounds != other.m_array->bounds)
            return false;
        return m_array->elements == other.m_array->elements;
    }
    if (m_type == varString && other.m_type == varString)
        return m_string == other.m_string;
    if (m_type == varBoolean && other.m_type == varBoolean)
        return m_bool == other.m_bool;
    if (VarTypeIsInteger(m_type) && VarTypeIsInteger(other.m_type))
        return m_int == other.m_int;
    try {
        return AsFloat() == other.AsFloat();
    } catch (const EVariantError&) {
        return false;
    }
}

Variant Null() noexcept {
    return Variant::makeNull();
}
Variant Unassigned() noexcept {
    return Variant();
}
Variant VarFromDateTime(TDateTime value) {
    return Variant::makeDate(value);
}
Variant VarFromCurrency(double value) {
    return Variant::makeCurrency(value);
}

Variant VarFromBytes(const std::string& bytes) {
    auto data = std::make_shared<Variant::ArrayData>();
    data->elementType = varByte;
    data->bounds.emplace_back(0, static_cast<int>(bytes.size()) - 1);
    data->elements.reserve(bytes.size());
    for (char c : bytes)
        data->elements.emplace_back(static_cast<uint8_t>(c));
    return Variant::makeArray(std::move(data));
}

bool VarIsNumeric(const Variant& v) noexcept {
    TVarType t = v.VarType();
    return VarTypeIsInteger(t) || t == varSingle || t == varDouble || t == varCurrency;
}

std::string VarToStr(const Variant& v) {
    return v.IsNull() ? std::string() : v.AsString();
}

std::string VarToStrDef(const Variant& v, const std::string& Default) {
    return v.IsNull() ? Default : v.AsString();
}

std::string VarTypeAsText(TVarType type) {
    std::string prefix;
    if (type & varArray)
        prefix = "Array ";
    switch (type & varTypeMask) {
    case varEmpty:
        return prefix + "Empty";
    case varNull:
        return prefix + "Null";
    case varSmallint:
        return prefix + "Smallint";
    case varInteger:
        return prefix + "Integer";
    case varSingle:
        return prefix + "Single";
    case varDouble:
        return prefix + "Double";
    case varCurrency:
        return prefix + "Currency";
    case varDate:
        return prefix + "Date";
    case varBoolean:
        return prefix + "Boolean";
    case varVariant:
        return prefix + "Variant";
    case varShortInt:
        return prefix + "ShortInt";
    case varByte:
        return prefix + "Byte";
    case varWord:
        return prefix + "Word";
    case varLongWord:
        return prefix + "LongWord";
    case varInt64:
        return prefix + "Int64";
    case varString:
        return prefix + "String";
    default:
        return prefix + "Unknown";
    }
}

Variant VarAsType(const Variant& v, TVarType type) {
    if (v.VarType() == type || type == varVariant)
        return v;
    if (v.IsNull()) {
        if (type == varNull)
            return v;
        castError(v.VarType(), type);
    }
    if (v.IsArray())
        castError(v.VarType(), type);
    auto checkedInt = [&](int64_t lo, int64_t hi) {
        int64_t x = 0;
        try {
            x = v.AsInt64();
        } catch (const EVariantError&) {
            castError(v.VarType(), type);
        }
        if (x < lo || x > hi)
            castError(v.VarType(), type);
        return x;
    };
    switch (type) {
    case varEmpty:
        return Variant();
    case varNull:
        return Null();
    case varSmallint:
        return Variant(static_cast<int16_t>(checkedInt(-32768, 32767)));
    case varInteger:
        return Variant(v.AsInteger());
    case varShortInt:
        return Variant(static_cast<int8_t>(checkedInt(-128, 127)));
    case varByte:
        return Variant(static_cast<uint8_t>(checkedInt(0, 255)));
    case varWord:
        return Variant(static_cast<uint16_t>(checkedInt(0, 65535)));
    case varLongWord:
        return Variant(static_cast<uint32_t>(checkedInt(0, 4294967295LL)));
    case varInt64:
        return Variant(static_cast<long long>(v.AsInt64()));
    case varSingle:
        return Variant(static_cast<float>(v.AsFloat()));
    case varDouble:
        return Variant(v.AsFloat());
    case varCurrency:
        return VarFromCurrency(v.AsCurrency());
    case varDate:
        return VarFromDateTime(v.AsDateTime());
    case varBoolean:
        return Variant(v.AsBoolean());
    case varString:
        return Variant(v.AsString());
    default:
        castError(v.VarType(), type);
    }
}

Variant VarArrayOf(const std::vector<Variant>& values) {
    auto data = std::make_shared<Variant::ArrayData>();
    data->elementType = varVariant;
    data->bounds.emplace_back(0, static_cast<int>(values.size()) - 1);
    data->elements = values;
    return Variant::makeArray(std::move(data));
}

Variant VarArrayCreate(const std::vector<int>& bounds, TVarType elementType) {
    if (bounds.empty() || bounds.size() % 2 != 0)
        throw EVariantError("Error creating variant or safe array");
    TVarType et = elementType & varTypeMask;
    if (et == varEmpty || et == varNull || (elementType & varArray))
        throw EVariantError("Error creating variant or safe array");
    auto data = std::make_shared<Variant::ArrayData>();
    data->elementType = et;
    size_t total = 1;
    for (size_t i = 0; i < bounds.size(); i += 2) {
        int64_t lo = bounds[i];
        int64_t hi = bounds[i + 1];
        if (hi < lo - 1)
            throw EVariantError("Error creating variant or safe array");
        auto n = static_cast<size_t>(hi - lo + 1);
        if (n != 0 && total > kMaxArrayElements / n)
            throw EVariantError("Error creating variant or safe array");
        total *= n;
        data->bounds.emplace_back(static_cast<int>(lo), static_cast<int>(hi));
    }
    Variant init;
    if (et != varVariant)
        init = VarAsType(Variant(0), et == varString ? varString : et);
    if (et == varString)
        init = Variant(std::string());
    if (et == varBoolean)
        init = Variant(false);
    data->elements.assign(total, init);
    return Variant::makeArray(std::move(data));
}

int VarArrayDimCount(const Variant& v) noexcept {
    const Variant::ArrayData* a = v.IsArray() ? v.arrayData() : nullptr;
    return a ? static_cast<int>(a->bounds.size()) : 0;
}

namespace {
const Variant::ArrayData& arrayOf(const Variant& v) {
    const Variant::ArrayData* a = v.IsArray() ? v.arrayData() : nullptr;
    if (!a)
        notArrayError();
    return *a;
}

size_t flatIndex(const Variant::ArrayData& a, const std::vector<int>& indices) {
    if (indices.size() != a.bounds.size())
        boundsError();
    size_t flat = 0;
    for (size_t d = 0; d < indices.size(); ++d) {
        auto [lo, hi] = a.bounds[d];
        if (indices[d] < lo || indices[d] > hi)
            boundsError();
        flat = flat * static_cast<size_t>(hi - lo + 1) + static_cast<size_t>(indices[d] - lo);
    }
    return flat;
}
} // namespace

int VarArrayLowBound(const Variant& v, int Dim) {
    const Variant::ArrayData& a = arrayOf(v);
    if (Dim < 1 || Dim > static_cast<int>(a.bounds.size()))
        boundsError();
    return a.bounds[static_cast<size_t>(Dim - 1)].first;
}

int VarArrayHighBound(const Variant& v, int Dim) {
    const Variant::ArrayData& a = arrayOf(v);
    if (Dim < 1 || Dim > static_cast<int>(a.bounds.size()))
        boundsError();
    return a.bounds[static_cast<size_t>(Dim - 1)].second;
}

Variant VarArrayGet(const Variant& v, const std::vector<int>& indices) {
    const Variant::ArrayData& a = arrayOf(v);
    return a.elements[flatIndex(a, indices)];
}

void VarArrayPut(Variant& v, const Variant& value, const std::vector<int>& indices) {
    const Variant::ArrayData& a = arrayOf(v);
    size_t i = flatIndex(a, indices);
    Variant converted = a.elementType == varVariant ? value : VarAsType(value, a.elementType);
    v.mutableArrayData()->elements[i] = std::move(converted);
}

} // namespace tovrin::host

// Variant: a value of one of the framework's variant kinds (Empty, Null, integers of every
// size, floating point, currency, date-time, Boolean, text, bytes, arrays with bounds),
// with the framework's conversions between kinds and its errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DateTime.h"

namespace tovrin::host {

/// Variant type codes (the framework's values).
using TVarType = uint16_t;
inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;

/// A framework variant. Copies share array storage copy-on-write, so copying is cheap.
/// Bytes are an array of varByte (varArray | varByte), as the framework holds them.
class Variant {
public:
    /// Unassigned (varEmpty).
    Variant() noexcept;
    Variant(bool value) noexcept;
    Variant(int8_t value) noexcept;
    Variant(uint8_t value) noexcept;
    Variant(int16_t value) noexcept;
    Variant(uint16_t value) noexcept;
    Variant(int32_t value) noexcept;
    Variant(uint32_t value) noexcept;
    Variant(long value) noexcept;
    Variant(long long value) noexcept;
    Variant(unsigned long value) noexcept;
    Variant(unsigned long long value) noexcept;
    Variant(float value) noexcept;
    Variant(double value) noexcept;
    Variant(const char* value);
    Variant(std::string value);

    Variant(const Variant&);
    Variant(Variant&&) noexcept;
    Variant& operator=(const Variant&);
    Variant& operator=(Variant&&) noexcept;
    ~Variant();

    /// The type code (varArray set for arrays).
    [[nodiscard]] TVarType VarType() const noexcept { return m_type; }
    [[nodiscard]] bool IsNull() const noexcept { return m_type == varNull; }
    [[nodiscard]] bool IsEmpty() const noexcept { return m_type == varEmpty; }
    [[nodiscard]] bool IsArray() const noexcept { return (m_type & varArray) != 0; }

    /// Conversions. Empty converts to 0, False or ""; Null raises EVariantError (except in
    /// AsString, where VarToStr gives ""), text parses (numbers with "." or the settings'
    /// decimal separator, "True"/"False" for Booleans, dates with StrToDateTime), numbers
    /// format as FloatToStr/IntToStr. A value that does not convert, or a number out of the
    /// target's range, raises EVariantError "Could not convert variant of type (<from>) into
    /// type (<to>)".
    [[nodiscard]] int32_t AsInteger() const;
    [[nodiscard]] int64_t AsInt64() const;
    [[nodiscard]] double AsFloat() const;
    [[nodiscard]] double AsCurrency() const;
    [[nodiscard]] TDateTime AsDateTime() const;
    [[nodiscard]] bool AsBoolean() const;
    [[nodiscard]] std::string AsString() const;
    /// Bytes of a byte array; a text gives its bytes; other kinds raise EVariantError.
    [[nodiscard]] std::string AsBytes() const;

    /// Equality as the framework's variant comparison: Empty = Empty, Null = Null, numbers
    /// by numeric value, texts exactly, a number and a text by converting the text.
    /// Arrays compare element by element with equal bounds.
    bool operator==(const Variant& other) const;

    // Internal representation, used by the free functions below.
    struct ArrayData;
    [[nodiscard]] const ArrayData* arrayData() const noexcept { return m_array.get(); }
    ArrayData* mutableArrayData();
    static Variant makeCurrency(double value);
    static Variant makeDate(TDateTime value);
    static Variant makeNull() noexcept;
    static Variant makeArray(std::shared_ptr<ArrayData> data);

private:
    TVarType m_type;
    union {
        int64_t m_int;
        double m_double;
        bool m_bool;
    };
    std::string m_string;
    std::shared_ptr<ArrayData> m_array;
};

/// Storage of a variant array: element type, one (low, high) pair per dimension, and the
/// elements in row-major order.
struct Variant::ArrayData {
    TVarType elementType = varVariant;
    std::vector<std::pair<int, int>> bounds;
    std::vector<Variant> elements;
};

/// The Null and Unassigned values.
[[nodiscard]] Variant Null() noexcept;
[[nodiscard]] Variant Unassigned() noexcept;
/// Typed constructors for kinds C++ cannot tell apart by type.
[[nodiscard]] Variant VarFromDateTime(TDateTime value);
[[nodiscard]] Variant VarFromCurrency(double value);
/// A one-dimensional 0-based varByte array holding the bytes.
[[nodiscard]] Variant VarFromBytes(const std::string& bytes);

[[nodiscard]] inline TVarType VarType(const Variant& v) noexcept {
    return v.VarType();
}
[[nodiscard]] inline bool VarIsNull(const Variant& v) noexcept {
    return v.IsNull();
}
[[nodiscard]] inline bool VarIsEmpty(const Variant& v) noexcept {
    return v.IsEmpty();
}
[[nodiscard]] inline bool VarIsArray(const Variant& v) noexcept {
    return v.IsArray();
}
/// True for the integer, floating, currency kinds.
[[nodiscard]] bool VarIsNumeric(const Variant& v) noexcept;
/// True for the integer kinds (varSmallint, varInteger, varShortInt, varByte, varWord,
/// varLongWord, varInt64); not for varBoolean.
[[nodiscard]] bool VarTypeIsInteger(TVarType type) noexcept;
/// Text of the value; "" for Null and Empty.
[[nodiscard]] std::string VarToStr(const Variant& v);
/// Text of the value; Default for Null.
[[nodiscard]] std::string VarToStrDef(const Variant& v, const std::string& Default);
/// Converts to the given simple type (raises EVariantError when it does not convert).
[[nodiscard]] Variant VarAsType(const Variant& v, TVarType type);
/// Name of a type code as used in messages ("Integer", "String", "Null", ...).
[[nodiscard]] std::string VarTypeAsText(TVarType type);

/// A 0-based one-dimensional array of varVariant holding the values.
[[nodiscard]] Variant VarArrayOf(const std::vector<Variant>& values);
/// An array of the element type with one (low, high) pair per dimension, given flat as
/// {low1, high1, low2, high2, ...}; elements start Empty (0 for numeric element types).
/// Raises EVariantError for an odd count, no dimension or high < low - 1.
[[nodiscard]] Variant VarArrayCreate(const std::vector<int>& bounds, TVarType elementType);
/// Number of dimensions; 0 for a value that is not an array.
[[nodiscard]] int VarArrayDimCount(const Variant& v) noexcept;
/// Bounds of dimension Dim (1-based). Raise EVariantError "Variant is not an array" or
/// "Variant or safe array index out of bounds" for a bad dimension.
[[nodiscard]] int VarArrayLowBound(const Variant& v, int Dim);
[[nodiscard]] int VarArrayHighBound(const Variant& v, int Dim);
/// Element at the indices (one per dimension), checked against the bounds; raises
/// EVariantError "Variant or safe array index out of bounds" when outside.
[[nodiscard]] Variant VarArrayGet(const Variant& v, const std::vector<int>& indices);
/// Stores an element (converted to the array's element type), checked as VarArrayGet.
void VarArrayPut(Variant& v, const Variant& value, const std::vector<int>& indices);

/// Gives each target (anything with SetValue(const Variant&)) its part of Value: a single
/// target given a value that is not an array takes it whole; otherwise target i takes the
/// item at the array's low bound + i.
template <class T> void VarSpreadOver(const std::vector<T*>& targets, const Variant& Value) {
    if (targets.size() == 1 && !VarIsArray(Value)) {
        targets[0]->SetValue(Value);
        return;
    }
    const int low = VarArrayLowBound(Value, 1);
    for (std::size_t i = 0; i < targets.size(); ++i)
        targets[i]->SetValue(VarArrayGet(Value, {low + static_cast<int>(i)}));
}

} // namespace tovrin::host

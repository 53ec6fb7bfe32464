// One argument of Format: an integer, a floating-point number, a text or a pointer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace tovrin::host {

/// A value handed to Format. Constructed implicitly from integers, floating-point numbers,
/// texts and pointers; the conversion letter of the format must suit the kind.
class FormatArg {
public:
    enum class Kind { Integer, Unsigned, Float, Text, Pointer };

    template <class T>
    requires(std::is_integral_v<T>&& std::is_signed_v<T> && !std::is_same_v<T, bool>)
        FormatArg(T value)
        : m_kind(Kind::Integer), m_int(value) {}
    template <class T>
    requires(std::is_integral_v<T>&& std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
        FormatArg(T value)
        : m_kind(Kind::Unsigned), m_uint(value) {}
    FormatArg(bool value) : m_kind(Kind::Integer), m_int(value ? 1 : 0) {}
    FormatArg(double value) : m_kind(Kind::Float), m_float(value) {}
    FormatArg(float value) : m_kind(Kind::Float), m_float(value) {}
    FormatArg(long double value) : m_kind(Kind::Float), m_float(static_cast<double>(value)) {}
    FormatArg(const char* value) : m_kind(Kind::Text), m_text(value ? value : "") {}
    FormatArg(std::string value) : m_kind(Kind::Text), m_text(std::move(value)) {}
    FormatArg(std::string_view value) : m_kind(Kind::Text), m_text(value) {}
    FormatArg(const void* value) : m_kind(Kind::Pointer), m_pointer(value) {}

    [[nodiscard]] Kind kind() const noexcept { return m_kind; }
    [[nodiscard]] int64_t asInteger() const noexcept { return m_int; }
    [[nodiscard]] uint64_t asUnsigned() const noexcept { return m_uint; }
    [[nodiscard]] double asFloat() const noexcept { return m_float; }
    [[nodiscard]] const std::string& asText() const noexcept { return m_text; }
    [[nodiscard]] const void* asPointer() const noexcept { return m_pointer; }

private:
    Kind m_kind;
    union {
        int64_t m_int;
        uint64_t m_uint;
        double m_float;
        const void* m_pointer;
    };
    std::string m_text;
};

} // namespace tovrin::host

// Sets of enumeration values (up to 64 members), the framework's `set of` types.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tovrin::host {

/// A set of values of the enumeration E, whose ordinals must lie in 0..63.
template <class E> class TSet {
public:
    constexpr TSet() noexcept = default;
    constexpr TSet(std::initializer_list<E> items) noexcept {
        for (E item : items)
            m_bits |= bit(item);
    }
    static constexpr TSet FromBits(uint64_t bits) noexcept {
        TSet s;
        s.m_bits = bits;
        return s;
    }

    [[nodiscard]] constexpr bool Contains(E item) const noexcept {
        return (m_bits & bit(item)) != 0;
    }
    constexpr TSet& Include(E item) noexcept {
        m_bits |= bit(item);
        return *this;
    }
    constexpr TSet& Exclude(E item) noexcept {
        m_bits &= ~bit(item);
        return *this;
    }
    [[nodiscard]] constexpr bool Empty() const noexcept { return m_bits == 0; }
    [[nodiscard]] constexpr uint64_t Bits() const noexcept { return m_bits; }

    constexpr TSet operator+(TSet o) const noexcept { return FromBits(m_bits | o.m_bits); }
    constexpr TSet operator-(TSet o) const noexcept { return FromBits(m_bits & ~o.m_bits); }
    constexpr TSet operator*(TSet o) const noexcept { return FromBits(m_bits & o.m_bits); }
    constexpr bool operator==(const TSet&) const noexcept = default;

private:
    static constexpr uint64_t bit(E item) noexcept {
        return uint64_t{1} << static_cast<unsigned>(item);
    }
    uint64_t m_bits = 0;
};

} // namespace tovrin::host

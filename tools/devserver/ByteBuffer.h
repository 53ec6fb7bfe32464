// Little-endian byte writer and bounds-checked byte reader for TDS token streams. Every
// multi-byte number a FreeTDS client sends or expects inside tokens is little-endian (the
// byte order its login record declares); only packet headers are big-endian and are handled
// by PacketIo. A read past the end of the data raises ProtocolError, never an assert: these
// bytes come from the network.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace devserver {

/// A malformed or oversized request: the client that sent it is disconnected.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Appends little-endian numbers and byte strings to a growing buffer.
class ByteWriter final {
public:
    void u8(uint8_t v) { m_bytes.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void i32(int32_t v) { put(static_cast<uint32_t>(v), 4); }
    void u64(uint64_t v) { put(v, 8); }
    void bytes(std::string_view s) { m_bytes.append(s); }
    void zeros(size_t n) { m_bytes.append(n, '\0'); }
    /// One length byte and at most 255 bytes of `s` (longer strings are cut).
    void bVarchar(std::string_view s) {
        const size_t n = s.size() > 255 ? 255 : s.size();
        u8(static_cast<uint8_t>(n));
        m_bytes.append(s.substr(0, n));
    }
    /// Overwrites a 16-bit value written earlier at `pos`.
    void patchU16(size_t pos, uint16_t v) {
        m_bytes[pos] = static_cast<char>(v & 0xFF);
        m_bytes[pos + 1] = static_cast<char>(v >> 8);
    }

    [[nodiscard]] size_t size() const noexcept { return m_bytes.size(); }
    [[nodiscard]] std::string& data() noexcept { return m_bytes; }
    [[nodiscard]] const std::string& data() const noexcept { return m_bytes; }

private:
    void put(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            m_bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }

    std::string m_bytes;
};

/// Reads little-endian numbers and byte strings from a view; every read is bounds-checked.
class ByteReader final {
public:
    explicit ByteReader(std::string_view data) : m_data(data) {}

    uint8_t u8() { return static_cast<uint8_t>(get(1)); }
    uint16_t u16() { return static_cast<uint16_t>(get(2)); }
    uint32_t u32() { return static_cast<uint32_t>(get(4)); }
    int32_t i32() { return static_cast<int32_t>(get(4)); }
    uint64_t u64() { return get(8); }
    std::string_view bytes(size_t n) {
        need(n);
        std::string_view s = m_data.substr(m_pos, n);
        m_pos += n;
        return s;
    }
    std::string_view bVarchar() { return bytes(u8()); }
    void skip(size_t n) { bytes(n); }

    [[nodiscard]] size_t remaining() const noexcept { return m_data.size() - m_pos; }
    [[nodiscard]] bool atEnd() const noexcept { return m_pos >= m_data.size(); }
    [[nodiscard]] size_t position() const noexcept { return m_pos; }

private:
    void need(size_t n) const {
        if (n > remaining())
            throw ProtocolError("request truncated: " + std::to_string(n) + " bytes needed, " +
                                std::to_string(remaining()) + " left");
    }
    uint64_t get(int n) {
        need(static_cast<size_t>(n));
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<uint64_t>(static_cast<uint8_t>(m_data[m_pos + i])) << (8 * i);
        m_pos += static_cast<size_t>(n);
        return v;
    }

    std::string_view m_data;
    size_t m_pos = 0;
};

} // namespace devserver

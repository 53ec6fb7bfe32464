// A protocol packet built byte by byte, for tests that feed the server or its codec exact
// input (split anywhere, truncated or malformed) rather than what a client library sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace devservertest {

/// The payload behind an 8-byte packet header: type, status, the packet's whole length
/// (header included, high byte first), then channel, packet number and window, all 0.
inline std::string rawPacket(std::uint8_t type, std::uint8_t status, const std::string& payload) {
    const std::size_t length = payload.size() + 8;
    std::string p = {static_cast<char>(type),
                     static_cast<char>(status),
                     static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF),
                     0,
                     0,
                     0,
                     0};
    return p + payload;
}

} // namespace devservertest

// Packet reassembly and packet output for one client connection.
#include "PacketIo.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>

namespace devserver {

void MessageAssembler::append(const char* data, size_t n) {
    if (m_pos > 0 && m_pos == m_input.size()) {
        m_input.clear();
        m_pos = 0;
    } else if (m_pos > 65536) {
        m_input.erase(0, m_pos);
        m_pos = 0;
    }
    m_input.append(data, n);
}

ParseResult MessageAssembler::next(Message& out, std::string& error) {
    for (;;) {
        if (m_input.size() - m_pos < packet::kHeaderSize)
            return ParseResult::NeedMore;
        const auto* h = reinterpret_cast<const uint8_t*>(m_input.data() + m_pos);
        const uint8_t type = h[0];
        const uint8_t status = h[1];
        const size_t length = (static_cast<size_t>(h[2]) << 8) | h[3];
        if (!m_accepted.empty() &&
            std::find(m_accepted.begin(), m_accepted.end(), type) == m_accepted.end()) {
            error = "unexpected packet type " + std::to_string(type);
            return ParseResult::Error;
        }
        if (status & ~(packet::kStatusEom | 0x02 | 0x04 | 0x08)) {
            error = "invalid packet status " + std::to_string(status);
            return ParseResult::Error;
        }
        if (length < packet::kHeaderSize) {
            error = "packet length " + std::to_string(length) + " is shorter than its header";
            return ParseResult::Error;
        }
        if (m_input.size() - m_pos < length)
            return ParseResult::NeedMore;
        const size_t payload = length - packet::kHeaderSize;
        if (!m_inMessage) {
            m_current.type = type;
            m_current.payload.clear();
            m_inMessage = true;
        } else if (type != m_current.type) {
            error = "packet of type " + std::to_string(type) + " inside a message of type " +
                    std::to_string(m_current.type);
            return ParseResult::Error;
        }
        if (m_dropping || m_current.payload.size() + payload > m_maxMessage) {
            if (!m_dropOversized) {
                error = "message longer than " + std::to_string(m_maxMessage) + " bytes";
                return ParseResult::Error;
            }
            m_dropping = true;
            std::string().swap(m_current.payload);
        } else {
            m_current.payload.append(m_input, m_pos + packet::kHeaderSize, payload);
        }
        m_pos += length;
        if (status & packet::kStatusEom) {
            m_inMessage = false;
            out = std::move(m_current);
            out.oversized = m_dropping;
            m_dropping = false;
            m_current = Message{};
            return ParseResult::Complete;
        }
    }
}

bool sendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

void PacketWriter::frame(const char* data, size_t n, bool last) {
    const size_t length = n + packet::kHeaderSize;
    const char header[packet::kHeaderSize] = {static_cast<char>(packet::kResponse),
                                              static_cast<char>(last ? packet::kStatusEom : 0),
                                              static_cast<char>((length >> 8) & 0xFF),
                                              static_cast<char>(length & 0xFF),
                                              0,
                                              0,
                                              0,
                                              0};
    m_frames.append(header, sizeof header);
    m_frames.append(data, n);
}

bool PacketWriter::sendFrames() {
    if (m_failed) {
        m_frames.clear();
        return false;
    }
    // All packets framed so far go out in one system call.
    if (!sendAll(m_fd, m_frames.data(), m_frames.size()))
        m_failed = true;
    m_frames.clear();
    return !m_failed;
}

bool PacketWriter::pump() {
    std::string& buf = m_out.data();
    const size_t payload = m_packetSize - packet::kHeaderSize;
    // Full packets are collected until a send is worth its system call; a long result still
    // never holds more than this in memory.
    if (buf.size() <= std::max(payload, kSendChunk))
        return false;
    size_t offset = 0;
    // Keep at least one byte back so that the final packet (with EOM) is never empty.
    while (buf.size() - offset > payload) {
        frame(buf.data() + offset, payload, false);
        offset += payload;
    }
    buf.erase(0, offset);
    sendFrames();
    if (m_failed)
        buf.clear();
    return true;
}

bool PacketWriter::endMessage() {
    std::string& buf = m_out.data();
    const size_t payload = m_packetSize - packet::kHeaderSize;
    size_t offset = 0;
    while (buf.size() - offset > payload) {
        frame(buf.data() + offset, payload, false);
        offset += payload;
    }
    frame(buf.data() + offset, buf.size() - offset, true);
    buf.clear();
    return sendFrames();
}

void PacketWriter::flushPartial() {
    std::string& buf = m_out.data();
    const size_t payload = m_packetSize - packet::kHeaderSize;
    for (size_t offset = 0; offset < buf.size(); offset += payload)
        frame(buf.data() + offset, std::min(payload, buf.size() - offset), false);
    buf.clear();
    if (!m_frames.empty())
        sendFrames();
}

} // namespace devserver

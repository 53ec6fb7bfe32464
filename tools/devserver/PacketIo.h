// The TDS packet layer: reassembling client messages from packets (8-byte header, length
// big-endian, EOM bit on the last packet of a message) and cutting a response into packets
// of the negotiated size. The assembler is a resumable parser over a per-client input
// buffer: bytes are appended as they arrive and complete messages are taken out one by one.
#pragma once

#include "ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace devserver {

/// Packet types a client may send.
namespace packet {
inline constexpr uint8_t kLanguage = 0x01;
inline constexpr uint8_t kLogin = 0x02;
inline constexpr uint8_t kRpc = 0x03;
inline constexpr uint8_t kResponse = 0x04;
inline constexpr uint8_t kAttention = 0x06;
inline constexpr uint8_t kBulk = 0x07;
inline constexpr uint8_t kLogout = 0x0D;
inline constexpr uint8_t kNormal = 0x0F;
inline constexpr uint8_t kPreLogin = 0x12;
inline constexpr uint8_t kStatusEom = 0x01;
inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kDefaultSize = 512;
} // namespace packet

/// One client message: the type of its packets and their concatenated payloads.
struct Message {
    uint8_t type = 0;
    std::string payload;
    bool oversized = false; ///< longer than the limit: read to its end, its payload dropped
};

/// Result of asking the assembler for the next message.
enum class ParseResult { Complete, NeedMore, Error };

/// Reassembles messages from the bytes of one connection.
class MessageAssembler final {
public:
    /// `maxMessageBytes` bounds the payload of one message; a longer one is an error.
    explicit MessageAssembler(size_t maxMessageBytes) : m_maxMessage(maxMessageBytes) {}

    void setMaxMessageBytes(size_t n) noexcept { m_maxMessage = n; }
    /// With `on`, a message over the limit is read to its end holding none of its bytes and
    /// given out `oversized` (so that it can be answered); without, it is an error.
    void setDropOversized(bool on) noexcept { m_dropOversized = on; }
    /// Restricts the packet types accepted; any other type is an error as soon as its
    /// header arrives (so garbage is refused without waiting for a bogus length).
    void setAcceptedTypes(std::initializer_list<uint8_t> types) { m_accepted.assign(types); }
    /// Adds bytes received from the socket.
    void append(const char* data, size_t n);
    /// Takes the next complete message out of the buffer. On Error, `error` says why and the
    /// connection must be closed; on NeedMore, more bytes are needed.
    ParseResult next(Message& out, std::string& error);
    /// True when bytes of an unfinished packet or message are buffered.
    [[nodiscard]] bool hasPartial() const noexcept { return m_inMessage || m_pos < m_input.size(); }

private:
    std::string m_input; ///< received bytes; [m_pos, end) not yet consumed
    size_t m_pos = 0;
    bool m_inMessage = false;
    Message m_current;
    size_t m_maxMessage;
    bool m_dropOversized = false;
    bool m_dropping = false; ///< the current message is over the limit
    std::vector<uint8_t> m_accepted;
};

/// Buffers response tokens and sends them in packets of the negotiated size. Full packets
/// go out, several in one system call, once about `kSendChunk` bytes are buffered, so a long
/// result never piles up in memory; `endMessage` sends the rest with the EOM bit.
class PacketWriter final {
public:
    explicit PacketWriter(int fd) : m_fd(fd) {}

    void setPacketSize(size_t size) noexcept { m_packetSize = size; }
    [[nodiscard]] size_t packetSize() const noexcept { return m_packetSize; }
    /// The token buffer; append tokens to it, then call `pump`.
    [[nodiscard]] ByteWriter& out() noexcept { return m_out; }
    /// Bytes buffered and not yet sent.
    [[nodiscard]] size_t buffered() const noexcept { return m_out.size(); }
    /// Bytes of tokens collected before full packets are sent.
    static constexpr size_t kSendChunk = 32768;

    /// Sends every full packet once more than `kSendChunk` bytes (or one packet, if larger)
    /// are buffered. Returns true when packets were sent.
    bool pump();
    /// Sends all buffered bytes, the last packet with EOM. Returns false if the socket failed.
    bool endMessage();
    /// Sends all buffered bytes without EOM (used before dropping a connection on purpose).
    void flushPartial();
    [[nodiscard]] bool failed() const noexcept { return m_failed; }

private:
    /// Appends one packet (header and `n` bytes of payload) to the frames to send.
    void frame(const char* data, size_t n, bool last);
    /// Sends the framed packets; false if the socket failed.
    bool sendFrames();

    int m_fd;
    size_t m_packetSize = packet::kDefaultSize;
    ByteWriter m_out;
    std::string m_frames; ///< packets framed and not yet sent
    bool m_failed = false;
};

/// Writes all of `data` to a socket (no SIGPIPE). Returns false on error.
bool sendAll(int fd, const char* data, size_t n);

} // namespace devserver

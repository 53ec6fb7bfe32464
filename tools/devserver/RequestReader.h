// Parsing of what clients send: the TDS 5.0 login record with its capability token, and
// the requests of a session (language text, DBRPC with parameters, DYNAMIC, OPTIONCMD,
// LOGOUT). Every length and count is checked against the bytes present and against fixed
// limits before anything is allocated; malformed input raises ProtocolError.
#pragma once

#include "Codec.h"
#include "Engine.h"
#include "PacketIo.h"
#include "TokenWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

/// The fields of a login record that the server uses.
struct LoginRecord {
    LoginInfo info;
    std::string serverName;
    std::string language;
    std::string library;      ///< client library name (CT-Library, DB-Library, ...)
    std::string charset;      ///< character set the client asks for; empty: the server's
    uint32_t packetSize = 0;  ///< requested packet size, 0 when absent or unreadable
    bool littleEndian = true; ///< false when the client declares a byte order we do not send
    bool hasCapabilities = false;
    CapabilityMask request{};
    CapabilityMask response{};
};

/// Parses a login message payload (type 0x02).
LoginRecord parseLogin(std::string_view payload);

/// A parameter sent by the client (RPC or language parameters).
struct ClientParam {
    std::string name;
    WireFormat format;
    Value value;
    bool output = false;
};

/// What a client asks for in one message.
struct Request {
    enum class Kind { Language, Rpc, Dynamic, Option, Logout, Unsupported };
    Kind kind = Kind::Unsupported;
    std::string sql;             ///< Language: batch text; Dynamic: statement text
    bool languageParams = false; ///< Language: parameters followed the text
    bool rawLanguage = false;    ///< Language: sent as a bare type 0x01 packet
    std::string rpcName;         ///< Rpc: procedure name
    std::vector<ClientParam> params;
    uint8_t dynamicType = 0; ///< Dynamic: PREPARE 0x01, EXECUTE 0x02, DEALLOC 0x04, ...
    std::string dynamicId;
    uint8_t optionCommand = 0; ///< Option: 1 SET, 2 DEFAULT, 3 LIST
    uint8_t option = 0;
    std::string optionArg;
    uint8_t token = 0; ///< the first token of the message
};

/// Largest number of parameters accepted in one request.
inline constexpr size_t kMaxParameters = 2048;

/// A `writetext bulk <table>.<column> 0x<text pointer> [timestamp = 0x…] [with log]`
/// language command, with which a client library starts sending a text or image value
/// in the bulk message that follows.
struct WriteTextStart {
    std::string object;  ///< table.column as written
    std::string pointer; ///< the text pointer's bytes
};

/// The writetext bulk command `sql` is, if it is one.
std::optional<WriteTextStart> parseWriteTextStart(std::string_view sql);

/// The value a bulk message carries after a writetext bulk: a 4-byte length, then the
/// bytes; nothing when the length announced is not the length sent.
std::optional<std::string> bulkTextValue(std::string_view payload);

/// Parses a request message of type 0x0F (token stream) or 0x01 (raw language text).
Request parseRequest(const Message& message);

} // namespace devserver

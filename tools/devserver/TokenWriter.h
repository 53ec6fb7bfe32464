// Builders of the tokens the server sends: DONE family, EED, ENVCHANGE, LOGINACK,
// CAPABILITY, row and parameter formats and values, RETURNSTATUS, OPTIONCMD replies and
// DYNAMIC acknowledgements. Every length field is computed from the bytes actually written.
#pragma once

#include "ByteBuffer.h"
#include "Codec.h"
#include "Engine.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace devserver {

namespace token {
inline constexpr uint8_t kParamFmt2 = 0x20, kLanguage = 0x21, kRowFmt2 = 0x61, kLogout = 0x71,
                         kReturnStatus = 0x79, kOptionCmd = 0xA6, kLoginAck = 0xAD, kRow = 0xD1,
                         kParams = 0xD7, kCapability = 0xE2, kEnvChange = 0xE3, kEed = 0xE5,
                         kDbRpc = 0xE6, kDynamic = 0xE7, kParamFmt = 0xEC, kRowFmt = 0xEE,
                         kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF, kAltName = 0xA7,
                         kAltFmt = 0xA8, kAltRow = 0xD3, kTabName = 0xA4, kColInfo = 0xA5;
} // namespace token

/// DONE status bits.
namespace done {
inline constexpr uint16_t kFinal = 0x0000, kMore = 0x0001, kError = 0x0002, kInXact = 0x0004,
                          kProc = 0x0008, kCount = 0x0010, kAttention = 0x0020;
} // namespace done

/// ENVCHANGE types.
namespace env {
inline constexpr uint8_t kDatabase = 1, kLanguage = 2, kCharset = 3, kPacketSize = 4;
} // namespace env

/// LOGINACK status values.
inline constexpr uint8_t kLoginSucceeded = 5, kLoginFailed = 6;

/// A capability mask of 14 bytes (capability N in byte 13 - N/8, bit N%8).
using CapabilityMask = std::array<uint8_t, 14>;

/// The names (ALTNAME) and format (ALTFMT) of compute clause `id`: per column its label,
/// operator, operand and wire format, then the select-list columns of its `by`.
void writeComputeFormat(ByteWriter& out, uint16_t id, const std::vector<std::string>& labels,
                        const std::vector<ComputeColumn>& columns,
                        const std::vector<WireFormat>& formats, const std::vector<int>& by);

/// One compute row (ALTROW) of clause `id`.
void writeComputeRow(ByteWriter& out, uint16_t id, const std::vector<WireFormat>& formats,
                     const std::vector<Value>& values);

void writeDone(ByteWriter& out, uint8_t token, uint16_t status, int64_t count);
/// An EED message; an empty server name is replaced by `serverName`.
void writeEed(ByteWriter& out, const ServerMessage& message, std::string_view serverName);
void writeEnvChange(ByteWriter& out, uint8_t type, std::string_view newValue,
                    std::string_view oldValue);
void writeLoginAck(ByteWriter& out, uint8_t status, std::string_view programName,
                   const std::array<uint8_t, 4>& version);
void writeCapability(ByteWriter& out, const CapabilityMask& request,
                     const CapabilityMask& response);
/// ROWFMT, or ROWFMT2 (with each column's database, owner, table and column name) when
/// `wide` or when the format does not fit a 16-bit length.
void writeRowFormat(ByteWriter& out, const std::vector<Column>& columns,
                    const std::vector<WireFormat>& formats, bool wide = false);
/// TABNAME and COLINFO of a browse-mode result: the tables, then per column its table,
/// whether it is an expression, a key or hidden, and its own name when shown under another.
void writeBrowseInfo(ByteWriter& out, const std::vector<Column>& columns, const BrowseInfo& info);
void writeRow(ByteWriter& out, const std::vector<WireFormat>& formats,
              const std::vector<Value>& values);
/// PARAMFMT (PARAMFMT2 when too long) describing output parameters, or input parameters
/// when `output` is false (a prepared statement's description).
void writeParamFormat(ByteWriter& out, const std::vector<Column>& params,
                      const std::vector<WireFormat>& formats, bool output = true);
void writeParams(ByteWriter& out, const std::vector<WireFormat>& formats,
                 const std::vector<Value>& values);
void writeReturnStatus(ByteWriter& out, int32_t status);
/// An OPTIONCMD INFO reply (command 4) for `option` with argument bytes `arg`.
void writeOptionInfo(ByteWriter& out, uint8_t option, std::string_view arg);
/// A DYNAMIC ACK for statement `id`.
void writeDynamicAck(ByteWriter& out, std::string_view id);

} // namespace devserver

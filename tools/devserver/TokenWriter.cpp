// Encoding of the server's tokens.
#include "TokenWriter.h"

#include <algorithm>
#include <limits>

namespace devserver {

namespace {

// Starts a token with a 16-bit length; returns the position of the length field.
size_t beginU16(ByteWriter& out, uint8_t token) {
    out.u8(token);
    const size_t at = out.size();
    out.u16(0);
    return at;
}

void endU16(ByteWriter& out, size_t at) {
    const size_t length = out.size() - at - 2;
    if (length > 0xFFFF)
        throw std::length_error("token longer than 65535 bytes");
    out.patchU16(at, static_cast<uint16_t>(length));
}

// The status bits of a row format column.
uint32_t rowStatus(const Column& column, const WireFormat& format) {
    constexpr uint32_t kHidden = 0x01, kKey = 0x02, kVersion = 0x04, kUpdatable = 0x10,
                       kNullAllowed = 0x20, kIdentity = 0x40;
    uint32_t status = format.column.nullable ? kNullAllowed : 0;
    if (column.identity)
        status |= kIdentity;
    if (column.hidden)
        status |= kHidden;
    if (column.key)
        status |= column.timestamp ? kKey | kVersion : kKey;
    if (column.updatable)
        status |= kUpdatable;
    return status;
}

// Writes a format (ROWFMT/PARAMFMT) as the 16-bit token if it fits and `wide` is not asked
// for, else as the wide one, which also names each column's database, owner, table and
// column. The wide label is empty for a column shown under its own name.
void writeFormat(ByteWriter& out, uint8_t narrow, uint8_t wideToken,
                 const std::vector<Column>& cols, const std::vector<WireFormat>& formats,
                 bool output, bool wide) {
    auto body = [&](ByteWriter& w, bool isWide) {
        w.u16(static_cast<uint16_t>(cols.size()));
        for (size_t i = 0; i < cols.size(); ++i) {
            // An output parameter has the return bit; other formats their row status.
            const uint32_t status = output ? (formats[i].column.nullable ? 0x21 : 0x01)
                                           : rowStatus(cols[i], formats[i]);
            if (isWide) {
                const ColumnOrigin& origin = cols[i].origin;
                const bool ownName = !origin.column.empty() && origin.column == cols[i].name;
                w.bVarchar(ownName ? std::string_view() : std::string_view(cols[i].name));
                w.bVarchar(origin.database);
                w.bVarchar(origin.owner);
                w.bVarchar(origin.table);
                w.bVarchar(origin.column);
                w.u32(status);
            } else {
                w.bVarchar(cols[i].name);
                w.u8(static_cast<uint8_t>(status));
            }
            writeTypeInfo(w, formats[i]);
            w.u8(0); // locale
        }
    };
    if (!wide) {
        ByteWriter narrowBody;
        body(narrowBody, false);
        if (narrowBody.size() <= 0xFFFF) {
            out.u8(narrow);
            out.u16(static_cast<uint16_t>(narrowBody.size()));
            out.bytes(narrowBody.data());
            return;
        }
    }
    ByteWriter wideBody;
    body(wideBody, true);
    out.u8(wideToken);
    out.u32(static_cast<uint32_t>(wideBody.size()));
    out.bytes(wideBody.data());
}

} // namespace

void writeDone(ByteWriter& out, uint8_t token, uint16_t status, int64_t count) {
    out.u8(token);
    out.u16(status);
    out.u16((status & done::kInXact) ? 1 : 0); // transaction state: in progress / none
    out.i32(
        static_cast<int32_t>(std::clamp<int64_t>(count, 0, std::numeric_limits<int32_t>::max())));
}

void writeEed(ByteWriter& out, const ServerMessage& m, std::string_view serverName) {
    const size_t at = beginU16(out, token::kEed);
    out.i32(m.number);
    out.u8(m.state);
    out.u8(m.severity);
    out.bVarchar("ZZZZZ");
    out.u8(0);  // status: no parameters follow
    out.u16(0); // transaction state
    const size_t textLength = std::min<size_t>(m.text.size(), 0xFFFF - 600);
    out.u16(static_cast<uint16_t>(textLength));
    out.bytes(std::string_view(m.text).substr(0, textLength));
    out.bVarchar(m.server.empty() ? serverName : std::string_view(m.server));
    out.bVarchar(m.procedure);
    out.u16(m.line);
    endU16(out, at);
}

void writeEnvChange(ByteWriter& out, uint8_t type, std::string_view newValue,
                    std::string_view oldValue) {
    const size_t at = beginU16(out, token::kEnvChange);
    out.u8(type);
    out.bVarchar(newValue);
    out.bVarchar(oldValue);
    endU16(out, at);
}

void writeLoginAck(ByteWriter& out, uint8_t status, std::string_view programName,
                   const std::array<uint8_t, 4>& version) {
    const size_t at = beginU16(out, token::kLoginAck);
    out.u8(status);
    out.bytes(std::string_view("\x05\x00\x00\x00", 4));
    out.bVarchar(programName);
    for (uint8_t b : version)
        out.u8(b);
    endU16(out, at);
}

void writeCapability(ByteWriter& out, const CapabilityMask& request,
                     const CapabilityMask& response) {
    const size_t at = beginU16(out, token::kCapability);
    out.u8(1);
    out.u8(static_cast<uint8_t>(request.size()));
    for (uint8_t b : request)
        out.u8(b);
    out.u8(2);
    out.u8(static_cast<uint8_t>(response.size()));
    for (uint8_t b : response)
        out.u8(b);
    endU16(out, at);
}

void writeRowFormat(ByteWriter& out, const std::vector<Column>& columns,
                    const std::vector<WireFormat>& formats, bool wide) {
    writeFormat(out, token::kRowFmt, token::kRowFmt2, columns, formats, false, wide);
}

void writeBrowseInfo(ByteWriter& out, const std::vector<Column>& columns, const BrowseInfo& info) {
    constexpr uint8_t kExpression = 0x04, kKey = 0x08, kHidden = 0x10, kRenamed = 0x20;
    size_t at = beginU16(out, token::kTabName);
    for (const std::string& table : info.tables)
        out.bVarchar(table);
    endU16(out, at);
    at = beginU16(out, token::kColInfo);
    for (size_t i = 0; i < columns.size() && i < 0xFF; ++i) {
        const Column& c = columns[i];
        const int table = i < info.tableOfColumn.size() ? info.tableOfColumn[i] : 0;
        const bool renamed = table > 0 && !c.origin.column.empty() && c.origin.column != c.name;
        uint8_t status = table > 0 ? 0 : kExpression;
        if (c.key)
            status |= kKey;
        if (c.hidden)
            status |= kHidden;
        if (renamed)
            status |= kRenamed;
        out.u8(static_cast<uint8_t>(i + 1));
        out.u8(static_cast<uint8_t>(std::clamp(table, 0, 0xFF)));
        out.u8(status);
        if (renamed)
            out.bVarchar(c.origin.column);
    }
    endU16(out, at);
}

void writeRow(ByteWriter& out, const std::vector<WireFormat>& formats,
              const std::vector<Value>& values) {
    out.u8(token::kRow);
    static const Value kNull;
    for (size_t i = 0; i < formats.size(); ++i)
        writeValue(out, formats[i], i < values.size() ? values[i] : kNull);
}

void writeComputeFormat(ByteWriter& out, uint16_t id, const std::vector<std::string>& labels,
                        const std::vector<ComputeColumn>& columns,
                        const std::vector<WireFormat>& formats, const std::vector<int>& by) {
    size_t at = beginU16(out, token::kAltName);
    out.u16(id);
    for (const std::string& label : labels)
        out.bVarchar(label);
    endU16(out, at);
    at = beginU16(out, token::kAltFmt);
    out.u16(id);
    out.u8(static_cast<uint8_t>(columns.size()));
    for (size_t i = 0; i < columns.size(); ++i) {
        out.u8(columns[i].op);
        out.u8(static_cast<uint8_t>(columns[i].operand));
        writeTypeInfo(out, formats[i]);
        out.u8(0); // locale
    }
    out.u8(static_cast<uint8_t>(by.size()));
    for (int column : by)
        out.u8(static_cast<uint8_t>(column));
    endU16(out, at);
}

void writeComputeRow(ByteWriter& out, uint16_t id, const std::vector<WireFormat>& formats,
                     const std::vector<Value>& values) {
    out.u8(token::kAltRow);
    out.u16(id);
    static const Value kNull;
    for (size_t i = 0; i < formats.size(); ++i)
        writeValue(out, formats[i], i < values.size() ? values[i] : kNull);
}

void writeParamFormat(ByteWriter& out, const std::vector<Column>& params,
                      const std::vector<WireFormat>& formats, bool output) {
    writeFormat(out, token::kParamFmt, token::kParamFmt2, params, formats, output, false);
}

void writeParams(ByteWriter& out, const std::vector<WireFormat>& formats,
                 const std::vector<Value>& values) {
    out.u8(token::kParams);
    static const Value kNull;
    for (size_t i = 0; i < formats.size(); ++i)
        writeValue(out, formats[i], i < values.size() ? values[i] : kNull);
}

void writeReturnStatus(ByteWriter& out, int32_t status) {
    out.u8(token::kReturnStatus);
    out.i32(status);
}

void writeOptionInfo(ByteWriter& out, uint8_t option, std::string_view arg) {
    const size_t at = beginU16(out, token::kOptionCmd);
    out.u8(4); // INFO
    out.u8(option);
    out.bVarchar(arg);
    endU16(out, at);
}

void writeDynamicAck(ByteWriter& out, std::string_view id) {
    const size_t at = beginU16(out, token::kDynamic);
    out.u8(0x20); // ACK
    out.u8(0);
    out.bVarchar(id);
    endU16(out, at);
}

} // namespace devserver

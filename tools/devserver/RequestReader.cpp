// Parsing of the login record and of session requests.
#include "RequestReader.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace devserver {

namespace {

constexpr size_t kLoginFixedSize = 568;

// A fixed-width login field followed by its length byte.
std::string loginField(std::string_view p, size_t offset, size_t width) {
    const size_t length = std::min<size_t>(static_cast<uint8_t>(p[offset + width]), width);
    return std::string(p.substr(offset, length));
}

// Reads the parameter format and values that follow a DBRPC, LANGUAGE or DYNAMIC token.
std::vector<ClientParam> readParameters(ByteReader& in) {
    std::vector<ClientParam> params;
    if (in.atEnd())
        return params;
    const uint8_t fmt = in.u8();
    if (fmt != token::kParamFmt && fmt != token::kParamFmt2)
        throw ProtocolError("parameter format expected, found token " + std::to_string(fmt));
    const bool wide = fmt == token::kParamFmt2;
    const uint32_t length = wide ? in.u32() : in.u16();
    ByteReader body(in.bytes(length));
    const uint16_t count = body.u16();
    if (count > kMaxParameters)
        throw ProtocolError("too many parameters: " + std::to_string(count));
    // Each parameter takes at least 8 bytes of format: check before reserving.
    if (static_cast<size_t>(count) * 8 > body.remaining())
        throw ProtocolError("parameter format shorter than its count");
    params.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        ClientParam p;
        p.name = std::string(body.bVarchar());
        const uint32_t status = wide ? body.u32() : body.u8();
        p.output = (status & 0x01) != 0;
        p.format = readTypeInfo(body);
        body.skip(body.u8()); // locale
        params.push_back(std::move(p));
    }
    if (in.u8() != token::kParams)
        throw ProtocolError("parameter values expected");
    for (ClientParam& p : params)
        p.value = readValue(in, p.format);
    return params;
}

} // namespace

LoginRecord parseLogin(std::string_view p) {
    if (p.size() < kLoginFixedSize)
        throw ProtocolError("login record too short (" + std::to_string(p.size()) + " bytes)");
    LoginRecord r;
    r.info.host = loginField(p, 0, 30);
    r.info.user = loginField(p, 31, 30);
    r.info.password = loginField(p, 62, 30);
    r.info.application = loginField(p, 140, 30);
    r.serverName = loginField(p, 171, 30);
    r.library = loginField(p, 462, 10);
    r.language = loginField(p, 480, 30);
    r.charset = loginField(p, 525, 30);
    const auto byte = [&](size_t at) { return static_cast<uint8_t>(p[at]); };
    // Integers, floats and dates must be the little-endian IEEE set: that is all we send.
    r.littleEndian = byte(124) == 3 && byte(125) == 1 && byte(127) == 10 && byte(128) == 9;
    const std::string size = loginField(p, 557, 6);
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), value);
    if (ec == std::errc{} && end == size.data() + size.size())
        r.packetSize = value;

    ByteReader caps(p.substr(kLoginFixedSize));
    if (!caps.atEnd() && caps.u8() == token::kCapability) {
        ByteReader body(caps.bytes(caps.u16()));
        while (!body.atEnd()) {
            const uint8_t kind = body.u8();
            const std::string_view mask = body.bytes(body.u8());
            CapabilityMask* target = kind == 1 ? &r.request : kind == 2 ? &r.response : nullptr;
            if (!target)
                continue;
            // Right-align: the last byte holds capabilities 0..7.
            target->fill(0);
            const size_t n = std::min(mask.size(), target->size());
            for (size_t i = 0; i < n; ++i)
                (*target)[target->size() - 1 - i] = static_cast<uint8_t>(mask[mask.size() - 1 - i]);
            r.hasCapabilities = true;
        }
    }
    return r;
}

std::optional<WriteTextStart> parseWriteTextStart(std::string_view sql) {
    // Words separated by blanks: writetext bulk <object> 0x<pointer> [timestamp = 0x…] …
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < sql.size() && words.size() < 4) {
        while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i])))
            ++i;
        const size_t start = i;
        while (i < sql.size() && !std::isspace(static_cast<unsigned char>(sql[i])))
            ++i;
        if (i > start)
            words.push_back(sql.substr(start, i - start));
    }
    const auto is = [](std::string_view word, std::string_view expected) {
        return word.size() == expected.size() &&
               std::equal(word.begin(), word.end(), expected.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == b;
               });
    };
    if (words.size() < 4 || !is(words[0], "writetext") || !is(words[1], "bulk") ||
        words[3].size() < 2 || !is(words[3].substr(0, 2), "0x") || words[3].size() % 2 != 0)
        return std::nullopt;
    WriteTextStart start;
    start.object = std::string(words[2]);
    for (size_t k = 2; k < words[3].size(); k += 2) {
        unsigned value = 0;
        const auto [end, ec] =
            std::from_chars(words[3].data() + k, words[3].data() + k + 2, value, 16);
        if (ec != std::errc{} || end != words[3].data() + k + 2)
            return std::nullopt;
        start.pointer += static_cast<char>(value);
    }
    return start;
}

std::optional<std::string> bulkTextValue(std::string_view payload) {
    if (payload.size() < 4)
        return std::nullopt;
    ByteReader in(payload);
    const int32_t length = in.i32();
    if (length < 0 || static_cast<size_t>(length) != in.remaining())
        return std::nullopt;
    return std::string(in.bytes(static_cast<size_t>(length)));
}

Request parseRequest(const Message& m) {
    Request r;
    if (m.type == packet::kLanguage) {
        r.kind = Request::Kind::Language;
        r.sql = m.payload;
        r.rawLanguage = true;
        return r;
    }
    ByteReader in(m.payload);
    r.token = in.u8();
    switch (r.token) {
    case token::kLanguage: {
        const uint32_t length = in.u32();
        if (length < 1)
            throw ProtocolError("empty language token");
        const uint8_t status = in.u8();
        r.kind = Request::Kind::Language;
        r.sql = std::string(in.bytes(length - 1));
        r.languageParams = (status & 0x01) != 0;
        if (r.languageParams)
            r.params = readParameters(in);
        return r;
    }
    case token::kDbRpc: {
        ByteReader body(in.bytes(in.u16()));
        r.kind = Request::Kind::Rpc;
        r.rpcName = std::string(body.bVarchar());
        const uint16_t options = body.u16();
        if (options & 0x0002)
            r.params = readParameters(in);
        return r;
    }
    case token::kDynamic: {
        ByteReader body(in.bytes(in.u16()));
        r.kind = Request::Kind::Dynamic;
        r.dynamicType = body.u8();
        const uint8_t status = body.u8();
        r.dynamicId = std::string(body.bVarchar());
        if (body.remaining() >= 2) {
            const uint16_t n = body.u16();
            r.sql = std::string(body.bytes(n));
        }
        if (status & 0x01)
            r.params = readParameters(in);
        return r;
    }
    case token::kOptionCmd: {
        ByteReader body(in.bytes(in.u16()));
        r.kind = Request::Kind::Option;
        r.optionCommand = body.u8();
        r.option = body.u8();
        if (!body.atEnd())
            r.optionArg = std::string(body.bVarchar());
        return r;
    }
    case token::kLogout:
        r.kind = Request::Kind::Logout;
        return r;
    default:
        r.kind = Request::Kind::Unsupported;
        return r;
    }
}

} // namespace devserver

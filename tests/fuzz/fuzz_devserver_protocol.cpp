// Fuzz target: the development server's reading of what clients send. Arbitrary bytes go
// through the packet assembler (in chunks of arbitrary sizes, as they would arrive from a
// socket) and every complete message through the login or request parser; payloads are
// also given to the parsers directly. Malformed input may only raise ProtocolError: any
// other exception, crash or sanitizer report is a fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "ByteBuffer.h"
#include "PacketIo.h"
#include "RequestReader.h"

using namespace devserver;

namespace {

void parse(const Message& message, bool loggedIn) {
    try {
        if (!loggedIn) {
            (void)parseLogin(message.payload);
        } else {
            (void)parseRequest(message);
        }
    } catch (const ProtocolError&) {
    }
}

void assemble(FuzzedDataProvider& data) {
    MessageAssembler assembler(data.ConsumeBool() ? 4096 : 1u << 20);
    const bool loggedIn = data.ConsumeBool();
    if (loggedIn) {
        assembler.setAcceptedTypes({packet::kNormal, packet::kLanguage, packet::kAttention});
    } else {
        assembler.setAcceptedTypes({packet::kLogin, packet::kPreLogin});
    }
    while (data.remaining_bytes() > 0) {
        const std::string chunk =
            data.ConsumeBytesAsString(data.ConsumeIntegralInRange<size_t>(1, 700));
        assembler.append(chunk.data(), chunk.size());
        for (;;) {
            Message message;
            std::string error;
            const ParseResult result = assembler.next(message, error);
            if (result == ParseResult::Error) {
                return; // the server closes the connection here
            }
            if (result == ParseResult::NeedMore) {
                break;
            }
            if (message.type != packet::kAttention) {
                parse(message, loggedIn);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        assemble(data);
        break;
    case 1:
        parse(Message{packet::kLogin, data.ConsumeRemainingBytesAsString()}, false);
        break;
    case 2:
        parse(Message{packet::kNormal, data.ConsumeRemainingBytesAsString()}, true);
        break;
    default:
        parse(Message{packet::kLanguage, data.ConsumeRemainingBytesAsString()}, true);
        break;
    }
    return 0;
}

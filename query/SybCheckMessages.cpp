// TSybConnect::CheckMessages: empties the connection's diagnostic queue into events and
// one exception.
#include <memory>
#include <string>
#include <vector>

#include "host/SysUtils.h"
#include "query/SybConnection.h"

namespace tovrin {

namespace {

[[noreturn]] void raiseMessageHandlingFailed() {
    throw host::Exception("Message handling failed");
}

// Appends a message's text to the collected text, pieces joined by ";" and a line feed.
void appendMessage(std::string& collected, const TSybMessage& message) {
    const std::string piece = host::Trim(message.GetMsgText());
    const std::string sofar = host::Trim(collected);
    collected = sofar.empty() ? piece : sofar + ";\n" + piece;
}

} // namespace

void TSybConnect::CheckMessages() {
    if (FConnection == nullptr || !ctDLLLoaded) {
        return;
    }
    std::string collected;

    CS_INT count = 0;
    if (ct_diag(FConnection, CS_STATUS, CS_SERVERMSG_TYPE, CS_UNUSED, &count) != CS_SUCCEED) {
        raiseMessageHandlingFailed();
    }
    TSybMessageProc infoHandler = FOnServerMessage;
    TSybMessageProc errorHandler = FOnServerError;
    if (const TSybQuery* query = FActiveQuery.load(); query != nullptr) {
        if (detail::queryHooks.serverMessage != nullptr) {
            if (TSybMessageProc handler = detail::queryHooks.serverMessage(query)) {
                infoHandler = std::move(handler);
            }
        }
        if (detail::queryHooks.serverError != nullptr) {
            if (TSybMessageProc handler = detail::queryHooks.serverError(query)) {
                errorHandler = std::move(handler);
            }
        }
    }
    for (CS_INT index = 1; index <= count; ++index) {
        CS_SERVERMSG record{};
        if (ct_diag(FConnection, CS_GET, CS_SERVERMSG_TYPE, index, &record) != CS_SUCCEED) {
            raiseMessageHandlingFailed();
        }
        const TSybServerMessage message(&record);
        bool handled = false;
        if (message.Severity() >= 11) {
            errorHandler(&message, handled);
            if (!handled) {
                appendMessage(collected, message);
            }
        } else {
            infoHandler(&message, handled);
        }
    }

    // Every client message is read before the handle may be dropped; informational ones
    // (severity 0) leave the connection open and stay out of the exception text.
    if (ct_diag(FConnection, CS_STATUS, CS_CLIENTMSG_TYPE, CS_UNUSED, &count) != CS_SUCCEED) {
        raiseMessageHandlingFailed();
    }
    std::vector<std::unique_ptr<TSybClientMessage>> failures;
    for (CS_INT index = 1; index <= count; ++index) {
        CS_CLIENTMSG record{};
        if (ct_diag(FConnection, CS_GET, CS_CLIENTMSG_TYPE, index, &record) != CS_SUCCEED) {
            raiseMessageHandlingFailed();
        }
        auto message = std::make_unique<TSybClientMessage>(&record);
        if (message->Severity() != CS_SV_INFORM) {
            failures.push_back(std::move(message));
        }
    }
    ct_diag(FConnection, CS_CLEAR, CS_ALLMSG_TYPE, CS_UNUSED, nullptr);

    if (!failures.empty()) {
        // The connection is unusable: close it if it was open, then drop the handle once.
        if (FConnected && ct_close(FConnection, CS_UNUSED) != CS_SUCCEED) {
            ct_close(FConnection, CS_FORCE_CLOSE);
        }
        ct_con_drop(FConnection);
        FConnection = nullptr;
        FConnected = false;
        for (const auto& message : failures) {
            appendMessage(collected, *message);
        }
    }

    if (!host::Trim(collected).empty()) {
        throw host::Exception(collected);
    }
}

} // namespace tovrin

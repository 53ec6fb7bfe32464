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
    const std::string collected = CollectMessages();
    if (!host::Trim(collected).empty()) {
        throw host::Exception(collected);
    }
}

std::string TSybConnect::CollectMessages() {
    if (FConnection == nullptr || !ctDLLLoaded) {
        return {};
    }
    // The whole queue is read and cleared first: whatever a handler does (raise, run
    // another command), no message is ever delivered twice.
    CS_INT count = 0;
    if (ct_diag(FConnection, CS_STATUS, CS_SERVERMSG_TYPE, CS_UNUSED, &count) != CS_SUCCEED) {
        raiseMessageHandlingFailed();
    }
    std::vector<std::unique_ptr<TSybServerMessage>> serverMessages;
    for (CS_INT index = 1; index <= count; ++index) {
        CS_SERVERMSG record{};
        if (ct_diag(FConnection, CS_GET, CS_SERVERMSG_TYPE, index, &record) != CS_SUCCEED) {
            raiseMessageHandlingFailed();
        }
        serverMessages.push_back(std::make_unique<TSybServerMessage>(&record));
    }
    // Informational client messages (severity 0) leave the connection open and stay out
    // of the exception text.
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

    // A client-library failure makes the connection unusable: it is closed and its handle
    // dropped once, also when a server message's handler raises.
    struct CloseOnFailure {
        TSybConnect& self;
        bool failed;
        ~CloseOnFailure() {
            if (!failed) {
                return;
            }
            if (self.FConnected && ct_close(self.FConnection, CS_UNUSED) != CS_SUCCEED) {
                ct_close(self.FConnection, CS_FORCE_CLOSE);
            }
            ct_con_drop(self.FConnection);
            self.FConnection = nullptr;
            self.FConnected = false;
        }
    } closeOnFailure{*this, !failures.empty()};

    TSybMessageProc infoHandler = FOnServerMessage;
    TSybMessageProc errorHandler = FOnServerError;
    if (const TSybCommandClient* client = FActiveQuery.load(); client != nullptr) {
        if (client->OnServerMessage()) {
            infoHandler = client->OnServerMessage();
        }
        if (client->OnServerError()) {
            errorHandler = client->OnServerError();
        }
    }
    std::string collected;
    for (const auto& message : serverMessages) {
        bool handled = false;
        if (message->Severity() >= 11) {
            errorHandler(message.get(), handled);
            if (!handled) {
                appendMessage(collected, *message);
            }
        } else {
            infoHandler(message.get(), handled);
        }
    }
    for (const auto& message : failures) {
        appendMessage(collected, *message);
    }
    return collected;
}

} // namespace tovrin

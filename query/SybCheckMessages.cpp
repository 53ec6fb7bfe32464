// TSybConnect::CheckMessages: empties the connection's diagnostic queue into events and
// one exception; a command's failure on a dead connection drops it and says it was lost.
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybConnection.h"

namespace tovrin {

namespace {

[[noreturn]] void raiseMessageHandlingFailed() {
    throw host::Exception("Message handling failed");
}

// Every message of one type on the connection's queue, in order (the queue is left as it
// is).
template <typename Record, typename Message>
std::vector<std::unique_ptr<Message>> readQueue(CS_CONNECTION* connection, CS_INT type) {
    CS_INT count = 0;
    if (ct_diag(connection, CS_STATUS, type, CS_UNUSED, &count) != CS_SUCCEED) {
        raiseMessageHandlingFailed();
    }
    std::vector<std::unique_ptr<Message>> messages;
    for (CS_INT index = 1; index <= count; ++index) {
        Record record{};
        if (ct_diag(connection, CS_GET, type, index, &record) != CS_SUCCEED) {
            raiseMessageHandlingFailed();
        }
        messages.push_back(std::make_unique<Message>(&record));
    }
    return messages;
}

} // namespace

void TSybConnect::CheckMessages() {
    TSybMessageLog log;
    CollectMessages(log);
    log.RaiseIfAny();
}

std::string TSybConnect::CollectMessages() {
    TSybMessageLog log;
    CollectMessages(log);
    return log.Text();
}

void TSybConnect::CollectMessages(TSybMessageLog& Log) {
    if (FConnection == nullptr || !ctDLLLoaded) {
        return;
    }
    // The whole queue is read and cleared first: whatever a handler does (raise, run
    // another command), no message is ever delivered twice.
    const auto serverMessages =
        readQueue<CS_SERVERMSG, TSybServerMessage>(FConnection, CS_SERVERMSG_TYPE);
    // Informational client messages (severity 0) leave the connection open and stay out
    // of the exception text.
    auto failures = readQueue<CS_CLIENTMSG, TSybClientMessage>(FConnection, CS_CLIENTMSG_TYPE);
    std::erase_if(failures,
                  [](const auto& message) { return message->Severity() == CS_SV_INFORM; });
    ct_diag(FConnection, CS_CLEAR, CS_ALLMSG_TYPE, CS_UNUSED, nullptr);

    // A client-library failure makes the connection unusable: it is closed and its handle
    // dropped once, also when a server message's handler raises.
    struct CloseOnFailure {
        TSybConnect& self;
        bool failed;
        ~CloseOnFailure() {
            if (failed) {
                self.dropLostConnection();
            }
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
    for (const auto& message : serverMessages) {
        bool handled = false;
        const bool error = message->Severity() >= 11;
        if (error) {
            errorHandler(message.get(), handled);
        } else {
            infoHandler(message.get(), handled);
        }
        Log.AddServerMessage(*message, error && !handled);
    }
    for (const auto& message : failures) {
        Log.AddClientFailure(*message);
    }
}

bool TSybConnect::ConnectionDead() const {
    CS_INT status = 0;
    return FConnection != nullptr && ctDLLLoaded &&
           ct_con_props(FConnection, CS_GET, CS_CON_STATUS, &status, CS_UNUSED, nullptr) ==
               CS_SUCCEED &&
           (status & CS_CONSTAT_DEAD) != 0;
}

void TSybConnect::RaiseCommandFailure(const std::string& Failure) {
    TSybMessageLog log;
    RaiseCommandFailure(Failure, log);
}

void TSybConnect::RaiseCommandFailure(const std::string& Failure, TSybMessageLog& Log) {
    // The status is read first: reading the messages may drop the handle.
    const bool dead = ConnectionDead();
    CollectMessages(Log);
    const std::string collected = host::Trim(Log.Text());
    if (dead) {
        dropLostConnection();
        const std::string lost = "Connection to server \"" + FServerName + "\" lost";
        throw ESybConnectionLost(collected.empty() ? lost : collected + ";\n" + lost);
    }
    Log.RaiseIfAny();
    throw host::Exception(Failure);
}

void TSybConnect::dropLostConnection() noexcept {
    if (FConnection == nullptr || !ctDLLLoaded) {
        return;
    }
    if (FConnected && ct_close(FConnection, CS_UNUSED) != CS_SUCCEED) {
        ct_close(FConnection, CS_FORCE_CLOSE);
    }
    ct_con_drop(FConnection);
    FConnection = nullptr;
    FConnected = false;
}

} // namespace tovrin

// Server and client messages: copying them out of the library's records and formatting
// them for exception texts.
#include "tovrin5/query/SybMessages.h"

#include <algorithm>

#include "tovrin5/host/SysUtils.h"

namespace tovrin {

namespace {

// The library reports the length; never read past the record's buffer.
std::string copyText(const CS_CHAR* text, CS_INT length, std::size_t capacity) {
    if (length <= 0) {
        return {};
    }
    return std::string(text, std::min(static_cast<std::size_t>(length), capacity));
}

} // namespace

TSybServerMessage::TSybServerMessage(const CS_SERVERMSG* Msg) {
    if (Msg == nullptr) {
        return;
    }
    FMsgNumber = Msg->msgnumber;
    FSeverity = Msg->severity;
    FText = copyText(Msg->text, Msg->textlen, sizeof Msg->text);
    FState = Msg->state;
    FLine = Msg->line;
    FProcName = copyText(Msg->proc, Msg->proclen, sizeof Msg->proc);
    FServerName = copyText(Msg->svrname, Msg->svrnlen, sizeof Msg->svrname);
}

std::string TSybServerMessage::GetMsgText() const {
    return "Message " + std::to_string(FMsgNumber) + ",Level " + std::to_string(FSeverity) + ": " +
           FText + " ";
}

TSybClientMessage::TSybClientMessage(const CS_CLIENTMSG* Msg) {
    if (Msg == nullptr) {
        return;
    }
    FMsgNumber = Msg->msgnumber;
    FSeverity = Msg->severity;
    FText = copyText(Msg->msgstring, Msg->msgstringlen, sizeof Msg->msgstring);
}

std::string TSybClientMessage::GetMsgText() const {
    return "Client library error " + std::to_string(FMsgNumber) + ", severity " +
           std::to_string(FSeverity) + ", number " + std::to_string(CS_NUMBER(FMsgNumber)) +
           ", origin " + std::to_string(CS_ORIGIN(FMsgNumber)) + ", layer " +
           std::to_string(CS_LAYER(FMsgNumber)) + " " + FText + " ";
}

ESybServerError::ESybServerError(const std::string& Text,
                                 std::vector<TSybServerMessageRecord> Messages,
                                 std::size_t FirstError)
    : ESybQueryError(Text), m_messages(std::move(Messages)) {
    if (FirstError < m_messages.size()) {
        m_first = m_messages[FirstError];
    }
}

void TSybMessageLog::AddServerMessage(const TSybMessage& Message, bool Unhandled) {
    if (Unhandled && !m_hasServerError) {
        m_hasServerError = true;
        m_firstError = m_messages.size();
    }
    m_messages.push_back(TSybServerMessageRecord{
        Message.MsgNumber(), Message.Severity(), Message.State(), Message.Line(),
        Message.ProcName(), Message.ServerName(), Message.Text()});
    if (Unhandled) {
        append(Message);
    }
}

void TSybMessageLog::AddClientFailure(const TSybMessage& Message) {
    append(Message);
}

void TSybMessageLog::append(const TSybMessage& Message) {
    const std::string piece = host::Trim(Message.GetMsgText());
    const std::string sofar = host::Trim(m_text);
    m_text = sofar.empty() ? piece : sofar + ";\n" + piece;
}

void TSybMessageLog::RaiseIfAny() const {
    if (host::Trim(m_text).empty()) {
        return;
    }
    if (m_hasServerError) {
        throw ESybServerError(m_text, m_messages, m_firstError);
    }
    throw host::Exception(m_text);
}

} // namespace tovrin

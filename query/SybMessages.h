// Diagnostics of a connection as objects: a server message or a client-library message
// with its number, severity and text, the event type that receives them, the log of one
// command's messages, and the package's exception classes.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/host/Events.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Persistent.h"

namespace tovrin {

/// One diagnostic message. The object belongs to whoever reads the message queue and
/// lives only while it is handed to an event.
class TSybMessage : public host::TObject {
public:
    ~TSybMessage() override = default;
    [[nodiscard]] std::string ClassName() const override { return "TSybMessage"; }

    /// The message as it appears in an exception text.
    [[nodiscard]] virtual std::string GetMsgText() const = 0;

    [[nodiscard]] CS_INT MsgNumber() const noexcept { return FMsgNumber; }
    [[nodiscard]] CS_INT Severity() const noexcept { return FSeverity; }
    [[nodiscard]] const std::string& Text() const noexcept { return FText; }
    /// The server's state number of the error (0 for client-library messages).
    [[nodiscard]] CS_INT State() const noexcept { return FState; }
    /// The line of the batch or procedure the server was running (0 when none).
    [[nodiscard]] CS_INT Line() const noexcept { return FLine; }
    /// The stored procedure that raised the message; empty for the batch itself.
    [[nodiscard]] const std::string& ProcName() const noexcept { return FProcName; }
    /// The name of the server that sent the message; empty for client-library messages.
    [[nodiscard]] const std::string& ServerName() const noexcept { return FServerName; }

protected:
    TSybMessage() = default;

    CS_INT FMsgNumber = 0;
    CS_INT FSeverity = 0;
    std::string FText;
    CS_INT FState = 0;
    CS_INT FLine = 0;
    std::string FProcName;
    std::string FServerName;
};

/// A message sent by the server (error, warning or information).
class TSybServerMessage final : public TSybMessage {
public:
    /// Copies number, severity, state, line, the first textlen bytes of the text and the
    /// procedure and server names; with nullptr the message is empty (all 0 and empty).
    explicit TSybServerMessage(const CS_SERVERMSG* Msg);
    [[nodiscard]] std::string ClassName() const override { return "TSybServerMessage"; }
    /// "Message <number>,Level <severity>: <text> " (with the trailing blank).
    [[nodiscard]] std::string GetMsgText() const override;
};

/// A message raised by the client library itself.
class TSybClientMessage final : public TSybMessage {
public:
    /// Copies number, severity and the first msgstringlen bytes of the text; with nullptr
    /// the message is empty.
    explicit TSybClientMessage(const CS_CLIENTMSG* Msg);
    [[nodiscard]] std::string ClassName() const override { return "TSybClientMessage"; }
    /// "Client library error <number>, severity <severity>, number <n>, origin <o>,
    /// layer <l> <text> ".
    [[nodiscard]] std::string GetMsgText() const override;
};

/// Receives a message. Msg is valid only during the call; setting Handled to true keeps a
/// server error out of the exception raised afterwards.
using TSybMessageProc = host::TEvent<void(const TSybMessage* Msg, bool& Handled)>;

/// Raised by the query for requests it cannot serve (an unsupported numeric precision, a
/// locate with a multi-dimensional value array).
class ESybQueryError : public host::Exception {
public:
    using host::Exception::Exception;
};

/// A server message as an exception keeps it.
struct TSybServerMessageRecord {
    CS_INT MsgNumber = 0;
    CS_INT Severity = 0;
    CS_INT State = 0;
    CS_INT Line = 0;
    std::string ProcName;
    std::string ServerName;
    std::string Text;
};

/// Raised for errors the server reported and no handler marked handled. The text is the
/// text of every such error, joined by ";" and a line feed; MsgNumber, Severity, State,
/// Line and ProcName are those of the first of them, and Messages holds every server
/// message of the command (information and handled errors too), in the order received.
/// An application branches on MsgNumber, e.g. to retry a deadlock (1205).
class ESybServerError : public ESybQueryError {
public:
    /// Text only (all numbers 0, no messages), for applications that raise it themselves.
    using ESybQueryError::ESybQueryError;
    ESybServerError(const std::string& Text, std::vector<TSybServerMessageRecord> Messages,
                    std::size_t FirstError);

    [[nodiscard]] CS_INT MsgNumber() const noexcept { return m_first.MsgNumber; }
    [[nodiscard]] CS_INT Severity() const noexcept { return m_first.Severity; }
    [[nodiscard]] CS_INT State() const noexcept { return m_first.State; }
    [[nodiscard]] CS_INT Line() const noexcept { return m_first.Line; }
    [[nodiscard]] const std::string& ProcName() const noexcept { return m_first.ProcName; }
    [[nodiscard]] const std::vector<TSybServerMessageRecord>& Messages() const noexcept {
        return m_messages;
    }

private:
    TSybServerMessageRecord m_first;
    std::vector<TSybServerMessageRecord> m_messages;
};

/// Raised when a command finds its connection dead (the server went away, the network
/// failed): the connection is then closed, and the next use logs in again.
class ESybConnectionLost : public host::Exception {
public:
    using host::Exception::Exception;
};

/// The messages of one command as they are read from the connection, over as many reads
/// as the command takes: every server message in order, and the unhandled errors (server
/// errors no handler handled, client-library failures) as one text.
class TSybMessageLog final {
public:
    /// Keeps a server message; Unhandled marks an error that goes into the text.
    void AddServerMessage(const TSybMessage& Message, bool Unhandled);
    /// Adds a client-library failure to the text.
    void AddClientFailure(const TSybMessage& Message);
    /// The unhandled errors' texts joined by ";" and a line feed ("" when none).
    [[nodiscard]] const std::string& Text() const noexcept { return m_text; }
    /// Raises the text when there is any: as ESybServerError when the server reported an
    /// unhandled error, otherwise (client-library failures only) as host::Exception.
    void RaiseIfAny() const;

private:
    void append(const TSybMessage& Message);

    std::string m_text;
    std::vector<TSybServerMessageRecord> m_messages;
    std::size_t m_firstError = 0;
    bool m_hasServerError = false;
};

} // namespace tovrin

// One client connection, served by one thread. States and their transitions:
//
//   LoggingIn --login()--> Serving --logout / EOF / protocol error / stop--> Closed
//          \--refused, pre-login or malformed login--> Closed
//
// In Serving, `serveOne` takes the next request and answers it with exactly one response
// message. While a response streams out, the input is polled without blocking: an attention
// cancels the response, which then ends with a DONE carrying the attention bit. Requests
// that arrive meanwhile are queued (a few at most). The session never closes its socket:
// it shuts it down, and the listener closes it after the thread has ended, so a descriptor
// number is never reused while another thread may still refer to it.
#pragma once

#include "Engine.h"
#include "Options.h"
#include "PacketIo.h"
#include "RequestReader.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace devserver {

class ResponseSink;

class ClientSession final {
public:
    ClientSession(int fd, int spid, Database& database, const ServerConfig& config,
                  const SessionOptions& options, const std::atomic<bool>& stopping);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    /// Serves the client until it leaves, misbehaves or the server stops. Never throws.
    void run() noexcept;

    /// Serves a connection that is accepted and never answered (the --silent switch).
    static void runSilent(int fd, const std::atomic<bool>& stopping) noexcept;

    /// Answers a connection that is not served with a failed login carrying `message`, sent
    /// before the client's login is read (a client reads it once its login is sent).
    static void refuse(int fd, const ServerConfig& config, const ServerMessage& message) noexcept;

private:
    bool login();
    bool serveOne(Message& message);
    bool serveRequest(Request& request);
    void answerLanguage(const Request& request);
    /// The bulk message that follows a writetext bulk: the value to store.
    void answerWriteText(const Message& message);
    void answerRpc(const Request& request);
    void answerDynamic(const Request& request);
    void answerOption(const Request& request);
    void answerUnsupported(const std::string& what);
    void answerAttention();
    /// Answers a request longer than the server accepts; the session goes on.
    void answerOversized();
    /// Converts the request's text from the client's character set; false (after answering
    /// with message 2402) when the server's cannot hold it.
    bool convertRequest(Request& request);
    /// Runs `work` against a streaming sink and ends the response (with the attention bit
    /// when the client cancelled).
    template <class Work> void respond(Work&& work, bool procedureShape = false);
    /// Waits out the result delay, polling for an attention. False when cancelled.
    bool resultDelay();

    bool readMessage(Message& out);
    bool receive(bool block);
    bool takeMessages();
    bool cancelRequested() noexcept;
    void close() noexcept;

    int m_fd;
    int m_spid;
    Database& m_database;
    const ServerConfig& m_config;
    const SessionOptions& m_options;
    const std::atomic<bool>& m_stopping;
    std::unique_ptr<Session> m_session;
    MessageAssembler m_input;
    PacketWriter m_output;
    std::deque<Message> m_queued;
    std::map<std::string, std::string> m_prepared; ///< prepared statements by id
    /// Until the login is complete, when it must be complete.
    std::optional<std::chrono::steady_clock::time_point> m_loginDeadline;
    int m_attentions = 0;
    bool m_closed = false;
    bool m_firstRequest = true; ///< nothing served yet since the login
    bool m_loginProbe = false;  ///< serving the @@spid query FreeTDS sends right after the login
    bool m_dateAndTime = true;  ///< the client library reads date and time columns
    bool m_wideFormats = false; ///< the client reads ROWFMT2 (it asked for wide tables)
    /// A writetext bulk whose value the next (bulk) message brings.
    std::optional<WriteTextStart> m_writeText;
    Charset m_clientCharset = Charset::Utf8; ///< the character set the client speaks
};

} // namespace devserver

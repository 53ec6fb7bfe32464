// Serving one client: login, requests, streaming responses, attention and logout.
#include "ClientSession.h"

#include "ResponseSink.h"
#include "TokenWriter.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

namespace devserver {

namespace {

// Bounds on one client message: tight before login, generous after (SQL text with large
// literals, text and image parameters).
constexpr size_t kMaxLoginBytes = 4096;
constexpr size_t kMaxRequestBytes = 64u << 20;
// Requests a client may send while a response is still streaming (normally none).
constexpr size_t kMaxQueued = 8;
constexpr int kPollSliceMs = 100;
// The largest network packet the server grants (a multiple of 512 that the 16-bit length of a
// packet header can carry).
constexpr uint32_t kMaxPacketSize = 65024;
// The request capability of clients that read wide row formats (ROWFMT2).
constexpr int kWideTableCapability = 59;
// Prepared statements one client may hold at once.
constexpr size_t kMaxPrepared = 4096;
// A request at least this long has its memory handed back to the system once answered.
constexpr size_t kTrimAfterBytes = 1u << 20;

// Message numbers the protocol side raises itself.
constexpr int32_t kLoginFailedMessage = 4002;
constexpr int32_t kDynamicDeclined = 2782;
constexpr int32_t kUnsupportedRequest = 7220;

constexpr std::array<uint8_t, 4> kProgramVersion = {15, 7, 0, 0};
constexpr const char* kProgramName = "Adaptive Server Enterprise";

// Request capabilities this server implements: language, RPC, multiple statements, dynamic
// statements (declined, so clients emulate them), messages, parameters, the data types of
// Codec, in-band attention, server-chosen packet size and long identifiers.
CapabilityMask supportedRequests() {
    CapabilityMask m{};
    auto set = [&m](int n) { m[13 - n / 8] |= static_cast<uint8_t>(1u << (n % 8)); };
    for (int n : {1, 2, 4, 7, 40, 49, 50, 51, 59, 79, 83})
        set(n);
    for (int n = 8; n <= 32; ++n)
        set(n);
    return m;
}

ServerMessage errorMessage(int32_t number, uint8_t severity, std::string text) {
    ServerMessage m;
    m.number = number;
    m.severity = severity;
    m.text = std::move(text);
    return m;
}

// ct_options of the date order: SET with the client library's value 1 (mdy) … 6 (dym),
// DEFAULT back to the server's. The library refuses other values before sending; any that
// arrives is ignored.
void applyDateFormatOption(Session& session, const Request& request, DateOrder serverOrder) {
    constexpr uint8_t kSet = 1, kDefault = 2;
    if (request.optionCommand == kDefault) {
        session.setDateOrder(serverOrder);
    } else if (request.optionCommand == kSet && request.optionArg.size() == 1) {
        const int order = static_cast<uint8_t>(request.optionArg[0]);
        if (order >= 1 && order <= 6)
            session.setDateOrder(static_cast<DateOrder>(order - 1));
    }
}

/// A failed login's answer: the reason, a LOGINACK saying it failed and the final DONE.
void writeLoginRefusal(ByteWriter& out, const ServerConfig& config, const ServerMessage& reason) {
    writeEed(out, reason, config.serverName);
    writeLoginAck(out, kLoginFailed, kProgramName, kProgramVersion);
    writeDone(out, token::kDone, done::kFinal, 0);
}

std::vector<RpcParameter> toRpcParameters(const std::vector<ClientParam>& in) {
    std::vector<RpcParameter> out;
    out.reserve(in.size());
    for (const ClientParam& p : in)
        out.push_back(RpcParameter{p.name, p.format.column, p.value, p.output});
    return out;
}

} // namespace

ClientSession::ClientSession(int fd, int spid, Database& database, const ServerConfig& config,
                             const SessionOptions& options, const std::atomic<bool>& stopping)
    : m_fd(fd), m_spid(spid), m_database(database), m_config(config), m_options(options),
      m_stopping(stopping), m_input(kMaxLoginBytes), m_output(fd) {
    m_input.setAcceptedTypes({packet::kLogin, packet::kPreLogin});
}

ClientSession::~ClientSession() = default;

void ClientSession::close() noexcept {
    if (!m_closed)
        ::shutdown(m_fd, SHUT_RDWR);
    m_closed = true;
}

void ClientSession::run() noexcept {
    try {
        if (login()) {
            Message message;
            while (!m_closed && readMessage(message))
                if (!serveOne(message))
                    break;
        }
    } catch (const ProtocolError& e) {
        std::fprintf(stderr, "client %d: protocol error: %s\n", m_spid, e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "client %d: %s\n", m_spid, e.what());
    } catch (...) {
        std::fprintf(stderr, "client %d: unknown failure\n", m_spid);
    }
    try {
        m_session.reset();
    } catch (...) {
    }
    close();
}

void ClientSession::refuse(int fd, const ServerConfig& config,
                           const ServerMessage& message) noexcept {
    try {
        PacketWriter output(fd);
        writeLoginRefusal(output.out(), config, message);
        output.endMessage();
    } catch (...) {
        // Nothing more can be told to this client.
    }
}

void ClientSession::runSilent(int fd, const std::atomic<bool>& stopping) noexcept {
    char buffer[4096];
    while (!stopping) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, kPollSliceMs);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
            break;
    }
    ::shutdown(fd, SHUT_RDWR);
}

// ---------------------------------------------------------------------------------------
// Input

bool ClientSession::receive(bool block) {
    char buffer[65536];
    for (;;) {
        if (block && m_loginDeadline && std::chrono::steady_clock::now() >= *m_loginDeadline) {
            std::fprintf(stderr, "client %d: no complete login in time\n", m_spid);
            return false;
        }
        if (block) {
            pollfd p{m_fd, POLLIN, 0};
            const int r = ::poll(&p, 1, kPollSliceMs);
            if (m_stopping)
                return false;
            if (r == 0 || (r < 0 && errno == EINTR))
                continue;
            if (r < 0)
                return false;
        }
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, block ? 0 : MSG_DONTWAIT);
        if (n > 0) {
            m_input.append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        if (!block && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
}

// Moves complete messages from the input buffer to the queue; attentions are counted.
bool ClientSession::takeMessages() {
    Message message;
    std::string error;
    for (;;) {
        const ParseResult r = m_input.next(message, error);
        if (r == ParseResult::NeedMore)
            return true;
        if (r == ParseResult::Error)
            throw ProtocolError(error);
        if (message.type == packet::kAttention) {
            // An attention cancels everything the client sent before it: requests not yet
            // started are dropped, and the acknowledgement follows the current response.
            m_queued.clear();
            ++m_attentions;
            continue;
        }
        if (m_queued.size() >= kMaxQueued)
            throw ProtocolError("too many requests sent while a response was pending");
        m_queued.push_back(std::move(message));
    }
}

bool ClientSession::readMessage(Message& out) {
    for (;;) {
        if (m_attentions > 0) {
            // An attention that arrived while idle: acknowledge it at once.
            --m_attentions;
            answerAttention();
            continue;
        }
        if (!m_queued.empty()) {
            out = std::move(m_queued.front());
            m_queued.pop_front();
            return true;
        }
        if (m_closed || !receive(true))
            return false;
        takeMessages();
    }
}

bool ClientSession::cancelRequested() noexcept {
    // Called from inside the SQL side (possibly below SQLite's C frames): never throws.
    if (m_closed || m_stopping)
        return true;
    try {
        if (!receive(false)) {
            close();
            return true;
        }
        takeMessages();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "client %d: protocol error: %s\n", m_spid, e.what());
        close();
        return true;
    }
    return m_attentions > 0;
}

// ---------------------------------------------------------------------------------------
// Login

bool ClientSession::login() {
    m_loginDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.loginTimeoutMs);
    Message message;
    if (!receive(true))
        return false;
    std::string error;
    for (;;) {
        const ParseResult r = m_input.next(message, error);
        if (r == ParseResult::Complete)
            break;
        if (r == ParseResult::Error)
            throw ProtocolError("login: " + error);
        if (!receive(true))
            return false;
    }
    // A TDS 7 pre-login (tds version = auto) or anything else but a TDS 5.0 login: close,
    // so that FreeTDS retries with a TDS 5.0 login on a new connection.
    if (message.type != packet::kLogin)
        return false;
    const LoginRecord record = parseLogin(message.payload);

    for (int waited = 0; waited < m_options.loginDelayMs && !m_stopping; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    bool accepted = record.littleEndian;
    if (m_options.user && (record.info.user != *m_options.user ||
                           record.info.password != m_options.password.value_or("")))
        accepted = false;
    if (accepted) {
        try {
            m_session = m_database.openSession(record.info, m_spid);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "client %d: cannot open a session: %s\n", m_spid, e.what());
            accepted = false;
        }
    }
    ByteWriter& out = m_output.out();
    if (!accepted) {
        writeLoginRefusal(out, m_config, errorMessage(kLoginFailedMessage, 14, "Login failed."));
        m_output.endMessage();
        return false;
    }

    uint32_t packetSize = record.packetSize;
    if (packetSize < packet::kDefaultSize)
        packetSize = packet::kDefaultSize;
    if (packetSize > kMaxPacketSize)
        packetSize = kMaxPacketSize;
    // A client that names no character set speaks the server's; one that names another
    // the server can convert to gets its own, as Adaptive Server does; any other name is
    // reported and the server's used.
    m_clientCharset = m_config.serverCharset;
    if (!record.charset.empty()) {
        if (const std::optional<Charset> asked = charsetByName(record.charset)) {
            m_clientCharset = *asked;
        } else {
            writeEed(out,
                     errorMessage(kCharsetUnavailableMessage, 11,
                                  "Character set conversion is not available between client "
                                  "character set '" +
                                      record.charset + "' and server character set '" +
                                      charsetName(m_config.serverCharset) + "'."),
                     m_config.serverName);
        }
    }
    const std::string database = m_session->currentDatabase();
    writeEnvChange(out, env::kDatabase, database, "master");
    writeEnvChange(out, env::kLanguage, "us_english", "");
    writeEnvChange(out, env::kCharset, charsetName(m_clientCharset), "");
    writeEnvChange(out, env::kPacketSize, std::to_string(packetSize), "512");
    writeLoginAck(out, kLoginSucceeded, kProgramName, kProgramVersion);
    CapabilityMask request = supportedRequests();
    CapabilityMask response{};
    if (record.hasCapabilities) {
        for (size_t i = 0; i < request.size(); ++i)
            request[i] &= record.request[i];
        response = record.response;
    }
    writeCapability(out, request, response);
    writeDone(out, token::kDone, done::kFinal, 0);
    if (!m_output.endMessage())
        return false;
    // db-lib (bsqldb, pymssql) has no date and time types, and a client without the
    // date/time request capabilities cannot read them either: such clients get datetime.
    const auto capable = [&](int n) { return (record.request[13 - n / 8] >> (n % 8)) & 1; };
    m_dateAndTime =
        record.library != "DB-Library" && (!record.hasCapabilities || (capable(71) && capable(72)));
    m_wideFormats = record.hasCapabilities && capable(kWideTableCapability);
    m_loginDeadline.reset();
    m_output.setPacketSize(packetSize);
    m_input.setMaxMessageBytes(kMaxRequestBytes);
    m_input.setDropOversized(true);
    m_input.setAcceptedTypes(
        {packet::kNormal, packet::kLanguage, packet::kAttention, packet::kBulk});
    return true;
}

// ---------------------------------------------------------------------------------------
// Requests

namespace {

/// "select @@spid", whatever the case and spacing.
bool isSpidProbe(const std::string& sql) {
    std::string squeezed;
    for (char c : sql)
        if (!std::isspace(static_cast<unsigned char>(c)))
            squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return squeezed == "select@@spid";
}

} // namespace

bool ClientSession::serveOne(Message& message) {
    if (message.type == packet::kBulk && m_writeText) {
        answerWriteText(message);
        return !m_closed && !m_output.failed();
    }
    m_writeText.reset();
    if (message.type != packet::kNormal && message.type != packet::kLanguage)
        throw ProtocolError("unexpected packet type " + std::to_string(message.type));
    if (message.oversized) {
        answerOversized();
        return !m_closed && !m_output.failed();
    }
    const bool large = message.payload.size() >= kTrimAfterBytes;
    Request request = parseRequest(message);
    std::string().swap(message.payload);
    const bool served = serveRequest(request);
    if (large) {
        // What a long request took (its text, tokens, translation) is free again; hand it
        // back so that one large request does not keep the server large.
        request = Request{};
        ::malloc_trim(0);
    }
    return served;
}

bool ClientSession::serveRequest(Request& request) {
    if (!convertRequest(request))
        return !m_closed && !m_output.failed();
    // The client library's own query right after the login is not counted by the
    // --drop-after-rows switch.
    m_loginProbe =
        m_firstRequest && request.kind == Request::Kind::Language && isSpidProbe(request.sql);
    m_firstRequest = false;
    switch (request.kind) {
    case Request::Kind::Language:
        answerLanguage(request);
        break;
    case Request::Kind::Rpc:
        answerRpc(request);
        break;
    case Request::Kind::Dynamic:
        answerDynamic(request);
        break;
    case Request::Kind::Option:
        answerOption(request);
        break;
    case Request::Kind::Logout:
        writeDone(m_output.out(), token::kDone, done::kFinal, 0);
        m_output.endMessage();
        return false;
    case Request::Kind::Unsupported:
        answerUnsupported("requests of token type " + std::to_string(request.token));
        break;
    }
    return !m_closed && !m_output.failed();
}

template <class Work> void ClientSession::respond(Work&& work, bool procedureShape) {
    ResponseSink::Hooks hooks;
    hooks.cancelRequested = [this] { return cancelRequested(); };
    hooks.inTransaction = [this] { return m_session && m_session->inTransaction(); };
    hooks.drop = [this] { close(); };
    ResponseSink sink(m_output, m_config.serverName, m_loginProbe ? -1 : m_options.dropAfterRows,
                      std::move(hooks), m_dateAndTime);
    sink.setCharsets(m_clientCharset, m_config.serverCharset);
    sink.setWideFormats(m_wideFormats);
    sink.setProcedureShape(procedureShape);
    if (resultDelay()) {
        try {
            work(sink);
        } catch (const ProtocolError&) {
            throw;
        } catch (const std::exception& e) {
            sink.message(errorMessage(kUnsupportedRequest, 16, e.what()));
            sink.done(DoneKind::Statement, true, std::nullopt);
        }
    }
    if (sink.broken() || m_closed) {
        close();
        return;
    }
    const bool attention = m_attentions > 0;
    if (attention)
        --m_attentions;
    sink.finish(attention);
    // Further attentions each get their own acknowledgement.
    while (m_attentions > 0 && !m_output.failed()) {
        --m_attentions;
        answerAttention();
    }
}

bool ClientSession::resultDelay() {
    for (int waited = 0; waited < m_options.resultDelayMs; waited += 10) {
        if (cancelRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ClientSession::answerLanguage(const Request& request) {
    if (!request.languageParams) {
        if (auto start = parseWriteTextStart(request.sql)) {
            // The value follows in a bulk message; this command itself only succeeds.
            m_writeText = std::move(start);
            writeDone(m_output.out(), token::kDone, done::kFinal, 0);
            m_output.endMessage();
            return;
        }
    }
    if (request.languageParams) {
        const std::vector<RpcParameter> params = toRpcParameters(request.params);
        respond([&](ResponseSink& sink) {
            m_session->executeBatchWithParams(request.sql, params, sink);
        });
        return;
    }
    // FreeTDS sends bare language packets only for the executions of prepared statements it
    // emulates; they are answered like real ones (see ResponseSink::setProcedureShape).
    respond([&](ResponseSink& sink) { m_session->executeBatch(request.sql, sink); },
            request.rawLanguage);
}

void ClientSession::answerWriteText(const Message& message) {
    const WriteTextStart start = std::move(*m_writeText);
    m_writeText.reset();
    const std::optional<std::string> value = bulkTextValue(message.payload);
    // A pointer this server never sent names no row (row ids start at 1).
    const int64_t row = textPointerRow(start.pointer).value_or(0);
    respond([&](ResponseSink& sink) {
        if (!value) {
            sink.message(errorMessage(kUnsupportedRequest, 16,
                                      "The text sent is not as long as announced."));
            sink.done(DoneKind::Statement, true, std::nullopt);
            return;
        }
        m_session->writeText(start.object, row, *value, sink);
    });
}

void ClientSession::answerRpc(const Request& request) {
    const std::vector<RpcParameter> params = toRpcParameters(request.params);
    respond([&](ResponseSink& sink) { m_session->executeRpc(request.rpcName, params, sink); });
}

void ClientSession::answerDynamic(const Request& request) {
    constexpr uint8_t kPrepare = 0x01, kExecute = 0x02, kDealloc = 0x04, kExecImmediate = 0x08;
    if (request.dynamicType == kExecImmediate) {
        respond([&](ResponseSink& sink) { m_session->executeBatch(request.sql, sink); });
        return;
    }
    if (request.dynamicType == kExecute) {
        const auto it = m_prepared.find(request.dynamicId);
        if (it != m_prepared.end()) {
            const std::vector<RpcParameter> params = toRpcParameters(request.params);
            const std::string sql = it->second;
            respond([&](ResponseSink& sink) { m_session->executeWithMarkers(sql, params, sink); },
                    true);
            return;
        }
    }
    ByteWriter& out = m_output.out();
    const int markers =
        request.dynamicType == kPrepare ? m_session->countParameterMarkers(request.sql) : -1;
    if (request.dynamicType == kPrepare && markers >= 0 && m_prepared.size() < kMaxPrepared) {
        // Described as varchar inputs: the client converts whatever it binds to text, which
        // the statement then compares and stores as it would a literal.
        m_prepared[request.dynamicId] = request.sql;
        writeDynamicAck(out, request.dynamicId);
        if (markers > 0) {
            const ColumnType text{SqlType::VarChar, 255, 0, 0, true};
            Column input;
            input.type = text;
            const std::vector<Column> inputs(static_cast<size_t>(markers), input);
            const std::vector<WireFormat> formats(static_cast<size_t>(markers), describe(text));
            writeParamFormat(out, inputs, formats, false);
        }
        writeDone(out, token::kDone, done::kFinal, 0);
    } else if (request.dynamicType == kPrepare) {
        // Declined: FreeTDS then emulates the statement, sending each execution as plain
        // language text with the parameters written as literals.
        writeDynamicAck(out, request.dynamicId);
        writeEed(out,
                 errorMessage(kDynamicDeclined, 16,
                              "Dynamic statements are not supported; execute them as language "
                              "commands."),
                 m_config.serverName);
        writeDone(out, token::kDone, done::kError, 0);
    } else if (request.dynamicType == kDealloc) {
        m_prepared.erase(request.dynamicId);
        writeDynamicAck(out, request.dynamicId);
        writeDone(out, token::kDone, done::kFinal, 0);
    } else {
        writeEed(out,
                 errorMessage(kUnsupportedRequest, 16,
                              "Dynamic statement '" + request.dynamicId + "' is not prepared."),
                 m_config.serverName);
        writeDone(out, token::kDone, done::kError, 0);
    }
    m_output.endMessage();
}

void ClientSession::answerOption(const Request& request) {
    constexpr uint8_t kSet = 1, kDefault = 2, kList = 3;
    constexpr uint8_t kDateFirst = 1, kTextSize = 2, kRowCount = 5, kDateFormat = 7, kIsolation = 8;
    ByteWriter& out = m_output.out();
    if (request.option == kTextSize &&
        (request.optionCommand == kSet || request.optionCommand == kDefault)) {
        int32_t size = 0;
        if (request.optionCommand == kSet && request.optionArg.size() == 4) {
            ByteReader arg(request.optionArg);
            size = arg.i32();
        }
        m_session->setTextSize(size);
    }
    // The options that map onto the session's settings: their value as the client sent it
    // (one byte for on/off and a day, four for a count), or the default.
    const auto sessionOption = [](uint8_t option) -> std::optional<SessionOption> {
        switch (option) {
        case kDateFirst:
            return SessionOption::DateFirst;
        case kRowCount:
            return SessionOption::RowCount;
        case 21:
            return SessionOption::NoCount;
        case 24:
            return SessionOption::FormatOnly;
        case 25:
            return SessionOption::Chained;
        case 34:
            return SessionOption::AnsiNull;
        case 14:
            return SessionOption::NoExec;
        default:
            return std::nullopt;
        }
    };
    if (request.option == kDateFormat)
        applyDateFormatOption(*m_session, request, m_config.dateOrder);
    const auto known = sessionOption(request.option);
    if (known && request.optionCommand == kSet) {
        int32_t value = 0;
        ByteReader arg(request.optionArg);
        if (request.optionArg.size() == 4)
            value = arg.i32();
        else if (request.optionArg.size() == 1)
            value = arg.u8();
        m_session->setOption(*known, value);
    } else if (known && request.optionCommand == kDefault) {
        m_session->setOption(*known, *known == SessionOption::DateFirst ? 7 : 0);
    } else if (request.optionCommand == kSet && (request.option == 17 || request.option == 37)) {
        // arithabort on / off, with the kinds it applies to as its argument.
        const bool overflow = request.optionArg.empty() || (request.optionArg[0] & 0x01) != 0;
        if (overflow)
            m_session->setOption(SessionOption::ArithAbort, request.option == 17 ? 1 : 0);
    }
    if (request.optionCommand == kList) {
        std::string arg(1, '\0');
        switch (request.option) {
        case kDateFormat:
            arg[0] = static_cast<char>(
                static_cast<int>(m_session->dateOrder().value_or(m_config.dateOrder)) + 1);
            break;
        case kDateFirst:
            arg[0] = static_cast<char>(m_session->option(SessionOption::DateFirst));
            break;
        case kIsolation:
            arg[0] = 1;
            break;
        case kTextSize: {
            ByteWriter size;
            size.i32(m_session->textSize());
            arg = size.data();
            break;
        }
        case kRowCount: {
            ByteWriter count;
            count.i32(m_session->option(SessionOption::RowCount));
            arg = count.data();
            break;
        }
        default:
            if (known)
                arg[0] = static_cast<char>(m_session->option(*known) != 0);
            break;
        }
        writeOptionInfo(out, request.option, arg);
    }
    writeDone(out, token::kDone, done::kFinal, 0);
    m_output.endMessage();
}

bool ClientSession::convertRequest(Request& request) {
    const Charset server = m_config.serverCharset;
    if (m_clientCharset == Charset::Utf8 && server == Charset::Utf8)
        return true;
    bool ok = true;
    std::string converted;
    const auto convert = [&](std::string& text) {
        if (ok && textFromClient(text, m_clientCharset, server, converted))
            text.swap(converted);
        else
            ok = false;
    };
    convert(request.sql);
    convert(request.rpcName);
    for (ClientParam& p : request.params) {
        convert(p.name);
        const SqlType type = p.format.column.type;
        if (!p.value.isNull &&
            (type == SqlType::Char || type == SqlType::VarChar || type == SqlType::Text))
            convert(p.value.bytes);
    }
    if (ok)
        return true;
    // Nothing of the request runs: text the server cannot hold is never stored changed.
    ByteWriter& out = m_output.out();
    writeEed(out,
             errorMessage(kClientCharsMessage, 16,
                          "Error converting client characters into server's character set. Some "
                          "character(s) could not be converted."),
             m_config.serverName);
    writeDone(out, token::kDone, done::kError, 0);
    m_output.endMessage();
    return false;
}

void ClientSession::answerUnsupported(const std::string& what) {
    ByteWriter& out = m_output.out();
    writeEed(out,
             errorMessage(kUnsupportedRequest, 16, "This server does not support " + what + "."),
             m_config.serverName);
    writeDone(out, token::kDone, done::kError, 0);
    m_output.endMessage();
}

void ClientSession::answerOversized() {
    answerUnsupported("requests longer than " + std::to_string(kMaxRequestBytes >> 20) + " MiB");
}

void ClientSession::answerAttention() {
    writeDone(m_output.out(), token::kDone, done::kAttention, 0);
    m_output.endMessage();
}

} // namespace devserver

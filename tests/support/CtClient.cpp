// ct-lib client helper for tests.
#include "support/CtClient.h"

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr CS_INT kMaxValueBytes = 16 << 20;

CtConnection* owner(CS_CONNECTION* con) {
    CtConnection* self = nullptr;
    if (con && ct_con_props(con, CS_GET, CS_USERDATA, &self, sizeof self, nullptr) != CS_SUCCEED)
        return nullptr;
    return self;
}

std::string describeMessages(const std::vector<CtMessage>& messages) {
    std::string s;
    for (const CtMessage& m : messages)
        s += " [" + std::to_string(m.number) + "/" + std::to_string(m.severity) + "] " + m.text;
    return s;
}

} // namespace

std::vector<const CtResult*> CtBatch::rowResults(CS_INT type) const {
    std::vector<const CtResult*> out;
    for (const CtResult& r : results)
        if (r.type == type)
            out.push_back(&r);
    return out;
}

std::vector<int> CtBatch::returnStatuses() const {
    std::vector<int> out;
    for (const CtResult* r : rowResults(CS_STATUS_RESULT))
        for (const auto& row : r->rows)
            if (!row.empty() && row[0].raw.size() == sizeof(CS_INT)) {
                CS_INT v = 0;
                std::copy_n(row[0].raw.data(), sizeof v, reinterpret_cast<char*>(&v));
                out.push_back(v);
            }
    return out;
}

std::vector<CtMessage> CtBatch::errors() const {
    std::vector<CtMessage> out;
    for (const CtMessage& m : messages)
        if (m.fromServer && m.severity > 10)
            out.push_back(m);
    return out;
}

CS_RETCODE CtConnection::onServerMessage(CS_CONTEXT*, CS_CONNECTION* con, CS_SERVERMSG* msg) {
    if (CtConnection* self = owner(con)) {
        CtMessage m;
        m.fromServer = true;
        m.number = msg->msgnumber;
        m.severity = msg->severity;
        m.state = msg->state;
        m.line = msg->line;
        m.text.assign(msg->text, static_cast<size_t>(std::max<CS_INT>(msg->textlen, 0)));
        m.server.assign(msg->svrname, static_cast<size_t>(std::max<CS_INT>(msg->svrnlen, 0)));
        m.procedure.assign(msg->proc, static_cast<size_t>(std::max<CS_INT>(msg->proclen, 0)));
        self->m_messages.push_back(std::move(m));
    }
    return CS_SUCCEED;
}

CS_RETCODE CtConnection::onClientMessage(CS_CONTEXT*, CS_CONNECTION* con, CS_CLIENTMSG* msg) {
    if (CtConnection* self = owner(con)) {
        CtMessage m;
        m.fromServer = false;
        m.number = CS_NUMBER(msg->msgnumber);
        m.severity = CS_SEVERITY(msg->msgnumber);
        m.text.assign(msg->msgstring, static_cast<size_t>(std::max<CS_INT>(msg->msgstringlen, 0)));
        self->m_messages.push_back(std::move(m));
    }
    return CS_SUCCEED;
}

bool CtConnection::open(const std::string& server, const std::string& user,
                        const std::string& password, const std::string& appName) {
    if (cs_ctx_alloc(CS_VERSION_100, &m_context) != CS_SUCCEED)
        throw std::runtime_error("cs_ctx_alloc failed");
    if (ct_init(m_context, CS_VERSION_100) != CS_SUCCEED)
        throw std::runtime_error("ct_init failed");
    ct_callback(m_context, nullptr, CS_SET, CS_SERVERMSG_CB,
                reinterpret_cast<CS_VOID*>(&CtConnection::onServerMessage));
    ct_callback(m_context, nullptr, CS_SET, CS_CLIENTMSG_CB,
                reinterpret_cast<CS_VOID*>(&CtConnection::onClientMessage));
    if (ct_con_alloc(m_context, &m_connection) != CS_SUCCEED)
        throw std::runtime_error("ct_con_alloc failed");
    CtConnection* self = this;
    ct_con_props(m_connection, CS_SET, CS_USERDATA, &self, sizeof self, nullptr);
    ct_con_props(m_connection, CS_SET, CS_USERNAME, const_cast<char*>(user.c_str()), CS_NULLTERM,
                 nullptr);
    ct_con_props(m_connection, CS_SET, CS_PASSWORD, const_cast<char*>(password.c_str()),
                 CS_NULLTERM, nullptr);
    ct_con_props(m_connection, CS_SET, CS_APPNAME, const_cast<char*>(appName.c_str()), CS_NULLTERM,
                 nullptr);
    m_connected =
        ct_connect(m_connection, const_cast<char*>(server.c_str()), CS_NULLTERM) == CS_SUCCEED;
    return m_connected;
}

CtConnection::CtConnection(const std::string& server, const std::string& user,
                           const std::string& password, const std::string& appName) {
    bool ok = false;
    try {
        ok = open(server, user, password, appName);
    } catch (...) {
        release();
        throw;
    }
    if (!ok) {
        const std::string detail = describeMessages(m_messages);
        release();
        throw std::runtime_error("ct_connect to " + server + " failed:" + detail);
    }
}

std::unique_ptr<CtConnection> CtConnection::tryConnect(const std::string& server,
                                                       const std::string& user,
                                                       const std::string& password,
                                                       std::vector<CtMessage>* messages) {
    std::unique_ptr<CtConnection> c(new CtConnection(NoConnect{}));
    const bool ok = c->open(server, user, password, "tovrin-tests");
    if (messages)
        *messages = c->takeMessages();
    if (!ok)
        return nullptr;
    return c;
}

CtConnection::~CtConnection() {
    release();
}

void CtConnection::release() noexcept {
    if (m_connection) {
        if (m_connected && ct_close(m_connection, CS_UNUSED) != CS_SUCCEED)
            ct_close(m_connection, CS_FORCE_CLOSE);
        ct_con_drop(m_connection);
        m_connection = nullptr;
    }
    if (m_context) {
        if (ct_exit(m_context, CS_UNUSED) != CS_SUCCEED)
            ct_exit(m_context, CS_FORCE_EXIT);
        cs_ctx_drop(m_context);
        m_context = nullptr;
    }
}

std::vector<CtMessage> CtConnection::takeMessages() {
    std::vector<CtMessage> out;
    out.swap(m_messages);
    return out;
}

CtCommand CtConnection::newCommand() {
    CS_COMMAND* cmd = nullptr;
    if (ct_cmd_alloc(m_connection, &cmd) != CS_SUCCEED)
        throw std::runtime_error("ct_cmd_alloc failed");
    return CtCommand(cmd);
}

CtBatch CtConnection::execute(const std::string& sql) {
    CtCommand cmd = newCommand();
    if (ct_command(cmd.get(), CS_LANG_CMD, sql.c_str(), static_cast<CS_INT>(sql.size()),
                   CS_UNUSED) != CS_SUCCEED ||
        ct_send(cmd.get()) != CS_SUCCEED) {
        CtBatch b;
        b.ok = false;
        b.messages = takeMessages();
        return b;
    }
    return collect(cmd.get());
}

CtBatch CtConnection::collect(CS_COMMAND* cmd) {
    CtBatch batch;
    CS_INT type = 0;
    CS_RETCODE rc;
    while ((rc = ct_results(cmd, &type)) == CS_SUCCEED) {
        CtResult result;
        result.type = type;
        switch (type) {
        case CS_ROW_RESULT:
        case CS_PARAM_RESULT:
        case CS_STATUS_RESULT:
        case CS_COMPUTE_RESULT:
            fetchAll(cmd, result);
            break;
        case CS_CMD_DONE: {
            CS_INT count = -1;
            if (ct_res_info(cmd, CS_ROW_COUNT, &count, CS_UNUSED, nullptr) == CS_SUCCEED)
                result.rowCount = count;
            break;
        }
        case CS_CMD_FAIL:
            batch.failed = true;
            break;
        default:
            break;
        }
        batch.results.push_back(std::move(result));
    }
    if (rc != CS_END_RESULTS)
        batch.ok = false;
    batch.messages = takeMessages();
    return batch;
}

void CtConnection::fetchAll(CS_COMMAND* cmd, CtResult& result) {
    CS_INT count = 0;
    if (ct_res_info(cmd, CS_NUMDATA, &count, CS_UNUSED, nullptr) != CS_SUCCEED)
        throw std::runtime_error("ct_res_info(CS_NUMDATA) failed");
    std::vector<CS_DATAFMT> formats(static_cast<size_t>(count));
    std::vector<std::string> buffers(static_cast<size_t>(count));
    std::vector<CS_INT> copied(static_cast<size_t>(count));
    std::vector<CS_SMALLINT> indicators(static_cast<size_t>(count));
    for (CS_INT i = 0; i < count; ++i) {
        CS_DATAFMT& f = formats[static_cast<size_t>(i)];
        f = CS_DATAFMT{};
        if (ct_describe(cmd, i + 1, &f) != CS_SUCCEED)
            throw std::runtime_error("ct_describe failed for column " + std::to_string(i + 1));
        CtColumn c;
        c.name.assign(f.name, static_cast<size_t>(std::clamp<CS_INT>(f.namelen, 0, CS_MAX_NAME)));
        c.datatype = f.datatype;
        c.maxLength = f.maxlength;
        c.precision = f.precision;
        c.scale = f.scale;
        c.status = f.status;
        c.usertype = f.usertype;
        result.columns.push_back(c);
        const CS_INT size = std::clamp<CS_INT>(f.maxlength, 64, kMaxValueBytes);
        buffers[static_cast<size_t>(i)].assign(static_cast<size_t>(size), '\0');
        f.maxlength = size;
        f.count = 1;
        f.format = CS_FMT_UNUSED;
        if (ct_bind(cmd, i + 1, &f, buffers[static_cast<size_t>(i)].data(),
                    &copied[static_cast<size_t>(i)],
                    &indicators[static_cast<size_t>(i)]) != CS_SUCCEED)
            throw std::runtime_error("ct_bind failed for column " + std::to_string(i + 1));
    }
    CS_INT rows = 0;
    CS_RETCODE rc;
    while ((rc = ct_fetch(cmd, CS_UNUSED, CS_UNUSED, CS_UNUSED, &rows)) == CS_SUCCEED ||
           rc == CS_ROW_FAIL) {
        std::vector<CtValue> row;
        for (size_t i = 0; i < formats.size(); ++i) {
            CtValue v;
            v.isNull = indicators[i] == -1;
            if (!v.isNull) {
                v.raw.assign(buffers[i].data(), static_cast<size_t>(std::clamp<CS_INT>(
                                                    copied[i], 0, formats[i].maxlength)));
                CS_DATAFMT src = formats[i];
                src.maxlength = static_cast<CS_INT>(v.raw.size());
                if (src.datatype == CS_CHAR_TYPE || src.datatype == CS_LONGCHAR_TYPE ||
                    src.datatype == CS_VARCHAR_TYPE || src.datatype == CS_TEXT_TYPE) {
                    v.text = v.raw;
                } else {
                    CS_DATAFMT dst{};
                    dst.datatype = CS_CHAR_TYPE;
                    dst.format = CS_FMT_UNUSED;
                    dst.maxlength = static_cast<CS_INT>(v.raw.size() * 2 + 128);
                    dst.count = 1;
                    std::string text(static_cast<size_t>(dst.maxlength), '\0');
                    CS_INT length = 0;
                    if (cs_convert(m_context, &src, v.raw.data(), &dst, text.data(), &length) ==
                        CS_SUCCEED)
                        text.resize(
                            static_cast<size_t>(std::clamp<CS_INT>(length, 0, dst.maxlength)));
                    else
                        text = "<unconvertible>";
                    v.text = std::move(text);
                }
            }
            row.push_back(std::move(v));
        }
        result.rows.push_back(std::move(row));
    }
}

} // namespace testsupport

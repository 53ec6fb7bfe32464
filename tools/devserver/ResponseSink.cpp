// Streaming of results into tokens and packets.
#include "ResponseSink.h"

#include "TokenWriter.h"

#include <algorithm>

namespace devserver {

namespace {
// How often (in rows) the input is polled for an attention while rows stream out, besides
// after each send.
constexpr int64_t kPollEveryRows = 256;

bool isCharacter(SqlType type) {
    return type == SqlType::Char || type == SqlType::VarChar || type == SqlType::Text;
}

/// Number of characters of UTF-8 text (continuation bytes not counted).
size_t utf8Length(const std::string& s) {
    size_t n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}
} // namespace

ResponseSink::ResponseSink(PacketWriter& out, std::string serverName, int64_t dropAfterRows,
                           Hooks hooks, bool dateAndTime)
    : m_out(out), m_serverName(std::move(serverName)), m_dropAfterRows(dropAfterRows),
      m_hooks(std::move(hooks)), m_dateAndTime(dateAndTime) {}

void ResponseSink::releaseHeld() {
    if (!m_held)
        return;
    writeDone(m_out.out(), m_held->token, m_held->status | done::kMore, m_held->count);
    m_held.reset();
}

void ResponseSink::pump() {
    if (m_out.pump() && !m_cancelled && m_hooks.cancelRequested && m_hooks.cancelRequested())
        m_cancelled = true;
}

WireFormat ResponseSink::clientFormat(const ColumnType& type) const {
    if (m_serverCharset != Charset::Iso1 || m_clientCharset != Charset::Utf8 ||
        (type.type != SqlType::Char && type.type != SqlType::VarChar))
        return describe(type, m_dateAndTime);
    // Each ISO-8859-1 character takes up to two bytes in UTF-8. Fixed-length values are
    // padded here, in characters, so they travel as variable-length ones.
    ColumnType wide = type;
    wide.type = SqlType::VarChar;
    wide.length = std::max<int32_t>(type.length, 1) * 2;
    return describe(wide, m_dateAndTime);
}

void ResponseSink::convertRow(std::vector<Value>& values) {
    for (size_t i = 0; i < values.size() && i < m_columnTypes.size(); ++i) {
        Value& v = values[i];
        const ColumnType& type = m_columnTypes[i];
        if (v.isNull || !isCharacter(type.type))
            continue;
        if (type.type == SqlType::Char && m_serverCharset == Charset::Iso1 &&
            m_clientCharset == Charset::Utf8) {
            const size_t length = utf8Length(v.bytes);
            const size_t width = static_cast<size_t>(std::max<int32_t>(type.length, 1));
            if (length < width)
                v.bytes.append(width - length, ' ');
        }
        v.bytes = textToClient(v.bytes, m_clientCharset, m_lossy);
    }
}

void ResponseSink::rowFormat(const std::vector<Column>& columns) {
    releaseHeld();
    m_formats.clear();
    m_computeFormats.clear();
    m_formats.reserve(columns.size());
    m_columnTypes.clear();
    m_named = columns;
    for (Column& c : m_named) {
        m_formats.push_back(clientFormat(c.type));
        m_formats.back().table = c.table;
        if (c.timestamp)
            m_formats.back().usertype = wire::kUserTypeTimestamp;
        m_columnTypes.push_back(c.type);
        bool ignored = false;
        for (std::string* name :
             {&c.name, &c.origin.database, &c.origin.owner, &c.origin.table, &c.origin.column})
            *name = textToClient(*name, m_clientCharset, ignored);
    }
    writeRowFormat(m_out.out(), m_named, m_formats, m_wideFormats);
    m_rowsInResult = 0;
    pump();
}

void ResponseSink::browseInfo(const std::vector<Column>& columns, const BrowseInfo& info) {
    (void)columns; // the names as the row format sent them
    BrowseInfo converted = info;
    bool ignored = false;
    for (std::string& table : converted.tables)
        table = textToClient(table, m_clientCharset, ignored);
    writeBrowseInfo(m_out.out(), m_named, converted);
    pump();
}

void ResponseSink::computeFormat(int id, const std::vector<ComputeColumn>& columns,
                                 const std::vector<int>& by) {
    std::vector<WireFormat> formats;
    std::vector<std::string> labels;
    for (const ComputeColumn& c : columns) {
        formats.push_back(clientFormat(c.type));
        switch (c.op) {
        case 0x4b:
            labels.emplace_back("count");
            break;
        case 0x4d:
            labels.emplace_back("sum");
            break;
        case 0x4f:
            labels.emplace_back("avg");
            break;
        case 0x51:
            labels.emplace_back("min");
            break;
        default:
            labels.emplace_back("max");
            break;
        }
    }
    writeComputeFormat(m_out.out(), static_cast<uint16_t>(id), labels, columns, formats, by);
    m_computeFormats[id] = std::move(formats);
    pump();
}

void ResponseSink::computeRow(int id, const std::vector<Value>& values) {
    if (m_cancelled || broken())
        return;
    auto it = m_computeFormats.find(id);
    if (it == m_computeFormats.end())
        return;
    writeComputeRow(m_out.out(), static_cast<uint16_t>(id), it->second, values);
    pump();
}

bool ResponseSink::row(const std::vector<Value>& values) {
    if (m_cancelled || broken())
        return false;
    const auto dropHere = [this] {
        if (m_dropAfterRows < 0 || m_rowsInResult < m_dropAfterRows)
            return false;
        m_out.flushPartial();
        m_dropped = true;
        if (m_hooks.drop)
            m_hooks.drop();
        return true;
    };
    if (dropHere()) // --drop-after-rows 0: not even one row
        return false;
    if (m_clientCharset == Charset::Utf8 && m_serverCharset == Charset::Utf8) {
        writeRow(m_out.out(), m_formats, values);
    } else {
        std::vector<Value> converted = values;
        convertRow(converted);
        writeRow(m_out.out(), m_formats, converted);
    }
    ++m_rowsInResult;
    if (dropHere())
        return false;
    pump();
    if (m_rowsInResult % kPollEveryRows == 0 && cancelled())
        return false;
    return !m_cancelled && !broken();
}

void ResponseSink::done(DoneKind kind, bool error, std::optional<int64_t> rowCount) {
    releaseHeld();
    if (m_lossy) {
        // As Adaptive Server does: the statement completes, then the warning follows.
        m_lossy = false;
        ServerMessage warning;
        warning.number = kServerCharsMessage;
        warning.severity = 16;
        warning.text = "WARNING! Some character(s) could not be converted into client's "
                       "character set. Unconverted bytes were changed to question marks ('?').";
        writeEed(m_out.out(), warning, m_serverName);
    }
    HeldDone d{token::kDone, 0, 0};
    if (m_procedureShape && kind == DoneKind::Statement)
        kind = DoneKind::InProcedure;
    if (error)
        m_anyError = true;
    if (kind == DoneKind::InProcedure) {
        d.token = token::kDoneInProc;
        d.status |= done::kProc;
    } else if (kind == DoneKind::Procedure) {
        d.token = token::kDoneProc;
    }
    if (error)
        d.status |= done::kError;
    if (rowCount) {
        d.status |= done::kCount;
        d.count = *rowCount;
    }
    if (m_hooks.inTransaction && m_hooks.inTransaction())
        d.status |= done::kInXact;
    m_held = d;
    pump();
}

void ResponseSink::message(const ServerMessage& message) {
    releaseHeld();
    if (m_clientCharset == Charset::Utf8) {
        writeEed(m_out.out(), message, m_serverName);
    } else {
        ServerMessage converted = message;
        bool ignored = false;
        converted.text = textToClient(message.text, m_clientCharset, ignored);
        converted.procedure = textToClient(message.procedure, m_clientCharset, ignored);
        writeEed(m_out.out(), converted, m_serverName);
    }
    pump();
}

void ResponseSink::returnStatus(int32_t status) {
    releaseHeld();
    writeReturnStatus(m_out.out(), status);
    pump();
}

void ResponseSink::outputParameters(const std::vector<Column>& params,
                                    const std::vector<Value>& values) {
    releaseHeld();
    std::vector<WireFormat> formats;
    formats.reserve(params.size());
    m_columnTypes.clear();
    std::vector<Column> named = params;
    for (Column& p : named) {
        formats.push_back(clientFormat(p.type));
        m_columnTypes.push_back(p.type);
        bool ignored = false;
        p.name = textToClient(p.name, m_clientCharset, ignored);
    }
    writeParamFormat(m_out.out(), named, formats);
    std::vector<Value> converted = values;
    convertRow(converted);
    writeParams(m_out.out(), formats, converted);
    pump();
}

void ResponseSink::databaseChanged(const std::string& oldName, const std::string& newName) {
    releaseHeld();
    bool ignored = false;
    writeEnvChange(m_out.out(), env::kDatabase, textToClient(newName, m_clientCharset, ignored),
                   textToClient(oldName, m_clientCharset, ignored));
    pump();
}

bool ResponseSink::cancelled() {
    if (!m_cancelled && !broken() && m_hooks.cancelRequested && m_hooks.cancelRequested())
        m_cancelled = true;
    return m_cancelled || broken();
}

void ResponseSink::finish(bool attention) {
    if (broken())
        return;
    if (attention) {
        m_held.reset();
        writeDone(m_out.out(), token::kDone, done::kAttention, 0);
    } else if (m_procedureShape) {
        releaseHeld();
        uint16_t status = m_anyError ? done::kError : done::kFinal;
        if (m_hooks.inTransaction && m_hooks.inTransaction())
            status |= done::kInXact;
        writeDone(m_out.out(), token::kDoneProc, status, 0);
    } else if (m_held) {
        writeDone(m_out.out(), m_held->token, m_held->status, m_held->count);
        m_held.reset();
    } else {
        const bool inXact = m_hooks.inTransaction && m_hooks.inTransaction();
        writeDone(m_out.out(), token::kDone, inXact ? done::kInXact : done::kFinal, 0);
    }
    m_out.endMessage();
}

} // namespace devserver

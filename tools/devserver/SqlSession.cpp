// The session's interpreter: runs the statements of a batch or procedure one by one,
// following if/while/begin…end, and turns each statement's failure into a server message
// and an error DONE. Most failures end only their statement; an arithmetic overflow or a
// divide by zero ends the batch and rolls back the open transaction, as the server does
// under its default `arithabort arith_overflow on`.
#include "SqlSession.h"

#include "SqlCatalog.h"
#include "SqlDatabase.h"
#include "SqlErrors.h"
#include "SqlTimestamp.h"
#include "TypesCatalog.h"

#include <atomic>
#include <cctype>

namespace devserver {

namespace {

/// Arithmetic overflow and divide by zero: they end the batch, not only the statement.
bool abortsBatch(const SqlError& e) {
    switch (e.number()) {
    case 220:
    case 232:
    case 247:
    case 3606:
    case 3607:
        return true;
    default:
        return false;
    }
}

} // namespace

SqlSession::SqlSession(SqlDatabase& database, LoginInfo login, int spid)
    : m_server(database), m_login(std::move(login)), m_spid(spid),
      m_dateOrder(database.config().dateOrder) {
    static std::atomic<int> owners{0};
    m_lockOwner = ++owners;
    m_server.noteSession({m_spid, m_login.user, m_login.host, m_database});
}

SqlSession::~SqlSession() {
    m_server.forgetSession(m_spid);
    if (m_tranCount > 0) {
        try {
            endStorageTransaction(false);
        } catch (...) {
            // The connection closes next; SQLite rolls back what is left.
        }
    }
    m_server.locks().releaseAll(m_lockOwner);
}

bool SqlSession::cancelled() {
    return m_aborted || (m_sink && m_sink->cancelled());
}

SqlConnection& SqlSession::connectionFor(const std::string& name) {
    std::string key = lower(name);
    auto it = m_connections.find(key);
    if (it != m_connections.end())
        return *it->second;
    std::string actual = m_server.find(name);
    if (actual.empty())
        throw SqlError(911, 11,
                       "Attempt to locate entry in sysdatabases for database '" + name +
                           "' by name failed - no entry found under that name. Make sure "
                           "that the name is entered properly.");
    ConnectionHooks hooks;
    hooks.databaseName = actual;
    hooks.userName = m_login.user.empty() ? "dbo" : m_login.user;
    hooks.dateOrder = m_dateOrder;
    hooks.cancelled = [this] { return m_sink && m_sink->cancelled(); };
    hooks.dateFirst = [this] { return m_dateFirst; };
    hooks.lockTable = [this, actual](const char* schema, const char* table, bool write) {
        return lockTable(actual, schema, table, write);
    };
    auto connection = std::make_unique<SqlConnection>(m_server.uriOf(actual), std::move(hooks));
    if (m_server.isScratch(actual))
        connection->exec("pragma synchronous=off");
    auto& ref = *connection;
    m_connections[key] = std::move(connection);
    return ref;
}

std::string SqlSession::catalogOf(const std::string& schema) {
    if (schema == "main")
        return m_server.find(m_database);
    if (schema == "temp")
        return "tempdb";
    const std::string attached = m_server.find(schema);
    return attached.empty() ? schema : attached;
}

SqlConnection& SqlSession::connection() {
    return connectionFor(m_database);
}

std::string SqlSession::schemaFor(const std::string& database) {
    std::string actual = m_server.find(database);
    if (actual.empty())
        (void)connectionFor(database); // throws the unknown-database error
    SqlConnection& c = connection();
    std::string schema = lower(actual);
    if (sqlite3_db_filename(c.handle(), schema.c_str()) == nullptr) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(c.handle(), "attach database ?1 as ?2", -1, &stmt, nullptr);
        std::string uri = m_server.uriOf(actual);
        sqlite3_bind_text(stmt, 1, uri.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
        int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw sqliteError(c.handle(), rc);
    }
    return schema;
}

std::pair<SqlValue, std::optional<ColumnType>> SqlSession::variable(const Token& token,
                                                                    Frame& frame) {
    if (token.kind == Token::Kind::GlobalVariable) {
        std::string name = lower(token.text);
        ColumnType intType;
        if (name == "@@spid")
            return {SqlValue::ofInteger(m_spid), intType};
        if (name == "@@rowcount")
            return {SqlValue::ofInteger(m_rowCount), intType};
        if (name == "@@error")
            return {SqlValue::ofInteger(m_lastError), intType};
        if (name == "@@trancount")
            return {SqlValue::ofInteger(m_tranCount), intType};
        if (name == "@@nestlevel")
            return {SqlValue::ofInteger(frame.depth), intType};
        if (name == "@@identity")
            return {SqlValue::ofInteger(m_identity), intType};
        if (name == "@@dbts") {
            ColumnType stamp;
            stamp.type = SqlType::VarBinary;
            stamp.length = 8;
            return {databaseTimestamp(connection()), stamp};
        }
        if (name == "@@textsize")
            return {SqlValue::ofInteger(m_textSize), intType};
        if (name == "@@sqlstatus" || name == "@@transtate")
            return {SqlValue::ofInteger(0), intType};
        ColumnType text;
        text.type = SqlType::VarChar;
        text.length = 255;
        if (name == "@@version")
            return {SqlValue::ofText(m_server.config().version), text};
        if (name == "@@servername")
            return {SqlValue::ofText(m_server.config().serverName), text};
        if (name == "@@language")
            return {SqlValue::ofText("us_english"), text};
        if (name == "@@charsetname")
            return {SqlValue::ofText(charsetName(m_server.config().serverCharset)), text};
        return {SqlValue::null(), std::nullopt};
    }
    auto it = frame.variables.find(lower(token.text));
    if (it == frame.variables.end())
        throw undeclaredVariable(token.text);
    return {it->second.value, it->second.type};
}

namespace {

bool isDateTimeDeclaration(const char* declared) {
    if (!declared)
        return false;
    auto type = parseDeclaredType(declared);
    return type && (type->type == SqlType::DateTime || type->type == SqlType::SmallDateTime ||
                    type->type == SqlType::Date || type->type == SqlType::Time);
}

} // namespace

std::optional<bool> SqlSession::isDateTimeColumn(const std::string& table,
                                                 const std::string& column) {
    sqlite3* db = connection().handle();
    auto query = [&](const char* sql, bool bindTable) -> std::optional<bool> {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            return std::nullopt;
        }
        sqlite3_bind_text(stmt, 1, column.c_str(), -1, SQLITE_TRANSIENT);
        if (bindTable)
            sqlite3_bind_text(stmt, 2, table.c_str(), -1, SQLITE_TRANSIENT);
        std::optional<bool> result;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            bool date =
                isDateTimeDeclaration(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            result = result.value_or(false) || date;
        }
        sqlite3_finalize(stmt);
        return result;
    };
    if (!table.empty()) {
        if (auto known = query(
                "select type from pragma_table_info(?2) where name = ?1 collate nocase", true))
            return known;
    }
    return query(
        "select p.type from (select name from sqlite_schema where type in ('table', 'view')"
        " union all select name from sqlite_temp_schema where type in ('table', 'view')) m"
        " join pragma_table_info(m.name) p where p.name = ?1 collate nocase",
        false);
}

std::vector<std::string> SqlSession::columnsOf(const std::string& table) {
    std::vector<std::string> columns;
    sqlite3* db = connection().handle();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select name from pragma_table_info(?1) order by cid", -1, &stmt,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return columns;
}

TranslateContext SqlSession::context(Frame& frame) {
    TranslateContext ctx;
    ctx.dateOrder = m_dateOrder;
    ctx.ansiNull = m_ansiNull;
    ctx.rowLimit = m_rowLimit;
    ctx.currentDatabase = m_database;
    ctx.variable = [this, &frame](const Token& t) { return variable(t, frame); };
    ctx.schemaFor = [this](const std::string& name) { return schemaFor(name); };
    ctx.isDateTimeColumn = [this](const std::string& table, const std::string& column) {
        return isDateTimeColumn(table, column);
    };
    ctx.columnsOf = [this](const std::string& table) { return columnsOf(table); };
    ctx.probeColumns =
        [this](const std::string& sql) -> std::optional<std::vector<std::optional<ColumnType>>> {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(connection().handle(), sql.c_str(), static_cast<int>(sql.size()),
                               &stmt, nullptr) != SQLITE_OK ||
            !stmt) {
            sqlite3_finalize(stmt);
            return std::nullopt;
        }
        std::vector<std::optional<ColumnType>> types;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const char* declared = sqlite3_column_decltype(stmt, c);
            types.push_back(declared ? parseDeclaredType(declared) : std::nullopt);
        }
        sqlite3_finalize(stmt);
        return types;
    };
    ctx.marker = [this](const Token& t) {
        auto it = m_markers.find(t.begin);
        if (it == m_markers.end())
            throw syntaxError("?");
        return it->second;
    };
    return ctx;
}

void SqlSession::reportError(const SqlError& error, const Frame& frame, int line) {
    m_statementError = error.number();
    m_lastError = error.number();
    ++m_errorCount;
    if (!m_sink)
        return;
    sendMessage(error.number(), static_cast<uint8_t>(error.severity()),
                static_cast<uint8_t>(error.state()), error.what(), frame,
                static_cast<uint16_t>(std::clamp(line, 1, 65535)));
}

void SqlSession::sendMessage(int32_t number, uint8_t severity, uint8_t state, std::string text,
                             const Frame& frame, uint16_t line) {
    ServerMessage message;
    message.number = number;
    message.severity = severity;
    message.state = state;
    message.text = std::move(text);
    message.procedure = frame.procedure;
    message.line = line;
    m_sink->message(message);
}

void SqlSession::done(const Frame& frame, bool error, std::optional<int64_t> count) {
    if (m_noCount)
        count.reset();
    if (m_sink)
        m_sink->done(frame.doneKind, error, count);
}

void SqlSession::executeBatch(std::string_view sql, ResultSink& sink) {
    m_sink = &sink;
    m_markers.clear();
    Frame frame;
    runBatch(sql, frame);
    endRequest();
}

void SqlSession::endRequest() {
    m_sink = nullptr;
    // The text of a long batch is not kept between requests.
    std::string().swap(m_batchText);
}

int SqlSession::countParameterMarkers(std::string_view sql) {
    try {
        int count = 0;
        for (const Token& t : tokenize(sql))
            if (t.isOp("?"))
                ++count;
        return count;
    } catch (const SqlError&) {
        return 0; // the error is reported when the statement runs
    }
}

void SqlSession::executeWithMarkers(std::string_view sql, const std::vector<RpcParameter>& params,
                                    ResultSink& sink) {
    m_sink = &sink;
    m_markers.clear();
    Frame frame;
    try {
        size_t index = 0;
        for (const Token& t : tokenize(sql)) {
            if (!t.isOp("?"))
                continue;
            if (index >= params.size())
                throw SqlError(7332, 16,
                               "The number of parameters does not match the number of markers.");
            m_markers[t.begin] = fromWireValue(params[index].value, params[index].type);
            ++index;
        }
    } catch (const SqlError& e) {
        reportError(e, frame, 1);
        done(frame, true, std::nullopt);
        m_sink = nullptr;
        return;
    }
    runBatch(sql, frame);
    m_markers.clear();
    endRequest();
}

void SqlSession::executeBatchWithParams(std::string_view sql,
                                        const std::vector<RpcParameter>& params, ResultSink& sink) {
    m_sink = &sink;
    m_markers.clear();
    Frame frame;
    for (const RpcParameter& p : params) {
        if (p.name.empty())
            continue;
        std::string name = p.name[0] == '@' ? p.name : "@" + p.name;
        frame.variables[lower(name)] = Variable{p.type, fromWireValue(p.value, p.type)};
    }
    // Parameters without a name stand, in order, for the variables the text uses that no
    // named parameter and no declare of the batch provides, in the order they first appear.
    try {
        const std::vector<Token> tokens = tokenize(std::string(sql), m_quotedIdentifier);
        auto unnamed = params.begin();
        for (size_t i = 0; i < tokens.size(); ++i) {
            while (unnamed != params.end() && !unnamed->name.empty())
                ++unnamed;
            if (unnamed == params.end())
                break;
            const std::string name = lower(tokens[i].text);
            if (tokens[i].kind != Token::Kind::Variable || frame.variables.count(name) ||
                (i > 0 && tokens[i - 1].is("declare")))
                continue;
            frame.variables[name] =
                Variable{unnamed->type, fromWireValue(unnamed->value, unnamed->type)};
            ++unnamed;
        }
    } catch (const SqlError&) {
        // A text that does not tokenize is reported by the batch itself.
    }
    runBatch(sql, frame);
    endRequest();
}

void SqlSession::runBatch(std::string_view sql, Frame& frame) {
    m_aborted = false;
    m_batchText = std::string(sql);
    try {
        std::vector<Token> tokens = tokenize(m_batchText, m_quotedIdentifier);
        std::unique_ptr<Statement> root = parseStatements(tokens);
        const bool compound =
            root->children.size() > 1 ||
            (root->children.size() == 1 && root->children[0]->kind != Statement::Kind::Simple);
        if (compound && !compileBatch(*root, frame))
            return;
        for (size_t i = 0; i < root->children.size(); ++i) {
            if (cancelled())
                break;
            const Statement& s = *root->children[i];
            // A procedure name alone as the batch's first statement runs it.
            if (i == 0 && s.kind == Statement::Kind::Simple && !s.tokens.empty() &&
                s.tokens[0].kind == Token::Kind::Identifier && !isStatementKeyword(s.tokens[0]) &&
                !s.tokens[0].is("with")) {
                Statement exec = Statement{};
                exec.line = s.line;
                exec.begin = s.begin;
                Token word = s.tokens[0];
                word.text = "exec";
                exec.tokens.push_back(word);
                exec.tokens.insert(exec.tokens.end(), s.tokens.begin(), s.tokens.end());
                if (run(exec, frame) != Flow::Next)
                    break;
                continue;
            }
            Flow flow = run(s, frame);
            if (flow == Flow::Abort || flow == Flow::Return)
                break;
        }
    } catch (const SqlError& e) {
        reportError(e, frame, 1);
        done(frame, true, std::nullopt);
    }
}

SqlSession::Flow SqlSession::run(const Statement& statement, Frame& frame) {
    if (cancelled()) {
        m_aborted = true;
        return Flow::Abort;
    }
    switch (statement.kind) {
    case Statement::Kind::Simple:
        return runSimple(statement, frame);
    case Statement::Kind::Block:
        for (const auto& child : statement.children) {
            Flow flow = run(*child, frame);
            if (flow != Flow::Next)
                return flow;
        }
        return Flow::Next;
    case Statement::Kind::If:
        if (condition(statement.tokens, frame))
            return run(*statement.children[0], frame);
        if (m_aborted)
            return Flow::Abort;
        if (statement.children.size() > 1)
            return run(*statement.children[1], frame);
        return Flow::Next;
    case Statement::Kind::While:
        while (condition(statement.tokens, frame)) {
            Flow flow = run(*statement.children[0], frame);
            if (flow == Flow::Break)
                break;
            if (flow == Flow::Return || flow == Flow::Abort)
                return flow;
        }
        return m_aborted ? Flow::Abort : Flow::Next;
    }
    return Flow::Next;
}

bool SqlSession::condition(std::span<const Token> tokens, Frame& frame) {
    if (cancelled()) {
        m_aborted = true;
        return false;
    }
    LockScope outer;
    beginStatementLocks({}, outer);
    bool holds = false;
    try {
        refreshCatalogFor(tokens);
        std::vector<Token> rewritten;
        SqlValue v =
            evaluate(m_ansiNull ? tokens : nullComparisons(tokens, true, rewritten), frame);
        if (v.kind == SqlValue::Kind::Integer)
            holds = v.integer != 0;
        else if (v.kind == SqlValue::Kind::Real)
            holds = v.real != 0;
    } catch (const SqlError& caught) {
        const SqlError e = lockErrorOr(caught);
        if (cancelled()) {
            m_aborted = true;
        } else {
            reportError(e, frame, tokens.empty() ? 1 : tokens[0].line);
            done(frame, true, std::nullopt);
            if ((m_arithAbort && abortsBatch(e)) || isLockError(e)) {
                abortTransaction();
                m_aborted = true;
            }
        }
    }
    endStatementLocks(outer);
    return holds;
}

SqlSession::Flow SqlSession::runSimple(const Statement& statement, Frame& frame) {
    // @@error reads the status of the previous statement while this one runs.
    m_statementError = 0;
    Flow flow = Flow::Next;
    LockScope outer;
    beginStatementLocks(statement.tokens, outer);
    try {
        refreshCatalogFor(statement.tokens);
        flow = dispatch(statement, frame);
    } catch (const SqlError& caught) {
        const SqlError e = lockErrorOr(caught);
        if (cancelled()) {
            m_aborted = true;
            endStatementLocks(outer);
            return Flow::Abort;
        }
        reportError(e, frame, statement.line);
        done(frame, true, std::nullopt);
        m_rowCount = 0;
        // A lock not had ends the transaction and the batch, as an overflow does.
        if ((m_arithAbort && abortsBatch(e)) || isLockError(e)) {
            abortTransaction();
            m_aborted = true;
            flow = Flow::Abort;
        }
    }
    endStatementLocks(outer);
    m_lastError = m_statementError;
    return flow;
}

void SqlSession::setOption(SessionOption option, int32_t value) {
    switch (option) {
    case SessionOption::DateFirst:
        m_dateFirst = value >= 1 && value <= 7 ? value : 7;
        break;
    case SessionOption::NoCount:
        m_noCount = value != 0;
        break;
    case SessionOption::Chained:
        m_chained = value != 0;
        break;
    case SessionOption::FormatOnly:
        m_formatOnly = value != 0;
        break;
    case SessionOption::AnsiNull:
        m_ansiNull = value != 0;
        break;
    case SessionOption::ArithAbort:
        m_arithAbort = value != 0;
        break;
    case SessionOption::RowCount:
        m_rowLimit = std::max(0, value);
        break;
    case SessionOption::NoExec:
        m_noExec = value != 0;
        break;
    }
}

int32_t SqlSession::option(SessionOption option) const {
    switch (option) {
    case SessionOption::DateFirst:
        return m_dateFirst;
    case SessionOption::NoCount:
        return m_noCount;
    case SessionOption::Chained:
        return m_chained;
    case SessionOption::FormatOnly:
        return m_formatOnly;
    case SessionOption::AnsiNull:
        return m_ansiNull;
    case SessionOption::ArithAbort:
        return m_arithAbort;
    case SessionOption::RowCount:
        return static_cast<int32_t>(std::min<int64_t>(m_rowLimit, INT32_MAX));
    case SessionOption::NoExec:
        return m_noExec;
    }
    return 0;
}

void SqlSession::refreshCatalogFor(std::span<const Token> tokens) {
    // Only statements that name a system table pay for filling it.
    for (const Token& t : tokens) {
        if (t.kind == Token::Kind::Identifier && t.text.size() >= 7 &&
            (t.text[0] == 's' || t.text[0] == 'S') &&
            (t.text[1] == 'y' || t.text[1] == 'Y' || t.text[1] == 'p' || t.text[1] == 'P')) {
            refreshCatalog(connection(), tokens, m_server.names());
            return;
        }
    }
}

void SqlSession::abortTransaction() {
    if (m_tranCount == 0)
        return;
    m_tranCount = 0;
    try {
        endStorageTransaction(false);
    } catch (const SqlError&) {
        // SQLite may already have rolled it back itself.
    }
}

SqlSession::Flow SqlSession::dispatch(const Statement& statement, Frame& frame) {
    std::span<const Token> t(statement.tokens);
    if (t.empty())
        return Flow::Next;
    const Token& head = t[0];
    auto word = [&](size_t i, std::string_view w) { return i < t.size() && t[i].is(w); };
    if (m_noExec && !head.is("set"))
        return Flow::Next;
    if (m_chained && m_tranCount == 0 &&
        (head.is("select") || head.is("insert") || head.is("update") || head.is("delete"))) {
        // Chained mode: a data statement outside a transaction begins one.
        beginTransaction();
        m_tranCount = 1;
    }
    if (m_tranCount > 0 && changesStorage(t))
        openStorageTransaction();
    if (head.is("select") || head.is("with"))
        return runSelect(t, frame);
    if (head.is("insert") || head.is("update") || head.is("delete"))
        return runCommand(t, frame, true);
    if (head.is("truncate") && word(1, "table") && t.size() > 2) {
        std::vector<Token> rewritten(t.begin(), t.end());
        rewritten[0].text = "delete";
        rewritten[1].text = "from";
        // set rowcount limits deletes, not truncate table.
        struct Unlimited {
            int64_t& limit;
            int64_t saved;
            ~Unlimited() { limit = saved; }
        } unlimited{m_rowLimit, m_rowLimit};
        m_rowLimit = 0;
        return runCommand(rewritten, frame, false);
    }
    if (head.is("create")) {
        if (word(1, "procedure") || word(1, "proc"))
            return createProcedure(statement, frame);
        if (word(1, "table"))
            return createTable(t, frame);
        if (word(1, "database")) {
            if (t.size() < 3)
                throw syntaxError("database");
            m_server.createDatabase(t[2].text);
            done(frame, false, std::nullopt);
            return Flow::Next;
        }
        return runCommand(t, frame, false);
    }
    if (head.is("drop")) {
        if (word(1, "procedure") || word(1, "proc"))
            return dropProcedure(t, frame);
        if (word(1, "database"))
            throw SqlError(3702, 16,
                           "Cannot drop the database '" + (t.size() > 2 ? t[2].text : "") +
                               "' because it is currently in use.");
        if (word(1, "index") && t.size() == 5 && t[3].isOp(".")) {
            // drop index table.index
            std::vector<Token> rewritten{t[0], t[1], t[4]};
            return runCommand(rewritten, frame, false);
        }
        return runCommand(t, frame, false);
    }
    if (head.is("use"))
        return runUse(t, frame);
    if (head.is("print"))
        return runPrint(t, frame);
    if (head.is("raiserror"))
        return runRaiserror(t, frame);
    if (head.is("declare"))
        return runDeclare(t, frame);
    if (head.is("set"))
        return runSet(t, frame);
    if (head.is("exec") || head.is("execute"))
        return runExec(t, frame);
    if (head.is("return")) {
        if (t.size() > 1) {
            SqlValue v = evaluate(t.subspan(1), frame);
            frame.returnStatus =
                v.isNull()
                    ? 0
                    : static_cast<int32_t>(coerceValue(v, ColumnType{}, m_dateOrder).integer);
        }
        return Flow::Return;
    }
    if (head.is("break"))
        return Flow::Break;
    if (head.is("continue"))
        return Flow::Continue;
    if (head.is("begin") || head.is("commit") || head.is("rollback") || head.is("save"))
        return runTransaction(t, frame);
    if (head.is("waitfor"))
        return runWaitfor(t, frame);
    if (head.is("dbcc") || head.is("grant") || head.is("revoke")) {
        done(frame, false, std::nullopt);
        return Flow::Next;
    }
    if (head.kind != Token::Kind::Identifier)
        throw syntaxError(head.text);
    return runCommand(t, frame, false);
}

} // namespace devserver

// Stored procedures: `create procedure` keeps the procedure's text in its database's
// procedure table; `exec` (and RPC) reads it back, binds the arguments to the parameters as
// variables, runs the body with the session's interpreter and reports the return status and
// the output parameters.
#include "SqlSession.h"

#include "SqlDatabase.h"
#include "SqlErrors.h"
#include "TypesCatalog.h"

namespace devserver {

/// A parameter of a stored procedure.
struct ProcedureParameter {
    std::string name;
    ColumnType type;
    std::vector<Token> defaultValue;
    bool hasDefault = false;
    bool output = false;
};

/// A stored procedure as parsed from its source.
struct ProcedureDefinition {
    std::string name;
    std::vector<ProcedureParameter> parameters;
    std::vector<Token> tokens; ///< the whole text's tokens (the body refers into it)
    std::unique_ptr<Statement> body;
};

namespace {

constexpr int kMaxNesting = 16;

/// Parses "create proc[edure] name [(] @p type [= default] [output], … [)] [with recompile] as
/// body".
ProcedureDefinition parseProcedure(const std::string& source) {
    ProcedureDefinition def;
    def.tokens = tokenize(source);
    const auto& t = def.tokens;
    size_t i = 2;
    if (t.size() < 4)
        throw syntaxError(t.empty() ? "create" : t.back().text);
    // name, possibly owner-qualified, possibly with ";n"
    if (t[i].kind != Token::Kind::Identifier && t[i].kind != Token::Kind::QuotedIdentifier)
        throw syntaxError(t[i].text);
    def.name = t[i].text;
    ++i;
    while (i + 1 < t.size() && t[i].isOp(".")) {
        def.name = t[i + 1].text;
        i += 2;
    }
    if (i + 1 < t.size() && t[i].isOp(";") && t[i + 1].kind == Token::Kind::Number)
        i += 2;
    bool parenthesized = i < t.size() && t[i].isOp("(");
    if (parenthesized)
        ++i;
    while (i < t.size() && t[i].kind == Token::Kind::Variable) {
        ProcedureParameter p;
        p.name = t[i++].text;
        if (i < t.size() && t[i].is("as"))
            ++i;
        std::string typeText;
        if (i < t.size())
            typeText = t[i++].text;
        if (i < t.size() && t[i].isOp("(")) {
            while (i < t.size() && !t[i].isOp(")"))
                typeText += t[i++].text;
            if (i < t.size())
                typeText += t[i++].text;
        }
        auto type = parseDeclaredType(typeText);
        if (!type)
            throw SqlError(2715, 16, "Can't find type '" + typeText + "'.");
        p.type = *type;
        if (i < t.size() && t[i].isOp("=")) {
            ++i;
            p.hasDefault = true;
            int depth = 0;
            while (i < t.size()) {
                if (depth == 0 && (t[i].isOp(",") || t[i].is("output") || t[i].is("out") ||
                                   t[i].is("as") || (t[i].isOp(")") && parenthesized)))
                    break;
                if (t[i].isOp("("))
                    ++depth;
                if (t[i].isOp(")"))
                    --depth;
                p.defaultValue.push_back(t[i++]);
            }
            if (p.defaultValue.empty())
                throw syntaxError("=");
        }
        if (i < t.size() && (t[i].is("output") || t[i].is("out"))) {
            p.output = true;
            ++i;
        }
        def.parameters.push_back(std::move(p));
        if (i < t.size() && t[i].isOp(","))
            ++i;
    }
    if (parenthesized) {
        if (i >= t.size() || !t[i].isOp(")"))
            throw syntaxError(i < t.size() ? t[i].text : "(");
        ++i;
    }
    if (i + 1 < t.size() && t[i].is("with") && t[i + 1].is("recompile"))
        i += 2;
    if (i >= t.size() || !t[i].is("as"))
        throw syntaxError(i < t.size() ? t[i].text : def.name);
    ++i;
    std::vector<Token> body(t.begin() + static_cast<long>(i), t.end());
    if (body.empty())
        throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
    def.body = parseStatements(body);
    return def;
}

/// Runs `sql` (one statement on the procedure table) with ?1 bound to `name`; gives SQLite's
/// result code and, when it gave a row, the text of its first column.
std::pair<int, std::string> stepWithName(sqlite3* db, const std::string& sql,
                                         const std::string& name) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    std::string text;
    if (rc == SQLITE_ROW)
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return {rc, text};
}

} // namespace

SqlSession::Flow SqlSession::createProcedure(const Statement& statement, Frame& frame) {
    std::string source = m_batchText.substr(statement.begin);
    ProcedureDefinition def = parseProcedure(source);
    SqlConnection& conn = connection();
    sqlite3_stmt* stmt = nullptr;
    std::string sql =
        std::string("insert into ") + kProcedureTable + " (name, source) values (?1, ?2)";
    sqlite3_prepare_v2(conn.handle(), sql.c_str(), -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, def.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, source.c_str(), static_cast<int>(source.size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_CONSTRAINT)
        throw SqlError(2714, 16,
                       "There is already an object named '" + def.name + "' in the database.");
    if (rc != SQLITE_DONE)
        throw sqliteError(conn.handle(), rc);
    done(frame, false, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::dropProcedure(std::span<const Token> tokens, Frame& frame) {
    if (tokens.size() < 3)
        throw syntaxError(tokens.back().text);
    for (auto item : splitAtCommas(tokens.subspan(2))) {
        if (item.empty())
            throw syntaxError("procedure");
        std::string name = item.back().text;
        SqlConnection& conn = connection();
        const int rc =
            stepWithName(conn.handle(),
                         std::string("delete from ") + kProcedureTable + " where name = ?1", name)
                .first;
        if (rc != SQLITE_DONE)
            throw sqliteError(conn.handle(), rc);
        if (sqlite3_changes(conn.handle()) == 0)
            throw SqlError(3701, 11,
                           "Cannot drop the procedure '" + name +
                               "', because it doesn't exist in the system catalogs.");
    }
    done(frame, false, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runExec(std::span<const Token> tokens, Frame& frame) {
    size_t i = 1;
    std::optional<std::string> statusVariable;
    if (tokens.size() > 3 && tokens[1].kind == Token::Kind::Variable && tokens[2].isOp("=")) {
        statusVariable = tokens[1].text;
        i = 3;
    }
    if (i >= tokens.size())
        throw syntaxError(tokens[0].text);
    // exec ('statements'): run the text as a batch in this frame.
    if (tokens[i].isOp("(")) {
        SqlValue text = evaluate(tokens.subspan(i), frame);
        std::string saved = m_batchText;
        m_batchText = valueText(text);
        std::vector<Token> inner = tokenize(m_batchText, m_quotedIdentifier);
        auto root = parseStatements(inner);
        Flow flow = Flow::Next;
        for (const auto& child : root->children) {
            flow = run(*child, frame);
            if (flow != Flow::Next)
                break;
        }
        m_batchText = saved;
        return flow == Flow::Abort ? Flow::Abort : Flow::Next;
    }
    // The procedure's name: [db.[owner].]name or a variable holding it.
    std::vector<std::string> parts;
    if (tokens[i].kind == Token::Kind::Variable) {
        parts.push_back(valueText(variable(tokens[i], frame).first));
        ++i;
    } else {
        parts.push_back(tokens[i++].text);
        while (i < tokens.size() && tokens[i].isOp(".")) {
            ++i;
            if (i < tokens.size() && !tokens[i].isOp("."))
                parts.push_back(tokens[i++].text);
            else
                parts.push_back("");
        }
    }
    std::string name = parts.back();
    std::string database = parts.size() >= 3 ? parts[0] : "";
    if (i < tokens.size() && tokens[i].isOp(";") && i + 1 < tokens.size())
        i += 2;

    std::vector<Argument> arguments;
    if (i < tokens.size()) {
        for (auto arg : splitAtCommas(tokens.subspan(i))) {
            if (arg.empty())
                throw syntaxError(",");
            Argument a;
            if (arg.size() >= 3 && arg[0].kind == Token::Kind::Variable && arg[1].isOp("=")) {
                a.name = arg[0].text;
                arg = arg.subspan(2);
            }
            if (arg.size() >= 2 && (arg.back().is("output") || arg.back().is("out"))) {
                a.output = true;
                arg = arg.subspan(0, arg.size() - 1);
            }
            if (arg.size() == 1 && arg[0].is("default")) {
                a.isDefault = true;
            } else if (arg.size() == 1 && arg[0].kind == Token::Kind::Variable) {
                auto [value, type] = variable(arg[0], frame);
                a.value = value;
                a.type = type;
                if (a.output)
                    a.variable = arg[0].text;
            } else if (arg.size() == 1 && arg[0].kind == Token::Kind::Identifier &&
                       !arg[0].is("null")) {
                // A bare word is a character string, as on the server.
                a.value = SqlValue::ofText(arg[0].text);
            } else {
                a.value = evaluate(arg, frame);
            }
            arguments.push_back(std::move(a));
        }
    }

    return callProcedureIn(database, name, arguments, frame, statusVariable);
}

SqlSession::Flow SqlSession::callProcedureIn(const std::string& database, const std::string& name,
                                             std::vector<Argument>& arguments, Frame& caller,
                                             std::optional<std::string> statusVariable) {
    if (database.empty() || lower(database) == lower(m_database))
        return callProcedure(name, arguments, caller, statusVariable);
    std::string actual = m_server.find(database);
    (void)connectionFor(database);
    std::string saved = m_database;
    m_database = actual;
    try {
        Flow flow = callProcedure(name, arguments, caller, statusVariable);
        m_database = saved;
        return flow;
    } catch (...) {
        m_database = saved;
        throw;
    }
}

std::string SqlSession::procedureSource(const std::string& name) {
    SqlConnection& conn = connection();
    auto [rc, source] = stepWithName(
        conn.handle(), std::string("select source from ") + kProcedureTable + " where name = ?1",
        name);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw sqliteError(conn.handle(), rc);
    return source;
}

std::vector<int> SqlSession::bindArguments(const ProcedureDefinition& def,
                                           const std::vector<Argument>& arguments, Frame& frame) {
    const DateOrder order = m_dateOrder;
    std::vector<int> target(arguments.size(), -1);
    std::vector<bool> supplied(def.parameters.size(), false);
    size_t position = 0;
    for (size_t a = 0; a < arguments.size(); ++a) {
        int index = -1;
        if (!arguments[a].name.empty()) {
            for (size_t p = 0; p < def.parameters.size(); ++p)
                if (lower(def.parameters[p].name) == lower(arguments[a].name))
                    index = static_cast<int>(p);
            if (index < 0)
                throw SqlError(8145, 16,
                               arguments[a].name + " is not a parameter for procedure " + def.name +
                                   ".");
        } else {
            if (position >= def.parameters.size())
                throw SqlError(8144, 16,
                               "Procedure " + def.name + " has too many arguments specified.");
            index = static_cast<int>(position++);
        }
        target[a] = index;
        const ProcedureParameter& p = def.parameters[static_cast<size_t>(index)];
        if (arguments[a].isDefault)
            continue;
        supplied[static_cast<size_t>(index)] = true;
        frame.variables[lower(p.name)] =
            Variable{p.type, coerceValue(arguments[a].value, p.type, order)};
    }
    for (size_t p = 0; p < def.parameters.size(); ++p) {
        if (supplied[p])
            continue;
        const ProcedureParameter& param = def.parameters[p];
        if (!param.hasDefault)
            throw SqlError(201, 16,
                           "Procedure '" + def.name + "' expects parameter '" + param.name +
                               "', which was not supplied.");
        Frame empty;
        SqlValue value = evaluate(param.defaultValue, empty);
        frame.variables[lower(param.name)] =
            Variable{param.type, coerceValue(value, param.type, order)};
    }
    return target;
}

SqlSession::Flow SqlSession::callProcedure(const std::string& name,
                                           std::vector<Argument>& arguments, Frame& caller,
                                           std::optional<std::string> statusVariable) {
    if (caller.depth >= kMaxNesting)
        throw SqlError(217, 16, "Maximum stored procedure nesting level exceeded (limit 16).");
    const std::string source = procedureSource(name);
    if (source.empty() && isSystemProcedure(name)) {
        Frame frame;
        frame.procedure = name;
        frame.doneKind = DoneKind::InProcedure;
        frame.depth = caller.depth + 1;
        const int32_t status = runSystemProcedure(name, arguments, frame);
        if (statusVariable)
            assign(caller, *statusVariable, SqlValue::ofInteger(status));
        if (caller.depth == 0 && m_sink) {
            m_sink->returnStatus(status);
            m_sink->done(DoneKind::Procedure, false, std::nullopt);
        }
        return Flow::Next;
    }
    if (source.empty())
        throw SqlError(
            2812, 16,
            "Stored procedure '" + name +
                "' not found. Specify owner.objectname or use sp_help to check whether the "
                "object exists (sp_help may produce lots of output).");
    ProcedureDefinition def = parseProcedure(source);
    const DateOrder order = m_dateOrder;

    Frame frame;
    frame.procedure = def.name;
    frame.doneKind = DoneKind::InProcedure;
    frame.depth = caller.depth + 1;
    const std::vector<int> target = bindArguments(def, arguments, frame);

    bool failed = false;
    const uint64_t errorsBefore = m_errorCount;
    const int tranCountBefore = m_tranCount;
    // A procedure runs in its database; a `use` inside it lasts until it returns.
    const std::string database = m_database;
    for (const auto& child : def.body->children) {
        Flow flow = run(*child, frame);
        if (m_errorCount != errorsBefore)
            failed = true;
        if (flow == Flow::Abort) {
            m_database = database;
            return Flow::Abort;
        }
        if (flow == Flow::Return)
            break;
    }
    if (m_database != database && m_sink) {
        m_sink->databaseChanged(m_database, database);
        m_database = database;
    }
    if (m_tranCount != tranCountBefore && m_sink)
        // A procedure ends with another transaction count than it began with (it committed
        // or rolled back its caller's transaction, or left its own open).
        sendMessage(266, 10, 1,
                    "Transaction count after EXECUTE indicates that a COMMIT or ROLLBACK TRAN is "
                    "missing. Previous count = " +
                        std::to_string(tranCountBefore) +
                        ", Current count = " + std::to_string(m_tranCount) + ".",
                    frame, 1);

    // Output parameters go back to the caller's variables and, from the batch, to the client.
    std::vector<Column> columns;
    std::vector<Value> values;
    for (size_t a = 0; a < arguments.size(); ++a) {
        const ProcedureParameter& p = def.parameters[static_cast<size_t>(target[a])];
        if (!arguments[a].output || !p.output)
            continue;
        const SqlValue& value = frame.variables[lower(p.name)].value;
        if (!arguments[a].variable.empty())
            assign(caller, arguments[a].variable, value);
        Column column;
        column.name = p.name;
        column.type = p.type;
        columns.push_back(column);
        values.push_back(toWireValue(value, p.type, order));
    }
    if (statusVariable)
        assign(caller, *statusVariable, SqlValue::ofInteger(frame.returnStatus));
    if (caller.depth == 0 && m_sink) {
        m_sink->returnStatus(frame.returnStatus);
        if (!columns.empty())
            m_sink->outputParameters(columns, values);
        m_sink->done(DoneKind::Procedure, failed, std::nullopt);
    }
    return Flow::Next;
}

void SqlSession::executeRpc(std::string_view procedure, const std::vector<RpcParameter>& params,
                            ResultSink& sink) {
    m_sink = &sink;
    m_aborted = false;
    Frame frame;
    try {
        std::vector<Argument> arguments;
        for (const RpcParameter& p : params) {
            Argument a;
            a.name = p.name;
            a.value = fromWireValue(p.value, p.type);
            a.type = p.type;
            a.output = p.output;
            arguments.push_back(std::move(a));
        }
        std::string name(procedure);
        auto dot = name.rfind('.');
        std::string database =
            dot != std::string::npos && name.find('.') != dot ? name.substr(0, name.find('.')) : "";
        if (dot != std::string::npos)
            name = name.substr(dot + 1);
        callProcedureIn(database, name, arguments, frame, std::nullopt);
    } catch (const SqlError& e) {
        if (!cancelled()) {
            reportError(e, frame, 1);
            sink.done(DoneKind::Procedure, true, std::nullopt);
        }
    }
    m_sink = nullptr;
}

} // namespace devserver

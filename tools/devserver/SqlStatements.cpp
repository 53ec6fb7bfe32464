// The statements of the session that are not about procedures: queries streamed row by
// row, data changes with their counts, variables, messages, use, transactions and waitfor
// (create table is in SqlCreateTable.cpp).
#include "SqlSession.h"

#include "SqlDatabase.h"
#include "SqlErrors.h"
#include "SqlResultOrigin.h"
#include "ExpressionTypes.h"
#include "TypesCatalog.h"

#include <chrono>
#include <utility>
#include <thread>

namespace devserver {

namespace {

/// Owns a prepared statement.
class Prepared {
public:
    Prepared(sqlite3* db, const std::string& sql) {
        int rc =
            sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
        if (rc != SQLITE_OK) {
            SqlError error = sqliteError(db, rc);
            sqlite3_finalize(m_stmt);
            throw error;
        }
        if (!m_stmt)
            throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
    }
    ~Prepared() { sqlite3_finalize(m_stmt); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

    void bind(const std::vector<SqlValue>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            const SqlValue& v = values[i];
            int index = static_cast<int>(i) + 1;
            switch (v.kind) {
            case SqlValue::Kind::Null:
                sqlite3_bind_null(m_stmt, index);
                break;
            case SqlValue::Kind::Integer:
                sqlite3_bind_int64(m_stmt, index, v.integer);
                break;
            case SqlValue::Kind::Real:
                sqlite3_bind_double(m_stmt, index, v.real);
                break;
            case SqlValue::Kind::Text:
                sqlite3_bind_text64(m_stmt, index, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8);
                break;
            case SqlValue::Kind::Blob:
                sqlite3_bind_blob64(m_stmt, index, v.bytes.data(), v.bytes.size(),
                                    SQLITE_TRANSIENT);
                break;
            }
        }
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

SqlValue columnValue(sqlite3_stmt* stmt, int c) {
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
        return SqlValue::ofInteger(sqlite3_column_int64(stmt, c));
    case SQLITE_FLOAT:
        return SqlValue::ofReal(sqlite3_column_double(stmt, c));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        return SqlValue::ofText(
            std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, c));
        size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        return SqlValue::ofBlob(data ? std::string(data, size) : std::string());
    }
    default:
        return SqlValue::null();
    }
}

/// Reads column `c` of the current row into `out`, reusing its buffer.
void readColumn(sqlite3_stmt* stmt, int c, SqlValue& out) {
    switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
        out.kind = SqlValue::Kind::Integer;
        out.integer = sqlite3_column_int64(stmt, c);
        return;
    case SQLITE_FLOAT:
        out.kind = SqlValue::Kind::Real;
        out.real = sqlite3_column_double(stmt, c);
        return;
    case SQLITE_TEXT: {
        out.kind = SqlValue::Kind::Text;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        out.bytes.assign(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
        return;
    }
    case SQLITE_BLOB: {
        out.kind = SqlValue::Kind::Blob;
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, c));
        const size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        if (data)
            out.bytes.assign(data, size);
        else
            out.bytes.clear();
        return;
    }
    default:
        out.kind = SqlValue::Kind::Null;
        return;
    }
}

/// The SQLite declaration of a column of declared type `declared`: decimal types get text
/// affinity and the decimal collation.
std::string storageDeclaration(const std::string& declared) {
    size_t paren = declared.find('(');
    std::string name = declared.substr(0, std::min(declared.find(' '), paren));
    if (!needsDecimalStorage(name))
        return declared;
    std::string args = paren == std::string::npos ? "" : declared.substr(paren);
    return name + " text" + args + " collate " + kDecimalCollation;
}

bool isSelectListEnd(const Token& t) {
    return t.is("from") || t.is("where") || t.is("group") || t.is("having") || t.is("order") ||
           t.is("union");
}

/// Replaces "%1!" … "%n!" in a message with argument texts.
std::string substituteArguments(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 2 < format.size() &&
            std::isdigit(static_cast<unsigned char>(format[i + 1]))) {
            size_t j = i + 1;
            int n = 0;
            while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
                n = n * 10 + (format[j++] - '0');
            if (j < format.size() && format[j] == '!') {
                if (n >= 1 && static_cast<size_t>(n) <= args.size())
                    out += args[static_cast<size_t>(n - 1)];
                i = j;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string lowerName(std::string_view name) {
    std::string out;
    for (char c : name)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// The name and type of each column of a result: the statement's declared types, the
/// translation's static types, or (for what neither types) the type of the first value.
std::vector<Column> resultColumns(sqlite3* db, sqlite3_stmt* s, const Translation& tr,
                                  bool hasRow) {
    const int columnCount = sqlite3_column_count(s);
    std::vector<Column> columns(static_cast<size_t>(columnCount));
    const bool itemsMatch = tr.namedItems.size() == static_cast<size_t>(columnCount);
    for (int c = 0; c < columnCount; ++c) {
        Column& column = columns[static_cast<size_t>(c)];
        const char* origin = sqlite3_column_origin_name(s, c);
        column.name = sqlite3_column_name(s, c);
        if (itemsMatch && !tr.namedItems[static_cast<size_t>(c)] && !origin)
            column.name.clear();
        std::optional<ColumnType> type;
        if (tr.compound && itemsMatch)
            type = tr.columnHints[static_cast<size_t>(c)];
        if (const char* declared = sqlite3_column_decltype(s, c); declared && !type)
            type = parseDeclaredType(declared);
        if (!type && itemsMatch)
            type = tr.columnHints[static_cast<size_t>(c)];
        // Only what cannot be typed statically (a column of a derived table, an unknown
        // function) is typed from its first value.
        if (!type)
            type = typeOfValue(hasRow ? columnValue(s, c) : SqlValue::null());
        type->nullable = true;
        if (origin) {
            int notNull = 0;
            if (sqlite3_table_column_metadata(db, sqlite3_column_database_name(s, c),
                                              sqlite3_column_table_name(s, c), origin, nullptr,
                                              nullptr, &notNull, nullptr, nullptr) == SQLITE_OK)
                type->nullable = !notNull;
            // A column of an outer join's inner table is null where no row joins.
            if (const char* table = sqlite3_column_table_name(s, c);
                table && tr.outerJoinInner.contains(lowerName(table)))
                type->nullable = true;
        }
        column.type = *type;
        if (origin && (type->type == SqlType::Text || type->type == SqlType::Image))
            if (const char* table = sqlite3_column_table_name(s, c))
                column.table = table;
    }
    return columns;
}

} // namespace

SqlValue SqlSession::evaluate(std::span<const Token> tokens, Frame& frame) {
    if (tokens.empty())
        throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
    Translation tr = translateExpression(tokens, context(frame));
    sqlite3* db = connection().handle();
    Prepared stmt(db, tr.sql);
    stmt.bind(tr.binds);
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW)
        return columnValue(stmt.get(), 0);
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc);
    return SqlValue::null();
}

void SqlSession::assign(Frame& frame, const std::string& name, const SqlValue& value) {
    auto it = frame.variables.find([&] {
        std::string key;
        for (char c : name)
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return key;
    }());
    if (it == frame.variables.end())
        throw undeclaredVariable(name);
    it->second.value = it->second.type ? coerceValue(value, *it->second.type, m_dateOrder) : value;
}

SqlSession::Flow SqlSession::runQuery(const Translation& tr, Frame& frame, bool reportDone) {
    sqlite3* db = connection().handle();
    Prepared stmt(db, tr.sql);
    stmt.bind(tr.binds);
    sqlite3_stmt* s = stmt.get();
    const int columnCount = sqlite3_column_count(s);
    const bool assigning = std::any_of(tr.assignments.begin(), tr.assignments.end(),
                                       [](auto& a) { return !a.empty(); });
    // A select of text or image values of a table runs again with the row ids added.
    if (std::optional<Translation> withRows = withTextRows(s, assigning, frame))
        return runQuery(*withRows, frame, reportDone);
    if (assigning) {
        if (std::any_of(tr.assignments.begin(), tr.assignments.end(),
                        [](auto& a) { return a.empty(); }))
            throw SqlError(
                141, 15,
                "A SELECT statement that assigns a value to a variable must not be combined "
                "with data-retrieval operations.");
        int64_t count = 0;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            for (int c = 0; c < columnCount && static_cast<size_t>(c) < tr.assignments.size(); ++c)
                assign(frame, tr.assignments[static_cast<size_t>(c)], columnValue(s, c));
            ++count;
            if (m_rowLimit && count >= m_rowLimit)
                break;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw sqliteError(db, rc);
        m_rowCount = count;
        if (reportDone)
            done(frame, false, count);
        return Flow::Next;
    }
    if (columnCount == 0) {
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc);
        m_rowCount = 0;
        if (reportDone)
            done(frame, false, std::nullopt);
        return Flow::Next;
    }

    int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw sqliteError(db, rc);
    const DateOrder order = m_dateOrder;
    const TextRows textRows = std::exchange(m_textRows, TextRows{});
    std::vector<Column> columns = resultColumns(db, s, tr, rc == SQLITE_ROW);
    columns.resize(columns.size() - std::min(textRows.carriers, columns.size()));
    const int visible = static_cast<int>(columns.size());
    sendRowFormat(s, columns);
    if (m_formatOnly) {
        // set fmtonly on: the description only.
        m_rowCount = 0;
        if (reportDone)
            done(frame, false, 0);
        return Flow::Next;
    }
    std::optional<ComputeRunner> compute;
    if (m_compute) {
        compute.emplace(*m_compute, columns);
        compute->describe(*m_sink);
        m_compute = nullptr; // a nested query of this statement has none
    }
    std::vector<Value> values(static_cast<size_t>(visible));
    std::vector<char> stored(static_cast<size_t>(visible));
    for (int c = 0; c < visible; ++c)
        stored[static_cast<size_t>(c)] = sqlite3_column_decltype(s, c) != nullptr;
    int64_t count = 0;
    SqlValue raw;
    while (rc == SQLITE_ROW) {
        if (m_rowLimit && count >= m_rowLimit)
            break;
        for (int c = 0; c < visible; ++c) {
            const size_t k = static_cast<size_t>(c);
            readColumn(s, c, raw);
            toWireValue(raw, columns[k].type, order, m_textSize, stored[k] != 0, values[k]);
        }
        for (const auto& [text, row] : textRows.links)
            values[text].textRow = sqlite3_column_int64(s, static_cast<int>(row));
        if (compute)
            compute->beforeRow(values, *m_sink);
        if (!m_sink->row(values)) {
            m_aborted = true;
            return Flow::Abort;
        }
        if (compute)
            compute->add(values);
        ++count;
        rc = sqlite3_step(s);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw sqliteError(db, rc);
    if (compute)
        compute->finish(*m_sink);
    m_rowCount = count;
    if (reportDone)
        done(frame, false, count);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runSelect(std::span<const Token> tokens, Frame& frame) {
    if (tokens[0].is("select")) {
        // An into before the end of the select list makes it a select into.
        const size_t at = findOutsideParentheses(
            tokens, 1, [](const Token& t) { return isSelectListEnd(t) || t.is("into"); });
        if (at < tokens.size() && tokens[at].is("into"))
            return selectInto(tokens, at, frame);
    }
    // select … for browse: the key and timestamp columns come along, and the client learns
    // which table each column belongs to.
    std::vector<Token> browsed;
    std::optional<size_t> browseHidden;
    if (tokens.size() > 2 && tokens[tokens.size() - 2].is("for") && tokens.back().is("browse")) {
        browseHidden = addBrowseColumns(tokens.first(tokens.size() - 2), browsed);
        tokens = browsed;
    }
    std::vector<ComputeClause> compute;
    tokens = splitCompute(tokens, compute);
    checkLiterals(tokens);
    std::vector<Token> rewritten;
    if (!m_ansiNull)
        tokens = nullComparisons(tokens, false, rewritten);
    Translation translation = translate(tokens, context(frame), true);
    m_compute = compute.empty() ? nullptr : &compute;
    m_browseHidden = browseHidden;
    // Text and image values of a table carry their row, for writetext (see runQuery).
    if (!browseHidden && compute.empty())
        m_textRowSource = tokens;
    struct Reset {
        const std::vector<ComputeClause>*& compute;
        std::optional<size_t>& browse;
        TextRows& textRows;
        std::span<const Token>& textRowSource;
        ~Reset() {
            compute = nullptr;
            browse.reset();
            textRows = {};
            textRowSource = {};
        }
    } reset{m_compute, m_browseHidden, m_textRows, m_textRowSource};
    return runQuery(translation, frame);
}

SqlSession::Flow SqlSession::selectInto(std::span<const Token> tokens, size_t intoAt,
                                        Frame& frame) {
    // The target: a name, possibly qualified (db..name, dbo.name).
    size_t nameEnd = intoAt + 1;
    while (nameEnd < tokens.size() && !isSelectListEnd(tokens[nameEnd]) &&
           (nameEnd == intoAt + 1 || tokens[nameEnd].isOp(".") || tokens[nameEnd - 1].isOp(".")))
        ++nameEnd;
    if (nameEnd == intoAt + 1)
        throw syntaxError("into");
    std::vector<Token> select(tokens.begin(), tokens.begin() + static_cast<long>(intoAt));
    select.insert(select.end(), tokens.begin() + static_cast<long>(nameEnd), tokens.end());
    TranslateContext ctx = context(frame);
    Translation target = translate(tokens.subspan(intoAt + 1, nameEnd - intoAt - 1), ctx);
    Translation query = translate(select, ctx, true);
    const bool temporary = tokens[intoAt + 1].text.starts_with("#");

    SqlConnection& conn = connection();
    std::string definition;
    // Money and numeric columns, whose values written later are rounded to their scale.
    std::vector<std::pair<std::string, ColumnType>> rounded;
    {
        Prepared stmt(conn.handle(), query.sql);
        const int columnCount = sqlite3_column_count(stmt.get());
        const bool itemsMatch = query.columnHints.size() == static_cast<size_t>(columnCount);
        for (int c = 0; c < columnCount; ++c) {
            if (c)
                definition += ", ";
            const char* name = sqlite3_column_name(stmt.get(), c);
            const std::string column = name && *name ? name : "col" + std::to_string(c + 1);
            definition += quoteIdentifier(column);
            std::string declared;
            if (const char* d = sqlite3_column_decltype(stmt.get(), c))
                declared = d;
            else if (itemsMatch && query.columnHints[static_cast<size_t>(c)])
                declared = declaredTypeText(*query.columnHints[static_cast<size_t>(c)]);
            if (!declared.empty())
                definition += " " + storageDeclaration(declared);
            if (auto type = parseDeclaredType(declared); type && isExactDecimal(type->type))
                rounded.emplace_back(column, *type);
            // A column copied from a not-null column stays not null, as on the server.
            if (const char* origin = sqlite3_column_origin_name(stmt.get(), c)) {
                int notNull = 0;
                if (sqlite3_table_column_metadata(
                        conn.handle(), sqlite3_column_database_name(stmt.get(), c),
                        sqlite3_column_table_name(stmt.get(), c), origin, nullptr, nullptr,
                        &notNull, nullptr, nullptr) == SQLITE_OK &&
                    notNull)
                    definition += " not null";
            }
        }
    }
    conn.exec(std::string(temporary ? "create temp table " : "create table ") + target.sql + " (" +
              definition + ")");
    if (nameEnd == intoAt + 2)
        cutOnWrite(tokens[intoAt + 1].text, rounded);
    Prepared insert(conn.handle(), "insert into " + target.sql + " " + query.sql);
    insert.bind(query.binds);
    int rc = sqlite3_step(insert.get());
    if (rc != SQLITE_DONE)
        throw sqliteError(conn.handle(), rc);
    m_rowCount = sqlite3_changes64(conn.handle());
    done(frame, false, m_rowCount);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runCommand(std::span<const Token> tokens, Frame& frame, bool counts) {
    const bool insert = tokens[0].is("insert");
    std::vector<Token> listed;
    if (insert) {
        checkIdentityInsert(tokens);
        if (listColumnsButIdentity(tokens, listed))
            tokens = listed;
    }
    if (insert || tokens[0].is("update") || tokens[0].is("delete"))
        checkLiterals(tokens);
    std::vector<Token> rewritten;
    if (!m_ansiNull)
        tokens = nullComparisons(tokens, false, rewritten);
    Translation tr = translate(tokens, context(frame));
    sqlite3* db = connection().handle();
    Prepared stmt(db, tr.sql);
    if (sqlite3_column_count(stmt.get()) > 0)
        return runQuery(tr, frame);
    stmt.bind(tr.binds);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw sqliteError(db, rc);
    if (insert)
        noteIdentity(tokens, sqlite3_changes64(db));
    if (counts) {
        m_rowCount = sqlite3_changes64(db);
        done(frame, false, m_rowCount);
    } else {
        m_rowCount = 0;
        done(frame, false, std::nullopt);
    }
    return Flow::Next;
}

SqlSession::Flow SqlSession::runDeclare(std::span<const Token> tokens, Frame& frame) {
    for (auto item : splitAtCommas(tokens.subspan(1))) {
        auto [type, typeEnd] = declaredVariable(item);
        std::string key;
        for (char c : item[0].text)
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        frame.variables[key] = Variable{type, SqlValue::null()};
        if (typeEnd < item.size())
            assign(frame, item[0].text, evaluate(item.subspan(typeEnd + 1), frame));
    }
    return Flow::Next;
}

SqlSession::Flow SqlSession::runSet(std::span<const Token> tokens, Frame& frame) {
    if (tokens.size() >= 3 && tokens[1].kind == Token::Kind::Variable && tokens[2].isOp("=")) {
        assign(frame, tokens[1].text, evaluate(tokens.subspan(3), frame));
        return Flow::Next;
    }
    if (tokens.size() >= 3 && tokens[1].is("rowcount")) {
        SqlValue v = evaluate(tokens.subspan(2), frame);
        ColumnType bigint;
        bigint.type = SqlType::BigInt;
        m_rowLimit =
            v.isNull() ? 0 : std::max<int64_t>(0, coerceValue(v, bigint, m_dateOrder).integer);
        done(frame, false, std::nullopt);
        return Flow::Next;
    }
    if (tokens.size() < 2)
        throw syntaxError("set");
    const Token& last = tokens.back();
    const bool on = last.is("on");
    auto onOff = [&] {
        if (!last.is("on") && !last.is("off"))
            throw syntaxError(last.text);
    };
    const Token& name = tokens[1];
    if (name.is("nocount")) {
        onOff();
        m_noCount = on;
    } else if (name.is("chained")) {
        onOff();
        if (m_tranCount > 0)
            throw SqlError(226, 16,
                           "SET CHAINED command not allowed within multi-statement transaction.");
        m_chained = on;
    } else if (name.is("fmtonly")) {
        onOff();
        m_formatOnly = on;
    } else if (name.is("ansinull")) {
        onOff();
        m_ansiNull = on;
    } else if (name.is("noexec")) {
        onOff();
        m_noExec = on;
    } else if (name.is("arithabort")) {
        onOff();
        // set arithabort [arith_overflow | numeric_truncation] on|off: only overflows end batches.
        if (tokens.size() == 3 || tokens[2].is("arith_overflow"))
            m_arithAbort = on;
    } else if (name.is("identity_insert")) {
        setIdentityInsert(tokens);
    } else if (name.is("datefirst")) {
        if (tokens.size() != 3)
            throw syntaxError(name.text);
        SqlValue v = evaluate(tokens.subspan(2), frame);
        ColumnType intType;
        const int64_t day = v.isNull() ? 0 : coerceValue(v, intType, m_dateOrder).integer;
        if (day < 1 || day > 7)
            throw SqlError(2742, 16, "SET DATEFIRST " + std::to_string(day) + " is out of range.");
        m_dateFirst = static_cast<int32_t>(day);
    }
    if (tokens[1].is("textsize")) {
        if (tokens.size() < 3)
            throw syntaxError("textsize");
        SqlValue v = evaluate(tokens.subspan(2), frame);
        ColumnType bigint;
        bigint.type = SqlType::BigInt;
        const int64_t n = v.isNull() ? 0 : coerceValue(v, bigint, m_dateOrder).integer;
        setTextSize(static_cast<int32_t>(std::clamp<int64_t>(n, 0, INT32_MAX)));
    }
    if (tokens.size() == 3 && tokens[1].is("quoted_identifier")) {
        if (!tokens[2].is("on") && !tokens[2].is("off"))
            throw syntaxError(tokens[2].text);
        m_quotedIdentifier = tokens[2].is("on");
    }
    if (tokens[1].is("dateformat"))
        setDateFormat(tokens.subspan(2), frame);
    if (tokens[1].is("lock"))
        setLockWait(tokens.subspan(2), frame);
    // Other options (statistics, showplan, …) are accepted and have no effect.
    done(frame, false, std::nullopt);
    return Flow::Next;
}

void SqlSession::setDateOrder(DateOrder order) {
    m_dateOrder = order;
    for (auto& [key, connection] : m_connections)
        connection->setDateOrder(order);
}

void SqlSession::setDateFormat(std::span<const Token> tokens, Frame& frame) {
    // The order is a word (set dateformat dmy), a string or a variable holding one.
    std::string name;
    if (tokens.size() == 1 && tokens[0].kind == Token::Kind::Identifier) {
        name = tokens[0].text;
    } else if (!tokens.empty()) {
        const SqlValue v = evaluate(tokens, frame);
        if (!v.isNull())
            name = valueText(v);
    }
    static const std::pair<const char*, DateOrder> kOrders[] = {
        {"mdy", DateOrder::MDY}, {"dmy", DateOrder::DMY}, {"ymd", DateOrder::YMD},
        {"ydm", DateOrder::YDM}, {"myd", DateOrder::MYD}, {"dym", DateOrder::DYM}};
    for (const auto& [word, order] : kOrders) {
        if (equalsIgnoreCase(name, word)) {
            setDateOrder(order);
            return;
        }
    }
    throw SqlError(2401, 16,
                   "'" + name +
                       "' is not a valid date order: mdy, dmy, ymd, ydm, myd or dym expected.");
}

SqlSession::Flow SqlSession::runPrint(std::span<const Token> tokens, Frame& frame) {
    auto args = splitAtCommas(tokens.subspan(1));
    if (args.empty() || args[0].empty())
        throw syntaxError("print");
    SqlValue format = evaluate(args[0], frame);
    std::vector<std::string> texts;
    for (size_t i = 1; i < args.size(); ++i)
        texts.push_back(valueText(evaluate(args[i], frame)));
    sendMessage(0, 0, 1, substituteArguments(format.isNull() ? "" : valueText(format), texts),
                frame, static_cast<uint16_t>(tokens[0].line));
    done(frame, false, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runRaiserror(std::span<const Token> tokens, Frame& frame) {
    int32_t number = 50000;
    int severity = 16;
    int state = 1;
    std::string text;
    std::vector<std::string> args;
    if (tokens.size() >= 2 && tokens[1].isOp("(")) {
        // raiserror('text', severity, state [, args])
        if (tokens.size() < 4 || !tokens.back().isOp(")"))
            throw syntaxError(tokens.back().text);
        auto inner = tokens.subspan(2, tokens.size() - 3);
        auto parts = splitAtCommas(inner);
        if (parts.empty())
            throw syntaxError("raiserror");
        SqlValue first = evaluate(parts[0], frame);
        if (first.kind == SqlValue::Kind::Integer)
            number = static_cast<int32_t>(first.integer);
        else
            text = valueText(first);
        if (parts.size() > 1)
            severity = static_cast<int>(evaluate(parts[1], frame).integer);
        if (parts.size() > 2)
            state = static_cast<int>(evaluate(parts[2], frame).integer);
        for (size_t i = 3; i < parts.size(); ++i)
            args.push_back(valueText(evaluate(parts[i], frame)));
    } else {
        // raiserror number ['text' | @var] [, args]
        if (tokens.size() < 2)
            throw syntaxError("raiserror");
        size_t textAt = 2;
        SqlValue n = evaluate(tokens.subspan(1, 1), frame);
        if (n.kind != SqlValue::Kind::Integer)
            throw syntaxError(tokens[1].text);
        number = static_cast<int32_t>(n.integer);
        auto rest = splitAtCommas(tokens.subspan(textAt));
        if (!rest.empty() && !rest[0].empty() && !rest[0][0].is("with")) {
            // Options such as "with errordata" end the argument list.
            auto first = rest[0];
            for (size_t k = 0; k < first.size(); ++k)
                if (first[k].is("with"))
                    first = first.subspan(0, k);
            text = valueText(evaluate(first, frame));
        }
        for (size_t i = 1; i < rest.size(); ++i)
            args.push_back(valueText(evaluate(rest[i], frame)));
    }
    sendMessage(number, static_cast<uint8_t>(std::clamp(severity, 0, 25)),
                static_cast<uint8_t>(std::clamp(state, 0, 255)), substituteArguments(text, args),
                frame, static_cast<uint16_t>(tokens[0].line));
    m_statementError = number;
    if (severity > 10)
        ++m_errorCount;
    done(frame, severity > 10, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runUse(std::span<const Token> tokens, Frame& frame) {
    if (tokens.size() != 2)
        throw syntaxError(tokens.size() > 2 ? tokens[2].text : "use");
    if (m_tranCount > 0)
        throw SqlError(226, 16, "USE command not allowed within a multi-statement transaction.");
    std::string name = tokens[1].text;
    std::string actual = m_server.find(name);
    (void)connectionFor(name); // throws 911 for an unknown database
    std::string old = m_database;
    m_database = actual;
    m_server.noteSession({m_spid, m_login.user, m_login.host, m_database});
    m_sink->databaseChanged(old, actual);
    sendMessage(5701, 10, 1, "Changed database context to '" + actual + "'.", frame,
                static_cast<uint16_t>(tokens[0].line));
    done(frame, false, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runTransaction(std::span<const Token> tokens, Frame& frame) {
    const Token& head = tokens[0];
    auto isTranWord = [](const Token& t) {
        return t.is("tran") || t.is("transaction") || t.is("work");
    };
    if (head.is("begin")) {
        if (tokens.size() < 2 || !isTranWord(tokens[1]))
            throw syntaxError(head.text);
        if (tokens.size() > 3)
            throw syntaxError(tokens[3].text);
        if (m_tranCount == 0)
            beginTransaction();
        ++m_tranCount;
    } else if (head.is("save")) {
        if (tokens.size() < 3 || !isTranWord(tokens[1]) || m_tranCount == 0)
            throw SqlError(628, 16, "SAVE TRANSACTION is only allowed inside a transaction.");
        saveTransaction(tokens[2].text);
    } else if (head.is("commit")) {
        if (m_tranCount > 0 && --m_tranCount == 0) {
            try {
                endStorageTransaction(true);
            } catch (...) {
                m_tranCount = 1;
                throw;
            }
        }
    } else {
        // rollback [tran [savepoint]]
        if (tokens.size() >= 3 && isTranWord(tokens[1]) && m_tranCount > 0 &&
            rollbackToSavepoint(tokens[2].text)) {
            done(frame, false, std::nullopt);
            return Flow::Next;
        }
        if (m_tranCount > 0) {
            m_tranCount = 0;
            endStorageTransaction(false);
        }
    }
    done(frame, false, std::nullopt);
    return Flow::Next;
}

SqlSession::Flow SqlSession::runWaitfor(std::span<const Token> tokens, Frame& frame) {
    if (tokens.size() < 3 || !(tokens[1].is("delay") || tokens[1].is("time")))
        throw syntaxError("waitfor");
    SqlValue v = evaluate(tokens.subspan(2), frame);
    auto parts = v.kind == SqlValue::Kind::Text ? parseTimeOfDay(v.bytes) : std::nullopt;
    if (!parts && v.kind == SqlValue::Kind::Text)
        parts = parseDateTime(v.bytes, m_dateOrder);
    if (!parts)
        throw SqlError(2716, 16, "Invalid time given to WAITFOR: '" + valueText(v) + "'.");
    auto msOf = [](const DateTimeParts& p) {
        return ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
    };
    int64_t wait = msOf(*parts);
    if (tokens[1].is("time")) {
        auto now = std::chrono::system_clock::now();
        std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        int64_t nowMs = ((local.tm_hour * 60LL + local.tm_min) * 60 + local.tm_sec) * 1000;
        wait = (wait - nowMs + 86400000) % 86400000;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cancelled()) {
            m_aborted = true;
            return Flow::Abort;
        }
        auto left = deadline - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
    }
    done(frame, false, std::nullopt);
    return Flow::Next;
}

} // namespace devserver

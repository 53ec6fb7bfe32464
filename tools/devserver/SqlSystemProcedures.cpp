// The system procedures tools run first: sp_help (every object, or one table's columns and
// indexes), sp_who (the logged-in clients) and sp_helpdb (the databases), with the result
// columns of the server's own procedures, filled with what this server knows.
#include "SqlSession.h"

#include "SqlCatalog.h"
#include "SqlDatabase.h"
#include "SqlErrors.h"
#include "TypesCatalog.h"

#include <cctype>
#include <ctime>

namespace devserver {

namespace {

Column column(const char* name, SqlType type, int32_t length, bool nullable = false) {
    Column c;
    c.name = name;
    c.type = makeColumnType(type, length);
    c.type.nullable = nullable;
    return c;
}

Value textValue(const std::string& s) {
    Value v;
    v.isNull = false;
    v.bytes = s;
    return v;
}

Value intValue(int64_t n) {
    Value v;
    v.isNull = false;
    v.integer = n;
    return v;
}

/// The server's words for an object type.
std::string objectTypeName(const std::string& type) {
    if (type == "U")
        return "user table";
    if (type == "V")
        return "view";
    if (type == "P")
        return "stored procedure";
    if (type == "TR")
        return "trigger";
    return "system table";
}

/// The creation date shown for objects and databases ("Dec  8 2026  5:40AM"), which this
/// server does not keep: the time of the call.
std::string createdText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%b %e %Y %l:%M%p", &local);
    return buffer;
}

std::string columnText(sqlite3_stmt* stmt, int c) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
    return p ? p : "";
}

} // namespace

bool SqlSession::isSystemProcedure(const std::string& name) {
    const std::string n = lower(name);
    return n == "sp_help" || n == "sp_who" || n == "sp_helpdb";
}

void SqlSession::sendRows(const std::vector<Column>& columns,
                          const std::vector<std::vector<Value>>& rows, const Frame& frame) {
    m_sink->rowFormat(columns);
    for (const auto& row : rows)
        if (!m_sink->row(row))
            return;
    m_rowCount = static_cast<int64_t>(rows.size());
    done(frame, false, m_rowCount);
}

void SqlSession::printMessage(const std::string& text, const Frame& frame) {
    ServerMessage message;
    message.text = text;
    message.procedure = frame.procedure;
    m_sink->message(message);
}

int32_t SqlSession::runSystemProcedure(const std::string& name,
                                       const std::vector<Argument>& arguments, const Frame& frame) {
    const std::string n = lower(name);
    std::string argument;
    if (!arguments.empty() && !arguments[0].value.isNull())
        argument = valueText(arguments[0].value);
    if (n == "sp_help")
        spHelp(argument, frame);
    else if (n == "sp_who")
        spWho(argument, frame);
    else
        spHelpDb(argument, frame);
    return 0;
}

// sp_help [object]: the objects of the database, or one object with its columns and indexes.
void SqlSession::spHelp(const std::string& argument, const Frame& frame) {
    sqlite3* db = connection().handle();
    const std::vector<Column> objectColumns = {
        column("Name", SqlType::VarChar, 255), column("Owner", SqlType::VarChar, 30),
        column("Object_type", SqlType::VarChar, 22), column("Object_status", SqlType::VarChar, 30),
        column("Create_date", SqlType::VarChar, 26)};
    refreshCatalog(connection(), std::vector<Token>{}, {});
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        argument.empty()
            ? "select name, type from temp.tovrin_objects where type <> 'I' order by name"
            : "select name, type from temp.tovrin_objects where type <> 'I' and name = ?1"
              " collate nocase";
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (!argument.empty()) {
        auto dot = argument.rfind('.');
        const std::string object = dot == std::string::npos ? argument : argument.substr(dot + 1);
        sqlite3_bind_text(stmt, 1, object.c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<std::vector<Value>> rows;
    std::string table, type;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        table = columnText(stmt, 0);
        type = columnText(stmt, 1);
        rows.push_back({textValue(table), textValue("dbo"), textValue(objectTypeName(type)),
                        textValue("-- none --"), textValue(createdText())});
    }
    sqlite3_finalize(stmt);
    if (rows.empty() && !argument.empty())
        throw SqlError(17461, 16, "Object does not exist in this database.");
    sendRows(objectColumns, rows, frame);
    if (argument.empty() || (type != "U" && type != "V"))
        return;
    helpColumns(table, frame);
    helpIndexes(table, frame);
    printMessage("No defined keys for this object.", frame);
}

// sp_help of a table: its columns.
void SqlSession::helpColumns(const std::string& table, const Frame& frame) {
    std::vector<Column> columns = {column("Column_name", SqlType::VarChar, 255),
                                   column("Type", SqlType::VarChar, 255),
                                   column("Length", SqlType::Int, 4),
                                   column("Prec", SqlType::Int, 4, true),
                                   column("Scale", SqlType::Int, 4, true),
                                   column("Nulls", SqlType::Int, 4),
                                   column("Not_compressed", SqlType::Int, 4),
                                   column("Default_name", SqlType::VarChar, 255, true),
                                   column("Rule_name", SqlType::VarChar, 255, true),
                                   column("Access_Rule_name", SqlType::VarChar, 255, true),
                                   column("Computed_Column_object", SqlType::VarChar, 255, true),
                                   column("Identity", SqlType::Int, 4)};
    std::vector<std::vector<Value>> rows;
    sqlite3* db = connection().handle();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "select name, type, \"notnull\", pk from pragma_table_info(?1) order by cid",
                       -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const std::string declared = columnText(stmt, 1);
        ColumnType t = parseDeclaredType(declared).value_or(ColumnType{});
        const bool exact = t.type == SqlType::Numeric || t.type == SqlType::Decimal;
        const bool identity = lower(declared) == "integer" && sqlite3_column_int(stmt, 3) != 0;
        const int length = storageLength(t);
        rows.push_back({textValue(columnText(stmt, 0)),
                        textValue(identity ? "numeric" : catalogType(t).name), intValue(length),
                        exact ? intValue(t.precision) : Value{},
                        exact ? intValue(t.scale) : Value{},
                        intValue(sqlite3_column_int(stmt, 2) == 0 ? 1 : 0), intValue(0), Value{},
                        Value{}, Value{}, Value{}, intValue(identity ? 1 : 0)});
    }
    sqlite3_finalize(stmt);
    sendRows(columns, rows, frame);
}

// sp_help of a table: its indexes.
void SqlSession::helpIndexes(const std::string& table, const Frame& frame) {
    std::vector<std::vector<Value>> rows;
    sqlite3* db = connection().handle();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        db,
        "select il.name, group_concat(ii.name, ', '), il.\"unique\" from pragma_index_list(?1) il"
        " join pragma_index_info(il.name) ii group by il.name order by il.name",
        -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string index = columnText(stmt, 0);
        if (index.starts_with("sqlite_autoindex_"))
            index = table + "_pk";
        rows.push_back(
            {textValue(index), textValue(" " + columnText(stmt, 1)),
             textValue(sqlite3_column_int(stmt, 2) ? "nonclustered, unique" : "nonclustered"),
             intValue(0), intValue(0), intValue(0), textValue(createdText()),
             textValue("Global Index")});
    }
    sqlite3_finalize(stmt);
    if (rows.empty()) {
        printMessage("Object does not have any indexes.", frame);
    } else {
        sendRows({column("index_name", SqlType::VarChar, 255),
                  column("index_keys", SqlType::VarChar, 1024),
                  column("index_description", SqlType::VarChar, 68),
                  column("index_max_rows_per_page", SqlType::SmallInt, 2),
                  column("index_fillfactor", SqlType::SmallInt, 2),
                  column("index_reservepagegap", SqlType::SmallInt, 2),
                  column("index_created", SqlType::VarChar, 26),
                  column("index_local", SqlType::VarChar, 12)},
                 rows, frame);
    }
}

// sp_who [login or spid]
void SqlSession::spWho(const std::string& argument, const Frame& frame) {
    std::vector<std::vector<Value>> rows;
    for (const auto& s : m_server.sessions()) {
        if (!argument.empty() && argument != s.user && argument != std::to_string(s.spid))
            continue;
        rows.push_back(
            {intValue(0), intValue(s.spid), textValue(s.spid == m_spid ? "running" : "recv sleep"),
             textValue(s.user), textValue(s.user), textValue(s.host), intValue(0),
             textValue(s.database), textValue("tempdb"),
             textValue(s.spid == m_spid ? "SELECT" : "AWAITING COMMAND"), intValue(0), Value{}});
    }
    sendRows({column("fid", SqlType::Int, 4), column("spid", SqlType::Int, 4),
              column("status", SqlType::Char, 12), column("loginame", SqlType::VarChar, 30, true),
              column("origname", SqlType::VarChar, 30, true),
              column("hostname", SqlType::VarChar, 30, true), column("blk_spid", SqlType::Int, 4),
              column("dbname", SqlType::VarChar, 30, true),
              column("tempdbname", SqlType::VarChar, 30, true),
              column("cmd", SqlType::VarChar, 30, true), column("block_xloid", SqlType::Int, 4),
              column("threadpool", SqlType::VarChar, 30, true)},
             rows, frame);
}

// sp_helpdb [name]
void SqlSession::spHelpDb(const std::string& argument, const Frame& frame) {
    std::vector<std::vector<Value>> rows;
    int dbid = 1;
    bool found = false;
    for (const std::string& database : m_server.names()) {
        const int id = dbid++;
        if (!argument.empty() && lower(argument) != lower(database))
            continue;
        found = true;
        rows.push_back({textValue(database), textValue("       2.0 MB"), textValue("sa"),
                        intValue(id), textValue(createdText().substr(0, 11)), textValue("full"),
                        intValue(0), intValue(0), textValue("no options set")});
    }
    if (!argument.empty() && !found)
        throw SqlError(15010, 16, "The specified database does not exist.");
    sendRows({column("name", SqlType::VarChar, 255), column("db_size", SqlType::VarChar, 13),
              column("owner", SqlType::VarChar, 30), column("dbid", SqlType::SmallInt, 2),
              column("created", SqlType::VarChar, 11), column("durability", SqlType::VarChar, 20),
              column("lobcomplvl", SqlType::TinyInt, 1), column("inrowlen", SqlType::SmallInt, 2),
              column("status", SqlType::VarChar, 600)},
             rows, frame);
}

} // namespace devserver

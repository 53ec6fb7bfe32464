// Maps SQLite's errors onto Adaptive Server's message numbers, severities and texts, so that
// clients see the numbers they would see from the real server.
#include "SqlErrors.h"

#include <cstdlib>
#include <optional>

namespace devserver {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

/// Splits "table.column" into its parts.
void splitQualified(const std::string& qualified, std::string& table, std::string& column) {
    auto dot = qualified.find('.');
    if (dot == std::string::npos) {
        table = qualified;
        column.clear();
    } else {
        table = qualified.substr(0, dot);
        column = qualified.substr(dot + 1);
    }
    // A composite key lists several columns: keep the first.
    auto comma = column.find(',');
    if (comma != std::string::npos)
        column.resize(comma);
}

/// A word of the translated SQL as the client wrote it: binary literals X'0102' as
/// 0x0102, quoted names without their quotes, the server's functions without the prefix
/// they are registered under.
std::string clientSpelling(std::string_view word) {
    std::string w(word);
    if (w.size() >= 3 && (w[0] == 'X' || w[0] == 'x') && w[1] == '\'' && w.back() == '\'')
        return "0x" + w.substr(2, w.size() - 3);
    if (w.size() >= 2 && w.front() == '"' && w.back() == '"')
        w = w.substr(1, w.size() - 2);
    if (startsWith(w, "tovrin_"))
        w = w.substr(7);
    return w;
}

} // namespace

std::string functionErrorText(const SqlError& error) {
    return std::string(1, kErrorMarker) + std::to_string(error.number()) + kErrorMarker +
           std::to_string(error.severity()) + kErrorMarker + error.what();
}

SqlError syntaxError(std::string_view near) {
    return SqlError(102, 15, "Incorrect syntax near '" + std::string(near) + "'.");
}

SqlError objectNotFound(std::string_view name) {
    return SqlError(208, 16,
                    std::string(name) +
                        " not found. Specify owner.objectname or use sp_help to check whether the "
                        "object exists (sp_help may produce lots of output).");
}

SqlError undeclaredVariable(std::string_view name) {
    return SqlError(137, 15, "Must declare variable '" + std::string(name) + "'.");
}

namespace {

/// The name of the unique index of `table` over exactly `columns` ("a, b"), or empty.
std::string uniqueIndexName(sqlite3* db, const std::string& table, const std::string& columns) {
    std::string found;
    sqlite3_stmt* list = nullptr;
    const char* sql = "select il.name, group_concat(ii.name, ', ') from pragma_index_list(?1) il"
                      " join pragma_index_info(il.name) ii where il.\"unique\" group by il.name";
    if (sqlite3_prepare_v2(db, sql, -1, &list, nullptr) != SQLITE_OK)
        return found;
    sqlite3_bind_text(list, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(list) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(list, 0));
        const auto* cols = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
        if (name && cols && columns == cols) {
            found = name;
            // Indexes made for a primary key or unique constraint have internal names.
            if (found.starts_with("sqlite_autoindex_"))
                found = table + "_pk";
            break;
        }
    }
    sqlite3_finalize(list);
    return found;
}

} // namespace

SqlError sqliteError(sqlite3* db, int rc) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    constexpr std::string_view kUnique = "UNIQUE constraint failed: ";
    if (db && message.starts_with(kUnique)) {
        // "UNIQUE constraint failed: t.a, t.b": name the index as the server does.
        std::string rest = message.substr(kUnique.size());
        std::string table = rest.substr(0, rest.find('.'));
        std::string columns;
        size_t pos = 0;
        while (pos < rest.size()) {
            size_t dot = rest.find('.', pos);
            size_t comma = rest.find(", ", pos);
            if (dot == std::string::npos)
                break;
            if (!columns.empty())
                columns += ", ";
            columns +=
                rest.substr(dot + 1, (comma == std::string::npos ? rest.size() : comma) - dot - 1);
            if (comma == std::string::npos)
                break;
            pos = comma + 2;
        }
        std::string index = uniqueIndexName(db, table, columns);
        if (!index.empty())
            return SqlError(2601, 14,
                            "Attempt to insert duplicate key row in object '" + table +
                                "' with unique index '" + index + "'");
    }
    return mapSqliteError(rc, message);
}

namespace {

/// Errors that SQLite's result code tells alone, whatever its message says.
std::optional<SqlError> errorOfResultCode(int rc) {
    switch (rc & 0xff) {
    case SQLITE_INTERRUPT:
        return SqlError(3618, 10, "Transaction has been aborted by a cancel request.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return SqlError(12205, 17,
                        "Could not acquire a lock within the specified wait period. "
                        "SERVER level wait period=30 seconds.");
    case SQLITE_FULL:
    case SQLITE_NOMEM:
        return SqlError(1105, 17,
                        "Can't allocate space for object in database: the database is full.");
    case SQLITE_TOOBIG:
        return SqlError(
            511, 16, "Attempt to update or insert row failed because resultant row is too large.");
    default:
        return std::nullopt;
    }
}

/// A server error raised inside a SQL function: marker, number, marker, severity, marker,
/// text (see functionErrorText).
std::optional<SqlError> functionError(std::string_view message) {
    if (message.empty() || message[0] != kErrorMarker)
        return std::nullopt;
    auto second = message.find(kErrorMarker, 1);
    auto third = second == std::string_view::npos ? second : message.find(kErrorMarker, second + 1);
    if (third == std::string_view::npos)
        return std::nullopt;
    int number = std::atoi(std::string(message.substr(1, second - 1)).c_str());
    int severity = std::atoi(std::string(message.substr(second + 1, third - second - 1)).c_str());
    return SqlError(number, severity, std::string(message.substr(third + 1)));
}

/// SQLite's syntax errors, naming the word as the client wrote it where SQLite names one.
std::optional<SqlError> syntaxErrorOf(std::string_view message) {
    if (startsWith(message, "near \"")) {
        auto end = message.find("\": syntax error");
        std::string_view near = message.substr(6, end == std::string_view::npos ? 0 : end - 6);
        return syntaxError(clientSpelling(near));
    }
    if (message == "incomplete input" || message.find("syntax error") != std::string_view::npos)
        return SqlError(102, 15, "Incorrect syntax near the end of the batch.");
    return std::nullopt;
}

SqlError functionArgumentCount(std::string_view rest) {
    std::string name(rest);
    if (!name.empty() && name.back() == ')')
        name.pop_back();
    if (name.size() >= 2 && name.substr(name.size() - 1) == "(")
        name.pop_back();
    return SqlError(14216, 16, "Function '" + name + "' called with a wrong number of arguments.");
}

/// `rest` names "table.column" of the key.
SqlError duplicateKey(std::string_view rest) {
    std::string table, column;
    splitQualified(std::string(rest), table, column);
    return SqlError(2601, 14,
                    "Attempt to insert duplicate key row in object '" + table +
                        "' with unique index '" + column + "'");
}

SqlError nullNotAllowed(std::string_view rest) {
    std::string table, column;
    splitQualified(std::string(rest), table, column);
    return SqlError(515, 16,
                    "Attempt to insert NULL value into column '" + column + "', table '" + table +
                        "'; column does not allow nulls. Update fails.");
}

SqlError noCommitBegin(std::string_view) {
    return SqlError(3902, 16,
                    "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
}

/// A SQLite message that starts with `prefix`, and the server error for the rest of it.
struct PrefixRule {
    std::string_view prefix;
    SqlError (*make)(std::string_view rest);
};

constexpr PrefixRule kPrefixRules[] = {
    {"no such table: ", [](std::string_view rest) { return objectNotFound(rest); }},
    {"no such view: ", [](std::string_view rest) { return objectNotFound(rest); }},
    {"no such index: ",
     [](std::string_view rest) {
         return SqlError(3701, 11,
                         "Cannot drop the index '" + std::string(rest) +
                             "', because it doesn't exist in the system catalogs.");
     }},
    {"no such column: ",
     [](std::string_view rest) {
         return SqlError(207, 16, "Invalid column name '" + std::string(rest) + "'.");
     }},
    {"ambiguous column name: ",
     [](std::string_view rest) {
         return SqlError(209, 16, "Ambiguous column name " + std::string(rest));
     }},
    {"no such function: ",
     [](std::string_view rest) {
         return SqlError(14216, 16, "Function '" + std::string(rest) + "' not found.");
     }},
    {"wrong number of arguments to function ", functionArgumentCount},
    {"UNIQUE constraint failed: ", duplicateKey},
    // As long as the prefix above, so the rest is cut where it always was.
    {"PRIMARY KEY must be unique", duplicateKey},
    {"NOT NULL constraint failed: ", nullNotAllowed},
    {"CHECK constraint failed: ",
     [](std::string_view rest) {
         return SqlError(548, 16,
                         "Check constraint violation occurred, dbname = '', table name = '', "
                         "constraint name = '" +
                             std::string(rest) + "'.");
     }},
    {"FOREIGN KEY constraint failed",
     [](std::string_view) {
         return SqlError(546, 16, "Foreign key constraint violation occurred.");
     }},
    {"cannot start a transaction within a transaction",
     [](std::string_view) {
         return SqlError(3902, 16,
                         "The BEGIN TRANSACTION request has no corresponding COMMIT TRANSACTION.");
     }},
    {"cannot commit - no transaction is active", noCommitBegin},
    {"cannot rollback - no transaction is active", noCommitBegin},
};

std::optional<SqlError> errorOfPrefix(std::string_view message) {
    for (const auto& rule : kPrefixRules)
        if (startsWith(message, rule.prefix))
            return rule.make(message.substr(rule.prefix.size()));
    return std::nullopt;
}

/// "table t already exists", "index i already exists", "table t has no column named c".
std::optional<SqlError> tableOrIndexError(std::string_view message) {
    const auto exists = message.find(" already exists");
    if (startsWith(message, "table ") && exists != std::string_view::npos)
        return SqlError(2714, 16,
                        "There is already an object named '" +
                            std::string(message.substr(6, exists - 6)) + "' in the database.");
    if (startsWith(message, "index ") && exists != std::string_view::npos)
        return SqlError(1913, 16,
                        "There is already an index on table with name '" +
                            std::string(message.substr(6, exists - 6)) + "'.");
    const auto noColumn = message.find(" has no column named ");
    if (startsWith(message, "table ") && noColumn != std::string_view::npos)
        return SqlError(
            207, 16, "Invalid column name '" + std::string(message.substr(noColumn + 21)) + "'.");
    if (message.find("values for") != std::string_view::npos &&
        message.find("columns") != std::string_view::npos)
        return SqlError(213, 16,
                        "Insert error: column name or number of supplied values does not match "
                        "table definition.");
    return std::nullopt;
}

} // namespace

SqlError mapSqliteError(int rc, std::string_view message) {
    if (auto error = errorOfResultCode(rc))
        return *error;
    // The first rule that knows the message decides.
    for (auto rule : {functionError, syntaxErrorOf, errorOfPrefix, tableOrIndexError})
        if (auto error = rule(message))
            return *error;
    if (message == "integer overflow")
        return SqlError(3606, 16, "Arithmetic overflow occurred.");
    return SqlError(7200, 16, std::string(message));
}

} // namespace devserver

// timestamp columns: each database keeps one counter, its @@dbts; every insert and every
// update of a row of a table with a timestamp column stores the counter's next value in
// that column (eight bytes, most significant first), so that a client can tell whether a
// row changed since it read it.
#include "SqlTimestamp.h"

#include "SqlConnection.h"
#include "SqlErrors.h"
#include "SqlTranslator.h"

namespace devserver {

namespace {

// tovrin_timestamp(n): the counter value n as the eight bytes of a timestamp.
void timestampFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto n = static_cast<uint64_t>(sqlite3_value_int64(argv[0]));
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(n >> (56 - 8 * i));
    sqlite3_result_blob(context, bytes, sizeof bytes, SQLITE_TRANSIENT);
}

// The counter's table in the schema that holds `temporary` tables or the database's own.
std::string counterTable(bool temporary) {
    return std::string(temporary ? "temp." : "main.") + kTimestampCounterTable;
}

std::string bytesOf(sqlite3_value* value) {
    const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
    return data ? std::string(data, static_cast<size_t>(sqlite3_value_bytes(value))) : "";
}

// tsequal(a, b): true when the two timestamps are equal, else error 532, which ends the
// statement (an update guarded by it changes nothing). The message shows `b`, as the
// server's reference shows it for tsequal(timestamp, <value read before>).
void tsequalFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_int(context, 0);
    const std::string a = bytesOf(argv[0]), b = bytesOf(argv[1]);
    if (a == b)
        return sqlite3_result_int(context, 1);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown = "0x";
    for (unsigned char c : b) {
        shown += kHex[c >> 4];
        shown += kHex[c & 0x0F];
    }
    const SqlError error(532, 16,
                         "The timestamp (changed to " + shown +
                             ") shows that the row has been updated by another user.");
    sqlite3_result_error(context, functionErrorText(error).c_str(), -1);
}

} // namespace

void registerTimestampFunction(sqlite3* db) {
    sqlite3_create_function(db, "tovrin_timestamp", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            timestampFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tsequal", 2, SQLITE_UTF8, nullptr, tsequalFunction, nullptr,
                            nullptr);
}

void stampOnWrite(SqlConnection& conn, const std::string& table, const std::string& column) {
    const bool temporary = table.starts_with("#");
    conn.exec("create table if not exists " + counterTable(temporary) +
              " (value integer not null);"
              "insert into " +
              counterTable(temporary) + " select " + std::to_string(kFirstTimestamp) +
              " where not exists (select 1 from " + counterTable(temporary) + ")");
    const std::string temp = temporary ? "temp " : "";
    const std::string name = quoteIdentifier(table);
    const std::string col = quoteIdentifier(column);
    // Triggers name no schema: the counter is found where the table is.
    const std::string stamp = " begin update " + std::string(kTimestampCounterTable) +
                              " set value = value + 1; update " + name + " set " + col +
                              " = tovrin_timestamp((select value from " + kTimestampCounterTable +
                              ")) where rowid = new.rowid; end";
    conn.exec("create " + temp + "trigger " + quoteIdentifier("tovrin_stamp_" + table + "_i") +
              " after insert on " + name + " for each row" + stamp);
    // An update that sets the timestamp itself (the insert's stamp above) is not stamped
    // again.
    conn.exec("create " + temp + "trigger " + quoteIdentifier("tovrin_stamp_" + table + "_u") +
              " after update on " + name + " for each row when old." + col + " is new." + col +
              stamp);
}

SqlValue databaseTimestamp(SqlConnection& conn) {
    sqlite3_stmt* stmt = nullptr;
    int64_t value = kFirstTimestamp;
    const std::string sql = "select value from " + counterTable(false);
    if (sqlite3_prepare_v2(conn.handle(), sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[static_cast<size_t>(i)] =
            static_cast<char>(static_cast<uint64_t>(value) >> (56 - 8 * i));
    return SqlValue::ofBlob(std::move(bytes));
}

} // namespace devserver

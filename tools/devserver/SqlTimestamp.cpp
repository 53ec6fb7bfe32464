// timestamp columns: each database keeps one counter, its @@dbts; every insert and every
// update of a row of a table with a timestamp column stores the counter's next value in
// that column (eight bytes, most significant first), so that a client can tell whether a
// row changed since it read it.
#include "SqlTimestamp.h"

#include "SqlConnection.h"
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

} // namespace

void registerTimestampFunction(sqlite3* db) {
    sqlite3_create_function(db, "tovrin_timestamp", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            timestampFunction, nullptr, nullptr);
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

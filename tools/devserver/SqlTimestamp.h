// timestamp columns and the database's timestamp counter (@@dbts).
#pragma once

#include "TypesValues.h"

#include <sqlite3.h>
#include <string>

namespace devserver {

class SqlConnection;

/// The table of a database that holds its timestamp counter (hidden from the catalog).
inline constexpr const char* kTimestampCounterTable = "tovrin_dbts";
/// The counter of a database that has never stamped a row.
inline constexpr int64_t kFirstTimestamp = 1000;

/// Registers tovrin_timestamp(n), the eight bytes of timestamp value n.
void registerTimestampFunction(sqlite3* db);

/// Makes every insert and update of a row of `table` store the database's next timestamp
/// in `column`.
void stampOnWrite(SqlConnection& conn, const std::string& table, const std::string& column);

/// The database's current timestamp (@@dbts), as eight bytes.
SqlValue databaseTimestamp(SqlConnection& conn);

} // namespace devserver

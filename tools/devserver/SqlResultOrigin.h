// What the server tells a client about the origin of result columns (see
// SqlResultOrigin.cpp); browse mode's additions to a select.
#pragma once

#include "Engine.h"
#include "SqlLexer.h"

#include <span>

#include <functional>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace devserver {

/// For each table of the from list that starts at tokens[from] and is a plain table (joins
/// and derived tables are left out): the name its columns can be qualified by (its alias,
/// else its own name) and its own name.
std::vector<std::pair<std::string, std::string>> fromTables(std::span<const Token> tokens,
                                                            size_t from);

/// Marks each column of the result of `stmt` that shows a table column unchanged with its
/// database (`catalogOf` names the database of an SQLite schema), owner, table and column,
/// and as identity or timestamp column.
void describeOrigins(sqlite3* db, sqlite3_stmt* stmt, std::vector<Column>& columns,
                     const std::function<std::string(const std::string&)>& catalogOf);

/// The columns that locate a row of `table` again: its primary key (else its first unique
/// index), then its timestamp column.
std::vector<std::string> browseKeyColumns(sqlite3* db, const std::string& table);

/// Marks the columns of a browse-mode result: the last `hidden` were added for the key;
/// columns of a table are updatable, and key columns keys. Gives the tables and the table
/// of each column.
BrowseInfo markBrowseColumns(sqlite3* db, std::vector<Column>& columns, size_t hidden);

} // namespace devserver

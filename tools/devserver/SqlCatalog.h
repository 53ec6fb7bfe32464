// The system tables a client asks first (sysobjects, syscolumns, systypes, sysusers,
// sysdatabases) with the server's column names and types. Each connection holds them as
// temporary tables; those that describe the database's objects are filled again when a
// statement names them, so that they always show the tables as they are.
#pragma once

#include "SqlConnection.h"

#include <span>
#include <string>
#include <vector>

namespace devserver {

struct Token;

/// Creates the catalog tables of a new connection (and the view object_id reads).
void createCatalog(SqlConnection& connection);

/// Fills again the catalog tables that `tokens` name (sysobjects, syscolumns, sysdatabases;
/// object_id reads its own view). `databases` lists every database of the server.
void refreshCatalog(SqlConnection& connection, std::span<const Token> tokens,
                    const std::vector<std::string>& databases);

/// The server's type code (systypes.type) and user type (systypes.usertype) of a declared
/// type, as syscolumns and sp_help show them.
struct CatalogType {
    int type = 0;
    int usertype = 0;
    std::string name;
};
[[nodiscard]] CatalogType catalogType(const ColumnType& type);

/// The bytes a column of `type` takes as syscolumns.length and sp_help show it (16 for a
/// text pointer, the server's storage size for numeric).
[[nodiscard]] int storageLength(const ColumnType& type);

} // namespace devserver

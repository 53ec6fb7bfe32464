// Identity columns: @@identity after an insert (0 when the table has no identity column),
// explicit values for an identity column only under `set identity_insert <table> on`, and
// an insert without a column list that supplies every column but the identity.
#include "SqlErrors.h"
#include "SqlResultOrigin.h"
#include "SqlSession.h"

#include <cctype>

namespace devserver {

namespace {

bool isName(const Token& t) {
    return t.kind == Token::Kind::Identifier || t.kind == Token::Kind::QuotedIdentifier;
}

/// The target of an insert: the table's name (the last part of a qualified name) and the
/// index just after it.
std::pair<std::string, size_t> insertTarget(std::span<const Token> tokens) {
    size_t k = tokens.size() > 1 && tokens[1].is("into") ? 2 : 1;
    std::string table;
    while (k < tokens.size() &&
           (tokens[k].isOp(".") ||
            (isName(tokens[k]) && (table.empty() || tokens[k - 1].isOp("."))))) {
        if (!tokens[k].isOp("."))
            table = tokens[k].text;
        ++k;
    }
    return {table, k};
}

} // namespace

std::string SqlSession::identityColumn(const std::string& table) {
    sqlite3* db = connection().handle();
    sqlite3_stmt* stmt = nullptr;
    std::string column;
    if (sqlite3_prepare_v2(db, "select name from pragma_table_info(?1) where pk = 1", -1, &stmt,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            column = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    int autoIncrement = 0;
    if (column.empty() ||
        sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), nullptr, nullptr,
                                      nullptr, nullptr, &autoIncrement) != SQLITE_OK ||
        !autoIncrement)
        return {};
    return column;
}

void SqlSession::setIdentityInsert(std::span<const Token> tokens) {
    if (tokens.size() < 4 || !(tokens.back().is("on") || tokens.back().is("off")))
        throw SqlError(102, 15, "Incorrect syntax near 'identity_insert'.");
    const std::string table = tokens[tokens.size() - 2].text;
    if (tokens.back().is("on"))
        m_identityInsert.insert(lower(table));
    else
        m_identityInsert.erase(lower(table));
}

void SqlSession::checkIdentityInsert(std::span<const Token> tokens) {
    const auto [table, end] = insertTarget(tokens);
    if (table.empty() || end >= tokens.size() || !tokens[end].isOp("(") ||
        m_identityInsert.count(lower(table)))
        return;
    const std::string identity = identityColumn(table);
    if (identity.empty())
        return;
    for (size_t k = end + 1; k < tokens.size() && !tokens[k].isOp(")"); ++k)
        if (isName(tokens[k]) && lower(tokens[k].text) == lower(identity))
            throw SqlError(584, 16,
                           "Explicit value specified for identity field in table '" + table +
                               "' when IDENTITY_INSERT is set to OFF.");
}

bool SqlSession::listColumnsButIdentity(std::span<const Token> tokens, std::vector<Token>& out) {
    const auto [table, end] = insertTarget(tokens);
    if (table.empty() || end >= tokens.size() ||
        !(tokens[end].is("values") || tokens[end].is("select")) ||
        m_identityInsert.count(lower(table)))
        return false;
    const std::string identity = identityColumn(table);
    if (identity.empty())
        return false;
    // insert t values (…) leaves the identity column out: it takes its next value.
    std::vector<Token> list;
    size_t offset = tokens.back().end + 1; // past the batch's own tokens
    const Token& at = tokens[end];
    const auto token = [&](Token::Kind kind, const std::string& text) {
        list.push_back(madeToken(at, kind, text, offset));
    };
    token(Token::Kind::Operator, "(");
    for (const std::string& column : columnsOf(table)) {
        if (lower(column) == lower(identity))
            continue;
        if (list.size() > 1)
            token(Token::Kind::Operator, ",");
        token(Token::Kind::QuotedIdentifier, column);
    }
    token(Token::Kind::Operator, ")");
    out.assign(tokens.begin(), tokens.end());
    out.insert(out.begin() + static_cast<long>(end), list.begin(), list.end());
    return true;
}

void SqlSession::noteIdentity(std::span<const Token> tokens, int64_t inserted) {
    const std::string table = insertTarget(tokens).first;
    if (table.empty())
        return;
    if (identityColumn(table).empty())
        m_identity = 0;
    else if (inserted > 0)
        m_identity = sqlite3_last_insert_rowid(connection().handle());
}

} // namespace devserver

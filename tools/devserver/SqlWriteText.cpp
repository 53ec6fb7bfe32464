// Text pointers and writetext: a select's text and image values of a table carry the id of
// their row, so that a client can later replace such a value whole (writetext, the client
// library's send-data path) by naming the table, the column and the pointer it was sent.
#include "SqlErrors.h"
#include "SqlParser.h"
#include "SqlResultOrigin.h"
#include "SqlSession.h"
#include "TypesCatalog.h"

#include <strings.h>
#include <utility>

namespace devserver {

namespace {

bool isTextOrImage(const char* declared) {
    if (!declared)
        return false;
    const auto type = parseDeclaredType(declared);
    return type && (type->type == SqlType::Text || type->type == SqlType::Image);
}

} // namespace

std::optional<SqlSession::TextRows> SqlSession::addTextRowColumns(std::span<const Token> tokens,
                                                                  sqlite3_stmt* stmt,
                                                                  std::vector<Token>& out) {
    // Rows of a distinct, grouped or combined result are no rows of a table.
    for (const Token& t : tokens)
        if (t.is("distinct") || t.is("group") || t.is("union"))
            return std::nullopt;
    const int columnCount = sqlite3_column_count(stmt);
    std::vector<std::pair<size_t, std::string>> textColumns; // index, table
    for (int c = 0; c < columnCount; ++c)
        if (const char* table = sqlite3_column_table_name(stmt, c);
            table && isTextOrImage(sqlite3_column_decltype(stmt, c)))
            textColumns.emplace_back(static_cast<size_t>(c), table);
    if (textColumns.empty())
        return std::nullopt;

    const size_t from = findOutsideParentheses(tokens, 1, endsSelectList);
    if (from >= tokens.size() || !tokens[from].is("from"))
        return std::nullopt;
    const auto tables = fromTables(tokens, from);
    TextRows rows;
    std::vector<std::string> carried; // the tables whose row id comes along, in order
    std::vector<Token> added;
    size_t offset = tokens.back().end + 1; // past the batch's own tokens
    const auto token = [&](Token::Kind kind, std::string text) {
        added.push_back(madeToken(tokens[from], kind, std::move(text), offset));
    };
    for (const auto& [column, table] : textColumns) {
        const std::string& name = table;
        const auto known = std::find_if(tables.begin(), tables.end(), [&](const auto& entry) {
            return strcasecmp(entry.second.c_str(), name.c_str()) == 0;
        });
        if (known == tables.end())
            continue;
        auto at = std::find(carried.begin(), carried.end(), table);
        if (at == carried.end()) {
            token(Token::Kind::Operator, ",");
            token(Token::Kind::QuotedIdentifier, known->first);
            token(Token::Kind::Operator, ".");
            token(Token::Kind::Identifier, "rowid");
            carried.push_back(table);
            at = carried.end() - 1;
        }
        rows.links.emplace_back(column, static_cast<size_t>(columnCount) +
                                            static_cast<size_t>(at - carried.begin()));
    }
    if (carried.empty())
        return std::nullopt;
    rows.carriers = carried.size();
    out.assign(tokens.begin(), tokens.end());
    out.insert(out.begin() + static_cast<long>(from), added.begin(), added.end());
    return rows;
}

std::optional<Translation> SqlSession::withTextRows(sqlite3_stmt* stmt, bool assigning,
                                                    Frame& frame) {
    const std::span<const Token> source = std::exchange(m_textRowSource, {});
    if (source.empty() || assigning)
        return std::nullopt;
    std::vector<Token> withRows;
    std::optional<TextRows> rows = addTextRowColumns(source, stmt, withRows);
    if (!rows)
        return std::nullopt;
    m_textRows = *rows;
    return translate(withRows, context(frame), true);
}

void SqlSession::writeText(const std::string& object, int64_t row, const std::string& data,
                           ResultSink& sink) {
    m_sink = &sink;
    Frame frame;
    try {
        // [database.[owner].]table.column
        const size_t dot = object.rfind('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == object.size())
            throw SqlError(102, 15, "Incorrect syntax near '" + object + "'.");
        std::string table = object.substr(0, dot);
        if (const size_t qualified = table.rfind('.'); qualified != std::string::npos)
            table = table.substr(qualified + 1);
        const std::string column = object.substr(dot + 1);
        sqlite3* db = connection().handle();
        const char* declared = nullptr;
        if (sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), &declared,
                                          nullptr, nullptr, nullptr, nullptr) != SQLITE_OK ||
            !isTextOrImage(declared))
            throw SqlError(207, 16, "Invalid column name '" + column + "'.");
        const bool text = parseDeclaredType(declared)->type == SqlType::Text;
        const std::string sql = "update " + quoteIdentifier(table) + " set " +
                                quoteIdentifier(column) + " = ?1 where rowid = ?2";
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            if (text)
                sqlite3_bind_text(stmt, 1, data.data(), static_cast<int>(data.size()),
                                  SQLITE_TRANSIENT);
            else
                sqlite3_bind_blob(stmt, 1, data.data(), static_cast<int>(data.size()),
                                  SQLITE_TRANSIENT);
            sqlite3_bind_int64(stmt, 2, row);
            rc = sqlite3_step(stmt);
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw sqliteError(db, rc);
        if (sqlite3_changes64(db) == 0)
            throw SqlError(7123, 16, "Invalid text pointer value for " + object + ".");
        done(frame, false, std::nullopt);
    } catch (const SqlError& e) {
        reportError(e, frame, 1);
        done(frame, true, std::nullopt);
    }
    m_sink = nullptr;
}

} // namespace devserver

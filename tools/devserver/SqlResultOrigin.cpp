// What a client learns of where a result column comes from: the database, owner, table and
// column of a plain column (under its own name or an alias), identity and timestamp columns,
// and browse mode (`select … for browse`), which adds the key and timestamp columns a
// client needs to locate a row again, hidden when not asked for, and says which columns are
// expressions.
#include "SqlResultOrigin.h"

#include "SqlErrors.h"
#include "SqlParser.h"
#include "SqlSession.h"

#include <algorithm>
#include <cctype>

namespace devserver {

namespace {

// A prepared SQLite statement owned for the scope of a lookup.
class Lookup {
public:
    Lookup(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~Lookup() { sqlite3_finalize(m_stmt); }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;
    [[nodiscard]] bool step() const { return m_stmt && sqlite3_step(m_stmt) == SQLITE_ROW; }
    [[nodiscard]] std::string text(int column) const {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return t ? t : "";
    }
    [[nodiscard]] int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace

std::vector<std::pair<std::string, std::string>> fromTables(std::span<const Token> tokens,
                                                            size_t from) {
    size_t end = from + 1;
    for (int depth = 0; end < tokens.size(); ++end) {
        if (tokens[end].isOp("("))
            ++depth;
        else if (tokens[end].isOp(")"))
            --depth;
        else if (depth == 0 && endsSelectList(tokens[end]))
            break;
    }
    std::vector<std::pair<std::string, std::string>> tables;
    for (std::span<const Token> entry : splitAtCommas(tokens.subspan(from + 1, end - from - 1))) {
        // The name: name, owner.name, database..name, database.owner.name.
        const auto isName = [](const Token& t) {
            return t.kind == Token::Kind::Identifier || t.kind == Token::Kind::QuotedIdentifier;
        };
        size_t k = 0;
        std::string table;
        while (k < entry.size() &&
               (entry[k].isOp(".") || (isName(entry[k]) && (k == 0 || entry[k - 1].isOp("."))))) {
            if (!entry[k].isOp("."))
                table = entry[k].text;
            ++k;
        }
        if (table.empty())
            continue;
        std::string qualifier = table;
        size_t rest = k;
        if (rest < entry.size() && entry[rest].is("as"))
            ++rest;
        if (rest < entry.size() && isName(entry[rest])) {
            qualifier = entry[rest].text;
            ++rest;
        }
        if (rest == entry.size())
            tables.emplace_back(qualifier, table);
    }
    return tables;
}

bool endsSelectList(const Token& t) {
    return t.is("from") || t.is("where") || t.is("group") || t.is("having") || t.is("order") ||
           t.is("union");
}

Token madeToken(const Token& like, Token::Kind kind, std::string text, size_t& offset) {
    Token t = like;
    t.kind = kind;
    t.text = std::move(text);
    t.begin = offset++;
    t.end = offset++;
    return t;
}

void describeOrigins(sqlite3* db, sqlite3_stmt* stmt, std::vector<Column>& columns,
                     const std::function<std::string(const std::string&)>& catalogOf) {
    for (size_t c = 0; c < columns.size(); ++c) {
        const int i = static_cast<int>(c);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* schema = sqlite3_column_database_name(stmt, i);
        if (!origin || !table || !schema)
            continue;
        Column& column = columns[c];
        column.origin.database = catalogOf(schema);
        column.origin.owner = "dbo";
        column.origin.table = table;
        column.origin.column = origin;
        const char* declared = nullptr;
        int autoIncrement = 0;
        if (sqlite3_table_column_metadata(db, schema, table, origin, &declared, nullptr, nullptr,
                                          nullptr, &autoIncrement) == SQLITE_OK) {
            column.identity = autoIncrement != 0;
            if (column.identity)
                column.type.nullable = false; // an identity column never holds NULL
            column.timestamp = declared && lower(declared) == "timestamp";
        }
    }
}

std::vector<std::string> browseKeyColumns(sqlite3* db, const std::string& table) {
    std::vector<std::pair<int64_t, std::string>> primary;
    std::vector<std::string> timestamps;
    {
        Lookup info(db, "select name, pk, lower(type) from pragma_table_info(" +
                            quoteLiteral(table) + ")");
        while (info.step()) {
            if (info.integer(1) > 0)
                primary.emplace_back(info.integer(1), info.text(0));
            if (info.text(2) == "timestamp")
                timestamps.push_back(info.text(0));
        }
    }
    std::sort(primary.begin(), primary.end());
    std::vector<std::string> keys;
    for (auto& [position, name] : primary)
        keys.push_back(std::move(name));
    if (keys.empty()) {
        // No primary key: the first unique index.
        Lookup indexes(db, "select name from pragma_index_list(" + quoteLiteral(table) +
                               ") where \"unique\" = 1 order by seq desc limit 1");
        if (indexes.step()) {
            Lookup columnsOf(db, "select name from pragma_index_info(" +
                                     quoteLiteral(indexes.text(0)) + ") order by seqno");
            while (columnsOf.step())
                keys.push_back(columnsOf.text(0));
        }
    }
    keys.insert(keys.end(), timestamps.begin(), timestamps.end());
    return keys;
}

size_t SqlSession::addBrowseColumns(std::span<const Token> tokens, std::vector<Token>& out) {
    const size_t from = findOutsideParentheses(tokens, 1, endsSelectList);
    out.assign(tokens.begin(), tokens.end());
    if (from >= tokens.size() || !tokens[from].is("from"))
        return 0;
    // The columns of the select list that name a table column, by their last name part.
    std::vector<std::string> listed;
    bool star = false;
    for (std::span<const Token> item : splitAtCommas(tokens.subspan(1, from - 1))) {
        if (item.empty())
            continue;
        star = star || item.back().isOp("*");
        if (item.back().kind == Token::Kind::Identifier ||
            item.back().kind == Token::Kind::QuotedIdentifier)
            listed.push_back(lower(item.back().text));
    }
    std::vector<Token> added;
    size_t offset = tokens.back().end + 1; // past the batch's own tokens
    const auto token = [&](Token::Kind kind, std::string text) {
        added.push_back(madeToken(tokens[from], kind, std::move(text), offset));
    };
    size_t count = 0;
    sqlite3* db = connection().handle();
    for (const auto& [qualifier, table] : fromTables(tokens, from)) {
        for (const std::string& key : browseKeyColumns(db, table)) {
            if (star || std::find(listed.begin(), listed.end(), lower(key)) != listed.end())
                continue;
            token(Token::Kind::Operator, ",");
            token(Token::Kind::QuotedIdentifier, qualifier);
            token(Token::Kind::Operator, ".");
            token(Token::Kind::QuotedIdentifier, key);
            listed.push_back(lower(key));
            ++count;
        }
    }
    out.insert(out.begin() + static_cast<long>(from), added.begin(), added.end());
    return count;
}

BrowseInfo markBrowseColumns(sqlite3* db, std::vector<Column>& columns, size_t hidden) {
    BrowseInfo info;
    for (size_t i = 0; i < columns.size(); ++i) {
        Column& column = columns[i];
        column.hidden = i + hidden >= columns.size();
        if (column.origin.table.empty()) {
            info.tableOfColumn.push_back(0);
            continue;
        }
        column.updatable = true;
        const auto known = std::find(info.tables.begin(), info.tables.end(), column.origin.table);
        info.tableOfColumn.push_back(static_cast<int>(known - info.tables.begin()) + 1);
        if (known == info.tables.end())
            info.tables.push_back(column.origin.table);
        const std::vector<std::string> keys = browseKeyColumns(db, column.origin.table);
        column.key = std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
            return lower(k) == lower(column.origin.column);
        });
    }
    return info;
}

void SqlSession::sendRowFormat(sqlite3_stmt* stmt, std::vector<Column>& columns) {
    sqlite3* db = connection().handle();
    describeOrigins(db, stmt, columns,
                    [this](const std::string& schema) { return catalogOf(schema); });
    std::optional<BrowseInfo> browse;
    if (m_browseHidden)
        browse = markBrowseColumns(db, columns, *m_browseHidden);
    m_browseHidden.reset(); // a nested query of this statement is no browse
    m_sink->rowFormat(columns);
    if (browse)
        m_sink->browseInfo(columns, *browse);
}

} // namespace devserver

// The check a batch passes before any of it runs: the server compiles a whole batch first,
// so a syntax error, an undeclared variable, an unknown type or a name that does not
// resolve anywhere in it runs nothing of the batch. Each data statement is translated and
// prepared (not run) in order; variables are declared as they appear. Objects the batch
// creates do not exist while it is checked, so their names are left to run time, and after
// an exec, use, drop or alter only the syntax is checked. A literal NULL written to a not-null column is refused here too (233).
#include "SqlSession.h"

#include "SqlErrors.h"
#include "TypesCatalog.h"

#include <cctype>
#include <set>

namespace devserver {

namespace {

/// Errors found while compiling: syntax (severity 15, e.g. 102, 137, 156) and unknown types.
bool isCompileError(const SqlError& e) {
    return e.severity() == 15 || e.number() == 2715;
}

/// Errors of name resolution: unknown object or column, ambiguous column.
bool isNameError(const SqlError& e) {
    return e.number() == 208 || e.number() == 207 || e.number() == 209;
}

std::string lower(std::string_view s) {
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// The unqualified name that starts at tokens[i] ("db..t", "dbo.t", "t"), lower case.
std::string objectName(std::span<const Token> t, size_t i) {
    std::string name;
    while (i < t.size() && (t[i].kind == Token::Kind::Identifier || t[i].isOp("."))) {
        if (!t[i].isOp(".")) name = t[i].text;
        ++i;
        if (i < t.size() && !t[i].isOp(".") && !t[i - 1].isOp(".")) break;
    }
    return lower(name);
}

/// What a statement does to the names a batch can resolve: the table or view it creates
/// (`created`), or true when it may change them in ways that cannot be told (exec, use,
/// drop, alter).
bool changesSchema(std::span<const Token> t, std::set<std::string>& created) {
    if (t.empty()) return false;
    const Token& head = t[0];
    if (head.is("create") && t.size() > 2 && (t[1].is("table") || t[1].is("view"))) {
        created.insert(objectName(t, 2));
        return false;
    }
    if (head.is("create") || head.is("drop") || head.is("alter") || head.is("exec") || head.is("execute") ||
        head.is("use") || head.is("truncate"))
        return true;
    return false;
}

/// The table a `select … into` creates, or empty.
std::string selectIntoTarget(std::span<const Token> t) {
    if (t.empty() || !t[0].is("select")) return {};
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].isOp("(")) ++depth;
        else if (t[i].isOp(")")) --depth;
        else if (depth == 0 && t[i].is("into")) return objectName(t, i + 1);
    }
    return {};
}

/// The object a 208 error names.
std::string missingObject(const SqlError& e) {
    std::string text = e.what();
    auto end = text.find(" not found.");
    std::string name = lower(text.substr(0, end == std::string::npos ? 0 : end));
    auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

} // namespace

bool SqlSession::isFatalAtCompile(const SqlError& e, const BatchNames& names) const {
    if (isCompileError(e) || e.number() == 233) return true;
    if (names.opaque) return false;
    if (e.number() == 208) return names.created.count(missingObject(e)) == 0;
    return isNameError(e) && names.created.empty();
}

bool SqlSession::compileBatch(const Statement& root, const Frame& frame) {
    Frame scratch = frame;
    BatchNames names;
    const Statement* failing = nullptr;
    try {
        for (size_t i = 0; i < root.children.size(); ++i) {
            const Statement& s = *root.children[i];
            failing = &s;
            // A procedure name alone as the first statement runs it.
            if (i == 0 && s.kind == Statement::Kind::Simple && !s.tokens.empty() &&
                s.tokens[0].kind == Token::Kind::Identifier && !isStatementKeyword(s.tokens[0])) {
                names.opaque = true;
                continue;
            }
            compileStatement(s, scratch, names);
        }
    } catch (const SqlError& e) {
        m_rowCount = 0;
        reportError(e, frame, failing ? failing->line : 1);
        done(frame, true, std::nullopt);
        return false;
    }
    return true;
}

void SqlSession::compileStatement(const Statement& statement, Frame& scratch, BatchNames& names) {
    auto check = [&](std::span<const Token> tokens, bool expression) {
        try {
            Translation tr = expression ? translateExpression(tokens, context(scratch))
                                        : translate(tokens, context(scratch), tokens[0].is("select"));
            sqlite3_stmt* stmt = nullptr;
            int rc = sqlite3_prepare_v2(connection().handle(), tr.sql.c_str(), static_cast<int>(tr.sql.size()), &stmt,
                                        nullptr);
            if (rc != SQLITE_OK) {
                SqlError error = sqliteError(connection().handle(), rc);
                sqlite3_finalize(stmt);
                throw error;
            }
            sqlite3_finalize(stmt);
            if (!expression && (tokens[0].is("insert") || tokens[0].is("update"))) checkNullTargets(tokens);
        } catch (const SqlError& e) {
            if (isFatalAtCompile(e, names)) throw;
        }
    };
    switch (statement.kind) {
    case Statement::Kind::Block:
        for (const auto& child : statement.children) compileStatement(*child, scratch, names);
        return;
    case Statement::Kind::If:
    case Statement::Kind::While:
        if (!statement.tokens.empty()) check(statement.tokens, true);
        for (const auto& child : statement.children) compileStatement(*child, scratch, names);
        return;
    case Statement::Kind::Simple: break;
    }
    std::span<const Token> t(statement.tokens);
    if (t.empty()) return;
    const Token& head = t[0];
    if (changesSchema(t, names.created)) {
        names.opaque = true;
        return;
    }
    if (std::string target = selectIntoTarget(t); !target.empty()) {
        // Its select is checked when it runs, against the names known then.
        names.created.insert(target);
        return;
    }
    if (head.is("declare")) {
        for (auto item : splitAtCommas(t.subspan(1))) {
            if (item.size() < 2 || item[0].kind != Token::Kind::Variable)
                throw syntaxError(item.empty() ? "declare" : item[0].text);
            size_t typeEnd = 1;
            while (typeEnd < item.size() && !item[typeEnd].isOp("=")) ++typeEnd;
            std::string typeText;
            for (size_t k = 1; k < typeEnd; ++k) {
                if (k > 1 && item[k].kind == Token::Kind::Identifier && item[k - 1].kind == Token::Kind::Identifier)
                    typeText += ' ';
                typeText += item[k].text;
            }
            if (item[1].is("as")) typeText = typeText.substr(2);
            auto type = parseDeclaredType(typeText);
            if (!type) throw SqlError(2715, 16, "Can't find type '" + typeText + "'.");
            scratch.variables[lower(item[0].text)] = Variable{type, SqlValue::null()};
        }
        return;
    }
    if (head.is("select") || head.is("insert") || head.is("update") || head.is("delete")) {
        check(t, false);
        return;
    }
    if (head.is("set") && t.size() > 3 && t[1].kind == Token::Kind::Variable && t[2].isOp("="))
        check(t.subspan(3), true);
}

void SqlSession::checkNullTargets(std::span<const Token> t) {
    // insert [into] table [(columns)] values (…) / update table set column = null, …
    size_t i = 1;
    if (t[0].is("insert") && i < t.size() && t[i].is("into")) ++i;
    if (i >= t.size() || t[i].kind != Token::Kind::Identifier) return;
    const std::string table = objectName(t, i);
    while (i < t.size() && (t[i].kind == Token::Kind::Identifier || t[i].isOp(".")) && !t[i].is("values") &&
           !t[i].is("set"))
        ++i;
    std::vector<std::pair<std::string, bool>> columns; // name, not null
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(connection().handle(), "select name, \"notnull\" from pragma_table_info(?1) order by cid",
                               -1, &stmt, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                                     sqlite3_column_int(stmt, 1) != 0);
        }
        sqlite3_finalize(stmt);
    }
    if (columns.empty()) return;
    auto refuse = [&](const std::string& column) {
        for (const auto& [name, notNull] : columns)
            if (notNull && lower(name) == lower(column))
                throw SqlError(233, 16, "The column " + name + " in table " + table + " does not allow null values.");
    };
    auto isNull = [](std::span<const Token> value) { return value.size() == 1 && value[0].is("null"); };
    auto closing = [&](size_t open) {
        int depth = 0;
        for (size_t k = open; k < t.size(); ++k) {
            if (t[k].isOp("(")) ++depth;
            else if (t[k].isOp(")") && --depth == 0) return k;
        }
        return t.size();
    };
    if (t[0].is("insert")) {
        std::vector<std::string> names;
        if (i < t.size() && t[i].isOp("(")) {
            size_t close = closing(i);
            for (auto item : splitAtCommas(t.subspan(i + 1, close - i - 1)))
                if (item.size() == 1) names.push_back(item[0].text);
            i = close + 1;
        } else {
            for (const auto& column : columns) names.push_back(column.first);
        }
        if (i >= t.size() || !t[i].is("values") || i + 1 >= t.size() || !t[i + 1].isOp("(")) return;
        size_t close = closing(i + 1);
        auto values = splitAtCommas(t.subspan(i + 2, close - i - 2));
        for (size_t k = 0; k < values.size() && k < names.size(); ++k)
            if (isNull(values[k])) refuse(names[k]);
        return;
    }
    if (i >= t.size() || !t[i].is("set")) return;
    size_t end = i + 1;
    for (int depth = 0; end < t.size(); ++end) {
        if (t[end].isOp("(")) ++depth;
        else if (t[end].isOp(")")) --depth;
        else if (depth == 0 && (t[end].is("from") || t[end].is("where"))) break;
    }
    for (auto item : splitAtCommas(t.subspan(i + 1, end - i - 1)))
        if (item.size() >= 3 && item[item.size() - 2].isOp("=") && isNull(item.subspan(item.size() - 1)))
            refuse(item[item.size() - 3].text);
}

} // namespace devserver

// The check a batch passes before any of it runs: the server compiles a whole batch first,
// so a syntax error, an undeclared variable, an unknown type or a name that does not
// resolve anywhere in it runs nothing of the batch. Each data statement is translated and
// prepared (not run) in order; variables are declared as they appear. Objects the batch
// creates do not exist while it is checked, so their names are left to run time, and after
// an exec, use, drop or alter only the syntax is checked. A literal NULL written to a
// not-null column (233) and a character literal written to or compared with a numeric
// column (257) are refused here too.
#include "SqlSession.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "TypesCatalog.h"

#include <algorithm>
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

/// The unqualified name that starts at tokens[i] ("db..t", "dbo.t", "t"), lower case.
std::string objectName(std::span<const Token> t, size_t i) {
    std::string name;
    while (i < t.size() && (t[i].kind == Token::Kind::Identifier || t[i].isOp("."))) {
        if (!t[i].isOp("."))
            name = t[i].text;
        ++i;
        if (i < t.size() && !t[i].isOp(".") && !t[i - 1].isOp("."))
            break;
    }
    return lower(name);
}

/// What a statement does to the names a batch can resolve: the table or view it creates
/// (`created`), or true when it may change them in ways that cannot be told (exec, use,
/// drop, alter).
bool changesSchema(std::span<const Token> t, std::set<std::string>& created) {
    if (t.empty())
        return false;
    const Token& head = t[0];
    if (head.is("create") && t.size() > 2 && (t[1].is("table") || t[1].is("view"))) {
        created.insert(objectName(t, 2));
        return false;
    }
    if (head.is("create") || head.is("drop") || head.is("alter") || head.is("exec") ||
        head.is("execute") || head.is("use") || head.is("truncate"))
        return true;
    return false;
}

/// The table a `select … into` creates, or empty.
std::string selectIntoTarget(std::span<const Token> t) {
    if (t.empty() || !t[0].is("select"))
        return {};
    const size_t into = findOutsideParentheses(t, 0, [](const Token& w) { return w.is("into"); });
    return into < t.size() ? objectName(t, into + 1) : std::string();
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
    if (isCompileError(e) || e.number() == 233 || e.number() == 257)
        return true;
    if (names.opaque)
        return false;
    if (e.number() == 208)
        return names.created.count(missingObject(e)) == 0;
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
            std::vector<ComputeClause> compute;
            if (!expression && tokens[0].is("select"))
                tokens = splitCompute(tokens, compute);
            Translation tr = expression
                                 ? translateExpression(tokens, context(scratch))
                                 : translate(tokens, context(scratch), tokens[0].is("select"));
            sqlite3_stmt* stmt = nullptr;
            int rc = sqlite3_prepare_v2(connection().handle(), tr.sql.c_str(),
                                        static_cast<int>(tr.sql.size()), &stmt, nullptr);
            if (rc != SQLITE_OK) {
                SqlError error = sqliteError(connection().handle(), rc);
                sqlite3_finalize(stmt);
                throw error;
            }
            sqlite3_finalize(stmt);
            if (!expression)
                checkLiterals(tokens);
        } catch (const SqlError& e) {
            if (isFatalAtCompile(e, names))
                throw;
        }
    };
    switch (statement.kind) {
    case Statement::Kind::Block:
        for (const auto& child : statement.children)
            compileStatement(*child, scratch, names);
        return;
    case Statement::Kind::If:
    case Statement::Kind::While:
        if (!statement.tokens.empty())
            check(statement.tokens, true);
        for (const auto& child : statement.children)
            compileStatement(*child, scratch, names);
        return;
    case Statement::Kind::Simple:
        break;
    }
    std::span<const Token> t(statement.tokens);
    if (t.empty())
        return;
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
            auto type = declaredVariable(item).first;
            scratch.variables[lower(item[0].text)] = Variable{type, SqlValue::null()};
        }
        return;
    }
    if (head.is("select") || head.is("insert") || head.is("update") || head.is("delete")) {
        // An insert is checked as it runs: without a column list, an identity column is
        // left out of it.
        std::vector<Token> listed;
        check(head.is("insert") && listColumnsButIdentity(t, listed)
                  ? std::span<const Token>(listed)
                  : t,
              false);
        return;
    }
    if (head.is("set") && t.size() > 3 && t[1].kind == Token::Kind::Variable && t[2].isOp("="))
        check(t.subspan(3), true);
}

namespace {

struct TableColumn {
    std::string name;
    bool notNull = false;
    bool hasDefault = false;
    std::optional<ColumnType> type;
};

std::vector<TableColumn> tableColumns(sqlite3* db, const std::string& table) {
    std::vector<TableColumn> columns;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "select name, \"notnull\", type, dflt_value is not null from "
                           "pragma_table_info(?1) order by cid",
                           -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            TableColumn c;
            c.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            c.notNull = sqlite3_column_int(stmt, 1) != 0;
            c.hasDefault = sqlite3_column_int(stmt, 3) != 0;
            if (const auto* declared = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)))
                c.type = parseDeclaredType(declared);
            columns.push_back(std::move(c));
        }
    }
    sqlite3_finalize(stmt);
    return columns;
}

/// The server's name of a type that a character string never converts to implicitly, or
/// empty for the types it does (character, date-time, text).
std::string numericTypeName(const std::optional<ColumnType>& type) {
    if (!type)
        return {};
    switch (type->type) {
    case SqlType::Bit:
        return "BIT";
    case SqlType::TinyInt:
        return "TINYINT";
    case SqlType::SmallInt:
        return "SMALLINT";
    case SqlType::Int:
        return "INT";
    case SqlType::BigInt:
        return "BIGINT";
    case SqlType::Real:
        return "REAL";
    case SqlType::Float:
        return "FLOAT";
    case SqlType::SmallMoney:
        return "SMALLMONEY";
    case SqlType::Money:
        return "MONEY";
    case SqlType::Numeric:
        return "NUMERIC";
    case SqlType::Decimal:
        return "DECIMAL";
    default:
        return {};
    }
}

SqlError implicitConversion(const std::string& to) {
    return SqlError(257, 16,
                    "Implicit conversion from datatype 'VARCHAR' to '" + to +
                        "' is not allowed.  Use the CONVERT function to run this query.");
}

bool isComparison(const Token& t) {
    for (const char* op : {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"})
        if (t.isOp(op))
            return true;
    return false;
}

/// The columns of the tables a statement names after from, join, update, delete or insert.
std::vector<TableColumn> statementScope(sqlite3* db, std::span<const Token> t) {
    std::vector<TableColumn> scope;
    for (size_t k = 0; k + 1 < t.size(); ++k) {
        const bool names =
            t[k].is("from") || t[k].is("join") ||
            (k == 0 && (t[k].is("update") || (t[k].is("delete") && !t[1].is("from")))) ||
            (k <= 1 && t[0].is("insert") && (t[k].is("into") || (k == 0 && !t[1].is("into"))));
        if (names && t[k + 1].kind == Token::Kind::Identifier) {
            auto columns = tableColumns(db, objectName(t, k + 1));
            scope.insert(scope.end(), columns.begin(), columns.end());
        }
    }
    return scope;
}

/// The numeric type of `column` among the statement's tables, when every column of that
/// name is numeric; else empty.
std::string numericColumn(const std::vector<TableColumn>& scope, const std::string& column) {
    std::string found;
    for (const auto& c : scope) {
        if (lower(c.name) != lower(column))
            continue;
        std::string name = numericTypeName(c.type);
        if (name.empty())
            return std::string();
        found = name;
    }
    return found;
}

/// The column of `column op 'text'` or `'text' op column` around the comparison t[k], or
/// null (also for an assignment of an update's set list).
const Token* comparedColumn(std::span<const Token> t, size_t k) {
    const Token& left = t[k - 1];
    const Token& right = t[k + 1];
    if (left.kind == Token::Kind::Identifier && right.kind == Token::Kind::String &&
        !(k + 2 < t.size() && !isComparison(t[k + 2]) && t[k + 2].kind == Token::Kind::Operator &&
          !t[k + 2].isOp(")") && !t[k + 2].isOp(",")))
        return &left;
    if (right.kind == Token::Kind::Identifier && left.kind == Token::Kind::String &&
        !(k >= 2 && t[k - 2].kind == Token::Kind::Operator && !t[k - 2].isOp("(") &&
          !t[k - 2].isOp(",")))
        return &right;
    return nullptr;
}

/// Refuses (257) a character literal compared with a numeric column of the statement.
void checkComparedLiterals(std::span<const Token> t, const std::vector<TableColumn>& scope) {
    for (size_t k = 1; k + 1 < t.size(); ++k) {
        if (!isComparison(t[k]))
            continue;
        const Token* column = comparedColumn(t, k);
        if (!column)
            continue;
        if (std::string name = numericColumn(scope, column->text); !name.empty())
            throw implicitConversion(name);
    }
}

/// The table an insert or update writes, and the columns it has.
struct WrittenTable {
    std::string name;
    std::vector<TableColumn> columns;

    /// Refuses a literal NULL for a not-null column (233) and a character literal for a
    /// numeric one (257).
    void refuse(const std::string& column, std::span<const Token> value) const {
        for (const auto& c : columns) {
            if (lower(c.name) != lower(column))
                continue;
            if (c.notNull && value.size() == 1 && value[0].is("null"))
                throw SqlError(233, 16,
                               "The column " + c.name + " in table " + name +
                                   " does not allow null values.");
            if (value.size() == 1 && value[0].kind == Token::Kind::String &&
                !numericTypeName(c.type).empty())
                throw implicitConversion(numericTypeName(c.type));
        }
    }
};

/// Refuses (233, state 2) an insert whose column list leaves out a not-null column that has
/// no default: it would be null.
void checkLeftOutColumns(const std::vector<std::string>& names, const WrittenTable& table) {
    for (const auto& c : table.columns) {
        if (!c.notNull || c.hasDefault)
            continue;
        const bool listed = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
            return lower(n) == lower(c.name);
        });
        if (!listed)
            throw SqlError(233, 16,
                           "The column " + c.name + " in table " + table.name +
                               " does not allow null values.",
                           2);
    }
}

/// Checks the values list of an insert whose column list (if any) starts at t[i].
void checkInsertValues(std::span<const Token> t, size_t i, const WrittenTable& table) {
    std::vector<std::string> names;
    if (i < t.size() && t[i].isOp("(")) {
        size_t close = matchingParen(t, i);
        for (auto item : splitAtCommas(t.subspan(i + 1, close - i - 1)))
            if (item.size() == 1)
                names.push_back(item[0].text);
        checkLeftOutColumns(names, table);
        i = close + 1;
    } else {
        for (const auto& column : table.columns)
            names.push_back(column.name);
    }
    if (i >= t.size() || !t[i].is("values") || i + 1 >= t.size() || !t[i + 1].isOp("("))
        return;
    size_t close = matchingParen(t, i + 1);
    auto values = splitAtCommas(t.subspan(i + 2, close - i - 2));
    for (size_t k = 0; k < values.size() && k < names.size(); ++k)
        table.refuse(names[k], values[k]);
}

/// Checks the set list of an update that starts at t[i].
void checkUpdateSet(std::span<const Token> t, size_t i, const WrittenTable& table) {
    if (i >= t.size() || !t[i].is("set"))
        return;
    size_t end = i + 1;
    for (int depth = 0; end < t.size(); ++end) {
        if (t[end].isOp("("))
            ++depth;
        else if (t[end].isOp(")"))
            --depth;
        else if (depth == 0 && (t[end].is("from") || t[end].is("where")))
            break;
    }
    for (auto item : splitAtCommas(t.subspan(i + 1, end - i - 1)))
        if (item.size() >= 3 && item[item.size() - 2].isOp("="))
            table.refuse(item[item.size() - 3].text, item.subspan(item.size() - 1));
}

/// Checks the values an insert or update writes.
void checkWrittenLiterals(sqlite3* db, std::span<const Token> t) {
    if (!t[0].is("insert") && !t[0].is("update"))
        return;
    size_t i = 1;
    if (t[0].is("insert") && i < t.size() && t[i].is("into"))
        ++i;
    if (i >= t.size() || t[i].kind != Token::Kind::Identifier)
        return;
    WrittenTable table;
    table.name = objectName(t, i);
    // Past the table's name ("t", "dbo.t", "db..t"): what follows is its column list, values,
    // select or set list (a select's first call is no column list).
    for (++i; i < t.size() && t[i].isOp(".");) {
        ++i;
        if (i < t.size() && t[i].kind != Token::Kind::Operator)
            ++i;
    }
    table.columns = tableColumns(db, table.name);
    if (table.columns.empty())
        return;
    if (t[0].is("insert"))
        checkInsertValues(t, i, table);
    else
        checkUpdateSet(t, i, table);
}

} // namespace

void SqlSession::checkLiterals(std::span<const Token> t) {
    // The values an insert or update writes: a literal NULL for a not-null column is refused
    // with 233, a character literal for a numeric column with 257; so is a character literal
    // compared with a numeric column of the statement's tables.
    sqlite3* db = connection().handle();
    const std::vector<TableColumn> scope = statementScope(db, t);
    if (scope.empty())
        return;
    checkComparedLiterals(t, scope);
    checkWrittenLiterals(db, t);
}

} // namespace devserver

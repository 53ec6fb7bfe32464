// The system tables as temporary tables of each connection: systypes and sysusers are
// fixed, sysobjects, syscolumns and sysdatabases are filled from SQLite's schema when a
// statement names them. Internal objects (the procedure store, the triggers that cut long
// values, SQLite's own) never show.
#include "SqlCatalog.h"

#include "SqlErrors.h"
#include "SqlLexer.h"
#include "TypesCatalog.h"

#include <cmath>

namespace devserver {

namespace {

/// Owns a prepared statement of the catalog's own SQL.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            SqlError error = sqliteError(db, sqlite3_errcode(db));
            sqlite3_finalize(m_stmt);
            throw error;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    void run() {
        int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw sqliteError(m_db, rc);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

std::string text(sqlite3_stmt* stmt, int column) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return p ? p : "";
}

struct SystemType {
    const char* name;
    int usertype;
    int type;
    int length;
    bool variable;
};

// The server's built-in types with their user type and type codes.
constexpr SystemType kSystemTypes[] = {
    {"char", 1, 47, 255, false},
    {"varchar", 2, 39, 255, true},
    {"binary", 3, 45, 255, false},
    {"varbinary", 4, 37, 255, true},
    {"tinyint", 5, 48, 1, false},
    {"smallint", 6, 52, 2, false},
    {"int", 7, 56, 4, false},
    {"float", 8, 62, 8, false},
    {"numeric", 10, 63, 35, false},
    {"money", 11, 60, 8, false},
    {"datetime", 12, 61, 8, false},
    {"intn", 13, 38, 4, false},
    {"floatn", 14, 109, 8, false},
    {"datetimn", 15, 111, 8, false},
    {"bit", 16, 50, 1, false},
    {"moneyn", 17, 110, 8, false},
    {"sysname", 18, 39, 30, true},
    {"text", 19, 35, 16, false},
    {"image", 20, 34, 16, false},
    {"smallmoney", 21, 122, 4, false},
    {"smalldatetime", 22, 58, 4, false},
    {"real", 23, 59, 4, false},
    {"nchar", 24, 47, 255, false},
    {"nvarchar", 25, 39, 255, true},
    {"decimal", 26, 55, 35, false},
    {"decimaln", 27, 106, 35, false},
    {"numericn", 28, 108, 35, false},
    {"unichar", 34, 135, 255, false},
    {"univarchar", 35, 155, 255, true},
    {"date", 37, 49, 4, false},
    {"time", 38, 51, 4, false},
    {"daten", 39, 123, 4, false},
    {"timen", 40, 147, 4, false},
    {"longsysname", 42, 39, 255, true},
    {"bigint", 43, 191, 8, false},
    {"timestamp", 80, 37, 8, true},
};

const char* const kCreateCatalog =
    "create temp view tovrin_objects as"
    " select name, rowid as id, case type when 'table' then 'U' when 'view' then 'V'"
    " when 'trigger' then 'TR' else 'I' end as type, 1 as uid from main.sqlite_schema"
    " where name not like 'sqlite\\_%' escape '\\' and name not like 'tovrin\\_%' escape '\\'"
    " union all select name, 1000000 + rowid, 'P', 1 from main.tovrin_procedures;"
    "create temp table sysobjects (name varchar(255) not null, id int not null, uid int not null,"
    " type char(2) not null, userstat smallint not null, sysstat smallint not null,"
    " indexdel smallint not null, schemacnt smallint not null, sysstat2 int not null,"
    " crdate datetime not null, expdate datetime not null, deltrig int not null, instrig int not "
    "null,"
    " updtrig int not null, seltrig int not null, ckfirst int not null, cache smallint not null,"
    " audflags int null, objspare int not null, loginame varchar(30) null);"
    "create temp table syscolumns (id int not null, number smallint not null, colid smallint not "
    "null,"
    " status tinyint not null, type tinyint not null, length int not null, offset smallint not "
    "null,"
    " usertype smallint not null, cdefault int not null, domain int not null, name varchar(255) "
    "not null,"
    " printfmt varchar(255) null, prec tinyint null, scale tinyint null, remote_type int null,"
    " remote_name varchar(255) null, xstatus int null, xtype int null, xdbid int null,"
    " accessrule int null, status2 int null);"
    "create temp table systypes (uid int not null, usertype smallint not null, variable bit not "
    "null,"
    " allownulls bit not null, type tinyint not null, length int not null, tdefault int not null,"
    " domain int not null, name varchar(255) not null, printfmt varchar(255) null, prec tinyint "
    "null,"
    " scale tinyint null, ident tinyint null, hierarchy tinyint null, accessrule int null, xtypeid "
    "int null,"
    " xdbid int null);"
    "create temp table sysusers (suid int not null, uid int not null, gid int not null,"
    " name varchar(255) not null, environ varchar(255) null);"
    "create temp table sysdatabases (name varchar(255) not null, dbid smallint not null, suid int "
    "not null,"
    " status smallint not null, version smallint null, logptr int not null, crdate datetime not "
    "null,"
    " dumptrdate datetime not null, status2 smallint null, audflags int null, deftabaud int null,"
    " defvwaud int null, defpraud int null, def_remote_type smallint null, def_remote_loc "
    "varchar(255) null,"
    " status3 int null, status4 int null);"
    "insert into temp.sysusers values (-2, 0, 0, 'public', null), (1, 1, 0, 'dbo', null),"
    " (-1, 2, 0, 'guest', null);";

constexpr const char* kNow = "strftime('%Y-%m-%d %H:%M:%f', 'now')";

void refreshObjects(SqlConnection& c) {
    c.exec(std::string("delete from temp.sysobjects;"
                       "insert into temp.sysobjects select name, id, uid, type, 0, 0, 0, 0, 0, ") +
           kNow + ", " + kNow +
           ", 0, 0, 0, 0, 0, 0, 0, 0, null from temp.tovrin_objects where type <> 'I'");
}

void refreshColumns(SqlConnection& c) {
    c.exec("delete from temp.syscolumns");
    sqlite3* db = c.handle();
    Statement objects(db, "select id, name from temp.tovrin_objects where type in ('U', 'V')");
    Statement columns(db, "select cid, name, type, \"notnull\" from pragma_table_info(?1)");
    Statement insert(
        db, "insert into temp.syscolumns values (?1, 0, ?2, ?3, ?4, ?5, 0, ?6, 0, 0, ?7, null,"
            " ?8, ?9, null, null, null, null, null, null, null)");
    while (sqlite3_step(objects.get()) == SQLITE_ROW) {
        const int64_t id = sqlite3_column_int64(objects.get(), 0);
        const std::string table = text(objects.get(), 1);
        sqlite3_bind_text(columns.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(columns.get()) == SQLITE_ROW) {
            auto declared = parseDeclaredType(text(columns.get(), 2));
            ColumnType type = declared.value_or(ColumnType{});
            type.nullable = sqlite3_column_int(columns.get(), 3) == 0;
            const CatalogType code = catalogType(type);
            sqlite3_bind_int64(insert.get(), 1, id);
            sqlite3_bind_int(insert.get(), 2, sqlite3_column_int(columns.get(), 0) + 1);
            sqlite3_bind_int(insert.get(), 3, type.nullable ? 8 : 0); // 0x08: allows nulls
            sqlite3_bind_int(insert.get(), 4, code.type);
            sqlite3_bind_int(insert.get(), 5, storageLength(type));
            sqlite3_bind_int(insert.get(), 6, code.usertype);
            const std::string name = text(columns.get(), 1);
            sqlite3_bind_text(insert.get(), 7, name.c_str(), -1, SQLITE_TRANSIENT);
            if (type.type == SqlType::Numeric || type.type == SqlType::Decimal) {
                sqlite3_bind_int(insert.get(), 8, type.precision);
                sqlite3_bind_int(insert.get(), 9, type.scale);
            } else {
                sqlite3_bind_null(insert.get(), 8);
                sqlite3_bind_null(insert.get(), 9);
            }
            insert.run();
        }
        sqlite3_reset(columns.get());
    }
}

void refreshDatabases(SqlConnection& c, const std::vector<std::string>& databases) {
    c.exec("delete from temp.sysdatabases");
    Statement insert(c.handle(),
                     "insert into temp.sysdatabases values (?1, ?2, 1, 0, 1, 0,"
                     " strftime('%Y-%m-%d %H:%M:%f', 'now'), strftime('%Y-%m-%d %H:%M:%f', 'now'),"
                     " 0, 0, 0, 0, 0, null, null, 0, 0)");
    int dbid = 1;
    for (const std::string& name : databases) {
        sqlite3_bind_text(insert.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert.get(), 2, dbid++);
        insert.run();
    }
}

} // namespace

int storageLength(const ColumnType& type) {
    if (type.type == SqlType::Text || type.type == SqlType::Image)
        return 16;
    if (type.type == SqlType::Numeric || type.type == SqlType::Decimal)
        return 1 + static_cast<int>(
                       std::ceil(type.precision * std::log2(10.0) / 8)); // sign byte + magnitude
    return type.length;
}

CatalogType catalogType(const ColumnType& t) {
    // A nullable column keeps its type's user type but has the nullable type code (intn…).
    auto pick = [&](const char* name, const char* nullableName) {
        const char* coded = t.nullable && nullableName ? nullableName : name;
        CatalogType result;
        result.name = name;
        for (const auto& s : kSystemTypes) {
            if (std::string_view(s.name) == name)
                result.usertype = s.usertype;
            if (std::string_view(s.name) == coded)
                result.type = s.type;
        }
        return result;
    };
    switch (t.type) {
    case SqlType::Bit:
        return pick("bit", nullptr);
    case SqlType::TinyInt:
        return pick("tinyint", "intn");
    case SqlType::SmallInt:
        return pick("smallint", "intn");
    case SqlType::Int:
        return pick("int", "intn");
    case SqlType::BigInt:
        return pick("bigint", "intn");
    case SqlType::Real:
        return pick("real", "floatn");
    case SqlType::Float:
        return pick("float", "floatn");
    case SqlType::SmallMoney:
        return pick("smallmoney", "moneyn");
    case SqlType::Money:
        return pick("money", "moneyn");
    case SqlType::Numeric:
        return pick("numeric", "numericn");
    case SqlType::Decimal:
        return pick("decimal", "decimaln");
    case SqlType::SmallDateTime:
        return pick("smalldatetime", "datetimn");
    case SqlType::DateTime:
        return pick("datetime", "datetimn");
    case SqlType::Date:
        return pick("date", "daten");
    case SqlType::Time:
        return pick("time", "timen");
    case SqlType::Char:
        return pick("char", nullptr);
    case SqlType::VarChar:
        return pick("varchar", nullptr);
    case SqlType::UniChar:
        return pick("unichar", nullptr);
    case SqlType::UniVarChar:
        return pick("univarchar", nullptr);
    case SqlType::Binary:
        return pick("binary", nullptr);
    case SqlType::VarBinary:
        return pick("varbinary", nullptr);
    case SqlType::Text:
        return pick("text", nullptr);
    case SqlType::Image:
        return pick("image", nullptr);
    }
    return {};
}

void createCatalog(SqlConnection& connection) {
    connection.exec(kCreateCatalog);
    Statement insert(
        connection.handle(),
        "insert into temp.systypes values (1, ?1, ?2, ?3, ?4, ?5, 0, 0, ?6, null, null, null, null,"
        " null, null, null, null)");
    for (const auto& s : kSystemTypes) {
        sqlite3_bind_int(insert.get(), 1, s.usertype);
        sqlite3_bind_int(insert.get(), 2, s.variable ? 1 : 0);
        const std::string_view name(s.name);
        const bool nullable = name.ends_with("n") && name != "bigint" && name != "smallint" &&
                              name != "tinyint" && name != "unichar" && name != "varbinary" &&
                              name != "binary";
        sqlite3_bind_int(insert.get(), 3, nullable ? 1 : 0);
        sqlite3_bind_int(insert.get(), 4, s.type);
        sqlite3_bind_int(insert.get(), 5, s.length);
        sqlite3_bind_text(insert.get(), 6, s.name, -1, SQLITE_STATIC);
        insert.run();
    }
}

void refreshCatalog(SqlConnection& connection, std::span<const Token> tokens,
                    const std::vector<std::string>& databases) {
    bool objects = false, columns = false, dbs = false;
    for (const Token& t : tokens) {
        if (t.kind != Token::Kind::Identifier)
            continue;
        objects = objects || t.is("sysobjects") || t.is("sp_help");
        columns = columns || t.is("syscolumns") || t.is("sp_help");
        dbs = dbs || t.is("sysdatabases") || t.is("sp_helpdb");
    }
    if (objects)
        refreshObjects(connection);
    if (columns)
        refreshColumns(connection);
    if (dbs)
        refreshDatabases(connection, databases);
}

} // namespace devserver

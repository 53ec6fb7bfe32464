// The boundary between the development server's protocol side (listener, sessions, TDS
// codec) and its SQL side (T-SQL translated to SQLite). The protocol side knows nothing of
// SQL; the SQL side knows nothing of packets or tokens. A batch is executed by the SQL
// side, which reports what it produces, in order, to a ResultSink that the protocol side
// turns into tokens as the results are produced (rows are never collected in memory).
#pragma once

#include "Charsets.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devserver {

/// The column and parameter types the server can describe to a client.
enum class SqlType {
    Bit,
    TinyInt,
    SmallInt,
    Int,
    BigInt,
    Real,
    Float,
    SmallMoney,
    Money,
    Numeric,
    Decimal,
    SmallDateTime,
    DateTime,
    Date,
    Time,
    Char,    ///< fixed length, length <= 255 (longer ones travel as long character)
    VarChar, ///< length <= 255 (longer ones travel as long character)
    UniChar, ///< length in characters; values travel as UTF-16
    UniVarChar,
    Binary,    ///< fixed length, length <= 255 (longer ones travel as long binary)
    VarBinary, ///< length <= 255 (longer ones travel as long binary)
    Text,
    Image,
};

/// A column's or parameter's declared type.
struct ColumnType {
    SqlType type = SqlType::Int;
    int32_t length = 4;    ///< bytes for character/binary types (characters for uni types)
    uint8_t precision = 0; ///< numeric/decimal only, 1..38
    uint8_t scale = 0;     ///< numeric/decimal only
    bool nullable = true;
};

/// The table column a result column shows unchanged (a plain column, under its own name or
/// an alias); all empty for an expression or a constant.
struct ColumnOrigin {
    std::string database; ///< the database of the table
    std::string owner;    ///< the table's owner
    std::string table;
    std::string column; ///< the column's own name in its table
};

struct Column {
    std::string name;
    ColumnType type;
    std::string table; ///< the table a column of a table comes from (text and image name it)
    ColumnOrigin origin;
    bool identity = false;  ///< the identity column of its table
    bool timestamp = false; ///< a timestamp column (varbinary(8), user type 80)
    bool key = false;       ///< browse mode: part of the unique key of its table
    bool updatable = false; ///< browse mode: a plain column of a table
    bool hidden = false;    ///< browse mode: not asked for, sent for the key or timestamp
};

/// What a `select … for browse` adds to its row format: the tables its columns come from,
/// and per column the table (1-based, 0 for an expression).
struct BrowseInfo {
    std::vector<std::string> tables;
    std::vector<int> tableOfColumn;
};

/// One value of a row or parameter. Which member carries the value follows the type of
/// its column:
/// - Bit, TinyInt, SmallInt, Int, BigInt: `integer`
/// - SmallMoney, Money: `integer`, the amount in 1/10000 units
/// - Real, Float: `real`
/// - Numeric, Decimal: `numeric`, the unscaled value (the column's scale applies)
/// - SmallDateTime, DateTime: `days` since 1 Jan 1900 and `ticks`, 1/300 s since midnight
/// - Date: `days`; Time: `ticks`
/// - Char, VarChar, UniChar, UniVarChar, Text: `bytes`, UTF-8
/// - Binary, VarBinary, Image: `bytes`
struct Value {
    bool isNull = true;
    int64_t integer = 0;
    double real = 0;
    __int128 numeric = 0;
    int32_t days = 0;
    uint32_t ticks = 0;
    std::string bytes;
    /// Text and image values of a table's row: the row's id, which their text pointer
    /// carries (0 when the value comes from no table row).
    int64_t textRow = 0;

    static Value null() { return {}; }
};

/// A server message (informational when severity <= 10, an error above).
struct ServerMessage {
    int32_t number = 0;
    uint8_t state = 1;
    uint8_t severity = 0;
    std::string text;
    std::string server; ///< filled by the protocol side when empty
    std::string procedure;
    uint16_t line = 1;
};

/// One aggregate of a `compute` clause: its operator (the server's codes: count 0x4b, sum
/// 0x4d, avg 0x4f, min 0x51, max 0x52), the select-list column it reads (1-based) and the
/// type of its result.
struct ComputeColumn {
    uint8_t op = 0;
    int operand = 1;
    ColumnType type;
};

/// What a DONE reports: a statement of the batch, a statement inside a procedure, or the end
/// of a procedure run by `exec`.
enum class DoneKind { Statement, InProcedure, Procedure };

/// Receives, in order, everything a batch produces. Implemented by the protocol side.
class ResultSink {
public:
    virtual ~ResultSink() = default;

    /// A row result begins; `row` calls follow, then a `done`.
    virtual void rowFormat(const std::vector<Column>& columns) = 0;
    /// One row of the current row result, one value per column. Returns false when the
    /// client cancelled (or the connection is gone): the SQL side then stops the batch at
    /// once and returns from `executeBatch` without reporting anything further.
    [[nodiscard]] virtual bool row(const std::vector<Value>& values) = 0;
    /// End of a statement. `rowCount` is set when the statement has a count (rows
    /// returned or affected); `error` when the statement failed.
    virtual void done(DoneKind kind, bool error, std::optional<int64_t> rowCount) = 0;
    /// A server message (print, raiserror, SQL errors, `use` notices).
    virtual void message(const ServerMessage& message) = 0;
    /// The return status of a procedure run by `exec`.
    virtual void returnStatus(int32_t status) = 0;
    /// The output parameters of a procedure run by `exec`, after its return status.
    virtual void outputParameters(const std::vector<Column>& params,
                                  const std::vector<Value>& values) = 0;
    /// The clauses of a `compute` of the current row result, after its rowFormat: clause
    /// `id` (from 1), its aggregates and the select-list columns (1-based) of its `by`.
    virtual void computeFormat(int id, const std::vector<ComputeColumn>& columns,
                               const std::vector<int>& by) {
        (void)id;
        (void)columns;
        (void)by;
    }
    /// The values of compute clause `id` for the rows sent since its previous values.
    virtual void computeRow(int id, const std::vector<Value>& values) {
        (void)id;
        (void)values;
    }
    /// The browse information of the current row result (`select … for browse`), after its
    /// rowFormat and before its rows.
    virtual void browseInfo(const std::vector<Column>& columns, const BrowseInfo& info) {
        (void)columns;
        (void)info;
    }
    /// The current database changed (`use`).
    virtual void databaseChanged(const std::string& oldName, const std::string& newName) = 0;
    /// True once the client has asked to cancel; polled between statements and rows.
    [[nodiscard]] virtual bool cancelled() = 0;
};

/// Date order used to read date-time literals and answered to a client's option query.
enum class DateOrder { MDY, DMY, YMD, YDM, MYD, DYM };

struct ServerConfig {
    std::string dataDir; ///< empty: every database in memory
    bool sample = false; ///< create the sample database `pubs`
    DateOrder dateOrder = DateOrder::MDY;
    /// How long a session waits for a lock, in seconds, unless it sets its own; nothing:
    /// until the lock is granted.
    std::optional<int> lockWaitSeconds;
    std::string serverName = "TOVRIN";
    /// The server's own character set: what its character data can hold.
    Charset serverCharset = Charset::Utf8;
    std::string version = "Adaptive Server Enterprise/15.7/Tovrin development server/Linux";
};

struct LoginInfo {
    std::string user;
    std::string password;
    std::string host;
    std::string application;
};

/// An RPC parameter (DBRPC / dynamic statements), when the protocol side supports them.
struct RpcParameter {
    std::string name; ///< with its leading '@', or empty for a positional parameter
    ColumnType type;
    Value value;
    bool output = false;
};

class Session;

/// Session options a client sets with `set` or through its client library's option call.
/// Values: DateFirst 1 (Monday) … 7 (Sunday); RowCount the row limit (0: none); the others
/// 1 for on, 0 for off.
enum class SessionOption {
    DateFirst,
    NoCount,
    Chained,
    FormatOnly,
    AnsiNull,
    ArithAbort,
    RowCount,
    NoExec
};

/// The server's databases; shared by every session and safe to use from several threads.
class Database {
public:
    virtual ~Database() = default;

    /// Opens the databases of `config` (creating `master`, and `pubs` when asked).
    /// Throws std::runtime_error with a readable message when it cannot.
    static std::unique_ptr<Database> open(const ServerConfig& config);

    /// A session for a logged-in client; `spid` is the client's server process id.
    virtual std::unique_ptr<Session> openSession(const LoginInfo& login, int spid) = 0;
};

/// One client's state: current database, @@rowcount, @@error, transaction, set rowcount.
/// Used by one thread at a time.
class Session {
public:
    virtual ~Session() = default;

    /// Executes one language batch, reporting every result to `sink`.
    virtual void executeBatch(std::string_view sql, ResultSink& sink) = 0;
    /// Executes a procedure called by RPC with the given parameters.
    virtual void executeRpc(std::string_view procedure, const std::vector<RpcParameter>& params,
                            ResultSink& sink) = 0;
    /// Executes a language batch in which each parameter is a declared variable named
    /// `params[i].name` holding its value (ct-lib language commands with parameters).
    virtual void executeBatchWithParams(std::string_view sql,
                                        const std::vector<RpcParameter>& params, ResultSink& sink) {
        (void)params;
        executeBatch(sql, sink);
    }
    /// Number of `?` parameter markers in `sql` (outside string literals and comments), used
    /// to describe a prepared statement's inputs; -1 when this session cannot run statements
    /// with markers (the protocol side then declines prepared statements).
    [[nodiscard]] virtual int countParameterMarkers(std::string_view sql) {
        (void)sql;
        return -1;
    }
    /// Executes `sql` with its i-th `?` marker standing for the value of `params[i]` (bound as
    /// a value, never spliced into the text). Only called when countParameterMarkers(sql) >= 0.
    virtual void executeWithMarkers(std::string_view sql, const std::vector<RpcParameter>& params,
                                    ResultSink& sink) {
        (void)params;
        executeBatch(sql, sink);
    }
    [[nodiscard]] virtual std::string currentDatabase() const = 0;
    [[nodiscard]] virtual bool inTransaction() const = 0;
    /// The longest text or image value this session receives, in bytes (`set textsize`,
    /// the text-size option of a client library); 0 restores the server's default.
    virtual void setTextSize(int32_t bytes) { (void)bytes; }
    [[nodiscard]] virtual int32_t textSize() const { return kDefaultTextSize; }
    /// The session's date order (set dateformat); nothing while it follows the server's.
    [[nodiscard]] virtual std::optional<DateOrder> dateOrder() const { return std::nullopt; }
    /// Stores `data` as the whole value of the text or image column `object` ("table.column")
    /// of row `row` (the row a text pointer names), as `writetext` does.
    virtual void writeText(const std::string& object, int64_t row, const std::string& data,
                           ResultSink& sink) {
        (void)object;
        (void)row;
        (void)data;
        sink.done(DoneKind::Statement, true, std::nullopt);
    }
    /// Sets the session's date order (as `set dateformat` does).
    virtual void setDateOrder(DateOrder order) { (void)order; }
    /// Sets a session option (see SessionOption); an option this session does not know is
    /// ignored.
    virtual void setOption(SessionOption option, int32_t value) {
        (void)option;
        (void)value;
    }
    /// The current value of a session option.
    [[nodiscard]] virtual int32_t option(SessionOption option) const {
        return option == SessionOption::DateFirst ? 7 : option == SessionOption::ArithAbort ? 1 : 0;
    }

    /// The text size a session starts with, as the server reports it to clients.
    static constexpr int32_t kDefaultTextSize = 32768;
};

} // namespace devserver

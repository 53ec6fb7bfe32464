// One client's SQL session: its connections (one per database it has used), current
// database, variables, transaction and settings, and the interpreter that runs batches and
// stored procedures statement by statement, reporting to a ResultSink.
#pragma once

#include "Engine.h"
#include "SqlCompute.h"
#include "SqlConnection.h"
#include "SqlErrors.h"
#include "SqlParser.h"
#include "SqlTranslator.h"
#include "TypesValues.h"

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace devserver {

class SqlDatabase;
struct ProcedureDefinition;
class SqlError;

class SqlSession final : public Session {
public:
    SqlSession(SqlDatabase& database, LoginInfo login, int spid);
    ~SqlSession() override;

    void executeBatch(std::string_view sql, ResultSink& sink) override;
    void executeRpc(std::string_view procedure, const std::vector<RpcParameter>& params,
                    ResultSink& sink) override;
    [[nodiscard]] int countParameterMarkers(std::string_view sql) override;
    void executeWithMarkers(std::string_view sql, const std::vector<RpcParameter>& params,
                            ResultSink& sink) override;
    void executeBatchWithParams(std::string_view sql, const std::vector<RpcParameter>& params,
                                ResultSink& sink) override;
    [[nodiscard]] std::string currentDatabase() const override { return m_database; }
    [[nodiscard]] bool inTransaction() const override { return m_tranCount > 0; }
    void setTextSize(int32_t bytes) override { m_textSize = bytes > 0 ? bytes : kDefaultTextSize; }
    [[nodiscard]] int32_t textSize() const override { return m_textSize; }
    [[nodiscard]] std::optional<DateOrder> dateOrder() const override { return m_dateOrder; }
    void setDateOrder(DateOrder order) override;
    void writeText(const std::string& object, int64_t row, const std::string& data,
                   ResultSink& sink) override;
    void setOption(SessionOption option, int32_t value) override;
    [[nodiscard]] int32_t option(SessionOption option) const override;

private:
    struct Variable {
        std::optional<ColumnType> type;
        SqlValue value;
    };
    /// A batch or a running procedure.
    struct Frame {
        std::map<std::string, Variable> variables; ///< keys in lower case, with '@'
        std::string procedure;
        DoneKind doneKind = DoneKind::Statement;
        int depth = 0;
        int32_t returnStatus = 0;
    };
    enum class Flow { Next, Return, Break, Continue, Abort };

    /// An argument of `exec` or an RPC parameter.
    struct Argument {
        std::string name; ///< parameter name with '@', or empty (positional)
        SqlValue value;
        std::optional<ColumnType> type;
        bool isDefault = false;
        bool output = false;
        std::string variable; ///< caller's variable receiving an output value
    };

    // Interpreter (SqlSession.cpp)
    void runBatch(std::string_view sql, Frame& frame);
    /// Lets go of what the request just served needed.
    void endRequest();
    /// What the check of a batch knows of the names its statements may resolve.
    struct BatchNames {
        bool opaque = false;           ///< an exec, use, drop or alter came before
        std::set<std::string> created; ///< tables and views created before (lower case)
    };
    bool compileBatch(const Statement& root, const Frame& frame);
    void compileStatement(const Statement& statement, Frame& scratch, BatchNames& names);
    bool isFatalAtCompile(const SqlError& error, const BatchNames& names) const;
    void checkLiterals(std::span<const Token> tokens);
    void abortTransaction();
    void refreshCatalogFor(std::span<const Token> tokens);
    Flow run(const Statement& statement, Frame& frame);
    Flow runSimple(const Statement& statement, Frame& frame);
    Flow dispatch(const Statement& statement, Frame& frame);
    bool condition(std::span<const Token> tokens, Frame& frame);
    void reportError(const SqlError& error, const Frame& frame, int line);
    void done(const Frame& frame, bool error, std::optional<int64_t> count);
    [[nodiscard]] bool cancelled();
    TranslateContext context(Frame& frame);
    std::pair<SqlValue, std::optional<ColumnType>> variable(const Token& token, Frame& frame);
    SqlConnection& connection();
    SqlConnection& connectionFor(const std::string& name);
    std::string schemaFor(const std::string& database);
    std::optional<bool> isDateTimeColumn(const std::string& table, const std::string& column);
    std::vector<std::string> columnsOf(const std::string& table);

    // Table locks (SqlLocking.cpp)
    /// What a statement's locking replaces while it runs (statements nest in procedures).
    struct LockScope {
        bool locking = false;
        bool writes = false;
    };
    static bool isLockError(const SqlError& error);
    bool lockTable(const std::string& connectionDatabase, const char* schema, const char* table,
                   bool write);
    void beginStatementLocks(std::span<const Token> tokens, LockScope& saved);
    void endStatementLocks(const LockScope& saved);
    /// The lock error that failed the statement, if one did, else `caught`.
    SqlError lockErrorOr(const SqlError& caught);
    void setLockWait(std::span<const Token> tokens, Frame& frame);
    /// True for a statement that changes rows; and for one that changes rows or tables.
    static bool changesData(const Token& head);
    static bool changesStorage(std::span<const Token> tokens);
    // Transactions: SQLite's own transaction begins only with the first statement that
    // changes something (see SqlLocking.cpp).
    void beginTransaction();
    void openStorageTransaction();
    void saveTransaction(const std::string& name);
    /// Rolls back to savepoint `name`; false when there is none of that name.
    bool rollbackToSavepoint(const std::string& name);
    /// Commits or rolls back SQLite's transaction, if one is open.
    void endStorageTransaction(bool commit);

    // create table (SqlCreateTable.cpp)
    Flow createTable(std::span<const Token> tokens, Frame& frame);
    void cutOnWrite(const std::string& table,
                    const std::vector<std::pair<std::string, ColumnType>>& columns);

    // Statements (SqlStatements.cpp)
    Flow runQuery(const Translation& translation, Frame& frame, bool reportDone = true);
    Flow runSelect(std::span<const Token> tokens, Frame& frame);
    Flow selectInto(std::span<const Token> tokens, size_t intoAt, Frame& frame);
    /// Browse mode (SqlResultOrigin.cpp): copies a select to `out` with the key and timestamp
    /// columns of its tables that the select list leaves out added at its end; gives their
    /// number.
    size_t addBrowseColumns(std::span<const Token> tokens, std::vector<Token>& out);
    /// Describes a row result (origins, browse mode) and sends its format and browse
    /// information.
    void sendRowFormat(sqlite3_stmt* stmt, std::vector<Column>& columns);
    /// The database an SQLite schema of the current connection holds.
    std::string catalogOf(const std::string& schema);

    // Text pointers (SqlWriteText.cpp)
    /// The row ids a select's text and image values carry: the last `carriers` columns of
    /// the result hold them, and `links` pairs each text column with its row id column.
    struct TextRows {
        size_t carriers = 0;
        std::vector<std::pair<size_t, size_t>> links;
    };
    /// Copies a select (`stmt` its prepared translation) to `out` with the row id of each
    /// table whose text or image columns it selects added at the end of its select list;
    /// nothing when it selects none (or its rows are not a table's: distinct, group by,
    /// union).
    std::optional<TextRows> addTextRowColumns(std::span<const Token> tokens, sqlite3_stmt* stmt,
                                              std::vector<Token>& out);
    /// The select runQuery is about to run (`stmt`) translated again with its text rows
    /// added, when it selects text or image values of a table and assigns no variables.
    std::optional<Translation> withTextRows(sqlite3_stmt* stmt, bool assigning, Frame& frame);

    // Identity columns (SqlIdentity.cpp)
    /// The identity column of `table`, or empty.
    std::string identityColumn(const std::string& table);
    /// set identity_insert <table> on|off.
    void setIdentityInsert(std::span<const Token> tokens);
    /// Refuses (584) an insert that names the identity column of its table while
    /// identity_insert is off for it.
    void checkIdentityInsert(std::span<const Token> tokens);
    /// Copies an insert without a column list into a table with an identity column (while
    /// identity_insert is off) to `out`, listing every column but the identity; false when
    /// the insert is not one.
    bool listColumnsButIdentity(std::span<const Token> tokens, std::vector<Token>& out);
    /// Sets @@identity after an insert of `inserted` rows.
    void noteIdentity(std::span<const Token> tokens, int64_t inserted);
    Flow runCommand(std::span<const Token> tokens, Frame& frame, bool counts);
    Flow runDeclare(std::span<const Token> tokens, Frame& frame);
    Flow runSet(std::span<const Token> tokens, Frame& frame);
    void setDateFormat(std::span<const Token> tokens, Frame& frame);
    Flow runPrint(std::span<const Token> tokens, Frame& frame);
    Flow runRaiserror(std::span<const Token> tokens, Frame& frame);
    Flow runUse(std::span<const Token> tokens, Frame& frame);
    Flow runTransaction(std::span<const Token> tokens, Frame& frame);
    Flow runWaitfor(std::span<const Token> tokens, Frame& frame);
    SqlValue evaluate(std::span<const Token> tokens, Frame& frame);
    void assign(Frame& frame, const std::string& name, const SqlValue& value);

    // System procedures (SqlSystemProcedures.cpp)
    static bool isSystemProcedure(const std::string& name);
    /// Runs sp_help, sp_who or sp_helpdb; returns its status.
    int32_t runSystemProcedure(const std::string& name, const std::vector<Argument>& arguments,
                               const Frame& frame);
    void spHelp(const std::string& argument, const Frame& frame);
    void helpColumns(const std::string& table, const Frame& frame);
    void helpIndexes(const std::string& table, const Frame& frame);
    void spWho(const std::string& argument, const Frame& frame);
    void spHelpDb(const std::string& argument, const Frame& frame);
    void sendRows(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows,
                  const Frame& frame);
    void printMessage(const std::string& text, const Frame& frame);
    /// Sends a message of the running procedure (or batch) at `line` to the client.
    void sendMessage(int32_t number, uint8_t severity, uint8_t state, std::string text,
                     const Frame& frame, uint16_t line);

    // Procedures (SqlProcedures.cpp)
    Flow createProcedure(const Statement& statement, Frame& frame);
    Flow dropProcedure(std::span<const Token> tokens, Frame& frame);
    Flow runExec(std::span<const Token> tokens, Frame& frame);
    Flow callProcedure(const std::string& name, std::vector<Argument>& arguments, Frame& caller,
                       std::optional<std::string> statusVariable);
    /// callProcedure with `database` (when named and not the current one) current for the
    /// time of the call.
    Flow callProcedureIn(const std::string& database, const std::string& name,
                         std::vector<Argument>& arguments, Frame& caller,
                         std::optional<std::string> statusVariable);
    /// The stored source of procedure `name`, or empty when there is none.
    std::string procedureSource(const std::string& name);
    /// Sets the procedure's parameters in `frame` from the arguments of a call (defaults for
    /// those not supplied); gives the parameter each argument goes to.
    std::vector<int> bindArguments(const ProcedureDefinition& def,
                                   const std::vector<Argument>& arguments, Frame& frame);

    SqlDatabase& m_server;
    LoginInfo m_login;
    int m_spid;
    std::string m_database = "master";
    std::map<std::string, std::unique_ptr<SqlConnection>> m_connections; ///< by lower-case name
    ResultSink* m_sink = nullptr;
    std::string m_batchText; ///< text of the running batch (for create procedure)
    int m_tranCount = 0;
    std::string m_tranDatabase;
    /// Savepoints set before SQLite's transaction began (set when it begins).
    std::vector<std::string> m_pendingSavepoints;
    int64_t m_rowCount = 0;
    int32_t m_lastError = 0;      ///< @@error: status of the previous statement
    int32_t m_statementError = 0; ///< status of the running statement
    uint64_t m_errorCount = 0;    ///< errors reported so far
    int64_t m_rowLimit = 0;       ///< set rowcount; 0 = no limit
    bool m_noCount = false;       ///< set nocount on: DONEs carry no counts
    int32_t m_dateFirst = 7;      ///< set datefirst: the first day of the week (7: Sunday)
    bool m_chained = false;       ///< set chained on: data statements begin a transaction
    bool m_formatOnly = false;    ///< set fmtonly on: selects describe their rows, send none
    bool m_ansiNull = false;      ///< set ansinull on: `= null` is unknown, not `is null`
    bool m_arithAbort = true;     ///< set arithabort arith_overflow: overflow ends the batch
    bool m_noExec = false;        ///< set noexec on: statements are checked, not run
    int32_t m_textSize = kDefaultTextSize; ///< set textsize
    DateOrder m_dateOrder;                 ///< set dateformat; the server's order at login
    bool m_quotedIdentifier = false; ///< set quoted_identifier: "…" names, from the next batch on
    bool m_aborted = false;
    /// @@identity: the identity value of the last insert (0 after one into a table without).
    int64_t m_identity = 0;
    /// The tables whose identity_insert is on (lower case).
    std::set<std::string> m_identityInsert;
    /// The text row ids of the select runQuery is running.
    TextRows m_textRows;
    /// The tokens of the select runQuery is about to run, when its text and image values
    /// may carry their rows.
    std::span<const Token> m_textRowSource;
    /// Browse mode: the number of hidden columns of the select runQuery is running.
    std::optional<size_t> m_browseHidden;
    int m_lockOwner;                     ///< this session's identity in the table locks
    bool m_locking = false;              ///< a statement runs: the tables it uses are locked
    bool m_statementWrites = false;      ///< the running statement changes data
    std::optional<SqlError> m_lockError; ///< why the running statement could not lock
    std::optional<int> m_lockWait;       ///< set lock wait: seconds; nothing: the server's
    /// The compute clauses of the select runQuery is running, if any.
    const std::vector<ComputeClause>* m_compute = nullptr;
    /// Values of the `?` markers of the running batch, by the marker's offset in the text.
    std::map<size_t, SqlValue> m_markers;
};

} // namespace devserver

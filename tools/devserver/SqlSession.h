// One client's SQL session: its connections (one per database it has used), current
// database, variables, transaction and settings, and the interpreter that runs batches and
// stored procedures statement by statement, reporting to a ResultSink.
#pragma once

#include "Engine.h"
#include "SqlCompute.h"
#include "SqlConnection.h"
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
    /// The database an SQLite schema of the current connection holds.
    std::string catalogOf(const std::string& schema);

    // Text pointers (SqlWriteText.cpp)
    /// The row ids a select's text and image values carry: the last `carriers` columns of
    /// the result hold them, and `links` pairs each text column with its row id column.
    struct TextRows {
        size_t carriers = 0;
        std::vector<std::pair<size_t, size_t>> links;
    };
    /// Copies a select (`sql` its translation) to `out` with the row id of each table whose
    /// text or image columns it selects added at the end of its select list; nothing when it
    /// selects none (or its rows are not a table's: distinct, group by, union).
    std::optional<TextRows> addTextRowColumns(std::span<const Token> tokens, const std::string& sql,
                                              std::vector<Token>& out);

    // Identity columns (SqlIdentity.cpp)
    /// The identity column of `table`, or empty.
    std::string identityColumn(const std::string& table);
    /// set identity_insert <table> on|off.
    void setIdentityInsert(std::span<const Token> tokens);
    /// Refuses (584) an insert that names the identity column of its table while
    /// identity_insert is off for it.
    void checkIdentityInsert(std::span<const Token> tokens);
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
    /// Browse mode: the number of hidden columns of the select runQuery is running.
    std::optional<size_t> m_browseHidden;
    /// The compute clauses of the select runQuery is running, if any.
    const std::vector<ComputeClause>* m_compute = nullptr;
    /// Values of the `?` markers of the running batch, by the marker's offset in the text.
    std::map<size_t, SqlValue> m_markers;
};

} // namespace devserver

// Runs one SQL batch through a query of the package and writes what it produced, in the
// order the server sent it: row results (the first through the query itself, the others
// through queries handed out by OnNewDataSet), messages, return statuses and output
// parameters. Without in-memory work (sort, filter, locate) every row is written as it is
// fetched and never kept; with it, each result is read whole, shaped and then written. A
// server error is reported and the batch goes on as the server goes on; a failure of the
// exchange itself ends the batch, after the rows already received.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "InMemoryWork.h"
#include "ParamValues.h"
#include "Progress.h"
#include "ResultWriter.h"

namespace tovrin {
class TSybConnect;
}

namespace tovrin::sqltool {

class CancelWatch;

/// One batch of the input and where it came from.
struct Batch {
    std::string sql;
    int repeat = 1;    ///< "go N" runs it N times
    int number = 0;    ///< its number in the input, from 1 (0: not counted)
    int firstLine = 0; ///< its first line in the input file (0: not from a file)
};

/// What one batch did.
struct BatchReport {
    bool failed = false;      ///< a server error or a failure of the exchange
    bool cancelled = false;   ///< Ctrl-C cancelled it
    int rowResults = 0;       ///< row results written
    bool sortApplied = false; ///< the sort applied to at least one result
    bool filterApplied = false;
    bool locateTried = false;
    bool locateMissed = false;                ///< a locate found no record in some result
    std::vector<std::string> unmatchedParams; ///< --param names without a marker here
    bool paramsApplied = false;               ///< the --param values were given to the batch
    bool outputFailed = false;                ///< a write of the results failed (said already)
};

class BatchRunner final {
public:
    /// Errors are written to `errors` (the JSON format writes them into its output).
    /// `cancel`, when given, turns Ctrl-C during a batch into a cancel of its command.
    BatchRunner(TSybConnect& connection, ResultWriter& writer, const InMemoryWork& work,
                const std::vector<ParamSetting>& params, Progress& progress, std::ostream& errors,
                CancelWatch* cancel = nullptr);

    /// Runs the batch (parameters substituted) as often as it asks and writes its results.
    BatchReport run(const Batch& batch);
    /// Runs `sql` once.
    BatchReport run(const std::string& sql) { return run(Batch{sql}); }

    /// Writes the SQL of each batch before its results (-e).
    void setEcho(bool echo) noexcept { m_echo = echo; }
    /// The rows go to the terminal that shows the progress line: it is erased before
    /// each row, as it is before every message.
    void setRowsOnTerminal(bool onTerminal) noexcept { m_rowsOnTerminal = onTerminal; }
    /// Server messages of a lower severity are not shown (isql's -m); errors among them
    /// still fail the batch.
    void setLeastSeverityShown(int severity) noexcept { m_leastSeverity = severity; }

private:
    friend class BatchExecution;
    BatchReport runOnce(const Batch& batch);

    TSybConnect& m_connection;
    ResultWriter& m_writer;
    const InMemoryWork& m_work;
    const std::vector<ParamSetting>& m_params;
    Progress& m_progress;
    std::ostream& m_errors;
    CancelWatch* m_cancel;
    bool m_echo = false;
    bool m_rowsOnTerminal = false;
    int m_leastSeverity = 0;
};

/// The names of the parameter markers of a SQL text, as the query reads them.
[[nodiscard]] std::vector<std::string> parameterNames(const std::string& sql);

/// An error text made into one line (line breaks and the ";" joints of several messages
/// become "; ", trailing blanks go).
[[nodiscard]] std::string oneLine(const std::string& text);

} // namespace tovrin::sqltool

// Runs one SQL batch through a query of the package and writes what it produced, in the
// order the server sent it: row results (the first through the query itself, the others
// through queries handed out by OnNewDataSet), messages, the return status and output
// parameters. A server error is reported and the batch goes on as the server goes on; a
// failure of the exchange itself ends the batch, after the rows already received.
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

/// What one batch did.
struct BatchReport {
    bool failed = false;        ///< a server error or a failure of the exchange
    int rowResults = 0;         ///< row results written
    bool sortApplied = false;   ///< the sort applied to at least one result
    bool filterApplied = false;
    bool locateTried = false;
    bool locateMissed = false;  ///< a locate found no record in some result
    std::vector<std::string> unmatchedParams; ///< --param names without a marker here
};

class BatchRunner final {
public:
    /// Errors are written to `errors` as one line each, prefixed "tovrin-sql: ".
    BatchRunner(TSybConnect& connection, ResultWriter& writer, const InMemoryWork& work,
                const std::vector<ParamSetting>& params, Progress& progress, std::ostream& errors);

    /// Runs `sql` (one batch, parameters substituted) and writes its results.
    BatchReport run(const std::string& sql);

private:
    TSybConnect& m_connection;
    ResultWriter& m_writer;
    const InMemoryWork& m_work;
    const std::vector<ParamSetting>& m_params;
    Progress& m_progress;
    std::ostream& m_errors;
};

/// The names of the parameter markers of a SQL text, as the query reads them.
[[nodiscard]] std::vector<std::string> parameterNames(const std::string& sql);

/// An error text made into one line (line breaks and the ";" joints of several messages
/// become "; ", trailing blanks go).
[[nodiscard]] std::string oneLine(const std::string& text);

} // namespace tovrin::sqltool

// Runs one SQL batch for the browser and keeps what it produced: its row results in the
// server's order (the first through the query itself, the others through OnNewDataSet),
// the server's messages and row counts, the return status and the output parameters. A
// server error is noted and the batch goes on as the server goes on; a failure of the
// exchange ends it, after the results already received, which stay readable.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovrin {
class TSybConnect;
class TSybQuery;
} // namespace tovrin

namespace tovrin::browse {

class BrowseQuery;

/// The text of an error for the user: the framework's message byte for byte, else what().
std::string describeError(const std::exception& e);

/// What one batch produced. The result datasets belong to the BatchRun.
struct BatchOutcome {
    std::vector<TSybQuery*> results;   ///< row results, in order
    std::vector<std::string> messages; ///< server messages and row counts
    bool serverErrors = false;         ///< a server error was reported
    std::optional<int> returnStatus;   ///< a procedure's return status
    std::vector<std::pair<std::string, std::string>> outputParams; ///< name, value ("NULL")
    std::string failure;                                           ///< why the exchange ended early
    double seconds = 0;                                            ///< time to run and fetch
    std::int64_t rows = 0;                                         ///< rows of every result
};

class BatchRun final {
public:
    BatchRun();
    ~BatchRun();
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    /// Called with the rows fetched so far while a result is read (every few hundred rows),
    /// on the thread that runs the batch.
    using Progress = std::function<void(std::int64_t rows)>;

    /// Runs sql on the connection; the datasets of an earlier run are released first. May
    /// run on a thread of its own, as long as nothing else uses the connection and the
    /// datasets meanwhile.
    BatchOutcome run(TSybConnect& connection, const std::string& sql,
                     const Progress& progress = {});
    /// Releases the datasets of the last run.
    void clear();

private:
    std::unique_ptr<BrowseQuery> m_query;
};

/// A message line as the browser shows it: "Msg <n>, Level <l>, State <s>: <text>" for
/// errors and numbered messages, the bare text for a print.
[[nodiscard]] std::string messageLine(int number, int severity, int state, const std::string& text);

/// Asks the server to stop what runs on the connection (an attention, which may be sent
/// from any thread while another one waits for the results). The batch then ends early
/// and the connection stays logged in. Nothing when the connection is not open.
void cancelRunningBatch(TSybConnect& connection);

} // namespace tovrin::browse

// Executing a batch with ToolQuery and writing its results in the server's order.
#include "BatchRunner.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <ostream>
#include <variant>

#include "Batches.h"
#include "CancelWatch.h"
#include "DataSetOutput.h"
#include "ToolQuery.h"
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/query/SybClientField.h>
#include <tovrin5/query/SybConnect.h>

namespace tovrin::sqltool {

namespace {

/// A write of the results failed: the fetch stops and the run ends. The text is the
/// system's reason ("No space left on device").
class OutputFailed : public std::runtime_error {
public:
    explicit OutputFailed(int error) : std::runtime_error(std::strerror(error ? error : EIO)) {}
};

/// Rows between two progress reports of a fetch.
constexpr std::int32_t kProgressRows = 1000;

/// A row result read whole, to be shaped (sort, filter, locate) before it is written.
struct ResultEvent {
    TSybQuery* query;
    bool counted = false; ///< the server reported its count (not under "set nocount on")
};
/// A statement without rows that changed this many.
struct CountEvent {
    std::int64_t rows;
};
struct StatusEvent {
    int status;
};
struct ParamsEvent {
    std::vector<ColumnInfo> names;
    std::vector<Cell> values;
};
using BatchEvent = std::variant<ServerNote, ResultEvent, CountEvent, StatusEvent, ParamsEvent>;

ServerNote noteOf(const TSybMessage* message, const Batch& batch) {
    ServerNote note{static_cast<int>(message->MsgNumber()), static_cast<int>(message->Severity()),
                    message->Text()};
    note.state = message->State();
    note.line = message->Line();
    note.procedure = message->ProcName();
    note.server = message->ServerName();
    note.batch = batch.number;
    note.inputLine = batch.firstLine;
    return note;
}

void setText(TSybQuery& query, const std::string& sql) {
    host::TStringList lines;
    lines.SetText(sql);
    query.SetSQL(&lines);
}

ParamsEvent outputParams(TSybQuery& query) {
    ParamsEvent event;
    for (int i = 0; i < query.OutputParamCount(); ++i) {
        TSybClientField* parameter = query.OutputParam(i);
        const bool money =
            parameter->DataType() == CS_MONEY_TYPE || parameter->DataType() == CS_MONEY4_TYPE;
        event.values.push_back(variantCell(query.OutputParamValue(i),
                                           parameter->GetOstrelDataType(),
                                           money ? 2 : parameter->Scale()));
        event.names.push_back(
            {parameter->GetName(), event.values.back().kind == Cell::Kind::Number});
    }
    return event;
}

/// The visible fields of a dataset, in order.
std::vector<const host::TField*> visibleFields(const host::TDataSet& data) {
    std::vector<const host::TField*> visible;
    const host::TFields& fields = data.Fields();
    for (int i = 0; i < fields.Count(); ++i)
        if (fields[i]->Visible())
            visible.push_back(fields[i]);
    return visible;
}

} // namespace

std::string oneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            while (!out.empty() && (out.back() == ' ' || out.back() == ';'))
                out.pop_back();
            if (!out.empty())
                out += "; ";
            while (i + 1 < text.size() &&
                   (text[i + 1] == '\r' || text[i + 1] == '\n' || text[i + 1] == ' '))
                ++i;
        } else {
            out += c;
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == ';'))
        out.pop_back();
    return out;
}

std::vector<std::string> parameterNames(const std::string& sql) {
    TSybQuery scratch(nullptr);
    setText(scratch, sql);
    std::vector<std::string> names;
    for (int i = 0; i < scratch.Params()->Count(); ++i)
        names.push_back(scratch.Params()->Items(i)->Name());
    return names;
}

BatchRunner::BatchRunner(TSybConnect& connection, ResultWriter& writer, const InMemoryWork& work,
                         const std::vector<ParamSetting>& params, Progress& progress,
                         std::ostream& errors, CancelWatch* cancel)
    : m_connection(connection), m_writer(writer), m_work(work), m_params(params),
      m_progress(progress), m_errors(errors), m_cancel(cancel) {}

BatchReport BatchRunner::run(const Batch& batch) {
    if (m_echo)
        m_writer.writeEcho(batch.sql);
    BatchReport total;
    for (int i = 0; i < batch.repeat; ++i) {
        const BatchReport report = runOnce(batch);
        total.failed |= report.failed;
        total.cancelled |= report.cancelled;
        total.rowResults += report.rowResults;
        total.sortApplied |= report.sortApplied;
        total.filterApplied |= report.filterApplied;
        total.locateTried |= report.locateTried;
        total.locateMissed |= report.locateMissed;
        total.unmatchedParams = report.unmatchedParams;
        total.paramsApplied |= report.paramsApplied;
        total.outputFailed |= report.outputFailed;
        // A cancelled, failed or cut batch is not run again.
        if (report.failed || report.cancelled || report.outputFailed || !m_connection.Connected())
            break;
    }
    return total;
}

/// One run of a batch: the query with its event handlers, and what the run has seen so
/// far. Streamed (no sort, filter or locate), everything is written as it arrives, each row
/// as it is fetched and not kept; otherwise the events are kept and written once the batch
/// ends, the row results after their shaping.
class BatchExecution final {
public:
    BatchExecution(BatchRunner& runner, const Batch& batch)
        : m_runner(runner), m_batch(batch),
          m_streamed(runner.m_work.sortFields.empty() && runner.m_work.filter == nullptr &&
                     runner.m_work.locate.empty()) {}

    BatchReport run() {
        m_query.SetDatabaseName(m_runner.m_connection.DatabaseName());
        setText(m_query, m_batch.sql);
        if (!bindParams())
            return m_report;
        handleServerEvents();
        if (m_streamed)
            streamResults();
        else
            keepResults();
        const std::exception_ptr failed = execute();
        finish(failed);
        return m_report;
    }

private:
    void failure(const std::string& text) {
        m_report.failed = true;
        m_runner.m_writer.flush();
        if (!m_runner.m_writer.writeFailure(text))
            m_runner.m_errors << "tovrin-sql: " << text << std::endl;
    }

    bool bindParams() {
        try {
            m_report.unmatchedParams = applyParams(*m_query.Params(), m_runner.m_params);
            m_report.paramsApplied = true;
        } catch (const std::exception& e) {
            failure(e.what());
            return false;
        }
        for (int i = 0; i < m_query.Params()->Count(); ++i) {
            const host::TParam* param = m_query.Params()->Items(i);
            if (!param->Bound()) {
                // Sent as NULL, the marker would change what the statement does.
                failure("parameter :" + param->Name() + " has no value: give it with --param " +
                        param->Name() + "=value; the batch was not sent");
                return false;
            }
        }
        return true;
    }

    void writeEvent(const BatchEvent& event) {
        ResultWriter& writer = m_runner.m_writer;
        m_runner.m_progress.clearLine();
        if (const auto* note = std::get_if<ServerNote>(&event))
            writeNote(*note);
        else if (const auto* count = std::get_if<CountEvent>(&event))
            writer.writeRowsAffected(count->rows);
        else if (const auto* status = std::get_if<StatusEvent>(&event))
            writer.writeReturnStatus(status->status);
        else if (const auto* params = std::get_if<ParamsEvent>(&event))
            writer.writeOutputParameters(params->names, params->values);
        else if (const auto* result = std::get_if<ResultEvent>(&event))
            writeKeptResult(*result);
    }

    void writeNote(const ServerNote& note) {
        ResultWriter& writer = m_runner.m_writer;
        if (note.isError())
            m_report.failed = true;
        if (note.severity < m_runner.m_leastSeverity)
            return;
        if (note.isError()) {
            if (writer.carriesErrors()) {
                writer.writeMessage(note);
            } else {
                writer.flush();
                m_runner.m_errors << isqlMessage(note);
                m_runner.m_errors.flush();
            }
        } else {
            writer.writeMessage(note);
        }
        if (m_streamed)
            writer.flush(); // a print before a long statement shows at once
    }

    /// A result read whole: shaped by the in-memory work, then written.
    void writeKeptResult(const ResultEvent& result) {
        TSybQuery* data = result.query;
        if (!data->Active())
            return;
        ++m_resultNumber;
        try {
            const InMemoryWork& work = m_runner.m_work;
            // Unfiltered or unsorted rows would pass for the option's answer (a misspelt
            // field name ends the run with a usage error once no result had the fields).
            const char* lacking = nullptr;
            if (work.filter != nullptr && !work.filter->fitsDataSet(*data))
                lacking = "--filter";
            else if (!sortFits(*data, work))
                lacking = "--sort";
            if (lacking != nullptr) {
                m_runner.m_writer.flush();
                m_runner.m_errors << "tovrin-sql: " << lacking << ": result " << m_resultNumber
                                  << " lacks a field it names; its rows are not shown" << std::endl;
                return;
            }
            const ShapeOutcome shape = shapeResult(*data, work);
            m_report.sortApplied |= shape.sorted;
            m_report.filterApplied |= shape.filtered;
            m_report.locateTried |= shape.locateTried;
            RowSelection rows = RowSelection::All;
            if (shape.locateTried) {
                rows = shape.located ? RowSelection::Current : RowSelection::None;
                m_report.locateMissed |= !shape.located;
            }
            writeDataSet(*data, m_runner.m_writer, m_resultNumber, rows, result.counted);
        } catch (const std::exception& e) {
            failure("result " + std::to_string(m_resultNumber) + ": " + oneLine(e.what()));
        }
    }

    void emit(BatchEvent event) {
        if (m_streamed)
            writeEvent(event);
        else
            m_queued.push_back(std::move(event));
    }

    /// Ends the streamed result whose rows have all come, once it is known whether the
    /// server counted it (a select's count comes right after its rows).
    void endPending(bool counted) {
        if (!m_pendingEnd)
            return;
        m_runner.m_progress.clearLine();
        m_runner.m_writer.endResult(*m_pendingEnd, counted);
        m_pendingEnd.reset();
    }

    /// Takes in the row counts of the statements the server finished so far, before each
    /// message and result, so that every count lands where the server sent it. A select's
    /// count is its result's own: it only says that the count line is shown.
    void takeCounts() {
        const std::vector<TStatementRowCount>& counts = m_query.StatementRowCounts();
        for (; m_countsTaken < counts.size(); ++m_countsTaken) {
            if (counts[m_countsTaken].Selected) {
                endPending(true);
                markLastResultCounted();
            } else {
                endPending(false);
                emit(CountEvent{counts[m_countsTaken].Rows});
            }
        }
        endPending(false); // no count came: "set nocount on"
    }

    void markLastResultCounted() {
        for (auto it = m_queued.rbegin(); it != m_queued.rend(); ++it) {
            if (auto* result = std::get_if<ResultEvent>(&*it)) {
                result->counted = true;
                return;
            }
        }
    }

    /// Server messages are taken here, so that a server error does not end the batch: the
    /// server goes on with the batch, and the tool shows everything it sends.
    void handleServerEvents() {
        auto onMessage = [this](const TSybMessage* message, bool& handled) {
            if (dynamic_cast<const TSybServerMessage*>(message) == nullptr)
                return; // a client-library error ends the exchange with an exception
            takeCounts();
            emit(noteOf(message, m_batch));
            handled = true;
        };
        m_query.SetOnServerMessage(onMessage);
        m_query.SetOnServerError(onMessage);
        m_query.SetOnReturnStatus([this](TSybQuery* sender) {
            takeCounts();
            emit(StatusEvent{sender->ReturnStatus()});
        });
        m_query.SetOnOutputParams([this](TSybQuery* sender) {
            takeCounts();
            emit(outputParams(*sender));
        });
        Progress& progress = m_runner.m_progress;
        if (progress.enabled()) {
            // Rows of every result of the batch, the receivers' included, as they arrive.
            m_query.SetFetchProgressInterval(kProgressRows);
            m_query.SetOnFetchProgress(
                [&progress](TSybQuery*, std::int64_t rows) { progress.rowsFetched(rows); });
        }
    }

    void startResult(TSybQuery* data) {
        takeCounts();
        m_current = data;
        m_currentRows = 0;
        m_fields = visibleFields(*data);
        m_row.assign(m_fields.size(), Cell());
        m_runner.m_progress.clearLine();
        m_runner.m_writer.beginResult(++m_resultNumber, datasetColumns(*data));
    }

    void endResult(TSybQuery* data) {
        if (m_current != data)
            startResult(data); // a result without rows
        m_pendingEnd = m_currentRows;
        m_runner.m_progress.addResult(m_currentRows);
        m_current = nullptr;
    }

    /// Each row is written as it is fetched and not kept (a forward-only read).
    void streamResults() {
        m_query.SetOnFetchRow([this](TSybQuery* data, bool& keep) {
            keep = false;
            if (m_current != data)
                startResult(data);
            if (m_runner.m_rowsOnTerminal)
                m_runner.m_progress.clearLine();
            for (std::size_t i = 0; i < m_fields.size(); ++i)
                m_row[i] = fieldCell(*m_fields[i]);
            m_runner.m_writer.writeRow(m_row);
            ++m_currentRows;
            if (m_runner.m_writer.writeFailed())
                throw OutputFailed(errno); // the fetch stops at the first failed write
        });
        m_query.setOnOwnResult([this] { endResult(&m_query); });
        m_query.SetOnNewDataSet([this](TSybQuery* receiver) {
            receiver->SetAfterOpen(
                [this](host::TDataSet* data) { endResult(static_cast<TSybQuery*>(data)); });
        });
    }

    void keepResults() {
        Progress& progress = m_runner.m_progress;
        m_query.setOnOwnResult([this, &progress] {
            takeCounts();
            m_queued.emplace_back(ResultEvent{&m_query});
            progress.addResult(m_query.StoredRecordCount());
        });
        m_query.SetOnNewDataSet([this, &progress](TSybQuery* receiver) {
            takeCounts();
            m_queued.emplace_back(ResultEvent{receiver});
            receiver->SetAfterOpen([&progress](host::TDataSet* data) {
                progress.addResult(static_cast<TSybQuery*>(data)->StoredRecordCount());
            });
        });
    }

    /// Sends the batch and reads all it returns; the failure, if any, for later.
    std::exception_ptr execute() {
        std::exception_ptr failed;
        CancelWatch* cancel = m_runner.m_cancel;
        m_runner.m_progress.start();
        if (cancel != nullptr)
            cancel->beginCommand(m_runner.m_connection);
        try {
            m_query.Open();
            failed = m_query.takeFailure();
        } catch (...) {
            failed = std::current_exception();
        }
        if (cancel != nullptr)
            cancel->holdOutput(); // Ctrl-C now stops the writing of what was kept
        m_runner.m_progress.stop();
        return failed;
    }

    /// Writes what is still open or kept, then the cancel or the failure.
    void finish(const std::exception_ptr& failed) {
        if (m_current != nullptr)
            endResult(m_current); // the rows received before the failure
        takeCounts();
        ResultWriter& writer = m_runner.m_writer;
        for (const BatchEvent& event : m_queued) {
            if (writer.stopRequested() || writer.writeFailed())
                break;
            writeEvent(event);
        }
        m_report.rowResults = m_resultNumber;
        writer.flush();
        if (m_runner.m_cancel != nullptr)
            m_report.cancelled = m_runner.m_cancel->endCommand();

        if (m_report.cancelled) {
            m_runner.m_errors << "Query cancelled" << std::endl;
        } else if (failed || writer.writeFailed()) {
            try {
                if (!failed)
                    throw OutputFailed(errno);
                std::rethrow_exception(failed);
            } catch (const OutputFailed& e) {
                m_report.outputFailed = true;
                m_runner.m_errors << "tovrin-sql: cannot write the results: " << e.what()
                                  << std::endl;
            } catch (const std::exception& e) {
                failure(oneLine(e.what()));
            } catch (...) {
                failure("the batch failed");
            }
        }
    }

    BatchRunner& m_runner;
    const Batch& m_batch;
    const bool m_streamed;
    BatchReport m_report;
    std::vector<BatchEvent> m_queued;
    int m_resultNumber = 0;
    std::optional<std::int64_t> m_pendingEnd;
    std::size_t m_countsTaken = 0;
    // The streamed result being written and its row so far.
    TSybQuery* m_current = nullptr;
    std::int64_t m_currentRows = 0;
    std::vector<const host::TField*> m_fields;
    std::vector<Cell> m_row;
    ToolQuery m_query{nullptr}; // last: its handlers use the members above
};

BatchReport BatchRunner::runOnce(const Batch& batch) {
    return BatchExecution(*this, batch).run();
}

} // namespace tovrin::sqltool

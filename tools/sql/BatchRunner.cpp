// Executing a batch with ToolQuery and writing its results in the server's order.
#include "BatchRunner.h"

#include <optional>
#include <ostream>
#include <variant>

#include "Batches.h"
#include "CancelWatch.h"
#include "DataSetOutput.h"
#include "ToolQuery.h"
#include "host/DataSet.h"
#include "host/Fields.h"
#include "query/SybClientField.h"
#include "query/SybConnect.h"

namespace tovrin::sqltool {

namespace {

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
    ServerNote note{static_cast<int>(message->MsgNumber()), static_cast<int>(message->Severity()), message->Text()};
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
        const bool money = parameter->DataType() == CS_MONEY_TYPE || parameter->DataType() == CS_MONEY4_TYPE;
        event.values.push_back(variantCell(query.OutputParamValue(i), parameter->GetOstrelDataType(),
                                           money ? 2 : parameter->Scale()));
        event.names.push_back({parameter->GetName(), event.values.back().kind == Cell::Kind::Number});
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
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n' || text[i + 1] == ' '))
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
                         const std::vector<ParamSetting>& params, Progress& progress, std::ostream& errors,
                         CancelWatch* cancel)
    : m_connection(connection), m_writer(writer), m_work(work), m_params(params), m_progress(progress),
      m_errors(errors), m_cancel(cancel) {}

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
        // A cancelled, failed or cut batch is not run again.
        if (report.failed || report.cancelled || !m_connection.Connected())
            break;
    }
    return total;
}

BatchReport BatchRunner::runOnce(const Batch& batch) {
    BatchReport report;
    const bool streamed = m_work.sortFields.empty() && m_work.filter == nullptr && m_work.locate.empty();
    std::vector<BatchEvent> queued;
    int resultNumber = 0;

    auto failure = [&](const std::string& text) {
        report.failed = true;
        m_writer.flush();
        if (!m_writer.writeFailure(text))
            m_errors << "tovrin-sql: " << text << std::endl;
    };

    ToolQuery query(nullptr);
    query.SetDatabaseName(m_connection.DatabaseName());
    setText(query, batch.sql);
    try {
        report.unmatchedParams = applyParams(*query.Params(), m_params);
    } catch (const std::exception& e) {
        failure(e.what());
        return report;
    }
    for (int i = 0; i < query.Params()->Count(); ++i) {
        const host::TParam* param = query.Params()->Items(i);
        if (!param->Bound()) {
            // Sent as NULL, the marker would change what the statement does.
            failure("parameter :" + param->Name() + " has no value: give it with --param " + param->Name() +
                    "=value; the batch was not sent");
            return report;
        }
    }

    auto writeEvent = [&](const BatchEvent& event) {
        m_progress.clearLine();
        if (const auto* note = std::get_if<ServerNote>(&event)) {
            if (note->isError()) {
                report.failed = true;
                if (m_writer.carriesErrors()) {
                    m_writer.writeMessage(*note);
                } else {
                    m_writer.flush();
                    m_errors << isqlMessage(*note);
                    m_errors.flush();
                }
            } else {
                m_writer.writeMessage(*note);
            }
            if (streamed)
                m_writer.flush(); // a print before a long statement shows at once
        } else if (const auto* count = std::get_if<CountEvent>(&event)) {
            m_writer.writeRowsAffected(count->rows);
        } else if (const auto* status = std::get_if<StatusEvent>(&event)) {
            m_writer.writeReturnStatus(status->status);
        } else if (const auto* params = std::get_if<ParamsEvent>(&event)) {
            m_writer.writeOutputParameters(params->names, params->values);
        } else if (const auto* result = std::get_if<ResultEvent>(&event)) {
            TSybQuery* data = result->query;
            if (!data->Active())
                return;
            ++resultNumber;
            try {
                if (m_work.filter != nullptr && !m_work.filter->fitsDataSet(*data)) {
                    // Unfiltered rows would pass for the filter's answer (a misspelt field
                    // name ends the run with a usage error once no result had the fields).
                    m_writer.flush();
                    m_errors << "tovrin-sql: --filter: result " << resultNumber
                             << " lacks a field the filter names; its rows are not shown" << std::endl;
                    return;
                }
                const ShapeOutcome shape = shapeResult(*data, m_work);
                report.sortApplied |= shape.sorted;
                report.filterApplied |= shape.filtered;
                report.locateTried |= shape.locateTried;
                RowSelection rows = RowSelection::All;
                if (shape.locateTried) {
                    rows = shape.located ? RowSelection::Current : RowSelection::None;
                    report.locateMissed |= !shape.located;
                }
                writeDataSet(*data, m_writer, resultNumber, rows, result->counted);
            } catch (const std::exception& e) {
                failure("result " + std::to_string(resultNumber) + ": " + oneLine(e.what()));
            }
        }
    };
    // Streamed, everything is written as it arrives; otherwise kept until the batch ends.
    auto emit = [&](BatchEvent event) {
        if (streamed)
            writeEvent(event);
        else
            queued.push_back(std::move(event));
    };

    // A streamed result whose rows have all come; it ends once it is known whether the
    // server counted it (a select's count comes right after its rows).
    std::optional<std::int64_t> pendingEnd;
    auto endPending = [&](bool counted) {
        if (!pendingEnd)
            return;
        m_progress.clearLine();
        m_writer.endResult(*pendingEnd, counted);
        pendingEnd.reset();
    };
    // The row counts of the statements the server finished so far, taken in before each
    // message and result, so that every count lands where the server sent it. A select's
    // count is its result's own: it only says that the count line is shown.
    std::size_t countsTaken = 0;
    auto takeCounts = [&] {
        const std::vector<TStatementRowCount>& counts = query.StatementRowCounts();
        for (; countsTaken < counts.size(); ++countsTaken) {
            if (counts[countsTaken].Selected) {
                endPending(true);
                for (auto it = queued.rbegin(); it != queued.rend(); ++it) {
                    if (auto* result = std::get_if<ResultEvent>(&*it)) {
                        result->counted = true;
                        break;
                    }
                }
            } else {
                endPending(false);
                emit(CountEvent{counts[countsTaken].Rows});
            }
        }
        endPending(false); // no count came: "set nocount on"
    };

    // Server messages are taken here, so that a server error does not end the batch: the
    // server goes on with the batch, and the tool shows everything it sends.
    auto onMessage = [&](const TSybMessage* message, bool& handled) {
        if (dynamic_cast<const TSybServerMessage*>(message) == nullptr)
            return; // a client-library error ends the exchange with an exception
        takeCounts();
        emit(noteOf(message, batch));
        handled = true;
    };
    query.SetOnServerMessage(onMessage);
    query.SetOnServerError(onMessage);
    query.SetOnReturnStatus([&](TSybQuery* sender) {
        takeCounts();
        emit(StatusEvent{sender->ReturnStatus()});
    });
    query.SetOnOutputParams([&](TSybQuery* sender) {
        takeCounts();
        emit(outputParams(*sender));
    });
    if (m_progress.enabled()) {
        // Rows of every result of the batch, the receivers' included, as they arrive.
        query.SetFetchProgressInterval(kProgressRows);
        query.SetOnFetchProgress([this](TSybQuery*, std::int64_t rows) { m_progress.rowsFetched(rows); });
    }

    // Streamed: each row is written as it is fetched and not kept (a forward-only read).
    TSybQuery* current = nullptr;
    std::int64_t currentRows = 0;
    std::vector<const host::TField*> fields;
    std::vector<Cell> row;
    auto startResult = [&](TSybQuery* data) {
        takeCounts();
        current = data;
        currentRows = 0;
        fields = visibleFields(*data);
        row.assign(fields.size(), Cell());
        m_progress.clearLine();
        m_writer.beginResult(++resultNumber, datasetColumns(*data));
    };
    auto endResult = [&](TSybQuery* data) {
        if (current != data)
            startResult(data); // a result without rows
        pendingEnd = currentRows;
        m_progress.addResult(currentRows);
        current = nullptr;
    };
    if (streamed) {
        query.SetOnFetchRow([&](TSybQuery* data, bool& keep) {
            keep = false;
            if (current != data)
                startResult(data);
            if (m_rowsOnTerminal)
                m_progress.clearLine();
            for (std::size_t i = 0; i < fields.size(); ++i)
                row[i] = fieldCell(*fields[i]);
            m_writer.writeRow(row);
            ++currentRows;
        });
        query.setOnOwnResult([&] { endResult(&query); });
        query.SetOnNewDataSet([&](TSybQuery* receiver) {
            receiver->SetAfterOpen([&](host::TDataSet* data) { endResult(static_cast<TSybQuery*>(data)); });
        });
    } else {
        query.setOnOwnResult([&] {
            takeCounts();
            queued.emplace_back(ResultEvent{&query});
            m_progress.addResult(query.StoredRecordCount());
        });
        query.SetOnNewDataSet([&](TSybQuery* receiver) {
            takeCounts();
            queued.emplace_back(ResultEvent{receiver});
            receiver->SetAfterOpen([this](host::TDataSet* data) {
                m_progress.addResult(static_cast<TSybQuery*>(data)->StoredRecordCount());
            });
        });
    }

    std::exception_ptr failed;
    m_progress.start();
    if (m_cancel != nullptr)
        m_cancel->beginCommand(m_connection);
    try {
        query.Open();
        failed = query.takeFailure();
    } catch (...) {
        failed = std::current_exception();
    }
    if (m_cancel != nullptr)
        report.cancelled = m_cancel->endCommand();
    m_progress.stop();
    if (current != nullptr)
        endResult(current); // the rows received before the failure
    takeCounts();
    for (const BatchEvent& event : queued)
        writeEvent(event);
    report.rowResults = resultNumber;
    m_writer.flush();

    if (report.cancelled) {
        m_errors << "Query cancelled" << std::endl;
    } else if (failed) {
        try {
            std::rethrow_exception(failed);
        } catch (const std::exception& e) {
            failure(oneLine(e.what()));
        } catch (...) {
            failure("the batch failed");
        }
    }
    return report;
}

} // namespace tovrin::sqltool

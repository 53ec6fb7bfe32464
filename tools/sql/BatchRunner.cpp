// Executing a batch with ToolQuery and writing its results in the server's order.
#include "BatchRunner.h"

#include <ostream>
#include <variant>

#include "Batches.h"
#include "DataSetOutput.h"
#include "ToolQuery.h"
#include "query/SybClientField.h"
#include "query/SybConnect.h"

namespace tovrin::sqltool {

namespace {

/// Rows between two progress reports of a fetch.
constexpr std::int32_t kProgressRows = 1000;

/// One thing the batch produced, kept in arrival order until the batch has ended.
struct ResultEvent {
    TSybQuery* query;
};
struct ErrorEvent {
    ServerNote note;
};
/// A statement without rows that changed this many.
struct CountEvent {
    std::int64_t rows;
};
using BatchEvent = std::variant<ServerNote, ResultEvent, ErrorEvent, CountEvent>;

ServerNote noteOf(const TSybMessage* message) {
    return {static_cast<int>(message->MsgNumber()), static_cast<int>(message->Severity()), message->Text()};
}

std::string errorLine(const ServerNote& note) {
    return "Msg " + std::to_string(note.number) + ", Level " + std::to_string(note.severity) + ": " +
           oneLine(note.text);
}

void setText(TSybQuery& query, const std::string& sql) {
    host::TStringList lines;
    lines.SetText(sql);
    query.SetSQL(&lines);
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
                         const std::vector<ParamSetting>& params, Progress& progress, std::ostream& errors)
    : m_connection(connection), m_writer(writer), m_work(work), m_params(params), m_progress(progress),
      m_errors(errors) {}

BatchReport BatchRunner::run(const std::string& sql) {
    BatchReport report;
    std::vector<BatchEvent> events;

    ToolQuery query(nullptr);
    query.SetDatabaseName(m_connection.DatabaseName());
    setText(query, sql);
    report.unmatchedParams = applyParams(*query.Params(), m_params);

    // The row counts of the statements the server finished so far, taken in before each
    // message and result, so that every count lands where the server sent it. A select's
    // count is its result's own.
    std::size_t countsTaken = 0;
    auto takeCounts = [&] {
        const std::vector<TStatementRowCount>& counts = query.StatementRowCounts();
        for (; countsTaken < counts.size(); ++countsTaken)
            if (!counts[countsTaken].Selected)
                events.emplace_back(CountEvent{counts[countsTaken].Rows});
    };

    // Server messages are taken here, so that a server error does not end the batch: the
    // server goes on with the batch, and the tool shows everything it sends.
    query.SetOnServerMessage([&](const TSybMessage* message, bool& handled) {
        if (dynamic_cast<const TSybServerMessage*>(message) == nullptr)
            return;
        takeCounts();
        events.emplace_back(noteOf(message));
        handled = true;
    });
    query.SetOnServerError([&](const TSybMessage* message, bool& handled) {
        if (dynamic_cast<const TSybServerMessage*>(message) == nullptr)
            return; // a client-library error ends the exchange with an exception
        takeCounts();
        events.emplace_back(ErrorEvent{noteOf(message)});
        handled = true;
    });
    query.setOnOwnResult([&] {
        takeCounts();
        events.emplace_back(ResultEvent{&query});
        m_progress.addResult(query.StoredRecordCount());
    });
    if (m_progress.enabled()) {
        // Rows of every result of the batch, the receivers' included, as they arrive.
        query.SetFetchProgressInterval(kProgressRows);
        query.SetOnFetchProgress([this](TSybQuery*, std::int64_t rows) { m_progress.rowsFetched(rows); });
    }
    query.SetOnNewDataSet([&](TSybQuery* receiver) {
        takeCounts();
        events.emplace_back(ResultEvent{receiver});
        receiver->SetAfterOpen([this](host::TDataSet* data) {
            m_progress.addResult(static_cast<TSybQuery*>(data)->StoredRecordCount());
        });
    });

    std::exception_ptr failure;
    m_progress.start();
    try {
        query.Open();
        failure = query.takeFailure();
    } catch (...) {
        failure = std::current_exception();
    }
    m_progress.stop();
    takeCounts();

    int resultNumber = 0;
    for (const BatchEvent& event : events) {
        if (const auto* note = std::get_if<ServerNote>(&event)) {
            m_writer.writeMessage(*note);
        } else if (const auto* count = std::get_if<CountEvent>(&event)) {
            m_writer.writeRowsAffected(count->rows);
        } else if (const auto* error = std::get_if<ErrorEvent>(&event)) {
            report.failed = true;
            m_writer.flush();
            m_errors << "tovrin-sql: " << errorLine(error->note) << std::endl;
        } else if (const auto* result = std::get_if<ResultEvent>(&event)) {
            TSybQuery* data = result->query;
            if (!data->Active())
                continue;
            ++resultNumber;
            try {
                const ShapeOutcome shape = shapeResult(*data, m_work);
                report.sortApplied |= shape.sorted;
                report.filterApplied |= shape.filtered;
                report.locateTried |= shape.locateTried;
                RowSelection rows = RowSelection::All;
                if (shape.locateTried) {
                    rows = shape.located ? RowSelection::Current : RowSelection::None;
                    report.locateMissed |= !shape.located;
                }
                writeDataSet(*data, m_writer, resultNumber, rows);
            } catch (const std::exception& e) {
                report.failed = true;
                m_writer.flush();
                m_errors << "tovrin-sql: result " << resultNumber << ": " << oneLine(e.what()) << std::endl;
            }
        }
    }
    report.rowResults = resultNumber;

    const int outputCount = query.OutputParamCount();
    if (query.HasReturnStatus())
        m_writer.writeReturnStatus(query.ReturnStatus());
    if (outputCount > 0) {
        std::vector<ColumnInfo> names;
        std::vector<Cell> values;
        for (int i = 0; i < outputCount; ++i) {
            TSybClientField* parameter = query.OutputParam(i);
            const bool money = parameter->DataType() == CS_MONEY_TYPE || parameter->DataType() == CS_MONEY4_TYPE;
            values.push_back(variantCell(query.OutputParamValue(i), parameter->GetOstrelDataType(),
                                         money ? 2 : parameter->Scale()));
            names.push_back({parameter->GetName(), values.back().kind == Cell::Kind::Number});
        }
        m_writer.writeOutputParameters(names, values);
    }
    m_writer.flush();

    if (failure) {
        report.failed = true;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            m_errors << "tovrin-sql: " << oneLine(e.what()) << std::endl;
        } catch (...) {
            m_errors << "tovrin-sql: the batch failed" << std::endl;
        }
    }
    return report;
}

} // namespace tovrin::sqltool

// Running a batch for the browser and collecting its results in the server's order.
#include "BatchRun.h"

#include <chrono>
#include <exception>

#include <tovrin5/client/Ctpublic.h>
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/host/Strings.h>
#include <tovrin5/query/SybClientField.h>
#include <tovrin5/query/SybConnect.h>
#include <tovrin5/query/SybQuery.h>

namespace tovrin::browse {

namespace {

/// Rows between two progress reports.
constexpr std::int32_t kProgressRows = 500;

} // namespace

std::string describeError(const std::exception& e) {
    if (const auto* hostError = dynamic_cast<const host::Exception*>(&e))
        return hostError->Message();
    return e.what();
}

/// The query a batch runs in: keeps the rows it received when a later part of the batch
/// fails (instead of closing), and tells when its own row result has been fetched, so
/// that the results keep the server's order.
class BrowseQuery final : public TSybQuery {
public:
    using TSybQuery::TSybQuery;
    ~BrowseQuery() override { Close(); }
    [[nodiscard]] std::string ClassName() const override { return "BrowseQuery"; }
    std::function<void()> onOwnResult;
    std::exception_ptr failure;

protected:
    void InternalExec() override {
        try {
            TSybQuery::InternalExec();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    void FetchResultSet() override {
        TSybQuery::FetchResultSet();
        if (onOwnResult)
            onOwnResult();
    }
};

std::string messageLine(int number, int severity, int state, const std::string& text) {
    if (number == 0 && severity <= 10)
        return text;
    return "Msg " + std::to_string(number) + ", Level " + std::to_string(severity) + ", State " +
           std::to_string(state) + ": " + text;
}

void cancelRunningBatch(TSybConnect& connection) {
    CS_CONNECTION* handle = connection.ConnectionHandle();
    if (handle != nullptr && ct_cancel != nullptr)
        ct_cancel(handle, nullptr, CS_CANCEL_ATTN);
}

BatchRun::BatchRun() = default;
BatchRun::~BatchRun() = default;

void BatchRun::clear() {
    m_query.reset();
}

BatchOutcome BatchRun::run(TSybConnect& connection, const std::string& sql,
                           const Progress& progress) {
    clear();
    BatchOutcome outcome;
    m_query = std::make_unique<BrowseQuery>(nullptr);
    BrowseQuery& query = *m_query;
    query.SetDatabaseName(connection.DatabaseName());
    {
        host::TStringList lines;
        lines.SetText(sql);
        query.SetSQL(&lines);
    }

    // Row counts of the statements finished so far go in before each message and result.
    std::size_t countsTaken = 0;
    auto takeCounts = [&] {
        const std::vector<TStatementRowCount>& counts = query.StatementRowCounts();
        for (; countsTaken < counts.size(); ++countsTaken) {
            if (!counts[countsTaken].Selected)
                outcome.messages.push_back("(" + std::to_string(counts[countsTaken].Rows) +
                                           " rows affected)");
        }
    };
    auto note = [&](const TSybMessage* message, bool& handled) {
        if (dynamic_cast<const TSybServerMessage*>(message) == nullptr)
            return; // a client-library error ends the exchange with an exception
        takeCounts();
        outcome.messages.push_back(messageLine(
            static_cast<int>(message->MsgNumber()), static_cast<int>(message->Severity()),
            static_cast<int>(message->State()), message->Text()));
        outcome.serverErrors |= message->Severity() > 10;
        handled = true;
    };
    query.SetOnServerMessage(note);
    query.SetOnServerError(note);
    query.onOwnResult = [&] {
        takeCounts();
        outcome.results.push_back(&query);
    };
    query.SetOnNewDataSet([&](TSybQuery* receiver) {
        takeCounts();
        outcome.results.push_back(receiver);
    });
    if (progress) {
        query.SetFetchProgressInterval(kProgressRows);
        query.SetOnFetchProgress([&](TSybQuery*, std::int64_t rows) { progress(rows); });
    }

    const auto start = std::chrono::steady_clock::now();
    try {
        query.Open();
    } catch (const std::exception& e) {
        outcome.failure = describeError(e);
    }
    if (query.failure) {
        try {
            std::rethrow_exception(std::exchange(query.failure, nullptr));
        } catch (const std::exception& e) {
            outcome.failure = describeError(e);
        } catch (...) {
            outcome.failure = "unknown failure";
        }
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    takeCounts();

    // A result that never opened (a receiver whose fetch failed) is not shown.
    std::erase_if(outcome.results, [](TSybQuery* q) { return !q->Active(); });
    for (TSybQuery* result : outcome.results)
        outcome.rows += result->RecordCount();
    if (query.HasReturnStatus())
        outcome.returnStatus = query.ReturnStatus();
    for (int i = 0; i < query.OutputParamCount(); ++i) {
        const host::Variant value = query.OutputParamValue(i);
        outcome.outputParams.emplace_back(query.OutputParam(i)->GetName(),
                                          value.IsNull() ? std::string("NULL") : value.AsString());
    }
    return outcome;
}

} // namespace tovrin::browse

// A ResultSink that records everything a batch produces, for tests that drive the SQL side
// of the development server directly (no network).
#pragma once

#include "tools/devserver/Engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace devserver::test {

/// One event reported to the sink.
struct Event {
    enum class Kind {
        RowFormat,
        Row,
        Done,
        Message,
        ReturnStatus,
        OutputParameters,
        DatabaseChanged
    };
    explicit Event(Kind k) : kind(k) {}
    Kind kind;
    std::vector<Column> columns; ///< RowFormat, OutputParameters
    std::vector<Value> values;   ///< Row, OutputParameters
    DoneKind doneKind = DoneKind::Statement;
    bool error = false;
    std::optional<int64_t> count;
    ServerMessage message;
    int32_t status = 0;
    std::string oldName, newName;
};

/// A row result: its columns and rows.
struct ResultSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

class RecordingSink final : public ResultSink {
public:
    RecordingSink() = default;
    RecordingSink(RecordingSink&& other) noexcept
        : events(std::move(other.events)), rowsSeen(other.rowsSeen),
          cancelAfterRows(other.cancelAfterRows), cancelRequested(other.cancelRequested.load()) {}

    void rowFormat(const std::vector<Column>& columns) override {
        Event e(Event::Kind::RowFormat);
        e.columns = columns;
        events.push_back(e);
    }
    bool row(const std::vector<Value>& values) override {
        Event e(Event::Kind::Row);
        e.values = values;
        events.push_back(e);
        ++rowsSeen;
        if (cancelAfterRows >= 0 && rowsSeen >= cancelAfterRows) {
            cancelRequested = true;
            return false;
        }
        return true;
    }
    void done(DoneKind kind, bool error, std::optional<int64_t> count) override {
        Event e(Event::Kind::Done);
        e.doneKind = kind;
        e.error = error;
        e.count = count;
        events.push_back(e);
    }
    void message(const ServerMessage& m) override {
        Event e(Event::Kind::Message);
        e.message = m;
        events.push_back(e);
    }
    void returnStatus(int32_t status) override {
        Event e(Event::Kind::ReturnStatus);
        e.status = status;
        events.push_back(e);
    }
    void outputParameters(const std::vector<Column>& params,
                          const std::vector<Value>& values) override {
        Event e(Event::Kind::OutputParameters);
        e.columns = params;
        e.values = values;
        events.push_back(e);
    }
    void databaseChanged(const std::string& oldName, const std::string& newName) override {
        Event e(Event::Kind::DatabaseChanged);
        e.oldName = oldName;
        e.newName = newName;
        events.push_back(e);
    }
    bool cancelled() override { return cancelRequested.load(); }

    /// The row results, in order.
    [[nodiscard]] std::vector<ResultSet> results() const {
        std::vector<ResultSet> out;
        for (const Event& e : events) {
            if (e.kind == Event::Kind::RowFormat)
                out.push_back(ResultSet{e.columns, {}});
            else if (e.kind == Event::Kind::Row && !out.empty())
                out.back().rows.push_back(e.values);
        }
        return out;
    }
    /// The messages, in order.
    [[nodiscard]] std::vector<ServerMessage> messages() const {
        std::vector<ServerMessage> out;
        for (const Event& e : events)
            if (e.kind == Event::Kind::Message)
                out.push_back(e.message);
        return out;
    }
    /// Messages above severity 10.
    [[nodiscard]] std::vector<ServerMessage> errors() const {
        std::vector<ServerMessage> out;
        for (const ServerMessage& m : messages())
            if (m.severity > 10)
                out.push_back(m);
        return out;
    }
    /// The DONE events, in order.
    [[nodiscard]] std::vector<Event> dones() const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == Event::Kind::Done)
                out.push_back(e);
        return out;
    }
    void clear() {
        events.clear();
        rowsSeen = 0;
    }

    std::vector<Event> events;
    int rowsSeen = 0;
    int cancelAfterRows = -1; ///< cancel when this many rows were received
    std::atomic<bool> cancelRequested{false};
};

/// A fixture with an in-memory server, one logged-in session and a recording sink.
class EngineSessionTest : public ::testing::Test {
protected:
    explicit EngineSessionTest(int spid = 1) : m_spid(spid) {}
    void SetUp() override {
        database = Database::open(ServerConfig{});
        session = database->openSession(LoginInfo{"tester", "", "", ""}, m_spid);
    }
    /// Runs one batch and returns the sink holding what it produced.
    RecordingSink& run(const std::string& sql) {
        sink.clear();
        session->executeBatch(sql, sink);
        return sink;
    }
    std::unique_ptr<Database> database;
    std::unique_ptr<Session> session;
    RecordingSink sink;

private:
    int m_spid;
};

} // namespace devserver::test

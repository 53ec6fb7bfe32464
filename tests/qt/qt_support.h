// Support for the Qt binding's tests: a collector of what Qt's model tester reports, and
// in-memory results to show (no server needed).
#pragma once

#include <gtest/gtest.h>

#include <QMessageLogContext>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/FetchFieldSupport.h"

namespace host = tovrin::host;

namespace qttest {

/// Collects the warnings Qt's model tester writes (category qt.modeltest) while it lives.
class ModelTesterReports final {
public:
    ModelTesterReports() {
        reports().clear();
        m_previous = qInstallMessageHandler(&ModelTesterReports::handle);
    }
    ~ModelTesterReports() { qInstallMessageHandler(m_previous); }
    ModelTesterReports(const ModelTesterReports&) = delete;
    ModelTesterReports& operator=(const ModelTesterReports&) = delete;
    [[nodiscard]] static QStringList& reports() {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (context.category != nullptr && std::string(context.category) == "qt.modeltest")
            reports().append(message);
    }
    QtMessageHandler m_previous = nullptr;
};

using fetchsupport::Column;

/// A result held in memory, as a fetch would have stored it.
class MemoryResult final : public fetchsupport::RowsQuery {
public:
    using RowsQuery::RowsQuery;
};

/// The sample the model tests show: id, name (with a NULL), price (with a NULL), a long
/// note, a date.
inline std::unique_ptr<MemoryResult> sampleResult() {
    auto result =
        std::make_unique<MemoryResult>(nullptr, std::vector<Column>{{"id", host::ftInteger, 0},
                                                                    {"name", host::ftString, 30},
                                                                    {"price", host::ftFloat, 0},
                                                                    {"note", host::ftString, 200}});
    result->AddRow({1, "pear", 2.5, "short"});
    result->AddRow({2, host::Null(), 10.0, std::string(120, 'x')});
    result->AddRow({3, "apple", host::Null(), "multi\nline"});
    result->AddRow({4, "fig", 7.25, ""});
    result->AddRow({5, "banana", 1.0, "ok"});
    return result;
}

} // namespace qttest

// The query the tool runs each batch with: a TSybQuery that keeps the rows it already
// received when a later part of the batch fails, tells when its own row result has been
// fetched (so that output keeps the server's order).
#pragma once

#include <exception>
#include <functional>
#include <utility>

#include <tovrin5/query/SybQuery.h>

namespace tovrin::sqltool {

class ToolQuery final : public TSybQuery {
public:
    using TSybQuery::TSybQuery;
    [[nodiscard]] std::string ClassName() const override { return "ToolQuery"; }

    /// Called right after the query's own row result has been fetched.
    void setOnOwnResult(std::function<void()> handler) { m_onOwnResult = std::move(handler); }
    /// The failure of the last execution, if any (then cleared). The query itself stays
    /// open with the rows it received before the failure.
    [[nodiscard]] std::exception_ptr takeFailure() noexcept {
        return std::exchange(m_failure, nullptr);
    }

protected:
    /// Runs the batch; a failure is kept for takeFailure instead of closing the query, so
    /// that the rows already stored stay readable. The command has been cancelled and
    /// dropped and the connection's lock left by then.
    void InternalExec() override {
        try {
            TSybQuery::InternalExec();
        } catch (...) {
            m_failure = std::current_exception();
        }
    }
    void FetchResultSet() override {
        TSybQuery::FetchResultSet();
        if (m_onOwnResult)
            m_onOwnResult();
    }

private:
    std::function<void()> m_onOwnResult;
    std::exception_ptr m_failure;
};

} // namespace tovrin::sqltool

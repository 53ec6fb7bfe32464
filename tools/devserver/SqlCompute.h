// `compute` clauses of a select: parsed from the statement's tail, resolved against the
// select list, and accumulated over the rows as they stream, so that each group's results
// follow its last row (`compute … by`) or the last row of all (`compute` alone).
#pragma once

#include "Engine.h"
#include "SqlLexer.h"

#include <span>
#include <string>
#include <vector>

namespace devserver {

/// One `compute agg(column), … [by column, …]` clause as written.
struct ComputeClause {
    struct Aggregate {
        uint8_t op = 0;     ///< the server's operator code
        std::string column; ///< the select-list column it reads
    };
    std::vector<Aggregate> aggregates;
    std::vector<std::string> by;
};

/// Splits `tokens` at its first top-level `compute`: the select before it, and its clauses
/// (none when there is no compute). Throws SqlError 102 on a malformed clause.
std::span<const Token> splitCompute(std::span<const Token> tokens,
                                    std::vector<ComputeClause>& clauses);

/// Accumulates the clauses of one result over its rows and reports their values.
class ComputeRunner {
public:
    /// Resolves the clauses' columns against the result's columns; throws SqlError when one
    /// is not in the select list.
    ComputeRunner(const std::vector<ComputeClause>& clauses, const std::vector<Column>& columns);
    /// Describes every clause to the sink (after its rowFormat).
    void describe(ResultSink& sink) const;
    /// Before a row is sent: the results of the groups it ends go to the sink.
    void beforeRow(const std::vector<Value>& row, ResultSink& sink);
    /// Adds a sent row to every clause.
    void add(const std::vector<Value>& row);
    /// After the last row: the results of the last groups (or of all rows).
    void finish(ResultSink& sink);

private:
    struct Clause {
        std::vector<ComputeColumn> columns;
        std::vector<int> by; ///< 0-based select-list columns
        std::vector<int64_t> counts;
        std::vector<__int128> sums;
        std::vector<double> realSums;
        std::vector<Value> best;
        std::vector<Value> key; ///< the by values of the current group
        bool rows = false;
    };
    void emit(int id, Clause& clause, ResultSink& sink);
    std::vector<Column> m_columns;
    std::vector<Clause> m_clauses;
};

} // namespace devserver

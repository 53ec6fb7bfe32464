// compute clauses: each aggregate reads a select-list column of the rows as sent (wire
// values), so the results are those of the rows the client saw: sum and avg of exact
// types stay exact, min and max compare by type.
#include "SqlCompute.h"

#include "SqlErrors.h"
#include "SqlParser.h"

#include <algorithm>

namespace devserver {

namespace {

constexpr uint8_t kCount = 0x4b, kSum = 0x4d, kAvg = 0x4f, kMin = 0x51, kMax = 0x52;

bool isExactInteger(SqlType t) {
    return t == SqlType::Bit || t == SqlType::TinyInt || t == SqlType::SmallInt ||
           t == SqlType::Int || t == SqlType::BigInt || t == SqlType::SmallMoney ||
           t == SqlType::Money;
}

bool isNumeric(SqlType t) {
    return t == SqlType::Numeric || t == SqlType::Decimal;
}

bool isReal(SqlType t) {
    return t == SqlType::Real || t == SqlType::Float;
}

/// Orders two non-null values of one type.
int compare(const Value& a, const Value& b, SqlType t) {
    if (isExactInteger(t))
        return a.integer < b.integer ? -1 : a.integer > b.integer;
    if (isNumeric(t))
        return a.numeric < b.numeric ? -1 : a.numeric > b.numeric;
    if (isReal(t))
        return a.real < b.real ? -1 : a.real > b.real;
    if (t == SqlType::DateTime || t == SqlType::SmallDateTime || t == SqlType::Date ||
        t == SqlType::Time) {
        if (a.days != b.days)
            return a.days < b.days ? -1 : 1;
        return a.ticks < b.ticks ? -1 : a.ticks > b.ticks;
    }
    return a.bytes.compare(b.bytes) < 0 ? -1 : a.bytes.compare(b.bytes) > 0;
}

bool sameValue(const Value& a, const Value& b) {
    return a.isNull == b.isNull &&
           (a.isNull || (a.integer == b.integer && a.real == b.real && a.numeric == b.numeric &&
                         a.days == b.days && a.ticks == b.ticks && a.bytes == b.bytes));
}

} // namespace

std::span<const Token> splitCompute(std::span<const Token> tokens,
                                    std::vector<ComputeClause>& clauses) {
    clauses.clear();
    const size_t at =
        findOutsideParentheses(tokens, 0, [](const Token& t) { return t.is("compute"); });
    size_t i = at;
    while (i < tokens.size()) {
        if (!tokens[i].is("compute"))
            throw syntaxError(tokens[i].text);
        ++i;
        ComputeClause clause;
        while (true) {
            // agg ( column )
            if (i >= tokens.size())
                throw syntaxError("compute");
            if (i + 3 >= tokens.size() || !tokens[i + 1].isOp("("))
                throw syntaxError(tokens[i].text);
            const Token& name = tokens[i];
            ComputeClause::Aggregate a;
            if (name.is("count"))
                a.op = kCount;
            else if (name.is("sum"))
                a.op = kSum;
            else if (name.is("avg"))
                a.op = kAvg;
            else if (name.is("min"))
                a.op = kMin;
            else if (name.is("max"))
                a.op = kMax;
            else
                throw syntaxError(name.text);
            size_t k = i + 2;
            // A qualified column (t.c) names its last part.
            while (k + 1 < tokens.size() && tokens[k + 1].isOp("."))
                k += 2;
            if (k + 1 >= tokens.size() || !tokens[k + 1].isOp(")"))
                throw syntaxError(tokens[k].text);
            a.column = tokens[k].text;
            clause.aggregates.push_back(a);
            i = k + 2;
            if (i < tokens.size() && tokens[i].isOp(",")) {
                ++i;
                continue;
            }
            break;
        }
        if (i < tokens.size() && tokens[i].is("by")) {
            ++i;
            while (i < tokens.size() && tokens[i].kind == Token::Kind::Identifier &&
                   !tokens[i].is("compute")) {
                while (i + 1 < tokens.size() && tokens[i + 1].isOp("."))
                    i += 2;
                clause.by.push_back(tokens[i].text);
                ++i;
                if (i < tokens.size() && tokens[i].isOp(","))
                    ++i;
                else
                    break;
            }
            if (clause.by.empty())
                throw syntaxError("by");
        }
        clauses.push_back(std::move(clause));
    }
    return tokens.subspan(0, at);
}

ComputeRunner::ComputeRunner(const std::vector<ComputeClause>& clauses,
                             const std::vector<Column>& columns)
    : m_columns(columns) {
    auto find = [&](const std::string& name) {
        for (size_t c = 0; c < columns.size(); ++c)
            if (equalsIgnoreCase(columns[c].name, name))
                return static_cast<int>(c);
        throw SqlError(
            8118, 16,
            "Column '" + name +
                "' is invalid in the compute clause because it is not in the select list.");
    };
    for (const ComputeClause& written : clauses) {
        Clause clause;
        for (const auto& a : written.aggregates) {
            ComputeColumn c;
            c.op = a.op;
            const int index = find(a.column);
            c.operand = index + 1;
            c.type = columns[static_cast<size_t>(index)].type;
            if (a.op == kCount) {
                c.type = ColumnType{};
            } else if (a.op == kSum && isNumeric(c.type.type)) {
                c.type.precision = 38;
            }
            c.type.nullable = true;
            clause.columns.push_back(c);
        }
        for (const auto& b : written.by)
            clause.by.push_back(find(b));
        const size_t n = clause.columns.size();
        clause.counts.assign(n, 0);
        clause.sums.assign(n, 0);
        clause.realSums.assign(n, 0);
        clause.best.assign(n, Value{});
        m_clauses.push_back(std::move(clause));
    }
}

void ComputeRunner::describe(ResultSink& sink) const {
    for (size_t i = 0; i < m_clauses.size(); ++i) {
        std::vector<int> by;
        for (int b : m_clauses[i].by)
            by.push_back(b + 1);
        sink.computeFormat(static_cast<int>(i) + 1, m_clauses[i].columns, by);
    }
}

void ComputeRunner::beforeRow(const std::vector<Value>& row, ResultSink& sink) {
    for (size_t i = 0; i < m_clauses.size(); ++i) {
        Clause& clause = m_clauses[i];
        if (clause.by.empty() || !clause.rows)
            continue;
        bool same = true;
        for (size_t k = 0; k < clause.by.size() && same; ++k)
            same = sameValue(clause.key[k], row[static_cast<size_t>(clause.by[k])]);
        if (!same)
            emit(static_cast<int>(i) + 1, clause, sink);
    }
}

void ComputeRunner::add(const std::vector<Value>& row) {
    for (Clause& clause : m_clauses) {
        if (!clause.rows) {
            clause.key.clear();
            for (int b : clause.by)
                clause.key.push_back(row[static_cast<size_t>(b)]);
        }
        clause.rows = true;
        for (size_t c = 0; c < clause.columns.size(); ++c) {
            const Value& v = row[static_cast<size_t>(clause.columns[c].operand - 1)];
            if (v.isNull)
                continue;
            const SqlType t =
                m_columns[static_cast<size_t>(clause.columns[c].operand - 1)].type.type;
            ++clause.counts[c];
            if (isExactInteger(t))
                clause.sums[c] += v.integer;
            else if (isNumeric(t))
                clause.sums[c] += v.numeric;
            else if (isReal(t))
                clause.realSums[c] += v.real;
            Value& best = clause.best[c];
            if (best.isNull || (clause.columns[c].op == kMin && compare(v, best, t) < 0) ||
                (clause.columns[c].op == kMax && compare(v, best, t) > 0))
                best = v;
        }
    }
}

void ComputeRunner::finish(ResultSink& sink) {
    for (size_t i = 0; i < m_clauses.size(); ++i)
        if (m_clauses[i].rows)
            emit(static_cast<int>(i) + 1, m_clauses[i], sink);
}

void ComputeRunner::emit(int id, Clause& clause, ResultSink& sink) {
    std::vector<Value> values(clause.columns.size());
    for (size_t c = 0; c < clause.columns.size(); ++c) {
        const ComputeColumn& column = clause.columns[c];
        const SqlType t = m_columns[static_cast<size_t>(column.operand - 1)].type.type;
        Value& out = values[c];
        const int64_t n = clause.counts[c];
        if (column.op == kCount) {
            out.isNull = false;
            out.integer = n;
        } else if (n == 0) {
            out.isNull = true;
        } else if (column.op == kMin || column.op == kMax) {
            out = clause.best[c];
        } else {
            out.isNull = false;
            const bool average = column.op == kAvg;
            if (isExactInteger(t))
                out.integer = static_cast<int64_t>(average ? clause.sums[c] / n : clause.sums[c]);
            else if (isNumeric(t))
                out.numeric = average ? clause.sums[c] / n : clause.sums[c];
            else
                out.real =
                    average ? clause.realSums[c] / static_cast<double>(n) : clause.realSums[c];
        }
        clause.counts[c] = 0;
        clause.sums[c] = 0;
        clause.realSums[c] = 0;
        clause.best[c] = Value{};
    }
    clause.rows = false;
    sink.computeRow(id, values);
}

} // namespace devserver

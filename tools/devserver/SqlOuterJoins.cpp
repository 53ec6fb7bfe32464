// Outer joins: the old operators of the where clause (`a.x *= b.y`, `a.x =* b.y`) become
// the left joins SQLite runs, and the tables on the inner side of a statement's outer joins
// are found, since a result describes their columns as nullable.
//
// With the old operators, a condition on the inner table alone (`b.z = 5`) does not remove
// rows from the result: it decides which rows carry nulls for the inner table. It therefore
// joins the inner table's on clause, with the outer-join conditions.
#include "SqlTranslatorParts.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace devserver::translator {

namespace {

/// A table of the from list: its tokens, its name and alias (lower case), and the
/// conditions that join it as the inner table of an outer join.
struct FromItem {
    std::span<const Token> tokens;
    std::string table;
    std::string alias;
    bool inner = false;
    std::vector<std::span<const Token>> on;
};

FromItem fromItem(std::span<const Token> tokens) {
    FromItem item;
    item.tokens = tokens;
    size_t nameEnd = tokens.size();
    if (tokens.size() >= 2 && tokens.back().kind == Token::Kind::Identifier &&
        !tokens[tokens.size() - 2].isOp(".")) {
        item.alias = lower(tokens.back().text);
        nameEnd = tokens.size() - 1;
        if (nameEnd >= 2 && tokens[nameEnd - 1].is("as"))
            --nameEnd;
    }
    for (size_t k = 0; k < nameEnd; ++k)
        if (tokens[k].kind == Token::Kind::Identifier ||
            tokens[k].kind == Token::Kind::QuotedIdentifier)
            item.table = lower(tokens[k].text);
    return item;
}

/// The position of an old outer-join operator (its first token) at depth 0 of `tokens`, and
/// whether it is `*=` (the inner table on the right); nothing when there is none.
std::optional<std::pair<size_t, bool>> outerOperator(std::span<const Token> tokens) {
    int depth = 0;
    for (size_t k = 0; k + 1 < tokens.size(); ++k) {
        if (tokens[k].isOp("("))
            ++depth;
        else if (tokens[k].isOp(")"))
            --depth;
        const bool adjacent = tokens[k].end == tokens[k + 1].begin;
        if (depth == 0 && adjacent && tokens[k].isOp("*") && tokens[k + 1].isOp("="))
            return std::pair{k, true};
        if (depth == 0 && adjacent && tokens[k].isOp("=") && tokens[k + 1].isOp("*"))
            return std::pair{k, false};
    }
    return std::nullopt;
}

/// Rewrites one from list and where clause.
class OuterJoinRewrite {
public:
    OuterJoinRewrite(std::span<const Token> tokens, const TranslateContext& context)
        : m_tokens(tokens), m_context(context),
          m_synthetic(tokens.empty() ? 0 : tokens.back().end + 1) {}

    /// The rewritten statement, or nothing when it has no old outer join that can be
    /// rewritten.
    std::optional<std::vector<Token>> run() {
        const size_t from = topLevel(0, [](const Token& t) { return t.is("from"); });
        const size_t where = topLevel(from, [](const Token& t) { return t.is("where"); });
        if (where >= m_tokens.size())
            return std::nullopt;
        const size_t end = topLevel(where, [](const Token& t) {
            return t.is("group") || t.is("order") || t.is("having") || t.is("union") ||
                   t.is("compute") || t.is("for") || t.is("plan");
        });
        auto condition = m_tokens.subspan(where + 1, end - where - 1);
        if (!outerOperator(condition))
            return std::nullopt;
        for (auto part : splitAtCommas(m_tokens.subspan(from + 1, where - from - 1))) {
            if (part.empty() ||
                std::any_of(part.begin(), part.end(), [](const Token& t) { return t.is("join"); }))
                return std::nullopt;
            m_items.push_back(fromItem(part));
        }
        std::vector<std::span<const Token>> rest;
        for (auto conjunct : conjuncts(condition)) {
            if (conjunct.empty())
                return std::nullopt;
            if (!place(conjunct, rest))
                return std::nullopt;
        }
        return write(from, end, rest);
    }

private:
    template <typename Pred> size_t topLevel(size_t begin, Pred pred) const {
        int depth = 0;
        for (size_t k = begin; k < m_tokens.size(); ++k) {
            if (m_tokens[k].isOp("("))
                ++depth;
            else if (m_tokens[k].isOp(")"))
                --depth;
            else if (depth == 0 && pred(m_tokens[k]))
                return k;
        }
        return m_tokens.size();
    }

    /// The where clause split at its top-level `and`s (not those of a `between`); nothing
    /// when it has a top-level `or`, whose parts cannot be told apart.
    static std::vector<std::span<const Token>> conjuncts(std::span<const Token> condition) {
        std::vector<std::span<const Token>> out;
        int depth = 0;
        bool between = false;
        size_t start = 0;
        for (size_t k = 0; k < condition.size(); ++k) {
            const Token& t = condition[k];
            if (t.isOp("("))
                ++depth;
            else if (t.isOp(")"))
                --depth;
            else if (depth == 0 && t.is("or"))
                return {};
            else if (depth == 0 && t.is("between"))
                between = true;
            else if (depth == 0 && t.is("and")) {
                if (between) {
                    between = false;
                    continue;
                }
                out.push_back(condition.subspan(start, k - start));
                start = k + 1;
            }
        }
        out.push_back(condition.subspan(start));
        return out;
    }

    /// The from items that the column references of `tokens` name: by qualifier, or for a
    /// name without one, by the table that has a column of that name.
    std::set<size_t> referenced(std::span<const Token> tokens) {
        std::set<size_t> out;
        for (size_t k = 0; k < tokens.size(); ++k) {
            const Token& t = tokens[k];
            if (t.kind != Token::Kind::Identifier && t.kind != Token::Kind::QuotedIdentifier)
                continue;
            if (k > 0 && tokens[k - 1].isOp("."))
                continue;
            if (k + 1 < tokens.size() && tokens[k + 1].isOp("(")) // a function
                continue;
            const bool qualifier = k + 2 < tokens.size() && tokens[k + 1].isOp(".");
            for (size_t i = 0; i < m_items.size(); ++i) {
                if (qualifier
                        ? lower(t.text) == m_items[i].alias || lower(t.text) == m_items[i].table
                        : hasColumn(m_items[i], t.text))
                    out.insert(i);
            }
            if (qualifier)
                k += 2;
        }
        return out;
    }

    bool hasColumn(const FromItem& item, const std::string& column) {
        if (!m_context.columnsOf || item.table.empty())
            return false;
        auto [known, inserted] = m_columns.try_emplace(item.table);
        if (inserted)
            known->second = m_context.columnsOf(item.table);
        return std::any_of(known->second.begin(), known->second.end(),
                           [&](const std::string& c) { return lower(c) == lower(column); });
    }

    /// Files a condition under the on clause of the inner table it joins, or with the rest
    /// of the where clause; false when an outer join's inner side names no single table.
    bool place(std::span<const Token> conjunct, std::vector<std::span<const Token>>& rest) {
        if (auto op = outerOperator(conjunct)) {
            const auto [at, innerRight] = *op;
            auto inner = referenced(innerRight ? conjunct.subspan(at + 2) : conjunct.first(at));
            if (inner.size() != 1)
                return false;
            FromItem& item = m_items[*inner.begin()];
            item.inner = true;
            item.on.push_back(conjunct);
            return true;
        }
        rest.push_back(conjunct);
        return true;
    }

    Token synthetic(Token::Kind kind, std::string text) {
        return syntheticToken(kind, std::move(text), m_tokens.front().line, m_synthetic);
    }

    /// Writes `conjunct`, its outer-join operator as `=`.
    void writeCondition(std::span<const Token> conjunct, std::vector<Token>& out) {
        auto op = outerOperator(conjunct);
        for (size_t k = 0; k < conjunct.size(); ++k) {
            if (op && k == op->first) {
                out.push_back(synthetic(Token::Kind::Operator, "="));
                ++k;
                continue;
            }
            out.push_back(conjunct[k]);
        }
    }

    std::vector<Token> write(size_t from, size_t end, std::vector<std::span<const Token>> rest) {
        // A condition on an inner table alone joins its on clause.
        std::erase_if(rest, [&](std::span<const Token> conjunct) {
            auto tables = referenced(conjunct);
            if (tables.size() != 1 || !m_items[*tables.begin()].inner)
                return false;
            m_items[*tables.begin()].on.push_back(conjunct);
            return true;
        });
        std::vector<Token> out(m_tokens.begin(), m_tokens.begin() + static_cast<long>(from + 1));
        bool first = true;
        for (const FromItem& item : m_items) {
            if (item.inner)
                continue;
            if (!first)
                out.push_back(synthetic(Token::Kind::Operator, ","));
            first = false;
            out.insert(out.end(), item.tokens.begin(), item.tokens.end());
        }
        for (const FromItem& item : m_items) {
            if (!item.inner)
                continue;
            out.push_back(synthetic(Token::Kind::Identifier, "left"));
            out.push_back(synthetic(Token::Kind::Identifier, "join"));
            out.insert(out.end(), item.tokens.begin(), item.tokens.end());
            out.push_back(synthetic(Token::Kind::Identifier, "on"));
            for (size_t k = 0; k < item.on.size(); ++k) {
                if (k)
                    out.push_back(synthetic(Token::Kind::Identifier, "and"));
                writeCondition(item.on[k], out);
            }
        }
        for (size_t k = 0; k < rest.size(); ++k) {
            out.push_back(synthetic(Token::Kind::Identifier, k ? "and" : "where"));
            out.insert(out.end(), rest[k].begin(), rest[k].end());
        }
        out.insert(out.end(), m_tokens.begin() + static_cast<long>(end), m_tokens.end());
        return out;
    }

    std::span<const Token> m_tokens;
    const TranslateContext& m_context;
    size_t m_synthetic;
    std::vector<FromItem> m_items;
    std::map<std::string, std::vector<std::string>> m_columns;
};

} // namespace

std::span<const Token> rewriteOuterJoins(std::span<const Token> tokens,
                                         const TranslateContext& context,
                                         std::vector<Token>& storage) {
    if (tokens.empty())
        return tokens;
    auto rewritten = OuterJoinRewrite(tokens, context).run();
    if (!rewritten)
        return tokens;
    storage = std::move(*rewritten);
    return storage;
}

std::set<std::string> outerJoinInnerTables(std::span<const Token> tokens) {
    std::set<std::string> inner;
    auto tableAfter = [&](size_t k) {
        // The last name of a qualified table name (db..t, dbo.t, t).
        std::string name;
        while (k < tokens.size() &&
               (tokens[k].kind == Token::Kind::Identifier ||
                tokens[k].kind == Token::Kind::QuotedIdentifier || tokens[k].isOp("."))) {
            if (!tokens[k].isOp("."))
                name = lower(tokens[k].text);
            ++k;
            if (k < tokens.size() && !tokens[k].isOp(".") && !tokens[k - 1].isOp("."))
                break;
        }
        return name;
    };
    bool everyTable = false;
    for (size_t k = 2; k + 1 < tokens.size(); ++k) {
        if (!tokens[k].is("join"))
            continue;
        const Token& before = tokens[tokens[k - 1].is("outer") ? k - 2 : k - 1];
        if (before.is("left"))
            inner.insert(tableAfter(k + 1));
        else if (before.is("right") || before.is("full"))
            everyTable = true;
    }
    if (everyTable) {
        // The tables before a right join are its inner side: every table counts as one.
        for (size_t k = 0; k + 1 < tokens.size(); ++k)
            if (tokens[k].is("from") || tokens[k].is("join") || tokens[k].isOp(","))
                if (std::string name = tableAfter(k + 1); !name.empty())
                    inner.insert(name);
    }
    inner.erase(std::string());
    return inner;
}

} // namespace devserver::translator

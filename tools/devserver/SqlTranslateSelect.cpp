// The translation of select statements: the first select list (aliases, assignments, the
// static type of each column, top n), the sort keys of its order by, and the selects of a
// union, each typed from its own tables.
#include "SqlTranslatorParts.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "SqlParser.h"
#include "TypesCatalog.h"

#include <algorithm>

namespace devserver::translator {

namespace {

/// Words that end the select list.
constexpr std::string_view kSelectListEnd[] = {"from",   "into",   "where",    "group",
                                               "having", "order",  "union",    "compute",
                                               "for",    "except", "intersect"};

} // namespace

/// Where the first select list of a select statement ends (its first top-level `from`,
/// `into`, `where`, … or the end).
size_t selectListEnd(std::span<const Token> tokens, size_t from) {
    return findOutsideCase(tokens, from, [](const Token& t, int depth) {
        if (depth != 0 || t.kind != Token::Kind::Identifier)
            return false;
        for (auto word : kSelectListEnd)
            if (t.is(word))
                return true;
        return false;
    });
}

namespace {

/// True for a token that can end an expression (so that a name after it is an alias).
bool endsExpression(const Token& t) {
    switch (t.kind) {
    case Token::Kind::Number:
    case Token::Kind::String:
    case Token::Kind::Binary:
    case Token::Kind::Variable:
    case Token::Kind::GlobalVariable:
    case Token::Kind::QuotedIdentifier:
        return true;
    case Token::Kind::Identifier:
        return t.is("end") || t.is("null") || (!t.is("as") && !isStatementKeyword(t));
    case Token::Kind::Operator:
        return t.isOp(")");
    }
    return false;
}

/// A select-list item split into its expression and its alias ("expr as name", "expr name",
/// "expr 'name'", "expr \"name\"").
struct SelectItem {
    std::span<const Token> expression;
    std::optional<std::string> alias;
};

SelectItem splitAlias(std::span<const Token> item) {
    const size_t n = item.size();
    if (n >= 1 && item[n - 1].is("as"))
        throw syntaxError("as");
    if (n >= 2) {
        const Token& last = item[n - 1];
        const bool nameLike = last.kind == Token::Kind::String ||
                              last.kind == Token::Kind::QuotedIdentifier ||
                              (last.kind == Token::Kind::Identifier && !last.is("end") &&
                               !last.is("null") && !isStatementKeyword(last));
        if (nameLike && n >= 3 && item[n - 2].is("as"))
            return {item.subspan(0, n - 2), last.text};
        if (nameLike && !item[n - 2].is("as") && endsExpression(item[n - 2]))
            return {item.subspan(0, n - 1), last.text};
    }
    return {item, std::nullopt};
}

bool isStar(std::span<const Token> expression) {
    return !expression.empty() && expression.back().isOp("*") &&
           (expression.size() == 1 || expression[expression.size() - 2].isOp("."));
}

/// True when the expression compares values (its string literals may be date-times that
/// meet date-time columns).
bool compares(std::span<const Token> expression) {
    for (const Token& t : expression)
        if (isComparison(t) || t.is("like") || t.is("between") || t.is("in") || t.is("when"))
            return true;
    return false;
}

} // namespace

/// True for a plain column reference (name, qualifier.name, …), which names its column.
bool isColumnReference(std::span<const Token> expression) {
    if (expression.empty())
        return false;
    for (size_t k = 0; k < expression.size(); ++k) {
        const Token& t = expression[k];
        const bool name =
            t.kind == Token::Kind::QuotedIdentifier ||
            (t.kind == Token::Kind::Identifier && !t.is("null") && !isStatementKeyword(t));
        if (k % 2 == 0 ? !name : !t.isOp(".")) {
            // db..name
            if (!(t.isOp(".") && k > 0 && expression[k - 1].isOp(".")))
                return false;
        }
    }
    return !expression.back().isOp(".");
}

SelectTyper::SelectTyper(std::span<const Token> select, const TranslateContext& context)
    : m_context(context) {
    size_t i = 1;
    if (i < select.size() && (select[i].is("distinct") || select[i].is("all")))
        ++i;
    if (i + 1 < select.size() && select[i].is("top") && select[i + 1].kind == Token::Kind::Number)
        i += 2;
    m_listStart = i;
    m_listEnd = selectListEnd(select, i);
    size_t fromAt = m_listEnd;
    while (fromAt < select.size() && !select[fromAt].is("from")) {
        // select … into t from …
        if (!select[fromAt].is("into"))
            break;
        ++fromAt;
        while (fromAt < select.size() && !select[fromAt].is("from") && !select[fromAt].is("where"))
            ++fromAt;
    }
    if (fromAt < select.size() && select[fromAt].is("from")) {
        size_t fromEnd = fromAt + 1;
        int depth = 0;
        for (; fromEnd < select.size(); ++fromEnd) {
            const Token& t = select[fromEnd];
            if (t.isOp("("))
                ++depth;
            else if (t.isOp(")"))
                --depth;
            else if (depth == 0 &&
                     (t.is("where") || t.is("group") || t.is("having") || t.is("order") ||
                      t.is("union") || t.is("compute") || t.is("for") || t.is("except") ||
                      t.is("intersect") || t.is("at") || t.is("plan")))
                break;
        }
        m_from = select.subspan(fromAt, fromEnd - fromAt);
    }
}

std::optional<ColumnType> SelectTyper::type(std::span<const Token> expression) {
    TypeScope scope;
    scope.column = [this](std::span<const Token> name) { return column(name); };
    scope.variable = m_context.variable;
    scope.marker = m_context.marker;
    scope.subquery = [this](std::span<const Token> select) -> std::optional<ColumnType> {
        SelectTyper inner(select, m_context);
        auto items =
            splitAtCommas(select.subspan(inner.listStart(), inner.listEnd() - inner.listStart()));
        if (items.size() != 1 || items[0].empty())
            return std::nullopt;
        auto expression = splitAlias(items[0]).expression;
        if (isStar(expression))
            return std::nullopt;
        return inner.type(expression);
    };
    return expressionType(expression, scope);
}

/// Number of columns a `*` or `t.*` item stands for.
size_t SelectTyper::starWidth(std::span<const Token> star) {
    auto columns = probe(star);
    return columns ? columns->size() : 0;
}

std::optional<ColumnType> SelectTyper::column(std::span<const Token> name) {
    auto columns = probe(name);
    if (!columns || columns->size() != 1)
        return std::nullopt;
    return (*columns)[0];
}

std::optional<std::vector<std::optional<ColumnType>>>
SelectTyper::probe(std::span<const Token> expression) {
    if (!m_context.probeColumns || m_from.empty())
        return std::nullopt;
    if (!m_fromSql) {
        Translation from;
        Translator(m_context, from).run(m_from);
        m_fromSql = from.sql;
    }
    Translation item;
    Translator(m_context, item).run(expression);
    auto [it, fresh] = m_probed.try_emplace(item.sql);
    if (fresh)
        it->second = m_context.probeColumns("select " + item.sql + " " + *m_fromSql);
    return it->second;
}

namespace {

/// Translates one select statement (with the selects of its union): the first select list
/// item by item, the order by with exact sort keys, and each further select typed from its
/// own tables.
class SelectTranslation {
public:
    SelectTranslation(std::span<const Token> tokens, const TranslateContext& context,
                      Translation& out)
        : m_tokens(tokens), m_context(context), m_out(out), m_tr(context, out),
          m_typer(tokens, context) {}

    void run() {
        m_tr.m_keepAsText = literalsKeptAsText(m_tokens, m_context);
        m_tr.m_timesOfDay = literalsKeptAsText(m_tokens, m_context, true);
        m_tr.m_typeOf = [this](std::span<const Token> expression) {
            return m_typer.type(expression);
        };
        size_t i = 1;
        m_tr.emit("select");
        if (i < m_tokens.size() && (m_tokens[i].is("distinct") || m_tokens[i].is("all"))) {
            m_tr.emit(m_tokens[i].text);
            ++i;
        }
        std::optional<std::string> top;
        if (i + 1 < m_tokens.size() && m_tokens[i].is("top") &&
            m_tokens[i + 1].kind == Token::Kind::Number) {
            top = m_tokens[i + 1].text;
            i += 2;
        }
        const size_t listEnd = m_typer.listEnd();
        findBranches(listEnd);
        m_out.compound = !m_branches.empty();
        bool firstItem = true;
        for (auto item : splitAtCommas(m_tokens.subspan(i, listEnd - i))) {
            if (!firstItem)
                m_tr.emit(",");
            firstItem = false;
            selectItem(item);
        }
        widenToBranches();
        const size_t unionAt = unionStart(listEnd);
        const size_t orderAt = orderByStart(listEnd, unionAt);
        m_tr.run(m_tokens.subspan(listEnd, orderAt - listEnd));
        if (orderAt < unionAt)
            orderBy(orderAt, unionAt);
        branchesAfter(unionAt);
        if (top)
            m_tr.emit("limit " + *top);
    }

private:
    /// The selects after the first one of a union.
    void findBranches(size_t listEnd) {
        int depth = 0;
        size_t start = 0;
        for (size_t k = listEnd; k < m_tokens.size(); ++k) {
            if (m_tokens[k].isOp("("))
                ++depth;
            else if (m_tokens[k].isOp(")"))
                --depth;
            else if (depth == 0 && m_tokens[k].is("union")) {
                if (start)
                    m_branches.push_back(m_tokens.subspan(start, k - start));
                start = k + 1;
                if (start < m_tokens.size() && m_tokens[start].is("all"))
                    ++start;
            } else if (depth == 0 && start &&
                       (m_tokens[k].is("order") || m_tokens[k].is("compute"))) {
                m_branches.push_back(m_tokens.subspan(start, k - start));
                start = 0;
            }
        }
        if (start && start < m_tokens.size())
            m_branches.push_back(m_tokens.subspan(start));
    }

    /// One item of the first select list: `@v = expr`, `name = expr`, `expr [as] name`, `*`.
    void selectItem(std::span<const Token> item) {
        std::string assignment;
        std::optional<std::string> alias;
        if (item.size() >= 3 && item[1].isOp("=")) {
            if (item[0].kind == Token::Kind::Variable) {
                assignment = item[0].text;
                item = item.subspan(2);
            } else if (item[0].kind == Token::Kind::Identifier ||
                       item[0].kind == Token::Kind::String ||
                       item[0].kind == Token::Kind::QuotedIdentifier) {
                alias = item[0].text;
                item = item.subspan(2);
            }
        }
        if (item.empty())
            throw syntaxError(",");
        std::span<const Token> expression = item;
        if (!alias && assignment.empty()) {
            SelectItem split = splitAlias(item);
            expression = split.expression;
            alias = split.alias;
        }
        if (isStar(expression)) {
            const size_t width = m_typer.starWidth(expression);
            for (size_t k = 0; k < std::max<size_t>(width, 1); ++k) {
                m_out.assignments.push_back(assignment);
                m_out.columnHints.push_back(std::nullopt);
                m_out.namedItems.push_back(true);
            }
            m_tr.run(expression);
            return;
        }
        const bool column = isColumnReference(expression);
        std::optional<ColumnType> hint =
            column && !m_out.compound ? std::nullopt : m_typer.type(expression);
        if (hint && isCharacterColumn(*hint) && !compares(expression)) {
            // Text stays as written: a date-like literal shown as text is not a date-time.
            for (const Token& t : expression)
                if (t.kind == Token::Kind::String)
                    m_tr.m_keepAsText.insert(t.begin);
        }
        m_tr.run(expression);
        if (alias)
            m_tr.emit("as " + quoteIdentifier(*alias));
        m_out.assignments.push_back(assignment);
        m_out.columnHints.push_back(hint);
        // Without an alias an expression column, a variable or a NULL is named after nothing.
        m_out.namedItems.push_back(alias.has_value() || column);
    }

    /// Each column of a union is as wide as the widest of its selects.
    void widenToBranches() {
        for (auto branch : m_branches) {
            if (branch.empty() || !branch[0].is("select"))
                continue;
            SelectTyper branchTyper(branch, m_context);
            auto branchItems = splitAtCommas(branch.subspan(
                branchTyper.listStart(), branchTyper.listEnd() - branchTyper.listStart()));
            for (size_t k = 0; k < m_out.columnHints.size(); ++k) {
                auto& hint = m_out.columnHints[k];
                if (!hint)
                    continue;
                std::optional<ColumnType> other;
                if (k < branchItems.size() && !branchItems[k].empty()) {
                    auto expression = splitAlias(branchItems[k]).expression;
                    if (!isStar(expression))
                        other = branchTyper.type(expression);
                }
                hint = other ? std::optional(uniteTypes(*hint, *other)) : std::nullopt;
            }
        }
    }

    /// The first top-level `union` after the select list, or the end.
    size_t unionStart(size_t listEnd) const {
        return findOutsideParentheses(m_tokens, listEnd,
                                      [](const Token& t) { return t.is("union"); });
    }

    /// The first select's top-level `order by`, or `unionAt`.
    size_t orderByStart(size_t listEnd, size_t unionAt) const {
        for (size_t k = listEnd, depth = 0; k + 1 < unionAt; ++k) {
            if (m_tokens[k].isOp("("))
                ++depth;
            else if (m_tokens[k].isOp(")"))
                --depth;
            else if (depth == 0 && m_tokens[k].is("order") && m_tokens[k + 1].is("by"))
                return k;
        }
        return unionAt;
    }

    // Money and numeric expressions are ordered by their exact decimal text: a result holds
    // short values as numbers and long ones as text, which SQLite would not order among each
    // other by value.
    void orderBy(size_t orderAt, size_t unionAt) {
        m_tr.emit("order by");
        size_t itemsEnd = orderAt + 2;
        for (size_t depth = 0; itemsEnd < unionAt; ++itemsEnd) {
            if (m_tokens[itemsEnd].isOp("("))
                ++depth;
            else if (m_tokens[itemsEnd].isOp(")"))
                --depth;
            else if (depth == 0 &&
                     (m_tokens[itemsEnd].is("compute") || m_tokens[itemsEnd].is("for") ||
                      m_tokens[itemsEnd].is("at") || m_tokens[itemsEnd].is("plan")))
                break;
        }
        bool firstKey = true;
        for (auto key : splitAtCommas(m_tokens.subspan(orderAt + 2, itemsEnd - orderAt - 2))) {
            if (!firstKey)
                m_tr.emit(",");
            firstKey = false;
            sortKey(key);
        }
        m_tr.run(m_tokens.subspan(itemsEnd, unionAt - itemsEnd));
    }

    void sortKey(std::span<const Token> key) {
        auto expression = key;
        if (!expression.empty() && (expression.back().is("asc") || expression.back().is("desc")))
            expression = expression.first(expression.size() - 1);
        const bool exact = !expression.empty() && !isColumnReference(expression) &&
                           !(expression.size() == 1 && expression[0].kind == Token::Kind::Number) &&
                           m_tr.exactType(expression, 0, expression.size());
        if (!exact) {
            m_tr.run(key);
            return;
        }
        m_tr.emit("tovrin_sort_key(");
        m_tr.run(expression);
        m_tr.emit(std::string(") collate ") + kDecimalCollation);
        if (expression.size() < key.size())
            m_tr.emit(key.back().text);
    }

    // Each further select of a union is typed from its own tables; what follows the last
    // one (an order by of the whole union) is not.
    void branchesAfter(size_t unionAt) {
        size_t at = unionAt;
        for (auto branch : m_branches) {
            const auto begin = static_cast<size_t>(branch.data() - m_tokens.data());
            if (branch.empty() || begin < at)
                continue;
            m_tr.m_typeOf = nullptr;
            m_tr.run(m_tokens.subspan(at, begin - at));
            SelectTyper branchTyper(branch, m_context);
            m_tr.m_typeOf = [&branchTyper](std::span<const Token> expression) {
                return branchTyper.type(expression);
            };
            m_tr.run(branch);
            at = begin + branch.size();
        }
        m_tr.m_typeOf = nullptr;
        m_tr.run(m_tokens.subspan(at));
    }

    std::span<const Token> m_tokens;
    const TranslateContext& m_context;
    Translation& m_out;
    Translator m_tr;
    SelectTyper m_typer;
    std::vector<std::span<const Token>> m_branches;
};

} // namespace

void translateSelect(std::span<const Token> tokens, const TranslateContext& context,
                     Translation& out) {
    SelectTranslation(tokens, context, out).run();
}

} // namespace devserver::translator

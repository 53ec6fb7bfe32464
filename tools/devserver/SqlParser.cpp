// Statement splitting and control-flow structure of T-SQL batches.
#include "SqlParser.h"

#include "SqlErrors.h"

namespace devserver {

namespace {

constexpr std::string_view kStatementWords[] = {
    "select", "insert",   "update",    "delete", "create",  "drop",    "alter",    "truncate",
    "use",    "print",    "raiserror", "exec",   "execute", "declare", "set",      "if",
    "while",  "begin",    "end",       "else",   "return",  "commit",  "rollback", "waitfor",
    "break",  "continue", "save",      "grant",  "revoke",  "dbcc",
};

SqlError keywordError(const Token& t) {
    return SqlError(156, 15, "Incorrect syntax near the keyword '" + t.text + "'.");
}

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : m_t(tokens) {}

    std::unique_ptr<Statement> parseAll() {
        auto block = std::make_unique<Statement>();
        block->kind = Statement::Kind::Block;
        while (m_pos < m_t.size()) {
            if (m_t[m_pos].isOp(";")) {
                ++m_pos;
                continue;
            }
            if (m_t[m_pos].is("end") || m_t[m_pos].is("else"))
                throw keywordError(m_t[m_pos]);
            block->children.push_back(parseStatement());
        }
        return block;
    }

private:
    const std::vector<Token>& m_t;
    size_t m_pos = 0;

    bool at(size_t i, std::string_view word) const { return i < m_t.size() && m_t[i].is(word); }

    /// Counts the nesting of blocks and branches, so that a hostile batch cannot exhaust the
    /// stack.
    struct Depth {
        explicit Depth(int& depth) : m_depth(depth) {
            if (++m_depth > kMaxNesting) {
                --m_depth;
                throw SqlError(404, 16,
                               "Too many nested expressions or logical operators to compile.");
            }
        }
        ~Depth() { --m_depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;
        int& m_depth;
    };
    static constexpr int kMaxNesting = 200;
    int m_depth = 0;

    std::unique_ptr<Statement> parseStatement() {
        Depth depth(m_depth);
        while (m_pos < m_t.size() && m_t[m_pos].isOp(";"))
            ++m_pos;
        if (m_pos >= m_t.size())
            throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
        const Token& first = m_t[m_pos];
        auto stmt = std::make_unique<Statement>();
        stmt->line = first.line;
        stmt->begin = first.begin;
        if (first.is("begin") && !at(m_pos + 1, "tran") && !at(m_pos + 1, "transaction") &&
            !at(m_pos + 1, "work") && !at(m_pos + 1, "distributed")) {
            stmt->kind = Statement::Kind::Block;
            ++m_pos;
            while (true) {
                while (m_pos < m_t.size() && m_t[m_pos].isOp(";"))
                    ++m_pos;
                if (m_pos >= m_t.size())
                    throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
                if (m_t[m_pos].is("end")) {
                    ++m_pos;
                    break;
                }
                if (m_t[m_pos].is("else"))
                    throw keywordError(m_t[m_pos]);
                stmt->children.push_back(parseStatement());
            }
            return stmt;
        }
        if (first.is("if") || first.is("while")) {
            stmt->kind = first.is("if") ? Statement::Kind::If : Statement::Kind::While;
            ++m_pos;
            size_t end = scanCondition(m_pos);
            if (end == m_pos)
                throw syntaxError(first.text);
            stmt->tokens.assign(m_t.begin() + static_cast<long>(m_pos),
                                m_t.begin() + static_cast<long>(end));
            m_pos = end;
            if (m_pos >= m_t.size())
                throw SqlError(102, 15, "Incorrect syntax near the end of the batch.");
            stmt->children.push_back(parseStatement());
            if (stmt->kind == Statement::Kind::If) {
                while (m_pos < m_t.size() && m_t[m_pos].isOp(";"))
                    ++m_pos;
                if (at(m_pos, "else")) {
                    ++m_pos;
                    stmt->children.push_back(parseStatement());
                }
            }
            return stmt;
        }
        if (first.is("else") || first.is("end"))
            throw keywordError(first);
        size_t end = scanSimple(m_pos);
        stmt->tokens.assign(m_t.begin() + static_cast<long>(m_pos),
                            m_t.begin() + static_cast<long>(end));
        m_pos = end;
        if (m_pos < m_t.size() && m_t[m_pos].isOp(";"))
            ++m_pos;
        return stmt;
    }

    /// End of an if/while condition: the first statement keyword outside parentheses.
    size_t scanCondition(size_t i) const {
        return findOutsideCase(
            m_t, i, [](const Token& t, int depth) { return depth <= 0 && isStatementKeyword(t); });
    }

    /// End of a simple statement starting at `start`.
    size_t scanSimple(size_t start) const {
        const Token& head = m_t[start];
        if (head.is("create") &&
            (at(start + 1, "procedure") || at(start + 1, "proc") || at(start + 1, "trigger")))
            return m_t.size();
        const bool isInsert = head.is("insert");
        const bool isUpdate = head.is("update");
        const bool isCreateView = head.is("create") && at(start + 1, "view");
        const bool isWith = head.is("with");
        const bool isDeclare = head.is("declare");
        bool seenSelect = head.is("select");
        bool seenSet = false;
        int depth = 0, caseDepth = 0;
        size_t i = start + 1;
        for (; i < m_t.size(); ++i) {
            const Token& t = m_t[i];
            const Token& prev = m_t[i - 1];
            if (t.isOp("(")) {
                ++depth;
                continue;
            }
            if (t.isOp(")")) {
                --depth;
                continue;
            }
            if (t.is("case")) {
                ++caseDepth;
                continue;
            }
            if (t.is("end") && caseDepth > 0) {
                --caseDepth;
                continue;
            }
            if (depth > 0 || caseDepth > 0)
                continue;
            if (t.isOp(";"))
                return i;
            if (t.is("values"))
                seenSelect = true;
            if (!isStatementKeyword(t))
                continue;
            if (t.is("select")) {
                if (prev.is("union") || prev.is("all") || prev.is("except") ||
                    prev.is("intersect") || prev.is("distinct"))
                    continue;
                if ((isInsert || isCreateView || isWith || (isDeclare && prev.is("for"))) &&
                    !seenSelect) {
                    seenSelect = true;
                    continue;
                }
                return i;
            }
            if (t.is("set") && isUpdate && !seenSet) {
                seenSet = true;
                continue;
            }
            if (t.is("if") && (prev.is("table") || prev.is("view") || prev.is("index") ||
                               prev.is("procedure") || prev.is("proc") || prev.is("database")))
                continue;
            if ((t.is("delete") || t.is("update")) && (prev.is("on") || prev.is("for")))
                continue;
            if ((t.is("exec") || t.is("execute")) && isInsert && !seenSelect) {
                seenSelect = true;
                continue;
            }
            return i;
        }
        return i;
    }
};

} // namespace

bool isStatementKeyword(const Token& token) {
    if (token.kind != Token::Kind::Identifier)
        return false;
    for (auto word : kStatementWords)
        if (token.is(word))
            return true;
    return false;
}

namespace {

/// Index of the ')' matching the '(' at `open` or, with `atComma`, of a comma before it at
/// depth 1; tokens.size() when there is none.
size_t closingOrComma(std::span<const Token> tokens, size_t open, bool atComma) {
    int depth = 0;
    for (size_t i = open; i < tokens.size(); ++i) {
        if (tokens[i].isOp("("))
            ++depth;
        else if (tokens[i].isOp(")") && --depth == 0)
            return i;
        else if (atComma && tokens[i].isOp(",") && depth == 1)
            return i;
    }
    return tokens.size();
}

} // namespace

/// Index of the ')' matching the '(' at `open`, or tokens.size().
size_t matchingParen(std::span<const Token> tokens, size_t open) {
    return closingOrComma(tokens, open, false);
}

/// Index of the first comma at depth 1 after the '(' at `open`, or the matching ')'.
size_t firstArgumentEnd(std::span<const Token> tokens, size_t open) {
    return closingOrComma(tokens, open, true);
}

std::unique_ptr<Statement> parseStatements(const std::vector<Token>& tokens) {
    return Parser(tokens).parseAll();
}

} // namespace devserver

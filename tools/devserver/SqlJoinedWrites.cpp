// Updates and deletes that join other tables, and those limited by `set rowcount`, in the
// forms SQLite runs:
//   update t set … from t, src where …   the target is the same table as the one the from
//                                         list names, not a second copy of it: it leaves the
//                                         from list (SQLite's update … from joins the rest);
//   delete t from t, src where …          delete from t where rowid in (select t.rowid …);
//   set rowcount n                        the rows written are the first n the statement's
//                                         own select finds: rowid in (select … limit n).
#include "SqlTranslatorParts.h"

#include <cctype>

namespace devserver::translator {

namespace {

/// The last name of a qualified name (db..t, dbo.t, t), lower case.
std::string lastName(std::span<const Token> name) {
    std::string out;
    for (const Token& t : name)
        if (!t.isOp("."))
            out = lower(t.text);
    return out;
}

class WriteRewrite {
public:
    WriteRewrite(std::span<const Token> tokens, int64_t rowLimit)
        : m_tokens(tokens), m_rowLimit(rowLimit), m_synthetic(tokens.back().end + 1) {}

    std::optional<std::vector<Token>> run() {
        const bool update = m_tokens[0].is("update");
        size_t targetAt = 1;
        if (!update && targetAt < m_tokens.size() && m_tokens[targetAt].is("from"))
            ++targetAt;
        size_t targetEnd = targetAt;
        while (targetEnd < m_tokens.size() &&
               (m_tokens[targetEnd].isOp(".") || m_tokens[targetEnd - 1].isOp(".") ||
                targetEnd == targetAt))
            ++targetEnd;
        if (targetEnd <= targetAt)
            return std::nullopt;
        m_target = m_tokens.subspan(targetAt, targetEnd - targetAt);
        const size_t setAt = update ? topLevel(targetEnd, "set") : targetEnd;
        const size_t fromAt = topLevel(setAt, "from");
        const size_t whereAt = topLevel(setAt, "where");
        const size_t fromEnd = std::min(whereAt, m_tokens.size());
        if (fromAt < m_tokens.size())
            splitFromList(m_tokens.subspan(fromAt + 1, fromEnd - fromAt - 1));
        const bool limited = m_rowLimit > 0;
        if (fromAt >= m_tokens.size() && !limited)
            return std::nullopt;
        if (update && setAt >= m_tokens.size())
            return std::nullopt;
        auto condition =
            whereAt < m_tokens.size() ? m_tokens.subspan(whereAt + 1) : std::span<const Token>();
        std::vector<Token> out;
        if (update) {
            out.insert(out.end(), m_tokens.begin(), m_tokens.begin() + static_cast<long>(setAt));
            if (!m_targetAlias.empty()) {
                word(out, "as");
                out.push_back(m_targetAliasToken);
            }
            out.insert(out.end(), m_tokens.begin() + static_cast<long>(setAt),
                       m_tokens.begin() + static_cast<long>(std::min(fromAt, whereAt)));
            writeOthers(out, true);
        } else {
            word(out, "delete");
            word(out, "from");
            out.insert(out.end(), m_target.begin(), m_target.end());
            if (!m_targetAlias.empty()) {
                word(out, "as");
                out.push_back(m_targetAliasToken);
            }
        }
        word(out, "where");
        if (update && !m_others.empty() && !condition.empty()) {
            // The join's condition pairs each target row with its source row.
            op(out, "(");
            out.insert(out.end(), condition.begin(), condition.end());
            op(out, ")");
            word(out, "and");
        }
        writeRowSelect(out, condition);
        return out;
    }

private:
    size_t topLevel(size_t begin, std::string_view keyword) const {
        int depth = 0;
        for (size_t k = begin; k < m_tokens.size(); ++k) {
            if (m_tokens[k].isOp("("))
                ++depth;
            else if (m_tokens[k].isOp(")"))
                --depth;
            else if (depth == 0 && m_tokens[k].is(keyword))
                return k;
        }
        return m_tokens.size();
    }

    /// Sorts the from list into the target (named like the target table, with or without
    /// an alias) and the other tables.
    void splitFromList(std::span<const Token> list) {
        const std::string target = lastName(m_target);
        for (auto item : splitAtCommas(list)) {
            if (item.empty())
                continue;
            size_t nameEnd = item.size();
            std::string alias;
            if (item.size() >= 2 && item.back().kind == Token::Kind::Identifier &&
                !item[item.size() - 2].isOp(".")) {
                alias = lower(item.back().text);
                nameEnd = item.size() - 1;
                if (nameEnd >= 2 && item[nameEnd - 1].is("as"))
                    --nameEnd;
            }
            const bool isTarget = !m_foundTarget && (lastName(item.first(nameEnd)) == target ||
                                                     (!alias.empty() && alias == target));
            if (isTarget) {
                m_foundTarget = true;
                if (!alias.empty() && alias != target) {
                    m_targetAlias = alias;
                    m_targetAliasToken = item.back();
                }
            } else {
                m_others.push_back(item);
            }
        }
    }

    /// The other tables of the from list, after `from` (or after a comma).
    void writeOthers(std::vector<Token>& out, bool afterFrom) {
        for (size_t k = 0; k < m_others.size(); ++k) {
            if (k == 0 && afterFrom)
                word(out, "from");
            else
                op(out, ",");
            out.insert(out.end(), m_others[k].begin(), m_others[k].end());
        }
    }

    /// `<target>.rowid in (select <target>.rowid from <target>, <others> where … limit n)`
    void writeRowSelect(std::vector<Token>& out, std::span<const Token> condition) {
        const std::string qualifier =
            m_targetAlias.empty() ? m_target.back().text : m_targetAliasToken.text;
        auto rowid = [&] {
            out.push_back(make(Token::Kind::Identifier, qualifier));
            op(out, ".");
            word(out, "rowid");
        };
        rowid();
        word(out, "in");
        op(out, "(");
        word(out, "select");
        rowid();
        word(out, "from");
        out.insert(out.end(), m_target.begin(), m_target.end());
        if (!m_targetAlias.empty())
            out.push_back(m_targetAliasToken);
        writeOthers(out, false);
        if (!condition.empty()) {
            word(out, "where");
            out.insert(out.end(), condition.begin(), condition.end());
        }
        if (m_rowLimit > 0) {
            word(out, "limit");
            out.push_back(make(Token::Kind::Number, std::to_string(m_rowLimit)));
        }
        op(out, ")");
    }

    Token make(Token::Kind kind, std::string text) {
        return syntheticToken(kind, std::move(text), m_tokens.front().line, m_synthetic);
    }
    void word(std::vector<Token>& out, const char* text) {
        out.push_back(make(Token::Kind::Identifier, text));
    }
    void op(std::vector<Token>& out, const char* text) {
        out.push_back(make(Token::Kind::Operator, text));
    }

    std::span<const Token> m_tokens;
    int64_t m_rowLimit;
    size_t m_synthetic;
    std::span<const Token> m_target;
    bool m_foundTarget = false;
    std::string m_targetAlias;
    Token m_targetAliasToken;
    std::vector<std::span<const Token>> m_others;
};

} // namespace

std::span<const Token> rewriteJoinedWrite(std::span<const Token> tokens, int64_t rowLimit,
                                          std::vector<Token>& storage) {
    if (tokens.size() < 2 || !(tokens[0].is("update") || tokens[0].is("delete")))
        return tokens;
    auto rewritten = WriteRewrite(tokens, rowLimit).run();
    if (!rewritten)
        return tokens;
    storage = std::move(*rewritten);
    return storage;
}

} // namespace devserver::translator

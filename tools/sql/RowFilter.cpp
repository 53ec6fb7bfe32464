// Parsing and evaluating --filter expressions.
#include "RowFilter.h"

#include <cctype>
#include <vector>

#include "DataSetOutput.h"
#include "host/DataSet.h"
#include "host/DateTime.h"
#include "host/Fields.h"
#include "host/FieldsBcd.h"
#include "host/SysUtils.h"

namespace tovrin::sqltool {

struct RowFilter::Node {
    enum class Kind { Or, And, Not, Compare, IsNull };
    enum class Op { Eq, Ne, Lt, Le, Gt, Ge, Like };
    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<Node>> children;
    // Compare and IsNull:
    std::string fieldName;
    host::TField* field = nullptr;
    Op op = Op::Eq;
    bool negated = false;       // "is not null"
    bool literalNull = false;   // "= null": never true
    bool literalNumber = false; // the literal was written as a number
    std::string literal;
};

namespace {

using Node = RowFilter::Node;

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    std::unique_ptr<Node> parse() {
        auto root = expression();
        skipBlanks();
        if (m_pos < m_text.size())
            fail("unexpected text");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw FilterError("--filter: " + what + " at position " + std::to_string(m_pos + 1));
    }
    void skipBlanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    static bool isWordChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$' ||
               static_cast<unsigned char>(c) >= 0x80;
    }
    /// Consumes the keyword when it comes next as a whole word.
    bool keyword(const char* word) {
        skipBlanks();
        std::size_t i = 0;
        for (; word[i] != '\0'; ++i) {
            if (m_pos + i >= m_text.size() ||
                std::tolower(static_cast<unsigned char>(m_text[m_pos + i])) != word[i])
                return false;
        }
        if (m_pos + i < m_text.size() && isWordChar(m_text[m_pos + i]))
            return false;
        m_pos += i;
        return true;
    }
    bool symbol(const char* text) {
        skipBlanks();
        const std::string s(text);
        if (m_text.compare(m_pos, s.size(), s) != 0)
            return false;
        m_pos += s.size();
        return true;
    }

    std::unique_ptr<Node> expression() {
        auto left = term();
        while (keyword("or")) {
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Or;
            node->children.push_back(std::move(left));
            node->children.push_back(term());
            left = std::move(node);
        }
        return left;
    }
    std::unique_ptr<Node> term() {
        auto left = condition();
        while (keyword("and")) {
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::And;
            node->children.push_back(std::move(left));
            node->children.push_back(condition());
            left = std::move(node);
        }
        return left;
    }
    std::unique_ptr<Node> condition() {
        if (keyword("not")) {
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Not;
            node->children.push_back(condition());
            return node;
        }
        if (symbol("(")) {
            auto inner = expression();
            if (!symbol(")"))
                fail("')' expected");
            return inner;
        }
        auto node = std::make_unique<Node>();
        node->fieldName = fieldName();
        if (keyword("is")) {
            node->kind = Node::Kind::IsNull;
            node->negated = keyword("not");
            if (!keyword("null"))
                fail("'null' expected");
            return node;
        }
        node->kind = Node::Kind::Compare;
        node->op = comparison();
        literal(*node);
        return node;
    }
    std::string fieldName() {
        skipBlanks();
        if (m_pos < m_text.size() && (m_text[m_pos] == '"' || m_text[m_pos] == '[')) {
            const char close = m_text[m_pos] == '"' ? '"' : ']';
            const std::size_t end = m_text.find(close, m_pos + 1);
            if (end == std::string::npos)
                fail("unterminated field name");
            std::string name = m_text.substr(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
            return name;
        }
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && isWordChar(m_text[m_pos]))
            ++m_pos;
        if (m_pos == start)
            fail("field name expected");
        return m_text.substr(start, m_pos - start);
    }
    Node::Op comparison() {
        if (symbol("<>") || symbol("!="))
            return Node::Op::Ne;
        if (symbol("<="))
            return Node::Op::Le;
        if (symbol(">="))
            return Node::Op::Ge;
        if (symbol("="))
            return Node::Op::Eq;
        if (symbol("<"))
            return Node::Op::Lt;
        if (symbol(">"))
            return Node::Op::Gt;
        if (keyword("like"))
            return Node::Op::Like;
        fail("comparison operator expected");
    }
    void literal(Node& node) {
        skipBlanks();
        if (keyword("null")) {
            node.literalNull = true;
            return;
        }
        if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
            ++m_pos;
            std::string value;
            for (;;) {
                if (m_pos >= m_text.size())
                    fail("unterminated text");
                if (m_text[m_pos] == '\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'') {
                        value += '\'';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                value += m_text[m_pos++];
            }
            node.literal = std::move(value);
            return;
        }
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) ||
                                         m_text[m_pos] == '.' || m_text[m_pos] == '-' || m_text[m_pos] == '+'))
            ++m_pos;
        node.literal = m_text.substr(start, m_pos - start);
        double ignored = 0;
        if (node.literal.empty() || !host::TryStrToFloat(node.literal, ignored))
            fail("value expected (a number, a text in single quotes or null)");
        node.literalNumber = true;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

bool likeMatch(const std::string& text, std::size_t t, const std::string& pattern, std::size_t p) {
    while (p < pattern.size()) {
        if (pattern[p] == '%') {
            while (p < pattern.size() && pattern[p] == '%')
                ++p;
            if (p == pattern.size())
                return true;
            for (std::size_t k = t; k <= text.size(); ++k)
                if (likeMatch(text, k, pattern, p))
                    return true;
            return false;
        }
        if (t >= text.size())
            return false;
        if (pattern[p] == '_') {
            // one character: a whole UTF-8 sequence
            ++t;
            while (t < text.size() && (static_cast<unsigned char>(text[t]) & 0xC0) == 0x80)
                ++t;
            ++p;
            continue;
        }
        if (pattern[p] != text[t])
            return false;
        ++p;
        ++t;
    }
    return t == text.size();
}

bool compareResult(Node::Op op, int order) {
    switch (op) {
    case Node::Op::Eq: return order == 0;
    case Node::Op::Ne: return order != 0;
    case Node::Op::Lt: return order < 0;
    case Node::Op::Le: return order <= 0;
    case Node::Op::Gt: return order > 0;
    case Node::Op::Ge: return order >= 0;
    case Node::Op::Like: break;
    }
    return false;
}

template <class T>
int order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool evaluate(const Node& node, bool ignoreCase) {
    switch (node.kind) {
    case Node::Kind::Or:
        return evaluate(*node.children[0], ignoreCase) || evaluate(*node.children[1], ignoreCase);
    case Node::Kind::And:
        return evaluate(*node.children[0], ignoreCase) && evaluate(*node.children[1], ignoreCase);
    case Node::Kind::Not:
        return !evaluate(*node.children[0], ignoreCase);
    case Node::Kind::IsNull:
        return node.field->IsNull() != node.negated;
    case Node::Kind::Compare:
        break;
    }
    if (node.literalNull || node.field->IsNull())
        return false;
    const Cell cell = fieldCell(*node.field);
    if (node.op == Node::Op::Like) {
        return ignoreCase ? likeMatch(lower(cell.text), 0, lower(node.literal), 0)
                          : likeMatch(cell.text, 0, node.literal, 0);
    }
    const host::TFieldType type = node.field->DataType();
    host::TBcd exactLiteral;
    if (type == host::ftBCD && host::TryStrToBCD(node.literal, exactLiteral)) {
        // Exact decimals compare digit by digit: doubles cannot tell long keys apart.
        return compareResult(node.op, host::BCDCompare(host::StrToBCD(cell.text), exactLiteral));
    }
    if (cell.kind == Cell::Kind::Number || cell.kind == Cell::Kind::Boolean) {
        double literal = 0;
        if (host::TryStrToFloat(node.literal, literal))
        {
            const double value = cell.kind == Cell::Kind::Boolean ? (cell.text == "1" ? 1.0 : 0.0)
                                                                 : node.field->AsFloat();
            return compareResult(node.op, order(value, literal));
        }
    } else if (type == host::ftDateTime || type == host::ftDate || type == host::ftTime ||
               type == host::ftTimeStamp) {
        try {
            const double literal = host::StrToDateTime(node.literal);
            return compareResult(node.op, order(static_cast<double>(node.field->AsDateTime()), literal));
        } catch (const std::exception&) {
            // not a date: compare the texts below
        }
    }
    const int textOrder = ignoreCase ? lower(cell.text).compare(lower(node.literal)) : cell.text.compare(node.literal);
    return compareResult(node.op, textOrder);
}

void collectFields(const Node& node, std::vector<const Node*>& out) {
    if (node.kind == Node::Kind::Compare || node.kind == Node::Kind::IsNull)
        out.push_back(&node);
    for (const auto& child : node.children)
        collectFields(*child, out);
}

std::unique_ptr<Node> clone(const Node& node) {
    auto copy = std::make_unique<Node>();
    copy->kind = node.kind;
    copy->fieldName = node.fieldName;
    copy->op = node.op;
    copy->negated = node.negated;
    copy->literalNull = node.literalNull;
    copy->literalNumber = node.literalNumber;
    copy->literal = node.literal;
    for (const auto& child : node.children)
        copy->children.push_back(clone(*child));
    return copy;
}

void bindFields(Node& node, const host::TDataSet& data) {
    if (node.kind == Node::Kind::Compare || node.kind == Node::Kind::IsNull) {
        node.field = data.FindField(node.fieldName);
        if (node.field == nullptr)
            throw FilterError("--filter: the result has no field '" + node.fieldName + "'");
    }
    for (auto& child : node.children)
        bindFields(*child, data);
}

} // namespace

RowFilter::RowFilter(const std::string& text, bool ignoreCase)
    : m_root(Parser(text).parse()), m_ignoreCase(ignoreCase) {}

RowFilter::~RowFilter() = default;

bool RowFilter::fitsDataSet(const host::TDataSet& data) const {
    std::vector<const Node*> conditions;
    collectFields(*m_root, conditions);
    for (const Node* condition : conditions)
        if (data.FindField(condition->fieldName) == nullptr)
            return false;
    return true;
}

void RowFilter::apply(host::TDataSet& data) {
    // Each dataset gets its own copy bound to its own fields.
    std::shared_ptr<Node> bound = clone(*m_root);
    bindFields(*bound, data);
    const bool ignoreCase = m_ignoreCase;
    data.SetOnFilterRecord(
        [bound, ignoreCase](host::TDataSet*, bool& accept) { accept = evaluate(*bound, ignoreCase); });
    data.SetFiltered(true);
}

} // namespace tovrin::sqltool

// Parsing filter expressions into a tree, binding the tree to a dataset's fields, and
// evaluating it on the record under test.
#include "tovrin5/host/FilterExpression.h"

#include <cctype>
#include <string_view>

#include "tovrin5/host/Collation.h"
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FieldsBcd.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

// How a comparison reads its values, chosen from the field's type when binding.
enum class Category { Number, Decimal, DateTime, Boolean, Text };

struct Operand {
    enum class Kind { Field, Text, Number, Boolean, Null };
    Kind kind = Kind::Null;
    std::string text; // field name, text, or the number as written
    double number = 0;
    bool boolean = false;
    std::size_t position = 0; // 0-based, for messages
    TField* field = nullptr;  // bound field (Kind::Field)
};

Category categoryOf(TFieldType type) noexcept {
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftAutoInc:
    case ftLargeint:
        return Category::Number;
    case ftBCD:
        return Category::Decimal;
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
        return Category::DateTime;
    case ftBoolean:
        return Category::Boolean;
    default:
        return Category::Text;
    }
}

Op mirrored(Op op) noexcept {
    switch (op) {
    case Op::Lt:
        return Op::Gt;
    case Op::Le:
        return Op::Ge;
    case Op::Gt:
        return Op::Lt;
    case Op::Ge:
        return Op::Le;
    default:
        return op;
    }
}

bool holds(Op op, int order) noexcept {
    switch (op) {
    case Op::Eq:
        return order == 0;
    case Op::Ne:
        return order != 0;
    case Op::Lt:
        return order < 0;
    case Op::Le:
        return order <= 0;
    case Op::Gt:
        return order > 0;
    case Op::Ge:
        return order >= 0;
    }
    return false;
}

template <class T> int order(T a, T b) noexcept {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// SQL's like: % any run of characters, _ one (whole UTF-8) character.
bool likeMatch(std::string_view text, std::string_view pattern) {
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starT = 0;
    auto nextChar = [&](std::size_t i) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        return i;
    };
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            starP = ++p;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == '_') {
            ++p;
            t = nextChar(t);
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = starT = nextChar(starT);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%')
        ++p;
    return p == pattern.size();
}

// Orders two decimal texts in the form BCDToStr and TBCDField write ("-12.5", "0",
// "3"), digit by digit: exact where doubles would round long values together.
int compareDecimals(std::string_view a, std::string_view b) {
    const bool negA = !a.empty() && a.front() == '-';
    const bool negB = !b.empty() && b.front() == '-';
    if (negA)
        a.remove_prefix(1);
    if (negB)
        b.remove_prefix(1);
    auto split = [](std::string_view t, std::string_view& whole, std::string_view& fraction) {
        const std::size_t point = t.find_first_of(".,");
        whole = t.substr(0, point);
        fraction = point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
        while (!whole.empty() && whole.front() == '0')
            whole.remove_prefix(1);
        while (!fraction.empty() && fraction.back() == '0')
            fraction.remove_suffix(1);
    };
    std::string_view wa, fa, wb, fb;
    split(a, wa, fa);
    split(b, wb, fb);
    const bool zeroA = wa.empty() && fa.empty();
    const bool zeroB = wb.empty() && fb.empty();
    const int signA = zeroA ? 0 : (negA ? -1 : 1);
    const int signB = zeroB ? 0 : (negB ? -1 : 1);
    if (signA != signB)
        return signA < signB ? -1 : 1;
    int magnitude = 0;
    if (wa.size() != wb.size()) {
        magnitude = wa.size() < wb.size() ? -1 : 1;
    } else if (const int c = wa.compare(wb); c != 0) {
        magnitude = c < 0 ? -1 : 1;
    } else if (const int f = fa.compare(fb); f != 0) {
        magnitude = f < 0 ? -1 : 1; // digits after the point: a prefix is the smaller
    }
    return signA < 0 ? -magnitude : magnitude;
}

[[noreturn]] void syntaxError(std::size_t position, const std::string& what) {
    DatabaseErrorFmt("Filter expression error at position %d: %s",
                     {static_cast<int>(position + 1), what});
}

} // namespace

struct TFilterExpression::Node {
    enum class Kind { Or, And, Not, Compare, IsNull, Like };
    Kind kind = Kind::Compare;
    std::unique_ptr<Node> left, right; // Or, And; Not uses left
    Op op = Op::Eq;
    bool negated = false; // is not null
    Operand a, b;         // Compare: a op b; IsNull, Like: a (Like's pattern in b)
    // Bound form of a field compared with a literal (the field in a, the literal in b,
    // mirrored when written the other way round).
    Category category = Category::Text;
    double literalNumber = 0;
    std::string literalDecimal; // Decimal: the literal as exact decimal text
    bool literalBoolean = false;
    bool nullLiteral = false; // a null literal: the comparison is unknown whatever the value
};

namespace {

using Node = TFilterExpression::Node;

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    std::unique_ptr<Node> parse() {
        skipBlanks();
        if (m_pos >= m_text.size())
            syntaxError(m_pos, "the expression is empty");
        auto root = expression();
        skipBlanks();
        if (m_pos < m_text.size()) {
            if (m_text[m_pos] == ')')
                syntaxError(m_pos, "')' without '('");
            syntaxError(m_pos, "'and', 'or' or the end expected");
        }
        return root;
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    static bool isWordChar(char c) noexcept {
        const auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '_' || c == '@' || c == '#' || c == '$' || u >= 0x80;
    }
    // Consumes the keyword when it comes next as a whole word.
    bool keyword(std::string_view word) {
        skipBlanks();
        if (m_text.size() - m_pos < word.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(m_text[m_pos + i])) != word[i])
                return false;
        if (m_pos + word.size() < m_text.size() && isWordChar(m_text[m_pos + word.size()]))
            return false;
        m_pos += word.size();
        return true;
    }
    bool symbol(std::string_view s) {
        skipBlanks();
        if (m_text.substr(m_pos, s.size()) != s)
            return false;
        m_pos += s.size();
        return true;
    }

    std::unique_ptr<Node> expression() {
        auto left = term();
        while (keyword("or"))
            left = binary(Node::Kind::Or, std::move(left), term());
        return left;
    }
    std::unique_ptr<Node> term() {
        auto left = factor();
        while (keyword("and"))
            left = binary(Node::Kind::And, std::move(left), factor());
        return left;
    }
    // Parsing, evaluating and releasing the tree recurse once per level: a limit keeps
    // a hostile text from exhausting the stack.
    void deeper() {
        if (++m_depth > kMaxDepth)
            syntaxError(m_pos, "the expression is too long (more than " +
                                   std::to_string(kMaxDepth) + " operators and parentheses)");
    }
    std::unique_ptr<Node> binary(Node::Kind kind, std::unique_ptr<Node> left,
                                 std::unique_ptr<Node> right) {
        deeper();
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }
    std::unique_ptr<Node> factor() {
        if (keyword("not")) {
            deeper();
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Not;
            node->left = factor();
            return node;
        }
        skipBlanks();
        const std::size_t open = m_pos;
        if (symbol("(")) {
            deeper();
            auto inner = expression();
            if (!symbol(")")) {
                skipBlanks();
                syntaxError(m_pos, "')' expected to close the '(' at position " +
                                       std::to_string(open + 1));
            }
            return inner;
        }
        return condition();
    }
    std::unique_ptr<Node> condition() {
        auto node = std::make_unique<Node>();
        node->a = operand();
        if (keyword("is")) {
            node->kind = Node::Kind::IsNull;
            node->negated = keyword("not");
            skipBlanks();
            if (!keyword("null"))
                syntaxError(m_pos, "'null' expected after 'is'");
            return node;
        }
        if (keyword("like")) {
            node->kind = Node::Kind::Like;
            skipBlanks();
            node->b = operand();
            if (node->b.kind != Operand::Kind::Text)
                syntaxError(node->b.position, "a pattern in quotes expected after 'like'");
            return node;
        }
        node->kind = Node::Kind::Compare;
        node->op = comparison();
        node->b = operand();
        return node;
    }
    Op comparison() {
        skipBlanks();
        const std::size_t at = m_pos;
        if (symbol("<>") || symbol("!="))
            return Op::Ne;
        if (symbol("<="))
            return Op::Le;
        if (symbol(">="))
            return Op::Ge;
        if (symbol("="))
            return Op::Eq;
        if (symbol("<"))
            return Op::Lt;
        if (symbol(">"))
            return Op::Gt;
        syntaxError(at, at < m_text.size() ? "a comparison (=, <>, <, <=, >, >=, is, like) expected"
                                           : "a comparison expected at the end of the expression");
    }
    Operand operand() {
        skipBlanks();
        Operand o;
        o.position = m_pos;
        if (m_pos >= m_text.size())
            syntaxError(m_pos, "a field name or a value expected at the end of the expression");
        const char c = m_text[m_pos];
        if (c == '\'') {
            o.kind = Operand::Kind::Text;
            o.text = quoted('\'', "unterminated text");
            return o;
        }
        if (c == '"' || c == '[') {
            o.kind = Operand::Kind::Field;
            o.text = quoted(c == '"' ? '"' : ']', "unterminated field name");
            if (o.text.empty())
                syntaxError(o.position, "empty field name");
            return o;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' ||
            ((c == '-' || c == '+') && m_pos + 1 < m_text.size() &&
             (std::isdigit(static_cast<unsigned char>(m_text[m_pos + 1])) ||
              m_text[m_pos + 1] == '.'))) {
            o.kind = Operand::Kind::Number;
            std::size_t end = m_pos + 1;
            while (end < m_text.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_text[end])) || m_text[end] == '.' ||
                    ((m_text[end] == '-' || m_text[end] == '+') &&
                     (m_text[end - 1] == 'e' || m_text[end - 1] == 'E'))))
                ++end;
            o.text = std::string(m_text.substr(m_pos, end - m_pos));
            if (!TryStrToFloat(o.text, o.number))
                syntaxError(m_pos, "'" + o.text + "' is not a number");
            m_pos = end;
            return o;
        }
        if (keyword("null")) {
            o.kind = Operand::Kind::Null;
            return o;
        }
        if (keyword("true") || keyword("false")) {
            o.kind = Operand::Kind::Boolean;
            o.boolean = std::tolower(static_cast<unsigned char>(c)) == 't';
            o.text = o.boolean ? "True" : "False";
            return o;
        }
        std::size_t end = m_pos;
        while (end < m_text.size() && isWordChar(m_text[end]))
            ++end;
        if (end == m_pos)
            syntaxError(m_pos, "a field name or a value expected");
        o.kind = Operand::Kind::Field;
        o.text = std::string(m_text.substr(m_pos, end - m_pos));
        // A field of such a name is written in brackets.
        for (const char* reserved : {"and", "or", "not", "is", "like"})
            if (SameText(o.text, reserved))
                syntaxError(m_pos, "a field name or a value expected");
        m_pos = end;
        return o;
    }
    // Reads a text between quotes (the closing quote doubled stands for itself).
    std::string quoted(char close, const char* unterminated) {
        const std::size_t start = m_pos;
        ++m_pos;
        std::string value;
        for (;;) {
            if (m_pos >= m_text.size())
                syntaxError(start, unterminated);
            if (m_text[m_pos] == close) {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == close) {
                    value += close;
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                return value;
            }
            value += m_text[m_pos++];
        }
    }

    static constexpr int kMaxDepth = 1000;
    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_depth = 0; // operators and parentheses so far: a bound on the tree's depth
};

void collectNames(const Node& node, std::vector<std::string>& out) {
    if (node.left)
        collectNames(*node.left, out);
    if (node.right)
        collectNames(*node.right, out);
    if (node.a.kind == Operand::Kind::Field)
        out.push_back(node.a.text);
    if (node.b.kind == Operand::Kind::Field)
        out.push_back(node.b.text);
}

[[noreturn]] void literalError(const Operand& literal, const TField& field) {
    DatabaseErrorFmt(
        "Filter expression error at position %d: '%s' is not a valid value for field '%s'",
        {static_cast<int>(literal.position + 1), literal.text, field.GetDisplayName()});
}

// Resolves the field names and converts each literal compared with a field to the
// field's type, once, so that evaluating a record reads only the fields.
void bind(Node& node, TDataSet& ds) {
    if (node.left)
        bind(*node.left, ds);
    if (node.right)
        bind(*node.right, ds);
    for (Operand* o : {&node.a, &node.b})
        if (o->kind == Operand::Kind::Field)
            o->field = ds.FieldByName(o->text);
    if (node.kind != Node::Kind::Compare)
        return;
    if (node.a.kind != Operand::Kind::Field && node.b.kind == Operand::Kind::Field) {
        std::swap(node.a, node.b);
        node.op = mirrored(node.op);
    }
    node.nullLiteral = node.a.kind == Operand::Kind::Null || node.b.kind == Operand::Kind::Null;
    if (node.nullLiteral)
        return;
    if (node.a.kind != Operand::Kind::Field) {
        // Two literals: numbers compare as numbers, anything else as texts.
        node.category = node.a.kind == Operand::Kind::Number && node.b.kind == Operand::Kind::Number
                            ? Category::Number
                            : Category::Text;
        return;
    }
    node.category = categoryOf(node.a.field->DataType());
    const Operand& lit = node.b;
    if (lit.kind == Operand::Kind::Field)
        return;
    switch (node.category) {
    case Category::Number:
        if (lit.kind == Operand::Kind::Number) {
            node.literalNumber = lit.number;
        } else if (lit.kind == Operand::Kind::Boolean) {
            node.literalNumber = lit.boolean ? 1 : 0;
        } else if (!TryStrToFloat(Trim(lit.text), node.literalNumber)) {
            literalError(lit, *node.a.field);
        }
        break;
    case Category::Decimal: {
        TBcd exact;
        if (lit.kind == Operand::Kind::Boolean) {
            exact = StrToBCD(lit.boolean ? "1" : "0");
        } else if (!TryStrToBCD(Trim(lit.text), exact)) {
            if (lit.kind != Operand::Kind::Number)
                literalError(lit, *node.a.field);
            exact = DoubleToBCD(lit.number, 18); // written with an exponent
        }
        node.literalDecimal = BCDToStr(exact);
        break;
    }
    case Category::DateTime:
        if (lit.kind == Operand::Kind::Number) {
            node.literalNumber = lit.number;
        } else {
            try {
                node.literalNumber = StrToDateTime(lit.text);
            } catch (const Exception&) {
                literalError(lit, *node.a.field);
            }
        }
        break;
    case Category::Boolean:
        if (lit.kind == Operand::Kind::Boolean) {
            node.literalBoolean = lit.boolean;
        } else if (lit.kind == Operand::Kind::Number) {
            node.literalBoolean = lit.number != 0;
        } else if (SameText(Trim(lit.text), "true")) {
            node.literalBoolean = true;
        } else if (SameText(Trim(lit.text), "false")) {
            node.literalBoolean = false;
        } else {
            literalError(lit, *node.a.field);
        }
        break;
    case Category::Text:
        break;
    }
}

// Trailing blanks do not count, as in the server's own comparisons: a char(n) value comes
// padded to its length and must still equal the text without the padding.
std::string_view withoutTrailingBlanks(std::string_view text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

int compareTexts(std::string_view a, std::string_view b, bool ignoreCase, Op op) {
    a = withoutTrailingBlanks(a);
    b = withoutTrailingBlanks(b);
    if (ignoreCase)
        return AnsiCompareText(a, b);
    if (op == Op::Eq || op == Op::Ne)
        return a == b ? 0 : 1;
    return AnsiCompareStr(a, b);
}

// A text compared with = or <> against 'prefix*': whether it begins with the prefix.
bool beginsWith(std::string_view text, std::string_view prefix, bool ignoreCase) {
    if (!ignoreCase)
        return text.substr(0, prefix.size()) == prefix;
    return AnsiCompareText(utf8Left(text, utf8Length(prefix)), prefix) == 0;
}

bool compareTextNode(const Node& node, const std::string& value, const std::string& literal,
                     TFilterOptions options) {
    const bool ignoreCase = options.Contains(foCaseInsensitive);
    if ((node.op == Op::Eq || node.op == Op::Ne) && !options.Contains(foNoPartialCompare) &&
        !literal.empty() && literal.back() == '*' && node.b.kind == Operand::Kind::Text) {
        const bool begins =
            beginsWith(value, std::string_view(literal).substr(0, literal.size() - 1), ignoreCase);
        return node.op == Op::Eq ? begins : !begins;
    }
    return holds(node.op, compareTexts(value, literal, ignoreCase, node.op));
}

// A comparison of two values, neither of them null.
bool evaluateCompare(const Node& node, TFilterOptions options) {
    TField* field = node.a.field;
    if (!field) { // two literals
        if (node.category == Category::Number)
            return holds(node.op, order(node.a.number, node.b.number));
        return compareTextNode(node, node.a.text, node.b.text, options);
    }
    TField* other = node.b.field;
    switch (node.category) {
    case Category::Number:
        return holds(node.op,
                     order(field->AsFloat(), other ? other->AsFloat() : node.literalNumber));
    case Category::Decimal:
        if (other && categoryOf(other->DataType()) != Category::Decimal)
            return holds(node.op, order(field->AsFloat(), other->AsFloat()));
        return holds(node.op, compareDecimals(field->AsString(),
                                              other ? other->AsString() : node.literalDecimal));
    case Category::DateTime:
        return holds(node.op,
                     order(static_cast<double>(field->AsDateTime()),
                           other ? static_cast<double>(other->AsDateTime()) : node.literalNumber));
    case Category::Boolean:
        return holds(node.op,
                     order(field->AsBoolean(), other ? other->AsBoolean() : node.literalBoolean));
    case Category::Text:
        break;
    }
    return compareTextNode(node, field->AsString(), other ? other->AsString() : node.b.text,
                           options);
}

// SQL's truth values: a comparison involving a null is neither true nor false.
enum class Truth { False, True, Unknown };

Truth truthOf(bool value) noexcept {
    return value ? Truth::True : Truth::False;
}

// Whether the comparison or like of Node reads a null (a null field or a null literal).
bool readsNull(const Node& node) noexcept {
    if (node.nullLiteral)
        return true;
    const auto isNull = [](const Operand& o) {
        return o.field ? o.field->IsNull() : o.kind == Operand::Kind::Null;
    };
    return isNull(node.a) || (node.kind == Node::Kind::Compare && isNull(node.b));
}

Truth evaluate(const Node& node, TFilterOptions options) {
    switch (node.kind) {
    case Node::Kind::Or: {
        const Truth left = evaluate(*node.left, options);
        if (left == Truth::True)
            return Truth::True;
        const Truth right = evaluate(*node.right, options);
        if (right == Truth::True)
            return Truth::True;
        return left == Truth::False && right == Truth::False ? Truth::False : Truth::Unknown;
    }
    case Node::Kind::And: {
        const Truth left = evaluate(*node.left, options);
        if (left == Truth::False)
            return Truth::False;
        const Truth right = evaluate(*node.right, options);
        if (right == Truth::False)
            return Truth::False;
        return left == Truth::True && right == Truth::True ? Truth::True : Truth::Unknown;
    }
    case Node::Kind::Not:
        switch (evaluate(*node.left, options)) {
        case Truth::True:
            return Truth::False;
        case Truth::False:
            return Truth::True;
        case Truth::Unknown:
            break;
        }
        return Truth::Unknown;
    case Node::Kind::IsNull: {
        const bool isNull =
            node.a.field ? node.a.field->IsNull() : node.a.kind == Operand::Kind::Null;
        return truthOf(isNull != node.negated);
    }
    case Node::Kind::Like: {
        if (readsNull(node))
            return Truth::Unknown;
        const std::string value = node.a.field ? node.a.field->AsString() : node.a.text;
        // Both sides in lower case by the Unicode rules, so 'Ä%' takes "äb" as 'A%' takes "ab".
        if (options.Contains(foCaseInsensitive))
            return truthOf(likeMatch(AnsiLowerCase(value), AnsiLowerCase(node.b.text)));
        return truthOf(likeMatch(value, node.b.text));
    }
    case Node::Kind::Compare:
        if (readsNull(node))
            return Truth::Unknown;
        return truthOf(evaluateCompare(node, options));
    }
    return Truth::Unknown;
}

} // namespace

TFilterExpression::TFilterExpression(const std::string& Text) : m_root(Parser(Text).parse()) {}

TFilterExpression::~TFilterExpression() = default;

std::vector<std::string> TFilterExpression::FieldNames() const {
    std::vector<std::string> names;
    collectNames(*m_root, names);
    return names;
}

bool TFilterExpression::Evaluate(TDataSet& DataSet, TFilterOptions Options) {
    if (m_boundTo != &DataSet)
        Bind(DataSet);
    // A record is taken only when the whole expression is true, not when it is unknown.
    return evaluate(*m_root, Options) == Truth::True;
}

void TFilterExpression::Bind(TDataSet& DataSet) {
    m_boundTo = nullptr;
    bind(*m_root, DataSet);
    m_boundTo = &DataSet;
}

void TFilterExpression::Unbind() noexcept {
    m_boundTo = nullptr;
}

} // namespace tovrin::host

// The parts of the T-SQL to SQLite translation that its files share: token helpers, the
// token-by-token expression translator, the select-list typer, and the literals that keep
// their text. Only the translator's own files include this.
#pragma once

#include "SqlParser.h"
#include "SqlTranslator.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace devserver::translator {

bool isCharacterType(const ColumnType& t);
/// The written text of a type name (for messages).
std::string typeTextOf(std::span<const Token> tokens);
/// The end of the operand that starts at `i` (a literal, variable, name, function call or
/// parenthesized expression, with its sign), or `i` when it is none of these.
size_t primaryEnd(std::span<const Token> tokens, size_t i);
/// True when the operator at `i` stands before an operand (a sign), not between two.
bool isUnaryPosition(std::span<const Token> tokens, size_t i);
bool isComparison(const Token& t);
/// True for a plain column reference (name, qualifier.name, …), which names its column.
bool isColumnReference(std::span<const Token> expression);

/// The value to bind for a variable: money and numeric values, held as exact text, are
/// bound as numbers (so that they compare and compute as numbers) when a double holds them
/// exactly, and as text otherwise.
SqlValue bindable(const SqlValue& value, const std::optional<ColumnType>& type);
/// True when a number literal has more significant digits than SQLite keeps exactly.
bool needsExactText(const std::string& number);
/// Finds the date-like string literals of a statement that meet a column known not to hold
/// date-times: values inserted into or assigned to such a column, and values compared
/// with it.
/// With `timesOfDay`, finds instead the literals that hold only a time of day ('10:00',
/// '10:00:00:0') and meet a column known to hold date-times.
std::set<size_t> literalsKeptAsText(std::span<const Token> tokens, const TranslateContext& context,
                                    bool timesOfDay = false);

/// Translates tokens one at a time into `out`; where the static type of an expression is
/// known (`m_typeOf`), arithmetic, comparisons and aggregates on money and numeric values
/// become calls of the exact functions.
class Translator {
public:
    Translator(const TranslateContext& context, Translation& out)
        : m_context(context), m_out(out) {}

    void run(std::span<const Token> tokens) {
        for (size_t i = 0; i < tokens.size();)
            i = step(tokens, i);
    }

    void emit(std::string_view text);
    /// Binds a value and emits its parameter.
    void bind(SqlValue value);
    bool isCharacterOperand(std::span<const Token> tokens, size_t i, bool backwards);
    /// Translates the token (or the construct) at `i`; gives the index after it.
    size_t step(std::span<const Token> tokens, size_t i);
    /// The exact result type of an expression, if it has one: money or numeric.
    std::optional<ColumnType> exactType(std::span<const Token> tokens, size_t begin, size_t end);

    /// Offsets of date-like string literals that meet columns holding no date-times.
    std::set<size_t> m_keepAsText;
    /// Time-of-day literals that meet date-time columns: written as the time on 1 Jan 1900.
    std::set<size_t> m_timesOfDay;
    /// The static type of an expression, when the statement's names can be typed. With it,
    /// arithmetic on money and numeric values, and their sums and averages, are computed
    /// exactly by the server's functions instead of in SQLite's floating point.
    std::function<std::optional<ColumnType>(std::span<const Token>)> m_typeOf;

private:
    /// One operator or operand of an arithmetic expression over tokens [begin, end).
    struct Node {
        size_t begin = 0, end = 0;
        size_t op = kLeaf; ///< index of the operator token (binary or sign), or kLeaf
        int left = -1, right = -1;
        bool unary = false;
    };
    static constexpr size_t kLeaf = static_cast<size_t>(-1);

    size_t stepString(const Token& t, size_t i);
    size_t stepBinary(const Token& t, size_t i);
    size_t stepOperator(std::span<const Token> tokens, size_t i);
    size_t stepDivision(std::span<const Token> tokens, size_t i);
    /// `+` between character values: tovrin_concat(left, right), in which a NULL operand
    /// counts as empty.
    size_t concatenation(std::span<const Token> tokens, size_t i);
    size_t stepIdentifier(std::span<const Token> tokens, size_t i);
    /// db..name, db.dbo.name, dbo.name: the index of the name, or `i` when none is here.
    size_t skipQualifiers(std::span<const Token> tokens, size_t i);
    /// A function call's name: renamed, made exact, or given its date part as text. Gives
    /// the index after what it translated, or `i` when the name is left as written.
    size_t functionCall(std::span<const Token> tokens, size_t i);
    size_t exactRoundOrAbs(std::span<const Token> tokens, size_t i);
    static std::string lowerWord(const std::string& s);
    static std::string identifierText(const Token& t);
    /// convert(type, expr [, style]) → tovrin_convert('type', expr [, style])
    size_t convertCall(std::span<const Token> tokens, size_t i);
    /// cast(expr as type) → tovrin_convert('type', expr)
    size_t castCall(std::span<const Token> tokens, size_t i);
    static std::string targetText(std::span<const Token> typeTokens);
    static std::string typeArguments(const ColumnType& type);
    std::optional<std::string> exactAggregate(std::span<const Token> tokens, size_t i);
    static size_t caseEnd(std::span<const Token> tokens, size_t i);
    static bool operandAt(std::span<const Token> tokens, size_t i);
    int parseAdditive(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes);
    int parseMultiplicative(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes);
    int parseLeftAssociative(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes,
                             std::initializer_list<const char*> ops,
                             int (Translator::*operand)(std::span<const Token>, size_t&,
                                                        std::vector<Node>&));
    int parseUnary(std::span<const Token> tokens, size_t& pos, std::vector<Node>& nodes);
    size_t exactChain(std::span<const Token> tokens, size_t i);
    bool exactComparison(std::span<const Token> tokens, const Node& left, const Node& right);
    void runPlain(std::span<const Token> tokens);
    void emitNode(std::span<const Token> tokens, const std::vector<Node>& nodes, int index);

    const TranslateContext& m_context;
    Translation& m_out;
    /// The next identifier continues a qualified name (written without a space).
    bool m_glue = false;
    /// The next step starts no exact arithmetic (its operand is being written plainly).
    bool m_plainOnce = false;
    /// Where in the output the translation of each token that began a step starts.
    std::unordered_map<const Token*, size_t> m_stepStarts;
    /// The last token of the latest concatenation's right operand, and where in the output
    /// that concatenation starts (the left operand of a `+` that follows it).
    const Token* m_concatEnd = nullptr;
    size_t m_concatStart = 0;
};

/// Where the first select list of a select statement ends (its first top-level `from`,
/// `into`, `where`, … or the end).
size_t selectListEnd(std::span<const Token> tokens, size_t from);

/// Types the expressions of one select list: column references are looked up by preparing
/// them against the statement's from clause (without its conditions, so that a correlated
/// subquery prepares too).
class SelectTyper {
public:
    SelectTyper(std::span<const Token> select, const TranslateContext& context);

    [[nodiscard]] size_t listStart() const { return m_listStart; }
    [[nodiscard]] size_t listEnd() const { return m_listEnd; }

    std::optional<ColumnType> type(std::span<const Token> expression);
    /// Number of columns a `*` or `t.*` item stands for.
    size_t starWidth(std::span<const Token> star);

private:
    std::optional<ColumnType> column(std::span<const Token> name);
    std::optional<std::vector<std::optional<ColumnType>>> probe(std::span<const Token> expression);

    const TranslateContext& m_context;
    std::span<const Token> m_from;
    size_t m_listStart = 1;
    size_t m_listEnd = 1;
    std::optional<std::string> m_fromSql;
    std::map<std::string, std::optional<std::vector<std::optional<ColumnType>>>> m_probed;
};

/// Rewrites the old outer-join operators of a statement's where clause (`*=`, `=*`) as left
/// joins. Returns `tokens` when there is nothing to rewrite, else a span of `storage`.
std::span<const Token> rewriteOuterJoins(std::span<const Token> tokens,
                                         const TranslateContext& context,
                                         std::vector<Token>& storage);
/// Rewrites an update or delete that joins other tables (`update t … from t, src`,
/// `delete t from t, src`) or is limited to `rowLimit` rows (when positive) in the form SQLite
/// runs. Returns `tokens` when there is nothing to rewrite, else a span of `storage`.
std::span<const Token> rewriteJoinedWrite(std::span<const Token> tokens, int64_t rowLimit,
                                          std::vector<Token>& storage);
/// The tables (lower case) on the inner side of a statement's outer joins.
std::set<std::string> outerJoinInnerTables(std::span<const Token> tokens);

/// Rewrites the first select list: aliases, assignments, static column types and top n.
void translateSelect(std::span<const Token> tokens, const TranslateContext& context,
                     Translation& out);

} // namespace devserver::translator

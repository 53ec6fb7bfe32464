// create table: the columns' declared types become the storage SQLite needs (identity
// columns as row ids, money and numeric as exactly ordered text, checks that values fit
// their type, not null by default), and values written are brought to the form the server
// stores: cut to their column, char not null blank-padded, varchar without trailing blanks,
// date-times in the type's precision.
#include "SqlSession.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
#include "SqlTimestamp.h"
#include "TypesCatalog.h"

#include <strings.h>

namespace devserver {

namespace {

/// The words of a column definition that end its type.
bool endsColumnType(const Token& t) {
    for (const char* word : {"null", "not", "default", "identity", "primary", "unique", "check",
                             "references", "constraint", "collate"})
        if (t.is(word))
            return true;
    return false;
}

/// The declared type of the column whose name is tokens[name]: its text as written (words
/// and a length or precision) and the index just after it.
std::pair<std::string, size_t> columnTypeText(std::span<const Token> tokens, size_t name) {
    std::string text;
    size_t k = name + 1;
    int depth = 0;
    for (; k < tokens.size(); ++k) {
        const Token& w = tokens[k];
        if (depth == 0 && (w.isOp(",") || w.isOp(")") || endsColumnType(w)))
            break;
        if (w.isOp("("))
            ++depth;
        if (w.isOp(")"))
            --depth;
        if (depth == 0 && !text.empty() && w.kind == Token::Kind::Identifier &&
            tokens[k - 1].kind == Token::Kind::Identifier)
            text += ' ';
        text += w.text;
    }
    return {text, k};
}

/// check (tovrin_fits(<column>, '<type>')): every value stored in the column must be one
/// its type holds, so that a wrong value fails the statement that writes it (as on the
/// server) instead of the select that reads it later.
std::vector<Token> fitsCheck(const Token& column, const std::string& type, size_t begin) {
    auto make = [&](Token::Kind kind, std::string text) {
        Token t;
        t.kind = kind;
        t.text = std::move(text);
        t.line = column.line;
        t.begin = begin++;
        t.end = begin;
        return t;
    };
    Token name = column;
    name.begin = begin++;
    name.end = begin;
    return {make(Token::Kind::Identifier, "check"),
            make(Token::Kind::Operator, "("),
            make(Token::Kind::Identifier, "tovrin_fits"),
            make(Token::Kind::Operator, "("),
            name,
            make(Token::Kind::Operator, ","),
            make(Token::Kind::String, type),
            make(Token::Kind::Operator, ")"),
            make(Token::Kind::Operator, ")")};
}

} // namespace

namespace {

/// Writes the type at `at` with its arguments, `storage` (if given) just after its name,
/// and `collate <collation>` after it all; gives the index of the type's last token.
size_t writeCollatedColumnType(std::span<const Token> tokens, size_t at, const char* storage,
                               const char* collation, std::vector<Token>& out) {
    size_t i = at;
    out.push_back(tokens[i]);
    if (storage) {
        Token text = tokens[i];
        text.text = storage;
        out.push_back(text);
    }
    if (i + 1 < tokens.size() && tokens[i + 1].isOp("(")) {
        while (i + 1 < tokens.size() && !tokens[i].isOp(")"))
            out.push_back(tokens[++i]);
    }
    Token collate = tokens[i];
    collate.kind = Token::Kind::Identifier;
    collate.text = "collate";
    out.push_back(collate);
    collate.text = collation;
    out.push_back(collate);
    return i;
}

/// A money or numeric column is stored as text that sorts by the exact decimal collation:
/// writes the type at `at` (with its arguments) followed by `text collate …`, and gives the
/// index of the type's last token.
size_t writeDecimalColumnType(std::span<const Token> tokens, size_t at, std::vector<Token>& out) {
    return writeCollatedColumnType(tokens, at, "text", kDecimalCollation, out);
}

/// Character types, whose comparisons ignore trailing blanks.
bool isCharacterTypeName(const std::string& name) {
    for (const char* type :
         {"char", "varchar", "nchar", "nvarchar", "unichar", "univarchar", "sysname"})
        if (strcasecmp(name.c_str(), type) == 0)
            return true;
    return false;
}

/// Trailing blanks do not count when character data is compared, as on the server: 'ab'
/// equals 'ab   ', so a char column's padded value finds its row. Writes the type at `at`
/// (with its length) followed by `collate rtrim`, and gives the index of its last token.
size_t writeCharacterColumnType(std::span<const Token> tokens, size_t at, std::vector<Token>& out) {
    return writeCollatedColumnType(tokens, at, nullptr, "rtrim", out);
}

/// How far a column definition reaches and what it says.
struct ColumnExtent {
    size_t end = 0; ///< the ',' or ')' that ends it, or the end of the tokens
    bool identity = false;
    bool nullability = false; ///< says null or not null
    bool nullable = false;    ///< says null (without not)
};

/// The extent of the column definition whose name is tokens[name].
ColumnExtent columnExtent(std::span<const Token> tokens, size_t name) {
    ColumnExtent extent;
    size_t& k = extent.end;
    k = name + 1;
    for (int d = 0; k < tokens.size(); ++k) {
        if (tokens[k].isOp("("))
            ++d;
        else if (tokens[k].isOp(")") && d-- == 0)
            break;
        else if (tokens[k].isOp(",") && d == 0)
            break;
        else if (tokens[k].is("identity"))
            extent.identity = true;
        else if (tokens[k].is("null") && d == 0) {
            extent.nullability = true;
            extent.nullable = !tokens[k - 1].is("not");
        }
    }
    return extent;
}

/// Rewrites the tokens of a create table into the statement SQLite runs. Column
/// definitions start after '(' or a comma at depth 1: name, then type.
class CreateTableRewrite {
public:
    explicit CreateTableRewrite(std::span<const Token> tokens)
        : m_tokens(tokens), m_syntheticBegin(tokens.empty() ? 0 : tokens.back().end + 1) {
        out.reserve(tokens.size() + 8);
    }

    /// The rewritten statement.
    std::vector<Token> out;
    /// The columns whose values are brought to their stored form on write (cut, padded or
    /// rounded).
    std::vector<std::pair<std::string, ColumnType>> cutColumns;
    /// The timestamp column, stamped on every write.
    std::string timestampColumn;

    void run() {
        int depth = 0;
        bool expectColumn = false;
        for (size_t i = 0; i < m_tokens.size(); ++i) {
            insertPending(i);
            const Token& t = m_tokens[i];
            if (t.isOp("(")) {
                ++depth;
                out.push_back(t);
                if (depth == 1)
                    expectColumn = true;
                continue;
            }
            if (t.isOp(")"))
                --depth;
            if (t.isOp(",") && depth == 1) {
                out.push_back(t);
                expectColumn = true;
                continue;
            }
            if (expectColumn && depth == 1) {
                expectColumn = false;
                i = columnDefinition(i);
                continue;
            }
            out.push_back(t);
        }
    }

private:
    std::span<const Token> m_tokens;
    // Tokens made here get offsets past the batch's own, so that none is taken for another.
    size_t m_syntheticBegin;
    size_t m_checkAt = SIZE_MAX;
    std::vector<Token> m_check;
    size_t m_notNullAt = SIZE_MAX;
    Token m_notNullWord;
    size_t m_defaultAt = SIZE_MAX;

    Token synthetic(Token::Kind kind, const char* text) {
        Token t = m_tokens.front();
        t.kind = kind;
        t.text = text;
        t.begin = m_syntheticBegin++;
        t.end = m_syntheticBegin++;
        return t;
    }

    /// A column of type timestamp, or named timestamp without a type (which makes it one):
    /// writes the type when it is implied and plans the column's default.
    void timestampDefinition(size_t i) {
        const auto [typeText, typeEnd] = columnTypeText(m_tokens, i);
        const bool implied = typeText.empty() && m_tokens[i].is("timestamp");
        if (!implied && strcasecmp(typeText.c_str(), "timestamp") != 0)
            return;
        timestampColumn = m_tokens[i].text;
        if (implied)
            out.push_back(synthetic(Token::Kind::Identifier, "timestamp"));
        m_defaultAt = typeEnd;
    }

    /// Writes the fits check and the not null planned for the position `i`.
    void insertPending(size_t i) {
        if (i == m_checkAt) {
            out.insert(out.end(), m_check.begin(), m_check.end());
            m_checkAt = SIZE_MAX;
        }
        if (i == m_defaultAt) {
            // A timestamp column holds zeros until its row's stamp replaces them.
            const Token::Kind kinds[] = {Token::Kind::Identifier, Token::Kind::Binary};
            const char* texts[] = {"default", "0000000000000000"};
            for (size_t k = 0; k < 2; ++k)
                out.push_back(synthetic(kinds[k], texts[k]));
            m_defaultAt = SIZE_MAX;
        }
        if (i == m_notNullAt) {
            for (const char* text : {"not", "null"}) {
                m_notNullWord.text = text;
                m_notNullWord.begin = m_syntheticBegin++;
                m_notNullWord.end = m_syntheticBegin++;
                out.push_back(m_notNullWord);
            }
            m_notNullAt = SIZE_MAX;
        }
    }

    /// Writes the column definition (or table constraint) that starts at tokens[i] up to
    /// its type; gives the index of the last token written.
    size_t columnDefinition(size_t i) {
        const Token& t = m_tokens[i];
        out.push_back(t);
        if (t.is("primary") || t.is("unique") || t.is("constraint") || t.is("check") ||
            t.is("foreign"))
            return i;
        const ColumnExtent extent = columnExtent(m_tokens, i);
        if (extent.identity) {
            // An identity column becomes SQLite's auto-incrementing row id.
            Token word = t;
            word.kind = Token::Kind::Identifier;
            for (const char* text : {"integer", "primary", "key", "autoincrement"}) {
                word.text = text;
                out.push_back(word);
            }
            return extent.end - 1;
        }
        timestampDefinition(i);
        // A column declared without null or not null is not null, as on the server.
        if (!extent.nullability && extent.end < m_tokens.size()) {
            m_notNullAt = extent.end;
            m_notNullWord = t;
            m_notNullWord.kind = Token::Kind::Identifier;
        }
        planTypeCheck(i, extent.nullable);
        return writeColumnType(i);
    }

    /// Plans the fits check after the type of the column named at tokens[i], and notes a
    /// column whose values are brought to their stored form on write; refuses an unknown
    /// type (2715).
    void planTypeCheck(size_t i, bool nullable) {
        const Token& t = m_tokens[i];
        auto [typeText, typeEnd] = columnTypeText(m_tokens, i);
        if (auto type = parseDeclaredType(typeText)) {
            type->nullable = nullable;
            if (type->type != SqlType::Text && type->type != SqlType::Image &&
                (isCharacterColumn(*type) || isExactDecimal(type->type) ||
                 type->type == SqlType::Binary || type->type == SqlType::VarBinary ||
                 type->type == SqlType::DateTime || type->type == SqlType::SmallDateTime))
                cutColumns.emplace_back(t.text, *type);
            m_check = fitsCheck(t, typeText, m_syntheticBegin);
            m_syntheticBegin += m_check.size() + 1;
            m_checkAt = typeEnd;
        } else if (!typeText.empty()) {
            throw SqlError(2715, 16, "Can't find type '" + typeText + "'.");
        }
    }

    /// Writes the storage of a decimal or character type after the column named at
    /// tokens[i]; gives the index of the last token written.
    size_t writeColumnType(size_t i) {
        if (i + 1 < m_tokens.size() && m_tokens[i + 1].kind == Token::Kind::Identifier &&
            needsDecimalStorage(m_tokens[i + 1].text))
            return writeDecimalColumnType(m_tokens, i + 1, out);
        if (i + 1 < m_tokens.size() && m_tokens[i + 1].kind != Token::Kind::String &&
            isCharacterTypeName(m_tokens[i + 1].text))
            return writeCharacterColumnType(m_tokens, i + 1, out);
        return i;
    }
};

} // namespace

SqlSession::Flow SqlSession::createTable(std::span<const Token> tokens, Frame& frame) {
    CreateTableRewrite rewrite(tokens);
    rewrite.run();
    Flow flow = runCommand(rewrite.out, frame, false);
    if (tokens.size() > 2 && tokens[2].kind != Token::Kind::Operator &&
        !(tokens.size() > 3 && tokens[3].isOp("."))) {
        cutOnWrite(tokens[2].text, rewrite.cutColumns);
        if (!rewrite.timestampColumn.empty())
            stampOnWrite(connection(), tokens[2].text, rewrite.timestampColumn);
    }
    return flow;
}

namespace {

/// When a value just written to `col` (as `new.<col>`) is not in its stored form, and the
/// expression of its stored form: character and binary values longer than their column are
/// cut; char not null is blank-padded to its length, while varchar and char null (which the
/// server keeps as varchar) lose their trailing blanks (all blanks leave one); datetime keeps
/// whole 1/300 s and smalldatetime whole minutes; money and numeric values are rounded half
/// away from zero to their scale (the column's collation compares them exactly, so 1.2 and
/// 1.20 are alike and left as they are).
std::pair<std::string, std::string> storedForm(const std::string& col, const ColumnType& type) {
    const std::string typeText = quoteLiteral(declaredTypeText(type));
    const std::string converted = "tovrin_convert(" + typeText + ", " + col + ")";
    const std::string length = std::to_string(type.length);
    const bool characters = type.type == SqlType::UniChar || type.type == SqlType::UniVarChar ||
                            serverCharset() == Charset::Iso1;
    const std::string stored =
        characters ? "length(new." + col + ")" : "length(cast(new." + col + " as blob))";
    switch (type.type) {
    case SqlType::DateTime:
    case SqlType::SmallDateTime:
    case SqlType::Money:
    case SqlType::SmallMoney:
    case SqlType::Numeric:
    case SqlType::Decimal:
        return {"new." + col + " <> tovrin_convert(" + typeText + ", new." + col + ")", converted};
    case SqlType::Char:
    case SqlType::UniChar:
        if (!type.nullable)
            return {stored + " <> " + length, converted};
        [[fallthrough]];
    case SqlType::VarChar:
    case SqlType::UniVarChar:
        return {stored + " > " + length + " or new." + col + " glob '* '",
                "coalesce(nullif(rtrim(" + converted + ", ' '), ''), ' ')"};
    default:
        return {stored + " > " + length, converted};
    }
}

} // namespace

void SqlSession::cutOnWrite(const std::string& table,
                            const std::vector<std::pair<std::string, ColumnType>>& columns) {
    // A trigger per column brings a value just written to the form in which the server
    // stores it, only when it is not in that form already.
    SqlConnection& conn = connection();
    const std::string temp = table.starts_with("#") ? "temp " : "";
    for (const auto& [column, type] : columns) {
        const std::string name = quoteIdentifier(table);
        const std::string col = quoteIdentifier(column);
        const auto [when, value] = storedForm(col, type);
        const std::string body = " on " + name + " for each row when " + when + " begin update " +
                                 name + " set " + col + " = " + value +
                                 " where rowid = new.rowid; end";
        conn.exec("create " + temp + "trigger " +
                  quoteIdentifier("tovrin_cut_" + table + "_" + column + "_i") + " after insert" +
                  body);
        conn.exec("create " + temp + "trigger " +
                  quoteIdentifier("tovrin_cut_" + table + "_" + column + "_u") +
                  " after update of " + col + body);
    }
}

} // namespace devserver

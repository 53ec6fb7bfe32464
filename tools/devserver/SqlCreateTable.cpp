// create table: the columns' declared types become the storage SQLite needs (identity
// columns as row ids, money and numeric as exactly ordered text, checks that values fit
// their type, not null by default), and values too long for their column are cut when
// written, as on the server.
#include "SqlSession.h"

#include "ExpressionTypes.h"
#include "SqlErrors.h"
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

/// A money or numeric column is stored as text that sorts by the exact decimal collation:
/// writes the type at `at` (with its arguments) followed by `text collate …`, and gives the
/// index of the type's last token.
size_t writeDecimalColumnType(std::span<const Token> tokens, size_t at, std::vector<Token>& out) {
    size_t i = at;
    out.push_back(tokens[i]);
    Token text = tokens[i];
    text.text = "text";
    out.push_back(text);
    if (i + 1 < tokens.size() && tokens[i + 1].isOp("(")) {
        while (i + 1 < tokens.size() && !tokens[i].isOp(")"))
            out.push_back(tokens[++i]);
    }
    Token collate = tokens[i];
    collate.kind = Token::Kind::Identifier;
    collate.text = "collate";
    out.push_back(collate);
    collate.text = kDecimalCollation;
    out.push_back(collate);
    return i;
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
    size_t i = at;
    out.push_back(tokens[i]);
    if (i + 1 < tokens.size() && tokens[i + 1].isOp("(")) {
        while (i + 1 < tokens.size() && !tokens[i].isOp(")"))
            out.push_back(tokens[++i]);
    }
    Token collate = tokens[i];
    collate.kind = Token::Kind::Identifier;
    collate.text = "collate";
    out.push_back(collate);
    collate.text = "rtrim";
    out.push_back(collate);
    return i;
}

} // namespace

SqlSession::Flow SqlSession::createTable(std::span<const Token> tokens, Frame& frame) {
    // Column definitions start after '(' or a comma at depth 1: name, then type.
    std::vector<Token> out;
    out.reserve(tokens.size() + 8);
    int depth = 0;
    bool expectColumn = false;
    // Tokens made here get offsets past the batch's own, so that none is taken for another.
    size_t syntheticBegin = tokens.empty() ? 0 : tokens.back().end + 1;
    size_t checkAt = SIZE_MAX;
    std::vector<Token> check;
    // A column declared without null or not null is not null, as on the server.
    size_t notNullAt = SIZE_MAX;
    std::vector<std::pair<std::string, ColumnType>> cutColumns;
    Token notNullWord;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (i == checkAt) {
            out.insert(out.end(), check.begin(), check.end());
            checkAt = SIZE_MAX;
        }
        if (i == notNullAt) {
            for (const char* text : {"not", "null"}) {
                notNullWord.text = text;
                notNullWord.begin = syntheticBegin++;
                notNullWord.end = syntheticBegin++;
                out.push_back(notNullWord);
            }
            notNullAt = SIZE_MAX;
        }
        const Token& t = tokens[i];
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
            out.push_back(t);
            if (t.is("primary") || t.is("unique") || t.is("constraint") || t.is("check") ||
                t.is("foreign"))
                continue;
            // An identity column becomes SQLite's auto-incrementing row id.
            size_t defEnd = i + 1;
            bool identity = false;
            bool nullability = false;
            for (int d = 0; defEnd < tokens.size(); ++defEnd) {
                if (tokens[defEnd].isOp("("))
                    ++d;
                else if (tokens[defEnd].isOp(")") && d-- == 0)
                    break;
                else if (tokens[defEnd].isOp(",") && d == 0)
                    break;
                else if (tokens[defEnd].is("identity"))
                    identity = true;
                else if (tokens[defEnd].is("null") && d == 0)
                    nullability = true;
            }
            if (!identity && !nullability && defEnd < tokens.size()) {
                notNullAt = defEnd;
                notNullWord = t;
                notNullWord.kind = Token::Kind::Identifier;
            }
            if (!identity) {
                auto [typeText, typeEnd] = columnTypeText(tokens, i);
                if (auto type = parseDeclaredType(typeText)) {
                    if (type->type != SqlType::Text && type->type != SqlType::Image &&
                        (isCharacterColumn(*type) || type->type == SqlType::Binary ||
                         type->type == SqlType::VarBinary))
                        cutColumns.emplace_back(t.text, *type);
                    check = fitsCheck(t, typeText, syntheticBegin);
                    syntheticBegin += check.size() + 1;
                    checkAt = typeEnd;
                } else if (!typeText.empty()) {
                    throw SqlError(2715, 16, "Can't find type '" + typeText + "'.");
                }
            }
            if (identity) {
                Token word = t;
                word.kind = Token::Kind::Identifier;
                for (const char* text : {"integer", "primary", "key", "autoincrement"}) {
                    word.text = text;
                    out.push_back(word);
                }
                i = defEnd - 1;
                continue;
            }
            if (i + 1 < tokens.size() && tokens[i + 1].kind == Token::Kind::Identifier &&
                needsDecimalStorage(tokens[i + 1].text))
                i = writeDecimalColumnType(tokens, i + 1, out);
            else if (i + 1 < tokens.size() && tokens[i + 1].kind != Token::Kind::String &&
                     isCharacterTypeName(tokens[i + 1].text))
                i = writeCharacterColumnType(tokens, i + 1, out);
            continue;
        }
        out.push_back(t);
    }
    Flow flow = runCommand(out, frame, false);
    if (tokens.size() > 2 && tokens[2].kind != Token::Kind::Operator &&
        !(tokens.size() > 3 && tokens[3].isOp(".")))
        cutOnWrite(tokens[2].text, cutColumns);
    return flow;
}

void SqlSession::cutOnWrite(const std::string& table,
                            const std::vector<std::pair<std::string, ColumnType>>& columns) {
    // A character or binary value longer than its column is cut when it is written, as the
    // server does: a trigger per column shortens the row just stored, only when it is too
    // long (by bytes; character columns are then cut by tovrin_convert as a select would).
    SqlConnection& conn = connection();
    const std::string temp = table.starts_with("#") ? "temp " : "";
    for (const auto& [column, type] : columns) {
        const std::string name = quoteIdentifier(table);
        const std::string col = quoteIdentifier(column);
        const std::string body = " on " + name + " for each row when length(cast(new." + col +
                                 " as blob)) > " + std::to_string(type.length) + " begin update " +
                                 name + " set " + col + " = tovrin_convert(" +
                                 quoteLiteral(declaredTypeText(type)) + ", " + col +
                                 ") where rowid = new.rowid; end";
        conn.exec("create " + temp + "trigger " +
                  quoteIdentifier("tovrin_cut_" + table + "_" + column + "_i") + " after insert" +
                  body);
        conn.exec("create " + temp + "trigger " +
                  quoteIdentifier("tovrin_cut_" + table + "_" + column + "_u") +
                  " after update of " + col + body);
    }
}

} // namespace devserver

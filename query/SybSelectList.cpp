// Reading a plain select's list and from clause (see SybSelectList.h). The reader is
// deliberately strict: whatever it does not recognise as one plain select is reported as
// unknown, and within a select list anything but a bare column name is an expression.
#include "tovrin5/query/SybSelectList.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <iterator>

namespace tovrin::selectlist {

namespace {

using Tokens = std::vector<Token>;

bool wordChar(unsigned char C) {
    return std::isalnum(C) || C == '_' || C == '#' || C == '@' || C == '$' || C == '.' || C >= 0x80;
}

// Index just past the quoted literal opening at I (a doubled quote stays inside).
std::size_t quotedEnd(const std::string& Sql, std::size_t I) {
    const char quote = Sql[I];
    std::size_t j = I + 1;
    while (j < Sql.size()) {
        if (Sql[j] == quote) {
            if (j + 1 < Sql.size() && Sql[j + 1] == quote) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return Sql.size();
}

bool isOneOf(const Token& T, std::initializer_list<const char*> Words) {
    return std::any_of(Words.begin(), Words.end(), [&](const char* w) { return T.is(w); });
}

// Words that end a from clause.
bool endsFrom(const Token& T) {
    return isOneOf(
        T, {"where", "group", "order", "having", "for", "compute", "plan", "at", "union", "with"});
}

// Words that begin a join, or belong to one, in a from clause.
bool joinWord(const Token& T) {
    return isOneOf(T, {"join", "inner", "left", "right", "full", "outer", "cross"});
}

// Words that never name an alias.
bool reservedWord(const Token& T) {
    return joinWord(T) || endsFrom(T) ||
           isOneOf(T, {"on",    "as",     "holdlock", "noholdlock", "readpast", "shared",
                       "index", "end",    "null",     "and",        "or",       "not",
                       "else",  "then",   "when",     "is",         "like",     "between",
                       "in",    "exists", "distinct", "from",       "select",   "case"});
}

// A word that names something (a column, table or alias), not a number or a variable.
bool identifier(const Token& T) {
    if (T.kind != Token::Kind::Word || T.text.empty())
        return false;
    const auto first = static_cast<unsigned char>(T.text[0]);
    return (std::isalpha(first) || first == '_' || first == '#' || first >= 0x80) &&
           T.text.back() != '.' && !reservedWord(T);
}

// The name a quoted alias stands for: without its quotes, doubled quotes single.
std::string unquoted(const Token& T) {
    if (T.kind != Token::Kind::Quoted || T.text.size() < 2)
        return T.text;
    const char quote = T.text[0];
    std::string out;
    for (std::size_t i = 1; i + 1 < T.text.size(); ++i) {
        out += T.text[i];
        if (T.text[i] == quote)
            ++i;
    }
    return out;
}

// Splits Range at commas outside parentheses.
std::vector<Tokens> splitTopLevel(Tokens::const_iterator From, Tokens::const_iterator To) {
    std::vector<Tokens> parts(1);
    int depth = 0;
    for (auto it = From; it != To; ++it) {
        if (it->isPunct('('))
            ++depth;
        else if (it->isPunct(')'))
            --depth;
        if (depth == 0 && it->isPunct(',')) {
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(*it);
    }
    return parts;
}

SelectItem readItem(Tokens T) {
    SelectItem item;
    if (T.size() == 1 && T[0].isPunct('*')) {
        item.kind = SelectItem::Kind::Star;
        return item;
    }
    if (T.size() == 2 && T[0].kind == Token::Kind::Word && T[0].text.size() > 1 &&
        T[0].text.back() == '.' && T[1].isPunct('*')) {
        item.kind = SelectItem::Kind::Star;
        item.qualifier = lastPart(T[0].text.substr(0, T[0].text.size() - 1));
        return item;
    }
    // "label = expression", "expression as label", "expression label".
    const std::size_t n = T.size();
    if (n >= 3 && T[1].isPunct('=') && T[2].kind != Token::Kind::Punct &&
        (identifier(T[0]) || T[0].kind == Token::Kind::Quoted)) {
        item.label = unquoted(T[0]);
        T.erase(T.begin(), T.begin() + 2);
    } else if (n >= 3 && T[n - 2].is("as") &&
               (identifier(T[n - 1]) || T[n - 1].kind == Token::Kind::Quoted)) {
        item.label = unquoted(T[n - 1]);
        T.resize(n - 2);
    } else if (n >= 2 && identifier(T[n - 1]) &&
               (T[n - 2].kind != Token::Kind::Punct || T[n - 2].isPunct(')'))) {
        item.label = T[n - 1].text;
        T.resize(n - 1);
    }
    if (T.size() == 1 && identifier(T[0])) {
        const std::string& name = T[0].text;
        const std::size_t dot = name.rfind('.');
        item.kind = SelectItem::Kind::Column;
        item.column = dot == std::string::npos ? name : name.substr(dot + 1);
        if (dot != std::string::npos)
            item.qualifier = lastPart(name.substr(0, dot));
        if (item.label.empty())
            item.label = item.column;
    }
    return item;
}

// The tables of a from clause: comma lists and joins, each table with its alias; hints,
// join conditions and derived tables' insides are skipped.
std::vector<TableRef> readTables(Tokens::const_iterator It, Tokens::const_iterator End) {
    std::vector<TableRef> tables;
    auto skipParens = [&](Tokens::const_iterator At) {
        int depth = 0;
        do {
            if (At->isPunct('('))
                ++depth;
            else if (At->isPunct(')'))
                --depth;
            ++At;
        } while (At != End && depth > 0);
        return At;
    };
    while (It != End) {
        while (It != End && joinWord(*It))
            ++It;
        if (It == End)
            break;
        TableRef table;
        if (It->isPunct('('))
            It = skipParens(It);
        else
            table.name = (It++)->text;
        if (It != End && It->is("as"))
            ++It;
        if (It != End && identifier(*It))
            table.alias = (It++)->text;
        tables.push_back(std::move(table));
        // Hints and a join's condition, up to the next table.
        while (It != End && !It->isPunct(',') && !joinWord(*It))
            It = It->isPunct('(') ? skipParens(It) : It + 1;
        if (It != End && It->isPunct(','))
            ++It;
    }
    return tables;
}

} // namespace

std::string lowered(std::string Text) {
    for (char& c : Text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Text;
}

std::vector<std::string> splitNames(const std::string& List) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= List.size()) {
        std::size_t end = List.find(';', start);
        if (end == std::string::npos)
            end = List.size();
        std::string name = List.substr(start, end - start);
        const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
        while (!name.empty() && blank(static_cast<unsigned char>(name.back())))
            name.pop_back();
        const auto lead = std::find_if_not(name.begin(), name.end(), blank);
        name.erase(name.begin(), lead);
        if (!name.empty())
            names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

std::string lastPart(const std::string& Name) {
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos ? Name : Name.substr(dot + 1);
}

std::string TableRef::reference() const {
    return alias.empty() ? lastPart(name) : alias;
}

std::vector<Token> tokenize(const std::string& Sql) {
    std::vector<Token> out;
    std::size_t i = 0;
    const std::size_t n = Sql.size();
    std::size_t wordEnd = std::string::npos; // where the last word token ended
    // A word that continues the word just before it ("a.[Name]", "[t].id") joins it.
    auto pushWord = [&](const std::string& Word, std::size_t End) {
        if (wordEnd == i && !out.empty() && out.back().kind == Token::Kind::Word &&
            (out.back().text.back() == '.' || Word.front() == '.')) {
            out.back().text += Word;
            out.back().lower = lowered(out.back().text);
        } else {
            out.push_back({Token::Kind::Word, Word, lowered(Word)});
        }
        wordEnd = End;
    };
    while (i < n) {
        const auto c = static_cast<unsigned char>(Sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '\'' || c == '"') {
            const std::size_t end = quotedEnd(Sql, i);
            out.push_back({Token::Kind::Quoted, Sql.substr(i, end - i), Sql.substr(i, end - i)});
            i = end;
        } else if (c == '-' && i + 1 < n && Sql[i + 1] == '-') {
            while (i < n && Sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && Sql[i + 1] == '*') {
            const std::size_t end = Sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '[') {
            const std::size_t end = Sql.find(']', i + 1);
            const std::string inner =
                Sql.substr(i + 1, (end == std::string::npos ? n : end) - i - 1);
            const std::size_t next = end == std::string::npos ? n : end + 1;
            if (!inner.empty())
                pushWord(inner, next);
            i = next;
        } else if (wordChar(c)) {
            std::size_t j = i;
            while (j < n && wordChar(static_cast<unsigned char>(Sql[j])))
                ++j;
            pushWord(Sql.substr(i, j - i), j);
            i = j;
        } else {
            out.push_back({Token::Kind::Punct, std::string(1, static_cast<char>(c)),
                           std::string(1, static_cast<char>(c))});
            ++i;
        }
    }
    return out;
}

std::optional<SelectShape> readSelect(const std::string& Sql) {
    const Tokens tokens = tokenize(Sql);
    if (tokens.empty() || !tokens.front().is("select"))
        return std::nullopt;
    // One statement: no second statement, union or select into at the top level.
    auto from = tokens.end();
    int depth = 0;
    for (auto it = tokens.begin() + 1; it != tokens.end(); ++it) {
        if (it->isPunct('('))
            ++depth;
        else if (it->isPunct(')'))
            --depth;
        if (depth != 0)
            continue;
        if (isOneOf(*it, {"select", "union", "into", "insert", "update", "delete", "exec",
                          "execute", "declare", "if", "while", "begin", "create", "drop"}))
            return std::nullopt;
        if (it->is("from") && from == tokens.end())
            from = it;
    }
    if (from == tokens.end() || depth != 0)
        return std::nullopt;

    auto first = tokens.begin() + 1;
    if (first != from && (first->is("distinct") || first->is("all")))
        ++first;
    if (first != from && first->is("top") && std::next(first) != from)
        first += 2;
    SelectShape shape;
    for (Tokens& part : splitTopLevel(first, from)) {
        if (part.empty())
            return std::nullopt;
        shape.items.push_back(readItem(std::move(part)));
    }
    auto end = std::next(from);
    depth = 0;
    for (; end != tokens.end(); ++end) {
        if (end->isPunct('('))
            ++depth;
        else if (end->isPunct(')'))
            --depth;
        if (depth == 0 && endsFrom(*end))
            break;
    }
    shape.tables = readTables(std::next(from), end);
    if (shape.tables.empty())
        return std::nullopt;
    return shape;
}

} // namespace tovrin::selectlist

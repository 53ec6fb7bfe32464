// Reading a query's own SQL text for what its result columns are: the items of a plain
// select's list (a column, possibly qualified and renamed, a star, or an expression) and
// the tables of its from clause with their aliases. The client library tells nothing of a
// result column's table or real name, so this is what ApplyUpdates knows of where each
// field comes from. Internal to the query; not installed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovrin::selectlist {

/// One token of a SQL text: a word (identifiers, keywords, numbers, variables, dotted
/// names such as "t.col"; a bracketed identifier without its brackets), a quoted literal
/// (Text keeps the quotes) or one punctuation character. Comments are dropped.
struct Token {
    enum class Kind { Word, Quoted, Punct };
    Kind kind = Kind::Punct;
    std::string text;  ///< as written
    std::string lower; ///< lower-cased (words), else the text
    [[nodiscard]] bool is(const char* Word) const { return kind == Kind::Word && lower == Word; }
    [[nodiscard]] bool isPunct(char C) const {
        return kind == Kind::Punct && text.size() == 1 && text[0] == C;
    }
};

/// The tokens of Sql in order.
[[nodiscard]] std::vector<Token> tokenize(const std::string& Sql);

/// One item of a select list.
struct SelectItem {
    enum class Kind {
        Column,     ///< a plain column, "col", "t.col", with or without an alias
        Star,       ///< "*" or "t.*"
        Expression, ///< anything else: a function, an operation, a constant, a subquery
    };
    Kind kind = Kind::Expression;
    std::string qualifier; ///< "t" of "t.col" or "t.*" (the last part before the column)
    std::string column;    ///< the column's own name (Column only)
    std::string label;     ///< the name the result column gets (alias, else the column)
};

/// One table of a from clause.
struct TableRef {
    std::string name;  ///< as written, "db.owner.table" included; empty for a derived table
    std::string alias; ///< empty when none
    /// The name a column qualifier uses for it: the alias, else the table's last part.
    [[nodiscard]] std::string reference() const;
};

/// What a plain select says about its result columns.
struct SelectShape {
    std::vector<SelectItem> items;
    std::vector<TableRef> tables;
};

/// The shape of Sql when it is one plain select ("select [distinct|all] [top n] items from
/// tables ..."), optionally followed by where, group by, order by and the like; nullopt for
/// anything else (several statements, union, select into, a procedure call, no from).
[[nodiscard]] std::optional<SelectShape> readSelect(const std::string& Sql);

/// The last part of a dotted name: "table" of "db.owner.table".
[[nodiscard]] std::string lastPart(const std::string& Name);

/// The names of a semicolon-separated list, trimmed, without empty ones.
[[nodiscard]] std::vector<std::string> splitNames(const std::string& List);

/// Lower-cased copy (ASCII letters only).
[[nodiscard]] std::string lowered(std::string Text);

} // namespace tovrin::selectlist

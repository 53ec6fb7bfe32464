// The shared SQL scanner, without a server: where literals, names, comments and markers
// begin and end in awkward texts, and the tokens the update builder reads.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tovrin5/query/SqlScanner.h"

namespace {

using namespace tovrin::sqltext;
using K = TSqlSpanKind;

// The spans of a text other than code, as (kind, text) pairs.
std::vector<std::pair<K, std::string>> specialSpans(const std::string& sql) {
    std::vector<std::pair<K, std::string>> out;
    std::size_t covered = 0;
    for (const TSqlSpan& span : ScanSql(sql)) {
        EXPECT_EQ(span.Begin, covered) << "spans leave a gap or overlap in: " << sql;
        EXPECT_LT(span.Begin, span.End) << sql;
        covered = span.End;
        if (span.Kind != K::Code) {
            out.emplace_back(span.Kind, sql.substr(span.Begin, span.End - span.Begin));
        }
    }
    EXPECT_EQ(covered, sql.size()) << "spans do not cover: " << sql;
    return out;
}

TEST(SqlScanner, AwkwardTextsSplitAsTheServerReadsThem) {
    struct Case {
        std::string sql;
        std::vector<std::pair<K, std::string>> spans;
    };
    const std::vector<Case> cases = {
        {"select :a", {{K::Marker, ":a"}}},
        {"'it''s :x' :y", {{K::SingleQuoted, "'it''s :x'"}, {K::Marker, ":y"}}},
        {"\"a\"\":b\" :c", {{K::DoubleQuoted, "\"a\"\":b\""}, {K::Marker, ":c"}}},
        // A bracketed name ends at the first bracket; quotes and colons inside are its text.
        {"[odd 'name:x] :y", {{K::Bracketed, "[odd 'name:x]"}, {K::Marker, ":y"}}},
        // A line comment runs to the line feed; a carriage return alone does not end it.
        {"-- a\r:b\n:c", {{K::LineComment, "-- a\r:b"}, {K::Marker, ":c"}}},
        {"5--1\n", {{K::LineComment, "--1"}}},
        // Block comments nest, and a quote inside one opens nothing.
        {"/* /* :a */ ' */ :b", {{K::BlockComment, "/* /* :a */ ' */"}, {K::Marker, ":b"}}},
        {"/*/ :a */", {{K::BlockComment, "/*/ :a */"}}},
        // What is not closed runs to the end.
        {"x = 'open :a", {{K::SingleQuoted, "'open :a"}}},
        {"/* /* */ :a", {{K::BlockComment, "/* /* */ :a"}}},
        {"[open :a", {{K::Bracketed, "[open :a"}}},
        // Comment starters inside literals are text.
        {"'--' :a '/*' :b",
         {{K::SingleQuoted, "'--'"},
          {K::Marker, ":a"},
          {K::SingleQuoted, "'/*'"},
          {K::Marker, ":b"}}},
        // A marker's name may hold brackets; a lone colon or one before a blank stays code.
        {":a[1] : x 1: ::y", {{K::Marker, ":a[1]"}, {K::Marker, ":y"}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(specialSpans(c.sql), c.spans) << c.sql;
    }
}

TEST(SqlScanner, TokensLeaveOutCommentsAndStandInForLiterals) {
    EXPECT_EQ(SqlTokens("SELECT a.b, 'x -- y' FROM [My Tab] -- from other\r from z\n"
                        "where c = :Key /* from /* nested */ w */"),
              (std::vector<std::string>{"select", "a.b", ",", "'", "from", "[my tab]", "where", "c",
                                        "=", ":", "key"}));
}

} // namespace

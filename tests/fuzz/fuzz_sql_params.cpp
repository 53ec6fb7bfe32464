// Fuzz target: parameter markers and literals. For any SQL text and any parameter values
// the scan never faults, the markers and the text between them join back to the text, every
// marker the scan reports is a colon outside quotes and comments (and every such colon
// before a name character is a marker), and in the final text each value stays inside its
// own literal and reads back as the value it was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/host/Strings.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"
#include "sql_tokens.h"

namespace host = tovrin::host;

namespace {

// What the failing check was looking at, printed with it.
std::string g_context;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::fwrite(g_context.data(), 1, g_context.size(), stderr);
        std::fputc(10, stderr);
        std::abort();
    }
}

using tovrin::sqltext::IsNameChar;

// The scan of `text` covers it exactly and agrees with the tokenizer on which colons are
// markers.
void checkScan(const std::string& text) {
    const tovrin::sqltext::TScan scan = tovrin::sqltext::ScanMarkers(text);
    std::string joined;
    std::vector<std::size_t> colons;
    for (const auto& marker : scan.Markers) {
        check(!marker.Name.empty(), "a marker without a name");
        check(IsNameChar(static_cast<unsigned char>(marker.Name[0])),
              "a name starting with a non-name byte");
        joined += marker.PrecedingText;
        colons.push_back(joined.size());
        joined += ':';
        check(marker.NamePos == static_cast<int>(joined.size()) + 1,
              "NamePos is not the name's position");
        joined += marker.Name;
    }
    joined += scan.Tail;
    check(joined == text, "markers and pieces do not join back to the text");

    const std::vector<fuzzsql::Token> tokens = fuzzsql::tokenize(text);
    std::vector<std::size_t> expected;
    for (const fuzzsql::Token& t : tokens) {
        if (t.kind == fuzzsql::Kind::Other && text[t.begin] == ':' && t.begin + 1 < text.size() &&
            IsNameChar(static_cast<unsigned char>(text[t.begin + 1]))) {
            expected.push_back(t.begin);
        }
    }
    check(colons == expected, "markers differ from the colons outside quotes and comments");
}

// Reads a quoted token's content back as the server does: outer quotes dropped, doubled
// quotes made single, a backslash and the line feed right after it dropped.
std::string unquote(const std::string& token) {
    const char quote = token.front();
    std::string out;
    for (std::size_t i = 1; i + 1 < token.size(); ++i) {
        if (token[i] == '\\' && token[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += token[i];
        if (token[i] == quote) {
            ++i;
        }
    }
    return out;
}

std::string fromHex(const std::string& literal) {
    std::string out;
    for (std::size_t i = 2; i + 1 < literal.size(); i += 2) {
        out += static_cast<char>(std::stoi(literal.substr(i, 2), nullptr, 16));
    }
    return out;
}

enum class ValueKind {
    Null,
    Integer,
    Boolean,
    Float,
    String,
    Memo,
    DateTime,
    Blob,
    LargeInt,
    Date,
    Time,
    Count
};

struct Given {
    ValueKind kind = ValueKind::Null;
    std::string text; // string and blob values
};

Given giveValue(host::TParam& param, FuzzedDataProvider& data) {
    Given given;
    given.kind = static_cast<ValueKind>(
        data.ConsumeIntegralInRange<int>(0, static_cast<int>(ValueKind::Count) - 1));
    switch (given.kind) {
    case ValueKind::Null:
        break;
    case ValueKind::Integer:
        param.SetAsInteger(data.ConsumeIntegral<int32_t>());
        break;
    case ValueKind::Boolean:
        param.SetAsBoolean(data.ConsumeBool());
        break;
    case ValueKind::Float:
        param.SetAsFloat(data.ConsumeFloatingPoint<double>());
        break;
    case ValueKind::String:
        given.text = data.ConsumeRandomLengthString(256);
        param.SetAsString(given.text);
        break;
    case ValueKind::Memo:
        given.text = data.ConsumeRandomLengthString(256);
        param.SetAsMemo(given.text);
        break;
    case ValueKind::DateTime:
        // Days from 1 January 100 to 31 December 9999, the range of the host's dates.
        param.SetAsDateTime(data.ConsumeFloatingPointInRange<double>(-657434.0, 2958465.99));
        break;
    case ValueKind::Blob:
        given.text = data.ConsumeRandomLengthString(256);
        param.SetAsBlob(given.text);
        break;
    case ValueKind::LargeInt:
        param.SetAsLargeInt(data.ConsumeIntegral<int64_t>());
        break;
    case ValueKind::Date:
        param.SetAsDate(data.ConsumeFloatingPointInRange<double>(-657434.0, 2958465.0));
        break;
    case ValueKind::Time:
        param.SetAsTime(data.ConsumeFloatingPointInRange<double>(0.0, 0.99999));
        break;
    case ValueKind::Count:
        break;
    }
    return given;
}

// Every byte of the literal at [begin, end) belongs to tokens of its own: a quoted literal
// is exactly one closed token; any other literal (a number, NULL, a hexadecimal string, a
// conversion call) starts and ends a token or a word of the text beside it, and holds no
// comment, and a quoted string only when it closes inside it.
void checkLiteral(const std::string& text, const std::vector<fuzzsql::Token>& tokens,
                  std::size_t begin, std::size_t end, const Given& given) {
    if (begin == end) {
        return;
    }
    const char first = text[begin];
    g_context = "literal [" + std::to_string(begin) + ", " + std::to_string(end) + ") of:\n" + text;
    if (first == '\'' || first == '"') {
        const fuzzsql::Token& t = tokens[fuzzsql::tokenAt(tokens, begin)];
        check(t.begin == begin && t.end == end && t.closed, "a quoted value escapes its literal");
        if (given.kind == ValueKind::String || given.kind == ValueKind::Memo) {
            check(unquote(text.substr(begin, end - begin)) == given.text,
                  "a string value reads back changed");
        }
        return;
    }
    // A value may join the letters or digits of the text beside it into one word ("tab_"
    // and 7 give tab_7), never into a comment or a quoted string.
    const fuzzsql::Token& head = tokens[fuzzsql::tokenAt(tokens, begin)];
    check(head.begin == begin || (head.kind == fuzzsql::Kind::Word &&
                                  fuzzsql::isWordByte(static_cast<unsigned char>(text[begin]))),
          "a literal joins the text before it");
    const fuzzsql::Token& last = tokens[fuzzsql::tokenAt(tokens, end - 1)];
    check(last.end == end || (last.kind == fuzzsql::Kind::Word &&
                              fuzzsql::isWordByte(static_cast<unsigned char>(text[end - 1]))),
          "a literal joins the text after it");
    for (std::size_t i = fuzzsql::tokenAt(tokens, begin);
         i < tokens.size() && tokens[i].begin < end; ++i) {
        const fuzzsql::Token& t = tokens[i];
        const bool quotedInside =
            (t.kind == fuzzsql::Kind::SingleQuoted || t.kind == fuzzsql::Kind::DoubleQuoted) &&
            t.closed && t.begin >= begin && t.end <= end;
        check(t.kind == fuzzsql::Kind::Word || t.kind == fuzzsql::Kind::Other ||
                  t.kind == fuzzsql::Kind::Blank || quotedInside,
              "an unquoted literal joins a quote or comment");
    }
    if (given.kind == ValueKind::Blob) {
        check(fromHex(text.substr(begin, end - begin)) == given.text,
              "a binary value reads back changed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string sql = data.ConsumeRandomLengthString(4096);
    checkScan(sql);

    tovrin::TSybQuery query(nullptr);
    query.SQL()->SetText(sql);
    const std::string text = query.SQL()->Text();
    checkScan(text);

    // The query's own mappings agree with its parameters (one per name) and join back to
    // its text.
    host::TParams* params = query.Params();
    const auto& mappings = query.ParamMappings();
    std::string joined;
    for (const auto& mapping : mappings) {
        check(params->FindParam(mapping->Name()) == mapping->Param(),
              "a marker is not paired with the parameter of its name");
        joined += mapping->PrecedingText() + ":" + mapping->Name();
    }
    check(joined + query.SQLTail() == text, "the query's mappings do not join back to its text");
    for (int i = 0; i < params->Count(); ++i) {
        check(params->FindParam(params->Items(i)->Name()) == params->Items(i),
              "two parameters of one name");
    }

    std::vector<Given> given;
    for (int i = 0; i < params->Count(); ++i) {
        given.push_back(giveValue(*params->Items(i), data));
    }
    const auto givenFor = [&](const host::TParam* param) -> const Given& {
        for (int i = 0; i < params->Count(); ++i) {
            if (params->Items(i) == param) {
                return given[static_cast<std::size_t>(i)];
            }
        }
        check(false, "a marker without a parameter");
        return given.front();
    };
    std::string expected;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::vector<const Given*> spanValues;
    std::vector<bool> afterValues;
    // Blanks go only between a literal and its neighbours, never into the pieces of the text.
    std::size_t pieces = 0;
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const auto& mapping = mappings[i];
        tovrin::sqltext::AppendSqlPiece(expected, mapping->PrecedingText());
        pieces += mapping->PrecedingText().size();
        const std::string literal = tovrin::sqltext::ParamStrValue(*mapping->Param());
        const bool afterValue = i > 0 && mapping->PrecedingText().empty();
        tovrin::sqltext::AppendSqlPiece(expected, literal, afterValue);
        afterValues.push_back(afterValue);
        spans.emplace_back(expected.size() - literal.size(), expected.size());
        spanValues.push_back(&givenFor(mapping->Param()));
        pieces += literal.size();
    }
    tovrin::sqltext::AppendSqlPiece(expected, query.SQLTail());
    pieces += query.SQLTail().size();
    check(expected.size() - pieces <= 2 * mappings.size(),
          "more blanks than one on each side of a literal");
    const std::string final = query.GetSQLText();
    check(final == expected, "SQLText differs from the pieces and literals");

    const std::vector<fuzzsql::Token> tokens = fuzzsql::tokenize(final);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        checkLiteral(final, tokens, spans[i].first, spans[i].second, *spanValues[i]);
    }

    host::TParams scratch(nullptr);
    tovrin::sqltext::ParseParams(scratch, sql);
    return 0;
}

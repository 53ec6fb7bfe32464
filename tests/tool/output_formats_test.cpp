// The three output formats, read back: CSV as RFC 4180 with the values that need
// quoting, JSON lines with escapes and invalid UTF-8, and the aligned table.
#include <gtest/gtest.h>

#include <sstream>

#include "ResultWriter.h"
#include "tool/readers.h"

using namespace tovrin::sqltool;
using tooltest::parseCsv;
using tooltest::parseJsonLines;

namespace {

const std::vector<ColumnInfo> kColumns{{"id", true}, {"name", false}, {"price", true}};

/// Values that every format must carry through unchanged.
std::vector<std::vector<Cell>> awkwardRows() {
    return {
        {Cell::number("1"), Cell::textValue("plain"), Cell::number("2.5")},
        {Cell::number("2"), Cell::textValue("comma, inside"), Cell::null()},
        {Cell::number("3"), Cell::textValue("say \"hi\""), Cell::number("-0.125")},
        {Cell::number("4"), Cell::textValue("two\r\nlines\nand a bare LF"), Cell::number("1E20")},
        {Cell::number("5"), Cell::textValue("NULL"), Cell::number("0")},
        {Cell::number("6"), Cell::textValue(""), Cell::number("7")},
        {Cell::number("7"), Cell::textValue("  padded "), Cell::number("8")},
    };
}

void writeAll(ResultWriter& writer) {
    writer.beginResult(1, kColumns);
    for (const auto& row : awkwardRows())
        writer.writeRow(row);
    writer.endResult(static_cast<std::int64_t>(awkwardRows().size()));
    writer.beginResult(2, {{"only", false}});
    writer.endResult(0);
    writer.writeReturnStatus(-6);
    writer.writeOutputParameters({{"@count", true}, {"@label", false}},
                                 {Cell::number("3"), Cell::null()});
    writer.flush();
}

} // namespace

TEST(CsvOutput, EveryValueReadsBackWithNullDistinctFromText) {
    std::ostringstream out;
    std::ostringstream notes;
    auto writer = makeCsvWriter(out, notes, false);
    writeAll(*writer);

    const auto blocks = parseCsv(out.str());
    ASSERT_EQ(blocks.size(), 2u) << out.str();
    const auto& rows = blocks[0];
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0][0].text, "id");
    EXPECT_EQ(rows[0][2].text, "price");
    const auto expected = awkwardRows();
    for (std::size_t r = 0; r < expected.size(); ++r) {
        for (std::size_t c = 0; c < 3; ++c) {
            const Cell& cell = expected[r][c];
            const auto& field = rows[r + 1][c];
            if (cell.kind == Cell::Kind::Null) {
                EXPECT_TRUE(field.isNull()) << r << "," << c;
            } else {
                EXPECT_FALSE(field.isNull()) << r << "," << c;
                EXPECT_EQ(field.text, cell.text) << r << "," << c;
            }
        }
    }
    // A text "NULL" and an empty text are quoted, numbers never.
    EXPECT_TRUE(rows[5][1].quoted);
    EXPECT_TRUE(rows[6][1].quoted);
    EXPECT_FALSE(rows[1][0].quoted);
    // An empty result is its header alone. The status and the output parameters are no
    // rows: they go with the notes, where a reader of the data never meets them.
    ASSERT_EQ(blocks[1].size(), 1u);
    EXPECT_EQ(blocks[1][0][0].text, "only");
    EXPECT_EQ(out.str().find("-6"), std::string::npos) << out.str();
    EXPECT_NE(notes.str().find("(return status = -6)\n"), std::string::npos) << notes.str();
    EXPECT_NE(notes.str().find("Output parameters: @count = 3, "), std::string::npos)
        << notes.str();
    // Row counts go to the notes, never into the data.
    EXPECT_NE(notes.str().find("(7 rows affected)"), std::string::npos);
    EXPECT_NE(notes.str().find("(0 rows affected)"), std::string::npos);
}

TEST(CsvOutput, QuietLeavesOutRowCountsAndInformation) {
    std::ostringstream out;
    std::ostringstream notes;
    auto writer = makeCsvWriter(out, notes, true);
    writer->beginResult(1, kColumns);
    writer->endResult(0);
    writer->writeMessage({0, 0, "informational"});
    writer->writeMessage({2601, 14, "duplicate key"});
    EXPECT_EQ(notes.str(), "Msg 2601, Level 14, State 0:\nduplicate key\n");
}

TEST(JsonOutput, LinesParseBackWithTypesAndEscapes) {
    std::ostringstream out;
    auto writer = makeJsonWriter(out, false);
    writeAll(*writer);
    writer->writeMessage({0, 0, "tab\there"});

    const auto lines = parseJsonLines(out.str());
    const auto expected = awkwardRows();
    ASSERT_EQ(lines.size(), expected.size() + 5);
    for (std::size_t r = 0; r < expected.size(); ++r) {
        EXPECT_EQ(lines[r]["result"].text, "1");
        const auto& row = lines[r]["row"];
        ASSERT_EQ(row.members.size(), 3u);
        EXPECT_EQ(row.members[0].first, "id");
        EXPECT_EQ(row["id"].kind, tooltest::Json::Kind::Number);
        EXPECT_EQ(row["name"].kind, tooltest::Json::Kind::String);
        EXPECT_EQ(row["name"].text, expected[r][1].text);
        if (expected[r][2].kind == Cell::Kind::Null)
            EXPECT_EQ(row["price"].kind, tooltest::Json::Kind::Null);
        else
            EXPECT_EQ(row["price"].text, expected[r][2].text);
    }
    const auto& end = lines[expected.size()];
    EXPECT_EQ(end["rows"].text, "7");
    ASSERT_EQ(end["columns"].items.size(), 3u);
    EXPECT_EQ(end["columns"].items[1].text, "name");
    EXPECT_EQ(lines[expected.size() + 1]["rows"].text, "0");
    EXPECT_EQ(lines[expected.size() + 2]["return_status"].text, "-6");
    const auto& outputs = lines[expected.size() + 3]["output_parameters"];
    EXPECT_EQ(outputs["@count"].text, "3");
    EXPECT_EQ(outputs["@label"].kind, tooltest::Json::Kind::Null);
    EXPECT_EQ(lines[expected.size() + 4]["message"]["text"].text, "tab\there");
}

TEST(JsonOutput, StringsStayValidJson) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString(std::string("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
    EXPECT_EQ(jsonString("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
    // Bytes that are not UTF-8 (a lone continuation, a cut sequence, an overlong form)
    // become U+FFFD instead of breaking the line.
    EXPECT_EQ(jsonString("\x80"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("x\xE2\x82"), "\"x\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(JsonOutput, NumbersThatJsonCannotHoldBecomeStrings) {
    std::ostringstream out;
    auto writer = makeJsonWriter(out, false);
    writer->beginResult(1, {{"a", true}, {"b", true}, {"c", true}, {"d", false}});
    writer->writeRow(
        {Cell::number("NAN"), Cell::number("-INF"), Cell::number("12.50"), Cell::boolean(true)});
    const auto row = parseJsonLines(out.str()).at(0)["row"];
    EXPECT_EQ(row["a"].kind, tooltest::Json::Kind::String);
    EXPECT_EQ(row["b"].text, "-INF");
    EXPECT_EQ(row["c"].kind, tooltest::Json::Kind::Number);
    EXPECT_EQ(row["d"].kind, tooltest::Json::Kind::Boolean);
    EXPECT_TRUE(row["d"].boolean);
}

TEST(TableOutput, ColumnsAlignedNumbersRightNullShown) {
    std::ostringstream out;
    auto writer = makeTableWriter(out, false);
    writer->beginResult(1, {{"id", true}, {"name", false}});
    writer->writeRow({Cell::number("7"), Cell::textValue("caf\xC3\xA9")});
    writer->writeRow({Cell::number("1234"), Cell::null()});
    writer->writeRow({Cell::null(), Cell::textValue("a\nb")});
    writer->endResult(3);
    writer->writeReturnStatus(0);
    writer->writeMessage({0, 0, "printed"});
    writer->writeMessage({2601, 14, "duplicate"});
    EXPECT_EQ(out.str(), "id   | name\n"
                         "-----+-----\n"
                         "   7 | caf\xC3\xA9\n"
                         "1234 | NULL\n"
                         "NULL | a\\nb\n"
                         "(3 rows affected)\n"
                         "\n"
                         "(return status = 0)\n"
                         "\n"
                         "printed\n"
                         "Msg 2601, Level 14, State 0:\n"
                         "duplicate\n");
    EXPECT_EQ(displayWidth("caf\xC3\xA9"), 4u);
}

TEST(TableOutput, OneRowIsSingular) {
    std::ostringstream out;
    auto writer = makeTableWriter(out, false);
    writer->beginResult(1, {{"x", false}});
    writer->writeRow({Cell::textValue("v")});
    writer->endResult(1);
    EXPECT_NE(out.str().find("(1 row affected)"), std::string::npos);
}

TEST(TableOutput, StreamedWidthsComeFromTheDeclaredSizesAndValuesAreNeverCut) {
    std::ostringstream out;
    auto writer = makeTableWriter(out, true, true);
    ColumnInfo id{"id", true, 4};
    ColumnInfo name{"name", false, 6};
    writer->beginResult(1, {id, name});
    writer->writeRow(
        {Cell::number("7"), Cell::textValue("\xE6\x9D\xB1\xE4\xBA\xAC")}); // two wide characters
    writer->writeRow({Cell::number("12345"), Cell::textValue("much too long")});
    writer->writeRow({Cell::null(), Cell::textValue("bell\x07\x1B[2J")});
    writer->endResult(3);
    EXPECT_EQ(out.str(), "id   | name\n"
                         "-----+-------\n"
                         "   7 | \xE6\x9D\xB1\xE4\xBA\xAC\n"
                         "12345 | much too long\n"
                         "NULL | bell\\x07\\x1B[2J\n"
                         "\n");
}

TEST(TableOutput, WidthsCountTerminalColumns) {
    EXPECT_EQ(displayWidth("\xE6\x9D\xB1\xE4\xBA\xAC"), 4u); // East Asian wide
    EXPECT_EQ(displayWidth("e\xCC\x81"), 1u);                // e and a combining accent
    EXPECT_EQ(displayWidth("\xEF\xBC\xA1"
                           "b"),
              3u); // full-width A, then b
    // Emoji shown as pictures take two columns, wherever Unicode placed them; a symbol
    // shown as text takes one.
    EXPECT_EQ(displayWidth("\xF0\x9F\x9A\x80"), 2u); // U+1F680 rocket
    EXPECT_EQ(displayWidth("\xE2\x8C\x9A"), 2u);     // U+231A watch
    EXPECT_EQ(displayWidth("\xF0\x9F\xAB\xA0"), 2u); // U+1FAE0, from Unicode 14
    EXPECT_EQ(displayWidth("\xE2\x98\x83"), 1u);     // U+2603 snowman, text by default
}

TEST(Messages, ServerErrorsReadAsIsqlShowsThem) {
    ServerNote note{207, 16, "Invalid column name 'x'."};
    note.state = 1;
    note.server = "SRV";
    note.procedure = "p";
    note.line = 5;
    EXPECT_EQ(isqlMessage(note),
              "Msg 207, Level 16, State 1:\nServer 'SRV', Procedure 'p', Line 5:\n"
              "Invalid column name 'x'.\n");
    note.procedure.clear();
    note.batch = 3;
    note.inputLine = 12;
    EXPECT_EQ(isqlMessage(note), "Msg 207, Level 16, State 1:\nServer 'SRV', Line 5 (batch 3, "
                                 "which starts at input line 12):\n"
                                 "Invalid column name 'x'.\n");
    EXPECT_EQ(isqlMessage({0, 10, "printed"}), "printed\n");

    std::ostringstream out;
    auto writer = makeJsonWriter(out, false);
    writer->writeMessage(note);
    writer->writeFailure("connection lost");
    const auto lines = parseJsonLines(out.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["error"]["number"].text, "207");
    EXPECT_EQ(lines[0]["error"]["state"].text, "1");
    EXPECT_EQ(lines[0]["error"]["line"].text, "5");
    EXPECT_EQ(lines[0]["error"]["input_line"].text, "12");
    EXPECT_EQ(lines[1]["error"]["text"].text, "connection lost");
}

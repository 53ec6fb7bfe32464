// Results as datasets: field values to output cells, whole datasets to a writer, and the
// --filter expression evaluated on the records in memory.
#include <gtest/gtest.h>

#include "DataSetOutput.h"
#include "InMemoryWork.h"
#include "Options.h"
#include "RowFilter.h"
#include "tovrin5/host/DateTime.h"
#include "host/data_ArrayDataSet.h"

namespace host = tovrin::host;

using namespace tovrin::sqltool;
using testdata::ArrayDataSet;
using testdata::Column;

namespace {

/// Keeps what a writer was given.
class CapturingWriter final : public ResultWriter {
public:
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Cell>> rows;
    std::int64_t count = -1;
    void beginResult(int, const std::vector<ColumnInfo>& c) override { columns = c; }
    void writeRow(const std::vector<Cell>& row) override { rows.push_back(row); }
    void endResult(std::int64_t n, bool) override { count = n; }
    void writeRowsAffected(std::int64_t) override {}
    void writeReturnStatus(int) override {}
    void writeOutputParameters(const std::vector<ColumnInfo>&, const std::vector<Cell>&) override {}
    void writeMessage(const ServerNote&) override {}
    void flush() override {}
};

std::unique_ptr<ArrayDataSet> people() {
    auto ds =
        std::make_unique<ArrayDataSet>(nullptr, std::vector<Column>{{"ID", host::ftInteger, 0},
                                                                    {"NAME", host::ftString, 20},
                                                                    {"PRICE", host::ftFloat, 0},
                                                                    {"BORN", host::ftDateTime, 0},
                                                                    {"OK", host::ftBoolean, 0}});
    ds->SetName("People");
    const double born = host::EncodeDate(1990, 5, 17) + host::EncodeTime(8, 30, 0, 250);
    ds->AddRow({1, "Ada", 10.5, host::VarFromDateTime(born), true});
    ds->AddRow({2, "bob", host::Null(), host::Null(), false});
    ds->AddRow({3, "O'Hara", 99.0, host::VarFromDateTime(host::EncodeDate(2001, 1, 2)), true});
    ds->AddRow({4, host::Null(), -1.25, host::Null(), host::Null()});
    ds->Open();
    return ds;
}

std::vector<std::string> ids(CapturingWriter& w) {
    std::vector<std::string> out;
    for (const auto& row : w.rows)
        out.push_back(row[0].text);
    return out;
}

std::vector<std::string> filtered(const std::string& expression, bool ignoreCase = false) {
    auto ds = people();
    RowFilter filter(expression, ignoreCase);
    filter.apply(*ds);
    CapturingWriter w;
    writeDataSet(*ds, w, 1, RowSelection::All);
    return ids(w);
}

} // namespace

TEST(DataSetOutput, FieldValuesBecomeTypedCells) {
    auto ds = people();
    CapturingWriter w;
    EXPECT_EQ(writeDataSet(*ds, w, 1, RowSelection::All), 4);
    EXPECT_EQ(w.count, 4);
    ASSERT_EQ(w.columns.size(), 5u);
    EXPECT_EQ(w.columns[0].name, "ID");
    EXPECT_TRUE(w.columns[0].numeric);
    EXPECT_FALSE(w.columns[1].numeric);
    const auto& first = w.rows[0];
    EXPECT_EQ(first[0].kind, Cell::Kind::Number);
    EXPECT_EQ(first[1].text, "Ada");
    EXPECT_EQ(first[2].text, "10.5");
    EXPECT_EQ(first[3].text, "1990-05-17 08:30:00.250");
    EXPECT_EQ(first[4].kind, Cell::Kind::Boolean);
    EXPECT_EQ(first[4].text, "1");
    const auto& second = w.rows[1];
    EXPECT_EQ(second[2].kind, Cell::Kind::Null);
    EXPECT_EQ(second[3].kind, Cell::Kind::Null);
    EXPECT_EQ(second[4].text, "0");
    EXPECT_EQ(w.rows[3][1].kind, Cell::Kind::Null);
}

TEST(DataSetOutput, VariantValuesOfOutputParameters) {
    EXPECT_EQ(
        variantCell(host::VarFromBytes(std::string("\x00\xAB\x10", 3)), host::ftVarBytes).text,
        "0x00AB10");
    EXPECT_EQ(variantCell(host::Variant(2.5), host::ftCurrency).text, "2.5");
    EXPECT_EQ(variantCell(host::Variant(2.5), host::ftCurrency).kind, Cell::Kind::Number);
    EXPECT_EQ(variantCell(host::Variant(7), host::ftInteger).text, "7");
    EXPECT_EQ(variantCell(host::Null(), host::ftInteger).kind, Cell::Kind::Null);
    EXPECT_EQ(
        variantCell(host::VarFromDateTime(host::EncodeDate(2026, 12, 7)), host::ftDateTime).text,
        "2026-12-07 00:00:00.000");
    EXPECT_EQ(variantCell(host::Variant("x"), host::ftString).kind, Cell::Kind::Text);
}

TEST(DataSetOutput, CurrentRecordOrNone) {
    auto ds = people();
    ds->First();
    ds->Next();
    CapturingWriter current;
    EXPECT_EQ(writeDataSet(*ds, current, 1, RowSelection::Current), 1);
    EXPECT_EQ(ids(current), std::vector<std::string>{"2"});
    CapturingWriter none;
    EXPECT_EQ(writeDataSet(*ds, none, 1, RowSelection::None), 0);
    EXPECT_EQ(none.columns.size(), 5u);
    EXPECT_TRUE(none.rows.empty());
}

TEST(RowFilter, ComparisonsFollowTheFieldType) {
    EXPECT_EQ(filtered("ID > 1 and ID <= 3"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(filtered("PRICE < 0"), std::vector<std::string>{"4"});
    EXPECT_EQ(filtered("price >= 10.5"),
              (std::vector<std::string>{"1", "3"})); // names without case
    EXPECT_EQ(filtered("BORN < '2000-01-01'"), std::vector<std::string>{"1"});
    EXPECT_EQ(filtered("OK = 1"), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(filtered("NAME = 'O''Hara'"), std::vector<std::string>{"3"});
    EXPECT_EQ(filtered("NAME <> 'Ada'"),
              (std::vector<std::string>{"2", "3"})); // NULL never compares
}

TEST(RowFilter, NullsLikeAndLogic) {
    EXPECT_EQ(filtered("PRICE is null"), std::vector<std::string>{"2"});
    EXPECT_EQ(filtered("name IS NOT NULL and not (ID = 1)"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(filtered("ID = 1 or ID = 4 and PRICE < 0"), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(filtered("NAME like '%a%'"), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(filtered("NAME like '_o_'"), std::vector<std::string>{"2"});
    EXPECT_EQ(filtered("NAME like 'a%'", true), std::vector<std::string>{"1"});
    EXPECT_EQ(filtered("NAME = 'ADA'", true), std::vector<std::string>{"1"});
    EXPECT_EQ(filtered("PRICE = null"), std::vector<std::string>{});
}

TEST(RowFilter, BadExpressionsAndMissingFieldsAreReported) {
    EXPECT_THROW(RowFilter("ID >"), FilterError);
    EXPECT_THROW(RowFilter("ID = 'open"), FilterError);
    EXPECT_THROW(RowFilter("(ID = 1"), FilterError);
    EXPECT_THROW(RowFilter("ID ~ 1"), FilterError);
    EXPECT_THROW(RowFilter("ID = 1 garbage"), FilterError);
    try {
        RowFilter("ID = = 1");
        FAIL();
    } catch (const FilterError& e) {
        EXPECT_NE(std::string(e.what()).find("position 6"), std::string::npos) << e.what();
    }
    auto ds = people();
    RowFilter missing("NOPE = 1");
    EXPECT_FALSE(missing.fitsDataSet(*ds));
    EXPECT_THROW(missing.apply(*ds), FilterError);
    EXPECT_TRUE(RowFilter("[NAME] = 'x' or \"ID\" = 2").fitsDataSet(*ds));
}

TEST(InMemoryWork, LocateFindsByTypedValueAndReportsMisses) {
    auto ds = people();
    InMemoryWork work;
    work.locate = {parseLocateKey("ID=3")};
    auto shape = shapeResult(*ds, work);
    EXPECT_TRUE(shape.locateTried);
    EXPECT_TRUE(shape.located);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "O'Hara");

    work.locate = {parseLocateKey("NAME=ada")};
    work.ignoreCase = true;
    EXPECT_TRUE(shapeResult(*ds, work).located);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);

    work.locate = {parseLocateKey("ID=2"), parseLocateKey("NAME=nobody")};
    EXPECT_FALSE(shapeResult(*ds, work).located);

    work.locate = {parseLocateKey("MISSING=1")};
    EXPECT_FALSE(shapeResult(*ds, work).locateTried);
    EXPECT_THROW((void)parseLocateKey("novalue"), tovrin::sqltool::UsageError);
    work.locate = {parseLocateKey("ID=abc")};
    EXPECT_THROW((void)shapeResult(*ds, work), tovrin::sqltool::UsageError);
}

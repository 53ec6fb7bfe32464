// Filter expressions: what each form of the language selects, the filter options, the
// expression together with OnFilterRecord, and how malformed expressions are reported.
#include <gtest/gtest.h>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/FilterExpression.h"
#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

std::unique_ptr<ArrayDataSet> people() {
    auto ds = std::make_unique<ArrayDataSet>(nullptr, std::vector<Column>{{"ID", ftInteger, 0},
                                                                          {"NAME", ftString, 20},
                                                                          {"PRICE", ftFloat, 0},
                                                                          {"BORN", ftDateTime, 0},
                                                                          {"OK", ftBoolean, 0}});
    const Variant noon = VarFromDateTime(EncodeDate(2001, 1, 2) + EncodeTime(12, 0, 0, 0));
    ds->AddRow({1, "Ada", 10.5, VarFromDateTime(EncodeDate(1990, 5, 17)), true});
    ds->AddRow({2, "bob", Null(), Null(), false});
    ds->AddRow({3, "O'Hara", 99.0, VarFromDateTime(EncodeDate(2001, 1, 2)), true});
    ds->AddRow({4, Null(), -1.25, Null(), Null()});
    ds->AddRow({5, "Adams", 0.0, noon, false});
    ds->Open();
    return ds;
}

std::string ids(TDataSet& ds) {
    std::string out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out += std::to_string(ds.FieldByName("ID")->AsInteger());
    return out;
}

std::string selected(const std::string& expression, TFilterOptions options = {}) {
    auto ds = people();
    ds->SetFilterOptions(options);
    ds->SetFilter(expression);
    ds->SetFiltered(true);
    return ids(*ds);
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return "no error";
}

} // namespace

TEST(FilterExpression, EachFormSelectsTheRecordsItDescribes) {
    const TFilterOptions none;
    const TFilterOptions noCase{foCaseInsensitive};
    const TFilterOptions whole{foNoPartialCompare};
    const struct {
        const char* expression;
        TFilterOptions options;
        const char* ids;
    } cases[] = {
        {"ID >= 2 and ID < 4", none, "23"},
        {"3 <= ID", none, "345"}, // a literal on the left
        {"not (ID = 1 or ID = 2)", none, "345"},
        {"ID = 1 or ID = 4 and PRICE < 0", none, "14"}, // and binds tighter
        {"(ID = 1 or ID = 4) and PRICE < 0", none, "4"},
        {"id <> 3 AND Not (ID > 4)", none, "124"}, // keywords and names in any case
        {"PRICE is null", none, "2"},
        {"NAME is not null and PRICE >= 1e1", none, "13"},
        {"PRICE = null", none, ""},     // nothing equals null
        {"NAME <> 'Ada'", none, "235"}, // a null compares with nothing
        {"NAME = 'Ada  '", none, "1"},  // trailing blanks do not count, as for char(n) values
        {"OK = true", none, "13"},
        {"OK <> false", none, "13"},
        {"OK = 0", none, "25"},
        {"PRICE > '10'", none, "13"}, // a quoted number for a numeric field
        {"-1.25 = PRICE", none, "4"},
        {"PRICE > ID", none, "13"}, // two fields
        {"BORN >= '2001-01-02'", none, "35"},
        {"BORN < '2001-01-02 06:00'", none, "13"},
        {"[NAME] = 'O''Hara' or \"ID\" = 2", none, "23"},
        {"NAME < 'b'", none, "15"}, // texts in collation order
        {"NAME = 'ADA'", none, ""},
        {"NAME = 'ADA'", noCase, "1"},
        {"NAME = 'Ada*'", none, "15"}, // a trailing * matches the beginning
        {"NAME <> 'Ada*'", none, "23"},
        {"NAME = 'ada*'", noCase, "15"},
        {"NAME = 'Ada*'", whole, ""}, // the * is an ordinary character then
        {"NAME like '%a%'", none, "135"},
        {"NAME like '_o_'", none, "2"},
        {"NAME like 'a%'", noCase, "15"},
        // Nulls in three-valued logic: not, and, or of an unknown comparison.
        {"not (PRICE < 16)", none, "3"},
        {"not (NAME = 'Ada')", none, "235"},
        {"not (NAME like 'A%')", none, "23"},
        {"not (PRICE = null)", none, ""},
        {"not (PRICE > 0 or NAME = 'x')", none, "5"},     // unknown or false is unknown
        {"not (PRICE = 99 and OK = true)", none, "1245"}, // unknown and false is false
        {"PRICE > 50 or not (BORN < '2000-01-01')", none, "35"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(selected(c.expression, c.options), c.ids) << c.expression;
}

TEST(FilterExpression, MalformedTextNamesThePosition) {
    const struct {
        const char* expression;
        int position;
    } cases[] = {
        {"ID = = 1", 6},   {"ID >", 5},           {"(ID = 1", 8},     {"ID = 'open", 6},
        {"ID ~ 1", 4},     {"ID = 1 garbage", 8}, {"NAME is nul", 9}, {"ID = 1)", 7},
        {"and ID = 1", 1}, {"NAME like 3", 11},   {"ID = 1 or", 10},
    };
    for (const auto& c : cases) {
        const std::string message = errorOf([&] { TFilterExpression parsed(c.expression); });
        EXPECT_NE(
            message.find("Filter expression error at position " + std::to_string(c.position) + ":"),
            std::string::npos)
            << c.expression << " -> " << message;
    }
    // Texts that would nest the parser or the tree too deeply are refused, not followed.
    std::string ors = "ID = 1";
    std::string nots;
    for (int i = 0; i < 50000; ++i) {
        ors += " or ID = 1";
        nots += "not ";
    }
    for (const std::string& hostile : {std::string(100000, '(') + "ID = 1", nots + "ID = 1", ors})
        EXPECT_NE(errorOf([&] { TFilterExpression parsed(hostile); }).find("too long"),
                  std::string::npos);
    // A rejected expression leaves the former one in force.
    auto ds = people();
    ds->SetFilter("ID > 3");
    ds->SetFiltered(true);
    EXPECT_NE(errorOf([&] { ds->SetFilter("ID >"); }), "no error");
    EXPECT_EQ(ds->Filter(), "ID > 3");
    EXPECT_EQ(ids(*ds), "45");
}

TEST(FilterExpression, UnknownFieldsAndUnfitValuesRaiseAtOnceOnAnOpenDataset) {
    auto ds = people();
    ds->SetFilter("ID > 3");
    struct Case {
        const char* expression;
        const char* error;
    };
    const Case cases[] = {
        {"NOPE = 1", "Field 'NOPE' not found"},
        {"PRICE > 'cheap'", "'cheap' is not a valid value for field 'PRICE'"},
        {"OK = 'maybe'", "position 6"},
    };
    // Checked against the fields when set, filtered or not; the former expression stays.
    for (const bool filtered : {false, true}) {
        ds->SetFiltered(filtered);
        for (const Case& c : cases) {
            EXPECT_NE(errorOf([&] { ds->SetFilter(c.expression); }).find(c.error),
                      std::string::npos)
                << c.expression;
            EXPECT_EQ(ds->Filter(), "ID > 3");
        }
    }
    EXPECT_EQ(ids(*ds), "45");
}

TEST(FilterExpression, CombinesWithTheHandler) {
    auto ds = people();
    ds->SetFilter("ID < 4");
    ds->SetOnFilterRecord(
        [](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->AsInteger() != 2; });
    ds->SetFiltered(true);
    EXPECT_EQ(ids(*ds), "13"); // both must accept
    EXPECT_EQ(ds->RecordCount(), 2);
    ds->SetOnFilterRecord(nullptr);
    ds->SetFiltered(false);
    ds->SetFiltered(true);
    EXPECT_EQ(ids(*ds), "123");
    ds->SetFiltered(false);
    ds->SetFilter("");
    ds->SetFiltered(true);
    EXPECT_EQ(ids(*ds), "12345");
}

// Values substituted into the SQL text never change what the text around them means,
// checked against the server itself.
#include <string>

#include "tovrin5/host/Params.h"
#include "reliability_support.h"

namespace host = tovrin::host;

using namespace reliability;

TEST(Literals, ANegativeValueAfterAMinusStaysANumber) {
    auto connection = makeConnection("REL_LITERALS");
    auto query = makeQuery("REL_LITERALS", "select 5 -:x as v, 1 as after_it");
    query->ParamByName("x")->SetAsInteger(-1);
    // "5 -" followed by the literal "-1" would read "5 --1", a comment hiding the rest.
    EXPECT_EQ(query->GetSQLText(), "select 5 - -1 as v, 1 as after_it\n");
    query->Open();
    EXPECT_EQ(query->FieldByName("v")->AsInteger(), 6);
    EXPECT_EQ(query->FieldByName("after_it")->AsInteger(), 1);
    query->Close();
    query->ParamByName("x")->SetAsFloat(-2.5);
    query->Open();
    EXPECT_EQ(query->FieldByName("v")->AsFloat(), 7.5);
}

TEST(Literals, LiteralsNextToAQuoteOrToEachOtherStayApart) {
    auto connection = makeConnection("REL_LITERALS");
    // A quoted literal touching the same quote would read as one string holding a quote.
    auto query = makeQuery("REL_LITERALS", "select :x'w', 'u':y, :a:b, :c:d, :e'z'");
    query->ParamByName("x")->SetAsString("v");
    query->ParamByName("y")->SetAsString("t");
    query->ParamByName("a")->SetAsString("p");
    query->ParamByName("b")->SetAsString("q");
    // Two numbers side by side would read as one number.
    query->ParamByName("c")->SetAsInteger(1);
    query->ParamByName("d")->SetAsInteger(-2);
    query->ParamByName("e")->SetAsDateTime(host::EncodeDate(2026, 12, 7));
    EXPECT_EQ(query->GetSQLText(),
              "select 'v' 'w', 'u' 't', 'p' 'q', 1-2, '20261207 00:00:00:0' 'z'\n");
    query->ParamByName("d")->SetAsInteger(2);
    query->ParamByName("e")->Clear();
    EXPECT_EQ(query->GetSQLText(), "select 'v' 'w', 'u' 't', 'p' 'q', 1 2, NULL'z'\n");

    // The server reads the second string as the name of the first one's column.
    auto named = makeQuery("REL_LITERALS", "select :x'w'");
    named->ParamByName("x")->SetAsString("v");
    named->Open();
    EXPECT_EQ(named->FieldByName("w")->AsString(), "v");
}

// The dataset's model test (tests/dataset/model_support.h) on a query over rows from the
// development server: the rows of each sequence are stored in a table first, and every
// open and Refresh reads them from the server again. CI runs a fixed number of seeded
// sequences; a longer run:
//   query_tests --gtest_filter='QueryModel.*' --sequences 10000 --seed 1
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/model_support.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "MODEL";

class QueryModel : public querytest::ConnectedSuite<kConnection> {
protected:
    static void SetUpTestSuite() {
        ConnectedSuite::SetUpTestSuite();
        exec(kConnection, "create table #model (K int, N int null, S varchar(8) null)");
    }
    static void TearDownTestSuite() {
        exec(kConnection, "drop table #model");
        ConnectedSuite::TearDownTestSuite();
    }
};

// A text as an SQL literal (the texts have no quotes).
std::string sqlText(const modeltest::Text& s) {
    return s ? "'" + *s + "'" : std::string("null");
}

TEST_F(QueryModel, RandomSequencesAgreeWithTheReference) {
    modeltest::runModel(
        [](const std::vector<modeltest::MRecord>& rows, std::string& setup) {
            std::string sql = "delete #model\n";
            for (const modeltest::MRecord& r : rows) {
                sql += "insert #model values (" + std::to_string(r.k) + ", " +
                       (r.n ? std::to_string(*r.n) : std::string("null")) + ", " + sqlText(r.s) +
                       ")\n";
            }
            exec(kConnection, sql);
            setup = "// on the server, in #model (K int, N int null, S varchar(8) null):\n";
            for (const modeltest::MRecord& r : rows) {
                setup += "//   " + std::to_string(r.k) + ", " + modeltest::valueLiteral(r.n) +
                         ", " + modeltest::textLiteral(r.s) + "\n";
            }
            setup +=
                "auto query = makeQuery(kConnection, \"select K, N, S from #model order by K\");\n"
                "TSybQuery& q = *query;\n";
            return makeQuery(kConnection, "select K, N, S from #model order by K");
        },
        60);
}

} // namespace

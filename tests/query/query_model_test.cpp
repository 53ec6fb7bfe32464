// The dataset's model test (tests/dataset/model_support.h) on a query over rows from the
// development server: the rows of each sequence are stored in a table first, and every
// open and Refresh reads them from the server again. Then the master-detail model test
// (detail_model_support.h): orders and their lines with changes pending in both, applied
// inside and outside an application transaction while another connection changes rows.
// CI runs a fixed number of seeded sequences of each; a longer run:
//   query_tests --gtest_filter='QueryModel.*' --sequences 10000 --seed 1
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/model_support.h"
#include "detail_model_support.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "MODEL";
constexpr char kOther[] = "MODEL_OTHER";

class QueryModel : public querytest::ConnectedSuite<kConnection> {
protected:
    static void SetUpTestSuite() {
        ConnectedSuite::SetUpTestSuite();
        s_other = querytest::makeConnection(kOther).release();
        s_other->Connect();
        exec(kConnection, "create table #model (K int, N int null, S varchar(8) null)\n"
                          "create table qm_orders (id int not null, note int null)\n"
                          "create table qm_lines (order_id int not null, line int not null,\n"
                          "  qty int null)");
    }
    static void TearDownTestSuite() {
        exec(kConnection, "drop table #model\ndrop table qm_lines\ndrop table qm_orders");
        delete s_other;
        s_other = nullptr;
        ConnectedSuite::TearDownTestSuite();
    }
    static inline TSybConnect* s_other = nullptr;
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

TEST_F(QueryModel, MasterDetailSequencesAgreeWithTheServer) {
    detailmodel::runModel({kConnection, kOther, true}, 200, 30);
}

} // namespace

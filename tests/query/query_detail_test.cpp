// Pending changes of a detail (orders as master, order lines as detail, both with cached
// updates) and of a receiver on the development server: they survive every move of the
// master, show again when the master comes back, are all applied by one ApplyUpdates, and
// an operation that would lose them raises instead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Fields.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using namespace tovrin::host;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "DETAIL";
constexpr char kOther[] = "DETAIL_OTHER";

class QueryDetail : public querytest::TwoSessionSuite<kConnection, kOther> {
protected:
    void SetUp() override {
        exec(kConnection, "create table qd_orders (id int not null, customer varchar(20) null)\n"
                          "insert qd_orders values (1, 'Ann')\n"
                          "insert qd_orders values (2, 'Bob')\n"
                          "insert qd_orders values (3, 'Cy')\n"
                          "create table qd_lines (order_id int not null, line int not null,\n"
                          "  qty int null)\n"
                          "insert qd_lines values (1, 1, 10)\n"
                          "insert qd_lines values (1, 2, 11)\n"
                          "insert qd_lines values (2, 1, 20)\n"
                          "insert qd_lines values (3, 1, 30)");
        master = makeQuery(kConnection, "select id, customer from qd_orders order by id");
        master->SetKeyFields("id");
        source = std::make_unique<TDataSource>(nullptr);
        source->SetDataSet(master.get());
        detail = makeQuery(kConnection, "select order_id, line, qty from qd_lines\n"
                                        "where order_id = :id order by line");
        detail->SetName("Lines");
        detail->SetKeyFields("order_id;line");
        detail->SetUpdateMode(upWhereKeyOnly);
        detail->SetAfterOpen([this](TDataSet*) { ++runs; });
        detail->SetDataSource(source.get());
        master->Open();
        detail->Open();
        runs = 0;
    }
    void TearDown() override {
        detail.reset();
        source.reset();
        master.reset();
        exec(kConnection, "drop table qd_lines\ndrop table qd_orders");
    }

    // The lines on the server, read on the other connection: "order/line=qty".
    static std::vector<std::string> serverLines() {
        auto q =
            makeQuery(kOther, "select order_id, line, qty from qd_lines order by order_id, line");
        q->Open();
        std::vector<std::string> rows;
        for (; !q->Eof(); q->Next())
            rows.push_back(q->Fields()[0]->AsString() + "/" + q->Fields()[1]->AsString() + "=" +
                           (q->Fields()[2]->IsNull() ? "null" : q->Fields()[2]->AsString()));
        return rows;
    }
    // The lines the detail shows: "line=qty".
    std::vector<std::string> shownLines() const {
        std::vector<std::string> rows;
        for (detail->First(); !detail->Eof(); detail->Next())
            rows.push_back(detail->FieldByName("line")->AsString() + "=" +
                           detail->FieldByName("qty")->AsString());
        return rows;
    }
    void setQty(int line, int qty) const {
        ASSERT_TRUE(detail->Locate("line", Variant(line), {}));
        detail->Edit();
        detail->FieldByName("qty")->SetAsInteger(qty);
        detail->Post();
    }
    void goToOrder(int id) const { ASSERT_TRUE(master->Locate("id", Variant(id), {})); }

    std::unique_ptr<TSybQuery> master;
    std::unique_ptr<TDataSource> source;
    std::unique_ptr<TSybQuery> detail;
    int runs = 0;
};

using Lines = std::vector<std::string>;

TEST_F(QueryDetail, ChangesSurviveMasterMovesAndAreAllApplied) {
    setQty(2, 111); // order 1
    master->Next(); // order 2
    EXPECT_EQ(shownLines(), (Lines{"1=20"}));
    EXPECT_TRUE(detail->UpdatesPending());
    EXPECT_EQ(detail->PendingChangeCount(), 1);
    // A new line and an edit for order 2, a deleted line for order 3.
    detail->Append();
    detail->FieldByName("order_id")->SetAsInteger(2);
    detail->FieldByName("line")->SetAsInteger(2);
    detail->FieldByName("qty")->SetAsInteger(22);
    detail->Post();
    setQty(1, 200);
    master->Next();
    detail->Delete();
    EXPECT_EQ(detail->PendingChangeCount(), 4);

    // Back on each order the detail shows its changes.
    goToOrder(1);
    EXPECT_EQ(shownLines(), (Lines{"1=10", "2=111"}));
    EXPECT_EQ(detail->UpdateStatus(), usModified); // on line 2, the last one walked
    goToOrder(2);
    EXPECT_EQ(shownLines(), (Lines{"1=200", "2=22"}));
    goToOrder(3);
    EXPECT_TRUE(detail->IsEmpty());
    EXPECT_EQ(serverLines(), (Lines{"1/1=10", "1/2=11", "2/1=20", "3/1=30"}));

    detail->ApplyUpdates();
    EXPECT_FALSE(detail->UpdatesPending());
    EXPECT_EQ(detail->PendingChangeCount(), 0);
    EXPECT_EQ(serverLines(), (Lines{"1/1=10", "1/2=111", "2/1=200", "2/2=22"}));
    // Nothing is left parked: the other orders read their rows from the server again.
    runs = 0;
    goToOrder(2);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(shownLines(), (Lines{"1=200", "2=22"}));
    EXPECT_EQ(detail->UpdateStatus(), usUnmodified);
}

TEST_F(QueryDetail, AFailedApplyKeepsEveryChangeParkedOrShown) {
    setQty(1, 101);
    master->Next();
    setQty(1, 201);
    // Another connection changes order 1's line, whose change is parked: the apply fails
    // as a whole.
    exec(kOther, "delete qd_lines where order_id = 1 and line = 1");
    EXPECT_THROW(detail->ApplyUpdates(), ESybUpdateError);
    EXPECT_EQ(detail->PendingChangeCount(), 2);
    EXPECT_EQ(serverLines(), (Lines{"1/2=11", "2/1=20", "3/1=30"}));
    EXPECT_EQ(shownLines(), (Lines{"1=201"}));
    goToOrder(1);
    EXPECT_EQ(shownLines(), (Lines{"1=101", "2=11"}));
    // Cancelling drops the parked changes too.
    detail->CancelUpdates();
    EXPECT_FALSE(detail->UpdatesPending());
    goToOrder(2);
    EXPECT_EQ(shownLines(), (Lines{"1=20"}));
}

TEST_F(QueryDetail, MasterPostRefreshAndApplyLeaveTheDetailAlone) {
    setQty(1, 99);
    // An edit of the master that leaves the link value as it was re-runs nothing.
    master->Edit();
    master->FieldByName("customer")->SetAsString("Anne");
    master->Post();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(detail->PendingChangeCount(), 1);
    master->ApplyUpdates();
    EXPECT_EQ(runs, 0);
    master->Refresh();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(shownLines(), (Lines{"1=99", "2=11"}));
    detail->ApplyUpdates();
    EXPECT_EQ(serverLines(), (Lines{"1/1=99", "1/2=11", "2/1=20", "3/1=30"}));

    // A master edit that changes the link value re-runs the detail; the changes made for
    // the former value come back with it.
    setQty(2, 12);
    master->Edit();
    master->FieldByName("id")->SetAsInteger(3);
    master->Post();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(shownLines(), (Lines{"1=30"}));
    master->RevertRecord();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(shownLines(), (Lines{"1=99", "2=12"}));
    EXPECT_EQ(detail->PendingChangeCount(), 1);
}

TEST_F(QueryDetail, ClosingOrRefreshingWithChangesRaises) {
    setQty(1, 5);
    master->Next();
    EXPECT_NE(errorOf([&] { detail->Close(); }).find("apply or cancel them first"),
              std::string::npos);
    EXPECT_TRUE(detail->Active());
    EXPECT_NE(errorOf([&] { detail->Refresh(); }).find("apply or cancel them first"),
              std::string::npos);
    TStringList other;
    other.SetText("select order_id, line, qty from qd_lines");
    EXPECT_NE(errorOf([&] { detail->SetSQL(&other); }).find("apply or cancel them first"),
              std::string::npos);
    EXPECT_EQ(detail->PendingChangeCount(), 1);
    detail->ApplyUpdates();
    detail->Close();
    EXPECT_FALSE(detail->Active());
    EXPECT_EQ(serverLines(), (Lines{"1/1=5", "1/2=11", "2/1=20", "3/1=30"}));
}

TEST_F(QueryDetail, ParkedTextValuesComeBackAndAreApplied) {
    exec(kConnection, "create table qd_texts (order_id int not null, line int not null,\n"
                      "  memo text null)\n"
                      "insert qd_texts values (1, 1, 'one')\n"
                      "insert qd_texts values (2, 1, 'two')");
    auto texts = makeQuery(kConnection, "select order_id, line, memo from qd_texts\n"
                                        "where order_id = :id");
    texts->SetKeyFields("order_id;line");
    texts->SetUpdateMode(upWhereKeyOnly);
    texts->SetDataSource(source.get());
    master->First();
    texts->Open();
    const std::string longText(5000, 'x');
    texts->Edit();
    texts->FieldByName("memo")->SetAsString(longText);
    texts->Post();
    master->Next();
    texts->Edit();
    texts->FieldByName("memo")->SetAsString("second");
    texts->Post();
    master->First();
    EXPECT_EQ(texts->FieldByName("memo")->AsString(), longText);
    master->Next();
    EXPECT_EQ(texts->FieldByName("memo")->AsString(), "second");
    texts->ApplyUpdates();
    auto read = makeQuery(kOther, "set textsize 100000\n"
                                  "select memo from qd_texts order by order_id");
    read->Open();
    EXPECT_EQ(read->FieldByName("memo")->AsString(), longText);
    read->Next();
    EXPECT_EQ(read->FieldByName("memo")->AsString(), "second");
    // Parked text values are released with their rows when cancelled.
    texts->Edit();
    texts->FieldByName("memo")->SetAsString("dropped");
    texts->Post();
    master->First();
    texts->CancelUpdates();
    EXPECT_FALSE(texts->UpdatesPending());
    texts.reset();
    exec(kConnection, "drop table qd_texts");
}

TEST_F(QueryDetail, AReceiverKeepsItsChangesWhenItsMasterRunsAgain) {
    auto batch = makeQuery(kConnection, "select id, customer from qd_orders order by id\n"
                                        "select order_id, line, qty from qd_lines order by "
                                        "order_id, line");
    auto lines = makeQuery(kConnection, "");
    lines->SetName("Receiver");
    lines->SetMaster(batch.get());
    lines->SetResultSet(1);
    lines->SetUpdateTableName("qd_lines");
    lines->SetKeyFields("order_id;line");
    lines->SetUpdateMode(upWhereKeyOnly);
    batch->Open();
    ASSERT_TRUE(lines->Active());
    ASSERT_TRUE(lines->Locate("order_id;line", VarArrayOf({3, 1}), {}));
    lines->Edit();
    lines->FieldByName("qty")->SetAsInteger(33);
    lines->Post();

    batch->Refresh();
    EXPECT_TRUE(lines->UpdatesPending());
    ASSERT_TRUE(lines->Locate("order_id;line", VarArrayOf({3, 1}), {}));
    EXPECT_EQ(lines->FieldByName("qty")->AsInteger(), 33);
    batch->Close();
    EXPECT_FALSE(lines->Active());
    EXPECT_TRUE(lines->UpdatesPending());
    batch->Open();
    ASSERT_TRUE(lines->Locate("order_id;line", VarArrayOf({3, 1}), {}));
    EXPECT_EQ(lines->FieldByName("qty")->AsInteger(), 33);
    EXPECT_NE(errorOf([&] { lines->Close(); }).find("apply or cancel them first"),
              std::string::npos);
    lines->ApplyUpdates();
    EXPECT_EQ(serverLines(), (Lines{"1/1=10", "1/2=11", "2/1=20", "3/1=33"}));
}

TEST_F(QueryDetail, AReceiverOfGroupedRowsTakesBackEachRowOnce) {
    // compute ... by: the lines come as one row result per order; parked, they come back
    // whole, and the later groups of the new batch are not added to them.
    auto batch = makeQuery(kConnection, "select id from qd_orders order by id\n"
                                        "select order_id, line, qty from qd_lines order by "
                                        "order_id compute count(line) by order_id");
    auto lines = makeQuery(kConnection, "");
    lines->SetMaster(batch.get());
    lines->SetResultSet(1);
    lines->SetUpdateTableName("qd_lines");
    batch->Open();
    ASSERT_EQ(lines->RecordCount(), 4);
    lines->Edit();
    lines->FieldByName("qty")->SetAsInteger(7);
    lines->Post();
    batch->Refresh();
    EXPECT_EQ(lines->RecordCount(), 4);
    EXPECT_EQ(lines->PendingChangeCount(), 1);
    lines->CancelUpdates();
    batch->Refresh();
    EXPECT_EQ(lines->RecordCount(), 4);
}

} // namespace

// The connection's transactions against the development server: InTransaction follows the
// server's @@trancount whoever began the transaction, Commit refuses to report a
// transaction the server no longer has as saved, and ApplyUpdates inside an application's
// transaction (an order header and its lines saved together) undoes only its own
// statements when it fails, leaving the transaction and the header as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/Fields.h"
#include "query_support.h"

namespace {

using namespace tovrin;
using namespace tovrin::host;
using querytest::errorOf;
using querytest::exec;
using querytest::makeQuery;

constexpr char kConnection[] = "TRANSACT";
constexpr char kOther[] = "TRANSACT_OTHER";

class QueryTransactions : public querytest::TwoSessionSuite<kConnection, kOther> {
protected:
    void SetUp() override {
        exec(kConnection, "create table tx_orders (id int not null, customer varchar(20) null)\n"
                          "create table tx_lines (order_id int not null, line int not null,\n"
                          "  item varchar(20) null, qty int null)\n"
                          "insert tx_orders values (1, 'Ann')\n"
                          "insert tx_lines values (1, 1, 'bolt', 10)\n"
                          "insert tx_lines values (1, 2, 'nut', 20)");
    }
    void TearDown() override {
        s_connection->Rollback();
        exec(kConnection, "drop table tx_lines\ndrop table tx_orders");
    }

    // Rows of a table as "a|b|..." lines, read on Connection.
    static std::vector<std::string> rows(const char* Connection, const std::string& Sql) {
        auto q = makeQuery(Connection, Sql);
        q->Open();
        std::vector<std::string> out;
        for (; !q->Eof(); q->Next()) {
            std::string row;
            for (int i = 0; i < q->FieldCount(); ++i)
                row += (i ? "|" : "") + (q->Fields()[i]->IsNull() ? std::string("<null>")
                                                                  : q->Fields()[i]->AsString());
            out.push_back(row);
        }
        return out;
    }
    static std::vector<std::string> lines(const char* Connection) {
        return rows(Connection, "select order_id, line, item, qty from tx_lines "
                                "order by order_id, line");
    }
};

TEST_F(QueryTransactions, TheConnectionFollowsTheServersTransactionCount) {
    EXPECT_FALSE(s_connection->InTransaction());
    s_connection->StartTransaction();
    EXPECT_TRUE(s_connection->InTransaction());
    // A transaction the application begins with its own SQL counts as much.
    exec(kConnection, "begin tran");
    EXPECT_EQ(s_connection->TransactionCount(), 2);
    exec(kConnection, "insert tx_orders values (2, 'Bob')");
    s_connection->Commit();
    EXPECT_EQ(s_connection->TransactionCount(), 1);
    s_connection->Rollback();
    EXPECT_FALSE(s_connection->InTransaction());
    EXPECT_EQ(rows(kConnection, "select id from tx_orders"), std::vector<std::string>{"1"});

    // Rollback without a transaction is harmless; Commit without one is an error, never a
    // success that stored nothing.
    s_connection->Rollback();
    EXPECT_NE(errorOf([] { s_connection->Commit(); }).find("no transaction is open"),
              std::string::npos);
    s_connection->StartTransaction();
    exec(kConnection, "insert tx_orders values (3, 'Cid')");
    s_connection->Commit();
    EXPECT_EQ(rows(kOther, "select id from tx_orders order by id"),
              (std::vector<std::string>{"1", "3"}));
    TSybConnect closed(nullptr);
    EXPECT_FALSE(closed.InTransaction());
}

TEST_F(QueryTransactions, AFailedApplyInsideTheApplicationsTransactionUndoesOnlyItsOwnWork) {
    auto q = makeQuery(kConnection, "select order_id, line, item, qty from tx_lines "
                                    "where order_id = 1 order by line");
    q->SetKeyFields("order_id;line");
    q->SetUpdateMode(upWhereChanged);
    q->Open();
    q->Edit();
    q->FieldByName("qty")->SetAsInteger(11);
    q->Post();
    q->Next();
    q->Edit();
    q->FieldByName("qty")->SetAsInteger(21);
    q->Post();
    // Another user changes line 2 before the save.
    exec(kOther, "update tx_lines set qty = 25 where line = 2");

    s_connection->StartTransaction();
    exec(kConnection, "insert tx_orders values (2, 'Bob')");
    std::string message;
    try {
        q->ApplyUpdates();
        ADD_FAILURE() << "the apply succeeded over a changed row";
    } catch (const ESybUpdateError& e) {
        message = e.Message();
    }
    EXPECT_NE(message.find("Record changed or deleted by another user"), std::string::npos);
    EXPECT_NE(message.find("rolled back to its savepoint"), std::string::npos) << message;
    EXPECT_NE(message.find("stays open"), std::string::npos) << message;
    // The transaction and the header are still there; line 1's update is undone.
    EXPECT_EQ(s_connection->TransactionCount(), 1);
    EXPECT_EQ(rows(kConnection, "select id from tx_orders order by id"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(lines(kConnection), (std::vector<std::string>{"1|1|bolt|10", "1|2|nut|25"}));
    EXPECT_EQ(q->PendingChanges().size(), 2u);

    // The application gives up the conflicting edit and saves again: applied, still not
    // committed, until the application commits the whole.
    q->RevertRecord();
    q->ApplyUpdates();
    EXPECT_EQ(s_connection->TransactionCount(), 1);
    s_connection->Commit();
    EXPECT_EQ(rows(kOther, "select id, customer from tx_orders order by id"),
              (std::vector<std::string>{"1|Ann", "2|Bob"}));
    EXPECT_EQ(lines(kOther), (std::vector<std::string>{"1|1|bolt|11", "1|2|nut|25"}));
}

TEST_F(QueryTransactions, OutsideATransactionTheApplyKeepsItsOwn) {
    auto q = makeQuery(kConnection, "select order_id, line, item, qty from tx_lines");
    q->SetKeyFields("order_id;line");
    q->Open();
    q->Edit();
    q->FieldByName("item")->SetAsString("screw");
    q->Post();
    q->Append();
    q->FieldByName("order_id")->SetAsInteger(1);
    q->FieldByName("line")->SetAsInteger(2); // a duplicate key: the server refuses it
    q->Post();
    exec(kConnection, "create unique index tx_lines_key on tx_lines (order_id, line)");
    const std::string message = errorOf([&] { q->ApplyUpdates(); });
    EXPECT_NE(message.find("the apply was rolled back"), std::string::npos) << message;
    EXPECT_FALSE(s_connection->InTransaction());
    EXPECT_EQ(lines(kOther), (std::vector<std::string>{"1|1|bolt|10", "1|2|nut|20"}));
}

} // namespace

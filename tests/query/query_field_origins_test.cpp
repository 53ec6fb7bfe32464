// Where each field of a query comes from, as ApplyUpdates writes it: an alias is written
// to its real column, expressions and other tables' columns are never written nor used to
// find a row, a change that cannot be written is refused before anything is sent, and
// ProviderFlags let the application decide. After an apply the records hold what the
// server holds (identities, defaults, rounding) and can be edited again in every mode.
#include <gtest/gtest.h>

#include <memory>
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

constexpr char kConnection[] = "ORIGINS";

class QueryFieldOrigins : public querytest::ConnectedSuite<kConnection> {
protected:
    void SetUp() override {
        exec(kConnection,
             "create table fo_items (id int not null, name varchar(20) null, note varchar(20) "
             "null,\n  type varchar(10) null, price numeric(8,2) null)\n"
             "create table fo_tags (id int not null, label varchar(10) null)\n"
             "insert fo_items values (1, 'Ann', 'first', 'tool', 8.00)\n"
             "insert fo_items values (2, 'Bob', 'second', 'part', 2.50)\n"
             "insert fo_tags values (1, 'red')\n"
             "insert fo_tags values (2, 'blue')");
    }
    void TearDown() override { exec(kConnection, "drop table fo_items\ndrop table fo_tags"); }

    static std::vector<std::string> items() {
        auto q = makeQuery(kConnection, "select id, name, note, type from fo_items order by id");
        q->Open();
        std::vector<std::string> out;
        for (; !q->Eof(); q->Next())
            out.push_back(q->Fields()[0]->AsString() + "|" + q->Fields()[1]->AsString() + "|" +
                          q->Fields()[2]->AsString() + "|" + q->Fields()[3]->AsString());
        return out;
    }
};

// One edit of record 1 and the statement (or the refusal) it makes.
struct EditCase {
    const char* sql;
    const char* updateTable;
    TUpdateMode mode;
    const char* field;
    const char* expected; // the statement, or a part of the error
};

TEST_F(QueryFieldOrigins, EachFieldIsWrittenToTheColumnItComesFromOrRefused) {
    const EditCase cases[] = {
        // An alias is written, and compared, under the column's real name.
        {"select id, name as note from fo_items", "", upWhereKeyOnly, "note",
         "update fo_items set name = 'x' where id = 1"},
        {"select id, name as note from fo_items", "", upWhereAll, "note",
         "update fo_items set name = 'x' where id = 1 and name = 'Ann'"},
        {"select id, label = name from fo_items i where id > 0", "", upWhereAll, "label",
         "update fo_items set name = 'x' where id = 1 and name = 'Ann'"},
        // Expressions beside the edited column, and one named like its column, stay out.
        {"select id, name, upper(name) as big, price * 2 double_price, upper(type) as type "
         "from fo_items",
         "", upWhereAll, "name", "update fo_items set name = 'x' where id = 1 and name = 'Ann'"},
        // A join written to one of its tables: the other table's columns stay out.
        {"select i.id, i.name, t.label from fo_items i join fo_tags t on t.id = i.id", "fo_items",
         upWhereAll, "name", "update fo_items set name = 'x' where id = 1 and name = 'Ann'"},
        {"select i.*, t.label from fo_items i, fo_tags t where t.id = i.id", "fo_items",
         upWhereChanged, "note", "update fo_items set note = 'x' where id = 1 and note = 'first'"},
        // Changes that cannot be written are refused, saying why.
        {"select id, name, upper(type) as type from fo_items", "", upWhereAll, "type",
         "field type of Query1 cannot be written to fo_items: it is an expression"},
        {"select i.id, i.name, t.label from fo_items i, fo_tags t where t.id = i.id", "fo_items",
         upWhereAll, "label", "it is a column of t, not of fo_items"},
        {"select i.id, name, t.label from fo_items i, fo_tags t where t.id = i.id", "fo_items",
         upWhereAll, "name", "qualify it with its table"},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.sql);
        auto q = makeQuery(kConnection, c.sql);
        q->SetUpdateTableName(c.updateTable);
        q->SetUpdateMode(c.mode);
        q->SetKeyFields("id");
        q->Open();
        ASSERT_TRUE(q->Locate("id", Variant(1), {}));
        q->Edit();
        q->FieldByName(c.field)->SetAsString("x");
        q->Post();
        const std::string statement = errorOf(
            [&] { EXPECT_EQ(q->UpdateStatement(q->PendingChanges().front()), c.expected); });
        if (!statement.empty()) {
            EXPECT_NE(statement.find(c.expected), std::string::npos) << statement;
        }
    }
}

TEST_F(QueryFieldOrigins, AnAliasedEditReachesItsColumnAndARefusalSendsNothing) {
    auto q = makeQuery(kConnection, "select id, name as note, upper(type) as type from fo_items");
    q->SetKeyFields("id");
    q->Open();
    q->Edit();
    q->FieldByName("note")->SetAsString("Ada");
    q->Post();
    q->ApplyUpdates();
    EXPECT_EQ(items().front(), "1|Ada|first|tool");

    // Record 2's name is a valid change, the computed type is not: nothing is sent.
    q->Next();
    q->Edit();
    q->FieldByName("note")->SetAsString("Bea");
    q->FieldByName("type")->SetAsString("PART!");
    q->Post();
    try {
        q->ApplyUpdates();
        ADD_FAILURE() << "an expression was written";
    } catch (const ESybUpdateError& e) {
        EXPECT_NE(e.Message().find("cannot be written to fo_items"), std::string::npos);
        EXPECT_EQ(e.UpdateKind(), ukModify);
    }
    EXPECT_EQ(items()[1], "2|Bob|second|part");
    EXPECT_TRUE(q->UpdatesPending());

    // A new record of a select with nothing to write is refused, not counted as saved.
    auto computed = makeQuery(kConnection, "select upper(name) as big from fo_items");
    computed->Open();
    computed->Append();
    computed->Post();
    EXPECT_NE(errorOf([&] { computed->ApplyUpdates(); }).find("no field of Query1 can be written"),
              std::string::npos);
    EXPECT_TRUE(computed->UpdatesPending());
    expectIdle();
}

TEST_F(QueryFieldOrigins, ProviderFlagsComeFromTheSelectListAndTheApplicationMayChangeThem) {
    auto q = makeQuery(kConnection,
                       "select i.id, i.name as who, t.label, i.price * 2 as twice from fo_items i "
                       "join fo_tags t on t.id = i.id order by i.id");
    q->SetKeyFields("id");
    q->Open();
    const TProviderFlags none;
    // No update table yet (a join): nothing is written.
    EXPECT_EQ(q->FieldByName("who")->ProviderFlags(), none);
    EXPECT_EQ(q->FieldByName("id")->ProviderFlags(), TProviderFlags{pfInKey});
    q->SetUpdateTableName("fo_items");
    EXPECT_EQ(q->FieldByName("id")->ProviderFlags(),
              (TProviderFlags{pfInUpdate, pfInWhere, pfInKey}));
    EXPECT_EQ(q->FieldByName("who")->ProviderFlags(), (TProviderFlags{pfInUpdate, pfInWhere}));
    EXPECT_EQ(q->FieldByName("label")->ProviderFlags(), none);
    EXPECT_EQ(q->FieldByName("twice")->ProviderFlags(), none);

    // New rows: only the update table's columns are inserted.
    q->Append();
    q->FieldByName("id")->SetAsInteger(3);
    q->FieldByName("who")->SetAsString("Cid");
    q->Post();
    EXPECT_EQ(q->UpdateStatement(q->PendingChanges().front()),
              "insert into fo_items (id, name) values (3, 'Cid')");
    q->CancelUpdates();

    // The application takes the name out of the where clause and moves the key.
    q->FieldByName("who")->SetProviderFlags({pfInUpdate});
    q->SetKeyFields("who");
    EXPECT_EQ(q->FieldByName("id")->ProviderFlags(), (TProviderFlags{pfInUpdate, pfInWhere}));
    q->First();
    q->Edit();
    q->FieldByName("who")->SetAsString("Ada");
    q->Post();
    EXPECT_EQ(q->UpdateStatement(q->PendingChanges().front()),
              "update fo_items set name = 'Ada' where id = 1 and name = 'Ann'");
    q->SetUpdateMode(upWhereKeyOnly);
    EXPECT_EQ(q->UpdateStatement(q->PendingChanges().front()),
              "update fo_items set name = 'Ada' where name = 'Ann'");
}

// A table whose new rows get their identity and a default from the server, and whose
// exact numerics are rounded by it.
class QueryReadBack : public querytest::ConnectedSuite<kConnection> {
protected:
    void SetUp() override {
        exec(kConnection, "create table rb_orders (id int identity, customer varchar(20) null,\n"
                          "  status varchar(10) default 'new' null, amount numeric(5,2) null)");
    }
    void TearDown() override { exec(kConnection, "drop table rb_orders"); }
    static std::string record(TSybQuery& q) {
        std::string out;
        for (const char* name : {"id", "customer", "status", "amount"}) {
            TField* f = q.FieldByName(name);
            out += (out.empty() ? "" : "|") + (f->IsNull() ? std::string("<null>") : f->AsString());
        }
        return out;
    }
};

// The first value of a one-row select, as text.
std::string firstValue(const std::string& Sql) {
    auto server = makeQuery(kConnection, Sql);
    server->Open();
    return server->Fields()[0]->AsString();
}

// The identity the server gave the last new row.
std::string lastIdentity() {
    return firstValue("select max(id) from rb_orders");
}

// A query keyed by id that finds its rows as Mode says, opened.
std::unique_ptr<TSybQuery> openKeyed(const char* Sql, TUpdateMode Mode) {
    auto q = makeQuery(kConnection, Sql);
    q->SetKeyFields("id");
    q->SetUpdateMode(Mode);
    q->Open();
    return q;
}

TEST_F(QueryReadBack, NewRowsTakeTheirIdentityAndDefaultsAndStayEditableInEveryMode) {
    for (const TUpdateMode mode : {upWhereAll, upWhereChanged, upWhereKeyOnly}) {
        SCOPED_TRACE(mode);
        auto q = openKeyed("select id, customer, status, amount from rb_orders", mode);
        q->Append();
        q->FieldByName("customer")->SetAsString("Ann");
        q->Post();
        q->ApplyUpdates();
        const std::string id = lastIdentity();
        EXPECT_EQ(record(*q), id + "|Ann|new|<null>");
        EXPECT_EQ(q->UpdateStatus(), usUnmodified);
        ASSERT_TRUE(q->Locate("id", Variant(std::stoi(id)), {}));
        q->Edit();
        q->FieldByName("status")->SetAsString("paid");
        q->Post();
        q->ApplyUpdates();
        q->Delete();
        q->ApplyUpdates();
        auto left = makeQuery(kConnection, "select count(*) from rb_orders");
        left->Open();
        EXPECT_EQ(left->Fields()[0]->AsInteger(), 0);
    }
}

TEST_F(QueryReadBack, ExactNumericsShowTheServersRoundingAndStayEditableInEveryMode) {
    for (const TUpdateMode mode : {upWhereAll, upWhereChanged, upWhereKeyOnly}) {
        SCOPED_TRACE(mode);
        auto q = openKeyed("select id, customer, status, amount from rb_orders", mode);
        q->Append();
        q->FieldByName("customer")->SetAsString("Bob");
        q->FieldByName("status")->SetAsString("open");
        q->FieldByName("amount")->SetAsString("1.239");
        q->Post();
        q->ApplyUpdates();
        const std::string id = lastIdentity();
        EXPECT_EQ(record(*q), id + "|Bob|open|1.24");
        // An update reads its row back too.
        q->Edit();
        q->FieldByName("amount")->SetAsString("2.345");
        q->Post();
        q->ApplyUpdates();
        EXPECT_EQ(record(*q), id + "|Bob|open|2.35");
        // The rounded value is what a where clause built from the record finds.
        q->Edit();
        q->FieldByName("status")->SetAsString("paid");
        q->Post();
        q->ApplyUpdates();
        EXPECT_EQ(record(*q), id + "|Bob|paid|2.35");
        EXPECT_FALSE(q->UpdatesPending());
    }
}

TEST_F(QueryReadBack, AnAutomaticSortPlacesARecordByTheValuesReadBack) {
    exec(kConnection, "insert rb_orders (customer) values ('Ann')\n"
                      "insert rb_orders (customer) values ('Bob')");
    auto q = makeQuery(kConnection, "select id, customer, status, amount from rb_orders");
    q->SetKeyFields("id");
    q->Open();
    q->SetSortFieldNames("id");
    q->SetAutoSort(true);
    q->Append(); // no id yet: sorted first
    q->FieldByName("customer")->SetAsString("Cid");
    q->Post();
    q->ApplyUpdates();
    std::vector<std::string> order;
    for (q->First(); !q->Eof(); q->Next())
        order.push_back(q->FieldByName("customer")->AsString());
    EXPECT_EQ(order, (std::vector<std::string>{"Ann", "Bob", "Cid"}));
}

// A table with a timestamp column: the server gives the row a new timestamp at every
// insert and update, so the timestamp as fetched tells whether anyone changed the row.
class QueryTimestamps : public querytest::ConnectedSuite<kConnection> {
protected:
    void SetUp() override {
        exec(kConnection,
             "create table ts_items (id int not null, name varchar(20) null, qty int null,\n"
             "  ts timestamp)\n"
             "insert ts_items (id, name, qty) values (1, 'Ann', 1)\n"
             "insert ts_items (id, name, qty) values (2, 'Bob', 2)");
    }
    void TearDown() override { exec(kConnection, "drop table ts_items"); }
    static std::string serverStamp(int Id) {
        return firstValue("select ts from ts_items where id = " + std::to_string(Id));
    }
};

TEST_F(QueryTimestamps, RowsAreFoundByKeyAndTimestampInEveryModeAndTakeTheNewOne) {
    for (const TUpdateMode mode : {upWhereAll, upWhereChanged, upWhereKeyOnly}) {
        SCOPED_TRACE(mode);
        auto q = openKeyed("select id, name, qty, ts from ts_items order by id", mode);
        EXPECT_EQ(q->FieldByName("ts")->ProviderFlags(), TProviderFlags{pfInWhere});
        q->Edit();
        q->FieldByName("name")->SetAsString("Ada");
        q->Post();
        const std::string statement = q->UpdateStatement(q->PendingChanges().front());
        EXPECT_NE(statement.find("where id = 1"), std::string::npos) << statement;
        EXPECT_NE(statement.find(" and ts = 0x"), std::string::npos) << statement;
        q->ApplyUpdates();
        EXPECT_EQ(q->FieldByName("ts")->AsString(), serverStamp(1));

        // Applied again with the stamp read back; then another user's change to a column
        // this query does not touch is a conflict all the same.
        q->Edit();
        q->FieldByName("name")->SetAsString("Ann");
        q->Post();
        q->ApplyUpdates();
        exec(kConnection, "update ts_items set qty = qty + 1 where id = 1");
        q->Edit();
        q->FieldByName("name")->SetAsString("Amy");
        q->Post();
        EXPECT_NE(errorOf([&] { q->ApplyUpdates(); }).find("Record changed or deleted"),
                  std::string::npos);
        q->CancelUpdates();

        // A new row gets its first stamp; the stamp itself is never written.
        q->Append();
        q->FieldByName("id")->SetAsInteger(3);
        q->Post();
        q->ApplyUpdates();
        EXPECT_FALSE(q->FieldByName("ts")->IsNull());
        EXPECT_EQ(q->FieldByName("ts")->AsString(), serverStamp(3));
        q->Edit();
        q->FieldByName("ts")->SetAsString("x");
        q->Post();
        EXPECT_NE(errorOf([&] { q->ApplyUpdates(); }).find("it is a timestamp"), std::string::npos);
        q->CancelUpdates();
        exec(kConnection, "delete ts_items where id = 3");
    }
}

} // namespace

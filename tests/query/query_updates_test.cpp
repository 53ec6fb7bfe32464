// Pending changes of a query applied to the development server: the values arrive exactly,
// a row changed by another connection since the fetch undoes the whole apply and keeps
// every change pending, rows are found by their NULL columns too, changes can be cancelled
// or reverted, and the update events decide what happens to each record.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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

constexpr char kConnection[] = "UPDATES";
constexpr char kOther[] = "UPDATES_OTHER";
constexpr const char* kSelect = "select id, name, note, amount, ratio from cu_items order by id";

std::string shown(const std::string& text);

class QueryUpdates : public querytest::TwoSessionSuite<kConnection, kOther> {
protected:
    void SetUp() override {
        exec(kConnection,
             "create table cu_items (id int not null, name varchar(100) null, note text null,\n"
             "  amount numeric(12,2) null, ratio float null)\n"
             "insert cu_items values (1, 'Ann', 'first', 10.50, 0.1)\n"
             "insert cu_items values (2, 'Bob', null, null, 0.2)\n"
             "insert cu_items values (3, null, 'third', 30.25, null)\n"
             "insert cu_items values (4, 'Dan', 'fourth', 40.00, 0.4)");
    }
    void TearDown() override { exec(kConnection, "drop table cu_items"); }

    // The table's rows as "id|name|note|amount" lines, read on the other connection (a
    // long note as its length and hash, the amount with two decimals).
    static std::vector<std::string> serverRows() {
        auto q = makeQuery(
            kOther, "set textsize 100000\nselect id, name, note, amount from cu_items order by id");
        q->Open();
        std::vector<std::string> rows;
        for (; !q->Eof(); q->Next()) {
            auto text = [&](int i) {
                return q->Fields()[i]->IsNull() ? std::string("<null>")
                                                : q->Fields()[i]->AsString();
            };
            char amount[32] = "<null>";
            if (!q->Fields()[3]->IsNull())
                std::snprintf(amount, sizeof amount, "%.2f", q->Fields()[3]->AsFloat());
            rows.push_back(text(0) + "|" + text(1) + "|" + shown(text(2)) + "|" + amount);
        }
        return rows;
    }
    static void locate(TSybQuery& q, int id) { ASSERT_TRUE(q.Locate("id", Variant(id), {})); }
};

// A few pending changes of every kind: row 1 edited with hostile and long text and a new
// amount, row 3 (whose name is null) edited, row 2 deleted, row 5 inserted.
void makeChanges(TSybQuery& q, const std::string& hostile, const std::string& longText) {
    ASSERT_TRUE(q.Locate("id", Variant(1), {}));
    q.Edit();
    q.FieldByName("name")->SetAsString(hostile);
    q.FieldByName("note")->SetAsString(longText);
    q.FieldByName("amount")->SetAsString("12345.67");
    q.Post();
    ASSERT_TRUE(q.Locate("id", Variant(3), {}));
    q.Edit();
    q.FieldByName("amount")->Clear();
    q.Post();
    ASSERT_TRUE(q.Locate("id", Variant(2), {}));
    q.Delete();
    q.Append();
    q.FieldByName("id")->SetAsInteger(5);
    q.FieldByName("name")->SetAsString(hostile);
    q.FieldByName("amount")->SetAsString("0.01");
    q.Post();
}

// A long text as its length and hash, so that a failure stays readable.
std::string shown(const std::string& text) {
    if (text.size() <= 60)
        return text;
    return "#" + std::to_string(text.size()) + ":" + std::to_string(std::hash<std::string>{}(text));
}

const std::string kHostile = "O'Brien'' -- '; drop table cu_items /* :id \\\n\"x\" 'end";

TEST_F(QueryUpdates, EditsInsertsAndDeletesArriveExactly) {
    const std::string longText = std::string(49999, 'n') + "'";
    auto q = makeQuery(kConnection, kSelect);
    q->Open();
    makeChanges(*q, kHostile, longText);
    EXPECT_TRUE(q->UpdatesPending());
    EXPECT_EQ(q->UpdateStatus(), usInserted);

    q->ApplyUpdates();

    EXPECT_EQ(serverRows(),
              (std::vector<std::string>{"1|" + kHostile + "|" + shown(longText) + "|12345.67",
                                        "3|<null>|third|<null>", "4|Dan|fourth|40.00",
                                        "5|" + kHostile + "|<null>|0.01"}));
    // Merged: nothing pending, every record as fetched, the applied values the old ones.
    EXPECT_FALSE(q->UpdatesPending());
    for (q->First(); !q->Eof(); q->Next())
        EXPECT_EQ(q->UpdateStatus(), usUnmodified);
    locate(*q, 1);
    EXPECT_EQ(q->FieldByName("name")->OldValue().AsString(), kHostile);
    EXPECT_EQ(q->RecordCount(), 4);
    // A second apply has nothing to send; a later edit is applied against the new values.
    q->ApplyUpdates();
    q->Edit();
    q->FieldByName("name")->SetAsString("Ann");
    q->Post();
    q->ApplyUpdates();
    EXPECT_EQ(serverRows().front(), "1|Ann|" + shown(longText) + "|12345.67");
}

TEST_F(QueryUpdates, AConflictUndoesTheWholeApplyAndKeepsEveryChange) {
    auto q = makeQuery(kConnection, kSelect);
    q->Open();
    makeChanges(*q, kHostile, "long");
    const std::vector<std::string> before = serverRows();
    // Row 3 changes under the query after the fetch; the edit of row 1, applied before
    // it, must be undone too.
    exec(kOther, "update cu_items set name = 'Cid' where id = 3");
    const std::vector<std::string> changed = serverRows();

    TBookmark concerned;
    try {
        q->ApplyUpdates();
        FAIL() << "the apply succeeded over a changed row";
    } catch (const ESybUpdateError& e) {
        EXPECT_NE(e.Message().find("Record changed or deleted by another user"), std::string::npos)
            << e.Message();
        EXPECT_NE(e.Message().find("cu_items"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("id = 3"), std::string::npos) << e.Message();
        EXPECT_EQ(e.UpdateKind(), ukModify);
        concerned = e.Bookmark();
    }
    EXPECT_EQ(serverRows(), changed);
    EXPECT_NE(before, changed);
    EXPECT_EQ(s_connection->Connected(), true);

    // Everything still pending, as it was.
    EXPECT_TRUE(q->UpdatesPending());
    q->GotoBookmark(concerned);
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 3);
    EXPECT_EQ(q->UpdateStatus(), usModified);
    locate(*q, 1);
    EXPECT_EQ(q->UpdateStatus(), usModified);
    EXPECT_EQ(q->FieldByName("name")->AsString(), kHostile);
    EXPECT_EQ(q->FieldByName("name")->OldValue().AsString(), "Ann");
    EXPECT_FALSE(q->Locate("id", Variant(2), {}));
    locate(*q, 5);
    EXPECT_EQ(q->UpdateStatus(), usInserted);

    // The transaction is closed: the connection goes on working and a retry after the
    // application gave up the conflicting edit applies the rest.
    locate(*q, 3);
    q->RevertRecord();
    EXPECT_EQ(q->UpdateStatus(), usUnmodified);
    q->ApplyUpdates();
    EXPECT_EQ(serverRows(),
              (std::vector<std::string>{"1|" + kHostile + "|long|12345.67", "3|Cid|third|30.25",
                                        "4|Dan|fourth|40.00", "5|" + kHostile + "|<null>|0.01"}));
}

TEST_F(QueryUpdates, RowsAreFoundByTheirNullColumnsAndTheModeChoosesTheWhereClause) {
    auto q = makeQuery(kConnection, kSelect);
    q->Open();
    locate(*q, 2);
    q->Edit();
    q->FieldByName("name")->SetAsString("Bea");
    q->Post();
    const TSybDataSet::TPendingChange change = q->PendingChanges().front();

    struct Case {
        TUpdateMode mode;
        std::string keys;
        std::string statement;
    };
    // Float and text columns never locate a row unless they are keys; null originals are
    // matched with "is null"; only the changed column is set.
    const Case cases[] = {
        {upWhereAll, "",
         "update cu_items set name = 'Bea' where id = 2 and name = 'Bob' and amount is null"},
        {upWhereChanged, "id", "update cu_items set name = 'Bea' where id = 2 and name = 'Bob'"},
        {upWhereKeyOnly, "id;ratio",
         "update cu_items set name = 'Bea' where id = 2 and ratio = 0.2"},
    };
    for (const Case& c : cases) {
        q->SetUpdateMode(c.mode);
        q->SetKeyFields(c.keys);
        EXPECT_EQ(q->UpdateStatement(change), c.statement);
    }
    q->SetKeyFields("");
    EXPECT_NE(errorOf([&] { q->ApplyUpdates(); }).find("KeyFields must name the key columns"),
              std::string::npos);
    q->SetUpdateMode(upWhereAll);

    // Row 2's note and amount are null: the apply finds it all the same, and a delete of
    // row 3 (null name) too.
    locate(*q, 3);
    q->Delete();
    q->ApplyUpdates();
    EXPECT_EQ(serverRows(), (std::vector<std::string>{"1|Ann|first|10.50", "2|Bea|<null>|<null>",
                                                      "4|Dan|fourth|40.00"}));
}

TEST_F(QueryUpdates, CancelUpdatesAndRevertRecordPutTheRecordsBackAsFetched) {
    auto q = makeQuery(kConnection, kSelect);
    q->Open();
    auto snapshot = [&] {
        std::vector<std::string> rows;
        for (q->First(); !q->Eof(); q->Next())
            rows.push_back(q->FieldByName("id")->AsString() + "|" +
                           q->FieldByName("name")->AsString() + "|" +
                           q->FieldByName("note")->AsString());
        return rows;
    };
    const std::vector<std::string> fetched = snapshot();
    makeChanges(*q, kHostile, "long");
    locate(*q, 1);
    q->Edit(); // a second edit of the same record keeps the first fetched values
    q->FieldByName("note")->SetAsString("again");
    q->Post();
    locate(*q, 4);
    q->Delete();
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 5);

    // Refresh would drop the pending changes: it refuses.
    EXPECT_NE(errorOf([&] { q->Refresh(); }).find("apply or cancel them first"), std::string::npos);
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 5);

    // RevertRecord: only the current record (a new one goes away).
    q->RevertRecord();
    EXPECT_FALSE(q->Locate("id", Variant(5), {}));
    locate(*q, 1);
    EXPECT_EQ(q->FieldByName("note")->OldValue().AsString(), "first");
    q->RevertRecord();
    EXPECT_EQ(q->FieldByName("name")->AsString(), "Ann");
    EXPECT_EQ(q->FieldByName("note")->AsString(), "first");
    EXPECT_EQ(q->UpdateStatus(), usUnmodified);
    EXPECT_TRUE(q->UpdatesPending());

    // CancelUpdates: an edit in progress is cancelled, the deleted rows come back in place.
    locate(*q, 3);
    q->Edit();
    q->FieldByName("name")->SetAsString("unposted");
    q->CancelUpdates();
    EXPECT_EQ(q->State(), dsBrowse);
    EXPECT_FALSE(q->UpdatesPending());
    EXPECT_EQ(snapshot(), fetched);
    q->ApplyUpdates();
    EXPECT_EQ(serverRows(),
              (std::vector<std::string>{"1|Ann|first|10.50", "2|Bob|<null>|<null>",
                                        "3|<null>|third|30.25", "4|Dan|fourth|40.00"}));
}

TEST_F(QueryUpdates, TheEventsDecideWhatHappensToEachRecord) {
    auto q = makeQuery(kConnection, kSelect);
    q->Open();
    locate(*q, 1);
    q->Edit();
    q->FieldByName("name")->SetAsString("Ada");
    q->Post();
    locate(*q, 2);
    q->Delete();
    locate(*q, 4);
    q->Edit();
    q->FieldByName("name")->SetAsString("Dot");
    q->Post();
    exec(kOther, "delete cu_items where id = 2");

    // OnUpdateRecord applies record 1 itself and lets the package apply the rest by
    // skipping nothing else; OnUpdateError skips the conflicting delete.
    std::vector<std::string> seen;
    q->SetOnUpdateRecord([&](TDataSet* d, TUpdateKind kind, TUpdateAction& action) {
        seen.push_back(std::to_string(kind) + ":" + d->FieldByName("id")->AsString() + ":" +
                       d->FieldByName("name")->OldValue().AsString() + ">" +
                       d->FieldByName("name")->AsString());
        if (d->FieldByName("id")->AsInteger() == 1) {
            exec(kConnection, "update cu_items set name = 'Ada!' where id = 1");
            action = uaApplied;
        } else {
            action = uaSkip;
        }
    });
    q->ApplyUpdates();
    EXPECT_EQ(seen, (std::vector<std::string>{"0:1:Ann>Ada", "2:2:Bob>Bob", "0:4:Dan>Dot"}));
    EXPECT_EQ(serverRows()[0], "1|Ada!|first|10.50");
    locate(*q, 1);
    EXPECT_EQ(q->UpdateStatus(), usUnmodified);
    locate(*q, 4);
    EXPECT_EQ(q->UpdateStatus(), usModified); // skipped: still pending

    q->SetOnUpdateRecord(nullptr);
    std::vector<std::string> errors;
    TUpdateAction answer = uaSkip;
    q->SetOnUpdateError([&](TDataSet* d, Exception& e, TUpdateKind kind, TUpdateAction& action) {
        errors.push_back(std::to_string(kind) + ":" + d->FieldByName("id")->AsString() + ":" +
                         (e.Message().find("Record changed or deleted") != std::string::npos
                              ? "conflict"
                              : e.Message()));
        action = answer;
    });
    // uaAbort: quietly rolled back, everything kept.
    answer = uaAbort;
    EXPECT_THROW(q->ApplyUpdates(), EAbort);
    EXPECT_EQ(serverRows()[2], "4|Dan|fourth|40.00");
    // uaSkip: the delete stays pending, the edit of record 4 is applied.
    answer = uaSkip;
    q->ApplyUpdates();
    EXPECT_EQ(errors, (std::vector<std::string>{"2:2:conflict", "2:2:conflict"}));
    EXPECT_EQ(serverRows()[2], "4|Dot|fourth|40.00");
    EXPECT_EQ(q->PendingChanges().size(), 1u);
    // uaApplied: the handler takes the delete as done.
    answer = uaApplied;
    q->ApplyUpdates();
    EXPECT_FALSE(q->UpdatesPending());

    // uaRetry: the handler puts the other user's change back and the record is applied
    // again, within the same apply.
    locate(*q, 3);
    q->Edit();
    q->FieldByName("note")->SetAsString("3rd");
    q->Post();
    exec(kOther, "update cu_items set name = 'Cyd' where id = 3");
    int tries = 0;
    q->SetOnUpdateError([&](TDataSet*, Exception&, TUpdateKind, TUpdateAction& action) {
        ++tries;
        exec(kConnection, "update cu_items set name = null where id = 3");
        action = uaRetry;
    });
    q->ApplyUpdates();
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(serverRows()[1], "3|<null>|3rd|30.25");
}

TEST_F(QueryUpdates, TheTableComesFromASingleTableSelectOrMustBeNamed) {
    exec(kConnection,
         "create table cu_other (id int, label varchar(10))\ninsert cu_other values (1, 'x')");
    auto q = makeQuery(
        kConnection, "select i.id, i.name, o.label from cu_items i, cu_other o where o.id = i.id");
    q->Open();
    q->Edit();
    q->FieldByName("name")->SetAsString("changed");
    q->Post();
    EXPECT_NE(errorOf([&] { q->ApplyUpdates(); }).find("set UpdateTableName"), std::string::npos);
    EXPECT_EQ(serverRows()[0], "1|Ann|first|10.50");
    EXPECT_TRUE(q->UpdatesPending());

    auto single = makeQuery(kConnection, "select id, name from cu_items it where id = 4");
    single->Open();
    single->Edit();
    single->FieldByName("name")->SetAsString("Dee");
    single->Post();
    single->ApplyUpdates();
    EXPECT_EQ(serverRows()[3], "4|Dee|fourth|40.00");
    exec(kConnection, "drop table cu_other");
}

} // namespace

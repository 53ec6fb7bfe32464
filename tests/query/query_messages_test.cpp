// What one execution does with its messages and its links: a raising handler ends the
// execution and nothing is delivered twice, Master cycles are refused (set in code or read
// from a form), and a receiver opened on its own raises at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/Filer.h"
#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::makeQuery;

constexpr char kConnection[] = "MESSAGES";

class QueryMessages : public querytest::ConnectedSuite<kConnection> {
protected:
    void TearDown() override { expectIdle(); }
};

TEST_F(QueryMessages, ARaisingHandlerEndsTheExecutionAndNothingIsDeliveredTwice) {
    std::string delivered;
    auto query = makeQuery(kConnection, "print 'one'\nprint 'two'\nselect 1 as n");
    query->SetOnServerMessage([&](const TSybMessage* message, bool&) {
        delivered += "[" + message->Text() + "]";
        throw host::Exception("refused " + message->Text());
    });
    EXPECT_EQ(errorOf([&] { query->Open(); }), "refused one");
    EXPECT_EQ(delivered.rfind("[one]", 0), 0u) << delivered;
    EXPECT_EQ(delivered.find("[one]", 1), std::string::npos) << delivered;
    EXPECT_FALSE(query->Active());

    // The queue was left empty: the next command hears only its own messages.
    std::vector<std::string> next;
    auto after = makeQuery(kConnection, "print 'three'\nselect 2 as n");
    after->SetOnServerMessage(
        [&](const TSybMessage* message, bool&) { next.push_back(message->Text()); });
    after->Open();
    EXPECT_EQ(next, std::vector<std::string>{"three"});
}

TEST_F(QueryMessages, AMasterCycleIsRefusedWhenSet) {
    auto a = makeQuery(kConnection, "select 1 as a");
    auto b = makeQuery(kConnection, "select 2 as b");
    auto c = makeQuery(kConnection, "select 3 as c");
    a->SetName("A");
    b->SetName("B");
    c->SetName("C");
    EXPECT_EQ(errorOf([&] { a->SetMaster(a.get()); }),
              "Master \"A\" of query \"A\" would make the query its own master");
    b->SetMaster(a.get());
    c->SetMaster(b.get());
    EXPECT_EQ(errorOf([&] { a->SetMaster(c.get()); }),
              "Master \"C\" of query \"A\" would make the query its own master");
    EXPECT_EQ(a->Master(), nullptr);
    EXPECT_EQ(*a->ResultQueries(), std::vector<TSybQuery*>{b.get()});
    // The chain still works, closes and is destroyed without recursing.
    a->Open();
    EXPECT_TRUE(a->Active());
    a->Close();
    c.reset();
    b.reset();
}

TEST_F(QueryMessages, AMasterCycleInAFormIsRefusedWhenRead) {
    // Two queries naming each other as master, as a form file could hold them.
    const std::string form = "object Holder: TComponent\n"
                             "  object A: TSybQuery\n    Master = B\n  end\n"
                             "  object B: TSybQuery\n    Master = A\n  end\n"
                             "end\n";
    host::RegisterComponentClass<TSybQuery>("TSybQuery");
    host::TComponent holder(nullptr);
    const std::string error = errorOf([&] { host::TextToComponent(form, &holder); });
    EXPECT_EQ(holder.ComponentCount(), 0);
    EXPECT_NE(error.find("would make the query its own master"), std::string::npos) << error;
}

TEST_F(QueryMessages, AReceiverOpenedOnItsOwnRaisesAtOnce) {
    auto master = makeQuery(kConnection, "select 1 as a\nselect 2 as b");
    auto query = makeQuery(kConnection, "select 5 as x");
    query->Open();
    EXPECT_EQ(query->FieldByName("x")->AsInteger(), 5);
    query->Close();
    query->SetMaster(master.get());
    query->SetResultSet(1);
    EXPECT_EQ(errorOf([&] { query->Open(); }),
              "The query receives its rows from its master query: open the master");
    master->Open();
    EXPECT_EQ(query->FieldByName("b")->AsInteger(), 2);
}

} // namespace

// A query as the detail of another dataset, against the development server: the detail
// re-runs once per move of its master with the master's current value, parameters the
// application set win, a closed master or one in dsSetKey re-runs nothing, and a link that
// leads back to the query is refused.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/query/SybConnect.h"
#include "search_support.h"
#include "support/DevServer.h"

using namespace searchtest;

namespace {

constexpr const char* kConnection = "SEARCHLINK";

std::unique_ptr<TSybQuery> makeQuery(const std::string& sql, const std::string& name = "Query1") {
    auto q = std::make_unique<TSybQuery>(nullptr);
    q->SetName(name);
    q->SetDatabaseName(kConnection);
    q->SQL()->SetText(sql);
    return q;
}

void exec(const std::string& sql) {
    makeQuery(sql)->ExecSQL();
}

/// A query whose state and data events the tests drive directly.
class DrivenQuery : public TSybQuery {
public:
    using TDataSet::DataEvent;
    using TDataSet::SetState;
    using TSybQuery::TSybQuery;
};

class MasterDetail : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = new testsupport::DevServer({"--sample", "--user", "sa", "--password", "demo"},
                                              "SEARCHSRV");
        s_connection = new TSybConnect(nullptr);
        s_connection->SetDatabaseName(kConnection);
        s_connection->SetServerName("SEARCHSRV");
        s_connection->SetUserName("sa");
        s_connection->SetPassword("demo");
        s_connection->SetDatabase("pubs");
        s_connection->SetApplicationName("search_tests");
        s_connection->Connect();
        // A detail table of our own with one to three rows for every publisher.
        exec("create table #md_items (pub_id char(4) null, n int)");
        auto publishers = makeQuery("select pub_id from publishers order by pub_id");
        publishers->Open();
        int index = 0;
        for (publishers->First(); !publishers->Eof(); publishers->Next(), ++index) {
            const std::string pub = publishers->FieldByName("pub_id")->AsString();
            s_pubs.push_back(pub);
            for (int j = 0; j <= index % 3; ++j) {
                const int n = index * 100 + j;
                exec("insert #md_items values ('" + pub + "', " + std::to_string(n) + ")");
                s_items[pub].push_back(std::to_string(n));
            }
        }
        exec("create table #md_master (pub_id char(4) null, label varchar(10))");
        exec("insert #md_master values ('" + s_pubs.at(0) + "', 'a first')");
        exec("insert #md_master values (null, 'b none')");
        exec("insert #md_master values ('" + s_pubs.at(1) + "', 'c second')");
    }
    static void TearDownTestSuite() {
        delete s_connection;
        s_connection = nullptr;
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override {
        ASSERT_GE(s_pubs.size(), 3u);
        master = std::make_unique<DrivenQuery>(nullptr);
        master->SetName("Master");
        master->SetDatabaseName(kConnection);
        master->SQL()->SetText("select pub_id from publishers order by pub_id");
        source = std::make_unique<TDataSource>(nullptr);
        source->SetDataSet(master.get());
        detail = makeQuery("select n from #md_items where pub_id = :pub_id order by n", "Detail");
        detail->SetAfterOpen([this](TDataSet*) { ++runs; });
        detail->SetDataSource(source.get());
    }
    void TearDown() override {
        detail.reset();
        source.reset();
        master.reset();
    }

    /// The detail shows the rows of the master's current publisher.
    void expectDetailFollowsMaster() {
        const std::string pub = master->FieldByName("pub_id")->AsString();
        EXPECT_EQ(column(*detail, "n"), s_items[pub]) << pub;
        EXPECT_NE(detail->GetSQLText().find("pub_id = '" + pub + "'"), std::string::npos)
            << detail->GetSQLText();
    }

    static testsupport::DevServer* s_server;
    static TSybConnect* s_connection;
    static std::vector<std::string> s_pubs;
    static std::map<std::string, Strings> s_items;

    std::unique_ptr<DrivenQuery> master;
    std::unique_ptr<TDataSource> source;
    std::unique_ptr<TSybQuery> detail;
    int runs = 0;
};

testsupport::DevServer* MasterDetail::s_server = nullptr;
TSybConnect* MasterDetail::s_connection = nullptr;
std::vector<std::string> MasterDetail::s_pubs;
std::map<std::string, Strings> MasterDetail::s_items;

} // namespace

TEST_F(MasterDetail, DetailRerunsOncePerMasterMoveWithTheCurrentValue) {
    master->Open();
    detail->Open();
    EXPECT_EQ(runs, 1);
    expectDetailFollowsMaster();
    int moves = 0;
    for (master->Next(); !master->Eof(); master->Next()) {
        ++moves;
        EXPECT_EQ(runs, 1 + moves);
        expectDetailFollowsMaster();
    }
    EXPECT_EQ(moves, static_cast<int>(s_pubs.size()) - 1);
    EXPECT_FALSE(detail->Params()->Items(0)->Bound()); // filled again on every open

    runs = 0;
    master->Next(); // already at the end: no move
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(master->Locate("pub_id", s_pubs[1], {}));
    EXPECT_EQ(runs, 1);
    expectDetailFollowsMaster();
    EXPECT_FALSE(master->Locate("pub_id", "none", {}));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(master->Lookup("pub_id", s_pubs[2], "pub_id").AsString(), s_pubs[2]);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(master->FindNext());
    EXPECT_EQ(runs, 2);
    master->First();
    EXPECT_EQ(runs, 3);
    expectDetailFollowsMaster();
}

TEST_F(MasterDetail, FieldDefinitionsOfAClosedDetailUseTheMastersValues) {
    master->Open();
    master->Next();
    detail->FieldDefs().Update();
    EXPECT_FALSE(detail->Active());
    EXPECT_EQ(detail->FieldDefs().Count(), 1);
    EXPECT_EQ(detail->ParamByName("pub_id")->AsString(), s_pubs[1]);
    EXPECT_FALSE(detail->ParamByName("pub_id")->Bound());
}

TEST_F(MasterDetail, ParameterSetByTheApplicationWins) {
    detail->ParamByName("pub_id")->SetAsString(s_pubs[2]);
    master->Open();
    detail->Open();
    master->Next();
    EXPECT_EQ(column(*detail, "n"), s_items[s_pubs[2]]);
    EXPECT_TRUE(detail->ParamByName("pub_id")->Bound());
}

TEST_F(MasterDetail, NullMasterValueBecomesNull) {
    master->SQL()->SetText("select pub_id, label from #md_master order by label");
    master->Open();
    detail->Open();
    EXPECT_EQ(column(*detail, "n"), s_items[s_pubs[0]]);
    master->Next();
    EXPECT_TRUE(master->FieldByName("pub_id")->IsNull());
    EXPECT_NE(detail->GetSQLText().find("pub_id = NULL"), std::string::npos)
        << detail->GetSQLText();
    EXPECT_EQ(detail->RecordCount(), 0);
    master->Next();
    EXPECT_EQ(column(*detail, "n"), s_items[s_pubs[1]]);
}

TEST_F(MasterDetail, ClosedMasterAndClosedDetail) {
    master->Open();
    master->Next();
    // A closed detail stays closed while the master moves: nothing runs.
    master->Next();
    master->First();
    EXPECT_FALSE(detail->Active());
    EXPECT_EQ(runs, 0);

    detail->Open();
    const Strings shown = column(*detail, "n");
    master->Close(); // the detail keeps its rows
    EXPECT_TRUE(detail->Active());
    EXPECT_EQ(column(*detail, "n"), shown);
    EXPECT_EQ(runs, 1);
    master->Open(); // and re-runs for the master's first record
    EXPECT_EQ(runs, 2);
    expectDetailFollowsMaster();

    // Opening the detail under a closed master whose fields exist only while it is open:
    // the parameter finds no field.
    detail->Close();
    master->Close();
    const std::string error = errorOf([&] { detail->Open(); });
    EXPECT_NE(error.find("pub_id"), std::string::npos) << error;
    EXPECT_FALSE(detail->Active());
    detail->ParamByName("pub_id")->SetAsString(s_pubs[0]); // bound: no field needed
    detail->Open();
    EXPECT_EQ(column(*detail, "n"), s_items[s_pubs[0]]);
}

TEST_F(MasterDetail, ClosedMasterWithPersistentFieldsGivesNull) {
    auto* pub = new TStringField(master.get());
    pub->SetFieldName("pub_id");
    pub->SetSize(4);
    pub->SetDataSet(master.get());
    detail->Open();
    EXPECT_TRUE(detail->Active());
    EXPECT_NE(detail->GetSQLText().find("pub_id = NULL"), std::string::npos)
        << detail->GetSQLText();
    EXPECT_EQ(detail->RecordCount(), 0);
}

TEST_F(MasterDetail, MasterEditsAndSetKey) {
    master->Open();
    detail->Open();
    master->Edit();
    runs = 0;
    master->FieldByName("pub_id")->SetAsString(s_pubs[2]); // one field: no re-run
    EXPECT_EQ(runs, 0);
    master->Post(); // the whole record: one re-run, with the posted value
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(column(*detail, "n"), s_items[s_pubs[2]]);

    // A pending edit of the detail is posted before the master moves.
    int posts = 0;
    detail->SetAfterPost([&](TDataSet*) { ++posts; });
    detail->Edit();
    detail->FieldByName("n")->SetAsInteger(-1);
    master->Next();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(detail->State(), dsBrowse);

    runs = 0;
    master->SetState(dsSetKey);
    master->DataEvent(deDataSetChange, 0);
    EXPECT_EQ(runs, 0);
    master->SetState(dsBrowse);
    master->DataEvent(deDataSetChange, 0); // the same link value: the rows shown already
    EXPECT_EQ(runs, 0);
    master->Prior();
    EXPECT_EQ(runs, 1);
}

TEST_F(MasterDetail, CircularLinksAreRefused) {
    TDataSource own(nullptr);
    own.SetDataSet(detail.get());
    EXPECT_NE(
        errorOf([&] { detail->SetDataSource(&own); }).find("Circular datalinks are not allowed"),
        std::string::npos);
    EXPECT_EQ(detail->DataSource(), source.get()); // the link keeps its data source
    // Master -> detail -> master.
    auto other = makeQuery("select pub_id from publishers", "Other");
    other->SetDataSource(&own);
    TDataSource otherSource(nullptr);
    otherSource.SetDataSet(other.get());
    EXPECT_NE(errorOf([&] {
                  detail->SetDataSource(&otherSource);
              }).find("Circular datalinks are not allowed"),
              std::string::npos);
    EXPECT_EQ(detail->DataSource(), source.get());
    other->SetDataSource(nullptr);
}

TEST_F(MasterDetail, ParameterWithoutMasterField) {
    detail->SQL()->SetText("select n from #md_items where n = :nope");
    master->Open();
    const std::string error = errorOf([&] { detail->Open(); });
    EXPECT_NE(error.find("nope"), std::string::npos) << error;
    EXPECT_FALSE(detail->Active());
    detail->ParamByName("nope")->SetAsInteger(0);
    detail->Open();
    EXPECT_EQ(column(*detail, "n"), (Strings{"0"}));
}

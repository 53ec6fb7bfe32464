// Text through the package is UTF-8 whatever freetds.conf says: against a server whose
// character set is utf8 and one whose character set is iso_1, with and without a client
// charset in freetds.conf. Each test restores FREETDSCONF, which the servers here rewrite.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "support/DevServer.h"

namespace host = tovrin::host;

using tovrin::TSybConnect;
using tovrin::TSybQuery;

namespace {

/// One development server per character set, started once for the test program.
testsupport::DevServer& server(const std::string& charset) {
    static testsupport::DevServer utf8({"--sample"}, "UTF8SERVER");
    static testsupport::DevServer iso1({"--sample", "--server-charset", "iso_1"}, "ISO1SERVER");
    return charset == "iso_1" ? iso1 : utf8;
}

/// The first value `sql` returns as FreeTDS's bsqldb prints it (its padding removed),
/// under the freetds.conf of `server`.
std::string readWithBsqldb(const testsupport::DevServer& server, const std::string& sql) {
    const std::string input = server.tempDir() + "/bsqldb.sql";
    std::ofstream(input) << sql << "\n";
    const std::string command = "FREETDSCONF='" + server.confPath() + "' bsqldb -q -S " +
                                server.serverName() + " -U sa -P x -i '" + input + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    const size_t end = output.find_last_not_of(" \n");
    return end == std::string::npos ? std::string() : output.substr(0, end + 1);
}

/// Scripts of a round trip: the text, and whether ISO-8859-1 holds all of it.
struct Script {
    const char* name;
    const char* text;
    bool latin1;
};
const Script kScripts[] = {
    {"Latin1", "Grüße, Ça va? ¿Qué tal? Ærø Straße ñ", true},
    {"Greek", "Ελληνικά γράμματα", false},
    {"Cyrillic", "Кириллица", false},
    {"CJK", "漢字とかな", false},
    {"Emoji", "ok 😀", false},
    {"DashAndEuro", "Ära für Ünïcode – 5 €", false},
};

/// Server character set, and freetds.conf's client charset ("" for none).
class CharsetTest : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {
protected:
    void SetUp() override {
        const char* conf = std::getenv("FREETDSCONF");
        m_savedConf = conf != nullptr ? conf : "";
        server().writeConf(std::get<1>(GetParam()));
    }
    void TearDown() override {
        server().writeConf("UTF-8");
        if (m_savedConf.empty()) {
            unsetenv("FREETDSCONF");
        } else {
            setenv("FREETDSCONF", m_savedConf.c_str(), 1);
        }
    }
    [[nodiscard]] testsupport::DevServer& server() const { return ::server(serverCharset()); }
    [[nodiscard]] const std::string& serverCharset() const { return std::get<0>(GetParam()); }
    /// A name unique to this case, for connections and tables.
    [[nodiscard]] std::string caseName() const {
        return serverCharset() + (std::get<1>(GetParam()).empty() ? "_noconf" : "_conf");
    }

    std::unique_ptr<TSybConnect> connect(const std::string& clientCharset = "utf8") {
        auto connection = std::make_unique<TSybConnect>(nullptr);
        connection->SetDatabaseName("charset_" + caseName());
        connection->SetServerName(server().serverName());
        connection->SetUserName("sa");
        connection->SetDatabase("pubs");
        connection->SetClientCharset(clientCharset);
        connection->Connect();
        return connection;
    }
    std::unique_ptr<TSybQuery> query(const TSybConnect& connection, const std::string& sql) {
        auto q = std::make_unique<TSybQuery>(nullptr);
        q->SetDatabaseName(connection.DatabaseName());
        q->SQL()->SetText(sql);
        return q;
    }

private:
    std::string m_savedConf;
};

std::string caseLabel(const ::testing::TestParamInfo<CharsetTest::ParamType>& info) {
    const std::string conf =
        std::get<1>(info.param).empty() ? "NoClientCharset" : "ClientCharsetUtf8";
    return (std::get<0>(info.param) == "iso_1" ? "Iso1Server_" : "Utf8Server_") + conf;
}

TEST_P(CharsetTest, SampleTitlesReadAsUtf8SortAndLocateWithoutRegardToCase) {
    auto connection = connect();
    auto q = query(*connection,
                   "select title from titles where title_id in ('FI9952', 'CK1325') "
                   "union all select 'ärger' union all select 'Zebra' union all select 'apfel'");
    q->Open();
    ASSERT_EQ(q->RecordCount(), 5);
    q->SortOn("title", {tovrin::btcoCaseInsensitive});
    std::vector<std::string> titles;
    for (q->First(); !q->Eof(); q->Next()) {
        titles.push_back(q->FieldByName("title")->AsString());
    }
    const std::vector<std::string> expected = {"apfel", "ärger", "Datenbanken für Einsteiger",
                                               "Receitas da Água Clara", "Zebra"};
    EXPECT_EQ(titles, expected);
    ASSERT_TRUE(q->Locate("title", "DATENBANKEN FÜR EINSTEIGER", {host::loCaseInsensitive}));
    EXPECT_EQ(q->FieldByName("title")->AsString(), "Datenbanken für Einsteiger");
    EXPECT_TRUE(
        q->Locate("title", "receitas da água", {host::loCaseInsensitive, host::loPartialKey}));
}

TEST_P(CharsetTest, ParametersRoundTripWhatTheServerHoldsAndTheRestFails) {
    auto connection = connect();
    const std::string table = "rt_" + caseName();
    query(*connection, "create table " + table + " (id int, v varchar(200) null)")->ExecSQL();
    int id = 0;
    for (const Script& script : kScripts) {
        SCOPED_TRACE(script.name);
        ++id;
        auto insert = query(*connection, "insert into " + table + " values (:id, :v)");
        insert->ParamByName("id")->SetAsInteger(id);
        insert->ParamByName("v")->SetAsString(script.text);
        const bool holds = serverCharset() == "utf8" || script.latin1;
        if (holds) {
            insert->ExecSQL();
        } else {
            EXPECT_THROW(insert->ExecSQL(), host::Exception);
        }
        auto select =
            query(*connection, "select v from " + table + " where id = " + std::to_string(id));
        select->Open();
        if (holds) {
            ASSERT_EQ(select->RecordCount(), 1);
            EXPECT_EQ(select->FieldByName("v")->AsString(), script.text);
        } else {
            // Nothing stored in place of the text the server could not hold.
            EXPECT_EQ(select->RecordCount(), 0);
        }
    }
}

TEST_P(CharsetTest, TextWrittenReadsBackByteForByteThroughAnotherClient) {
    const std::string table = "other_" + caseName();
    const std::string text = "Ära für Ünïcode ok";
    {
        auto connection = connect();
        query(*connection, "create table " + table + " (v varchar(100))")->ExecSQL();
        auto insert = query(*connection, "insert into " + table + " values (:v)");
        insert->ParamByName("v")->SetAsString(text);
        insert->ExecSQL();
    }
    // FreeTDS's own db-lib client, told to speak UTF-8 by its configuration.
    server().writeConf("UTF-8");
    EXPECT_EQ(readWithBsqldb(server(), "select v from pubs.." + table), text);
}

TEST_P(CharsetTest, EmptyClientCharsetLeavesTheChoiceToFreetdsConf) {
    auto connection = connect("");
    auto q = query(*connection, "select title from titles where title_id = 'FI9952'");
    q->Open();
    // No client charset in freetds.conf: FreeTDS's default for the C locale, ISO-8859-1.
    const bool confSaysUtf8 = !std::get<1>(GetParam()).empty();
    EXPECT_EQ(q->FieldByName("title")->AsString(),
              confSaysUtf8 ? "Datenbanken für Einsteiger" : "Datenbanken f\xFCr Einsteiger");
}

INSTANTIATE_TEST_SUITE_P(ServerAndConf, CharsetTest,
                         ::testing::Combine(::testing::Values("utf8", "iso_1"),
                                            ::testing::Values("UTF-8", "")),
                         caseLabel);

TEST(CharsetProperty, ClientCharsetIsStoredUnlessDefault) {
    auto connection = std::make_unique<TSybConnect>(nullptr);
    EXPECT_EQ(host::ComponentToText(connection.get()).find("ClientCharset"), std::string::npos);
    connection->SetClientCharset("");
    const std::string text = host::ComponentToText(connection.get());
    EXPECT_NE(text.find("ClientCharset = ''"), std::string::npos) << text;
    connection.reset();
    TSybConnect loaded(nullptr);
    host::TextToComponent(text, &loaded);
    EXPECT_EQ(loaded.ClientCharset(), "");
}

} // namespace

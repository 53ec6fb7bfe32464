// The password stays secret: it never appears in an exception text, in a message handed to
// a handler, in the component's stored form or in anything tovrin-sql prints, whether the
// login fails (a wrong password, a server that never answers, a lost connection) or works.
#include <string>
#include <vector>

#include "tovrin5/host/Filer.h"
#include "tovrin5/host/PropInfo.h"
#include "reliability_support.h"
#include "tool/tool_process.h"

namespace host = tovrin::host;

using namespace reliability;

namespace {

// Passwords that a careless formatter would show whole or in part.
const std::vector<std::string> kWrongPasswords = {"Wr0ng-P4ss'word\"%s%d{}", "Q7zK",
                                                  std::string(40, 'q') + "Tail",
                                                  "pass word; drop table titles --"};

// `text` holds none of the passwords, nor (for those longer than 6 bytes) their first or
// last six bytes.
void expectNoSecret(const std::string& text, const std::vector<std::string>& secrets,
                    const std::string& context) {
    for (const std::string& secret : secrets) {
        EXPECT_EQ(text.find(secret), std::string::npos) << context << " shows " << secret << ":\n"
                                                        << text;
        if (secret.size() > 6) {
            EXPECT_EQ(text.find(secret.substr(0, 6)), std::string::npos) << context << ":\n"
                                                                         << text;
            EXPECT_EQ(text.find(secret.substr(secret.size() - 6)), std::string::npos)
                << context << ":\n"
                << text;
        }
    }
}

} // namespace

TEST(Secrets, NoExceptionOrMessageShowsThePassword) {
    std::vector<std::string> secrets = kWrongPasswords;
    secrets.push_back(kPassword);
    std::string seen;
    auto collect = [&seen](const tovrin::TSybMessage* message, bool&) {
        seen += message->GetMsgText() + "\n";
    };

    auto connection = makeConnection("REL_SECRET");
    connection->SetOnServerError(collect);
    connection->SetOnServerMessage(collect);
    for (const std::string& wrong : kWrongPasswords) {
        connection->SetPassword(wrong);
        const std::string error = errorOf([&] { connection->Connect(); });
        EXPECT_NE(error, "") << wrong;
        EXPECT_FALSE(connection->Connected());
        seen += error + "\n";
    }

    // A working login, a failing batch and a lost connection on it.
    connection->SetPassword(kPassword);
    connection->Connect();
    auto query = makeQuery("REL_SECRET", "print 'hello'\nselect * from rel_secret_no_such_table");
    seen += errorOf([&] { query->Open(); }) + "\n";
    FaultProxy& proxy = Environment::get().proxy();
    auto proxied = makeConnection("REL_SECRET_PROXY", "RELPROXY");
    proxied->SetOnServerMessage(collect);
    proxied->SetOnServerError(collect);
    proxied->Connect();
    proxy.arm(20, FaultProxy::Mode::Cut);
    seen += errorOf([&] { makeQuery("REL_SECRET_PROXY", "select * from titles")->Open(); }) + "\n";
    proxy.disarm();

    // A login that never completes.
    auto silent = makeConnection("REL_SECRET_SILENT", "RELSILENT");
    silent->SetLoginTimeout(1);
    seen += errorOf([&] { silent->Connect(); }) + "\n";

    EXPECT_NE(seen.find("Login failed"), std::string::npos) << seen;
    expectNoSecret(seen, secrets, "exceptions and messages");
}

TEST(Secrets, TheStoredFormNeverHoldsThePassword) {
    auto connection = makeConnection("REL_SECRET_STORED");
    host::TPropList properties;
    connection->GetPublishedProperties(properties);
    for (const auto& property : properties) {
        EXPECT_NE(property.name, "Password");
    }
    connection->Connect();
    const std::string text = host::ComponentToText(connection.get());
    EXPECT_NE(text.find("REL_SECRET_STORED"), std::string::npos) << text;
    expectNoSecret(text, {kPassword}, "the stored form");
}

TEST(Secrets, TovrinSqlNeverPrintsThePassword) {
    const std::string dir = Environment::get().server().tempDir();
    const std::string conf = Environment::get().confPath();
    const std::vector<std::string> secrets = {kPassword, kWrongPasswords[0]};
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> environment;
    };
    const std::vector<Case> cases = {
        {"right password, a result",
         {"-S", "RELSERVER", "-U", kUser, "-P", kPassword, "-D", "pubs", "-Q",
          "select title_id from titles", "-f", "json"},
         {}},
        {"right password, a server error",
         {"-S", "RELSERVER", "-U", kUser, "-P", kPassword, "-Q", "select * from rel_none"},
         {}},
        {"wrong password",
         {"-S", "RELSERVER", "-U", kUser, "-P", kWrongPasswords[0], "-Q", "select 1"},
         {}},
        {"wrong password from the environment",
         {"-S", "RELSERVER", "-U", kUser, "-Q", "select 1"},
         {{"TOVRIN_PASSWORD", kWrongPasswords[0]}}},
        {"password from the environment, a table",
         {"-S", "RELSERVER", "-U", kUser, "-Q", "select 1 as one", "-f", "table"},
         {{"TOVRIN_PASSWORD", kPassword}}},
        {"a server that never answers",
         {"-S", "RELSILENT", "-U", kUser, "-P", kPassword, "--timeout", "1", "-Q", "select 1"},
         {}},
        {"a wrong command line",
         {"-S", "RELSERVER", "-U", kUser, "-P", kPassword, "--no-such-option"},
         {}},
    };
    for (const Case& c : cases) {
        auto environment = c.environment;
        environment.emplace_back("FREETDSCONF", conf);
        const tooltest::ToolRun run = tooltest::runTool(dir, c.args, "", environment);
        expectNoSecret(run.out + run.err, secrets, c.name);
        if (c.name == "wrong password") {
            EXPECT_EQ(run.exitCode, 3) << run.err;
        }
    }
}

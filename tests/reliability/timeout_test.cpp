// Servers that stop answering: a login that never completes ends within LoginTimeout, and
// with CommandTimeout set a command whose answer stalls (before the first row, inside a
// result, in the output parameters) or never comes raises within the limit instead of
// hanging; the connection then logs in again at the next open.
#include <chrono>
#include <string>

#include "tovrin5/host/PropInfo.h"
#include "reliability_support.h"

namespace host = tovrin::host;

using namespace reliability;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(Timeouts, CommandTimeoutIsOffByDefaultAndNotStored) {
    auto connection = makeConnection("REL_TIMEOUT_DEFAULT", "RELSLOW");
    EXPECT_EQ(connection->CommandTimeout(), 0);
    host::TPropList properties;
    connection->GetPublishedProperties(properties);
    for (const auto& property : properties) {
        EXPECT_NE(property.name, "CommandTimeout");
    }
    // Without a limit a slow answer is simply waited for.
    connection->SetDatabase("");
    auto query = makeQuery("REL_TIMEOUT_DEFAULT", "select 5 as n");
    query->Open();
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 5);
}

TEST(Timeouts, ALoginThatNeverCompletesEndsWithinTheLoginTimeout) {
    auto connection = makeConnection("REL_SILENT", "RELSILENT");
    connection->SetLoginTimeout(1);
    const auto start = Clock::now();
    const std::string error = errorOf([&] { connection->Connect(); });
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_NE(error, "");
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(error.find(kPassword), std::string::npos);
}

TEST(Timeouts, ASlowServerRaisesWithinTheCommandTimeout) {
    auto connection = makeConnection("REL_SLOW", "RELSLOW");
    connection->SetDatabase("");
    connection->Connect();
    connection->SetCommandTimeout(1);
    auto query = makeQuery("REL_SLOW", "select 5 as n");
    const auto start = Clock::now();
    const std::string error = errorOf([&] { query->Open(); });
    EXPECT_LT(secondsSince(start), 2.9); // the server answers after 3 s
    EXPECT_EQ(error.rfind("Client library error ", 0), 0u) << error;
    EXPECT_NE(error.find("timed out"), std::string::npos) << error;
    expectCleanFailure(*query, *connection, "slow server");
    EXPECT_FALSE(connection->Connected());

    connection->SetCommandTimeout(0);
    query->Open();
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 5);
}

TEST(Timeouts, AnAnswerThatStallsAnywhereRaisesWithinTheCommandTimeout) {
    FaultProxy& proxy = Environment::get().proxy();
    auto connection = makeConnection("REL_STALL", "RELPROXY");
    connection->SetCommandTimeout(1);
    auto query = makeQuery("REL_STALL", "select title_id, title from titles order by title_id\n"
                                        "select au_id from authors\n"
                                        "declare @n int exec authors_in_state 'CA', @n output");
    connection->Connect();
    proxy.arm(std::numeric_limits<std::size_t>::max(), FaultProxy::Mode::Cut);
    query->Open();
    const std::size_t total = proxy.passed();
    proxy.disarm();
    query->Close();

    // Before the first row, inside the first result, near the end (output parameters).
    for (const std::size_t n : {std::size_t{0}, total / 3, total - 40}) {
        const std::string context =
            "answer stalled after " + std::to_string(n) + " of " + std::to_string(total);
        connection->Connect();
        proxy.arm(n, FaultProxy::Mode::Stall);
        const auto start = Clock::now();
        const std::string error = errorOf([&] { query->Open(); });
        const double took = secondsSince(start);
        proxy.disarm();
        EXPECT_GE(took, 0.9) << context;
        EXPECT_LT(took, 4.0) << context;
        EXPECT_EQ(error.rfind("Client library error ", 0), 0u) << context << ": " << error;
        expectCleanFailure(*query, *connection, context);
        EXPECT_FALSE(connection->Connected()) << context;

        query->Open();
        EXPECT_TRUE(query->Active()) << context;
        EXPECT_GT(query->RecordCount(), 10) << context;
        query->Close();
    }
}

// Failures injected into the client library: each set-up routine of a login failing in
// turn, the message queue unreadable, and a connection that is still closed after
// Connect. Each must raise its own text, leave the connection closed and its lock free,
// and the next attempt without the fault must work.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "query_support.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using querytest::errorOf;
using querytest::makeQuery;

// Replaces one library entry point while it lives; the replaced function stays reachable
// through original().
template <auto& EntryPoint> class Fault {
public:
    using Function = std::remove_reference_t<decltype(EntryPoint)>;
    explicit Fault(Function Replacement) {
        s_original = EntryPoint;
        EntryPoint = Replacement;
    }
    ~Fault() { EntryPoint = s_original; }
    Fault(const Fault&) = delete;
    Fault& operator=(const Fault&) = delete;
    static Function original() { return s_original; }

private:
    static inline Function s_original = nullptr;
};

// ct_diag failing for one operation only.
template <CS_INT Operation>
CS_RETCODE diagFailing(CS_CONNECTION* connection, CS_INT operation, CS_INT type, CS_INT index,
                       CS_VOID* buffer) {
    if (operation == Operation)
        return CS_FAIL;
    return Fault<ct_diag>::original()(connection, operation, type, index, buffer);
}

// Each routine of the login's set-up failing in turn.
TEST(ConnectFaults, EachSetUpRoutineRaisesItsOwnText) {
    auto connection = querytest::makeConnection("FAULTS_LOGIN");
    // Each case connects while its fault is in place.
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] {
             const Fault<cs_ctx_alloc> fault([](CS_INT, CS_CONTEXT** context) -> CS_RETCODE {
                 *context = nullptr;
                 return CS_FAIL;
             });
             connection->Connect();
         },
         "CT-Lib routine cs_ctx_alloc(CS_VERSION_110, FContext) failed"},
        {[&] {
             // The context is initialised, then reported as failed: the release must cope.
             const Fault<ct_init> fault([](CS_CONTEXT* context, CS_INT version) -> CS_RETCODE {
                 Fault<ct_init>::original()(context, version);
                 return CS_FAIL;
             });
             connection->Connect();
         },
         "CT-Lib routine ct_init(FContext, CS_VERSION_110) failed"},
        {[&] {
             const Fault<ct_con_alloc> fault([](CS_CONTEXT*, CS_CONNECTION** handle) -> CS_RETCODE {
                 *handle = nullptr;
                 return CS_FAIL;
             });
             connection->Connect();
         },
         "CT-Lib routine ct_con_alloc(FContext, FConnection) failed"},
        {[&] {
             const Fault<ct_diag> fault(&diagFailing<CS_INIT>);
             connection->Connect();
         },
         "CT-Lib routine ct_diag(FConnection, CS_INIT,CS_UNUSED,CS_UNUSED,nil) failed"},
    };
    for (const auto& [connectWithFault, message] : cases) {
        EXPECT_EQ(errorOf(connectWithFault), message);
        EXPECT_FALSE(connection->Connected()) << message;
        EXPECT_EQ(connection->ConnectionHandle(), nullptr) << message;
        EXPECT_EQ(connection->Context(), nullptr) << message;
        EXPECT_TRUE(querytest::lockIsFree(*connection)) << message;
        connection->Connect();
        EXPECT_TRUE(connection->Connected()) << "after " << message;
        connection->Disconnect();
    }
}

TEST(ConnectFaults, AnUnreadableMessageQueueFailsTheExecution) {
    auto connection = querytest::makeConnection("FAULTS_DIAG");
    connection->Connect();
    for (auto* failing : {&diagFailing<CS_STATUS>, &diagFailing<CS_GET>}) {
        {
            const Fault<ct_diag> fault(failing);
            auto query = makeQuery("FAULTS_DIAG", "print 'queued'\nselect 1 as n");
            EXPECT_EQ(errorOf([&] { query->Open(); }), "Message handling failed");
            EXPECT_FALSE(query->Active());
            EXPECT_EQ(connection->ActiveQuery(), nullptr);
            EXPECT_TRUE(querytest::lockIsFree(*connection));
        }
        auto next = makeQuery("FAULTS_DIAG", "select 2 as n");
        next->Open();
        EXPECT_EQ(next->FieldByName("n")->AsInteger(), 2);
    }
}

TEST(ConnectFaults, AConnectionStillClosedAfterConnectFailsTheOpen) {
    // An OnConnect handler that disconnects again: Connect returns without raising and
    // the connection is not open.
    auto connection = querytest::makeConnection("FAULTS_CLOSED");
    connection->SetOnConnect([&](host::TObject*) { connection->Disconnect(); });
    auto query = makeQuery("FAULTS_CLOSED", "select 1 as n");
    EXPECT_EQ(errorOf([&] { query->Open(); }),
              "Could not open sybase connection \"FAULTS_CLOSED\"");
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(connection->ActiveQuery(), nullptr);
    EXPECT_TRUE(querytest::lockIsFree(*connection));

    connection->SetOnConnect({});
    query->Open();
    EXPECT_EQ(query->FieldByName("n")->AsInteger(), 1);
}

} // namespace

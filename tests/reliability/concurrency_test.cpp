// Threads: many threads each with a connection and queries of its own, opening and closing
// for a bounded time; several threads sharing one connection, whose lock runs their
// commands one after the other so that no result or message ever reaches another thread's
// query; and threads that find a shared connection disconnected and all open at once (it logs in
// once).
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "reliability_support.h"

namespace host = tovrin::host;

using namespace reliability;
using Clock = std::chrono::steady_clock;

namespace {

// The same query with the thread's number in every row: "select <id> as t, ..." over a
// result of `rows` rows plus a second result that holds the number again.
std::string threadBatch(int id, int rows) {
    return "select " + std::to_string(id) + " as t, title_id from titles where " +
           std::to_string(rows) + " > 0 order by title_id\nselect " + std::to_string(id) +
           " * 1000 as u";
}

// Opens `query` and checks that every row belongs to thread `id`; returns the rows read.
int openAndCheck(tovrin::TSybQuery& query, int id, std::atomic<int>& mixed) {
    query.Open();
    int rows = 0;
    for (query.First(); !query.Eof(); query.Next()) {
        if (query.FieldByName("t")->AsInteger() != id) {
            ++mixed;
        }
        ++rows;
    }
    query.Close();
    return rows;
}

constexpr auto kRunTime = std::chrono::milliseconds(2500);

} // namespace

TEST(Concurrency, SixteenThreadsWithConnectionsOfTheirOwn) {
    Environment::get();
    constexpr int kThreads = 16;
    std::atomic<int> mixed{0};
    std::atomic<int> failures{0};
    std::atomic<int> executions{0};
    std::vector<std::thread> threads;
    std::vector<std::string> errors(kThreads);
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&, id] {
            try {
                const std::string name = "REL_OWN" + std::to_string(id);
                auto connection = makeConnection(name);
                auto first = makeQuery(name, threadBatch(id, 1));
                auto second = makeQuery(name, "select " + std::to_string(id) + " as t, :p as p");
                second->ParamByName("p")->SetAsInteger(id);
                const auto end = Clock::now() + kRunTime;
                int round = 0;
                do {
                    if (openAndCheck(*first, id, mixed) == 0) {
                        ++failures;
                    }
                    openAndCheck(*second, id, mixed);
                    // Now and then the connection goes and the next open logs in again.
                    if (++round % 7 == 0) {
                        connection->Disconnect();
                    }
                    executions += 2;
                } while (Clock::now() < end);
            } catch (const std::exception& e) {
                errors[id] = e.what();
                ++failures;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int id = 0; id < kThreads; ++id) {
        EXPECT_EQ(errors[id], "") << "thread " << id;
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GE(executions.load(), kThreads * 2);
    RecordProperty("executions", executions.load());
}

TEST(Concurrency, ThreadsSharingAConnectionRunTheirCommandsInTurn) {
    auto connection = makeConnection("REL_SHARED");
    constexpr int kThreads = 4;
    std::atomic<int> mixed{0};
    std::atomic<int> inside{0};
    std::atomic<int> overlapped{0};
    std::atomic<int> executions{0};
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&, id] {
            try {
                auto query = makeQuery("REL_SHARED", threadBatch(id, 1));
                // The receiver is filled inside its master's command, under the lock: no
                // other thread's command may be inside at the same time.
                auto receiver = std::make_unique<tovrin::TSybQuery>(nullptr);
                receiver->SetMaster(query.get());
                receiver->SetResultSet(1);
                receiver->SetAfterOpen([&](host::TDataSet*) {
                    if (inside.fetch_add(1) != 0) {
                        ++overlapped;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    --inside;
                });
                const auto end = Clock::now() + kRunTime;
                do {
                    query->Open();
                    for (query->First(); !query->Eof(); query->Next()) {
                        if (query->FieldByName("t")->AsInteger() != id) {
                            ++mixed;
                        }
                    }
                    if (!receiver->Active() ||
                        receiver->FieldByName("u")->AsInteger() != id * 1000) {
                        ++mixed;
                    }
                    query->Close();
                    ++executions;
                } while (Clock::now() < end);
                receiver->SetMaster(nullptr);
            } catch (const std::exception& e) {
                errors[id] = e.what();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int id = 0; id < kThreads; ++id) {
        EXPECT_EQ(errors[id], "") << "thread " << id;
    }
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_EQ(overlapped.load(), 0);
    EXPECT_GE(executions.load(), kThreads);
    EXPECT_TRUE(lockIsFree(*connection));
    RecordProperty("executions", executions.load());
}

TEST(Concurrency, ThreadsSharingAConnectionEachHearTheirOwnMessages) {
    // Talkers print and mark every error they hear handled; failers run a failing select
    // with no error handler of their own. A message that reached another thread's query
    // would be counted as foreign, and a failer's error swallowed by a talker's handler
    // would let its select return normally.
    auto connection = makeConnection("REL_MESSAGES");
    connection->Connect(); // what the login reports is not counted
    std::atomic<int> connectionInfo{0};
    std::atomic<int> connectionErrors{0};
    connection->SetOnServerMessage([&](const tovrin::TSybMessage*, bool&) { ++connectionInfo; });
    connection->SetOnServerError([&](const tovrin::TSybMessage*, bool&) { ++connectionErrors; });
    constexpr int kThreads = 4;
    constexpr int kRounds = 60;
    std::vector<int> own(kThreads), foreign(kThreads), unraised(kThreads);
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&, id] {
            const std::string tag = "thread " + std::to_string(id);
            const bool talker = id % 2 == 0;
            try {
                auto query = makeQuery("REL_MESSAGES",
                                       talker ? "print '" + tag + "'\nprint '" + tag + "'"
                                              : "select * from rel_missing_" + std::to_string(id));
                query->SetOnServerMessage([&, tag, id](const tovrin::TSybMessage* message, bool&) {
                    ++(message->Text() == tag ? own : foreign)[id];
                });
                if (talker) {
                    query->SetOnServerError([&, id](const tovrin::TSybMessage*, bool& handled) {
                        ++foreign[id];
                        handled = true;
                    });
                }
                for (int round = 0; round < kRounds; ++round) {
                    const std::string error = errorOf([&] { query->ExecSQL(); });
                    if (!talker &&
                        error.find("rel_missing_" + std::to_string(id)) == std::string::npos) {
                        ++unraised[id];
                    }
                }
            } catch (const std::exception& e) {
                errors[id] = e.what();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int id = 0; id < kThreads; ++id) {
        EXPECT_EQ(errors[id], "") << "thread " << id;
        EXPECT_EQ(foreign[id], 0) << "thread " << id;
        EXPECT_EQ(unraised[id], 0) << "thread " << id;
        EXPECT_EQ(own[id], id % 2 == 0 ? 2 * kRounds : 0) << "thread " << id;
    }
    EXPECT_EQ(connectionInfo.load(), 0);
    EXPECT_EQ(connectionErrors.load(), kThreads / 2 * kRounds) << "the failers' errors, each once";
    EXPECT_EQ(connection->ActiveQuery(), nullptr);
    EXPECT_TRUE(lockIsFree(*connection));
}

TEST(Concurrency, ThreadsFindingASharedConnectionClosedLogInOnce) {
    auto connection = makeConnection("REL_SHARED_LOGIN");
    std::atomic<int> logins{0};
    connection->SetOnConnect([&](host::TObject*) { ++logins; });
    for (int round = 0; round < 5; ++round) {
        connection->Disconnect();
        logins = 0;
        std::atomic<bool> go{false};
        std::vector<std::string> errors(6);
        std::vector<std::thread> threads;
        for (int id = 0; id < 6; ++id) {
            threads.emplace_back([&, id] {
                auto query =
                    makeQuery("REL_SHARED_LOGIN", "select " + std::to_string(id) + " as t");
                while (!go) {
                    std::this_thread::yield();
                }
                try {
                    query->Open();
                    if (query->FieldByName("t")->AsInteger() != id) {
                        errors[id] = "another thread's row";
                    }
                } catch (const std::exception& e) {
                    errors[id] = e.what();
                }
            });
        }
        go = true;
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int id = 0; id < 6; ++id) {
            EXPECT_EQ(errors[id], "") << "round " << round << ", thread " << id;
        }
        EXPECT_EQ(logins.load(), 1) << "round " << round;
        EXPECT_TRUE(connection->Connected());
    }
}

TEST(Concurrency, AThreadWaitingForTheLockWhileTheConnectionIsLostLogsInAgain) {
    // The second thread waits for the lock while the first one's command times out and
    // frees the connection handle: it must log in again instead of using the freed one.
    FaultProxy& proxy = Environment::get().proxy();
    auto connection = makeConnection("REL_SHARED_LOST", "RELPROXY");
    connection->SetCommandTimeout(1);
    connection->Connect();
    proxy.arm(0, FaultProxy::Mode::Stall);
    std::string firstError;
    std::thread first([&] {
        firstError = errorOf([&] { makeQuery("REL_SHARED_LOST", "select 1 as a")->Open(); });
        proxy.disarm();
    });
    // The first command holds the lock, stalled, until the timeout closes the connection.
    while (lockIsFree(*connection)) {
        std::this_thread::yield();
    }
    std::string secondError = "not run";
    int value = 0;
    std::thread second([&] {
        auto query = makeQuery("REL_SHARED_LOST", "select 2 as b");
        secondError = errorOf([&] { query->Open(); });
        if (query->Active()) {
            value = query->FieldByName("b")->AsInteger();
        }
    });
    first.join();
    second.join();
    EXPECT_NE(firstError, "");
    EXPECT_EQ(secondError, "");
    EXPECT_EQ(value, 2);
}

// Stored procedures through the SQL side: creation, exec with positional, named and
// default arguments, output parameters, return status, rows from procedures, errors
// carrying the procedure's name and line, nesting, and calls by RPC.
#include "engine_sink.h"

#include <gtest/gtest.h>

namespace devserver::test {
namespace {

class EngineProcedures : public EngineSessionTest {
protected:
    EngineProcedures() : EngineSessionTest(3) {}
    void SetUp() override {
        EngineSessionTest::SetUp();
        run("create table accounts (id int not null, owner varchar(20) null, balance money null)\n"
            "insert into accounts values (1, 'ann', 100.25)\n"
            "insert into accounts values (2, 'bob', 5)\n"
            "insert into accounts values (3, 'cy', null)");
        run("create procedure deposit @id int, @amount money = 10, @new_balance money output\n"
            "as\n"
            "begin\n"
            "    if not exists (select 1 from accounts where id = @id)\n"
            "    begin\n"
            "        raiserror 20010 'No account %1!.', @id\n"
            "        return 2\n"
            "    end\n"
            "    update accounts set balance = isnull(balance, 0) + @amount where id = @id\n"
            "    select @new_balance = balance from accounts where id = @id\n"
            "    return 0\n"
            "end");
        run("create proc owners @min money = 0 as\n"
            "    select owner, balance from accounts where balance >= @min order by owner\n"
            "    select count(*) from accounts\n");
        EXPECT_TRUE(sink.errors().empty());
    }
};

TEST_F(EngineProcedures, OutputParametersAndReturnStatus) {
    auto& s = run("declare @b money, @rc int\n"
                  "exec @rc = deposit 1, 0.75, @b output\n"
                  "select @rc, @b");
    std::vector<Event::Kind> kinds;
    for (const auto& e : s.events)
        kinds.push_back(e.kind);
    using K = Event::Kind;
    // update (in procedure), select-assign (in procedure), return status, parameters, end of
    // procedure, then the batch's own select.
    const std::vector<K> expected{K::Done, K::Done,      K::ReturnStatus, K::OutputParameters,
                                  K::Done, K::RowFormat, K::Row,          K::Done};
    ASSERT_EQ(kinds, expected);
    EXPECT_EQ(s.events[0].doneKind, DoneKind::InProcedure);
    EXPECT_EQ(s.events[0].count, 1);
    EXPECT_EQ(s.events[2].status, 0);
    ASSERT_EQ(s.events[3].columns.size(), 1u);
    EXPECT_EQ(s.events[3].columns[0].name, "@new_balance");
    EXPECT_EQ(s.events[3].columns[0].type.type, SqlType::Money);
    EXPECT_EQ(s.events[3].values[0].integer, 1010000);
    EXPECT_EQ(s.events[4].doneKind, DoneKind::Procedure);
    EXPECT_EQ(s.events[6].values[0].integer, 0);
    EXPECT_EQ(s.events[6].values[1].integer, 1010000);
}

TEST_F(EngineProcedures, NamedAndDefaultArguments) {
    auto& s = run("declare @b money\n"
                  "exec deposit @new_balance = @b output, @id = 3\n"
                  "select @b");
    EXPECT_TRUE(s.errors().empty());
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows[0][0].integer, 100000)
        << "the default amount 10 was added to NULL as 0";
}

TEST_F(EngineProcedures, ErrorsNameTheProcedureAndLine) {
    auto& s = run("declare @b money\nexec deposit 99, 1, @b output");
    auto errors = s.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 20010);
    EXPECT_EQ(errors[0].severity, 16);
    EXPECT_EQ(errors[0].text, "No account 99.");
    EXPECT_EQ(errors[0].procedure, "deposit");
    EXPECT_EQ(errors[0].line, 6);
    bool sawStatus = false;
    for (const auto& e : s.events)
        if (e.kind == Event::Kind::ReturnStatus) {
            sawStatus = true;
            EXPECT_EQ(e.status, 2);
        }
    EXPECT_TRUE(sawStatus);

    auto& missing = run("exec deposit");
    ASSERT_EQ(missing.errors().size(), 1u);
    EXPECT_EQ(missing.errors()[0].number, 201);
    auto& unknown = run("exec no_such_proc 1");
    ASSERT_EQ(unknown.errors().size(), 1u);
    EXPECT_EQ(unknown.errors()[0].number, 2812);
    auto& twice = run("create procedure owners as select 1");
    ASSERT_EQ(twice.errors().size(), 1u);
    EXPECT_EQ(twice.errors()[0].number, 2714);
}

TEST_F(EngineProcedures, ProceduresReturnRows) {
    auto& s = run("owners 50");
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    EXPECT_EQ(results[0].rows[0][0].bytes, "ann");
    EXPECT_EQ(results[0].columns[1].type.type, SqlType::Money);
    EXPECT_EQ(results[1].rows[0][0].integer, 3);
    auto dones = s.dones();
    ASSERT_EQ(dones.size(), 3u);
    EXPECT_EQ(dones[0].doneKind, DoneKind::InProcedure);
    EXPECT_EQ(dones[0].count, 1);
    EXPECT_EQ(dones[2].doneKind, DoneKind::Procedure);
}

TEST_F(EngineProcedures, NestedCallsPassOutputValuesBack) {
    run("create procedure twice @x int, @y int output as\n"
        "    select @y = @x * 2\n");
    run("create procedure outer_proc @x int, @z int output as\n"
        "    declare @t int\n"
        "    exec twice @x, @t output\n"
        "    exec twice @t, @z output\n"
        "    while @z < 100 select @z = @z * 2\n"
        "    return @z\n");
    auto& s = run("declare @r int, @z int\nexec @r = outer_proc 3, @z output\nselect @r, @z");
    EXPECT_TRUE(s.errors().empty());
    auto results = s.results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows[0][0].integer, 192);
    EXPECT_EQ(results[0].rows[0][1].integer, 192);
    run("create procedure forever @n int as exec forever @n");
    auto& deep = run("exec forever 1");
    ASSERT_FALSE(deep.errors().empty());
    EXPECT_EQ(deep.errors()[0].number, 217);
}

TEST_F(EngineProcedures, RpcCallsWithTypedParameters) {
    RpcParameter id;
    id.name = "@id";
    id.type.type = SqlType::Int;
    id.value.isNull = false;
    id.value.integer = 2;
    RpcParameter amount;
    amount.name = "@amount";
    amount.type.type = SqlType::Money;
    amount.value.isNull = false;
    amount.value.integer = 12345; // 1.2345
    RpcParameter out;
    out.name = "@new_balance";
    out.type.type = SqlType::Money;
    out.output = true;
    sink.clear();
    session->executeRpc("deposit", {id, amount, out}, sink);
    EXPECT_TRUE(sink.errors().empty());
    const Event* params = nullptr;
    for (const auto& e : sink.events)
        if (e.kind == Event::Kind::OutputParameters)
            params = &e;
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(params->values[0].integer, 62345);
    EXPECT_EQ(sink.dones().back().doneKind, DoneKind::Procedure);

    sink.clear();
    session->executeRpc("nothere", {}, sink);
    ASSERT_EQ(sink.errors().size(), 1u);
    EXPECT_EQ(sink.errors()[0].number, 2812);
    EXPECT_TRUE(sink.dones().back().error);
}

TEST_F(EngineProcedures, DropProcedure) {
    auto& s = run("drop procedure owners\nexec owners");
    ASSERT_EQ(s.errors().size(), 1u);
    EXPECT_EQ(s.errors()[0].number, 2812);
}

TEST_F(EngineProcedures, UseInsideAProcedureLastsUntilItReturns) {
    run("create database elsewhere");
    run("create procedure visit as\n    use elsewhere\n    select db_name()\n");
    auto& s = run("exec visit\nselect db_name()");
    EXPECT_TRUE(s.errors().empty());
    auto results = s.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows[0][0].bytes, "elsewhere");
    EXPECT_EQ(results[1].rows[0][0].bytes, "master");
    EXPECT_EQ(session->currentDatabase(), "master");
}

} // namespace
} // namespace devserver::test

// The master-detail model test: random sequences of an order-entry application's steps on
// orders (master) and their lines (detail), both with cached updates, against the
// development server, next to a plain model of what the server holds and what each query
// shows. Steps: master moves, edits, new and deleted orders, Refresh; detail edits, new and
// deleted lines, Refresh and reopening; ApplyUpdates and CancelUpdates of either; another
// connection changing rows between steps; an application transaction around any of it,
// committed or rolled back. After every step the queries agree with the model (rows shown,
// current order, changes pending, the transaction open or not); after every apply, commit
// and rollback the server's tables, read on the other connection, equal the model's. A
// failing sequence is shrunk and printed as its steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Fields.h"
#include "dataset/model_support.h"
#include "query_support.h"

namespace detailmodel {

using namespace tovrin;
using namespace tovrin::host;
using Value = std::optional<int>;
using LineKey = std::pair<int, int>; // order, line

/// What the main connection's session sees of the two tables.
struct Server {
    std::map<int, Value> orders;    // id -> note
    std::map<LineKey, Value> lines; // (order, line) -> qty
    bool operator==(const Server&) const = default;
};

/// The lines of one order as the detail holds them: as read, as shown, and the lines
/// with a change not yet applied.
struct Held {
    std::map<int, Value> fetched;
    std::map<int, Value> rows;
    std::set<int> changed;
};

/// One order of the master as shown.
struct MOrder {
    int id;
    Value note;
    std::optional<Value> fetched; // its note as read; none for a new order
    bool changed = false;
};

enum Kind {
    kMFirst,
    kMNext,
    kMPrior,
    kMLast,
    kMEditNote,
    kMAppend,
    kMDelete,
    kMApply,
    kMRefresh,
    kDEdit,
    kDAppend,
    kDDelete,
    kDApply,
    kDCancel,
    kDRefresh,
    kDReopen,
    kOUpdateLine,
    kODeleteLine,
    kOInsertLine,
    kONote,
    kTBegin,
    kTCommit,
    kTRollback,
    kKindCount
};

struct Op {
    int kind;
    int a, b;
};

struct Sequence {
    Server initial;
    std::vector<Op> ops;
};

/// Names of the tables and connections a runner works with.
struct Setup {
    std::string connection; // the application's
    std::string other;      // another application's
    bool transactions;      // whether sequences open application transactions
};

inline Value randomValue(int r) {
    return r % 5 == 0 ? Value() : Value(r % 40);
}

inline std::string literal(const Value& v) {
    return v ? std::to_string(*v) : std::string("null");
}

inline Sequence generate(uint32_t seed, int length, bool transactions) {
    std::mt19937 rng(seed);
    Sequence seq;
    const int orders = static_cast<int>(rng() % 5);
    for (int id = 1; id <= orders; ++id) {
        seq.initial.orders[id] = randomValue(static_cast<int>(rng() % 100));
        const int lines = static_cast<int>(rng() % 4);
        for (int line = 1; line <= lines; ++line)
            seq.initial.lines[{id, line}] = randomValue(static_cast<int>(rng() % 100));
    }
    const int kinds = transactions ? kKindCount : kTBegin;
    for (int i = 0; i < length; ++i)
        seq.ops.push_back({static_cast<int>(rng() % static_cast<unsigned>(kinds)),
                           static_cast<int>(rng() % 1000), static_cast<int>(rng() % 1000)});
    return seq;
}

/// Runs one sequence; returns the first disagreement (empty when none). Log receives the
/// steps as they ran.
class Runner {
public:
    Runner(const Setup& S, const Sequence& Seq) : m_setup(S), m_seq(Seq), m_server(Seq.initial) {}
    ~Runner() { finish(); }
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    std::string Run() {
        try {
            load();
            open();
            if (std::string e = check(); !e.empty())
                return "after opening: " + e;
            for (std::size_t i = 0; i < m_seq.ops.size(); ++i) {
                if (std::string e = step(m_seq.ops[i]); !e.empty())
                    return "step " + std::to_string(i) + ": " + e;
                if (std::string e = check(); !e.empty())
                    return "after step " + std::to_string(i) + ": " + e;
            }
        } catch (const std::exception& e) {
            return std::string("unexpected exception: ") + e.what();
        }
        return {};
    }

    [[nodiscard]] std::string Log() const { return m_log.str(); }

private:
    // ---- setting up ----------------------------------------------------------------------
    void load() {
        std::string sql = "delete qm_lines\ndelete qm_orders\n";
        for (const auto& [id, note] : m_server.orders)
            sql += "insert qm_orders values (" + std::to_string(id) + ", " + literal(note) + ")\n";
        for (const auto& [key, qty] : m_server.lines)
            sql += "insert qm_lines values (" + std::to_string(key.first) + ", " +
                   std::to_string(key.second) + ", " + literal(qty) + ")\n";
        querytest::exec(m_setup.other, sql);
        m_log << "// orders (id, note) and lines (order, line, qty) on the server:\n" << sql;
    }

    void open() {
        m_master =
            querytest::makeQuery(m_setup.connection, "select id, note from qm_orders order by id");
        m_master->SetName("Orders");
        m_master->SetKeyFields("id");
        m_source = std::make_unique<TDataSource>(nullptr);
        m_source->SetDataSet(m_master.get());
        m_detail = querytest::makeQuery(
            m_setup.connection,
            "select order_id, line, qty from qm_lines where order_id = :id order by line");
        m_detail->SetName("Lines");
        m_detail->SetKeyFields("order_id;line");
        m_detail->SetDataSource(m_source.get());
        m_master->Open();
        m_detail->Open();
        for (const auto& [id, note] : m_server.orders)
            m_orders.push_back({id, note, note, false});
        m_cur = m_orders.empty() ? -1 : 0;
        m_curOrder = currentOrder();
        m_held = read(m_curOrder);
        m_log << "master.Open(); detail.Open();\n";
    }

    // Leaves the session as it was: no transaction, the queries gone.
    void finish() noexcept {
        try {
            if (m_inTran && connection())
                connection()->Rollback();
            m_inTran = false;
        } catch (...) {
        }
        m_detail.reset();
        m_source.reset();
        m_master.reset();
    }

    TSybConnect* connection() const { return m_master ? m_master->SybConnect() : nullptr; }

    // ---- the model ----------------------------------------------------------------------------
    [[nodiscard]] std::optional<int> currentOrder() const {
        if (m_cur < 0)
            return std::nullopt;
        return m_orders[static_cast<std::size_t>(m_cur)].id;
    }

    // The lines of Order as a fresh read gives them.
    [[nodiscard]] Held read(const std::optional<int>& order) const {
        Held held;
        if (!order)
            return held;
        for (const auto& [key, qty] : m_server.lines)
            if (key.first == *order)
                held.fetched[key.second] = qty;
        held.rows = held.fetched;
        return held;
    }

    // The master's current order may have changed: the detail parks what it holds, when
    // changes are pending, and shows the parked lines of the new order or reads them.
    void follow() {
        const std::optional<int> order = currentOrder();
        if (order == m_curOrder)
            return;
        if (!m_held.changed.empty())
            m_parked[m_curOrder] = m_held;
        m_curOrder = order;
        const auto parked = m_parked.find(order);
        if (parked != m_parked.end()) {
            m_held = parked->second;
            m_parked.erase(parked);
        } else {
            m_held = read(order);
        }
    }

    [[nodiscard]] int detailPending() const {
        std::size_t count = m_held.changed.size();
        for (const auto& [order, held] : m_parked)
            count += held.changed.size();
        return static_cast<int>(count);
    }

    [[nodiscard]] int masterPending() const {
        int count = static_cast<int>(m_deleted.size());
        for (const MOrder& o : m_orders)
            count += o.changed ? 1 : 0;
        return count;
    }

    // Whether the server still holds a row as it was read (where the update or delete of
    // the apply finds it).
    [[nodiscard]] bool lineAsRead(const LineKey& key, const Value& qty) const {
        const auto it = m_server.lines.find(key);
        return it != m_server.lines.end() && it->second == qty;
    }

    // The detail's apply: every change of every order, all or nothing.
    [[nodiscard]] bool applyDetail() {
        std::vector<std::pair<std::optional<int>, Held*>> sets{{m_curOrder, &m_held}};
        for (auto& [order, held] : m_parked)
            sets.emplace_back(order, &held);
        Server after = m_server;
        for (const auto& [order, held] : sets) {
            for (const int line : held->changed) {
                const LineKey key{*order, line};
                const auto was = held->fetched.find(line);
                const auto now = held->rows.find(line);
                if (was != held->fetched.end() && now != held->rows.end() &&
                    was->second == now->second)
                    continue; // nothing to send
                if (was != held->fetched.end() && !lineAsRead(key, was->second))
                    return false;
                if (now == held->rows.end())
                    after.lines.erase(key);
                else
                    after.lines[key] = now->second;
            }
        }
        m_server = after;
        m_held.fetched = m_held.rows;
        m_held.changed.clear();
        m_parked.clear();
        return true;
    }

    [[nodiscard]] bool applyMaster() {
        Server after = m_server;
        for (const MOrder& d : m_deleted) {
            const auto it = m_server.orders.find(d.id);
            if (it == m_server.orders.end() || it->second != *d.fetched)
                return false;
            after.orders.erase(d.id);
        }
        for (const MOrder& o : m_orders) {
            if (!o.changed || (o.fetched && *o.fetched == o.note))
                continue;
            if (o.fetched) {
                const auto it = m_server.orders.find(o.id);
                if (it == m_server.orders.end() || it->second != *o.fetched)
                    return false;
            }
            after.orders[o.id] = o.note;
        }
        m_server = after;
        m_deleted.clear();
        for (MOrder& o : m_orders) {
            o.fetched = o.note;
            o.changed = false;
        }
        return true;
    }

    // ---- one step --------------------------------------------------------------------------
    std::string step(const Op& op);
    std::string masterStep(const Op& op);
    std::string detailStep(const Op& op);
    std::string otherStep(const Op& op);
    std::string transactionStep(const Op& op);
    std::string apply(TSybQuery& query, bool expected, const char* name);
    std::string check();
    std::string checkServer();

    Setup m_setup;
    Sequence m_seq;
    Server m_server;
    Server m_atBegin; // the session's tables when the transaction began
    bool m_inTran = false;
    std::unique_ptr<TSybQuery> m_master, m_detail;
    std::unique_ptr<TDataSource> m_source;
    std::vector<MOrder> m_orders, m_deleted;
    int m_cur = -1;
    std::optional<int> m_curOrder;
    Held m_held;
    std::map<std::optional<int>, Held> m_parked;
    int m_nextOrder = 100, m_nextLine = 100, m_nextOtherLine = 500;
    std::ostringstream m_log;
};

// ---- the steps ---------------------------------------------------------------------------------

inline std::string Runner::step(const Op& op) {
    if (op.kind <= kMRefresh)
        return masterStep(op);
    if (op.kind <= kDReopen)
        return detailStep(op);
    if (op.kind <= kONote)
        return m_inTran ? std::string() : otherStep(op); // it would wait for the transaction
    return transactionStep(op);
}

// Runs ApplyUpdates on Query, expecting it to succeed or to raise ESybUpdateError.
inline std::string Runner::apply(TSybQuery& query, bool expected, const char* name) {
    m_log << name << ".ApplyUpdates();" << (expected ? "\n" : " // fails\n");
    bool applied = true;
    try {
        query.ApplyUpdates();
    } catch (const ESybUpdateError&) {
        applied = false;
    }
    if (applied != expected)
        return std::string(name) + ".ApplyUpdates " + (applied ? "succeeded" : "failed");
    return m_inTran ? std::string() : checkServer();
}

inline std::string Runner::masterStep(const Op& op) {
    TSybQuery& m = *m_master;
    const int count = static_cast<int>(m_orders.size());
    switch (op.kind) {
    case kMFirst:
    case kMLast:
        op.kind == kMFirst ? m.First() : m.Last();
        m_log << (op.kind == kMFirst ? "master.First();\n" : "master.Last();\n");
        m_cur = count == 0 ? -1 : (op.kind == kMFirst ? 0 : count - 1);
        break;
    case kMNext:
    case kMPrior:
        op.kind == kMNext ? m.Next() : m.Prior();
        m_log << (op.kind == kMNext ? "master.Next();\n" : "master.Prior();\n");
        if (m_cur >= 0)
            m_cur = std::clamp(m_cur + (op.kind == kMNext ? 1 : -1), 0, count - 1);
        break;
    case kMEditNote: {
        if (m_cur < 0)
            return {};
        const Value note = randomValue(op.a);
        m.Edit();
        note ? m.FieldByName("note")->SetAsInteger(*note) : m.FieldByName("note")->Clear();
        m.Post();
        m_log << "master.Edit(); note = " << literal(note) << "; master.Post();\n";
        MOrder& o = m_orders[static_cast<std::size_t>(m_cur)];
        o.note = note;
        o.changed = true;
        break;
    }
    case kMAppend: {
        const int id = m_nextOrder++;
        const Value note = randomValue(op.a);
        m.Append();
        m.FieldByName("id")->SetAsInteger(id);
        if (note)
            m.FieldByName("note")->SetAsInteger(*note);
        m.Post();
        m_log << "master.Append(); id = " << id << ", note = " << literal(note)
              << "; master.Post();\n";
        m_orders.push_back({id, note, std::nullopt, true});
        m_cur = static_cast<int>(m_orders.size()) - 1;
        break;
    }
    case kMDelete: {
        if (m_cur < 0)
            return {};
        m.Delete();
        m_log << "master.Delete();\n";
        const MOrder gone = m_orders[static_cast<std::size_t>(m_cur)];
        if (gone.fetched)
            m_deleted.push_back(gone);
        m_orders.erase(m_orders.begin() + m_cur);
        m_cur = std::min(m_cur, static_cast<int>(m_orders.size()) - 1);
        break;
    }
    case kMApply:
        if (std::string e = apply(m, applyMaster(), "master"); !e.empty())
            return e;
        break;
    case kMRefresh: {
        if (masterPending() > 0) {
            m_log << "EXPECT_THROW(master.Refresh(), EDatabaseError);\n";
            try {
                m.Refresh();
                return "master.Refresh with changes pending did not raise";
            } catch (const EDatabaseError&) {
            }
            break;
        }
        m.Refresh();
        m_log << "master.Refresh();\n";
        const std::optional<int> was = currentOrder();
        m_orders.clear();
        for (const auto& [id, note] : m_server.orders)
            m_orders.push_back({id, note, note, false});
        int target = -1;
        for (std::size_t i = 0; i < m_orders.size(); ++i)
            if (was && m_orders[i].id == *was)
                target = static_cast<int>(i);
        // Else the same place; from an empty master, the first order.
        m_cur = target >= 0 ? target
                            : std::min(std::max(m_cur, 0), static_cast<int>(m_orders.size()) - 1);
        break;
    }
    default:
        break;
    }
    follow();
    return {};
}

inline std::string Runner::detailStep(const Op& op) {
    TSybQuery& d = *m_detail;
    // The line a step works on: one of those shown.
    std::optional<int> line;
    if (!m_held.rows.empty()) {
        auto it = m_held.rows.begin();
        std::advance(it, op.b % static_cast<int>(m_held.rows.size()));
        line = it->first;
    }
    auto locate = [&](int l) {
        if (!d.Locate("line", Variant(l), {}))
            throw EDatabaseError("line " + std::to_string(l) + " is not shown");
    };
    switch (op.kind) {
    case kDEdit: {
        if (!line)
            return {};
        const Value qty = randomValue(op.a);
        locate(*line);
        d.Edit();
        qty ? d.FieldByName("qty")->SetAsInteger(*qty) : d.FieldByName("qty")->Clear();
        d.Post();
        m_log << "detail: line " << *line << " qty = " << literal(qty) << ";\n";
        m_held.rows[*line] = qty;
        m_held.changed.insert(*line);
        break;
    }
    case kDAppend: {
        if (!m_curOrder)
            return {};
        const int l = m_nextLine++;
        const Value qty = randomValue(op.a);
        d.Append();
        d.FieldByName("order_id")->SetAsInteger(*m_curOrder);
        d.FieldByName("line")->SetAsInteger(l);
        if (qty)
            d.FieldByName("qty")->SetAsInteger(*qty);
        d.Post();
        m_log << "detail: new line " << l << " qty = " << literal(qty) << ";\n";
        m_held.rows[l] = qty;
        m_held.changed.insert(l);
        break;
    }
    case kDDelete:
        if (!line)
            return {};
        locate(*line);
        d.Delete();
        m_log << "detail: line " << *line << " deleted;\n";
        m_held.rows.erase(*line);
        if (m_held.fetched.count(*line))
            m_held.changed.insert(*line);
        else
            m_held.changed.erase(*line); // a new line: nothing left to apply
        break;
    case kDApply:
        return apply(d, applyDetail(), "detail");
    case kDCancel:
        d.CancelUpdates();
        m_log << "detail.CancelUpdates();\n";
        m_held.rows = m_held.fetched;
        m_held.changed.clear();
        m_parked.clear();
        break;
    case kDRefresh:
    case kDReopen: {
        const bool refresh = op.kind == kDRefresh;
        if (detailPending() > 0) {
            m_log << (refresh ? "EXPECT_THROW(detail.Refresh(), EDatabaseError);\n"
                              : "EXPECT_THROW(detail.Close(), EDatabaseError);\n");
            try {
                refresh ? d.Refresh() : d.Close();
                return refresh ? "detail.Refresh with changes pending did not raise"
                               : "detail.Close with changes pending did not raise";
            } catch (const EDatabaseError&) {
            }
            break;
        }
        if (refresh) {
            d.Refresh();
        } else {
            d.Close();
            d.Open();
        }
        m_log << (refresh ? "detail.Refresh();\n" : "detail.Close(); detail.Open();\n");
        m_held = read(m_curOrder);
        break;
    }
    default:
        break;
    }
    return {};
}

inline std::string Runner::otherStep(const Op& op) {
    const std::string& other = m_setup.other;
    const Value value = randomValue(op.a);
    auto nth = [&](const auto& map) {
        auto it = map.begin();
        std::advance(it, op.b % static_cast<int>(map.size()));
        return it->first;
    };
    std::string sql;
    switch (op.kind) {
    case kOUpdateLine:
    case kODeleteLine: {
        if (m_server.lines.empty())
            return {};
        const LineKey key = nth(m_server.lines);
        const std::string where = " where order_id = " + std::to_string(key.first) +
                                  " and line = " + std::to_string(key.second);
        if (op.kind == kOUpdateLine) {
            sql = "update qm_lines set qty = " + literal(value) + where;
            m_server.lines[key] = value;
        } else {
            sql = "delete qm_lines" + where;
            m_server.lines.erase(key);
        }
        break;
    }
    case kOInsertLine: {
        if (m_server.orders.empty())
            return {};
        const int order = nth(m_server.orders);
        const int line = m_nextOtherLine++;
        sql = "insert qm_lines values (" + std::to_string(order) + ", " + std::to_string(line) +
              ", " + literal(value) + ")";
        m_server.lines[{order, line}] = value;
        break;
    }
    case kONote: {
        if (m_server.orders.empty())
            return {};
        const int id = nth(m_server.orders);
        sql = "update qm_orders set note = " + literal(value) + " where id = " + std::to_string(id);
        m_server.orders[id] = value;
        break;
    }
    default:
        return {};
    }
    querytest::exec(other, sql);
    m_log << "other connection: " << sql << "\n";
    return {};
}

inline std::string Runner::transactionStep(const Op& op) {
    TSybConnect* c = connection();
    switch (op.kind) {
    case kTBegin:
        if (m_inTran)
            return {};
        c->StartTransaction();
        m_log << "connection.StartTransaction();\n";
        m_inTran = true;
        m_atBegin = m_server;
        return {};
    case kTCommit:
        if (!m_inTran)
            return {};
        c->Commit();
        m_log << "connection.Commit();\n";
        break;
    default:
        if (!m_inTran)
            return {};
        c->Rollback();
        m_log << "connection.Rollback();\n";
        m_server = m_atBegin;
        break;
    }
    m_inTran = false;
    return checkServer();
}

// ---- the comparison --------------------------------------------------------------------------

inline std::string Runner::checkServer() {
    Server read;
    auto orders = querytest::makeQuery(m_setup.other, "select id, note from qm_orders");
    orders->Open();
    for (; !orders->Eof(); orders->Next()) {
        TField* note = orders->Fields()[1];
        read.orders[orders->Fields()[0]->AsInteger()] =
            note->IsNull() ? Value() : Value(note->AsInteger());
    }
    auto lines = querytest::makeQuery(m_setup.other, "select order_id, line, qty from qm_lines");
    lines->Open();
    for (; !lines->Eof(); lines->Next()) {
        TField* qty = lines->Fields()[2];
        const LineKey key{lines->Fields()[0]->AsInteger(), lines->Fields()[1]->AsInteger()};
        if (read.lines.count(key))
            return "the server holds line " + std::to_string(key.second) + " of order " +
                   std::to_string(key.first) + " twice";
        read.lines[key] = qty->IsNull() ? Value() : Value(qty->AsInteger());
    }
    if (read == m_server)
        return {};
    std::ostringstream err;
    err << "the server's tables differ from the model: orders";
    for (const auto& [id, note] : read.orders)
        err << ' ' << id << '=' << literal(note);
    err << " (expected";
    for (const auto& [id, note] : m_server.orders)
        err << ' ' << id << '=' << literal(note);
    err << "), lines";
    for (const auto& [key, qty] : read.lines)
        err << ' ' << key.first << '/' << key.second << '=' << literal(qty);
    err << " (expected";
    for (const auto& [key, qty] : m_server.lines)
        err << ' ' << key.first << '/' << key.second << '=' << literal(qty);
    err << ")";
    return err.str();
}

inline std::string Runner::check() {
    std::ostringstream err;
    TSybQuery& m = *m_master;
    TSybQuery& d = *m_detail;
    const std::optional<int> order = currentOrder();
    if (m.IsEmpty() != !order || (order && m.FieldByName("id")->AsInteger() != *order))
        err << "master on "
            << (m.IsEmpty() ? std::string("nothing") : m.FieldByName("id")->AsString())
            << ", expected " << (order ? std::to_string(*order) : std::string("nothing")) << "; ";
    // The orders shown, walked without telling the detail, then back to the current one.
    std::vector<int> ids, expected;
    for (const MOrder& o : m_orders)
        expected.push_back(o.id);
    {
        m.DisableControls();
        const TBookmark here = m.GetBookmark();
        for (m.First(); !m.Eof(); m.Next())
            ids.push_back(m.FieldByName("id")->AsInteger());
        if (!here.empty())
            m.GotoBookmark(here);
        m.EnableControls();
    }
    if (ids != expected)
        err << "master shows " << ids.size() << " orders, expected " << expected.size() << "; ";
    std::map<int, Value> lines;
    for (d.First(); !d.Eof(); d.Next()) {
        TField* qty = d.FieldByName("qty");
        lines[d.FieldByName("line")->AsInteger()] =
            qty->IsNull() ? Value() : Value(qty->AsInteger());
    }
    if (lines != m_held.rows) {
        err << "detail shows";
        for (const auto& [l, q] : lines)
            err << ' ' << l << '=' << literal(q);
        err << ", expected";
        for (const auto& [l, q] : m_held.rows)
            err << ' ' << l << '=' << literal(q);
        err << "; ";
    }
    if (d.PendingChangeCount() != detailPending())
        err << "detail has " << d.PendingChangeCount() << " changes pending, expected "
            << detailPending() << "; ";
    if (m.PendingChangeCount() != masterPending())
        err << "master has " << m.PendingChangeCount() << " changes pending, expected "
            << masterPending() << "; ";
    if (m_setup.transactions && connection()->InTransaction() != m_inTran)
        err << "InTransaction " << !m_inTran << ", expected " << m_inTran << "; ";
    return err.str();
}

// ---- running many ------------------------------------------------------------------------------

inline std::string runSequence(const Setup& S, const Sequence& Seq, std::string* Log = nullptr) {
    Runner runner(S, Seq);
    std::string failure = runner.Run();
    if (Log)
        *Log = runner.Log();
    return failure;
}

// Removes steps (halves, then smaller chunks, then single steps) while the sequence fails.
inline Sequence shrink(const Setup& S, Sequence seq) {
    for (std::size_t chunk = std::max<std::size_t>(seq.ops.size() / 2, 1);; chunk /= 2) {
        for (std::size_t start = 0; start < seq.ops.size();) {
            Sequence smaller = seq;
            smaller.ops.erase(smaller.ops.begin() + static_cast<long>(start),
                              smaller.ops.begin() +
                                  static_cast<long>(std::min(start + chunk, smaller.ops.size())));
            if (!runSequence(S, smaller).empty())
                seq = smaller;
            else
                start += chunk;
        }
        if (chunk <= 1)
            break;
    }
    return seq;
}

/// Runs Sequences seeded sequences of Length steps (the command line's --sequences and
/// --seed win); a failure is shrunk and reported with its steps.
inline void runModel(const Setup& S, int Sequences, int Length) {
    const int sequences = modeltest::argument("--sequences", Sequences);
    const int seed = modeltest::argument("--seed", 1);
    for (int i = 0; i < sequences; ++i) {
        const auto s = static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i);
        const Sequence seq = generate(s, Length, S.transactions);
        if (runSequence(S, seq).empty())
            continue;
        const Sequence small = shrink(S, seq);
        std::string log;
        const std::string failure = runSequence(S, small, &log);
        ADD_FAILURE() << "sequence " << i << " (seed " << seed << ") fails: " << failure
                      << "\nshrunk to:\n"
                      << log;
        return;
    }
}

} // namespace detailmodel

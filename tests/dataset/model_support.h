// The model test of the dataset: random sequences of an application's operations run on a
// query (fields K, N, S) and on a plain reference model (a vector of records, the current
// record's key, the sort and filter in force, remembered bookmarks); the filter is an
// OnFilterRecord handler, a Filter expression (a random tree of comparisons, is null,
// partial texts, and/or/not, under random filter options) or both. Refresh and a new
// open read the query's rows again. After every step both must agree on the records shown
// and their order, the current record, Eof/Bof, RecordCount, RecNo and the remembered
// bookmarks. A failing sequence is shrunk and printed as C++ statements to paste into a
// regular test. Used by the dataset tests (rows made without a server) and the query tests
// (rows from the development server).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <set>
#include <vector>

#include "tovrin5/host/Collation.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybQuery.h"

namespace host = tovrin::host;

namespace modeltest {

using namespace tovrin::host;
using namespace tovrin;

using Value = std::optional<int>;
using Text = std::optional<std::string>;

// Texts whose collation order differs from their bytes, and letter-case twins.
inline const std::vector<std::string> kTexts = {"a",        "A",  "b",  "B", "\xC3\xA4",
                                                "\xC3\x84", "ab", "aB", "e", "\xC3\xA9"};

struct MRecord {
    int k; // the test's own key, never edited
    Value n;
    Text s;
    int seq; // fetch order, then the order records were posted
};

// One step of a sequence: a kind and a few random numbers the step draws from.
struct Op {
    int kind;
    int a, b, c;
};

enum OpKind {
    kFirst,
    kLast,
    kNext,
    kPrior,
    kMoveBy,
    kEditPost,
    kEditCancel,
    kInsertPost,
    kAppendPost,
    kInsertCancel,
    kDelete,
    kSort,
    kSortOn,
    kAutoSort,
    kFilter,
    kUnfilter,
    kLocate,
    kLocateText,
    kRemember,
    kGoto,
    kSetRecNo,
    kReopen,
    kRefresh,
    kLookup,
    kFilterExpr,
    kFilterOptions,
    kFind,
    kEditRefilter,
    kOpCount
};

inline const char* const kSortFieldLists[] = {"N", "S", "S;N", "N;S"};

inline bool filterAccepts(int kind, const Value& n, const Text& s) {
    if (kind == 0)
        return n && *n % 2 == 0;
    return !s || host::AnsiCompareTextRu(*s, "b") < 0;
}

inline std::string textLiteral(const Text& s) {
    if (!s)
        return "Null()";
    std::string out = "\"";
    bool afterEscape = false;
    for (unsigned char ch : *s) {
        if (ch < 0x80) {
            // A hex digit after \xNN would extend the escape: close and reopen the literal.
            if (afterEscape && std::isxdigit(ch))
                out += "\" \"";
            if (ch == '"' || ch == '\\')
                out += '\\';
            out += static_cast<char>(ch);
            afterEscape = false;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", ch);
            out += buf;
            afterEscape = true;
        }
    }
    return out + "\"";
}

// A Filter expression over N and S: its text and the model's own evaluation of it.
struct FExpr {
    enum Kind { Compare, IsNull, And, Or, Not, Like } kind = Compare;
    bool onN = true;
    int op = 0; // index into kOps
    int number = 0;
    std::string text;
    bool negated = false;  // is not null
    bool reversed = false; // the literal written first ("3 > N"), or N compared with K
    bool withK = false;    // N compared with the field K instead of a number
    std::vector<FExpr> kids;

    static constexpr const char* kOps[] = {"=", "<>", "<", "<=", ">", ">="};

    /// The expression's text: keywords in upper case when Upper; field names as written
    /// (Names 0), in lower case (1), in brackets (2) or in double quotes (3).
    [[nodiscard]] std::string Render(bool upper, int names = 0) const {
        auto name = [names](const char* field) {
            const std::string plain(field);
            switch (names) {
            case 1:
                return std::string(
                    1, static_cast<char>(std::tolower(static_cast<unsigned char>(field[0]))));
            case 2:
                return "[" + plain + "]";
            case 3:
                return "\"" + plain + "\"";
            default:
                return plain;
            }
        };
        switch (kind) {
        case Compare: {
            static constexpr const char* kMirrored[] = {"=", "<>", ">", ">=", "<", "<="};
            std::string literal = withK ? name("K") : std::to_string(number);
            if (!onN)
                literal = quote(text);
            const std::string field = name(onN ? "N" : "S");
            return reversed ? literal + " " + kMirrored[op] + " " + field
                            : field + " " + kOps[op] + " " + literal;
        }
        case Like:
            return name("S") + (upper ? " LIKE " : " like ") + quote(text);
        case IsNull:
            return name(onN ? "N" : "S") + (upper ? " IS " : " is ") +
                   (negated ? (upper ? "NOT " : "not ") : "") + (upper ? "NULL" : "null");
        case And:
        case Or:
            return "(" + kids[0].Render(upper, names) +
                   (kind == And ? (upper ? " AND " : " and ") : (upper ? " OR " : " or ")) +
                   kids[1].Render(upper, names) + ")";
        case Not:
            return std::string(upper ? "NOT " : "not ") + "(" + kids[0].Render(upper, names) + ")";
        }
        return {};
    }

    static std::string quote(const std::string& text) {
        std::string quoted;
        for (char ch : text)
            quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
        return "'" + quoted + "'";
    }

    // The characters of a text, each folded to lower case when IgnoreCase (the model's
    // alphabet: ASCII and the two accented capitals of kTexts).
    static std::vector<std::string> characters(const std::string& text, bool ignoreCase) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t n = 1;
            while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
                ++n;
            std::string ch = text.substr(i, n);
            if (ignoreCase) {
                if (ch == "\xC3\x84")
                    ch = "\xC3\xA4";
                else if (ch == "\xC3\x89")
                    ch = "\xC3\xA9";
                else if (n == 1)
                    ch[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(ch[0])));
            }
            out.push_back(ch);
            i += n;
        }
        return out;
    }
    static bool likeAt(const std::vector<std::string>& t, std::size_t i,
                       const std::vector<std::string>& p, std::size_t j) {
        if (j == p.size())
            return i == t.size();
        if (p[j] == "%")
            return likeAt(t, i, p, j + 1) || (i < t.size() && likeAt(t, i + 1, p, j));
        return i < t.size() && (p[j] == "_" || p[j] == t[i]) && likeAt(t, i + 1, p, j + 1);
    }

    // SQL's truth values: a comparison or like with a null is unknown.
    enum Truth { False, True, Unknown };

    /// Whether the record passes: only when the whole expression is true.
    [[nodiscard]] bool Accepts(int k, const Value& n, const Text& s, TFilterOptions options) const {
        return Eval(k, n, s, options) == True;
    }

    [[nodiscard]] Truth Eval(int k, const Value& n, const Text& s, TFilterOptions options) const {
        auto truth = [](bool b) { return b ? True : False; };
        auto holds = [this](int c) {
            switch (op) {
            case 0:
                return c == 0;
            case 1:
                return c != 0;
            case 2:
                return c < 0;
            case 3:
                return c <= 0;
            case 4:
                return c > 0;
            default:
                return c >= 0;
            }
        };
        switch (kind) {
        case Compare: {
            const int other = withK ? k : number;
            if (onN)
                return n ? truth(holds(*n < other ? -1 : (*n > other ? 1 : 0))) : Unknown;
            if (!s)
                return Unknown;
            const bool ci = options.Contains(foCaseInsensitive);
            if (op <= 1 && !options.Contains(foNoPartialCompare) && !text.empty() &&
                text.back() == '*') {
                const std::string prefix = text.substr(0, text.size() - 1);
                const bool begins =
                    ci ? AnsiCompareText(utf8Left(*s, utf8Length(prefix)), prefix) == 0
                       : s->compare(0, prefix.size(), prefix) == 0;
                return truth(op == 0 ? begins : !begins);
            }
            if (ci)
                return truth(holds(AnsiCompareText(*s, text)));
            if (op <= 1)
                return truth(holds(*s == text ? 0 : 1));
            return truth(holds(AnsiCompareStr(*s, text)));
        }
        case IsNull:
            return truth((onN ? !n : !s) != negated);
        case Like: {
            if (!s)
                return Unknown;
            const bool ci = options.Contains(foCaseInsensitive);
            return truth(likeAt(characters(*s, ci), 0, characters(text, ci), 0));
        }
        case And: {
            const Truth a = kids[0].Eval(k, n, s, options), b = kids[1].Eval(k, n, s, options);
            return a == False || b == False ? False : (a == True && b == True ? True : Unknown);
        }
        case Or: {
            const Truth a = kids[0].Eval(k, n, s, options), b = kids[1].Eval(k, n, s, options);
            return a == True || b == True ? True : (a == False && b == False ? False : Unknown);
        }
        case Not: {
            const Truth a = kids[0].Eval(k, n, s, options);
            return a == Unknown ? Unknown : truth(a == False);
        }
        }
        return Unknown;
    }
};

// Texts a filter compares S with: the records' texts, partial forms, one no record holds.
inline const std::vector<std::string> kFilterTexts = {"a*",  "A*", "\xC3\xA4*", "\xC3\x84*",
                                                      "ab*", "*",  "a'b",       "a*b"};

// Patterns of like: % and _ with letters of either case.
inline const char* const kLikePatterns[] = {"a%", "A%",         "\xC3\x84%", "%b", "_",
                                            "_B", "%\xC3\xA4%", "a_",        "%",  "\xC3\xA9"};

inline FExpr randomExpr(std::mt19937& rng, int depth) {
    FExpr e;
    const unsigned pick = rng() % (depth > 0 ? 8 : 5);
    if (pick >= 5) {
        e.kind = pick == 5 ? FExpr::And : pick == 6 ? FExpr::Or : FExpr::Not;
        e.kids.push_back(randomExpr(rng, depth - 1));
        if (e.kind != FExpr::Not)
            e.kids.push_back(randomExpr(rng, depth - 1));
        return e;
    }
    e.onN = rng() % 2 == 0;
    e.kind = pick == 4 ? (e.onN            ? FExpr::IsNull
                          : rng() % 2 == 0 ? FExpr::IsNull
                                           : FExpr::Like)
                       : FExpr::Compare;
    e.reversed = rng() % 4 == 0;
    e.withK = e.onN && rng() % 6 == 0;
    e.negated = rng() % 2 == 0;
    e.op = static_cast<int>(rng() % 6);
    if (e.onN && e.op > 1 && rng() % 2 == 0)
        e.op = static_cast<int>(rng() % 2); // more = and <>
    e.number = static_cast<int>(rng() % 9) - 1;
    const std::size_t t = rng() % (kTexts.size() + kFilterTexts.size());
    e.text = t < kTexts.size() ? kTexts[t] : kFilterTexts[t - kTexts.size()];
    if (!e.onN && e.text.back() == '*' && rng() % 3 != 0)
        e.op = static_cast<int>(rng() % 2);
    if (e.kind == FExpr::Like)
        e.text = kLikePatterns[rng() % std::size(kLikePatterns)];
    return e;
}

// Texts the expression parser must refuse.
inline const char* const kBadFilters[] = {"N =",    "(N > 1", "S = 'a", "N = 1 and",
                                          "N is 1", "not",    "N = 1)"};

inline std::string valueLiteral(const Value& n) {
    return n ? std::to_string(*n) : "Null()";
}

// Runs one sequence on a closed query whose open gives Rows (fields K, N, S) and on the
// model; returns the first disagreement (empty when none) and, in Code, Setup followed by
// the C++ statements of the steps that applied.
class Runner {
public:
    Runner(TSybQuery& Query, const std::string& Setup, const std::vector<MRecord>& Rows,
           const std::vector<Op>& Ops)
        : m_q(Query), m_initial(Rows), m_ops(Ops) {
        m_code << Setup;
    }

    std::string Run() {
        m_code << "auto evenN = [](TDataSet* ds, bool& accept) { accept = "
                  "!ds->FieldByName(\"N\")->IsNull() && "
                  "ds->FieldByName(\"N\")->AsInteger() % 2 == 0; };\n"
                  "auto beforeB = [](TDataSet* ds, bool& accept) { accept = "
                  "ds->FieldByName(\"S\")->IsNull() || "
                  "AnsiCompareTextRu(ds->FieldByName(\"S\")->AsString(), \"b\") < 0; };\n"
                  "std::vector<TBookmark> marks;\n";
        try {
            open();
            if (std::string e = check(); !e.empty())
                return e;
            for (std::size_t i = 0; i < m_ops.size(); ++i) {
                if (std::string e = step(m_ops[i]); !e.empty())
                    return "step " + std::to_string(i) + ": " + e;
                if (std::string e = check(); !e.empty())
                    return "after step " + std::to_string(i) + ": " + e;
            }
        } catch (const std::exception& e) {
            return std::string("unexpected exception: ") + e.what();
        }
        return {};
    }

    [[nodiscard]] std::string Code() const { return m_code.str(); }

private:
    // ---- the model ----------------------------------------------------------------------
    // Whether the filter conditions (expression, then handler; a missing one accepts) take R.
    [[nodiscard]] bool passes(const MRecord& r) const {
        if (m_expr && !m_expr->Accepts(r.k, r.n, r.s, m_filterOptions))
            return false;
        return m_filterKind < 0 || filterAccepts(m_filterKind, r.n, r.s);
    }
    [[nodiscard]] std::vector<int> visible() const {
        std::vector<int> out;
        for (std::size_t i = 0; i < m_recs.size(); ++i)
            if (!m_filtered || passes(m_recs[i]))
                out.push_back(static_cast<int>(i));
        return out;
    }
    [[nodiscard]] int indexOfKey(int k) const {
        for (std::size_t i = 0; i < m_recs.size(); ++i)
            if (m_recs[i].k == k)
                return static_cast<int>(i);
        return -1;
    }
    [[nodiscard]] bool shown(int index) const {
        return !m_filtered || passes(m_recs[static_cast<std::size_t>(index)]);
    }
    int compare(const MRecord& x, const MRecord& y, const std::string& fields,
                TBTCompareOptions options) const {
        int pos = 1;
        while (pos <= static_cast<int>(fields.size())) {
            const std::string name = ExtractFieldName(fields, pos);
            int c = 0;
            if (name == "N") {
                if (x.n && y.n)
                    c = *x.n < *y.n ? -1 : (*x.n > *y.n ? 1 : 0);
                else
                    c = (x.n ? 1 : 0) - (y.n ? 1 : 0);
            } else {
                if (x.s && y.s)
                    c = options.Contains(btcoCaseInsensitive) ? AnsiCompareTextRu(*x.s, *y.s)
                                                              : AnsiCompareStr(*x.s, *y.s);
                else
                    c = (x.s ? 1 : 0) - (y.s ? 1 : 0);
            }
            if (c != 0)
                return c;
        }
        return x.seq < y.seq ? -1 : (x.seq > y.seq ? 1 : 0);
    }
    void sortModel(const std::string& fields, TBTCompareOptions options) {
        if (fields.empty() || m_recs.empty())
            return;
        const bool desc = options.Contains(btcoDescending);
        std::sort(m_recs.begin(), m_recs.end(), [&](const MRecord& x, const MRecord& y) {
            const int c = compare(x, y, fields, options);
            return desc ? c > 0 : c < 0;
        });
        // The dataset comes back to the record that was current.
        if (m_cur >= 0)
            m_bof = m_eof = false;
    }
    // Where the host's re-read of the window lands after the record at Index changed or
    // went: that record when shown, else the next one shown, else the last one shown.
    void settleAt(int index) {
        const std::vector<int> vis = visible();
        m_cur = -1;
        for (int v : vis)
            if (v >= index) {
                m_cur = m_recs[static_cast<std::size_t>(v)].k;
                break;
            }
        if (m_cur < 0 && !vis.empty())
            m_cur = m_recs[static_cast<std::size_t>(vis.back())].k;
        m_bof = m_eof = m_cur < 0;
    }
    void first() {
        const std::vector<int> vis = visible();
        m_cur = vis.empty() ? -1 : m_recs[static_cast<std::size_t>(vis.front())].k;
        m_bof = true;
        m_eof = vis.empty();
    }
    // Refresh reads the rows given to the query again. A record found again by all its
    // data fields (the key is never edited, so at most one) keeps its identity: its
    // bookmarks stay valid and it keeps its place among equal sort values; the others
    // take new identities in fetch order.
    void refreshModel() {
        const std::vector<MRecord> before = m_recs;
        m_recs = m_initial;
        std::vector<int> kept;
        for (MRecord& r : m_recs) {
            const auto old = std::find_if(before.begin(), before.end(), [&](const MRecord& b) {
                return b.k == r.k && b.n == r.n && b.s == r.s;
            });
            if (old != before.end()) {
                r.seq = old->seq;
                kept.push_back(r.k);
            } else {
                r.seq = m_nextSeq++;
            }
        }
        for (auto& mark : m_marks)
            if (std::find(kept.begin(), kept.end(), mark.second) == kept.end())
                mark.second = -1;
    }
    void open() {
        m_q.Open();
        m_recs = m_initial;
        m_changedFetched.clear(); // closing discarded what was not applied
        for (auto& mark : m_marks)
            mark.second = -1; // bookmarks of an earlier open name nothing
        // The first record shown in fetch order is current; AutoSort then sorts and comes
        // back to it.
        first();
        if (m_autoSort)
            sortModel(m_sortFields, m_options);
        m_code << "q.Open();\n";
    }

    // ---- one step ---------------------------------------------------------------------------
    std::string step(const Op& op) {
        const std::vector<int> vis = visible();
        const int curIndex = m_cur >= 0 ? indexOfKey(m_cur) : -1;
        auto visPos = [&] {
            return static_cast<int>(std::find(vis.begin(), vis.end(), curIndex) - vis.begin());
        };
        const Value n = op.a % 4 == 0 ? Value() : Value(op.a % 7);
        const Text s =
            op.b % 5 == 0 ? Text() : Text(kTexts[static_cast<std::size_t>(op.b) % kTexts.size()]);
        switch (op.kind) {
        case kFirst:
            m_q.First();
            first();
            m_code << "q.First();\n";
            break;
        case kLast:
            m_q.Last();
            m_cur = vis.empty() ? -1 : m_recs[static_cast<std::size_t>(vis.back())].k;
            m_eof = true;
            m_bof = vis.empty();
            m_code << "q.Last();\n";
            break;
        case kNext:
        case kPrior:
        case kMoveBy: {
            const int d = op.kind == kNext ? 1 : op.kind == kPrior ? -1 : op.c % 7 - 3;
            const int moved = m_q.MoveBy(d);
            m_code << "q.MoveBy(" << d << ");\n";
            int expect = 0;
            if ((d > 0 && !m_eof) || (d < 0 && !m_bof)) {
                m_bof = m_eof = false;
                int p = visPos();
                const int target = p + d;
                if (target >= static_cast<int>(vis.size())) {
                    expect = static_cast<int>(vis.size()) - 1 - p;
                    m_eof = true;
                } else if (target < 0) {
                    expect = -p;
                    m_bof = true;
                } else {
                    expect = d;
                }
                if (!vis.empty())
                    m_cur =
                        m_recs[static_cast<std::size_t>(vis[static_cast<std::size_t>(p + expect)])]
                            .k;
            }
            if (moved != expect)
                return "MoveBy moved " + std::to_string(moved) + ", expected " +
                       std::to_string(expect);
            break;
        }
        case kEditPost:
        case kEditCancel: {
            if (m_cur < 0)
                return {};
            const bool onN = op.c % 2 == 0;
            m_q.Edit();
            TField* f = m_q.FieldByName(onN ? "N" : "S");
            if (onN) {
                if (n)
                    f->SetAsInteger(*n);
                else
                    f->Clear();
            } else {
                if (s)
                    f->SetAsString(*s);
                else
                    f->Clear();
            }
            m_code << "q.Edit(); q.FieldByName(\"" << (onN ? "N" : "S") << "\")->"
                   << (onN ? (n ? "SetAsInteger(" + std::to_string(*n) + ")"
                                : std::string("Clear()"))
                           : (s ? "SetAsString(" + textLiteral(s) + ")" : std::string("Clear()")));
            if (op.kind == kEditCancel) {
                m_q.Cancel();
                m_code << "; q.Cancel();\n";
                m_bof = m_eof = false;
                break;
            }
            m_q.Post();
            m_code << "; q.Post();\n";
            MRecord& r = m_recs[static_cast<std::size_t>(curIndex)];
            changed(r.k);
            if (onN)
                r.n = n;
            else
                r.s = s;
            const int k = r.k;
            if (m_autoSort)
                sortModel(m_sortFields, m_options);
            settleAt(indexOfKey(k));
            break;
        }
        case kInsertPost:
        case kAppendPost:
        case kInsertCancel: {
            const bool append = op.kind == kAppendPost;
            if (append)
                m_q.Append();
            else
                m_q.Insert();
            m_code << (append ? "q.Append();" : "q.Insert();");
            if (op.kind == kInsertCancel) {
                m_q.Cancel();
                m_code << " q.Cancel();\n";
                m_bof = m_eof = m_cur < 0;
                break;
            }
            const int k = m_nextKey++;
            m_q.FieldByName("K")->SetAsInteger(k);
            if (n)
                m_q.FieldByName("N")->SetAsInteger(*n);
            if (s)
                m_q.FieldByName("S")->SetAsString(*s);
            m_q.Post();
            m_code << " q.FieldByName(\"K\")->SetAsInteger(" << k << ");";
            if (n)
                m_code << " q.FieldByName(\"N\")->SetAsInteger(" << *n << ");";
            if (s)
                m_code << " q.FieldByName(\"S\")->SetAsString(" << textLiteral(s) << ");";
            m_code << " q.Post();\n";
            MRecord r{k, n, s, m_nextSeq++};
            if (append)
                m_recs.push_back(r);
            else
                m_recs.insert(m_recs.begin() + (m_cur >= 0 ? curIndex : 0), r);
            if (m_autoSort)
                sortModel(m_sortFields, m_options);
            settleAt(indexOfKey(k));
            break;
        }
        case kDelete: {
            if (m_cur < 0)
                return {};
            m_q.Delete();
            m_code << "q.Delete();\n";
            changed(m_recs[static_cast<std::size_t>(curIndex)].k);
            m_recs.erase(m_recs.begin() + curIndex);
            settleAt(curIndex);
            break;
        }
        case kSort: {
            const std::string fields = kSortFieldLists[op.a % 4];
            const TBTCompareOptions options =
                TBTCompareOptions::FromBits(static_cast<uint8_t>(op.b % 4));
            m_q.SetSortFieldNames(fields);
            m_q.Sort(options);
            m_code << "q.SetSortFieldNames(\"" << fields
                   << "\"); q.Sort(TBTCompareOptions::FromBits(" << int(options.Bits()) << "));\n";
            m_sortFields = fields;
            m_options = options;
            sortModel(fields, options);
            break;
        }
        case kSortOn: {
            if (m_autoSort)
                return {}; // AutoSort keeps the order of SortFields
            const std::string fields = kSortFieldLists[op.a % 4];
            const TBTCompareOptions options =
                TBTCompareOptions::FromBits(static_cast<uint8_t>(op.b % 4));
            m_q.SortOn(fields, options);
            m_code << "q.SortOn(\"" << fields << "\", TBTCompareOptions::FromBits("
                   << int(options.Bits()) << "));\n";
            m_options = options;
            sortModel(fields, options);
            break;
        }
        case kAutoSort: {
            const bool on = !m_autoSort;
            m_q.SetAutoSort(on);
            m_code << "q.SetAutoSort(" << (on ? "true" : "false") << ");\n";
            m_autoSort = on;
            if (on)
                sortModel(m_sortFields, m_options);
            break;
        }
        case kFilter: {
            // A handler (or none, leaving only the expression), then filtering on.
            const int kind = op.a % 3 == 2 ? -1 : op.a % 3;
            if (kind < 0) {
                m_q.SetOnFilterRecord(nullptr);
            } else {
                m_q.SetOnFilterRecord([kind](TDataSet* ds, bool& accept) {
                    TField* nf = ds->FieldByName("N");
                    TField* sf = ds->FieldByName("S");
                    accept = filterAccepts(kind, nf->IsNull() ? Value() : Value(nf->AsInteger()),
                                           sf->IsNull() ? Text() : Text(sf->AsString()));
                });
            }
            m_q.SetFiltered(true);
            m_code << "q.SetOnFilterRecord("
                   << (kind < 0    ? "nullptr"
                       : kind == 0 ? "evenN"
                                   : "beforeB")
                   << "); q.SetFiltered(true);\n";
            m_filtered = true;
            m_filterKind = kind;
            first();
            break;
        }
        case kFilterExpr: {
            // A new expression (re-read when filtering is on), an empty one, or a text the
            // parser refuses (the former expression stays).
            const int variant = op.c % 10;
            if (variant == 0) {
                const char* bad =
                    kBadFilters[static_cast<std::size_t>(op.a) % std::size(kBadFilters)];
                m_code << "EXPECT_THROW(q.SetFilter(" << textLiteral(std::string(bad))
                       << "), EDatabaseError);\n";
                try {
                    m_q.SetFilter(bad);
                    return std::string("SetFilter(\"") + bad + "\") did not raise";
                } catch (const EDatabaseError&) {
                }
                break;
            }
            std::string text;
            if (variant == 1) {
                m_expr.reset();
            } else {
                std::mt19937 rng(static_cast<uint32_t>(op.a * 1000 + op.b));
                m_expr = randomExpr(rng, 2);
                text = m_expr->Render(op.b % 3 == 0, op.a % 4);
            }
            m_q.SetFilter(text);
            m_code << "q.SetFilter(" << textLiteral(text) << ");\n";
            if (m_filtered)
                first();
            break;
        }
        case kFilterOptions: {
            const TFilterOptions options =
                TFilterOptions::FromBits(static_cast<uint64_t>(op.a % 4));
            m_q.SetFilterOptions(options);
            m_code << "q.SetFilterOptions(TFilterOptions::FromBits(" << op.a % 4 << "));\n";
            const bool changed = options != m_filterOptions;
            m_filterOptions = options;
            if (m_filtered && changed)
                first();
            break;
        }
        case kEditRefilter: {
            // Filtering switched during an edit: the edit is posted, then the records are
            // read again under the filter from the first.
            if (m_cur < 0)
                return {};
            const bool on = op.c % 2 == 0;
            m_q.Edit();
            if (n)
                m_q.FieldByName("N")->SetAsInteger(*n);
            else
                m_q.FieldByName("N")->Clear();
            m_q.SetFiltered(on);
            m_code << "q.Edit(); q.FieldByName(\"N\")->"
                   << (n ? "SetAsInteger(" + std::to_string(*n) + ")" : "Clear()")
                   << "; q.SetFiltered(" << (on ? "true" : "false") << ");\n";
            m_recs[static_cast<std::size_t>(curIndex)].n = n;
            changed(m_recs[static_cast<std::size_t>(curIndex)].k);
            if (m_autoSort)
                sortModel(m_sortFields, m_options);
            m_filtered = on;
            first();
            break;
        }
        case kFind: {
            // Find* search with the filter conditions whether or not filtering is on.
            const int which = op.a % 4;
            const bool restart = which < 2, forward = which % 2 == 0;
            static const char* const kNames[] = {"FindFirst", "FindLast", "FindNext", "FindPrior"};
            if (!restart && m_cur < 0)
                return {};
            bool found = false;
            switch (which) {
            case 0:
                found = m_q.FindFirst();
                break;
            case 1:
                found = m_q.FindLast();
                break;
            case 2:
                found = m_q.FindNext();
                break;
            default:
                found = m_q.FindPrior();
                break;
            }
            m_code << "q." << kNames[which] << "();\n";
            const int count = static_cast<int>(vis.size());
            int p = restart ? (forward ? -1 : count) : visPos();
            int hit = -1;
            for (int i = p + (forward ? 1 : -1); i >= 0 && i < count; i += forward ? 1 : -1)
                if (passes(m_recs[static_cast<std::size_t>(vis[static_cast<std::size_t>(i)])])) {
                    hit = vis[static_cast<std::size_t>(i)];
                    break;
                }
            if (found != (hit >= 0))
                return std::string(kNames[which]) + " found " + (found ? "a record" : "nothing");
            if (m_q.Found() != found)
                return std::string("Found() disagrees with ") + kNames[which];
            if (hit >= 0) {
                m_cur = m_recs[static_cast<std::size_t>(hit)].k;
                m_bof = m_eof = false;
            }
            break;
        }
        case kUnfilter:
            m_q.SetFiltered(false);
            m_code << "q.SetFiltered(false);\n";
            m_filtered = false;
            first();
            break;
        case kLocate: {
            if (!n)
                return {};
            const bool found = m_q.Locate("N", *n, {});
            m_code << "q.Locate(\"N\", " << *n << ", {});\n";
            int hit = -1;
            for (int v : vis)
                if (m_recs[static_cast<std::size_t>(v)].n == n) {
                    hit = v;
                    break;
                }
            if (found != (hit >= 0))
                return std::string("Locate found ") + (found ? "a record" : "nothing");
            if (hit >= 0) {
                m_cur = m_recs[static_cast<std::size_t>(hit)].k;
                m_bof = m_eof = false;
            }
            break;
        }
        case kLocateText: {
            if (!s)
                return {};
            const bool found = m_q.Locate("S", *s, {loCaseInsensitive, loPartialKey});
            m_code << "q.Locate(\"S\", " << textLiteral(s)
                   << ", {loCaseInsensitive, loPartialKey});\n";
            int hit = -1;
            for (int v : vis) {
                const Text& t = m_recs[static_cast<std::size_t>(v)].s;
                if (t && AnsiCompareTextRu(*s, utf8Left(*t, utf8Length(*s))) == 0) {
                    hit = v;
                    break;
                }
            }
            if (found != (hit >= 0))
                return std::string("text Locate found ") + (found ? "a record" : "nothing");
            if (hit >= 0) {
                m_cur = m_recs[static_cast<std::size_t>(hit)].k;
                m_bof = m_eof = false;
            }
            break;
        }
        case kLookup: {
            if (!n)
                return {};
            const Variant got = m_q.Lookup("N", *n, "K");
            m_code << "q.Lookup(\"N\", " << *n << ", \"K\");\n";
            int expect = -1;
            for (int v : vis)
                if (m_recs[static_cast<std::size_t>(v)].n == n) {
                    expect = m_recs[static_cast<std::size_t>(v)].k;
                    break;
                }
            if (got.IsNull() != (expect < 0) || (expect >= 0 && got.AsInteger() != expect))
                return "Lookup gave " + (got.IsNull() ? std::string("Null") : got.AsString()) +
                       ", expected K " + std::to_string(expect);
            break;
        }
        case kRemember:
            if (m_cur < 0)
                return {};
            m_marks.emplace_back(m_q.GetBookmark(), m_cur);
            m_code << "marks.push_back(q.GetBookmark());\n";
            break;
        case kGoto: {
            if (m_marks.empty())
                return {};
            const std::size_t i = static_cast<std::size_t>(op.a) % m_marks.size();
            const int k = m_marks[i].second;
            const int index = k >= 0 ? indexOfKey(k) : -1;
            m_code << "q.GotoBookmark(marks[" << i << "]);\n";
            if (index >= 0 && shown(index)) {
                m_q.GotoBookmark(m_marks[i].first);
                m_cur = k;
                m_bof = m_eof = false;
            } else {
                try {
                    m_q.GotoBookmark(m_marks[i].first);
                    return "GotoBookmark of a record not shown did not raise";
                } catch (const EDatabaseError&) {
                }
            }
            break;
        }
        case kSetRecNo: {
            if (vis.empty())
                return {};
            const int number = op.a % (static_cast<int>(vis.size()) + 2);
            m_q.SetRecNo(number);
            m_code << "q.SetRecNo(" << number << ");\n";
            if (number >= 1 && number <= static_cast<int>(vis.size()))
                m_cur =
                    m_recs[static_cast<std::size_t>(vis[static_cast<std::size_t>(number - 1)])].k;
            m_bof = m_eof = false;
            break;
        }
        case kRefresh: {
            // The rows are read again (those given to the query, edits gone); the cursor
            // goes to the record with the current record's values, else to the same index.
            if (m_cur < 0)
                return {};
            if (pending()) {
                // Changes not yet applied would be lost: Refresh refuses and changes nothing.
                m_code << "EXPECT_THROW(q.Refresh(), EDatabaseError);\n";
                try {
                    m_q.Refresh();
                    return "Refresh with changes not yet applied did not raise";
                } catch (const EDatabaseError&) {
                }
                break;
            }
            const MRecord was = m_recs[static_cast<std::size_t>(curIndex)];
            m_q.Refresh();
            m_code << "q.Refresh();\n";
            refreshModel();
            if (m_autoSort && !m_sortFields.empty() && !m_recs.empty()) {
                const bool desc = m_options.Contains(btcoDescending);
                std::sort(m_recs.begin(), m_recs.end(), [&](const MRecord& x, const MRecord& y) {
                    const int c = compare(x, y, m_sortFields, m_options);
                    return desc ? c > 0 : c < 0;
                });
            }
            int target = -1;
            for (std::size_t i = 0; i < m_recs.size() && target < 0; ++i) {
                const MRecord& r = m_recs[i];
                if (r.k == was.k && r.n == was.n && r.s == was.s)
                    target = static_cast<int>(i);
            }
            if (target < 0)
                target = std::min(curIndex, static_cast<int>(m_recs.size()) - 1);
            if (target < 0) {
                m_cur = -1;
                m_bof = m_eof = true;
            } else {
                settleAt(target);
            }
            break;
        }
        case kReopen:
            m_q.Close();
            m_code << "q.Close();\n";
            open();
            break;
        }
        return {};
    }

    // ---- the comparison ------------------------------------------------------------------------
    std::string check() {
        const std::vector<int> vis = visible();
        std::ostringstream err;
        if (m_q.Bof() != m_bof || m_q.Eof() != m_eof)
            err << "Bof/Eof " << m_q.Bof() << m_q.Eof() << ", expected " << m_bof << m_eof << "; ";
        if (m_q.IsEmpty() != (m_cur < 0))
            err << "IsEmpty " << m_q.IsEmpty() << "; ";
        if (m_cur >= 0 && !m_q.IsEmpty() && m_q.FieldByName("K")->AsInteger() != m_cur)
            err << "current K " << m_q.FieldByName("K")->AsInteger() << ", expected " << m_cur
                << "; ";
        if (m_q.RecordCount() != static_cast<int>(vis.size()))
            err << "RecordCount " << m_q.RecordCount() << ", expected " << vis.size() << "; ";
        int recNo = -1;
        for (std::size_t i = 0; i < vis.size(); ++i)
            if (m_recs[vis[i]].k == m_cur)
                recNo = static_cast<int>(i) + 1;
        if (m_q.RecNo() != recNo)
            err << "RecNo " << m_q.RecNo() << ", expected " << recNo << "; ";
        // Bookmarks: valid while their record is stored, ordered by where the records
        // stand now (one that names nothing first).
        auto positionOf = [&](std::size_t i) {
            return m_marks[i].second >= 0 ? indexOfKey(m_marks[i].second) : -1;
        };
        for (std::size_t i = 0; i < m_marks.size(); ++i) {
            if (m_q.BookmarkValid(m_marks[i].first) != (positionOf(i) >= 0))
                err << "BookmarkValid(marks[" << i << "]) wrong; ";
            if (i == 0)
                continue;
            const int a = positionOf(i - 1), b = positionOf(i);
            if (m_q.CompareBookmarks(m_marks[i - 1].first, m_marks[i].first) !=
                (a < b ? -1 : (a > b ? 1 : 0)))
                err << "CompareBookmarks(marks[" << i - 1 << "], marks[" << i << "]) wrong; ";
        }
        // The records shown, walked as an application walks them; then back to the record.
        const TBookmark here = m_q.GetBookmark();
        std::vector<int> keys, expected;
        for (m_q.First(); !m_q.Eof(); m_q.Next())
            keys.push_back(m_q.FieldByName("K")->AsInteger());
        for (int v : vis)
            expected.push_back(m_recs[static_cast<std::size_t>(v)].k);
        if (keys != expected) {
            err << "shown K";
            for (int k : keys)
                err << ' ' << k;
            err << ", expected";
            for (int k : expected)
                err << ' ' << k;
            err << "; ";
        }
        if (!here.empty()) {
            m_q.GotoBookmark(here);
            m_bof = m_eof = false;
        } else {
            m_q.First();
            m_bof = true;
            m_eof = vis.empty();
        }
        return err.str();
    }

    TSybQuery& m_q;
    std::vector<MRecord> m_initial;
    std::vector<Op> m_ops;
    std::ostringstream m_code;
    std::vector<MRecord> m_recs;
    int m_cur = -1;
    bool m_bof = true, m_eof = true;
    bool m_filtered = false;
    int m_filterKind = -1; // the handler: -1 none, else filterAccepts' kind
    std::optional<FExpr> m_expr;
    TFilterOptions m_filterOptions;
    bool m_autoSort = false;
    // Changes not yet applied to the server: fetched records edited or deleted since the open
    // (a record inserted and deleted again leaves nothing to apply), and inserted records.
    std::set<int> m_changedFetched;
    int m_firstNewKey = 100;
    void changed(int k) {
        if (k < m_firstNewKey)
            m_changedFetched.insert(k);
    }
    [[nodiscard]] bool pending() const {
        if (!m_changedFetched.empty())
            return true;
        for (const MRecord& r : m_recs)
            if (r.k >= m_firstNewKey)
                return true;
        return false;
    }
    std::string m_sortFields;
    TBTCompareOptions m_options;
    int m_nextKey = 100;
    int m_nextSeq = 1000;
    std::vector<std::pair<TBookmark, int>> m_marks;
};

struct Sequence {
    std::vector<MRecord> rows;
    std::vector<Op> ops;
};

inline Sequence generate(uint32_t seed, int length) {
    std::mt19937 rng(seed);
    Sequence seq;
    const int rows = static_cast<int>(rng() % 9);
    for (int i = 0; i < rows; ++i) {
        const int a = static_cast<int>(rng() % 28), b = static_cast<int>(rng() % 50);
        seq.rows.push_back(
            {i + 1, a % 4 == 0 ? Value() : Value(a % 7),
             b % 5 == 0 ? Text() : Text(kTexts[static_cast<std::size_t>(b) % kTexts.size()]),
             i + 1});
    }
    for (int i = 0; i < length; ++i)
        seq.ops.push_back({static_cast<int>(rng() % kOpCount), static_cast<int>(rng() % 1000),
                           static_cast<int>(rng() % 1000), static_cast<int>(rng() % 1000)});
    return seq;
}

/// Makes the closed query a sequence runs on, opening with the sequence's rows, and the
/// C++ statements that make it.
using QueryMaker =
    std::function<std::unique_ptr<TSybQuery>(const std::vector<MRecord>& Rows, std::string& Setup)>;

inline std::string runSequence(const Sequence& seq, const QueryMaker& make,
                               std::string* code = nullptr) {
    std::string setup;
    std::unique_ptr<TSybQuery> query = make(seq.rows, setup);
    Runner runner(*query, setup, seq.rows, seq.ops);
    std::string failure = runner.Run();
    if (code)
        *code = runner.Code();
    return failure;
}

// Removes steps (halves, then smaller chunks, then single steps) and rows while the
// sequence still fails.
inline Sequence shrink(Sequence seq, const QueryMaker& make) {
    for (std::size_t chunk = std::max<std::size_t>(seq.ops.size() / 2, 1); chunk >= 1; chunk /= 2) {
        for (std::size_t start = 0; start < seq.ops.size();) {
            Sequence smaller = seq;
            smaller.ops.erase(smaller.ops.begin() + static_cast<long>(start),
                              smaller.ops.begin() +
                                  static_cast<long>(std::min(start + chunk, smaller.ops.size())));
            if (!runSequence(smaller, make).empty())
                seq = smaller;
            else
                start += chunk;
        }
        if (chunk == 1)
            break;
    }
    for (std::size_t i = 0; i < seq.rows.size();) {
        Sequence smaller = seq;
        smaller.rows.erase(smaller.rows.begin() + static_cast<long>(i));
        if (!runSequence(smaller, make).empty())
            seq = smaller;
        else
            ++i;
    }
    return seq;
}

// --sequences N --seed S on the test program's command line.
inline int argument(const char* name, int fallback) {
    const std::vector<std::string> args = ::testing::internal::GetArgvs();
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == name)
            return std::stoi(args[i + 1]);
    return fallback;
}

/// Runs Sequences seeded sequences of 50 steps (the command line's --sequences and --seed
/// win); a failure is shrunk and reported with its C++ statements.
inline void runModel(const QueryMaker& make, int Sequences) {
    const int sequences = argument("--sequences", Sequences);
    const int seed = argument("--seed", 1);
    for (int i = 0; i < sequences; ++i) {
        const auto s = static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i);
        const Sequence seq = generate(s, 50);
        std::string failure = runSequence(seq, make);
        if (failure.empty())
            continue;
        const Sequence small = shrink(seq, make);
        std::string code;
        failure = runSequence(small, make, &code);
        ADD_FAILURE() << "sequence " << i << " (seed " << seed << ") fails: " << failure
                      << "\nshrunk to:\n"
                      << code;
        return;
    }
}

} // namespace modeltest

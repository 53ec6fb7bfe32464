// TSybQuery: applying the pending changes to the server. Each change becomes one insert,
// update or delete with every value as a literal of the package's literal builder, sent
// with "select @@rowcount" in the same batch; all of them run in one transaction on the
// query's connection, and a statement that does not touch exactly one row undoes them all.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

using namespace host;

namespace {

constexpr const char* kConflict = "Record changed or deleted by another user";

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The words and punctuation of a SQL text, lower-cased, without quoted literals (one
// placeholder token each) and comments.
std::vector<std::string> sqlTokens(const std::string& sql) {
    std::vector<std::string> out;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    auto word = [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c == '.' ||
               c >= 0x80;
    };
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            while (j < n && !(sql[j] == static_cast<char>(c) &&
                              (j + 1 >= n || sql[j + 1] != static_cast<char>(c))))
                j += sql[j] == static_cast<char>(c) ? 2 : 1;
            out.emplace_back("'");
            i = j + 1;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (word(c)) {
            std::size_t j = i;
            while (j < n && word(static_cast<unsigned char>(sql[j])))
                ++j;
            out.push_back(lower(sql.substr(i, j - i)));
            i = j;
        } else {
            out.emplace_back(1, static_cast<char>(c));
            ++i;
        }
    }
    return out;
}

bool isClauseWord(const std::string& t) {
    static const char* const kWords[] = {"where", "order",   "group", "having",
                                         "for",   "compute", "plan",  "at"};
    return std::any_of(std::begin(kWords), std::end(kWords), [&](const char* w) { return t == w; });
}

// Columns whose stored value may differ from what a literal says (approximate numbers)
// or that cannot be compared at all (text, image): never used to find a row.
bool locatable(TField* Field, TBTFetchField* Fetch) {
    const TFieldType t = Field->DataType();
    if (t == ftMemo || t == ftBlob || (t >= ftGraphic && t <= ftTypedBinary))
        return false;
    if (auto* column = dynamic_cast<TSybClientField*>(Fetch)) {
        const CS_INT type = column->DataType();
        if (type == CS_REAL_TYPE || type == CS_FLOAT_TYPE || type == CS_TEXT_TYPE ||
            type == CS_IMAGE_TYPE || type == CS_UNITEXT_TYPE)
            return false;
    }
    return true;
}

TUpdateKind changeKind(const TSybDataSet::TPendingChange& Change) {
    return Change.Deleted ? ukDelete : (Change.Original ? ukModify : ukInsert);
}

} // namespace

std::string TSybQuery::updateTable() const {
    const std::string named = Trim(FUpdateTableName);
    if (!named.empty())
        return named;
    // A select from one table: "select ... from name [[as] alias] [where ...]".
    const std::vector<std::string> t = sqlTokens(FSQL->Text());
    const auto count = [&](const char* w) {
        return std::count(t.begin(), t.end(), std::string(w));
    };
    const auto from = std::find(t.begin(), t.end(), std::string("from"));
    bool single = !t.empty() && t.front() == "select" && count("select") == 1 &&
                  count("from") == 1 && count("join") == 0 && count("union") == 0 &&
                  count("into") == 0 && from != t.end() && from + 1 != t.end();
    std::string table;
    if (single) {
        table = *(from + 1);
        auto rest = from + 2;
        if (rest != t.end() && *rest == "as")
            ++rest;
        if (rest != t.end() && !isClauseWord(*rest) &&
            std::isalpha(static_cast<unsigned char>((*rest)[0])))
            ++rest;
        const auto first = static_cast<unsigned char>(table[0]);
        single = (std::isalpha(first) || first == '#' || first == '_' || first >= 0x80) &&
                 (rest == t.end() || isClauseWord(*rest));
    }
    if (!single)
        throw ESybQueryError(
            "ApplyUpdates: the SQL of " + Name() +
            " is not a select from one table; set UpdateTableName to the table to update");
    // The table as the SQL spells it (the tokens were lower-cased).
    const std::string text = FSQL->Text();
    const std::string lowered = lower(text);
    const std::size_t at = lowered.find(table, lowered.find("from"));
    return at == std::string::npos ? table : text.substr(at, table.size());
}

int64_t TSybQuery::runUpdateBatch(const TUpdateBatch& Batch) {
    TSybQuery runner(nullptr);
    runner.SetDatabaseName(FDatabaseName);
    runner.SetExternalConnect(FExternalConnect);
    runner.SQL()->SetText(Batch.Marked + "\nselect @@rowcount");
    for (std::size_t i = 0; i < Batch.Values.size(); ++i)
        runner.ParamByName("v" + std::to_string(i + 1))
            ->AssignFieldValue(Batch.Values[i].first, Batch.Values[i].second);
    runner.Open();
    const int64_t value =
        runner.IsEmpty() || runner.FieldCount() == 0 ? 0 : runner.Fields()[0]->AsLargeInt();
    runner.Close();
    return value;
}

// One change's statement, written twice as it is built: with the literals (to show) and
// with a marker for each value, whose literal the statement's own query makes (the values
// never pass through the SQL text's lines, which would change their line ends).
class TSybQuery::TUpdateBuilder {
public:
    TUpdateBuilder(TSybQuery& Query, std::string Table)
        : m_query(Query), m_table(std::move(Table)) {
        if (!Trim(m_query.FKeyFields).empty())
            m_query.GetFieldList(m_keys, m_query.FKeyFields);
        if (m_query.FUpdateMode != upWhereAll && m_keys.empty())
            throw keyFieldsMissing(m_table);
        m_param = m_params.CreateParam(ftUnknown, "value", ptInput);
        for (TField* f : m_query.Fields())
            if (f->FieldKind() == fkData && f->FieldNo() > 0 &&
                f->FieldNo() <= m_query.FetchFieldCount())
                m_data.push_back(f);
    }

    /// "insert into t (columns) values (...)" of the non-null values of Current; empty when
    /// the dataset has no data column.
    TUpdateBatch insertStatement(const char* Current) {
        std::vector<TValue> values;
        std::string columns;
        for (TField* f : m_data) {
            TValue v = value(f, Current);
            if (v.literal == "NULL")
                continue; // the column's default or identity applies
            columns += (columns.empty() ? "" : ", ") + f->FieldName();
            values.push_back(std::move(v));
        }
        if (values.empty()) {
            // Every value null: one column named, so that the statement stays valid.
            if (m_data.empty())
                return {};
            text("insert into " + m_table + " (" + m_data.front()->FieldName() + ") values (NULL)");
            return std::move(m_batch);
        }
        text("insert into " + m_table + " (" + columns + ") values (");
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i)
                text(", ");
            put(values[i]);
        }
        text(")");
        return std::move(m_batch);
    }

    /// "update t set ... where ..." of the columns whose literal differs between Original
    /// and Current; empty when none does.
    TUpdateBatch updateStatement(const char* Current, const char* Original) {
        std::vector<TValue> after;
        for (TField* f : m_data) {
            TValue v = value(f, Current);
            if (value(f, Original).literal != v.literal)
                after.push_back(std::move(v));
        }
        if (after.empty())
            return {};
        text("update " + m_table + " set ");
        std::vector<TField*> changed;
        for (std::size_t i = 0; i < after.size(); ++i) {
            text((i ? ", " : "") + after[i].field->FieldName() + " = ");
            put(after[i]);
            changed.push_back(after[i].field);
        }
        whereClause(Original, changed);
        return std::move(m_batch);
    }

    /// "delete from t where ..." locating Original.
    TUpdateBatch deleteStatement(const char* Original) {
        text("delete from " + m_table);
        whereClause(Original, {});
        return std::move(m_batch);
    }

    static ESybQueryError keyFieldsMissing(const std::string& Table) {
        return ESybQueryError("ApplyUpdates: KeyFields must name the key columns of " + Table +
                              " for upWhereChanged and upWhereKeyOnly");
    }

private:
    struct TValue {
        TField* field;
        Variant value;
        std::string literal;
    };

    // Field's value in Buffer, and its literal.
    TValue value(TField* Field, const char* Buffer) {
        TValue v{Field, readIn(Field, Buffer), {}};
        m_param->AssignFieldValue(Field, v.value);
        v.literal = sqltext::ParamStrValue(*m_param);
        return v;
    }

    Variant readIn(TField* Field, const char* Buffer) {
        struct TReadScope {
            TRecordBuffer& slot;
            TRecordBuffer saved;
            ~TReadScope() { slot = saved; }
        } scope{m_query.FReadBuffer, m_query.FReadBuffer};
        m_query.FReadBuffer = const_cast<char*>(Buffer);
        return Field->Value();
    }

    void put(const TValue& Value) {
        m_batch.Text += Value.literal;
        m_batch.Marked += ":v" + std::to_string(m_batch.Values.size() + 1);
        m_batch.Values.emplace_back(Value.field, Value.value);
    }

    void text(const std::string& Piece) {
        m_batch.Text += Piece;
        m_batch.Marked += Piece;
    }

    // Whether the where clause names Field: a key always; with upWhereAll every column
    // that can locate a row, with upWhereChanged those among Changed.
    bool locates(TField* Field, const std::vector<TField*>& Changed) const {
        if (std::find(m_keys.begin(), m_keys.end(), Field) != m_keys.end())
            return true;
        if (m_query.FUpdateMode == upWhereKeyOnly ||
            !locatable(Field, m_query.GetFetchField(Field->FieldNo() - 1)))
            return false;
        return m_query.FUpdateMode == upWhereAll ||
               std::find(Changed.begin(), Changed.end(), Field) != Changed.end();
    }

    // " where a = ... and b is null" with Original's values.
    void whereClause(const char* Original, const std::vector<TField*>& Changed) {
        bool any = false;
        for (TField* f : m_data) {
            if (!locates(f, Changed))
                continue;
            const TValue v = value(f, Original);
            text((any ? " and " : " where ") + f->FieldName());
            any = true;
            if (v.literal == "NULL") {
                text(" is null");
            } else {
                text(" = ");
                put(v);
            }
        }
        if (!any)
            throw ESybQueryError(
                "ApplyUpdates: no column of " + m_table +
                " can locate a row (text, image and float columns cannot); set KeyFields");
    }

    TSybQuery& m_query;
    std::string m_table;
    std::vector<TField*> m_keys;
    std::vector<TField*> m_data; // the data fields of fetched columns, in field order
    TParams m_params;
    TParam* m_param = nullptr; // makes each value's literal
    TUpdateBatch m_batch;
};

TSybQuery::TUpdateBatch TSybQuery::buildUpdate(const TPendingChange& Change) {
    std::string table = updateTable();
    const char* current = nullptr;
    if (!Change.Deleted) {
        const int p = positionOfId(Change.Id);
        if (p < 0)
            return {};
        current = FRecords[static_cast<std::size_t>(p)];
    }
    TUpdateBuilder builder(*this, std::move(table));
    switch (changeKind(Change)) {
    case ukInsert:
        return builder.insertStatement(current);
    case ukModify:
        return builder.updateStatement(current, Change.Original);
    case ukDelete:
        break;
    }
    return builder.deleteStatement(Change.Original ? Change.Original : Change.Deleted);
}

std::string TSybQuery::UpdateStatement(const TPendingChange& Change) {
    return buildUpdate(Change).Text;
}

namespace {

// What an event handler's action makes of the change being applied.
enum class TOutcome { Applied, Skipped, Retry, Failed };

TOutcome outcomeOf(TUpdateAction Action) {
    switch (Action) {
    case uaApplied:
        return TOutcome::Applied;
    case uaSkip:
        return TOutcome::Skipped;
    case uaAbort:
        Abort();
    case uaRetry:
        return TOutcome::Retry;
    case uaFail:
        break;
    }
    return TOutcome::Failed;
}

// Raised when a change could not be applied: the error as it stands when it is already an
// update error, else its message as one. Called only while E is being handled.
[[noreturn]] void raiseAsUpdateError(Exception& E, const TBookmark& Bookmark, TUpdateKind Kind) {
    if (dynamic_cast<ESybUpdateError*>(&E))
        throw;
    throw ESybUpdateError(E.Message(), Bookmark, Kind);
}

// The conflict of a statement that did not touch exactly one row, saying which row: the
// key columns' values as fetched (all located columns without KeyFields), read back from
// the where clause.
std::string conflictMessage(const std::string& Sql, const std::string& Table) {
    const std::size_t where = Sql.find(" where ");
    const std::string key = where == std::string::npos ? std::string() : Sql.substr(where + 7);
    return std::string(kConflict) + " (table " + Table +
           (key.empty() ? "" : ", key " + (key.size() > 200 ? key.substr(0, 200) + "..." : key)) +
           ")";
}

} // namespace

bool TSybQuery::applyChange(const TPendingChange& Change, const std::string& Table) {
    const TUpdateKind kind = changeKind(Change);
    const char* record = Change.Deleted;
    if (!record) {
        const int p = positionOfId(Change.Id);
        if (p < 0)
            return true;
        record = FRecords[static_cast<std::size_t>(p)];
    }
    TBookmark bookmark(sizeof(int32_t), '\0');
    std::memcpy(bookmark.data(), &Change.Id, sizeof(int32_t));

    // While the events run, the fields read the record being applied.
    struct TReadScope {
        TRecordBuffer& slot;
        TRecordBuffer saved;
        ~TReadScope() { slot = saved; }
    } scope{FReadBuffer, FReadBuffer};
    auto ask = [&](auto&& Handler) {
        TUpdateAction action = uaFail;
        FReadBuffer = const_cast<char*>(record);
        Handler(action);
        FReadBuffer = scope.saved;
        return outcomeOf(action);
    };

    for (;;) {
        try {
            if (FOnUpdateRecord) {
                const TOutcome outcome =
                    ask([&](TUpdateAction& Action) { FOnUpdateRecord(this, kind, Action); });
                if (outcome == TOutcome::Retry)
                    continue;
                if (outcome == TOutcome::Failed)
                    throw ESybUpdateError(
                        "ApplyUpdates: the record was not applied (" + Table + ")", bookmark, kind);
                return outcome == TOutcome::Applied;
            }
            const TUpdateBatch batch = buildUpdate(Change);
            if (batch.Marked.empty())
                return true;
            if (runUpdateBatch(batch) != 1)
                throw ESybUpdateError(conflictMessage(batch.Text, Table), bookmark, kind);
            return true;
        } catch (EAbort&) {
            throw;
        } catch (Exception& e) {
            if (!FOnUpdateError)
                raiseAsUpdateError(e, bookmark, kind);
            const TOutcome outcome =
                ask([&](TUpdateAction& Action) { FOnUpdateError(this, e, kind, Action); });
            if (outcome == TOutcome::Retry)
                continue;
            if (outcome == TOutcome::Failed)
                raiseAsUpdateError(e, bookmark, kind);
            return outcome == TOutcome::Applied;
        }
    }
}

void TSybQuery::ApplyUpdates() {
    if (!Active())
        return;
    CheckBrowseMode();
    if (!UpdatesPending())
        return;
    // Everything that can be told before sending is checked first.
    const std::string table = updateTable();
    if (FUpdateMode != upWhereAll && Trim(FKeyFields).empty())
        throw TUpdateBuilder::keyFieldsMissing(table);
    ResolveConnection();
    std::lock_guard<std::recursive_mutex> lock(FSybConnect->Lock());
    auto exec = [&](const std::string& sql) {
        TSybQuery runner(nullptr);
        runner.SetDatabaseName(FDatabaseName);
        runner.SetExternalConnect(FExternalConnect);
        runner.SQL()->SetText(sql);
        runner.ExecSQL();
    };
    exec("begin tran");
    std::vector<int32_t> skipped;
    std::vector<std::vector<int32_t>> parkedSkipped(parkedCount());
    auto applyAll = [&](std::vector<int32_t>& Skipped) {
        // A copy: an event handler must not see the list change under it.
        const std::vector<TPendingChange> changes = FPending;
        for (const TPendingChange& change : changes)
            if (!applyChange(change, table))
                Skipped.push_back(change.Id);
    };
    try {
        applyAll(skipped);
        // The changes of rows parked while the query shows others (a detail's other
        // master records), in the same transaction.
        for (std::size_t i = 0; i < parkedSkipped.size(); ++i) {
            const TParkedScope parked(*this, i);
            applyAll(parkedSkipped[i]);
        }
        exec("commit tran");
    } catch (...) {
        try {
            exec("rollback tran");
        } catch (...) {
            // The transaction may be gone with the connection; the first error tells why.
        }
        throw;
    }
    mergePending(skipped);
    mergeParked(parkedSkipped);
    UpdateCursorPos();
    Resync(TResyncMode{});
}

} // namespace tovrin

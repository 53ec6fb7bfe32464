// TSybQuery: applying the pending changes to the server. Each change becomes one insert,
// update or delete with every value as a literal of the package's literal builder, sent
// with "select @@rowcount" in the same batch; all of them run in one transaction on the
// query's connection, and a statement that does not touch exactly one row undoes them all.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/SysUtils.h"
#include "query/SybClientField.h"
#include "query/SybConnect.h"
#include "query/SybQuery.h"
#include "query/SybSqlParams.h"

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

TSybQuery::TUpdateBatch TSybQuery::buildUpdate(const TPendingChange& Change) {
    const std::string table = updateTable();
    const TUpdateKind kind = Change.Deleted ? ukDelete : (Change.Original ? ukModify : ukInsert);
    const char* current = nullptr;
    if (!Change.Deleted) {
        const int p = positionOfId(Change.Id);
        if (p < 0)
            return {};
        current = FRecords[static_cast<std::size_t>(p)];
    }
    const char* original = Change.Original ? Change.Original : Change.Deleted;

    std::vector<TField*> keys;
    if (!Trim(FKeyFields).empty())
        GetFieldList(keys, FKeyFields);
    if (FUpdateMode != upWhereAll && keys.empty())
        throw ESybQueryError("ApplyUpdates: KeyFields must name the key columns of " + table +
                             " for upWhereChanged and upWhereKeyOnly");

    TRecordBuffer saved = FReadBuffer;
    TParams params;
    TParam* param = params.CreateParam(ftUnknown, "value", ptInput);
    struct TValue {
        TField* field;
        Variant value;
        std::string literal;
    };
    auto value = [&](TField* f, const char* buffer) {
        FReadBuffer = const_cast<char*>(buffer);
        TValue v{f, f->Value(), {}};
        FReadBuffer = saved;
        param->AssignFieldValue(f, v.value);
        v.literal = sqltext::ParamStrValue(*param);
        return v;
    };
    auto literal = [&](TField* f, const char* buffer) { return value(f, buffer).literal; };
    // The statement twice: with the literals (to show) and with a marker for each value,
    // whose literal the statement's own query makes (the values never pass through the
    // SQL text's lines, which would change their line ends).
    TUpdateBatch batch;
    auto put = [&](const TValue& v) {
        batch.Text += v.literal;
        batch.Marked += ":v" + std::to_string(batch.Values.size() + 1);
        batch.Values.emplace_back(v.field, v.value);
    };
    auto text = [&](const std::string& piece) {
        batch.Text += piece;
        batch.Marked += piece;
    };

    std::vector<TField*> data;
    for (TField* f : Fields())
        if (f->FieldKind() == fkData && f->FieldNo() > 0 && f->FieldNo() <= FetchFieldCount())
            data.push_back(f);

    auto locate = [&](const std::vector<TField*>& changed) {
        bool any = false;
        for (TField* f : data) {
            const bool isKey = std::find(keys.begin(), keys.end(), f) != keys.end();
            const bool ok = locatable(f, GetFetchField(f->FieldNo() - 1));
            bool use = isKey;
            if (FUpdateMode == upWhereAll)
                use = use || ok;
            if (FUpdateMode == upWhereChanged)
                use = use || (ok && std::find(changed.begin(), changed.end(), f) != changed.end());
            if (!use)
                continue;
            const TValue v = value(f, original);
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
                "ApplyUpdates: no column of " + table +
                " can locate a row (text, image and float columns cannot); set KeyFields");
    };

    try {
        switch (kind) {
        case ukInsert: {
            std::vector<TValue> values;
            std::string columns;
            for (TField* f : data) {
                TValue v = value(f, current);
                if (v.literal == "NULL")
                    continue; // the column's default or identity applies
                columns += (columns.empty() ? "" : ", ") + f->FieldName();
                values.push_back(std::move(v));
            }
            if (values.empty()) {
                // Every value null: one column named, so that the statement stays valid.
                if (data.empty())
                    return {};
                text("insert into " + table + " (" + data.front()->FieldName() + ") values (NULL)");
                break;
            }
            text("insert into " + table + " (" + columns + ") values (");
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i)
                    text(", ");
                put(values[i]);
            }
            text(")");
            break;
        }
        case ukModify: {
            std::vector<TValue> after;
            for (TField* f : data) {
                TValue v = value(f, current);
                if (literal(f, original) != v.literal)
                    after.push_back(std::move(v));
            }
            if (after.empty())
                return {};
            text("update " + table + " set ");
            std::vector<TField*> changed;
            for (std::size_t i = 0; i < after.size(); ++i) {
                text((i ? ", " : "") + after[i].field->FieldName() + " = ");
                put(after[i]);
                changed.push_back(after[i].field);
            }
            locate(changed);
            break;
        }
        case ukDelete:
            text("delete from " + table);
            locate({});
            break;
        }
    } catch (...) {
        FReadBuffer = saved;
        throw;
    }
    return batch;
}

std::string TSybQuery::UpdateStatement(const TPendingChange& Change) {
    return buildUpdate(Change).Text;
}

bool TSybQuery::applyChange(const TPendingChange& Change, const std::string& Table) {
    const TUpdateKind kind = Change.Deleted ? ukDelete : (Change.Original ? ukModify : ukInsert);
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

    for (;;) {
        try {
            if (FOnUpdateRecord) {
                TUpdateAction action = uaFail;
                FReadBuffer = const_cast<char*>(record);
                FOnUpdateRecord(this, kind, action);
                FReadBuffer = scope.saved;
                switch (action) {
                case uaApplied:
                    return true;
                case uaSkip:
                    return false;
                case uaAbort:
                    Abort();
                case uaRetry:
                    continue;
                case uaFail:
                    throw ESybUpdateError(
                        "ApplyUpdates: the record was not applied (" + Table + ")", bookmark, kind);
                }
            }
            const TUpdateBatch batch = buildUpdate(Change);
            if (batch.Marked.empty())
                return true;
            const std::string& sql = batch.Text;
            const int64_t rows = runUpdateBatch(batch);
            if (rows != 1) {
                // Say which row: the key columns' values as fetched (all located columns
                // without KeyFields), read back from the where clause.
                const std::size_t where = sql.find(" where ");
                const std::string key =
                    where == std::string::npos ? std::string() : sql.substr(where + 7);
                throw ESybUpdateError(
                    std::string(kConflict) + " (table " + Table +
                        (key.empty()
                             ? ""
                             : ", key " + (key.size() > 200 ? key.substr(0, 200) + "..." : key)) +
                        ")",
                    bookmark, kind);
            }
            return true;
        } catch (EAbort&) {
            throw;
        } catch (Exception& e) {
            if (!FOnUpdateError) {
                if (dynamic_cast<ESybUpdateError*>(&e))
                    throw;
                throw ESybUpdateError(e.Message(), bookmark, kind);
            }
            TUpdateAction action = uaFail;
            FReadBuffer = const_cast<char*>(record);
            FOnUpdateError(this, e, kind, action);
            FReadBuffer = scope.saved;
            switch (action) {
            case uaApplied:
                return true;
            case uaSkip:
                return false;
            case uaAbort:
                Abort();
            case uaRetry:
                continue;
            case uaFail:
                if (dynamic_cast<ESybUpdateError*>(&e))
                    throw;
                throw ESybUpdateError(e.Message(), bookmark, kind);
            }
        }
    }
}

void TSybQuery::ApplyUpdates() {
    if (!Active())
        return;
    CheckBrowseMode();
    if (FPending.empty())
        return;
    // Everything that can be told before sending is checked first.
    const std::string table = updateTable();
    if (FUpdateMode != upWhereAll && Trim(FKeyFields).empty())
        throw ESybQueryError("ApplyUpdates: KeyFields must name the key columns of " + table +
                             " for upWhereChanged and upWhereKeyOnly");
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
    try {
        // A copy: an event handler must not see the list change under it.
        const std::vector<TPendingChange> changes = FPending;
        for (const TPendingChange& change : changes)
            if (!applyChange(change, table))
                skipped.push_back(change.Id);
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
    UpdateCursorPos();
    Resync(TResyncMode{});
}

} // namespace tovrin

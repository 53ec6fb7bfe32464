// TSybQuery: the statements that apply one pending change. Each field is written to the
// column it comes from (its real name, whatever the select list calls it) when its
// ProviderFlags include pfInUpdate; the where clause takes the key (pfInKey), a timestamp
// column in every mode, and, as the update mode says, the other pfInWhere columns. An
// insert or update is followed by the select that reads its row back: by @@identity for a
// new row whose identity the server assigned, else by the key.
#include <algorithm>
#include <cstring>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

using namespace host;

namespace {

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

// Types an identity column can have.
bool numericType(const TField* Field) {
    switch (Field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
    case ftBCD:
    case ftFMTBcd:
        return true;
    default:
        return false;
    }
}

bool contains(const std::vector<TField*>& List, TField* Field) {
    return std::find(List.begin(), List.end(), Field) != List.end();
}

} // namespace

// One change's statement, written twice as it is built: with the literals (to show) and
// with a marker for each value, whose literal the statement's own query makes (the values
// never pass through the SQL text's lines, which would change their line ends).
class TSybQuery::TUpdateBuilder {
public:
    TUpdateBuilder(TSybQuery& Query, std::string Table)
        : m_query(Query), m_table(std::move(Table)), m_origins(Query.columnOrigins(m_table)) {
        if (!Trim(m_query.FKeyFields).empty())
            m_query.GetFieldList(m_keys, m_query.FKeyFields);
        for (TField* f : m_query.Fields()) {
            if (f->FieldKind() != fkData || f->FieldNo() <= 0 ||
                f->FieldNo() > m_query.FetchFieldCount())
                continue;
            m_data.push_back(f);
            if (f->ProviderFlags().Contains(pfInKey) && !contains(m_keys, f))
                m_keys.push_back(f);
        }
        if (m_query.FUpdateMode != upWhereAll && m_keys.empty())
            throw ESybQueryError("ApplyUpdates: KeyFields must name the key columns of " + m_table +
                                 " for upWhereChanged and upWhereKeyOnly");
        m_param = m_params.CreateParam(ftUnknown, "value", ptInput);
    }

    /// "insert into t (columns) values (...)" of the non-null values of Current, and the
    /// select that reads the new row back; empty when the dataset has no data column.
    TUpdateBatch insertStatement(const char* Current) {
        std::vector<TValue> values;
        std::string columns;
        for (TField* f : m_data) {
            TValue v = value(f, Current);
            if (v.literal == "NULL")
                continue; // the column's default or identity applies
            requireWritable(f);
            columns += (columns.empty() ? "" : ", ") + column(f);
            values.push_back(std::move(v));
        }
        if (values.empty()) {
            // Every value null: one column named, so that the statement stays valid.
            const auto first = std::find_if(m_data.begin(), m_data.end(), [](TField* f) {
                return f->ProviderFlags().Contains(pfInUpdate);
            });
            if (first == m_data.end())
                return {};
            text("insert into " + m_table + " (" + column(*first) + ") values (NULL)");
        } else {
            text("insert into " + m_table + " (" + columns + ") values (");
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i)
                    text(", ");
                put(values[i]);
            }
            text(")");
        }
        readInserted(Current, values);
        return std::move(m_batch);
    }

    /// "update t set ... where ..." of the columns whose literal differs between Original
    /// and Current, and the select that reads the row back; empty when none differs.
    TUpdateBatch updateStatement(const char* Current, const char* Original) {
        std::vector<TValue> after;
        for (TField* f : m_data) {
            TValue v = value(f, Current);
            if (value(f, Original).literal != v.literal) {
                requireWritable(f);
                after.push_back(std::move(v));
            }
        }
        if (after.empty())
            return {};
        text("update " + m_table + " set ");
        std::vector<TField*> changed;
        for (std::size_t i = 0; i < after.size(); ++i) {
            text((i ? ", " : "") + column(after[i].field) + " = ");
            put(after[i]);
            changed.push_back(after[i].field);
        }
        whereClause(Original, changed);
        readUpdated(Current);
        return std::move(m_batch);
    }

    /// "delete from t where ..." locating Original.
    TUpdateBatch deleteStatement(const char* Original) {
        text("delete from " + m_table);
        whereClause(Original, {});
        return std::move(m_batch);
    }

private:
    struct TValue {
        TField* field;
        Variant value;
        std::string literal;
    };

    const TColumnOrigin& origin(TField* Field) const {
        return m_origins[static_cast<std::size_t>(Field->FieldNo() - 1)];
    }

    // The column Field is written to: the one it comes from, else its own name.
    std::string column(TField* Field) const {
        const TColumnOrigin& o = origin(Field);
        return o.Column.empty() ? Field->FieldName() : o.Column;
    }

    // Whether Field is a column of the table (or taken to be one by its name).
    bool tableColumn(TField* Field) const {
        const TColumnOrigin& o = origin(Field);
        return !o.Known || !o.Column.empty();
    }

    // Raises when a change to Field cannot be written, saying why.
    void requireWritable(TField* Field) const {
        if (Field->ProviderFlags().Contains(pfInUpdate))
            return;
        const TColumnOrigin& o = origin(Field);
        std::string why = "its ProviderFlags leave out pfInUpdate";
        if (o.Known && o.Column.empty())
            why = "it is " + o.What;
        else if (m_query.isTimestampField(Field))
            why = "it is a timestamp, which the server sets";
        else if (m_query.isIdentityField(Field))
            why = "it is an identity, which the server assigns";
        throw ESybQueryError("ApplyUpdates: field " + Field->FieldName() + " of " + m_query.Name() +
                             " cannot be written to " + m_table + ": " + why);
    }

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

    // The statement's text (both forms), or the read-back's while that is written.
    void put(const TValue& Value) {
        const std::string marker = ":v" + std::to_string(m_batch.Values.size() + 1);
        m_batch.Values.emplace_back(Value.field, Value.value);
        if (m_readingBack) {
            m_batch.ReadBack += marker;
            return;
        }
        m_batch.Text += Value.literal;
        m_batch.Marked += marker;
    }

    void text(const std::string& Piece) {
        if (m_readingBack) {
            m_batch.ReadBack += Piece;
            return;
        }
        m_batch.Text += Piece;
        m_batch.Marked += Piece;
    }

    // "col = value", or "col is null".
    void condition(TField* Field, const TValue& Value, bool First) {
        text((First ? " where " : " and ") + column(Field));
        if (Value.literal == "NULL") {
            text(" is null");
        } else {
            text(" = ");
            put(Value);
        }
    }

    // Whether the where clause names Field: a key and a timestamp always; with
    // upWhereAll every pfInWhere column that can locate a row, with upWhereChanged those
    // among Changed.
    bool locates(TField* Field, const std::vector<TField*>& Changed) const {
        if (contains(m_keys, Field) || m_query.isTimestampField(Field))
            return true;
        if (m_query.FUpdateMode == upWhereKeyOnly || !Field->ProviderFlags().Contains(pfInWhere) ||
            !locatable(Field, m_query.GetFetchField(Field->FieldNo() - 1)))
            return false;
        return m_query.FUpdateMode == upWhereAll || contains(Changed, Field);
    }

    // " where a = ... and b is null" with Original's values.
    void whereClause(const char* Original, const std::vector<TField*>& Changed) {
        bool any = false;
        for (TField* f : m_data) {
            if (!locates(f, Changed))
                continue;
            condition(f, value(f, Original), !any);
            any = true;
        }
        if (!any)
            throw ESybQueryError(
                "ApplyUpdates: no column of " + m_table +
                " can locate a row (text, image and float columns cannot); set KeyFields");
    }

    // "select <the table's columns> from t" of the read-back; false when it has none.
    bool beginReadBack() {
        m_readingBack = true;
        m_valuesBeforeReadBack = m_batch.Values.size();
        std::string columns;
        for (TField* f : m_data) {
            if (!tableColumn(f) || isBlobSlot(f))
                continue;
            columns += (columns.empty() ? "" : ", ") + column(f);
            m_batch.ReadFields.push_back(f);
        }
        if (columns.empty())
            return false;
        text("select " + columns + " from " + m_table);
        return true;
    }

    // The new row: by its identity when the server assigned one (an identity column, or
    // a numeric key left null), else by its key, else by the values sent.
    void readInserted(const char* Current, const std::vector<TValue>& Sent) {
        if (!beginReadBack())
            return finishReadBack(false);
        for (TField* f : m_data) {
            const bool assigned =
                m_query.isIdentityField(f) || (contains(m_keys, f) && numericType(f));
            if (assigned && tableColumn(f) && value(f, Current).literal == "NULL") {
                text(" where " + column(f) + " = @@identity");
                return finishReadBack(true);
            }
        }
        bool any = false;
        if (!m_keys.empty()) {
            for (TField* f : m_keys) {
                const TValue v = value(f, Current);
                if (v.literal == "NULL" || !tableColumn(f))
                    return finishReadBack(false);
                condition(f, v, !any);
                any = true;
            }
            return finishReadBack(true);
        }
        for (const TValue& v : Sent) {
            if (!locatable(v.field, m_query.GetFetchField(v.field->FieldNo() - 1)))
                continue;
            condition(v.field, v, !any);
            any = true;
        }
        finishReadBack(any);
    }

    // The updated row: by its key as it is now, else by every locating column's value.
    void readUpdated(const char* Current) {
        if (!beginReadBack())
            return finishReadBack(false);
        bool any = false;
        for (TField* f : m_data) {
            const bool locator = m_keys.empty()
                                     ? f->ProviderFlags().Contains(pfInWhere) &&
                                           locatable(f, m_query.GetFetchField(f->FieldNo() - 1))
                                     : contains(m_keys, f);
            if (!locator || !tableColumn(f))
                continue;
            condition(f, value(f, Current), !any);
            any = true;
        }
        finishReadBack(any);
    }

    void finishReadBack(bool Keep) {
        m_readingBack = false;
        if (Keep)
            return;
        m_batch.ReadBack.clear();
        m_batch.ReadFields.clear();
        m_batch.Values.erase(m_batch.Values.begin() +
                                 static_cast<std::ptrdiff_t>(m_valuesBeforeReadBack),
                             m_batch.Values.end());
    }

    TSybQuery& m_query;
    std::string m_table;
    std::vector<TColumnOrigin> m_origins; // one per fetched column
    std::vector<TField*> m_keys;          // KeyFields and the fields flagged pfInKey
    std::vector<TField*> m_data;          // the data fields of fetched columns, in field order
    TParams m_params;
    TParam* m_param = nullptr; // makes each value's literal
    TUpdateBatch m_batch;
    bool m_readingBack = false;
    std::size_t m_valuesBeforeReadBack = 0;
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
    if (Change.Deleted)
        return builder.deleteStatement(Change.Original ? Change.Original : Change.Deleted);
    if (Change.Original)
        return builder.updateStatement(current, Change.Original);
    return builder.insertStatement(current);
}

std::string TSybQuery::UpdateStatement(const TPendingChange& Change) {
    return buildUpdate(Change).Text;
}

} // namespace tovrin

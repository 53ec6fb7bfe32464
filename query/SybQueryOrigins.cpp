// TSybQuery: where each field comes from, for writing changes back. The client library
// says of a result column only its type and a few status bits (identity, timestamp,
// hidden); which table a column belongs to and its real name come from the query's own
// select list. From both, each data field gets its default ProviderFlags, and
// ApplyUpdates learns the column each field is written to.
#include <algorithm>
#include <cctype>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSelectList.h"

namespace tovrin {

using namespace host;
using selectlist::lowered;

namespace {

// Adaptive Server's user type of timestamp columns.
constexpr CS_INT kTimestampUserType = 80;

bool sameName(const std::string& A, const std::string& B) {
    return lowered(A) == lowered(B);
}

// The from clause's entry for Table (compared by its last name part), else nullptr.
const selectlist::TableRef* findTable(const selectlist::SelectShape& Shape,
                                      const std::string& Table) {
    const std::string wanted = selectlist::lastPart(Table);
    for (const auto& table : Shape.tables)
        if (!table.name.empty() && sameName(selectlist::lastPart(table.name), wanted))
            return &table;
    return nullptr;
}

// Whether a column qualified with Qualifier belongs to the update table Target.
bool qualifies(const std::string& Qualifier, const selectlist::TableRef& Target) {
    return sameName(Qualifier, Target.reference()) ||
           sameName(Qualifier, selectlist::lastPart(Target.name));
}

} // namespace

std::string TSybQuery::updateTableOrEmpty() const {
    const std::string named = Trim(FUpdateTableName);
    if (!named.empty())
        return named;
    const auto shape = selectlist::readSelect(FSQL->Text());
    if (!shape || shape->tables.size() != 1)
        return {};
    return shape->tables.front().name;
}

std::string TSybQuery::updateTable() const {
    std::string table = updateTableOrEmpty();
    if (table.empty())
        throw ESybQueryError(
            "ApplyUpdates: the SQL of " + Name() +
            " is not a select from one table; set UpdateTableName to the table to update");
    return table;
}

std::vector<TSybQuery::TColumnOrigin> TSybQuery::columnOrigins(const std::string& Table) const {
    const int count = FetchFieldCount();
    std::vector<TColumnOrigin> origins(static_cast<std::size_t>(count));
    const auto shape = selectlist::readSelect(FSQL->Text());
    if (!shape)
        return origins; // not a plain select: every field stands for the column of its name
    const auto& items = shape->items;
    const auto firstStar = std::find_if(items.begin(), items.end(), [](const auto& i) {
        return i.kind == selectlist::SelectItem::Kind::Star;
    });
    const auto lastStar = std::find_if(items.rbegin(), items.rend(), [](const auto& i) {
        return i.kind == selectlist::SelectItem::Kind::Star;
    });
    const int before = static_cast<int>(firstStar - items.begin());
    const int after = static_cast<int>(lastStar - items.rbegin());
    const bool stars = firstStar != items.end();
    if (stars ? before + after > count : static_cast<int>(items.size()) != count)
        return origins; // the columns do not match the list: nothing can be told

    // The update table in the from clause; a select from one table (a view, say) writes
    // to the update table whatever the from clause names.
    const selectlist::TableRef* target =
        Table.empty()
            ? nullptr
            : (shape->tables.size() == 1 ? &shape->tables.front() : findTable(*shape, Table));
    const bool single = shape->tables.size() == 1;
    for (int c = 0; c < count; ++c) {
        TColumnOrigin& origin = origins[static_cast<std::size_t>(c)];
        origin.Known = true;
        const selectlist::SelectItem* item = nullptr;
        if (c < before || !stars)
            item = &items[static_cast<std::size_t>(c)];
        else if (c >= count - after)
            item = &items[items.size() - static_cast<std::size_t>(count - c)];
        else if (firstStar == lastStar.base() - 1)
            item = &*firstStar;
        if (!item) {
            origin.What = "a column of one of several stars of the select list";
            continue;
        }
        if (item->kind == selectlist::SelectItem::Kind::Expression) {
            origin.What = "an expression of the select list, not a column";
            continue;
        }
        if (!target) {
            origin.What = Table.empty() ? "a column of a select of several tables"
                                        : "a column of a table other than " + Table;
            continue;
        }
        const bool ours = item->qualifier.empty() ? single : qualifies(item->qualifier, *target);
        if (!ours) {
            origin.What = item->qualifier.empty()
                              ? "a column named without its table in a select of several "
                                "tables (qualify it with its table)"
                              : "a column of " + item->qualifier + ", not of " + Table;
            continue;
        }
        origin.Column = item->kind == selectlist::SelectItem::Kind::Column
                            ? item->column
                            : FFetchFields[static_cast<std::size_t>(c)]->GetName();
    }
    return origins;
}

bool TSybQuery::isTimestampField(TField* Field) const {
    const int no = Field->FieldNo();
    if (no < 1 || no > FetchFieldCount())
        return false;
    const auto* column = dynamic_cast<TSybClientField*>(GetFetchField(no - 1));
    return column && ((column->DataFmt().status & CS_TIMESTAMP) != 0 ||
                      column->DataFmt().usertype == kTimestampUserType);
}

bool TSybQuery::isIdentityField(TField* Field) const {
    const int no = Field->FieldNo();
    if (no < 1 || no > FetchFieldCount())
        return false;
    const auto* column = dynamic_cast<TSybClientField*>(GetFetchField(no - 1));
    return column && (column->DataFmt().status & CS_IDENTITY) != 0;
}

void TSybQuery::setDefaultProviderFlags() {
    const std::vector<TColumnOrigin> origins = columnOrigins(updateTableOrEmpty());
    std::vector<TField*> keys;
    if (!Trim(FKeyFields).empty())
        GetFieldList(keys, FKeyFields);
    for (TField* f : Fields()) {
        const int no = f->FieldNo();
        if (f->FieldKind() != fkData || no < 1 || no > FetchFieldCount())
            continue;
        const TColumnOrigin& origin = origins[static_cast<std::size_t>(no - 1)];
        TProviderFlags flags;
        if (!origin.Known || !origin.Column.empty()) {
            flags.Include(pfInWhere);
            // The server assigns timestamps and identities; neither is written.
            if (!isTimestampField(f) && !isIdentityField(f))
                flags.Include(pfInUpdate);
        }
        if (std::find(keys.begin(), keys.end(), f) != keys.end())
            flags.Include(pfInKey);
        const auto* column = dynamic_cast<TSybClientField*>(GetFetchField(no - 1));
        if (column && (column->DataFmt().status & CS_HIDDEN) != 0)
            flags.Include(pfHidden);
        f->SetProviderFlags(flags);
    }
}

void TSybQuery::SetKeyFields(const std::string& Value) {
    FKeyFields = Value;
    if (!Active())
        return;
    // Names that match no field are left for the operations that use them to report.
    std::vector<TField*> keys;
    for (const std::string& name : selectlist::splitNames(Value))
        if (TField* f = FindField(name))
            keys.push_back(f);
    for (TField* f : Fields()) {
        TProviderFlags flags = f->ProviderFlags();
        if (std::find(keys.begin(), keys.end(), f) != keys.end())
            flags.Include(pfInKey);
        else
            flags.Exclude(pfInKey);
        f->SetProviderFlags(flags);
    }
}

void TSybQuery::SetUpdateTableName(const std::string& Value) {
    FUpdateTableName = Value;
    if (Active() && DefaultFields())
        setDefaultProviderFlags();
}

} // namespace tovrin

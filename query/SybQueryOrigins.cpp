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

// The list's item of each of Count result columns (nullptr for a column of one of several
// stars); empty when the list cannot give Count columns. Items before the first star give
// the first columns, items after the last star the last ones, and a single star the rest.
std::vector<const selectlist::SelectItem*>
itemsOfColumns(const std::vector<selectlist::SelectItem>& Items, int Count) {
    const auto isStar = [](const selectlist::SelectItem& i) {
        return i.kind == selectlist::SelectItem::Kind::Star;
    };
    const auto firstStar = std::find_if(Items.begin(), Items.end(), isStar);
    if (firstStar == Items.end()) {
        if (static_cast<int>(Items.size()) != Count)
            return {};
        std::vector<const selectlist::SelectItem*> out;
        for (const auto& item : Items)
            out.push_back(&item);
        return out;
    }
    const auto lastStar = std::find_if(Items.rbegin(), Items.rend(), isStar);
    const int before = static_cast<int>(firstStar - Items.begin());
    const int after = static_cast<int>(lastStar - Items.rbegin());
    if (before + after > Count)
        return {};
    const bool oneStar = firstStar == lastStar.base() - 1;
    std::vector<const selectlist::SelectItem*> out;
    for (int c = 0; c < Count; ++c) {
        if (c < before)
            out.push_back(&Items[static_cast<std::size_t>(c)]);
        else if (c >= Count - after)
            out.push_back(&Items[Items.size() - static_cast<std::size_t>(Count - c)]);
        else
            out.push_back(oneStar ? &*firstStar : nullptr);
    }
    return out;
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
    // Columns the server added to those asked for (the key columns of a browse-mode
    // select) have no item in the list.
    std::vector<int> shown;
    for (int c = 0; c < count; ++c)
        if ((columnStatus(c) & CS_HIDDEN) == 0)
            shown.push_back(c);
    const std::vector<const selectlist::SelectItem*> items =
        itemsOfColumns(shape->items, static_cast<int>(shown.size()));
    if (items.empty() && !shown.empty())
        return origins; // the columns do not match the list: nothing can be told

    // The update table in the from clause; a select from one table (a view, say) writes
    // to the update table whatever the from clause names.
    const bool single = shape->tables.size() == 1;
    const selectlist::TableRef* target =
        Table.empty() ? nullptr : (single ? &shape->tables.front() : findTable(*shape, Table));
    for (int c = 0; c < count; ++c) {
        TColumnOrigin& origin = origins[static_cast<std::size_t>(c)];
        origin.Known = true;
        const std::string name = FFetchFields[static_cast<std::size_t>(c)]->GetName();
        const auto at = std::find(shown.begin(), shown.end(), c);
        if (at == shown.end()) {
            if (single && target)
                origin.Column = name;
            else
                origin.What = "a column the server added to a select of several tables";
            continue;
        }
        const selectlist::SelectItem* item = items[static_cast<std::size_t>(at - shown.begin())];
        if (!item) {
            origin.What = "a column of one of several stars of the select list";
        } else if (item->kind == selectlist::SelectItem::Kind::Expression) {
            origin.What = "an expression of the select list, not a column";
        } else if (!target) {
            origin.What = Table.empty() ? "a column of a select of several tables"
                                        : "a column of a table other than " + Table;
        } else if (item->qualifier.empty() ? !single : !qualifies(item->qualifier, *target)) {
            origin.What = item->qualifier.empty()
                              ? "a column named without its table in a select of several "
                                "tables (qualify it with its table)"
                              : "a column of " + item->qualifier + ", not of " + Table;
        } else {
            origin.Column =
                item->kind == selectlist::SelectItem::Kind::Column ? item->column : name;
        }
    }
    return origins;
}

CS_INT TSybQuery::columnStatus(int Index) const {
    const auto* column = dynamic_cast<TSybClientField*>(GetFetchField(Index));
    return column ? column->DataFmt().status : 0;
}

bool TSybQuery::isTimestampField(TField* Field) const {
    const int no = Field->FieldNo();
    return no >= 1 && no <= FetchFieldCount() && timestampColumn(no - 1);
}

bool TSybQuery::timestampColumn(int Index) const {
    const auto* column = dynamic_cast<TSybClientField*>(GetFetchField(Index));
    return column && ((column->DataFmt().status & CS_TIMESTAMP) != 0 ||
                      column->DataFmt().usertype == kTimestampUserType);
}

bool TSybQuery::isIdentityField(TField* Field) const {
    const int no = Field->FieldNo();
    return no >= 1 && no <= FetchFieldCount() && (columnStatus(no - 1) & CS_IDENTITY) != 0;
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
        // The key: the one KeyFields names, and the one the server reports (browse mode).
        const CS_INT status = columnStatus(no - 1);
        if (std::find(keys.begin(), keys.end(), f) != keys.end() || (status & CS_KEY) != 0)
            flags.Include(pfInKey);
        if ((status & CS_HIDDEN) != 0)
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

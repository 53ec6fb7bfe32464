// TSybQuery: construction and destruction, the published properties and their setters,
// the receiver links (Master), opening, closing and ExecSQL.
#include "tovrin5/query/SybQuery.h"

#include <algorithm>

#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

using namespace host;

TDataSet* TSybDataLink::GetDetailDataSet() {
    return FQuery;
}

TSybQuery::TSybQuery(TComponent* AOwner) : TSybDataSet(AOwner) {
    FSQL = std::make_unique<TStringList>();
    FSQL->SetOnChange([this](TObject* Sender) { QueryChanged(Sender); });
    FParams = std::make_unique<TParams>(this);
    FDataLink = std::make_unique<TSybDataLink>(this);
    FResultQueries = std::make_unique<std::vector<TSybQuery*>>();
    FResultTarget = this;
}

TSybQuery::~TSybQuery() {
    Destroying();
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; InternalClose has released the records by now or
        // the dataset's own destructor does.
    }
    FSQL.reset();
    SetMaster(nullptr);
    // Receivers that outlive the list (the ones this query owns are destroyed after this
    // body) must not reach back into it.
    if (FResultQueries) {
        for (TSybQuery* receiver : *FResultQueries)
            receiver->FMaster = nullptr;
        FResultQueries.reset();
    }
    ClearParams();
    if (FParams)
        FParams->Clear();
    FParams.reset();
    ClearParamFields();
    if (FDataLink)
        FDataLink->SetDataSource(nullptr);
    FDataLink.reset();
}

void TSybQuery::GetPublishedProperties(TPropList& list) const {
    TSybDataSet::GetPublishedProperties(list);
    using C = TSybQuery;
    // About: the design-time holder, no object at run time (nothing is written).
    TPropInfo about;
    about.name = "About";
    about.kind = tkClass;
    about.typeName = "TTovrinAbout";
    about.getObject = [](const TPersistent*) -> TPersistent* { return nullptr; };
    list.push_back(std::move(about));
    list.push_back(IntegerProperty<C>("ResultSet", &C::ResultSet, [](C& q, int32_t v) {
        q.SetResultSet(static_cast<TResultSetNo>(v));
    }));
    list.push_back(
        ComponentProperty<C, TSybQuery>("Master", "TSybQuery", &C::Master, &C::SetMaster));
    list.push_back(StringProperty<C>(
        "SQLText", [](const C& q) { return const_cast<C&>(q).GetSQLText(); }, &C::SetSQLText));
    list.push_back(BoolProperty<C>("Active", &C::Active, &C::SetActive).storedNever());
    list.push_back(
        StringProperty<C>("Filter", &C::Filter, &C::SetFilter).storedIf<C>([](const C& q) {
            return !q.Filter().empty();
        }));
    list.push_back(
        BoolProperty<C>("Filtered", &C::Filtered, &C::SetFiltered).withDefault(Variant(false)));
    list.push_back(SetProperty<C, TFilterOption>("FilterOptions", "TFilterOptions",
                                                 {"foCaseInsensitive", "foNoPartialCompare"},
                                                 &C::FilterOptions, &C::SetFilterOptions)
                       .storedIf<C>([](const C& q) { return !q.FilterOptions().Empty(); }));
    list.push_back(StringProperty<C>("DatabaseName", &C::DatabaseName, &C::SetDatabaseName));
    list.push_back(ObjectProperty<C>("SQL", "TStrings", &C::SQL));
    list.push_back(ObjectProperty<C>("Params", "TParams", &C::Params).storedNever());
    list.push_back(ComponentProperty<C, TDataSource>("DataSource", "TDataSource", &C::DataSource,
                                                     &C::SetDataSource));
    list.push_back(
        BoolProperty<C>("ReadOnly", &C::ReadOnly, &C::SetReadOnly).withDefault(Variant(false)));
    list.push_back(BoolProperty<C>("CachedUpdates", &C::CachedUpdates, &C::SetCachedUpdates));
    list.push_back(BoolProperty<C>("AutoSort", &C::AutoSort, &C::SetAutoSort));
    list.push_back(StringProperty<C>("SortFields", &C::SortFields, &C::SetSortFieldNames));
    list.push_back(BoolProperty<C>("DoBinaryLocate", &C::DoBinaryLocate, &C::SetDoBinaryLocate));
    list.push_back(EventProperty<C, void(const TSybMessage*, bool&)>(
        "OnServerMessage", "TSybMessageProc", &C::OnServerMessage, &C::SetOnServerMessage));
    list.push_back(EventProperty<C, void(const TSybMessage*, bool&)>(
        "OnServerError", "TSybMessageProc", &C::OnServerError, &C::SetOnServerError));
    TDataSet::AddEventProperties(list);
    list.push_back(EventProperty<C, void(TSybQuery*)>("OnNewDataSet", "TNewResultSetEvent",
                                                      &C::OnNewDataSet, &C::SetOnNewDataSet));
}

void TSybQuery::Notification(TComponent* AComponent, TOperation Operation) {
    TSybDataSet::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent && AComponent == FMaster)
        SetMaster(nullptr);
}

// ---- configuration ---------------------------------------------------------------------------

void TSybQuery::SetSQL(TStrings* Value) {
    const std::string text = Value ? Value->Text() : std::string();
    if (FSQL->Text() == text)
        return;
    if (Active())
        Close();
    FSQL->BeginUpdate();
    try {
        if (Value)
            FSQL->Assign(Value);
        else
            FSQL->Clear();
    } catch (...) {
        FSQL->EndUpdate();
        throw;
    }
    FSQL->EndUpdate();
}

void TSybQuery::SetDatabaseName(const std::string& Value) {
    if (Value == FDatabaseName)
        return;
    if (Active())
        Close();
    FDatabaseName = Value;
}

void TSybQuery::SetResultSet(TResultSetNo Value) {
    if (Value == FResultSet)
        return;
    FResultSet = Value;
    if (Active())
        Close();
}

void TSybQuery::SetMaster(TSybQuery* Value) {
    if (Value == FMaster)
        return;
    // A cycle would make closing, destroying and executing recurse without end. Every
    // query on the chain above Value has had its own master checked the same way, so the
    // walk ends.
    for (const TSybQuery* above = Value; above != nullptr; above = above->FMaster) {
        if (above == this)
            throw Exception("Master \"" + Value->Name() + "\" of query \"" + Name() +
                            "\" would make the query its own master");
    }
    if (FMaster && FMaster->FResultQueries) {
        auto& list = *FMaster->FResultQueries;
        auto it = std::find(list.begin(), list.end(), this);
        if (it != list.end())
            list.erase(it);
    }
    if (Value) {
        FMaster = Value;
        if (Value->FResultQueries)
            Value->FResultQueries->push_back(this);
    } else {
        FMaster = nullptr;
    }
}

void TSybQuery::SetParamsList(TParams* Value) {
    if (Value && Value != FParams.get())
        FParams->AssignValues(Value);
}

TDataSource* TSybQuery::GetDataSource() const {
    return FDataLink ? FDataLink->DataSource() : nullptr;
}

void TSybQuery::SetDataSource(TDataSource* Value) {
    if (Value && IsLinkedTo(Value))
        DatabaseError(dbconsts::SCircularDataLink, this);
    FDataLink->SetDataSource(Value);
}

// ---- opening and closing ---------------------------------------------------------------------

void TSybQuery::SetActive(bool Value) {
    // Closed, a receiver or detail could not apply its changes later (a plain query keeps
    // the framework's rule: closing cancels them).
    const bool linked = FMaster || GetDataSource() || parkedCount() > 0;
    if (!Value && Active() && linked && UpdatesPending() && !FKeepingChanges &&
        !ComponentState().Contains(csDestroying))
        DatabaseError("Closing would lose the changes not yet applied: apply or cancel them first",
                      this);
    TSybDataSet::SetActive(Value);
    if (!Value && FResultQueries) {
        // By index: closing a receiver never changes this list, but stay safe anyway.
        for (std::size_t i = 0; i < FResultQueries->size(); ++i)
            (*FResultQueries)[i]->closeKeepingChanges();
    }
}

void TSybQuery::OpenCursor(bool /*InfoQuery*/) {
    if (FCursorOpen && !FMaster)
        return;
    // A request for field definitions only executes the query fully.
    TSybDataSet::OpenCursor(false);
    if (!FCursorOpen)
        CloseCursor();
}

void TSybQuery::ExecSQL() {
    Close();
    Open();
    Close();
}

} // namespace tovrin

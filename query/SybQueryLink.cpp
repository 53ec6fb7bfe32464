// TSybQuery as the detail of another dataset: the query's DataSource names a data source
// whose dataset is the master. Each open fills the parameters the application has not set
// from the master's fields of the same names, and every move of the master to a record
// with other link values (or its opening) re-runs an open detail once. Changes the detail
// has not applied are never lost on the way: its rows are parked with them and come back
// when the master returns to a record with the same link values.
#include "tovrin5/dataset/FlagRestore.h"
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

using namespace host;

// ---- TSybDataLink --------------------------------------------------------------------------

void TSybDataLink::ActiveChanged() {
    if (FQuery && FQuery->Active())
        FQuery->RefreshParams();
}

void TSybDataLink::RecordChanged(TField* Field) {
    // A post, refresh or apply of the master that leaves the link values as they were
    // asks for the rows the detail shows already.
    if (!Field && FQuery && FQuery->Active() && FQuery->LinkValuesChanged())
        FQuery->RefreshParams();
}

void TSybDataLink::CheckBrowseMode() {
    if (FQuery && FQuery->Active())
        FQuery->CheckBrowseMode();
}

// ---- TSybQuery ----------------------------------------------------------------------------------

void TSybQuery::SetParamsFromCursor() {
    TDataSource* source = FDataLink ? FDataLink->DataSource() : nullptr;
    if (!source || !source->DataSet())
        return;
    TDataSet* master = source->DataSet();
    master->FieldDefs().Update();
    for (int i = 0; i < FParams->Count(); ++i) {
        TParam* param = FParams->Items(i);
        if (param->Bound())
            continue;
        param->AssignField(master->FieldByName(param->Name()));
        param->SetBound(false);
    }
}

bool TSybQuery::LinkValuesChanged() {
    TDataSource* source = FDataLink ? FDataLink->DataSource() : nullptr;
    TDataSet* master = source ? source->DataSet() : nullptr;
    if (FMaster || !master || !master->Active() || master->State() == dsSetKey)
        return true;
    try {
        SetParamsFromCursor();
        return GetSQLText() != FRowsKey;
    } catch (const Exception&) {
        return true; // the re-run reports it
    }
}

void TSybQuery::closeKeepingChanges() {
    if (!Active())
        return;
    CheckBrowseMode();
    parkRows(FRowsKey);
    const FlagRestore keeping(FKeepingChanges);
    FKeepingChanges = true;
    Close();
}

void TSybQuery::InternalOpen() {
    TSybDataSet::InternalOpen();
    FRowsRestored = restoreParkedRows(FRowsKey);
}

void TSybQuery::RefreshParams() {
    DisableControls();
    try {
        TDataSource* source = FDataLink ? FDataLink->DataSource() : nullptr;
        TDataSet* master = source ? source->DataSet() : nullptr;
        if (master && master->Active() && master->State() != dsSetKey) {
            closeKeepingChanges();
            Open();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TSybQuery::DoBeforeOpen() {
    TSybDataSet::DoBeforeOpen();
    // A detail takes its parameter values from the master's current record on every
    // open, after BeforeOpen (whose handler may still bind parameters itself).
    if (FDataLink && FDataLink->DataSource())
        SetParamsFromCursor();
}

void TSybQuery::InitFieldDefs() {
    if (!IsCursorOpen() && FDataLink && FDataLink->DataSource())
        SetParamsFromCursor();
    TSybDataSet::InitFieldDefs();
}

} // namespace tovrin

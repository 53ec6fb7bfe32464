// TSybQuery as the detail of another dataset: the query's DataSource names a data source
// whose dataset is the master. Each open fills the parameters the application has not set
// from the master's fields of the same names, and every move of the master (or a change
// of its whole record, or its opening) re-runs an open detail once.
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
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
    if (!Field && FQuery && FQuery->Active())
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

void TSybQuery::RefreshParams() {
    DisableControls();
    try {
        TDataSource* source = FDataLink ? FDataLink->DataSource() : nullptr;
        TDataSet* master = source ? source->DataSet() : nullptr;
        if (master && master->Active() && master->State() != dsSetKey) {
            Close();
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

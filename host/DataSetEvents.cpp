// TDataSet: data events to fields and data sources, control disabling and the event hooks.
#include <algorithm>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

// ---- data events and controls -------------------------------------------------------------------

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
    switch (Event) {
    case deFieldChange: {
        auto* field = reinterpret_cast<TField*>(Info);
        if (!field)
            break;
        TOperationScope scope(*this);
        if (field->m_fieldKind == fkData || field->m_fieldKind == fkInternalCalc)
            m_modified = true;
        if (m_state != dsSetKey) {
            if (field->m_fieldKind == fkData && m_calcFieldsSize != 0)
                GetCalcFields(ActiveBuffer());
            field->Change();
        }
        break;
    }
    case dePropertyChange:
        m_fieldDefs.SetUpdated(false);
        break;
    default:
        break;
    }
    if (ControlsDisabled()) {
        if ((Event == deUpdateState && m_state == dsInactive) || Event == deLayoutChange)
            m_enableEvent = deLayoutChange;
        switch (Event) {
        case deFieldChange:
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
        case deUpdateState:
        case deFieldListChange:
            m_changeHeld = true;
            break;
        default:
            break;
        }
        return;
    }
    // Copy: a handler may attach or detach data sources.
    std::vector<TDataSource*> sources = m_dataSources;
    for (TDataSource* s : sources)
        s->dataEvent(Event, Info);
}

void TDataSet::DisableControls() {
    if (m_disableCount == 0) {
        m_disableState = m_state;
        m_enableEvent = deDataSetChange;
        m_changeHeld = false;
    }
    ++m_disableCount;
}

void TDataSet::EnableControls() {
    if (m_disableCount == 0)
        return;
    if (--m_disableCount != 0)
        return;
    if (m_disableState != m_state)
        DataEvent(deUpdateState, 0);
    // Only what was held back is replayed: a search that merely moved the position and
    // lets Resync refresh the links must not make them see the change twice (a detail
    // dataset would run its query twice per move of its master).
    if (m_changeHeld && m_disableState != dsInactive && m_state != dsInactive)
        DataEvent(m_enableEvent, 0);
}

bool TDataSet::IsLinkedTo(TDataSource* ADataSource) {
    while (ADataSource) {
        TDataSet* ds = ADataSource->DataSet();
        if (!ds)
            break;
        if (ds == this)
            return true;
        ADataSource = ds->GetDataSource();
    }
    return false;
}

void TDataSet::registerDataSource(TDataSource* source) {
    m_dataSources.push_back(source);
    UpdateBufferCount();
}

void TDataSet::unregisterDataSource(TDataSource* source) {
    m_dataSources.erase(std::remove(m_dataSources.begin(), m_dataSources.end(), source),
                        m_dataSources.end());
}

// ---- event hooks ------------------------------------------------------------------------------
// A handler may close the dataset: the hooks an operation continues from stop it then.

void TDataSet::DoBeforeOpen() {
    m_BeforeOpen(this);
}
void TDataSet::DoAfterOpen() {
    m_AfterOpen(this);
}
void TDataSet::DoBeforeClose() {
    m_BeforeClose(this);
}
void TDataSet::DoAfterClose() {
    m_AfterClose(this);
}
void TDataSet::DoBeforeInsert() {
    m_BeforeInsert(this);
    AbortIfClosing();
}
void TDataSet::DoAfterInsert() {
    m_AfterInsert(this);
}
void TDataSet::DoBeforeEdit() {
    m_BeforeEdit(this);
    AbortIfClosing();
}
void TDataSet::DoAfterEdit() {
    m_AfterEdit(this);
}
void TDataSet::DoBeforePost() {
    m_BeforePost(this);
    AbortIfClosing();
}
void TDataSet::DoAfterPost() {
    m_AfterPost(this);
}
void TDataSet::DoBeforeCancel() {
    m_BeforeCancel(this);
    AbortIfClosing();
}
void TDataSet::DoAfterCancel() {
    m_AfterCancel(this);
}
void TDataSet::DoBeforeDelete() {
    m_BeforeDelete(this);
    AbortIfClosing();
}
void TDataSet::DoAfterDelete() {
    m_AfterDelete(this);
}
void TDataSet::DoBeforeScroll() {
    m_BeforeScroll(this);
    AbortIfClosing();
}
void TDataSet::DoAfterScroll() {
    m_AfterScroll(this);
}
void TDataSet::DoOnNewRecord() {
    m_OnNewRecord(this);
    AbortIfClosing();
}
void TDataSet::DoOnCalcFields() {
    m_OnCalcFields(this);
    AbortIfClosing();
}

} // namespace tovrin::host

// TDataSource and TDataLink: passing the dataset's data events to data-aware objects and
// keeping each link's window onto the dataset's buffer ring.
#include "tovrin5/host/DataSource.h"

#include <algorithm>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/PropInfo.h"

namespace tovrin::host {

// ---- TDataSource -------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
    Destroying();
    m_onStateChange = nullptr;
    m_onDataChange = nullptr;
    while (!m_dataLinks.empty())
        m_dataLinks.back()->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* ADataSet) {
    if (ADataSet == m_dataSet)
        return;
    if (IsLinkedTo(ADataSet))
        DatabaseError(dbconsts::SCircularDataLink, this);
    if (m_dataSet) {
        m_dataSet->unregisterDataSource(this);
        m_dataSet->RemoveFreeNotification(this);
    }
    m_dataSet = ADataSet;
    if (m_dataSet) {
        m_dataSet->FreeNotification(this);
        m_dataSet->registerDataSource(this);
    }
    updateState();
}

void TDataSource::SetEnabled(bool Value) {
    if (m_enabled == Value)
        return;
    m_enabled = Value;
    updateState();
}

bool TDataSource::IsLinkedTo(TDataSet* ADataSet) const {
    while (ADataSet) {
        TDataSource* source = ADataSet->GetDataSource();
        if (!source)
            break;
        if (source == this)
            return true;
        ADataSet = source->DataSet();
    }
    return false;
}

void TDataSource::Edit() {
    if (m_autoEdit && m_state == dsBrowse)
        m_dataSet->Edit();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == m_dataSet)
        SetDataSet(nullptr);
}

void TDataSource::GetPublishedProperties(TPropList& list) const {
    TComponent::GetPublishedProperties(list);
    list.push_back(
        BoolProperty<TDataSource>("AutoEdit", &TDataSource::AutoEdit, &TDataSource::SetAutoEdit)
            .withDefault(Variant(true)));
    list.push_back(ComponentProperty<TDataSource, TDataSet>(
        "DataSet", "TDataSet", &TDataSource::DataSet, &TDataSource::SetDataSet));
    list.push_back(
        BoolProperty<TDataSource>("Enabled", &TDataSource::Enabled, &TDataSource::SetEnabled)
            .withDefault(Variant(true)));
    list.push_back(EventProperty<TDataSource, void(TObject*)>("OnStateChange", "TNotifyEvent",
                                                              &TDataSource::OnStateChange,
                                                              &TDataSource::SetOnStateChange));
    list.push_back(EventProperty<TDataSource, void(TObject*, TField*)>(
        "OnDataChange", "TDataChangeEvent", &TDataSource::OnDataChange,
        &TDataSource::SetOnDataChange));
    list.push_back(EventProperty<TDataSource, void(TObject*)>(
        "OnUpdateData", "TNotifyEvent", &TDataSource::OnUpdateData, &TDataSource::SetOnUpdateData));
}

void TDataSource::updateState() {
    setState(m_enabled && m_dataSet ? m_dataSet->State() : dsInactive);
}

void TDataSource::setState(TDataSetState Value) {
    if (m_state == Value)
        return;
    m_state = Value;
    std::vector<TDataLink*> links = m_dataLinks;
    for (TDataLink* link : links)
        if (std::find(m_dataLinks.begin(), m_dataLinks.end(), link) != m_dataLinks.end())
            link->DataEvent(deUpdateState, 0);
    if (!ComponentState().Contains(csDestroying))
        m_onStateChange(this);
}

void TDataSource::dataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        updateState();
        return;
    }
    if (m_state == dsInactive)
        return;
    std::vector<TDataLink*> links = m_dataLinks;
    // Detail links first, so that details settle before the controls repaint.
    for (int pass = 0; pass < 2; ++pass) {
        for (TDataLink* link : links) {
            bool detail = dynamic_cast<TDetailDataLink*>(link) != nullptr;
            if (detail != (pass == 0))
                continue;
            if (std::find(m_dataLinks.begin(), m_dataLinks.end(), link) == m_dataLinks.end())
                continue;
            link->DataEvent(Event, Info);
        }
    }
    switch (Event) {
    case deFieldChange:
        m_onDataChange(this, reinterpret_cast<TField*>(Info));
        break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        m_onDataChange(this, nullptr);
        break;
    case deUpdateRecord:
        m_onUpdateData(this);
        break;
    default:
        break;
    }
}

void TDataSource::addDataLink(TDataLink* link) {
    m_dataLinks.push_back(link);
    link->m_dataSource = this;
    if (m_dataSet)
        m_dataSet->UpdateBufferCount();
    link->updateState();
}

void TDataSource::removeDataLink(TDataLink* link) {
    link->m_dataSource = nullptr;
    m_dataLinks.erase(std::remove(m_dataLinks.begin(), m_dataLinks.end(), link), m_dataLinks.end());
    link->updateState();
    if (m_dataSet)
        m_dataSet->UpdateBufferCount();
}

// ---- TDataLink ---------------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (m_dataSource) {
        TDataSource* source = m_dataSource;
        m_active = false; // no ActiveChanged from a half-destroyed derived object
        source->m_dataLinks.erase(
            std::remove(source->m_dataLinks.begin(), source->m_dataLinks.end(), this),
            source->m_dataLinks.end());
        m_dataSource = nullptr;
        if (source->m_dataSet)
            source->m_dataSet->UpdateBufferCount();
    }
}

void TDataLink::SetDataSource(TDataSource* ADataSource) {
    if (ADataSource == m_dataSource)
        return;
    if (m_dataSource)
        m_dataSource->removeDataLink(this);
    if (ADataSource)
        ADataSource->addDataLink(this);
}

TDataSet* TDataLink::DataSet() const {
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool Value) {
    if (m_readOnly == Value)
        return;
    m_readOnly = Value;
    updateState();
}

void TDataLink::SetBufferCount(int Value) {
    if (Value < 1)
        Value = 1;
    if (m_bufferCount == Value)
        return;
    m_bufferCount = Value;
    if (m_active) {
        TDataSet* ds = DataSet();
        ds->UpdateBufferCount();
        updateRange();
    }
}

int TDataLink::ActiveRecord() const {
    if (!m_active || m_dataSource->m_state == dsSetKey)
        return 0;
    return DataSet()->m_activeRecord - m_firstRecord;
}

void TDataLink::SetActiveRecord(int Value) {
    if (!m_active || m_dataSource->m_state == dsSetKey)
        return;
    DataSet()->m_activeRecord = Value + m_firstRecord;
}

int TDataLink::RecordCount() const {
    if (!m_active)
        return 0;
    if (m_dataSource->m_state == dsSetKey)
        return 1;
    return std::min(DataSet()->m_recordCount, m_bufferCount);
}

bool TDataLink::Edit() {
    if (!m_readOnly && m_dataSource)
        m_dataSource->Edit();
    return m_editing;
}

void TDataLink::UpdateRecord() {
    m_updating = true;
    struct Reset {
        TDataLink* l;
        ~Reset() { l->m_updating = false; }
    } reset{this};
    UpdateData();
}

void TDataLink::updateRange() {
    TDataSet* ds = DataSet();
    int active = ds->m_activeRecord;
    int lo = std::max(0, active - m_bufferCount + 1);
    int hi = std::min(std::max(0, ds->m_bufferCount - m_bufferCount), active);
    if (m_firstRecord < lo)
        m_firstRecord = lo;
    if (m_firstRecord > hi)
        m_firstRecord = hi;
}

void TDataLink::updateState() {
    bool active = m_dataSource && m_dataSource->Enabled() && m_dataSource->DataSet() &&
                  m_dataSource->DataSet()->Active();
    setActive(active);
    setEditing(active && (m_dataSource->m_state == dsEdit || m_dataSource->m_state == dsInsert) &&
               !m_readOnly);
}

void TDataLink::setActive(bool Value) {
    if (m_active == Value)
        return;
    m_active = Value;
    if (Value)
        updateRange();
    else
        m_firstRecord = 0;
    ActiveChanged();
}

void TDataLink::setEditing(bool Value) {
    if (m_editing == Value)
        return;
    m_editing = Value;
    EditingChanged();
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        updateState();
        return;
    }
    if (!m_active)
        return;
    switch (Event) {
    case deFieldChange:
    case deRecordChange:
        if (!m_updating)
            RecordChanged(reinterpret_cast<TField*>(Info));
        break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
        int count = 0;
        if (m_dataSource->m_state != dsSetKey) {
            int active = DataSet()->m_activeRecord;
            int first = m_firstRecord + (Event == deDataSetScroll ? static_cast<int>(Info) : 0);
            int last = first + m_bufferCount - 1;
            if (active > last)
                count = active - last;
            else if (active < first)
                count = active - first;
            m_firstRecord = first + count;
        }
        if (Event == deDataSetChange)
            DataSetChanged();
        else if (Event == deDataSetScroll)
            DataSetScrolled(count);
        else
            LayoutChanged();
        break;
    }
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(reinterpret_cast<TField**>(Info));
        break;
    default:
        break;
    }
}

} // namespace tovrin::host

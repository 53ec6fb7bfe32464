// TDataSet: opening and closing, binding fields, the record buffer ring, navigation,
// resynchronisation, states, data events and control disabling.
#include "host/DataSet.h"

#include <algorithm>

#include "host/DataSource.h"
#include "host/DbConsts.h"
#include "host/Exceptions.h"
#include "host/FilterExpression.h"
#include "host/PropInfo.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

namespace host {

TDataSet::TDataSet(TComponent* AOwner) : TComponent(AOwner) {}

TDataSet::~TDataSet() {
    Destroying();
    // The concrete dataset closed itself; release what is left without calling the
    // record operations, which no longer exist at this point.
    m_buffers.clear();
    m_state = dsInactive;
    while (!m_dataSources.empty())
        m_dataSources.back()->SetDataSet(nullptr);
    while (m_fields.Count() > 0) {
        TField* f = m_fields.Fields(m_fields.Count() - 1);
        m_fields.Remove(f);
    }
}

// ---- operations and closing from their events ------------------------------------------

void TDataSet::finishPendingClose() noexcept {
    m_closePending = false;
    if (!Active())
        return;
    try {
        SetActive(false);
    } catch (...) {
        // Closing releases what the dataset holds whatever an AfterClose handler does.
        try {
            InternalHandleException();
        } catch (...) {
        }
        if (Active()) {
            try {
                SetState(dsInactive);
                CloseCursor();
            } catch (...) {
            }
        }
    }
}

void TDataSet::AbortIfClosing() {
    if (m_closePending || m_state == dsInactive)
        Abort();
}

bool TDataSet::findScoped(bool restart, bool forward) {
    TOperationScope scope(*this);
    return FindRecord(restart, forward);
}

// ---- opening and closing ---------------------------------------------------------------

void TDataSet::SetActive(bool Value) {
    if (ComponentState().Contains(csReading)) {
        if (Value)
            m_streamedActive = true;
        return;
    }
    if (Active() == Value)
        return;
    if (!Value && m_busy > 0 && !ComponentState().Contains(csDestroying)) {
        // Called from an event handler of a running operation: closing now would release
        // the buffers and records that operation is using.
        m_closePending = true;
        return;
    }
    TOperationScope scope(*this);
    if (Value) {
        DoBeforeOpen();
        m_internalOpenComplete = false;
        try {
            OpenCursor(false);
        } catch (...) {
            SetState(dsInactive);
            CloseCursor();
            throw;
        }
        openCursorComplete();
    } else {
        bool destroying = ComponentState().Contains(csDestroying);
        if (!destroying)
            DoBeforeClose();
        // A pending edit is dropped without events, but the dataset still releases what
        // it set up for it.
        if (m_state == dsEdit || m_state == dsInsert)
            InternalCancel();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying)
            DoAfterClose();
    }
}

void TDataSet::openCursorComplete() {
    if (m_internalOpenComplete && IsCursorOpen()) {
        SetState(dsBrowse);
        try {
            DoAfterOpen();
            if (!IsEmpty())
                DoAfterScroll();
        } catch (...) {
            // An open that raises leaves the dataset closed, whichever step failed.
            SetState(dsInactive);
            CloseCursor();
            throw;
        }
    } else {
        SetState(dsInactive);
        CloseCursor();
    }
}

void TDataSet::OpenCursor(bool InfoQuery) {
    if (InfoQuery) {
        InternalInitFieldDefs();
        return;
    }
    m_defaultFields = m_fields.Count() == 0;
    InternalOpen();
    if (!IsCursorOpen())
        return;
    m_internalOpenComplete = true;
    UpdateBufferCount();
    m_bof = true;
}

void TDataSet::freeFieldBuffers() noexcept {
    for (TField* f : m_fields)
        if (auto* blob = dynamic_cast<TBlobField*>(f))
            blob->SetModified(false);
}

void TDataSet::CloseCursor() {
    freeFieldBuffers();
    ClearBuffers();
    SetBufListSize(0);
    m_bufferCount = 0;
    m_internalOpenComplete = false;
    InternalClose();
    m_defaultFields = false;
}

void TDataSet::Loaded() {
    TComponent::Loaded();
    if (!m_streamedActive)
        return;
    m_streamedActive = false;
    try {
        SetActive(true);
    } catch (...) {
        if (ComponentState().Contains(csDesigning))
            InternalHandleException();
        else
            throw;
    }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove) {
        for (TField* f : m_fields)
            if (f->m_lookupDataSet == AComponent)
                f->m_lookupDataSet = nullptr;
    }
}

void TDataSet::CheckActive() const {
    if (!Active())
        DatabaseError(dbconsts::SDataSetClosed, const_cast<TDataSet*>(this));
}

void TDataSet::CheckInactive() const {
    if (Active())
        DatabaseError(dbconsts::SDataSetOpen, const_cast<TDataSet*>(this));
}

void TDataSet::InitFieldDefs() {
    if (IsCursorOpen()) {
        InternalInitFieldDefs();
        return;
    }
    try {
        OpenCursor(true);
    } catch (...) {
        CloseCursor();
        throw;
    }
    CloseCursor();
}

void TDataSet::UpdateFieldDefs() {
    if (m_fieldDefs.Updated())
        return;
    InitFieldDefs();
    m_fieldDefs.SetUpdated(true);
}

TFieldClass TDataSet::GetFieldClass(TFieldType FieldType) const {
    return DefaultFieldClass(FieldType);
}

void TDataSet::CreateFields() {
    for (int i = 0; i < m_fieldDefs.Count(); ++i) {
        TFieldDef* def = m_fieldDefs.Items(i);
        if (def->DataType() != ftUnknown && GetFieldClass(def->DataType()))
            def->CreateField(this);
    }
}

void TDataSet::DestroyFields() {
    m_fields.Clear();
}

void TDataSet::BindFields(bool Binding) {
    if (m_filterExpression)
        m_filterExpression->Unbind(); // it may name fields bound anew
    m_calcFieldsSize = 0;
    int blobIndex = 0;
    for (TField* f : m_fields) {
        if (!Binding) {
            f->Bind(false);
            f->m_fieldNo = 0;
            continue;
        }
        if (f->m_fieldKind == fkCalculated || f->m_fieldKind == fkLookup) {
            f->m_fieldNo = -1;
            f->m_offset = m_calcFieldsSize;
            m_calcFieldsSize += f->DataSize() + 1;
        } else {
            int i = m_fieldDefs.IndexOf(f->m_fieldName);
            if (i < 0)
                DatabaseErrorFmt(dbconsts::SFieldNotFound, {f->GetDisplayName()}, this);
            TFieldDef* def = m_fieldDefs.Items(i);
            if (f->m_fieldKind != fkInternalCalc && def->DataType() != f->DataType() &&
                !(f->IsBlob() && def->DataType() >= ftBlob && def->DataType() <= ftTypedBinary))
                DatabaseErrorFmt(dbconsts::SFieldTypeMismatch,
                                 {f->GetDisplayName(), FieldTypeName(f->DataType()),
                                  FieldTypeName(def->DataType())},
                                 this);
            f->m_fieldNo = def->FieldNo();
            if (f->IsBlob()) {
                f->m_size = def->Size();
                f->m_offset = blobIndex++;
            }
        }
        f->Bind(true);
    }
}

// ---- state --------------------------------------------------------------------------------

void TDataSet::SetState(TDataSetState Value) {
    if (m_state == Value)
        return;
    m_state = Value;
    m_modified = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
    // A temporary state (calculating fields, filtering, reading an old value) leaves the
    // pending record's modified flag alone: clearing it would make the next
    // CheckBrowseMode cancel the record instead of posting it.
    TDataSetState old = m_state;
    m_state = Value;
    ++m_disableCount;
    return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
    m_state = Value;
    if (m_disableCount > 0)
        --m_disableCount;
}

// ---- the buffer ring ------------------------------------------------------------------------

void TDataSet::SetBufListSize(int Value) {
    auto oldSize = static_cast<int>(m_buffers.size());
    if (Value == oldSize)
        return;
    if (Value < oldSize) {
        for (int i = Value; i < oldSize; ++i)
            FreeRecordBuffer(m_buffers[static_cast<std::size_t>(i)]);
        m_buffers.resize(static_cast<std::size_t>(Value));
        return;
    }
    std::vector<TRecordBuffer> grown = m_buffers;
    grown.reserve(static_cast<std::size_t>(Value));
    try {
        while (static_cast<int>(grown.size()) < Value) {
            grown.push_back(nullptr);
            grown.back() = AllocRecordBuffer();
        }
    } catch (...) {
        for (auto i = static_cast<std::size_t>(oldSize); i < grown.size(); ++i)
            if (grown[i])
                FreeRecordBuffer(grown[i]);
        throw;
    }
    m_buffers = std::move(grown);
}

void TDataSet::adjustLinkFirstRecords(int delta) {
    if (delta == 0)
        return;
    for (TDataSource* ds : m_dataSources)
        for (TDataLink* link : ds->m_dataLinks)
            if (link->m_active)
                link->m_firstRecord += delta;
}

void TDataSet::SetBufferCount(int Value) {
    if (Value < 1)
        Value = 1;
    if (Value == m_bufferCount)
        return;
    if (Value < m_bufferCount && m_recordCount > Value) {
        // Keep the active record in the window: drop records in front of it first.
        int excess = m_recordCount - Value;
        int dropFront = std::min(excess, m_activeRecord);
        for (int i = 0; i < dropFront; ++i)
            moveBuffer(0, static_cast<int>(m_buffers.size()) - 1);
        m_activeRecord -= dropFront;
        m_recordCount = std::min(m_recordCount - dropFront, Value);
        adjustLinkFirstRecords(-dropFront);
        CursorPosChanged();
    }
    SetBufListSize(Value + 1);
    m_bufferCount = Value;
    GetNextRecords();
    adjustLinkFirstRecords(GetPriorRecords());
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen())
        return;
    int count = 1;
    for (TDataSource* ds : m_dataSources)
        for (TDataLink* link : ds->m_dataLinks)
            count = std::max(count, link->m_bufferCount);
    SetBufferCount(count);
}

TRecordBuffer TDataSet::ActiveBuffer() const noexcept {
    if (m_buffers.empty())
        return nullptr;
    return m_buffers[static_cast<std::size_t>(m_activeRecord)];
}

void TDataSet::moveBuffer(int curIndex, int newIndex) noexcept {
    if (curIndex == newIndex)
        return;
    auto b = m_buffers.begin();
    if (curIndex < newIndex)
        std::rotate(b + curIndex, b + curIndex + 1, b + newIndex + 1);
    else
        std::rotate(b + newIndex, b + curIndex, b + curIndex + 1);
}

void TDataSet::ClearBuffers() noexcept {
    m_recordCount = 0;
    m_activeRecord = 0;
    m_currentRecord = -1;
    m_bof = true;
    m_eof = true;
}

void TDataSet::ActivateBuffers() noexcept {
    m_recordCount = 1;
    m_activeRecord = 0;
    m_currentRecord = 0;
    m_bof = false;
    m_eof = false;
}

void TDataSet::SetCurrentRecord(int Index) {
    if (m_currentRecord == Index)
        return;
    TRecordBuffer buffer = m_buffers[static_cast<std::size_t>(Index)];
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
        InternalSetToRecord(buffer);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        InternalLast();
        break;
    }
    m_currentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
    if (m_recordCount > 0)
        SetCurrentRecord(m_activeRecord);
}

bool TDataSet::readRecord(TRecordBuffer buffer, TGetMode mode) {
    try {
        return GetRecord(buffer, mode, true) == grOK;
    } catch (...) {
        // The concrete position may have moved to the record whose reading failed (its
        // filter or calculated fields raised): it no longer matches the window.
        CursorPosChanged();
        throw;
    }
}

bool TDataSet::GetNextRecord() {
    TGetMode mode = gmNext;
    if (m_recordCount > 0) {
        SetCurrentRecord(m_recordCount - 1);
        if (m_state == dsInsert && m_currentRecord == m_activeRecord &&
            GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
            mode = gmCurrent;
    }
    bool ok = readRecord(m_buffers[static_cast<std::size_t>(m_recordCount)], mode);
    if (ok) {
        if (m_recordCount == 0) {
            ActivateBuffers();
        } else if (m_recordCount < m_bufferCount) {
            ++m_recordCount;
        } else {
            moveBuffer(0, m_recordCount);
        }
        m_currentRecord = m_recordCount - 1;
    } else {
        CursorPosChanged();
    }
    return ok;
}

bool TDataSet::GetPriorRecord() {
    if (m_recordCount > 0)
        SetCurrentRecord(0);
    bool ok = readRecord(m_buffers[static_cast<std::size_t>(m_recordCount)], gmPrior);
    if (ok) {
        if (m_recordCount == 0) {
            ActivateBuffers();
        } else {
            moveBuffer(m_recordCount, 0);
            if (m_recordCount < m_bufferCount) {
                ++m_recordCount;
                ++m_activeRecord;
            }
        }
        m_currentRecord = 0;
    } else {
        CursorPosChanged();
    }
    return ok;
}

int TDataSet::GetNextRecords() {
    int n = 0;
    while (m_recordCount < m_bufferCount && GetNextRecord())
        ++n;
    return n;
}

int TDataSet::GetPriorRecords() {
    int n = 0;
    while (m_recordCount < m_bufferCount && GetPriorRecord())
        ++n;
    return n;
}

void TDataSet::Resync(TResyncMode Mode) {
    if (m_buffers.empty())
        return; // cursor closed: no window to refill
    TRecordBuffer scratch = m_buffers[static_cast<std::size_t>(m_recordCount)];
    if (Mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(scratch, gmCurrent, true) != grOK)
            DatabaseError(dbconsts::SRecordNotFound, this);
    } else if (GetRecord(scratch, gmCurrent, false) != grOK &&
               GetRecord(scratch, gmNext, false) != grOK &&
               GetRecord(scratch, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int count = Mode.Contains(rmCenter) ? (m_bufferCount - 1) / 2 : m_activeRecord;
    moveBuffer(m_recordCount, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord())
            --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

// ---- navigation ------------------------------------------------------------------------------

void TDataSet::First() {
    moveToEnd(false);
}

void TDataSet::Last() {
    moveToEnd(true);
}

void TDataSet::moveToEnd(bool last) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    if (m_quietScrolls == 0)
        DoBeforeScroll();
    ClearBuffers();
    bool& atEnd = last ? m_eof : m_bof;
    try {
        if (last) {
            InternalLast();
            GetPriorRecord();
            GetPriorRecords();
        } else {
            InternalFirst();
            GetNextRecord();
            GetNextRecords();
        }
    } catch (...) {
        atEnd = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    atEnd = true;
    DataEvent(deDataSetChange, 0);
    if (m_quietScrolls == 0)
        DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    int result = 0;
    if (m_quietScrolls == 0)
        DoBeforeScroll();
    if (!((Distance > 0 && !m_eof) || (Distance < 0 && !m_bof)))
        return 0;
    m_bof = false;
    m_eof = false;
    int oldRecordCount = m_recordCount;
    int scrollCount = 0;
    auto finish = [&] {
        if (m_recordCount != oldRecordCount)
            DataEvent(deDataSetChange, 0);
        else
            DataEvent(deDataSetScroll, scrollCount);
    };
    try {
        while (Distance > 0) {
            if (m_activeRecord < m_recordCount - 1) {
                ++m_activeRecord;
            } else {
                int shift = m_recordCount < m_bufferCount ? 0 : 1;
                if (!GetNextRecord()) {
                    m_eof = true;
                    break;
                }
                scrollCount -= shift;
                m_activeRecord = m_recordCount - 1;
            }
            --Distance;
            ++result;
        }
        while (Distance < 0) {
            if (m_activeRecord > 0) {
                --m_activeRecord;
            } else {
                int shift = m_recordCount < m_bufferCount ? 0 : 1;
                if (!GetPriorRecord()) {
                    m_bof = true;
                    break;
                }
                scrollCount += shift;
                m_activeRecord = 0;
            }
            ++Distance;
            --result;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (m_quietScrolls == 0)
        DoAfterScroll();
    return result;
}

void TDataSet::Refresh() {
    TOperationScope scope(*this);
    CheckBrowseMode();
    m_BeforeRefresh(this);
    UpdateCursorPos();
    InternalRefresh();
    Resync({});
    m_AfterRefresh(this);
}

// ---- record-level defaults ----------------------------------------------------------------------

void TDataSet::SetFieldData(TField* /*Field*/, const void* /*Buffer*/) {
    DatabaseErrorFmt(dbconsts::SOperationNotSupported, {Name()}, this);
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* /*Field*/, TBlobStreamMode /*Mode*/) {
    DatabaseErrorFmt(dbconsts::SOperationNotSupported, {Name()}, this);
}

int TDataSet::Translate(const char* Src, char* Dest, bool /*ToOem*/) {
    std::size_t n = std::char_traits<char>::length(Src);
    if (Src != Dest)
        std::char_traits<char>::move(Dest, Src, n + 1);
    return static_cast<int>(n);
}

bool TDataSet::GetCurrentRecord(TRecordBuffer /*Buffer*/) {
    return false;
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
    InternalInitRecord(Buffer);
    ClearCalcFields(Buffer);
    SetBookmarkFlag(Buffer, bfInserted);
}

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

void TDataSet::GetChildren(const std::function<void(TComponent*)>& /*Proc*/,
                           TComponent* /*Root*/) const {}

// ---- event hooks
// ------------------------------------------------------------------------------------ A handler
// may close the dataset: the hooks an operation continues from stop it then.

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

} // namespace host

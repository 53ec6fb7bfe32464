// TDataSet: opening and closing, binding fields, states and the record-level defaults;
// the buffer ring and navigation are in DataSetBuffers.cpp, events in DataSetEvents.cpp.
#include "tovrin5/host/DataSet.h"

#include <algorithm>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FilterExpression.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

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

void TDataSet::GetChildren(const std::function<void(TComponent*)>& /*Proc*/,
                           TComponent* /*Root*/) const {}

} // namespace tovrin::host

// TDataSet: the record buffer ring, fetching records into it, resynchronisation and navigation.
#include <algorithm>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

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

} // namespace tovrin::host

// A small dataset for the engine tests: it keeps its records in memory as flat blocks
// (a flag byte and a value area per column, an 8-byte record-info area, then the
// calculated-field area) and implements the record operations the engine calls.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Streams.h"

namespace testdata {

using namespace tovrin::host;

struct Column {
    std::string name;
    TFieldType type;
    int size = 0;
};

inline int valueSize(TFieldType type, int size) {
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
        return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
        return 2;
    case ftInteger:
    case ftAutoInc:
        return 4;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftLargeint:
        return 8;
    case ftBCD:
        return 34;
    case ftVarBytes:
        return size + 2;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
        return 8;
    default:
        return 0;
    }
}

class ArrayDataSet : public TDataSet {
public:
    explicit ArrayDataSet(TComponent* owner, std::vector<Column> columns = {})
        : TDataSet(owner), m_columns(std::move(columns)) {}
    ~ArrayDataSet() override {
        Destroying();
        Close();
        freeRecords();
        dropOldBuffer();
    }
    [[nodiscard]] std::string ClassName() const override { return "ArrayDataSet"; }

    // Records added before Open (or between Close and Open) as variant rows.
    void AddRow(std::vector<Variant> row) { m_pending.push_back(std::move(row)); }
    [[nodiscard]] int StoredCount() const { return static_cast<int>(m_records.size()); }
    [[nodiscard]] int CurRec() const { return m_curRec; }
    /// Stored value of a column as text, bypassing the engine.
    [[nodiscard]] std::string StoredInt(int index, int column) const {
        const char* slot = m_records[static_cast<std::size_t>(index)] +
                           m_offsets[static_cast<std::size_t>(column)];
        if (!slot[0])
            return "null";
        int32_t v;
        std::memcpy(&v, slot + 1, 4);
        return std::to_string(v);
    }
    void SetReadOnlyDataSet(bool v) { m_readOnly = v; }
    // Makes Post fail with a database error the next n times.
    void FailPosts(int n) { m_failPosts = n; }
    // Recorded calls of the record operations, for order tests.
    std::vector<std::string> calls;
    using TDataSet::ActiveRecord;
    using TDataSet::BufferedRecordCount;
    using TDataSet::CalcBuffer;
    using TDataSet::CursorPosChanged;
    using TDataSet::RestoreState;
    using TDataSet::Resync;
    using TDataSet::SetTempState;

    [[nodiscard]] int GetRecNo() const override {
        TRecordBuffer b = const_cast<ArrayDataSet*>(this)->activeRecordBuffer();
        if (!b || State() == dsInsert)
            return -1;
        return recNoOf(b);
    }
    void SetRecNo(int Value) override {
        CheckBrowseMode();
        if (Value >= 1 && Value <= StoredCount()) {
            DoBeforeScroll();
            m_curRec = Value - 1;
            CursorPosChanged();
            Resync(TResyncMode{rmExact, rmCenter});
            DoAfterScroll();
        }
    }
    [[nodiscard]] bool IsCursorOpen() const override { return m_open; }
    bool GetFieldData(TField* Field, void* Buffer) override {
        char* slot = fieldSlot(Field);
        if (!slot)
            return false;
        if (Buffer)
            std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(slotSize(Field)));
        return slot[0] != 0;
    }
    void SetFieldData(TField* Field, const void* Buffer) override {
        char* slot = fieldSlot(Field);
        if (!slot)
            return;
        if (Field->ReadOnly() && State() != dsCalcFields)
            DatabaseErrorFmt("Field %s is read only", {Field->GetDisplayName()});
        if (Field->FieldKind() == fkData)
            Field->Validate(Buffer);
        slot[0] = Buffer ? 1 : 0;
        if (Buffer)
            std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(slotSize(Field)));
        if (State() != dsCalcFields && State() != dsFilter)
            DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
    }
    bool BookmarkValid(const TBookmark& b) override {
        if (b.size() < 4)
            return false;
        int32_t i;
        std::memcpy(&i, b.data(), 4);
        return i >= 0 && i < StoredCount();
    }
    int CompareBookmarks(const TBookmark& a, const TBookmark& b) override {
        if (a.size() < 4 || b.size() < 4)
            return 0;
        int32_t x, y;
        std::memcpy(&x, a.data(), 4);
        std::memcpy(&y, b.data(), 4);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
    int Translate(const char* Src, char* Dest, bool ToOem) override {
        int n = TDataSet::Translate(Src, Dest, ToOem);
        if (m_upperOnStore && ToOem)
            for (int i = 0; i < n; ++i)
                Dest[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(Dest[i])));
        return n;
    }
    bool m_upperOnStore = false;

    // Filtering switched on an open dataset re-reads from the first record.
    void SetFiltered(bool Value) override {
        if (!Active()) {
            TDataSet::SetFiltered(Value);
            return;
        }
        CheckBrowseMode();
        if (Filtered() != Value)
            TDataSet::SetFiltered(Value);
        First();
    }

    // Exposed for tests of the raw record operations.
    TGetResult Fetch(TRecordBuffer b, TGetMode mode) { return GetRecord(b, mode, true); }
    TRecordBuffer Alloc() { return AllocRecordBuffer(); }
    void Free(TRecordBuffer& b) { FreeRecordBuffer(b); }
    void SetCurRec(int i) { m_curRec = i; }

protected:
    // The record-info area may sit at any offset, so it is read and written bytewise.
    int32_t recNoOf(TRecordBuffer b) const {
        int32_t r;
        std::memcpy(&r, b + m_dataSize, 4);
        return r;
    }
    void setRecNo(TRecordBuffer b, int32_t r) const { std::memcpy(b + m_dataSize, &r, 4); }
    uint8_t flagOf(TRecordBuffer b) const { return static_cast<uint8_t>(b[m_dataSize + 4]); }
    void setFlag(TRecordBuffer b, uint8_t f) const { b[m_dataSize + 4] = static_cast<char>(f); }

    void InternalOpen() override {
        calls.push_back("InternalOpen");
        FieldDefs().Clear();
        FieldDefs().SetUpdated(false);
        m_open = true;
        FieldDefs().Update();
        if (DefaultFields())
            CreateFields();
        BindFields(true);
        m_offsets.clear();
        m_dataSize = 0;
        for (auto& c : m_columns) {
            m_offsets.push_back(m_dataSize);
            m_dataSize += 1 + valueSize(c.type, c.size);
        }
        m_recordSize = m_dataSize + 8 + CalcFieldsSize();
        SetBookmarkSize(4);
        m_curRec = -1;
        for (auto& row : m_pending)
            storeRow(row);
        m_pending.clear();
    }
    void InternalClose() override {
        calls.push_back("InternalClose");
        freeRecords();
        dropOldBuffer();
        m_open = false;
        m_curRec = -1;
        BindFields(false);
        if (DefaultFields())
            DestroyFields();
    }
    void InternalInitFieldDefs() override {
        FieldDefs().Clear();
        for (auto& c : m_columns)
            FieldDefs().Add(c.name, c.type, c.size);
    }
    TRecordBuffer AllocRecordBuffer() override {
        auto* b = new char[static_cast<std::size_t>(m_recordSize)];
        std::memset(b, 0, static_cast<std::size_t>(m_recordSize));
        return b;
    }
    void FreeRecordBuffer(TRecordBuffer& Buffer) override {
        delete[] Buffer;
        Buffer = nullptr;
    }
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) override {
        for (;;) {
            TGetResult r = grOK;
            int n = StoredCount();
            switch (GetMode) {
            case gmCurrent:
                r = m_curRec < n ? (m_curRec < 0 ? grBOF : grOK) : grEOF;
                break;
            case gmNext:
                if (m_curRec < n - 1)
                    ++m_curRec;
                else
                    r = grEOF;
                break;
            case gmPrior:
                if (m_curRec > 0)
                    --m_curRec;
                else
                    r = grBOF;
                break;
            }
            if (r != grOK)
                return r;
            std::memcpy(Buffer, m_records[static_cast<std::size_t>(m_curRec)],
                        static_cast<std::size_t>(m_recordSize));
            setRecNo(Buffer, (State() == dsBrowse || State() == dsInactive) ? m_curRec + 1 : -1);
            setFlag(Buffer, bfCurrent);
            bool accept = filterRecord(Buffer);
            if (!accept && GetMode == gmCurrent)
                return grError;
            if (accept) {
                GetCalcFields(Buffer);
                return grOK;
            }
        }
    }
    void InternalFirst() override { m_curRec = -1; }
    void InternalLast() override { m_curRec = StoredCount(); }
    void InternalSetToRecord(TRecordBuffer Buffer) override {
        int r = recNoOf(Buffer);
        m_curRec = r < 0 ? -1 : r - 1;
    }
    void InternalInitRecord(TRecordBuffer Buffer) override {
        std::memset(Buffer, 0, static_cast<std::size_t>(m_recordSize));
        setRecNo(Buffer, -1);
    }
    void ClearCalcFields(TRecordBuffer Buffer) override {
        std::memset(Buffer + m_dataSize + 8, 0, static_cast<std::size_t>(CalcFieldsSize()));
    }
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) override {
        int32_t i = recNoOf(Buffer) - 1;
        std::memcpy(Data, &i, 4);
    }
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override {
        int32_t i;
        std::memcpy(&i, Data, 4);
        setRecNo(Buffer, i + 1);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override {
        return static_cast<TBookmarkFlag>(flagOf(Buffer));
    }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
        setFlag(Buffer, static_cast<uint8_t>(Value));
    }
    void InternalGotoBookmark(const void* ABookmark) override {
        int32_t i;
        std::memcpy(&i, ABookmark, 4);
        m_curRec = (i >= 0 && i < StoredCount()) ? i : -1;
    }
    void InternalEdit() override {
        calls.push_back("InternalEdit");
        keepOldBuffer();
    }
    void InternalInsert() override {
        calls.push_back("InternalInsert");
        keepOldBuffer();
    }
    void InternalCancel() override {
        calls.push_back("InternalCancel");
        dropOldBuffer();
    }
    void InternalPost() override {
        calls.push_back("InternalPost");
        if (m_failPosts > 0) {
            --m_failPosts;
            DatabaseError("post refused");
        }
        int p = recNoOf(ActiveBuffer()) - 1;
        dropOldBuffer();
        if (State() == dsEdit) {
            std::memcpy(m_records[static_cast<std::size_t>(p)], ActiveBuffer(),
                        static_cast<std::size_t>(m_recordSize));
            return;
        }
        auto* copy = new char[static_cast<std::size_t>(m_recordSize)];
        std::memcpy(copy, ActiveBuffer(), static_cast<std::size_t>(m_recordSize));
        if (GetBookmarkFlag(ActiveBuffer()) == bfEOF) {
            m_records.push_back(copy);
        } else {
            if (p < 0)
                p = 0;
            m_records.insert(m_records.begin() + p, copy);
        }
    }
    void InternalDelete() override {
        calls.push_back("InternalDelete");
        delete[] m_records[static_cast<std::size_t>(m_curRec)];
        m_records.erase(m_records.begin() + m_curRec);
    }
    void InternalAddRecord(void* Buffer, bool Append) override {
        auto* copy = new char[static_cast<std::size_t>(m_recordSize)];
        std::memcpy(copy, Buffer, static_cast<std::size_t>(m_recordSize));
        if (Append)
            m_records.push_back(copy);
        else
            m_records.insert(m_records.begin() + std::max(0, m_curRec), copy);
    }
    void InternalHandleException() override { calls.push_back("InternalHandleException"); }
    [[nodiscard]] bool GetCanModify() const override { return !m_readOnly; }
    [[nodiscard]] int GetRecordCount() override {
        if (!isFiltered())
            return StoredCount();
        TDataSetState saved = SetTempState(dsBrowse);
        int cur = m_curRec;
        TRecordBuffer scratch = AllocRecordBuffer();
        int count = 0;
        try {
            m_curRec = -1;
            while (GetRecord(scratch, gmNext, false) == grOK)
                ++count;
        } catch (...) {
            RestoreState(saved);
            m_curRec = cur;
            FreeRecordBuffer(scratch);
            throw;
        }
        RestoreState(saved);
        m_curRec = cur;
        FreeRecordBuffer(scratch);
        return count;
    }
    bool FindRecord(bool Restart, bool GoForward) override {
        CheckBrowseMode();
        DoBeforeScroll();
        SetFound(false);
        UpdateCursorPos();
        CursorPosChanged();
        if (Restart) {
            if (GoForward)
                InternalFirst();
            else
                InternalLast();
        }
        int before = m_curRec;
        int n = StoredCount();
        for (;;) {
            if (GoForward ? m_curRec < n - 1 : m_curRec > 0)
                m_curRec += GoForward ? 1 : -1;
            else
                break;
            TRecordBuffer probe = m_records[static_cast<std::size_t>(m_curRec)];
            if (filterRecord(probe))
                break;
        }
        if (m_curRec != before && m_curRec >= 0 && m_curRec < n) {
            Resync(TResyncMode{rmExact, rmCenter});
            SetFound(true);
        } else {
            m_curRec = before;
        }
        if (Found())
            DoAfterScroll();
        return Found();
    }

private:
    void keepOldBuffer() {
        dropOldBuffer();
        m_oldBuffer = AllocRecordBuffer();
        std::memcpy(m_oldBuffer, ActiveBuffer(), static_cast<std::size_t>(m_recordSize));
    }
    void dropOldBuffer() {
        if (m_oldBuffer)
            FreeRecordBuffer(m_oldBuffer);
    }
    bool isFiltered() const { return Filtered() && HasFilterConditions(); }
    bool filterRecord(TRecordBuffer b) {
        if (!isFiltered())
            return true;
        bool accept = true;
        TDataSetState saved = SetTempState(dsFilter);
        m_filterBuffer = b;
        try {
            accept = RecordMatchesFilter();
        } catch (...) {
            RestoreState(saved);
            throw;
        }
        RestoreState(saved);
        return accept;
    }
    TRecordBuffer activeRecordBuffer() {
        switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
            return ActiveBuffer();
        case dsCalcFields:
            return CalcBuffer();
        case dsFilter:
            return m_filterBuffer;
        case dsOldValue:
            return m_oldBuffer ? m_oldBuffer : ActiveBuffer();
        case dsNewValue:
        case dsCurValue:
            return ActiveBuffer();
        default:
            return nullptr;
        }
    }
    char* fieldSlot(TField* f) {
        if (!m_open || !f)
            return nullptr;
        TRecordBuffer b = activeRecordBuffer();
        if (!b)
            return nullptr;
        if (f->FieldNo() > 0)
            return b + m_offsets[static_cast<std::size_t>(f->FieldNo() - 1)];
        return b + m_dataSize + 8 + f->Offset();
    }
    int slotSize(TField* f) const {
        if (f->FieldNo() > 0) {
            const Column& c = m_columns[static_cast<std::size_t>(f->FieldNo() - 1)];
            return valueSize(c.type, c.size);
        }
        return f->DataSize();
    }
    void storeRow(const std::vector<Variant>& row);
    void freeRecords() {
        for (char* r : m_records)
            delete[] r;
        m_records.clear();
        m_blobs.clear();
    }

    std::vector<Column> m_columns;
    std::vector<std::vector<Variant>> m_pending;
    std::vector<char*> m_records;
    std::vector<int> m_offsets;
    int m_dataSize = 0;
    int m_recordSize = 0;
    int m_curRec = -1;
    bool m_open = false;
    bool m_readOnly = false;
    int m_failPosts = 0;
    TRecordBuffer m_filterBuffer = nullptr;
    TRecordBuffer m_oldBuffer = nullptr;

public:
    // Blob values: the slot holds (index + 1) into this list.
    std::vector<std::string> m_blobs;
};

// Stores a row through the engine's own fields, so the record formats are the fields'.
inline void ArrayDataSet::storeRow(const std::vector<Variant>& row) {
    TRecordBuffer b = AllocRecordBuffer();
    InternalInitRecord(b);
    for (std::size_t c = 0; c < row.size() && c < m_columns.size(); ++c) {
        char* slot = b + m_offsets[c];
        const Variant& v = row[c];
        if (v.IsNull())
            continue;
        slot[0] = 1;
        char* p = slot + 1;
        switch (m_columns[c].type) {
        case ftString: {
            std::string s = v.AsString();
            std::memcpy(
                p, s.data(),
                std::min<std::size_t>(s.size(), static_cast<std::size_t>(m_columns[c].size)));
            break;
        }
        case ftSmallint: {
            int16_t x = static_cast<int16_t>(v.AsInteger());
            std::memcpy(p, &x, 2);
            break;
        }
        case ftInteger: {
            int32_t x = v.AsInteger();
            std::memcpy(p, &x, 4);
            break;
        }
        case ftLargeint: {
            int64_t x = v.AsInt64();
            std::memcpy(p, &x, 8);
            break;
        }
        case ftBoolean: {
            uint16_t x = v.AsBoolean() ? 1 : 0;
            std::memcpy(p, &x, 2);
            break;
        }
        case ftFloat:
        case ftCurrency: {
            double x = v.AsFloat();
            std::memcpy(p, &x, 8);
            break;
        }
        case ftDateTime: {
            double x = TimeStampToMSecs(DateTimeToTimeStamp(v.AsDateTime()));
            std::memcpy(p, &x, 8);
            break;
        }
        case ftMemo:
        case ftBlob: {
            m_blobs.push_back(v.AsString());
            int64_t ref = static_cast<int64_t>(m_blobs.size());
            std::memcpy(p, &ref, 8);
            break;
        }
        default:
            slot[0] = 0;
            break;
        }
    }
    m_records.push_back(b);
}

// A stream over a blob value: loaded on creation, stored back on destruction when written.
class ArrayBlobStream : public TMemoryStream {
public:
    ArrayBlobStream(ArrayDataSet* ds, char* slot, TBlobField* field, TBlobStreamMode mode)
        : m_ds(ds), m_slot(slot), m_field(field), m_mode(mode) {
        if (!slot)
            return;
        int64_t ref = 0;
        std::memcpy(&ref, slot + 1, 8);
        if (ref > 0 && mode != bmWrite) {
            const std::string& v = ds->m_blobs[static_cast<std::size_t>(ref - 1)];
            TMemoryStream::Write(v.data(), static_cast<int64_t>(v.size()));
            SetPosition(0);
        }
        if (mode == bmWrite)
            m_modified = true;
    }
    int64_t Write(const void* Buffer, int64_t Count) override {
        if (m_mode != bmRead)
            m_modified = true;
        return TMemoryStream::Write(Buffer, Count);
    }
    ~ArrayBlobStream() override {
        if (!m_modified || !m_slot)
            return;
        std::string v(static_cast<const char*>(Memory()), static_cast<std::size_t>(Size()));
        m_ds->m_blobs.push_back(v);
        int64_t ref = static_cast<int64_t>(m_ds->m_blobs.size());
        std::memcpy(m_slot + 1, &ref, 8);
        m_slot[0] = v.empty() ? 0 : 1;
        m_field->SetModified(true);
        m_ds->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(m_field));
    }

private:
    ArrayDataSet* m_ds;
    char* m_slot;
    TBlobField* m_field;
    TBlobStreamMode m_mode;
    bool m_modified = false;
};

inline std::unique_ptr<TStream> ArrayDataSet::CreateBlobStream(TField* Field,
                                                               TBlobStreamMode Mode) {
    auto* blob = dynamic_cast<TBlobField*>(Field);
    if (!blob)
        throw EInvalidCast("Invalid class typecast");
    if (Mode != bmRead && State() != dsEdit && State() != dsInsert)
        DatabaseError(dbconsts::SNotEditing, this);
    return std::make_unique<ArrayBlobStream>(this, fieldSlot(Field), blob, Mode);
}

/// Rows 1..n with columns ID (integer), NAME (string 10), AMOUNT (float).
inline std::unique_ptr<ArrayDataSet> makeNumbers(int n) {
    auto ds = std::make_unique<ArrayDataSet>(
        nullptr,
        std::vector<Column>{{"ID", ftInteger, 0}, {"NAME", ftString, 10}, {"AMOUNT", ftFloat, 0}});
    ds->SetName("Numbers");
    for (int i = 1; i <= n; ++i)
        ds->AddRow({i, "n" + std::to_string(i), i * 1.5});
    return ds;
}

/// A data link that records what it is told.
class RecordingLink : public TDataLink {
public:
    std::vector<std::string> events;
    void ActiveChanged() override { events.push_back(Active() ? "active" : "inactive"); }
    void RecordChanged(TField* f) override {
        events.push_back(f ? "field:" + f->FieldName() : "record");
    }
    void DataSetChanged() override { events.push_back("changed"); }
    void DataSetScrolled(int d) override { events.push_back("scrolled:" + std::to_string(d)); }
    void EditingChanged() override { events.push_back(Editing() ? "editing" : "not editing"); }
    void CheckBrowseMode() override { events.push_back("checkbrowse"); }
    void UpdateData() override { events.push_back("update"); }
};

} // namespace testdata

// TDataSet: editing (edit, insert, append, post, cancel, delete and their events),
// bookmarks, filtering options and the generic searches (Locate, Lookup, Find*).
#include <cstring>
#include <exception>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FilterExpression.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

// Runs an internal operation with the position on the active record. A database error
// goes to the error event, whose handler may retry it, abort silently or let it fail.
void TDataSet::checkOperation(void (TDataSet::*operation)(), const TDataSetErrorEvent& errorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            (this->*operation)();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (errorEvent)
                errorEvent(this, &e, action);
            if (action == daFail)
                throw;
            if (action == daAbort)
                Abort();
        }
    }
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    if (m_state == dsEdit || m_state == dsInsert) {
        TOperationScope scope(*this);
        UpdateRecord();
        if (m_modified)
            Post();
        else
            Cancel();
    } else if (m_state == dsSetKey) {
        Post();
    }
}

void TDataSet::UpdateRecord() {
    if (!dsWriteModes.Contains(m_state))
        DatabaseError(dbconsts::SNotEditing, this);
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::Edit() {
    TOperationScope scope(*this);
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_recordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    if (!CanModify())
        DatabaseError(dbconsts::SDataSetReadOnly, this);
    DoBeforeEdit();
    checkOperation(&TDataSet::InternalEdit, m_OnEditError);
    try {
        GetCalcFields(ActiveBuffer());
    } catch (...) {
        InternalCancel(); // the edit never began
        throw;
    }
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    DoAfterEdit();
}

void TDataSet::doInsertAppend(bool append) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    if (!CanModify())
        DatabaseError(dbconsts::SDataSetReadOnly, this);
    DoBeforeInsert();
    DoBeforeScroll();
    if (!append) {
        TBookmark current = GetBookmarkStr();
        moveBuffer(m_recordCount, m_activeRecord);
        TRecordBuffer buffer = ActiveBuffer();
        InitRecord(buffer);
        if (m_recordCount == 0)
            SetBookmarkFlag(buffer, bfBOF);
        else if (!current.empty())
            SetBookmarkData(buffer, current.data());
        if (m_recordCount < m_bufferCount)
            ++m_recordCount;
        m_currentRecord =
            m_currentRecord >= m_activeRecord && m_currentRecord >= 0 ? -1 : m_currentRecord;
    } else {
        ClearBuffers();
        TRecordBuffer buffer = m_buffers[0];
        InitRecord(buffer);
        SetBookmarkFlag(buffer, bfEOF);
        m_recordCount = 1;
        m_bof = false;
        GetPriorRecords();
    }
    InternalInsert();
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        // The new record is abandoned: let the dataset release what InternalInsert took.
        UpdateCursorPos();
        InternalCancel();
        freeFieldBuffers();
        SetState(dsBrowse);
        Resync({});
        throw;
    }
    m_modified = false;
    DataEvent(deDataSetChange, 0);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    doInsertAppend(false);
}
void TDataSet::Append() {
    doInsertAppend(true);
}

void TDataSet::Post() {
    TOperationScope scope(*this);
    UpdateRecord();
    if (m_state == dsEdit || m_state == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        DoBeforePost();
        checkOperation(&TDataSet::InternalPost, m_OnPostError);
        freeFieldBuffers();
        SetState(dsBrowse);
        Resync({});
        DoAfterPost();
    } else if (m_state == dsSetKey) {
        SetState(dsBrowse);
    }
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : m_fields)
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull())
            DatabaseErrorFmt(dbconsts::SFieldRequired, {f->GetDisplayName()});
}

void TDataSet::Cancel() {
    TOperationScope scope(*this);
    if (m_state == dsEdit || m_state == dsInsert) {
        DataEvent(deCheckBrowseMode, 0);
        DoBeforeCancel();
        UpdateCursorPos();
        InternalCancel();
        freeFieldBuffers();
        SetState(dsBrowse);
        Resync({});
        DoAfterCancel();
    } else if (m_state == dsSetKey) {
        SetState(dsBrowse);
    }
}

void TDataSet::Delete() {
    TOperationScope scope(*this);
    CheckActive();
    if (m_state == dsInsert || m_state == dsSetKey) {
        Cancel();
        return;
    }
    if (m_recordCount == 0)
        DatabaseError(dbconsts::SDataSetEmpty, this);
    if (!CanModify())
        DatabaseError(dbconsts::SDataSetReadOnly, this);
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    checkOperation(&TDataSet::InternalDelete, m_OnDeleteError);
    freeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

namespace {

// Starts a new record with `start` (Append or Insert), fills it and posts it; a value that
// cannot be set cancels the record before the error goes on.
void addRecord(TDataSet& dataSet, void (TDataSet::*start)(), const std::vector<Variant>& values) {
    (dataSet.*start)();
    try {
        dataSet.SetFields(values);
    } catch (...) {
        dataSet.Cancel();
        throw;
    }
    dataSet.Post();
}

} // namespace

void TDataSet::AppendRecord(const std::vector<Variant>& Values) {
    addRecord(*this, &TDataSet::Append, Values);
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) {
    addRecord(*this, &TDataSet::Insert, Values);
}

// ---- bookmarks ----------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() const {
    return (m_state == dsBrowse || m_state == dsEdit || m_state == dsInsert) && !IsEmpty() &&
           m_bookmarkSize > 0 &&
           const_cast<TDataSet*>(this)->GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmarkStr() const {
    if (!BookmarkAvailable())
        return {};
    TBookmark bm(static_cast<std::size_t>(m_bookmarkSize), '\0');
    const_cast<TDataSet*>(this)->GetBookmarkData(ActiveBuffer(), bm.data());
    return bm;
}

void TDataSet::GotoBookmark(const TBookmark& ABookmark) {
    TOperationScope scope(*this);
    if (ABookmark.empty())
        return;
    CheckBrowseMode();
    if (m_quietScrolls == 0)
        DoBeforeScroll();
    InternalGotoBookmark(ABookmark.data());
    Resync(TResyncMode{rmExact, rmCenter});
    if (m_quietScrolls == 0)
        DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& /*ABookmark*/) {
    return false;
}

int TDataSet::CompareBookmarks(const TBookmark& /*Bookmark1*/, const TBookmark& /*Bookmark2*/) {
    return 0;
}

// ---- filtering -------------------------------------------------------------------------------

void TDataSet::SetFiltered(bool Value) {
    m_filtered = Value;
}

void TDataSet::SetFilterOptions(TFilterOptions Value) {
    m_filterOptions = Value;
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent Value) {
    m_onFilterRecord = std::move(Value);
}

void TDataSet::SetFilter(const std::string& Value) {
    std::unique_ptr<TFilterExpression> parsed;
    if (!Trim(Value).empty()) {
        parsed = std::make_unique<TFilterExpression>(Value);
        if (Active())
            parsed->Bind(*this);
    }
    m_filterExpression = std::move(parsed);
    m_filterText = Value;
}

bool TDataSet::HasFilterConditions() const noexcept {
    return m_filterExpression != nullptr || static_cast<bool>(m_onFilterRecord);
}

bool TDataSet::RecordMatchesFilter() {
    bool accept = true;
    if (m_filterExpression)
        accept = m_filterExpression->Evaluate(*this, m_filterOptions);
    if (accept && m_onFilterRecord)
        m_onFilterRecord(this, accept);
    return accept;
}

// ---- sorting ---------------------------------------------------------------------------------

void TDataSet::SortByFields(const std::string& /*FieldNames*/, bool /*Descending*/) {
    DatabaseError("Dataset cannot sort its records", this);
}

// ---- searching -------------------------------------------------------------------------------

namespace {

bool valuesMatch(TField* field, const Variant& key, TLocateOptions options) {
    Variant v = field->Value();
    if (key.IsNull() || v.IsNull())
        return key.IsNull() && v.IsNull();
    if (field->DataType() == ftString || field->DataType() == ftFixedChar ||
        field->DataType() == ftWideString || field->DataType() == ftMemo) {
        std::string a = v.AsString();
        std::string b = key.AsString();
        if (options.Contains(loPartialKey) && a.size() > b.size())
            a.resize(b.size());
        return options.Contains(loCaseInsensitive) ? SameText(a, b) : a == b;
    }
    try {
        return v == key;
    } catch (const EVariantError&) {
        return false;
    }
}

// The scan of Locate and Lookup: controls disabled and scroll events held back until the
// scope ends, by return or by exception. When the scope is left by an exception, a failure
// of EnableControls is dropped so that the scan's own error reaches the caller.
class QuietScan {
public:
    QuietScan(TDataSet& dataSet, int& quietScrolls)
        : m_dataSet(dataSet), m_quietScrolls(quietScrolls),
          m_exceptions(std::uncaught_exceptions()) {
        m_dataSet.DisableControls();
        ++m_quietScrolls;
    }
    ~QuietScan() noexcept(false) {
        --m_quietScrolls;
        if (std::uncaught_exceptions() == m_exceptions) {
            m_dataSet.EnableControls();
            return;
        }
        try {
            m_dataSet.EnableControls();
        } catch (...) {
        }
    }
    QuietScan(const QuietScan&) = delete;
    QuietScan& operator=(const QuietScan&) = delete;

private:
    TDataSet& m_dataSet;
    int& m_quietScrolls;
    int m_exceptions;
};

} // namespace

bool TDataSet::scanLocate(const std::vector<TField*>& keys, const Variant& values,
                          TLocateOptions options) {
    bool multiple = keys.size() > 1 || VarIsArray(values);
    int low = multiple ? VarArrayLowBound(values, 1) : 0;
    std::vector<Variant> wanted;
    for (std::size_t i = 0; i < keys.size(); ++i)
        wanted.push_back(multiple ? VarArrayGet(values, {low + static_cast<int>(i)}) : values);
    while (!Eof()) {
        bool match = true;
        for (std::size_t i = 0; i < keys.size() && match; ++i)
            match = valuesMatch(keys[i], wanted[i], options);
        if (match)
            return true;
        Next();
    }
    return false;
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    std::vector<TField*> keys;
    GetFieldList(keys, KeyFields);
    DoBeforeScroll();
    TBookmark saved = GetBookmarkStr();
    bool found = false;
    // The scan moves through the records without scroll events and with the controls
    // disabled; only the move to the found record counts as a scroll.
    {
        QuietScan quiet(*this, m_quietScrolls);
        First();
        found = scanLocate(keys, KeyValues, Options);
        if (!found && !saved.empty())
            GotoBookmark(saved);
    }
    m_found = found;
    if (found)
        DoAfterScroll();
    return found;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
    TOperationScope scope(*this);
    CheckBrowseMode();
    std::vector<TField*> keys;
    GetFieldList(keys, KeyFields);
    TBookmark saved = GetBookmarkStr();
    Variant result = Null();
    {
        QuietScan quiet(*this, m_quietScrolls);
        First();
        if (scanLocate(keys, KeyValues, {}))
            result = GetFieldValues(ResultFields);
        if (!saved.empty())
            GotoBookmark(saved);
    }
    return result;
}

bool TDataSet::FindRecord(bool /*Restart*/, bool /*GoForward*/) {
    return false;
}

} // namespace tovrin::host

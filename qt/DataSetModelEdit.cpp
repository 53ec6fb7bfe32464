// TDataSetModel's moves and edits: the cursor moved to a row, cells edited through Edit and
// Post, records inserted and deleted, pending edits posted or cancelled, and sorting.
#include "tovrin5/qt/DataSetModel.h"

#include <algorithm>
#include <exception>
#include <string>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/Variant.h"
#include "tovrin5/qt/FieldValues.h"

namespace tovrin::qt {

namespace {

/// Rows read around the place of an insert (a few screenfuls).
constexpr int kRowsKeptForInsert = 256;

QString messageOf(const std::exception& e) {
    if (const auto* hostError = dynamic_cast<const host::Exception*>(&e))
        return QString::fromStdString(hostError->Message());
    return QString::fromUtf8(e.what());
}

bool isEditing(const host::TDataSet* dataSet) {
    return dataSet->State() == host::dsEdit || dataSet->State() == host::dsInsert;
}

/// Posts the record being edited. A required data field left NULL refuses the post with
/// the framework's message before the dataset is asked to store the record.
void postRecord(host::TDataSet& dataSet) {
    for (const host::TField* f : dataSet.Fields()) {
        if (f->Required() && f->FieldKind() == host::fkData && f->IsNull()) {
            std::string message = host::dbconsts::SFieldRequired;
            message.replace(message.find("%s"), 2, f->DisplayLabel());
            throw host::EDatabaseError(message);
        }
    }
    dataSet.Post();
}

} // namespace

bool TDataSetModel::setCurrentRow(int row) {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || row < 0 || row >= m_rowCount)
        return false;
    if (row == m_currentRow)
        return true;
    if (isEditing(ds)) {
        // The record being edited is posted first; a refused post keeps the cursor on it.
        if (!postPending() || row >= m_rowCount)
            return false;
        if (row == m_currentRow)
            return true;
    }
    const int stored = storedRowOf(row);
    if (stored < 0)
        return false;
    m_moving = true;
    bool moved = false;
    try {
        moved = moveToStoredRow(stored);
    } catch (const std::exception& e) {
        m_lastError = messageOf(e);
    }
    m_moving = false;
    updateCurrentRow();
    return moved && m_currentRow == row;
}

bool TDataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    host::TDataSet* ds = dataSet();
    host::TField* f = field(index.column());
    const int row = index.row();
    bool ownEdit = !isEditing(ds);
    if (!ownEdit && !isLiveRow(row)) {
        // Another record is being edited: it is posted before this one changes.
        if (!postPending())
            return false;
        ownEdit = true;
    }
    try {
        if (ownEdit) {
            if (!setCurrentRow(row))
                return refuse(m_lastError.isEmpty() ? QStringLiteral("The record cannot be reached")
                                                    : m_lastError);
            ds->Edit();
        }
        const bool changed = assignChanges(*f, value);
        if (ownEdit && changed)
            postRecord(*ds);
        else if (ownEdit)
            ds->Cancel(); // the same value: the record stays as it was, unmodified
    } catch (const std::exception& e) {
        const QString message = messageOf(e);
        if (ownEdit && isEditing(ds)) {
            try {
                ds->Cancel();
            } catch (...) {
                // The edit is abandoned either way.
            }
        }
        announceChanges();
        return refuse(message);
    }
    m_lastError.clear();
    announceChanges();
    return true;
}

bool TDataSetModel::assignChanges(host::TField& field, const QVariant& value) {
    const host::Variant before = field.Value();
    assignField(field, value);
    const host::Variant after = field.Value();
    if (before.IsNull() || after.IsNull())
        return before.IsNull() != after.IsNull();
    try {
        return !(before == after);
    } catch (const std::exception&) {
        return before.AsString() != after.AsString();
    }
}

void TDataSetModel::sort(int column, Qt::SortOrder order) {
    host::TDataSet* ds = dataSet();
    host::TField* f = field(column);
    if (ds == nullptr || f == nullptr || (!m_sortHandler && !ds->CanSortByFields()))
        return;
    beginResetModel();
    m_ignoreEvents = true;
    try {
        if (m_sortHandler)
            m_sortHandler(*ds, f->FieldName(), order == Qt::DescendingOrder);
        else
            ds->SortByFields(f->FieldName(), order == Qt::DescendingOrder);
        m_sortColumn = column;
        m_sortOrder = order;
        m_lastError.clear();
    } catch (const std::exception& e) {
        m_lastError = messageOf(e);
    }
    m_ignoreEvents = false;
    m_cache.clear();
    m_cacheStale = false;
    m_changedFirst = m_changedLast = -1;
    m_bookmarksValid = false;
    m_pendingRow = -1;
    m_rowCount = storedRowCount();
    m_currentRow = currentRowFromDataSet();
    endResetModel();
    emit currentRowChanged(m_currentRow);
    if (!m_lastError.isEmpty())
        emit editRefused(m_lastError);
}

bool TDataSetModel::insertRows(int row, int count, const QModelIndex& parent) {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !ds->Active() || parent.isValid() || count != 1 || row < 0 ||
        row > m_rowCount || m_readOnly)
        return false;
    if (!postPending())
        return false;
    row = std::min(row, m_rowCount);
    readAroundForInsert(row);
    try {
        if (row == m_rowCount) {
            m_insertHint = row;
            ds->Append();
        } else {
            if (!setCurrentRow(row))
                return refuse(m_lastError);
            m_insertHint = row;
            ds->Insert();
        }
    } catch (const std::exception& e) {
        m_insertHint = -1;
        announceChanges();
        return refuse(messageOf(e));
    }
    m_insertHint = -1;
    m_lastError.clear();
    announceChanges();
    return ds->State() == host::dsInsert;
}

void TDataSetModel::readAroundForInsert(int row) {
    // No row can be read while the new record is entered: the rows around it, which the
    // views show, are read now when what the cache holds may be out of date.
    host::TDataSet* ds = dataSet();
    if (!m_cacheStale || ds->State() != host::dsBrowse)
        return;
    m_cache.clear();
    m_cacheStale = false;
    m_lastReadRow = -2;
    const int stored = std::max(0, storedRowOf(std::min(row, m_rowCount - 1)));
    const int first = std::max(0, stored - kRowsKeptForInsert / 2);
    readRows(first, kRowsKeptForInsert);
}

bool TDataSetModel::removeRows(int row, int count, const QModelIndex& parent) {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !ds->Active() || parent.isValid() || count != 1 || row < 0 ||
        row >= m_rowCount || m_readOnly)
        return false;
    try {
        if (row == m_pendingRow) {
            ds->Cancel();
        } else {
            if (!setCurrentRow(row))
                return refuse(m_lastError);
            ds->Delete();
        }
    } catch (const std::exception& e) {
        announceChanges();
        return refuse(messageOf(e));
    }
    m_lastError.clear();
    announceChanges();
    return true;
}

bool TDataSetModel::submit() {
    if (isFollowingDataSet())
        return true;
    return postPending();
}

bool TDataSetModel::postPending() {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !isEditing(ds))
        return true;
    try {
        postRecord(*ds);
    } catch (const std::exception& e) {
        announceChanges();
        return refuse(messageOf(e));
    }
    m_lastError.clear();
    announceChanges();
    return true;
}

void TDataSetModel::revert() {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !isEditing(ds))
        return;
    try {
        ds->Cancel();
    } catch (const std::exception& e) {
        m_lastError = messageOf(e);
    }
    announceChanges();
}

bool TDataSetModel::refuse(const QString& message) {
    m_lastError = message;
    emit editRefused(message);
    return false;
}

} // namespace tovrin::qt

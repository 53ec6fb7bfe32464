// The dataset as a Qt table model: the link that hears the dataset, the row bookkeeping
// (inserted, removed, current rows) and the cells read through the row cache.
#include "tovrin5/qt/DataSetModel.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/qt/FieldValues.h"

namespace tovrin::qt {

namespace {

/// Rows read at once when a view reads row after row (scrolling).
constexpr int kReadAhead = 64;

/// The datasets some model is reading rows of right now, on this thread. Reading moves
/// the cursor with the controls disabled; enabling them again tells every link of one
/// data-set change, which every model must ignore (or two views on one dataset would
/// make each other read again for ever).
std::vector<const host::TDataSet*>& datasetsBeingRead() {
    static thread_local std::vector<const host::TDataSet*> sets;
    return sets;
}

bool beingRead(const host::TDataSet* dataSet) {
    const auto& sets = datasetsBeingRead();
    return std::find(sets.begin(), sets.end(), dataSet) != sets.end();
}

/// Reads with the controls disabled and the dataset marked as being read; the controls
/// come back (and the dataset unmarked) however the reading ends.
class ReadingScope final {
public:
    explicit ReadingScope(host::TDataSet* dataSet) : m_dataSet(dataSet) {
        datasetsBeingRead().push_back(dataSet);
        m_dataSet->DisableControls();
    }
    ~ReadingScope() {
        try {
            m_dataSet->EnableControls();
        } catch (...) {
            // A link that fails to refresh must not take the reader down with it.
        }
        auto& sets = datasetsBeingRead();
        sets.erase(std::find(sets.begin(), sets.end(), m_dataSet));
    }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    host::TDataSet* m_dataSet;
};

} // namespace

/// The data link: passes the dataset's events to the model, except while some model reads
/// rows of the dataset or after the model has let go of it.
class TDataSetModel::Link final : public host::TDataLink {
public:
    explicit Link(TDataSetModel& model) : m_model(model) {}
    void detach() {
        m_detached = true;
        SetDataSource(nullptr);
    }

protected:
    void ActiveChanged() override {
        if (!m_detached)
            dispatch([this] { m_model.onActiveChanged(); });
    }
    void LayoutChanged() override {
        if (!m_detached)
            dispatch([this] { m_model.onActiveChanged(); });
    }
    void DataSetChanged() override {
        if (!quiet())
            dispatch([this] { m_model.onRecordsChanged(); });
    }
    void EditingChanged() override {
        if (!quiet())
            dispatch([this] { m_model.onRecordsChanged(); });
    }
    void DataSetScrolled(int /*Distance*/) override {
        if (!quiet())
            dispatch([this] { m_model.onScrolled(); });
    }
    void RecordChanged(host::TField* Field) override {
        if (!quiet())
            dispatch([this, Field] { m_model.onRecordChanged(Field); });
    }

private:
    /// Runs a reaction with the model marked as inside the dataset's event: the dataset is
    /// in the middle of an operation, so views asking for cells meanwhile get what the
    /// cache holds and nothing is read (reading would move the cursor under the operation).
    template <class F> void dispatch(F&& reaction) {
        ++m_model.m_eventDepth;
        try {
            reaction();
        } catch (...) {
            --m_model.m_eventDepth;
            throw;
        }
        --m_model.m_eventDepth;
    }
    [[nodiscard]] bool quiet() const {
        return m_detached || m_model.m_ignoreEvents || beingRead(DataSet());
    }
    TDataSetModel& m_model;
    bool m_detached = false;
};

TDataSetModel::TDataSetModel(host::TDataSet* dataSet, QObject* parent)
    : QAbstractTableModel(parent), m_source(std::make_unique<host::TDataSource>(nullptr)),
      m_link(std::make_unique<Link>(*this)) {
    m_link->SetDataSource(m_source.get());
    setDataSet(dataSet);
}

TDataSetModel::~TDataSetModel() {
    m_link->detach();
}

host::TDataSet* TDataSetModel::dataSet() const {
    return m_source->DataSet();
}

void TDataSetModel::setDataSet(host::TDataSet* dataSet) {
    if (dataSet == m_source->DataSet() && dataSet != nullptr)
        return;
    m_ignoreEvents = true;
    try {
        m_source->SetDataSet(dataSet);
    } catch (...) {
        m_ignoreEvents = false;
        throw;
    }
    m_ignoreEvents = false;
    m_sortColumn = -1;
    resetFromDataSet();
}

host::TField* TDataSetModel::field(int column) const {
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return nullptr;
    return m_columns[static_cast<std::size_t>(column)];
}

int TDataSetModel::columnOf(const host::TField* field) const {
    const auto it = std::find(m_columns.begin(), m_columns.end(), field);
    return it == m_columns.end() ? -1 : static_cast<int>(it - m_columns.begin());
}

void TDataSetModel::setReadOnly(bool readOnly) {
    if (m_readOnly == readOnly)
        return;
    m_readOnly = readOnly;
    if (m_rowCount > 0 && !m_columns.empty())
        emit dataChanged(index(0, 0), index(m_rowCount - 1, columnCount() - 1));
}

// ---- following the dataset --------------------------------------------------------------

void TDataSetModel::onActiveChanged() {
    resetFromDataSet();
}

void TDataSetModel::onRecordsChanged() {
    reconcile();
}

void TDataSetModel::onScrolled() {
    updateCurrentRow();
}

void TDataSetModel::onRecordChanged(host::TField* field) {
    if (m_currentRow < 0 || m_currentRow >= m_rowCount)
        return;
    if (field && columnOf(field) < 0)
        return;
    m_cache.forget(storedRowOf(m_currentRow));
    noteChanged(m_currentRow, m_currentRow);
}

void TDataSetModel::noteChanged(int firstRow, int lastRow) {
    if (m_changedFirst < 0) {
        m_changedFirst = firstRow;
        m_changedLast = lastRow;
    } else {
        m_changedFirst = std::min(m_changedFirst, firstRow);
        m_changedLast = std::max(m_changedLast, lastRow);
    }
    if (m_eventDepth > 0)
        scheduleAnnouncement();
    else
        announceChanges();
}

void TDataSetModel::announceChanges() {
    if (m_changedFirst < 0)
        return;
    if (m_eventDepth > 0) {
        scheduleAnnouncement();
        return;
    }
    const int first = std::clamp(m_changedFirst, 0, std::max(m_rowCount - 1, 0));
    const int last = std::clamp(m_changedLast, first, std::max(m_rowCount - 1, 0));
    m_changedFirst = m_changedLast = -1;
    if (m_rowCount > 0 && !m_columns.empty())
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void TDataSetModel::scheduleAnnouncement() {
    if (m_announcementScheduled)
        return;
    m_announcementScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announcementScheduled = false;
            announceChanges();
        },
        Qt::QueuedConnection);
}

void TDataSetModel::shiftCurrentRow(int row, int delta) {
    // Rows inserted or removed at `row` move the current record's row with them, so that
    // the next look at the dataset tells the views where it is now.
    if (m_currentRow < 0 || m_currentRow < row)
        return;
    if (delta < 0 && m_currentRow == row)
        m_currentRow = -1;
    else
        m_currentRow += delta;
}

void TDataSetModel::resetFromDataSet() {
    beginResetModel();
    m_cache.clear();
    m_bookmarks.clear();
    m_bookmarksValid = false;
    m_columns.clear();
    m_rowCount = 0;
    m_currentRow = -1;
    m_pendingRow = -1;
    m_lastReadRow = -2;
    m_cacheStale = false;
    m_changedFirst = m_changedLast = -1;
    host::TDataSet* ds = dataSet();
    if (ds != nullptr && ds->Active()) {
        for (host::TField* f : ds->Fields()) {
            if (f->Visible())
                m_columns.push_back(f);
        }
        m_sequenced = ds->IsSequenced();
        const int stored = storedRowCount();
        if (ds->State() == host::dsInsert) {
            // Opened into an insert (an empty dataset's first record): the new record is
            // the last row.
            m_pendingRow = stored;
        }
        m_rowCount = stored + (m_pendingRow >= 0 ? 1 : 0);
        m_currentRow = currentRowFromDataSet();
    }
    endResetModel();
    emit currentRowChanged(m_currentRow);
}

void TDataSetModel::reconcile() {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !ds->Active()) {
        if (m_rowCount != 0 || !m_columns.empty())
            resetFromDataSet();
        return;
    }
    const int oldStored = m_rowCount - (m_pendingRow >= 0 ? 1 : 0);
    if (!m_moving) {
        m_cacheStale = true;
        m_bookmarksValid = false;
        m_sequenced = ds->IsSequenced();
    }
    const bool inserting = ds->State() == host::dsInsert;
    const int oldCount = m_rowCount;
    const int stored = storedRowCount();
    if (stored != oldStored) {
        // Records came or went: cached rows would now stand for other records.
        m_cache.clear();
        m_lastReadRow = -2;
    }

    if (inserting && m_pendingRow < 0) {
        // A new record: in front of the current one (Insert), or after the last (Append,
        // which leaves the dataset at its end).
        int row = m_insertHint;
        if (row < 0)
            row = (ds->Eof() || m_currentRow < 0) ? oldCount : m_currentRow;
        row = std::clamp(row, 0, oldCount);
        m_insertHint = -1;
        if (stored == oldCount) {
            beginInsertRows(QModelIndex(), row, row);
            m_pendingRow = row;
            ++m_rowCount;
            shiftCurrentRow(row, 1);
            endInsertRows();
        } else {
            resetFromDataSet();
            return;
        }
    } else if (!inserting && m_pendingRow >= 0) {
        const int row = m_pendingRow;
        if (stored == oldCount - 1) {
            // The insert was cancelled: its row goes (the views may read the rows around
            // it until it has gone).
            beginRemoveRows(QModelIndex(), row, row);
            m_pendingRow = -1;
            --m_rowCount;
            shiftCurrentRow(row, -1);
            endRemoveRows();
        } else if (stored != oldCount) {
            m_pendingRow = -1;
            resetFromDataSet();
            return;
        }
        m_pendingRow = -1;
        // Posted: the new record keeps its row.
    } else {
        const int target = stored + (inserting ? 1 : 0);
        if (target == oldCount - 1 && m_currentRow >= 0 && m_currentRow < oldCount) {
            // The current record was deleted.
            const int row = m_currentRow;
            beginRemoveRows(QModelIndex(), row, row);
            --m_rowCount;
            shiftCurrentRow(row, -1);
            endRemoveRows();
        } else if (target == oldCount + 1) {
            // A record was added outside an insert (InsertRecord, AppendRecord): it is
            // the current one.
            const int row = std::clamp(currentRowFromDataSet(), 0, oldCount);
            beginInsertRows(QModelIndex(), row, row);
            ++m_rowCount;
            shiftCurrentRow(row, 1);
            endInsertRows();
        } else if (target != oldCount) {
            resetFromDataSet();
            return;
        }
    }
    updateCurrentRow();
    if (!m_moving && m_rowCount > 0)
        noteChanged(0, m_rowCount - 1);
}

void TDataSetModel::updateCurrentRow() {
    host::TDataSet* ds = dataSet();
    // While a record is edited its number may be unknown; it keeps its row.
    if (ds != nullptr && ds->State() == host::dsEdit)
        return;
    const int row = currentRowFromDataSet();
    if (row != m_currentRow) {
        m_currentRow = row;
        emit currentRowChanged(row);
    }
}

void TDataSetModel::scheduleCurrentRowUpdate() const {
    if (m_currentRowUpdateScheduled)
        return;
    m_currentRowUpdateScheduled = true;
    auto* self = const_cast<TDataSetModel*>(this);
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->m_currentRowUpdateScheduled = false;
            self->updateCurrentRow();
        },
        Qt::QueuedConnection);
}

int TDataSetModel::storedRowCount() const {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !ds->Active())
        return 0;
    const int count = ds->RecordCount();
    if (count >= 0)
        return count;
    // A dataset that cannot count is walked, though never in the middle of its own operation.
    if (ds->State() == host::dsBrowse && m_eventDepth == 0)
        buildBookmarkIndex();
    if (m_bookmarksValid)
        return static_cast<int>(m_bookmarks.size());
    return std::max(0, m_rowCount - (m_pendingRow >= 0 ? 1 : 0));
}

int TDataSetModel::currentRowFromDataSet() const {
    host::TDataSet* ds = dataSet();
    if (ds == nullptr || !ds->Active())
        return -1;
    if (ds->State() == host::dsInsert)
        return m_pendingRow;
    if (ds->IsEmpty())
        return -1;
    int stored = -1;
    if (m_sequenced) {
        stored = ds->RecNo() - 1;
    } else if (ds->State() == host::dsBrowse) {
        if (!m_bookmarksValid && m_eventDepth > 0) {
            // Numbering the records walks them, which must not happen in the middle of the
            // dataset's own operation: the row is found once the operation is over.
            scheduleCurrentRowUpdate();
            return m_currentRow;
        }
        buildBookmarkIndex();
        const host::TBookmark current = ds->GetBookmark();
        const auto it = std::find(m_bookmarks.begin(), m_bookmarks.end(), current);
        stored = it == m_bookmarks.end() ? -1 : static_cast<int>(it - m_bookmarks.begin());
    }
    if (stored < 0)
        return -1;
    const int row = (m_pendingRow >= 0 && stored >= m_pendingRow) ? stored + 1 : stored;
    return row < m_rowCount || m_rowCount == 0 ? row : -1;
}

void TDataSetModel::buildBookmarkIndex() const {
    if (m_bookmarksValid)
        return;
    host::TDataSet* ds = dataSet();
    m_bookmarks.clear();
    m_bookmarksValid = true;
    if (ds == nullptr || ds->State() != host::dsBrowse)
        return;
    ReadingScope scope(ds);
    const host::TBookmark saved = ds->GetBookmark();
    try {
        for (ds->First(); !ds->Eof(); ds->Next())
            m_bookmarks.push_back(ds->GetBookmark());
    } catch (...) {
        // The records that could be numbered are shown.
    }
    if (!saved.empty())
        ds->GotoBookmark(saved);
}

// ---- rows and cells ----------------------------------------------------------------------

int TDataSetModel::storedRowOf(int row) const noexcept {
    if (m_pendingRow < 0 || row < m_pendingRow)
        return row;
    return row == m_pendingRow ? -1 : row - 1;
}

bool TDataSetModel::isLiveRow(int row) const {
    // The record being inserted is live only once it has its row (the views hear of the
    // row while the dataset is already inserting).
    host::TDataSet* ds = dataSet();
    if (ds == nullptr)
        return false;
    if (ds->State() == host::dsInsert)
        return row == m_pendingRow;
    return ds->State() == host::dsEdit && row == m_currentRow;
}

bool TDataSetModel::moveToStoredRow(int storedRow) const {
    host::TDataSet* ds = dataSet();
    if (m_sequenced) {
        ds->SetRecNo(storedRow + 1);
        if (ds->RecNo() == storedRow + 1)
            return true;
        // The dataset numbers its records but cannot be moved by number: walk it once.
        m_sequenced = false;
        m_bookmarksValid = false;
    }
    buildBookmarkIndex();
    if (storedRow < 0 || storedRow >= static_cast<int>(m_bookmarks.size()))
        return false;
    ds->GotoBookmark(m_bookmarks[static_cast<std::size_t>(storedRow)]);
    return true;
}

const CachedRow* TDataSetModel::cachedRow(int storedRow) const {
    host::TDataSet* ds = dataSet();
    if (m_cacheStale && !m_reading && m_eventDepth == 0 && ds != nullptr &&
        ds->State() == host::dsBrowse) {
        m_cache.clear();
        m_cacheStale = false;
        m_lastReadRow = -2;
    }
    if (const CachedRow* row = m_cache.find(storedRow))
        return row;
    if (m_reading || m_eventDepth > 0 || ds == nullptr || ds->State() != host::dsBrowse)
        return nullptr;
    // Row after row (a view scrolling) reads ahead in that direction; anything else reads
    // the one row.
    int first = storedRow;
    int count = 1;
    if (storedRow > m_lastReadRow && storedRow - m_lastReadRow <= 2) {
        count = kReadAhead;
        m_lastReadRow = storedRow + count - 1;
    } else if (storedRow < m_lastReadRow && m_lastReadRow - storedRow <= 2) {
        first = std::max(0, storedRow - kReadAhead + 1);
        count = storedRow - first + 1;
        m_lastReadRow = first;
    } else {
        m_lastReadRow = storedRow;
    }
    readRows(first, count);
    return m_cache.find(storedRow);
}

void TDataSetModel::readRows(int firstStoredRow, int count) const {
    host::TDataSet* ds = dataSet();
    const int stored = m_rowCount - (m_pendingRow >= 0 ? 1 : 0);
    const int end = std::min(firstStoredRow + count, stored);
    if (firstStoredRow < 0 || firstStoredRow >= end)
        return;
    m_reading = true;
    try {
        ReadingScope scope(ds);
        const int savedRecNo = m_sequenced ? ds->RecNo() : -1;
        const host::TBookmark saved = m_sequenced ? host::TBookmark() : ds->GetBookmark();
        try {
            for (int r = firstStoredRow; r < end; ++r) {
                if (m_cache.find(r) != nullptr)
                    continue;
                if (!moveToStoredRow(r))
                    break;
                readCurrentInto(m_cache.take(r));
            }
        } catch (...) {
            // A record that cannot be read shows empty; the cursor still goes back.
        }
        if (m_sequenced && savedRecNo > 0)
            ds->SetRecNo(savedRecNo);
        else if (!m_sequenced && !saved.empty())
            ds->GotoBookmark(saved);
        else if (savedRecNo > 0)
            moveToStoredRow(savedRecNo - 1);
    } catch (...) {
        // Leaves the rows read so far.
    }
    m_reading = false;
}

void TDataSetModel::readCurrentInto(CachedRow& row) const {
    row.updateStatus = dataSet()->UpdateStatus();
    row.cells.resize(m_columns.size());
    for (std::size_t c = 0; c < m_columns.size(); ++c)
        readField(*m_columns[c], row.cells[c]);
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rowCount || index.column() >= columnCount())
        return {};
    const host::TField* f = m_columns[static_cast<std::size_t>(index.column())];
    switch (role) {
    case Qt::TextAlignmentRole:
        return QVariant(alignmentOf(*f));
    case FieldNameRole:
        return QString::fromStdString(f->FieldName());
    case UpdateStatusRole:
        return updateStatusOf(index.row());
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case NullRole:
        break;
    default:
        return {};
    }
    if (isLiveRow(index.row())) {
        CachedCell cell;
        try {
            readField(*f, cell);
        } catch (...) {
            return {};
        }
        return cellData(cell, f, role);
    }
    const int stored = storedRowOf(index.row());
    if (stored < 0)
        return {};
    const CachedRow* row = cachedRow(stored);
    if (row == nullptr || static_cast<std::size_t>(index.column()) >= row->cells.size())
        return {};
    return cellData(row->cells[static_cast<std::size_t>(index.column())], f, role);
}

QVariant TDataSetModel::updateStatusOf(int row) const {
    if (isLiveRow(row))
        return static_cast<int>(dataSet()->UpdateStatus());
    const int stored = storedRowOf(row);
    const CachedRow* cached = stored < 0 ? nullptr : cachedRow(stored);
    return cached == nullptr ? QVariant() : QVariant(cached->updateStatus);
}

QVariant TDataSetModel::cellData(const CachedCell& cell, const host::TField* /*field*/,
                                 int role) const {
    switch (role) {
    case Qt::DisplayRole:
        return cell.isNull ? QVariant() : QVariant(cell.display);
    case Qt::EditRole:
        return cell.value;
    case NullRole:
        return cell.isNull;
    case Qt::ToolTipRole:
        if (cell.isNull)
            return QStringLiteral("NULL");
        return needsToolTip(cell.display) ? QVariant(toolTipText(cell.display)) : QVariant();
    case Qt::BackgroundRole:
        return cell.isNull ? QVariant(QBrush(nullBackground())) : QVariant();
    case Qt::ForegroundRole:
    default:
        return {};
    }
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && section >= 0 && section < m_rowCount)
            return section == m_pendingRow ? QVariant(QStringLiteral("*")) : QVariant(section + 1);
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const host::TField* f = field(section);
    if (f == nullptr)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(f->DisplayLabel());
    case FieldNameRole:
        return QString::fromStdString(f->FieldName());
    case Qt::ToolTipRole:
        return QStringLiteral("%1 (%2)").arg(QString::fromStdString(f->FieldName()),
                                             QString::fromUtf8(host::FieldTypeName(f->DataType())));
    case Qt::TextAlignmentRole:
        return QVariant(alignmentOf(*f));
    default:
        return {};
    }
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= m_rowCount || index.column() >= columnCount())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    const host::TField* f = m_columns[static_cast<std::size_t>(index.column())];
    if (!m_readOnly && f->CanModify())
        result |= Qt::ItemIsEditable;
    return result;
}

} // namespace tovrin::qt

// TDataSetModel: a Qt table model over a dataset of the framework. A data link joins the
// model to the dataset, so that the dataset's own events drive the model: opening,
// closing and layout changes reset it, moving the cursor reports the current row, a
// changed record repaints its row, a record inserted or deleted inserts or removes its
// row. Cells are read by record number through a row cache, so that any cell of a
// million-row result costs microseconds and the dataset is never walked to reach it.
//
// Rows. Row r is the record numbered r + 1 (RecNo) of a sequenced dataset; a dataset
// that is not sequenced (a filtered one) is walked once after each change of its records
// to number them by bookmark. While a record is being inserted (dsInsert) the model shows
// it as a row of its own, in front of the record it was inserted before, or last when
// it was appended; a cancel removes that row again, a post keeps it.
//
// Reading a row that is not the current one moves the dataset's cursor there and back
// with the controls disabled; other links then see one data-set change (a detail dataset
// linked to this one opens again then, as it does after any such change). Rows are read
// only while the dataset browses: while a record is edited or inserted, the rows already
// read keep showing from the cache, and rows never read show empty until the edit ends.
//
// Changes. The dataset's events come in the middle of its operations, when no other row
// can be read. Rows inserted or removed are announced at once; changed values are
// announced (dataChanged) once the operation is over: at the end of the model's own
// setData, submit, insertRows, removeRows and revert, and on the next turn of the event
// loop for operations made on the dataset directly. A row asked for after the operation
// answers its true data, announced yet or not.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DbEnums.h"
#include "tovrin5/qt/RowCache.h"

namespace tovrin::host {
class TDataSet;
class TDataSource;
class TField;
} // namespace tovrin::host

namespace tovrin::qt {

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Roles beyond Qt's own.
    enum Role {
        /// true when the cell holds NULL.
        NullRole = Qt::UserRole + 1,
        /// The field's name (a column's header: the field's display label).
        FieldNameRole,
        /// The record's host::TUpdateStatus (as int): changed, inserted or deleted and not
        /// yet applied, or usUnmodified.
        UpdateStatusRole,
    };

    /// Sorts a dataset by fields (names separated by ";"), descending or not. Needed only
    /// to sort otherwise than the dataset's own SortByFields does (see sort()).
    using SortHandler = std::function<void(host::TDataSet& dataSet, const std::string& fieldNames,
                                           bool descending)>;

    /// Links the model to dataSet (which may be closed, or null for an empty model). The
    /// model does not own the dataset; a dataset destroyed first leaves the model empty.
    explicit TDataSetModel(host::TDataSet* dataSet, QObject* parent = nullptr);
    ~TDataSetModel() override;
    TDataSetModel(const TDataSetModel&) = delete;
    TDataSetModel& operator=(const TDataSetModel&) = delete;

    /// The dataset shown (null when none or destroyed).
    [[nodiscard]] host::TDataSet* dataSet() const;
    /// Shows another dataset (null: none); the model resets.
    void setDataSet(host::TDataSet* dataSet);
    /// The field of a column (null when out of range).
    [[nodiscard]] host::TField* field(int column) const;
    /// Column of a field, -1 when it is not shown.
    [[nodiscard]] int columnOf(const host::TField* field) const;

    /// Row of the dataset's current record, -1 when closed or empty.
    [[nodiscard]] int currentRow() const noexcept { return m_currentRow; }
    /// Makes the record of a row current (a pending edit is posted first). Returns false
    /// when the row is out of range or the pending edit could not be posted.
    bool setCurrentRow(int row);

    /// True while the model follows a change of the dataset (its event, a sort, a new
    /// dataset): a view's current index moved meanwhile is no request to move the cursor.
    [[nodiscard]] bool isFollowingDataSet() const noexcept {
        return m_eventDepth > 0 || m_ignoreEvents;
    }

    /// Refuses edits through the model (flags lose ItemIsEditable) while set.
    void setReadOnly(bool readOnly);
    [[nodiscard]] bool isReadOnly() const noexcept { return m_readOnly; }
    void setSortHandler(SortHandler handler) { m_sortHandler = std::move(handler); }
    /// The column sorted by the last sort() (-1: none) and its order.
    [[nodiscard]] int sortColumn() const noexcept { return m_sortColumn; }
    [[nodiscard]] Qt::SortOrder sortOrder() const noexcept { return m_sortOrder; }

    /// The message of the last refused edit, insert or delete (empty after a success).
    [[nodiscard]] const QString& lastError() const noexcept { return m_lastError; }
    /// Bytes the row cache holds (its slots and the cells read into them).
    [[nodiscard]] std::size_t cacheBytes() const { return m_cache.bytes(); }
    /// Forgets every cached row (the next read goes to the dataset).
    void clearCache() { m_cache.clear(); }
    /// Announces (dataChanged) the rows the dataset changed since the last announcement
    /// now rather than on the next turn of the event loop: for code that changed the
    /// dataset directly and wants the views right before it returns to the loop (an open
    /// editor whose row is announced later would start again from the record's value).
    void announceChanges();

    // QAbstractItemModel
    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index,
                                int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Edits the record through Edit, the field's assignment and Post. A refused
    /// assignment or post cancels the edit, leaves the dataset browsing, sets lastError
    /// and returns false. A record already being edited or inserted by someone else
    /// takes the value without a post.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    /// Sorts the dataset by the column's field: through the sort handler when one is set,
    /// else through the dataset's own SortByFields when it can sort (CanSortByFields);
    /// nothing otherwise.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    /// Starts inserting one record in front of row (Insert), or after the last (Append)
    /// when row == rowCount(); the new row shows at once. Only count 1.
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    /// Deletes the record of one row (Delete). Only count 1.
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    /// Posts a pending edit or insert; false, with lastError, when refused (the edit then
    /// stays, for the user to mend or cancel). Does nothing while the model follows a
    /// change of the dataset: a view calls it when its current row moves, and the row an
    /// insert makes current must not post the new record before anything was typed.
    bool submit() override;
    /// Cancels a pending edit or insert.
    void revert() override;

signals:
    /// The dataset's current record is now the one of this row (-1: none).
    void currentRowChanged(int row);
    /// An edit, insert, delete or post was refused; the message says why.
    void editRefused(const QString& message);

private:
    class Link;
    friend class Link;

    // Reactions to the dataset's events, called by the link.
    void onActiveChanged();
    void onRecordsChanged();
    void onScrolled();
    void onRecordChanged(host::TField* field);

    void resetFromDataSet();
    void reconcile();
    void updateCurrentRow();
    [[nodiscard]] int storedRowCount() const;
    [[nodiscard]] int currentRowFromDataSet() const;
    void buildBookmarkIndex() const;
    void scheduleCurrentRowUpdate() const;
    bool moveToStoredRow(int storedRow) const;
    [[nodiscard]] int storedRowOf(int row) const noexcept;
    [[nodiscard]] bool isLiveRow(int row) const;
    [[nodiscard]] const CachedRow* cachedRow(int storedRow) const;
    void readRows(int firstStoredRow, int count) const;
    void readCurrentInto(CachedRow& row) const;
    [[nodiscard]] QVariant updateStatusOf(int row) const;
    [[nodiscard]] QVariant cellData(const CachedCell& cell, const host::TField* field,
                                    int role) const;
    bool refuse(const QString& message);
    bool postPending();
    [[nodiscard]] bool assignChanges(host::TField& field, const QVariant& value);
    void shiftCurrentRow(int row, int delta);
    void readAroundForInsert(int row);
    void noteChanged(int firstRow, int lastRow);
    void scheduleAnnouncement();

    std::unique_ptr<host::TDataSource> m_source;
    std::unique_ptr<Link> m_link;
    std::vector<host::TField*> m_columns;
    int m_rowCount = 0;
    int m_currentRow = -1;
    int m_pendingRow = -1; // row of the record being inserted, -1 when none
    int m_insertHint = -1; // row an insert through insertRows goes to
    bool m_readOnly = false;
    bool m_ignoreEvents = false; // while the model itself sorts or changes dataset
    bool m_moving = false;       // while setCurrentRow moves the cursor (no data changed)
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    SortHandler m_sortHandler;
    QString m_lastError;

    mutable bool m_sequenced = true; // rows addressed by RecNo, else by the bookmark index
    mutable bool m_reading = false;
    int m_eventDepth = 0;
    mutable bool m_currentRowUpdateScheduled =
        false; // > 0 while the model reacts to one of the dataset's events
    mutable RowCache m_cache;
    // The cached values may be out of date (the dataset changed records during its event);
    // the cache is emptied before the next read once the dataset browses again.
    mutable bool m_cacheStale = false;
    // Rows whose change is still to be announced (-1: none), and whether an announcement
    // is queued.
    int m_changedFirst = -1;
    int m_changedLast = -1;
    bool m_announcementScheduled = false;
    // Bookmarks by row for a dataset that is not sequenced, built on demand.
    mutable std::vector<host::TBookmark> m_bookmarks;
    mutable bool m_bookmarksValid = false;
    mutable int m_lastReadRow = -2; // the last row read on a cache miss (to see a scroll)
};

} // namespace tovrin::qt

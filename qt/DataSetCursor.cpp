// The view's current row and the dataset's cursor, each following the other.
#include "tovrin5/qt/DataSetCursor.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "tovrin5/qt/DataSetModel.h"

namespace tovrin::qt {

TDataSetCursor::TDataSetCursor(TDataSetModel* model, QItemSelectionModel* selection,
                               QAbstractItemView* view, QObject* parent)
    : QObject(parent), m_model(model), m_selection(selection), m_view(view) {
    connect(selection, &QItemSelectionModel::currentChanged, this,
            &TDataSetCursor::onViewCurrentChanged);
    connect(model, &TDataSetModel::currentRowChanged, this, &TDataSetCursor::onCursorMoved);
    // A reset (open, sort, filter) forgets the view's current index: the cursor's row
    // becomes current again.
    connect(model, &QAbstractItemModel::modelReset, this, &TDataSetCursor::syncFromDataSet);
    syncFromDataSet();
}

void TDataSetCursor::syncFromDataSet() {
    if (m_model)
        onCursorMoved(m_model->currentRow());
}

void TDataSetCursor::onViewCurrentChanged(const QModelIndex& current,
                                          const QModelIndex& /*previous*/) {
    if (m_syncing || !m_model || m_model->isFollowingDataSet() || !current.isValid() ||
        current.row() == m_model->currentRow())
        return;
    if (!m_model->setCurrentRow(current.row()))
        onCursorMoved(m_model->currentRow()); // refused: the view goes back to the cursor
}

void TDataSetCursor::onCursorMoved(int row) {
    if (!m_model || !m_selection)
        return;
    const QModelIndex current = m_selection->currentIndex();
    if (row < 0) {
        if (current.isValid()) {
            m_syncing = true;
            m_selection->clearCurrentIndex();
            m_selection->clearSelection();
            m_syncing = false;
        }
        return;
    }
    if (current.isValid() && current.row() == row)
        return;
    const int column = current.isValid() ? current.column() : 0;
    const QModelIndex target = m_model->index(row, column);
    if (!target.isValid())
        return;
    m_syncing = true;
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
    if (m_selectsRows)
        flags |= QItemSelectionModel::Rows;
    m_selection->setCurrentIndex(target, flags);
    m_syncing = false;
    if (m_view)
        m_view->scrollTo(target);
}

} // namespace tovrin::qt

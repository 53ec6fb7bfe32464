// TDataSetCursor: keeps a view's current row and a dataset's cursor together. Making a
// row current in the view (click, keys) moves the dataset's cursor to its record; moving
// the cursor in code (Next, Locate, a post that moved the record) makes its row current
// in the view and scrolls to it. A pending edit that cannot be posted keeps the cursor
// where it was, and the view's current row goes back to it.
#pragma once

#include <QObject>
#include <QPointer>

class QAbstractItemView;
class QItemSelectionModel;
class QModelIndex;

namespace tovrin::qt {

class TDataSetModel;

class TDataSetCursor final : public QObject {
    Q_OBJECT
public:
    /// Binds the selection model of a view showing model (a view, when given, also
    /// scrolls to the cursor's row). Both must outlive the binding or end it by their
    /// destruction; the binding belongs to parent.
    TDataSetCursor(TDataSetModel* model, QItemSelectionModel* selection,
                   QAbstractItemView* view = nullptr, QObject* parent = nullptr);

    /// Makes the view's current row the dataset's current record now.
    void syncFromDataSet();
    /// Whether moving the cursor selects the whole row (the default) or only the cell that
    /// becomes current (for a view that selects cells, so that what shows selected is
    /// what is selected).
    void setSelectsRows(bool selectsRows) { m_selectsRows = selectsRows; }

private:
    void onViewCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void onCursorMoved(int row);

    QPointer<TDataSetModel> m_model;
    QPointer<QItemSelectionModel> m_selection;
    QPointer<QAbstractItemView> m_view;
    bool m_syncing = false;
    bool m_selectsRows = true;
};

} // namespace tovrin::qt

// The result grid: a table view over a TDataSetModel that edits each cell as text in the
// form the cell reads back unchanged (whole texts, dates with milliseconds, binary values
// in hexadecimal), tints the rows whose changes are not saved yet, copies the selected
// cells as tab-separated text (as spreadsheets paste it) and pastes such text into cells.
#pragma once

#include <QString>
#include <QStringList>
#include <QTableView>
#include <QVector>

namespace tovrin::qt {
class TDataSetModel;
}

namespace tovrin::browse {

/// Tab-separated text of a block of cells: rows end in "\n", cells are separated by tabs;
/// a cell holding a tab, a line break or a quote is quoted, its quotes doubled.
[[nodiscard]] QString tabSeparated(const QVector<QStringList>& rows);
/// The block of cells in tab-separated text (what tabSeparated writes, or a spreadsheet's
/// copy); a final line break does not start another row.
[[nodiscard]] QVector<QStringList> parseTabSeparated(const QString& text);

class GridView final : public QTableView {
    Q_OBJECT
public:
    explicit GridView(qt::TDataSetModel* model, QWidget* parent = nullptr);

    /// Puts the selected cells on the clipboard (tab-separated; NULL as an empty cell).
    /// Returns the number of cells copied.
    int copySelection();
    /// Writes the clipboard's cells into the grid from the current cell on (right and
    /// down), each through the model as if typed. Stops at the first cell refused; returns
    /// the number of cells written.
    int paste();
    /// Makes the current cell NULL. False when refused (the model says why).
    bool setCurrentNull();

signals:
    /// Something to tell the user (a paste that stopped, a cell that is not editable).
    void message(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    qt::TDataSetModel* m_model;
};

} // namespace tovrin::browse

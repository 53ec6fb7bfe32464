// The result grid: editing as text, marks of unsaved rows, copy and paste.
#include "GridView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyledItemDelegate>

#include <algorithm>

#include <tovrin5/host/DbEnums.h>
#include <tovrin5/qt/DataSetModel.h>
#include <tovrin5/qt/FieldValues.h>

namespace tovrin::browse {

namespace {

using qt::TDataSetModel;

/// A cell's value as text to copy or edit ("" for NULL).
QString cellText(const QModelIndex& index) {
    if (index.data(TDataSetModel::NullRole).toBool())
        return {};
    return qt::editText(index.data(Qt::EditRole));
}

/// The tint of a row whose changes are not saved yet (none for an unchanged row).
QColor pendingTint(int updateStatus) {
    switch (updateStatus) {
    case host::usModified:
        return QColor(255, 214, 102, 90);
    case host::usInserted:
        return QColor(120, 200, 120, 90);
    case host::usDeleted:
        return QColor(230, 110, 110, 90);
    default:
        return {};
    }
}

/// Edits every cell as text, the way the field converts text: a number typed into a
/// number column, "0x…" into a binary one. The editor starts from the whole value in the
/// form that reads back unchanged, and closing it with nothing changed writes nothing.
class CellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* line = static_cast<QLineEdit*>(editor);
        const QString text = cellText(index);
        line->setProperty("initialText", text);
        line->setText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        const auto* line = static_cast<QLineEdit*>(editor);
        if (line->text() == line->property("initialText").toString())
            return;
        model->setData(index, line->text(), Qt::EditRole);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QColor tint = pendingTint(index.data(TDataSetModel::UpdateStatusRole).toInt());
        if (!tint.isValid())
            return;
        // A NULL cell of a changed row stays darker than its neighbours.
        option->backgroundBrush =
            index.data(TDataSetModel::NullRole).toBool() ? tint.darker(125) : tint;
    }
};

bool needsQuotes(const QString& cell) {
    return cell.contains(QLatin1Char('\t')) || cell.contains(QLatin1Char('\n')) ||
           cell.contains(QLatin1Char('\r')) || cell.startsWith(QLatin1Char('"'));
}

} // namespace

QString tabSeparated(const QVector<QStringList>& rows) {
    QString out;
    for (const QStringList& row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                out += QLatin1Char('\t');
            QString cell = row[c];
            if (needsQuotes(cell))
                cell = QLatin1Char('"') + cell.replace(QLatin1String("\""), QLatin1String("\"\"")) +
                       QLatin1Char('"');
            out += cell;
        }
        out += QLatin1Char('\n');
    }
    return out;
}

QVector<QStringList> parseTabSeparated(const QString& text) {
    QVector<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    bool any = false; // something was read since the last line break
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
            continue;
        }
        any = true;
        if (c == QLatin1Char('"') && cell.isEmpty()) {
            quoted = true;
        } else if (c == QLatin1Char('\t')) {
            row << cell;
            cell.clear();
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
        }
    }
    if (any || !cell.isEmpty() || !row.isEmpty()) {
        row << cell;
        rows << row;
    }
    return rows;
}

GridView::GridView(qt::TDataSetModel* model, QWidget* parent) : QTableView(parent), m_model(model) {
    setModel(model);
    setItemDelegate(new CellDelegate(this));
    // Cells are selected one by one or in blocks: what shows selected is what Copy takes,
    // and the current cell stands out from the rest of its row.
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
}

int GridView::copySelection() {
    QModelIndexList cells = selectionModel()->selectedIndexes();
    if (cells.isEmpty() && currentIndex().isValid())
        cells << currentIndex();
    if (cells.isEmpty())
        return 0;
    int top = cells.front().row(), bottom = top;
    int left = cells.front().column(), right = left;
    for (const QModelIndex& cell : cells) {
        top = std::min(top, cell.row());
        bottom = std::max(bottom, cell.row());
        left = std::min(left, cell.column());
        right = std::max(right, cell.column());
    }
    // A block with holes keeps its shape: the cells not selected are empty.
    QVector<QStringList> rows(bottom - top + 1, QStringList());
    for (QStringList& row : rows) {
        for (int c = left; c <= right; ++c)
            row << QString();
    }
    for (const QModelIndex& cell : cells)
        rows[cell.row() - top][cell.column() - left] = cellText(cell);
    QApplication::clipboard()->setText(tabSeparated(rows));
    return static_cast<int>(cells.size());
}

int GridView::paste() {
    const QModelIndex start = currentIndex();
    if (!start.isValid())
        return 0;
    const QVector<QStringList> rows = parseTabSeparated(QApplication::clipboard()->text());
    int written = 0;
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            const QModelIndex cell = m_model->index(start.row() + r, start.column() + c);
            if (!cell.isValid())
                continue;
            if (!m_model->setData(cell, rows[r][c])) {
                emit message(tr("Paste stopped at row %1, column %2: %3")
                                 .arg(cell.row() + 1)
                                 .arg(cell.column() + 1)
                                 .arg(m_model->lastError().isEmpty()
                                          ? tr("the cell cannot be edited")
                                          : m_model->lastError()));
                return written;
            }
            ++written;
        }
    }
    return written;
}

bool GridView::setCurrentNull() {
    const QModelIndex cell = currentIndex();
    if (!cell.isValid())
        return false;
    if (!m_model->setData(cell, QVariant())) {
        if (m_model->lastError().isEmpty())
            emit message(tr("This cell cannot be edited"));
        return false;
    }
    return true;
}

void GridView::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->matches(QKeySequence::Copy)) {
            copySelection();
            return;
        }
        if (event->matches(QKeySequence::Paste)) {
            paste();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void GridView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(tr("Copy"), this, [this] { copySelection(); });
    menu.addAction(tr("Paste"), this, [this] { paste(); });
    menu.addSeparator();
    menu.addAction(tr("Set NULL"), this, [this] { setCurrentNull(); });
    menu.exec(event->globalPos());
}

} // namespace tovrin::browse

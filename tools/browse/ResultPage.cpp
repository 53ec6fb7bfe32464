// A result tab: grid, filter, locate, in-memory editing and export.
#include "ResultPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <fstream>

#include "BatchRun.h"
#include "CsvExport.h"
#include "DataSetFilter.h"
#include "DataSetLocate.h"
#include "GridView.h"
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/qt/DataSetCursor.h>
#include <tovrin5/qt/DataSetModel.h>
#include <tovrin5/query/SybQuery.h>

namespace tovrin::browse {

namespace {

/// The widest a column starts (pixels); the user may widen it.
constexpr int kWidestColumn = 420;

QString describe(const std::exception& e) {
    return QString::fromStdString(describeError(e));
}

QPushButton* toolButton(QWidget* parent, const QString& text, const char* name,
                        const QString& tip = {}) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    return button;
}

} // namespace

ResultPage::ResultPage(host::TDataSet* dataSet, QWidget* parent)
    : QWidget(parent), m_dataSet(dataSet) {
    m_model = new qt::TDataSetModel(dataSet, this);
    m_view = new GridView(m_model, this);
    m_view->setObjectName("grid");
    // No sort indicator yet: enabling sorting sorts by the indicator's column at once.
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    m_view->horizontalHeader()->setSectionsMovable(true);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->setWordWrap(false);
    // Column widths from the first screenful only: a million rows are never measured.
    m_view->horizontalHeader()->setResizeContentsPrecision(50);
    m_view->resizeColumnsToContents();
    // A long text does not make its column wider than a third of a screen.
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_view->setColumnWidth(c, std::min(m_view->columnWidth(c), kWidestColumn));
    m_cursor = new qt::TDataSetCursor(m_model, m_view->selectionModel(), m_view, this);
    // The cursor's cell alone is selected, as a click selects it.
    m_cursor->setSelectsRows(false);
    m_view->selectionModel()->clear();
    m_cursor->syncFromDataSet();
    connect(m_model, &qt::TDataSetModel::editRefused, this,
            [this](const QString& why) { reportProblem(why); });
    connect(m_view, &GridView::message, this, [this](const QString& text) { reportProblem(text); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ResultPage::rowsChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ResultPage::rowsChanged);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ResultPage::rowsChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ResultPage::rowsChanged);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(makeTools());
    layout->addWidget(m_view, 1);
}

QWidget* ResultPage::makeTools() {
    auto* tools = new QWidget(this);
    m_filter = new QLineEdit(tools);
    m_filter->setObjectName("filter");
    m_filter->setPlaceholderText(tr("Filter expression, e.g. price > 10"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setEnabled(filterExpressionsAvailable());
    connect(m_filter, &QLineEdit::returnPressed, this, [this] { applyFilter(m_filter->text()); });

    m_locateField = new QComboBox(tools);
    m_locateField->setObjectName("locateField");
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_locateField->addItem(
            m_model->headerData(c, Qt::Horizontal).toString(),
            m_model->headerData(c, Qt::Horizontal, qt::TDataSetModel::FieldNameRole));
    m_locateText = new QLineEdit(tools);
    m_locateText->setObjectName("locateText");
    m_locateText->setPlaceholderText(tr("Locate"));
    connect(m_locateText, &QLineEdit::returnPressed, this,
            [this] { locate(m_locateField->currentData().toString(), m_locateText->text()); });

    auto* insert = toolButton(tools, tr("Insert"), "insertRow");
    connect(insert, &QPushButton::clicked, this, [this] {
        const int row = m_model->currentRow() < 0 ? m_model->rowCount() : m_model->currentRow();
        if (!m_model->insertRows(row, 1))
            return;
        // The new row is current: the editor opens on its first cell and Tab goes on in it.
        const QModelIndex first = m_model->index(m_model->currentRow(), 0);
        m_view->setFocus();
        m_view->setCurrentIndex(first);
        m_view->edit(first);
    });
    auto* remove = toolButton(tools, tr("Delete"), "deleteRow");
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_model->currentRow() >= 0)
            m_model->removeRows(m_model->currentRow(), 1);
    });
    auto* setNull = toolButton(tools, tr("Set NULL"), "setNull", tr("Make the current cell NULL"));
    connect(setNull, &QPushButton::clicked, this, [this] { m_view->setCurrentNull(); });
    auto* revertRow = toolButton(tools, tr("Revert row"), "revertRecord",
                                 tr("Put the current row back as it was fetched"));
    connect(revertRow, &QPushButton::clicked, this, [this] { revertRecord(); });
    auto* revertEverything =
        toolButton(tools, tr("Revert all"), "revertAll", tr("Undo every change not saved yet"));
    connect(revertEverything, &QPushButton::clicked, this, [this] { revertAll(); });
    auto* save = toolButton(tools, tr("Save"), "saveChanges",
                            tr("Apply the inserted, edited and deleted rows to the server"));
    save->setEnabled(dynamic_cast<TSybQuery*>(m_dataSet) != nullptr);
    connect(save, &QPushButton::clicked, this, [this] { saveChanges(); });
    auto* exportButton = toolButton(tools, tr("Export CSV…"), "exportCsv");
    connect(exportButton, &QPushButton::clicked, this, &ResultPage::onExportClicked);

    auto* row = new QHBoxLayout(tools);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(tr("Filter:"), tools));
    row->addWidget(m_filter, 3);
    row->addSpacing(12);
    row->addWidget(m_locateField);
    row->addWidget(m_locateText, 1);
    row->addSpacing(12);
    for (QWidget* w : std::initializer_list<QWidget*>{insert, remove, setNull, revertRow,
                                                      revertEverything, save, exportButton})
        row->addWidget(w);
    return tools;
}

QTableView* ResultPage::view() const noexcept {
    return m_view;
}

ResultPage::~ResultPage() {
    // The view lets go of the model before the model lets go of the dataset.
    m_view->setModel(nullptr);
}

void ResultPage::report(const QString& text) {
    // Whatever the page did to the dataset shows before the user's next key.
    m_model->announceChanges();
    m_lastMessage = text;
    emit message(text);
}

void ResultPage::reportProblem(const QString& text) {
    report(text);
    emit problem(text);
}

void ResultPage::markFilter(const QString& refusal) {
    // A refused expression stays in the box, marked, for the user to mend; the records
    // shown are still those of the former filter.
    m_filter->setStyleSheet(
        refusal.isEmpty() ? QString() : QStringLiteral("QLineEdit { background: #f6c6c6; }"));
    m_filter->setToolTip(refusal);
    m_filter->setProperty("refused", !refusal.isEmpty());
}

bool ResultPage::applyFilter(const QString& expression) {
    m_filter->setText(expression);
    try {
        if (!browse::applyFilter(*m_dataSet, expression.trimmed().toStdString())) {
            report(tr("Filter expressions are not available in this build"));
            return false;
        }
    } catch (const std::exception& e) {
        const QString why = tr("Filter refused: %1").arg(describe(e));
        markFilter(why);
        reportProblem(why);
        return false;
    }
    markFilter({});
    report(rowsText());
    return true;
}

bool ResultPage::locate(const QString& fieldName, const QString& text) {
    bool found = false;
    try {
        const host::TField* field = m_dataSet->FieldByName(fieldName.toStdString());
        found = locateShown(*m_dataSet, *field, text);
    } catch (const std::exception& e) {
        report(tr("Locate refused: %1").arg(describe(e)));
        return false;
    }
    report(found ? tr("Found in row %1").arg(m_model->currentRow() + 1)
                 : tr("No %1 starting with \"%2\"").arg(fieldName, text));
    return found;
}

bool ResultPage::saveChanges() {
    auto* query = dynamic_cast<TSybQuery*>(m_dataSet);
    if (query == nullptr) {
        report(tr("Only a query's rows can be saved"));
        return false;
    }
    try {
        if (!query->UpdatesPending() && query->State() == host::dsBrowse) {
            report(tr("Nothing to save"));
            return true;
        }
        query->ApplyUpdates();
    } catch (const ESybUpdateError& e) {
        // Show the record the server disagreed about; a deleted one is no longer shown.
        bool shown = false;
        try {
            shown = query->BookmarkValid(e.Bookmark());
            if (shown)
                query->GotoBookmark(e.Bookmark());
        } catch (const std::exception&) {
            shown = false;
        }
        reportProblem(
            shown ? tr("Not saved: %1 (row %2)").arg(describe(e)).arg(m_model->currentRow() + 1)
                  : tr("Not saved: %1").arg(describe(e)));
        return false;
    } catch (const std::exception& e) {
        reportProblem(tr("Not saved: %1").arg(describe(e)));
        return false;
    }
    report(tr("Saved"));
    emit rowsChanged();
    return true;
}

void ResultPage::revertRecord() {
    try {
        if (auto* query = dynamic_cast<TSybQuery*>(m_dataSet))
            query->RevertRecord();
        else
            m_model->revert();
    } catch (const std::exception& e) {
        reportProblem(tr("Not reverted: %1").arg(describe(e)));
        return;
    }
    report(tr("Row reverted"));
    emit rowsChanged();
}

void ResultPage::revertAll() {
    try {
        if (auto* query = dynamic_cast<TSybQuery*>(m_dataSet))
            query->CancelUpdates();
        else
            m_model->revert();
    } catch (const std::exception& e) {
        reportProblem(tr("Not reverted: %1").arg(describe(e)));
        return;
    }
    report(tr("Every change reverted"));
    emit rowsChanged();
}

bool ResultPage::hasPendingChanges() const {
    if (m_dataSet->State() == host::dsEdit || m_dataSet->State() == host::dsInsert)
        return true;
    const auto* query = dynamic_cast<const TSybQuery*>(m_dataSet);
    return query != nullptr && query->UpdatesPending();
}

bool ResultPage::exportCsv(const QString& path) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    if (!out) {
        report(tr("Cannot write %1").arg(path));
        return false;
    }
    try {
        const std::int64_t rows = writeCsv(*m_dataSet, out);
        out.close();
        if (!out) {
            report(tr("Cannot write %1").arg(path));
            return false;
        }
        report(tr("%1 rows written to %2").arg(rows).arg(path));
    } catch (const std::exception& e) {
        report(tr("Export failed: %1").arg(describe(e)));
        return false;
    }
    return true;
}

void ResultPage::onExportClicked() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Export result as CSV"), QString(),
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        exportCsv(path);
}

QString ResultPage::rowsText() const {
    const int count = m_model->rowCount();
    QString rows = count == 1 ? tr("1 row") : tr("%1 rows").arg(count);
    if (m_dataSet->Filtered())
        rows = tr("%1 (filtered)").arg(rows);
    return hasPendingChanges() ? tr("%1, changes not saved").arg(rows) : rows;
}

} // namespace tovrin::browse

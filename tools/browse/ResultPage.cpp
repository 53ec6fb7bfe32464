// A result tab: grid, filter, locate, in-memory editing and export.
#include "ResultPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <fstream>

#include "BatchRun.h"
#include "CsvExport.h"
#include "DataSetFilter.h"
#include "DataSetSort.h"
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/qt/DataSetCursor.h>
#include <tovrin5/qt/DataSetModel.h>
#include <tovrin5/query/SybQuery.h>

namespace tovrin::browse {

namespace {

QString describe(const std::exception& e) {
    return QString::fromStdString(describeError(e));
}

/// Edits every cell as text, the way the field converts text: a number typed into a
/// number column, "0x…" into a binary one, nothing for NULL.
class TextDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QLineEdit*>(editor)->setText(index.data(Qt::DisplayRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }
};

} // namespace

ResultPage::ResultPage(host::TDataSet* dataSet, QWidget* parent)
    : QWidget(parent), m_dataSet(dataSet) {
    m_model = new qt::TDataSetModel(dataSet, this);
    m_model->setSortHandler(inMemorySort());

    m_filter = new QLineEdit(this);
    m_filter->setObjectName("filter");
    m_filter->setPlaceholderText(tr("Filter expression, e.g. price > 10"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setEnabled(filterExpressionsAvailable());
    connect(m_filter, &QLineEdit::returnPressed, this, [this] { applyFilter(m_filter->text()); });

    m_locateField = new QComboBox(this);
    m_locateField->setObjectName("locateField");
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_locateField->addItem(
            m_model->headerData(c, Qt::Horizontal).toString(),
            m_model->headerData(c, Qt::Horizontal, qt::TDataSetModel::FieldNameRole));
    m_locateText = new QLineEdit(this);
    m_locateText->setObjectName("locateText");
    m_locateText->setPlaceholderText(tr("Locate"));
    connect(m_locateText, &QLineEdit::returnPressed, this,
            [this] { locate(m_locateField->currentData().toString(), m_locateText->text()); });

    auto* insert = new QPushButton(tr("Insert"), this);
    insert->setObjectName("insertRow");
    connect(insert, &QPushButton::clicked, this, [this] {
        const int row = m_model->currentRow() < 0 ? m_model->rowCount() : m_model->currentRow();
        if (m_model->insertRows(row, 1))
            m_view->edit(m_model->index(m_model->currentRow(), 0));
    });
    auto* remove = new QPushButton(tr("Delete"), this);
    remove->setObjectName("deleteRow");
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_model->currentRow() >= 0)
            m_model->removeRows(m_model->currentRow(), 1);
    });
    auto* save = new QPushButton(tr("Save"), this);
    save->setObjectName("saveChanges");
    save->setToolTip(tr("Apply the inserted, edited and deleted rows to the server"));
    save->setEnabled(dynamic_cast<TSybQuery*>(dataSet) != nullptr);
    connect(save, &QPushButton::clicked, this, [this] { saveChanges(); });
    auto* exportButton = new QPushButton(tr("Export CSV…"), this);
    exportButton->setObjectName("exportCsv");
    connect(exportButton, &QPushButton::clicked, this, &ResultPage::onExportClicked);

    m_view = new QTableView(this);
    m_view->setObjectName("grid");
    m_view->setModel(m_model);
    m_view->setItemDelegate(new TextDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    // No sort indicator yet: enabling sorting sorts by the indicator's column at once.
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    m_view->horizontalHeader()->setSectionsMovable(true);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->setWordWrap(false);
    // Column widths from the first screenful only: a million rows are never measured.
    m_view->horizontalHeader()->setResizeContentsPrecision(50);
    m_view->resizeColumnsToContents();
    m_cursor = new qt::TDataSetCursor(m_model, m_view->selectionModel(), m_view, this);
    connect(m_model, &qt::TDataSetModel::editRefused, this,
            [this](const QString& why) { report(why); });

    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(tr("Filter:"), this));
    tools->addWidget(m_filter, 3);
    tools->addSpacing(12);
    tools->addWidget(m_locateField);
    tools->addWidget(m_locateText, 1);
    tools->addSpacing(12);
    tools->addWidget(insert);
    tools->addWidget(remove);
    tools->addWidget(save);
    tools->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(tools);
    layout->addWidget(m_view, 1);
}

ResultPage::~ResultPage() {
    // The view lets go of the model before the model lets go of the dataset.
    m_view->setModel(nullptr);
}

void ResultPage::report(const QString& text) {
    m_lastMessage = text;
    emit message(text);
}

bool ResultPage::applyFilter(const QString& expression) {
    m_filter->setText(expression);
    try {
        if (!browse::applyFilter(*m_dataSet, expression.trimmed().toStdString())) {
            report(tr("Filter expressions are not available in this build"));
            return false;
        }
    } catch (const std::exception& e) {
        report(tr("Filter refused: %1").arg(describe(e)));
        return false;
    }
    report(rowsText());
    return true;
}

bool ResultPage::locate(const QString& fieldName, const QString& text) {
    bool found = false;
    try {
        found =
            m_dataSet->Locate(fieldName.toStdString(), host::Variant(text.toStdString()),
                              host::TLocateOptions{host::loCaseInsensitive, host::loPartialKey});
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
        report(shown ? tr("Not saved: %1 (row %2)").arg(describe(e)).arg(m_model->currentRow() + 1)
                     : tr("Not saved: %1").arg(describe(e)));
        return false;
    } catch (const std::exception& e) {
        report(tr("Not saved: %1").arg(describe(e)));
        return false;
    }
    report(tr("Saved"));
    return true;
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
    const QString rows = count == 1 ? tr("1 row") : tr("%1 rows").arg(count);
    return m_dataSet->Filtered() ? tr("%1 (filtered)").arg(rows) : rows;
}

} // namespace tovrin::browse

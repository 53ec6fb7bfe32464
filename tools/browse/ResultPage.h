// One row result of a batch as a tab of the browser: the grid (a TDataSetModel bound to
// the dataset's cursor), a filter box for the dataset's Filter expression, a Locate box,
// buttons to insert and delete records in memory, Save to apply those changes to the server,
// and CSV export.
#pragma once

#include <QString>
#include <QWidget>

namespace tovrin::host {
class TDataSet;
}

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tovrin::qt {
class TDataSetModel;
class TDataSetCursor;
} // namespace tovrin::qt

namespace tovrin::browse {

class ResultPage final : public QWidget {
    Q_OBJECT
public:
    /// Shows dataSet, which must outlive the page.
    explicit ResultPage(host::TDataSet* dataSet, QWidget* parent = nullptr);
    ~ResultPage() override;

    [[nodiscard]] QTableView* view() const noexcept { return m_view; }
    [[nodiscard]] qt::TDataSetModel* model() const noexcept { return m_model; }
    [[nodiscard]] host::TDataSet* dataSet() const noexcept { return m_dataSet; }

    /// Filters by the expression (empty: every record). False, with the reason in
    /// lastMessage, when the expression is refused or filters are not available.
    bool applyFilter(const QString& expression);
    /// Makes the first record whose field starts with text current (case-insensitive).
    bool locate(const QString& fieldName, const QString& text);
    /// Applies the changes made in memory to the server (the query's ApplyUpdates). False,
    /// with the reason in lastMessage, when they were refused; on a conflict the record
    /// concerned becomes current (when it is not a deleted one) and nothing was written.
    bool saveChanges();
    /// Writes the result to a CSV file.
    bool exportCsv(const QString& path);
    /// "N rows" (and the filter when one applies).
    [[nodiscard]] QString rowsText() const;
    [[nodiscard]] const QString& lastMessage() const noexcept { return m_lastMessage; }

signals:
    /// Something the status bar should show (a refused edit, a locate that missed, ...).
    void message(const QString& text);

private:
    void report(const QString& text);
    void onExportClicked();

    host::TDataSet* m_dataSet;
    qt::TDataSetModel* m_model = nullptr;
    qt::TDataSetCursor* m_cursor = nullptr;
    QTableView* m_view = nullptr;
    QLineEdit* m_filter = nullptr;
    QComboBox* m_locateField = nullptr;
    QLineEdit* m_locateText = nullptr;
    QString m_lastMessage;
};

} // namespace tovrin::browse

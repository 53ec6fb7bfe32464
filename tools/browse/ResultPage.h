// One row result of a batch as a tab of the browser: the grid (a TDataSetModel bound to
// the dataset's cursor), a filter box for the dataset's Filter expression, a Locate box,
// buttons to insert and delete records in memory, set a cell to NULL, revert the current
// record or every change, Save to apply the changes to the server, and CSV export.
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

class GridView;

class ResultPage final : public QWidget {
    Q_OBJECT
public:
    /// Shows dataSet, which must outlive the page.
    explicit ResultPage(host::TDataSet* dataSet, QWidget* parent = nullptr);
    ~ResultPage() override;

    [[nodiscard]] QTableView* view() const noexcept;
    [[nodiscard]] GridView* grid() const noexcept { return m_view; }
    [[nodiscard]] qt::TDataSetModel* model() const noexcept { return m_model; }
    [[nodiscard]] host::TDataSet* dataSet() const noexcept { return m_dataSet; }

    /// Filters by the expression (empty: every record). False, with the reason in
    /// lastMessage and the box marked as refused, when the expression is refused or
    /// filters are not available; the former filter then stays in force.
    bool applyFilter(const QString& expression);
    /// Makes the first record whose field, as its cell shows it, starts with text
    /// (ignoring letter case) current.
    bool locate(const QString& fieldName, const QString& text);
    /// Applies the changes made in memory to the server (the query's ApplyUpdates). False,
    /// with the reason in lastMessage, when they were refused; on a conflict the record
    /// concerned becomes current (when it is not a deleted one) and nothing was written.
    bool saveChanges();
    /// Puts the current record back as fetched (a new one goes away).
    void revertRecord();
    /// Puts every record back as fetched: edits undone, new records removed, deleted
    /// records back.
    void revertAll();
    /// Whether changes are made in memory and not saved (an edit in progress included).
    [[nodiscard]] bool hasPendingChanges() const;
    /// Writes the result to a CSV file.
    bool exportCsv(const QString& path);
    /// "N rows" (and the filter when one applies, and unsaved changes when there are).
    [[nodiscard]] QString rowsText() const;
    [[nodiscard]] const QString& lastMessage() const noexcept { return m_lastMessage; }

signals:
    /// Something the status bar should show (a refused edit, a locate that missed, ...).
    void message(const QString& text);
    /// A refusal worth keeping in the messages pane (a save that failed, ...), in full.
    void problem(const QString& text);
    /// The rows shown, or their changes, are different now.
    void rowsChanged();

private:
    void report(const QString& text);
    void reportProblem(const QString& text);
    void onExportClicked();
    void markFilter(const QString& refusal);
    QWidget* makeTools();

    host::TDataSet* m_dataSet;
    qt::TDataSetModel* m_model = nullptr;
    qt::TDataSetCursor* m_cursor = nullptr;
    GridView* m_view = nullptr;
    QLineEdit* m_filter = nullptr;
    QComboBox* m_locateField = nullptr;
    QLineEdit* m_locateText = nullptr;
    QString m_lastMessage;
};

} // namespace tovrin::browse

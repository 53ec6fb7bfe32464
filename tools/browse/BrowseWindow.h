// The browser's main window: the connection form (server from freetds.conf, user,
// password, database), the SQL editor (Ctrl+Enter runs the batch), one tab per row result
// of the batch, a pane with the return status, output parameters and server messages, and
// a status bar with the rows and the fetch time, and the progress of a long fetch.
#pragma once

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace tovrin {
class TSybConnect;
}

namespace tovrin::browse {

class BatchRun;
class ResultPage;

/// What the window starts with (from the command line).
struct BrowseSettings {
    std::string server;
    std::string user;
    std::string database;
    std::string sql;
};

class BrowseWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit BrowseWindow(const BrowseSettings& settings, QWidget* parent = nullptr);
    ~BrowseWindow() override;

    /// Logs in with the form's values and the password given (the form's when empty).
    /// Returns false, with the reason in the messages pane, when the login fails.
    bool connectToServer(const std::string& password = {});
    void disconnectFromServer();
    [[nodiscard]] bool isConnected() const;
    /// Runs the editor's SQL as one batch; false when not connected or nothing to run.
    bool runBatch();
    /// The tab of row result i (null when there is none).
    [[nodiscard]] ResultPage* resultPage(int i) const;
    [[nodiscard]] int resultCount() const;

signals:
    /// Rows fetched so far while a batch runs (every few hundred rows).
    void fetchProgress(qint64 rows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearResults();
    void appendMessage(const QString& line);
    void updateStatus();
    void showFetchProgress(std::int64_t rows);

    std::unique_ptr<TSybConnect> m_connection;
    std::unique_ptr<BatchRun> m_batch;
    QComboBox* m_server = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_database = nullptr;
    QPushButton* m_connect = nullptr;
    QPlainTextEdit* m_sql = nullptr;
    QPushButton* m_run = nullptr;
    QTabWidget* m_results = nullptr;
    QPlainTextEdit* m_messages = nullptr;
    QLabel* m_rowsLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    double m_fetchSeconds = 0;
};

} // namespace tovrin::browse

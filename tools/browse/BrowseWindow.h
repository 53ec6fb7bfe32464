// The browser's main window: the connection form (server from freetds.conf, user,
// password, database; Return logs in), the SQL editor (Ctrl+Enter runs the batch, Tab
// leaves it), one tab per row result of the batch, a pane with the return status, output
// parameters and server messages, and a status bar with the rows and the fetch time.
//
// A batch runs on a thread of its own while the window goes on: it repaints, shows the
// time elapsed and the rows fetched, and Cancel (or Escape) asks the server to stop the
// batch. Nothing else uses the connection meanwhile: Run and Connect wait, and closing the
// window cancels the batch first. Run, Disconnect and closing ask before dropping changes
// made in the grids and not saved.
#pragma once

#include <QElapsedTimer>
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
class QTimer;

namespace tovrin {
class TSybConnect;
}

namespace tovrin::browse {

class BatchRun;
struct BatchOutcome;
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
    /// Runs the editor's SQL as one batch; false when not connected, nothing to run, the
    /// user kept the unsaved changes, or the batch ended early. Returns when the batch is
    /// done; the window's events are handled meanwhile.
    bool runBatch();
    /// Asks the server to stop the batch that runs (nothing when none does).
    void cancelBatch();
    [[nodiscard]] bool isRunning() const noexcept { return m_running; }
    /// Whether some result has changes not saved to the server.
    [[nodiscard]] bool hasPendingChanges() const;
    /// The tab of row result i (null when there is none).
    [[nodiscard]] ResultPage* resultPage(int i) const;
    [[nodiscard]] int resultCount() const;

signals:
    /// Rows fetched so far while a batch runs (every few hundred rows).
    void fetchProgress(qint64 rows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeConnectionBox();
    QWidget* makeEditor();
    void dropConnection();
    void clearResults();
    void appendMessage(const QString& line);
    void updateStatus();
    void showFetchProgress(std::int64_t rows);
    void showElapsed();
    /// True when nothing would be lost, or the user agreed to drop the unsaved changes.
    bool confirmDiscard(const QString& action);
    void showOutcome(const BatchOutcome& outcome);

    std::unique_ptr<TSybConnect> m_connection;
    std::unique_ptr<BatchRun> m_batch;
    QComboBox* m_server = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_database = nullptr;
    QPushButton* m_connect = nullptr;
    QPlainTextEdit* m_sql = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_elapsed = nullptr;
    QTimer* m_elapsedTimer = nullptr;
    QElapsedTimer m_clock;
    bool m_running = false;
    bool m_closeWhenDone = false;
    QTabWidget* m_results = nullptr;
    QPlainTextEdit* m_messages = nullptr;
    QLabel* m_rowsLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    double m_fetchSeconds = 0;
};

} // namespace tovrin::browse

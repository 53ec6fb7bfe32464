// The browser's window: connecting, running batches, showing their results.
#include "BrowseWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "BatchRun.h"
#include "FreetdsConf.h"
#include "ResultPage.h"
#include <tovrin5/host/Exceptions.h>
#include <tovrin5/qt/DataSetModel.h>
#include <tovrin5/query/SybConnect.h>
#include <tovrin5/query/SybQuery.h>

#include <thread>

namespace tovrin::browse {

namespace {

QString describe(const std::exception& e) {
    return QString::fromStdString(describeError(e));
}

} // namespace

BrowseWindow::BrowseWindow(const BrowseSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_batch(std::make_unique<BatchRun>()) {
    setWindowTitle(tr("tovrin-browse"));
    auto* connectionBox = makeConnectionBox();
    if (!settings.server.empty())
        m_server->setCurrentText(QString::fromStdString(settings.server));
    m_user->setText(QString::fromStdString(settings.user));
    m_database->setText(QString::fromStdString(settings.database));
    QWidget* editorBox = makeEditor();
    m_sql->setPlainText(QString::fromStdString(settings.sql));

    m_results = new QTabWidget(this);
    m_results->setObjectName("results");
    connect(m_results, &QTabWidget::currentChanged, this, [this] { updateStatus(); });
    m_messages = new QPlainTextEdit(this);
    m_messages->setObjectName("messages");
    m_messages->setReadOnly(true);
    m_messages->setMaximumBlockCount(5000);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(editorBox);
    splitter->addWidget(m_results);
    splitter->addWidget(m_messages);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 4);
    splitter->setStretchFactor(2, 1);
    splitter->setSizes({150, 430, 110});

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(connectionBox);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    m_rowsLabel = new QLabel(this);
    m_rowsLabel->setObjectName("rows");
    m_elapsed = new QLabel(this);
    m_elapsed->setObjectName("elapsed");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 0); // busy: the number of rows is not known in advance
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(220);
    m_progress->setVisible(false);
    statusBar()->addPermanentWidget(m_elapsed);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_rowsLabel);
    m_elapsedTimer = new QTimer(this);
    m_elapsedTimer->setInterval(100);
    connect(m_elapsedTimer, &QTimer::timeout, this, &BrowseWindow::showElapsed);
    resize(1100, 760);
}

QWidget* BrowseWindow::makeConnectionBox() {
    auto* box = new QGroupBox(tr("Connection"), this);
    m_server = new QComboBox(box);
    m_server->setObjectName("server");
    m_server->setEditable(true);
    for (const std::string& name : serverNamesIn(freetdsConfPath()))
        m_server->addItem(QString::fromStdString(name));
    m_user = new QLineEdit(box);
    m_user->setObjectName("user");
    m_password = new QLineEdit(box);
    m_password->setObjectName("password");
    m_password->setEchoMode(QLineEdit::Password);
    m_database = new QLineEdit(box);
    m_database->setObjectName("database");
    m_connect = new QPushButton(tr("Connect"), box);
    m_connect->setObjectName("connect");
    connect(m_connect, &QPushButton::clicked, this, [this] {
        if (isConnected())
            disconnectFromServer();
        else
            connectToServer();
    });
    // Return in any field of the form logs in, as the Connect button does.
    for (QLineEdit* field : {m_user, m_password, m_database}) {
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (!isConnected() && !m_running)
                connectToServer();
        });
    }
    auto* form = new QHBoxLayout(box);
    const auto addField = [&](const QString& label, QWidget* field, int stretch) {
        form->addWidget(new QLabel(label, box));
        form->addWidget(field, stretch);
    };
    addField(tr("Server:"), m_server, 2);
    addField(tr("User:"), m_user, 1);
    addField(tr("Password:"), m_password, 1);
    addField(tr("Database:"), m_database, 1);
    form->addWidget(m_connect);
    return box;
}

QWidget* BrowseWindow::makeEditor() {
    auto* box = new QWidget(this);
    m_sql = new QPlainTextEdit(box);
    m_sql->setObjectName("sql");
    m_sql->setPlaceholderText(tr("SQL batch — Ctrl+Enter runs it"));
    m_sql->setFont(QFont(QStringLiteral("Monospace")));
    // Tab and Shift+Tab move to the next and previous control; SQL rarely needs a tab.
    m_sql->setTabChangesFocus(true);
    m_sql->installEventFilter(this);
    m_run = new QPushButton(tr("Run (Ctrl+Enter)"), box);
    m_run->setObjectName("run");
    connect(m_run, &QPushButton::clicked, this, [this] { runBatch(); });
    m_cancel = new QPushButton(tr("Cancel (Esc)"), box);
    m_cancel->setObjectName("cancel");
    m_cancel->setEnabled(false);
    connect(m_cancel, &QPushButton::clicked, this, &BrowseWindow::cancelBatch);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_running)
            cancelBatch();
    });
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_sql, 1);
    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    runRow->addWidget(m_cancel);
    runRow->addWidget(m_run);
    layout->addLayout(runRow);
    return box;
}

BrowseWindow::~BrowseWindow() {
    clearResults();
    m_batch.reset();
    m_connection.reset();
}

bool BrowseWindow::isConnected() const {
    return m_connection && m_connection->Connected();
}

bool BrowseWindow::hasPendingChanges() const {
    for (int i = 0; i < m_results->count(); ++i) {
        if (const ResultPage* page = resultPage(i); page != nullptr && page->hasPendingChanges())
            return true;
    }
    return false;
}

bool BrowseWindow::confirmDiscard(const QString& action) {
    if (!hasPendingChanges())
        return true;
    QMessageBox box(QMessageBox::Warning, tr("Unsaved changes"),
                    tr("The results have changes that are not saved. %1 drops them.").arg(action),
                    QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName("confirmDiscard");
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Discard;
}

bool BrowseWindow::connectToServer(const std::string& password) {
    if (m_running || !confirmDiscard(tr("Connecting again")))
        return false;
    dropConnection();
    auto connection = std::make_unique<TSybConnect>(nullptr);
    connection->SetServerName(m_server->currentText().trimmed().toStdString());
    connection->SetUserName(m_user->text().trimmed().toStdString());
    connection->SetPassword(password.empty() ? m_password->text().toStdString() : password);
    connection->SetApplicationName("tovrin-browse");
    if (!m_database->text().trimmed().isEmpty())
        connection->SetDatabase(m_database->text().trimmed().toStdString());
    // Messages may come from the thread that runs a batch: the pane takes them on its own.
    const auto show = [this](const TSybMessage* message, bool& handled) {
        const QString line = QString::fromStdString(messageLine(
            static_cast<int>(message->MsgNumber()), static_cast<int>(message->Severity()),
            static_cast<int>(message->State()), message->Text()));
        QMetaObject::invokeMethod(this, [this, line] { appendMessage(line); });
        handled = true;
    };
    connection->SetOnServerMessage(show);
    connection->SetOnServerError(show);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        connection->Connect();
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        QCoreApplication::sendPostedEvents(this); // the server's messages first
        const QString why = describe(e).trimmed();
        appendMessage(why.isEmpty() ? tr("Login failed") : tr("Login failed: %1").arg(why));
        statusBar()->showMessage(tr("Not connected"));
        return false;
    }
    QApplication::restoreOverrideCursor();
    // The password is kept by the connection alone, never shown again.
    m_password->clear();
    m_connection = std::move(connection);
    m_connect->setText(tr("Disconnect"));
    statusBar()->showMessage(tr("Connected to %1").arg(m_server->currentText()));
    return true;
}

void BrowseWindow::disconnectFromServer() {
    if (m_running || !confirmDiscard(tr("Disconnecting")))
        return;
    dropConnection();
}

void BrowseWindow::dropConnection() {
    clearResults();
    m_batch->clear();
    if (m_connection) {
        try {
            m_connection->Disconnect();
        } catch (const std::exception& e) {
            appendMessage(describe(e));
        }
        m_connection.reset();
    }
    m_connect->setText(tr("Connect"));
    updateStatus();
}

bool BrowseWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_sql && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & Qt::ControlModifier)) {
            runBatch();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void BrowseWindow::closeEvent(QCloseEvent* event) {
    if (m_running) {
        // The batch is stopped first; the window closes once it has ended.
        m_closeWhenDone = true;
        cancelBatch();
        event->ignore();
        return;
    }
    if (!confirmDiscard(tr("Closing the window"))) {
        event->ignore();
        return;
    }
    clearResults();
    event->accept();
}

void BrowseWindow::clearResults() {
    // The tabs (and their models) go before the datasets they show.
    while (m_results->count() > 0) {
        QWidget* page = m_results->widget(0);
        m_results->removeTab(0);
        delete page;
    }
}

void BrowseWindow::appendMessage(const QString& line) {
    m_messages->appendPlainText(line);
}

void BrowseWindow::showFetchProgress(std::int64_t rows) {
    m_rowsLabel->setText(tr("%1 rows fetched").arg(rows));
    emit fetchProgress(rows);
}

void BrowseWindow::showElapsed() {
    m_elapsed->setText(tr("running %1 s").arg(m_clock.elapsed() / 1000.0, 0, 'f', 1));
}

void BrowseWindow::cancelBatch() {
    if (!m_running || !m_connection)
        return;
    cancelRunningBatch(*m_connection);
    m_cancel->setEnabled(false);
    statusBar()->showMessage(tr("Cancelling…"));
}

bool BrowseWindow::runBatch() {
    const std::string sql = m_sql->toPlainText().toStdString();
    if (m_running || sql.find_first_not_of(" \t\r\n") == std::string::npos)
        return false;
    if (!isConnected()) {
        appendMessage(tr("Not connected: connect first"));
        return false;
    }
    if (!confirmDiscard(tr("Running the batch")))
        return false;
    clearResults();
    m_messages->clear();
    m_running = true;
    m_progress->setVisible(true);
    m_rowsLabel->setText(tr("running"));
    m_run->setEnabled(false);
    m_connect->setEnabled(false);
    m_cancel->setEnabled(true);
    m_clock.start();
    showElapsed();
    m_elapsedTimer->start();

    // The batch runs on its own thread; this one goes on handling the window's events
    // until the batch is done. Progress comes back as queued calls, which all arrive
    // before the call that ends the wait.
    BatchOutcome outcome;
    QEventLoop wait;
    std::thread worker([&] {
        outcome = m_batch->run(*m_connection, sql, [this](std::int64_t rows) {
            QMetaObject::invokeMethod(this, [this, rows] { showFetchProgress(rows); });
        });
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    wait.exec();
    worker.join();

    m_elapsedTimer->stop();
    m_elapsed->clear();
    m_running = false;
    m_cancel->setEnabled(false);
    m_run->setEnabled(true);
    m_connect->setEnabled(true);
    m_progress->setVisible(false);
    m_fetchSeconds = outcome.seconds;
    showOutcome(outcome);
    if (m_closeWhenDone)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return outcome.failure.empty();
}

void BrowseWindow::showOutcome(const BatchOutcome& outcome) {
    for (std::size_t i = 0; i < outcome.results.size(); ++i) {
        auto* page = new ResultPage(outcome.results[i], m_results);
        connect(page, &ResultPage::message, this, [this](const QString& text) {
            statusBar()->showMessage(text, 8000);
            updateStatus();
        });
        connect(page, &ResultPage::problem, this, &BrowseWindow::appendMessage);
        connect(page, &ResultPage::rowsChanged, this, &BrowseWindow::updateStatus);
        m_results->addTab(page, tr("Result %1").arg(i + 1));
    }
    for (const std::string& line : outcome.messages)
        appendMessage(QString::fromStdString(line));
    if (outcome.returnStatus)
        appendMessage(tr("Return status: %1").arg(*outcome.returnStatus));
    for (const auto& [name, value] : outcome.outputParams)
        appendMessage(tr("Output parameter %1 = %2")
                          .arg(QString::fromStdString(name), QString::fromStdString(value)));
    if (!outcome.failure.empty())
        appendMessage(tr("The batch ended early: %1").arg(QString::fromStdString(outcome.failure)));
    updateStatus();
}

ResultPage* BrowseWindow::resultPage(int i) const {
    return qobject_cast<ResultPage*>(m_results->widget(i));
}

int BrowseWindow::resultCount() const {
    return m_results->count();
}

void BrowseWindow::updateStatus() {
    const ResultPage* page = resultPage(m_results->currentIndex());
    if (page == nullptr) {
        m_rowsLabel->setText(m_results->count() == 0 && m_fetchSeconds > 0
                                 ? tr("no rows · %1 ms").arg(qRound(m_fetchSeconds * 1000))
                                 : QString());
        return;
    }
    m_rowsLabel->setText(
        tr("%1 · fetched in %2 ms").arg(page->rowsText()).arg(qRound(m_fetchSeconds * 1000)));
}

} // namespace tovrin::browse

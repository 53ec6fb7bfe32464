// The browser's window: connecting, running batches, showing their results.
#include "BrowseWindow.h"

#include <QApplication>
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

namespace tovrin::browse {

namespace {

QString describe(const std::exception& e) {
    return QString::fromStdString(describeError(e));
}

} // namespace

BrowseWindow::BrowseWindow(const BrowseSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_batch(std::make_unique<BatchRun>()) {
    setWindowTitle(tr("tovrin-browse"));

    // Connection form.
    m_server = new QComboBox(this);
    m_server->setObjectName("server");
    m_server->setEditable(true);
    for (const std::string& name : serverNamesIn(freetdsConfPath()))
        m_server->addItem(QString::fromStdString(name));
    if (!settings.server.empty())
        m_server->setCurrentText(QString::fromStdString(settings.server));
    m_user = new QLineEdit(QString::fromStdString(settings.user), this);
    m_user->setObjectName("user");
    m_password = new QLineEdit(this);
    m_password->setObjectName("password");
    m_password->setEchoMode(QLineEdit::Password);
    m_database = new QLineEdit(QString::fromStdString(settings.database), this);
    m_database->setObjectName("database");
    m_connect = new QPushButton(tr("Connect"), this);
    m_connect->setObjectName("connect");
    connect(m_connect, &QPushButton::clicked, this, [this] {
        if (isConnected())
            disconnectFromServer();
        else
            connectToServer();
    });
    auto* form = new QHBoxLayout;
    const auto addField = [&](const QString& label, QWidget* field, int stretch) {
        form->addWidget(new QLabel(label, this));
        form->addWidget(field, stretch);
    };
    addField(tr("Server:"), m_server, 2);
    addField(tr("User:"), m_user, 1);
    addField(tr("Password:"), m_password, 1);
    addField(tr("Database:"), m_database, 1);
    form->addWidget(m_connect);
    auto* connectionBox = new QGroupBox(tr("Connection"), this);
    connectionBox->setLayout(form);

    // Editor, results, messages.
    m_sql = new QPlainTextEdit(QString::fromStdString(settings.sql), this);
    m_sql->setObjectName("sql");
    m_sql->setPlaceholderText(tr("SQL batch — Ctrl+Enter runs it"));
    m_sql->setFont(QFont(QStringLiteral("Monospace")));
    m_sql->installEventFilter(this);
    m_run = new QPushButton(tr("Run (Ctrl+Enter)"), this);
    m_run->setObjectName("run");
    connect(m_run, &QPushButton::clicked, this, [this] { runBatch(); });
    auto* editorBox = new QWidget(this);
    auto* editorLayout = new QVBoxLayout(editorBox);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->addWidget(m_sql, 1);
    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    runRow->addWidget(m_run);
    editorLayout->addLayout(runRow);

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
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 0); // busy: the number of rows is not known in advance
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(220);
    m_progress->setVisible(false);
    statusBar()->addPermanentWidget(m_progress);
    statusBar()->addPermanentWidget(m_rowsLabel);
    resize(1100, 760);
}

BrowseWindow::~BrowseWindow() {
    clearResults();
    m_batch.reset();
    m_connection.reset();
}

bool BrowseWindow::isConnected() const {
    return m_connection && m_connection->Connected();
}

bool BrowseWindow::connectToServer(const std::string& password) {
    disconnectFromServer();
    auto connection = std::make_unique<TSybConnect>(nullptr);
    connection->SetServerName(m_server->currentText().trimmed().toStdString());
    connection->SetUserName(m_user->text().trimmed().toStdString());
    connection->SetPassword(password.empty() ? m_password->text().toStdString() : password);
    connection->SetApplicationName("tovrin-browse");
    if (!m_database->text().trimmed().isEmpty())
        connection->SetDatabase(m_database->text().trimmed().toStdString());
    connection->SetOnServerMessage([this](const TSybMessage* message, bool& handled) {
        appendMessage(QString::fromStdString(messageLine(static_cast<int>(message->MsgNumber()),
                                                         static_cast<int>(message->Severity()),
                                                         message->Text())));
        handled = true;
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        connection->Connect();
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        appendMessage(tr("Login failed: %1").arg(describe(e)));
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
    // Paint the progress; the user's input waits until the batch is done.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool BrowseWindow::runBatch() {
    const std::string sql = m_sql->toPlainText().toStdString();
    if (sql.find_first_not_of(" \t\r\n") == std::string::npos)
        return false;
    if (!isConnected()) {
        appendMessage(tr("Not connected: connect first"));
        return false;
    }
    clearResults();
    m_messages->clear();
    m_progress->setVisible(true);
    m_rowsLabel->setText(tr("running"));
    m_run->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const BatchOutcome outcome =
        m_batch->run(*m_connection, sql, [this](std::int64_t rows) { showFetchProgress(rows); });
    QApplication::restoreOverrideCursor();
    m_run->setEnabled(true);
    m_progress->setVisible(false);
    m_fetchSeconds = outcome.seconds;

    for (std::size_t i = 0; i < outcome.results.size(); ++i) {
        auto* page = new ResultPage(outcome.results[i], m_results);
        connect(page, &ResultPage::message, this, [this](const QString& text) {
            statusBar()->showMessage(text, 8000);
            updateStatus();
        });
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
    return outcome.failure.empty();
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

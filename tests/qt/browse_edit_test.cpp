// tovrin-browse edited as a user edits it, against the development server: a new row
// entered from the keyboard, a long text and a date-time opened and closed, unsaved rows
// marked and reverted, the question before changes are dropped, a batch that runs while
// the window stays alive and is cancelled, a refused filter, NULL, copy and paste, and the
// small manners of the window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "GridView.h"
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbEnums.h"
#include "tovrin5/qt/DataSetModel.h"
#include "browse_support.h"

namespace host = tovrin::host;

namespace {

using namespace browsetest;
using tovrin::qt::TDataSetModel;

const std::string kLongNote(5000, 'a');

/// Answers the next message box (within a few seconds) with the button given, and counts
/// the boxes answered.
class DialogAnswer final {
public:
    explicit DialogAnswer(QMessageBox::StandardButton button, QWidget* window)
        : m_button(button), m_window(window) {
        arm();
    }
    /// The window the box belonged to is active again (without a window manager nobody
    /// else gives it back the focus).
    ~DialogAnswer() {
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window));
    }
    DialogAnswer(const DialogAnswer&) = delete;
    DialogAnswer& operator=(const DialogAnswer&) = delete;
    [[nodiscard]] int answered() const noexcept { return m_answered; }

private:
    void arm() {
        QTimer::singleShot(50, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                if (++m_tries < 100)
                    arm();
                return;
            }
            ++m_answered;
            QTest::mouseClick(box->button(m_button), Qt::LeftButton);
        });
    }
    QMessageBox::StandardButton m_button;
    QWidget* m_window;
    int m_tries = 0;
    int m_answered = 0;
};

class BrowseEdit : public Browse {
protected:
    void SetUp() override {
        Browse::SetUp();
        testsupport::CtConnection("DEVSERVER", "sa", "", "grid-setup")
            .execute("use pubs\n"
                     "create table grid_notes (id int primary key, name varchar(20) null,"
                     " note text null, at datetime null, cost money null, code varbinary(8) null)\n"
                     "insert grid_notes values (1, 'one', '" +
                     kLongNote +
                     "', '2024-03-05 10:07:11.003', 16, 0x00ff10)\n"
                     "insert grid_notes values (2, 'two', 'short', '2024-03-06 00:00:00.250', "
                     "16.5, null)\n"
                     "insert grid_notes values (3, 'three', null, null, 19.99, 0x01)");
    }
    ResultPage* openNotes() {
        logIn();
        typeAndRun("select * from grid_notes order by id");
        return m_window->resultCount() == 1 ? m_window->resultPage(0) : nullptr;
    }
    void save(ResultPage* page) {
        QTest::mouseClick(child<QPushButton>(page, "saveChanges"), Qt::LeftButton);
    }
    static QStringList server(const std::string& column) {
        return serverColumn("select " + column + " from grid_notes order by id", 0);
    }
};

TEST_F(BrowseEdit, ANewRowTypedFromTheKeyboardStaysInItsRow) {
    ResultPage* page = openNotes();
    ASSERT_NE(page, nullptr);
    QTableView* grid = page->view();
    grid->setFocus();
    grid->setCurrentIndex(page->model()->index(0, 0)); // record 1 is current
    QTest::mouseClick(child<QPushButton>(page, "insertRow"), Qt::LeftButton);
    EXPECT_EQ(grid->currentIndex().row(), 0); // the new row, in front of record 1
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    QTest::keyClicks(editor, "4");
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(page->dataSet()->State(), host::dsInsert); // Tab stays in the new row
    EXPECT_EQ(grid->currentIndex(), page->model()->index(0, 1));
    // Tab opened the editor of the next cell of the new row.
    ASSERT_NE(QApplication::focusWidget(), grid);
    QTest::keyClicks(QApplication::focusWidget(), "four");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(page->model()->rowCount(), 4);
    EXPECT_TRUE(child<QLabel>(m_window.get(), "rows")->text().startsWith("4 rows"))
        << child<QLabel>(m_window.get(), "rows")->text().toStdString();
    save(page);
    EXPECT_EQ(page->lastMessage(), "Saved");
    EXPECT_EQ(server("id"), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(server("name"), QStringList({"one", "two", "three", "four"}));
}

TEST_F(BrowseEdit, OpeningACellAndClosingItLosesNothing) {
    ResultPage* page = openNotes();
    ASSERT_NE(page, nullptr);
    QTableView* grid = page->view();
    const auto openAndClose = [&](int row, int column, bool appendZ) {
        const QModelIndex cell = page->model()->index(row, column);
        grid->scrollTo(cell);
        const QPoint at = grid->visualRect(cell).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_NE(editor, grid);
        if (appendZ) {
            QTest::keyClick(editor, Qt::Key_End);
            QTest::keyClicks(editor, "Z");
        }
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
    };
    for (int column = 1; column < page->model()->columnCount(); ++column)
        openAndClose(0, column, false);
    EXPECT_FALSE(page->hasPendingChanges());
    EXPECT_EQ(page->model()->index(0, 3).data().toString(), "2024-03-05 10:07:11.003");
    EXPECT_EQ(page->model()->index(0, 4).data().toString(), "16.00");

    openAndClose(0, 2, true);
    save(page);
    EXPECT_EQ(page->lastMessage(), "Saved");
    // What the server holds now, read again.
    typeAndRun("select note, at from grid_notes where id = 1");
    page = m_window->resultPage(0);
    ASSERT_NE(page, nullptr);
    const QString note = page->model()->index(0, 0).data(Qt::EditRole).toString();
    EXPECT_EQ(note.size(), static_cast<int>(kLongNote.size()) + 1);
    EXPECT_EQ(note.indexOf(QRegularExpression("[^a]")), static_cast<int>(kLongNote.size()));
    EXPECT_TRUE(note.endsWith("aZ"));
    EXPECT_EQ(page->model()->index(0, 1).data().toString(), "2024-03-05 10:07:11.003");
}

TEST_F(BrowseEdit, PendingRowsAreMarkedRevertedAndNotDroppedWithoutAsking) {
    ResultPage* page = openNotes();
    ASSERT_NE(page, nullptr);
    QTableView* grid = page->view();
    const auto status = [&](int row) {
        return page->model()->index(row, 0).data(TDataSetModel::UpdateStatusRole).toInt();
    };
    typeIntoCell(grid, page->model()->index(1, 1), "deux");
    typeIntoCell(grid, page->model()->index(2, 1), "trois");
    EXPECT_EQ(status(1), host::usModified);
    EXPECT_EQ(status(0), host::usUnmodified);
    EXPECT_TRUE(child<QLabel>(m_window.get(), "rows")->text().contains("changes not saved"));
    testsupport::saveScreenshot(m_window.get(), "browse-pending.png");

    // The current row back as fetched, the others kept.
    grid->setCurrentIndex(page->model()->index(1, 1));
    QTest::mouseClick(child<QPushButton>(page, "revertRecord"), Qt::LeftButton);
    EXPECT_EQ(page->model()->index(1, 1).data().toString(), "two");
    EXPECT_EQ(status(1), host::usUnmodified);
    EXPECT_EQ(page->model()->index(2, 1).data().toString(), "trois");

    // Run, Disconnect and closing ask; Cancel keeps the changes.
    {
        DialogAnswer keep(QMessageBox::Cancel, m_window.get());
        typeAndRun("select 1 as one");
        EXPECT_EQ(keep.answered(), 1);
    }
    ASSERT_EQ(m_window->resultPage(0), page);
    {
        DialogAnswer keep(QMessageBox::Cancel, m_window.get());
        QTest::mouseClick(child<QPushButton>(m_window.get(), "connect"), Qt::LeftButton);
        EXPECT_EQ(keep.answered(), 1);
        EXPECT_TRUE(m_window->isConnected());
    }
    {
        DialogAnswer keep(QMessageBox::Cancel, m_window.get());
        EXPECT_FALSE(m_window->close());
        EXPECT_EQ(keep.answered(), 1);
    }
    EXPECT_EQ(page->model()->index(2, 1).data().toString(), "trois");
    {
        DialogAnswer drop(QMessageBox::Discard, m_window.get());
        typeAndRun("select 1 as one");
        EXPECT_EQ(drop.answered(), 1);
    }
    ASSERT_EQ(m_window->resultCount(), 1);
    EXPECT_EQ(server("name"), QStringList({"one", "two", "three"}));

    // Revert all puts back every change, an inserted row included.
    typeAndRun("select * from grid_notes order by id");
    page = m_window->resultPage(0);
    typeIntoCell(page->view(), page->model()->index(0, 1), "uno");
    QTest::mouseClick(child<QPushButton>(page, "insertRow"), Qt::LeftButton);
    QTest::keyClicks(QApplication::focusWidget(), "9");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::mouseClick(child<QPushButton>(page, "revertAll"), Qt::LeftButton);
    EXPECT_FALSE(page->hasPendingChanges());
    EXPECT_EQ(gridColumn(page->view(), 1), QStringList({"one", "two", "three"}));
}

TEST_F(BrowseEdit, ABatchRunsWhileTheWindowLivesAndCancelStopsIt) {
    logIn();
    bool runningSeen = false;
    QString elapsed;
    QTimer::singleShot(700, [&] {
        runningSeen = m_window->isRunning();
        elapsed = child<QLabel>(m_window.get(), "elapsed")->text();
        QTest::mouseClick(child<QPushButton>(m_window.get(), "cancel"), Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    typeAndRun("select 1 as before_wait\nwaitfor delay '00:00:20'\nselect 2 as never");
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(runningSeen);
    EXPECT_TRUE(elapsed.startsWith("running 0.")) << elapsed.toStdString();
    EXPECT_FALSE(m_window->isRunning());
    EXPECT_TRUE(m_window->isConnected());
    // The connection goes on.
    typeAndRun("select 42 as answer");
    ASSERT_EQ(m_window->resultCount(), 1);
    EXPECT_EQ(gridColumn(m_window->resultPage(0)->view(), 0), QStringList({"42"}));

    // Escape cancels too.
    QTimer::singleShot(500, [&] { QTest::keyClick(m_window.get(), Qt::Key_Escape); });
    clock.restart();
    typeAndRun("waitfor delay '00:00:20'");
    EXPECT_LT(clock.elapsed(), 10000);

    // Closing the window meanwhile stops the batch first, then closes.
    bool closedAtOnce = true;
    QTimer::singleShot(500, [&] { closedAtOnce = m_window->close(); });
    clock.restart();
    typeAndRun("waitfor delay '00:00:20'");
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(closedAtOnce);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window->isVisible(); }));
}

TEST_F(BrowseEdit, ARefusedFilterIsMarkedAndTheFormerOneStays) {
    ResultPage* page = openNotes();
    ASSERT_NE(page, nullptr);
    auto* filter = child<QLineEdit>(page, "filter");
    QTest::keyClicks(filter, "cost > 16");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_EQ(gridColumn(page->view(), 0), QStringList({"2", "3"}));
    EXPECT_FALSE(filter->property("refused").toBool());
    filter->clear();
    QTest::keyClicks(filter, "nosuchfield > 1");
    QTest::keyClick(filter, Qt::Key_Return);
    EXPECT_TRUE(filter->property("refused").toBool());
    EXPECT_EQ(filter->text(), "nosuchfield > 1");
    EXPECT_EQ(gridColumn(page->view(), 0), QStringList({"2", "3"}));
    EXPECT_TRUE(child<QLabel>(m_window.get(), "rows")->text().startsWith("2 rows (filtered)"));
    EXPECT_TRUE(
        child<QPlainTextEdit>(m_window.get(), "messages")->toPlainText().contains("nosuchfield"));
    const QString path = QString::fromStdString(m_server->tempDir()) + "/filtered.csv";
    ASSERT_TRUE(page->exportCsv(path));
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 3);
}

TEST_F(BrowseEdit, NullCopyPasteLocateAndExportTakeValuesAsShown) {
    ResultPage* page = openNotes();
    ASSERT_NE(page, nullptr);
    auto* grid = page->grid();
    TDataSetModel* model = page->model();

    // Set NULL on a text cell (emptying it would store an empty text).
    grid->setCurrentIndex(model->index(1, 1));
    QTest::mouseClick(child<QPushButton>(page, "setNull"), Qt::LeftButton);
    EXPECT_TRUE(model->index(1, 1).data(TDataSetModel::NullRole).toBool());

    // Copy a block: exactly the selected cells, tab-separated; paste it elsewhere.
    grid->setFocus();
    grid->setCurrentIndex(model->index(0, 0));
    grid->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(1, 1)),
                                   QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "1\tone\n2\t\n");
    QApplication::clipboard()->setText("uno\nquattro\n");
    grid->setCurrentIndex(model->index(1, 1));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(gridColumn(grid, 1), QStringList({"one", "uno", "quattro"}));

    // Locate on money and dates as the cells show them.
    auto* field = child<QComboBox>(page, "locateField");
    auto* text = child<QLineEdit>(page, "locateText");
    field->setCurrentIndex(field->findData("cost"));
    QTest::keyClicks(text, "19.9");
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(model->currentRow(), 2) << page->lastMessage().toStdString();
    field->setCurrentIndex(field->findData("at"));
    text->clear();
    QTest::keyClicks(text, "2024-03-06 00:00:00.25");
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(model->currentRow(), 1) << page->lastMessage().toStdString();

    const QString path = QString::fromStdString(m_server->tempDir()) + "/notes.csv";
    ASSERT_TRUE(page->exportCsv(path));
    QFile csv(path);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[1], QByteArray("1,one,") + QByteArray::fromStdString(kLongNote) +
                            ",2024-03-05 10:07:11.003,16.00,0x00ff10\r");
    EXPECT_EQ(lines[2], "2,uno,short,2024-03-06 00:00:00.250,16.50,\r");
}

TEST_F(BrowseEdit, TabLeavesTheEditorReturnLogsInAndMessagesReadAlike) {
    auto* editor = child<QPlainTextEdit>(m_window.get(), "sql");
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), editor);
    EXPECT_FALSE(editor->toPlainText().contains('\t'));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_Backtab);
    EXPECT_NE(QApplication::focusWidget(), editor);

    auto* password = child<QLineEdit>(m_window.get(), "password");
    QTest::keyClicks(password, "whatever");
    QTest::keyClick(password, Qt::Key_Return);
    EXPECT_TRUE(m_window->isConnected());
}

class BrowseLogin : public Browse {
protected:
    [[nodiscard]] std::vector<std::string> serverArguments() const override {
        return {"--sample", "--user", "sa", "--password", "secret"};
    }
};

TEST_F(BrowseLogin, ARefusedLoginReadsAsTheServersOtherMessages) {
    auto* password = child<QLineEdit>(m_window.get(), "password");
    QTest::keyClicks(password, "wrong");
    QTest::keyClick(password, Qt::Key_Return);
    EXPECT_FALSE(m_window->isConnected());
    const QString messages = child<QPlainTextEdit>(m_window.get(), "messages")->toPlainText();
    EXPECT_TRUE(messages.contains(QRegularExpression("^Msg 4002, Level 14, State \\d+: ",
                                                     QRegularExpression::MultilineOption)))
        << messages.toStdString();
    EXPECT_FALSE(messages.contains("Message 4002")) << messages.toStdString();
}

} // namespace

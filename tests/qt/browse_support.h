// What the browser's tests share: the window logged in to the development server's sample
// database, SQL typed and run as a user does, cells typed into, grids and the server's
// own answers read as text.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "BrowseWindow.h"
#include "ResultPage.h"
#include "qt_support.h" // the package's client headers before the test client's
#include "support/CtClient.h"
#include "support/DevServer.h"
#include "support/qt/QtTestProgram.h"

namespace browsetest {

using testsupport::child;
using tovrin::browse::BrowseWindow;
using tovrin::browse::ResultPage;

/// A column of a grid as its cells show it.
inline QStringList gridColumn(QTableView* view, int column) {
    QStringList out;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        out << view->model()->index(row, column).data().toString();
    return out;
}

/// A column of the server's own answer to sql (as text; "" for NULL).
inline QStringList serverColumn(const std::string& sql, int column) {
    testsupport::CtConnection connection("DEVSERVER", "sa", "", "browse-check");
    const testsupport::CtBatch batch = connection.execute("use pubs\n" + sql);
    QStringList out;
    for (const auto& row : batch.rowResults().at(0)->rows)
        out << QString::fromStdString(row[static_cast<std::size_t>(column)].text).trimmed();
    return out;
}

inline void clickHeader(QTableView* view, int column) {
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

/// Types into a cell as a user does: the first key opens the cell's editor, the rest go
/// to the editor, Return commits.
inline void typeIntoCell(QTableView* grid, const QModelIndex& cell, const QString& text) {
    grid->setFocus();
    grid->setCurrentIndex(cell);
    QTest::keyClicks(grid, text.left(1));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, grid);
    QTest::keyClicks(editor, text.mid(1));
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the delegate commits on the next turn of the event loop
}

inline constexpr const char* kTitles =
    "select title_id, title, type, price from titles where price is not null order by title_id";

class Browse : public ::testing::Test {
protected:
    /// The development server's command line (a subclass may ask for a password).
    [[nodiscard]] virtual std::vector<std::string> serverArguments() const { return {"--sample"}; }
    void SetUp() override {
        m_server = std::make_unique<testsupport::DevServer>(serverArguments());
        m_window = std::make_unique<BrowseWindow>(
            tovrin::browse::BrowseSettings{"DEVSERVER", "sa", "pubs", ""});
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }
    void TearDown() override { m_window.reset(); }

    /// Logs in through the form as a user would.
    void logIn() {
        auto* password = child<QLineEdit>(m_window.get(), "password");
        ASSERT_NE(password, nullptr);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        QTest::keyClicks(password, "any-password");
        QTest::mouseClick(child<QPushButton>(m_window.get(), "connect"), Qt::LeftButton);
        ASSERT_TRUE(m_window->isConnected());
        EXPECT_TRUE(password->text().isEmpty()); // not kept in the form
    }
    /// Types sql into the editor and runs it with Ctrl+Enter.
    void typeAndRun(const QString& sql) {
        auto* editor = child<QPlainTextEdit>(m_window.get(), "sql");
        ASSERT_NE(editor, nullptr);
        editor->clear();
        editor->setFocus();
        const QStringList lines = sql.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(editor, Qt::Key_Return);
            QTest::keyClicks(editor, lines[i]);
        }
        EXPECT_EQ(editor->toPlainText(), sql);
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
    }

    std::unique_ptr<testsupport::DevServer> m_server;
    std::unique_ptr<BrowseWindow> m_window;
};

} // namespace browsetest

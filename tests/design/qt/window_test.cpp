// The design-time dialogs as real windows on a virtual X server: the password dialog's
// layout, typing into it, OK and Cancel by mouse and keyboard, the reconnect rules, and
// the About box. Screenshots of both dialogs are saved in the build tree
// (tests/design/screenshots/).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "tovrin5/design/DesignDialogs.h"
#include "tovrin5/design/SybConnectEditor.h"
#include "design/design_support.h"
#include "tovrin5/query/SybConnect.h"
#include "support/qt/QtTestProgram.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;
using designtest::EventCount;
using testsupport::child;
using testsupport::saveScreenshot;

/// Pixels of the screen around a dialog's frame that its screenshot shows.
constexpr int kScreenshotMargin = 12;

/// Once a modal window shows, waits until it is on the screen and runs act on it; closes
/// it afterwards (as cancelled) if act left it open, so that a failing check never leaves
/// the test waiting for ever.
void whenModalShows(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* modal = nullptr;
        for (int i = 0; i < 500 && (modal = QApplication::activeModalWidget()) == nullptr; ++i) {
            QTest::qWait(10);
        }
        if (modal == nullptr) {
            ADD_FAILURE() << "no modal window appeared";
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
        EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
        act(modal);
        if (modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
        }
    });
}

/// Types text into the password edit, replacing what it holds, and presses a button.
void typeAndPress(QWidget* dialog, const QString& text, const char* button) {
    auto* edit = child<QLineEdit>(dialog, "ePassword");
    if (edit == nullptr) {
        return;
    }
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    if (auto* b = child<QPushButton>(dialog, button)) {
        QTest::mouseClick(b, Qt::LeftButton);
    }
}

TEST(WindowDialogs, DialogsGoToTheToolkitLibrary) {
    EXPECT_EQ(design::DefaultDialogRoute(), design::TDialogRoute::Window);
    EXPECT_TRUE(design::DialogsLibraryPath().ends_with("/libTovrin5Dialogs.so"))
        << design::DialogsLibraryPath();
}

TEST(WindowDialogs, PasswordDialogIsLaidOutAsItsFormAndOkSetsTheTypedText) {
    TSybConnect connection(nullptr);
    connection.SetPassword("demo");
    bool checked = false;
    whenModalShows([&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "TBTSybConnect Options");
        EXPECT_EQ(dialog->size(), QSize(281, 72));
        EXPECT_EQ(dialog->pos(), QPoint(587, 360));
        EXPECT_EQ(dialog->font().pixelSize(), 11);

        auto* label = child<QLabel>(dialog, "Label1");
        auto* edit = child<QLineEdit>(dialog, "ePassword");
        auto* panel = child<QFrame>(dialog, "Panel1");
        auto* ok = child<QPushButton>(dialog, "BitBtn2");
        auto* cancel = child<QPushButton>(dialog, "BitBtn1");
        if (!label || !edit || !panel || !ok || !cancel) {
            return;
        }
        EXPECT_EQ(label->text(), "Password");
        // The label sizes itself to its caption in the font at hand.
        EXPECT_EQ(label->pos(), QPoint(10, 15));
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance("Password"));
        EXPECT_LE(label->geometry().right(), edit->geometry().left());
        EXPECT_EQ(edit->geometry(), QRect(65, 10, 121, 21));
        EXPECT_EQ(edit->text(), "demo");
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit),
                  '*');
        EXPECT_EQ(panel->geometry(), QRect(0, 47, 281, 25));
        EXPECT_EQ(panel->frameShape(), QFrame::NoFrame);
        EXPECT_EQ(ok->parentWidget(), panel);
        EXPECT_EQ(ok->text(), "OK");
        EXPECT_EQ(ok->geometry(), QRect(0, 0, 96, 25));
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(cancel->parentWidget(), panel);
        EXPECT_EQ(cancel->text(), "Cancel");
        EXPECT_EQ(cancel->geometry(), QRect(100, 0, 91, 25));

        // The edit has the focus; Tab goes to Cancel, then OK, then back to the edit.
        EXPECT_EQ(QApplication::focusWidget(), edit);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), cancel);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), ok);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), edit);

        // Resizing keeps the panel along the bottom edge.
        dialog->resize(400, 120);
        QTest::qWait(50);
        EXPECT_EQ(panel->geometry(), QRect(0, 95, 400, 25));
        dialog->resize(281, 72);
        QTest::qWait(50);

        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, "n3w-pass");
        EXPECT_EQ(edit->text(), "n3w-pass");
        saveScreenshot(dialog, "password-dialog.png", kScreenshotMargin);
        checked = true;
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(connection.Password(), "n3w-pass");
    EXPECT_EQ(connection.PropertyForm(), nullptr);
}

TEST(WindowDialogs, CancelKeepsThePasswordWhateverWasTyped) {
    TSybConnect connection(nullptr);
    connection.SetPassword("kept");
    whenModalShows([](QWidget* dialog) { typeAndPress(dialog, "typed", "BitBtn1"); });
    TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
    EXPECT_EQ(connection.Password(), "kept");
}

TEST(WindowDialogs, EnterConfirmsAndEscapeCancels) {
    TSybConnect connection(nullptr);
    connection.SetPassword("first");
    whenModalShows([](QWidget* dialog) {
        auto* edit = child<QLineEdit>(dialog, "ePassword");
        if (edit == nullptr) {
            return;
        }
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, "-second");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    TSybConnectEditor editor(&connection, nullptr);
    editor.Edit();
    EXPECT_EQ(connection.Password(), "first-second");

    whenModalShows([](QWidget* dialog) {
        auto* edit = child<QLineEdit>(dialog, "ePassword");
        if (edit == nullptr) {
            return;
        }
        QTest::keyClicks(edit, "-third");
        QTest::keyClick(edit, Qt::Key_Escape);
    });
    editor.Edit();
    EXPECT_EQ(connection.Password(), "first-second");
}

TEST(WindowDialogs, OkWithTheSameTextKeepsTheConnectionAnotherTextReconnects) {
    auto connection = designtest::makeConnection("OPEN", "same");
    connection->Connect();
    EventCount events;
    events.attach(*connection);
    TSybConnectEditor editor(connection.get(), nullptr);

    whenModalShows([](QWidget* dialog) { typeAndPress(dialog, "same", "BitBtn2"); });
    editor.ExecuteVerb(0);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(events.disconnects, 0);
    EXPECT_EQ(events.connects, 0);

    whenModalShows([](QWidget* dialog) { typeAndPress(dialog, "other", "BitBtn2"); });
    editor.ExecuteVerb(0);
    EXPECT_EQ(connection->Password(), "other");
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(events.disconnects, 1);
    EXPECT_EQ(events.connects, 1);
}

TEST(WindowDialogs, AboutBoxNamesThePackageVersionAndClientLibrary) {
    TSybConnect connection(nullptr);
    auto prop = host::GetPropInfo(&connection, "About");
    ASSERT_TRUE(prop.has_value());
    TAboutProperty editor(&connection, *prop, nullptr);
    bool shown = false;
    whenModalShows([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "About Tovrin5");
        EXPECT_TRUE(
            box->text().contains("Tovrin5 " + QString::fromStdString(design::AboutInfo().Version)));
        EXPECT_TRUE(box->text().contains("libct.so")) << box->text().toStdString();
        saveScreenshot(box, "about-box.png", kScreenshotMargin);
        shown = true;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    editor.Edit();
    EXPECT_TRUE(shown);
}

/// Option that makes the test program act as an application without a QApplication of its
/// own (see runVerbWithoutApplication).
constexpr const char* kChildOption = "--verb-without-application";

TEST(WindowDialogs, ToolkitLibraryStartsItsOwnApplicationInAProgramWithoutOne) {
    char self[] = "/proc/self/exe";
    char option[64];
    std::snprintf(option, sizeof option, "%s", kChildOption);
    char* argv[] = {self, option, nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

/// Runs verb 0 of the connection editor in a program that has no QApplication: the
/// toolkit library starts one. A second thread waits for the dialog, then types into it
/// and presses OK through the application's event queue. Exit status 0 when the typed
/// password arrived, 1 when not, 2 when the dialog never showed.
int runVerbWithoutApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return 3;
    }
    std::atomic<bool> pressed{false};
    std::atomic<bool> stop{false};
    std::thread driver([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop && !pressed && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            QCoreApplication* app = QCoreApplication::instance();
            if (app == nullptr) {
                continue;
            }
            QMetaObject::invokeMethod(
                app,
                [&pressed] {
                    QWidget* dialog = QApplication::activeModalWidget();
                    if (dialog == nullptr || pressed) {
                        return;
                    }
                    auto* edit = dialog->findChild<QLineEdit*>("ePassword");
                    auto* ok = dialog->findChild<QPushButton*>("BitBtn2");
                    if (edit != nullptr && ok != nullptr) {
                        edit->setText("from-own-application");
                        pressed = true;
                        ok->click();
                    }
                },
                Qt::QueuedConnection);
        }
    });
    int code = 1;
    {
        TSybConnect connection(nullptr);
        connection.SetPassword("old");
        TSybConnectEditor(&connection, nullptr).ExecuteVerb(0);
        if (!pressed) {
            code = 2;
        } else if (connection.Password() == "from-own-application") {
            code = 0;
        }
    }
    stop = true;
    driver.join();
    return code;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kChildOption) {
        return runVerbWithoutApplication();
    }
    return testsupport::runQtTestProgram(argc, argv, "design_window_tests");
}

// The Qt test programs' environment: Xvfb and the QApplication for the whole program, and
// what the sanitizers must excuse in the toolkit's libraries. Compiled into each Qt test
// program (not a library), so that the sanitizers' hooks below are always linked in.
#include "QtTestProgram.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>

#include "design/qt/XvfbSession.h"

namespace testsupport {

namespace {

/// The X server and the application for the whole test program.
class QtEnvironment : public ::testing::Environment {
public:
    explicit QtEnvironment(const char* program) : m_name(program) {}

    void SetUp() override {
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        m_xvfb = std::make_unique<designtest::XvfbSession>();
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        // The application goes before its X server does.
        m_app.reset();
        m_xvfb.reset();
    }

private:
    // QApplication keeps references to argc and argv for its whole life.
    std::string m_name;
    int m_argc = 1;
    char* m_argv[2] = {m_name.data(), nullptr};
    std::unique_ptr<designtest::XvfbSession> m_xvfb;
    std::unique_ptr<QApplication> m_app;
};

} // namespace

int runQtTestProgram(int argc, char** argv, const char* program) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new QtEnvironment(program));
    return RUN_ALL_TESTS();
}

void saveScreenshot(QWidget* window, const QString& name, int margin) {
    QTest::qWait(200); // let it paint
    ASSERT_TRUE(QDir().mkpath(TOVRIN_SCREENSHOT_DIR));
    const QRect frame = window->frameGeometry().adjusted(-margin, -margin, margin, margin);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, frame.x(), frame.y(), frame.width(), frame.height());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString(TOVRIN_SCREENSHOT_DIR) + "/" + name));
}

} // namespace testsupport

// Under LeakSanitizer: the system libraries under the toolkit (D-Bus, fontconfig, X and the
// toolkit's platform plugins) keep caches for the life of the process that they never
// free. Their allocations are recognised by full stacks (the fast unwinder cannot walk
// through those libraries), and only they are excused; what the package, the Qt binding
// or the dialogs library leak is still reported.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n"
           "leak:libxcb\n"
           "leak:libX11.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libQt5XcbQpa.so\n"
           "leak:libQt5DBus.so\n"
           "leak:libqxcb.so\n"
           // A line edit with a clear button fades the button in through an animation of
           // the toolkit's own when its text changes; that animation is still queued when the
           // test program ends.
           "leak:QLineEdit::textChanged\n";
}

// Under ThreadSanitizer: the toolkit's libraries are not built with it, so the
// synchronisation of their own threads (the X connection's reader, posted events) is
// invisible to it and shows up as races, and as an X connection's mutex destroyed while
// held, inside them. Only reports with a toolkit frame are excused; the package's, the Qt
// binding's and the dialogs library's own accesses are still checked.
extern "C" __attribute__((used, visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libQt5Core.so\n"
           "race:libQt5Gui.so\n"
           "race:libQt5Widgets.so\n"
           "race:libQt5XcbQpa.so\n"
           "race:libQt5DBus.so\n"
           "race:libxcb\n"
           "mutex:libxcb\n"
           "race:libglib-2.0.so\n"
           "called_from_lib:libQt5Core.so\n"
           "called_from_lib:libQt5Gui.so\n"
           "called_from_lib:libQt5XcbQpa.so\n"
           "called_from_lib:libqxcb.so\n"
           "called_from_lib:libglib-2.0.so\n"
           "called_from_lib:libfontconfig.so\n";
}

// What every Qt test program shares: a virtual X server and one application for the whole
// program, screenshots of windows, and finding a window's named child widgets.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

namespace testsupport {

/// Runs the program's tests with Xvfb and a QApplication named `program` set up before the
/// first test and taken down after the last; returns RUN_ALL_TESTS()'s result.
int runQtTestProgram(int argc, char** argv, const char* program);

/// Saves what the X server shows of the window, with `margin` pixels around its frame, as
/// `name` in the program's screenshot folder (TOVRIN_SCREENSHOT_DIR).
void saveScreenshot(QWidget* window, const QString& name, int margin = 0);

/// The child widget of the window with this object name; a failure of the test when there
/// is none.
template <class W> W* child(QWidget* window, const char* name) {
    W* widget = window->findChild<W*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace testsupport

// The Qt tests' program: one virtual X server and one application for all tests.
#include <gtest/gtest.h>

#include "qt_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new qttest::QtEnvironment);
    return RUN_ALL_TESTS();
}

// Under LeakSanitizer: the system libraries under the toolkit (D-Bus, fontconfig, X and the
// toolkit's platform plugins) keep caches for the life of the process that they never
// free; only their allocations are excused (recognised by full stacks), what the package
// and the Qt binding leak is still reported.
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
// synchronisation of their own threads is invisible to it; only reports with a toolkit
// frame are excused.
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

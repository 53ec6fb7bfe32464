// The Qt tests' program: one virtual X server and one application for all tests.
#include "support/qt/QtTestProgram.h"

int main(int argc, char** argv) {
    return testsupport::runQtTestProgram(argc, argv, "qt_tests");
}

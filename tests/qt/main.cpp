// The Qt tests' program: one virtual X server and one application for all tests.
#include <gtest/gtest.h>

#include "qt_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new qttest::QtEnvironment);
    return RUN_ALL_TESTS();
}

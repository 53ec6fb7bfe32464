// The package on a machine without libct: a program linked only to it runs, reads both
// loaded flags False and gets a clear exception from a connect.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

TEST(BindingWithoutLibrary, ProgramRunsAndConnectRaisesClearly) {
    // ASan insists on being first among the preloaded libraries; the preload here is only
    // a dlopen filter, so that check is switched off for the probe.
    const std::string command = std::string("ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=") +
                                TOVRIN_HIDE_LIBCT + " " + TOVRIN_NO_LIBCT_PROBE + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("csDLLLoaded=0 ctDLLLoaded=0"), std::string::npos) << output;
    EXPECT_NE(output.find("exception: Cannot connect: the CS-Library (libct.so.4) is not loaded"),
              std::string::npos)
        << output;
}

} // namespace

// rvex-tool without a display says so in one line and fails, rather than letting Qt
// abort.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

TEST(NoDisplay, TheToolSaysSoInOneLineAndExitsNonZero) {
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " RVEX_TOOL_BINARY " 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
    int status = pclose(out);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_EQ(text, "rvex-tool: no display (DISPLAY/WAYLAND_DISPLAY not set); use --headless --script FILE\n");
}

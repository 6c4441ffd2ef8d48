// rvex-tool without a display says so in one line and fails, rather than letting Qt
// abort.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

TEST(NoDisplay, TheToolSaysSoInOneLineAndExitsNonZero) {
    testsupport::ChildOptions noDisplay;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        noDisplay.env[name] = std::nullopt;
    const testsupport::RunResult r =
        testsupport::RunProgram({RVEX_TOOL_BINARY}, std::chrono::seconds(20), noDisplay);
    EXPECT_GT(r.status, 0);
    EXPECT_LT(r.status, 128) << "ended by a signal";
    EXPECT_EQ(
        r.output,
        "rvex-tool: no display (DISPLAY/WAYLAND_DISPLAY not set); use --headless --script FILE\n");
}

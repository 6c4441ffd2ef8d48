// The shared test helpers where a fault would make other tests pass wrongly: the
// reader of the runner's output, the bounds of the child process runner, the pty pair
// and the scoped settings.
#include "ChildProcess.h"
#include "Hex.h"
#include "Pty.h"
#include "RunnerOutput.h"
#include "ScopedSetting.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace testsupport;
using namespace std::chrono_literals;

TEST(RunnerOutput, ReadsDumpsByControlAndCellsByColumnAndRow) {
    const RunnerOutput out(
        "error: unknown control Nothing\n"
        "{\"name\":\"Label2\",\"kind\":\"label\",\"text\":\"OPEN\",\"color\":\"clLime\","
        "\"visible\":true}\n"
        "{\"RxCount\":0}\n"
        "{\"name\":\"StringGrid3\",\"kind\":\"stringgrid\",\"text\":\"\",\"color\":\"#ffffff\","
        "\"visible\":true,\"cells\":[[\"Rif\",\"Address\",\"Valore "
        "letto\"],[\"1\",\"454\",\"\\u00b0C\"]],"
        "\"row\":1}\n"
        "{\"name\":\"Label2\",\"kind\":\"label\",\"text\":\"CLOSE\",\"color\":\"clBtnFace\","
        "\"visible\":true}\n");
    EXPECT_EQ(out.Errors(), std::vector<std::string>{"unknown control Nothing"});
    EXPECT_EQ(out.OtherLines().size(), 2u); // the error and the state
    ASSERT_EQ(out.Dumps("Label2").size(), 2u);
    EXPECT_EQ(Field(out.Dumps("Label2")[1], "text"), "CLOSE");
    EXPECT_TRUE(out.Dump("Label2").empty()) << "two dumps are not the one dump";
    EXPECT_EQ(Field(out.Dump("Nothing"), "text"), "<no text>");

    const Json grid = out.Dump("StringGrid3");
    EXPECT_EQ(Cell(grid, 1, 1), "454");
    EXPECT_EQ(Cell(grid, 2, 1), "\xB0"
                                "C")
        << "the dump's code points are the tool's bytes";
    EXPECT_EQ(Cell(grid, 2, 0), "Valore letto");
    EXPECT_EQ(Cell(grid, 3, 1), "<no cell 3,1>");
    EXPECT_EQ(Cell(grid, 0, 2), "<no cell 0,2>");
    EXPECT_EQ(Field(grid, "row"), "1");
}

TEST(ChildProcess, RunProgramGivesTheStatusAndOutputAndStopsAtItsLimit) {
    RunResult r = RunProgram({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.output, "out\nerr\n");

    ChildOptions options;
    options.captureStderr = false;
    options.env["RVEX_SUPPORT_TEST"] = "set";
    options.env["HOME"] = std::nullopt;
    r = RunProgram({"/bin/sh", "-c", "echo $RVEX_SUPPORT_TEST ${HOME-unset}; echo err >&2"}, 20s,
                   options);
    EXPECT_EQ(r.output, "set unset\n");

    r = RunProgram({"sleep", "30"}, 200ms);
    EXPECT_EQ(r.status, -1) << "killed at the limit, long before it ends by itself";
}

TEST(ChildProcess, WaitForEndsWhenTheOutputEnds) {
    ChildProcess child({"/bin/sh", "-c", "echo first; echo second"});
    ASSERT_TRUE(child.Started());
    EXPECT_TRUE(child.WaitFor("second", 20s));
    EXPECT_FALSE(child.WaitFor("third", 20s)) << "returns at the end of the output";
    EXPECT_EQ(child.WaitExit(20s), 0);
    EXPECT_EQ(child.Lines(), (std::vector<std::string>{"first", "second"}));
}

TEST(PtyPair, IsRawAndCarriesBytesBothWays) {
    PtyPair pty;
    termios t{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(t.c_iflag & ICRNL, 0u);
    const std::string bytes("\r\n\x00\xFF", 4);
    ASSERT_TRUE(pty.WriteMaster(bytes));
    std::string got(4, '\0');
    ASSERT_EQ(read(pty.Slave(), got.data(), got.size()), 4);
    EXPECT_EQ(Hex(got), Hex(bytes));
    ASSERT_EQ(write(pty.Slave(), "ok", 2), 2);
    EXPECT_EQ(pty.ReadMaster(2), "ok");
}

TEST(ScopedSettings, PutBackWhatWasThere) {
    unsetenv("RVEX_SUPPORT_TEST");
    setenv("RVEX_SUPPORT_TEST_SET", "before", 1);
    int global = 1;
    {
        ScopedEnv added("RVEX_SUPPORT_TEST", "x");
        ScopedEnv removed("RVEX_SUPPORT_TEST_SET", std::nullopt);
        ScopedValue<int> value(global, 2);
        EXPECT_STREQ(std::getenv("RVEX_SUPPORT_TEST"), "x");
        EXPECT_EQ(std::getenv("RVEX_SUPPORT_TEST_SET"), nullptr);
        EXPECT_EQ(global, 2);
    }
    EXPECT_EQ(std::getenv("RVEX_SUPPORT_TEST"), nullptr);
    EXPECT_STREQ(std::getenv("RVEX_SUPPORT_TEST_SET"), "before");
    EXPECT_EQ(global, 1);
    unsetenv("RVEX_SUPPORT_TEST_SET");
}

} // namespace

// The command line of both programs: --version, --help and an unknown option.
#include "ToolProcess.h"

#include <gtest/gtest.h>

using namespace apptest;

namespace {

struct OptionCase {
    const char* program;
    const char* args;
    int status;
    const char* out; // what standard output starts with
    const char* err; // what standard error holds ("" for nothing)
};

const OptionCase optionCases[] = {
    {RVEX_TOOL_BINARY, "--version", 0, "rvex-tool " RVEX_VERSION "\n", ""},
    {RVEX_TOOL_BINARY, "--help", 0, "usage: rvex-tool ", ""},
    {RVEX_TOOL_BINARY, "--frobnicate", 2, "", "usage: rvex-tool "},
    {RVEX_TOOL_BINARY, "--headless", 2, "", "usage: rvex-tool "},
    {RVEX_TOOL_BINARY, "--workdir", 2, "", "usage: rvex-tool "},
    {RVEX_SIM_BINARY, "--version", 0, "rvex-sim " RVEX_VERSION "\n", ""},
    {RVEX_SIM_BINARY, "--help", 0, "usage: rvex-sim ", ""},
    {RVEX_SIM_BINARY, "--frobnicate", 2, "", "usage: rvex-sim "},
};

TEST(ProgramOptions, VersionAndHelpExitZeroAndAnUnknownOptionPrintsTheUsageOnStandardError) {
    fakes::ScratchDirectory scratch;
    for (const OptionCase& c : optionCases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.args);
        ProcessResult r = RunCommand(std::string(c.program) + " " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, std::string(c.out).size()), c.out);
        if (*c.out && std::string(c.args) == "--version") {
            EXPECT_EQ(r.out, c.out) << "one line only";
        }
        if (*c.err) {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
}

} // namespace

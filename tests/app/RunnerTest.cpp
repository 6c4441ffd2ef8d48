#include "FormFixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace fakes;

namespace {

struct RunResult {
    std::string output;
    int status;
};

RunResult RunTool(const std::string& script) {
    WriteFile("script.txt", script);
    std::string command = std::string(RVEX_TOOL_BINARY) + " --headless --script script.txt 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    RunResult result{{}, -1};
    std::array<char, 4096> chunk;
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) result.output.append(chunk.data(), n);
    result.status = WEXITSTATUS(pclose(pipe));
    return result;
}

TEST(HeadlessRunner, ActionsDriveTheWindowAndDumpShowsIt) {
    ScratchDirectory dir;
    WriteGlyphs();
    auto r = RunTool("# a comment\n"
                     "text Edit4 127.0.0.1 and more\n"
                     "select ComboBox4 3\n"
                     "pick ComboBox2 836\n"
                     "dump Edit4 ComboBox4 ComboBox2\n"
                     "quit\n"
                     "dump Edit4\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "{\"name\":\"Edit4\",\"kind\":\"edit\",\"text\":\"127.0.0.1 and more\",\"color\":\"#ffffff\",\"visible\":true}\n"
              "{\"name\":\"ComboBox4\",\"kind\":\"combobox\",\"text\":\"hex\",\"color\":\"#ffffff\",\"visible\":true,"
              "\"items\":[\"double\",\"int\",\"long int\",\"hex\",\"caratteri\",\"MODE_32\"],\"itemIndex\":3}\n"
              "{\"name\":\"ComboBox2\",\"kind\":\"combobox\",\"text\":\"836\",\"color\":\"#ffffff\",\"visible\":true,"
              "\"items\":[\"454\",\"462\",\"604\",\"836\",\"1468\",\"1472\",\"1476\",\"1480\",\"1484\",\"600\","
              "\"1488\",\"1496\",\"1524\",\"1528\",\"1532\",\"1512\",\"1516\",\"1520\"],\"itemIndex\":3}\n");
}

TEST(HeadlessRunner, ScriptErrorsAreReportedInOrderAndFailTheRun) {
    ScratchDirectory dir;
    WriteGlyphs();
    auto r = RunTool("frobnicate\nclick NoSuchButton\npick ComboBox4 quad\ndump Label47\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.substr(0, r.output.find("{")),
              "error: unknown action frobnicate\n"
              "error: unknown control NoSuchButton\n"
              "error: pick: no item \"quad\" in ComboBox4\n");
}

TEST(HeadlessRunner, DumpWithoutNamesListsEveryControlOnce) {
    ScratchDirectory dir;
    WriteGlyphs();
    auto r = RunTool("dump\n");
    EXPECT_EQ(r.status, 0);
    for (const char* name : {"\"MainForm\"", "\"BitBtn1\"", "\"StringGrid3\"", "\"Timer6\"", "\"StatusBar1\""})
        EXPECT_NE(r.output.find(std::string("{\"name\":") + name), std::string::npos) << name;
}

} // namespace

#include "ChildProcess.h"
#include "FormFixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace fakes;

namespace {

// Runs the tool on the script in the current folder; its standard output and status.
testsupport::RunResult RunTool(const std::string& script) {
    WriteFile("script.txt", script);
    testsupport::ChildOptions stdoutOnly;
    stdoutOnly.captureStderr = false;
    return testsupport::RunProgram({RVEX_TOOL_BINARY, "--headless", "--script", "script.txt"},
                                   std::chrono::seconds(60), stdoutOnly);
}

TEST(HeadlessRunner, ActionsDriveTheWindowAndDumpShowsIt) {
    ScratchDirectory dir;
    ComLinkFolder noSerialPorts;
    WriteGlyphs();
    auto r = RunTool("# a comment\n"
                     "text Edit4 127.0.0.1 and more\n"
                     "select ComboBox4 3\n"
                     "pick ComboBox2 836\n"
                     "dump Edit4 ComboBox4 ComboBox2\n"
                     "quit\n"
                     "dump Edit4\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "{\"name\":\"Edit4\",\"kind\":\"edit\",\"text\":\"127.0.0.1 and "
                        "more\",\"color\":\"#ffffff\",\"visible\":true}\n"
                        "{\"name\":\"ComboBox4\",\"kind\":\"combobox\",\"text\":\"hex\",\"color\":"
                        "\"#ffffff\",\"visible\":true,"
                        "\"items\":[\"double\",\"int\",\"long "
                        "int\",\"hex\",\"caratteri\",\"MODE_32\"],\"itemIndex\":3}\n"
                        "{\"name\":\"ComboBox2\",\"kind\":\"combobox\",\"text\":\"836\",\"color\":"
                        "\"#ffffff\",\"visible\":true,"
                        "\"items\":[\"454\",\"462\",\"604\",\"836\",\"1468\",\"1472\",\"1476\","
                        "\"1480\",\"1484\",\"600\","
                        "\"1488\",\"1496\",\"1524\",\"1528\",\"1532\",\"1512\",\"1516\",\"1520\"],"
                        "\"itemIndex\":3}\n");
}

TEST(HeadlessRunner, ScriptErrorsAreReportedInOrderAndFailTheRun) {
    ScratchDirectory dir;
    ComLinkFolder noSerialPorts;
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
    ComLinkFolder noSerialPorts;
    WriteGlyphs();
    auto r = RunTool("dump\n");
    EXPECT_EQ(r.status, 0);
    for (const char* name :
         {"\"MainForm\"", "\"BitBtn1\"", "\"StringGrid3\"", "\"Timer6\"", "\"StatusBar1\""})
        EXPECT_NE(r.output.find(std::string("{\"name\":") + name), std::string::npos) << name;
}

// The lines of the output that hold the given text.
std::vector<std::string> LinesWith(const std::string& output, const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
        if (output.substr(start, end - start).find(text) != std::string::npos)
            lines.push_back(output.substr(start, end - start));
    return lines;
}

TEST(HeadlessRunner, LoadsTable2SelectsTheFramingAndStartsAndStopsPolling) {
    ScratchDirectory dir;
    ComLinkFolder noSerialPorts;
    WriteGlyphs();
    WriteFile("Table2.c", "Doubles\n>101 d 4<1.8.0><kWh>\n>102 i 1<C.1.0><stato>\n");
    auto r = RunTool("click Button7\n"
                     "click Button35\n"
                     "dump Label47 Shape8\n"
                     "click BitBtn2\n"
                     "wait 1000\n" // one tick of 700 ms
                     "dump Label43 Label44 Label45 BitBtn2 BitBtn3 Timer6 StringGrid3\n"
                     "click Button42\n"
                     "dump Label43 Label44 Label45 BitBtn2 Timer6\n"
                     "state\n");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(LinesWith(r.output, "error:"), std::vector<std::string>{});
    auto dumps = [&](const char* name) {
        return LinesWith(r.output, std::string("{\"name\":\"") + name + "\"");
    };
    EXPECT_EQ(dumps("Label47"),
              std::vector<std::string>{"{\"name\":\"Label47\",\"kind\":\"label\",\"text\":\"MB "
                                       "TCP\",\"color\":\"clBtnFace\",\"visible\":true}"});
    ASSERT_EQ(dumps("Shape8").size(), 1u);
    EXPECT_NE(dumps("Shape8")[0].find("\"brush\":\"clSkyBlue\""), std::string::npos);

    auto lamp = [](const char* name, const char* text, const char* color) {
        return std::string("{\"name\":\"") + name + "\",\"kind\":\"label\",\"text\":\"" + text +
               "\",\"color\":\"" + color + "\",\"visible\":true}";
    };
    EXPECT_EQ(dumps("Label43"),
              (std::vector<std::string>{lamp("Label43", "Polling", "clLime"),
                                        lamp("Label43", "Polling", "clBtnFace")}));
    EXPECT_EQ(dumps("Label44"),
              (std::vector<std::string>{lamp("Label44", "Polling Manuale  one shot", "clBtnFace"),
                                        lamp("Label44", "Polling Manuale  one shot", "clLime")}));
    auto glyphs = dumps("BitBtn2");
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_NE(glyphs[0].find("\"glyph\":\"BmpOK.bmp\""), std::string::npos);
    EXPECT_NE(glyphs[1].find("\"glyph\":\"BmpX.bmp\""), std::string::npos);
    auto timer = dumps("Timer6");
    ASSERT_EQ(timer.size(), 2u);
    EXPECT_NE(timer[0].find("\"enabled\":true,\"interval\":700"), std::string::npos);
    EXPECT_NE(timer[1].find("\"enabled\":false"), std::string::npos);

    // The tick polled row 1 and blanked its value; row 2 waits with its five blanks.
    auto grid = dumps("StringGrid3");
    ASSERT_EQ(grid.size(), 1u);
    EXPECT_NE(
        grid[0].find(
            "[\"Rif\",\"Address\",\"Valore letto\",\"t\",\"n\",\"OBIS code\",\"Note di esempio\"]"),
        std::string::npos);
    EXPECT_NE(grid[0].find("[\"1\",\"101\",\"\",\"d\",\"4\",\"1.8.0\",\"kWh\"]"),
              std::string::npos);
    EXPECT_NE(grid[0].find("[\"2\",\"102\",\"     \",\"i\",\"1\",\"C.1.0\",\"stato\"]"),
              std::string::npos);
    auto state = LinesWith(r.output, "{\"RxBuffer\"");
    ASSERT_EQ(state.size(), 1u);
    for (const char* item :
         {"\"ModbusTcp\":1", "\"RowCursor\":1", "\"PollRow\":1", "\"TransactionCounter\":1",
          "\"HexDisplay\":1", "\"GridPolling\":1", "\"AutoAdvance\":1",
          "\"Counters\":{\"Requests\":0,\"Good\":0,\"Exceptions\":0,\"BadReplies\":0,"
          "\"NoReplies\":0}}"})
        EXPECT_NE(state[0].find(item), std::string::npos) << item;
}

TEST(HeadlessRunner, EnterOnAButtonClicksItAndElsewhereTheDefaultButton) {
    ScratchDirectory dir;
    ComLinkFolder noSerialPorts;
    WriteGlyphs();
    WriteFile("Table2.c", "Doubles\n>101 d 4<1.8.0><kWh>\n");
    auto r = RunTool("key Button7 Enter\n"
                     "dump StringGrid3\n"
                     "key Edit10 Enter\n" // BitBtn1 asks for the pins' state: no request file
                     "dump StatusBar1\n");
    auto grid = LinesWith(r.output, "{\"name\":\"StringGrid3\"");
    ASSERT_EQ(grid.size(), 1u) << r.output;
    EXPECT_NE(grid[0].find("[\"1\",\"101\",\"     \",\"d\",\"4\",\"1.8.0\",\"kWh\"]"),
              std::string::npos);
    auto status = LinesWith(r.output, "{\"name\":\"StatusBar1\"");
    ASSERT_EQ(status.size(), 1u);
    EXPECT_NE(status[0].find("RCI-queryGB.txt"), std::string::npos) << status[0];
}

TEST(WindowStart, ADisplayThatIsNotThereIsOneLineAndExitStatus1) {
    ScratchDirectory dir;
    // A display on 127.0.0.1 where nothing listens: a port from 6000 up taken, then let go.
    int number = 40;
    for (; number < 100; ++number) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(6000 + number));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (free) break;
    }
    ASSERT_LT(number, 100);
    const std::string display = "127.0.0.1:" + std::to_string(number);
    std::string command = "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=" + display + " " +
                          RVEX_TOOL_BINARY + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 4096> chunk;
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        output.append(chunk.data(), n);
    int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output; // no abort
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(LinesWith(output, "").size(), 1u) << output;
    EXPECT_NE(output.find("cannot open the display (DISPLAY=" + display + ")"), std::string::npos)
        << output;
    EXPECT_NE(output.find("--headless"), std::string::npos) << output;
}

} // namespace

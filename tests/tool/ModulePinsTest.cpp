#include "FormFixture.h"
#include "RciTestServer.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fakes;
using namespace winsys;
using rcitest::Exchange;
using rcitest::HttpServer;

namespace {

const std::string ChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// A chunked reply whose body is text, in one chunk.
std::string Reply(const std::string& text) {
    char size[16];
    std::snprintf(size, sizeof size, "%03zx\r\n", text.size());
    return ChunkedHead + size + text + "\r\n0\r\n\r\n";
}

std::string StatusBody(char pin1, char pin2, char pin3) {
    return std::string("<rci_reply version=\"1.1\"><do_command><pin1>") + pin1 +
           "sserted</pin1><pin2>" + pin2 + "</pin2><pin3>" + pin3 +
           "</pin3></do_command></rci_reply>";
}

class ModulePins : public rcitest::RciFixture {
  protected:
    void WriteRequestFiles() {
        for (const char* name : {"set_pin1.txt", "clear_pin1.txt", "set_pin2.txt", "clear_pin2.txt",
                                 "set_pin3.txt", "clear_pin3.txt", "reboot.txt", "RCI-queryGB.txt"})
            WriteFile(name, std::string("<rci_request>") + name + "</rci_request>");
    }
    // The request files that reached the server, in order.
    static std::vector<std::string> Bodies(const HttpServer& server) {
        std::vector<std::string> out;
        for (const std::string& r : server.Requests()) {
            size_t at = r.find("<rci_request>");
            out.push_back(at == std::string::npos
                              ? r
                              : r.substr(at + 13, r.find("</rci_request>") - at - 13));
        }
        return out;
    }
    void SetReply(const std::string& text) {
        std::memset(form->RciReply, 0, sizeof form->RciReply);
        std::memcpy(form->RciReply, text.data(), text.size());
    }
};

struct CommandCase {
    const char* button;
    const char* file;
    int hexDisplayAfter; // -1: unchanged
};

class Commands : public ModulePins, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, EachButtonPostsItsFileThroughButton28) {
    const CommandCase& c = GetParam();
    std::memset(form->RciFileName, 'x', sizeof form->RciFileName);
    for (uint32_t before : {0u, 1u}) {
        form->HexDisplay = before;
        form->FindControl(c.button)->Click(); // the file is missing: the request ends at once
        EXPECT_EQ(form->StatusBar1.Text(), std::string("Unable to open file: ") + c.file + "\n");
        EXPECT_EQ(form->HexDisplay,
                  c.hexDisplayAfter < 0 ? before : static_cast<uint32_t>(c.hexDisplayAfter));
    }
    EXPECT_STREQ(form->RciFileName, c.file);
    for (size_t i = std::strlen(c.file); i < sizeof form->RciFileName; ++i)
        ASSERT_EQ(form->RciFileName[i], 0);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Commands,
                         ::testing::Values(CommandCase{"Button29", "set_pin1.txt", -1},
                                           CommandCase{"Button30", "clear_pin1.txt", -1},
                                           CommandCase{"Button31", "set_pin2.txt", 0},
                                           CommandCase{"Button32", "clear_pin2.txt", 1},
                                           CommandCase{"Button36", "set_pin3.txt", -1},
                                           CommandCase{"Button37", "clear_pin3.txt", -1},
                                           CommandCase{"Button9", "reboot.txt", -1},
                                           CommandCase{"BitBtn1", "RCI-queryGB.txt", -1}),
                         [](const auto& info) { return std::string(info.param.button); });

TEST_F(ModulePins, TheEnterKeyInAnEditRunsReadStatus) {
    form->KeyPress(form->Edit4, '\r');
    EXPECT_EQ(form->StatusBar1.Text(), "Unable to open file: RCI-queryGB.txt\n");
}

// The status display, run on what RciReply holds (here the status request itself
// fails, which leaves RciReply as it was).
struct DisplayCase {
    const char* name;
    std::string reply;
    const char* label; // the label that changes
    const char* text;
    TColor color;
    const char* filled = nullptr;   // the frame filled money green with a black outline
    const char* outlined = nullptr; // the frame with button face and a lime outline
};

void PrintTo(const DisplayCase& c, std::ostream* out) {
    *out << c.name;
}

class StatusDisplay : public ModulePins, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(StatusDisplay, ShowsEachPinsState) {
    const DisplayCase& c = GetParam();
    SetReply(c.reply);
    form->BitBtn1.Click();
    auto& label = *form->FindControl(c.label);
    EXPECT_EQ(label.Caption(), c.text);
    EXPECT_EQ(label.Color(), c.color);
    if (c.filled) {
        auto& filled = static_cast<TShape&>(*form->FindControl(c.filled));
        auto& outlined = static_cast<TShape&>(*form->FindControl(c.outlined));
        EXPECT_EQ(filled.BrushColor(), clMoneyGreen);
        EXPECT_EQ(filled.PenColor(), clBlack);
        EXPECT_EQ(outlined.BrushColor(), clBtnFace);
        EXPECT_EQ(outlined.PenColor(), clLime);
    }
    for (const char* other : {"Label31", "Label32", "Label33"}) {
        if (std::strcmp(other, c.label) != 0) {
            EXPECT_EQ(form->FindControl(other)->Caption(), other);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pins, StatusDisplay,
    ::testing::Values(
        DisplayCase{"Pin1Asserted", "<reply><pin1>asserted", "Label31", "PIN1->Asserted   (Reset)",
                    clRed},
        DisplayCase{"Pin1Unasserted", "<reply><pin1>unasserted", "Label31",
                    "PIN1->Unasserted ( Run )", clLime},
        DisplayCase{"Pin2Asserted", "<reply><pin2>a", "Label32", "PIN2->Asserted   (Debug_Config )",
                    clYellow, "Shape1", "Shape4"},
        DisplayCase{"Pin2Unasserted", "<reply><pin2>u", "Label32", "PIN2->Unasserted (Modbus) ",
                    clLime, "Shape4", "Shape1"},
        // Label33 keeps its colour
        DisplayCase{"Pin3Asserted", "<reply><pin3>a", "Label33", "PIN3->Asserted (Interface_RS485)",
                    clBtnFace, "Shape3", "Shape2"},
        DisplayCase{"Pin3Unasserted", "<reply><pin3>u", "Label33",
                    "PIN3->Unasserted (Interface_LAN)", clBtnFace, "Shape2", "Shape3"},
        DisplayCase{"TagEndingAt11Counts", "xxxxx<pin1>a", "Label31", "PIN1->Asserted   (Reset)",
                    clRed},
        DisplayCase{"TagEndingAt10IsIgnored", "xxxx<pin1>a", "Label31", "Label31", clBtnFace},
        DisplayCase{"OtherStateChangesNothing", "<reply><pin1>x", "Label31", "Label31", clBtnFace}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModulePins, ReadStatusIsFollowedByExactlyOneStatusRead200msLater) {
    WriteRequestFiles();
    HttpServer server({Exchange{{Reply(StatusBody('a', 'a', 'a'))}},
                       Exchange{{Reply(StatusBody('u', 'u', 'u'))}},
                       Exchange{{Reply(StatusBody('a', 'a', 'a'))}}});
    tool::RciPort = server.Port();
    form->BitBtn1.Click();
    EXPECT_EQ(form->Label31.Caption(), "PIN1->Asserted   (Reset)");
    EXPECT_TRUE(form->Timer4.Enabled());
    Advance(199);
    EXPECT_EQ(server.Connections(), 1);
    Advance(1);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(form->Label31.Caption(),
              "PIN1->Unasserted ( Run )"); // the follow-up's reply is shown
    EXPECT_FALSE(form->Timer4.Enabled());
    Advance(1000);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(Bodies(server), (std::vector<std::string>{"RCI-queryGB.txt", "RCI-queryGB.txt"}));
}

TEST_F(ModulePins, ACommandIsRefreshedByOneStatusReadAndConfigLeavesHexDisplay0) {
    WriteRequestFiles();
    form->HexDisplay = 1;
    HttpServer server({Exchange{{Reply("<rci_reply><ok/></rci_reply>")}},
                       Exchange{{Reply(StatusBody('u', 'a', 'u'))}}});
    tool::RciPort = server.Port();
    form->Button31.Click();
    EXPECT_EQ(form->HexDisplay, 0u);
    EXPECT_EQ(form->StatusBar1.Text(), "    ");
    EXPECT_EQ(form->Label32.Caption(), "Label32"); // no display after a command
    Advance(200);
    EXPECT_EQ(Bodies(server), (std::vector<std::string>{"set_pin2.txt", "RCI-queryGB.txt"}));
    EXPECT_EQ(form->Label32.Caption(), "PIN2->Asserted   (Debug_Config )");
    EXPECT_EQ(form->Shape1.BrushColor(), clMoneyGreen);
    EXPECT_EQ(form->HexDisplay, 0u);
}

TEST_F(ModulePins, PinTagsInAnEarlierChunkAreShown) {
    WriteRequestFiles();
    std::string first = "<rci_reply><pin1>asserted</pin1><pin2>unasserted</pin2>";
    std::string second = std::string(40, ' ') + "</rci_reply>";
    char sizes[2][16];
    std::snprintf(sizes[0], sizeof sizes[0], "%03zx\r\n", first.size());
    std::snprintf(sizes[1], sizeof sizes[1], "%03zx\r\n", second.size());
    HttpServer server({Exchange{
        {ChunkedHead, sizes[0] + first + "\r\n", sizes[1] + second + "\r\n", "0\r\n\r\n"}}});
    tool::RciPort = server.Port();
    form->BitBtn1.Click();
    EXPECT_EQ(form->Label31.Caption(), "PIN1->Asserted   (Reset)");
    EXPECT_EQ(form->Label32.Caption(), "PIN2->Unasserted (Modbus) ");
}

TEST_F(ModulePins, AFailingCommandIsNotFollowedByAStatusRead) {
    WriteRequestFiles();
    testsupport::RefusingPort refusing;
    tool::RciPort = refusing.Port();
    form->Button9.Click();
    EXPECT_EQ(form->StatusBar1.Text(), "Connection Failed to 127.0.0.1:" +
                                           std::to_string(refusing.Port()) + " error: 10061\n");
    EXPECT_FALSE(form->Timer4.Enabled());
}

} // namespace

#include "tool/ConnectionControl.h"
#include "CaseName.h"
#include "FormFixture.h"
#include "Pty.h"
#include "port/ComMapping.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace fakes;
using namespace winsys;
namespace fs = std::filesystem;

namespace {

using Pty = testsupport::PtyPair;

class ComLinks : public FormFixture {
  protected:
    void Link(unsigned n, const std::string& device) { comLinks.Link(n, device); }
    std::vector<int> Listed() {
        uint8_t list[100];
        std::memset(list, 0xEE, sizeof list);
        tool::EnumerateComPorts(list);
        std::vector<int> out;
        for (int i = 0; i < 100 && list[i]; ++i)
            out.push_back(list[i]);
        return out;
    }
};

TEST_F(ComLinks, EnumerationListsTheOpenableLinksInOrderUpToCom49) {
    Pty a, b;
    Link(49, a.SlavePath());
    Link(3, b.SlavePath());
    EXPECT_EQ(Listed(), (std::vector<int>{3, 49}));
    EXPECT_EQ(port::ComDevicePath(3), b.SlavePath());
    EXPECT_EQ(tool::ComPortDevices(std::array<uint8_t, 100>{3, 49, 0}.data()),
              "COM3 = " + b.SlavePath() + ", COM49 = " + a.SlavePath());
}

TEST_F(ComLinks, APortHeldForExclusiveUseIsNotListed) {
    Pty locked, exclusive, free;
    Link(1, locked.SlavePath());
    Link(2, exclusive.SlavePath());
    Link(3, free.SlavePath());
    int lockedFd = open(locked.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(lockedFd, LOCK_EX | LOCK_NB), 0);
    int exclusiveFd = open(exclusive.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(ioctl(exclusiveFd, TIOCEXCL), 0);
    EXPECT_EQ(Listed(), std::vector<int>{3});
    close(lockedFd);
    ioctl(exclusiveFd, TIOCNXCL); // what the last close of a real device does
    close(exclusiveFd);
    EXPECT_EQ(Listed(), (std::vector<int>{1, 2, 3}));
}

TEST_F(ComLinks, StartUpListsThePortsAndShowsTheirDevicesInTheHint) {
    WriteGlyphs();
    Pty a;
    Link(7, a.SlavePath());
    form->FormCreate();
    EXPECT_EQ(form->ComboBox1.Items(), std::vector<std::string>{"COM7"});
    EXPECT_EQ(form->ComboBox1.Text(), "COM X");
    EXPECT_EQ(form->ComboBox1.Hint(),
              "Selezione interfaccia seriale di comunicazione: COM7 = " + a.SlavePath());
}

TEST_F(ComLinks, WithNoUsablePortTheComboStaysEmpty) {
    WriteGlyphs();
    form->FormCreate();
    EXPECT_TRUE(form->ComboBox1.Items().empty());
    EXPECT_EQ(form->ComboBox1.Text(), "COM X");
    EXPECT_EQ(form->ComboBox1.Hint(), "Selezione interfaccia seriale di comunicazione");
}

TEST(ComMapping, DefaultsWithoutALink) {
    ScratchDirectory dir;
    testsupport::ScopedEnv comDir("RVEX_COM_DIR", dir.Path());
    const std::pair<unsigned, const char*> cases[] = {{0, ""},
                                                      {1, "/dev/ttyS0"},
                                                      {16, "/dev/ttyS15"},
                                                      {17, "/dev/ttyUSB0"},
                                                      {32, "/dev/ttyUSB15"},
                                                      {33, "/dev/ttyACM0"},
                                                      {48, "/dev/ttyACM15"},
                                                      {49, ""},
                                                      {50, ""}};
    for (auto [n, path] : cases)
        EXPECT_EQ(port::ComDevicePath(n), path) << n;
    EXPECT_FALSE(port::ComPortUsable(49));
    EXPECT_FALSE(port::ComPortUsable(50));
}

TEST(ComMapping, TheLinkFolderDefaultsToTheUsersConfiguration) {
    testsupport::ScopedEnv home("HOME", "/home/operator");
    {
        testsupport::ScopedEnv comDir("RVEX_COM_DIR", std::nullopt);
        EXPECT_EQ(port::ComLinkDirectory(), "/home/operator/.config/rvex-tool/com");
    }
    testsupport::ScopedEnv comDir("RVEX_COM_DIR", "");
    EXPECT_EQ(port::ComLinkDirectory(), "/home/operator/.config/rvex-tool/com");
}

TEST(ComMapping, ADanglingLinkGivesItsTargetAndARelativeOneIsTakenFromTheFolder) {
    ScratchDirectory dir;
    testsupport::ScopedEnv comDir("RVEX_COM_DIR", dir.Path());
    fs::create_symlink("ttyGone", fs::path(dir.Path()) / "COM5");
    EXPECT_EQ(port::ComDevicePath(5), dir.Path() + "/ttyGone");
    EXPECT_FALSE(port::ComPortUsable(5));
}

struct NumberCase {
    const char* text;
    int number;
};

class ComNumberText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ComNumberText, SkipsThreeCharactersAndReadsTheNumber) {
    EXPECT_EQ(tool::ComNumberFromText(GetParam().text), GetParam().number) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, ComNumberText,
                         ::testing::Values(NumberCase{"COM12", 12}, NumberCase{"COM X", 0},
                                           NumberCase{"COM", 0}, NumberCase{"", 0},
                                           NumberCase{"xyz 7", 7}, NumberCase{"COM-1", 65535},
                                           NumberCase{"COM65539", 3},
                                           NumberCase{"COM123456789", 57920}));

class Connection : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        form->ComboBox1.SetItems({"COM3", "COM12"});
    }
    bool SerialShownClosed() {
        return form->BitBtn4.Caption() == "Chiusa" &&
               form->BitBtn4.Glyph().fileName == "BmpX.bmp" && form->Label2.Caption() == "CLOSE" &&
               form->Label2.Color() == clBtnFace;
    }
    bool NetworkShown(bool open) {
        return form->BitBtn5.Caption() == (open ? "Aperta" : "Chiusa") &&
               form->BitBtn5.Glyph().fileName == (open ? "BmpOK.bmp" : "BmpX.bmp");
    }
};

TEST_F(Connection, TheSerialToggleOpensTheChosenPortAndClosesItStoppingThePolling) {
    form->ComboBox1.Select(1);
    serial->Changes.clear();
    form->BitBtn4.Click();
    EXPECT_EQ(serial->Changes, (std::vector<std::string>{"ComNumber=12", "Open=1"}));
    EXPECT_EQ(form->BitBtn4.Caption(), "Aperta");
    EXPECT_EQ(form->BitBtn4.Glyph().fileName, "BmpOK.bmp");
    EXPECT_EQ(form->Label2.Caption(), "OPEN");
    EXPECT_EQ(form->Label3.Color(), clLime);
    EXPECT_EQ(form->StatusBar1.Text(), "    OPEN COM INTERFACE");
    EXPECT_EQ(form->StatusBar1.Color(), clYellow); // lime only for the network connection

    form->BitBtn2.Click();
    form->BitBtn4.Click();
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_TRUE(SerialShownClosed());
    EXPECT_EQ(form->Label3.Color(), clBtnFace);
    EXPECT_EQ(form->StatusBar1.Text(), "    CLOSE COM INTERFACE");
    EXPECT_EQ(form->StatusBar1.Color(), clGradientInactiveCaption);
    EXPECT_FALSE(form->Timer6.Enabled());
}

TEST_F(Connection, WithoutAChosenItemTheToggleOnlyShowsTheState) {
    form->BitBtn4.Click();
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_TRUE(SerialShownClosed());
    form->ComboBox1.TypeText("COM3");
    form->BitBtn4.Click();
    EXPECT_FALSE(serial->GetOpen());
}

TEST_F(Connection, ChoosingAnotherPortClosesTheOpenOneAndShowsItClosed) {
    form->ComboBox1.Select(0);
    form->BitBtn4.Click();
    ASSERT_TRUE(serial->GetOpen());
    form->ComboBox1.Select(1);
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_EQ(serial->GetComNumber(), 12);
    EXPECT_TRUE(SerialShownClosed());
    EXPECT_EQ(form->Label3.Color(), clBtnFace);
    form->BitBtn4.Click();
    EXPECT_TRUE(serial->GetOpen());
    EXPECT_EQ(serial->GetComNumber(), 12);
}

TEST_F(Connection, AFailedOpenIsShownAndTheButtonStaysClosed) {
    form->ComboBox1.Select(0);
    serial->FailNextOpen(-2008, "Port in use");
    EXPECT_THROW(form->BitBtn4.Click(), FakePortError);
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_EQ(form->BitBtn4.Caption(), "Chiusa");
    EXPECT_EQ(form->Label2.Caption(), "CLOSE");
    EXPECT_NE(form->StatusBar1.Text(), "    OPEN COM INTERFACE");
}

TEST_F(Connection, ClosingWithAMissingGlyphStillShowsTheLabelClosed) {
    form->ComboBox1.Select(0);
    form->BitBtn4.Click();
    std::remove("BmpX.bmp");
    EXPECT_THROW(form->BitBtn4.Click(), EInvalidGraphic);
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_EQ(form->Label2.Caption(), "CLOSE");
    EXPECT_EQ(form->Label2.Color(), clBtnFace);
}

TEST_F(Connection, TheNetworkToggleOpensAClientWithTheFieldsAndClosesIt) {
    form->Edit4.SetText("127.0.0.1");
    form->Edit9.SetText("1502");
    network->Changes.clear();
    form->BitBtn5.Click();
    EXPECT_EQ(network->Changes, (std::vector<std::string>{"WsPort=1502", "WsAddress=127.0.0.1",
                                                          "WsMode=0", "Open=1"}));
    EXPECT_EQ(form->StatusBar1.Text(), "    OPEN IP SOCKET Wait");
    EXPECT_EQ(form->Label13.Caption(), "Client");
    EXPECT_EQ(form->Label13.Color(), clLime);
    EXPECT_EQ(form->Label5.Color(), clLime);
    EXPECT_TRUE(NetworkShown(true));

    network->Connect();
    EXPECT_EQ(form->Label24.Caption(), "Connesso");
    EXPECT_EQ(form->Label24.Color(), clLime);
    EXPECT_EQ(form->StatusBar1.Color(), clLime);
    EXPECT_EQ(form->StatusBar1.Text(), "    OPEN IP SOCKET");

    form->BitBtn2.Click();
    form->BitBtn5.Click();
    EXPECT_FALSE(network->GetOpen());
    EXPECT_EQ(form->Label24.Caption(), "Disconnesso");
    EXPECT_EQ(form->StatusBar1.Text(), "    CLOSE IP SOCKET");
    EXPECT_EQ(form->StatusBar1.Color(), clGradientInactiveCaption);
    for (TLabel* l : {&form->Label13, &form->Label12, &form->Label23, &form->Label5})
        EXPECT_EQ(l->Color(), clBtnFace) << l->Name();
    EXPECT_FALSE(form->Timer6.Enabled());
    EXPECT_TRUE(NetworkShown(false));
}

TEST_F(Connection, AFailedNetworkOpenKeepsTheWaitText) {
    network->FailNextOpen(10039, "The destination address is required for this operation");
    EXPECT_THROW(form->BitBtn5.Click(), FakePortError);
    EXPECT_EQ(form->StatusBar1.Text(), "    OPEN IP SOCKET Wait");
    EXPECT_EQ(form->BitBtn5.Caption(), "Chiusa");
    EXPECT_EQ(form->Label13.Caption(), "Client/serv");
}

struct SocketErrorCase {
    const char* what;
    int code;
    bool connectedFirst;
    bool stillOpen;
};

class SocketErrors : public Connection, public ::testing::WithParamInterface<SocketErrorCase> {};

TEST_P(SocketErrors, TheButtonShowsWhetherThePortIsStillOpen) {
    const SocketErrorCase& c = GetParam();
    form->BitBtn5.Click();
    if (c.connectedFirst) network->Connect();
    network->Error(c.code);
    EXPECT_EQ(network->GetOpen(), c.stillOpen);
    EXPECT_TRUE(NetworkShown(c.stillOpen));
    // A disconnect after an established connection shows its own caption.
    EXPECT_EQ(form->Label24.Caption(),
              c.connectedFirst && !c.stillOpen ? "Disconnesso" : "Socket Error");
    EXPECT_EQ(form->Label24.Color(), clBtnFace);
    // A port that closed itself puts out its lamps and says why.
    TColor lamp = c.stillOpen ? clLime : clBtnFace;
    EXPECT_EQ(form->Label5.Color(), lamp);
    EXPECT_EQ(form->Label13.Color(), lamp);
    EXPECT_EQ(form->StatusBar1.Text(), c.stillOpen ? "    OPEN IP SOCKET Wait"
                                                   : "    Socket Error: " + std::to_string(c.code));
    form->BitBtn5.Click(); // the next click finds the port as the button shows it
    EXPECT_EQ(network->GetOpen(), !c.stillOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocketErrors,
    ::testing::Values(SocketErrorCase{"refused", 10061, false, false},
                      SocketErrorCase{"reset after connect", 10054, true, false},
                      SocketErrorCase{"aborted", 10053, false, false},
                      SocketErrorCase{"network reset", 10052, true, false},
                      SocketErrorCase{"timed out stays open", 10060, false, true}),
    [](const auto& info) { return CaseName(info.param.what); });

TEST_F(Connection, APeerThatClosesIsShownDisconnectedAndClosed) {
    form->BitBtn5.Click();
    network->Connect();
    network->PeerClose();
    EXPECT_EQ(form->Label24.Caption(), "Disconnesso");
    EXPECT_TRUE(NetworkShown(false));
    EXPECT_EQ(form->Label5.Color(), clBtnFace);
    EXPECT_EQ(form->Label13.Color(), clBtnFace);
}

TEST_F(Connection, TheFramingButtonsSetTheFlagLabelAndColour) {
    form->Button35.Click();
    EXPECT_EQ(form->ModbusTcp, 1u);
    EXPECT_EQ(form->Label47.Caption(), "MB TCP");
    EXPECT_EQ(form->Shape8.BrushColor(), clSkyBlue);
    form->Button45.Click();
    EXPECT_EQ(form->ModbusTcp, 0u);
    EXPECT_EQ(form->Label47.Caption(), "MB RTU");
    EXPECT_EQ(form->Shape8.BrushColor(), clMoneyGreen);
}

} // namespace

// rvex-sim as a process: start-up and shutdown, the COM link, the pty line with
// module and meter, the pins driven over RCI as the tool's client does it,
// the LAN servers and the reboot.
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace simtest;
namespace fs = std::filesystem;

std::string SiteFile(const std::string& name) {
    std::ifstream in(std::string(RVEX_SITE_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string Read454 = WithCrc(std::string("\x0A\x03\x01\xC5\x00\x04", 6));

// Reads one Modbus RTU reply of n registers (or an exception) from fd.
std::string ReadRtuReply(int fd) {
    return ReceiveUntil(fd, [](const std::string& got) {
        if (got.size() >= 5 && (got[1] & 0x80)) return true;
        return got.size() >= 3 && got.size() >= 5u + static_cast<unsigned char>(got[2]);
    });
}

// One RCI exchange the way the tool's client reads it: the head in one receive,
// then a five-byte chunk-size line, the chunk and its CR LF, then "0" CR LF CR LF.
struct RciExchange {
    std::string head, sizeLine, chunk, last;
};

RciExchange PostLikeTheTool(int port, const std::string& body) {
    RciExchange out;
    int fd = ConnectLocal(port);
    EXPECT_GE(fd, 0);
    if (fd < 0) return out;
    std::string head = "POST /UE/rci HTTP/1.1\r\ntext/html, image/gif, image/jpef\r\n"
                       "Accept-Language: en-us\r\nUser-Agent: httpRCI\r\nHost: 127.0.0.1\r\n"
                       "Connection: Keep-Alive\r\nAuthorization: Basic cm9vdDp3cXpr\r\n";
    if (!body.empty()) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    EXPECT_TRUE(SendOnce(fd, head));
    if (!body.empty()) {
        EXPECT_TRUE(SendOnce(fd, body));
    }
    out.head = ReceiveOnce(fd, 15000);
    out.sizeLine = ReceiveOnce(fd, 5);
    std::size_t size = std::strtoul(out.sizeLine.c_str(), nullptr, 16);
    for (int pieces = 0; pieces < 100 && out.chunk.size() < size + 2; ++pieces) {
        std::string piece = ReceiveOnce(fd, size + 2 - out.chunk.size());
        if (piece.empty()) break;
        out.chunk += piece;
    }
    out.last = ReceiveOnce(fd, 5);
    close(fd);
    return out;
}

class RunningSim : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.Ready()) << sim.Output(); }
    TempDir dir;
    SimProcess sim{dir.Path(), {"--rci-gap-ms", "200", "--reboot-ms", "1500"}};
};

TEST(SimLifecycle, PublishesTheComLinkAndRemovesItOnSigterm) {
    TempDir dir;
    std::string link = dir.Path() + "/com/COM7";
    {
        SimProcess sim(dir.Path(), {"--com", "7"});
        ASSERT_TRUE(sim.Ready()) << sim.Output();
        EXPECT_EQ(sim.Com(), link);
        EXPECT_EQ(fs::read_symlink(link).string(), sim.Pty());
        EXPECT_TRUE(sim.Pty().starts_with("/dev/pts/"));
        for (const char* name : {"rtu-tcp", "mb-tcp", "rci"})
            EXPECT_GT(sim.Port(name), 0) << name;
        EXPECT_EQ(sim.Info("pid").empty(), false);
        EXPECT_EQ(sim.Stop(), 0);
        EXPECT_NE(sim.Output().find("stopping on"), std::string::npos);
    }
    std::error_code ec;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link, ec))) << "link left behind";
    EXPECT_FALSE(fs::exists(dir.Path() + "/ready"));
}

TEST(SimLifecycle, ExistingComEntries) {
    TempDir dir;
    fs::create_directories(dir.Path() + "/com");
    std::string link = dir.Path() + "/com/COM3";

    fs::create_symlink("/dev/null", link); // a live target: refused unless asked
    {
        SimProcess sim(dir.Path());
        EXPECT_FALSE(sim.Ready());
        EXPECT_EQ(sim.WaitExit(10s), 1);
        EXPECT_NE(sim.Output().find("already points at /dev/null"), std::string::npos)
            << sim.Output();
        EXPECT_EQ(fs::read_symlink(link), "/dev/null");
    }
    {
        SimProcess sim(dir.Path(), {"--replace-link"});
        ASSERT_TRUE(sim.Ready()) << sim.Output();
        EXPECT_EQ(fs::read_symlink(link).string(), sim.Pty());
    }
    fs::create_symlink("/dev/pts/no-such-pty", link); // dangling: a crashed run's
    {
        SimProcess sim(dir.Path());
        ASSERT_TRUE(sim.Ready()) << sim.Output();
        EXPECT_EQ(fs::read_symlink(link).string(), sim.Pty());
    }
    std::ofstream(link) << "keep"; // not a link: never touched
    {
        SimProcess sim(dir.Path());
        EXPECT_EQ(sim.WaitExit(10s), 1);
        EXPECT_NE(sim.Output().find("not a link"), std::string::npos);
    }
    std::ifstream kept(link);
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
}

TEST(SimLifecycle, RefusesAPortInUse) {
    TempDir dir;
    SimProcess first(dir.Path());
    ASSERT_TRUE(first.Ready());
    TempDir other;
    SimProcess second(other.Path(), {"--rci-port", std::to_string(first.Port("rci"))});
    EXPECT_EQ(second.WaitExit(10s), 1);
    EXPECT_NE(second.Output().find("cannot listen"), std::string::npos) << second.Output();
    EXPECT_FALSE(fs::exists(fs::symlink_status(other.Path() + "/com/COM3")));
}

TEST_F(RunningSim, ModbusAndMeterOnThePty) {
    int port = OpenPort(sim.Com());
    ASSERT_GE(port, 0);
    // A frame with a wrong CRC gets no reply; the next good one is answered alone.
    std::size_t mark = sim.LineCount();
    ASSERT_TRUE(write(port, "\x0A\x03\x01\xC5\x00\x04\x54\xB4", 8) == 8);
    ASSERT_TRUE(sim.WaitFor("CRC error, no reply", mark));
    ASSERT_EQ(write(port, Read454.data(), Read454.size()), 8);
    std::string reply = ReadRtuReply(port);
    ASSERT_EQ(reply.size(), 13u) << Hex(reply);
    EXPECT_EQ(reply.substr(0, 3), std::string("\x0A\x03\x08", 3));
    EXPECT_EQ(reply.substr(11), WithCrc(reply.substr(0, 11)).substr(11));
    EXPECT_EQ(Hex(reply.substr(3, 8)), "39 58 C8 B4 1C D6 40 C8"); // 12345.678, low word first

    ASSERT_EQ(write(port, "/?0000!\r\n", 9), 9);
    std::string id = ReceiveUntil(port, [](const std::string& s) { return s.ends_with("\r\n"); });
    EXPECT_EQ(id, "/RVX5RVEX-SIM-M1\r\n");
    ASSERT_EQ(write(port,
                    "\x06"
                    "050\r\n",
                    6),
              6);
    std::string readout = ReceiveUntil(
        port, [](const std::string& s) { return s.size() >= 2 && s[s.size() - 2] == '\x03'; });
    ASSERT_GT(readout.size(), 10u);
    EXPECT_EQ(readout[0], '\x02');
    unsigned char bcc = 0;
    for (std::size_t i = 1; i + 1 < readout.size(); ++i)
        bcc ^= static_cast<unsigned char>(readout[i]);
    EXPECT_EQ(static_cast<unsigned char>(readout.back()), bcc);
    EXPECT_NE(readout.find("\x02"
                           "1.8.0(012345.678*kWh)\r\n"),
              std::string::npos)
        << readout;
    EXPECT_NE(readout.find("\r\n!\r\n\x03"), std::string::npos);
    close(port);
    EXPECT_TRUE(sim.WaitFor("tx serial \"\\x02"));
}

TEST_F(RunningSim, PinsThroughRciAsTheToolPostsThem) {
    int port = OpenPort(sim.Com());
    ASSERT_GE(port, 0);
    int rci = sim.Port("rci");

    RciExchange query = PostLikeTheTool(rci, SiteFile("RCI-queryGB.txt"));
    EXPECT_TRUE(query.head.starts_with("HTTP/1.1 200 OK\r\n")) << query.head;
    EXPECT_TRUE(query.head.ends_with("\r\n\r\n"));
    EXPECT_EQ(query.head.find("<rci_reply"), std::string::npos) << "head and body in one piece";
    ASSERT_EQ(query.sizeLine.size(), 5u);
    EXPECT_EQ(query.sizeLine.substr(3), "\r\n");
    EXPECT_EQ(std::strtoul(query.sizeLine.c_str(), nullptr, 16) + 2, query.chunk.size());
    EXPECT_NE(query.chunk.find("<pin1>unasserted</pin1><pin2>unasserted</pin2><pin3>asserted"),
              std::string::npos)
        << query.chunk;
    EXPECT_EQ(query.last, "0\r\n\r\n");

    // Configuration mode: text answered, Modbus ignored.
    PostLikeTheTool(rci, SiteFile("set_pin2.txt"));
    ASSERT_EQ(write(port, "<CMD_ReadRelease", 16), 16);
    EXPECT_EQ(ReceiveUntil(port, [](const std::string& s) { return s.ends_with("\r\n"); }),
              "Release R-VEX SIM FW 1.9 B116\r\n");
    std::size_t mark = sim.LineCount();
    ASSERT_EQ(write(port, Read454.data(), 8), 8);
    EXPECT_TRUE(sim.WaitFor("configuration mode, Modbus ignored", mark));
    PostLikeTheTool(rci, SiteFile("clear_pin2.txt"));
    mark = sim.LineCount();
    ASSERT_EQ(write(port, "<CMD_Readcfg", 12), 12);
    EXPECT_TRUE(sim.WaitFor("Modbus mode, text ignored", mark));

    // Reset: silent.
    PostLikeTheTool(rci, SiteFile("set_pin1.txt"));
    mark = sim.LineCount();
    ASSERT_EQ(write(port, Read454.data(), 8), 8);
    EXPECT_TRUE(sim.WaitFor("module held in reset, no reply", mark));
    PostLikeTheTool(rci, SiteFile("clear_pin1.txt"));
    ASSERT_EQ(write(port, Read454.data(), 8), 8);
    EXPECT_EQ(ReadRtuReply(port).size(), 13u);

    // LAN interface: the pty is silent, RTU OVER TCP and Modbus TCP answer.
    PostLikeTheTool(rci, SiteFile("clear_pin3.txt"));
    mark = sim.LineCount();
    ASSERT_EQ(write(port, Read454.data(), 8), 8);
    EXPECT_TRUE(sim.WaitFor("module on its LAN interface, no reply", mark));
    int bridge = ConnectLocal(sim.Port("rtu-tcp"));
    ASSERT_GE(bridge, 0);
    ASSERT_TRUE(SendOnce(bridge, Read454));
    EXPECT_EQ(ReadRtuReply(bridge).size(), 13u);
    close(bridge);
    int tcp = ConnectLocal(sim.Port("mb-tcp"));
    ASSERT_GE(tcp, 0);
    // A broken header is dropped; the connection stays and serves the next request.
    ASSERT_TRUE(SendOnce(tcp, "<CMD_Readcfg"));
    EXPECT_TRUE(sim.WaitFor("bad MBAP header, dropped"));
    ASSERT_TRUE(SendOnce(tcp, std::string("\xAB\xCD\x00\x00\x00\x06\x0A\x03\x01\xC5\x00\x04", 12)));
    std::string answer = ReceiveUntil(tcp, [](const std::string& s) { return s.size() >= 17; });
    EXPECT_EQ(Hex(answer.substr(0, 9)), "AB CD 00 00 00 0B 0A 03 08");
    close(tcp);
    close(port);

    RciExchange after = PostLikeTheTool(rci, SiteFile("RCI-queryGB.txt"));
    EXPECT_NE(after.chunk.find("<pin1>unasserted</pin1><pin2>unasserted</pin2><pin3>unasserted"),
              std::string::npos);
}

TEST_F(RunningSim, ConfigurationWriteOverTheLine) {
    int port = OpenPort(sim.Com());
    ASSERT_GE(port, 0);
    PostLikeTheTool(sim.Port("rci"), SiteFile("set_pin2.txt"));
    std::string write1 = "<config_begin\r\nModAdd:12\r\nSerie_1:555\r\nconfig_end>\r\n";
    ASSERT_EQ(write(port, write1.data(), write1.size()), static_cast<ssize_t>(write1.size()));
    EXPECT_EQ(ReceiveUntil(port, [](const std::string& s) { return s.ends_with("\r\n"); }),
              "CONFIG OK\r\n");
    ASSERT_EQ(write(port, "<CMD_Readcfg", 12), 12);
    std::string listing =
        ReceiveUntil(port, [](const std::string& s) { return s.ends_with("config_end>\r\n"); });
    EXPECT_NE(listing.find("\r\nModAdd:12\r\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\r\nSerie_1:555\r\n"), std::string::npos);
    PostLikeTheTool(sim.Port("rci"), SiteFile("clear_pin2.txt"));
    std::string at12 = WithCrc(std::string("\x0C\x03\x03\x43\x00\x08", 6)); // 836, 8 registers
    ASSERT_EQ(write(port, at12.data(), at12.size()), 8);
    std::string reply = ReadRtuReply(port);
    ASSERT_EQ(reply.size(), 21u);
    std::string text;
    for (std::size_t i = 3; i + 1 < 19; i += 2)
        text += std::string{reply[i + 1], reply[i]};
    EXPECT_EQ(text, "RVEX-SN-00000555");
    close(port);
}

TEST_F(RunningSim, RebootDropsConnectionsAndComesBack) {
    int bridge = ConnectLocal(sim.Port("rtu-tcp"));
    ASSERT_GE(bridge, 0);
    PostLikeTheTool(sim.Port("rci"), SiteFile("clear_pin3.txt"));
    std::size_t mark = sim.LineCount();
    RciExchange reboot = PostLikeTheTool(sim.Port("rci"), SiteFile("reboot.txt"));
    EXPECT_NE(reboot.chunk.find("<reboot/>"), std::string::npos);
    EXPECT_TRUE(ClosedByPeer(bridge));
    close(bridge);
    ASSERT_TRUE(sim.WaitFor("LAN module rebooting", mark));
    EXPECT_LT(ConnectLocal(sim.Port("mb-tcp")), 0) << "services down during the reboot";
    ASSERT_TRUE(sim.WaitFor("LAN module back", mark));
    int again = ConnectLocal(sim.Port("rtu-tcp"));
    EXPECT_GE(again, 0);
    if (again >= 0) close(again);
    // The pins come back in their start state (pin 3 asserted: RS485).
    RciExchange query = PostLikeTheTool(sim.Port("rci"), SiteFile("RCI-queryGB.txt"));
    EXPECT_NE(query.chunk.find("<pin3>asserted"), std::string::npos) << query.chunk;
}

TEST_F(RunningSim, ExclusiveUseEndsWithTheLastClient) {
    // A pty keeps TIOCEXCL while its master lives: without the simulator lifting
    // it, a client that set it could not open the port again (EBUSY unless root).
    std::size_t mark = sim.LineCount();
    int first = OpenPort(sim.Com());
    ASSERT_GE(first, 0);
    ASSERT_EQ(ioctl(first, TIOCEXCL), 0);
    ASSERT_TRUE(sim.WaitFor("serial: port opened by a client", mark));
    close(first);
    ASSERT_TRUE(sim.WaitFor("serial: port closed by its last client", mark));
    int again = OpenPort(sim.Com());
    ASSERT_GE(again, 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(again, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(again);
}

TEST_F(RunningSim, LogsEveryFrameOnOneLine) {
    int port = OpenPort(sim.Com());
    ASSERT_GE(port, 0);
    ASSERT_EQ(write(port, Read454.data(), 8), 8);
    ReadRtuReply(port);
    close(port);
    EXPECT_TRUE(sim.WaitFor(" rx serial 0A 03 01 C5 00 04 54 B3"));
    EXPECT_TRUE(sim.WaitFor(" tx serial 0A 03 08 39 58 C8 B4 1C D6 40 C8"));
}

} // namespace

// End to end over TCP: rvex-tool --headless polls rvex-sim's field module through the
// simulated LAN module, in RTU OVER TCP and in Modbus TCP, and shows a refused
// connection. Every address is 127.0.0.1.
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

using namespace e2e;

// The simulator with its pins set so that the module answers through the LAN module.
class NetworkE2e : public ToolRun {
  protected:
    NetworkE2e() : sim_(Dir(), {"--pins", "uuu"}) {
        Write("Table1.c", "R-VEX end-to-end table over the network\n"
                          ">1468 M 3<1.8.0><En. attiva imp.>\n"
                          ">1524 l 2<C.8.0><Ore funzion. s>\n"
                          ">836 c 16<C.1.0><Matricola>\n");
    }
    // Connects to Port, polls the table with Auto Reg and dumps the grid.
    std::vector<std::string> Poll(int Port, const std::string& Before = "") {
        return Run(Before + "text Edit4 127.0.0.1\n"
                            "text Edit9 " + std::to_string(Port) + "\n"
                            "click BitBtn5\n"
                            "wait 500\n"
                            "dump Label24\n"
                            "click BitBtn2\n"
                            "wait 3200\n"
                            "dump StringGrid3\n"
                            "click Button42\n"
                            "click BitBtn5\n");
    }
    void ExpectValues(const std::vector<std::string>& lines) {
        EXPECT_FALSE(Has(Output(), "error:")) << Output();
        auto label = Dumps(lines, "Label24");
        ASSERT_EQ(label.size(), 1u) << Output();
        EXPECT_TRUE(Has(label[0], "Connesso")) << label[0];
        auto grid = Dumps(lines, "StringGrid3");
        ASSERT_EQ(grid.size(), 1u) << Output();
        EXPECT_TRUE(Has(grid[0], "\"12345.678\"")) << grid[0];
        EXPECT_TRUE(Has(grid[0], "\"9876543\"")) << grid[0];
        EXPECT_TRUE(Has(grid[0], "\"RVEX-SN-12345678\"")) << grid[0];
    }
    SimProcess sim_;
};

TEST_F(NetworkE2e, RtuOverTcpPollingFillsTheGrid) {
    ASSERT_TRUE(sim_.Ready()) << sim_.Output();
    ExpectValues(Poll(sim_.Port("rtu-tcp")));
}

TEST_F(NetworkE2e, ModbusTcpPollingFillsTheGrid) {
    ASSERT_TRUE(sim_.Ready()) << sim_.Output();
    ExpectValues(Poll(sim_.Port("mb-tcp"), "click Button35\n"));
}

// No simulator: the tool alone against a closed port.
class RefusedE2e : public ToolRun {};

TEST_F(RefusedE2e, ARefusedConnectionShowsSocketErrorAndTheClosedButton) {
    // A port nobody listens on: taken from the system, then released.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const int closedPort = ntohs(a.sin_port);
    ::close(fd);
    auto lines = Run("text Edit4 127.0.0.1\n"
                     "text Edit9 " + std::to_string(closedPort) + "\n"
                     "click BitBtn5\n"
                     "wait 500\n"
                     "dump Label24 BitBtn5\n");
    auto label = Dumps(lines, "Label24");
    auto button = Dumps(lines, "BitBtn5");
    ASSERT_EQ(label.size(), 1u) << Output();
    ASSERT_EQ(button.size(), 1u) << Output();
    EXPECT_TRUE(Has(label[0], "\"Socket Error\"")) << label[0];
    // The port closed itself: the button shows the closed state.
    EXPECT_TRUE(Has(button[0], "\"text\":\"Chiusa\"")) << button[0];
    EXPECT_TRUE(Has(button[0], "\"glyph\":\"BmpX.bmp\"")) << button[0];
}

} // namespace

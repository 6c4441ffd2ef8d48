// The tool end to end over TCP: rvex-tool --headless polls rvex-sim's field module
// through the simulated LAN module on 127.0.0.1, in RTU OVER TCP and in Modbus TCP,
// and shows a refused connection.
#include "ToolRun.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace e2e;

namespace {

// A port on 127.0.0.1 of the system's choice, released again: nothing listens there.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class NetworkE2e : public ToolRun {
  protected:
    NetworkE2e() {
        LinkCom(0, ""); // no serial port at all
        Write("Table1.c", "R-VEX end-to-end table against the simulator over TCP\n"
                          ">1468 M 3<1.8.0><En. attiva imp.>\n"
                          ">1524 l 2<C.8.0><Ore funzion. s>\n"
                          ">836 c 16<C.1.0><Matricola>\n");
    }
    // Opens the network port to Port with the framing given, polls the table once
    // round and closes.
    std::vector<std::string> PollOnce(int port, bool modbusTcp) {
        return Run("text Edit4 127.0.0.1\n"
                   "text Edit9 " +
                   std::to_string(port) + "\n" +
                   (modbusTcp ? "click Button35\n" : "click Button45\n") +
                   "click BitBtn5\n"
                   "wait 300\n"
                   "dump Label24\n"
                   "click BitBtn2\n"
                   "wait 2500\n"
                   "click Button42\n"
                   "dump StringGrid3\n"
                   "click BitBtn5\n");
    }
    void ExpectGridFilled(const std::vector<std::string>& lines) {
        EXPECT_FALSE(Has(Output(), "error:")) << Output();
        auto label = Dumps(lines, "Label24");
        ASSERT_EQ(label.size(), 1u) << Output();
        EXPECT_TRUE(Has(label[0], "\"text\":\"Connesso\"")) << label[0];
        auto grid = Dumps(lines, "StringGrid3");
        ASSERT_EQ(grid.size(), 1u) << Output();
        EXPECT_TRUE(Has(grid[0], "\"12345.678\"")) << grid[0];
        EXPECT_TRUE(Has(grid[0], "\"9876543\"")) << grid[0];
        EXPECT_TRUE(Has(grid[0], "\"RVEX-SN-12345678\"")) << grid[0];
    }
};

TEST_F(NetworkE2e, RtuOverTcpPollingFillsTheGrid) {
    // The field module listens to the LAN module with the interface pin released.
    fs::remove(Com() / "COM3"); // the simulator publishes its pty there
    SimProcess sim(Dir(), {"--pins", "uuu"});
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    ExpectGridFilled(PollOnce(sim.Port("rtu-tcp"), false));
    EXPECT_TRUE(sim.WaitFor("rx rtu-tcp#1 0A 03 05 BB 00 03")) << sim.Output();
}

TEST_F(NetworkE2e, ModbusTcpPollingCountsTransactionsToUnit10) {
    fs::remove(Com() / "COM3");
    SimProcess sim(Dir(), {"--pins", "uuu"});
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    ExpectGridFilled(PollOnce(sim.Port("mb-tcp"), true));
    // The requests as the LAN module received them: transaction 0, 1, 2, protocol 0,
    // length 6, unit 10, function 3, the row's address and count.
    EXPECT_TRUE(sim.WaitFor("rx mb-tcp#1 00 00 00 00 00 06 0A 03 05 BB 00 03")) << sim.Output();
    EXPECT_TRUE(sim.WaitFor("rx mb-tcp#1 00 01 00 00 00 06 0A 03 05 F3 00 02")) << sim.Output();
    EXPECT_TRUE(sim.WaitFor("rx mb-tcp#1 00 02 00 00 00 06 0A 03 03 43 00 08")) << sim.Output();
}

TEST_F(NetworkE2e, ARefusedConnectionShowsSocketErrorAndAClosedPort) {
    auto lines = Run("text Edit4 127.0.0.1\n"
                     "text Edit9 " +
                     std::to_string(ClosedPort()) +
                     "\n"
                     "click BitBtn5\n"
                     "wait 300\n"
                     "dump Label24 BitBtn5\n");
    EXPECT_FALSE(Has(Output(), "error:")) << Output();
    auto label = Dumps(lines, "Label24");
    auto button = Dumps(lines, "BitBtn5");
    ASSERT_EQ(label.size(), 1u) << Output();
    ASSERT_EQ(button.size(), 1u) << Output();
    EXPECT_TRUE(Has(label[0], "\"text\":\"Socket Error\"")) << label[0];
    EXPECT_TRUE(Has(button[0], "\"text\":\"Chiusa\"")) << button[0];
    EXPECT_TRUE(Has(button[0], "\"glyph\":\"BmpX.bmp\"")) << button[0];
}

} // namespace

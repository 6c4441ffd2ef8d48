// The tool end to end over TCP: rvex-tool --headless polls rvex-sim's field module
// through the simulated LAN module on 127.0.0.1, in RTU OVER TCP and in Modbus TCP,
// and shows a refused connection.
#include "Loopback.h"
#include "ToolRun.h"

#include <gmock/gmock.h>

using namespace e2e;

namespace {

using ::testing::IsEmpty;

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
    testsupport::RunnerOutput PollOnce(int port, bool modbusTcp) {
        return RunScript("text Edit4 127.0.0.1\n"
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
    void ExpectGridFilled(const testsupport::RunnerOutput& out) {
        EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
        EXPECT_EQ(Field(out.Dump("Label24"), "text"), "Connesso") << Output();
        const Json grid = out.Dump("StringGrid3");
        EXPECT_EQ(Cell(grid, 2, 1), "12345.678") << Output();
        EXPECT_EQ(Cell(grid, 2, 2), "9876543");
        EXPECT_EQ(Cell(grid, 2, 3), "RVEX-SN-12345678");
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
    testsupport::RefusingPort refusing;
    auto out = RunScript("text Edit4 127.0.0.1\n"
                         "text Edit9 " +
                         std::to_string(refusing.Port()) +
                         "\n"
                         "click BitBtn5\n"
                         "wait 300\n"
                         "dump Label24 BitBtn5\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    EXPECT_EQ(Field(out.Dump("Label24"), "text"), "Socket Error") << Output();
    const Json button = out.Dump("BitBtn5");
    EXPECT_EQ(Field(button, "text"), "Chiusa") << Output();
    EXPECT_EQ(Field(button, "glyph"), "BmpX.bmp") << Output();
}

} // namespace

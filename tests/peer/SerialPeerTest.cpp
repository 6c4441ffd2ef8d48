// rvex-tool --headless polling a Modbus RTU server that no one here wrote: pymodbus's
// serial server on one end of a socat pty pair, the tool's COM3 on the other.
#include "ChildProcess.h"
#include "ToolRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace e2e;

using Child = testsupport::ChildProcess;
using ::testing::Contains;
using ::testing::IsEmpty;

class SerialPeer : public ToolRun {};

TEST_F(SerialPeer, TheToolPollsAPymodbusRtuServerOverAPtyPair) {
    // The COM folder keeps every other number off the machine's devices; socat makes
    // COM3 itself.
    LinkCom(3, "/rvex-nowhere/COM3");
    fs::remove(Com() / "COM3");
    const std::string peerEnd = (Com() / "peer").string();
    Child socat({"socat", "-d", "-d", "pty,raw,echo=0,link=" + (Com() / "COM3").string(),
                 "pty,raw,echo=0,link=" + peerEnd});
    ASSERT_TRUE(socat.WaitFor("starting data transfer loop", 10s)) << socat.Output();

    Registers regs;
    PutDouble(regs, 453, 230.5);       // table row 1 (register 454, asked at 453)
    PutLong(regs, 461, 87654321);      // row 2
    PutMode32(regs, 1467, 1234567, 2); // row 3
    std::vector<std::string> server = {"/usr/bin/python3", PEER_RTU_SERVER, peerEnd, "10"};
    for (const auto& [address, value] : regs)
        server.push_back(std::to_string(address) + "=" + std::to_string(value));
    Child pymodbus(server);
    ASSERT_TRUE(pymodbus.WaitFor("ready", 20s)) << pymodbus.Output();

    // Auto Reg: rows 1, 2 and 3 at 0.7, 1.4 and 2.1 s, each filled 250 ms later; the
    // monitor shows a reply until the next tick.
    auto out = RunScript("pick ComboBox1 COM3\n"
                         "click BitBtn4\n"
                         "click BitBtn2\n"
                         "wait 1200\n"
                         "dump Memo2\n"
                         "wait 2000\n"
                         "dump StringGrid3\n"
                         "click Button42\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    const Json grid = out.Dump("StringGrid3");
    EXPECT_EQ(Cell(grid, 2, 1), "230.500000") << Output();
    EXPECT_EQ(Cell(grid, 2, 2), "87654321");
    EXPECT_EQ(Cell(grid, 2, 3), "12345.67");
    // Row 1's reply as the server framed it, CRC included.
    EXPECT_THAT(Lines(out.Dump("Memo2")), Contains(MonitorHex(ReadReply(regs, 453, 4))))
        << Output();
}

} // namespace

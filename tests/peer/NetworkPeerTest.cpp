// The tool against a Modbus TCP server no one here wrote: pymodbus's, on 127.0.0.1,
// polled through the network port by rvex-tool --headless.
#include "ChildProcess.h"
#include "Loopback.h"
#include "ToolRun.h"

#include <gmock/gmock.h>

#include <thread>

using namespace e2e;

namespace {

using ::testing::IsEmpty;

class NetworkPeer : public ToolRun {};

TEST_F(NetworkPeer, ModbusTcpPollingOfAPymodbusServerFillsTheGrid) {
    LinkCom(0, ""); // no serial port at all
    Write("Table1.c", "R-VEX peer table\n"
                      ">1468 M 3<1.8.0><En. attiva imp.>\n"
                      ">1472 M 3<1.8.1><En. attiva T1>\n");
    const uint16_t port = testsupport::ClosedPort(); // the server listens there
    // The server ends by itself a few seconds on.
    testsupport::ChildProcess server(
        {"/usr/bin/python3", PEER_SERVER_SCRIPT, std::to_string(port), "6"});
    ASSERT_TRUE(server.WaitFor("ready", 20s)) << server.Output();
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        up = static_cast<bool>(testsupport::Connect(port));
        if (!up) std::this_thread::sleep_for(50ms); // it prints "ready" before it listens
    }
    ASSERT_TRUE(up) << "the pymodbus server did not start: " << server.Output();
    auto out = RunScript("text Edit4 127.0.0.1\n"
                         "text Edit9 " +
                         std::to_string(port) +
                         "\n"
                         "click Button35\n"
                         "click BitBtn5\n"
                         "wait 300\n"
                         "click BitBtn2\n"
                         "wait 1800\n"
                         "click Button42\n"
                         "dump StringGrid3\n"
                         "click BitBtn5\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    const Json grid = out.Dump("StringGrid3");
    EXPECT_EQ(Cell(grid, 2, 1), "12345.678") << Output();
    EXPECT_EQ(Cell(grid, 2, 2), "8000.111");
}

} // namespace

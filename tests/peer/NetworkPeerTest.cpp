// The tool against a Modbus TCP server no one here wrote: pymodbus's, on 127.0.0.1,
// polled through the network port by rvex-tool --headless.
#include "ToolRun.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

int FreePort() {
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

class NetworkPeer : public ToolRun {};

TEST_F(NetworkPeer, ModbusTcpPollingOfAPymodbusServerFillsTheGrid) {
    LinkCom(0, ""); // no serial port at all
    Write("Table1.c", "R-VEX peer table\n"
                      ">1468 M 3<1.8.0><En. attiva imp.>\n"
                      ">1472 M 3<1.8.1><En. attiva T1>\n");
    const int port = FreePort();
    // The server ends by itself a few seconds on.
    std::thread server([&] {
        RunProgram({"/usr/bin/python3", PEER_SERVER_SCRIPT, std::to_string(port), "6"}, 15s);
    });
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        int fd = ConnectLocal(port);
        up = fd >= 0;
        if (up)
            ::close(fd);
        else
            std::this_thread::sleep_for(50ms); // the interpreter is still starting
    }
    ASSERT_TRUE(up) << "the pymodbus server did not start";
    auto lines = Run("text Edit4 127.0.0.1\n"
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
    server.join();
    EXPECT_FALSE(Has(Output(), "error:")) << Output();
    auto grid = Dumps(lines, "StringGrid3");
    ASSERT_EQ(grid.size(), 1u) << Output();
    EXPECT_TRUE(Has(grid[0], "\"12345.678\"")) << grid[0];
    EXPECT_TRUE(Has(grid[0], "\"8000.111\"")) << grid[0];
}

} // namespace

// rvex-tool --headless polling a Modbus RTU server that no one here wrote: pymodbus's
// serial server on one end of a socat pty pair, the tool's COM3 on the other.
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace e2e;

// A program running beside the test, its standard output and error read by lines;
// terminated and reaped (bounded) at the end.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status;
            for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                pollfd p{fd_, POLLIN, 0};
                poll(&p, 1, 10); // bounded: two seconds at most before the kill
                Drain(0);
            }
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
        if (fd_ >= 0) close(fd_);
    }
    // Waits until the output holds needle, at most limit.
    bool WaitFor(const std::string& needle, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (output_.find(needle) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Drain(static_cast<int>(left.count()))) return false;
        }
        return true;
    }
    const std::string& Output() const { return output_; }

  private:
    bool Drain(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0 || poll(&p, 1, timeoutMs) <= 0) return false;
        char buf[1024];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        output_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
};

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
    auto lines = Run("pick ComboBox1 COM3\n"
                     "click BitBtn4\n"
                     "click BitBtn2\n"
                     "wait 1200\n"
                     "dump Memo2\n"
                     "wait 2000\n"
                     "dump StringGrid3\n"
                     "click Button42\n");
    EXPECT_FALSE(Has(Output(), "error:")) << Output();
    auto grid = Dumps(lines, "StringGrid3");
    ASSERT_EQ(grid.size(), 1u) << Output();
    EXPECT_TRUE(Has(grid[0], "\"230.500000\"")) << grid[0];
    EXPECT_TRUE(Has(grid[0], "\"87654321\"")) << grid[0];
    EXPECT_TRUE(Has(grid[0], "\"12345.67\"")) << grid[0];
    // Row 1's reply as the server framed it, CRC included.
    auto memo = Dumps(lines, "Memo2");
    ASSERT_EQ(memo.size(), 1u);
    EXPECT_TRUE(Has(memo[0], MonitorHex(ReadReply(regs, 453, 4)))) << memo[0];
}

} // namespace

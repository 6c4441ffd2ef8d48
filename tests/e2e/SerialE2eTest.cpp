// rvex-tool --headless over a serial line: the tool opens COM3, which the test links to
// a pty of its own; the test plays the module on the pty's master, records every
// request the tool puts on the line and answers it. Then the same against rvex-sim,
// whose static values are known. Expected values are computed here from the register
// layouts, not taken from the tool.
#include "Pty.h"
#include "RciTestServer.h"
#include "ToolRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace e2e;
using ::testing::Contains;
using ::testing::IsEmpty;

// The module on a pty's master: answers each Read Holding Registers request of slave
// 10 from its register map and keeps every request it saw.
class PtyModule {
  public:
    explicit PtyModule(Registers regs) : regs_(std::move(regs)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyModule() {
        stop_ = true;
        thread_.join();
    }
    // After answering n requests the module goes away at the next one, as a pulled
    // adapter: the pty's master closes (the kernel then drops what the pty still held,
    // so the answers given have been read by then).
    void VanishAfter(int n) { vanishAfter_ = n; }
    // Each answer waits this long after its request.
    void DelayReplies(std::chrono::milliseconds delay) {
        delayMs_ = static_cast<int>(delay.count());
    }
    const std::string& Path() const { return pty_.SlavePath(); }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // The reply the module gives to a request for count registers at start.
    std::string Reply(unsigned start, unsigned count) const {
        return ReadReply(regs_, start, count);
    }

  private:
    void Run() {
        std::string pending;
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pty_.Master(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char buf[512];
            ssize_t n = read(pty_.Master(), buf, sizeof buf);
            if (n <= 0) continue;
            pending.append(buf, static_cast<std::size_t>(n));
            while (pending.size() >= 8) {
                std::string frame = pending.substr(0, 8);
                if (frame[1] != 3 || WithCrc(frame.substr(0, 6)) != frame) {
                    pending.erase(0, 1); // not a request here: look one byte on
                    continue;
                }
                pending.erase(0, 8);
                if (answered_ == vanishAfter_) {
                    pty_.CloseMaster();
                    return;
                }
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(SpacedHex(frame));
                }
                auto u = [&](int i) { return static_cast<unsigned char>(frame[i]); };
                std::string reply = Reply(u(2) << 8 | u(3), u(4) << 8 | u(5));
                if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
                if (write(pty_.Master(), reply.data(), reply.size()) < 0) break;
                ++answered_;
            }
        }
    }

    Registers regs_;
    testsupport::PtyPair pty_; // close-on-exec: the tool's copy would keep the pty alive
    std::atomic<bool> stop_{false};
    std::atomic<int> vanishAfter_{-1};
    std::atomic<int> delayMs_{0};
    int answered_ = 0;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

class SerialE2e : public ToolRun {
  protected:
    SerialE2e() : module_(MakeRegisters()) { LinkCom(3, module_.Path()); }
    static Registers MakeRegisters() {
        Registers regs;
        PutDouble(regs, 453, 12345.678);   // table row 1, register 454 asked at 453
        PutLong(regs, 461, 12345678);      // row 2
        PutMode32(regs, 1467, 7654321, 3); // row 3
        PutMode32(regs, 1496, 2301, 1);    // the manual poll below
        return regs;
    }
    PtyModule module_;

    static constexpr const char* Open = "pick ComboBox1 COM3\nclick BitBtn4\n";
};

TEST_F(SerialE2e, ADoubleClickedRowIsAskedOnTheLineAndItsReplyFillsTheGrid) {
    int status = -1;
    auto out = RunScript(std::string(Open) + "dump Label2\n"
                                             "dblclick StringGrid3 1\n"
                                             "wait 1000\n"
                                             "dump StringGrid3 Memo2\n",
                         &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    EXPECT_EQ(Field(out.Dump("Label2"), "text"), "OPEN") << Output();
    ASSERT_FALSE(module_.Requests().empty()) << Output();
    EXPECT_EQ(module_.Requests()[0], "0A 03 01 C5 00 04 54 B3");
    const Json grid = out.Dump("StringGrid3");
    EXPECT_EQ(Cell(grid, 2, 1), "12345.678000") << Output();
    EXPECT_EQ(Cell(grid, 6, 1), "energy") << "the note stays the note";
    EXPECT_EQ(Cell(grid, 2, 2), "     ") << "only the asked row is filled";
    EXPECT_THAT(Lines(out.Dump("Memo2")), Contains(MonitorHex(module_.Reply(453, 4)))) << Output();
}

TEST_F(SerialE2e, TheManualPollShowsItsValueAndTheReply) {
    auto out = RunScript(std::string(Open) + "text Edit11 1\n"
                                             "text ComboBox2 1496\n"
                                             "text ComboBox4 MODE_32\n"
                                             "click Button47\n"
                                             "wait 1000\n"
                                             "dump Edit20 Memo2 StringGrid3\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    ASSERT_FALSE(module_.Requests().empty()) << Output();
    EXPECT_EQ(module_.Requests()[0], SpacedHex(WithCrc(Bytes({10, 3, 0x05, 0xD8, 0, 4}))));
    EXPECT_EQ(Field(out.Dump("Edit20"), "text"), "230.1") << Output();
    EXPECT_EQ(Cell(out.Dump("StringGrid3"), 2, 1), "     ")
        << "a manual value stays out of the grid";
    EXPECT_THAT(Lines(out.Dump("Memo2")), Contains(MonitorHex(module_.Reply(1496, 4)))) << Output();
}

TEST_F(SerialE2e, AutoRegPollsTheTableRowByRow) {
    // Ticks every 700 ms: row 1 at 0.7 s (filled 250 ms later), row 2 at 1.4 s, row 3
    // at 2.1 s, nothing at 2.8 s, row 1 again at 3.5 s.
    auto out = RunScript(std::string(Open) + "click BitBtn2\n"
                                             "wait 1200\n"
                                             "dump StringGrid3\n"
                                             "wait 2000\n"
                                             "dump StringGrid3\n"
                                             "click Button42\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    auto requests = module_.Requests();
    ASSERT_GE(requests.size(), 3u) << Output();
    EXPECT_EQ(requests[0], "0A 03 01 C5 00 04 54 B3");
    EXPECT_EQ(requests[1], SpacedHex(WithCrc(Bytes({10, 3, 0x01, 0xCD, 0, 2}))));
    EXPECT_EQ(requests[2], SpacedHex(WithCrc(Bytes({10, 3, 0x05, 0xBB, 0, 3}))));
    auto grids = out.Dumps("StringGrid3");
    ASSERT_EQ(grids.size(), 2u) << Output();
    EXPECT_EQ(Cell(grids[0], 2, 1), "12345.678000");
    EXPECT_EQ(Cell(grids[0], 2, 2), "     ") << "row 2 is not asked yet";
    const std::vector<std::string> values = {"12345.678000", "12345678", "7654.321"};
    for (size_t row = 1; row <= values.size(); ++row) {
        EXPECT_EQ(Cell(grids[1], 2, row), values[row - 1]) << "row " << row;
        EXPECT_NE(Cell(grids[1], 6, row), values[row - 1]) << "row " << row << ", note column";
    }
}

TEST_F(SerialE2e, AnUnpluggedPortIsReportedAndTheToolKeepsRunning) {
    // Row 1 is answered at 0.7 s, the module is gone at row 2's request (1.4 s), row 3's
    // write (2.1 s) fails.
    module_.VanishAfter(1);
    int status = -1;
    auto out = RunScript(std::string(Open) + "click BitBtn2\n"
                                             "wait 2600\n"
                                             "click BitBtn4\n"
                                             "dump Label2 StringGrid3\n",
                         &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_THAT(out.Errors(), Contains("Failed to put entire block: the device of COM3 is gone (" +
                                       module_.Path() + ")"))
        << Output();
    EXPECT_EQ(Field(out.Dump("Label2"), "text"), "CLOSE") << Output();
    EXPECT_EQ(Cell(out.Dump("StringGrid3"), 2, 1), "12345.678000") << "the answer before it went";
}

TEST_F(SerialE2e, ASerialReplyDuringALongRciExchangeReachesTheWindowRightAfterIt) {
    // The LAN module's RCI service answers after 4 s; the module's serial reply comes
    // 0.5 s after its request, while the RCI exchange holds the window thread.
    rcitest::HttpServer lan({rcitest::Exchange{
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n"}, false, true, 4000}});
    std::string config;
    {
        std::ifstream in(Work() / "Config1.c", std::ios::binary);
        config.assign(std::istreambuf_iterator<char>(in), {});
    }
    Write("Config1.c", std::regex_replace(config, std::regex("RCI_Port: *[0-9]+"),
                                          "RCI_Port: " + std::to_string(lan.Port())));
    module_.DelayReplies(500ms);
    auto lines = Run(std::string(Open) + "text Edit4 127.0.0.1\n"
                                         "text Edit11 1\n"
                                         "text ComboBox2 1496\n"
                                         "text ComboBox4 MODE_32\n"
                                         "click Button47\n"
                                         "wait 200\n"
                                         "click BitBtn1\n" // the RCI exchange, 4 s
                                         "dump Edit20\n"
                                         "wait 400\n"
                                         "dump Edit20 Memo2\n"
                                         "state\n");
    ASSERT_EQ(lan.Requests().size(), 1u) << Output();
    auto edit = Dumps(lines, "Edit20");
    ASSERT_EQ(edit.size(), 2u) << Output();
    EXPECT_TRUE(Has(edit[0], "\"text\":\"\"")) << edit[0]; // not yet when the exchange ends
    EXPECT_TRUE(Has(edit[1], "\"text\":\"230.1\"")) << edit[1];
    auto memo = Dumps(lines, "Memo2");
    ASSERT_EQ(memo.size(), 1u) << Output();
    EXPECT_TRUE(Has(memo[0], MonitorHex(module_.Reply(1496, 4)))) << memo[0];
    std::string stateLine;
    for (const auto& line : lines)
        if (line.rfind("{\"RxBuffer\"", 0) == 0) stateLine = line;
    EXPECT_EQ(StateCounter(stateLine, "Good"), 1) << stateLine;
    EXPECT_EQ(StateCounter(stateLine, "NoReplies"), 0) << stateLine;
}

// The tool against rvex-sim's field module on the pty it publishes as COM3.
class SimE2e : public ToolRun {};

TEST_F(SimE2e, AutoRegReadsTheSimulatorsStaticValues) {
    LinkCom(3, "/rvex-nowhere/COM3");
    fs::remove(Com() / "COM3"); // the simulator publishes it
    SimProcess sim(Dir());
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    Write("Table1.c", "R-VEX end-to-end table against the simulator\n"
                      ">1468 M 3<1.8.0><En. attiva imp.>\n"
                      ">1524 l 2<C.8.0><Ore funzion. s>\n"
                      ">836 c 16<C.1.0><Matricola>\n");
    auto out = RunScript("pick ComboBox1 COM3\n"
                         "click BitBtn4\n"
                         "click BitBtn2\n"
                         "wait 3200\n"
                         "dump StringGrid3\n"
                         "click Button42\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    const Json grid = out.Dump("StringGrid3");
    EXPECT_EQ(Cell(grid, 2, 1), "12345.678") << Output();
    EXPECT_EQ(Cell(grid, 2, 2), "9876543");
    EXPECT_EQ(Cell(grid, 2, 3), "RVEX-SN-12345678");
}

TEST_F(SimE2e, ARegisterOutsideTheMapShowsTheModulesException) {
    LinkCom(3, "/rvex-nowhere/COM3");
    fs::remove(Com() / "COM3"); // the simulator publishes it
    SimProcess sim(Dir());
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    Write("Table1.c", "R-VEX end-to-end table with a register the module does not have\n"
                      ">1468 M 3<1.8.0><En. attiva imp.>\n"
                      ">9999 i 1<><outside the map>\n");
    auto lines = Run("pick ComboBox1 COM3\n"
                     "click BitBtn4\n"
                     "click BitBtn2\n"
                     "wait 2300\n" // rows 1 and 2 and the table's end
                     "click Button42\n"
                     "dump StringGrid3\n"
                     "state\n");
    EXPECT_FALSE(Has(Output(), "error:")) << Output();
    auto grid = Dumps(lines, "StringGrid3");
    ASSERT_EQ(grid.size(), 1u) << Output();
    auto cells = GridCells(grid[0]);
    ASSERT_GE(cells.size(), 3u) << grid[0];
    EXPECT_EQ(cells[1][2], "12345.678");
    EXPECT_EQ(cells[2][1], "9999");
    EXPECT_EQ(cells[2][2], "exception 02: illegal data address");
    std::string state;
    for (const auto& line : lines)
        if (line.rfind("{\"RxBuffer\"", 0) == 0) state = line;
    EXPECT_EQ(StateCounter(state, "Requests"), 2) << state;
    EXPECT_EQ(StateCounter(state, "Good"), 1) << state;
    EXPECT_EQ(StateCounter(state, "Exceptions"), 1) << state;
}

} // namespace

// rvex-sim held against clients no one here wrote: mbpoll and pymodbus over
// Modbus TCP, RTU OVER TCP and RTU on the pty; curl against the RCI service.
// Expected registers are computed here from the static values and the type
// layouts, not taken from the simulator.
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

using namespace simtest;

std::vector<unsigned> DoubleRegs(double value) { // least significant register first
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return {unsigned(bits & 0xFFFF), unsigned(bits >> 16 & 0xFFFF), unsigned(bits >> 32 & 0xFFFF),
            unsigned(bits >> 48)};
}

std::vector<unsigned> Mode32Regs(std::uint32_t raw, unsigned decimals) {
    return {raw >> 16, raw & 0xFFFF, decimals};
}

std::vector<unsigned> LongRegs(std::uint32_t value) {
    return {value & 0xFFFF, value >> 16};
}

std::vector<unsigned> CharRegs(const std::string& text) {
    std::vector<unsigned> out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        out.push_back(unsigned(static_cast<unsigned char>(text[i + 1])) << 8 |
                      static_cast<unsigned char>(text[i]));
    }
    return out;
}

struct Expected {
    int number; // register number as the tables write it; requested at number - 1
    std::vector<unsigned> regs;
};

const std::vector<Expected>& StaticMap() {
    static const std::vector<Expected> map = {
        {454, DoubleRegs(12345.678)},
        {482, DoubleRegs(230.1)},
        {510, DoubleRegs(0.95)},
        {1468, Mode32Regs(12345678, 3)},
        {1496, Mode32Regs(2301, 1)},
        {1548, Mode32Regs(950, 3)},
        {1512, LongRegs(12345678)},
        {1524, LongRegs(9876543)},
        {600, {3}},
        {602, {5000}},
        {605, {0x1A05}},
        {836, CharRegs("RVEX-SN-12345678")},
        {844, CharRegs("R-VEX SIM FW 1.9")},
    };
    return map;
}

std::string Joined(const std::vector<unsigned>& regs) {
    std::string out;
    for (unsigned r : regs)
        out += (out.empty() ? "" : " ") + std::to_string(r);
    return out;
}

class PeerSim : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.Ready()) << sim.Output(); }
    // Pins uuu: the module answers through the LAN module; the pty tests use their own.
    TempDir dir;
    SimProcess sim{dir.Path(), {"--pins", "uuu"}};
};

// mbpoll prints "[number]: <tab>value" per register.
std::vector<long> MbpollValues(const std::string& output) {
    std::vector<long> out;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '[') continue;
        std::size_t colon = line.find("]:");
        if (colon != std::string::npos)
            out.push_back(std::strtol(line.c_str() + colon + 2, nullptr, 10));
    }
    return out;
}

TEST_F(PeerSim, MbpollReadsTheMapOverModbusTcp) {
    std::string port = std::to_string(sim.Port("mb-tcp"));
    for (const Expected& e : StaticMap()) {
        RunResult r = RunProgram({"mbpoll", "-m", "tcp", "-a", "10", "-p", port, "-r",
                                  std::to_string(e.number), "-c", std::to_string(e.regs.size()),
                                  "-t", "4:hex", "-1", "127.0.0.1"});
        ASSERT_EQ(r.status, 0) << r.output;
        std::vector<unsigned> got;
        std::istringstream in(r.output);
        std::string line;
        while (std::getline(in, line)) {
            if (line.starts_with("["))
                got.push_back(std::stoul(line.substr(line.find("0x")), nullptr, 16));
        }
        EXPECT_EQ(got, e.regs) << e.number;
    }
    // 32-bit integers, low word first: mbpoll's own little-endian word order.
    RunResult ints = RunProgram({"mbpoll", "-m", "tcp", "-a", "10", "-p", port, "-r", "1512", "-c",
                                 "1", "-t", "4:int", "-1", "127.0.0.1"});
    EXPECT_EQ(MbpollValues(ints.output), std::vector<long>{12345678}) << ints.output;
}

TEST_F(PeerSim, MbpollSeesExceptionsAndSilence) {
    std::string port = std::to_string(sim.Port("mb-tcp"));
    RunResult unmapped =
        RunProgram({"mbpoll", "-m", "tcp", "-a", "10", "-p", port, "-r", "1", "-1", "127.0.0.1"});
    EXPECT_NE(unmapped.output.find("Illegal data address"), std::string::npos) << unmapped.output;
    RunResult input = RunProgram(
        {"mbpoll", "-m", "tcp", "-a", "10", "-p", port, "-r", "454", "-t", "3", "-1", "127.0.0.1"});
    EXPECT_NE(input.output.find("Illegal function"), std::string::npos) << input.output;
    RunResult other = RunProgram({"mbpoll", "-m", "tcp", "-a", "11", "-o", "0.5", "-p", port, "-r",
                                  "454", "-1", "127.0.0.1"});
    EXPECT_NE(other.output.find("timed out"), std::string::npos) << other.output;
}

TEST(PeerSerial, MbpollReadsTheMapOverRtuOnThePty) {
    TempDir dir;
    SimProcess sim(dir.Path()); // pins uua: the module answers on its RS485 line
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    for (const Expected& e : StaticMap()) {
        RunResult r = RunProgram({"mbpoll",
                                  "-m",
                                  "rtu",
                                  "-b",
                                  "19200",
                                  "-d",
                                  "8",
                                  "-s",
                                  "1",
                                  "-P",
                                  "none",
                                  "-a",
                                  "10",
                                  "-r",
                                  std::to_string(e.number),
                                  "-c",
                                  std::to_string(e.regs.size()),
                                  "-t",
                                  "4",
                                  "-1",
                                  "-o",
                                  "2",
                                  sim.Com()});
        ASSERT_EQ(r.status, 0) << r.output;
        std::vector<long> got = MbpollValues(r.output);
        std::vector<long> want(e.regs.begin(), e.regs.end()); // mbpoll shows them unsigned first
        EXPECT_EQ(got, want) << e.number << "\n" << r.output;
    }
}

std::vector<std::string> Pymodbus(const std::string& mode, const std::string& target,
                                  const std::vector<std::string>& ops, int slave = 10) {
    std::vector<std::string> argv = {"/usr/bin/python3", PEER_PYMODBUS, mode, target,
                                     std::to_string(slave)};
    argv.insert(argv.end(), ops.begin(), ops.end());
    RunResult r = RunProgram(argv, 60s);
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> lines;
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("ok") || line.starts_with("exception") || line.starts_with("error")) {
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines.size(), ops.size()) << r.output;
    return lines;
}

void CheckPymodbus(const std::string& mode, const std::string& target) {
    std::vector<std::string> ops;
    std::vector<std::string> want;
    for (const Expected& e : StaticMap()) {
        ops.push_back("h:" + std::to_string(e.number - 1) + ":" + std::to_string(e.regs.size()));
        want.push_back("ok " + Joined(e.regs));
    }
    ops.insert(ops.end(), {"i:453:4", "h:0:1", "h:453:126", "h:453:0", "h:1467:84", "h:1467:85"});
    want.insert(want.end(), {"exception 1", "exception 2", "exception 3", "exception 3"});
    std::vector<std::string> got = Pymodbus(mode, target, ops);
    ASSERT_EQ(got.size(), ops.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(got[i], want[i]) << mode << " " << ops[i];
    EXPECT_TRUE(got[ops.size() - 2].starts_with("ok ")) << got[ops.size() - 2]; // 1468 to 1551
    EXPECT_EQ(got[ops.size() - 1], "exception 2");
}

TEST_F(PeerSim, PymodbusOverModbusTcp) {
    CheckPymodbus("tcp", std::to_string(sim.Port("mb-tcp")));
}

TEST_F(PeerSim, PymodbusOverRtuOverTcp) {
    CheckPymodbus("rtu-tcp", std::to_string(sim.Port("rtu-tcp")));
}

TEST(PeerSerial, PymodbusOverRtuOnThePty) {
    TempDir dir;
    SimProcess sim(dir.Path());
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    CheckPymodbus("serial", sim.Com());
}

std::string CurlPost(int port, const std::string& file, const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {"curl",
                                     "-s",
                                     "-i",
                                     "--raw",
                                     "--max-time",
                                     "10",
                                     "--data-binary",
                                     "@" + std::string(RVEX_SITE_DIR) + "/" + file};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back("http://127.0.0.1:" + std::to_string(port) + "/UE/rci");
    RunResult r = RunProgram(argv);
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

TEST_F(PeerSim, CurlPostsRciDocumentsOnlyWithTheRightCredentials) {
    int port = sim.Port("rci");
    for (const std::vector<std::string>& credentials :
         {std::vector<std::string>{}, {"-u", "root:wrong"}, {"-u", "admin:wqzk"}}) {
        std::string out = CurlPost(port, "set_pin1.txt", credentials);
        EXPECT_TRUE(out.starts_with("HTTP/1.1 401 Unauthorized\r\n")) << out;
        EXPECT_NE(out.find("WWW-Authenticate: Basic"), std::string::npos);
    }
    std::string query = CurlPost(port, "RCI-queryGB.txt", {"-u", "root:wqzk"});
    EXPECT_NE(query.find("<pin1>unasserted"), std::string::npos)
        << "a refused request changed a pin";

    std::string set = CurlPost(port, "set_pin1.txt", {"-u", "root:wqzk"});
    EXPECT_TRUE(set.starts_with("HTTP/1.1 200 OK\r\n")) << set;
    query = CurlPost(port, "RCI-queryGB.txt", {"-u", "root:wqzk"});
    // --raw keeps the chunk framing: a three-digit size line right after the head.
    std::size_t body = query.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    std::string size = query.substr(body + 4, 5);
    EXPECT_EQ(size.substr(3), "\r\n");
    EXPECT_EQ(size.find_first_not_of("0123456789abcdef"), 3u) << size;
    EXPECT_NE(query.find("<pin1>asserted</pin1><pin2>unasserted</pin2><pin3>unasserted</pin3>"),
              std::string::npos)
        << query;
    EXPECT_TRUE(query.ends_with("\r\n0\r\n\r\n"));
}

} // namespace

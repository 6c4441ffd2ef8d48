#pragma once
// Helpers of the end-to-end and peer tests that run rvex-tool --headless: a working
// folder with the site's files and a private COM folder, the run of a script in it,
// the dump lines of its output, and the byte and register layouts the checks use.
#include "Hex.h"
#include "RunnerOutput.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace e2e {

using namespace simtest;
using testsupport::Cell;
using testsupport::Field;
using testsupport::Json;
using testsupport::Lines;
using testsupport::RunnerOutput;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

// "0A 03 ...": the requests as the tests record them.
inline std::string SpacedHex(const std::string& bytes) {
    return testsupport::Hex(bytes);
}

// The monitor's rendering of a reply: "_0A_03_..." for every byte.
inline std::string MonitorHex(const std::string& bytes) {
    return testsupport::Hex(bytes, "_", "");
}

using Registers = std::map<unsigned, unsigned>; // request address -> register value

inline void PutDouble(Registers& regs, unsigned at, double value) { // least significant first
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (unsigned k = 0; k < 4; ++k)
        regs[at + k] = unsigned(bits >> (16 * k) & 0xFFFF);
}
inline void PutLong(Registers& regs, unsigned at, std::uint32_t value) {
    regs[at] = value & 0xFFFF;
    regs[at + 1] = value >> 16;
}
inline void PutMode32(Registers& regs, unsigned at, std::uint32_t raw, unsigned decimals) {
    regs[at] = raw >> 16;
    regs[at + 1] = raw & 0xFFFF;
    regs[at + 2] = decimals;
}

// A working folder with the site's files, a private COM folder, and the tool run in it.
// The reply of slave 10 to a request for count registers at start, CRC included.
inline std::string ReadReply(const Registers& regs, unsigned start, unsigned count) {
    std::string frame = Bytes({10, 3, static_cast<int>(count * 2)});
    for (unsigned k = 0; k < count; ++k) {
        auto it = regs.find(start + k);
        unsigned v = it == regs.end() ? 0 : it->second;
        frame += Bytes({static_cast<int>(v >> 8), static_cast<int>(v & 0xFF)});
    }
    return WithCrc(frame);
}

class ToolRun : public ::testing::Test {
  protected:
    ToolRun() {
        fs::create_directories(Com());
        fs::create_directories(Work());
        for (const auto& entry : fs::directory_iterator(RVEX_SITE_DIR))
            fs::copy(entry.path(), Work() / entry.path().filename());
        Write("Table1.c", "R-VEX end-to-end table\n"
                          ">454 d 4<1.8.0><energy>\n"
                          ">462 l 2<1.8.1><counter>\n"
                          ">1468 M 3<1.8.2><mode32>\n");
    }
    const std::string& Dir() const { return dir_.Path(); }
    fs::path Com() const { return fs::path(dir_.Path()) / "com"; }
    fs::path Work() const { return fs::path(dir_.Path()) / "work"; }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(Work() / name, std::ios::binary) << text;
    }
    // Every other number points nowhere, so the tool never opens the machine's own
    // serial devices.
    void LinkCom(unsigned n, const std::string& target) {
        for (unsigned k = 1; k <= 49; ++k) {
            const fs::path link = Com() / ("COM" + std::to_string(k));
            std::error_code ec;
            fs::remove(link, ec);
            fs::create_symlink(k == n ? target : "/rvex-nowhere/COM" + std::to_string(k), link);
        }
    }
    // Runs the script in the working folder; its output read as control dumps, other
    // lines and errors.
    testsupport::RunnerOutput RunScript(const std::string& script, int* status = nullptr) {
        RunRaw(script, status);
        return testsupport::RunnerOutput(output_);
    }
    const std::string& Output() const { return output_; }

  private:
    void RunRaw(const std::string& script, int* status) {
        Write("script.txt", script);
        testsupport::ChildOptions options;
        options.workDir = Work().string();
        options.env["RVEX_COM_DIR"] = Com().string();
        RunResult r =
            RunProgram({RVEX_TOOL_BINARY, "--headless", "--script", "script.txt"}, 60s, options);
        output_ = r.output;
        if (status) *status = r.status;
    }

    TempDir dir_;
    std::string output_;
};

} // namespace e2e

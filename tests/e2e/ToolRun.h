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
#include <sstream>
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

// The "cells" of a grid's dump line, rows of columns, JSON strings decoded (\uXXXX as
// the Latin-1 byte the runner wrote); empty when the line has none.
inline std::vector<std::vector<std::string>> GridCells(const std::string& line) {
    std::vector<std::vector<std::string>> rows;
    size_t at = line.find("\"cells\":[");
    if (at == std::string::npos) return rows;
    at += 9;
    auto string = [&](std::string& out) {
        for (++at; at < line.size() && line[at] != '"'; ++at) {
            char c = line[at];
            if (c != '\\' || at + 1 >= line.size()) {
                out += c;
                continue;
            }
            c = line[++at];
            if (c == 'u' && at + 4 < line.size()) {
                out += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
                at += 4;
            } else {
                out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
            }
        }
        ++at; // the closing quote
    };
    while (at < line.size() && line[at] != ']') {
        if (line[at] != '[') {
            ++at; // a comma between rows
            continue;
        }
        std::vector<std::string> row;
        ++at;
        while (at < line.size() && line[at] != ']') {
            if (line[at] == '"') {
                row.emplace_back();
                string(row.back());
            } else {
                ++at;
            }
        }
        ++at;
        rows.push_back(std::move(row));
    }
    return rows;
}

// One number of the "Counters" object of a state line; -1 when missing.
inline long StateCounter(const std::string& line, const std::string& name) {
    size_t counters = line.find("\"Counters\":{");
    if (counters == std::string::npos) return -1;
    size_t at = line.find("\"" + name + "\":", counters);
    if (at == std::string::npos) return -1;
    return std::stol(line.substr(at + name.size() + 3));
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
    // Runs the script in the working folder; the output lines.
    std::vector<std::string> Run(const std::string& script, int* status = nullptr) {
        RunRaw(script, status);
        std::vector<std::string> lines;
        std::istringstream in(output_);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // The dump lines of one control, in order.
    static std::vector<std::string> Dumps(const std::vector<std::string>& lines,
                                          const std::string& name) {
        std::vector<std::string> out;
        for (const auto& line : lines)
            if (line.rfind("{\"name\":\"" + name + "\"", 0) == 0) out.push_back(line);
        return out;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
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

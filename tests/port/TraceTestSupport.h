#pragma once
// What the trace and log tests share: a port fixture with a scratch folder of its own
// for the files the dumps write.
#include "PortTestSupport.h"
#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace port::testing {

class TraceFixture : public PortFixture {
  protected:
    explicit TraceFixture(bool threads = false) : PortFixture(threads) {}
    // The port writes its last files while it closes, so it goes before the folder.
    ~TraceFixture() override { port.reset(); }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir / name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteText(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // Bytes that arrive and are moved into the input ring (no threads).
    void Arrive(const std::string& bytes) {
        ASSERT_TRUE(device.Deliver(bytes));
        port->ExtractData();
    }

    testsupport::TempFolder folder;
    std::filesystem::path dir = folder.Path();
};

} // namespace port::testing

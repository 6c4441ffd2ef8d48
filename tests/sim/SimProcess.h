// Test helpers: rvex-sim as a child process on free ports with a private COM
// folder, other programs run with a time limit, loopback and pty clients.
#pragma once

#include "ChildProcess.h"
#include "Hex.h"
#include "TempFolder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace simtest {

using namespace std::chrono_literals;

using testsupport::Hex;
using testsupport::RunProgram;
using testsupport::RunResult;
using TempDir = testsupport::TempFolder;

class SimProcess {
  public:
    // Starts rvex-sim --static on free ports (0) with its COM folder and ready
    // file in dir, plus extra; waits for its "ready" line (bounded).
    SimProcess(const std::string& dir, std::vector<std::string> extra = {});
    ~SimProcess();

    bool Ready() const { return ready_; }
    // Exit status once stopped, -1 while running or if it did not end in time.
    int Stop();
    int WaitExit(std::chrono::milliseconds limit);

    int Port(const std::string& name) const; // "rtu-tcp", "mb-tcp", "rci"
    std::string Com() const { return Info("com"); }
    std::string Pty() const { return Info("pty"); }
    std::string Info(const std::string& key) const;

    // Waits until a log line containing needle appears at or after line index from.
    bool WaitFor(const std::string& needle, std::size_t from = 0,
                 std::chrono::milliseconds limit = 10s);
    std::size_t LineCount();
    std::string Output();

  private:
    testsupport::ChildProcess child_;
    bool ready_ = false;
    std::map<std::string, std::string> info_;
};

// A connected loopback TCP socket, or -1.
int ConnectLocal(int port);

// Sends everything in one call; true when all was sent.
bool SendOnce(int fd, const std::string& data);

// Receives until done(received) holds, the peer closes or the limit passes.
std::string ReceiveUntil(int fd, const std::function<bool(const std::string&)>& done,
                         std::chrono::milliseconds limit = 5s);

// One recv call of at most n bytes, waiting at most limit; "" on timeout or close.
std::string ReceiveOnce(int fd, std::size_t n, std::chrono::milliseconds limit = 5s);

// True when the peer closed the connection within the limit.
bool ClosedByPeer(int fd, std::chrono::milliseconds limit = 5s);

// The port side of the pty, opened as a client opens a COM port.
int OpenPort(const std::string& path);

// Modbus RTU frame check written here from the polynomial, table-driven.
std::uint16_t Crc(const std::string& bytes);
std::string WithCrc(std::string frame);

} // namespace simtest

#pragma once
// A pseudo-terminal pair standing in for a serial line: the slave is the device a port
// opens by its name, the master is the peer at the other end. Both ends are raw (no
// echo, no line editing, no character translation) and close-on-exec, so a program
// the test starts never holds the pty open; the master does not block.
#include <cstddef>
#include <functional>
#include <string>

namespace testsupport {

class PtyPair {
  public:
    // Throws std::runtime_error when no pty can be had.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return master_; }
    int Slave() const { return slave_; }
    const std::string& SlavePath() const { return slavePath_; }

    // The peer goes away, as a pulled adapter does.
    void CloseMaster();

    // Writes all bytes to the master; while the pty is full, whileFull runs (to let the
    // port take its share). At most 10000 rounds; false when not everything went.
    bool WriteMaster(const std::string& bytes, const std::function<void()>& whileFull = {});

    // Reads from the master until count bytes came, the peer was silent for
    // silenceMs or the master failed; at most 1000 reads.
    std::string ReadMaster(size_t count, int silenceMs = 2000);

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace testsupport

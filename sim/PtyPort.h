// The field module's RS485 line as a pseudo terminal, and its publication as a
// COM port: a symlink COMn in the tool's COM folder pointing at the pty's slave.
#pragma once

#include <memory>
#include <string>
#include <variant>

namespace sim {

class PtyPort {
  public:
    // Opens a pty in raw mode. The simulator keeps a slave descriptor of its own
    // open for its whole life, so the master never reports a hang-up (and never
    // spins on EIO) while no client has the port open.
    static std::variant<std::unique_ptr<PtyPort>, std::string> Open();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Readable when a client opens or closes the slave (an inotify descriptor).
    int WatchFd() const { return watch_; }

    // Takes the open and close events; returns +1 when the first client opened
    // the port, -1 when the last one closed it, 0 otherwise. When the last
    // client has closed, exclusive use (TIOCEXCL) is lifted: a pty keeps it
    // while its master lives, so a client that set it could not open again.
    int OnWatch();

    // Applies row index (1 to 8) of the line-setting list; any other index leaves
    // 19200 baud, 8 data bits, no parity, 1 stop bit. A pty refuses parity, so
    // what it refuses is left out; bytes pass unchanged either way. Returns what
    // was set, as "19200,N,8,1", with a remark when something was refused.
    std::string ApplyLine(int index);

  private:
    PtyPort(int master, int slave, int watch, std::string path)
        : master_(master), slave_(slave), watch_(watch), slavePath_(std::move(path)) {}

    int master_;
    int slave_;
    int watch_;
    int clients_ = 0;
    std::string slavePath_;
};

// The COMn link in the COM folder; removed on destruction if it still points at
// the target it was made for.
class ComLink {
  public:
    // Creates the folder (and its parents) when missing. An existing COMn that is
    // a dangling link is replaced; one that points at an existing file is replaced
    // only when replace is true, otherwise that is an error (another simulator or
    // a real adapter may own the number); anything but a link is never touched.
    static std::variant<std::unique_ptr<ComLink>, std::string>
    Publish(const std::string& folder, int number, const std::string& target, bool replace);
    ~ComLink();
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;

    const std::string& Path() const { return path_; }

  private:
    ComLink(std::string path, std::string target)
        : path_(std::move(path)), target_(std::move(target)) {}

    std::string path_;
    std::string target_;
};

} // namespace sim

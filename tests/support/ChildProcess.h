#pragma once
// Another program run beside a test: its standard output (and, unless asked otherwise,
// its standard error) read by a thread of its own into text and lines, every wait on
// it bounded, and the program stopped and reaped at the end.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ChildOptions {
    std::string workDir;                                   // "" : the test's own
    std::map<std::string, std::optional<std::string>> env; // set, or nullopt: removed
    bool captureStderr = true;                             // false: to /dev/null
};

class ChildProcess {
  public:
    // Starts argv[0] (searched in PATH) with standard input from /dev/null.
    explicit ChildProcess(const std::vector<std::string>& argv, ChildOptions options = {});
    // Stops the program (SIGTERM, after 10 s SIGKILL) if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }

    // Waits until a complete output line at index from or later contains needle; false
    // when the limit passed or the output ended first.
    bool WaitFor(const std::string& needle, std::chrono::milliseconds limit, size_t from = 0);
    // Waits until the program closed its output; false when the limit passed first.
    bool WaitForOutputEnd(std::chrono::milliseconds limit);
    // The exit status (128 + signal for a killed program) once it ended within the
    // limit, -1 otherwise.
    int WaitExit(std::chrono::milliseconds limit);
    // SIGTERM, then WaitExit(limit).
    int Stop(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // SIGKILL, and the program reaped.
    void Kill();

    std::string Output();
    std::vector<std::string> Lines();
    size_t LineCount();

  private:
    void Read(int fd);
    bool FindLocked(const std::string& needle, size_t from) const;

    pid_t pid_ = -1;
    int status_ = -1;
    bool stopReading_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    std::vector<std::string> lines_;
    bool ended_ = false;
};

struct RunResult {
    int status = -1; // exit status; -1 when killed at the time limit
    std::string output;
};

// Runs a program to its end, at most limit; what it wrote and its status.
RunResult RunProgram(const std::vector<std::string>& argv,
                     std::chrono::milliseconds limit = std::chrono::seconds(20),
                     ChildOptions options = {});

} // namespace testsupport

#include "ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// The environment of the child: the test's own with the options' changes.
std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!options.env.count(name)) env.push_back(entry);
    }
    for (const auto& [name, value] : options.env)
        if (value) env.push_back(name + "=" + *value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// The child's exit status once it ended within limit, -1 otherwise. A pidfd becomes
// readable when the child ends, so no polling loop is needed.
int WaitPid(pid_t pid, std::chrono::milliseconds limit) {
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        pollfd p{pidFd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(limit.count()));
        close(pidFd);
        if (ready <= 0) return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, pidFd >= 0 ? 0 : WNOHANG) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, ChildOptions options) {
    int pipeFds[2];
    if (argv.empty() || pipe2(pipeFds, O_CLOEXEC) != 0) return;
    // Everything the child needs is made before the fork: after it, in a process with
    // threads, only async-signal-safe calls are allowed.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChildEnvironment(options);
    std::vector<char*> argp = Pointers(args), envp = Pointers(env);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(devNull, 0);
        dup2(pipeFds[1], 1);
        dup2(options.captureStderr ? pipeFds[1] : devNull, 2);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
        execvpe(argp[0], argp.data(), envp.data());
        static const char message[] = "cannot run the program\n";
        (void)!write(2, message, sizeof message - 1);
        _exit(127);
    }
    close(devNull);
    close(pipeFds[1]);
    if (pid_ < 0) {
        close(pipeFds[0]);
        return;
    }
    reader_ = std::thread(&ChildProcess::Read, this, pipeFds[0]);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGTERM);
        status_ = WaitPid(pid_, std::chrono::seconds(10));
        if (status_ < 0) {
            kill(pid_, SIGKILL);
            WaitPid(pid_, std::chrono::seconds(10));
        }
    }
    {
        std::lock_guard lock(mutex_);
        stopReading_ = true; // a grandchild may still hold the pipe open
    }
    if (reader_.joinable()) reader_.join();
}

void ChildProcess::Read(int fd) {
    std::string partial;
    char buf[4096];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopReading_) break;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 100);
        if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
        const ssize_t n = ready > 0 ? read(fd, buf, sizeof buf) : -1;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard lock(mutex_);
        output_.append(buf, static_cast<size_t>(n));
        partial.append(buf, static_cast<size_t>(n));
        for (size_t end; (end = partial.find('\n')) != std::string::npos;) {
            lines_.push_back(partial.substr(0, end));
            partial.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    close(fd);
    std::lock_guard lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    ended_ = true;
    changed_.notify_all();
}

bool ChildProcess::FindLocked(const std::string& needle, size_t from) const {
    for (size_t i = from; i < lines_.size(); ++i)
        if (lines_[i].find(needle) != std::string::npos) return true;
    return false;
}

bool ChildProcess::WaitFor(const std::string& needle, std::chrono::milliseconds limit,
                           size_t from) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [&] { return ended_ || FindLocked(needle, from); });
    return FindLocked(needle, from);
}

bool ChildProcess::WaitForOutputEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return ended_ || pid_ <= 0; });
}

int ChildProcess::WaitExit(std::chrono::milliseconds limit) {
    if (pid_ > 0 && status_ < 0) status_ = WaitPid(pid_, limit);
    return status_;
}

int ChildProcess::Stop(std::chrono::milliseconds limit) {
    if (pid_ <= 0) return -1;
    if (status_ < 0) kill(pid_, SIGTERM);
    return WaitExit(limit);
}

void ChildProcess::Kill() {
    if (pid_ <= 0 || status_ >= 0) return;
    kill(pid_, SIGKILL);
    status_ = WaitPid(pid_, std::chrono::seconds(10));
}

std::string ChildProcess::Output() {
    std::lock_guard lock(mutex_);
    return output_;
}

std::vector<std::string> ChildProcess::Lines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

size_t ChildProcess::LineCount() {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

RunResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                     ChildOptions options) {
    RunResult result;
    const auto deadline = Clock::now() + limit;
    ChildProcess child(argv, std::move(options));
    if (!child.Started()) return result;
    if (!child.WaitForOutputEnd(limit)) {
        child.Kill();
        result.output = child.Output() + "\n[killed at the time limit]";
        return result;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    result.status =
        child.WaitExit(std::max(left, std::chrono::milliseconds(0)) + std::chrono::seconds(1));
    result.output = child.Output();
    return result;
}

} // namespace testsupport

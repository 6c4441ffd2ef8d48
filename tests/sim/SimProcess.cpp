#include "SimProcess.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

pid_t Spawn(const std::vector<std::string>& argv, int& outFd) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        std::fprintf(stderr, "cannot run %s\n", args[0]);
        _exit(127);
    }
    close(pipeFds[1]);
    outFd = pipeFds[0];
    return pid;
}

int WaitPid(pid_t pid, std::chrono::milliseconds limit) {
    // A pidfd becomes readable when the child ends: no polling loop needed.
    int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        pollfd p{pidFd, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(limit.count()));
        close(pidFd);
        if (ready <= 0) return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, pidFd >= 0 ? 0 : WNOHANG) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TempDir::TempDir() {
    char pattern[] = "/tmp/rvex-sim-test-XXXXXX";
    char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

SimProcess::SimProcess(const std::string& dir, std::vector<std::string> extra) {
    std::vector<std::string> argv = {RVEX_SIM_PATH,       "--static",
                                     "--com-dir",         dir + "/com",
                                     "--ready-file",      dir + "/ready",
                                     "--rtu-tcp-port",    "0",
                                     "--modbus-tcp-port", "0",
                                     "--rci-port",        "0"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    int fd = -1;
    pid_ = Spawn(argv, fd);
    if (pid_ < 0) return;
    reader_ = std::thread(&SimProcess::Reader, this, fd);
    {
        std::unique_lock lock(mutex_);
        ready_ = changed_.wait_for(lock, 20s, [&] {
            for (const std::string& line : lines_) {
                if (line == "ready") return true;
            }
            return eof_;
        }) && !eof_;
    }
    if (!ready_) return;
    std::ifstream in(dir + "/ready");
    std::string key, value;
    while (in >> key) {
        std::getline(in >> std::ws, value);
        info_[key] = value;
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGTERM);
        if (WaitPid(pid_, 10s) < 0) {
            kill(pid_, SIGKILL);
            WaitPid(pid_, 10s);
        }
    }
    if (reader_.joinable()) reader_.join();
}

void SimProcess::Reader(int fd) {
    std::string partial;
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        partial.append(buf, static_cast<std::size_t>(n));
        std::size_t end;
        std::lock_guard lock(mutex_);
        while ((end = partial.find('\n')) != std::string::npos) {
            lines_.push_back(partial.substr(0, end));
            partial.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    close(fd);
    std::lock_guard lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    eof_ = true;
    changed_.notify_all();
}

int SimProcess::Stop() {
    if (pid_ <= 0) return -1;
    if (status_ < 0) {
        kill(pid_, SIGTERM);
        status_ = WaitPid(pid_, 10s);
    }
    return status_;
}

int SimProcess::WaitExit(std::chrono::milliseconds limit) {
    if (pid_ > 0 && status_ < 0) status_ = WaitPid(pid_, limit);
    return status_;
}

std::string SimProcess::Info(const std::string& key) const {
    auto it = info_.find(key);
    return it == info_.end() ? "" : it->second;
}

int SimProcess::Port(const std::string& name) const {
    return std::atoi(Info(name).c_str());
}

bool SimProcess::WaitFor(const std::string& needle, std::size_t from,
                         std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (lines_[i].find(needle) != std::string::npos) return true;
        }
        return eof_;
    }) && [&] {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (lines_[i].find(needle) != std::string::npos) return true;
        }
        return false;
    }();
}

std::size_t SimProcess::LineCount() {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::string SimProcess::Output() {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const std::string& line : lines_)
        out += line + "\n";
    return out;
}

RunResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    RunResult result;
    int fd = -1;
    pid_t pid = Spawn(argv, fd);
    if (pid < 0) return result;
    auto deadline = Clock::now() + limit;
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, MillisLeft(deadline));
        if (ready <= 0) {
            kill(pid, SIGKILL);
            WaitPid(pid, 10s);
            close(fd);
            result.output += "\n[killed at the time limit]";
            return result;
        }
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        result.output.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    result.status = WaitPid(pid, std::chrono::milliseconds(MillisLeft(deadline) + 1000));
    return result;
}

int ConnectLocal(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendOnce(int fd, const std::string& data) {
    return send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

std::string ReceiveOnce(int fd, std::size_t n, std::chrono::milliseconds limit) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) <= 0) return {};
    std::string out(n, '\0');
    ssize_t got = recv(fd, out.data(), n, 0);
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

std::string ReceiveUntil(int fd, const std::function<bool(const std::string&)>& done,
                         std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    std::string out;
    char buf[4096];
    while (!done(out)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, MillisLeft(deadline)) <= 0) break;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

bool ClosedByPeer(int fd, std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    char buf[256];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, MillisLeft(deadline)) <= 0) return false;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        if (n < 0) return false;
    }
}

int OpenPort(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

std::uint16_t Crc(const std::string& bytes) {
    static const auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned v = i;
            for (int k = 0; k < 8; ++k)
                v = v & 1 ? (v >> 1) ^ 0xA001 : v >> 1;
            t[i] = static_cast<std::uint16_t>(v);
        }
        return t;
    }();
    std::uint16_t crc = 0xFFFF;
    for (unsigned char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ c) & 0xFF]);
    return crc;
}

std::string WithCrc(std::string frame) {
    std::uint16_t crc = Crc(frame);
    frame += static_cast<char>(crc & 0xFF);
    frame += static_cast<char>(crc >> 8);
    return frame;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char cell[4];
    for (unsigned char c : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", c);
        out += cell;
    }
    return out;
}

} // namespace simtest

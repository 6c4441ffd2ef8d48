#include "SimProcess.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::vector<std::string> SimArguments(const std::string& dir, std::vector<std::string> extra) {
    std::vector<std::string> argv = {RVEX_SIM_PATH,       "--static",
                                     "--com-dir",         dir + "/com",
                                     "--ready-file",      dir + "/ready",
                                     "--rtu-tcp-port",    "0",
                                     "--modbus-tcp-port", "0",
                                     "--rci-port",        "0"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

} // namespace

SimProcess::SimProcess(const std::string& dir, std::vector<std::string> extra)
    : child_(SimArguments(dir, std::move(extra))) {
    // "ready" is a line of its own; the output ending first means the simulator failed.
    if (!child_.WaitFor("ready", 20s)) return;
    for (const std::string& line : child_.Lines())
        ready_ = ready_ || line == "ready";
    if (!ready_) return;
    std::ifstream in(dir + "/ready");
    std::string key, value;
    while (in >> key) {
        std::getline(in >> std::ws, value);
        info_[key] = value;
    }
}

SimProcess::~SimProcess() = default;

int SimProcess::Stop() {
    return child_.Stop(10s);
}

int SimProcess::WaitExit(std::chrono::milliseconds limit) {
    return child_.WaitExit(limit);
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
    return child_.WaitFor(needle, limit, from);
}

std::size_t SimProcess::LineCount() {
    return child_.LineCount();
}

std::string SimProcess::Output() {
    return child_.Output();
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

} // namespace simtest

#include "tool/RciSocket.h"

#include "port/SocketLib.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tool {

RciTimeLimits RciLimits = RciDefaultTimeLimits;

namespace {

using Steady = std::chrono::steady_clock;

int MsLeft(Steady::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

uint32_t RciParseAddress(const std::string& text) {
    return inet_addr(text.c_str());
}

std::string RciDottedAddress(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

RciSocket::~RciSocket() {
    Close();
}

void RciSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int RciSocket::Create() {
    Close();
    // Non-blocking underneath, so that every wait can be bounded with poll.
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd_ < 0 ? port::TranslateSocketError(errno) : 0;
}

int RciSocket::WaitFor(short events, int timeoutMs) {
    Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd_, events, 0};
        int n = ::poll(&p, 1, MsLeft(deadline));
        if (n > 0) return 0; // ready, or an error the next call reports
        if (n == 0) return RciErrTimedOut;
        if (errno != EINTR) return port::TranslateSocketError(errno);
        if (MsLeft(deadline) == 0) return RciErrTimedOut;
    }
}

int RciSocket::Connect(uint32_t address, uint16_t port, int timeoutMs) {
    if (address == htonl(INADDR_ANY) || address == htonl(INADDR_NONE)) return RciErrAddrNotAvail;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return port::TranslateSocketError(errno);
    if (int err = WaitFor(POLLOUT, timeoutMs)) return err;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        return port::TranslateSocketError(errno);
    return soError ? port::TranslateSocketError(soError) : 0;
}

int RciSocket::SendAll(const char* data, size_t size, size_t& sent, int timeoutMs) {
    sent = 0;
    while (sent < size) {
        ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n == 0) {
            return RciErrNoProgress;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (int err = WaitFor(POLLOUT, timeoutMs)) return err;
        } else if (errno != EINTR) {
            return port::TranslateSocketError(errno);
        }
    }
    return 0;
}

int RciSocket::Receive(char* buffer, size_t capacity, size_t& received, int timeoutMs) {
    received = 0;
    Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, capacity, 0);
        if (n >= 0) {
            received = static_cast<size_t>(n);
            return 0;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (int err = WaitFor(POLLIN, MsLeft(deadline))) return err;
        } else if (errno != EINTR) {
            return port::TranslateSocketError(errno);
        }
    }
}

} // namespace tool

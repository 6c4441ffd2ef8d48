// The RCI client's connection on Windows: Windows Sockets 2 (started once, version 2.0)
// with its blocking calls. The connection attempt alone is made non-blocking and waited
// for with select, so that it keeps its time limit; sending and receiving are blocking
// calls bounded by the socket's send and receive time-outs.
#include "tool/RciSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>

namespace tool {

RciTimeLimits RciLimits = RciDefaultTimeLimits;

namespace {

// 0, or the start-up's own error number.
int StartSockets() {
    static int result = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 0), &data);
    }();
    return result;
}

SOCKET AsSocket(int fd) {
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd));
}

// Waits at most timeoutMs for the socket to be writable (connected) or to fail.
int WaitConnected(SOCKET s, int timeoutMs) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int n = select(0, nullptr, &writable, &failed, &limit);
    if (n == 0) return RciErrTimedOut;
    if (n < 0) return WSAGetLastError();
    int soError = 0;
    int len = sizeof soError;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
        return WSAGetLastError();
    return soError;
}

void SetTimeout(SOCKET s, int option, int timeoutMs) {
    DWORD ms = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1;
    setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms);
}

} // namespace

uint32_t RciParseAddress(const std::string& text) {
    if (StartSockets() != 0) return INADDR_NONE;
    return inet_addr(text.c_str());
}

std::string RciDottedAddress(uint32_t address) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

RciSocket::~RciSocket() {
    Close();
}

void RciSocket::Close() {
    if (fd_ >= 0) closesocket(AsSocket(fd_));
    fd_ = -1;
}

int RciSocket::Create() {
    Close();
    if (int err = StartSockets()) return err;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    fd_ = static_cast<int>(s);
    return 0;
}

int RciSocket::WaitFor(short, int) {
    return 0; // the blocking calls wait by themselves, within the socket's time-outs
}

int RciSocket::Connect(uint32_t address, uint16_t port, int timeoutMs) {
    if (address == htonl(INADDR_ANY) || address == htonl(INADDR_NONE)) return RciErrAddrNotAvail;
    SOCKET s = AsSocket(fd_);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    u_long nonBlocking = 1;
    ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking);
    int err = 0;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) err = WaitConnected(s, timeoutMs);
    }
    u_long blocking = 0;
    ioctlsocket(s, static_cast<long>(FIONBIO), &blocking);
    return err;
}

int RciSocket::SendAll(const char* data, size_t size, size_t& sent, int timeoutMs) {
    sent = 0;
    SOCKET s = AsSocket(fd_);
    SetTimeout(s, SO_SNDTIMEO, timeoutMs);
    while (sent < size) {
        const size_t chunk = std::min<size_t>(size - sent, 1 << 20);
        int n = send(s, data + sent, static_cast<int>(chunk), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n == 0) {
            return RciErrNoProgress;
        } else {
            return WSAGetLastError();
        }
    }
    return 0;
}

int RciSocket::Receive(char* buffer, size_t capacity, size_t& received, int timeoutMs) {
    received = 0;
    SOCKET s = AsSocket(fd_);
    SetTimeout(s, SO_RCVTIMEO, timeoutMs);
    const int limit = static_cast<int>(std::min<size_t>(capacity, 1 << 20));
    int n = recv(s, buffer, limit, 0);
    if (n >= 0) {
        received = static_cast<size_t>(n);
        return 0;
    }
    return WSAGetLastError();
}

} // namespace tool

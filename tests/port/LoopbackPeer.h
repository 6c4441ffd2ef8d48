#pragma once
// Plain blocking sockets on 127.0.0.1 for the far end of the network port's tests, and
// a bounded pump of the window thread's loop. Every wait here has a limit.
#include "port/Socket.h"
#include "winsys/EventLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace loopback {

// An owned descriptor.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline port::TSockAddrIn LoopbackAddr(uint16_t port) {
    port::TSockAddrIn a;
    a.sin_family = port::AfInet;
    a.sin_port = htons(port);
    a.sin_addr.S_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
inline Fd Listen() {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(0);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd.Get(), 8) != 0)
        return Fd();
    return fd;
}

// A port on 127.0.0.1 where nothing listens (taken from the system, then released).
inline uint16_t ClosedPort() {
    Fd fd = Listen();
    return LocalPort(fd.Get());
}

inline Fd Connect(uint16_t port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
    return fd;
}

inline bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

inline Fd Accept(int listener, int ms = 2000) {
    if (!Readable(listener, ms)) return Fd();
    return Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

inline bool SendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until Count bytes came, the peer closed or ms passed.
inline std::string ReceiveSome(int fd, size_t count, int ms = 2000) {
    std::string got;
    while (got.size() < count && Readable(fd, ms)) {
        char buf[4096];
        ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - got.size()), 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

// Closes with a reset instead of a clean end.
inline void Reset(Fd& fd) {
    linger l{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    fd.Reset();
}

// Runs the loop until Pred holds, at most about three seconds.
template <class Pred> bool PumpUntil(winsys::EventLoop& loop, Pred pred) {
    for (int i = 0; i < 3000 && !pred(); ++i)
        loop.RunFor(1);
    return pred();
}

} // namespace loopback

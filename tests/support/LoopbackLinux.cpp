#include "Loopback.h"

#include <algorithm>

namespace testsupport {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

namespace {

Fd BoundSocket() {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(0);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
    return fd;
}

} // namespace

Fd Listen(int backlog) {
    Fd fd = BoundSocket();
    if (!fd || ::listen(fd.Get(), backlog) != 0) return Fd();
    return fd;
}

RefusingPort::RefusingPort() : bound_(BoundSocket()), port_(bound_ ? LocalPort(bound_.Get()) : 0) {}

uint16_t ClosedPort() {
    Fd fd = Listen();
    return LocalPort(fd.Get());
}

Fd Connect(uint16_t port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
    return fd;
}

bool Readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

Fd Accept(int listener, int ms) {
    if (!Readable(listener, ms)) return Fd();
    return Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

bool SendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string ReceiveSome(int fd, size_t count, int ms) {
    std::string got;
    while (got.size() < count && Readable(fd, ms)) {
        char buf[4096];
        ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - got.size()), 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

void Reset(Fd& fd) {
    linger l{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    fd.Reset();
}

} // namespace testsupport

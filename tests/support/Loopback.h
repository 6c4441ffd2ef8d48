#pragma once
// Plain sockets on 127.0.0.1 for the far end of the tests' connections. Every wait
// here has a limit.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace testsupport {

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

sockaddr_in Loopback(uint16_t port);
// The local port a socket is bound to.
uint16_t LocalPort(int fd);
// A listening socket on 127.0.0.1 with a port of the system's choice.
Fd Listen(int backlog = 8);
// A port on 127.0.0.1 where nothing listens: taken from the system, then released,
// for a peer that will listen there or for a connection that must be refused.
uint16_t ClosedPort();
// A port on 127.0.0.1 bound but never listening: connections to it are refused, and
// nothing else can take it, while this lives.
class RefusingPort {
  public:
    RefusingPort();
    uint16_t Port() const { return port_; }

  private:
    Fd bound_;
    uint16_t port_ = 0;
};
// A connected socket to 127.0.0.1:port, or an empty Fd.
Fd Connect(uint16_t port);
bool Readable(int fd, int ms);
Fd Accept(int listener, int ms = 2000);
bool SendAll(int fd, const std::string& data);
// Reads until count bytes came, the peer closed or it was silent for ms.
std::string ReceiveSome(int fd, size_t count, int ms = 2000);
// Closes with a reset instead of a clean end.
void Reset(Fd& fd);

} // namespace testsupport

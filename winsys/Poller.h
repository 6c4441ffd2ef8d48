#pragma once
// The one place where the window thread touches epoll and eventfd: a level-triggered
// readiness set plus a wake-up descriptor that other threads signal.
#include <cstdint>
#include <vector>

namespace winsys {

enum FdEvents : unsigned {
    FdReadable = 1u << 0,
    FdWritable = 1u << 1,
    FdHangUp = 1u << 2,
    FdError = 1u << 3,
};

class Poller {
  public:
    struct Ready {
        uint64_t token;
        unsigned events; // FdEvents
    };

    Poller(); // raises winsys::Exception when the kernel refuses
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    // token 0 is reserved for the wake-up descriptor.
    void Add(int fd, unsigned events, uint64_t token);
    void Modify(int fd, unsigned events, uint64_t token);
    void Remove(int fd);

    // Waits at most timeoutMs (-1: no limit, 0: just look). Wake-ups are consumed
    // and not reported.
    std::vector<Ready> Wait(int timeoutMs);
    // The same into out (at most capacity entries), returning their number; allocates
    // nothing, so a loop woken for every message stays free of heap traffic.
    int Wait(int timeoutMs, Ready* out, int capacity);

    // Any thread: makes a pending or the next Wait return.
    void Wake();

    int Fd() const { return epollFd_; }

  private:
    int epollFd_ = -1;
    int wakeFd_ = -1;
};

} // namespace winsys

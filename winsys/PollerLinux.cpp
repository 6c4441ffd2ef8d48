#include "winsys/Poller.h"

#include "winsys/Exception.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace winsys {

namespace {

[[noreturn]] void RaiseErrno(const char* what) {
    throw Exception(std::string(what) + ": " + std::strerror(errno));
}

uint32_t ToEpoll(unsigned events) {
    uint32_t e = 0;
    if (events & FdReadable) e |= EPOLLIN | EPOLLRDHUP;
    if (events & FdWritable) e |= EPOLLOUT;
    return e;
}

unsigned FromEpoll(uint32_t e) {
    unsigned events = 0;
    if (e & EPOLLIN) events |= FdReadable;
    if (e & EPOLLOUT) events |= FdWritable;
    if (e & (EPOLLHUP | EPOLLRDHUP)) events |= FdHangUp;
    if (e & EPOLLERR) events |= FdError;
    return events;
}

} // namespace

Poller::Poller() {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) RaiseErrno("epoll_create1");
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        close(epollFd_);
        RaiseErrno("eventfd");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) < 0) RaiseErrno("epoll_ctl");
}

Poller::~Poller() {
    close(wakeFd_);
    close(epollFd_);
}

void Poller::Add(int fd, unsigned events, uint64_t token) {
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.u64 = token;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) < 0) RaiseErrno("epoll_ctl(add)");
}

void Poller::Modify(int fd, unsigned events, uint64_t token) {
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.u64 = token;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev) < 0) RaiseErrno("epoll_ctl(mod)");
}

void Poller::Remove(int fd) {
    // A descriptor that was already closed has left the set by itself.
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

std::vector<Poller::Ready> Poller::Wait(int timeoutMs) {
    Ready ready[64];
    int n = Wait(timeoutMs, ready, 64);
    return std::vector<Ready>(ready, ready + n);
}

int Poller::Wait(int timeoutMs, Ready* out, int capacity) {
    if (capacity <= 0) return 0;
    epoll_event events[64];
    int n = epoll_wait(epollFd_, events, capacity < 64 ? capacity : 64, timeoutMs);
    if (n < 0) {
        if (errno == EINTR) return 0;
        RaiseErrno("epoll_wait");
    }
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == 0) {
            // One read takes the whole count and leaves the descriptor unready.
            uint64_t wakes;
            [[maybe_unused]] ssize_t taken = read(wakeFd_, &wakes, sizeof wakes);
            continue;
        }
        out[count++] = Ready{events[i].data.u64, FromEpoll(events[i].events)};
    }
    return count;
}

void Poller::Wake() {
    uint64_t one = 1;
    // EAGAIN means the counter is already non-zero: a wake-up is pending anyway.
    [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
}

} // namespace winsys

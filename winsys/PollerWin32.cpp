// The poller on Windows. The event loop waits on the thread's message queue there, and
// sockets report to windows, so the poller only wakes the thread that created it (a
// thread message, which ends any wait for input) and watches no descriptor.
#include "winsys/Poller.h"

#include "winsys/Exception.h"
#include "winsys/Win32.h"

namespace winsys {

namespace {

[[noreturn]] void NoDescriptors() {
    throw Exception("descriptor watches are not available on Windows");
}

} // namespace

// There is no descriptor here: wakeFd_ holds the id of the thread to wake.
Poller::Poller() : epollFd_(-1), wakeFd_(static_cast<int>(GetCurrentThreadId())) {}

Poller::~Poller() = default;

void Poller::Add(int, unsigned, uint64_t) {
    NoDescriptors();
}
void Poller::Modify(int, unsigned, uint64_t) {
    NoDescriptors();
}
void Poller::Remove(int) {}

std::vector<Poller::Ready> Poller::Wait(int timeoutMs) {
    Wait(timeoutMs, nullptr, 0);
    return {};
}

int Poller::Wait(int timeoutMs, Ready*, int) {
    MsgWaitForMultipleObjectsEx(0, nullptr,
                                timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs),
                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return 0;
}

void Poller::Wake() {
    PostThreadMessageW(static_cast<DWORD>(wakeFd_), WM_NULL, 0, 0);
}

} // namespace winsys

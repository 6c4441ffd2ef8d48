#include "winsys/Clock.h"

#include <atomic>
#include <chrono>

namespace winsys {

int64_t SteadyClock::NowMs() const {
    return NowUs() / 1000;
}

int64_t SteadyClock::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

SteadyClock steadyClock;
std::atomic<Clock*> installedClock{nullptr};

} // namespace

Clock& CurrentClock() {
    Clock* clock = installedClock.load(std::memory_order_acquire);
    return clock ? *clock : steadyClock;
}

Clock* SetCurrentClock(Clock* clock) {
    return installedClock.exchange(clock, std::memory_order_acq_rel);
}

} // namespace winsys

#include "port/DispatcherSignals.h"

#include <chrono>

namespace port {

int TDispatcherSignals::Group(uint32_t signals) {
    if (signals & ComEventSignal) return 0;
    if (signals & ComEventDone) return 1;
    if (signals & ThreadStateSignal) return 2;
    return 3; // the output thread's signals
}

void TDispatcherSignals::Create() {
    std::lock_guard lock(mutex_);
    state_ = 0;
    valid_ = true;
}

void TDispatcherSignals::Close() {
    {
        std::lock_guard lock(mutex_);
        valid_ = false;
        state_ = 0;
    }
    for (auto& waiters : waiters_)
        waiters.notify_all();
}

bool TDispatcherSignals::Valid() const {
    std::lock_guard lock(mutex_);
    return valid_;
}

void TDispatcherSignals::Set(uint32_t signals) {
    {
        std::lock_guard lock(mutex_);
        if (!valid_) return;
        state_ |= signals;
    }
    for (int group = 0; group < 4; ++group) {
        static constexpr uint32_t members[4] = {ComEventSignal, ComEventDone, ThreadStateSignal,
                                                OutDataSignal | OutWriteDoneSignal |
                                                    OutAbortSignal};
        if (signals & members[group]) waiters_[group].notify_all();
    }
}

void TDispatcherSignals::Reset(uint32_t signals) {
    std::lock_guard lock(mutex_);
    state_ &= ~signals;
}

uint32_t TDispatcherSignals::TakeLocked(uint32_t signals) {
    uint32_t ready = state_ & signals;
    if (!ready) return 0;
    uint32_t first = ready & (~ready + 1); // lowest set bit
    if (!(first & ManualReset)) state_ &= ~first;
    return first;
}

uint32_t TDispatcherSignals::Wait(uint32_t signals, int64_t timeoutMs) {
    std::unique_lock lock(mutex_);
    std::condition_variable& waiters = waiters_[Group(signals)];
    auto ready = [&] { return !valid_ || (state_ & signals) != 0; };
    if (timeoutMs < 0) {
        waiters.wait(lock, ready);
    } else if (timeoutMs > 0) {
        waiters.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (!valid_) return 0;
    return TakeLocked(signals);
}

} // namespace port

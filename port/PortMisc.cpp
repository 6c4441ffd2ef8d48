#include "port/PortMisc.h"

#include "winsys/EventLoop.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace port {

uint32_t TimeGetTime() {
    return static_cast<uint32_t>(winsys::CurrentClock().NowMs());
}

// The tick count runs on the low 31 bits of the clock, so it wraps from MaxTimerTicks
// to 0, the distance the timer arithmetic allows for.
int32_t CurrentTick() {
    return static_cast<int32_t>((TimeGetTime() & 0x7FFFFFFFu) / MSecsPerTick);
}

void NewTimer(EventTimer& T, int32_t Ticks) {
    T.StartTicks = CurrentTick();
    T.ExpireTicks = T.StartTicks + std::min(Ticks, MaxTimerTicks);
}

void NewTimerSecs(EventTimer& T, int32_t Secs) {
    NewTimer(T, Secs2Ticks(Secs));
}

bool TimerExpired(const EventTimer& T) {
    int32_t now = CurrentTick();
    if (T.ExpireTicks < now) return true;
    // The tick count wrapped since the timer started.
    return now < T.StartTicks && T.ExpireTicks < now + MaxTimerTicks;
}

int32_t ElapsedTime(const EventTimer& T) {
    int32_t now = CurrentTick();
    int32_t elapsed = now - T.StartTicks;
    if (now < T.StartTicks) elapsed += MaxTimerTicks;
    return elapsed;
}

int32_t ElapsedTimeInSecs(const EventTimer& T) {
    return Ticks2Secs(ElapsedTime(T));
}

int32_t RemainingTime(const EventTimer& T) {
    int32_t now = CurrentTick();
    int32_t remaining = T.ExpireTicks - now;
    if (now < T.StartTicks) remaining -= MaxTimerTicks;
    return std::max(remaining, 0);
}

int32_t RemainingTimeInSecs(const EventTimer& T) {
    return Ticks2Secs(RemainingTime(T));
}

uint32_t SafeYield() {
    winsys::EventLoop* loop = winsys::EventLoop::Current();
    if (!loop || !loop->IsWindowThread()) return 0;
    if (loop->QuitRequested()) return WmQuit;
    winsys::EventLoop::YieldedItem ran;
    if (!loop->SafeYield(&ran)) return 0;
    uint32_t value = (ran.msg & 0xFFFFu) | ((static_cast<uint32_t>(ran.window) & 0xFFFFu) << 16);
    return value != 0 ? value : 1;
}

void SleepMs(uint32_t Ms) {
    if (Ms == 0) return;
    if (auto* manual = dynamic_cast<winsys::ManualClock*>(&winsys::CurrentClock())) {
        manual->AdvanceMs(Ms);
        // Let the threads that the waiter is waiting for run, as a real sleep would.
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

void DelayMS(uint32_t Ms) {
    SleepMs(Ms);
}

void DelayTicks(int32_t Ticks, bool Yield) {
    if (Ticks < 1) return;
    EventTimer timer;
    NewTimer(timer, std::min(Ticks, MaxTimerTicks));
    while (!TimerExpired(timer)) {
        if (Yield) {
            uint32_t yielded = SafeYield();
            if (yielded == WmQuit) return;
            if (yielded != 0) continue;
            // Nothing was ready: wait a little instead of spinning on the loop.
            SleepMs(1);
            continue;
        }
        // Sleep until the tick after the expiry tick begins.
        int64_t leftMs = (int64_t{RemainingTime(timer)} + 1) * MSecsPerTick -
                         int64_t{TimeGetTime() & 0x7FFFFFFFu} % MSecsPerTick;
        SleepMs(static_cast<uint32_t>(std::clamp<int64_t>(leftMs, 1, 1000)));
    }
}

} // namespace port

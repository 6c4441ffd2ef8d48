#pragma once
// Shared constants and small routines of the port layer: the parity and network mode
// enumerations, the millisecond clock with its 55 ms ticks, event timers, delays,
// yielding to the window thread's loop, and flag helpers.
//
// Every routine here reads the process's clock (winsys::CurrentClock), the one the
// window thread's loop reads too. With a ManualClock installed, SleepMs, DelayMS and
// DelayTicks move it forward instead of sleeping, so timed sequences run at once.
#include "winsys/Clock.h"

#include <cstdint>

namespace port {

enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum TWsMode { wsClient, wsServer };

// Milliseconds of the process's clock, truncated to 32 bits (it wraps after 49.7 days).
uint32_t TimeGetTime();

// Ticks of 55 ms.
constexpr int32_t MSecsPerTick = 55;
// The largest timer duration; the tick count wraps from here to 0.
constexpr int32_t MaxTimerTicks = 39045157;

int32_t CurrentTick();
constexpr int32_t Secs2Ticks(int32_t S) {
    return static_cast<int32_t>(int64_t{S} * 1675 / 92);
}
constexpr int32_t MSecs2Ticks(int32_t Ms) {
    return static_cast<int32_t>(int64_t{Ms} * 1675 / 92000);
}
constexpr int32_t Ticks2Secs(int32_t T) {
    return static_cast<int32_t>((int64_t{T} + 9) * 92 / 1675);
}

// A pair of ticks: when the timer started and when it expires.
struct EventTimer {
    int32_t StartTicks = 0;
    int32_t ExpireTicks = 0;
};

void NewTimer(EventTimer& T, int32_t Ticks);
void NewTimerSecs(EventTimer& T, int32_t Secs);
// True once the current tick has passed the expiry tick (also across the wrap).
bool TimerExpired(const EventTimer& T);
int32_t ElapsedTime(const EventTimer& T);
int32_t ElapsedTimeInSecs(const EventTimer& T);
// Ticks left, never below 0.
int32_t RemainingTime(const EventTimer& T);
int32_t RemainingTimeInSecs(const EventTimer& T);

// The result of SafeYield for the loop's quit request.
constexpr uint32_t WmQuit = 18;

// Runs one ready item of the current event loop when called on its window thread.
// 0 when nothing was ready (or there is no loop, or another thread calls); WmQuit
// when the loop was asked to quit (the request stays, so the loop still ends); for a
// message, its number in the low 16 bits and the low 16 bits of its window handle in
// the high 16 bits; for a timer, the timer message 0x0113; 1 for anything else that ran
// (a descriptor's readiness, a task), so that the value is never 0 when an item ran.
uint32_t SafeYield();

// Waits Ticks ticks; with Yield it keeps the window thread's loop running meanwhile
// and stops early when the loop is asked to quit. Ticks below 1 return at once.
void DelayTicks(int32_t Ticks, bool Yield);
// Waits Ms milliseconds without handling messages.
void DelayMS(uint32_t Ms);
// Sleeps on the process's clock: real time on the system clock, an advance of a manual one.
void SleepMs(uint32_t Ms);

constexpr bool FlagIsSet(uint32_t Flags, uint32_t Mask) {
    return (Flags & Mask) != 0;
}
constexpr void SetFlag(uint32_t& Flags, uint32_t Mask) {
    Flags |= Mask;
}
constexpr void ClearFlag(uint32_t& Flags, uint32_t Mask) {
    Flags &= ~Mask;
}
constexpr bool ByteFlagIsSet(uint8_t Flags, uint8_t Mask) {
    return (Flags & Mask) != 0;
}
constexpr void SetByteFlag(uint8_t& Flags, uint8_t Mask) {
    Flags |= Mask;
}
constexpr void ClearByteFlag(uint8_t& Flags, uint8_t Mask) {
    Flags = static_cast<uint8_t>(Flags & ~Mask);
}

} // namespace port

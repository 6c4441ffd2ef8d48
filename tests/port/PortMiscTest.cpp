#include "port/PortMisc.h"

#include "winsys/EventLoop.h"

#include <gtest/gtest.h>

using namespace port;

namespace {

// Installs a manual clock as the process's clock for one test.
class ManualPortClock {
  public:
    explicit ManualPortClock(int64_t startMs) : clock(startMs) { winsys::SetCurrentClock(&clock); }
    ~ManualPortClock() { winsys::SetCurrentClock(nullptr); }
    winsys::ManualClock clock;
};

} // namespace

TEST(Ticks, ConversionsUseTheTickOf55Ms) {
    struct Row {
        int32_t in, secs2Ticks, msecs2Ticks, ticks2Secs;
    } rows[] = {
        {0, 0, 0, 0}, {1, 18, 0, 0}, {18, 327, 0, 1}, {1000, 18206, 18, 55}, {3600, 65543, 65, 198},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Secs2Ticks(row.in), row.secs2Ticks) << row.in;
        EXPECT_EQ(MSecs2Ticks(row.in), row.msecs2Ticks) << row.in;
        EXPECT_EQ(Ticks2Secs(row.in), row.ticks2Secs) << row.in;
    }
}

TEST(EventTimer, ExpiresOnlyAfterItsLastTick) {
    ManualPortClock port(55 * 1000);
    EventTimer timer;
    NewTimer(timer, 2);
    EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, 2);
    port.clock.AdvanceMs(2 * 55);
    EXPECT_FALSE(TimerExpired(timer));
    EXPECT_EQ(RemainingTime(timer), 0);
    EXPECT_EQ(ElapsedTime(timer), 2);
    port.clock.AdvanceMs(55);
    EXPECT_TRUE(TimerExpired(timer));
    EXPECT_EQ(RemainingTime(timer), 0);

    NewTimer(timer, 2 * MaxTimerTicks); // clamped
    EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, MaxTimerTicks);
    NewTimerSecs(timer, 10);
    EXPECT_EQ(RemainingTimeInSecs(timer), Ticks2Secs(Secs2Ticks(10)));
}

TEST(EventTimer, SurvivesTheWrapOfTheTickCount) {
    // Three ticks before the wrap.
    ManualPortClock port(int64_t{0x80000000} - 3 * 55);
    EventTimer timer;
    NewTimer(timer, 5);
    EXPECT_EQ(timer.StartTicks, MaxTimerTicks - 3);
    port.clock.AdvanceMs(4 * 55);
    EXPECT_LT(CurrentTick(), timer.StartTicks);
    EXPECT_FALSE(TimerExpired(timer));
    EXPECT_EQ(ElapsedTime(timer), 4);
    EXPECT_EQ(RemainingTime(timer), 1);
    port.clock.AdvanceMs(2 * 55);
    EXPECT_TRUE(TimerExpired(timer));
    EXPECT_EQ(ElapsedTime(timer), 6);
}

TEST(Delays, RunOnTheInjectedClockAndYieldToTheLoop) {
    ManualPortClock port(10000);
    DelayTicks(0, false);
    EXPECT_EQ(port.clock.NowMs(), 10000);
    DelayTicks(3, false);
    int32_t ticks = static_cast<int32_t>(port.clock.NowMs() / 55) - 10000 / 55;
    EXPECT_GT(ticks, 3);
    EXPECT_LE(ticks, 4);
    int64_t before = port.clock.NowMs();
    DelayMS(25);
    EXPECT_EQ(port.clock.NowMs(), before + 25);

    winsys::EventLoop loop;
    winsys::EventLoop::SetCurrent(&loop);
    int ran = 0;
    loop.PostTask([&] { ++ran; });
    EXPECT_NE(SafeYield(), 0u);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(SafeYield(), 0u);
    // A message: its number in the low word, its window's handle in the high word.
    const winsys::HWND window = loop.CreateWindow(
        [](winsys::HWND, uint32_t, winsys::WPARAM, winsys::LPARAM) { return winsys::LRESULT{0}; });
    loop.PostMessage(window, 0x0B11, 0, 0);
    EXPECT_EQ(SafeYield(), 0x0B11u | (window << 16));
    loop.DestroyWindow(window);
    // A delay that yields keeps the loop running.
    loop.PostTask([&] { ++ran; });
    DelayTicks(2, true);
    EXPECT_EQ(ran, 2);
    // The quit request ends a yielding delay at once and stays for the loop.
    loop.Quit();
    before = port.clock.NowMs();
    DelayTicks(1000, true);
    EXPECT_EQ(port.clock.NowMs(), before);
    EXPECT_EQ(SafeYield(), WmQuit);
    EXPECT_TRUE(loop.QuitRequested());
    winsys::EventLoop::SetCurrent(nullptr);
}

// The window thread's loop and the port layer read the one clock: a loop made while a
// manual clock is installed fires its timers on it, and the port's time and delays
// follow the same clock.
TEST(OneClock, TheLoopAndThePortLayerReadTheInstalledClock) {
    ManualPortClock port(5000);
    winsys::EventLoop loop;
    EXPECT_EQ(&loop.GetClock(), &port.clock);
    int fired = 0;
    loop.StartTimer(100, [&] { ++fired; });
    EXPECT_EQ(TimeGetTime(), 5000u);
    loop.AdvanceClock(250);
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(TimeGetTime(), 5250u);
    DelayMS(55);
    EXPECT_EQ(loop.MsUntilNextTimer(), 0); // the port's delay moved the loop's time too
    EXPECT_EQ(winsys::SetCurrentClock(nullptr), &port.clock);
    EXPECT_NE(&winsys::CurrentClock(), &port.clock);
    winsys::SetCurrentClock(&port.clock);
}

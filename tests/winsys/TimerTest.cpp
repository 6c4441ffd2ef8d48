#include "winsys/Timer.h"

#include <gtest/gtest.h>

using namespace winsys;

namespace {

struct TimerFixture : ::testing::Test {
    ManualClock clock;
    EventLoop loop{clock};
    TForm form{"Form", ""};
    TTimer timer{&form, "Timer1", 250, false, &loop};
    std::vector<int64_t> ticks;
    void SetUp() override {
        timer.OnTimer = [this] { ticks.push_back(clock.NowMs() - 1000); };
    }
};

} // namespace

TEST_F(TimerFixture, EnablingAnEnabledTimerDoesNotRestartIt) {
    timer.SetEnabled(true);
    loop.AdvanceClock(200);
    timer.SetEnabled(true);
    loop.AdvanceClock(60);
    EXPECT_EQ(ticks, std::vector<int64_t>{250});
}

TEST_F(TimerFixture, ChangingTheIntervalRestartsButTheSameIntervalDoesNot) {
    timer.SetEnabled(true);
    loop.AdvanceClock(200);
    timer.SetInterval(250); // unchanged: keeps its deadline at 250
    loop.AdvanceClock(100);
    timer.SetInterval(700); // restarts at 300: next tick 1000
    loop.AdvanceClock(1000);
    EXPECT_EQ(ticks, (std::vector<int64_t>{250, 1000}));
}

TEST_F(TimerFixture, IntervalZeroNeverFires) {
    timer.SetInterval(0);
    timer.SetEnabled(true);
    loop.AdvanceClock(5000);
    EXPECT_TRUE(ticks.empty());
    EXPECT_TRUE(timer.Enabled());
}

TEST_F(TimerFixture, TimersInterleaveAtTheirOwnTimes) {
    TTimer lamps{&form, "Timer2", 2000, true, &loop};
    TTimer poll{&form, "Timer6", 700, true, &loop};
    std::vector<std::string> order;
    lamps.OnTimer = [&] { order.push_back("2@" + std::to_string(clock.NowMs() - 1000)); };
    poll.OnTimer = [&] { order.push_back("6@" + std::to_string(clock.NowMs() - 1000)); };
    loop.AdvanceClock(2100);
    EXPECT_EQ(order, (std::vector<std::string>{"6@700", "6@1400", "2@2000", "6@2100"}));
}

TEST_F(TimerFixture, DisablingInsideTheHandlerStopsFurtherTicks) {
    timer.OnTimer = [this] {
        ticks.push_back(clock.NowMs());
        timer.SetEnabled(false);
    };
    timer.SetEnabled(true);
    loop.AdvanceClock(2000);
    EXPECT_EQ(ticks.size(), 1u);
}

// The window thread's loop driven from Qt's: hand-offs from other threads, timers,
// an idle loop that arms nothing, and a modal error box that keeps serving.
#include "ui/LoopBridge.h"
#include "QtFixture.h"
#include "ui/ErrorBox.h"
#include "ui/QtText.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace winsys;

TEST(LoopBridge, ServesHandOffsFromOtherThreadsAndWhatTheirHandlersQueue) {
    uitest::Qt();
    EventLoop loop;
    ui::LoopBridge bridge(loop);
    EXPECT_FALSE(bridge.TimerArmed()); // idle: nothing queued, no timer

    std::atomic<bool> onWindowThread{true};
    int followUps = 0;
    HWND window = loop.CreateWindow([&](HWND self, uint32_t msg, WPARAM, LPARAM) -> LRESULT {
        if (!loop.IsWindowThread()) onWindowThread = false;
        // Queued while the loop dispatches: its wake-up is consumed by the same
        // dispatch, so only the bridge's look at the queue gets it run.
        if (msg == 1)
            loop.PostMessage(self, 2, 0, 0);
        else
            ++followUps;
        return msg * 10;
    });
    std::atomic<bool> sent{false};
    bool handled = false;
    LRESULT result = 0;
    std::thread sender([&] {
        handled = loop.SendMessageTimeout(window, 1, 0, 0, 3000, &result);
        sent = true;
    });
    EXPECT_TRUE(uitest::RunQtUntil([&] { return sent && followUps == 1; }));
    sender.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(result, 10);
    EXPECT_TRUE(onWindowThread);
    EXPECT_FALSE(bridge.TimerArmed());
}

TEST(LoopBridge, TimersTickThroughOneSingleShotTimerThatStopsWithThem) {
    uitest::Qt();
    EventLoop loop;
    ui::LoopBridge bridge(loop);
    int ticks = 0;
    EventLoop::TimerId id = loop.StartTimer(20, [&] { ++ticks; });
    bridge.Rearm();
    ASSERT_TRUE(bridge.TimerArmed());
    EXPECT_LE(bridge.TimerInterval(), 20);
    EXPECT_TRUE(uitest::RunQtUntil([&] { return ticks >= 3; }));
    loop.StopTimer(id);
    bridge.Rearm();
    EXPECT_FALSE(bridge.TimerArmed());
}

TEST(LoopBridge, AnOpenErrorBoxLeavesTheWindowFreeAndLaterErrorsWaitTheirTurn) {
    uitest::Qt();
    EventLoop loop;
    ui::LoopBridge bridge(loop);
    ui::ErrorBox errors("R-VEX", [] { return static_cast<QWidget*>(nullptr); });
    bool openWhileHandled = false;
    HWND window = loop.CreateWindow([&](HWND, uint32_t, WPARAM, LPARAM) -> LRESULT {
        openWhileHandled = errors.Open();
        errors.Show("second error"); // a box is open: this one waits, no box on a box
        return 7;
    });

    std::vector<std::string> shown;
    std::vector<QPointer<QMessageBox>> boxes;
    errors.OnShown = [&](QMessageBox& box) {
        shown.push_back(ui::FromQt(box.text()));
        boxes.emplace_back(&box);
        QTimer::singleShot(8000, &box, &QMessageBox::reject); // bound, should a step fail
    };
    errors.Show("first error");
    // Shown and back at once: nothing blocks the window, so Poll STOP takes one click.
    EXPECT_TRUE(errors.Open());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A port thread's hand-off while the first box is open is served by the loop.
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] {
        LRESULT r = 0;
        result = loop.SendMessageTimeout(window, 1, 0, 0, 3000, &r) ? r : 0;
    });
    EXPECT_TRUE(uitest::RunQtUntil([&] { return result.load() != -1; }));
    sender.join();
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(openWhileHandled);
    EXPECT_EQ(shown, std::vector<std::string>{"first error"});

    ASSERT_EQ(boxes.size(), 1u);
    boxes[0]->accept();
    EXPECT_TRUE(uitest::RunQtUntil([&] { return shown.size() == 2; }));
    ASSERT_EQ(boxes.size(), 2u);
    boxes[1]->accept();
    EXPECT_TRUE(uitest::RunQtUntil([&] { return !errors.Open(); }));
    EXPECT_EQ(shown, (std::vector<std::string>{"first error", "second error"}));
}

#include "winsys/EventLoop.h"

#include "Pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace winsys;

using testsupport::PumpUntil;

TEST(EventLoop, CrossThreadSendWaitsForHandlerAndSeesItsResult) {
    EventLoop loop;
    std::atomic<bool> handlerOnWindowThread{false};
    HWND window = loop.CreateWindow([&](HWND, uint32_t msg, WPARAM w, LPARAM l) -> LRESULT {
        handlerOnWindowThread = loop.IsWindowThread();
        return static_cast<LRESULT>(msg + w + l);
    });
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] { result = loop.SendMessage(window, 100, 20, 3); });
    EXPECT_TRUE(PumpUntil(loop, [&] { return result.load() != -1; }));
    sender.join();
    EXPECT_EQ(result.load(), 123);
    EXPECT_TRUE(handlerOnWindowThread);
}

TEST(EventLoop, SendWithTimeOutGivesNotHandledAndTheHandlerNeverRuns) {
    EventLoop loop;
    bool ran = false;
    HWND window = loop.CreateWindow([&](HWND, uint32_t, WPARAM, LPARAM) -> LRESULT {
        ran = true;
        return 1;
    });
    bool handled = true;
    std::thread sender([&] { handled = loop.SendMessageTimeout(window, 1, 0, 0, 30); });
    sender.join(); // the loop is not pumped: the sender must give up by itself
    EXPECT_FALSE(handled);
    loop.ProcessMessages();
    EXPECT_FALSE(ran);
}

TEST(EventLoop, SendWithTimeOutOnTheWindowThreadCallsDirectly) {
    EventLoop loop;
    HWND window =
        loop.CreateWindow([](HWND, uint32_t, WPARAM w, LPARAM) -> LRESULT { return w * 2; });
    LRESULT result = 0;
    EXPECT_TRUE(loop.SendMessageTimeout(window, 1, 21, 0, 10, &result));
    EXPECT_EQ(result, 42);
    EXPECT_FALSE(loop.SendMessageTimeout(window + 1, 1, 21, 0, 10, &result));
}

TEST(EventLoop, PostsKeepTheirOrderAcrossThreadsAndTasks) {
    EventLoop loop;
    std::vector<int> seen;
    HWND window = loop.CreateWindow([&](HWND, uint32_t msg, WPARAM, LPARAM) -> LRESULT {
        seen.push_back(static_cast<int>(msg));
        return 0;
    });
    std::thread poster([&] {
        for (int i = 0; i < 500; ++i)
            loop.PostMessage(window, i, 0, 0);
    });
    poster.join();
    loop.PostTask([&] { seen.push_back(-1); });
    loop.ProcessMessages();
    ASSERT_EQ(seen.size(), 501u);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(seen[i], i);
    EXPECT_EQ(seen.back(), -1);
    EXPECT_FALSE(loop.PostMessage(9999, 1, 0, 0));
}

TEST(EventLoop, MessagesForADestroyedWindowAreDropped) {
    EventLoop loop;
    int calls = 0;
    HWND window =
        loop.CreateWindow([&](HWND, uint32_t, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    loop.PostMessage(window, 1, 0, 0);
    loop.DestroyWindow(window);
    loop.ProcessMessages();
    EXPECT_EQ(calls, 0);
}

TEST(EventLoop, AnEscapedErrorGoesToTheErrorHandlerAndTheLoopGoesOn) {
    EventLoop loop;
    std::vector<std::string> errors;
    loop.SetErrorHandler([&](const std::exception& e) { errors.push_back(e.what()); });
    int after = 0;
    loop.PostTask([] { throw std::runtime_error("boom"); });
    loop.PostTask([&] { ++after; });
    loop.ProcessMessages();
    EXPECT_EQ(errors, std::vector<std::string>{"boom"});
    EXPECT_EQ(after, 1);
}

TEST(EventLoop, SafeYieldRunsExactlyOneItem) {
    EventLoop loop;
    int ran = 0;
    loop.PostTask([&] { ++ran; });
    loop.PostTask([&] { ++ran; });
    EXPECT_TRUE(loop.SafeYield());
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(loop.SafeYield());
    EXPECT_FALSE(loop.SafeYield());
    EXPECT_EQ(ran, 2);
}

TEST(EventLoop, QuitFromAnotherThreadEndsRun) {
    EventLoop loop;
    std::thread quitter([&] { loop.Quit(); });
    loop.Run();
    quitter.join();
    EXPECT_TRUE(loop.QuitRequested());
}

TEST(EventLoop, MessagesQueuedDuringADispatchStayPendingForAnOuterLoop) {
    EventLoop loop;
    int second = 0;
    HWND window = loop.CreateWindow([&](HWND w, uint32_t msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == 1)
            loop.PostMessage(w, 2, 0, 0);
        else
            ++second;
        return 0;
    });
    loop.PostMessage(window, 1, 0, 0);
    EXPECT_TRUE(loop.HasPendingMessages());
    loop.ProcessMessages(); // runs message 1; message 2 was queued meanwhile
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(loop.HasPendingMessages());
    loop.ProcessMessages();
    EXPECT_EQ(second, 1);
    EXPECT_FALSE(loop.HasPendingMessages());
}

TEST(EventLoop, SendWithTimeOutWaitsForAHandlerThatStartedInTime) {
    EventLoop loop;
    HWND window = loop.CreateWindow([](HWND, uint32_t, WPARAM w, LPARAM) -> LRESULT {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return static_cast<LRESULT>(w + 1);
    });
    std::atomic<bool> done{false};
    bool handled = false;
    LRESULT result = 0;
    std::thread sender([&] {
        handled = loop.SendMessageTimeout(window, 7, 41, 0, 50, &result);
        done = true;
    });
    EXPECT_TRUE(PumpUntil(loop, [&] { return done.load(); }));
    sender.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(result, 42);
}

TEST(EventLoop, TimersOnTheSystemClockFireFromRun) {
    EventLoop loop;
    int ticks = 0;
    loop.StartTimer(20, [&] {
        if (++ticks == 3) loop.Quit();
    });
    auto guard = loop.StartTimer(3000, [&] { loop.Quit(); });
    loop.Run();
    loop.StopTimer(guard);
    EXPECT_EQ(ticks, 3);
}

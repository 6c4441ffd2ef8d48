// What the Windows loop adds to the shared contract: message windows are the system's
// own message-only windows, so that the system (the socket library, for one) can post
// to them, and the loop's messages keep to the private range.
#include "winsys/EventLoop.h"
#include "winsys/Win32.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using winsys::EventLoop;
using winsys::LPARAM;
using winsys::LRESULT;
using winsys::WPARAM;
using Window = winsys::HWND;

TEST(EventLoopWin32, AMessageTheSystemPostsToTheNativeWindowReachesItsProcedure) {
    EventLoop loop;
    std::vector<std::pair<uint32_t, LPARAM>> seen;
    Window window = loop.CreateWindow([&](Window, uint32_t msg, WPARAM, LPARAM l) -> LRESULT {
        seen.emplace_back(msg, l);
        return 0;
    });
    ::HWND native = winsys::NativeWindow(window);
    ASSERT_TRUE(::IsWindow(native));
    // A message-only window: found among them by its class.
    EXPECT_NE(FindWindowExW(HWND_MESSAGE, nullptr, L"RvexMessageWindow", nullptr), nullptr);
    ASSERT_TRUE(PostMessageW(native, winsys::NativeMessage(0x0B11), 7, 0x20));
    loop.ProcessMessages();
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, LPARAM>>{{0x0B11u, 0x20}}));
    loop.DestroyWindow(window);
    EXPECT_FALSE(::IsWindow(native));
}

TEST(EventLoopWin32, MessagesBeyondThePrivateRangeAreRefused) {
    EventLoop loop;
    int calls = 0;
    Window window =
        loop.CreateWindow([&](Window, uint32_t, WPARAM, LPARAM) -> LRESULT { return ++calls; });
    EXPECT_TRUE(loop.PostMessage(window, 0xC000 - WM_USER - 1, 0, 0));
    EXPECT_FALSE(loop.PostMessage(window, 0xC000 - WM_USER, 0, 0));
    loop.ProcessMessages();
    EXPECT_EQ(calls, 1);
}

TEST(EventLoopWin32, AWindowDestroyedFromAnotherThreadGoesOnTheWindowThread) {
    EventLoop loop;
    Window window =
        loop.CreateWindow([](Window, uint32_t, WPARAM, LPARAM) -> LRESULT { return 0; });
    ::HWND native = winsys::NativeWindow(window);
    std::thread other([&] { loop.DestroyWindow(window); });
    other.join();
    EXPECT_FALSE(loop.IsWindow(window));
    EXPECT_FALSE(loop.PostMessage(window, 1, 0, 0));
    loop.ProcessMessages();
    EXPECT_FALSE(::IsWindow(native));
}

TEST(EventLoopWin32, DescriptorWatchesAreRefusedPlainly) {
    EventLoop loop;
    EXPECT_THROW(loop.WatchFd(0, winsys::FdReadable, [](unsigned) {}), std::exception);
    EXPECT_EQ(loop.Fd(), -1);
}

// Descriptor watches, which only the Linux loop has.
#include "winsys/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace winsys;

namespace {

// Pumps the loop until the predicate holds, at most about two seconds.
template <class Pred> bool PumpUntil(EventLoop& loop, Pred pred) {
    for (int i = 0; i < 2000 && !pred(); ++i)
        loop.RunFor(1);
    return pred();
}

} // namespace

TEST(EventLoop, FdWatchFiresOnTheWindowThread) {
    EventLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<bool> onWindowThread{false};
    std::atomic<int> fired{0};
    auto watch = loop.WatchFd(fds[0], FdReadable, [&](unsigned events) {
        onWindowThread = loop.IsWindowThread();
        if (events & FdReadable) {
            char c;
            ASSERT_EQ(read(fds[0], &c, 1), 1);
            ++fired;
        }
    });
    std::thread writer([&] { ASSERT_EQ(write(fds[1], "x", 1), 1); });
    writer.join();
    EXPECT_TRUE(PumpUntil(loop, [&] { return fired.load() == 1; }));
    EXPECT_TRUE(onWindowThread);
    loop.RemoveWatch(watch);
    close(fds[0]);
    close(fds[1]);
}

#pragma once
// Running the window thread's loop on the test's thread until something happens, and
// until nothing more is due: the waits of tests that drive a loop.
#include "winsys/EventLoop.h"

#include <chrono>

namespace testsupport {

// True when the loop's descriptor says that work is ready now (the platform's own look;
// never waits).
bool LoopDescriptorReady(winsys::EventLoop& loop);

// Runs the loop in steps of 1 ms until pred holds: at most 5000 steps and five
// seconds of real time, whichever comes first. The result is pred's last value.
template <class Pred> bool PumpUntil(winsys::EventLoop& loop, Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int step = 0; step < 5000 && !pred() && std::chrono::steady_clock::now() < deadline;
         ++step)
        loop.RunFor(1);
    return pred();
}

// Runs everything the loop has ready (queued messages, ready descriptors, due timers)
// until a round finds nothing: what a negative check waits for once the cause of the
// event it rules out has happened. Never waits for time to pass; at most 100 rounds.
inline void PumpUntilIdle(winsys::EventLoop& loop) {
    for (int round = 0; round < 100; ++round) {
        loop.ProcessMessages();
        if (!loop.HasPendingMessages() && !LoopDescriptorReady(loop)) return;
    }
}

} // namespace testsupport

// The parts of the event loop that every platform shares: the current loop, calling a
// window's procedure, the blocking send, the timer table on the loop's clock, and
// running for a span of time or until Quit. The queue, the windows and the waiting are
// the platform's own (EventLoopLinux.cpp, EventLoopWin32.cpp).
#include "winsys/EventLoop.h"

#include "winsys/Exception.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace winsys {

namespace {
std::atomic<EventLoop*> currentLoop{nullptr};
} // namespace

void EventLoop::LeaveCurrent() {
    EventLoop* self = this;
    currentLoop.compare_exchange_strong(self, nullptr);
}

EventLoop* EventLoop::Current() {
    return currentLoop.load();
}
void EventLoop::SetCurrent(EventLoop* loop) {
    currentLoop.store(loop);
}

LRESULT EventLoop::CallWindow(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<WndProc> proc;
    {
        std::lock_guard lock(mutex_);
        auto it = windows_.find(window);
        if (it == windows_.end()) return 0;
        proc = it->second;
    }
    return (*proc)(window, msg, wParam, lParam);
}

LRESULT EventLoop::SendMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (IsWindowThread()) return CallWindow(window, msg, wParam, lParam);
    LRESULT result = 0;
    SendMessageTimeout(window, msg, wParam, lParam, 0, &result);
    return result;
}

EventLoop::TimerId EventLoop::StartTimer(unsigned intervalMs, std::function<void()> callback) {
    TimerId id = nextTimer_++;
    // An interval of 0 never fires.
    int64_t due = intervalMs == 0 ? INT64_MAX : clock_.NowMs() + intervalMs;
    timers_[id] =
        Timer{intervalMs, due, std::make_shared<std::function<void()>>(std::move(callback))};
    TimersChanged();
    return id;
}

void EventLoop::StopTimer(TimerId id) {
    if (timers_.erase(id) != 0) TimersChanged();
}

bool EventLoop::RunOneDueTimer(int64_t nowMs) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.dueMs <= nowMs &&
            (due == timers_.end() || it->second.dueMs < due->second.dueMs))
            due = it;
    if (due == timers_.end()) return false;
    due->second.dueMs = nowMs + due->second.intervalMs; // intervalMs > 0 here
    auto callback = due->second.callback;
    Guard(*callback);
    TimersChanged();
    return true;
}

int64_t EventLoop::MsUntilNextTimer() const {
    int64_t next = INT64_MAX;
    for (const auto& [id, timer] : timers_)
        next = std::min(next, timer.dueMs);
    if (next == INT64_MAX) return -1;
    return std::max<int64_t>(0, next - clock_.NowMs());
}

void EventLoop::RunFor(int64_t ms) {
    if (dynamic_cast<ManualClock*>(&clock_)) {
        AdvanceClock(ms);
        return;
    }
    int64_t end = clock_.NowMs() + ms;
    for (;;) {
        ProcessMessages();
        int64_t left = end - clock_.NowMs();
        if (quit_ || left <= 0) break;
        WaitForWork(left);
    }
}

void EventLoop::AdvanceClock(int64_t ms) {
    auto* manual = dynamic_cast<ManualClock*>(&clock_);
    if (!manual) throw Exception("AdvanceClock needs a ManualClock");
    int64_t target = manual->NowMs() + ms;
    // Bounded: each round either fires a timer whose next tick lies later or ends.
    for (;;) {
        ProcessMessages();
        int64_t next = INT64_MAX;
        for (const auto& [id, timer] : timers_)
            next = std::min(next, timer.dueMs);
        if (next > target) break;
        if (next > manual->NowMs()) manual->SetMs(next);
        RunOneDueTimer(manual->NowMs());
    }
    manual->SetMs(target);
    ProcessMessages();
}

void EventLoop::Run() {
    while (!quit_) {
        ProcessMessages();
        if (quit_) break;
        WaitForWork(-1);
    }
}

void EventLoop::Quit() {
    quit_ = true;
    poller_.Wake();
}

void EventLoop::SetErrorHandler(std::function<void(const std::exception&)> handler) {
    errorHandler_ = std::move(handler);
}

} // namespace winsys

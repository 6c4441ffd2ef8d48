// The event loop on Linux: one queue of posted, sent and task items guarded by a
// mutex, with the Poller's wake-up descriptor telling the window thread about them,
// and fd watches dispatched from the same epoll wait.
#include "winsys/EventLoop.h"

#include "winsys/Exception.h"

#include <algorithm>
#include <chrono>

namespace winsys {

namespace {
constexpr size_t InitialQueueCapacity = 256;
} // namespace

struct EventLoop::Native {};

struct EventLoop::SendRecord {
    enum State { Waiting, Running, Done } state = Waiting;
    bool handled = false;
    LRESULT result = 0;
    std::condition_variable done;
};

EventLoop::EventLoop(Clock& clock)
    : clock_(clock), windowThread_(std::this_thread::get_id()), queue_(InitialQueueCapacity) {}

EventLoop::~EventLoop() {
    LeaveCurrent();
    // Senders still waiting get "not handled" rather than hanging.
    std::lock_guard lock(mutex_);
    Item item;
    while (PopItem(item)) {
        if (item.kind == Item::Send) {
            item.send->state = SendRecord::Done;
            item.send->done.notify_all();
        }
    }
}

HWND EventLoop::CreateWindow(WndProc proc) {
    std::lock_guard lock(mutex_);
    HWND window = nextWindow_++;
    windows_[window] = std::make_shared<WndProc>(std::move(proc));
    return window;
}

void EventLoop::DestroyWindow(HWND window) {
    std::lock_guard lock(mutex_);
    windows_.erase(window);
}

bool EventLoop::IsWindow(HWND window) const {
    std::lock_guard lock(mutex_);
    return windows_.count(window) != 0;
}

void EventLoop::Enqueue(Item item) {
    if (queueSize_ == queue_.size()) {
        std::vector<Item> bigger(queue_.size() * 2);
        for (size_t i = 0; i < queueSize_; ++i)
            bigger[i] = std::move(queue_[(queueHead_ + i) % queue_.size()]);
        queue_ = std::move(bigger);
        queueHead_ = 0;
    }
    queue_[(queueHead_ + queueSize_) % queue_.size()] = std::move(item);
    ++queueSize_;
}

bool EventLoop::PopItem(Item& item) {
    while (queueSize_ > 0) {
        Item& front = queue_[queueHead_];
        queueHead_ = (queueHead_ + 1) % queue_.size();
        --queueSize_;
        if (front.kind == Item::None) continue; // withdrawn send
        item = std::move(front);
        front = Item{};
        return true;
    }
    return false;
}

bool EventLoop::PostMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(mutex_);
        if (windows_.count(window) == 0) return false;
        Item item;
        item.kind = Item::Post;
        item.window = window;
        item.msg = msg;
        item.wParam = wParam;
        item.lParam = lParam;
        Enqueue(std::move(item));
    }
    poller_.Wake();
    return true;
}

void EventLoop::PostTask(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        Item item;
        item.kind = Item::Task;
        item.task = std::move(task);
        Enqueue(std::move(item));
    }
    poller_.Wake();
}

bool EventLoop::SendMessageTimeout(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam,
                                   unsigned timeoutMs, LRESULT* result) {
    if (IsWindowThread()) {
        if (!IsWindow(window)) return false;
        LRESULT r = CallWindow(window, msg, wParam, lParam);
        if (result) *result = r;
        return true;
    }
    SendRecord record;
    std::unique_lock lock(mutex_);
    if (windows_.count(window) == 0) return false;
    Item item;
    item.kind = Item::Send;
    item.window = window;
    item.msg = msg;
    item.wParam = wParam;
    item.lParam = lParam;
    item.send = &record;
    Enqueue(std::move(item));
    lock.unlock();
    poller_.Wake();
    lock.lock();
    if (timeoutMs == 0) {
        record.done.wait(lock, [&] { return record.state == SendRecord::Done; });
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        record.done.wait_until(lock, deadline, [&] { return record.state != SendRecord::Waiting; });
        if (record.state == SendRecord::Waiting) {
            // Withdraw the message so its procedure never runs.
            for (size_t i = 0; i < queueSize_; ++i) {
                Item& queued = queue_[(queueHead_ + i) % queue_.size()];
                if (queued.kind == Item::Send && queued.send == &record) queued = Item{};
            }
            return false;
        }
        record.done.wait(lock, [&] { return record.state == SendRecord::Done; });
    }
    if (result) *result = record.result;
    return record.handled;
}

void EventLoop::RunItem(Item& item) {
    switch (item.kind) {
    case Item::Post:
        Guard([&] { CallWindow(item.window, item.msg, item.wParam, item.lParam); });
        break;
    case Item::Task:
        Guard(item.task);
        break;
    case Item::Send: {
        bool exists = IsWindow(item.window);
        LRESULT r = 0;
        if (exists) Guard([&] { r = CallWindow(item.window, item.msg, item.wParam, item.lParam); });
        std::lock_guard lock(mutex_);
        item.send->result = r;
        item.send->handled = exists;
        item.send->state = SendRecord::Done;
        item.send->done.notify_all();
        break;
    }
    case Item::None:
        break;
    }
}

bool EventLoop::RunOneItem(YieldedItem* Ran) {
    Item item;
    {
        std::lock_guard lock(mutex_);
        if (!PopItem(item)) return false;
        if (item.kind == Item::Send) item.send->state = SendRecord::Running;
    }
    if (Ran && item.kind != Item::Task) *Ran = YieldedItem{item.msg, item.window};
    RunItem(item);
    return true;
}

void EventLoop::ServeSentMessages() {
    for (;;) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            size_t i = 0;
            for (; i < queueSize_; ++i) {
                Item& queued = queue_[(queueHead_ + i) % queue_.size()];
                if (queued.kind == Item::Send) {
                    item = std::move(queued);
                    queued = Item{};
                    break;
                }
            }
            if (i == queueSize_) return;
            item.send->state = SendRecord::Running;
        }
        RunItem(item);
    }
}

EventLoop::WatchId EventLoop::WatchFd(int fd, unsigned events,
                                      std::function<void(unsigned)> callback) {
    WatchId id = nextWatch_++;
    poller_.Add(fd, events, id);
    watches_[id] =
        Watch{fd, events, std::make_shared<std::function<void(unsigned)>>(std::move(callback))};
    return id;
}

void EventLoop::ChangeWatch(WatchId id, unsigned events) {
    auto it = watches_.find(id);
    if (it == watches_.end() || it->second.events == events) return;
    it->second.events = events;
    poller_.Modify(it->second.fd, events, id);
}

void EventLoop::RemoveWatch(WatchId id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    poller_.Remove(it->second.fd);
    watches_.erase(it);
}

int EventLoop::DispatchFds(int timeoutMs, size_t limit) {
    int ran = 0;
    Poller::Ready readySet[64];
    int readyCount = poller_.Wait(timeoutMs, readySet, 64);
    for (int i = 0; i < readyCount; ++i) {
        const Poller::Ready& ready = readySet[i];
        if (static_cast<size_t>(ran) >= limit) break;
        auto it = watches_.find(ready.token);
        if (it == watches_.end()) continue; // removed by an earlier callback
        auto callback = it->second.callback;
        unsigned events = ready.events;
        Guard([&] { (*callback)(events); });
        ++ran;
    }
    return ran;
}

bool EventLoop::HasPendingMessages() const {
    std::lock_guard lock(mutex_);
    return queueSize_ > 0;
}

void EventLoop::ProcessMessages() {
    size_t pending;
    {
        std::lock_guard lock(mutex_);
        pending = queueSize_;
    }
    for (size_t i = 0; i < pending && RunOneItem(); ++i) {
    }
    DispatchFds(0, SIZE_MAX);
    int64_t now = clock_.NowMs();
    size_t timerCount = timers_.size();
    for (size_t i = 0; i < timerCount && RunOneDueTimer(now); ++i) {
    }
}

bool EventLoop::SafeYield(YieldedItem* Ran) {
    if (Ran) *Ran = YieldedItem{};
    if (RunOneItem(Ran)) return true;
    if (DispatchFds(0, 1) > 0) return true;
    if (!RunOneDueTimer(clock_.NowMs())) return false;
    if (Ran) Ran->msg = WmTimer;
    return true;
}

void EventLoop::WaitForWork(int64_t maxMs) {
    int64_t untilTimer = MsUntilNextTimer();
    int64_t wait = maxMs;
    if (untilTimer >= 0 && (wait < 0 || untilTimer < wait)) wait = untilTimer;
    {
        std::lock_guard lock(mutex_);
        if (queueSize_ > 0) wait = 0;
    }
    // Ready descriptors are dispatched right here rather than polled twice.
    DispatchFds(static_cast<int>(std::min<int64_t>(wait, INT32_MAX)), SIZE_MAX);
}

// Every wait here asks MsUntilNextTimer first.
void EventLoop::TimersChanged() {}

} // namespace winsys

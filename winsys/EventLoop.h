#pragma once
// The window thread's event loop: message windows with post, send and send with a
// time-out; timers; fd watches; nested pumping (ProcessMessages, SafeYield).
//
// Thread rules: everything here runs on the window thread (the thread that created
// the loop) except PostMessage, PostTask, SendMessage, SendMessageTimeout, Wake and
// Quit, which any thread may call.
//
// An exception that escapes a window procedure, task, timer or watch callback is
// handed to the error handler (the application's error display) and the loop goes on.
#include "winsys/Clock.h"
#include "winsys/Poller.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace winsys {

using HWND = uint32_t; // 0 is never a window
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WndProc = std::function<LRESULT(HWND, uint32_t msg, WPARAM, LPARAM)>;

class EventLoop {
  public:
    using TimerId = uint64_t;
    using WatchId = uint64_t;

    explicit EventLoop(Clock& clock = CurrentClock());
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // The application's loop, which the controls and port components use.
    static EventLoop* Current();
    static void SetCurrent(EventLoop* loop);

    Clock& GetClock() const { return clock_; }
    bool IsWindowThread() const { return std::this_thread::get_id() == windowThread_; }

    // Message windows.
    HWND CreateWindow(WndProc proc);
    void DestroyWindow(HWND window); // queued messages for it are dropped
    bool IsWindow(HWND window) const;
    // Queues a message; false when the window does not exist.
    bool PostMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);
    // Queues a closure behind the messages already queued.
    void PostTask(std::function<void()> task);
    // On the window thread: calls the procedure directly. From another thread: hands
    // the message over and blocks until the procedure has returned. 0 for an unknown
    // window.
    LRESULT SendMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);
    // As SendMessage, but a sender on another thread waits at most timeoutMs (real
    // time) for the window thread to take the message. Returns false ("not
    // handled") when the window thread did not take it in time or the window does
    // not exist; the message is then withdrawn and its procedure never runs. Once
    // the procedure has started, the sender waits for its result, so a handler never
    // runs after its sender has given up on it.
    bool SendMessageTimeout(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam,
                            unsigned timeoutMs, LRESULT* result = nullptr);

    // Periodic timers (interval > 0). The first tick comes one interval after the
    // start; a callback that runs late is not repeated for the ticks it missed.
    TimerId StartTimer(unsigned intervalMs, std::function<void()> callback);
    void StopTimer(TimerId id);

    // Level-triggered fd watches (FdEvents); the callback gets the events seen. Linux
    // only: on Windows sockets report to windows and these raise winsys::Exception.
    WatchId WatchFd(int fd, unsigned events, std::function<void(unsigned)> callback);
    void ChangeWatch(WatchId id, unsigned events);
    void RemoveWatch(WatchId id);

    // Runs everything that is ready now, without blocking.
    void ProcessMessages();
    // What SafeYield ran: the message and its window, or, for a timer, the window
    // system's timer message without a window; 0 and 0 for anything else.
    struct YieldedItem {
        uint32_t msg = 0;
        HWND window = 0;
    };
    static constexpr uint32_t WmTimer = 0x0113;
    // Runs at most one ready item; true when one ran (Ran, when given, tells which).
    bool SafeYield(YieldedItem* Ran = nullptr);
    // Runs only the messages that other threads are blocked sending.
    void ServeSentMessages();
    // Runs until Quit().
    void Run();
    // Runs for ms milliseconds of the loop's clock (with a ManualClock: AdvanceClock).
    void RunFor(int64_t ms);
    // ManualClock only: moves the clock forward by ms, firing every timer that falls
    // due on the way at its own time, with the queue run between them.
    void AdvanceClock(int64_t ms);
    void Quit();
    bool QuitRequested() const { return quit_; }
    void ResetQuit() { quit_ = false; }

    // For an outer loop (the Qt front end): the descriptor that becomes readable when
    // work is ready (-1 on Windows, where the thread's message queue is that), and the
    // time until the next timer (-1: none).
    int Fd() const { return poller_.Fd(); }
    int64_t MsUntilNextTimer() const;
    // True while posted or sent messages wait in the queue. ProcessMessages runs only
    // what was queued when it began, and the wake-ups of what handlers queue meanwhile
    // may be consumed by its look at the descriptors: an outer loop asks this before
    // it goes back to sleep on Fd().
    bool HasPendingMessages() const;
    void Wake() { poller_.Wake(); }

    void SetErrorHandler(std::function<void(const std::exception&)> handler);

  private:
    struct SendRecord;
    struct Native; // the platform's own state
    struct Item {
        enum Kind { None, Post, Send, Task } kind = None;
        HWND window = 0;
        uint32_t msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        SendRecord* send = nullptr;
        std::function<void()> task;
    };
    struct Timer {
        unsigned intervalMs;
        int64_t dueMs;
        std::shared_ptr<std::function<void()>> callback;
    };
    struct Watch {
        int fd;
        unsigned events;
        std::shared_ptr<std::function<void(unsigned)>> callback;
    };

    void Enqueue(Item item);  // mutex_ held
    bool PopItem(Item& item); // mutex_ held
    void RunItem(Item& item);
    LRESULT CallWindow(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);
    bool RunOneItem(YieldedItem* Ran = nullptr);
    int DispatchFds(int timeoutMs, size_t limit);
    bool RunOneDueTimer(int64_t nowMs);
    template <class Body> void Guard(Body&& body) {
        try {
            body();
        } catch (const std::exception& e) {
            if (errorHandler_) errorHandler_(e);
        }
    }
    void LeaveCurrent(); // the loop is no longer Current()
    void WaitForWork(int64_t maxMs);

    Clock& clock_;
    Poller poller_;
    std::thread::id windowThread_;
    std::atomic<bool> quit_{false};
    std::function<void(const std::exception&)> errorHandler_;

    mutable std::mutex mutex_; // guards windows_ and the queue
    std::map<HWND, std::shared_ptr<WndProc>> windows_;
    HWND nextWindow_ = 1;
    std::vector<Item> queue_; // ring
    size_t queueHead_ = 0;
    size_t queueSize_ = 0;

    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    std::map<WatchId, Watch> watches_;
    WatchId nextWatch_ = 1;

    std::unique_ptr<Native> native_;
};

} // namespace winsys

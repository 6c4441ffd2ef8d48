#pragma once
// The three threads of a dispatcher, written against its device operations:
//   TComThread  waits for device events (WaitComEvent) and hands each to TDispThread;
//   TDispThread moves received bytes into the input ring, checks the triggers and
//               delivers the notifications; while a timer or status trigger is armed,
//               bytes wait unread, or the device may bring data silently, it also runs
//               every 50 ms without an event; otherwise it sleeps until the next event;
//   TOutThread  writes the output ring to the device in contiguous chunks.
// The dispatcher owns the thread objects and joins them when it is destroyed; each
// thread calls ThreadGone as its last act on the dispatcher.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace port {

class TBaseDispatcher;

class TDispatcherThread {
  public:
    explicit TDispatcherThread(TBaseDispatcher& Dispatcher) : Dispatcher(Dispatcher) {}
    virtual ~TDispatcherThread();
    TDispatcherThread(const TDispatcherThread&) = delete;
    TDispatcherThread& operator=(const TDispatcherThread&) = delete;

    void Start();
    bool Ended() const;
    // Waits at most TimeoutMs (negative: no limit); true when the thread has ended.
    bool WaitEnded(int64_t TimeoutMs) const;
    bool IsCurrentThread() const { return std::this_thread::get_id() == Id.load(); }
    // Priority above normal (0 to 3), applied on a best-effort basis: lowering a
    // thread's nice value needs the privilege to do so, and without it the thread
    // keeps the normal priority.
    void SetPriority(int Boost);

  protected:
    virtual void Execute() = 0;
    TBaseDispatcher& Dispatcher;

  private:
    void Run();
    void ApplyPriority();

    std::thread Thread;
    std::atomic<std::thread::id> Id{};
    std::atomic<int> Tid{0};
    std::atomic<int> PriorityBoost{0};
    mutable std::mutex EndLock;
    mutable std::condition_variable EndSignal;
    bool HasEnded = false;
};

class TComThread final : public TDispatcherThread {
  public:
    using TDispatcherThread::TDispatcherThread;

  protected:
    void Execute() override;
};

class TDispThread final : public TDispatcherThread {
  public:
    using TDispatcherThread::TDispatcherThread;

  protected:
    void Execute() override;

  private:
    void PassOne(bool EventArrived);
    void PassTwo();
    bool StatusLoop();
    // With an edge-triggered event wait: takes an arrival the event thread reported
    // during this pass, so that its bytes join the pass. Other events it reported
    // meanwhile leave the signal set for the next pass.
    bool TakeArrival();
};

class TOutThread final : public TDispatcherThread {
  public:
    using TDispatcherThread::TDispatcherThread;

  protected:
    void Execute() override;

  private:
    void WriteLoop();
};

} // namespace port

#pragma once
// The six signals between a dispatcher's threads, as events: set, reset, and waited for
// with an optional time-out. An auto-reset signal is consumed by the wait that sees it.
// Signals exist between Create and Close; setting a closed signal does nothing and
// waiting for one returns at once with nothing.
//
// Each signal has one kind of waiter, so the signals are grouped by waiter: a wait may
// name several signals of one group (the output thread waits for data or an abort).
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace port {

class TDispatcherSignals {
  public:
    enum Signal : uint32_t {
        ComEventSignal = 1u << 0,     // TComThread -> TDispThread: an event arrived
        ComEventDone = 1u << 1,       // TDispThread -> TComThread: pass finished
        ThreadStateSignal = 1u << 2,  // threads -> starter, stopper, flusher
        OutDataSignal = 1u << 3,      // writers -> TOutThread: data queued
        OutWriteDoneSignal = 1u << 4, // a device write completed
        OutAbortSignal = 1u << 5,     // flusher, stopper -> TOutThread: abandon the write
    };

    // All six valid and not signalled.
    void Create();
    // All six invalid; waiters return.
    void Close();
    bool Valid() const;

    void Set(uint32_t signals);
    void Reset(uint32_t signals);
    // Waits until one of the given signals (all of one waiter group) is set, at most
    // timeoutMs (negative: no limit). Returns the signal seen (consuming it when it is
    // auto-reset), or 0 on time-out or when the signals are not valid.
    uint32_t Wait(uint32_t signals, int64_t timeoutMs);
    // Returns and consumes a signal that is set, without waiting.
    uint32_t Take(uint32_t signals) { return Wait(signals, 0); }

  private:
    static constexpr uint32_t ManualReset = OutWriteDoneSignal;
    static int Group(uint32_t signals);
    uint32_t TakeLocked(uint32_t signals);

    mutable std::mutex mutex_;
    std::condition_variable waiters_[4];
    uint32_t state_ = 0;
    bool valid_ = false;
};

} // namespace port

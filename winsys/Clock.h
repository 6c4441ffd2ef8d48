#pragma once
// The process's one millisecond clock. The window thread's timers and waits, and the
// port layer's ticks, delays, event timers and time stamps all read it, so a test
// injects one ManualClock and steps timer sequences without sleeping.
#include <atomic>
#include <cstdint>

namespace winsys {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual int64_t NowMs() const = 0;
    // Microseconds on the same scale as NowMs() * 1000.
    virtual int64_t NowUs() const = 0;
};

// The monotonic clock of the system.
class SteadyClock final : public Clock {
  public:
    int64_t NowMs() const override;
    int64_t NowUs() const override;
};

// A clock that moves only when told to. Safe to read from any thread.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(int64_t startMs = 1000) : nowUs_(startMs * 1000) {}
    int64_t NowMs() const override { return nowUs_.load() / 1000; }
    int64_t NowUs() const override { return nowUs_.load(); }
    void AdvanceMs(int64_t ms) { nowUs_ += ms * 1000; }
    void SetMs(int64_t ms) { nowUs_ = ms * 1000; }

  private:
    std::atomic<int64_t> nowUs_;
};

// The clock the process reads: the one installed with SetCurrentClock, else the
// system's steady clock. Any thread. A loop reads the clock it was made with, by
// default this one at that moment.
Clock& CurrentClock();

// Installs clock (nullptr: the system's steady clock again) and returns the one
// installed before, nullptr for the system's. Install before loops are made and ports
// open, and take it back after they closed: threads read it without a lock.
Clock* SetCurrentClock(Clock* clock);

} // namespace winsys

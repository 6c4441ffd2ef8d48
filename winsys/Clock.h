#pragma once
// The millisecond clock of the window thread. Timers, waits and time stamps read it,
// so tests can inject a ManualClock and step timer sequences without sleeping.
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

// The clock used by default: the system's steady clock.
Clock& SystemClock();

} // namespace winsys

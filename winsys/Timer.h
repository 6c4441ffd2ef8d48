#pragma once
// A window timer with the window system's rules: enabling an enabled timer does not
// restart it, changing the interval restarts a running timer, setting a property to
// the value it has changes nothing, and an interval of 0 never fires.
#include "winsys/Controls.h"
#include "winsys/EventLoop.h"

namespace winsys {

class TTimer : public Control {
  public:
    // The loop defaults to EventLoop::Current() at the first start.
    TTimer(Control* parent, std::string name, unsigned intervalMs, bool enabled,
           EventLoop* loop = nullptr);
    ~TTimer() override;

    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned intervalMs);
    void SetEnabled(bool enabled) override;
    bool Enabled() const { return Control::Enabled(); }
    // Arms an enabled design-time timer once the loop exists.
    void Activate(EventLoop& loop);
    std::function<void()> OnTimer;

  private:
    void Restart();
    void Stop();
    EventLoop* loop_;
    unsigned interval_;
    EventLoop::TimerId id_ = 0;
};

} // namespace winsys

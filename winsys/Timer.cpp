#include "winsys/Timer.h"

namespace winsys {

TTimer::TTimer(Control* parent, std::string name, unsigned intervalMs, bool enabled,
               EventLoop* loop)
    : Control(ControlKind::Timer, parent, std::move(name)), loop_(loop), interval_(intervalMs) {
    Control::SetEnabled(enabled);
    if (enabled && loop_) Restart();
}

TTimer::~TTimer() {
    Stop();
}

void TTimer::Activate(EventLoop& loop) {
    loop_ = &loop;
    if (Enabled() && id_ == 0) Restart();
}

void TTimer::SetInterval(unsigned intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    if (Enabled()) Restart();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == Enabled()) return;
    Control::SetEnabled(enabled);
    if (enabled)
        Restart();
    else
        Stop();
}

void TTimer::Restart() {
    Stop();
    if (!loop_) loop_ = EventLoop::Current();
    if (!loop_ || interval_ == 0) return;
    id_ = loop_->StartTimer(interval_, [this] {
        if (OnTimer) OnTimer();
    });
}

void TTimer::Stop() {
    if (id_ != 0 && loop_) loop_->StopTimer(id_);
    id_ = 0;
}

} // namespace winsys

#include "ui/LoopBridge.h"

#include <algorithm>
#include <climits>

namespace ui {

LoopBridge::LoopBridge(winsys::EventLoop& loop)
    : loop_(loop), notifier_(loop.Fd(), QSocketNotifier::Read) {
    timer_.setSingleShot(true);
    // A coarse timer may fire a little early, which would cost a second wake-up for
    // every window timer tick.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { Dispatch(); });
    QObject::connect(&timer_, &QTimer::timeout, [this] { Dispatch(); });
    Rearm();
}

LoopBridge::~LoopBridge() {
    notifier_.setEnabled(false);
    timer_.stop();
}

void LoopBridge::Dispatch() {
    loop_.ProcessMessages();
    Rearm();
}

void LoopBridge::Rearm() {
    int64_t ms = loop_.HasPendingMessages() ? 0 : loop_.MsUntilNextTimer();
    if (ms < 0) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::min<int64_t>(ms, INT_MAX)));
}

} // namespace ui

#pragma once
// Drives the window thread's event loop from inside Qt's: a socket notifier on the
// loop's descriptor (readable when a message is queued or a watched fd is ready)
// and one single-shot timer armed for the loop's next timer deadline. Both run the
// loop's non-blocking dispatch and then re-arm the timer, so an idle window sleeps
// in Qt's loop until there is work: no polling.
//
// Window thread only. Dispatch is re-entrant: a handler that runs a nested Qt loop
// (a modal message box) goes on serving the loop's messages, the hand-offs of the
// port threads among them.
#include "winsys/EventLoop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace ui {

class LoopBridge {
  public:
    explicit LoopBridge(winsys::EventLoop& loop);
    ~LoopBridge();
    LoopBridge(const LoopBridge&) = delete;
    LoopBridge& operator=(const LoopBridge&) = delete;

    // Runs what is ready now, then re-arms.
    void Dispatch();
    // Arms the timer for the next deadline: at once while messages wait, never when
    // no timer runs. Call after anything outside a dispatch may have started or
    // stopped a timer (the binding does so after each operator action).
    void Rearm();

    // For tests: whether the timer is armed, and for how long (ms).
    bool TimerArmed() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }

  private:
    winsys::EventLoop& loop_;
    QSocketNotifier notifier_;
    QTimer timer_;
};

} // namespace ui

#pragma once
// The application object: owns the error display that shows every error reaching the
// event loop, and knows whether the window is on a display or headless.
#include "winsys/EventLoop.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace winsys {

// An error that repeats is shown once: a message equal to the last one shown, with no
// success and no new operator action since (a device gone away failing every poll
// tick), is counted instead of shown again.
class ErrorDisplay {
  public:
    using Viewer = std::function<void(const std::string& message)>;

    // Shows an error's message: records it, prints "error: MESSAGE" on standard error
    // when headless, and hands it to the viewer (the front end's message box); or
    // counts it as a repeat (above).
    void Show(const std::string& message);
    void ShowException(const std::exception& e) { Show(e.what()); }
    // The messages shown, in order.
    const std::vector<std::string>& Messages() const { return messages_; }
    // Repeats counted since the last message shown.
    int Repeats() const { return repeats_; }
    // Something succeeded, or the operator acts anew: the next error is shown even
    // when it repeats the last one.
    void EndRepeats() { repeatable_ = false; }
    void SetViewer(Viewer viewer) { viewer_ = std::move(viewer); }
    bool Headless = true;

  private:
    std::vector<std::string> messages_;
    bool repeatable_ = false; // the last message shown would be a repeat now
    int repeats_ = 0;
    Viewer viewer_;
};

class TApplication {
  public:
    // Makes the loop the current one and sends its escaped errors to the display.
    explicit TApplication(EventLoop& loop);
    ~TApplication();
    EventLoop& Loop() { return loop_; }
    ErrorDisplay& Errors() { return errors_; }
    // The application whose loop is the current one, if any.
    static TApplication* Current();
    // Runs a step of the program (an operator's action, the start or the close),
    // showing an error that escapes it, repeated or not.
    template <class Step> void Guard(Step&& step) {
        errors_.EndRepeats();
        try {
            step();
        } catch (const std::exception& e) {
            errors_.ShowException(e);
        }
    }

  private:
    EventLoop& loop_;
    ErrorDisplay errors_;
};

// Tells the current application's error display that an operation succeeded (see
// ErrorDisplay); nothing without an application.
void ReportSuccess();

} // namespace winsys

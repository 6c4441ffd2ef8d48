#pragma once
// The application object: owns the error display that shows every error reaching the
// event loop, and knows whether the window is on a display or headless.
#include "winsys/EventLoop.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace winsys {

class ErrorDisplay {
  public:
    using Viewer = std::function<void(const std::string& message)>;

    // Shows an error's message: records it, prints "error: MESSAGE" on standard error
    // when headless, and hands it to the viewer (the front end's message box).
    void Show(const std::string& message);
    void ShowException(const std::exception& e) { Show(e.what()); }
    const std::vector<std::string>& Messages() const { return messages_; }
    void SetViewer(Viewer viewer) { viewer_ = std::move(viewer); }
    bool Headless = true;

  private:
    std::vector<std::string> messages_;
    Viewer viewer_;
};

class TApplication {
  public:
    // Makes the loop the current one and sends its escaped errors to the display.
    explicit TApplication(EventLoop& loop);
    ~TApplication();
    EventLoop& Loop() { return loop_; }
    ErrorDisplay& Errors() { return errors_; }
    // Runs a step of the program, showing an error that escapes it.
    template <class Step> void Guard(Step&& step) {
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

} // namespace winsys

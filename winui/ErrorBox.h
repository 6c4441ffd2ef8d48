#pragma once
// The application's error display on the desktop: the system's message box with the
// error's message and the window's caption, owned by the main window. The box is
// shown from the loop once the handler that raised the error has ended, and the main
// window stays enabled while it is open, so the operator can go on working (one click
// on Poll STOP stops polling while it is shown). Errors raised while a box is open
// wait and are shown one after the other as each box closes, never a box on a box; an
// error repeated while it waits is shown once, with the count. At most MaxWaiting
// messages wait (the display's record keeps them all).
//
// Window thread only.
#include "winsys/EventLoop.h"
#include "winsys/Win32.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace winui {

class ErrorBox {
  public:
    ErrorBox(winsys::EventLoop& loop, std::wstring title, ::HWND owner);
    ~ErrorBox();
    ErrorBox(const ErrorBox&) = delete;
    ErrorBox& operator=(const ErrorBox&) = delete;
    // The ErrorDisplay's viewer. Queues the message and returns at once.
    void Show(const std::string& message);
    bool Open() const { return open_; }
    // Called with each box once it is on screen (tests read and close it from here).
    std::function<void(::HWND box)> OnShown;

    static constexpr size_t MaxWaiting = 100;

  private:
    void ShowWaiting();
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam);

    struct Waiting {
        std::string message;
        int count;
    };
    winsys::EventLoop& loop_;
    std::wstring title_;
    ::HWND owner_;
    std::deque<Waiting> waiting_;
    bool open_ = false;
    bool queued_ = false;
    ::HHOOK hook_ = nullptr;
    std::shared_ptr<ErrorBox*> self_; // the posted task's way back; empty once gone
};

} // namespace winui

#pragma once
// The application's error display on screen: a modal message box with the error's
// message, on the window thread. While a box is open its nested loop keeps serving
// the window thread's loop (see LoopBridge); errors raised meanwhile wait and are
// shown one after the other when the box closes, rather than piling up boxes; an
// error repeated while it waits is shown once, with the count. At most MaxWaiting
// messages wait (the display's record keeps them all).
#include <QString>

#include <deque>
#include <functional>
#include <string>

class QMessageBox;
class QWidget;

namespace ui {

class ErrorBox {
  public:
    // parent: the window the boxes belong to (may be hidden or null).
    ErrorBox(QString title, std::function<QWidget*()> parent);
    // The ErrorDisplay's viewer. Returns when this message's box (and every box that
    // waited behind it) has closed; at once when a box is already open.
    void Show(const std::string& message);
    bool Open() const { return open_; }
    // Called with each box just before it runs (tests close it from here).
    std::function<void(QMessageBox& box)> OnShown;

    static constexpr size_t MaxWaiting = 100;

  private:
    struct Waiting {
        std::string message;
        int count;
    };
    QString title_;
    std::function<QWidget*()> parent_;
    std::deque<Waiting> waiting_;
    bool open_ = false;
};

} // namespace ui

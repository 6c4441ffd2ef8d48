#pragma once
// The application's error display on screen: a message box with the error's message,
// on the window thread. The box does not block the window, so the operator can go on
// working (one click on Poll STOP stops polling while it is shown). Errors raised while
// a box is open wait and are shown one after the other as each box closes, never a
// box on a box; an error repeated while it waits is shown once, with the count. At
// most MaxWaiting messages wait (the display's record keeps them all).
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace ui {

class ErrorBox {
  public:
    // parent: the window the boxes belong to (may be hidden or null).
    ErrorBox(QString title, std::function<QWidget*()> parent);
    ~ErrorBox();
    ErrorBox(const ErrorBox&) = delete;
    ErrorBox& operator=(const ErrorBox&) = delete;
    // The ErrorDisplay's viewer. Shows the message's box and returns at once; while a
    // box is open the message waits its turn.
    void Show(const std::string& message);
    bool Open() const { return open_; }
    // Called with each box just before it is shown (tests close it from here).
    std::function<void(QMessageBox& box)> OnShown;

    static constexpr size_t MaxWaiting = 100;

  private:
    void ShowNext();

    struct Waiting {
        std::string message;
        int count;
    };
    QString title_;
    std::function<QWidget*()> parent_;
    std::deque<Waiting> waiting_;
    QPointer<QMessageBox> box_;
    std::unique_ptr<QObject> context_; // runs the next box; its end drops what is queued
    bool open_ = false;
};

} // namespace ui

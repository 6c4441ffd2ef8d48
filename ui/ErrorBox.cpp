#include "ui/ErrorBox.h"

#include "ui/QtText.h"

#include <QMessageBox>

#include <cstdio>

namespace ui {

ErrorBox::ErrorBox(QString title, std::function<QWidget*()> parent)
    : title_(std::move(title)), parent_(std::move(parent)) {}

void ErrorBox::Show(const std::string& message) {
    // A trace for whoever started the tool from a terminal.
    std::fprintf(stderr, "error: %s\n", message.c_str());
    if (!waiting_.empty() && waiting_.back().message == message) ++waiting_.back().count;
    else if (waiting_.size() < MaxWaiting) waiting_.push_back({message, 1});
    if (open_) return;
    open_ = true;
    while (!waiting_.empty()) {
        Waiting next = waiting_.front();
        waiting_.pop_front();
        QMessageBox box(QMessageBox::Critical, title_, ToQt(next.message), QMessageBox::Ok,
                        parent_ ? parent_() : nullptr);
        if (next.count > 1)
            box.setInformativeText(QString("The same error occurred %1 times.").arg(next.count));
        if (OnShown) OnShown(box);
        box.exec();
    }
    open_ = false;
}

} // namespace ui

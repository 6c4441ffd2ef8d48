#include "ui/ErrorBox.h"

#include "ui/QtText.h"

#include <QMessageBox>

#include <cstdio>

namespace ui {

ErrorBox::ErrorBox(QString title, std::function<QWidget*()> parent)
    : title_(std::move(title)), parent_(std::move(parent)), context_(std::make_unique<QObject>()) {}

ErrorBox::~ErrorBox() {
    context_.reset();
    delete box_;
}

void ErrorBox::Show(const std::string& message) {
    // A trace for whoever started the tool from a terminal.
    std::fprintf(stderr, "error: %s\n", message.c_str());
    if (!waiting_.empty() && waiting_.back().message == message)
        ++waiting_.back().count;
    else if (waiting_.size() < MaxWaiting)
        waiting_.push_back({message, 1});
    if (!open_) ShowNext();
}

void ErrorBox::ShowNext() {
    if (waiting_.empty()) {
        open_ = false;
        return;
    }
    open_ = true;
    Waiting next = waiting_.front();
    waiting_.pop_front();
    auto* box = new QMessageBox(QMessageBox::Critical, title_, ToQt(next.message), QMessageBox::Ok,
                                parent_ ? parent_() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (next.count > 1)
        box->setInformativeText(QString("The same error occurred %1 times.").arg(next.count));
    box_ = box;
    // The next box once this one has gone, from the loop rather than from inside its
    // own close.
    QObject::connect(box, &QMessageBox::finished, context_.get(), [this, box] {
        box->disconnect(context_.get());
        QMetaObject::invokeMethod(
            context_.get(), [this] { ShowNext(); }, Qt::QueuedConnection);
    });
    if (OnShown) OnShown(*box);
    box->show();
}

} // namespace ui

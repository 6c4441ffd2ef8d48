#include "winsys/Application.h"

#include <cstdio>

namespace winsys {

namespace {
TApplication* current = nullptr;
} // namespace

void ErrorDisplay::Show(const std::string& message) {
    if (repeatable_ && !messages_.empty() && messages_.back() == message) {
        ++repeats_;
        return;
    }
    repeatable_ = true;
    repeats_ = 0;
    messages_.push_back(message);
    if (Headless) std::fprintf(stderr, "error: %s\n", message.c_str());
    if (viewer_) viewer_(message);
}

TApplication* TApplication::Current() {
    return current;
}

void ReportSuccess() {
    if (current) current->Errors().EndRepeats();
}

TApplication::TApplication(EventLoop& loop) : loop_(loop) {
    current = this;
    EventLoop::SetCurrent(&loop_);
    loop_.SetErrorHandler([this](const std::exception& e) { errors_.ShowException(e); });
}

TApplication::~TApplication() {
    loop_.SetErrorHandler(nullptr);
    if (current == this) current = nullptr;
    if (EventLoop::Current() == &loop_) EventLoop::SetCurrent(nullptr);
}

} // namespace winsys

#include "winsys/Application.h"

#include <cstdio>

namespace winsys {

void ErrorDisplay::Show(const std::string& message) {
    messages_.push_back(message);
    if (Headless) std::fprintf(stderr, "error: %s\n", message.c_str());
    if (viewer_) viewer_(message);
}

TApplication::TApplication(EventLoop& loop) : loop_(loop) {
    EventLoop::SetCurrent(&loop_);
    loop_.SetErrorHandler([this](const std::exception& e) { errors_.ShowException(e); });
}

TApplication::~TApplication() {
    loop_.SetErrorHandler(nullptr);
    if (EventLoop::Current() == &loop_) EventLoop::SetCurrent(nullptr);
}

} // namespace winsys

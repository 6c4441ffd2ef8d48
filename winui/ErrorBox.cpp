#include "winui/ErrorBox.h"

#include "winui/NativeText.h"

#include <cstdio>

namespace winui {

namespace {
// The box being opened on this thread, for the hook that sees it appear.
thread_local ErrorBox* opening = nullptr;
} // namespace

ErrorBox::ErrorBox(winsys::EventLoop& loop, std::wstring title, ::HWND owner)
    : loop_(loop), title_(std::move(title)), owner_(owner),
      self_(std::make_shared<ErrorBox*>(this)) {}

ErrorBox::~ErrorBox() {
    *self_ = nullptr;
}

void ErrorBox::Show(const std::string& message) {
    // A trace for whoever started the tool from a command prompt.
    std::fprintf(stderr, "error: %s\n", message.c_str());
    if (!waiting_.empty() && waiting_.back().message == message)
        ++waiting_.back().count;
    else if (waiting_.size() < MaxWaiting)
        waiting_.push_back({message, 1});
    if (open_ || queued_) return;
    // Not from inside the handler that raised it: the handler ends first.
    queued_ = true;
    std::weak_ptr<ErrorBox*> self = self_;
    loop_.PostTask([self] {
        if (auto box = self.lock(); box && *box) {
            (*box)->queued_ = false;
            (*box)->ShowWaiting();
        }
    });
}

void ErrorBox::ShowWaiting() {
    if (open_) return;
    open_ = true;
    while (!waiting_.empty() && IsWindow(owner_)) {
        Waiting next = waiting_.front();
        waiting_.pop_front();
        std::string text = next.message;
        if (next.count > 1)
            text += "\n\nThe same error occurred " + std::to_string(next.count) + " times.";
        ErrorBox* outer = opening;
        opening = this;
        hook_ = SetWindowsHookExW(WH_CBT, &ErrorBox::Watch, nullptr, GetCurrentThreadId());
        MessageBoxW(owner_, Wide(text).c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
        if (hook_) UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
        opening = outer;
    }
    open_ = false;
}

// Sees the box activate: the main window, which the box disabled, is enabled again.
LRESULT CALLBACK ErrorBox::Watch(int code, WPARAM wParam, LPARAM lParam) {
    ErrorBox* self = opening;
    if (code == HCBT_ACTIVATE && self) {
        auto box = reinterpret_cast<::HWND>(wParam);
        if (GetWindow(box, GW_OWNER) == self->owner_) {
            opening = nullptr; // once per box
            EnableWindow(self->owner_, TRUE);
            if (self->OnShown) self->OnShown(box);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace winui

// The event loop on Windows, on the thread's own message queue:
//   - a message window is a real message-only window of one window class; the loop's
//     message m travels as the system message WM_USER + m, posted with PostMessage;
//   - a send from another thread goes with SendMessage, or SendMessageTimeout with
//     SMTO_BLOCK, as one registered carrier message whose record the sender keeps; the
//     record makes a late message harmless (it is never run once its sender gave up)
//     and keeps the sender waiting once the procedure has started;
//   - tasks, wake-ups and the loop's timers go to the loop's own message-only window;
//     the timers run from a window timer kept at the next due time (so they also run
//     inside the window system's modal loops: a message box, a dialog), and from
//     every pass of ProcessMessages, so they keep the loop's clock (a ManualClock too);
//   - the thread's windows on screen share the queue: key messages are translated
//     (after the message filter, for the window's keyboard navigation), and a pass
//     also runs the input, paint and timer messages waiting behind the round's end,
//     which the queue hands out only after every posted message.
#include "winsys/EventLoop.h"

#include "winsys/Exception.h"
#include "winsys/Win32.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <string>

namespace {
// Outside the namespace, where HWND is still the system's type the macro casts to.
const HWND MessageOnlyParent = HWND_MESSAGE;
} // namespace

namespace winsys {

namespace {

// Messages of the loop's own window.
constexpr UINT TaskMsg = WM_USER + 1;     // lParam: a std::function<void()>* to run and free
constexpr UINT RoundEndMsg = WM_USER + 2; // wParam: the ProcessMessages round it ends
constexpr UINT_PTR DueTimerId = 1;
// The loop's messages take WM_USER to 0xBFFF; registered messages lie above.
constexpr uint32_t LoopMessageLimit = 0xC000 - WM_USER;
// Bound of one ProcessMessages pass, against a handler that posts to itself forever.
constexpr int MaxMessagesPerPass = 100000;
const wchar_t* const WindowClassName = L"RvexMessageWindow";
constexpr UINT WmSysTimer = 0x0118; // the caret's blink

std::function<bool(MSG&)>& MessageFilter() {
    static std::function<bool(MSG&)> filter;
    return filter;
}

void Dispatch(MSG& message) {
    if (MessageFilter() && MessageFilter()(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

::HWND NativeOf(HWND window) {
    return NativeWindow(window);
}

HWND HandleOf(::HWND native) {
    return static_cast<HWND>(reinterpret_cast<uintptr_t>(native));
}

std::string LastErrorText(const char* what) {
    return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

UINT CarrierMsg() {
    static const UINT msg = RegisterWindowMessageW(L"RvexLoopSentMessage");
    return msg;
}

} // namespace

struct EventLoop::SendRecord {
    enum State { Waiting, Running, Done } state = Waiting;
    HWND window = 0;
    uint32_t msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool handled = false;
    LRESULT result = 0;
};

struct EventLoop::Native {
    explicit Native(EventLoop& owner) : loop(owner) {}

    static LRESULT CALLBACK Procedure(::HWND native, UINT msg, WPARAM wParam, LPARAM lParam);
    static void RegisterClassOnce();
    ::HWND NewWindow();
    LRESULT OwnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT LoopMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam);
    LRESULT SentMessage(uint64_t id);
    bool DispatchOne(); // false when the queue is empty

    EventLoop& loop;
    ::HWND own = nullptr;
    // Records of senders on other threads, by id; guarded by loop.mutex_.
    std::map<uint64_t, SendRecord*> sends;
    uint64_t nextSend = 1;
    std::condition_variable sendDone;
    uint64_t nextRound = 1;
    std::set<uint64_t> roundsEnded;
    uint64_t ran = 0; // items run: what SafeYield counts
    YieldedItem last; // what the last item that ended was, for SafeYield
};

void EventLoop::Native::RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Native::Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = WindowClassName;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) throw Exception(LastErrorText("RegisterClassEx"));
}

::HWND EventLoop::Native::NewWindow() {
    RegisterClassOnce();
    ::HWND native = CreateWindowExW(0, WindowClassName, L"", 0, 0, 0, 0, 0, MessageOnlyParent,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!native) throw Exception(LastErrorText("CreateWindowEx"));
    SetWindowLongPtrW(native, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return native;
}

LRESULT CALLBACK EventLoop::Native::Procedure(::HWND native, UINT msg, WPARAM wParam,
                                              LPARAM lParam) {
    auto* self = reinterpret_cast<Native*>(GetWindowLongPtrW(native, GWLP_USERDATA));
    if (!self) return DefWindowProcW(native, msg, wParam, lParam);
    if (native == self->own) return self->OwnMessage(msg, wParam, lParam);
    if (msg == CarrierMsg()) return self->SentMessage(static_cast<uint64_t>(wParam));
    if (msg >= WM_USER && msg < WM_USER + LoopMessageLimit)
        return self->LoopMessage(HandleOf(native), msg - WM_USER, wParam, lParam);
    return DefWindowProcW(native, msg, wParam, lParam);
}

LRESULT EventLoop::Native::OwnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case TaskMsg: {
        std::unique_ptr<std::function<void()>> task(
            reinterpret_cast<std::function<void()>*>(lParam));
        ++ran;
        loop.Guard(*task);
        last = YieldedItem{};
        return 0;
    }
    case RoundEndMsg:
        roundsEnded.insert(static_cast<uint64_t>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == DueTimerId) {
            KillTimer(own, DueTimerId);
            const int64_t now = loop.clock_.NowMs();
            const size_t count = loop.timers_.size();
            for (size_t i = 0; i < count && loop.RunOneDueTimer(now); ++i) {
                ++ran;
                last = YieldedItem{WmTimer, 0};
            }
            loop.TimersChanged(); // a tick that came early waits for its time again
        }
        return 0;
    default:
        return DefWindowProcW(own, msg, wParam, lParam);
    }
}

LRESULT EventLoop::Native::LoopMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    ++ran;
    LRESULT result = 0;
    loop.Guard([&] { result = loop.CallWindow(window, msg, wParam, lParam); });
    // Set once the procedure has returned, so that a SafeYield nested in it cannot
    // leave its own item here.
    last = YieldedItem{msg, window};
    return result;
}

LRESULT EventLoop::Native::SentMessage(uint64_t id) {
    SendRecord* record;
    {
        std::lock_guard lock(loop.mutex_);
        auto it = sends.find(id);
        // A sender that gave up has taken its record away: the message is dropped.
        if (it == sends.end() || it->second->state != SendRecord::Waiting) return 0;
        record = it->second;
        record->state = SendRecord::Running;
    }
    ++ran;
    const bool exists = loop.IsWindow(record->window);
    LRESULT result = 0;
    if (exists)
        loop.Guard([&] {
            result = loop.CallWindow(record->window, record->msg, record->wParam, record->lParam);
        });
    // The record is the sender's: it may be gone once it says Done.
    last = YieldedItem{record->msg, record->window};
    {
        std::lock_guard lock(loop.mutex_);
        record->result = result;
        record->handled = exists;
        record->state = SendRecord::Done;
    }
    sendDone.notify_all();
    return result;
}

bool EventLoop::Native::DispatchOne() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    Dispatch(message);
    return true;
}

void SetMessageFilter(std::function<bool(MSG&)> filter) {
    MessageFilter() = std::move(filter);
}

EventLoop::EventLoop(Clock& clock)
    : clock_(clock), windowThread_(std::this_thread::get_id()),
      native_(std::make_unique<Native>(*this)) {
    native_->own = native_->NewWindow();
}

EventLoop::~EventLoop() {
    LeaveCurrent();
    std::vector<HWND> left;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [window, proc] : windows_)
            left.push_back(window);
        windows_.clear();
    }
    // Senders still waiting get "not handled" rather than hanging.
    ServeSentMessages();
    for (HWND window : left)
        ::DestroyWindow(NativeOf(window));
    KillTimer(native_->own, DueTimerId);
    MSG message;
    while (PeekMessageW(&message, native_->own, TaskMsg, TaskMsg, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(message.lParam);
    ::DestroyWindow(native_->own);
}

HWND EventLoop::CreateWindow(WndProc proc) {
    if (!IsWindowThread()) throw Exception("message windows are created on the window thread");
    HWND window = HandleOf(native_->NewWindow());
    std::lock_guard lock(mutex_);
    windows_[window] = std::make_shared<WndProc>(std::move(proc));
    return window;
}

void EventLoop::DestroyWindow(HWND window) {
    {
        std::lock_guard lock(mutex_);
        if (windows_.erase(window) == 0) return;
    }
    // A window belongs to the thread that made it; another thread has it destroyed there.
    if (IsWindowThread())
        ::DestroyWindow(NativeOf(window));
    else
        PostTask([window] { ::DestroyWindow(NativeOf(window)); });
}

bool EventLoop::IsWindow(HWND window) const {
    std::lock_guard lock(mutex_);
    return windows_.count(window) != 0;
}

bool EventLoop::PostMessage(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= LoopMessageLimit || !IsWindow(window)) return false;
    return PostMessageW(NativeOf(window), NativeMessage(msg), wParam, lParam) != 0;
}

void EventLoop::PostTask(std::function<void()> task) {
    auto* queued = new std::function<void()>(std::move(task));
    if (!PostMessageW(native_->own, TaskMsg, 0, reinterpret_cast<LPARAM>(queued))) {
        delete queued;
        throw Exception(LastErrorText("PostMessage"));
    }
}

bool EventLoop::SendMessageTimeout(HWND window, uint32_t msg, WPARAM wParam, LPARAM lParam,
                                   unsigned timeoutMs, LRESULT* result) {
    if (IsWindowThread()) {
        if (!IsWindow(window)) return false;
        LRESULT r = CallWindow(window, msg, wParam, lParam);
        if (result) *result = r;
        return true;
    }
    SendRecord record;
    record.window = window;
    record.msg = msg;
    record.wParam = wParam;
    record.lParam = lParam;
    uint64_t id;
    {
        std::lock_guard lock(mutex_);
        if (windows_.count(window) == 0) return false;
        id = native_->nextSend++;
        native_->sends[id] = &record;
    }
    const ::HWND target = NativeOf(window);
    if (timeoutMs == 0) {
        SendMessageW(target, CarrierMsg(), static_cast<WPARAM>(id), 0);
    } else {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(target, CarrierMsg(), static_cast<WPARAM>(id), 0, SMTO_BLOCK, timeoutMs,
                            &ignored);
    }
    std::unique_lock lock(mutex_);
    // Timed out while the procedure runs: its result is still awaited.
    native_->sendDone.wait(lock, [&] { return record.state != SendRecord::Running; });
    native_->sends.erase(id);
    if (record.state != SendRecord::Done) return false;
    if (result) *result = record.result;
    return record.handled;
}

void EventLoop::ServeSentMessages() {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

EventLoop::WatchId EventLoop::WatchFd(int fd, unsigned events, std::function<void(unsigned)>) {
    poller_.Add(fd, events, 0); // raises: there are no descriptor watches here
    return 0;
}

void EventLoop::ChangeWatch(WatchId, unsigned) {}

void EventLoop::RemoveWatch(WatchId) {}

bool EventLoop::HasPendingMessages() const {
    return HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0;
}

void EventLoop::ProcessMessages() {
    // Runs what was queued before this pass: the pass ends at its own round mark.
    const uint64_t round = native_->nextRound++;
    PostMessageW(native_->own, RoundEndMsg, static_cast<WPARAM>(round), 0);
    for (int i = 0; i < MaxMessagesPerPass; ++i) {
        if (native_->roundsEnded.count(round) || !native_->DispatchOne()) break;
    }
    native_->roundsEnded.erase(round);
    // Input, paint and window timer messages come out of the queue only after every
    // posted message, the round's end among them: they are run here, or a window
    // would never paint and a wait for input would return at once, again and again.
    MSG message;
    for (int i = 0; i < MaxMessagesPerPass; ++i) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_PAINT) &&
            !PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) &&
            !PeekMessageW(&message, nullptr, WmSysTimer, WmSysTimer, PM_REMOVE))
            break;
        Dispatch(message);
    }
    const int64_t now = clock_.NowMs();
    const size_t timerCount = timers_.size();
    for (size_t i = 0; i < timerCount && RunOneDueTimer(now); ++i) {
    }
}

bool EventLoop::SafeYield(YieldedItem* Ran) {
    if (Ran) *Ran = YieldedItem{};
    const uint64_t before = native_->ran;
    // Marks and wake-ups run nothing: they do not count as the one item.
    for (int i = 0; i < 64 && native_->ran == before; ++i) {
        if (!native_->DispatchOne()) break;
    }
    if (native_->ran != before) {
        if (Ran) *Ran = native_->last;
        return true;
    }
    if (!RunOneDueTimer(clock_.NowMs())) return false;
    if (Ran) Ran->msg = WmTimer;
    return true;
}

void EventLoop::WaitForWork(int64_t maxMs) {
    int64_t untilTimer = MsUntilNextTimer();
    int64_t wait = maxMs;
    if (untilTimer >= 0 && (wait < 0 || untilTimer < wait)) wait = untilTimer;
    if (wait == 0 || HasPendingMessages()) return;
    if (untilTimer > 0) {
        SetTimer(native_->own, DueTimerId,
                 static_cast<UINT>(std::clamp<int64_t>(untilTimer, USER_TIMER_MINIMUM, INT32_MAX)),
                 nullptr);
    }
    poller_.Wait(static_cast<int>(std::min<int64_t>(wait, INT32_MAX)));
}

void EventLoop::TimersChanged() {
    if (!native_ || !IsWindowThread()) return;
    const int64_t untilTimer = MsUntilNextTimer();
    if (untilTimer < 0) {
        KillTimer(native_->own, DueTimerId);
        return;
    }
    SetTimer(native_->own, DueTimerId,
             static_cast<UINT>(std::clamp<int64_t>(untilTimer, USER_TIMER_MINIMUM, INT32_MAX)),
             nullptr);
}

} // namespace winsys

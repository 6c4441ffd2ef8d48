// Notification handlers and the delivery of one notification to all of them.
#include "port/Dispatcher.h"

#include <algorithm>
#include <string>

namespace port {

namespace {

// A synchronised method call handed to the window thread.
struct SyncRequest {
    const TPortNotifyEvent* method;
    uint32_t msg;
    winsys::WPARAM wParam;
    winsys::LPARAM lParam;
};

template <class List, class Same>
bool RemoveHandler(List& list, bool inNotify, Same same, bool& purgePending) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->thDeleted || !same(*it)) continue;
        if (inNotify) {
            // The entry may be in use by the running notification: removed at its end.
            it->thDeleted = true;
            purgePending = true;
        } else {
            list.erase(it);
        }
        return true;
    }
    return false;
}

} // namespace

// ---- Registration ----------------------------------------------------------------------

int32_t TBaseDispatcher::RegisterWndTriggerHandler(winsys::HWND HWnd) {
    std::lock_guard lock(StateLock);
    WndTriggerHandlers.push_back(TWndTriggerHandler{HWnd, false});
    NotifyNeeded = true;
    if (LogActive()) AddDispatchEntry(dtTriggerHandlerAlloc, dstWndHandler, HWnd, nullptr, 0);
    return ecOK;
}

int32_t TBaseDispatcher::RegisterProcTriggerHandler(TPortNotifyProc Proc) {
    if (!Proc) return ecBadArgument;
    std::lock_guard lock(StateLock);
    ProcTriggerHandlers.push_back(TProcTriggerHandler{Proc, false});
    NotifyNeeded = true;
    if (LogActive()) AddDispatchEntry(dtTriggerHandlerAlloc, dstProcHandler, 0, nullptr, 0);
    return ecOK;
}

int32_t TBaseDispatcher::RegisterEventTriggerHandler(TPortNotifyEvent Method) {
    if (!Method) return ecBadArgument;
    std::lock_guard lock(StateLock);
    EventTriggerHandlers.push_back(TEventTriggerHandler{Method, false, false});
    NotifyNeeded = true;
    if (LogActive()) AddDispatchEntry(dtTriggerHandlerAlloc, dstEventHandler, 0, nullptr, 0);
    return ecOK;
}

int32_t TBaseDispatcher::RegisterSyncEventTriggerHandler(TPortNotifyEvent Method) {
    if (!Method) return ecBadArgument;
    std::lock_guard lock(StateLock);
    EventTriggerHandlers.push_back(TEventTriggerHandler{Method, false, true});
    NotifyNeeded = true;
    if (LogActive()) AddDispatchEntry(dtTriggerHandlerAlloc, dstEventHandler, 1, nullptr, 0);
    return ecOK;
}

int32_t TBaseDispatcher::DeregisterWndTriggerHandler(winsys::HWND HWnd) {
    std::lock_guard lock(StateLock);
    bool purge = false;
    bool removed = RemoveHandler(
        WndTriggerHandlers, InNotifyFlag.load(),
        [&](const TWndTriggerHandler& h) { return h.thWnd == HWnd; }, purge);
    if (purge) HandlerPurgePending = true;
    if (removed && LogActive())
        AddDispatchEntry(dtTriggerHandlerDispose, dstWndHandler, HWnd, nullptr, 0);
    if (removed && !purge) UpdateHandlerFlags(fuKeepPort);
    return ecOK;
}

int32_t TBaseDispatcher::DeregisterProcTriggerHandler(TPortNotifyProc Proc) {
    std::lock_guard lock(StateLock);
    bool purge = false;
    bool removed = RemoveHandler(
        ProcTriggerHandlers, InNotifyFlag.load(),
        [&](const TProcTriggerHandler& h) { return h.thNotify == Proc; }, purge);
    if (purge) HandlerPurgePending = true;
    if (removed && LogActive())
        AddDispatchEntry(dtTriggerHandlerDispose, dstProcHandler, 0, nullptr, 0);
    if (removed && !purge) UpdateHandlerFlags(fuKeepPort);
    return ecOK;
}

int32_t TBaseDispatcher::DeregisterEventTriggerHandler(TPortNotifyEvent Method) {
    std::lock_guard lock(StateLock);
    bool purge = false;
    // The method's code alone: the first entry with that method goes, whatever its object.
    bool removed = RemoveHandler(
        EventTriggerHandlers, InNotifyFlag.load(),
        [&](const TEventTriggerHandler& h) { return h.thNotify.Code == Method.Code; }, purge);
    if (purge) HandlerPurgePending = true;
    if (removed && LogActive())
        AddDispatchEntry(dtTriggerHandlerDispose, dstEventHandler, 0, nullptr, 0);
    if (removed && !purge) UpdateHandlerFlags(fuKeepPort);
    return ecOK;
}

bool TBaseDispatcher::AnyHandlerLocked() const {
    auto live = [](const auto& list) {
        return static_cast<size_t>(
            std::count_if(list.begin(), list.end(), [](const auto& h) { return !h.thDeleted; }));
    };
    return live(WndTriggerHandlers) > 1 || live(ProcTriggerHandlers) > 0 ||
           live(EventTriggerHandlers) > 0;
}

void TBaseDispatcher::UpdateHandlerFlags(THandlerFlagUpdate FlagUpdate) {
    std::lock_guard lock(StateLock);
    bool any = AnyHandlerLocked();
    switch (FlagUpdate) {
    case fuKeepPort:
        NotifyNeeded = any || OwnerWantsEvents.load();
        break;
    case fuEnablePort:
        OwnerWantsEvents = true;
        NotifyNeeded = true;
        break;
    case fuDisablePort:
        OwnerWantsEvents = false;
        NotifyNeeded = any;
        break;
    }
}

void TBaseDispatcher::PurgeRemovedHandlers() {
    auto purge = [](auto& list) {
        list.erase(
            std::remove_if(list.begin(), list.end(), [](const auto& h) { return h.thDeleted; }),
            list.end());
    };
    purge(WndTriggerHandlers);
    purge(ProcTriggerHandlers);
    purge(EventTriggerHandlers);
}

void TBaseDispatcher::SetEventBusy(bool& WasOn, bool SetOn) {
    std::lock_guard lock(StateLock);
    WasOn = InNotifyFlag.load();
    InNotifyFlag = SetOn;
}

// ---- Delivery ------------------------------------------------------------------------

void TBaseDispatcher::ReportThreadError(const std::exception& E) {
    if (!EventLoopOf) return;
    // The application's error display runs on the window thread.
    EventLoopOf->PostTask([message = std::string(E.what())] { throw winsys::Exception(message); });
}

void TBaseDispatcher::SyncCall(const TPortNotifyEvent& Method, uint32_t Msg, winsys::WPARAM w,
                               winsys::LPARAM l) {
    if (!EventLoopOf || EventLoopOf->IsWindowThread() || !SyncWindow) {
        Method.Code(Method.Data, Msg, w, l);
        return;
    }
    SyncRequest request{&Method, Msg, w, l};
    EventLoopOf->SendMessage(SyncWindow, 0, reinterpret_cast<winsys::WPARAM>(&request), 0);
}

winsys::LRESULT TBaseDispatcher::SyncWindowProc(winsys::WPARAM wParam) {
    const auto* request = reinterpret_cast<const SyncRequest*>(wParam);
    request->method->Code(request->method->Data, request->msg, request->wParam, request->lParam);
    return 0;
}

bool TBaseDispatcher::CallHandler(TWndTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle,
                                  winsys::LPARAM l) {
    if (!EventLoopOf) return true;
    winsys::LRESULT result = 0;
    if (!EventLoopOf->SendMessageTimeout(H.thWnd, Msg, TriggerHandle, l, NotifyTimeout, &result) &&
        EventLoopOf->IsWindow(H.thWnd)) {
        // The window thread did not take it in time: the handler never ran and read
        // nothing, so its bytes stay unread for the next notification.
        ++SkippedNotifyCount;
        NotifySkipped(H.thWnd, Msg);
    }
    return true;
}

bool TBaseDispatcher::CallHandler(TProcTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle,
                                  winsys::LPARAM l) {
    H.thNotify(Msg, TriggerHandle, l);
    return true;
}

bool TBaseDispatcher::CallHandler(TEventTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle,
                                  winsys::LPARAM l) {
    if (H.thSync)
        SyncCall(H.thNotify, Msg, TriggerHandle, l);
    else
        H.thNotify.Code(H.thNotify.Data, Msg, TriggerHandle, l);
    return true;
}

template <class Entry>
bool TBaseDispatcher::CallHandlers(std::vector<Entry>& List, uint32_t Msg, uint32_t TriggerHandle,
                                   winsys::LPARAM lParam) {
    // Handlers may register others meanwhile (appended) or remove them (marked), so the
    // entries are taken one at a time under the lock and called without it.
    for (size_t i = 0;; ++i) {
        Entry entry;
        {
            std::lock_guard lock(StateLock);
            if (i >= List.size()) return true;
            entry = List[i];
        }
        if (entry.thDeleted) continue;
        {
            std::lock_guard lock(InLock);
            AvailReadCount = 0;
        }
        try {
            CallHandler(entry, Msg, TriggerHandle, lParam);
        } catch (const std::exception& e) {
            // A handler's error is shown; the notification goes on, so the dispatcher is
            // never left inside it.
            ReportThreadError(e);
        }
        if (CloseDeferredFlag.load()) return false;
        std::lock_guard lock(InLock);
        AvailReadMax = std::max(AvailReadMax, AvailReadCount);
    }
}

bool TBaseDispatcher::SendNotify(uint32_t Msg, uint32_t TriggerHandle, uint32_t Data) {
    if (!NotifyNeeded.load()) return true;
    {
        std::lock_guard lock(StateLock);
        InNotifyFlag = true;
    }
    {
        std::lock_guard lock(InLock);
        AvailReadMax = 0;
        InAvailNotify = Msg == PortMsgAvail || Msg == PortMsgData;
    }
    winsys::LPARAM lParam = MakePortLParam(PortHandleValue, Data);
    uint32_t skippedBefore = SkippedNotifyCount.load();

    bool completed = CallHandlers(EventTriggerHandlers, Msg, TriggerHandle, lParam) &&
                     CallHandlers(ProcTriggerHandlers, Msg, TriggerHandle, lParam);
    if (completed) {
        size_t windows;
        {
            std::lock_guard lock(StateLock);
            windows = WndTriggerHandlers.size();
        }
        if (windows > 1 || OwnerWantsEvents.load())
            completed = CallHandlers(WndTriggerHandlers, Msg, TriggerHandle, lParam);
    }

    bool result = completed;
    {
        std::lock_guard lock(InLock);
        if (InAvailNotify) {
            InAvailNotify = false;
            if (completed) {
                // Commit what the handlers read, never more than is unread.
                uint32_t commit = std::min(AvailReadMax, InUsedLocked());
                AdvanceInTail(commit);
                if (Msg == PortMsgAvail && commit != TriggerHandle) result = false;
            }
        }
    }
    if (Msg == PortMsgAvail && SkippedNotifyCount.load() != skippedBefore) {
        // A window held past the hand-off limit never saw these bytes: announce them
        // again at the dispatch thread's next pass, so that they reach it as soon as
        // it is free rather than with the next byte that arrives.
        std::lock_guard inLock(InLock);
        std::lock_guard stateLock(StateLock);
        AvailNotifyCount = AvailNotifyAgain;
    }
    {
        std::lock_guard lock(StateLock);
        InNotifyFlag = false;
        if (HandlerPurgePending.exchange(false)) {
            PurgeRemovedHandlers();
            UpdateHandlerFlags(fuKeepPort);
        }
    }
    std::lock_guard lock(InLock);
    AvailReadCount = 0;
    return result;
}

} // namespace port

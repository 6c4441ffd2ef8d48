// The component's life: construction, the open and close sequences with the deferred
// close, the notify window and its procedure, the users and their callbacks.
#include "port/ComPort.h"

#include "port/ComMapping.h"
#include "port/PortList.h"
#include "port/PortSelect.h"
#include "port/SerialDispatcher.h"

#include <exception>

namespace port {

const char* const ParityName[5] = {"None", "Odd", "Even", "Mark", "Space"};

TCustomComPort::TCustomComPort(winsys::EventLoop* Loop)
    : TraceLog(TTraceLogControl::THost{this, [this] { return ForceApply; },
                                       [this]() -> TBaseDispatcher& { return ValidDispatcher(); }}),
      LoopValue(Loop ? Loop : winsys::EventLoop::Current()) {}

TCustomComPort::~TCustomComPort() {
    ComponentState |= csDestroying;
    try {
        if (PortState == psOpen) DonePort();
    } catch (const std::exception&) {
        // A destructor has nobody to tell; the port is released below either way.
    }
    if (PortState == psShuttingDown || Dispatcher) FinishClose();
    UserList.clear();
    TBaseDispatcher::ClearSaveBuffers(SavedTriggers);
}

int32_t TCustomComPort::Check(int32_t Code) const {
    return CheckException(this, Code);
}

// ---- Open ------------------------------------------------------------------------------

void TCustomComPort::SetOpen(bool Value) {
    if (IsDesigning() || IsLoading()) {
        OpenValue = Value;
        if (Value) OpenAfterLoad = true;
        return;
    }
    if (PortState == psShuttingDown) {
        // A close inside one of this port's notifications is still pending, and Open
        // still reads True: a request to open is one to keep it as it is, and changes
        // nothing. A close from outside the notification finishes the pending one.
        if (Value && OpenValue) return;
        OpenPending = Value;
        if (NotifyDepth > 0) return;
        FinishClose();
        if (OpenPending) {
            OpenPending = false;
            InitPort();
        }
        return;
    }
    if (Value == OpenValue) return;
    if (Value)
        InitPort();
    else
        DonePort();
}

void TCustomComPort::ValidateComport() {
    if (ComNumberValue != 0) return;
    if (!PromptForPortValue) {
        Check(ecNoPortSelected);
        return;
    }
    TComSelectForm Form;
    const uint16_t Chosen = Form.ShowModal() == mrOk ? Form.SelectedComNum() : 0;
    if (Chosen == 0)
        Check(ecNoPortSelected);
    else
        ComNumberValue = Chosen;
}

std::unique_ptr<TBaseDispatcher> TCustomComPort::ActivateDeviceLayer() {
    if (ActivationProc) return ActivationProc(*this);
    if (DeviceLayerValue != dlWin32) {
        Check(ecNullApi);
        return nullptr;
    }
    return std::make_unique<TSerialDispatcher>(this, LoopValue);
}

int32_t TCustomComPort::InitializePort() {
    uint32_t FlowOpts = 0;
    if (DTRValue) FlowOpts |= FlowDtrOn;
    if (RTSValue) FlowOpts |= FlowRtsOn;
    if (HWFlowOptionsValue & HWFlowBit(hwfUseDTR)) FlowOpts |= FlowDtrByFlowControl;
    if (HWFlowOptionsValue & HWFlowBit(hwfUseRTS)) FlowOpts |= FlowRtsByFlowControl;
    const std::string Device = ComDevicePath(ComNumberValue);
    return Dispatcher->InitPort(Device.c_str(), BaudValue, ParityValue, DataBitsValue,
                                StopBitsValue, InSizeValue, OutSizeValue, FlowOpts);
}

void TCustomComPort::InitPort() {
    if (TapiModeValue != tmOn) ValidateComport();
    Dispatcher = ActivateDeviceLayer();
    if (!Dispatcher) return; // refused while loading
    Dispatcher->DeviceName = ComName(ComNumberValue);
    try {
        if (TapiModeValue == tmOn) {
            // Only a telephony service could hand over an open device, and there is
            // none: the port was not opened by it.
            Check(ecNotOpenedByTapi);
            UndoFailedOpen();
            return;
        }
        int32_t R = InitializePort();
        if (R == ecAccessDenied)
            R = ecAlreadyOpen;
        else if (R == ecFileNotFound || R == ecPathNotFound)
            R = ecBadId;
        if (R != 0) {
            Check(R);
            UndoFailedOpen(); // while loading nothing is raised
            return;
        }
        PortState = psOpen;
        // The window is there before the trigger length lets the first notification go.
        RegisterComPort(true);
        UpdateHandlerFlag();
        TraceLog.PortOpened(*Dispatcher);
        ApplySettingsAfterOpen();
        OpenValue = true;
        if (TriggersSaved) {
            TriggersSaved = false;
            Dispatcher->RestoreTriggers(SavedTriggers);
            // The saved length trigger is older than the property, which is the truth.
            Dispatcher->ChangeLengthTrigger(TriggerLengthValue);
        }
        PortOpen();
    } catch (...) {
        UndoFailedOpen();
        throw;
    }
}

void TCustomComPort::UndoFailedOpen() {
    ForceApply = false;
    OpenValue = false;
    PortState = psClosed;
    if (Dispatcher) Dispatcher->Destroy();
    if (NotifyWindow) RegisterComPort(false);
    Dispatcher.reset();
    TraceLog.PortClosed();
}

void TCustomComPort::ApplySettingsAfterOpen() {
    ForceApply = true;
    try {
        SetHWFlowOptions(HWFlowOptionsValue);
        SetSWFlowOptions(SWFlowOptionsValue);
        SetXonChar(XOnCharValue);
        SetXoffChar(XOffCharValue);
        SetTriggerLength(TriggerLengthValue);
        SetDTR(DTRValue);
        SetRTS(RTSValue);
        SetUseEventWord(UseEventWordValue);
        SetRS485Mode(RS485ModeValue);
        SetThreadBoost(ThreadBoostValue);
    } catch (...) {
        ForceApply = false;
        throw;
    }
    ForceApply = false;
}

// ---- Close -----------------------------------------------------------------------------

void TCustomComPort::DonePort() {
    if (PortState != psOpen) return;
    RequestTraceLogDump(); // may raise: the port then stays open
    PortState = psShuttingDown;
    std::exception_ptr ClosingError;
    try {
        PortClosing();
    } catch (...) {
        // A user's error must not leave the port half closed; it is raised at the end.
        ClosingError = std::current_exception();
    }
    TBaseDispatcher::ClearSaveBuffers(SavedTriggers);
    Dispatcher->SaveTriggers(SavedTriggers);
    TriggersSaved = true;
    Dispatcher->DonePort();
    if (NotifyDepth > 0) {
        // Inside this port's own notification: the dispatch thread waits for it to
        // return, so the rest of the close comes after it, from the window procedure.
        LoopValue->PostMessage(NotifyWindow, PortMsgClosePending, 0,
                               MakePortLParam(Dispatcher->PortHandle(), 0));
        LoopValue->SafeYield();
    } else {
        FinishClose();
    }
    PortClose();
    if (ClosingError) std::rethrow_exception(ClosingError);
    if (PortState == psClosed && OpenPending) {
        OpenPending = false;
        InitPort();
    }
}

void TCustomComPort::FinishClose() {
    // The dispatcher's threads end first; a notification still on its way is handled
    // meanwhile (its reads give nothing: the port is shutting down).
    if (Dispatcher) Dispatcher->Destroy();
    if (NotifyWindow) RegisterComPort(false);
    Dispatcher.reset();
    TraceLog.PortClosed();
    PortState = psClosed;
    OpenValue = false;
}

void TCustomComPort::HandleClosePending(winsys::LPARAM lParam) {
    if (PortState != psShuttingDown) return;
    if (NotifyDepth > 0) {
        LoopValue->PostMessage(NotifyWindow, PortMsgClosePending, 0, lParam);
        return;
    }
    FinishClose();
    if (OpenPending) {
        OpenPending = false;
        InitPort();
    }
}

// ---- Notify window -----------------------------------------------------------------

void TCustomComPort::RegisterComPort(bool Enabled) {
    if (Enabled) {
        NotifyWindow =
            LoopValue->CreateWindow([this](winsys::HWND, uint32_t Msg, winsys::WPARAM W,
                                           winsys::LPARAM L) { return WindowProc(Msg, W, L); });
        Dispatcher->RegisterWndTriggerHandler(NotifyWindow);
        return;
    }
    if (Dispatcher) Dispatcher->DeregisterWndTriggerHandler(NotifyWindow);
    LoopValue->DestroyWindow(NotifyWindow);
    NotifyWindow = 0;
}

bool TCustomComPort::AnyTriggerEvent() const {
    return OnTrigger || OnTriggerAvail || OnTriggerData || OnTriggerStatus || OnTriggerTimer ||
           OnTriggerLineError || OnTriggerModemStatus || OnTriggerOutbuffFree ||
           OnTriggerOutbuffUsed || OnTriggerOutSent;
}

void TCustomComPort::UpdateHandlerFlag() {
    if (PortState != psOpen) return;
    Dispatcher->UpdateHandlerFlags(AnyTriggerEvent() ? fuEnablePort : fuDisablePort);
}

winsys::LRESULT TCustomComPort::WindowProc(uint32_t Msg, winsys::WPARAM wParam,
                                           winsys::LPARAM lParam) {
    switch (Msg) {
    case PortMsgAvail:
    case PortMsgData:
    case PortMsgTimer:
    case PortMsgStatus:
    case PortMsgClosePending:
        break;
    default:
        return 0;
    }
    if (IsDestroying()) return 0;
    TBaseDispatcher* D;
    {
        // The message names its dispatcher by slot: one that is gone, or that is not
        // this port's (the slot was reused), is dropped.
        TPortListLock Lock;
        D = PortListAt(PortHandleOf(lParam));
        if (!D || !D->Owner() || D->Owner() != this || D != Dispatcher.get()) return 0;
    }
    if (Msg == PortMsgClosePending) {
        HandleClosePending(lParam);
        return 0;
    }
    ++NotifyDepth;
    struct Leave {
        int& Depth;
        ~Leave() { --Depth; }
    } Guard{NotifyDepth};
    // The handlers' GetChar takes the announced bytes without a lock per byte. The
    // dispatcher is this notification's, which stays until it returns, even when a
    // handler closes the port or opens it again.
    const bool Reads = Msg == PortMsgAvail || Msg == PortMsgData;
    if (Reads) D->BeginHandlerReads();
    struct EndReads {
        TBaseDispatcher* D;
        ~EndReads() {
            if (D) D->EndHandlerReads();
        }
    } ReadsGuard{Reads ? D : nullptr};
    const auto Handle = static_cast<uint16_t>(wParam);
    const auto Data = static_cast<uint16_t>(Msg == PortMsgAvail ? wParam : (lParam & 0xFFFF));
    Trigger(static_cast<uint16_t>(Msg), Handle, Data);
    switch (Msg) {
    case PortMsgAvail:
        TriggerAvail(Handle);
        break;
    case PortMsgData:
        TriggerData(Handle);
        break;
    case PortMsgTimer:
        TriggerTimer(Handle);
        break;
    case PortMsgStatus:
        TriggerStatus(Handle);
        switch (TBaseDispatcher::ClassifyStatusTrigger(Handle)) {
        case stModem:
            TriggerModemStatus();
            break;
        case stLine: {
            const bool LineBreak = GetLineBreak();
            TriggerLineError(GetLineError(), LineBreak);
            break;
        }
        case stOutBuffFree:
            TriggerOutbuffFree();
            break;
        case stOutBuffUsed:
            TriggerOutbuffUsed();
            break;
        case stOutSent:
            TriggerOutSent();
            break;
        default:
            break;
        }
        break;
    }
    return 0;
}

void TCustomComPort::Trigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data) {
    if (OnTrigger) OnTrigger(this, Msg, TriggerHandle, Data);
}
void TCustomComPort::TriggerAvail(uint16_t Count) {
    if (OnTriggerAvail) OnTriggerAvail(this, Count);
}
void TCustomComPort::TriggerData(uint16_t TriggerHandle) {
    if (OnTriggerData) OnTriggerData(this, TriggerHandle);
}
void TCustomComPort::TriggerStatus(uint16_t TriggerHandle) {
    if (OnTriggerStatus) OnTriggerStatus(this, TriggerHandle);
}
void TCustomComPort::TriggerTimer(uint16_t TriggerHandle) {
    if (OnTriggerTimer) OnTriggerTimer(this, TriggerHandle);
}
void TCustomComPort::TriggerLineError(uint16_t Error, bool LineBreak) {
    if (OnTriggerLineError) OnTriggerLineError(this, Error, LineBreak);
}
void TCustomComPort::TriggerModemStatus() {
    if (OnTriggerModemStatus) OnTriggerModemStatus(this);
}
void TCustomComPort::TriggerOutbuffFree() {
    if (OnTriggerOutbuffFree) OnTriggerOutbuffFree(this);
}
void TCustomComPort::TriggerOutbuffUsed() {
    if (OnTriggerOutbuffUsed) OnTriggerOutbuffUsed(this);
}
void TCustomComPort::TriggerOutSent() {
    if (OnTriggerOutSent) OnTriggerOutSent(this);
}
void TCustomComPort::WaitChar(char C) {
    if (OnWaitChar) OnWaitChar(this, C);
}

void TCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent Handler) {
    OnTriggerAvail = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTrigger(TTriggerEvent Handler) {
    OnTrigger = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerData(TTriggerHandleEvent Handler) {
    OnTriggerData = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerStatus(TTriggerHandleEvent Handler) {
    OnTriggerStatus = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerTimer(TTriggerHandleEvent Handler) {
    OnTriggerTimer = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent Handler) {
    OnTriggerLineError = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerModemStatus(TNotifyEvent Handler) {
    OnTriggerModemStatus = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent Handler) {
    OnTriggerOutbuffFree = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent Handler) {
    OnTriggerOutbuffUsed = std::move(Handler);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutSent(TNotifyEvent Handler) {
    OnTriggerOutSent = std::move(Handler);
    UpdateHandlerFlag();
}

// ---- Users -----------------------------------------------------------------------------

int TCustomComPort::RegisterUser(winsys::HWND HWnd) {
    UserList.push_back(TUserListEntry{HWnd, {}, {}, 0});
    return static_cast<int>(UserList.size()) - 1;
}
int TCustomComPort::RegisterUserEx(winsys::HWND HWnd) {
    UserList.push_back(TUserListEntry{HWnd, {}, {}, 1});
    return static_cast<int>(UserList.size()) - 1;
}
int TCustomComPort::RegisterUserCallback(TPortCallback Callback) {
    UserList.push_back(TUserListEntry{0, Callback, {}, 0});
    return static_cast<int>(UserList.size()) - 1;
}
int TCustomComPort::RegisterUserCallbackEx(TPortCallbackEx CallbackEx) {
    UserList.push_back(TUserListEntry{0, {}, CallbackEx, 1});
    return static_cast<int>(UserList.size()) - 1;
}

void TCustomComPort::DeregisterUser(winsys::HWND HWnd) {
    if (IsDestroying() || HWnd == 0) return;
    std::erase_if(UserList, [&](const TUserListEntry& E) { return E.Handle == HWnd; });
}
void TCustomComPort::DeregisterUserCallback(TPortCallback Callback) {
    if (IsDestroying()) return;
    std::erase_if(UserList, [&](const TUserListEntry& E) {
        return E.Handle == 0 && !E.IsEx && E.Callback.Code == Callback.Code;
    });
}
void TCustomComPort::DeregisterUserCallbackEx(TPortCallbackEx CallbackEx) {
    if (IsDestroying()) return;
    std::erase_if(UserList, [&](const TUserListEntry& E) {
        return E.Handle == 0 && E.IsEx && E.CallbackEx.Code == CallbackEx.Code;
    });
}

template <class Visit> void TCustomComPort::WalkUsers(bool ExtendedOnly, Visit visit) {
    // Users may deregister while they are told.
    const std::vector<TUserListEntry> Entries = UserList;
    for (auto It = Entries.rbegin(); It != Entries.rend(); ++It)
        if (!ExtendedOnly || It->IsEx) visit(*It);
}

void TCustomComPort::PortOpen() {
    WalkUsers(false, [this](const TUserListEntry& E) {
        if (E.Handle)
            LoopValue->SendMessage(E.Handle, PortMsgOpen, 0, 0);
        else if (E.IsEx && E.CallbackEx)
            E.CallbackEx.Code(E.CallbackEx.Data, this, ctOpen);
        else if (E.Callback)
            E.Callback.Code(E.Callback.Data, this, true);
    });
    if (OnPortOpen) OnPortOpen(this);
}

void TCustomComPort::PortClosing() {
    WalkUsers(true, [this](const TUserListEntry& E) {
        if (E.Handle)
            LoopValue->SendMessage(E.Handle, PortMsgClosePending, 0, 0);
        else if (E.CallbackEx)
            E.CallbackEx.Code(E.CallbackEx.Data, this, ctClosing);
    });
}

void TCustomComPort::PortClose() {
    WalkUsers(false, [this](const TUserListEntry& E) {
        if (E.Handle)
            LoopValue->SendMessage(E.Handle, PortMsgClose, 0, 0);
        else if (E.IsEx && E.CallbackEx)
            E.CallbackEx.Code(E.CallbackEx.Data, this, ctClosed);
        else if (E.Callback)
            E.Callback.Code(E.Callback.Data, this, false);
    });
    if (OnPortClose) OnPortClose(this);
}

TCustomComPort* SearchComPort(const TBaseComponent* Owner) {
    if (!Owner) return nullptr;
    for (TBaseComponent* C : Owner->Components()) {
        if (auto* Port = dynamic_cast<TCustomComPort*>(C)) return Port;
        if (TCustomComPort* Found = SearchComPort(C)) return Found;
    }
    return nullptr;
}

} // namespace port

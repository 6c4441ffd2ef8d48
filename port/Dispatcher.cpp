// The dispatcher's life cycle, open and close, and the small operations around them.
#include "port/Dispatcher.h"

#include "port/DispatcherThreads.h"
#include "port/PortList.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace port {

TBaseDispatcher::TBaseDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop)
    : OwnerComponent(Owner), EventLoopOf(Loop ? Loop : winsys::EventLoop::Current()) {
    PortHandleValue = AddToPortList(this);
}

TBaseDispatcher::~TBaseDispatcher() {
    if (!Destroyed) {
        if (DeviceHandleValue.load() >= 0 || ThreadCountValue.load() != 0) {
            // The release needs the device operations, which no longer exist here.
            std::fputs("TBaseDispatcher destroyed while open: the device layer's destructor "
                       "must call Destroy()\n",
                       stderr);
            std::terminate();
        }
        if (SyncWindow && EventLoopOf) EventLoopOf->DestroyWindow(SyncWindow);
        DestroyDispatcherWindow();
        RemoveFromPortList(PortHandleValue);
    }
}

void TBaseDispatcher::Destroy() {
    if (Destroyed) return;
    if (CloseDeferredFlag.load())
        DonePortPrim();
    else
        DonePort();
    // Every thread ends before the object goes; the threads may still be handing a
    // notification to the window thread, so the wait serves it.
    for (TDispatcherThread* thread : {static_cast<TDispatcherThread*>(ComThreadObject.get()),
                                      static_cast<TDispatcherThread*>(DispThreadObject.get()),
                                      static_cast<TDispatcherThread*>(OutThreadObject.get())})
        if (thread) WaitThreadEnd(thread, -1);
    ComThreadObject.reset();
    DispThreadObject.reset();
    OutThreadObject.reset();
    if (SyncWindow && EventLoopOf) EventLoopOf->DestroyWindow(SyncWindow);
    SyncWindow = 0;
    DestroyDispatcherWindow();
    RemoveFromPortList(PortHandleValue);
    {
        std::lock_guard lock(StateLock);
        TimerTriggers.clear();
        DataTriggers.clear();
        StatusTriggers.clear();
        WndTriggerHandlers.clear();
        ProcTriggerHandlers.clear();
        EventTriggerHandlers.clear();
    }
    Destroyed = true;
}

uint8_t TBaseDispatcher::GetComModemStatus() {
    std::lock_guard lock(StateLock);
    return ModemStatus & MsrLines;
}

winsys::LRESULT TBaseDispatcher::DispatcherWindowProc(uint32_t, winsys::WPARAM, winsys::LPARAM) {
    return 0;
}

void TBaseDispatcher::NotifySkipped(winsys::HWND, uint32_t) {}

// ---- Open and close ----------------------------------------------------------------

int32_t TBaseDispatcher::InitPort(const char* ComName, int32_t Baud, uint32_t Parity,
                                  uint16_t DataBits, uint16_t StopBits, uint32_t InSize,
                                  uint32_t OutSize, uint32_t FlowOpts) {
    RingSeen = false;
    InNotifyFlag = false;
    HandlerPurgePending = false;
    Signals.Create();

    auto fail = [&](int32_t error) {
        DonePort();
        return error;
    };

    int32_t handle = OpenCom(ComName, static_cast<int32_t>(InSize), static_cast<int32_t>(OutSize));
    if (handle < 0) {
        int32_t error = handle;
        if (handle == -1 && LastError() != 0) error = -LastError();
        return fail(error);
    }
    DeviceHandleValue = handle;

    int32_t result = SetCommBuffers(static_cast<int32_t>(InSize), static_cast<int32_t>(OutSize));
    if (result < 0) return fail(result);

    {
        std::lock_guard inLock(InLock);
        InRing = std::make_unique<uint8_t[]>(InRingSize); // zero-filled
        InHead = InTail = 0;
        InFull = false;
        InTotal = ScanCount = AvailNotifyCount = 0;
        AvailReadCount = 0;
        InAvailNotify = false;
    }
    {
        std::lock_guard outLock(OutLock);
        OutRing = std::make_unique<uint8_t[]>(OutSize == 0 ? 1 : OutSize);
        OutHead = OutTail = 0;
        OutFull = false;
        InQueueSize = InSize;
        OutQueueSize = OutSize;
    }
    {
        std::lock_guard lock(StatusLock);
        LineErrorBits = 0;
        DeviceStatus = TComStat{};
    }
    OutWritten = false;
    CloseDeferredFlag = false;
    RS485On = false;
    {
        std::lock_guard lock(StateLock);
        BaseAddress = 0;
        GetComState(CurrentDCBValue);
    }

    if (FlowOpts & FlowDtrByFlowControl) {
        DtrByFlowControl = true;
    } else {
        DtrByFlowControl = false;
        SetDtr((FlowOpts & FlowDtrOn) != 0);
    }
    if (FlowOpts & FlowRtsByFlowControl) {
        RtsByFlowControl = true;
    } else {
        RtsByFlowControl = false;
        SetRts((FlowOpts & FlowRtsOn) != 0);
    }

    RemoveAllTriggers();
    ResetStatusHits();
    {
        std::lock_guard lock(StateLock);
        ModemStatus = 0;
        GetModemStatusPrim(MsrLines);
    }

    AppliedBaudValue = 115200;
    result = SetLine(Baud, Parity, DataBits, StopBits);
    if (result < 0) return fail(result);

    RefreshStatus();
    TraceOn = false;
    LogOn = false;
    LogTimeBase = TimeGetTime();
    StartDispatcher();
    return ecOK;
}

int32_t TBaseDispatcher::InitSocket(uint32_t InSize, uint32_t OutSize) {
    int32_t handle = OpenCom(nullptr, static_cast<int32_t>(InSize), static_cast<int32_t>(OutSize));
    if (handle < 0) {
        DonePort();
        return handle;
    }
    DeviceHandleValue = handle;
    if (!SetupCom(0, 0)) {
        TComStat stat;
        auto error = static_cast<int32_t>(GetComError(stat));
        DonePort();
        return -error;
    }
    {
        std::lock_guard inLock(InLock);
        InRing = std::make_unique<uint8_t[]>(InRingSize);
        InHead = InTail = 0;
        InFull = false;
        InTotal = ScanCount = AvailNotifyCount = 0;
    }
    InQueueSize = InSize;
    OutQueueSize = OutSize;
    {
        std::lock_guard lock(StateLock);
        ModemStatus = 0;
    }
    RefreshStatus();
    LogTimeBase = TimeGetTime();
    StartDispatcher();
    return ecOK;
}

int32_t TBaseDispatcher::SetCommBuffers(int32_t InSize, int32_t OutSize) {
    if (SetupCom(InSize, OutSize)) return ecOK;
    int32_t error = LastError();
    return error != 0 ? -error : -1;
}

void TBaseDispatcher::DonePort() {
    if (DeviceHandleValue.load() >= 0) {
        FlushOutBuffer();
        FlushInBuffer();
        // The event wait and the writer end before the device goes, so neither is
        // left inside a device call on a closed descriptor. The dispatch thread may be
        // inside a notification; it leaves when that returns.
        StopDeviceThreads();
        std::lock_guard inLock(InLock);
        std::lock_guard stateLock(StateLock);
        CloseCom();
        DeviceHandleValue = -1;
    }
    {
        std::lock_guard lock(StateLock);
        if (InNotifyFlag.load()) {
            CloseDeferredFlag = true;
            return;
        }
    }
    DonePortPrim();
}

void TBaseDispatcher::DonePortPrim() {
    FinishOnThreadExit = false;
    if (ThreadsActiveFlag.load()) StopDispatcher();
    ReleaseRings();
}

// ---- Options, data pointers, window, trace and log hooks ---------------------------

void TBaseDispatcher::OptionsOn(uint32_t Bits) {
    std::lock_guard lock(StateLock);
    OptionFlags |= Bits;
}

void TBaseDispatcher::OptionsOff(uint32_t Bits) {
    std::lock_guard lock(StateLock);
    OptionFlags &= ~Bits;
}

bool TBaseDispatcher::OptionsAreOn(uint32_t Bits) {
    std::lock_guard lock(StateLock);
    return (OptionFlags & Bits) == Bits;
}

int32_t TBaseDispatcher::SetDataPointer(void* P, uint32_t Index) {
    if (Index < 1 || Index > 3) return ecBadArgument;
    std::lock_guard lock(StateLock);
    DataPointers[Index - 1] = P;
    return ecOK;
}

int32_t TBaseDispatcher::GetDataPointer(void*& P, uint32_t Index) {
    if (Index < 1 || Index > 3) return ecBadArgument;
    std::lock_guard lock(StateLock);
    P = DataPointers[Index - 1];
    return ecOK;
}

winsys::HWND TBaseDispatcher::CreateDispatcherWindow() {
    if (!DispatcherWindow && EventLoopOf) {
        DispatcherWindow = EventLoopOf->CreateWindow(
            [this](winsys::HWND, uint32_t msg, winsys::WPARAM w, winsys::LPARAM l) {
                return DispatcherWindowProc(msg, w, l);
            });
    }
    return DispatcherWindow;
}

void TBaseDispatcher::DestroyDispatcherWindow() {
    if (DispatcherWindow && EventLoopOf) EventLoopOf->DestroyWindow(DispatcherWindow);
    DispatcherWindow = 0;
}

uint32_t TBaseDispatcher::GetDispatchTime() const {
    return TimeGetTime() - LogTimeBase;
}

// AddTraceEntry and AddDispatchEntry: DispatcherTrace.cpp and DispatcherLog.cpp.

} // namespace port

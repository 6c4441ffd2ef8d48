// The dispatcher's life cycle, open and close, line settings, modem lines, line
// errors, flow control and the small operations around them.
#include "port/Dispatcher.h"

#include "port/DispatcherThreads.h"
#include "port/PortList.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace port {

namespace {

// Parity, byte size and stop bits values of SetLine that keep the current setting.
constexpr uint32_t KeepParity = 5;
constexpr uint16_t KeepDataBits = 9;
constexpr uint16_t KeepStopBits = 3;

} // namespace

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

    if (FlowOpts & 0x10) {
        DtrByFlowControl = true;
    } else {
        DtrByFlowControl = false;
        SetDtr((FlowOpts & 0x01) != 0);
    }
    if (FlowOpts & 0x20) {
        RtsByFlowControl = true;
    } else {
        RtsByFlowControl = false;
        SetRts((FlowOpts & 0x02) != 0);
    }

    RemoveAllTriggers();
    ResetStatusHits();
    {
        std::lock_guard lock(StateLock);
        ModemStatus = 0;
        GetModemStatusPrim(0xF0);
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

// ---- Line settings -----------------------------------------------------------------

void TBaseDispatcher::ApplyLineFlags(TDCB& DCB) {
    DCB.fBinary = true;
    DCB.fParity = false;
    DCB.fDsrSensitivity = false;
    DCB.fTXContinueOnXoff = true;
    DCB.fNull = false;
}

uint32_t TBaseDispatcher::MappedBaud(uint32_t Rate) const {
    if (Rate == 0xFEFF) return 115200;
    if (Rate >= 0xFF10 && Rate <= 0xFF27) {
        static constexpr uint32_t Legacy[24] = {110,   300, 600, 1200,  2400, 4800, 9600, 14400,
                                                19200, 0,   0,   38400, 0,    0,    0,    56000,
                                                0,     0,   0,   128000, 0,   0,    0,    256000};
        uint32_t mapped = Legacy[Rate - 0xFF10];
        return mapped != 0 ? mapped : Rate;
    }
    return Rate;
}

int32_t TBaseDispatcher::SetLine(int32_t Baud, uint32_t Parity, uint16_t DataBits,
                                 uint16_t StopBits) {
    if (Parity > KeepParity || DataBits < 5 || DataBits > KeepDataBits || Baud < 0)
        return ecBadArgument;
    if (StopBits == 0) StopBits = 1;
    if (StopBits > 2 && StopBits != KeepStopBits) StopBits = 2;

    auto apply = [&](TDCB& dcb) {
        if (Baud != 0) dcb.BaudRate = static_cast<uint32_t>(Baud);
        if (Parity != KeepParity) dcb.Parity = static_cast<uint8_t>(Parity);
        if (DataBits != KeepDataBits) dcb.ByteSize = static_cast<uint8_t>(DataBits);
        if (dcb.ByteSize == 5)
            dcb.StopBits = ONE5STOPBITS;
        else if (StopBits != KeepStopBits)
            dcb.StopBits = StopBits == 1 ? ONESTOPBIT : TWOSTOPBITS;
    };

    {
        std::lock_guard lock(StateLock);
        GetComState(CurrentDCBValue);
        ApplyLineFlags(CurrentDCBValue);
        TDCB wanted = CurrentDCBValue;
        apply(wanted);
        if (wanted.BaudRate == CurrentDCBValue.BaudRate && wanted.Parity == CurrentDCBValue.Parity &&
            wanted.ByteSize == CurrentDCBValue.ByteSize &&
            wanted.StopBits == CurrentDCBValue.StopBits)
            return ecOK;
    }
    // The bytes still queued go out at the old settings first.
    WaitTxSent();
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    ApplyLineFlags(CurrentDCBValue);
    apply(CurrentDCBValue);
    return SetCommStateFix(CurrentDCBValue);
}

void TBaseDispatcher::GetLine(int32_t& Baud, uint32_t& Parity, uint16_t& StopBits,
                              uint16_t& DataBits) {
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    Baud = static_cast<int32_t>(MappedBaud(CurrentDCBValue.BaudRate));
    Parity = CurrentDCBValue.Parity;
    DataBits = CurrentDCBValue.ByteSize;
    StopBits = CurrentDCBValue.StopBits == ONESTOPBIT ? 1 : 2;
}

int32_t TBaseDispatcher::SetCommStateFix(TDCB& DCB) {
    std::lock_guard lock(StateLock);
    if (!DtrByFlowControl) DCB.fDtrControl = DtrLevel ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (!RtsByFlowControl) DCB.fRtsControl = RtsLevel ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    int32_t result = SetComState(DCB);
    if (result >= 0) AppliedBaudValue = DCB.BaudRate;
    SetDtr(DtrLevel);
    if (!RS485On.load()) SetRts(RtsLevel);
    return result;
}

void TBaseDispatcher::WaitTxSent() {
    for (int poll = 0; poll < 5000 && OutBuffUsed() != 0; ++poll) SleepMs(2);
    TDCB dcb = CurrentDCB();
    uint64_t rate = MappedBaud(dcb.BaudRate);
    if (rate == 0) return; // no rate, no character time
    uint64_t bits = 1 + dcb.ByteSize + (dcb.Parity != pNone ? 1 : 0) +
                    (dcb.StopBits == ONESTOPBIT ? 1 : 2);
    // 18 characters, in units of 100 ns.
    uint64_t time = 10000000 / rate * bits * 18;
    if (time < 10000) time *= 2;
    SleepMs(static_cast<uint32_t>((time + 9999) / 10000));
}

int32_t TBaseDispatcher::SetModem(bool DTR, bool RTS) {
    int32_t dtr = SetDtr(DTR);
    int32_t rts = SetRts(RTS);
    return dtr < 0 ? dtr : rts < 0 ? rts : ecOK;
}

int32_t TBaseDispatcher::SetDtr(bool On) {
    std::lock_guard lock(StateLock);
    if (DtrByFlowControl) return 1;
    int32_t result = EscapeComFunction(On ? SETDTR : CLRDTR);
    DtrLevel = On;
    return result < 0 ? ecBadArgument : ecOK;
}

int32_t TBaseDispatcher::SetRts(bool On) {
    std::lock_guard lock(StateLock);
    if (RtsByFlowControl) return 1;
    int32_t result = EscapeComFunction(On ? SETRTS : CLRRTS);
    RtsLevel = On;
    return result < 0 ? ecBadArgument : ecOK;
}

// ---- Modem status and line errors --------------------------------------------------

uint8_t TBaseDispatcher::GetModemStatusPrim(uint8_t ClearMask) {
    std::lock_guard lock(StateLock);
    uint8_t lines = GetComModemStatus() & MsrLines;
    ModemStatus = static_cast<uint8_t>((ModemStatus & ~MsrLines) | lines);
    if (RingSeen.exchange(false)) ModemStatus |= MsrTrailingRing;
    uint8_t before = ModemStatus;
    ModemStatus &= ClearMask;
    return before;
}

uint8_t TBaseDispatcher::GetModemStatus() { return GetModemStatusPrim(0xF0); }
bool TBaseDispatcher::CheckCTS() { return (GetModemStatusPrim(0xFE) & MsrCts) != 0; }
bool TBaseDispatcher::CheckDSR() { return (GetModemStatusPrim(0xFD) & MsrDsr) != 0; }
bool TBaseDispatcher::CheckRI() { return (GetModemStatusPrim(0xFB) & MsrRing) != 0; }
bool TBaseDispatcher::CheckDCD() { return (GetModemStatusPrim(0xF7) & MsrDcd) != 0; }
bool TBaseDispatcher::CheckDeltaCTS() { return (GetModemStatusPrim(0xFE) & MsrDeltaCts) != 0; }
bool TBaseDispatcher::CheckDeltaDSR() { return (GetModemStatusPrim(0xFD) & MsrDeltaDsr) != 0; }
bool TBaseDispatcher::CheckDeltaRI() { return (GetModemStatusPrim(0xFB) & MsrTrailingRing) != 0; }
bool TBaseDispatcher::CheckDeltaDCD() { return (GetModemStatusPrim(0xF7) & MsrDeltaDcd) != 0; }

void TBaseDispatcher::MapEventsToMS() {
    std::lock_guard lock(StateLock);
    uint8_t old = ModemStatus;
    GetModemStatusPrim(0xFF);
    ModemStatus |= static_cast<uint8_t>(((old ^ ModemStatus) & MsrLines) >> 4);
}

void TBaseDispatcher::RefreshModemLines() {
    std::lock_guard lock(StateLock);
    ModemStatus = GetModemStatusPrim(0xF0);
}

uint32_t TBaseDispatcher::RefreshStatus() {
    TComStat stat;
    uint32_t errors = GetComError(stat) & LineErrorMask;
    std::lock_guard lock(StatusLock);
    DeviceStatus = stat;
    LineErrorBits |= errors;
    return errors;
}

int32_t TBaseDispatcher::GetLineError() {
    std::lock_guard lock(StatusLock);
    int32_t error = 0;
    if (LineErrorBits & CE_RXOVER)
        error = 1;
    else if (LineErrorBits & CE_OVERRUN)
        error = 2;
    else if (LineErrorBits & CE_RXPARITY)
        error = 3;
    else if (LineErrorBits & CE_FRAME)
        error = 4;
    else if (LineErrorBits & CE_BREAK)
        error = 9;
    if (error != 0) LineErrorBits &= ~uint32_t{CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME};
    return error;
}

bool TBaseDispatcher::CheckLineBreak() {
    std::lock_guard lock(StatusLock);
    bool brk = (LineErrorBits & CE_BREAK) != 0;
    LineErrorBits &= ~uint32_t{CE_BREAK};
    return brk;
}

uint32_t TBaseDispatcher::LineErrors() {
    std::lock_guard lock(StatusLock);
    return LineErrorBits;
}

uint8_t TBaseDispatcher::ModemStatusByte() {
    std::lock_guard lock(StateLock);
    return ModemStatus;
}

TDCB TBaseDispatcher::CurrentDCB() {
    std::lock_guard lock(StateLock);
    return CurrentDCBValue;
}

int32_t TBaseDispatcher::SendBreak(int32_t Ticks, bool Yield) {
    bool rs485 = RS485On.load();
    if (rs485) EscapeComFunction(SETRTS);
    SetBreak(true);
    DelayTicks(Ticks, Yield);
    SetBreak(false);
    if (rs485) {
        uint32_t used = OutBuffUsed();
        if (used != 0) return static_cast<int32_t>(used);
        EscapeComFunction(CLRRTS);
    }
    return ecOK;
}

int32_t TBaseDispatcher::SetBreak(bool On) {
    int32_t result = EscapeComFunction(On ? SETBREAK : CLRBREAK);
    return result < 0 ? ecBadArgument : ecOK;
}

// ---- Flow control ----------------------------------------------------------------------

int32_t TBaseDispatcher::HWFlowOptions(uint16_t BufferFull, uint16_t BufferResume,
                                       uint32_t Options) {
    if (BufferFull < BufferResume || BufferFull > InQueueSize) return ecBadArgument;
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    TDCB& dcb = CurrentDCBValue;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    DtrByFlowControl = false;
    RtsByFlowControl = false;
    if (Options & 1) {
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        DtrByFlowControl = true;
    } else if (DtrLevel) {
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
    }
    if (Options & 2) {
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        RtsByFlowControl = true;
    } else if (RtsLevel) {
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    }
    if (RS485On.load() && HasDriverRS485()) {
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        RtsByFlowControl = true;
    }
    dcb.XoffLim = static_cast<uint16_t>(InQueueSize - BufferFull);
    dcb.XonLim = BufferResume;
    if (Options & 4) dcb.fOutxDsrFlow = true;
    if (Options & 8) dcb.fOutxCtsFlow = true;
    return SetCommStateFix(dcb);
}

int32_t TBaseDispatcher::HWFlowState() {
    RefreshStatus();
    uint32_t hold;
    {
        std::lock_guard lock(StatusLock);
        hold = DeviceStatus.Flags;
    }
    TDCB dcb = CurrentDCB();
    TFlowControlState state = fcOff;
    if (dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ||
        dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        if (hold & TComStat::fCtsHold)
            state = fcCtsHold;
        else if (hold & TComStat::fDsrHold)
            state = fcDsrHold;
        else if (hold & TComStat::fRlsdHold)
            state = fcDcdHold;
        else
            state = fcOn;
    }
    return static_cast<int32_t>(state) + 1;
}

int32_t TBaseDispatcher::SWFlowEnable(uint16_t BufferFull, uint16_t BufferResume,
                                      uint32_t Options) {
    if (BufferFull < BufferResume || BufferFull > InQueueSize) return ecBadArgument;
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    TDCB& dcb = CurrentDCBValue;
    if (Options & 2) {
        dcb.fInX = true;
        dcb.XoffLim = static_cast<uint16_t>(InQueueSize - BufferFull);
        dcb.XonLim = BufferResume;
    }
    if (Options & 1) dcb.fOutX = true;
    if (Options & 3) {
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
    }
    return SetCommStateFix(dcb);
}

int32_t TBaseDispatcher::SWFlowDisable() {
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    CurrentDCBValue.fInX = false;
    CurrentDCBValue.fOutX = false;
    return SetCommStateFix(CurrentDCBValue);
}

int32_t TBaseDispatcher::SWFlowState() {
    RefreshStatus();
    uint32_t hold;
    {
        std::lock_guard lock(StatusLock);
        hold = DeviceStatus.Flags;
    }
    TDCB dcb = CurrentDCB();
    TFlowControlState state = fcOff;
    if (dcb.fOutX || dcb.fInX) {
        bool out = (hold & TComStat::fXoffHold) != 0;
        bool in = (hold & TComStat::fXoffSent) != 0;
        state = out && in ? fcXBothHold : out ? fcXOutHold : in ? fcXInHold : fcOn;
    }
    return static_cast<int32_t>(state) + 1;
}

int32_t TBaseDispatcher::SWFlowChars(char XOn, char XOff) {
    std::lock_guard lock(StateLock);
    GetComState(CurrentDCBValue);
    CurrentDCBValue.XonChar = XOn;
    CurrentDCBValue.XoffChar = XOff;
    return SetCommStateFix(CurrentDCBValue);
}

void TBaseDispatcher::GetFlowOptions(uint32_t& HWOpts, uint32_t& SWOpts, uint16_t& BufferFull,
                                     uint16_t& BufferResume, char& OnChar, char& OffChar) {
    TDCB dcb = CurrentDCB();
    HWOpts = (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ? 1u : 0u) |
             (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? 2u : 0u) | (dcb.fOutxDsrFlow ? 4u : 0u) |
             (dcb.fOutxCtsFlow ? 8u : 0u);
    SWOpts = (dcb.fOutX ? 1u : 0u) | (dcb.fInX ? 2u : 0u);
    BufferFull = static_cast<uint16_t>(InQueueSize - dcb.XoffLim);
    BufferResume = dcb.XonLim;
    OnChar = dcb.XonChar;
    OffChar = dcb.XoffChar;
}

int32_t TBaseDispatcher::SetRS485Mode(bool On) {
    RS485On = On;
    ApplyThreadPriorities();
    if (!HasDriverRS485()) {
        int32_t address = EscapeComFunction(GETBASEADDRESS);
        std::lock_guard lock(StateLock);
        BaseAddress = address > 0 ? static_cast<uint16_t>(address) : 0;
    }
    return ecOK;
}

void TBaseDispatcher::SetBaseAddress(uint16_t Address) {
    std::lock_guard lock(StateLock);
    BaseAddress = Address;
}

uint16_t TBaseDispatcher::GetBaseAddress() {
    std::lock_guard lock(StateLock);
    return BaseAddress;
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

uint32_t TBaseDispatcher::GetDispatchTime() const { return TimeGetTime() - LogTimeBase; }

// Recording starts when the tracing layer initialises a trace or a log; until then
// the call sites skip these (TraceActive / LogActive are false).
void TBaseDispatcher::AddTraceEntry(char, uint8_t) {}

void TBaseDispatcher::AddDispatchEntry(TDispatchType, TDispatchSubType, uint32_t, const void*,
                                       uint32_t) {}

} // namespace port

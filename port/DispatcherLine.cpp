// Line settings, modem lines, line errors, break, flow control and RS485 of the
// dispatcher.
#include "port/Dispatcher.h"

namespace port {

namespace {

// Parity, byte size and stop bits values of SetLine that keep the current setting.
constexpr uint32_t KeepParity = 5;
constexpr uint16_t KeepDataBits = 9;
constexpr uint16_t KeepStopBits = 3;

} // namespace

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
        static constexpr uint32_t Legacy[24] = {110,   300, 600, 1200,   2400, 4800, 9600, 14400,
                                                19200, 0,   0,   38400,  0,    0,    0,    56000,
                                                0,     0,   0,   128000, 0,    0,    0,    256000};
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
        if (wanted.BaudRate == CurrentDCBValue.BaudRate &&
            wanted.Parity == CurrentDCBValue.Parity &&
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
    for (int poll = 0; poll < 5000 && OutBuffUsed() != 0; ++poll)
        SleepMs(2);
    TDCB dcb = CurrentDCB();
    uint64_t rate = MappedBaud(dcb.BaudRate);
    if (rate == 0) return; // no rate, no character time
    uint64_t bits =
        1 + dcb.ByteSize + (dcb.Parity != pNone ? 1 : 0) + (dcb.StopBits == ONESTOPBIT ? 1 : 2);
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

uint8_t TBaseDispatcher::GetModemStatus() {
    return GetModemStatusPrim(MsrLines);
}
bool TBaseDispatcher::CheckCTS() {
    return (GetModemStatusPrim(0xFE) & MsrCts) != 0;
}
bool TBaseDispatcher::CheckDSR() {
    return (GetModemStatusPrim(0xFD) & MsrDsr) != 0;
}
bool TBaseDispatcher::CheckRI() {
    return (GetModemStatusPrim(0xFB) & MsrRing) != 0;
}
bool TBaseDispatcher::CheckDCD() {
    return (GetModemStatusPrim(0xF7) & MsrDcd) != 0;
}
bool TBaseDispatcher::CheckDeltaCTS() {
    return (GetModemStatusPrim(0xFE) & MsrDeltaCts) != 0;
}
bool TBaseDispatcher::CheckDeltaDSR() {
    return (GetModemStatusPrim(0xFD) & MsrDeltaDsr) != 0;
}
bool TBaseDispatcher::CheckDeltaRI() {
    return (GetModemStatusPrim(0xFB) & MsrTrailingRing) != 0;
}
bool TBaseDispatcher::CheckDeltaDCD() {
    return (GetModemStatusPrim(0xF7) & MsrDeltaDcd) != 0;
}

void TBaseDispatcher::MapEventsToMS() {
    std::lock_guard lock(StateLock);
    uint8_t old = ModemStatus;
    GetModemStatusPrim(0xFF);
    ModemStatus |= static_cast<uint8_t>(((old ^ ModemStatus) & MsrLines) >> 4);
}

void TBaseDispatcher::RefreshModemLines() {
    std::lock_guard lock(StateLock);
    ModemStatus = GetModemStatusPrim(MsrLines);
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

} // namespace port

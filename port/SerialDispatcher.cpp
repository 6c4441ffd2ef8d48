#include "port/SerialDispatcher.h"

#include "port/PortErrors.h"

#include <chrono>
#include <thread>

namespace port {

namespace {

// How often a device with modem lines is looked at for line changes and receive
// errors, which poll() does not report. The dispatch thread wakes as often anyway.
constexpr int LineSampleMs = 50;

TDCB DcbFromLine(const TSerialLine& Line) {
    TDCB Dcb;
    Dcb.BaudRate = Line.Baud;
    Dcb.Parity = static_cast<uint8_t>(Line.Parity);
    Dcb.ByteSize = Line.DataBits;
    Dcb.StopBits = static_cast<uint8_t>(Line.StopBits);
    Dcb.fOutxCtsFlow = Line.CtsRtsFlow;
    if (Line.CtsRtsFlow) Dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    Dcb.fOutX = Line.XOnXOffOutput;
    Dcb.fInX = Line.XOnXOffInput;
    Dcb.XonChar = Line.XOnChar;
    Dcb.XoffChar = Line.XOffChar;
    return Dcb;
}

uint8_t MsrOf(uint32_t Lines) {
    uint8_t Msr = 0;
    if (Lines & mlCts) Msr |= MsrCts;
    if (Lines & mlDsr) Msr |= MsrDsr;
    if (Lines & mlRing) Msr |= MsrRing;
    if (Lines & mlDcd) Msr |= MsrDcd;
    return Msr;
}

} // namespace

TSerialDispatcher::TSerialDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop)
    : TBaseDispatcher(Owner, Loop) {}

TSerialDispatcher::~TSerialDispatcher() {
    Destroy();
}

// ---- open and close ----------------------------------------------------------------

int32_t TSerialDispatcher::OpenCom(const char* ComName, int32_t, int32_t) {
    if (!ComName || !*ComName) return SerialDevice::NotFound;
    const int32_t R = Dev.Open(ComName);
    if (R < 0) {
        SetLastError(-R);
        return R;
    }
    EventWake.Clear();
    TransmitStop.Clear();
    LostDelivered = false;
    // The port starts with RS485 off; asking so also tells whether the driver can do it.
    // A pty has no direction to switch and counts as able.
    DriverRS485 = Dev.IsPseudoTerminal() || Dev.SetRS485(false) == 0;
    {
        std::lock_guard Lock(SampleLock);
        CountersKnown = Dev.GetCounters(LastCounters) == 0;
        uint32_t Lines = 0;
        LastLines = Dev.GetModemLines(Lines) == 0 ? Lines : 0;
        PendingEvents = PendingErrors = 0;
    }
    {
        std::lock_guard Lock(DcbLock);
        Dcb = DcbFromLine(Dev.GetLine());
    }
    return Dev.Descriptor();
}

int32_t TSerialDispatcher::CloseCom() {
    WatchMask = 0;
    EventWake.Raise();
    TransmitStop.Raise();
    return Dev.Close();
}

bool TSerialDispatcher::SetupCom(int32_t, int32_t) {
    // A tty's driver queues have the driver's sizes; there is nothing to set.
    return true;
}

int32_t TSerialDispatcher::ProcessCommunications() {
    return ecOK;
}

// ---- line settings -----------------------------------------------------------------

int32_t TSerialDispatcher::GetComState(TDCB& DCB) {
    std::lock_guard Lock(DcbLock);
    DCB = Dcb;
    return ecOK;
}

int32_t TSerialDispatcher::SetComState(TDCB& DCB) {
    // termios has hardware flow control on CTS and RTS only.
    if (DCB.fOutxDsrFlow || DCB.fDtrControl == DTR_CONTROL_HANDSHAKE) return SerialDevice::Refused;
    if (DCB.Parity > pSpace || DCB.StopBits > TWOSTOPBITS) return SerialDevice::Refused;
    TSerialLine Line;
    Line.Baud = DCB.BaudRate;
    Line.Parity = static_cast<TParity>(DCB.Parity);
    Line.DataBits = DCB.ByteSize;
    Line.StopBits = static_cast<TSerialStopBits>(DCB.StopBits);
    Line.CtsRtsFlow = DCB.fOutxCtsFlow || DCB.fRtsControl == RTS_CONTROL_HANDSHAKE;
    Line.XOnXOffOutput = DCB.fOutX;
    Line.XOnXOffInput = DCB.fInX;
    Line.XOnChar = DCB.XonChar;
    Line.XOffChar = DCB.XoffChar;

    // The dispatcher waited for its output ring; what the driver still holds goes out
    // at the old settings too (a bounded wait, as the ring's).
    for (int Round = 0; Round < 2500 && Dev.OutputCount() > 0; ++Round)
        SleepMs(2);

    int32_t R = Dev.SetLine(Line);
    if (R < 0) return R;
    bool WasToggle;
    {
        std::lock_guard Lock(DcbLock);
        WasToggle = Dcb.fRtsControl == RTS_CONTROL_TOGGLE;
    }
    const bool Toggle = DCB.fRtsControl == RTS_CONTROL_TOGGLE;
    if (Toggle != WasToggle && !Dev.IsPseudoTerminal()) {
        R = Dev.SetRS485(Toggle);
        if (R < 0) return R;
    }
    std::lock_guard Lock(DcbLock);
    Dcb = DCB;
    return ecOK;
}

int32_t TSerialDispatcher::EscapeComFunction(int32_t Func) {
    switch (Func) {
    case SETDTR:
        return Dev.SetDtr(true);
    case CLRDTR:
        return Dev.SetDtr(false);
    case SETRTS:
        return Dev.SetRts(true);
    case CLRRTS:
        return Dev.SetRts(false);
    case SETBREAK:
        return Dev.SetBreak(true);
    case CLRBREAK:
        return Dev.SetBreak(false);
    // RTS is driven through the driver here, so no I/O address is needed: a non-zero
    // answer tells the dispatcher that the RTS path is there.
    case GETBASEADDRESS:
        return Dev.ModemLinesKnown() ? 1 : 0;
    default:
        return ecOK;
    }
}

uint8_t TSerialDispatcher::GetComModemStatus() {
    uint32_t Lines = 0;
    if (Dev.GetModemLines(Lines) != 0) return TBaseDispatcher::GetComModemStatus();
    return MsrOf(Lines);
}

bool TSerialDispatcher::EventWaitIsEdgeTriggered() const {
    return true;
}

bool TSerialDispatcher::ReadsWhatIsThere() const {
    return true;
}

bool TSerialDispatcher::HasDriverRS485() const {
    return DriverRS485.load();
}

void TSerialDispatcher::WaitTransmitterEmpty() {
    // RTS goes down only after the last stop bit has left the shift register, and not
    // much later, or the peer's answer meets a driven line: a short real-time poll.
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Dev.TransmitterEmpty() == 0 && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

// ---- status, events ----------------------------------------------------------------

uint32_t TSerialDispatcher::SampleLines() {
    std::lock_guard Lock(SampleLock);
    uint32_t Events = 0;
    TLineCounters Now;
    if (CountersKnown && Dev.GetCounters(Now) == 0) {
        const TLineCounters& Was = LastCounters;
        if (Now.Cts != Was.Cts) Events |= EV_CTS;
        if (Now.Dsr != Was.Dsr) Events |= EV_DSR;
        if (Now.Dcd != Was.Dcd) Events |= EV_RLSD;
        if (Now.Ring != Was.Ring) Events |= EV_RING;
        uint32_t Errors = 0;
        if (Now.BufferOverrun != Was.BufferOverrun) Errors |= CE_RXOVER;
        if (Now.Overrun != Was.Overrun) Errors |= CE_OVERRUN;
        if (Now.Parity != Was.Parity) Errors |= CE_RXPARITY;
        if (Now.Frame != Was.Frame) Errors |= CE_FRAME;
        if (Now.Break != Was.Break) {
            Errors |= CE_BREAK;
            Events |= EV_BREAK;
        }
        if (Errors & ~uint32_t{CE_BREAK}) Events |= EV_ERR;
        PendingErrors |= Errors;
        LastCounters = Now;
    }
    uint32_t Lines = 0;
    if (Dev.GetModemLines(Lines) == 0) {
        // Without counters a level change is all there is to see.
        const uint32_t Changed = Lines ^ LastLines;
        if (Changed & mlCts) Events |= EV_CTS;
        if (Changed & mlDsr) Events |= EV_DSR;
        if (Changed & mlDcd) Events |= EV_RLSD;
        if ((Changed & mlRing) && !(Lines & mlRing)) Events |= EV_RING;
        LastLines = Lines;
    }
    PendingEvents |= Events;
    return Events;
}

uint32_t TSerialDispatcher::GetComError(TComStat& Stat) {
    Stat = TComStat{};
    const int32_t In = Dev.InputCount();
    Stat.cbInQue = In > 0 ? static_cast<uint32_t>(In) : 0;
    Stat.cbOutQue = OutRingUsed();
    if (Dev.ModemLinesKnown()) SampleLines();
    bool CtsFlow;
    {
        std::lock_guard Lock(DcbLock);
        CtsFlow = Dcb.fOutxCtsFlow;
    }
    std::lock_guard Lock(SampleLock);
    if (CtsFlow && Dev.ModemLinesKnown() && !(LastLines & mlCts)) Stat.Flags |= TComStat::fCtsHold;
    const uint32_t Errors = PendingErrors;
    PendingErrors = 0;
    return Errors;
}

int32_t TSerialDispatcher::GetComEventMask(int32_t) {
    return ecOK;
}

void TSerialDispatcher::SetComEventMask(uint32_t Mask) {
    WatchMask = Mask;
    if (Mask == 0) EventWake.Raise();
}

void TSerialDispatcher::InputSpaceFreed() {
    EventWake.Raise();
}

bool TSerialDispatcher::WaitComEvent(uint32_t& EvtMask) {
    EvtMask = 0;
    for (;;) {
        const uint32_t Mask = WatchMask.load();
        if (Mask == 0 || !Dev.IsOpen()) return false;
        if (Dev.Lost()) {
            // Reported once, as a line error; then the event wait ends for good.
            if (LostDelivered.exchange(true)) return false;
            {
                std::lock_guard Lock(SampleLock);
                PendingErrors |= CE_BREAK;
            }
            EvtMask = EV_ERR | EV_BREAK;
            return true;
        }
        const bool Sample = Dev.ModemLinesKnown();
        // A full input ring takes nothing: the device is not watched for input then;
        // the ring's reader raises EventWake when it makes room.
        const uint32_t Interest = InputRingFull() ? 0u : uint32_t{weReadable};
        EventWaitCount.fetch_add(1, std::memory_order_relaxed);
        const uint32_t Got = Dev.WaitArrival(Sample ? LineSampleMs : -1, Interest != 0, &EventWake);
        if (Got & weError) return false;
        if (Got & weStopped) {
            if (WatchMask.load() == 0 || !Dev.IsOpen()) return false;
            EventWake.Clear();
            // Room in the ring: bytes that arrived while it was full were reported
            // then and are still waiting, so the dispatch thread looks now.
            if (Mask & EV_RXCHAR) {
                EvtMask = EV_RXCHAR;
                return true;
            }
            continue;
        }
        if (Got & weHangUp) continue;
        uint32_t Events = (Got & weReadable) ? uint32_t{EV_RXCHAR} : 0u;
        if (Sample) {
            SampleLines();
            std::lock_guard Lock(SampleLock);
            Events |= PendingEvents;
            PendingEvents = 0;
        }
        Events &= Mask;
        if (Events) {
            EvtMask = Events;
            return true;
        }
    }
}

// ---- data --------------------------------------------------------------------------

int32_t TSerialDispatcher::ReadCom(void* Buf, int32_t Size) {
    return Dev.Read(Buf, Size);
}

int32_t TSerialDispatcher::WriteCom(const void* Buf, int32_t Size) {
    // A vanished device takes nothing more: the caller hears of it now, not never.
    if (Dev.Lost()) return SerialDevice::LostOnWrite;
    if (!Dev.IsOpen()) return SerialDevice::NotOpen;
    return QueueOutput(Buf, Size);
}

int32_t TSerialDispatcher::TransmitCom(const void* Buf, int32_t Len) {
    for (;;) {
        if (TransmitStop.Raised()) {
            TransmitStop.Clear();
            return 0;
        }
        const int32_t Taken = Dev.Write(Buf, Len);
        if (Taken != 0) return Taken;
        const uint32_t Got = Dev.Wait(-1, weWritable, &TransmitStop);
        if (Got & weStopped) {
            TransmitStop.Clear();
            return 0;
        }
        if (Got & weHangUp) return SerialDevice::LostOnWrite;
        if (Got & weError) return SerialDevice::NotOpen;
    }
}

void TSerialDispatcher::CancelTransmit() {
    TransmitStop.Raise();
}

int32_t TSerialDispatcher::FlushCom(int32_t Queue) {
    if (Queue == 0) {
        FlushOutputRing();
        return Dev.Purge(false, true);
    }
    return Dev.Purge(true, false);
}

} // namespace port

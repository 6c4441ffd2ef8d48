// SerialDevice on Windows: the communications device "\\.\COMn" opened with CreateFile
// for overlapped I/O and without sharing (a port another program holds answers "access
// denied": in use). Line settings go through the DCB, modem lines through
// EscapeCommFunction and GetCommModemStatus, counts through ClearCommError.
//
// Reads return at once with what the driver holds (COMMTIMEOUTS: interval MAXDWORD,
// no totals). Writes are overlapped and wait for the driver to take the bytes, or for
// Close. The event wait is an overlapped WaitCommEvent beside the stop signals.
// WaitArrival keeps its WaitCommEvent pending from one call to the next: EV_RXCHAR
// reports each arrival once, and one that comes between two calls completes the
// pending wait instead of going unseen; Close ends it.
//
// Wine's serial emulation on a pseudo-terminal has no event wait: WaitCommEvent fails
// at once (ERROR_NOT_SUPPORTED), or returns at once with an empty mask. A wake is
// therefore only a reason to look at the queue; a wake without received bytes, or a
// device without the event wait, rests EmptyWakeRestMs on the stop signals before the
// device is asked again, so such a device is looked at a bounded number of times per
// second instead of spinning (and bytes wait at most that long to be seen). There
// WaitArrival reports bytes that wait in the queue again after each rest.
#include "port/SerialDevice.h"

#include "winsys/Win32.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace port {

namespace {

constexpr DWORD EmptyWakeRestMs = 20;
constexpr DWORD WatchedEvents = EV_RXCHAR | EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RLSD | EV_RING;

HANDLE AsHandle(int Value) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(Value));
}

int AsInt(HANDLE Handle) {
    // Kernel handles carry 32 significant bits, sign-extended on 64-bit Windows.
    return static_cast<int>(reinterpret_cast<intptr_t>(Handle));
}

// An OVERLAPPED with its own manual-reset event, for one operation.
struct TOverlapped {
    OVERLAPPED O{};
    TOverlapped() {
        O.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!O.hEvent)
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "CreateEvent");
    }
    ~TOverlapped() { CloseHandle(O.hEvent); }
    TOverlapped(const TOverlapped&) = delete;
    TOverlapped& operator=(const TOverlapped&) = delete;
};

// Errors of a device that went away (an adapter pulled) rather than of one call.
bool GoneError(DWORD Error) {
    return Error == ERROR_ACCESS_DENIED || Error == ERROR_BAD_COMMAND ||
           Error == ERROR_DEVICE_REMOVED || Error == ERROR_GEN_FAILURE ||
           Error == ERROR_INVALID_HANDLE || Error == ERROR_DEV_NOT_EXIST;
}

// The time left of a wait of TimeoutMs (negative: no limit), in the form
// WaitForMultipleObjects takes.
class TWaitTime {
  public:
    explicit TWaitTime(int TimeoutMs)
        : Limited(TimeoutMs >= 0),
          Deadline(Clock::now() + std::chrono::milliseconds(Limited ? TimeoutMs : 0)) {}
    DWORD Left() const {
        if (!Limited) return INFINITE;
        const auto Rest = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now());
        return Rest.count() > 0 ? static_cast<DWORD>(Rest.count()) : 0;
    }
    bool Over() const { return Limited && Left() == 0; }

  private:
    using Clock = std::chrono::steady_clock;
    bool Limited;
    Clock::time_point Deadline;
};

// The signals that end a wait: the device's Closing and the caller's Stop (when given).
struct TStopSet {
    HANDLE Handles[2];
    DWORD Count = 0;
    const TStopSignal& Closing;
    const TStopSignal* Stop;

    TStopSet(const TStopSignal& Closing, const TStopSignal* Stop) : Closing(Closing), Stop(Stop) {
        Handles[Count++] = AsHandle(Closing.Fd());
        if (Stop) Handles[Count++] = AsHandle(Stop->Fd());
    }
    bool Raised() const { return Closing.Raised() || (Stop && Stop->Raised()); }
    // Waits on the signals alone for at most Ms: weStopped when one was raised, else 0.
    uint32_t Rest(DWORD Ms) const {
        return WaitForMultipleObjects(Count, Handles, FALSE, Ms) < WAIT_OBJECT_0 + Count
                   ? uint32_t{weStopped}
                   : 0u;
    }
    // Waits for Event or a signal for at most Ms: WAIT_OBJECT_0 for the event, as
    // WaitForMultipleObjects answers otherwise.
    DWORD WaitWith(HANDLE Event, DWORD Ms) const {
        HANDLE All[3] = {Event};
        for (DWORD I = 0; I < Count; ++I)
            All[I + 1] = Handles[I];
        return WaitForMultipleObjects(Count + 1, All, FALSE, Ms);
    }
};

// The bytes the driver's input queue holds; false (GetLastError tells why) on failure.
bool InputQueued(HANDLE Device, DWORD& Count) {
    DWORD Errors = 0;
    COMSTAT Stat{};
    if (!ClearCommError(Device, &Errors, &Stat)) return false;
    Count = Stat.cbInQue;
    return true;
}

BYTE ParityOf(TParity Parity) {
    switch (Parity) {
    case pOdd:
        return ODDPARITY;
    case pEven:
        return EVENPARITY;
    case pMark:
        return MARKPARITY;
    case pSpace:
        return SPACEPARITY;
    default:
        return NOPARITY;
    }
}

TParity ParityFrom(BYTE Parity) {
    switch (Parity) {
    case ODDPARITY:
        return pOdd;
    case EVENPARITY:
        return pEven;
    case MARKPARITY:
        return pMark;
    case SPACEPARITY:
        return pSpace;
    default:
        return pNone;
    }
}

} // namespace

// ---- TStopSignal: a manual-reset event ----------------------------------------------

TStopSignal::TStopSignal() : EventFd(AsInt(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (EventFd == 0)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateEvent");
}

TStopSignal::~TStopSignal() {
    CloseHandle(AsHandle(EventFd));
}

void TStopSignal::Raise() {
    RaisedFlag.store(true);
    SetEvent(AsHandle(EventFd));
}

void TStopSignal::Clear() {
    ResetEvent(AsHandle(EventFd));
    RaisedFlag.store(false);
}

// ---- SerialDevice ------------------------------------------------------------------

// WaitArrival's WaitCommEvent, pending from one call to the next.
struct SerialDevice::TArrivalWatch {
    TOverlapped Io;
    DWORD Mask = 0;
    bool Pending = false;
    // The device has no event wait (wine on a pty): its queue is looked at after rests.
    bool NoEventWait = false;
    // Input already in the queue counts as an arrival: at the first wait, and when
    // watching input again.
    bool LookFirst = true;
    bool WatchesInput = true;
};

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() {
    Close();
}

int32_t SerialDevice::OpenErrorCode(int Error, bool) {
    switch (static_cast<DWORD>(Error)) {
    case ERROR_FILE_NOT_FOUND:
        return NotFound;
    case ERROR_PATH_NOT_FOUND:
        return PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return InUse;
    default:
        return -Error;
    }
}

int32_t SerialDevice::RuntimeCode(int Error, int32_t LostCode) {
    if (GoneError(static_cast<DWORD>(Error))) {
        LostFlag.store(true);
        return LostCode;
    }
    return -Error;
}

bool SerialDevice::IsOpen() const {
    std::shared_lock Lock(FdLock);
    return Fd != -1;
}

int SerialDevice::Descriptor() const {
    std::shared_lock Lock(FdLock);
    return Fd;
}

int32_t SerialDevice::Probe(const std::string& Path) {
    // Opened as Open opens it (no sharing, so a port another program holds is refused)
    // and closed again at once; the DCB is only read.
    HANDLE Device =
        CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (Device == INVALID_HANDLE_VALUE)
        return OpenErrorCode(static_cast<int>(GetLastError()), false);
    DCB Dcb{};
    Dcb.DCBlength = sizeof Dcb;
    const int32_t R = GetCommState(Device, &Dcb) ? 0 : NotFound; // not a communications device
    CloseHandle(Device);
    return R;
}

int32_t SerialDevice::Open(const std::string& Path) {
    std::unique_lock Lock(FdLock);
    if (Fd != -1) return -1002;

    HANDLE Device =
        CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (Device == INVALID_HANDLE_VALUE)
        return OpenErrorCode(static_cast<int>(GetLastError()), false);
    auto Fail = [&](int32_t Code) {
        CloseHandle(Device);
        return Code;
    };

    DCB Dcb{};
    Dcb.DCBlength = sizeof Dcb;
    if (!GetCommState(Device, &Dcb)) return Fail(NotFound); // not a communications device

    // Reads take what is there and return at once; writes have no time limit.
    COMMTIMEOUTS Timeouts{};
    Timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommTimeouts(Device, &Timeouts)) return Fail(-static_cast<int32_t>(GetLastError()));
    SetCommMask(Device, WatchedEvents);

    // Raw bytes and no flow control until asked for: XON/XOFF would swallow the bytes
    // 0x11 and 0x13 of binary replies.
    Dcb.fBinary = TRUE;
    Dcb.fOutxCtsFlow = Dcb.fOutxDsrFlow = FALSE;
    Dcb.fDsrSensitivity = FALSE;
    Dcb.fOutX = Dcb.fInX = FALSE;
    Dcb.fNull = FALSE;
    Dcb.fAbortOnError = FALSE;
    Dcb.fDtrControl = DTR_CONTROL_ENABLE;
    Dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(Device, &Dcb)) return Fail(NotFound);

    try {
        Arrival = std::make_unique<TArrivalWatch>();
    } catch (const std::system_error& Error) {
        return Fail(-Error.code().value());
    }
    Fd = AsInt(Device);
    DevicePath = Path;
    PseudoTerminal = false;
    LowLatencySet = false;
    LostFlag.store(false);
    Closing.Clear();
    DWORD Status = 0;
    LinesKnown = GetCommModemStatus(Device, &Status) != 0;

    TSerialLine Line;
    Line.Baud = Dcb.BaudRate;
    Line.Parity = ParityFrom(Dcb.Parity);
    Line.DataBits = Dcb.ByteSize;
    Line.StopBits = static_cast<TSerialStopBits>(Dcb.StopBits);
    Line.XOnChar = Dcb.XonChar;
    Line.XOffChar = Dcb.XoffChar;
    std::lock_guard LineGuard(LineLock);
    CurrentLine = Line;
    return 0;
}

int32_t SerialDevice::Close() {
    Closing.Raise();
    {
        // Ends the pending waits, reads and writes of the other threads.
        std::shared_lock Peek(FdLock);
        if (Fd != -1) {
            SetCommMask(AsHandle(Fd), 0);
            CancelIoEx(AsHandle(Fd), nullptr);
        }
    }
    std::unique_lock Lock(FdLock);
    if (Fd == -1) return 0;
    PurgeComm(AsHandle(Fd), PURGE_TXABORT | PURGE_TXCLEAR);
    if (Arrival && Arrival->Pending) {
        // The new mask above ended the wait; it completes before its structure goes.
        DWORD Ignored = 0;
        GetOverlappedResult(AsHandle(Fd), &Arrival->Io.O, &Ignored, TRUE);
    }
    Arrival.reset();
    const BOOL Closed = CloseHandle(AsHandle(Fd));
    Fd = -1;
    return Closed ? 0 : -1;
}

// ---- line settings -----------------------------------------------------------------

int32_t SerialDevice::SetLine(const TSerialLine& Line) {
    if (Line.Baud == 0 || Line.DataBits < 5 || Line.DataBits > 8 || Line.Parity > pSpace ||
        Line.StopBits > ssTwo)
        return Refused;
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    if (LostFlag.load()) return LostOnControl;
    DCB Dcb{};
    Dcb.DCBlength = sizeof Dcb;
    if (!GetCommState(AsHandle(Fd), &Dcb))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
    Dcb.BaudRate = Line.Baud;
    Dcb.ByteSize = Line.DataBits;
    Dcb.Parity = ParityOf(Line.Parity);
    Dcb.fParity = Line.Parity != pNone;
    Dcb.StopBits = static_cast<BYTE>(Line.StopBits);
    Dcb.fOutxCtsFlow = Line.CtsRtsFlow;
    if (Line.CtsRtsFlow)
        Dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (Dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        Dcb.fRtsControl = RTS_CONTROL_ENABLE;
    Dcb.fOutX = Line.XOnXOffOutput;
    Dcb.fInX = Line.XOnXOffInput;
    Dcb.XonChar = Line.XOnChar;
    Dcb.XoffChar = Line.XOffChar;
    if (!SetCommState(AsHandle(Fd), &Dcb)) {
        const DWORD Error = GetLastError();
        return GoneError(Error) ? RuntimeCode(static_cast<int>(Error), LostOnControl) : Refused;
    }
    std::lock_guard LineGuard(LineLock);
    CurrentLine = Line;
    return 0;
}

TSerialLine SerialDevice::GetLine() const {
    std::lock_guard LineGuard(LineLock);
    return CurrentLine;
}

int32_t SerialDevice::SetModemLine(int Function, bool) {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    if (LostFlag.load()) return LostOnControl;
    if (EscapeCommFunction(AsHandle(Fd), static_cast<DWORD>(Function))) return 0;
    // A device without modem lines only remembers the level.
    return LinesKnown ? RuntimeCode(static_cast<int>(GetLastError()), LostOnControl) : 0;
}

int32_t SerialDevice::SetDtr(bool On) {
    return SetModemLine(On ? SETDTR : CLRDTR, On);
}

int32_t SerialDevice::SetRts(bool On) {
    return SetModemLine(On ? SETRTS : CLRRTS, On);
}

int32_t SerialDevice::GetModemLines(uint32_t& Lines) {
    Lines = 0;
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    if (!LinesKnown) return ModemLinesUnknown;
    DWORD Status = 0;
    if (!GetCommModemStatus(AsHandle(Fd), &Status))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
    if (Status & MS_CTS_ON) Lines |= mlCts;
    if (Status & MS_DSR_ON) Lines |= mlDsr;
    if (Status & MS_RING_ON) Lines |= mlRing;
    if (Status & MS_RLSD_ON) Lines |= mlDcd;
    return 0;
}

int32_t SerialDevice::WaitModemChange(uint32_t) {
    // The event wait reports modem line changes here (EV_CTS, EV_DSR, ...).
    return -25;
}

int32_t SerialDevice::GetCounters(TLineCounters&) {
    return CountersUnknown;
}

int32_t SerialDevice::SetBreak(bool On) {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    const BOOL Done = On ? SetCommBreak(AsHandle(Fd)) : ClearCommBreak(AsHandle(Fd));
    return Done ? 0 : RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
}

int32_t SerialDevice::Purge(bool Input, bool Output) {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    DWORD Flags = 0;
    if (Input) Flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (Output) Flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (Flags == 0 || PurgeComm(AsHandle(Fd), Flags)) return 0;
    return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
}

int32_t SerialDevice::InputCount() {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    DWORD Errors = 0;
    COMSTAT Stat{};
    if (!ClearCommError(AsHandle(Fd), &Errors, &Stat))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
    return static_cast<int32_t>(Stat.cbInQue);
}

int32_t SerialDevice::OutputCount() {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    DWORD Errors = 0;
    COMSTAT Stat{};
    if (!ClearCommError(AsHandle(Fd), &Errors, &Stat))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
    return static_cast<int32_t>(Stat.cbOutQue);
}

int32_t SerialDevice::TransmitterEmpty() {
    const int32_t Queued = OutputCount();
    if (Queued < 0) return Queued;
    return Queued == 0 ? 1 : 0;
}

int32_t SerialDevice::SetRS485(bool On) {
    // The driver raises RTS while it sends (RTS_CONTROL_TOGGLE) where it can.
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    DCB Dcb{};
    Dcb.DCBlength = sizeof Dcb;
    if (!GetCommState(AsHandle(Fd), &Dcb))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnControl);
    if (On || Dcb.fRtsControl == RTS_CONTROL_TOGGLE) {
        Dcb.fRtsControl = On ? RTS_CONTROL_TOGGLE : RTS_CONTROL_ENABLE;
        return SetCommState(AsHandle(Fd), &Dcb) ? 0 : RS485ByRts;
    }
    // Off, and off already: whether the driver could switch it is found out by trying.
    DCB Toggle = Dcb;
    Toggle.fRtsControl = RTS_CONTROL_TOGGLE;
    if (!SetCommState(AsHandle(Fd), &Toggle)) return RS485ByRts;
    SetCommState(AsHandle(Fd), &Dcb);
    return 0;
}

// ---- data and the event wait -------------------------------------------------------

int32_t SerialDevice::Read(void* Buf, int32_t Size) {
    if (Size <= 0) return 0;
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    if (LostFlag.load()) return LostOnRead;
    // Only what the queue holds is asked for: wine's emulation on a pty waits for bytes
    // despite the time-outs, which would hold the reader until the next arrival.
    DWORD Queued = 0;
    if (!InputQueued(AsHandle(Fd), Queued))
        return RuntimeCode(static_cast<int>(GetLastError()), LostOnRead);
    if (Queued == 0) return 0;
    Size = static_cast<int32_t>(std::min<DWORD>(static_cast<DWORD>(Size), Queued));
    TOverlapped Io;
    DWORD Got = 0;
    if (!ReadFile(AsHandle(Fd), Buf, static_cast<DWORD>(Size), &Got, &Io.O)) {
        DWORD Error = GetLastError();
        if (Error != ERROR_IO_PENDING) return RuntimeCode(static_cast<int>(Error), LostOnRead);
        // The read returns at once by its time-outs; only the completion is awaited.
        if (!GetOverlappedResult(AsHandle(Fd), &Io.O, &Got, TRUE)) {
            Error = GetLastError();
            if (Error == ERROR_OPERATION_ABORTED) return 0;
            return RuntimeCode(static_cast<int>(Error), LostOnRead);
        }
    }
    return static_cast<int32_t>(Got);
}

int32_t SerialDevice::Write(const void* Buf, int32_t Size) {
    if (Size <= 0) return 0;
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return NotOpen;
    if (LostFlag.load()) return LostOnWrite;
    TOverlapped Io;
    DWORD Put = 0;
    if (WriteFile(AsHandle(Fd), Buf, static_cast<DWORD>(Size), &Put, &Io.O))
        return static_cast<int32_t>(Put);
    DWORD Error = GetLastError();
    if (Error != ERROR_IO_PENDING) return RuntimeCode(static_cast<int>(Error), LostOnWrite);
    const HANDLE Events[] = {Io.O.hEvent, AsHandle(Closing.Fd())};
    if (WaitForMultipleObjects(2, Events, FALSE, INFINITE) != WAIT_OBJECT_0)
        CancelIoEx(AsHandle(Fd), &Io.O);
    if (GetOverlappedResult(AsHandle(Fd), &Io.O, &Put, TRUE)) return static_cast<int32_t>(Put);
    Error = GetLastError();
    if (Error == ERROR_OPERATION_ABORTED) return Put > 0 ? static_cast<int32_t>(Put) : NotOpen;
    return RuntimeCode(static_cast<int>(Error), LostOnWrite);
}

uint32_t SerialDevice::Wait(int TimeoutMs, uint32_t Interest, const TStopSignal* Stop) {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return Closing.Raised() ? weStopped : weError;

    const TWaitTime Time(TimeoutMs);
    const TStopSet Signals(Closing, Stop);
    if (Signals.Raised()) return weStopped;
    // The driver queues what it is given: writing never waits here (Write waits for its
    // own completion).
    uint32_t Result = (Interest & weWritable) && !LostFlag.load() ? uint32_t{weWritable} : 0u;
    if (LostFlag.load()) return Signals.Rest(Time.Left()) | weHangUp;
    if (!(Interest & weReadable)) return Result ? Result : Signals.Rest(Time.Left());
    if (Result) return Result;

    const HANDLE Device = AsHandle(Fd);
    for (;;) {
        DWORD Queued = 0;
        if (!InputQueued(Device, Queued)) {
            RuntimeCode(static_cast<int>(GetLastError()), LostOnRead);
            return LostFlag.load() ? weHangUp : weError;
        }
        if (Queued > 0) return weReadable;

        TOverlapped Io;
        DWORD Mask = 0;
        bool Woke = WaitCommEvent(Device, &Mask, &Io.O) != 0;
        if (!Woke) {
            const DWORD Error = GetLastError();
            if (Error == ERROR_NOT_SUPPORTED) {
                // No event wait on this device: it is looked at after each rest.
                if (Signals.Rest(std::min<DWORD>(EmptyWakeRestMs, Time.Left()))) return weStopped;
                if (Time.Over()) return 0;
                continue;
            }
            if (Error != ERROR_IO_PENDING) {
                RuntimeCode(static_cast<int>(Error), LostOnRead);
                return LostFlag.load() ? weHangUp : weError;
            }
            const DWORD Got = Signals.WaitWith(Io.O.hEvent, Time.Left());
            if (Got != WAIT_OBJECT_0) {
                // A new mask ends the pending wait; its completion is collected before
                // the structure goes away.
                SetCommMask(Device, WatchedEvents);
                DWORD Ignored = 0;
                GetOverlappedResult(Device, &Io.O, &Ignored, TRUE);
                return Got == WAIT_TIMEOUT ? 0u : uint32_t{weStopped};
            }
            DWORD Ignored = 0;
            if (!GetOverlappedResult(Device, &Io.O, &Ignored, FALSE)) {
                const DWORD Error = GetLastError();
                if (Error != ERROR_OPERATION_ABORTED) {
                    RuntimeCode(static_cast<int>(Error), LostOnRead);
                    if (LostFlag.load()) return weHangUp;
                }
            }
        }
        if (Signals.Raised()) return weStopped;
        // Look at the queue; a wake without received bytes rests before asking again.
        if (!(Mask & EV_RXCHAR)) {
            if (Signals.Rest(std::min<DWORD>(EmptyWakeRestMs, Time.Left()))) return weStopped;
            if (Time.Over()) return 0;
        }
    }
}

uint32_t SerialDevice::WaitArrival(int TimeoutMs, bool WatchInput, const TStopSignal* Stop) {
    std::shared_lock Lock(FdLock);
    if (Fd == -1) return Closing.Raised() ? weStopped : weError;

    const TWaitTime Time(TimeoutMs);
    const TStopSet Signals(Closing, Stop);
    if (Signals.Raised()) return weStopped;
    if (LostFlag.load()) return Signals.Rest(Time.Left()) | weHangUp;
    TArrivalWatch& W = *Arrival;
    if (!WatchInput) {
        // A wait that completes meanwhile stays collected for later; the queue is
        // looked at when watching starts again.
        W.WatchesInput = false;
        return Signals.Rest(Time.Left());
    }
    if (!W.WatchesInput) W.WatchesInput = W.LookFirst = true;

    const HANDLE Device = AsHandle(Fd);
    const auto Failed = [&] { return LostFlag.load() ? uint32_t{weHangUp} : uint32_t{weError}; };
    // Whether bytes wait in the queue: readable, 0 when none, Failed when it cannot tell.
    const auto Look = [&]() -> uint32_t {
        DWORD Queued = 0;
        if (InputQueued(Device, Queued)) return Queued > 0 ? uint32_t{weReadable} : 0u;
        RuntimeCode(static_cast<int>(GetLastError()), LostOnRead);
        return Failed();
    };
    const auto LookAfterRest = [&]() -> uint32_t {
        if (Signals.Rest(std::min<DWORD>(EmptyWakeRestMs, Time.Left()))) return weStopped;
        return Look();
    };
    if (W.LookFirst) {
        W.LookFirst = false;
        // A wait that completed while input was not watched is covered by this look.
        if (W.Pending && WaitForSingleObject(W.Io.O.hEvent, 0) == WAIT_OBJECT_0) {
            DWORD Ignored = 0;
            GetOverlappedResult(Device, &W.Io.O, &Ignored, FALSE);
            W.Pending = false;
        }
        if (const uint32_t Got = Look()) return Got;
    }
    for (;;) {
        if (W.NoEventWait) {
            if (const uint32_t Got = LookAfterRest()) return Got;
            if (Time.Over()) return 0;
            continue;
        }
        if (!W.Pending) {
            W.Mask = 0;
            ResetEvent(W.Io.O.hEvent);
            if (!WaitCommEvent(Device, &W.Mask, &W.Io.O)) {
                const DWORD Error = GetLastError();
                if (Error == ERROR_NOT_SUPPORTED) {
                    W.NoEventWait = true;
                    continue;
                }
                if (Error != ERROR_IO_PENDING) {
                    RuntimeCode(static_cast<int>(Error), LostOnRead);
                    return Failed();
                }
                W.Pending = true;
            }
        }
        if (W.Pending) {
            const DWORD Got = Signals.WaitWith(W.Io.O.hEvent, Time.Left());
            if (Got == WAIT_TIMEOUT) return 0;
            if (Got != WAIT_OBJECT_0)
                return Got < WAIT_OBJECT_0 + Signals.Count + 1 ? weStopped : weError;
            W.Pending = false;
            DWORD Ignored = 0;
            if (!GetOverlappedResult(Device, &W.Io.O, &Ignored, FALSE)) {
                const DWORD Error = GetLastError();
                if (Error != ERROR_OPERATION_ABORTED) {
                    RuntimeCode(static_cast<int>(Error), LostOnRead);
                    if (LostFlag.load()) return weHangUp;
                }
                W.Mask = 0;
            }
        }
        if (Signals.Raised()) return weStopped;
        if (W.Mask & EV_RXCHAR) return weReadable;
        // A wake with nothing received (a line event, or a device whose wait returns at
        // once with an empty mask): the queue is looked at after a rest.
        if (const uint32_t Got = LookAfterRest()) return Got;
        if (Time.Over()) return 0;
    }
}

} // namespace port

#pragma once
// The records and constants the dispatcher shares with its device layers and its
// components: the device's line settings (TDCB) and status (TComStat), the device
// event, error and escape numbers, the notification messages, the trigger records
// and the handler entries.
#include "port/PortMisc.h"

#include "winsys/EventLoop.h"

#include <cstdint>
#include <vector>

namespace port {

// Sizes.
constexpr uint32_t InRingSize = 8192;
constexpr int32_t MaxTrigData = 21;

// Device events reported by WaitComEvent.
enum : uint32_t {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_RINGTE = 0x2000,
    // What TComThread asks the device for: received characters, line changes, break,
    // errors, ring.
    DefaultComEventMask = 0x01F9,
    ModemEventMask = 0x2138,
    ErrorEventMask = 0x00C0,
};

// Line error bits of GetComError.
enum : uint32_t {
    CE_RXOVER = 0x01,
    CE_OVERRUN = 0x02,
    CE_RXPARITY = 0x04,
    CE_FRAME = 0x08,
    CE_BREAK = 0x10,
    LineErrorMask = 0x1F,
};

// Modem status byte: lines in the high nibble, changes in the low nibble.
enum : uint8_t {
    MsrDeltaCts = 0x01,
    MsrDeltaDsr = 0x02,
    MsrTrailingRing = 0x04,
    MsrDeltaDcd = 0x08,
    MsrCts = 0x10,
    MsrDsr = 0x20,
    MsrRing = 0x40,
    MsrDcd = 0x80,
    MsrLines = 0xF0,
};

// EscapeComFunction numbers.
enum : int32_t {
    SETXOFF = 1,
    SETXON = 2,
    SETRTS = 3,
    CLRRTS = 4,
    SETDTR = 5,
    CLRDTR = 6,
    RESETDEV = 7,
    SETBREAK = 8,
    CLRBREAK = 9,
    GETBASEADDRESS = 10,
};

// DCB field values.
enum : uint8_t {
    DTR_CONTROL_DISABLE = 0,
    DTR_CONTROL_ENABLE = 1,
    DTR_CONTROL_HANDSHAKE = 2,
    RTS_CONTROL_DISABLE = 0,
    RTS_CONTROL_ENABLE = 1,
    RTS_CONTROL_HANDSHAKE = 2,
    RTS_CONTROL_TOGGLE = 3,
    ONESTOPBIT = 0,
    ONE5STOPBITS = 1,
    TWOSTOPBITS = 2,
};

// The device's line settings.
struct TDCB {
    uint32_t BaudRate = 19200;
    bool fBinary = true;
    bool fParity = false; // parity checking
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = DTR_CONTROL_ENABLE;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = true;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    uint8_t fRtsControl = RTS_CONTROL_ENABLE;
    bool fAbortOnError = false;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = pNone; // TParity values
    uint8_t StopBits = ONESTOPBIT;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const TDCB&) const = default;
};

// The device's status: hold reasons and the two queue counts. The dispatcher's
// device layers report the output ring's fill as the output count.
struct TComStat {
    enum : uint32_t {
        fCtsHold = 0x01,
        fDsrHold = 0x02,
        fRlsdHold = 0x04,
        fXoffHold = 0x08,
        fXoffSent = 0x10,
        fEof = 0x20,
        fTxim = 0x40,
    };
    uint32_t Flags = 0;
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

// Notification messages sent to window handlers (lParam carries PortHandle << 16).
enum : uint32_t {
    PortMsgAvail = 0x7E01,
    PortMsgData = 0x7E02,
    PortMsgTimer = 0x7E03,
    PortMsgStatus = 0x7E04,
    PortMsgOpen = 0x7E08,
    PortMsgClose = 0x7E09,
    PortMsgClosePending = 0x7E0A,
};

inline winsys::LPARAM MakePortLParam(int32_t PortHandle, uint32_t Data) {
    return static_cast<winsys::LPARAM>((static_cast<uint32_t>(PortHandle) << 16) + Data);
}
inline int32_t PortHandleOf(winsys::LPARAM lParam) {
    return static_cast<int32_t>((static_cast<uint64_t>(lParam) >> 16) & 0xFFFF);
}

enum TTriggerType { ttNone, ttAvail, ttTimer, ttData, ttStatus };
enum THandlerFlagUpdate { fuKeepPort, fuEnablePort, fuDisablePort };
enum TFlowControlState {
    fcOff,
    fcOn,
    fcDsrHold,
    fcCtsHold,
    fcDcdHold,
    fcXOutHold,
    fcXInHold,
    fcXBothHold
};

// Status trigger types (in the low three bits of their handles).
enum : uint32_t {
    stNotActive = 0,
    stModem = 1,
    stLine = 2,
    stOutBuffFree = 3,
    stOutBuffUsed = 4,
    stOutSent = 5,
};

struct TTimerTrigger {
    int32_t tHandle = 0;
    EventTimer tET;
    int32_t tTicks = 0;
    bool tActive = false;
};

struct TDataTrigger {
    int32_t tHandle = 0;
    int32_t tLen = 0;
    int32_t tChkIndex[MaxTrigData] = {};
    bool tMatched = false;
    bool tIgnoreCase = false;
    uint8_t tData[MaxTrigData] = {};
};

struct TStatusTrigger {
    int32_t tHandle = 0;
    uint32_t tSType = stNotActive;
    uint16_t tValue = 0; // type 1: mask << 8 | snapshot; type 2: line error mask; 3, 4: count
    bool tEnabled = false;
    bool tHit = false;
};

// Triggers kept across a close and restored into the next dispatcher.
struct TTriggerSave {
    uint32_t tsLenTrigger = 0;
    std::vector<TTimerTrigger> tsTimerTriggers;
    std::vector<TDataTrigger> tsDataTriggers;
    std::vector<TStatusTrigger> tsStatusTriggers;
};

// Handler entries.
using TPortNotifyProc = void (*)(uint32_t Msg, winsys::WPARAM wParam, winsys::LPARAM lParam);

// A method: an object and a function taking it. Deregistering one matches its code
// alone, so the first entry with that method goes whatever object it was made with.
struct TPortNotifyEvent {
    void* Data = nullptr;
    void (*Code)(void* Data, uint32_t Msg, winsys::WPARAM wParam, winsys::LPARAM lParam) = nullptr;
    explicit operator bool() const { return Code != nullptr; }
    bool operator==(const TPortNotifyEvent&) const = default;
};

// A TPortNotifyEvent that calls Method on Object.
template <class T, void (T::*Method)(uint32_t, winsys::WPARAM, winsys::LPARAM)>
TPortNotifyEvent MakeNotifyEvent(T* Object) {
    return TPortNotifyEvent{Object,
                            [](void* data, uint32_t msg, winsys::WPARAM w, winsys::LPARAM l) {
                                (static_cast<T*>(data)->*Method)(msg, w, l);
                            }};
}

struct TWndTriggerHandler {
    winsys::HWND thWnd = 0;
    bool thDeleted = false;
};
struct TProcTriggerHandler {
    TPortNotifyProc thNotify = nullptr;
    bool thDeleted = false;
};
struct TEventTriggerHandler {
    TPortNotifyEvent thNotify;
    bool thDeleted = false;
    bool thSync = false;
};

// Entry kinds of the dispatch log that the dispatcher writes.
enum TDispatchType : uint8_t {
    dtNone,
    dtDispatch,
    dtTrigger,
    dtError,
    dtThread,
    dtTriggerAlloc,
    dtTriggerDispose,
    dtTriggerHandlerAlloc,
    dtTriggerHandlerDispose,
    dtTriggerDataChange,
    dtTelnet,
    dtFax,
    dtXModem,
    dtYModem,
    dtZModem,
    dtKermit,
    dtAscii,
    dtBPlus,
    dtPacket,
    dtUser,
    dtScript
};
enum TDispatchSubType : uint8_t {
    dstNone,
    dstReadCom,
    dstWriteCom,
    dstLineStatus,
    dstModemStatus,
    dstAvail,
    dstTimer,
    dstData,
    dstStatus,
    dstThreadStart,
    dstThreadExit,
    dstThreadSleep,
    dstThreadWake,
    dstDataTrigger,
    dstTimerTrigger,
    dstStatusTrigger,
    dstAvailTrigger,
    dstWndHandler,
    dstProcHandler,
    dstEventHandler,
    dstSWill,
    dstSWont,
    dstSDo,
    dstSDont,
    dstRWill,
    dstRWont,
    dstRDo,
    dstRDont,
    dstCommand,
    dstSTerm
};

} // namespace port

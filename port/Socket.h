#pragma once
// TSocket: the socket wrapper of the network port. It owns the start of the socket
// library (SocketLib.h), a hidden notification window on the window thread's event
// loop, and one operation per socket call with uniform error reporting.
//
// Sockets are non-blocking IPv4 TCP sockets. Notifications: after SetAsyncStyles a
// socket's events (read, write, accept, connect, close, each with an error number)
// reach the window as SocketNotifyMsg (WParam the socket, LParam the event in the low
// and the error in the high 16 bits) and from there DoRead ... DoError, the way the
// socket library's asynchronous select delivers them:
//   - read and accept are reported once and again only after the next recv or accept
//     on that socket, so bytes left in the socket never spin the loop;
//   - write is reported once when the socket connects or is accepted, and again after a
//     send that would block, once the socket takes data again;
//   - connect is reported once, with the error of a failed connect;
//   - close is reported once, when the peer has closed and every byte was read, or
//     with the error of a reset.
// A socket accepted from a listening socket reports the same events as the listener.
//
// Errors: results of -1 are reported through DoError(Socket, GetLastError()), except
// would-block (10035, WsaEWouldBlock) where the operation's contract says it is passed over;
// DoError without an OnError handler raises ESocketException with the code. While the library is
// not usable (StartupError non-zero) every operation but the accessors raises ESocketException
// "Winsock not initialized - <the code's text>".
//
// Window thread only.
//
// The body is split by concern, and each concern's platform calls by platform:
// Socket.cpp (delivery of events and errors) with SocketLinux.cpp / SocketWin32.cpp
// (start-up and the window); SocketAsyncLinux.cpp (the asynchronous notifications on fd
// watches) / SocketAsyncWin32.cpp (the library's own, to the window); SocketCallsLinux.cpp
// / SocketCallsWin32.cpp (the socket calls); SocketLookup.cpp with SocketLookupLinux.cpp /
// SocketLookupWin32.cpp (names and addresses). Each platform's asynchronous state is in
// port/<platform>/SocketAsync.h.
#include "port/SocketLib.h"
#include "winsys/EventLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace port {

using TSocketHandle = int;
constexpr TSocketHandle InvalidSocket = -1;

// An IPv4 address in network byte order.
struct TInAddr {
    uint32_t S_addr = 0;
    // The address's bytes in the order they travel (a.b.c.d).
    uint8_t Byte(int Index) const { return reinterpret_cast<const uint8_t*>(&S_addr)[Index]; }
};

// The 16-byte IPv4 socket address: family 2, port and address in network order.
struct TSockAddrIn {
    uint16_t sin_family = 0;
    uint16_t sin_port = 0;
    TInAddr sin_addr;
    uint8_t sin_zero[8] = {};
};
static_assert(sizeof(TSockAddrIn) == 16);

constexpr uint32_t InAddrNone = 0xFFFFFFFFu;
constexpr uint32_t InAddrAny = 0;
constexpr uint16_t AfInet = 2;

// Events of SetAsyncStyles and of SocketNotifyMsg.
constexpr unsigned FdRead = 1;
constexpr unsigned FdWrite = 2;
constexpr unsigned FdOob = 4;
constexpr unsigned FdAccept = 8;
constexpr unsigned FdConnect = 16;
constexpr unsigned FdClose = 32;

// The notification message of the socket window; the port's own close request.
constexpr uint32_t SocketNotifyMsg = 0x0B11;
constexpr uint32_t SocketCloseMsg = 0x0B12;
// The operating system's query-end message, answered with 1.
constexpr uint32_t WmQueryEndSession = 0x0011;

// Error numbers of the socket library that the wrapper sets itself (every other one
// comes from TranslateSocketError).
constexpr int WsaEInval = 10022;       // no loop to deliver notifications on
constexpr int WsaEWouldBlock = 10035;  // passed over where a call's contract says so
constexpr int WsaENotSock = 10038;     // a descriptor that cannot be watched
constexpr int WsaEDestAddrReq = 10039; // a client without an address
constexpr int WsaENoProtoOpt = 10042;  // an option with no platform equivalent
constexpr int WsaHostNotFound = 11001; // a name of the reserved ".invalid" domain

// Flags of ReadSocket and WriteSocket.
constexpr int MsgOob = 1;
constexpr int MsgPeek = 2;

// Levels and options of SetSocketOptions, in the socket library's numbering.
constexpr int SolSocket = 0xFFFF;
constexpr int SoReuseAddr = 4;
constexpr int SoKeepAlive = 8;
constexpr int SoSndBuf = 0x1001;
constexpr int SoRcvBuf = 0x1002;
constexpr int IpProtoTcp = 6;
constexpr int TcpNoDelay = 1;

constexpr winsys::LPARAM MakeSelectLParam(unsigned Event, int Error) {
    return static_cast<winsys::LPARAM>((static_cast<uint32_t>(Error & 0xFFFF) << 16) |
                                       (Event & 0xFFFF));
}
constexpr unsigned SelectEvent(winsys::LPARAM LParam) {
    return static_cast<unsigned>(LParam) & 0xFFFF;
}
constexpr int SelectError(winsys::LPARAM LParam) {
    return static_cast<int>((static_cast<uint32_t>(LParam) >> 16) & 0xFFFF);
}

class TSocket {
  public:
    using TWsNotifyEvent = std::function<void(TSocket& Sender, TSocketHandle Socket)>;
    using TWsSocketErrorEvent =
        std::function<void(TSocket& Sender, TSocketHandle Socket, int ErrCode)>;

    // Loads and starts the library (StartupError 9002 when it cannot be loaded, the
    // start-up's own code when that fails, 9003 for a version other than 1.1) and,
    // whenever the start-up call succeeded, creates the notification window on Loop.
    explicit TSocket(winsys::EventLoop* loop = winsys::EventLoop::Current());
    virtual ~TSocket();
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    bool WinsockLoaded() const { return Loaded; }
    int StartupError() const { return StartError; }
    const TWSAData& StartupData() const { return WsaData; }

    // Raises ESocketException (the not-initialised form) while StartupError is set.
    void CheckLoaded() const;

    // A new non-blocking stream socket; raises ESocketException with the library's
    // error when there is none.
    TSocketHandle CreateSocket();
    int BindSocket(TSocketHandle Socket, const TSockAddrIn& Addr);    // would-block reported
    int ConnectSocket(TSocketHandle Socket, const TSockAddrIn& Addr); // would-block passed over
    int ListenSocket(TSocketHandle Socket, int Backlog);              // would-block passed over
    // The accepted socket or InvalidSocket; Addr receives the peer. Would-block reported.
    TSocketHandle AcceptSocket(TSocketHandle Socket, TSockAddrIn& Addr);
    // Count (0 when the peer has closed) or -1. Would-block passed over.
    int ReadSocket(TSocketHandle Socket, void* Buf, int Size, int Flags);
    // Count or -1. Would-block passed over; the socket then reports write again.
    int WriteSocket(TSocketHandle Socket, const void* Buf, int Size, int Flags);
    int CloseSocket(TSocketHandle Socket);             // would-block reported
    int ShutdownSocket(TSocketHandle Socket, int How); // would-block passed over
    // Events 0 stops the notifications of Socket. Failures reported.
    int SetAsyncStyles(TSocketHandle Socket, unsigned Events);
    // Level and option in the socket library's numbering (SolSocket, SoReuseAddr, ...).
    int SetSocketOptions(TSocketHandle Socket, int Level, int Option, const void* Value, int Len);
    // False only while read notifications are on for Socket and it has been read since
    // its last read event: any byte that arrives now is reported as a new event, so
    // there is no need to ask the socket. True in every other case.
    bool ReadMayHaveData(TSocketHandle Socket) const;
    // Waits at most TimeoutMs for the socket to be readable or writable. Not reported.
    bool CanReadSocket(TSocketHandle Socket, int TimeoutMs);
    bool CanWriteSocket(TSocketHandle Socket, int TimeoutMs);

    // A dotted address (at most its first 15 characters), or InAddrNone.
    TInAddr String2NetAddr(std::string_view Text);
    std::string NetAddr2String(TInAddr Addr);
    // The first IPv4 address of a host name, or 0. Names of the reserved ".invalid"
    // domain never resolve and never reach the resolver.
    TInAddr LookupName(const std::string& Name);
    // Every IPv4 address of a host name, in the resolver's order, at most Max.
    std::vector<TInAddr> LookupNameAll(const std::string& Name, size_t Max);
    // The host name of an address, or empty.
    std::string LookupAddress(TInAddr Addr);
    // The TCP port (host order) of a service name from the services database, or 0.
    uint16_t LookupService(const std::string& Name);
    // The service name of a TCP port (host order), or empty.
    std::string LookupPort(uint16_t Port);
    // Byte order: the platform's htonl, htons, ntohl and ntohs (macros in optimised
    // builds, so they are not repeated here as members).
    std::string GetLocalHost();    // empty on failure
    std::string GetLocalAddress(); // the first address of the local host, dotted; empty on failure
    int GetLastError() const;

    winsys::HWND GetHandle() const { return Handle; }
    winsys::EventLoop* GetLoop() const { return Loop; }
    std::string GetDescription() const { return WsaData.szDescription; }
    std::string GetSystemStatus() const { return WsaData.szSystemStatus; }

    TWsNotifyEvent OnAccept, OnConnect, OnDisconnect, OnRead, OnWrite;
    TWsSocketErrorEvent OnError;

    // Runs Action as soon as no notification of this socket is being delivered: at once
    // when none is, else when the outermost one has returned. Action may delete the
    // socket.
    void WhenIdle(std::function<void()> Action);

    // Delivers ErrCode for Socket through DoError from the loop, after the current call
    // has returned. Closing Socket before then drops it: an error of a closed socket
    // never reaches a later socket that the platform gives the same number.
    void PostError(TSocketHandle Socket, int ErrCode);

  protected:
    virtual void DoAccept(TSocketHandle Socket);
    virtual void DoConnect(TSocketHandle Socket);
    virtual void DoDisconnect(TSocketHandle Socket);
    virtual void DoError(TSocketHandle Socket, int ErrCode);
    virtual void DoRead(TSocketHandle Socket);
    virtual void DoWrite(TSocketHandle Socket);
    virtual void ShowErrorMessage(int ErrCode);
    // How an operation's failure is reported: DoError at once. A layer that must not
    // run events inside its own socket calls defers them.
    virtual void ReportError(TSocketHandle Socket, int ErrCode);
    // SocketNotifyMsg: an error half calls DoError whatever the event, else the event's
    // operation; unknown events are dropped.
    void CMSocketMessage(winsys::WPARAM WParam, winsys::LPARAM LParam);

  private:
    struct TAsyncEntry;
    struct TAsyncTable;

    // Posted to the notification window when a connect fails before it could go
    // asynchronous; the failure then arrives as a connect event, like any other refusal.
    static constexpr uint32_t DeferredConnectMsg = SocketNotifyMsg + 0x10;
    // Posted by PostError; LParam is the ticket of the queued error.
    static constexpr uint32_t PostedErrorMsg = SocketNotifyMsg + 0x11;

    // The calling thread's last error (Socket.cpp); from errno on Linux, from the
    // library's own WSAGetLastError on Windows (SocketLinux.cpp, SocketWin32.cpp).
    static void SetLast(int Code);
    static void SetLastFromErrno();
    static void SetLastFromLibrary();

    // The window the notifications are posted to (Socket.cpp), and its messages (the
    // platform's Socket*.cpp).
    void OpenNotificationWindow();
    winsys::LRESULT WndProc(uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam);
    // Delivery (Socket.cpp).
    void Report(TSocketHandle Socket, bool PassWouldBlock);
    // Runs Run as one notification: the outermost one runs the WhenIdle action after it.
    template <class Body> void Notification(Body&& Run) {
        ++NotifyDepth;
        try {
            Run();
        } catch (...) {
            if (--NotifyDepth == 0 && IdleAction) std::exchange(IdleAction, nullptr)();
            throw; // this socket may be gone: nothing of it is touched any more
        }
        if (--NotifyDepth == 0 && IdleAction) std::exchange(IdleAction, nullptr)();
    }

    // The asynchronous notifications (SocketAsyncLinux.cpp, SocketAsyncWin32.cpp).
    TAsyncEntry& Entry(TSocketHandle Socket);
    void Forget(TSocketHandle Socket);
    void StopWatching();
    void UpdateWatch(TSocketHandle Socket);
    void OnFdEvents(TSocketHandle Socket, uint64_t Serial, unsigned Seen);
    void Notify(TSocketHandle Socket, unsigned Event, int Error);
    void DeliverDeferredConnect(TSocketHandle Socket, uint64_t Serial);
    void DeliverPostedError(uint64_t Ticket);
    uint64_t SerialOf(TSocketHandle Socket) const;
    // What the socket calls change in a socket's asynchronous state: a new socket
    // (nothing of an old one with the same number applies), a connect under way, a
    // refused connect reported later as a connect event (false when no connect event is
    // asked for or there is no window: the caller reports it then), a listener, an
    // accept taken (the listener's events, which the accepted socket inherits), a
    // socket read since its read event, a send that would block.
    void TrackNewSocket(TSocketHandle Socket);
    void AsyncConnecting(TSocketHandle Socket);
    bool AsyncDeferConnectError(TSocketHandle Socket, int ErrCode);
    void AsyncListening(TSocketHandle Socket);
    unsigned AsyncAcceptTaken(TSocketHandle Listener);
    void AsyncAccepted(TSocketHandle Socket, unsigned Events);
    void AsyncReadTaken(TSocketHandle Socket);
    void AsyncWriteBlocked(TSocketHandle Socket);

    winsys::EventLoop* Loop;
    winsys::HWND Handle = 0;
    bool Loaded = false;
    int StartError = 0;
    TWSAData WsaData;
    std::unique_ptr<TAsyncTable> Async;
    uint64_t NextSerial = 1;
    uint64_t NextErrorTicket = 1;
    int NotifyDepth = 0;
    std::function<void()> IdleAction;
};

// The local host's IPv4 addresses as "%d.%d.%d.%d", at most 256; the list is cleared
// first and stays empty when the library is not usable or a lookup fails.
void EnumHostAddresses(TSocket& Socket, std::vector<std::string>& List);

// WsPort as a TCP port in host order: a decimal number from 1 to 65535 is used as it
// is, anything else is looked up as a TCP service name. 0 when it is neither (the port
// then fails with 9005, "Specified port is not valid").
uint16_t WsPortNumber(TSocket& Socket, std::string_view WsPort);

// The destination of a client: a dotted address or a host name. 0 and Addr set, else
// 10039 for an empty address or 9007 when it does not resolve.
int WsDestination(TSocket& Socket, const std::string& WsAddress, TInAddr& Addr);

} // namespace port

#include "port/Socket.h"

#include "port/PortErrors.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <utility>

namespace port {

namespace {

// The socket library's last error belongs to the calling thread, as errno does.
thread_local int LastError = 0;

void SetLast(int Code) {
    LastError = Code;
}
void SetLastFromErrno() {
    LastError = TranslateSocketError(errno);
}

constexpr int WouldBlock = 10035;

// Posted to the notification window when a connect fails before it could go
// asynchronous; the failure then arrives as a connect event, like any other refusal.
constexpr uint32_t DeferredConnectMsg = SocketNotifyMsg + 0x10;
// Posted by PostError; LParam is the ticket of the queued error.
constexpr uint32_t PostedErrorMsg = SocketNotifyMsg + 0x11;

sockaddr_in ToPlatform(const TSockAddrIn& Addr) {
    sockaddr_in a{};
    a.sin_family = Addr.sin_family;
    a.sin_port = Addr.sin_port;
    a.sin_addr.s_addr = Addr.sin_addr.S_addr;
    return a;
}

TSockAddrIn FromPlatform(const sockaddr_in& a) {
    TSockAddrIn Addr;
    Addr.sin_family = a.sin_family;
    Addr.sin_port = a.sin_port;
    Addr.sin_addr.S_addr = a.sin_addr.s_addr;
    return Addr;
}

int ToPlatformFlags(int Flags) {
    int f = 0;
    if (Flags & MsgOob) f |= MSG_OOB;
    if (Flags & MsgPeek) f |= MSG_PEEK;
    return f;
}

// The library's option numbering -> the platform's; false when there is no equivalent.
bool ToPlatformOption(int Level, int Option, int& PLevel, int& POption) {
    if (Level == SolSocket) {
        PLevel = SOL_SOCKET;
        switch (Option) {
        case SoReuseAddr:
            POption = SO_REUSEADDR;
            return true;
        case SoKeepAlive:
            POption = SO_KEEPALIVE;
            return true;
        case SoSndBuf:
            POption = SO_SNDBUF;
            return true;
        case SoRcvBuf:
            POption = SO_RCVBUF;
            return true;
        default:
            return false;
        }
    }
    if (Level == IpProtoTcp && Option == TcpNoDelay) {
        PLevel = IPPROTO_TCP;
        POption = TCP_NODELAY;
        return true;
    }
    return false;
}

// RFC 6761: names of the "invalid" domain never exist; answer without the resolver.
bool IsReservedInvalidName(std::string Name) {
    for (char& c : Name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!Name.empty() && Name.back() == '.') Name.pop_back();
    constexpr std::string_view Suffix = ".invalid";
    return Name == "invalid" ||
           (Name.size() > Suffix.size() &&
            Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0);
}

bool AllDigits(std::string_view Text) {
    if (Text.empty()) return false;
    for (char c : Text)
        if (c < '0' || c > '9') return false;
    return true;
}

// A failed connect whose outcome the socket library would only report later.
bool IsConnectOutcome(int Errno) {
    return Errno == ECONNREFUSED || Errno == ETIMEDOUT || Errno == ENETUNREACH ||
           Errno == EHOSTUNREACH;
}

} // namespace

struct TSocket::TAsyncEntry {
    enum TPhase { Idle, Connecting, Listening, Connected, Closed };
    uint64_t Serial = 0; // tells a reused descriptor number from the socket it was
    unsigned Events = 0; // FdRead ... FdClose asked for
    TPhase Phase = Idle;
    bool ReadArmed = true;
    bool AcceptArmed = true;
    bool WriteArmed = false;
    // A hang-up or error was seen while nothing it could be reported as was armed; the
    // watch rests until an operation on the socket arms something again.
    bool Stalled = false;
    int PendingConnectError = 0;
    winsys::EventLoop::WatchId Watch = 0;
    unsigned Watching = 0;
};

struct TSocket::TAsyncTable {
    std::map<TSocketHandle, TAsyncEntry> Map;
    struct TPostedError {
        TSocketHandle Socket;
        uint64_t Serial; // of the socket when the error was posted; 0 when it had no entry
        int ErrCode;
    };
    std::map<uint64_t, TPostedError> PostedErrors; // by ticket
};

TSocket::TSocket(winsys::EventLoop* Loop_) : Loop(Loop_), Async(std::make_unique<TAsyncTable>()) {
    Loaded = LoadWinsock();
    if (!Loaded) {
        StartError = 9002;
        ShowErrorMessage(StartError);
        return;
    }
    int r = SockFuncs.WSAStartup(WinsockVersion11, &WsaData);
    if (r != 0) {
        StartError = r;
        ShowErrorMessage(StartError);
        return;
    }
    if (WsaData.wVersion != WinsockVersion11) {
        StartError = 9003;
        ShowErrorMessage(StartError);
    }
    if (Loop)
        Handle = Loop->CreateWindow(
            [this](winsys::HWND, uint32_t Msg, winsys::WPARAM W, winsys::LPARAM L) {
                winsys::LRESULT r = 0;
                Notification([&] { r = WndProc(Msg, W, L); });
                return r;
            });
}

TSocket::~TSocket() {
    for (auto& [socket, entry] : Async->Map)
        if (entry.Watch) Loop->RemoveWatch(entry.Watch);
    Async->Map.clear();
    if (Loaded && SockFuncs.WSACleanup) SockFuncs.WSACleanup();
    if (Handle) Loop->DestroyWindow(Handle);
}

void TSocket::CheckLoaded() const {
    if (StartError != 0) throw ESocketException(StartError, "");
}

int TSocket::GetLastError() const {
    return LastError;
}

winsys::LRESULT TSocket::WndProc(uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam) {
    switch (Msg) {
    case SocketNotifyMsg:
        CMSocketMessage(WParam, LParam);
        return 0;
    case DeferredConnectMsg:
        DeliverDeferredConnect(static_cast<TSocketHandle>(WParam), static_cast<uint64_t>(LParam));
        return 0;
    case PostedErrorMsg:
        DeliverPostedError(static_cast<uint64_t>(LParam));
        return 0;
    case WmQueryEndSession:
        return 1;
    default:
        return 0; // no default handling: unhandled messages are neither passed on nor answered
    }
}

void TSocket::CMSocketMessage(winsys::WPARAM WParam, winsys::LPARAM LParam) {
    auto Socket = static_cast<TSocketHandle>(WParam);
    if (int Error = SelectError(LParam)) {
        DoError(Socket, Error);
        return;
    }
    switch (SelectEvent(LParam)) {
    case FdRead:
        DoRead(Socket);
        break;
    case FdWrite:
        DoWrite(Socket);
        break;
    case FdAccept:
        DoAccept(Socket);
        break;
    case FdConnect:
        DoConnect(Socket);
        break;
    case FdClose:
        DoDisconnect(Socket);
        break;
    default:
        break;
    }
}

void TSocket::DoAccept(TSocketHandle Socket) {
    if (OnAccept) OnAccept(*this, Socket);
}
void TSocket::DoConnect(TSocketHandle Socket) {
    if (OnConnect) OnConnect(*this, Socket);
}
void TSocket::DoDisconnect(TSocketHandle Socket) {
    if (OnDisconnect) OnDisconnect(*this, Socket);
}
void TSocket::DoRead(TSocketHandle Socket) {
    if (OnRead) OnRead(*this, Socket);
}
void TSocket::DoWrite(TSocketHandle Socket) {
    if (OnWrite) OnWrite(*this, Socket);
}
void TSocket::DoError(TSocketHandle Socket, int ErrCode) {
    if (!OnError) throw ESocketException(ErrCode);
    OnError(*this, Socket, ErrCode);
}
void TSocket::ShowErrorMessage(int) {}
void TSocket::ReportError(TSocketHandle Socket, int ErrCode) {
    DoError(Socket, ErrCode);
}

template <class Body> void TSocket::Notification(Body&& Run) {
    ++NotifyDepth;
    try {
        Run();
    } catch (...) {
        if (--NotifyDepth == 0 && IdleAction) std::exchange(IdleAction, nullptr)();
        throw; // this socket may be gone: nothing of it is touched any more
    }
    if (--NotifyDepth == 0 && IdleAction) std::exchange(IdleAction, nullptr)();
}

void TSocket::WhenIdle(std::function<void()> Action) {
    if (NotifyDepth == 0) {
        Action();
        return;
    }
    IdleAction = std::move(Action);
}

void TSocket::Report(TSocketHandle Socket, bool PassWouldBlock) {
    int Code = LastError;
    if (PassWouldBlock && Code == WouldBlock) return;
    ReportError(Socket, Code);
}

TSocket::TAsyncEntry& TSocket::Entry(TSocketHandle Socket) {
    auto [it, added] = Async->Map.try_emplace(Socket);
    if (added) it->second.Serial = NextSerial++;
    return it->second;
}

void TSocket::Forget(TSocketHandle Socket) {
    std::erase_if(Async->PostedErrors, [&](const auto& p) { return p.second.Socket == Socket; });
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return;
    if (it->second.Watch) Loop->RemoveWatch(it->second.Watch);
    Async->Map.erase(it);
}

void TSocket::UpdateWatch(TSocketHandle Socket) {
    TAsyncEntry& e = Entry(Socket);
    unsigned want = 0;
    if (e.Events != 0 && Handle != 0 && !e.Stalled) {
        switch (e.Phase) {
        case TAsyncEntry::Connecting:
            if (e.PendingConnectError == 0) want = winsys::FdWritable;
            break;
        case TAsyncEntry::Listening:
            if (e.AcceptArmed && (e.Events & FdAccept)) want = winsys::FdReadable;
            break;
        case TAsyncEntry::Connected:
            if (e.ReadArmed && (e.Events & (FdRead | FdClose))) want |= winsys::FdReadable;
            if (e.WriteArmed && (e.Events & FdWrite)) want |= winsys::FdWritable;
            break;
        default:
            break;
        }
    }
    if (want == 0) {
        if (e.Watch) Loop->RemoveWatch(e.Watch);
        e.Watch = 0;
    } else if (e.Watch == 0) {
        uint64_t serial = e.Serial;
        e.Watch = Loop->WatchFd(Socket, want, [this, Socket, serial](unsigned Seen) {
            Notification([&] { OnFdEvents(Socket, serial, Seen); });
        });
    } else if (want != e.Watching) {
        Loop->ChangeWatch(e.Watch, want);
    }
    e.Watching = want;
}

void TSocket::Notify(TSocketHandle Socket, unsigned Event, int Error) {
    Loop->SendMessage(Handle, SocketNotifyMsg, static_cast<winsys::WPARAM>(Socket),
                      MakeSelectLParam(Event, Error));
}

void TSocket::OnFdEvents(TSocketHandle Socket, uint64_t Serial, unsigned Seen) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end() || it->second.Serial != Serial) return;
    TAsyncEntry& e = it->second;
    struct {
        unsigned Event;
        int Error;
    } out[2];
    int n = 0;
    constexpr unsigned Trouble = winsys::FdHangUp | winsys::FdError;

    switch (e.Phase) {
    case TAsyncEntry::Connecting: {
        int soError = 0;
        socklen_t len = sizeof soError;
        if (SockFuncs.getsockopt(Socket, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) soError = errno;
        if (soError != 0) {
            e.Phase = TAsyncEntry::Closed;
            out[n++] = {FdConnect, TranslateSocketError(soError)};
        } else if (Seen & (winsys::FdWritable | Trouble)) {
            e.Phase = TAsyncEntry::Connected;
            e.ReadArmed = true;
            e.WriteArmed = true;
            out[n++] = {FdConnect, 0};
        }
        break;
    }
    case TAsyncEntry::Listening:
        if (e.AcceptArmed && (Seen & (winsys::FdReadable | Trouble))) {
            e.AcceptArmed = false;
            out[n++] = {FdAccept, 0};
        }
        break;
    case TAsyncEntry::Connected:
        if (e.ReadArmed && (Seen & (winsys::FdReadable | Trouble))) {
            // Readable without a hang-up is data. With one, a look at the next byte
            // tells the last data from the end of the stream.
            char c;
            ssize_t r =
                (Seen & Trouble) ? SockFuncs.recv(Socket, &c, 1, MSG_PEEK | MSG_DONTWAIT) : 1;
            if (r > 0) {
                e.ReadArmed = false;
                out[n++] = {FdRead, 0};
            } else if (r == 0) {
                e.Phase = TAsyncEntry::Closed;
                out[n++] = {FdClose, 0};
            } else if (errno != EAGAIN && errno != EINTR) {
                e.Phase = TAsyncEntry::Closed;
                out[n++] = {FdClose, TranslateSocketError(errno)};
            }
        }
        if (e.Phase == TAsyncEntry::Connected && e.WriteArmed && (Seen & winsys::FdWritable)) {
            e.WriteArmed = false;
            out[n++] = {FdWrite, 0};
        }
        break;
    default:
        break;
    }
    if (n == 0 && (Seen & Trouble)) e.Stalled = true; // never spin on a condition no one can clear
    unsigned asked = e.Events;
    // A read or write event taken by a handler that reads or writes at once leaves the
    // watch as it was: it is brought up to date after the handlers, which saves two
    // system calls per event. Anything else (and a watch that fired while a nested loop
    // ran inside a handler, n == 0) is brought up to date now.
    bool later = n > 0 && e.Phase == TAsyncEntry::Connected;
    if (!later) UpdateWatch(Socket);
    for (int i = 0; i < n; ++i) {
        // A handler may have closed the socket, and a new one may carry its number.
        auto again = Async->Map.find(Socket);
        if (again == Async->Map.end() || again->second.Serial != Serial) return;
        if (asked & out[i].Event) Notify(Socket, out[i].Event, out[i].Error);
    }
    if (!later) return;
    auto again = Async->Map.find(Socket);
    if (again != Async->Map.end() && again->second.Serial == Serial) UpdateWatch(Socket);
}

void TSocket::DeliverDeferredConnect(TSocketHandle Socket, uint64_t Serial) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end() || it->second.Serial != Serial) return;
    TAsyncEntry& e = it->second;
    if (e.Phase != TAsyncEntry::Connecting || e.PendingConnectError == 0) return;
    int Error = e.PendingConnectError;
    e.PendingConnectError = 0;
    e.Phase = TAsyncEntry::Closed;
    UpdateWatch(Socket);
    if (e.Events & FdConnect) Notify(Socket, FdConnect, Error);
}

uint64_t TSocket::SerialOf(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    return it == Async->Map.end() ? 0 : it->second.Serial;
}

void TSocket::PostError(TSocketHandle Socket, int ErrCode) {
    if (Handle == 0) return; // no loop to deliver on
    uint64_t ticket = NextErrorTicket++;
    Async->PostedErrors[ticket] = {Socket, SerialOf(Socket), ErrCode};
    Loop->PostMessage(Handle, PostedErrorMsg, static_cast<winsys::WPARAM>(Socket),
                      static_cast<winsys::LPARAM>(ticket));
}

void TSocket::DeliverPostedError(uint64_t Ticket) {
    auto it = Async->PostedErrors.find(Ticket);
    if (it == Async->PostedErrors.end()) return; // its socket was closed meanwhile
    auto posted = it->second;
    Async->PostedErrors.erase(it);
    if (SerialOf(posted.Socket) != posted.Serial) return; // the number is another socket's now
    CMSocketMessage(static_cast<winsys::WPARAM>(posted.Socket),
                    MakeSelectLParam(0, posted.ErrCode));
}

TSocketHandle TSocket::CreateSocket() {
    CheckLoaded();
    int fd = SockFuncs.socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastFromErrno();
        throw ESocketException(LastError);
    }
    Forget(fd); // a number the platform reused: nothing of the old socket applies
    Entry(fd);
    return fd;
}

int TSocket::BindSocket(TSocketHandle Socket, const TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a = ToPlatform(Addr);
    if (SockFuncs.bind(Socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return 0;
    SetLastFromErrno();
    Report(Socket, false);
    return -1;
}

int TSocket::ConnectSocket(TSocketHandle Socket, const TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a = ToPlatform(Addr);
    int r = SockFuncs.connect(Socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    int err = r == 0 ? 0 : errno;
    TAsyncEntry& e = Entry(Socket);
    if (r == 0 || err == EINPROGRESS) {
        e.Phase = TAsyncEntry::Connecting;
        e.Stalled = false;
        UpdateWatch(Socket);
        if (r == 0) return 0;
        SetLast(WouldBlock);
        return -1;
    }
    if (IsConnectOutcome(err) && (e.Events & FdConnect) && Handle) {
        e.Phase = TAsyncEntry::Connecting;
        e.PendingConnectError = TranslateSocketError(err);
        UpdateWatch(Socket);
        Loop->PostMessage(Handle, DeferredConnectMsg, static_cast<winsys::WPARAM>(Socket),
                          static_cast<winsys::LPARAM>(e.Serial));
        SetLast(WouldBlock);
        return -1;
    }
    SetLast(TranslateSocketError(err));
    Report(Socket, true);
    return -1;
}

int TSocket::ListenSocket(TSocketHandle Socket, int Backlog) {
    CheckLoaded();
    if (SockFuncs.listen(Socket, Backlog) == 0) {
        TAsyncEntry& e = Entry(Socket);
        e.Phase = TAsyncEntry::Listening;
        e.AcceptArmed = true;
        e.Stalled = false;
        UpdateWatch(Socket);
        return 0;
    }
    SetLastFromErrno();
    Report(Socket, true);
    return -1;
}

TSocketHandle TSocket::AcceptSocket(TSocketHandle Socket, TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int fd = SockFuncs.accept4(Socket, reinterpret_cast<sockaddr*>(&a), &len,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    unsigned events = 0;
    if (auto it = Async->Map.find(Socket); it != Async->Map.end()) {
        it->second.AcceptArmed = true;
        it->second.Stalled = false;
        events = it->second.Events;
        UpdateWatch(Socket);
    }
    if (fd < 0) {
        SetLast(TranslateSocketError(err));
        Report(Socket, false);
        return InvalidSocket;
    }
    Addr = FromPlatform(a);
    Forget(fd);
    TAsyncEntry& n = Entry(fd);
    n.Events = events;
    n.Phase = TAsyncEntry::Connected;
    n.WriteArmed = true;
    UpdateWatch(fd);
    return fd;
}

int TSocket::ReadSocket(TSocketHandle Socket, void* Buf, int Size, int Flags) {
    CheckLoaded();
    ssize_t r = SockFuncs.recv(Socket, Buf, Size > 0 ? static_cast<size_t>(Size) : 0,
                               ToPlatformFlags(Flags));
    int err = errno;
    if (auto it = Async->Map.find(Socket);
        it != Async->Map.end() && (!it->second.ReadArmed || it->second.Stalled)) {
        it->second.ReadArmed = true;
        it->second.Stalled = false;
        UpdateWatch(Socket);
    }
    if (r >= 0) return static_cast<int>(r);
    SetLast(TranslateSocketError(err));
    Report(Socket, true);
    return -1;
}

int TSocket::WriteSocket(TSocketHandle Socket, const void* Buf, int Size, int Flags) {
    CheckLoaded();
    // MSG_NOSIGNAL: a peer that went away is an error number, never a signal.
    ssize_t r = SockFuncs.send(Socket, Buf, Size > 0 ? static_cast<size_t>(Size) : 0,
                               ToPlatformFlags(Flags) | MSG_NOSIGNAL);
    if (r >= 0) return static_cast<int>(r);
    SetLastFromErrno();
    if (LastError == WouldBlock) {
        if (auto it = Async->Map.find(Socket); it != Async->Map.end()) {
            it->second.WriteArmed = true;
            it->second.Stalled = false;
            UpdateWatch(Socket);
        }
    }
    Report(Socket, true);
    return -1;
}

int TSocket::CloseSocket(TSocketHandle Socket) {
    CheckLoaded();
    Forget(Socket);
    if (SockFuncs.close(Socket) == 0) return 0;
    SetLastFromErrno();
    Report(Socket, false);
    return -1;
}

int TSocket::ShutdownSocket(TSocketHandle Socket, int How) {
    CheckLoaded();
    if (SockFuncs.shutdown(Socket, How) == 0) return 0;
    SetLastFromErrno();
    Report(Socket, true);
    return -1;
}

int TSocket::SetAsyncStyles(TSocketHandle Socket, unsigned Events) {
    CheckLoaded();
    int flags = SockFuncs.fcntl(Socket, F_GETFL);
    if (flags < 0 || SockFuncs.fcntl(Socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        SetLastFromErrno();
        Report(Socket, false);
        return -1;
    }
    if (Handle == 0) { // no window thread loop to deliver to
        SetLast(10022);
        Report(Socket, false);
        return -1;
    }
    TAsyncEntry& e = Entry(Socket);
    e.Events = Events;
    e.Stalled = false;
    if (e.Phase == TAsyncEntry::Idle) {
        // A socket set up elsewhere: find out where it stands.
        int listening = 0;
        socklen_t len = sizeof listening;
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        if (SockFuncs.getsockopt(Socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 &&
            listening)
            e.Phase = TAsyncEntry::Listening;
        else if (SockFuncs.getpeername(Socket, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0) {
            e.Phase = TAsyncEntry::Connected;
            e.WriteArmed = true;
        }
    }
    try {
        UpdateWatch(Socket);
    } catch (const std::exception&) { // the descriptor cannot be watched (not a socket)
        e.Watch = 0;
        e.Watching = 0;
        e.Events = 0;
        SetLast(10038);
        Report(Socket, false);
        return -1;
    }
    return 0;
}

int TSocket::SetSocketOptions(TSocketHandle Socket, int Level, int Option, const void* Value,
                              int Len) {
    CheckLoaded();
    int pLevel = 0, pOption = 0;
    if (!ToPlatformOption(Level, Option, pLevel, pOption)) {
        SetLast(10042);
        Report(Socket, false);
        return -1;
    }
    if (SockFuncs.setsockopt(Socket, pLevel, pOption, Value,
                             Len > 0 ? static_cast<socklen_t>(Len) : 0) == 0)
        return 0;
    SetLastFromErrno();
    Report(Socket, false);
    return -1;
}

bool TSocket::ReadMayHaveData(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return true;
    const TAsyncEntry& e = it->second;
    bool watched = (e.Events & FdRead) && e.Phase == TAsyncEntry::Connected && e.ReadArmed &&
                   !e.Stalled && (e.Watching & winsys::FdReadable);
    return !watched;
}

bool TSocket::CanReadSocket(TSocketHandle Socket, int TimeoutMs) {
    CheckLoaded();
    pollfd p{Socket, POLLIN, 0};
    return SockFuncs.poll(&p, 1, TimeoutMs > 0 ? TimeoutMs : 0) > 0;
}

bool TSocket::CanWriteSocket(TSocketHandle Socket, int TimeoutMs) {
    CheckLoaded();
    pollfd p{Socket, POLLOUT, 0};
    return SockFuncs.poll(&p, 1, TimeoutMs > 0 ? TimeoutMs : 0) > 0;
}

TInAddr TSocket::String2NetAddr(std::string_view Text) {
    CheckLoaded();
    TInAddr Addr{InAddrNone};
    std::string first(Text.substr(0, 15));
    Addr.S_addr = SockFuncs.inet_addr(first.c_str());
    return Addr;
}

std::string TSocket::NetAddr2String(TInAddr Addr) {
    CheckLoaded();
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{Addr.S_addr};
    if (!SockFuncs.inet_ntop(AF_INET, &a, text, sizeof text)) return {};
    return text;
}

std::vector<TInAddr> TSocket::LookupNameAll(const std::string& Name, size_t Max) {
    std::vector<TInAddr> found;
    CheckLoaded();
    if (Name.empty()) return found;
    if (IsReservedInvalidName(Name)) {
        SetLast(11001);
        return found;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int r = SockFuncs.getaddrinfo(Name.c_str(), nullptr, &hints, &list);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return found;
    }
    for (addrinfo* ai = list; ai && found.size() < Max; ai = ai->ai_next)
        if (ai->ai_family == AF_INET && ai->ai_addr)
            found.push_back(
                TInAddr{reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr});
    SockFuncs.freeaddrinfo(list);
    return found;
}

TInAddr TSocket::LookupName(const std::string& Name) {
    std::vector<TInAddr> found = LookupNameAll(Name, 1);
    return found.empty() ? TInAddr{0} : found.front();
}

std::string TSocket::LookupAddress(TInAddr Addr) {
    CheckLoaded();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Addr.S_addr;
    char host[NI_MAXHOST] = {};
    int r = SockFuncs.getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, host,
                                  sizeof host, nullptr, 0, NI_NAMEREQD);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return {};
    }
    return host;
}

uint16_t TSocket::LookupService(const std::string& Name) {
    // Only names: a number is a port, not a service.
    CheckLoaded();
    if (Name.empty() || AllDigits(Name)) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE; // no host: nothing but the services database is asked
    addrinfo* list = nullptr;
    int r = SockFuncs.getaddrinfo(nullptr, Name.c_str(), &hints, &list);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return 0;
    }
    uint16_t port = 0;
    if (list && list->ai_addr && list->ai_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_port);
    SockFuncs.freeaddrinfo(list);
    return port;
}

std::string TSocket::LookupPort(uint16_t Port) {
    CheckLoaded();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(Port);
    char serv[NI_MAXSERV] = {};
    int r = SockFuncs.getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, nullptr, 0, serv,
                                  sizeof serv, 0);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return {};
    }
    // Without an entry the platform answers with the number itself.
    if (AllDigits(serv)) return {};
    return serv;
}

std::string TSocket::GetLocalHost() {
    CheckLoaded();
    char name[256] = {};
    if (SockFuncs.gethostname(name, sizeof name - 1) != 0) {
        SetLastFromErrno();
        return {};
    }
    return name;
}

std::string TSocket::GetLocalAddress() {
    std::string host = GetLocalHost();
    if (host.empty()) return {};
    TInAddr Addr = LookupName(host);
    if (Addr.S_addr == 0) return {};
    return NetAddr2String(Addr);
}

void EnumHostAddresses(TSocket& Socket, std::vector<std::string>& List) {
    List.clear();
    if (Socket.StartupError() != 0) return;
    std::string host = Socket.GetLocalHost();
    if (host.empty()) return;
    for (TInAddr Addr : Socket.LookupNameAll(host, 256))
        List.push_back(std::to_string(Addr.Byte(0)) + "." + std::to_string(Addr.Byte(1)) + "." +
                       std::to_string(Addr.Byte(2)) + "." + std::to_string(Addr.Byte(3)));
}

uint16_t WsPortNumber(TSocket& Socket, std::string_view WsPort) {
    if (AllDigits(WsPort)) {
        size_t first = WsPort.find_first_not_of('0');
        if (first == std::string_view::npos) return 0;
        std::string_view digits = WsPort.substr(first);
        if (digits.size() > 5) return 0; // out of range whatever the digits
        unsigned long n = std::stoul(std::string(digits));
        return n <= 65535 ? static_cast<uint16_t>(n) : 0;
    }
    return Socket.LookupService(std::string(WsPort));
}

int WsDestination(TSocket& Socket, const std::string& WsAddress, TInAddr& Addr) {
    if (WsAddress.empty()) return 10039;
    Addr = Socket.String2NetAddr(WsAddress);
    if (Addr.S_addr == InAddrNone) Addr = Socket.LookupName(WsAddress);
    return Addr.S_addr == 0 ? 9007 : 0;
}

} // namespace port

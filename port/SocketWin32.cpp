// TSocket on Windows: every call goes through the socket library's table (SocketLib.h),
// loaded at run time, and the notifications are the library's own: WSAAsyncSelect
// posts each socket event to the socket's message window as SocketNotifyMsg, with the
// read, accept and write re-enabling rules the wrapper promises.
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketNames.h"

#include "SockFuncs.h"

#include <cstring>
#include <map>

namespace port {

namespace {

// The socket library's last error, as the library reported it to this thread.
thread_local int LastError = 0;

constexpr int WouldBlock = 10035;

SOCKET AsSocket(TSocketHandle Socket) {
    return Socket == InvalidSocket ? INVALID_SOCKET
                                   : static_cast<SOCKET>(static_cast<unsigned>(Socket));
}

TSocketHandle AsHandle(SOCKET Socket) {
    // Socket handles carry 32 significant bits.
    return Socket == INVALID_SOCKET ? InvalidSocket : static_cast<TSocketHandle>(Socket);
}

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

} // namespace

// What the read-event rule needs to know of each socket that reports events.
struct TSocket::TAsyncEntry {
    unsigned Events = 0;
    // A read since the last read event: any byte that arrives now is a new event.
    bool ReadSinceEvent = true;
};

struct TSocket::TAsyncTable {
    std::map<TSocketHandle, TAsyncEntry> Map;
};

TSocket::TSocket(winsys::EventLoop* Loop_) : Loop(Loop_), Async(std::make_unique<TAsyncTable>()) {
    Loaded = LoadWinsock();
    if (!Loaded) {
        StartError = 9002;
        ShowErrorMessage(StartError);
        return;
    }
    WSADATA Data{};
    int r = SockFuncs.WSAStartup(WinsockVersion11, &Data);
    if (r != 0) {
        StartError = r;
        ShowErrorMessage(StartError);
        return;
    }
    WsaData.wVersion = Data.wVersion;
    WsaData.wHighVersion = Data.wHighVersion;
    WsaData.szDescription = Data.szDescription;
    WsaData.szSystemStatus = Data.szSystemStatus;
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
    Async->Map.clear();
    if (Loaded && StartError != 9002 && SockFuncs.WSACleanup) SockFuncs.WSACleanup();
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
    case SocketNotifyMsg: {
        if (SelectEvent(LParam) == FdRead)
            if (auto it = Async->Map.find(static_cast<TSocketHandle>(WParam));
                it != Async->Map.end())
                it->second.ReadSinceEvent = false;
        CMSocketMessage(WParam, LParam);
        return 0;
    }
    case WmQueryEndSession:
        return 1;
    default:
        return 0; // no default handling: unhandled messages are neither passed on nor answered
    }
}

void TSocket::Report(TSocketHandle Socket, bool PassWouldBlock) {
    int Code = LastError;
    if (PassWouldBlock && Code == WouldBlock) return;
    ReportError(Socket, Code);
}

void TSocket::Forget(TSocketHandle Socket) {
    Async->Map.erase(Socket);
}

namespace {

// After a failed call: the library's own error for this thread.
void TakeLastError() {
    LastError = SockFuncs.WSAGetLastError();
}

} // namespace

TSocketHandle TSocket::CreateSocket() {
    CheckLoaded();
    SOCKET s = SockFuncs.socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        TakeLastError();
        throw ESocketException(LastError);
    }
    u_long NonBlocking = 1;
    SockFuncs.ioctlsocket(s, static_cast<long>(FIONBIO), &NonBlocking);
    Forget(AsHandle(s));
    return AsHandle(s);
}

int TSocket::BindSocket(TSocketHandle Socket, const TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a = ToPlatform(Addr);
    if (SockFuncs.bind(AsSocket(Socket), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return 0;
    TakeLastError();
    Report(Socket, false);
    return -1;
}

int TSocket::ConnectSocket(TSocketHandle Socket, const TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a = ToPlatform(Addr);
    if (SockFuncs.connect(AsSocket(Socket), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return 0;
    TakeLastError();
    Report(Socket, true);
    return -1;
}

int TSocket::ListenSocket(TSocketHandle Socket, int Backlog) {
    CheckLoaded();
    if (SockFuncs.listen(AsSocket(Socket), Backlog) == 0) return 0;
    TakeLastError();
    Report(Socket, true);
    return -1;
}

TSocketHandle TSocket::AcceptSocket(TSocketHandle Socket, TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a{};
    int len = sizeof a;
    SOCKET s = SockFuncs.accept(AsSocket(Socket), reinterpret_cast<sockaddr*>(&a), &len);
    if (s == INVALID_SOCKET) {
        TakeLastError();
        Report(Socket, false);
        return InvalidSocket;
    }
    Addr = FromPlatform(a);
    // The accepted socket reports the listener's events (the library carries them over).
    const TSocketHandle Accepted = AsHandle(s);
    Forget(Accepted);
    if (auto it = Async->Map.find(Socket); it != Async->Map.end())
        Async->Map[Accepted].Events = it->second.Events;
    return Accepted;
}

int TSocket::ReadSocket(TSocketHandle Socket, void* Buf, int Size, int Flags) {
    CheckLoaded();
    if (auto it = Async->Map.find(Socket); it != Async->Map.end()) it->second.ReadSinceEvent = true;
    int r = SockFuncs.recv(AsSocket(Socket), static_cast<char*>(Buf), Size > 0 ? Size : 0, Flags);
    if (r >= 0) return r;
    TakeLastError();
    Report(Socket, true);
    return -1;
}

int TSocket::WriteSocket(TSocketHandle Socket, const void* Buf, int Size, int Flags) {
    CheckLoaded();
    int r =
        SockFuncs.send(AsSocket(Socket), static_cast<const char*>(Buf), Size > 0 ? Size : 0, Flags);
    if (r >= 0) return r;
    TakeLastError();
    Report(Socket, true);
    return -1;
}

int TSocket::CloseSocket(TSocketHandle Socket) {
    CheckLoaded();
    Forget(Socket);
    if (SockFuncs.closesocket(AsSocket(Socket)) == 0) return 0;
    TakeLastError();
    Report(Socket, false);
    return -1;
}

int TSocket::ShutdownSocket(TSocketHandle Socket, int How) {
    CheckLoaded();
    if (SockFuncs.shutdown(AsSocket(Socket), How) == 0) return 0;
    TakeLastError();
    Report(Socket, true);
    return -1;
}

int TSocket::SetAsyncStyles(TSocketHandle Socket, unsigned Events) {
    CheckLoaded();
    if (Handle == 0) { // no window thread loop to deliver to
        LastError = 10022;
        Report(Socket, false);
        return -1;
    }
    if (SockFuncs.WSAAsyncSelect(AsSocket(Socket), winsys::NativeWindow(Handle),
                                 winsys::NativeMessage(SocketNotifyMsg),
                                 static_cast<long>(Events)) != 0) {
        TakeLastError();
        Report(Socket, false);
        return -1;
    }
    TAsyncEntry& e = Async->Map[Socket];
    e.Events = Events;
    // Bytes already waiting are reported by the library as a read event of their own.
    e.ReadSinceEvent = true;
    return 0;
}

int TSocket::SetSocketOptions(TSocketHandle Socket, int Level, int Option, const void* Value,
                              int Len) {
    CheckLoaded();
    // The library's numbering is this platform's own.
    if (SockFuncs.setsockopt(AsSocket(Socket), Level, Option, static_cast<const char*>(Value),
                             Len > 0 ? Len : 0) == 0)
        return 0;
    TakeLastError();
    Report(Socket, false);
    return -1;
}

bool TSocket::ReadMayHaveData(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return true;
    return !((it->second.Events & FdRead) && it->second.ReadSinceEvent);
}

namespace {

bool SelectOne(TSocketHandle Socket, bool ForWriting, int TimeoutMs) {
    fd_set Set;
    FD_ZERO(&Set);
    FD_SET(AsSocket(Socket), &Set);
    const int Ms = TimeoutMs > 0 ? TimeoutMs : 0;
    timeval Limit{Ms / 1000, (Ms % 1000) * 1000};
    return SockFuncs.select(0, ForWriting ? nullptr : &Set, ForWriting ? &Set : nullptr, nullptr,
                            &Limit) > 0;
}

} // namespace

bool TSocket::CanReadSocket(TSocketHandle Socket, int TimeoutMs) {
    CheckLoaded();
    return SelectOne(Socket, false, TimeoutMs);
}

bool TSocket::CanWriteSocket(TSocketHandle Socket, int TimeoutMs) {
    CheckLoaded();
    return SelectOne(Socket, true, TimeoutMs);
}

TInAddr TSocket::String2NetAddr(std::string_view Text) {
    CheckLoaded();
    std::string first(Text.substr(0, 15));
    return TInAddr{static_cast<uint32_t>(SockFuncs.inet_addr(first.c_str()))};
}

std::string TSocket::NetAddr2String(TInAddr Addr) {
    CheckLoaded();
    in_addr a{};
    a.s_addr = Addr.S_addr;
    const char* text = SockFuncs.inet_ntoa(a);
    return text ? text : "";
}

std::vector<TInAddr> TSocket::LookupNameAll(const std::string& Name, size_t Max) {
    std::vector<TInAddr> found;
    CheckLoaded();
    if (Name.empty()) return found;
    if (IsReservedInvalidName(Name)) {
        LastError = 11001;
        return found;
    }
    hostent* host = SockFuncs.gethostbyname(Name.c_str());
    if (!host) {
        TakeLastError();
        return found;
    }
    if (host->h_addrtype != AF_INET || host->h_length != 4) return found;
    for (char** entry = host->h_addr_list; *entry && found.size() < Max; ++entry) {
        TInAddr Addr;
        std::memcpy(&Addr.S_addr, *entry, 4);
        found.push_back(Addr);
    }
    return found;
}

TInAddr TSocket::LookupName(const std::string& Name) {
    std::vector<TInAddr> found = LookupNameAll(Name, 1);
    return found.empty() ? TInAddr{0} : found.front();
}

std::string TSocket::LookupAddress(TInAddr Addr) {
    CheckLoaded();
    hostent* host =
        SockFuncs.gethostbyaddr(reinterpret_cast<const char*>(&Addr.S_addr), 4, AF_INET);
    if (!host || !host->h_name) {
        TakeLastError();
        return {};
    }
    return host->h_name;
}

uint16_t TSocket::LookupService(const std::string& Name) {
    // Only names: a number is a port, not a service.
    CheckLoaded();
    if (Name.empty() || AllDigits(Name)) return 0;
    servent* service = SockFuncs.getservbyname(Name.c_str(), "tcp");
    if (!service) {
        TakeLastError();
        return 0;
    }
    return SockFuncs.ntohs(static_cast<u_short>(service->s_port));
}

std::string TSocket::LookupPort(uint16_t Port) {
    CheckLoaded();
    servent* service = SockFuncs.getservbyport(SockFuncs.htons(Port), nullptr);
    if (!service || !service->s_name) {
        TakeLastError();
        return {};
    }
    return service->s_name;
}

std::string TSocket::GetLocalHost() {
    CheckLoaded();
    char name[256] = {};
    if (SockFuncs.gethostname(name, sizeof name - 1) != 0) {
        TakeLastError();
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

} // namespace port

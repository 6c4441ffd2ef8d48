// TSocket's calls on Windows: one operation per call of the socket library's table
// (SocketLib.h), whose numbering of addresses, flags and options is the wrapper's own.
// Each call keeps the read-event rule's state (SocketAsyncWin32.cpp) where it takes an
// event.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"
#include "SocketAsync.h"
#include "SocketHandle.h"

namespace port {

namespace {

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

TSocketHandle TSocket::CreateSocket() {
    CheckLoaded();
    SOCKET s = SockFuncs.socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) {
        SetLastFromLibrary();
        throw ESocketException(GetLastError());
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
    SetLastFromLibrary();
    Report(Socket, false);
    return -1;
}

int TSocket::ConnectSocket(TSocketHandle Socket, const TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a = ToPlatform(Addr);
    if (SockFuncs.connect(AsSocket(Socket), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return 0;
    SetLastFromLibrary();
    Report(Socket, true);
    return -1;
}

int TSocket::ListenSocket(TSocketHandle Socket, int Backlog) {
    CheckLoaded();
    if (SockFuncs.listen(AsSocket(Socket), Backlog) == 0) return 0;
    SetLastFromLibrary();
    Report(Socket, true);
    return -1;
}

TSocketHandle TSocket::AcceptSocket(TSocketHandle Socket, TSockAddrIn& Addr) {
    CheckLoaded();
    sockaddr_in a{};
    int len = sizeof a;
    SOCKET s = SockFuncs.accept(AsSocket(Socket), reinterpret_cast<sockaddr*>(&a), &len);
    if (s == INVALID_SOCKET) {
        SetLastFromLibrary();
        Report(Socket, false);
        return InvalidSocket;
    }
    Addr = FromPlatform(a);
    // The accepted socket reports the listener's events (the library carries them over).
    const TSocketHandle Accepted = AsHandle(s);
    Forget(Accepted);
    if (auto it = Async->Map.find(Socket); it != Async->Map.end())
        Entry(Accepted).Events = it->second.Events;
    return Accepted;
}

int TSocket::ReadSocket(TSocketHandle Socket, void* Buf, int Size, int Flags) {
    CheckLoaded();
    if (auto it = Async->Map.find(Socket); it != Async->Map.end()) it->second.ReadSinceEvent = true;
    int r = SockFuncs.recv(AsSocket(Socket), static_cast<char*>(Buf), Size > 0 ? Size : 0, Flags);
    if (r >= 0) return r;
    SetLastFromLibrary();
    Report(Socket, true);
    return -1;
}

int TSocket::WriteSocket(TSocketHandle Socket, const void* Buf, int Size, int Flags) {
    CheckLoaded();
    int r =
        SockFuncs.send(AsSocket(Socket), static_cast<const char*>(Buf), Size > 0 ? Size : 0, Flags);
    if (r >= 0) return r;
    SetLastFromLibrary();
    Report(Socket, true);
    return -1;
}

int TSocket::CloseSocket(TSocketHandle Socket) {
    CheckLoaded();
    Forget(Socket);
    if (SockFuncs.closesocket(AsSocket(Socket)) == 0) return 0;
    SetLastFromLibrary();
    Report(Socket, false);
    return -1;
}

int TSocket::ShutdownSocket(TSocketHandle Socket, int How) {
    CheckLoaded();
    if (SockFuncs.shutdown(AsSocket(Socket), How) == 0) return 0;
    SetLastFromLibrary();
    Report(Socket, true);
    return -1;
}

int TSocket::SetSocketOptions(TSocketHandle Socket, int Level, int Option, const void* Value,
                              int Len) {
    CheckLoaded();
    // The library's numbering is this platform's own.
    if (SockFuncs.setsockopt(AsSocket(Socket), Level, Option, static_cast<const char*>(Value),
                             Len > 0 ? Len : 0) == 0)
        return 0;
    SetLastFromLibrary();
    Report(Socket, false);
    return -1;
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

} // namespace port

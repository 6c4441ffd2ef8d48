// TSocket's calls: one operation per socket call on the platform's non-blocking BSD
// sockets, with the socket library's numbering of addresses, flags and options, and its
// rules for reporting errors. Each call keeps the socket's asynchronous state up to date
// (SocketAsyncLinux.cpp) where it takes or re-arms an event.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>

namespace port {

namespace {

sockaddr_in ToPlatform(const TSockAddrIn& addr) {
    sockaddr_in a{};
    a.sin_family = addr.sin_family;
    a.sin_port = addr.sin_port;
    a.sin_addr.s_addr = addr.sin_addr.S_addr;
    return a;
}

TSockAddrIn FromPlatform(const sockaddr_in& a) {
    TSockAddrIn addr;
    addr.sin_family = a.sin_family;
    addr.sin_port = a.sin_port;
    addr.sin_addr.S_addr = a.sin_addr.s_addr;
    return addr;
}

int ToPlatformFlags(int flags) {
    int platformFlags = 0;
    if (flags & MsgOob) platformFlags |= MSG_OOB;
    if (flags & MsgPeek) platformFlags |= MSG_PEEK;
    return platformFlags;
}

// The library's option numbering -> the platform's; false when there is no equivalent.
bool ToPlatformOption(int Level, int Option, int& platformLevel, int& platformOption) {
    if (Level == SolSocket) {
        platformLevel = SOL_SOCKET;
        switch (Option) {
        case SoReuseAddr:
            platformOption = SO_REUSEADDR;
            return true;
        case SoKeepAlive:
            platformOption = SO_KEEPALIVE;
            return true;
        case SoSndBuf:
            platformOption = SO_SNDBUF;
            return true;
        case SoRcvBuf:
            platformOption = SO_RCVBUF;
            return true;
        default:
            return false;
        }
    }
    if (Level == IpProtoTcp && Option == TcpNoDelay) {
        platformLevel = IPPROTO_TCP;
        platformOption = TCP_NODELAY;
        return true;
    }
    return false;
}

// A failed connect whose outcome the socket library would only report later.
bool IsConnectOutcome(int error) {
    return error == ECONNREFUSED || error == ETIMEDOUT || error == ENETUNREACH ||
           error == EHOSTUNREACH;
}

} // namespace

TSocketHandle TSocket::CreateSocket() {
    CheckLoaded();
    int fd = SockFuncs.socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastFromErrno();
        throw ESocketException(GetLastError());
    }
    TrackNewSocket(fd);
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
    if (r == 0 || err == EINPROGRESS) {
        AsyncConnecting(Socket);
        if (r == 0) return 0;
        SetLast(WsaEWouldBlock);
        return -1;
    }
    // A refusal the platform knows at once still arrives as a connect event, as it
    // would from the socket library.
    if (IsConnectOutcome(err) && AsyncDeferConnectError(Socket, TranslateSocketError(err))) {
        SetLast(WsaEWouldBlock);
        return -1;
    }
    SetLast(TranslateSocketError(err));
    Report(Socket, true);
    return -1;
}

int TSocket::ListenSocket(TSocketHandle Socket, int Backlog) {
    CheckLoaded();
    if (SockFuncs.listen(Socket, Backlog) == 0) {
        AsyncListening(Socket);
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
    const unsigned events = AsyncAcceptTaken(Socket);
    if (fd < 0) {
        SetLast(TranslateSocketError(err));
        Report(Socket, false);
        return InvalidSocket;
    }
    Addr = FromPlatform(a);
    AsyncAccepted(fd, events);
    return fd;
}

int TSocket::ReadSocket(TSocketHandle Socket, void* Buf, int Size, int Flags) {
    CheckLoaded();
    ssize_t r = SockFuncs.recv(Socket, Buf, Size > 0 ? static_cast<size_t>(Size) : 0,
                               ToPlatformFlags(Flags));
    int err = errno;
    AsyncReadTaken(Socket);
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
    if (GetLastError() == WsaEWouldBlock) AsyncWriteBlocked(Socket);
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

int TSocket::SetSocketOptions(TSocketHandle Socket, int Level, int Option, const void* Value,
                              int Len) {
    CheckLoaded();
    int platformLevel = 0, platformOption = 0;
    if (!ToPlatformOption(Level, Option, platformLevel, platformOption)) {
        SetLast(WsaENoProtoOpt);
        Report(Socket, false);
        return -1;
    }
    if (SockFuncs.setsockopt(Socket, platformLevel, platformOption, Value,
                             Len > 0 ? static_cast<socklen_t>(Len) : 0) == 0)
        return 0;
    SetLastFromErrno();
    Report(Socket, false);
    return -1;
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

} // namespace port

#pragma once
// The socket library's table on Linux: the BSD socket functions (SocketLib.h).
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdint>

namespace port {

struct TWSAData;

// The entry points, named after the platform functions they hold. Every one returns as
// the platform function does (-1 and errno on failure); TSocket translates errno at
// the call site. WSAStartup and WSACleanup are the library's own start and end: the
// platform's start-up always grants version 1.1.
struct TSockFuncs {
    int (*WSAStartup)(uint16_t VersionRequested, TWSAData* Data) = nullptr; // 0 or an error code
    int (*WSACleanup)() = nullptr;
    int (*socket)(int Domain, int Type, int Protocol) = nullptr;
    int (*bind)(int Fd, const sockaddr* Addr, socklen_t Len) = nullptr;
    int (*connect)(int Fd, const sockaddr* Addr, socklen_t Len) = nullptr;
    int (*listen)(int Fd, int Backlog) = nullptr;
    int (*accept4)(int Fd, sockaddr* Addr, socklen_t* Len, int Flags) = nullptr;
    ssize_t (*recv)(int Fd, void* Buf, size_t Len, int Flags) = nullptr;
    ssize_t (*send)(int Fd, const void* Buf, size_t Len, int Flags) = nullptr;
    int (*close)(int Fd) = nullptr;
    int (*shutdown)(int Fd, int How) = nullptr;
    int (*getsockopt)(int Fd, int Level, int Name, void* Value, socklen_t* Len) = nullptr;
    int (*setsockopt)(int Fd, int Level, int Name, const void* Value, socklen_t Len) = nullptr;
    int (*getpeername)(int Fd, sockaddr* Addr, socklen_t* Len) = nullptr;
    int (*getsockname)(int Fd, sockaddr* Addr, socklen_t* Len) = nullptr;
    int (*fcntl)(int Fd, int Cmd, ...) = nullptr;
    int (*poll)(pollfd* Fds, nfds_t Count, int TimeoutMs) = nullptr;
    in_addr_t (*inet_addr)(const char* Text) = nullptr;
    const char* (*inet_ntop)(int Family, const void* Addr, char* Dest, socklen_t Size) = nullptr;
    int (*getaddrinfo)(const char* Node, const char* Service, const addrinfo* Hints,
                       addrinfo** Result) = nullptr;
    void (*freeaddrinfo)(addrinfo* List) = nullptr;
    int (*getnameinfo)(const sockaddr* Addr, socklen_t Len, char* Host, socklen_t HostLen,
                       char* Serv, socklen_t ServLen, int Flags) = nullptr;
    int (*gethostname)(char* Name, size_t Len) = nullptr;
};

} // namespace port

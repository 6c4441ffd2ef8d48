#pragma once
// The socket library of the network port: a table of the platform's socket functions,
// filled once per run by a loader, and the translation of the platform's error numbers
// into the socket library's numbers (10035 would block, 10061 refused, 11001 host not
// found, ...) that the message table, the port's close rules and the tool know.
//
// The loader is injectable: a test installs one that refuses to load, leaves an entry
// empty or starts with a wrong version, and so reaches the 9002 and 9003 paths of
// TSocket without a broken system. Window thread only: the table is plain global data.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>

namespace port {

// What the library's start-up call hands back.
struct TWSAData {
    uint16_t wVersion = 0;     // the version to use: major in the low byte, minor in the high
    uint16_t wHighVersion = 0; // the highest version the library offers
    std::string szDescription;
    std::string szSystemStatus;
};

// Version 1.1 in the library's packing; the only version the network port accepts.
constexpr uint16_t WinsockVersion11 = 0x0101;

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

// The table in use; empty until LoadWinsock succeeded.
extern TSockFuncs SockFuncs;

// Fills the table; false when the library cannot be loaded at all.
using TSocketLibLoader = std::function<bool(TSockFuncs& Funcs)>;

// The platform's own functions, for loaders that wrap a few of them.
TSockFuncs PlatformSockFuncs();

// Installs a loader (an empty one restores the platform's) and forgets the loaded
// library, so the next LoadWinsock runs the new loader.
void SetSocketLibLoader(TSocketLibLoader Loader);

// Loads the library once per run (a failed load is tried again by the next call), then
// checks every entry in the table's order: false at the first one missing, true when
// all are there.
bool LoadWinsock();
// The name of the first missing entry of the last failed LoadWinsock, else empty.
std::string MissingSockFunc();
// Zeroes the table and forgets the library.
void UnloadWinsock();

// An errno value as the socket library's number. Unknown values pass unchanged, so the
// error display falls back to the system's own text for them.
int TranslateSocketError(int Errno);
// A getaddrinfo/getnameinfo result as the socket library's number (EAI_SYSTEM uses
// Errno).
int TranslateLookupError(int EaiCode, int Errno);

} // namespace port

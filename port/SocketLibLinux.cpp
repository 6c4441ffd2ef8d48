#include "port/SocketLib.h"

#include "SockFuncs.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace port {

TSockFuncs SockFuncs;

namespace {

int PlatformStartup(uint16_t VersionRequested, TWSAData* Data) {
    // BSD sockets need no start: grant what the port asks for, as far as 1.1 goes.
    Data->wVersion = VersionRequested < WinsockVersion11 ? VersionRequested : WinsockVersion11;
    Data->wHighVersion = WinsockVersion11;
    Data->szDescription = "BSD sockets";
    Data->szSystemStatus = "Running";
    return 0;
}

int PlatformCleanup() {
    return 0;
}

bool PlatformLoader(TSockFuncs& Funcs) {
    Funcs = PlatformSockFuncs();
    return true;
}

TSocketLibLoader& Loader() {
    static TSocketLibLoader loader = PlatformLoader;
    return loader;
}

bool LibraryLoaded = false;
std::string Missing;

// errno -> the socket library's number. EINPROGRESS is what a non-blocking connect
// answers, which the socket library calls "would block"; EBADF is a descriptor that is
// not an open socket; EPIPE is a send on a connection the peer has reset or closed.
struct TErrnoRow {
    int Errno;
    int Code;
};
constexpr TErrnoRow ErrnoTable[] = {
    {EINTR, 10004},        {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},       {EINVAL, 10022},          {EMFILE, 10024},
    {ENFILE, 10024},       {EAGAIN, 10035},          {EINPROGRESS, 10035},
    {EALREADY, 10037},     {ENOTSOCK, 10038},        {EBADF, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {EPIPE, 10054},           {ENOBUFS, 10055},
    {ENOMEM, 10055},       {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    {EUSERS, 10068},       {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

} // namespace

TSockFuncs PlatformSockFuncs() {
    TSockFuncs f;
    f.WSAStartup = PlatformStartup;
    f.WSACleanup = PlatformCleanup;
    f.socket = ::socket;
    f.bind = ::bind;
    f.connect = ::connect;
    f.listen = ::listen;
    f.accept4 = ::accept4;
    f.recv = ::recv;
    f.send = ::send;
    f.close = ::close;
    f.shutdown = ::shutdown;
    f.getsockopt = ::getsockopt;
    f.setsockopt = ::setsockopt;
    f.getpeername = ::getpeername;
    f.getsockname = ::getsockname;
    f.fcntl = ::fcntl;
    f.poll = ::poll;
    f.inet_addr = ::inet_addr;
    f.inet_ntop = ::inet_ntop;
    f.getaddrinfo = ::getaddrinfo;
    f.freeaddrinfo = ::freeaddrinfo;
    f.getnameinfo = ::getnameinfo;
    f.gethostname = ::gethostname;
    return f;
}

void SetSocketLibLoader(TSocketLibLoader NewLoader) {
    UnloadWinsock();
    Loader() = NewLoader ? std::move(NewLoader) : TSocketLibLoader(PlatformLoader);
}

bool LoadWinsock() {
    Missing.clear();
    if (!LibraryLoaded) {
        TSockFuncs loaded;
        if (!Loader()(loaded)) return false;
        SockFuncs = loaded;
        LibraryLoaded = true;
    }
    const TSockFuncs& f = SockFuncs;
    const std::pair<const char*, bool> entries[] = {
        {"WSAStartup", f.WSAStartup != nullptr},
        {"WSACleanup", f.WSACleanup != nullptr},
        {"socket", f.socket != nullptr},
        {"bind", f.bind != nullptr},
        {"connect", f.connect != nullptr},
        {"listen", f.listen != nullptr},
        {"accept4", f.accept4 != nullptr},
        {"recv", f.recv != nullptr},
        {"send", f.send != nullptr},
        {"close", f.close != nullptr},
        {"shutdown", f.shutdown != nullptr},
        {"getsockopt", f.getsockopt != nullptr},
        {"setsockopt", f.setsockopt != nullptr},
        {"getpeername", f.getpeername != nullptr},
        {"getsockname", f.getsockname != nullptr},
        {"fcntl", f.fcntl != nullptr},
        {"poll", f.poll != nullptr},
        {"inet_addr", f.inet_addr != nullptr},
        {"inet_ntop", f.inet_ntop != nullptr},
        {"getaddrinfo", f.getaddrinfo != nullptr},
        {"freeaddrinfo", f.freeaddrinfo != nullptr},
        {"getnameinfo", f.getnameinfo != nullptr},
        {"gethostname", f.gethostname != nullptr},
    };
    for (const auto& [name, present] : entries)
        if (!present) {
            Missing = name;
            return false;
        }
    return true;
}

std::string MissingSockFunc() {
    return Missing;
}

void UnloadWinsock() {
    SockFuncs = TSockFuncs{};
    LibraryLoaded = false;
    Missing.clear();
}

int TranslateSocketError(int Errno) {
    for (const TErrnoRow& row : ErrnoTable)
        if (row.Errno == Errno) return row.Code;
    return Errno;
}

int TranslateLookupError(int EaiCode, int Errno) {
    switch (EaiCode) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001; // host not found
    case EAI_AGAIN:
        return 11002; // try again
    case EAI_FAIL:
        return 11003; // non-recoverable
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004; // valid name, no address
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return 11004;
#endif
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
        return 10044;
    case EAI_BADFLAGS:
        return 10022;
    case EAI_MEMORY:
        return 10055;
    case EAI_SERVICE:
        return 10109; // the socket library's "type not found"
    case EAI_OVERFLOW:
        return 10063; // name too long
    case EAI_SYSTEM:
        return TranslateSocketError(Errno);
    default:
        return 11003;
    }
}

} // namespace port

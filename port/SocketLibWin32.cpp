// The socket library on Windows: "WSOCK32" (Windows Sockets 1.1) loaded at run time,
// once per run, with every entry point of the table looked up by its name.
#include "port/SocketLib.h"

#include "SockFuncs.h"

#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

namespace port {

TSockFuncs SockFuncs;

namespace {

HMODULE Library = nullptr;
std::string Missing;

// Looks up every entry in the table's order; false at the first one missing.
bool FillByName(HMODULE Module, TSockFuncs& f) {
    bool complete = true;
    auto entry = [&](const char* name, auto& slot) {
        if (!complete) return;
        FARPROC address = GetProcAddress(Module, name);
        if (!address) {
            complete = false; // LoadWinsock names the first empty entry
            return;
        }
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void*>(address));
    };
    entry("accept", f.accept);
    entry("bind", f.bind);
    entry("closesocket", f.closesocket);
    entry("connect", f.connect);
    entry("getpeername", f.getpeername);
    entry("getsockname", f.getsockname);
    entry("getsockopt", f.getsockopt);
    entry("htonl", f.htonl);
    entry("htons", f.htons);
    entry("inet_addr", f.inet_addr);
    entry("inet_ntoa", f.inet_ntoa);
    entry("ioctlsocket", f.ioctlsocket);
    entry("listen", f.listen);
    entry("ntohl", f.ntohl);
    entry("ntohs", f.ntohs);
    entry("recv", f.recv);
    entry("recvfrom", f.recvfrom);
    entry("select", f.select);
    entry("send", f.send);
    entry("sendto", f.sendto);
    entry("setsockopt", f.setsockopt);
    entry("shutdown", f.shutdown);
    entry("socket", f.socket);
    entry("gethostbyaddr", f.gethostbyaddr);
    entry("gethostbyname", f.gethostbyname);
    entry("gethostname", f.gethostname);
    entry("getservbyport", f.getservbyport);
    entry("getservbyname", f.getservbyname);
    entry("getprotobynumber", f.getprotobynumber);
    entry("getprotobyname", f.getprotobyname);
    entry("WSAStartup", f.WSAStartup);
    entry("WSACleanup", f.WSACleanup);
    entry("WSASetLastError", f.WSASetLastError);
    entry("WSAGetLastError", f.WSAGetLastError);
    entry("WSAIsBlocking", f.WSAIsBlocking);
    entry("WSAUnhookBlockingHook", f.WSAUnhookBlockingHook);
    entry("WSASetBlockingHook", f.WSASetBlockingHook);
    entry("WSACancelBlockingCall", f.WSACancelBlockingCall);
    entry("WSAAsyncGetServByName", f.WSAAsyncGetServByName);
    entry("WSAAsyncGetServByPort", f.WSAAsyncGetServByPort);
    entry("WSAAsyncGetProtoByName", f.WSAAsyncGetProtoByName);
    entry("WSAAsyncGetProtoByNumber", f.WSAAsyncGetProtoByNumber);
    entry("WSAAsyncGetHostByName", f.WSAAsyncGetHostByName);
    entry("WSAAsyncGetHostByAddr", f.WSAAsyncGetHostByAddr);
    entry("WSACancelAsyncRequest", f.WSACancelAsyncRequest);
    entry("WSAAsyncSelect", f.WSAAsyncSelect);
    return complete;
}

bool PlatformLoader(TSockFuncs& Funcs) {
    if (!Library) Library = LoadLibraryA("WSOCK32");
    if (!Library) return false;
    FillByName(Library, Funcs); // a missing entry stays empty: LoadWinsock names it
    return true;
}

TSocketLibLoader& Loader() {
    static TSocketLibLoader loader = PlatformLoader;
    return loader;
}

bool LibraryLoaded = false;

} // namespace

TSockFuncs PlatformSockFuncs() {
    TSockFuncs f;
    PlatformLoader(f);
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
    // Every entry, in the table's order: the first empty one is named.
    static_assert(sizeof(TSockFuncs) % sizeof(void*) == 0);
    static const char* const Names[] = {"accept",
                                        "bind",
                                        "closesocket",
                                        "connect",
                                        "getpeername",
                                        "getsockname",
                                        "getsockopt",
                                        "htonl",
                                        "htons",
                                        "inet_addr",
                                        "inet_ntoa",
                                        "ioctlsocket",
                                        "listen",
                                        "ntohl",
                                        "ntohs",
                                        "recv",
                                        "recvfrom",
                                        "select",
                                        "send",
                                        "sendto",
                                        "setsockopt",
                                        "shutdown",
                                        "socket",
                                        "gethostbyaddr",
                                        "gethostbyname",
                                        "gethostname",
                                        "getservbyport",
                                        "getservbyname",
                                        "getprotobynumber",
                                        "getprotobyname",
                                        "WSAStartup",
                                        "WSACleanup",
                                        "WSASetLastError",
                                        "WSAGetLastError",
                                        "WSAIsBlocking",
                                        "WSAUnhookBlockingHook",
                                        "WSASetBlockingHook",
                                        "WSACancelBlockingCall",
                                        "WSAAsyncGetServByName",
                                        "WSAAsyncGetServByPort",
                                        "WSAAsyncGetProtoByName",
                                        "WSAAsyncGetProtoByNumber",
                                        "WSAAsyncGetHostByName",
                                        "WSAAsyncGetHostByAddr",
                                        "WSACancelAsyncRequest",
                                        "WSAAsyncSelect"};
    static_assert(std::size(Names) * sizeof(void*) == sizeof(TSockFuncs));
    void* slots[std::size(Names)];
    std::memcpy(slots, &SockFuncs, sizeof slots);
    for (size_t i = 0; i < std::size(Names); ++i)
        if (!slots[i]) {
            Missing = Names[i];
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
    // The library itself stays loaded for the rest of the run.
}

int TranslateSocketError(int Error) {
    return Error;
}

int TranslateLookupError(int Error, int) {
    return Error;
}

} // namespace port

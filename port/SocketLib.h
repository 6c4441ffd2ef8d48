#pragma once
// The socket library of the network port: a table of the platform's socket functions,
// filled once per run by a loader, and the translation of the platform's error numbers
// into the socket library's numbers (10035 would block, 10061 refused, 11001 host not
// found, ...) that the message table, the port's close rules and the tool know.
//
// The loader is injectable: a test installs one that refuses to load, leaves an entry
// empty or starts with a wrong version, and so reaches the 9002 and 9003 paths of
// TSocket without a broken system. Window thread only: the table is plain global data.
//
// The table itself (TSockFuncs) is the platform's own: port/Linux/SockFuncs.h holds the
// BSD socket functions, port/Win32/SockFuncs.h the socket library's entry points, looked
// up by name in the library loaded at run time.
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

// The table of the platform's entry points; files that call through it include
// "SockFuncs.h".
struct TSockFuncs;

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

// An errno value as the socket library's number (on Windows the system's numbers are
// the library's already and pass unchanged). Unknown values pass unchanged, so the
// error display falls back to the system's own text for them.
int TranslateSocketError(int Errno);
// A getaddrinfo/getnameinfo result as the socket library's number (EAI_SYSTEM uses
// Errno).
int TranslateLookupError(int EaiCode, int Errno);

} // namespace port

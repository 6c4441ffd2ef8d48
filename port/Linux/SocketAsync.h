#pragma once
// The state behind TSocket's asynchronous notifications, one entry per socket: what
// its owner asked for, where the socket stands, which events are armed, and its fd
// watch; and the errors posted for later delivery. Private to the socket wrapper
// (Socket*Linux.cpp, SocketAsync.cpp): nothing else includes it.
#include "port/Socket.h"

#include <cstdint>
#include <map>

namespace port {

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

} // namespace port

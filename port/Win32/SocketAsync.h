#pragma once
// The state behind TSocket's notifications on Windows, one entry per socket that
// reports events: what the read-event rule needs, and the number that tells a reused
// socket handle from the socket it was; and the errors posted for later delivery.
// Private to the socket wrapper (Socket*Win32.cpp, SocketAsync.cpp): nothing else
// includes it.
#include "port/Socket.h"

#include <cstdint>
#include <map>

namespace port {

struct TSocket::TAsyncEntry {
    uint64_t Serial = 0; // tells a reused handle from the socket it was
    unsigned Events = 0;
    // A read since the last read event: any byte that arrives now is a new event.
    bool ReadSinceEvent = true;
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

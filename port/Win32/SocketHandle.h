#pragma once
// A socket handle of the wrapper as the library's SOCKET and back. Private to the socket
// wrapper (Socket*Win32.cpp).
#include "port/Socket.h"

#include "SockFuncs.h"

namespace port {

inline SOCKET AsSocket(TSocketHandle Socket) {
    return Socket == InvalidSocket ? INVALID_SOCKET
                                   : static_cast<SOCKET>(static_cast<unsigned>(Socket));
}

inline TSocketHandle AsHandle(SOCKET Socket) {
    // Socket handles carry 32 significant bits.
    return Socket == INVALID_SOCKET ? InvalidSocket : static_cast<TSocketHandle>(Socket);
}

} // namespace port

#pragma once
// The network port tests' side of a loopback connection: the port layer's form of a
// 127.0.0.1 address, and a peer that reads while the window thread's loop runs.
#include "Loopback.h"
#include "Pump.h"

#include "port/Socket.h"
#include "winsys/EventLoop.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace loopback {

inline port::TSockAddrIn LoopbackAddr(uint16_t port) {
    port::TSockAddrIn a;
    a.sin_family = port::AfInet;
    a.sin_port = htons(port);
    a.sin_addr.S_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// What the peer on fd receives while the loop runs, until count bytes came or it
// closed (bounded as PumpUntil is).
inline std::string PeerGets(winsys::EventLoop& loop, int fd, size_t count) {
    std::string got;
    testsupport::PumpUntil(loop, [&] {
        while (got.size() < count && testsupport::Readable(fd, 0)) {
            char buf[512];
            ssize_t n = ::recv(fd, buf, std::min(sizeof buf, count - got.size()), 0);
            if (n <= 0) return true;
            got.append(buf, static_cast<size_t>(n));
        }
        return got.size() >= count;
    });
    return got;
}

} // namespace loopback

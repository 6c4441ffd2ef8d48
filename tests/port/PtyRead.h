#pragma once
// The peer's side of a pty in the port tests: reads what the port wrote.
#include <poll.h>
#include <unistd.h>

#include <cstddef>
#include <string>

namespace porttest {

// Reads from the pty master until Count bytes came, the peer is silent for 2 s or the
// master fails; at most 1000 reads.
inline std::string ReadMaster(int Master, size_t Count) {
    std::string Got;
    for (int Round = 0; Round < 1000 && Got.size() < Count; ++Round) {
        pollfd P{Master, POLLIN, 0};
        if (poll(&P, 1, 2000) <= 0) break;
        char Buf[4096];
        const ssize_t N = read(Master, Buf, sizeof Buf);
        if (N <= 0) break;
        Got.append(Buf, static_cast<size_t>(N));
    }
    return Got;
}

} // namespace porttest

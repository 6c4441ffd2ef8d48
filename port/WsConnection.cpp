#include "port/WsConnection.h"

#include "port/WinsockDevice.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace port {

TWsConnection::TWsConnection(TSocket& Owner_, uint32_t InSize, uint32_t OutSize)
    : Owner(Owner_), RecvRing(std::max<uint32_t>(InSize, 1)), SendRing(size_t{OutSize} + 4096) {
    CommSocket = Owner.CreateSocket();
}

TWsConnection::~TWsConnection() {
    if (CommSocket == InvalidSocket) return;
    try {
        Shutdown();
    } catch (const std::exception&) { // closing cannot fail in a way worth more than the close
    }
}

size_t TWsConnection::RecvUsed() const {
    if (RecvFull) return RecvRing.size();
    return RecvWrite >= RecvRead ? RecvWrite - RecvRead : RecvRing.size() - RecvRead + RecvWrite;
}

size_t TWsConnection::SendUsed() const {
    if (SendFull) return SendRing.size();
    return SendWrite >= SendRead ? SendWrite - SendRead : SendRing.size() - SendRead + SendWrite;
}

void TWsConnection::Fill() {
    // A socket read since its last read event has nothing new: its next byte brings an
    // event of its own, so the timer's passes cost no system call.
    if (RecvFull || DataSocket == InvalidSocket || !Owner.ReadMayHaveData(DataSocket)) return;
    const size_t size = RecvRing.size();
    auto receive = [&](size_t at, size_t n) -> size_t {
        int r = Owner.ReadSocket(DataSocket, RecvRing.data() + at,
                                 static_cast<int>(std::min<size_t>(n, INT_MAX)), 0);
        return r > 0 ? static_cast<size_t>(r) : 0;
    };
    size_t got = 0;
    if (RecvWrite >= RecvRead) {
        // Free space runs to the end of the storage and on from its start.
        size_t first = size - RecvWrite;
        got = receive(RecvWrite, first);
        RecvWrite += got;
        if (RecvWrite == size) {
            RecvWrite = 0;
            if (RecvRead > 0) {
                size_t second = receive(0, RecvRead);
                RecvWrite = second;
                got += second;
            }
        }
    } else {
        got = receive(RecvWrite, RecvRead - RecvWrite);
        RecvWrite += got;
    }
    if (got > 0 && RecvWrite == RecvRead) RecvFull = true;
}

int32_t TWsConnection::Deliver(uint8_t* Out, size_t Len) {
    const size_t size = RecvRing.size();
    bool logging = IsTelnet && Dispatcher && Dispatcher->LogActive();
    Telnet.Logging = logging;
    if (IsTelnet && TermTypeSource && Telnet.TermType != *TermTypeSource)
        Telnet.TermType = *TermTypeSource;
    size_t delivered = 0;
    for (int run = 0; run < 2 && delivered < Len && RecvUsed() > 0; ++run) {
        size_t end = RecvRead < RecvWrite ? RecvWrite : size;
        size_t count = end - RecvRead;
        size_t consumed, produced;
        if (!IsTelnet) {
            consumed = produced = std::min(count, Len - delivered);
            std::memcpy(Out + delivered, RecvRing.data() + RecvRead, consumed);
        } else {
            auto r = Telnet.Filter({RecvRing.data() + RecvRead, count},
                                   {Out + delivered, Len - delivered});
            consumed = r.Consumed;
            produced = r.Delivered;
        }
        if (consumed == 0) break;
        RecvRead += consumed;
        if (RecvRead == size) RecvRead = 0;
        RecvFull = false;
        delivered += produced;
        if (consumed < count) break; // Out is full
    }
    if (IsTelnet) {
        SendReplies();
        if (logging) Dispatcher->LogTelnet(Telnet.TakeLog(), Telnet.TermType);
    }
    return static_cast<int32_t>(delivered);
}

int32_t TWsConnection::ReadBuf(void* Buf, int32_t Len) {
    Fill();
    if (Len <= 0 || !Buf) return 0;
    return Deliver(static_cast<uint8_t*>(Buf), static_cast<size_t>(Len));
}

void TWsConnection::Store(const uint8_t* Bytes, size_t Count) {
    const size_t size = SendRing.size();
    size_t first = std::min(Count, size - SendWrite);
    std::memcpy(SendRing.data() + SendWrite, Bytes, first);
    std::memcpy(SendRing.data(), Bytes + first, Count - first);
    SendWrite = (SendWrite + Count) % size;
    if (Count > 0 && SendWrite == SendRead) SendFull = true;
}

void TWsConnection::Push() {
    // Before a client has connected there is no socket to send on: the bytes wait.
    if (DataSocket == InvalidSocket) return;
    const size_t size = SendRing.size();
    for (int run = 0; run < 2 && SendUsed() > 0; ++run) {
        size_t end = SendRead < SendWrite ? SendWrite : size;
        size_t count = end - SendRead;
        int r = Owner.WriteSocket(DataSocket, SendRing.data() + SendRead,
                                  static_cast<int>(std::min<size_t>(count, INT_MAX)), 0);
        if (r < 0) break; // would block, or an error already reported
        if (r > 0) SendFull = false;
        SendRead = (SendRead + static_cast<size_t>(r)) % size;
        if (static_cast<size_t>(r) < count) break;
    }
}

int32_t TWsConnection::WriteBuf(const void* Buf, int32_t Len) {
    size_t accepted = 0;
    if (Len > 0 && Buf) {
        SendPending += Len;
        size_t free = SendRing.size() - SendUsed();
        const auto* in = static_cast<const uint8_t*>(Buf);
        if (!IsTelnet) {
            accepted = std::min(static_cast<size_t>(Len), free);
            Store(in, accepted);
        } else if (free > 0) {
            if (Scratch.size() < SendRing.size()) Scratch.resize(SendRing.size());
            auto r = TelnetEscape({in, static_cast<size_t>(Len)}, Telnet.BinaryOpt,
                                  {Scratch.data(), free});
            Store(Scratch.data(), r.Stored);
            accepted = r.Consumed;
        }
    }
    Push();
    return static_cast<int32_t>(accepted);
}

void TWsConnection::SendReplies() {
    if (!Telnet.HasReplies()) return;
    std::vector<uint8_t> replies = Telnet.TakeReplies();
    size_t sent = 0;
    if (DataSocket != InvalidSocket) {
        int r = Owner.WriteSocket(DataSocket, replies.data(), static_cast<int>(replies.size()), 0);
        if (r > 0) sent = static_cast<size_t>(r);
    }
    // What the socket did not take waits in the transmit ring rather than being lost.
    size_t rest = std::min(replies.size() - sent, SendRing.size() - SendUsed());
    if (rest > 0) Store(replies.data() + sent, rest);
}

int32_t TWsConnection::GetInChars() {
    if (RecvFull) return static_cast<int32_t>(RecvRing.size());
    if (GetConnected()) ReadBuf(nullptr, 0);
    return static_cast<int32_t>(RecvUsed());
}

int32_t TWsConnection::GetOutChars() {
    if (GetConnected()) {
        if (SendUsed() > 0) {
            WriteBuf(nullptr, 0);
            return static_cast<int32_t>(std::min<int64_t>(SendPending, INT32_MAX));
        }
        SendPending = 0;
        return 0;
    }
    return static_cast<int32_t>(std::min<int64_t>(SendPending, INT32_MAX));
}

void TWsConnection::SetConnectionState(TWsConnectionState State) {
    if (State == ConnState) return;
    ConnState = State;
    if (Dispatcher) Dispatcher->ConnectionChanged();
}

void TWsConnection::FlushInBuffer() {
    RecvRead = RecvWrite = 0;
    RecvFull = false;
    Telnet.ForgetPartial();
}

void TWsConnection::FlushOutBuffer() {
    SendRead = SendWrite = 0;
    SendFull = false;
    SendPending = 0; // nothing is pending any more
}

void TWsConnection::Shutdown() {
    if (DataSocket != InvalidSocket && !IsClient) Owner.CloseSocket(DataSocket);
    DataSocket = InvalidSocket;
    if (CommSocket != InvalidSocket) Owner.CloseSocket(CommSocket);
    CommSocket = InvalidSocket;
}

} // namespace port

#pragma once
// TWsConnection: one open network port's TCP connection under its dispatcher. It holds
// the socket pair (CommSocket: the client's connecting socket or the server's
// listening one; DataSocket: the socket that carries data once there is one), a
// receive ring filled from DataSocket and a transmit ring drained into it, and the
// telnet processing of the stream.
//
// Receiving: ReadBuf pulls what the socket has into the receive ring (at most two recv
// calls, one per free run) and delivers from the ring, through the telnet filter when
// IsTelnet is on; the filter's replies go to the peer at once. A full ring stops
// receiving, so TCP holds the peer back and no byte is lost.
//
// Sending: WriteBuf queues what fits into the transmit ring (telnet-escaped when
// IsTelnet is on) and sends from the ring. Bytes written before a client has connected
// stay queued without any send or error and go out as soon as the connection is there.
// A send that would block leaves the bytes queued for the next pass.
//
// Window thread only; the owning TDeviceSocket keeps the connections.
#include "port/Socket.h"
#include "port/Telnet.h"

#include <cstdint>
#include <span>
#include <vector>

namespace port {

class TWinsockDispatcher;

enum TWsConnectionState { wcsInit, wcsConnected };

class TWsConnection {
  public:
    // Creates CommSocket; raises ESocketException when the socket library refuses.
    TWsConnection(TSocket& Owner, uint32_t InSize, uint32_t OutSize);
    ~TWsConnection();
    TWsConnection(const TWsConnection&) = delete;
    TWsConnection& operator=(const TWsConnection&) = delete;

    // Bytes delivered to Buf (at most Len). Len 0 only pulls from the socket.
    int32_t ReadBuf(void* Buf, int32_t Len);
    // Bytes of Buf accepted (all, unless the transmit ring is full). Len 0 only pushes.
    int32_t WriteBuf(const void* Buf, int32_t Len);
    // Raw bytes waiting in the receive ring (after a pull while connected).
    int32_t GetInChars();
    // Bytes handed to WriteBuf since the transmit ring was last found empty (after a
    // push while connected).
    int32_t GetOutChars();
    bool GetConnected() const { return ConnState == wcsConnected; }
    void SetConnectionState(TWsConnectionState State);
    void FlushInBuffer();
    void FlushOutBuffer();
    // Closes DataSocket when it is a server's accepted socket, then CommSocket.
    void Shutdown();

    TSocketHandle CommSocket = InvalidSocket;
    TSocketHandle DataSocket = InvalidSocket;
    TWinsockDispatcher* Dispatcher = nullptr;
    TWsConnectionState ConnState = wcsInit;
    bool IsClient = true;
    bool IsTelnet = false;
    // BinaryOpt, SgaOpt and EchoOpt live in the filter.
    TTelnetFilter Telnet;
    // When set, the terminal type the filter sends is this one, as it reads at the time.
    const std::string* TermTypeSource = nullptr;

  private:
    void Fill();
    int32_t Deliver(uint8_t* Out, size_t Len);
    void Store(const uint8_t* Bytes, size_t Count);
    void Push();
    void SendReplies();
    size_t RecvUsed() const;
    size_t SendUsed() const;

    TSocket& Owner;
    std::vector<uint8_t> RecvRing;
    size_t RecvRead = 0, RecvWrite = 0;
    bool RecvFull = false;
    std::vector<uint8_t> SendRing;
    size_t SendRead = 0, SendWrite = 0;
    bool SendFull = false;
    int64_t SendPending = 0;
    std::vector<uint8_t> Scratch; // telnet escaping before the bytes enter the ring
};

} // namespace port

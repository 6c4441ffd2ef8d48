#pragma once
// The network device layer: a TCP connection under the dispatcher, so the network port
// offers the same buffered stream, triggers and events as the serial port.
//
// TDeviceSocket, the one socket wrapper of all network ports, owns every connection
// and receives every socket notification. Data to read runs the dispatch pass of the
// connection's dispatcher at once; accept, connect, close and errors go to the port's
// notify window as SocketNotifyMsg with the event in WParam: 8 accept (LParam the
// peer's IPv4 address, reply 1 to accept), 16 connect, 32 the client's connection
// ended, 48 the server's peer ended, any other value a socket error code.
//
// TWinsockDispatcher runs no threads: the socket notifications and a 50 ms timer on the
// window thread drive its dispatch pass, which pulls received bytes into the input
// ring, retries output the socket refused and checks the triggers.
//
// Changes to the model this layer follows, for sound behaviour:
//   - errors of socket calls made inside a dispatch pass or a port operation reach the
//     port after that operation has returned, never inside it;
//   - bytes written before a client's connection completes wait, without a send or an
//     error, and go out when it completes;
//   - a server whose peer reset the connection forgets that peer and accepts the next,
//     as after a clean close; the rings are emptied when a server's peer ends, so
//     nothing of one peer reaches the next.
//
// Window thread only.
#include "port/Dispatcher.h"
#include "port/Socket.h"
#include "port/WsConnection.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace port {

class TWinsockDispatcher;

// Events of SocketNotifyMsg on the port's notify window.
constexpr unsigned WsEventAccept = 8;
constexpr unsigned WsEventConnect = 16;
constexpr unsigned WsEventClientClosed = 32;
constexpr unsigned WsEventServerPeerClosed = 48;

class TDeviceSocket : public TSocket {
  public:
    explicit TDeviceSocket(winsys::EventLoop* Loop);
    ~TDeviceSocket() override;

    // The terminal type that the telnet negotiation of every connection sends.
    std::string TermType = "vt100";

    // Creates a connection owned by this socket; raises ESocketException when its
    // socket cannot be created.
    TWsConnection* AddConnection(uint32_t InSize, uint32_t OutSize);
    void RemoveConnection(TWsConnection* Connection);
    // The connection whose DataSocket or CommSocket is Socket, or nullptr.
    TWsConnection* FindConnection(TSocketHandle Socket);
    // The CommSocket of Socket's connection, or InvalidSocket.
    TSocketHandle TweakSocket(TSocketHandle Socket);
    // Runs the dispatch pass of the dispatcher whose device is Socket; 0 when none.
    winsys::LRESULT DoDispMessage(TSocketHandle Socket, unsigned Event, winsys::LPARAM LParam);
    // Sends Event to the notify window of the port whose device is Socket, with the
    // dispatcher marked as in a notification; 0 when there is none.
    winsys::LRESULT DoWsMessage(TSocketHandle Socket, int Event, winsys::LPARAM LParam);
    void LockList() { ListLock.lock(); }
    void UnLockList() { ListLock.unlock(); }
    size_t ConnectionCount() const { return Connections.size(); }

  protected:
    void DoAccept(TSocketHandle Socket) override;
    void DoConnect(TSocketHandle Socket) override;
    void DoDisconnect(TSocketHandle Socket) override;
    void DoError(TSocketHandle Socket, int ErrCode) override;
    void DoRead(TSocketHandle Socket) override;
    void DoWrite(TSocketHandle Socket) override;
    void ReportError(TSocketHandle Socket, int ErrCode) override;

  private:
    // The server's peer has gone: forget it and listen for the next.
    void ForgetPeer(TWsConnection& Connection);

    std::recursive_mutex ListLock;
    std::vector<std::unique_ptr<TWsConnection>> Connections;
    TSocketHandle LastFoundSocket = InvalidSocket;
    TWsConnection* LastFoundConnection = nullptr;
};

// The shared device socket of the loop's network ports: created for the first open
// connection and destroyed with the last, so it never outlives the loop it serves.
TDeviceSocket& AcquireDeviceSocket(winsys::EventLoop* Loop);
void ReleaseDeviceSocket();
// The device socket while any connection is open, else nullptr.
TDeviceSocket* CurrentDeviceSocket();

class TWinsockDispatcher : public TBaseDispatcher {
  public:
    explicit TWinsockDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop = nullptr);
    ~TWinsockDispatcher() override;

    // Address and Port in network order. The local address index is not used: the
    // layer binds to any local address.
    void InitSocketData(int32_t LocalAddressIndex, TInAddr Address, uint16_t Port, bool IsClient,
                        bool IsTelnet);
    // One dispatch pass (see the description at the top). Returns 0.
    winsys::LRESULT Dispatcher(uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam);

    // The port's notify window, where DoWsMessage delivers accept, connect, close and
    // errors; 0 while the port has none.
    winsys::HWND NotifyWindow = 0;
    TSockAddrIn RemoteAddr;
    TSockAddrIn LocalAddr;
    bool IsClient = true;
    bool IsTelnet = false;

    TWsConnection* Connection();
    winsys::HWND Window() const { return DispatcherWindow; }
    // The connection state changed: DCD follows it.
    void ConnectionChanged();
    void LogTelnet(const std::vector<TTelnetLogEntry>& Entries, const std::string& TermType);

    // Device operations.
    int32_t EscapeComFunction(int32_t Func) override;
    int32_t FlushCom(int32_t Queue) override;
    uint32_t GetComError(TComStat& Stat) override;
    int32_t GetComEventMask(int32_t EvtMask) override;
    int32_t GetComState(TDCB& DCB) override;
    int32_t ReadCom(void* Buf, int32_t Size) override;
    int32_t SetComState(TDCB& DCB) override;
    int32_t WriteCom(const void* Buf, int32_t Size) override;
    bool WaitComEvent(uint32_t& EvtMask) override;
    void SetComEventMask(uint32_t Mask) override;
    bool SetupCom(int32_t InSize, int32_t OutSize) override;
    int32_t OpenCom(const char* ComName, int32_t InQueue, int32_t OutQueue) override;
    int32_t CloseCom() override;
    int32_t ProcessCommunications() override;
    int32_t TransmitCom(const void* Buf, int32_t Len) override;
    void CancelTransmit() override;
    uint8_t GetComModemStatus() override;
    void StartDispatcher() override;
    void StopDispatcher() override;

  protected:
    winsys::LRESULT DispatcherWindowProc(uint32_t Msg, winsys::WPARAM wParam,
                                         winsys::LPARAM lParam) override;

  private:
    bool InDispatch = false;
    TDeviceSocket* Device = nullptr; // while a connection is open
};

} // namespace port

#pragma once
// The network port: a port component that carries the serial port's byte stream over
// one TCP connection, as a client (to WsAddress on WsPort) or as a server (listening on
// WsPort for one peer at a time), optionally through a SOCKS 4, 4a or 5 proxy and with
// telnet processing of the stream.
//
// As the owner sees it (everything on the window thread):
//   - client: SetOpen(true) returns with Open true while the connection is still being
//     made; OnWsConnect follows. A refused, reset or aborted connection gives
//     OnWsError(code) while Open is still true, then the port closes itself; no
//     OnWsDisconnect follows unless OnWsConnect had fired. The peer's clean close makes
//     the port close itself and OnWsDisconnect comes at the end of that close. Other
//     errors (10060, ...) only reach OnWsError; the port stays open.
//   - server: listening when SetOpen(true) returns; a peer is offered to OnWsAccept and
//     its data flows without OnWsConnect; while one is connected any further peer is
//     closed at once. The peer's end, clean or by a reset, gives OnWsDisconnect (then
//     OnWsError for a reset) and the port listens for the next peer.
//   - closing gives OnWsDisconnect when a connection had been made, and always in
//     server mode.
// Bytes written before a client's connection completes wait and go out when it does.
//
// Open failures (the port stays closed): "Winsock not initialized - ..." when the
// socket library is unusable; 10039 for a client without WsAddress; 9007 when the
// address does not resolve (with OnWsError assigned: OnWsError(9007) first, then the
// open fails with "Koru exception"); 9005 for a WsPort that is neither 1 to 65535 nor a
// TCP service name; the socket library's code when the socket cannot be set up.
// WsAddress, WsPort and WsMode raise 9006 when changed while open.
#include "port/ComPort.h"
#include "port/Socket.h"
#include "port/Socks.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace port {

class TWinsockDispatcher;

// SOCKS proxy settings; svNone uses no proxy.
class TSocksServerInfo {
  public:
    const std::string& GetAddress() const { return AddressValue; }
    void SetAddress(const std::string& Value) { AddressValue = Value; }
    const std::string& GetPassword() const { return PasswordValue; }
    void SetPassword(const std::string& Value) { PasswordValue = Value; }
    uint16_t GetPort() const { return PortValue; }
    void SetPort(uint16_t Value) { PortValue = Value; }
    TSocksVersion GetSocksVersion() const { return SocksVersionValue; }
    void SetSocksVersion(TSocksVersion Value) { SocksVersionValue = Value; }
    const std::string& GetUserCode() const { return UserCodeValue; }
    void SetUserCode(const std::string& Value) { UserCodeValue = Value; }

  private:
    std::string AddressValue, PasswordValue, UserCodeValue;
    uint16_t PortValue = 0;
    TSocksVersion SocksVersionValue = svNone;
};

class TCustomWinsockPort : public TCustomComPort, public virtual IWinsockPort {
  public:
    using TWsAcceptEvent =
        std::function<void(TCustomWinsockPort* Sender, TInAddr Addr, bool& Accept)>;

    explicit TCustomWinsockPort(winsys::EventLoop* Loop = nullptr);
    ~TCustomWinsockPort() override;

    std::string GetWsAddress() const override { return WsAddressValue; }
    void SetWsAddress(const std::string& Value) override;
    std::string GetWsPort() const override { return WsPortValue; }
    void SetWsPort(const std::string& Value) override;
    TWsMode GetWsMode() const override { return WsModeValue; }
    void SetWsMode(TWsMode Value) override;
    bool GetWsTelnet() const { return WsTelnetValue; }
    void SetWsTelnet(bool Value) { WsTelnetValue = Value; }
    // Enumerated again at every call.
    const std::vector<std::string>& GetWsLocalAddresses();
    void SetWsLocalAddresses(const std::vector<std::string>& List) { WsLocalAddressesValue = List; }
    // Stored only: the layer always binds to any local address.
    int32_t GetWsLocalAddressIndex() const { return WsLocalAddressIndexValue; }
    void SetWsLocalAddressIndex(int32_t Value) { WsLocalAddressIndexValue = Value; }
    TSocksServerInfo& WsSocksServerInfo() { return SocksInfo; }
    // From the connect the owner hears of (through a proxy: the proxy's grant) to the
    // disconnect that follows it.
    bool GetWsConnected() const { return WsConnected; }

    void SetUseMSRShadow(bool Value) override;

    TWsAcceptEvent OnWsAccept;

  protected:
    std::unique_ptr<TBaseDispatcher> ActivateDeviceLayer() override;
    void DeviceLayerChanged() override;
    int32_t InitializePort() override;
    void ValidateComport() override;
    void PortOpen() override;
    void PortClose() override;
    void TriggerAvail(uint16_t Count) override;
    // SocketNotifyMsg (accept 8, connect 16, the client's end 32, the server's peer's
    // end 48, any other value an error code) and SocketCloseMsg; the rest goes on.
    winsys::LRESULT WindowProc(uint32_t Msg, winsys::WPARAM wParam, winsys::LPARAM lParam) override;

    virtual bool DoAccept(TInAddr Addr);
    virtual void DoConnect();
    virtual void DoDisconnect();
    virtual void DoError(int32_t ErrCode);

  private:
    TWinsockDispatcher* WsDispatcher() const;
    int32_t OpenSocksConnection();
    void ContinueSocksNegotiation();
    void SocksFailed(int32_t Code);
    // Reports Code through OnWsError when assigned and returns -Code; else raises it.
    int32_t Unresolved(int32_t Code);

    std::string WsAddressValue;
    std::string WsPortValue = "telnet";
    TWsMode WsModeValue = wsClient;
    bool WsTelnetValue = true;
    std::vector<std::string> WsLocalAddressesValue;
    int32_t WsLocalAddressIndexValue = 0;
    TSocksServerInfo SocksInfo;
    bool WsConnected = false;
    // The socket library for the lookups of the open and the address list.
    std::unique_ptr<TSocket> Library;

    // While a SOCKS negotiation runs.
    std::optional<TSocksNegotiation> Socks;
    bool SocksDone = false;
    bool ConnectHeld = false; // OnWsConnect waits for the proxy's grant
    int32_t SocksError = 0;
};

class TWinsockPort : public TCustomWinsockPort {
  public:
    using TCustomWinsockPort::TCustomWinsockPort;
};

} // namespace port

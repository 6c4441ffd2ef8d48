#pragma once
// TCustomWinsockPort: the port component over one TCP connection, as a client that
// connects to WsAddress:WsPort or as a server that listens on WsPort and takes one peer
// at a time. It carries the same buffered byte stream, triggers and events as the
// serial port; the serial line settings are accepted and ignored.
//
// Settings: WsAddress and WsPort are stored trimmed; WsPort is a decimal number or a
// TCP service name ("telnet", the default, is 23). WsAddress, WsPort and WsMode cannot
// change while open (ESocketException 9006); setting the current value again is no
// change. With WsSocksServerInfo.SocksVersion other than svNone the client connects
// through that SOCKS proxy.
//
// Open (SetOpen(true) with DeviceLayer dlWinsock):
//   - client: an empty WsAddress raises 10039; an address that does not resolve calls
//     OnWsError(9007) and then fails the open with "Koru exception" when the handler
//     is assigned, else raises ESocketException 9007; a WsPort that is neither a port
//     number nor a known TCP service raises 9005. The open returns with Open true while
//     the connection completes later, announced by OnWsConnect; bytes written before
//     that wait and go out once it completes.
//   - server: listening when SetOpen returns; an accepted peer's data arrives without
//     OnWsConnect, OnWsAccept may refuse a peer.
//
// Connection events, all on the window thread and never inside a port operation:
//   - OnWsError(code) for a socket error. After 10052, 10053, 10054 or 10061 a client
//     closes itself right after the event (Open is still true during it); after any
//     other code it stays open. A server's peer reset ends that peer (OnWsDisconnect,
//     then OnWsError) and the server listens for the next.
//   - a client whose peer closed closes itself;
//   - OnWsDisconnect at the end of every close that followed OnWsConnect (Open is then
//     false), at every close of a server, and when a server's peer ends.
//
// Window thread only.
#include "port/ComPort.h"
#include "port/Socks.h"

#include <memory>
#include <string>
#include <vector>

namespace port {

class TWinsockDispatcher;

// SOCKS proxy settings; SocksVersion svNone means no proxy.
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
    std::string AddressValue;
    std::string PasswordValue;
    uint16_t PortValue = 0;
    TSocksVersion SocksVersionValue = svNone;
    std::string UserCodeValue;
};

class TCustomWinsockPort : public TCustomComPort, public virtual IWinsockPort {
  public:
    using TWsAcceptEvent = std::function<void(TCustomWinsockPort* Sender, TInAddr Addr, bool& Accept)>;

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
    // Enumerates the local host's IPv4 addresses again, then returns the list.
    const std::vector<std::string>& GetWsLocalAddresses();
    void SetWsLocalAddresses(const std::vector<std::string>& List) { WsLocalAddressesValue = List; }
    // Stored only: the layer binds to any local address.
    int32_t GetWsLocalAddressIndex() const { return WsLocalAddressIndexValue; }
    void SetWsLocalAddressIndex(int32_t Value) { WsLocalAddressIndexValue = Value; }
    TSocksServerInfo& WsSocksServerInfo() { return *SocksInfo; }
    bool GetWsConnected() const { return WsConnected; }

    void SetUseMSRShadow(bool Value) override;

    TWsAcceptEvent OnWsAccept;

    // A SOCKS negotiation that gets no complete answer within this many milliseconds
    // fails with 10060 (timed out).
    int32_t SocksTimeoutMs = 20000;

  protected:
    std::unique_ptr<TBaseDispatcher> ActivateDeviceLayer() override;
    void DeviceLayerChanged() override;
    int32_t InitializePort() override;
    void ValidateComport() override;
    void RegisterComPort(bool Enabled) override;
    void TriggerAvail(uint16_t Count) override;
    void PortOpen() override;
    void PortClose() override;
    winsys::LRESULT WindowProc(uint32_t Msg, winsys::WPARAM wParam, winsys::LPARAM lParam) override;

    virtual bool DoAccept(TInAddr Addr);
    virtual void DoConnect();
    virtual void DoDisconnect();
    virtual void DoError(int32_t ErrCode);

  private:
    TWinsockDispatcher& WsDispatcher();
    // The open's socket data: destination (or the proxy) and port, then the socket.
    int32_t OpenSocket(TInAddr Address, uint16_t PortNumber);
    // Reports Code through OnWsError when assigned (result -Code), else raises it.
    int32_t FailOpen(int32_t Code);
    void CheckClosedForChange() const;
    void ContinueSocksNegotiation();
    void SocksFailed(int32_t Code);

    std::string WsAddressValue;
    std::string WsPortValue = "telnet";
    TWsMode WsModeValue = wsClient;
    bool WsTelnetValue = true;
    std::vector<std::string> WsLocalAddressesValue;
    int32_t WsLocalAddressIndexValue = 0;
    std::unique_ptr<TSocksServerInfo> SocksInfo;
    bool WsConnected = false;

    // While a SOCKS negotiation runs: received bytes go to it, not to OnTriggerAvail.
    std::unique_ptr<TSocksNegotiation> Socks;
    bool SocksDone = false;
    bool SocksConnected = false;
    int32_t SocksResult = 0;
};

class TWinsockPort : public TCustomWinsockPort {
  public:
    using TCustomWinsockPort::TCustomWinsockPort;
};

} // namespace port

// The network port component: its settings, the open over the network device layer,
// the port window's socket messages and the connection events with the self-close.
#include "port/WinsockPort.h"

#include "port/PortErrors.h"
#include "port/WinsockDevice.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

namespace port {

namespace {

std::string Trimmed(const std::string& S) {
    const auto first = S.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = S.find_last_not_of(" \t\r\n");
    return S.substr(first, last - first + 1);
}

// The shared device socket, held for the lookups of a setting or an open.
class TLookupSocket {
  public:
    explicit TLookupSocket(winsys::EventLoop* Loop) : Socket(AcquireDeviceSocket(Loop)) {}
    ~TLookupSocket() { ReleaseDeviceSocket(); }
    TLookupSocket(const TLookupSocket&) = delete;
    TLookupSocket& operator=(const TLookupSocket&) = delete;
    TDeviceSocket& Socket;
};

bool EndsConnection(int32_t Code) {
    return Code == 10052 || Code == 10053 || Code == 10054 || Code == 10061;
}

} // namespace

TCustomWinsockPort::TCustomWinsockPort(winsys::EventLoop* Loop)
    : TCustomComPort(Loop), SocksInfo(std::make_unique<TSocksServerInfo>()) {
    DeviceLayers |= LayerBit(dlWinsock);
    if (this->Loop()) {
        try {
            TLookupSocket L(this->Loop());
            EnumHostAddresses(L.Socket, WsLocalAddressesValue);
        } catch (const std::exception&) {
            // An unusable socket library leaves the list empty; opening says why.
            WsLocalAddressesValue.clear();
        }
    }
}

TCustomWinsockPort::~TCustomWinsockPort() {
    // The close's own events must not reach a half-destroyed object's handlers.
    ComponentState |= csDestroying;
    try {
        if (PortState == psOpen) SetOpen(false);
    } catch (const std::exception&) {
        // Nobody to tell; the base releases the rest.
    }
}

// ---- Settings --------------------------------------------------------------------------

void TCustomWinsockPort::CheckClosedForChange() const {
    if (PortState == psOpen) throw ESocketException(ecWsCantChange);
}

void TCustomWinsockPort::SetWsAddress(const std::string& Value) {
    const std::string V = Trimmed(Value);
    if (V == WsAddressValue) return;
    CheckClosedForChange();
    WsAddressValue = V;
}

void TCustomWinsockPort::SetWsPort(const std::string& Value) {
    const std::string V = Trimmed(Value);
    if (V == WsPortValue) return;
    CheckClosedForChange();
    WsPortValue = V;
}

void TCustomWinsockPort::SetWsMode(TWsMode Value) {
    if (Value == WsModeValue) return;
    CheckClosedForChange();
    WsModeValue = Value;
}

const std::vector<std::string>& TCustomWinsockPort::GetWsLocalAddresses() {
    if (Loop()) {
        TLookupSocket L(Loop());
        EnumHostAddresses(L.Socket, WsLocalAddressesValue);
    }
    return WsLocalAddressesValue;
}

void TCustomWinsockPort::SetUseMSRShadow(bool Value) {
    TCustomComPort::SetUseMSRShadow(Value);
    if (GetDeviceLayer() == dlWinsock && GetUseMSRShadow()) TCustomComPort::SetUseMSRShadow(false);
}

void TCustomWinsockPort::ValidateComport() {
    if (GetDeviceLayer() == dlWinsock) return;
    TCustomComPort::ValidateComport();
}

void TCustomWinsockPort::DeviceLayerChanged() {
    if (GetDeviceLayer() == dlWinsock) {
        SetTapiMode(tmOff);
        TCustomComPort::SetUseMSRShadow(false);
    } else {
        SetTapiMode(tmAuto);
    }
}

std::unique_ptr<TBaseDispatcher> TCustomWinsockPort::ActivateDeviceLayer() {
    if (ActivationProc || GetDeviceLayer() != dlWinsock) return TCustomComPort::ActivateDeviceLayer();
    return std::make_unique<TWinsockDispatcher>(this, Loop());
}

TWinsockDispatcher& TCustomWinsockPort::WsDispatcher() {
    auto* D = dynamic_cast<TWinsockDispatcher*>(Dispatcher.get());
    if (!D) throw ESocketException(ecWsNotInit);
    return *D;
}

// ---- Open ------------------------------------------------------------------------------

int32_t TCustomWinsockPort::FailOpen(int32_t Code) {
    if (OnWsError) {
        OnWsError(this, Code);
        return -Code;
    }
    throw ESocketException(Code);
}

int32_t TCustomWinsockPort::OpenSocket(TInAddr Address, uint16_t PortNumber) {
    WsDispatcher().InitSocketData(WsLocalAddressIndexValue, Address, htons(PortNumber),
                                  WsModeValue == wsClient, WsTelnetValue);
    const int32_t R = Dispatcher->InitSocket(GetInSize(), GetOutSize());
    if (R < 0) throw ESocketException(-R);
    PortState = psOpen;
    return 0;
}

int32_t TCustomWinsockPort::InitializePort() {
    if (GetDeviceLayer() != dlWinsock) return TCustomComPort::InitializePort();
    if (!Loop()) throw winsys::Exception("Resource not available");
    TLookupSocket L(Loop());
    TDeviceSocket& S = L.Socket;
    S.CheckLoaded();
    SocksDone = false;
    SocksConnected = false;
    SocksResult = 0;
    TInAddr Address;
    if (WsModeValue == wsClient) {
        Dispatcher->DeviceName = "Winsock client, connect to " + WsAddressValue + " on port " +
                                 WsPortValue;
        if (WsAddressValue.empty()) throw ESocketException(10039);
        if (SocksInfo->GetSocksVersion() != svNone) {
            // Through the proxy: the destination is resolved for the request (SOCKS 4a
            // carries the name), the socket connects to the proxy.
            if (SocksInfo->GetSocksVersion() != svSocks4a &&
                WsDestination(S, WsAddressValue, Address) != 0)
                return FailOpen(ecWsCantResolve);
            if (WsPortNumber(S, WsPortValue) == 0) throw ESocketException(ecWsInvPort);
            TInAddr Proxy;
            if (WsDestination(S, SocksInfo->GetAddress(), Proxy) != 0) {
                SocksDone = true;
                return FailOpen(ecWsCantResolve);
            }
            if (SocksInfo->GetPort() == 0) throw ESocketException(ecWsInvPort);
            return OpenSocket(Proxy, SocksInfo->GetPort());
        }
        if (WsDestination(S, WsAddressValue, Address) != 0) return FailOpen(ecWsCantResolve);
    } else {
        Address.S_addr = 0;
        Dispatcher->DeviceName = "Winsock server on port " + WsPortValue;
    }
    const uint16_t PortNumber = WsPortNumber(S, WsPortValue);
    if (PortNumber == 0) throw ESocketException(ecWsInvPort);
    return OpenSocket(Address, PortNumber);
}

void TCustomWinsockPort::RegisterComPort(bool Enabled) {
    auto* D = dynamic_cast<TWinsockDispatcher*>(Dispatcher.get());
    if (!Enabled && D) D->NotifyWindow = 0;
    TCustomComPort::RegisterComPort(Enabled);
    // The layer delivers accept, connect, close and errors to the port's window.
    if (Enabled && D) D->NotifyWindow = NotifyWindow;
}

void TCustomWinsockPort::PortOpen() {
    if (GetDeviceLayer() == dlWinsock && SocksInfo->GetSocksVersion() != svNone &&
        WsModeValue == wsClient) {
        ContinueSocksNegotiation();
        // The negotiation failed and the connection ended: the port closed itself.
        if (PortState != psOpen) return;
    }
    TCustomComPort::PortOpen();
}

void TCustomWinsockPort::PortClose() {
    TCustomComPort::PortClose();
    if (GetDeviceLayer() == dlWinsock) DoDisconnect();
}

// ---- SOCKS -----------------------------------------------------------------------------

void TCustomWinsockPort::ContinueSocksNegotiation() {
    TSocksRequest Req;
    Req.Version = SocksInfo->GetSocksVersion();
    Req.Name = WsAddressValue;
    Req.UserCode = SocksInfo->GetUserCode();
    Req.Password = SocksInfo->GetPassword();
    {
        TLookupSocket L(Loop());
        Req.Port = WsPortNumber(L.Socket, WsPortValue);
        if (Req.Version != svSocks4a) WsDestination(L.Socket, WsAddressValue, Req.Address);
    }
    Socks = std::make_unique<TSocksNegotiation>(std::move(Req));
    SocksDone = false;
    SocksResult = 0;
    const std::vector<uint8_t> First = Socks->Start();
    // Queued until the proxy's connection completes.
    PutBlock(First.data(), static_cast<uint16_t>(First.size()));
    const int Steps = std::max(1, SocksTimeoutMs / 55);
    for (int Step = 0; Step < Steps && !SocksDone && PortState == psOpen && !Loop()->QuitRequested();
         ++Step)
        Loop()->RunFor(55);
    Socks.reset();
    if (PortState != psOpen) return;
    if (!SocksDone) SocksResult = 10060;
    SocksDone = true;
    if (SocksResult != 0) SocksFailed(SocksResult);
}

void TCustomWinsockPort::SocksFailed(int32_t Code) {
    if (OnWsError)
        OnWsError(this, Code);
    else
        throw ESocketException(Code);
}

void TCustomWinsockPort::TriggerAvail(uint16_t Count) {
    if (!Socks || SocksDone) {
        TCustomComPort::TriggerAvail(Count);
        return;
    }
    // The proxy's replies: exactly the bytes the negotiation awaits, the rest stays for
    // the owner.
    uint8_t Buf[512];
    while (Socks->Needed() > 0 && CharReady()) {
        const size_t N = std::min<size_t>({Socks->Needed(), sizeof Buf, GetInBuffUsed()});
        if (N == 0) break;
        GetBlock(Buf, static_cast<uint16_t>(N));
        std::vector<uint8_t> Send;
        Socks->Feed(std::span<const uint8_t>(Buf, N), Send);
        if (!Send.empty()) PutBlock(Send.data(), static_cast<uint16_t>(Send.size()));
    }
    if (Socks->Done()) {
        SocksResult = Socks->Result();
        SocksDone = true;
    }
}

// ---- The port window -------------------------------------------------------------------

winsys::LRESULT TCustomWinsockPort::WindowProc(uint32_t Msg, winsys::WPARAM wParam,
                                               winsys::LPARAM lParam) {
    if (Msg == SocketCloseMsg) {
        if (PortState == psOpen) SetOpen(false);
        return 0;
    }
    if (Msg != SocketNotifyMsg) return TCustomComPort::WindowProc(Msg, wParam, lParam);
    if (IsDestroying() || PortState != psOpen) return 0;
    switch (wParam) {
    case WsEventAccept:
        return DoAccept(TInAddr{static_cast<uint32_t>(lParam)}) ? 1 : 0;
    case WsEventConnect:
        DoConnect();
        return 0;
    case WsEventClientClosed:
        // The close runs after the current event has returned.
        Loop()->PostMessage(NotifyWindow, SocketCloseMsg, 0, 0);
        return 0;
    case WsEventServerPeerClosed:
        DoDisconnect();
        return 0;
    default:
        DoError(static_cast<int32_t>(wParam));
        return 0;
    }
}

bool TCustomWinsockPort::DoAccept(TInAddr Addr) {
    bool Accept = true;
    if (OnWsAccept) OnWsAccept(this, Addr, Accept);
    return Accept;
}

void TCustomWinsockPort::DoConnect() {
    WsConnected = true;
    if (OnWsConnect) OnWsConnect(this);
}

void TCustomWinsockPort::DoDisconnect() {
    if ((WsConnected || WsModeValue == wsServer) && OnWsDisconnect && !IsDestroying())
        OnWsDisconnect(this);
    WsConnected = false;
}

void TCustomWinsockPort::DoError(int32_t ErrCode) {
    if (EndsConnection(ErrCode)) {
        if (WsModeValue == wsClient)
            Loop()->PostMessage(NotifyWindow, SocketCloseMsg, 0, 0);
        else
            DoDisconnect();
    }
    if (OnWsError) OnWsError(this, ErrCode);
}

} // namespace port

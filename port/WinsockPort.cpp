#include "port/WinsockPort.h"

#include "port/ByteOrder.h"
#include "port/PortErrors.h"
#include "port/WinsockDevice.h"

#include <utility>

namespace port {

namespace {

// Leading and trailing blanks and control characters go.
std::string Trim(const std::string& S) {
    size_t first = 0, last = S.size();
    while (first < last && static_cast<unsigned char>(S[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(S[last - 1]) <= ' ')
        --last;
    return S.substr(first, last - first);
}

// How long a SOCKS proxy may take to answer before the negotiation gives up: without a
// limit a silent proxy would hold the window thread for ever.
constexpr int64_t SocksTimeLimitMs = 30000;

bool ClosesTheConnection(int32_t ErrCode) {
    return ErrCode == 10052 || ErrCode == 10053 || ErrCode == 10054 || ErrCode == 10061;
}

} // namespace

TCustomWinsockPort::TCustomWinsockPort(winsys::EventLoop* Loop)
    : TCustomComPort(Loop), Library(std::make_unique<TSocket>(nullptr)) {
    DeviceLayers |= LayerBit(dlWinsock);
    EnumHostAddresses(*Library, WsLocalAddressesValue);
}

TCustomWinsockPort::~TCustomWinsockPort() {
    // Close while this class's part is still there: the close ends with DoDisconnect.
    ComponentState |= csDestroying;
    try {
        if (GetPortState() == psOpen) SetOpen(false);
    } catch (const std::exception&) {
    }
}

void TCustomWinsockPort::SetWsAddress(const std::string& Value) {
    std::string v = Trim(Value);
    if (v == WsAddressValue) return;
    if (GetPortState() == psOpen) throw ESocketException(9006);
    WsAddressValue = v;
}

void TCustomWinsockPort::SetWsPort(const std::string& Value) {
    std::string v = Trim(Value);
    if (v == WsPortValue) return;
    if (GetPortState() == psOpen) throw ESocketException(9006);
    WsPortValue = v;
}

void TCustomWinsockPort::SetWsMode(TWsMode Value) {
    if (Value == WsModeValue) return;
    if (GetPortState() == psOpen) throw ESocketException(9006);
    WsModeValue = Value;
}

const std::vector<std::string>& TCustomWinsockPort::GetWsLocalAddresses() {
    EnumHostAddresses(*Library, WsLocalAddressesValue);
    return WsLocalAddressesValue;
}

void TCustomWinsockPort::SetUseMSRShadow(bool Value) {
    TCustomComPort::SetUseMSRShadow(Value);
    if (GetDeviceLayer() == dlWinsock && GetUseMSRShadow()) TCustomComPort::SetUseMSRShadow(false);
}

void TCustomWinsockPort::DeviceLayerChanged() {
    if (GetDeviceLayer() == dlWinsock) {
        SetTapiMode(tmOff);
        SetUseMSRShadow(false);
    } else {
        SetTapiMode(tmAuto);
    }
}

void TCustomWinsockPort::ValidateComport() {
    if (GetDeviceLayer() == dlWinsock) return; // no port number, no selection dialog
    TCustomComPort::ValidateComport();
}

std::unique_ptr<TBaseDispatcher> TCustomWinsockPort::ActivateDeviceLayer() {
    if (!ActivationProc && GetDeviceLayer() == dlWinsock)
        return std::make_unique<TWinsockDispatcher>(this, Loop());
    return TCustomComPort::ActivateDeviceLayer();
}

int32_t TCustomWinsockPort::Unresolved(int32_t Code) {
    if (OnWsError) {
        OnWsError(this, Code);
        return -Code;
    }
    throw ESocketException(Code);
}

TWinsockDispatcher* TCustomWinsockPort::WsDispatcher() const {
    return dynamic_cast<TWinsockDispatcher*>(Dispatcher.get());
}

int32_t TCustomWinsockPort::InitializePort() {
    if (GetDeviceLayer() != dlWinsock || !WsDispatcher()) return TCustomComPort::InitializePort();
    TWinsockDispatcher& D = *WsDispatcher();
    Library->CheckLoaded(); // "Winsock not initialized - ..." before anything else
    TInAddr Address{0};
    const bool client = WsModeValue == wsClient;
    if (client) {
        D.DeviceName = "Winsock client, connect to " + WsAddressValue + " on port " + WsPortValue;
        if (WsAddressValue.empty()) throw ESocketException(10039);
        if (SocksInfo.GetSocksVersion() != svNone) return OpenSocksConnection();
        if (WsDestination(*Library, WsAddressValue, Address) != 0) return Unresolved(9007);
    } else {
        D.DeviceName = "Winsock server on port " + WsPortValue;
    }
    uint16_t portNumber = WsPortNumber(*Library, WsPortValue);
    if (portNumber == 0) throw ESocketException(9005);
    D.InitSocketData(WsLocalAddressIndexValue, Address, HostToNet16(portNumber), client,
                     WsTelnetValue);
    int32_t r = D.InitSocket(GetInSize(), GetOutSize());
    if (r < 0) throw ESocketException(-r);
    PortState = psOpen;
    return 0;
}

int32_t TCustomWinsockPort::OpenSocksConnection() {
    TWinsockDispatcher& D = *WsDispatcher();
    SocksDone = false;
    SocksError = 0;
    TSocksRequest req;
    req.Version = SocksInfo.GetSocksVersion();
    req.Name = WsAddressValue;
    req.UserCode = SocksInfo.GetUserCode();
    req.Password = SocksInfo.GetPassword();
    // SOCKS 4a leaves the destination's name to the proxy; the others need its address.
    if (req.Version != svSocks4a && WsDestination(*Library, WsAddressValue, req.Address) != 0) {
        SocksDone = true;
        return Unresolved(9007);
    }
    req.Port = WsPortNumber(*Library, WsPortValue);
    if (req.Port == 0 || SocksInfo.GetPort() == 0) throw ESocketException(9005);
    TInAddr proxy;
    if (WsDestination(*Library, SocksInfo.GetAddress(), proxy) != 0) {
        SocksDone = true;
        return Unresolved(9007);
    }
    // Telnet processing starts after the negotiation: the proxy speaks plain bytes.
    D.InitSocketData(WsLocalAddressIndexValue, proxy, HostToNet16(SocksInfo.GetPort()), true,
                     false);
    int32_t r = D.InitSocket(GetInSize(), GetOutSize());
    if (r < 0) {
        SocksDone = true;
        return Unresolved(-r);
    }
    Socks.emplace(req);
    PortState = psOpen;
    return 0;
}

void TCustomWinsockPort::ContinueSocksNegotiation() {
    // The replies must be announced even when the owner assigned no data event.
    Dispatcher->UpdateHandlerFlags(fuEnablePort);
    std::vector<uint8_t> first = Socks->Start();
    PutBlock(first.data(), static_cast<uint16_t>(first.size())); // goes out once connected
    winsys::Clock& clock = Loop()->GetClock();
    const int64_t until = clock.NowMs() + SocksTimeLimitMs;
    for (int step = 0; step < 100000 && !SocksDone && GetPortState() == psOpen &&
                       !Loop()->QuitRequested() && clock.NowMs() < until;
         ++step)
        Loop()->RunFor(MSecsPerTick);
    const bool open = GetPortState() == psOpen;
    if (!SocksDone && open) SocksFailed(10060); // the proxy never answered
    Socks.reset();
    ConnectHeld = false;
    if (open) UpdateHandlerFlag();
    // Without a handler the failure is the open's, even when the proxy's close has
    // already closed the port.
    if (SocksError != 0 && !OnWsError) throw ESocketException(std::exchange(SocksError, 0));
}

void TCustomWinsockPort::SocksFailed(int32_t Code) {
    SocksDone = true;
    SocksError = Code;
    if (OnWsError) OnWsError(this, Code);
}

void TCustomWinsockPort::TriggerAvail(uint16_t Count) {
    if (!Socks || SocksDone) {
        TCustomComPort::TriggerAvail(Count);
        return;
    }
    // The negotiation takes exactly the bytes of its replies; what follows them is the
    // destination's and goes to the owner.
    std::vector<uint8_t> send;
    uint16_t taken = 0;
    while (taken < Count && !Socks->Done()) {
        uint8_t b = static_cast<uint8_t>(GetChar());
        ++taken;
        Socks->Feed({&b, 1}, send);
    }
    if (!send.empty()) PutBlock(send.data(), static_cast<uint16_t>(send.size()));
    if (!Socks->Done()) return;
    SocksDone = true;
    if (Socks->Result() != 0) {
        SocksFailed(Socks->Result());
        return;
    }
    if (TWinsockDispatcher* D = WsDispatcher())
        if (TWsConnection* c = D->Connection()) c->IsTelnet = WsTelnetValue;
    if (std::exchange(ConnectHeld, false)) DoConnect();
    if (taken < Count && GetPortState() == psOpen)
        TCustomComPort::TriggerAvail(static_cast<uint16_t>(Count - taken));
}

void TCustomWinsockPort::PortOpen() {
    if (TWinsockDispatcher* D = WsDispatcher()) {
        D->NotifyWindow = NotifyWindow;
        if (Socks) ContinueSocksNegotiation();
        if (GetPortState() != psOpen) return; // closed during the negotiation
    }
    TCustomComPort::PortOpen();
}

void TCustomWinsockPort::PortClose() {
    TCustomComPort::PortClose();
    if (GetDeviceLayer() == dlWinsock) DoDisconnect();
}

winsys::LRESULT TCustomWinsockPort::WindowProc(uint32_t Msg, winsys::WPARAM wParam,
                                               winsys::LPARAM lParam) {
    if (Msg == SocketNotifyMsg) {
        // The Ws events are this port's notifications: a close from their handlers is
        // finished after them, as one from OnTriggerAvail is.
        winsys::LRESULT Result = 0;
        AsNotification([&] {
            switch (wParam) {
            case WsEventAccept:
                Result = DoAccept(TInAddr{static_cast<uint32_t>(lParam)}) ? 1 : 0;
                break;
            case WsEventConnect:
                DoConnect();
                break;
            case WsEventClientClosed:
                Loop()->PostMessage(NotifyWindow, SocketCloseMsg, 0, 0);
                break;
            case WsEventServerPeerClosed:
                DoDisconnect();
                break;
            default:
                DoError(static_cast<int32_t>(wParam));
                break;
            }
        });
        return Result;
    }
    if (Msg == SocketCloseMsg) {
        SetOpen(false);
        return 0;
    }
    return TCustomComPort::WindowProc(Msg, wParam, lParam);
}

bool TCustomWinsockPort::DoAccept(TInAddr Addr) {
    bool Accept = true;
    if (OnWsAccept) OnWsAccept(this, Addr, Accept);
    return Accept;
}

void TCustomWinsockPort::DoConnect() {
    // Through a proxy the connection is there once the proxy has connected us; until
    // then the owner has heard of no connection, so none can end for it either.
    if (Socks && !SocksDone) {
        ConnectHeld = true;
        return;
    }
    WsConnected = true;
    if (OnWsConnect) OnWsConnect(this);
}

void TCustomWinsockPort::DoDisconnect() {
    if ((WsConnected || WsModeValue == wsServer) && OnWsDisconnect) OnWsDisconnect(this);
    WsConnected = false;
}

void TCustomWinsockPort::DoError(int32_t ErrCode) {
    if (ClosesTheConnection(ErrCode)) {
        if (WsModeValue == wsClient)
            Loop()->PostMessage(NotifyWindow, SocketCloseMsg, 0, 0);
        else
            DoDisconnect();
    }
    if (Socks && !SocksDone) { // the proxy connection failed: the negotiation is over
        SocksDone = true;
        SocksError = ErrCode;
    }
    if (OnWsError) OnWsError(this, ErrCode);
}

} // namespace port

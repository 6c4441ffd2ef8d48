#include "port/WinsockDevice.h"

#include "port/PortList.h"

#include <algorithm>

namespace port {

namespace {

constexpr unsigned AllSocketEvents = FdRead | FdWrite | FdAccept | FdConnect | FdClose; // 59
constexpr unsigned DispatchIntervalMs = 50;

std::unique_ptr<TDeviceSocket> Instance;
int InstanceUsers = 0;

// Network reset, connection aborted, connection reset by the peer.
bool EndsTheConnection(int ErrCode) {
    return ErrCode == 10052 || ErrCode == 10053 || ErrCode == 10054;
}

TDispatchSubType TelnetSubType(TTelnetLogKind Kind) {
    switch (Kind) {
    case TTelnetLogKind::SWill:
        return dstSWill;
    case TTelnetLogKind::SWont:
        return dstSWont;
    case TTelnetLogKind::SDo:
        return dstSDo;
    case TTelnetLogKind::SDont:
        return dstSDont;
    case TTelnetLogKind::RWill:
        return dstRWill;
    case TTelnetLogKind::RWont:
        return dstRWont;
    case TTelnetLogKind::RDo:
        return dstRDo;
    case TTelnetLogKind::RDont:
        return dstRDont;
    case TTelnetLogKind::Command:
        return dstCommand;
    case TTelnetLogKind::STerm:
        return dstSTerm;
    }
    return dstNone;
}

} // namespace

// ---- The shared device socket ----------------------------------------------------------

TDeviceSocket& AcquireDeviceSocket(winsys::EventLoop* Loop) {
    if (Instance && Instance->GetLoop() != Loop)
        throw winsys::Exception("Network ports of more than one window thread");
    if (!Instance) Instance = std::make_unique<TDeviceSocket>(Loop);
    ++InstanceUsers;
    return *Instance;
}

void ReleaseDeviceSocket() {
    if (InstanceUsers == 0 || --InstanceUsers > 0) return;
    // The last connection may close from inside one of the socket's own notifications;
    // the socket goes once that has returned.
    TDeviceSocket* socket = Instance.release();
    socket->WhenIdle([socket] { delete socket; });
}

TDeviceSocket* CurrentDeviceSocket() {
    return Instance.get();
}

TDeviceSocket::TDeviceSocket(winsys::EventLoop* Loop) : TSocket(Loop) {}

TDeviceSocket::~TDeviceSocket() = default;

TWsConnection* TDeviceSocket::AddConnection(uint32_t InSize, uint32_t OutSize) {
    std::lock_guard lock(ListLock);
    Connections.push_back(std::make_unique<TWsConnection>(*this, InSize, OutSize));
    Connections.back()->TermTypeSource = &TermType;
    return Connections.back().get();
}

void TDeviceSocket::RemoveConnection(TWsConnection* Connection) {
    std::lock_guard lock(ListLock);
    auto it = std::find_if(Connections.begin(), Connections.end(),
                           [&](const auto& c) { return c.get() == Connection; });
    if (it != Connections.end()) Connections.erase(it);
    LastFoundSocket = InvalidSocket;
    LastFoundConnection = nullptr;
}

TWsConnection* TDeviceSocket::FindConnection(TSocketHandle Socket) {
    std::lock_guard lock(ListLock);
    if (Socket == InvalidSocket) return nullptr;
    if (LastFoundConnection && Socket == LastFoundSocket) return LastFoundConnection;
    for (const auto& c : Connections)
        if (c->DataSocket == Socket || c->CommSocket == Socket) {
            LastFoundSocket = Socket;
            LastFoundConnection = c.get();
            return c.get();
        }
    return nullptr;
}

TSocketHandle TDeviceSocket::TweakSocket(TSocketHandle Socket) {
    TWsConnection* c = FindConnection(Socket);
    return c ? c->CommSocket : InvalidSocket;
}

winsys::LRESULT TDeviceSocket::DoDispMessage(TSocketHandle Socket, unsigned,
                                             winsys::LPARAM LParam) {
    TWsConnection* c = FindConnection(Socket);
    if (!c || !c->Dispatcher || !c->Dispatcher->Window()) return 0;
    return GetLoop()->SendMessage(c->Dispatcher->Window(), SocketNotifyMsg,
                                  static_cast<winsys::WPARAM>(Socket), LParam);
}

winsys::LRESULT TDeviceSocket::DoWsMessage(TSocketHandle Socket, int Event, winsys::LPARAM LParam) {
    TWsConnection* c = FindConnection(Socket);
    if (!c || !c->Dispatcher || !c->Dispatcher->NotifyWindow) return 0;
    TWinsockDispatcher* d = c->Dispatcher;
    int32_t handle = d->PortHandle();
    bool wasBusy = false;
    d->SetEventBusy(wasBusy, true);
    // The port's handler may close the port and free the dispatcher: it is looked up
    // again afterwards.
    auto restore = [&] {
        if (GetTComRecPtr<TWinsockDispatcher>(handle) == d) {
            bool ignored;
            d->SetEventBusy(ignored, wasBusy);
        }
    };
    winsys::LRESULT r;
    try {
        r = GetLoop()->SendMessage(d->NotifyWindow, SocketNotifyMsg,
                                   static_cast<winsys::WPARAM>(Event), LParam);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return r;
}

void TDeviceSocket::ReportError(TSocketHandle Socket, int ErrCode) {
    // A failure of a call made inside a dispatch pass or a port operation: the port
    // hears of it once that has returned, so its handler never runs inside them.
    PostError(Socket, ErrCode);
}

void TDeviceSocket::ForgetPeer(TWsConnection& c) {
    if (c.Dispatcher) c.Dispatcher->RemoteAddr = TSockAddrIn{};
    c.DataSocket = InvalidSocket;
    c.SetConnectionState(wcsInit);
    c.FlushInBuffer();
    c.FlushOutBuffer();
}

void TDeviceSocket::DoRead(TSocketHandle Socket) {
    TSocketHandle comm = TweakSocket(Socket);
    if (comm != InvalidSocket) DoDispMessage(comm, FdRead, 0);
    TSocket::DoRead(Socket);
}

void TDeviceSocket::DoWrite(TSocketHandle Socket) {
    // The socket takes data again: what it refused goes now, not at the next tick.
    if (TWsConnection* c = FindConnection(Socket); c && c->DataSocket == Socket)
        c->WriteBuf(nullptr, 0);
    TSocket::DoWrite(Socket);
}

void TDeviceSocket::DoConnect(TSocketHandle Socket) {
    TWsConnection* c = FindConnection(Socket);
    if (!c) return;
    c->SetConnectionState(wcsConnected);
    if (c->IsClient) c->DataSocket = Socket;
    c->WriteBuf(nullptr, 0); // what was written while connecting
    DoWsMessage(Socket, WsEventConnect, 0);
    TSocket::DoConnect(Socket);
}

void TDeviceSocket::DoAccept(TSocketHandle Socket) {
    TWsConnection* c = FindConnection(Socket);
    if (!c || !c->Dispatcher) {
        TSocket::DoAccept(Socket);
        return;
    }
    TSockAddrIn peer;
    TSocketHandle accepted = AcceptSocket(Socket, peer);
    if (c->DataSocket != InvalidSocket) {
        // One peer at a time: a further one is closed at once.
        if (accepted != InvalidSocket) CloseSocket(accepted);
        return;
    }
    if (accepted == InvalidSocket) {
        c->Dispatcher->RemoteAddr = TSockAddrIn{};
        return;
    }
    c->DataSocket = accepted;
    c->Dispatcher->RemoteAddr = peer;
    winsys::LRESULT reply =
        DoWsMessage(Socket, WsEventAccept, static_cast<winsys::LPARAM>(peer.sin_addr.S_addr));
    c = FindConnection(Socket); // the handler may have closed the port
    if (c && c->DataSocket == accepted) {
        if (reply == 1) {
            c->SetConnectionState(wcsConnected);
            c->WriteBuf(nullptr, 0);
        } else {
            CloseSocket(accepted);
            if (c->Dispatcher) c->Dispatcher->RemoteAddr = TSockAddrIn{};
            c->DataSocket = InvalidSocket;
        }
    }
    TSocket::DoAccept(Socket);
}

void TDeviceSocket::DoDisconnect(TSocketHandle Socket) {
    TWsConnection* c = FindConnection(Socket);
    if (c) {
        TSocketHandle comm = c->CommSocket;
        // The peer's last bytes reach the port before its end does.
        DoDispMessage(comm, FdRead, 0);
        c = FindConnection(comm);
    }
    if (c) {
        TSocketHandle comm = c->CommSocket;
        bool clientEnded = Socket == comm;
        if (c->Dispatcher) {
            c->Dispatcher->RemoteAddr = TSockAddrIn{};
            c->DataSocket = InvalidSocket;
            c->SetConnectionState(wcsInit);
            if (!clientEnded) {
                c->FlushInBuffer();
                c->FlushOutBuffer();
            }
        }
        if (clientEnded) {
            DoWsMessage(comm, WsEventClientClosed, 0);
        } else {
            DoWsMessage(comm, WsEventServerPeerClosed, 0);
            CloseSocket(Socket);
        }
    }
    TSocket::DoDisconnect(Socket);
}

void TDeviceSocket::DoError(TSocketHandle Socket, int ErrCode) {
    TSocketHandle comm = TweakSocket(Socket);
    if (comm != InvalidSocket) {
        TWsConnection* c = FindConnection(Socket);
        bool serversPeer = c && !c->IsClient && Socket != comm && Socket == c->DataSocket;
        if (serversPeer && EndsTheConnection(ErrCode)) {
            // The peer is gone as surely as after a clean close: listen for the next.
            ForgetPeer(*c);
            CloseSocket(Socket);
        }
        DoWsMessage(comm, ErrCode, 0);
    }
    if (OnError) OnError(*this, Socket, ErrCode);
}

// ---- The dispatcher --------------------------------------------------------------------

TWinsockDispatcher::TWinsockDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop)
    : TBaseDispatcher(Owner, Loop) {}

TWinsockDispatcher::~TWinsockDispatcher() {
    Destroy();
}

void TWinsockDispatcher::InitSocketData(int32_t, TInAddr Address, uint16_t Port, bool Client,
                                        bool Telnet) {
    IsClient = Client;
    IsTelnet = Telnet;
    RemoteAddr = TSockAddrIn{};
    RemoteAddr.sin_family = AfInet;
    RemoteAddr.sin_port = Port;
    RemoteAddr.sin_addr = Address;
    LocalAddr = TSockAddrIn{};
    LocalAddr.sin_family = AfInet;
    LocalAddr.sin_addr.S_addr = InAddrAny;
    if (!Client) LocalAddr.sin_port = Port;
}

TWsConnection* TWinsockDispatcher::Connection() {
    return Device ? Device->FindConnection(DeviceHandle()) : nullptr;
}

void TWinsockDispatcher::ConnectionChanged() {
    MapEventsToMS();
}

void TWinsockDispatcher::LogTelnet(const std::vector<TTelnetLogEntry>& Entries,
                                   const std::string& TermType) {
    for (const TTelnetLogEntry& e : Entries) {
        if (e.Kind == TTelnetLogKind::STerm)
            AddDispatchEntry(dtTelnet, dstSTerm, 0, TermType.data(),
                             static_cast<uint32_t>(TermType.size()));
        else
            AddDispatchEntry(dtTelnet, TelnetSubType(e.Kind), e.Data, nullptr, 0);
    }
}

winsys::LRESULT TWinsockDispatcher::Dispatcher(uint32_t, winsys::WPARAM WParam, winsys::LPARAM) {
    if (InDispatch) return 0;
    if (CloseDeferred()) {
        DonePortPrim();
        return 0;
    }
    InDispatch = true;
    struct Leave {
        bool& Flag;
        ~Leave() { Flag = false; }
    } leave{InDispatch};

    RefreshStatus();
    bool received;
    {
        std::lock_guard lock(StatusLock);
        received = DeviceStatus.cbInQue > 0;
    }
    if (received) ExtractData();
    if (WParam == 0 && !InNotify()) {
        StatusHitPending = false;
        // Each round delivers a notification; the bound only guards against a handler
        // that keeps a trigger firing for ever.
        for (int round = 0; round < 256 && CheckTriggers() && !CloseDeferred(); ++round) {
        }
        if (StatusHitPending.load()) ResetStatusHits();
    } else if (LogActive()) {
        AddDispatchEntry(dtError, dstNone, 0, nullptr, 0);
    }
    InDispatch = false;
    if (CloseDeferred()) DonePortPrim();
    return 0;
}

winsys::LRESULT TWinsockDispatcher::DispatcherWindowProc(uint32_t Msg, winsys::WPARAM,
                                                         winsys::LPARAM lParam) {
    if (Msg == SocketNotifyMsg) return Dispatcher(SocketNotifyMsg, 0, lParam);
    return 0;
}

void TWinsockDispatcher::StartDispatcher() {
    if (ThreadsActive()) throw winsys::Exception("Dispatcher already started");
    if (!Loop()) throw winsys::Exception("Resource not available");
    SetThreadsActive(true);
    NotifyTimer = Loop()->StartTimer(DispatchIntervalMs, [this] {
        Dispatcher(0, 0, static_cast<winsys::LPARAM>(TimeGetTime()));
    });
    if (NotifyTimer == 0) {
        SetThreadsActive(false);
        throw winsys::Exception("Resource not available");
    }
    CreateDispatcherWindow();
}

void TWinsockDispatcher::StopDispatcher() {
    if (!ThreadsActive()) return;
    if (Loop() && NotifyTimer) Loop()->StopTimer(NotifyTimer);
    NotifyTimer = 0;
    DestroyDispatcherWindow();
    SetThreadsActive(false);
}

int32_t TWinsockDispatcher::OpenCom(const char*, int32_t InQueue, int32_t OutQueue) {
    TDeviceSocket& device = AcquireDeviceSocket(Loop());
    try {
        TWsConnection* c = device.AddConnection(static_cast<uint32_t>(std::max(InQueue, 1)),
                                                static_cast<uint32_t>(std::max(OutQueue, 0)));
        Device = &device;
        return c->CommSocket;
    } catch (const ESocketException& e) {
        ReleaseDeviceSocket();
        return -e.ErrorCode;
    }
}

bool TWinsockDispatcher::SetupCom(int32_t, int32_t) {
    TWsConnection* c = Connection();
    if (!c) return false;
    TSocketHandle s = DeviceHandle();
    auto failed = [&](int r) { return r == -1 && Device->GetLastError() != 10035; };
    int32_t on = -1;
    if (failed(Device->SetSocketOptions(s, SolSocket, SoReuseAddr, &on, sizeof on))) return false;
    if (failed(Device->BindSocket(s, LocalAddr))) return false;
    if (failed(Device->SetAsyncStyles(s, AllSocketEvents))) return false;
    c->IsClient = IsClient;
    c->IsTelnet = IsTelnet;
    c->Dispatcher = this;
    if (IsClient) return !failed(Device->ConnectSocket(s, RemoteAddr));
    return !failed(Device->ListenSocket(s, 5));
}

int32_t TWinsockDispatcher::CloseCom() {
    TWsConnection* c = Connection();
    if (!c) return -1;
    c->Shutdown();
    Device->RemoveConnection(c);
    Device = nullptr;
    RemoteAddr = TSockAddrIn{};
    ReleaseDeviceSocket();
    return 0;
}

int32_t TWinsockDispatcher::ReadCom(void* Buf, int32_t Size) {
    TWsConnection* c = Connection();
    if (!c || !c->GetConnected()) return 0;
    return c->ReadBuf(Buf, Size);
}

int32_t TWinsockDispatcher::WriteCom(const void* Buf, int32_t Size) {
    TWsConnection* c = Connection();
    return c ? c->WriteBuf(Buf, Size) : 0;
}

uint32_t TWinsockDispatcher::GetComError(TComStat& Stat) {
    if (TWsConnection* c = Connection()) {
        Stat.cbInQue = static_cast<uint32_t>(c->GetInChars());
        Stat.cbOutQue = static_cast<uint32_t>(c->GetOutChars());
    }
    int code = Device ? Device->GetLastError() : 0;
    return code == 10035 ? 0 : static_cast<uint32_t>(code);
}

int32_t TWinsockDispatcher::FlushCom(int32_t Queue) {
    if (TWsConnection* c = Connection()) {
        if (Queue == 0)
            c->FlushOutBuffer();
        else
            c->FlushInBuffer();
    }
    return 0;
}

int32_t TWinsockDispatcher::GetComState(TDCB& DCB) {
    DCB.BaudRate = 19200;
    DCB.ByteSize = 8;
    DCB.Parity = 0;
    DCB.StopBits = ONESTOPBIT;
    return 0;
}

int32_t TWinsockDispatcher::SetComState(TDCB&) {
    return 0;
}
int32_t TWinsockDispatcher::EscapeComFunction(int32_t) {
    return 0;
}
int32_t TWinsockDispatcher::GetComEventMask(int32_t) {
    return 0;
}
bool TWinsockDispatcher::WaitComEvent(uint32_t&) {
    return true;
}
void TWinsockDispatcher::SetComEventMask(uint32_t) {}
int32_t TWinsockDispatcher::ProcessCommunications() {
    return static_cast<int32_t>(Dispatcher(0, 1, 0));
}
int32_t TWinsockDispatcher::TransmitCom(const void*, int32_t) {
    return 0;
}
void TWinsockDispatcher::CancelTransmit() {}

uint8_t TWinsockDispatcher::GetComModemStatus() {
    TWsConnection* c = Connection();
    return c && c->GetConnected() ? MsrDcd : 0;
}

} // namespace port

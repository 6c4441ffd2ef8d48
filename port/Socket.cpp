// TSocket's own life: the start of the socket library, the notification window, the
// delivery of events and errors to the handlers, and the last error of each thread.
// The socket calls are in SocketCalls.cpp, the asynchronous notifications in
// SocketAsync.cpp, names and addresses in SocketLookup.cpp.
#include "port/Socket.h"

#include "port/PortErrors.h"
#include "port/SocketAsync.h"

#include <cerrno>
#include <utility>

namespace port {

namespace {

// The socket library's last error belongs to the calling thread, as errno does.
thread_local int LastError = 0;

} // namespace

void TSocket::SetLast(int Code) {
    LastError = Code;
}

void TSocket::SetLastFromErrno() {
    LastError = TranslateSocketError(errno);
}

TSocket::TSocket(winsys::EventLoop* loop) : Loop(loop), Async(std::make_unique<TAsyncTable>()) {
    Loaded = LoadWinsock();
    if (!Loaded) {
        StartError = ecWsLoadError;
        ShowErrorMessage(StartError);
        return;
    }
    const int started = SockFuncs.WSAStartup(WinsockVersion11, &WsaData);
    if (started != 0) {
        StartError = started;
        ShowErrorMessage(StartError);
        return;
    }
    if (WsaData.wVersion != WinsockVersion11) {
        StartError = ecWsVersionError;
        ShowErrorMessage(StartError);
    }
    if (Loop)
        Handle = Loop->CreateWindow(
            [this](winsys::HWND, uint32_t msg, winsys::WPARAM wParam, winsys::LPARAM lParam) {
                winsys::LRESULT result = 0;
                Notification([&] { result = WndProc(msg, wParam, lParam); });
                return result;
            });
}

TSocket::~TSocket() {
    StopWatching();
    if (Loaded && SockFuncs.WSACleanup) SockFuncs.WSACleanup();
    if (Handle) Loop->DestroyWindow(Handle);
}

void TSocket::CheckLoaded() const {
    if (StartError != 0) throw ESocketException(StartError, "");
}

int TSocket::GetLastError() const {
    return LastError;
}

winsys::LRESULT TSocket::WndProc(uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam) {
    switch (Msg) {
    case SocketNotifyMsg:
        CMSocketMessage(WParam, LParam);
        return 0;
    case DeferredConnectMsg:
        DeliverDeferredConnect(static_cast<TSocketHandle>(WParam), static_cast<uint64_t>(LParam));
        return 0;
    case PostedErrorMsg:
        DeliverPostedError(static_cast<uint64_t>(LParam));
        return 0;
    case WmQueryEndSession:
        return 1;
    default:
        return 0; // no default handling: unhandled messages are neither passed on nor answered
    }
}

void TSocket::CMSocketMessage(winsys::WPARAM WParam, winsys::LPARAM LParam) {
    auto socket = static_cast<TSocketHandle>(WParam);
    if (int error = SelectError(LParam)) {
        DoError(socket, error);
        return;
    }
    switch (SelectEvent(LParam)) {
    case FdRead:
        DoRead(socket);
        break;
    case FdWrite:
        DoWrite(socket);
        break;
    case FdAccept:
        DoAccept(socket);
        break;
    case FdConnect:
        DoConnect(socket);
        break;
    case FdClose:
        DoDisconnect(socket);
        break;
    default:
        break;
    }
}

void TSocket::DoAccept(TSocketHandle Socket) {
    if (OnAccept) OnAccept(*this, Socket);
}
void TSocket::DoConnect(TSocketHandle Socket) {
    if (OnConnect) OnConnect(*this, Socket);
}
void TSocket::DoDisconnect(TSocketHandle Socket) {
    if (OnDisconnect) OnDisconnect(*this, Socket);
}
void TSocket::DoRead(TSocketHandle Socket) {
    if (OnRead) OnRead(*this, Socket);
}
void TSocket::DoWrite(TSocketHandle Socket) {
    if (OnWrite) OnWrite(*this, Socket);
}
void TSocket::DoError(TSocketHandle Socket, int ErrCode) {
    if (!OnError) throw ESocketException(ErrCode);
    OnError(*this, Socket, ErrCode);
}
void TSocket::ShowErrorMessage(int) {}
void TSocket::ReportError(TSocketHandle Socket, int ErrCode) {
    DoError(Socket, ErrCode);
}

void TSocket::WhenIdle(std::function<void()> Action) {
    if (NotifyDepth == 0) {
        Action();
        return;
    }
    IdleAction = std::move(Action);
}

void TSocket::Report(TSocketHandle Socket, bool PassWouldBlock) {
    const int code = LastError;
    if (PassWouldBlock && code == WsaEWouldBlock) return;
    ReportError(Socket, code);
}

} // namespace port

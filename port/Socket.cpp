// TSocket's notification window and its end, the delivery of events and errors to the
// handlers, and the last error of each thread. The start of the socket library and the
// window's messages are the platform's (SocketLinux.cpp, SocketWin32.cpp); see Socket.h
// for the other concerns.
#include "port/Socket.h"

#include "port/PortErrors.h"

#include "SockFuncs.h"
#include "SocketAsync.h"

#include <utility>

namespace port {

namespace {

// The socket library's last error belongs to the calling thread, as errno does.
thread_local int LastError = 0;

} // namespace

void TSocket::OpenNotificationWindow() {
    if (!Loop) return;
    Handle = Loop->CreateWindow(
        [this](winsys::HWND, uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam) {
            winsys::LRESULT Result = 0;
            Notification([&] { Result = WndProc(Msg, WParam, LParam); });
            return Result;
        });
}

TSocket::~TSocket() {
    StopWatching();
    if (Loaded && SockFuncs.WSACleanup) SockFuncs.WSACleanup();
    if (Handle) Loop->DestroyWindow(Handle);
}

void TSocket::SetLast(int Code) {
    LastError = Code;
}

void TSocket::CheckLoaded() const {
    if (StartError != 0) throw ESocketException(StartError, "");
}

int TSocket::GetLastError() const {
    return LastError;
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

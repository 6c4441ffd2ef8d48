// TSocket's own life on Linux: the start of the socket library (the BSD socket table),
// the notification window and its messages, and the last error taken from errno.
#include "port/Socket.h"

#include "port/PortErrors.h"

#include "SockFuncs.h"
#include "SocketAsync.h"

#include <cerrno>

namespace port {

void TSocket::SetLastFromErrno() {
    SetLast(TranslateSocketError(errno));
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
    OpenNotificationWindow();
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

} // namespace port

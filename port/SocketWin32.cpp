// TSocket's own life on Windows: the start of the socket library, loaded at run time
// (SocketLib.h), the notification window and its messages, and the last error as the
// library reports it to the calling thread.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"
#include "SocketAsync.h"

namespace port {

void TSocket::SetLastFromLibrary() {
    SetLast(SockFuncs.WSAGetLastError());
}

TSocket::TSocket(winsys::EventLoop* Loop_) : Loop(Loop_), Async(std::make_unique<TAsyncTable>()) {
    Loaded = LoadWinsock();
    if (!Loaded) {
        StartError = ecWsLoadError;
        ShowErrorMessage(StartError);
        return;
    }
    WSADATA Data{};
    int r = SockFuncs.WSAStartup(WinsockVersion11, &Data);
    if (r != 0) {
        StartError = r;
        ShowErrorMessage(StartError);
        return;
    }
    WsaData.wVersion = Data.wVersion;
    WsaData.wHighVersion = Data.wHighVersion;
    WsaData.szDescription = Data.szDescription;
    WsaData.szSystemStatus = Data.szSystemStatus;
    if (WsaData.wVersion != WinsockVersion11) {
        StartError = ecWsVersionError;
        ShowErrorMessage(StartError);
    }
    OpenNotificationWindow();
}

winsys::LRESULT TSocket::WndProc(uint32_t Msg, winsys::WPARAM WParam, winsys::LPARAM LParam) {
    switch (Msg) {
    case SocketNotifyMsg: {
        if (SelectEvent(LParam) == FdRead)
            if (auto it = Async->Map.find(static_cast<TSocketHandle>(WParam));
                it != Async->Map.end())
                it->second.ReadSinceEvent = false;
        CMSocketMessage(WParam, LParam);
        return 0;
    }
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

// TSocket's notifications on Windows: the socket library's own asynchronous select
// (WSAAsyncSelect) posts each event to the socket's message window as SocketNotifyMsg;
// this keeps what the read-event rule needs (the posted errors: SocketAsync.cpp).
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"
#include "SocketAsync.h"
#include "SocketHandle.h"

#include <map>

namespace port {

void TSocket::Forget(TSocketHandle Socket) {
    std::erase_if(Async->PostedErrors, [&](const auto& p) { return p.second.Socket == Socket; });
    Async->Map.erase(Socket);
}

void TSocket::StopWatching() {
    Async->Map.clear();
}

int TSocket::SetAsyncStyles(TSocketHandle Socket, unsigned Events) {
    CheckLoaded();
    if (Handle == 0) { // no window thread loop to deliver to
        SetLast(WsaEInval);
        Report(Socket, false);
        return -1;
    }
    if (SockFuncs.WSAAsyncSelect(AsSocket(Socket), winsys::NativeWindow(Handle),
                                 winsys::NativeMessage(SocketNotifyMsg),
                                 static_cast<long>(Events)) != 0) {
        SetLastFromLibrary();
        Report(Socket, false);
        return -1;
    }
    TAsyncEntry& e = Entry(Socket);
    e.Events = Events;
    // Bytes already waiting are reported by the library as a read event of their own.
    e.ReadSinceEvent = true;
    return 0;
}

bool TSocket::ReadMayHaveData(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return true;
    return !((it->second.Events & FdRead) && it->second.ReadSinceEvent);
}

} // namespace port

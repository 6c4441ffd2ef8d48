// TSocket's notifications on Windows: the socket library's own asynchronous select
// (WSAAsyncSelect) posts each event to the socket's message window as SocketNotifyMsg;
// this keeps what the read-event rule needs, and the errors posted for later delivery.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"
#include "SocketAsync.h"
#include "SocketHandle.h"

#include <map>

namespace port {

TSocket::TAsyncEntry& TSocket::Entry(TSocketHandle Socket) {
    auto [it, added] = Async->Map.try_emplace(Socket);
    if (added) it->second.Serial = NextSerial++;
    return it->second;
}

void TSocket::Forget(TSocketHandle Socket) {
    std::erase_if(Async->PostedErrors, [&](const auto& p) { return p.second.Socket == Socket; });
    Async->Map.erase(Socket);
}

void TSocket::StopWatching() {
    Async->Map.clear();
}

uint64_t TSocket::SerialOf(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    return it == Async->Map.end() ? 0 : it->second.Serial;
}

void TSocket::PostError(TSocketHandle Socket, int ErrCode) {
    if (Handle == 0) return; // no loop to deliver on
    uint64_t ticket = NextErrorTicket++;
    Async->PostedErrors[ticket] = {Socket, SerialOf(Socket), ErrCode};
    Loop->PostMessage(Handle, PostedErrorMsg, static_cast<winsys::WPARAM>(Socket),
                      static_cast<winsys::LPARAM>(ticket));
}

void TSocket::DeliverPostedError(uint64_t Ticket) {
    auto it = Async->PostedErrors.find(Ticket);
    if (it == Async->PostedErrors.end()) return; // its socket was closed meanwhile
    auto posted = it->second;
    Async->PostedErrors.erase(it);
    if (SerialOf(posted.Socket) != posted.Serial) return; // the number is another socket's now
    CMSocketMessage(static_cast<winsys::WPARAM>(posted.Socket),
                    MakeSelectLParam(0, posted.ErrCode));
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

// What TSocket's notifications do alike on every platform: the entry that numbers each
// socket apart from a later one with the same handle, and errors posted for delivery
// after the call that met them has returned. The entries' platform state and the
// watching are in SocketAsyncLinux.cpp and SocketAsyncWin32.cpp.
#include "port/Socket.h"

#include "SocketAsync.h"

namespace port {

TSocket::TAsyncEntry& TSocket::Entry(TSocketHandle Socket) {
    auto [it, added] = Async->Map.try_emplace(Socket);
    if (added) it->second.Serial = NextSerial++;
    return it->second;
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

} // namespace port

// TSocket's asynchronous notifications: the socket library's asynchronous select built
// on the window thread's fd watches. Each socket's entry says which events are armed;
// a watch fires, the event is reported once through the notification window, and the
// call that takes it (recv, accept, a send that would block) arms it again.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "SockFuncs.h"
#include "SocketAsync.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>

namespace port {

void TSocket::Forget(TSocketHandle Socket) {
    std::erase_if(Async->PostedErrors, [&](const auto& p) { return p.second.Socket == Socket; });
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return;
    if (it->second.Watch) Loop->RemoveWatch(it->second.Watch);
    Async->Map.erase(it);
}

void TSocket::StopWatching() {
    for (auto& [socket, entry] : Async->Map)
        if (entry.Watch) Loop->RemoveWatch(entry.Watch);
    Async->Map.clear();
}

void TSocket::UpdateWatch(TSocketHandle Socket) {
    TAsyncEntry& e = Entry(Socket);
    unsigned want = 0;
    if (e.Events != 0 && Handle != 0 && !e.Stalled) {
        switch (e.Phase) {
        case TAsyncEntry::Connecting:
            if (e.PendingConnectError == 0) want = winsys::FdWritable;
            break;
        case TAsyncEntry::Listening:
            if (e.AcceptArmed && (e.Events & FdAccept)) want = winsys::FdReadable;
            break;
        case TAsyncEntry::Connected:
            if (e.ReadArmed && (e.Events & (FdRead | FdClose))) want |= winsys::FdReadable;
            if (e.WriteArmed && (e.Events & FdWrite)) want |= winsys::FdWritable;
            break;
        default:
            break;
        }
    }
    if (want == 0) {
        if (e.Watch) Loop->RemoveWatch(e.Watch);
        e.Watch = 0;
    } else if (e.Watch == 0) {
        uint64_t serial = e.Serial;
        e.Watch = Loop->WatchFd(Socket, want, [this, Socket, serial](unsigned Seen) {
            Notification([&] { OnFdEvents(Socket, serial, Seen); });
        });
    } else if (want != e.Watching) {
        Loop->ChangeWatch(e.Watch, want);
    }
    e.Watching = want;
}

void TSocket::Notify(TSocketHandle Socket, unsigned Event, int Error) {
    Loop->SendMessage(Handle, SocketNotifyMsg, static_cast<winsys::WPARAM>(Socket),
                      MakeSelectLParam(Event, Error));
}

void TSocket::OnFdEvents(TSocketHandle Socket, uint64_t Serial, unsigned Seen) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end() || it->second.Serial != Serial) return;
    TAsyncEntry& e = it->second;
    struct {
        unsigned Event;
        int Error;
    } out[2];
    int n = 0;
    constexpr unsigned Trouble = winsys::FdHangUp | winsys::FdError;

    switch (e.Phase) {
    case TAsyncEntry::Connecting: {
        int soError = 0;
        socklen_t len = sizeof soError;
        if (SockFuncs.getsockopt(Socket, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) soError = errno;
        if (soError != 0) {
            e.Phase = TAsyncEntry::Closed;
            out[n++] = {FdConnect, TranslateSocketError(soError)};
        } else if (Seen & (winsys::FdWritable | Trouble)) {
            e.Phase = TAsyncEntry::Connected;
            e.ReadArmed = true;
            e.WriteArmed = true;
            out[n++] = {FdConnect, 0};
        }
        break;
    }
    case TAsyncEntry::Listening:
        if (e.AcceptArmed && (Seen & (winsys::FdReadable | Trouble))) {
            e.AcceptArmed = false;
            out[n++] = {FdAccept, 0};
        }
        break;
    case TAsyncEntry::Connected:
        if (e.ReadArmed && (Seen & (winsys::FdReadable | Trouble))) {
            // Readable without a hang-up is data. With one, a look at the next byte
            // tells the last data from the end of the stream.
            char c;
            ssize_t r =
                (Seen & Trouble) ? SockFuncs.recv(Socket, &c, 1, MSG_PEEK | MSG_DONTWAIT) : 1;
            if (r > 0) {
                e.ReadArmed = false;
                out[n++] = {FdRead, 0};
            } else if (r == 0) {
                e.Phase = TAsyncEntry::Closed;
                out[n++] = {FdClose, 0};
            } else if (errno != EAGAIN && errno != EINTR) {
                e.Phase = TAsyncEntry::Closed;
                out[n++] = {FdClose, TranslateSocketError(errno)};
            }
        }
        if (e.Phase == TAsyncEntry::Connected && e.WriteArmed && (Seen & winsys::FdWritable)) {
            e.WriteArmed = false;
            out[n++] = {FdWrite, 0};
        }
        break;
    default:
        break;
    }
    if (n == 0 && (Seen & Trouble)) e.Stalled = true; // never spin on a condition no one can clear
    unsigned asked = e.Events;
    // A read or write event taken by a handler that reads or writes at once leaves the
    // watch as it was: it is brought up to date after the handlers, which saves two
    // system calls per event. Anything else (and a watch that fired while a nested loop
    // ran inside a handler, n == 0) is brought up to date now.
    bool later = n > 0 && e.Phase == TAsyncEntry::Connected;
    if (!later) UpdateWatch(Socket);
    for (int i = 0; i < n; ++i) {
        // A handler may have closed the socket, and a new one may carry its number.
        auto again = Async->Map.find(Socket);
        if (again == Async->Map.end() || again->second.Serial != Serial) return;
        if (asked & out[i].Event) Notify(Socket, out[i].Event, out[i].Error);
    }
    if (!later) return;
    auto again = Async->Map.find(Socket);
    if (again != Async->Map.end() && again->second.Serial == Serial) UpdateWatch(Socket);
}

void TSocket::DeliverDeferredConnect(TSocketHandle Socket, uint64_t Serial) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end() || it->second.Serial != Serial) return;
    TAsyncEntry& e = it->second;
    if (e.Phase != TAsyncEntry::Connecting || e.PendingConnectError == 0) return;
    const int error = e.PendingConnectError;
    e.PendingConnectError = 0;
    e.Phase = TAsyncEntry::Closed;
    UpdateWatch(Socket);
    if (e.Events & FdConnect) Notify(Socket, FdConnect, error);
}

int TSocket::SetAsyncStyles(TSocketHandle Socket, unsigned Events) {
    CheckLoaded();
    int flags = SockFuncs.fcntl(Socket, F_GETFL);
    if (flags < 0 || SockFuncs.fcntl(Socket, F_SETFL, flags | O_NONBLOCK) < 0) {
        SetLastFromErrno();
        Report(Socket, false);
        return -1;
    }
    if (Handle == 0) { // no window thread loop to deliver to
        SetLast(WsaEInval);
        Report(Socket, false);
        return -1;
    }
    TAsyncEntry& e = Entry(Socket);
    e.Events = Events;
    e.Stalled = false;
    if (e.Phase == TAsyncEntry::Idle) {
        // A socket set up elsewhere: find out where it stands.
        int listening = 0;
        socklen_t len = sizeof listening;
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        if (SockFuncs.getsockopt(Socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 &&
            listening)
            e.Phase = TAsyncEntry::Listening;
        else if (SockFuncs.getpeername(Socket, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0) {
            e.Phase = TAsyncEntry::Connected;
            e.WriteArmed = true;
        }
    }
    try {
        UpdateWatch(Socket);
    } catch (const std::exception&) { // the descriptor cannot be watched (not a socket)
        e.Watch = 0;
        e.Watching = 0;
        e.Events = 0;
        SetLast(WsaENotSock);
        Report(Socket, false);
        return -1;
    }
    return 0;
}

bool TSocket::ReadMayHaveData(TSocketHandle Socket) const {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return true;
    const TAsyncEntry& e = it->second;
    bool watched = (e.Events & FdRead) && e.Phase == TAsyncEntry::Connected && e.ReadArmed &&
                   !e.Stalled && (e.Watching & winsys::FdReadable);
    return !watched;
}

// ---- what the socket calls change ----------------------------------------------------

void TSocket::TrackNewSocket(TSocketHandle Socket) {
    Forget(Socket); // a number the platform reused: nothing of the old socket applies
    Entry(Socket);
}

void TSocket::AsyncConnecting(TSocketHandle Socket) {
    TAsyncEntry& e = Entry(Socket);
    e.Phase = TAsyncEntry::Connecting;
    e.Stalled = false;
    UpdateWatch(Socket);
}

bool TSocket::AsyncDeferConnectError(TSocketHandle Socket, int ErrCode) {
    TAsyncEntry& e = Entry(Socket);
    if (!(e.Events & FdConnect) || Handle == 0) return false;
    e.Phase = TAsyncEntry::Connecting;
    e.PendingConnectError = ErrCode;
    UpdateWatch(Socket);
    Loop->PostMessage(Handle, DeferredConnectMsg, static_cast<winsys::WPARAM>(Socket),
                      static_cast<winsys::LPARAM>(e.Serial));
    return true;
}

void TSocket::AsyncListening(TSocketHandle Socket) {
    TAsyncEntry& e = Entry(Socket);
    e.Phase = TAsyncEntry::Listening;
    e.AcceptArmed = true;
    e.Stalled = false;
    UpdateWatch(Socket);
}

unsigned TSocket::AsyncAcceptTaken(TSocketHandle Listener) {
    auto it = Async->Map.find(Listener);
    if (it == Async->Map.end()) return 0;
    it->second.AcceptArmed = true;
    it->second.Stalled = false;
    const unsigned events = it->second.Events;
    UpdateWatch(Listener);
    return events;
}

void TSocket::AsyncAccepted(TSocketHandle Socket, unsigned Events) {
    TrackNewSocket(Socket);
    TAsyncEntry& e = Entry(Socket);
    e.Events = Events;
    e.Phase = TAsyncEntry::Connected;
    e.WriteArmed = true;
    UpdateWatch(Socket);
}

void TSocket::AsyncReadTaken(TSocketHandle Socket) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end() || (it->second.ReadArmed && !it->second.Stalled)) return;
    it->second.ReadArmed = true;
    it->second.Stalled = false;
    UpdateWatch(Socket);
}

void TSocket::AsyncWriteBlocked(TSocketHandle Socket) {
    auto it = Async->Map.find(Socket);
    if (it == Async->Map.end()) return;
    it->second.WriteArmed = true;
    it->second.Stalled = false;
    UpdateWatch(Socket);
}

} // namespace port

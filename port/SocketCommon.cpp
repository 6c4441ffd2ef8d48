// The parts of TSocket that every platform shares: a notification message turned into
// the event's operation, the default event operations, and the port's address and
// service helpers on top of the socket's calls.
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketNames.h"

#include <cctype>

namespace port {

bool IsReservedInvalidName(std::string Name) {
    for (char& c : Name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!Name.empty() && Name.back() == '.') Name.pop_back();
    constexpr std::string_view Suffix = ".invalid";
    return Name == "invalid" ||
           (Name.size() > Suffix.size() &&
            Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0);
}

bool AllDigits(std::string_view Text) {
    if (Text.empty()) return false;
    for (char c : Text)
        if (c < '0' || c > '9') return false;
    return true;
}

void TSocket::CMSocketMessage(winsys::WPARAM WParam, winsys::LPARAM LParam) {
    auto Socket = static_cast<TSocketHandle>(WParam);
    if (int Error = SelectError(LParam)) {
        DoError(Socket, Error);
        return;
    }
    switch (SelectEvent(LParam)) {
    case FdRead:
        DoRead(Socket);
        break;
    case FdWrite:
        DoWrite(Socket);
        break;
    case FdAccept:
        DoAccept(Socket);
        break;
    case FdConnect:
        DoConnect(Socket);
        break;
    case FdClose:
        DoDisconnect(Socket);
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

void EnumHostAddresses(TSocket& Socket, std::vector<std::string>& List) {
    List.clear();
    if (Socket.StartupError() != 0) return;
    std::string host = Socket.GetLocalHost();
    if (host.empty()) return;
    for (TInAddr Addr : Socket.LookupNameAll(host, 256))
        List.push_back(std::to_string(Addr.Byte(0)) + "." + std::to_string(Addr.Byte(1)) + "." +
                       std::to_string(Addr.Byte(2)) + "." + std::to_string(Addr.Byte(3)));
}

uint16_t WsPortNumber(TSocket& Socket, std::string_view WsPort) {
    if (AllDigits(WsPort)) {
        size_t first = WsPort.find_first_not_of('0');
        if (first == std::string_view::npos) return 0;
        std::string_view digits = WsPort.substr(first);
        if (digits.size() > 5) return 0; // out of range whatever the digits
        unsigned long n = std::stoul(std::string(digits));
        return n <= 65535 ? static_cast<uint16_t>(n) : 0;
    }
    return Socket.LookupService(std::string(WsPort));
}

int WsDestination(TSocket& Socket, const std::string& WsAddress, TInAddr& Addr) {
    if (WsAddress.empty()) return 10039;
    Addr = Socket.String2NetAddr(WsAddress);
    if (Addr.S_addr == InAddrNone) Addr = Socket.LookupName(WsAddress);
    return Addr.S_addr == 0 ? 9007 : 0;
}

} // namespace port

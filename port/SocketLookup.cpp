// The names and numbers every platform's socket layer shares, this machine's address,
// and the network port's readings of WsPort and WsAddress, all built on TSocket's
// lookups (SocketLookupLinux.cpp, SocketLookupWin32.cpp).
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketNames.h"

#include <cctype>

namespace port {

bool IsReservedInvalidName(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!name.empty() && name.back() == '.') name.pop_back();
    constexpr std::string_view Suffix = ".invalid";
    return name == "invalid" ||
           (name.size() > Suffix.size() &&
            name.compare(name.size() - Suffix.size(), Suffix.size(), Suffix) == 0);
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

void EnumHostAddresses(TSocket& Socket, std::vector<std::string>& List) {
    List.clear();
    if (Socket.StartupError() != 0) return;
    std::string host = Socket.GetLocalHost();
    if (host.empty()) return;
    for (TInAddr addr : Socket.LookupNameAll(host, 256))
        List.push_back(std::to_string(addr.Byte(0)) + "." + std::to_string(addr.Byte(1)) + "." +
                       std::to_string(addr.Byte(2)) + "." + std::to_string(addr.Byte(3)));
}

std::string TSocket::GetLocalAddress() {
    std::string host = GetLocalHost();
    if (host.empty()) return {};
    TInAddr addr = LookupName(host);
    if (addr.S_addr == 0) return {};
    return NetAddr2String(addr);
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
    if (WsAddress.empty()) return WsaEDestAddrReq;
    Addr = Socket.String2NetAddr(WsAddress);
    if (Addr.S_addr == InAddrNone) Addr = Socket.LookupName(WsAddress);
    return Addr.S_addr == 0 ? static_cast<int>(ecWsCantResolve) : 0;
}

} // namespace port

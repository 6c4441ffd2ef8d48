// TSocket's names and addresses: dotted addresses, host names through the resolver,
// services through the services database, the local host; and the network port's
// readings of WsPort and WsAddress built on them.
#include "port/PortErrors.h"
#include "port/Socket.h"

#include <arpa/inet.h>
#include <cctype>
#include <netdb.h>
#include <netinet/in.h>

namespace port {

namespace {

// RFC 6761: names of the "invalid" domain never exist; answer without the resolver.
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

} // namespace

TInAddr TSocket::String2NetAddr(std::string_view Text) {
    CheckLoaded();
    TInAddr addr{InAddrNone};
    std::string first(Text.substr(0, 15));
    addr.S_addr = SockFuncs.inet_addr(first.c_str());
    return addr;
}

std::string TSocket::NetAddr2String(TInAddr Addr) {
    CheckLoaded();
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{Addr.S_addr};
    if (!SockFuncs.inet_ntop(AF_INET, &a, text, sizeof text)) return {};
    return text;
}

std::vector<TInAddr> TSocket::LookupNameAll(const std::string& Name, size_t Max) {
    std::vector<TInAddr> found;
    CheckLoaded();
    if (Name.empty()) return found;
    if (IsReservedInvalidName(Name)) {
        SetLast(WsaHostNotFound);
        return found;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int r = SockFuncs.getaddrinfo(Name.c_str(), nullptr, &hints, &list);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return found;
    }
    for (addrinfo* ai = list; ai && found.size() < Max; ai = ai->ai_next)
        if (ai->ai_family == AF_INET && ai->ai_addr)
            found.push_back(
                TInAddr{reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr});
    SockFuncs.freeaddrinfo(list);
    return found;
}

TInAddr TSocket::LookupName(const std::string& Name) {
    std::vector<TInAddr> found = LookupNameAll(Name, 1);
    return found.empty() ? TInAddr{0} : found.front();
}

std::string TSocket::LookupAddress(TInAddr Addr) {
    CheckLoaded();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Addr.S_addr;
    char host[NI_MAXHOST] = {};
    int r = SockFuncs.getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, host,
                                  sizeof host, nullptr, 0, NI_NAMEREQD);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return {};
    }
    return host;
}

uint16_t TSocket::LookupService(const std::string& Name) {
    // Only names: a number is a port, not a service.
    CheckLoaded();
    if (Name.empty() || AllDigits(Name)) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE; // no host: nothing but the services database is asked
    addrinfo* list = nullptr;
    int r = SockFuncs.getaddrinfo(nullptr, Name.c_str(), &hints, &list);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return 0;
    }
    uint16_t port = 0;
    if (list && list->ai_addr && list->ai_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_port);
    SockFuncs.freeaddrinfo(list);
    return port;
}

std::string TSocket::LookupPort(uint16_t Port) {
    CheckLoaded();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(Port);
    char serv[NI_MAXSERV] = {};
    int r = SockFuncs.getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, nullptr, 0, serv,
                                  sizeof serv, 0);
    if (r != 0) {
        SetLast(TranslateLookupError(r, errno));
        return {};
    }
    // Without an entry the platform answers with the number itself.
    if (AllDigits(serv)) return {};
    return serv;
}

std::string TSocket::GetLocalHost() {
    CheckLoaded();
    char name[256] = {};
    if (SockFuncs.gethostname(name, sizeof name - 1) != 0) {
        SetLastFromErrno();
        return {};
    }
    return name;
}

std::string TSocket::GetLocalAddress() {
    std::string host = GetLocalHost();
    if (host.empty()) return {};
    TInAddr addr = LookupName(host);
    if (addr.S_addr == 0) return {};
    return NetAddr2String(addr);
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

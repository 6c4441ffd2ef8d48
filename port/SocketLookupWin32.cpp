// TSocket's names and addresses on Windows, through the socket library's table:
// dotted addresses, host names (gethostbyname), services, the local host.
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketNames.h"

#include "SockFuncs.h"

#include <cstring>

namespace port {

TInAddr TSocket::String2NetAddr(std::string_view Text) {
    CheckLoaded();
    std::string first(Text.substr(0, 15));
    return TInAddr{static_cast<uint32_t>(SockFuncs.inet_addr(first.c_str()))};
}

std::string TSocket::NetAddr2String(TInAddr Addr) {
    CheckLoaded();
    in_addr a{};
    a.s_addr = Addr.S_addr;
    const char* text = SockFuncs.inet_ntoa(a);
    return text ? text : "";
}

std::vector<TInAddr> TSocket::LookupNameAll(const std::string& Name, size_t Max) {
    std::vector<TInAddr> found;
    CheckLoaded();
    if (Name.empty()) return found;
    if (IsReservedInvalidName(Name)) {
        SetLast(WsaHostNotFound);
        return found;
    }
    hostent* host = SockFuncs.gethostbyname(Name.c_str());
    if (!host) {
        SetLastFromLibrary();
        return found;
    }
    if (host->h_addrtype != AF_INET || host->h_length != 4) return found;
    for (char** entry = host->h_addr_list; *entry && found.size() < Max; ++entry) {
        TInAddr Addr;
        std::memcpy(&Addr.S_addr, *entry, 4);
        found.push_back(Addr);
    }
    return found;
}

TInAddr TSocket::LookupName(const std::string& Name) {
    std::vector<TInAddr> found = LookupNameAll(Name, 1);
    return found.empty() ? TInAddr{0} : found.front();
}

std::string TSocket::LookupAddress(TInAddr Addr) {
    CheckLoaded();
    hostent* host =
        SockFuncs.gethostbyaddr(reinterpret_cast<const char*>(&Addr.S_addr), 4, AF_INET);
    if (!host || !host->h_name) {
        SetLastFromLibrary();
        return {};
    }
    return host->h_name;
}

uint16_t TSocket::LookupService(const std::string& Name) {
    // Only names: a number is a port, not a service.
    CheckLoaded();
    if (Name.empty() || AllDigits(Name)) return 0;
    servent* service = SockFuncs.getservbyname(Name.c_str(), "tcp");
    if (!service) {
        SetLastFromLibrary();
        return 0;
    }
    return SockFuncs.ntohs(static_cast<u_short>(service->s_port));
}

std::string TSocket::LookupPort(uint16_t Port) {
    CheckLoaded();
    servent* service = SockFuncs.getservbyport(SockFuncs.htons(Port), nullptr);
    if (!service || !service->s_name) {
        SetLastFromLibrary();
        return {};
    }
    return service->s_name;
}

std::string TSocket::GetLocalHost() {
    CheckLoaded();
    char name[256] = {};
    if (SockFuncs.gethostname(name, sizeof name - 1) != 0) {
        SetLastFromLibrary();
        return {};
    }
    return name;
}

} // namespace port

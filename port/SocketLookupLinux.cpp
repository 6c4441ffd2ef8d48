// TSocket's names and addresses on Linux: dotted addresses, host names through the
// resolver (getaddrinfo), services through the services database, the local host.
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketNames.h"

#include "SockFuncs.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>

namespace port {

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

} // namespace port

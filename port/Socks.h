#pragma once
// The SOCKS negotiation of the network port as a pure state machine over bytes: it
// builds each request, takes the proxy's reply bytes as they come and ends with a
// result. The port connects to the proxy, sends Start(), feeds what it receives until
// Done() and then carries the destination's byte stream over the same connection.
//
// SOCKS 4: CONNECT with the destination's IPv4 address, the user id and a zero; an
// 8-byte reply whose second byte 90 grants. SOCKS 4a: address 0.0.0.1, the destination
// name after the user id. SOCKS 5: offers "no authentication" and "user name and
// password"; CONNECT with the IPv4 address; the reply read as 5 bytes and then the rest
// of the bound address.
//
// Results: 0 granted; SOCKS 4 refusals 91, 92, 93 -> 9008, 9009, 9010, other -> 9011;
// SOCKS 5: a method other than 0 or 2, or a refused user name and password -> 9011,
// reply codes 1 to 8 -> 9012 to 9019, above 8 -> 9011, bound address of type 4 -> 9020,
// of another unknown type -> 9021.
#include "port/Socket.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace port {

enum TSocksVersion { svNone, svSocks4, svSocks4a, svSocks5 };

struct TSocksRequest {
    TSocksVersion Version = svSocks5;
    TInAddr Address;      // the destination, resolved (unused by SOCKS 4a)
    uint16_t Port = 0;    // the destination port, host order
    std::string Name;     // the destination as given (SOCKS 4a)
    std::string UserCode; // SOCKS 4 user id, SOCKS 5 user name
    std::string Password; // SOCKS 5
};

class TSocksNegotiation {
  public:
    explicit TSocksNegotiation(TSocksRequest Request);

    // The first request to send.
    std::vector<uint8_t> Start();
    // Bytes of the reply still awaited by the current step (0 once done).
    size_t Needed() const;
    // Takes at most Needed() bytes of Data and returns how many it took; the next
    // request, if the step completed and one follows, is appended to Send. Bytes past
    // the last reply belong to the destination and are left for the caller.
    size_t Feed(std::span<const uint8_t> Data, std::vector<uint8_t>& Send);
    bool Done() const { return Step == Finished; }
    // 0 when the proxy connected us, else the error code (see above). Valid when Done().
    int Result() const { return Error; }

  private:
    enum TStep { Initial, Socks4Reply, MethodReply, AuthReply, ConnectHead, ConnectTail, Finished };
    std::vector<uint8_t> Socks4Request() const;
    std::vector<uint8_t> Socks5Connect() const;
    std::vector<uint8_t> Socks5Auth() const;
    void Complete(std::vector<uint8_t>& Send);
    void Finish(int Code);

    TSocksRequest Req;
    TStep Step = Initial;
    size_t Want = 0;
    std::vector<uint8_t> Reply;
    int Error = 0;
};

} // namespace port

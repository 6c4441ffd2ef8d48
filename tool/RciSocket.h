#pragma once
// The RCI client's only contact with the socket interface: one TCP connection to the
// LAN module, made and used with bounded waits, and the translation of the system's
// error numbers into the socket library numbers that operators know from the status
// texts (10061 refused, 10060 timed out, ...).
//
// Every call blocks the calling thread (the window thread) for at most the time
// limit it is given. Errors come back as socket library numbers, never as errno.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tool {

// How long one RCI exchange may hold the window. A LAN module that neither answers
// nor closes ends the exchange with a time-out (10060) after these.
struct RciTimeLimits {
    int ConnectMs;  // the connection attempt
    int SendMs;     // each wait for room to send
    int ReceiveMs;  // each wait for reply bytes
    int ExchangeMs; // the whole reply, however slowly it trickles in
};
constexpr RciTimeLimits RciDefaultTimeLimits{3000, 3000, 5000, 20000};
// The limits in force; tests shorten them.
extern RciTimeLimits RciLimits;

// Socket library numbers used by the client itself.
constexpr int RciErrTimedOut = 10060;     // WSAETIMEDOUT
constexpr int RciErrAddrNotAvail = 10049; // WSAEADDRNOTAVAIL
// SendAll: the system took no byte and reported no error.
constexpr int RciErrNoProgress = -1;

// Errno values are reported as the socket library's numbers through the port layer's
// one translation, port::TranslateSocketError (port/SocketLib.h).

// The dotted-decimal conversion of the socket library: an IPv4 address in network
// byte order, or all bits set (255.255.255.255) for a text that is not one.
uint32_t RciParseAddress(const std::string& text);
// The address (network byte order) in dotted decimal form.
std::string RciDottedAddress(uint32_t address);

class RciSocket {
  public:
    RciSocket() = default;
    // Takes over a connected stream socket (tests hand in one end of a socket pair).
    explicit RciSocket(int fd) : fd_(fd) {}
    ~RciSocket();
    RciSocket(const RciSocket&) = delete;
    RciSocket& operator=(const RciSocket&) = delete;

    // Creates the TCP socket; 0 or the error number.
    int Create();
    // Connects to address:port (address in network byte order) within timeoutMs; 0 or
    // the error number. The any and broadcast addresses are refused at once with
    // 10049, as the socket library refuses them, so nothing leaves the host.
    int Connect(uint32_t address, uint16_t port, int timeoutMs);
    // Sends all size bytes, however many calls the system needs; sent tells how many
    // went out. 0, the error number (10060 when no room came within timeoutMs), or
    // RciErrNoProgress.
    int SendAll(const char* data, size_t size, size_t& sent, int timeoutMs);
    // One receive of at most capacity bytes within timeoutMs: 0 with received > 0,
    // 0 with received == 0 when the peer closed, or the error number (10060 when
    // nothing came in time).
    int Receive(char* buffer, size_t capacity, size_t& received, int timeoutMs);
    void Close();

  private:
    int WaitFor(short events, int timeoutMs);
    int fd_ = -1;
};

} // namespace tool

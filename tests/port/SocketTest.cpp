// The socket wrapper over real loopback sockets: notifications, the would-block rules,
// error numbers and the lookups.
#include "LoopbackPeer.h"

#include "port/Socket.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/ioctl.h>

#include <regex>
#include <string>
#include <vector>

using namespace port;
using namespace loopback;
using namespace testsupport;

namespace {

struct Event {
    std::string Kind;
    TSocketHandle Socket;
    int Error;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << e.Kind << "(" << e.Socket << "," << e.Error << ")";
}

class SocketFixture : public testing::Test {
  protected:
    SocketFixture() {
        auto note = [this](const char* kind) {
            return [this, kind](TSocket&, TSocketHandle s) { events.push_back({kind, s, 0}); };
        };
        sock.OnAccept = note("accept");
        sock.OnConnect = note("connect");
        sock.OnDisconnect = note("close");
        sock.OnRead = note("read");
        sock.OnWrite = note("write");
        sock.OnError = [this](TSocket&, TSocketHandle s, int e) {
            events.push_back({"error", s, e});
        };
    }
    ~SocketFixture() override {
        for (TSocketHandle s : owned)
            sock.CloseSocket(s);
    }

    TSocketHandle NewSocket() {
        TSocketHandle s = sock.CreateSocket();
        EXPECT_NE(s, InvalidSocket);
        owned.push_back(s);
        EXPECT_EQ(sock.SetAsyncStyles(s, FdRead | FdWrite | FdAccept | FdConnect | FdClose), 0);
        return s;
    }
    // A client of the wrapper connected to Listener, with its connect and write events
    // taken.
    TSocketHandle ConnectedClient(const Fd& listener) {
        TSocketHandle s = NewSocket();
        sock.ConnectSocket(s, LoopbackAddr(LocalPort(listener.Get())));
        EXPECT_TRUE(PumpUntil(loop, [&] { return Count("write") > 0; }));
        events.clear();
        return s;
    }
    size_t Count(const std::string& kind) const {
        size_t n = 0;
        for (const Event& e : events)
            n += e.Kind == kind;
        return n;
    }
    // Runs all the loop has ready, so that any event that is due shows up.
    void Settle() { PumpUntilIdle(loop); }
    // Waits until count bytes wait in the socket's receive queue (at most 2 s).
    static bool Queued(TSocketHandle s, int count) {
        int queued = 0;
        for (int i = 0; i < 2000 && ioctl(s, FIONREAD, &queued) == 0 && queued < count; ++i)
            poll(nullptr, 0, 1);
        return queued >= count;
    }

    winsys::EventLoop loop;
    TSocket sock{&loop};
    std::vector<Event> events;
    std::vector<TSocketHandle> owned;
};

TEST_F(SocketFixture, ClientConnectsThenWritesAndReadsAreReportedOncePerRecv) {
    Fd listener = Listen();
    TSocketHandle s = NewSocket();
    EXPECT_EQ(sock.ConnectSocket(s, LoopbackAddr(LocalPort(listener.Get()))), -1);
    EXPECT_EQ(sock.GetLastError(), 10035); // in progress, passed over
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("write") > 0; }));
    EXPECT_EQ(events, (std::vector<Event>{{"connect", s, 0}, {"write", s, 0}}));
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(peer);

    events.clear();
    ASSERT_TRUE(SendAll(peer.Get(), "hello"));
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("read") > 0; }));
    ASSERT_TRUE(SendAll(peer.Get(), "!"));
    ASSERT_TRUE(Queued(s, 6));
    Settle();
    EXPECT_EQ(Count("read"), 1u); // bytes left in the socket do not report again
    char buf[16];
    EXPECT_EQ(sock.ReadSocket(s, buf, 3, 0), 3);
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("read") == 2; })); // re-armed by the recv
    EXPECT_EQ(sock.ReadSocket(s, buf, sizeof buf, 0), 3);
    EXPECT_EQ(std::string(buf, 3), "lo!");
    EXPECT_EQ(sock.ReadSocket(s, buf, sizeof buf, 0), -1);
    EXPECT_EQ(sock.GetLastError(), 10035);
    Settle();
    EXPECT_EQ(Count("error"), 0u);

    EXPECT_EQ(sock.WriteSocket(s, "abc", 3, 0), 3);
    EXPECT_EQ(ReceiveSome(peer.Get(), 3), "abc");
}

TEST_F(SocketFixture, ThePeersCloseIsReportedOnceAfterItsLastBytes) {
    Fd listener = Listen();
    TSocketHandle s = ConnectedClient(listener);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(SendAll(peer.Get(), "last"));
    peer.Reset();
    ASSERT_TRUE(PumpUntil(loop, [&] { return !events.empty(); }));
    EXPECT_EQ(events, (std::vector<Event>{{"read", s, 0}}));
    char buf[8];
    EXPECT_EQ(sock.ReadSocket(s, buf, sizeof buf, 0), 4);
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("close") > 0; }));
    Settle();
    EXPECT_EQ(events, (std::vector<Event>{{"read", s, 0}, {"close", s, 0}}));
}

TEST_F(SocketFixture, ARefusedConnectArrivesAsError10061) {
    TSocketHandle s = NewSocket();
    sock.ConnectSocket(s, LoopbackAddr(ClosedPort()));
    ASSERT_TRUE(PumpUntil(loop, [&] { return !events.empty(); }));
    Settle();
    EXPECT_EQ(events, (std::vector<Event>{{"error", s, 10061}}));
}

TEST_F(SocketFixture, ServerAcceptsOnePendingPeerPerAcceptAndTheAcceptedSocketReports) {
    TSocketHandle server = NewSocket();
    TSockAddrIn any = LoopbackAddr(0);
    ASSERT_EQ(sock.BindSocket(server, any), 0);
    ASSERT_EQ(sock.ListenSocket(server, 5), 0);
    uint16_t port = LocalPort(server);

    Fd first = Connect(port);
    Fd second = Connect(port);
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("accept") > 0; }));
    Settle();
    EXPECT_EQ(Count("accept"), 1u);
    TSockAddrIn peer;
    TSocketHandle a = sock.AcceptSocket(server, peer);
    ASSERT_NE(a, InvalidSocket);
    owned.push_back(a);
    EXPECT_EQ(sock.NetAddr2String(peer.sin_addr), "127.0.0.1");
    EXPECT_EQ(ntohs(peer.sin_port), LocalPort(first.Get()));
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("accept") == 2 && Count("write") == 1; }));
    for (const Event& e : events)
        if (e.Kind == "write") {
            EXPECT_EQ(e.Socket, a); // the accepted socket reports as the listener does
        }

    events.clear();
    ASSERT_TRUE(SendAll(first.Get(), "x"));
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("read") > 0; }));
    EXPECT_EQ(events, (std::vector<Event>{{"read", a, 0}}));
    char buf[4];
    EXPECT_EQ(sock.ReadSocket(a, buf, 4, 0), 1);

    events.clear();
    Reset(first);
    ASSERT_TRUE(PumpUntil(loop, [&] { return !events.empty(); }));
    EXPECT_EQ(events, (std::vector<Event>{{"error", a, 10054}}));
}

TEST_F(SocketFixture, WouldBlockIsReportedOnlyWhereTheOperationSaysSo) {
    TSocketHandle server = NewSocket();
    ASSERT_EQ(sock.BindSocket(server, LoopbackAddr(0)), 0);
    ASSERT_EQ(sock.ListenSocket(server, 5), 0);
    TSockAddrIn peer;
    EXPECT_EQ(sock.AcceptSocket(server, peer), InvalidSocket); // nobody waiting: reported
    EXPECT_EQ(events, (std::vector<Event>{{"error", server, 10035}}));

    events.clear();
    Fd listener = Listen();
    TSocketHandle client = ConnectedClient(listener);
    char buf[4];
    EXPECT_EQ(sock.ReadSocket(client, buf, 4, 0), -1); // no data: passed over
    EXPECT_EQ(sock.GetLastError(), 10035);
    EXPECT_TRUE(events.empty());
}

TEST_F(SocketFixture, ErrorsOfTheCallsReachDoErrorWithTheLibrarysNumbers) {
    Fd taken = Listen();
    TSocketHandle s = NewSocket();
    EXPECT_EQ(sock.BindSocket(s, LoopbackAddr(LocalPort(taken.Get()))), -1);
    EXPECT_EQ(sock.WriteSocket(InvalidSocket, "x", 1, 0), -1); // no socket at all
    EXPECT_EQ(sock.CloseSocket(InvalidSocket), -1);
    int one = 1;
    EXPECT_EQ(sock.SetSocketOptions(s, SolSocket, 0x7777, &one, 4), -1);
    EXPECT_EQ(events, (std::vector<Event>{{"error", s, 10048},
                                          {"error", InvalidSocket, 10038},
                                          {"error", InvalidSocket, 10038},
                                          {"error", s, 10042}}));
    EXPECT_EQ(sock.SetSocketOptions(s, SolSocket, SoReuseAddr, &one, 4), 0);
}

TEST_F(SocketFixture, ASendThatWouldBlockReportsWriteOnceTheSocketTakesDataAgain) {
    Fd listener = Listen();
    TSocketHandle s = ConnectedClient(listener);
    Fd peer = Accept(listener.Get());
    int small = 4096;
    sock.SetSocketOptions(s, SolSocket, SoSndBuf, &small, 4);
    const std::string block(65536, 'z');
    size_t sent = 0;
    bool blocked = false;
    for (int i = 0; i < 2000 && !blocked; ++i) {
        int n = sock.WriteSocket(s, block.data(), static_cast<int>(block.size()), 0);
        if (n > 0) sent += static_cast<size_t>(n);
        blocked = n == -1 && sock.GetLastError() == 10035;
    }
    ASSERT_TRUE(blocked);
    EXPECT_EQ(Count("error"), 0u);
    Settle();
    EXPECT_EQ(Count("write"), 0u);
    EXPECT_EQ(ReceiveSome(peer.Get(), sent).size(), sent);
    ASSERT_TRUE(PumpUntil(loop, [&] { return Count("write") > 0; }));
}

TEST_F(SocketFixture, ReadinessChecksWaitAtMostTheirTime) {
    Fd listener = Listen();
    TSocketHandle s = ConnectedClient(listener);
    Fd peer = Accept(listener.Get());
    EXPECT_FALSE(sock.CanReadSocket(s, 0));
    EXPECT_TRUE(sock.CanWriteSocket(s, 0));
    ASSERT_TRUE(SendAll(peer.Get(), "x"));
    EXPECT_TRUE(sock.CanReadSocket(s, 2000));
}

class Lookups : public SocketFixture {};

TEST_F(Lookups, AddressesAndNames) {
    EXPECT_EQ(sock.String2NetAddr("127.0.0.1").S_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(sock.String2NetAddr("module").S_addr, InAddrNone);
    EXPECT_EQ(sock.String2NetAddr("127.0.0.1.1234567").S_addr, InAddrNone);
    EXPECT_EQ(sock.NetAddr2String(TInAddr{htonl(0x0A000102)}), "10.0.1.2");
    EXPECT_EQ(sock.LookupName("localhost").S_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(sock.LookupName("rvex-lan-module.invalid").S_addr, 0u);
    EXPECT_EQ(sock.GetLastError(), 11001);
    EXPECT_EQ(sock.LookupService("telnet"), 23);
    EXPECT_EQ(sock.LookupService("no-such-service-here"), 0);
    EXPECT_EQ(sock.LookupService("23"), 0); // a number is no service name
    EXPECT_EQ(sock.LookupPort(23), "telnet");
    EXPECT_EQ(sock.LookupPort(1), "tcpmux");
    EXPECT_EQ(sock.LookupPort(61999), ""); // no entry
}

TEST_F(Lookups, PortOfTheNetworkPort) {
    const std::pair<const char*, uint16_t> rows[] = {
        {"telnet", 23}, {"2101", 2101}, {"502", 502},  {"0080", 80}, {"65535", 65535},
        {"0", 0},       {"65536", 0},   {"100000", 0}, {"", 0},      {"no-such-service-here", 0},
        {"-1", 0},      {"21x", 0},
    };
    for (const auto& [text, port] : rows)
        EXPECT_EQ(WsPortNumber(sock, text), port) << text;
}

TEST_F(Lookups, DestinationOfAClient) {
    TInAddr addr;
    EXPECT_EQ(WsDestination(sock, "127.0.0.1", addr), 0);
    EXPECT_EQ(addr.S_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(WsDestination(sock, "localhost", addr), 0);
    EXPECT_EQ(addr.S_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(WsDestination(sock, "", addr), 10039);
    EXPECT_EQ(WsDestination(sock, "rvex-lan-module.invalid", addr), 9007);
    EXPECT_EQ(WsDestination(sock, "RVEX.INVALID.", addr), 9007);
}

TEST_F(Lookups, LocalHostAddressesAreDottedAndStartWithTheLocalAddress) {
    std::vector<std::string> list;
    EnumHostAddresses(sock, list);
    ASSERT_FALSE(sock.GetLocalHost().empty());
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), sock.GetLocalAddress());
    for (const std::string& a : list)
        EXPECT_TRUE(std::regex_match(a, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << a;
}

} // namespace

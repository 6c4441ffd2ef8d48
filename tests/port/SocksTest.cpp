// The SOCKS negotiation: its requests and its reading of replies, then the whole
// exchange through the socket wrapper against a small proxy that relays to an echo
// server, all on 127.0.0.1.
#include "LoopbackPeer.h"
#include "SocksProxy.h"

#include "port/Socket.h"
#include "port/Socks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>

using namespace port;
using namespace loopback;
using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;

TInAddr Loop127() {
    return TInAddr{htonl(INADDR_LOOPBACK)};
}

TSocksRequest Request(TSocksVersion v) {
    TSocksRequest r;
    r.Version = v;
    r.Address = Loop127();
    r.Port = 2101;
    r.Name = "localhost";
    r.UserCode = "tech";
    r.Password = "secret";
    return r;
}

// Feeds a reply byte by byte, as a slow proxy would deliver it.
Bytes FeedSlowly(TSocksNegotiation& n, const Bytes& reply) {
    Bytes send;
    for (uint8_t b : reply)
        n.Feed(Bytes{b}, send);
    return send;
}

TEST(SocksRequests, Socks4And4aCarryTheDestinationAndTheUserId) {
    TSocksNegotiation s4(Request(svSocks4));
    EXPECT_EQ(s4.Start(), (Bytes{4, 1, 0x08, 0x35, 127, 0, 0, 1, 't', 'e', 'c', 'h', 0}));
    EXPECT_EQ(s4.Needed(), 8u);
    TSocksNegotiation s4a(Request(svSocks4a));
    EXPECT_EQ(s4a.Start(), (Bytes{4, 1,   0x08, 0x35, 0,   0,   0,   1,   't', 'e', 'c', 'h',
                                  0, 'l', 'o',  'c',  'a', 'l', 'h', 'o', 's', 't', 0}));
}

TEST(SocksRequests, Socks5OffersTwoMethodsAndAnswersTheChosenOne) {
    TSocksNegotiation none(Request(svSocks5));
    EXPECT_EQ(none.Start(), (Bytes{5, 2, 0, 2}));
    EXPECT_EQ(FeedSlowly(none, {5, 0}), (Bytes{5, 1, 0, 1, 127, 0, 0, 1, 0x08, 0x35}));
    EXPECT_EQ(none.Needed(), 5u);

    TSocksNegotiation auth(Request(svSocks5));
    auth.Start();
    EXPECT_EQ(FeedSlowly(auth, {5, 2}),
              (Bytes{1, 4, 't', 'e', 'c', 'h', 6, 's', 'e', 'c', 'r', 'e', 't'}));
    EXPECT_EQ(FeedSlowly(auth, {1, 0}), (Bytes{5, 1, 0, 1, 127, 0, 0, 1, 0x08, 0x35}));

    TSocksRequest longUser = Request(svSocks5);
    longUser.UserCode = std::string(300, 'u');
    TSocksNegotiation cut(longUser);
    cut.Start();
    Bytes send = FeedSlowly(cut, {5, 2});
    ASSERT_GE(send.size(), 2u + 255u);
    EXPECT_EQ(send[1], 255); // the length byte matches the bytes that follow
    EXPECT_EQ(send[2 + 255], 6);
}

struct ReplyRow {
    const char* Name;
    TSocksVersion Version;
    std::vector<Bytes> Replies; // one per step, after Start()
    int Result;
};

void PrintTo(const ReplyRow& row, std::ostream* os) {
    *os << row.Name;
}

class SocksReplies : public testing::TestWithParam<ReplyRow> {};

TEST_P(SocksReplies, EndWithTheirResult) {
    TSocksNegotiation n(Request(GetParam().Version));
    n.Start();
    for (const Bytes& r : GetParam().Replies) {
        ASSERT_FALSE(n.Done());
        FeedSlowly(n, r);
    }
    ASSERT_TRUE(n.Done());
    EXPECT_EQ(n.Result(), GetParam().Result);
    EXPECT_EQ(n.Needed(), 0u);
}

const Bytes Granted5{5, 0, 0, 1, 127};
INSTANTIATE_TEST_SUITE_P(
    Table, SocksReplies,
    testing::Values(
        ReplyRow{"S4Granted", svSocks4, {{0, 90, 0, 0, 0, 0, 0, 0}}, 0},
        ReplyRow{"S4Rejected", svSocks4, {{0, 91, 0, 0, 0, 0, 0, 0}}, 9008},
        ReplyRow{"S4NoIdentd", svSocks4a, {{0, 92, 0, 0, 0, 0, 0, 0}}, 9009},
        ReplyRow{"S4IdentdMismatch", svSocks4, {{0, 93, 0, 0, 0, 0, 0, 0}}, 9010},
        ReplyRow{"S4Other", svSocks4, {{0, 17, 0, 0, 0, 0, 0, 0}}, 9011},
        ReplyRow{"S5NoAcceptableMethod", svSocks5, {{5, 0xFF}}, 9011},
        ReplyRow{"S5AuthRefused", svSocks5, {{5, 2}, {1, 1}}, 9011},
        ReplyRow{"S5GrantedIPv4", svSocks5, {{5, 0}, Granted5, {0, 0, 1, 0x1F, 0x90}}, 0},
        ReplyRow{"S5GrantedName", svSocks5, {{5, 0}, {5, 0, 0, 3, 3}, {'a', 'b', 'c', 0, 80}}, 0},
        ReplyRow{"S5GeneralFailure", svSocks5, {{5, 0}, {5, 1, 0, 1, 0}}, 9012},
        ReplyRow{"S5Refused", svSocks5, {{5, 0}, {5, 5, 0, 1, 0}}, 9016},
        ReplyRow{"S5AddressTypeUnsupported", svSocks5, {{5, 0}, {5, 8, 0, 1, 0}}, 9019},
        ReplyRow{"S5UnknownReply", svSocks5, {{5, 0}, {5, 9, 0, 1, 0}}, 9011},
        ReplyRow{"S5BoundIPv6", svSocks5, {{5, 0}, {5, 0, 0, 4, 0}}, 9020},
        ReplyRow{"S5BoundUnknownType", svSocks5, {{5, 0}, {5, 0, 0, 7, 0}}, 9021}),
    [](const testing::TestParamInfo<ReplyRow>& info) { return std::string(info.param.Name); });

TEST(SocksRequests, BytesAfterTheLastReplyAreLeftForTheStream) {
    TSocksNegotiation n(Request(svSocks4));
    n.Start();
    Bytes send;
    Bytes reply{0, 90, 0, 0, 0, 0, 0, 0, 'd', 'a', 't', 'a'};
    EXPECT_EQ(n.Feed(reply, send), 8u);
    EXPECT_TRUE(n.Done());
    EXPECT_EQ(n.Result(), 0);
}

// The client side as the network port will run it: connect to the proxy, send the
// first request on the connect event, feed every read to the negotiation, then carry
// data.
class SocksThroughProxy : public testing::Test {
  protected:
    int Negotiate(TSocksRequest req, uint16_t proxyPort) {
        negotiation.emplace(std::move(req));
        sock.OnConnect = [this](TSocket&, TSocketHandle) { Send(negotiation->Start()); };
        sock.OnRead = [this](TSocket&, TSocketHandle) {
            uint8_t buf[512];
            int n = sock.ReadSocket(s, buf, sizeof buf, 0);
            if (n <= 0) return;
            size_t used = 0;
            if (!negotiation->Done()) {
                Bytes next;
                used =
                    negotiation->Feed(std::span<const uint8_t>(buf, static_cast<size_t>(n)), next);
                Send(next);
            }
            data.append(reinterpret_cast<char*>(buf) + used, static_cast<size_t>(n) - used);
        };
        sock.OnError = [this](TSocket&, TSocketHandle, int code) { error = code; };
        sock.OnDisconnect = [this](TSocket&, TSocketHandle) { closed = true; };
        s = sock.CreateSocket();
        sock.SetAsyncStyles(s, FdRead | FdWrite | FdConnect | FdClose);
        sock.ConnectSocket(s, LoopbackAddr(proxyPort));
        EXPECT_TRUE(PumpUntil(loop, [&] { return negotiation->Done() || error || closed; }));
        EXPECT_EQ(error, 0);
        return negotiation->Done() ? negotiation->Result() : -1;
    }
    void Send(const Bytes& b) {
        if (b.empty()) return;
        EXPECT_EQ(sock.WriteSocket(s, b.data(), static_cast<int>(b.size()), 0),
                  static_cast<int>(b.size()));
    }
    std::string Exchange(const std::string& text) {
        data.clear();
        Send(Bytes(text.begin(), text.end()));
        PumpUntil(loop, [&] { return data.size() >= text.size() || closed; });
        return data;
    }
    ~SocksThroughProxy() override {
        if (s != InvalidSocket) sock.CloseSocket(s);
    }

    winsys::EventLoop loop;
    TSocket sock{&loop};
    TSocketHandle s = InvalidSocket;
    std::optional<TSocksNegotiation> negotiation;
    std::string data;
    int error = 0;
    bool closed = false;
};

TEST_F(SocksThroughProxy, Socks5WithUserNameAndPasswordReachesTheDestination) {
    Echo echo;
    Proxy proxy("tech", "secret");
    TSocksRequest req = Request(svSocks5);
    req.Port = echo.Port();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 0);
    EXPECT_EQ(Exchange("ping"), "ping");
}

TEST_F(SocksThroughProxy, Socks5WithAWrongPasswordEndsWith9011) {
    Echo echo;
    Proxy proxy("tech", "other");
    TSocksRequest req = Request(svSocks5);
    req.Port = echo.Port();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 9011);
}

TEST_F(SocksThroughProxy, Socks5RefusedDestinationEndsWith9016) {
    Proxy proxy("tech", "secret");
    TSocksRequest req = Request(svSocks5);
    req.Port = ClosedPort();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 9016);
}

TEST_F(SocksThroughProxy, Socks4ReachesTheDestination) {
    Echo echo;
    Proxy proxy("tech", "");
    TSocksRequest req = Request(svSocks4);
    req.Port = echo.Port();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 0);
    EXPECT_EQ(Exchange("ping"), "ping");
}

TEST_F(SocksThroughProxy, Socks4aLetsTheProxyResolveTheName) {
    Echo echo;
    Proxy proxy("tech", "");
    TSocksRequest req = Request(svSocks4a);
    req.Address = TInAddr{0};
    req.Port = echo.Port();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 0);
    EXPECT_EQ(Exchange("ping"), "ping");
}

TEST_F(SocksThroughProxy, Socks4RefusedDestinationEndsWith9008) {
    Proxy proxy("tech", "");
    TSocksRequest req = Request(svSocks4);
    req.Port = ClosedPort();
    EXPECT_EQ(Negotiate(req, proxy.Port()), 9008);
}

} // namespace

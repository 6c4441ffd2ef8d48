// The network port component over loopback, as the tool sees it: the connection
// events and the self-close rules, the resolution of WsAddress and WsPort, the
// settings locked while open, and a server taking one peer at a time.
#include "LoopbackPeer.h"

#include "port/PortErrors.h"
#include "port/SocketLib.h"
#include "port/WinsockDevice.h"
#include "port/WinsockPort.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace port;
using namespace loopback;

namespace {

// Service lookups made through the socket library's table.
int ServiceLookups = 0;
int CountingGetaddrinfo(const char* Node, const char* Service, const addrinfo* Hints,
                        addrinfo** Result) {
    if (Service) ++ServiceLookups;
    return ::getaddrinfo(Node, Service, Hints, Result);
}

// A port as the tool holds it: every event recorded with Open at that moment, the
// received bytes read in OnTriggerAvail with GetChar.
class WsPortFixture : public testing::Test {
  protected:
    WsPortFixture() {
        winsys::EventLoop::SetCurrent(&loop);
        ws = std::make_unique<TWinsockPort>(&loop);
        ws->SetDeviceLayer(dlWinsock);
        ws->SetWsTelnet(false);
        ws->OnWsConnect = [this](IComPort* cp) { Record("connect", cp); };
        ws->OnWsDisconnect = [this](IComPort* cp) { Record("disconnect", cp); };
        ws->OnWsError = [this](IComPort* cp, int32_t code) {
            Record("error " + std::to_string(code), cp);
        };
        ws->SetOnTriggerAvail([this](IComPort* cp, uint16_t count) {
            for (uint16_t i = 0; i < count; ++i) received += cp->GetChar();
        });
    }
    ~WsPortFixture() override {
        ws.reset();
        SetSocketLibLoader({});
        winsys::EventLoop::SetCurrent(nullptr);
    }
    void Record(const std::string& what, IComPort* cp) {
        events.push_back(what + (cp->GetOpen() ? " open" : " closed"));
    }
    void Client(uint16_t portNumber) {
        ws->SetWsAddress("127.0.0.1");
        ws->SetWsPort(std::to_string(portNumber));
        ws->SetOpen(true);
    }
    uint16_t RemotePort() {
        auto* d = dynamic_cast<TWinsockDispatcher*>(ws->GetDispatcher());
        return d ? ntohs(d->RemoteAddr.sin_port) : 0;
    }
    bool Pump(auto pred) { return PumpUntil(loop, pred); }

    winsys::EventLoop loop;
    std::unique_ptr<TWinsockPort> ws;
    std::vector<std::string> events;
    std::string received;
};

using Events = std::vector<std::string>;

TEST_F(WsPortFixture, ClientConnectsAnnouncesItAndCarriesBytesBothWays) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    EXPECT_TRUE(ws->GetOpen());
    // Written before the connection completes: it waits, without an error.
    ws->PutString("request");
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(peer);
    ASSERT_TRUE(Pump([&] { return !events.empty(); }));
    EXPECT_EQ(events, Events{"connect open"});
    std::string got;
    ASSERT_TRUE(Pump([&] {
        if (Readable(peer.Get(), 0)) got += ReceiveSome(peer.Get(), 7 - got.size(), 0);
        return got.size() >= 7;
    }));
    EXPECT_EQ(got, "request");
    ASSERT_TRUE(SendAll(peer.Get(), "reply"));
    ASSERT_TRUE(Pump([&] { return received.size() >= 5; }));
    EXPECT_EQ(received, "reply");
    ws->SetOpen(false);
    EXPECT_EQ(events, (Events{"connect open", "disconnect closed"}));
}

TEST_F(WsPortFixture, ARefusedConnectionIsReportedWhileOpenThenThePortClosesWithoutDisconnect) {
    Client(ClosedPort());
    EXPECT_TRUE(ws->GetOpen());
    ASSERT_TRUE(Pump([&] { return !ws->GetOpen(); }));
    EXPECT_EQ(events, Events{"error 10061 open"});
    EXPECT_FALSE(ws->GetWsConnected());
    // The port opens again on request.
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    ASSERT_TRUE(Pump([&] { return events.size() == 2; }));
    EXPECT_EQ(events.back(), "connect open");
}

TEST_F(WsPortFixture, ThePeersEndClosesThePortAndDisconnectFollows) {
    struct Case {
        const char* name;
        bool reset;
        Events expected;
    };
    for (const Case& c : {Case{"clean end", false, {"connect open", "disconnect closed"}},
                          Case{"reset", true, {"connect open", "error 10054 open",
                                               "disconnect closed"}}}) {
        SCOPED_TRACE(c.name);
        events.clear();
        received.clear();
        Fd listener = Listen();
        Client(LocalPort(listener.Get()));
        Fd peer = Accept(listener.Get());
        ASSERT_TRUE(Pump([&] { return !events.empty(); }));
        ASSERT_TRUE(SendAll(peer.Get(), "last"));
        ASSERT_TRUE(Pump([&] { return received == "last"; }));
        if (c.reset)
            Reset(peer);
        else
            peer.Reset();
        ASSERT_TRUE(Pump([&] { return !ws->GetOpen(); }));
        EXPECT_EQ(events, c.expected);
    }
}

TEST_F(WsPortFixture, AnAddressThatDoesNotResolveFailsTheOpenWith9007) {
    ws->SetWsAddress("no-such-module.invalid");
    ws->SetWsPort("2101");
    // With a handler: the handler hears 9007 first, then the open fails.
    EXPECT_ANY_THROW(ws->SetOpen(true));
    EXPECT_EQ(events, Events{"error 9007 closed"});
    EXPECT_FALSE(ws->GetOpen());
    // Without one: the socket exception carries the code.
    ws->OnWsError = nullptr;
    try {
        ws->SetOpen(true);
        FAIL() << "the open succeeded";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 9007);
        EXPECT_STREQ(e.what(), "Cannot resolve destination address");
    }
    EXPECT_FALSE(ws->GetOpen());
}

TEST_F(WsPortFixture, WsPortIsANumberOrAServiceName) {
    SetSocketLibLoader([](TSockFuncs& f) {
        f = PlatformSockFuncs();
        f.getaddrinfo = CountingGetaddrinfo;
        return true;
    });
    EXPECT_EQ(ws->GetWsPort(), "telnet");
    ws->SetWsAddress("127.0.0.1");
    ServiceLookups = 0;
    ws->SetWsPort(" 2101 ");
    EXPECT_EQ(ws->GetWsPort(), "2101");
    ws->SetOpen(true);
    EXPECT_EQ(RemotePort(), 2101);
    EXPECT_EQ(ServiceLookups, 0);
    ws->OnWsError = nullptr; // whatever listens there, or not, is of no interest
    ws->SetOpen(false);
    ws->SetWsPort("telnet");
    ws->SetOpen(true);
    EXPECT_EQ(RemotePort(), 23);
    EXPECT_GT(ServiceLookups, 0);
    ws->SetOpen(false);
    for (const char* bad : {"no-such-service", "0", "65536", ""}) {
        SCOPED_TRACE(bad);
        ws->SetWsPort(bad);
        try {
            ws->SetOpen(true);
            ADD_FAILURE() << "opened";
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.ErrorCode, 9005);
        }
        EXPECT_FALSE(ws->GetOpen());
    }
}

TEST_F(WsPortFixture, AClientWithoutAnAddressDoesNotOpen) {
    ws->SetWsAddress("   ");
    EXPECT_EQ(ws->GetWsAddress(), "");
    try {
        ws->SetOpen(true);
        FAIL() << "opened";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 10039);
    }
    EXPECT_FALSE(ws->GetOpen());
}

TEST_F(WsPortFixture, AddressPortAndModeAreLockedWhileOpen) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    const std::string portText = ws->GetWsPort();
    // The same values again are no change.
    EXPECT_NO_THROW(ws->SetWsAddress(" 127.0.0.1 "));
    EXPECT_NO_THROW(ws->SetWsPort(portText));
    EXPECT_NO_THROW(ws->SetWsMode(wsClient));
    auto expect9006 = [](auto&& change) {
        try {
            change();
            ADD_FAILURE() << "changed while open";
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.ErrorCode, 9006);
        }
    };
    expect9006([&] { ws->SetWsAddress("127.0.0.2"); });
    expect9006([&] { ws->SetWsPort("2102"); });
    expect9006([&] { ws->SetWsMode(wsServer); });
    EXPECT_EQ(ws->GetWsAddress(), "127.0.0.1");
    EXPECT_EQ(ws->GetWsPort(), portText);
    EXPECT_EQ(ws->GetWsMode(), wsClient);
    ws->SetOpen(false);
    EXPECT_NO_THROW(ws->SetWsAddress("127.0.0.2"));
}

TEST_F(WsPortFixture, AServerTakesOnePeerClosesASecondAndKeepsTheFirstFlowing) {
    std::vector<uint32_t> accepted;
    ws->OnWsAccept = [&](TCustomWinsockPort*, TInAddr addr, bool& accept) {
        accepted.push_back(ntohl(addr.S_addr));
        accept = true;
    };
    const uint16_t portNumber = ClosedPort();
    ws->SetWsMode(wsServer);
    ws->SetWsPort(std::to_string(portNumber));
    ws->SetOpen(true);
    ASSERT_TRUE(ws->GetOpen());
    Fd first = Connect(portNumber);
    ASSERT_TRUE(first);
    ASSERT_TRUE(SendAll(first.Get(), "one"));
    ASSERT_TRUE(Pump([&] { return received == "one"; }));
    Fd second = Connect(portNumber);
    ASSERT_TRUE(second);
    // The second peer is closed at once: its read ends.
    bool ended = false;
    ASSERT_TRUE(Pump([&] {
        if (Readable(second.Get(), 0)) {
            char c;
            ended = ::recv(second.Get(), &c, 1, 0) <= 0;
        }
        return ended;
    }));
    ASSERT_TRUE(SendAll(first.Get(), "two"));
    ASSERT_TRUE(Pump([&] { return received == "onetwo"; }));
    ws->PutString("back");
    std::string got;
    ASSERT_TRUE(Pump([&] {
        if (Readable(first.Get(), 0)) got += ReceiveSome(first.Get(), 4 - got.size(), 0);
        return got.size() >= 4;
    }));
    EXPECT_EQ(got, "back");
    EXPECT_EQ(accepted, std::vector<uint32_t>{INADDR_LOOPBACK});
    EXPECT_TRUE(events.empty()) << events.front();
    // The first peer leaves: the server says so and takes the next.
    first.Reset();
    ASSERT_TRUE(Pump([&] { return !events.empty(); }));
    EXPECT_EQ(events, Events{"disconnect open"});
    Fd third = Connect(portNumber);
    ASSERT_TRUE(SendAll(third.Get(), "three"));
    ASSERT_TRUE(Pump([&] { return received == "onetwothree"; }));
    EXPECT_TRUE(ws->GetOpen());
}

TEST_F(WsPortFixture, ANetworkPortNeedsNoPortNumberAndTakesNoModemShadow) {
    EXPECT_EQ(ws->GetComNumber(), 0);
    EXPECT_FALSE(ws->GetUseMSRShadow());
    ws->SetUseMSRShadow(true);
    EXPECT_FALSE(ws->GetUseMSRShadow());
    EXPECT_EQ(ws->GetTapiMode(), tmOff);
    ws->SetDeviceLayer(dlWin32);
    EXPECT_EQ(ws->GetTapiMode(), tmAuto);
}

} // namespace

// The network port component as its owner sees it, over loopback: the open and close
// sequences of client and server, the four Ws events and when they come, the settings
// and their errors, telnet and SOCKS.
#include "LoopbackPeer.h"
#include "SocksProxy.h"

#include "SockFuncs.h"
#include "port/PortErrors.h"
#include "port/SocketLib.h"
#include "port/WinsockDevice.h"
#include "port/WinsockPort.h"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

using namespace port;
using namespace loopback;
using namespace testsupport;

namespace {

struct Event {
    std::string Kind;
    int Code;
    bool Open; // GetOpen() while the event ran
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << e.Kind << "(" << e.Code << (e.Open ? ",open)" : ",closed)");
}

class PortFixture : public testing::Test {
  protected:
    PortFixture() {
        winsys::EventLoop::SetCurrent(&loop);
        port = std::make_unique<TWinsockPort>(&loop);
        port->SetDeviceLayer(dlWinsock);
        port->SetWsTelnet(false);
        port->OnWsConnect = [this](IComPort* cp) {
            events.push_back({"connect", 0, cp->GetOpen()});
        };
        port->OnWsDisconnect = [this](IComPort* cp) {
            events.push_back({"disconnect", 0, cp->GetOpen()});
        };
        port->OnWsError = [this](IComPort* cp, int32_t code) {
            events.push_back({"error", code, cp->GetOpen()});
        };
        port->OnTriggerAvail = [this](IComPort* cp, uint16_t count) {
            for (uint16_t i = 0; i < count; ++i)
                received += cp->GetChar();
        };
    }
    ~PortFixture() override {
        port.reset();
        winsys::EventLoop::SetCurrent(nullptr);
        SetSocketLibLoader({});
    }

    void Client(uint16_t to) {
        port->SetWsMode(wsClient);
        port->SetWsAddress("127.0.0.1");
        port->SetWsPort(std::to_string(to));
    }
    TWinsockDispatcher* Device() {
        return dynamic_cast<TWinsockDispatcher*>(port->GetDispatcher());
    }
    bool Pump(auto pred) { return testsupport::PumpUntil(loop, pred); }
    bool Saw(const std::string& kind) const {
        return std::any_of(events.begin(), events.end(),
                           [&](const Event& e) { return e.Kind == kind; });
    }
    std::string PeerGets(int fd, size_t count) { return loopback::PeerGets(loop, fd, count); }

    winsys::EventLoop loop;
    std::unique_ptr<TWinsockPort> port;
    std::vector<Event> events;
    std::string received;
};

TEST_F(PortFixture, ClientOpensAtOnceConnectsLaterAndSendsWhatWasWrittenMeanwhile) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    port->SetOpen(true);
    EXPECT_TRUE(port->GetOpen());
    port->PutString("request");
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(Pump([&] { return Saw("connect"); }));
    EXPECT_TRUE(port->GetWsConnected());
    Fd peer = Accept(listener.Get());
    EXPECT_EQ(PeerGets(peer.Get(), 7), "request");
    ASSERT_TRUE(SendAll(peer.Get(), "reply"));
    ASSERT_TRUE(Pump([&] { return received == "reply"; }));
    EXPECT_EQ(events, (std::vector<Event>{{"connect", 0, true}}));

    port->SetOpen(false);
    EXPECT_EQ(events.back(), (Event{"disconnect", 0, false}));
}

TEST_F(PortFixture, ARefusedClientReportsWhileOpenThenClosesItselfWithoutDisconnect) {
    Client(ClosedPort());
    port->SetOpen(true);
    ASSERT_TRUE(Pump([&] { return !port->GetOpen(); }));
    PumpUntilIdle(loop);
    EXPECT_EQ(events, (std::vector<Event>{{"error", 10061, true}}));
}

TEST_F(PortFixture, APeersCleanCloseClosesTheClientAndDisconnectFollows) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    port->SetOpen(true);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw("connect"); }));
    ASSERT_TRUE(SendAll(peer.Get(), "last"));
    peer.Reset();
    ASSERT_TRUE(Pump([&] { return !port->GetOpen(); }));
    EXPECT_EQ(received, "last");
    EXPECT_EQ(events, (std::vector<Event>{{"connect", 0, true}, {"disconnect", 0, false}}));
}

TEST_F(PortFixture, AnUnresolvableAddressFailsTheOpenWith9007) {
    port->SetWsAddress("rvex-lan-module.invalid");
    port->SetWsPort("2101");
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception";
    } catch (const EPortException& e) { // the handler heard the code; the open fails plainly
        EXPECT_STREQ(e.what(), "Koru exception");
    }
    EXPECT_EQ(events, (std::vector<Event>{{"error", 9007, false}}));
    EXPECT_FALSE(port->GetOpen());

    port->OnWsError = nullptr;
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 9007);
        EXPECT_STREQ(e.what(), "Cannot resolve destination address");
    }
    EXPECT_FALSE(port->GetOpen());
}

TEST_F(PortFixture, WsPortIsANumberOrATcpServiceName) {
    EXPECT_EQ(port->GetWsPort(), "telnet"); // the component's default
    port->SetWsAddress("127.0.0.1");
    port->SetOpen(true); // 127.0.0.1:23, refused or not: only loopback is touched
    ASSERT_NE(Device(), nullptr);
    EXPECT_EQ(ntohs(Device()->RemoteAddr.sin_port), 23);
    port->SetOpen(false);

    port->SetWsPort(" 2101 ");
    EXPECT_EQ(port->GetWsPort(), "2101");
    port->SetOpen(true);
    EXPECT_EQ(ntohs(Device()->RemoteAddr.sin_port), 2101);
    port->SetOpen(false);

    for (const char* bad : {"no-such-service-here", "0", "70000"}) {
        port->SetWsPort(bad);
        try {
            port->SetOpen(true);
            ADD_FAILURE() << bad;
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.ErrorCode, 9005) << bad;
            EXPECT_STREQ(e.what(), "Specified port is not valid");
        }
        EXPECT_FALSE(port->GetOpen());
    }
}

TEST_F(PortFixture, SettingsAreStoredTrimmedAndCannotChangeWhileOpen) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    port->SetWsAddress("  127.0.0.1 ");
    EXPECT_EQ(port->GetWsAddress(), "127.0.0.1");
    port->SetOpen(true);
    EXPECT_NO_THROW(port->SetWsAddress("127.0.0.1"));
    for (auto change : std::vector<std::function<void()>>{[&] { port->SetWsAddress("127.0.0.2"); },
                                                          [&] { port->SetWsPort("502"); },
                                                          [&] { port->SetWsMode(wsServer); }}) {
        try {
            change();
            ADD_FAILURE() << "no exception";
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.ErrorCode, 9006);
            EXPECT_STREQ(e.what(), "Cannot change parameter while socket is connected");
        }
    }
    EXPECT_EQ(port->GetWsAddress(), "127.0.0.1");
    EXPECT_EQ(port->GetWsMode(), wsClient);
}

TEST_F(PortFixture, AClientWithoutAddressDoesNotOpen) {
    port->SetWsPort("2101");
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 10039);
        EXPECT_STREQ(e.what(), "The destination address is required for this operation");
    }
    EXPECT_FALSE(port->GetOpen());
}

TEST_F(PortFixture, AnUnusableSocketLibraryFailsTheOpen) {
    SetSocketLibLoader([](TSockFuncs&) { return false; });
    port = std::make_unique<TWinsockPort>(&loop);
    port->SetDeviceLayer(dlWinsock);
    port->SetWsAddress("127.0.0.1");
    port->SetWsPort("2101");
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 9002);
        EXPECT_STREQ(e.what(), "Winsock not initialized - Error loading Winsock DLL");
    }
    EXPECT_FALSE(port->GetOpen());
}

TEST_F(PortFixture, AQueuedErrorOfAClosedConnectionNeverReachesTheNextOneOnItsNumber) {
    // A second port keeps the shared device socket, and with it the queued error, alive.
    TWinsockPort holder(&loop);
    holder.SetDeviceLayer(dlWinsock);
    holder.SetWsTelnet(false);
    Fd other = Listen();
    holder.SetWsAddress("127.0.0.1");
    holder.SetWsPort(std::to_string(LocalPort(other.Get())));
    holder.SetOpen(true);

    Fd first = Listen(), second = Listen();
    Client(LocalPort(first.Get()));
    port->SetOpen(true);
    Fd peer = Accept(first.Get());
    ASSERT_TRUE(Pump([&] { return Saw("connect"); }));
    const TSocketHandle number = Device()->DeviceHandle();
    Reset(peer);
    pollfd reset{number, POLLIN, 0};
    ASSERT_EQ(::poll(&reset, 1, 2000), 1); // the reset has arrived; the loop has not seen it
    port->PutString("lost");               // the send fails: its error is queued for the loop
    port->SetOpen(false);

    events.clear();
    Client(LocalPort(second.Get()));
    port->SetOpen(true);
    ASSERT_EQ(Device()->DeviceHandle(), number); // the platform handed out the same number
    Fd next = Accept(second.Get());
    ASSERT_TRUE(Pump([&] { return Saw("connect"); }));
    loop.RunFor(100);
    EXPECT_TRUE(port->GetOpen());
    EXPECT_EQ(events, (std::vector<Event>{{"connect", 0, true}}));
    port->PutString("kept");
    EXPECT_EQ(PeerGets(next.Get(), 4), "kept");
}

TEST_F(PortFixture, ACloseFromTheWsEventsIsFinishedAfterThem) {
    struct Inside {
        TPortState State = psClosed;
        bool Open = false;
    };
    for (bool refused : {true, false}) { // closed from OnWsError, then from OnWsConnect
        SCOPED_TRACE(refused ? "OnWsError" : "OnWsConnect");
        Fd listener = Listen();
        Client(refused ? ClosedPort() : LocalPort(listener.Get()));
        std::optional<Inside> inside;
        auto closeHere = [&](IComPort*) {
            port->SetOpen(false);
            inside = Inside{port->GetPortState(), port->GetOpen()};
        };
        port->OnWsError = [&](IComPort* cp, int32_t) { closeHere(cp); };
        port->OnWsConnect = closeHere;
        port->SetOpen(true);
        ASSERT_TRUE(Pump([&] { return inside.has_value(); }));
        EXPECT_EQ(inside->State, psShuttingDown);
        EXPECT_TRUE(inside->Open);
        ASSERT_TRUE(Pump([&] { return port->GetPortState() == psClosed; }));
        EXPECT_FALSE(port->GetOpen());
    }
}

class ServerFixture : public PortFixture {
  protected:
    // Listens on 127.0.0.1: the component binds to any address, so the test reaches
    // into the dispatcher it makes before the open.
    uint16_t Listen127() {
        port->SetWsMode(wsServer);
        port->SetWsPort(std::to_string(ClosedPort()));
        port->ActivationProc = [](TCustomComPort& p) -> std::unique_ptr<TBaseDispatcher> {
            return std::make_unique<LoopbackDispatcher>(&p, p.Loop());
        };
        port->SetOpen(true);
        return ntohs(Device()->LocalAddr.sin_port);
    }
    class LoopbackDispatcher : public TWinsockDispatcher {
      public:
        using TWinsockDispatcher::TWinsockDispatcher;
        bool SetupCom(int32_t In, int32_t Out) override {
            LocalAddr.sin_addr.S_addr = htonl(INADDR_LOOPBACK);
            return TWinsockDispatcher::SetupCom(In, Out);
        }
    };
};

TEST_F(ServerFixture, OnePeerAtATimeItsDataWithoutConnectAndTheNextAfterItsEnd) {
    uint16_t at = Listen127();
    EXPECT_TRUE(port->GetOpen());
    Fd first = Connect(at);
    ASSERT_TRUE(SendAll(first.Get(), "one"));
    ASSERT_TRUE(Pump([&] { return received == "one"; }));
    Fd second = Connect(at);
    EXPECT_EQ(PeerGets(second.Get(), 1), ""); // closed at once
    ASSERT_TRUE(SendAll(first.Get(), "two"));
    ASSERT_TRUE(Pump([&] { return received == "onetwo"; }));
    port->PutString("out");
    EXPECT_EQ(PeerGets(first.Get(), 3), "out");
    EXPECT_TRUE(events.empty()); // no OnWsConnect in server mode

    first.Reset();
    ASSERT_TRUE(Pump([&] { return Saw("disconnect"); }));
    EXPECT_EQ(events, (std::vector<Event>{{"disconnect", 0, true}}));
    Fd third = Connect(at);
    ASSERT_TRUE(SendAll(third.Get(), "three"));
    ASSERT_TRUE(Pump([&] { return received == "onetwothree"; }));
}

TEST_F(ServerFixture, AfterAPeersResetTheServerServesTheNextPeer) {
    uint16_t at = Listen127();
    Fd first = Connect(at);
    ASSERT_TRUE(SendAll(first.Get(), "a"));
    ASSERT_TRUE(Pump([&] { return received == "a"; }));
    Reset(first);
    ASSERT_TRUE(Pump([&] { return Saw("error"); }));
    EXPECT_EQ(events, (std::vector<Event>{{"disconnect", 0, true}, {"error", 10054, true}}));
    Fd next = Connect(at);
    ASSERT_TRUE(SendAll(next.Get(), "b"));
    ASSERT_TRUE(Pump([&] { return received == "ab"; }));
    port->PutString("c");
    EXPECT_EQ(PeerGets(next.Get(), 1), "c");

    events.clear();
    port->SetOpen(false); // a server's close always ends with OnWsDisconnect
    EXPECT_EQ(events, (std::vector<Event>{{"disconnect", 0, false}}));
}

TEST_F(ServerFixture, OnWsAcceptCanRefuseAPeer) {
    int offered = 0;
    port->OnWsAccept = [&](TCustomWinsockPort*, TInAddr addr, bool& accept) {
        EXPECT_EQ(addr.S_addr, htonl(INADDR_LOOPBACK));
        accept = ++offered > 1;
    };
    uint16_t at = Listen127();
    Fd refused = Connect(at);
    EXPECT_EQ(PeerGets(refused.Get(), 1), "");
    Fd accepted = Connect(at);
    ASSERT_TRUE(SendAll(accepted.Get(), "in"));
    ASSERT_TRUE(Pump([&] { return received == "in"; }));
    EXPECT_EQ(offered, 2);
}

TEST_F(PortFixture, TelnetIsHandledInBothDirectionsWhenOn) {
    Fd listener = Listen();
    Client(LocalPort(listener.Get()));
    port->SetWsTelnet(true);
    port->SetOpen(true);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw("connect"); }));
    ASSERT_TRUE(SendAll(peer.Get(), std::string("\xFF\xFD\x18", 3)));
    EXPECT_EQ(PeerGets(peer.Get(), 3), std::string("\xFF\xFB\x18", 3));
    ASSERT_TRUE(SendAll(peer.Get(), std::string("\xFF\xFF\x0D\x00\x41", 5)));
    ASSERT_TRUE(Pump([&] { return received.size() >= 3; }));
    EXPECT_EQ(received, std::string("\xFF\x0D\x41", 3));
    port->PutBlock("\xFF\x01\x0D\x41", 4);
    EXPECT_EQ(PeerGets(peer.Get(), 6), std::string("\xFF\xFF\x01\x0D\x00\x41", 6));
}

TEST_F(PortFixture, TheLocalAddressesAreDotted) {
    const auto& list = port->GetWsLocalAddresses();
    ASSERT_FALSE(list.empty());
    for (const std::string& a : list)
        EXPECT_TRUE(std::regex_match(a, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << a;
}

TEST_F(PortFixture, TheNetworkLayerNeedsNoPortNumberAndForcesItsSettings) {
    EXPECT_EQ(port->GetComNumber(), 0);
    EXPECT_EQ(port->GetTapiMode(), tmOff);
    EXPECT_FALSE(port->GetUseMSRShadow());
    port->SetUseMSRShadow(true);
    EXPECT_FALSE(port->GetUseMSRShadow());
}

class SocksPort : public PortFixture {
  protected:
    void ThroughProxy(TSocksVersion version, uint16_t proxyPort, uint16_t destination,
                      const char* password) {
        Client(destination);
        port->WsSocksServerInfo().SetSocksVersion(version);
        port->WsSocksServerInfo().SetAddress("127.0.0.1");
        port->WsSocksServerInfo().SetPort(proxyPort);
        port->WsSocksServerInfo().SetUserCode("tech");
        port->WsSocksServerInfo().SetPassword(password);
    }
};

TEST_F(SocksPort, Socks5CarriesTheStreamToTheDestination) {
    Echo echo;
    Proxy proxy("tech", "secret");
    ThroughProxy(svSocks5, proxy.Port(), echo.Port(), "secret");
    port->SetWsTelnet(true); // telnet starts after the negotiation
    port->SetOpen(true);     // returns once the proxy connected us
    EXPECT_TRUE(port->GetOpen());
    EXPECT_EQ(events, (std::vector<Event>{{"connect", 0, true}})); // once the proxy granted
    port->PutString("ping");
    ASSERT_TRUE(Pump([&] { return received == "ping"; }));
    EXPECT_FALSE(Saw("error"));
}

TEST_F(SocksPort, Socks4CarriesTheStreamToTheDestination) {
    Echo echo;
    Proxy proxy("tech", "");
    ThroughProxy(svSocks4, proxy.Port(), echo.Port(), "");
    port->SetOpen(true);
    port->PutString("ping");
    ASSERT_TRUE(Pump([&] { return received == "ping"; }));
}

TEST_F(SocksPort, AProxyThatRefusesReportsItsCodeAndNoDisconnectWithoutAConnect) {
    Proxy proxy("tech", "");
    ThroughProxy(svSocks4, proxy.Port(), ClosedPort(), "");
    port->SetOpen(true);
    ASSERT_TRUE(Pump([&] { return !port->GetOpen(); }));
    loop.RunFor(20);
    EXPECT_EQ(events, (std::vector<Event>{{"error", 9008, true}}));
    EXPECT_FALSE(port->GetWsConnected());
}

TEST_F(SocksPort, AProxyThatRefusesFailsTheOpenWithItsCode) {
    Proxy proxy("tech", "");
    ThroughProxy(svSocks4, proxy.Port(), ClosedPort(), "");
    port->OnWsError = nullptr;
    try {
        port->SetOpen(true);
        ADD_FAILURE() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.ErrorCode, 9008);
    }
    EXPECT_FALSE(port->GetOpen());
}

} // namespace

// The network device layer under a real dispatcher over loopback: connecting,
// accepting, the data road both ways with and without telnet, the ends of a
// connection and the faults mended in it.
#include "LoopbackPeer.h"

#include "SockFuncs.h"
#include "port/SocketLib.h"
#include "port/WinsockDevice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace port;
using namespace loopback;
using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// Sends on no socket at all, counted through the socket library's table.
int SendsOnNoSocket = 0;
ssize_t CountingSend(int Fd, const void* Buf, size_t Len, int Flags) {
    if (Fd < 0) ++SendsOnNoSocket;
    return ::send(Fd, Buf, Len, Flags);
}

// A port's notify window: it records the socket events, answers accepts, and reads
// every announced byte as the tool's data handler does.
class DeviceFixture : public testing::Test {
  protected:
    DeviceFixture() {
        window = loop.CreateWindow([this](winsys::HWND, uint32_t msg, winsys::WPARAM w,
                                          winsys::LPARAM l) -> winsys::LRESULT {
            if (msg == SocketNotifyMsg) {
                events.push_back(static_cast<int>(w));
                if (w == WsEventAccept) {
                    acceptedFrom = static_cast<uint32_t>(l);
                    return acceptReply;
                }
                return 0;
            }
            if (msg == PortMsgAvail && port) {
                std::string bytes(w, '\0');
                if (port->GetBlock(bytes.data(), static_cast<uint32_t>(w)) ==
                    static_cast<int32_t>(w))
                    received += bytes;
            }
            return 0;
        });
    }
    ~DeviceFixture() override {
        port.reset();
        loop.DestroyWindow(window);
        SetSocketLibLoader({});
    }

    // Opens as the network port does: client to 127.0.0.1:Port, or a server listening
    // on 127.0.0.1 (the port itself listens on any address).
    int32_t Open(bool client, uint16_t portNumber, bool telnet = false, uint32_t inSize = 4096) {
        port = std::make_unique<TWinsockDispatcher>(nullptr, &loop);
        port->InitSocketData(0, TInAddr{htonl(INADDR_LOOPBACK)}, htons(portNumber), client, telnet);
        if (!client) port->LocalAddr.sin_addr.S_addr = htonl(INADDR_LOOPBACK);
        int32_t r = port->InitSocket(inSize, 4096);
        if (r != 0) return r;
        port->NotifyWindow = window;
        port->RegisterWndTriggerHandler(window);
        port->UpdateHandlerFlags(fuEnablePort);
        port->ChangeLengthTrigger(1);
        return 0;
    }
    uint16_t ServerPort() { return LocalPort(port->DeviceHandle()); }
    bool Saw(int event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    bool Pump(auto pred) { return testsupport::PumpUntil(loop, pred); }
    std::string PeerGets(int fd, size_t count) { return loopback::PeerGets(loop, fd, count); }
    int32_t Put(const std::string& s) {
        return port->PutBlock(s.data(), static_cast<uint32_t>(s.size()));
    }

    winsys::EventLoop loop;
    winsys::HWND window = 0;
    std::unique_ptr<TWinsockDispatcher> port;
    std::vector<int> events;
    std::string received;
    winsys::LRESULT acceptReply = 1;
    uint32_t acceptedFrom = 0;
};

TEST_F(DeviceFixture, ARequestWrittenBeforeTheConnectGoesOutWithoutAnyErrorOnceConnected) {
    SetSocketLibLoader([](TSockFuncs& f) {
        f = PlatformSockFuncs();
        f.send = CountingSend;
        return true;
    });
    SendsOnNoSocket = 0;
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get())), 0);
    EXPECT_EQ(Put("request"), 0); // queued: the connect is still running
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    Fd peer = Accept(listener.Get());
    EXPECT_EQ(ReceiveSome(peer.Get(), 7), "request");
    EXPECT_EQ(events, (std::vector<int>{WsEventConnect})); // no 10038, nor any other error
    EXPECT_EQ(SendsOnNoSocket, 0);
    EXPECT_TRUE(port->CheckDCD());

    ASSERT_TRUE(SendAll(peer.Get(), "reply"));
    ASSERT_TRUE(Pump([&] { return received == "reply"; }));
}

TEST_F(DeviceFixture, ARefusedConnectIsReportedAs10061) {
    ASSERT_EQ(Open(true, ClosedPort()), 0);
    ASSERT_TRUE(Pump([&] { return !events.empty(); }));
    PumpUntilIdle(loop);
    EXPECT_EQ(events, (std::vector<int>{10061}));
    EXPECT_FALSE(port->CheckDCD());
}

TEST_F(DeviceFixture, ThePeersLastBytesArriveBeforeItsEnd) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get())), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    ASSERT_TRUE(SendAll(peer.Get(), "bye"));
    peer.Reset();
    ASSERT_TRUE(Pump([&] { return Saw(WsEventClientClosed); }));
    EXPECT_EQ(received, "bye");
    EXPECT_EQ(events, (std::vector<int>{WsEventConnect, WsEventClientClosed}));
    EXPECT_FALSE(port->CheckDCD());
}

TEST_F(DeviceFixture, ServerTakesOnePeerClosesASecondAtOnceAndKeepsTheFirstFlowing) {
    ASSERT_EQ(Open(false, 0), 0);
    Fd first = Connect(ServerPort());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventAccept); }));
    EXPECT_EQ(acceptedFrom, htonl(INADDR_LOOPBACK));
    ASSERT_TRUE(SendAll(first.Get(), "one"));
    ASSERT_TRUE(Pump([&] { return received == "one"; }));

    Fd second = Connect(ServerPort());
    ASSERT_TRUE(second);
    EXPECT_EQ(PeerGets(second.Get(), 1), ""); // closed by the server at once
    ASSERT_TRUE(SendAll(first.Get(), "two"));
    ASSERT_TRUE(Pump([&] { return received == "onetwo"; }));
    EXPECT_EQ(Put("out"), 0);
    EXPECT_EQ(ReceiveSome(first.Get(), 3), "out");
    EXPECT_EQ(events, (std::vector<int>{WsEventAccept}));
}

TEST_F(DeviceFixture, ServerListensForTheNextPeerAfterACleanCloseAndAfterAReset) {
    ASSERT_EQ(Open(false, 0), 0);
    for (int round = 0; round < 2; ++round) {
        events.clear();
        Fd peer = Connect(ServerPort());
        ASSERT_TRUE(Pump([&] { return Saw(WsEventAccept); })) << round;
        EXPECT_EQ(Put("hi"), 0);
        EXPECT_EQ(ReceiveSome(peer.Get(), 2), "hi") << round;
        if (round == 0) {
            peer.Reset();
            ASSERT_TRUE(Pump([&] { return Saw(WsEventServerPeerClosed); }));
        } else {
            Reset(peer);
            ASSERT_TRUE(Pump([&] { return Saw(10054); }));
        }
        EXPECT_FALSE(port->CheckDCD()) << round;
    }
    // After the reset the next peer is accepted and served, not dropped.
    events.clear();
    Fd next = Connect(ServerPort());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventAccept); }));
    ASSERT_TRUE(SendAll(next.Get(), "next"));
    ASSERT_TRUE(Pump([&] { return received == "next"; }));
}

TEST_F(DeviceFixture, ARefusedPeerIsClosedAndTheServerWaitsForAnother) {
    ASSERT_EQ(Open(false, 0), 0);
    acceptReply = 0;
    Fd refused = Connect(ServerPort());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventAccept); }));
    EXPECT_EQ(PeerGets(refused.Get(), 1), "");
    acceptReply = 1;
    Fd welcome = Connect(ServerPort());
    ASSERT_TRUE(Pump([&] { return events.size() == 2; }));
    ASSERT_TRUE(SendAll(welcome.Get(), "ok"));
    ASSERT_TRUE(Pump([&] { return received == "ok"; }));
}

TEST_F(DeviceFixture, TelnetCommandsAreAnsweredAndTheDataEscapedBothWays) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get()), true), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));

    ASSERT_TRUE(SendAll(peer.Get(), Str({255, 253, 24})));
    EXPECT_EQ(PeerGets(peer.Get(), 3), Str({255, 251, 24}));
    ASSERT_TRUE(SendAll(peer.Get(), Str({255, 250, 24, 1, 255, 240})));
    EXPECT_EQ(PeerGets(peer.Get(), 11), Str({255, 250, 24, 0, 'v', 't', '1', '0', '0', 255, 240}));
    ASSERT_TRUE(SendAll(peer.Get(), Str({255, 255, 13, 0, 65})));
    ASSERT_TRUE(Pump([&] { return received.size() >= 3; }));
    EXPECT_EQ(received, Str({255, 13, 65}));

    EXPECT_EQ(Put(Str({255, 1, 13, 65})), 0);
    EXPECT_EQ(ReceiveSome(peer.Get(), 6), Str({255, 255, 1, 13, 0, 65}));
}

TEST_F(DeviceFixture, TheTerminalTypeSentIsTheDeviceSocketsTermType) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get()), true), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    ASSERT_NE(CurrentDeviceSocket(), nullptr);
    CurrentDeviceSocket()->TermType = "ansi";
    ASSERT_TRUE(SendAll(peer.Get(), Str({255, 250, 24, 1, 255, 240})));
    EXPECT_EQ(PeerGets(peer.Get(), 10), Str({255, 250, 24, 0, 'a', 'n', 's', 'i', 255, 240}));
}

TEST_F(DeviceFixture, WithoutTelnetEveryByteCrossesUnchanged) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get()), false), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    const std::string raw = Str({255, 253, 24, 13, 0, 255, 255, 13});
    ASSERT_TRUE(SendAll(peer.Get(), raw));
    ASSERT_TRUE(Pump([&] { return received.size() >= raw.size(); }));
    EXPECT_EQ(received, raw);
    EXPECT_EQ(Put(raw), 0);
    EXPECT_EQ(ReceiveSome(peer.Get(), raw.size()), raw);
}

TEST_F(DeviceFixture, ASmallReceiveRingWrapsAndFillsWithoutLosingAByte) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get()), false, 16), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    std::string payload;
    for (int i = 0; i < 20000; ++i)
        payload += static_cast<char>('A' + i % 23);
    ASSERT_TRUE(SendAll(peer.Get(), payload));
    ASSERT_TRUE(Pump([&] { return received.size() >= payload.size(); }));
    EXPECT_EQ(received, payload);
}

TEST_F(DeviceFixture, ANetworkDeviceReportsFixedLineSettings) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get())), 0);
    int32_t baud;
    uint32_t parity;
    uint16_t stop, bits;
    port->GetLine(baud, parity, stop, bits);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(parity, 0u);
}

TEST_F(DeviceFixture, ClosingEndsTheConnectionAndReleasesTheSharedSocket) {
    Fd listener = Listen();
    ASSERT_EQ(Open(true, LocalPort(listener.Get())), 0);
    Fd peer = Accept(listener.Get());
    ASSERT_TRUE(Pump([&] { return Saw(WsEventConnect); }));
    ASSERT_NE(CurrentDeviceSocket(), nullptr);
    port->DonePort();
    EXPECT_EQ(ReceiveSome(peer.Get(), 1), ""); // the peer sees the end
    EXPECT_EQ(CurrentDeviceSocket(), nullptr);
}

TEST_F(DeviceFixture, AnUnusableSocketLibraryFailsTheOpenWithItsCode) {
    SetSocketLibLoader([](TSockFuncs&) { return false; });
    EXPECT_EQ(Open(true, 2101), -9002);
    EXPECT_EQ(CurrentDeviceSocket(), nullptr);
}

} // namespace

// The socket layer on Windows: the library loaded by name at run time, and a client
// and a server TSocket on the loopback address whose events arrive as the library's
// asynchronous notifications to their windows.
#include "port/PortErrors.h"
#include "port/Socket.h"
#include "port/SocketLib.h"

#include "SockFuncs.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace port;

namespace {

constexpr uint32_t Loopback = 0x0100007Fu; // 127.0.0.1 in network order

TSockAddrIn LoopbackAddr(uint16_t NetPort) {
    TSockAddrIn Addr;
    Addr.sin_family = AfInet;
    Addr.sin_port = NetPort;
    Addr.sin_addr.S_addr = Loopback;
    return Addr;
}

class SocketWin32 : public ::testing::Test {
  protected:
    SocketWin32() { winsys::EventLoop::SetCurrent(&Loop); }
    ~SocketWin32() override { winsys::EventLoop::SetCurrent(nullptr); }
    template <class Pred> bool PumpUntil(Pred Done) {
        for (int I = 0; I < 300 && !Done(); ++I)
            Loop.RunFor(10);
        return Done();
    }
    // A listening server socket on 127.0.0.1 and an ephemeral port (network order).
    TSocketHandle Listen(TSocket& Server, uint16_t& NetPort) {
        TSocketHandle S = Server.CreateSocket();
        EXPECT_EQ(Server.BindSocket(S, LoopbackAddr(0)), 0);
        sockaddr_in Bound{};
        int Len = sizeof Bound;
        SockFuncs.getsockname(static_cast<SOCKET>(S), reinterpret_cast<sockaddr*>(&Bound), &Len);
        NetPort = Bound.sin_port;
        EXPECT_EQ(Server.SetAsyncStyles(S, FdAccept | FdRead | FdClose), 0);
        EXPECT_EQ(Server.ListenSocket(S, 5), 0);
        return S;
    }

    winsys::EventLoop Loop;
};

} // namespace

TEST(SocketLibWin32, EveryEntryIsFoundByNameInTheLibrary) {
    SetSocketLibLoader({});
    EXPECT_TRUE(LoadWinsock()) << MissingSockFunc();
    EXPECT_NE(SockFuncs.WSAAsyncSelect, nullptr);
    EXPECT_NE(SockFuncs.WSACancelBlockingCall, nullptr);
}

TEST(SocketLibWin32, ALibraryThatDoesNotLoadLeavesTheSocketNotInitialized) {
    SetSocketLibLoader([](TSockFuncs&) { return false; });
    {
        TSocket Socket(nullptr);
        EXPECT_EQ(Socket.StartupError(), 9002);
        EXPECT_THROW(Socket.CreateSocket(), ESocketException);
    }
    SetSocketLibLoader({});
}

TEST_F(SocketWin32, StartsVersionOneOneAndKnowsTheLocalHost) {
    TSocket Socket(&Loop);
    ASSERT_EQ(Socket.StartupError(), 0);
    EXPECT_EQ(Socket.StartupData().wVersion, WinsockVersion11);
    EXPECT_NE(Socket.GetHandle(), 0u);
    EXPECT_EQ(Socket.String2NetAddr("127.0.0.1").S_addr, Loopback);
    EXPECT_EQ(Socket.NetAddr2String(TInAddr{Loopback}), "127.0.0.1");
    EXPECT_EQ(Socket.String2NetAddr("no address").S_addr, InAddrNone);
    EXPECT_EQ(Socket.LookupName("module.invalid").S_addr, 0u);
    EXPECT_EQ(WsPortNumber(Socket, "2101"), 2101);
    EXPECT_EQ(WsPortNumber(Socket, "70000"), 0);
}

TEST_F(SocketWin32, ConnectAcceptDataAndCloseArriveAsNotifications) {
    TSocket Server(&Loop), Client(&Loop);
    uint16_t NetPort = 0;
    TSocketHandle Listener = Listen(Server, NetPort);
    TSocketHandle Accepted = InvalidSocket;
    std::string ServerGot;
    bool Connected = false, Disconnected = false;
    Server.OnAccept = [&](TSocket& S, TSocketHandle L) {
        TSockAddrIn Peer;
        Accepted = S.AcceptSocket(L, Peer);
        EXPECT_EQ(Peer.sin_addr.S_addr, Loopback);
    };
    Server.OnRead = [&](TSocket& S, TSocketHandle Sock) {
        char Buf[64];
        int N = S.ReadSocket(Sock, Buf, sizeof Buf, 0);
        if (N > 0) ServerGot.append(Buf, static_cast<size_t>(N));
    };
    Client.OnConnect = [&](TSocket&, TSocketHandle) { Connected = true; };
    Client.OnDisconnect = [&](TSocket&, TSocketHandle) { Disconnected = true; };
    std::vector<int> ClientErrors;
    Client.OnError = [&](TSocket&, TSocketHandle, int Code) { ClientErrors.push_back(Code); };

    TSocketHandle S = Client.CreateSocket();
    ASSERT_EQ(Client.SetAsyncStyles(S, FdConnect | FdRead | FdWrite | FdClose), 0);
    Client.ConnectSocket(S, LoopbackAddr(NetPort)); // would-block is passed over
    ASSERT_TRUE(PumpUntil([&] { return Connected && Accepted != InvalidSocket; }));

    ASSERT_EQ(Client.WriteSocket(S, "hello", 5, 0), 5);
    EXPECT_TRUE(PumpUntil([&] { return ServerGot == "hello"; }));
    // Read since its read event: new bytes would come as an event of their own.
    EXPECT_FALSE(Server.ReadMayHaveData(Accepted));

    Server.CloseSocket(Accepted);
    EXPECT_TRUE(PumpUntil([&] { return Disconnected; }));
    EXPECT_TRUE(ClientErrors.empty());
    Client.CloseSocket(S);
    Server.CloseSocket(Listener);
}

TEST_F(SocketWin32, ARefusedConnectIsReportedAsAnError) {
    TSocket Server(&Loop), Client(&Loop);
    uint16_t NetPort = 0;
    TSocketHandle Listener = Listen(Server, NetPort);
    Server.CloseSocket(Listener); // nobody listens there any more

    std::vector<int> Errors;
    Client.OnError = [&](TSocket&, TSocketHandle, int Code) { Errors.push_back(Code); };
    TSocketHandle S = Client.CreateSocket();
    ASSERT_EQ(Client.SetAsyncStyles(S, FdConnect | FdRead | FdClose), 0);
    Client.ConnectSocket(S, LoopbackAddr(NetPort));
    ASSERT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
    EXPECT_EQ(Errors.front(), 10061);
    Client.CloseSocket(S);
}

TEST_F(SocketWin32, APostedErrorReachesItsSocketOnlyWhileTheSocketIsOpen) {
    TSocket Socket(&Loop);
    std::vector<std::pair<TSocketHandle, int>> Errors;
    Socket.OnError = [&](TSocket&, TSocketHandle S, int Code) { Errors.emplace_back(S, Code); };
    TSocketHandle Kept = Socket.CreateSocket();
    TSocketHandle Closed = Socket.CreateSocket();
    ASSERT_EQ(Socket.SetAsyncStyles(Kept, FdRead | FdClose), 0);
    ASSERT_EQ(Socket.SetAsyncStyles(Closed, FdRead | FdClose), 0);

    Socket.PostError(Closed, 10054);
    Socket.PostError(Kept, 10053);
    EXPECT_TRUE(Errors.empty()); // delivered from the loop, after the call
    Socket.CloseSocket(Closed);
    ASSERT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
    Loop.ProcessMessages();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors.front(), std::make_pair(Kept, 10053));
    Socket.CloseSocket(Kept);
}

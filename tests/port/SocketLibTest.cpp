// The socket library's loading and start: a loader that fails, an entry point that is
// missing, a start-up that fails or grants the wrong version.
#include "port/SocketLib.h"
#include "SockFuncs.h"
#include "port/PortErrors.h"
#include "port/Socket.h"

#include "ScopedSetting.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace port;

namespace {

int StartupFails(uint16_t, TWSAData*) {
    return 10091;
}
int StartupGrantsTwoZero(uint16_t, TWSAData* Data) {
    Data->wVersion = 0x0002;
    Data->szDescription = "two point zero";
    return 0;
}

int AddrInfoCalls = 0;
int CountingGetAddrInfo(const char* Node, const char* Service, const addrinfo* Hints,
                        addrinfo** Result) {
    ++AddrInfoCalls;
    return ::getaddrinfo(Node, Service, Hints, Result);
}

struct LoaderRow {
    const char* Name;
    TSocketLibLoader Loader;
    int Code;
    bool Window; // the notification window exists whenever the start-up call succeeded
    const char* Message;
};

void PrintTo(const LoaderRow& row, std::ostream* os) {
    *os << row.Name;
}

class FailingSocketLib : public testing::TestWithParam<LoaderRow> {
  protected:
    void TearDown() override { SetSocketLibLoader({}); }
    winsys::EventLoop loop;
};

TEST_P(FailingSocketLib, EveryOperationRaisesWinsockNotInitializedAndReportsNothing) {
    SetSocketLibLoader(GetParam().Loader);
    TSocket sock(&loop);
    const int code = GetParam().Code;
    EXPECT_EQ(sock.StartupError(), code);
    EXPECT_EQ(sock.GetHandle() != 0, GetParam().Window);
    int reported = 0;
    sock.OnError = [&](TSocket&, TSocketHandle, int) { ++reported; };
    auto raises = [&](const char* what, auto op) {
        try {
            op();
        } catch (const ESocketException& e) {
            EXPECT_EQ(e.ErrorCode, code) << what;
            EXPECT_STREQ(e.what(), GetParam().Message) << what;
            return;
        }
        ADD_FAILURE() << what << " did not raise";
    };
    TSockAddrIn addr;
    char buf[4];
    raises("CheckLoaded", [&] { sock.CheckLoaded(); });
    raises("CreateSocket", [&] { sock.CreateSocket(); });
    raises("ConnectSocket", [&] { sock.ConnectSocket(3, addr); });
    raises("ReadSocket", [&] { sock.ReadSocket(3, buf, 4, 0); });
    raises("SetAsyncStyles", [&] { sock.SetAsyncStyles(3, FdRead); });
    raises("LookupName", [&] { sock.LookupName("localhost"); });
    raises("LookupService", [&] { sock.LookupService("telnet"); });
    raises("GetLocalHost", [&] { sock.GetLocalHost(); });
    std::vector<std::string> addresses{"left over"};
    EnumHostAddresses(sock, addresses); // an unusable library leaves the list empty
    EXPECT_TRUE(addresses.empty());
    EXPECT_EQ(reported, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Loaders, FailingSocketLib,
    testing::Values(LoaderRow{"NotLoaded", [](TSockFuncs&) { return false; }, 9002, false,
                              "Winsock not initialized - Error loading Winsock DLL"},
                    LoaderRow{"EntryMissing",
                              [](TSockFuncs& f) {
                                  f = PlatformSockFuncs();
                                  f.connect = nullptr;
                                  return true;
                              },
                              9002, false, "Winsock not initialized - Error loading Winsock DLL"},
                    LoaderRow{"StartupFails",
                              [](TSockFuncs& f) {
                                  f = PlatformSockFuncs();
                                  f.WSAStartup = StartupFails;
                                  return true;
                              },
                              10091, false, "Winsock not initialized - Network subsystem unusable"},
                    LoaderRow{"WrongVersion",
                              [](TSockFuncs& f) {
                                  f = PlatformSockFuncs();
                                  f.WSAStartup = StartupGrantsTwoZero;
                                  return true;
                              },
                              9003, true,
                              "Winsock not initialized - Incorrect version of Winsock"}),
    [](const testing::TestParamInfo<LoaderRow>& info) { return std::string(info.param.Name); });

TEST(SocketLib, NamesTheFirstMissingEntryAndLoadsAgainOnceTheLoaderIsFixed) {
    testsupport::OnScopeExit platformLoader([] { SetSocketLibLoader({}); });
    SetSocketLibLoader([](TSockFuncs& f) {
        f = PlatformSockFuncs();
        f.recv = nullptr;
        f.send = nullptr;
        return true;
    });
    EXPECT_FALSE(LoadWinsock());
    EXPECT_EQ(MissingSockFunc(), "recv");
    SetSocketLibLoader({});
    EXPECT_TRUE(LoadWinsock());
    EXPECT_EQ(MissingSockFunc(), "");
    winsys::EventLoop loop;
    TSocket sock(&loop);
    EXPECT_EQ(sock.StartupError(), 0);
    EXPECT_TRUE(sock.WinsockLoaded());
    EXPECT_EQ(sock.StartupData().wVersion, WinsockVersion11);
    EXPECT_FALSE(sock.GetDescription().empty());
}

TEST(SocketLib, APortNumberIsUsedWithoutALookupAndAServiceNameIsLookedUp) {
    testsupport::OnScopeExit platformLoader([] { SetSocketLibLoader({}); });
    SetSocketLibLoader([](TSockFuncs& f) {
        f = PlatformSockFuncs();
        f.getaddrinfo = CountingGetAddrInfo;
        return true;
    });
    winsys::EventLoop loop;
    TSocket sock(&loop);
    AddrInfoCalls = 0;
    EXPECT_EQ(WsPortNumber(sock, "2101"), 2101);
    EXPECT_EQ(AddrInfoCalls, 0);
    EXPECT_EQ(WsPortNumber(sock, "telnet"), 23); // from the services database
    EXPECT_EQ(AddrInfoCalls, 1);
}

TEST(SocketLib, ErrnoBecomesTheSocketLibraryNumber) {
    struct Row {
        int Errno, Code;
    };
    // The rows that need a decision beyond the name: a connect in progress is "would
    // block", a closed descriptor is "not a socket", a broken pipe is a reset, and an
    // errno without an equivalent keeps its number for the system's own text.
    const Row rows[] = {{EINPROGRESS, 10035}, {EBADF, 10038}, {EPIPE, 10054}, {ENOENT, ENOENT}};
    for (const Row& row : rows)
        EXPECT_EQ(TranslateSocketError(row.Errno), row.Code) << row.Errno;
    EXPECT_EQ(TranslateLookupError(EAI_NONAME, 0), 11001);
    EXPECT_EQ(TranslateLookupError(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(TranslateLookupError(EAI_SYSTEM, ECONNREFUSED), 10061);
}

} // namespace

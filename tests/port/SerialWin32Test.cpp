// The serial device layer on Windows, on a pair of connected COM ports named by
// RVEX_TEST_COM_PAIR ("COM5,COM6": under wine two ptys of one pair, mapped in the
// prefix's dosdevices). Without it the tests that need the pair are skipped.
#include "port/ComMapping.h"
#include "port/PortErrors.h"
#include "port/SerialDevice.h"
#include "port/SerialDispatcher.h"

#include "winsys/Win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

using namespace port;

namespace {

struct TComPair {
    std::string A, B; // device paths
};

bool ComPair(TComPair& Pair) {
    const char* Value = std::getenv("RVEX_TEST_COM_PAIR");
    if (!Value) return false;
    const std::string Text = Value;
    const auto Comma = Text.find(',');
    if (Comma == std::string::npos || Text.compare(0, 3, "COM") != 0) return false;
    Pair.A = ComDevicePath(static_cast<unsigned>(std::atoi(Text.c_str() + 3)));
    Pair.B = ComDevicePath(static_cast<unsigned>(std::atoi(Text.c_str() + Comma + 4)));
    return !Pair.A.empty() && !Pair.B.empty();
}

// Wine runs the tests: where its emulation differs from Windows, the Windows behaviour
// cannot be checked.
bool UnderWine() {
    HMODULE Ntdll = GetModuleHandleW(L"ntdll.dll");
    return Ntdll && GetProcAddress(Ntdll, "wine_get_version");
}

#define REQUIRE_COM_PAIR(Pair)                                                                     \
    TComPair Pair;                                                                                 \
    if (!ComPair(Pair)) GTEST_SKIP() << "RVEX_TEST_COM_PAIR names no pair of COM ports"

// Reads from Device until Count bytes came or about two seconds passed.
std::string ReadBytes(SerialDevice& Device, size_t Count) {
    std::string Got;
    char Buf[256];
    for (int Round = 0; Round < 400 && Got.size() < Count; ++Round) {
        if (Device.Wait(5, weReadable) & weReadable) {
            const int32_t N = Device.Read(Buf, sizeof Buf);
            if (N > 0) Got.append(Buf, static_cast<size_t>(N));
        }
    }
    return Got;
}

} // namespace

TEST(ComMappingWin32, ComNumbersAreTheSystemsOwnDevices) {
    EXPECT_EQ(ComDevicePath(1), "\\\\.\\COM1");
    EXPECT_EQ(ComDevicePath(49), "\\\\.\\COM49");
    EXPECT_EQ(ComDevicePath(0), "");
    EXPECT_EQ(ComDevicePath(50), "");
    EXPECT_EQ(ComLinkDirectory(), "");
}

TEST(SerialDeviceWin32, AMissingPortIsNotFound) {
    SerialDevice Device;
    EXPECT_EQ(Device.Open("\\\\.\\COM48"), SerialDevice::NotFound);
    EXPECT_FALSE(Device.IsOpen());
}

TEST(SerialDeviceWin32, BytesCrossThePairBothWays) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice A, B;
    ASSERT_EQ(A.Open(Pair.A), 0);
    ASSERT_EQ(B.Open(Pair.B), 0);
    TSerialLine Line;
    Line.Baud = 19200;
    Line.Parity = pEven;
    EXPECT_EQ(A.SetLine(Line), 0);
    EXPECT_EQ(A.GetLine(), Line);

    std::string Bytes;
    for (int I = 0; I < 600; ++I)
        Bytes.push_back(static_cast<char>(I * 7));
    ASSERT_EQ(A.Write(Bytes.data(), static_cast<int32_t>(Bytes.size())),
              static_cast<int32_t>(Bytes.size()));
    EXPECT_EQ(ReadBytes(B, Bytes.size()), Bytes);
    ASSERT_EQ(B.Write("\x11\x13\xFF", 3), 3); // flow-control characters pass as data
    EXPECT_EQ(ReadBytes(A, 3), std::string("\x11\x13\xFF"));
    EXPECT_EQ(A.Close(), 0);
    EXPECT_FALSE(A.IsOpen());
}

// Whether the driver switches an RS485 line itself is found out by trying; wine's pty
// refuses RTS_CONTROL_TOGGLE, so there the dispatcher raises RTS around its writes.
TEST(SerialDeviceWin32, RS485ByTheDriverIsTriedNotAssumed) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice A;
    ASSERT_EQ(A.Open(Pair.A), 0);
    const int32_t R = A.SetRS485(false);
    EXPECT_TRUE(R == 0 || R == SerialDevice::RS485ByRts) << R;
    if (UnderWine()) {
        EXPECT_EQ(R, SerialDevice::RS485ByRts);
    }
}

TEST(SerialDeviceWin32, ASecondOpenOfAnOpenPortIsInUse) {
    REQUIRE_COM_PAIR(Pair);
    if (UnderWine()) GTEST_SKIP() << "wine opens a COM port that is open already";
    SerialDevice First, Second;
    ASSERT_EQ(First.Open(Pair.A), 0);
    EXPECT_EQ(Second.Open(Pair.A), SerialDevice::InUse);
    EXPECT_FALSE(
        ComPortUsable(static_cast<unsigned>(std::atoi(std::getenv("RVEX_TEST_COM_PAIR") + 3))));
}

// An idle wait neither returns early with nothing nor spins: it ends by its time-out,
// by the stop signal, or by data, whatever the system's event wait does meanwhile.
TEST(SerialDeviceWin32, AnIdleWaitEndsByTimeOutStopOrData) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice A, B;
    ASSERT_EQ(A.Open(Pair.A), 0);
    ASSERT_EQ(B.Open(Pair.B), 0);
    EXPECT_EQ(A.Wait(100, weReadable), 0u);

    TStopSignal Stop;
    std::thread Raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Stop.Raise();
    });
    EXPECT_EQ(A.Wait(-1, weReadable, &Stop), uint32_t{weStopped});
    Raiser.join();

    std::thread Writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        B.Write("x", 1);
    });
    EXPECT_EQ(A.Wait(-1, weReadable) & weReadable, uint32_t{weReadable});
    Writer.join();
    EXPECT_EQ(ReadBytes(A, 1), "x");
}

// The event thread's wait for input: bytes already there count as an arrival, a quiet
// line and a line whose input is not watched end by the time-out, the stop signal ends
// it, and Close ends it on another thread. On Windows an arrival is reported once,
// read or not; wine's pty, without an event wait, reports bytes again after each rest.
TEST(SerialDeviceWin32, WaitArrivalReportsArrivalsAndEndsByTimeOutStopOrClose) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice A, B;
    ASSERT_EQ(A.Open(Pair.A), 0);
    ASSERT_EQ(B.Open(Pair.B), 0);
    A.Purge(true, true);
    TStopSignal Stop;
    EXPECT_EQ(A.WaitArrival(100, true, &Stop), 0u);

    std::thread Writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        B.Write("ab", 2);
    });
    EXPECT_EQ(A.WaitArrival(2000, true, &Stop), uint32_t{weReadable});
    Writer.join();
    if (!UnderWine()) {
        EXPECT_EQ(A.WaitArrival(100, true, &Stop), 0u); // unread, but not new
    }

    ASSERT_EQ(B.Write("c", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(A.WaitArrival(100, false, &Stop), 0u); // not watching input
    EXPECT_EQ(A.WaitArrival(0, true, &Stop), uint32_t{weReadable});
    EXPECT_EQ(ReadBytes(A, 3), "abc");
    char Rest[8];
    EXPECT_EQ(A.Read(Rest, sizeof Rest), 0); // an empty queue: at once, nothing
    EXPECT_EQ(A.WaitArrival(100, true, &Stop) & weReadable, 0u);

    Stop.Raise();
    EXPECT_EQ(A.WaitArrival(-1, true, &Stop), uint32_t{weStopped});
    Stop.Clear();

    uint32_t Got = 0;
    std::thread Waiter([&] { Got = A.WaitArrival(-1, true, &Stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(A.Close(), 0);
    Waiter.join();
    EXPECT_TRUE(Got & (weStopped | weError));
    EXPECT_FALSE(A.IsOpen());
}

TEST(SerialDeviceWin32, CloseEndsAWaitOnAnotherThread) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice A;
    ASSERT_EQ(A.Open(Pair.A), 0);
    uint32_t Got = 0;
    std::thread Waiter([&] { Got = A.Wait(-1, weReadable); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(A.Close(), 0);
    Waiter.join();
    EXPECT_TRUE(Got & (weStopped | weError));
}

// The dispatcher's three threads on the device: bytes arrive as avail notifications on
// the window thread, written bytes reach the peer, and an idle open port does not spin
// its event thread.
class SerialDispatcherWin32 : public ::testing::Test {
  protected:
    SerialDispatcherWin32() {
        winsys::EventLoop::SetCurrent(&Loop);
        Window = Loop.CreateWindow([this](winsys::HWND, uint32_t Msg, winsys::WPARAM W,
                                          winsys::LPARAM L) -> winsys::LRESULT {
            if (!Port || PortHandleOf(L) != Port->PortHandle()) return 0;
            if (Msg == PortMsgAvail) {
                char C;
                for (uint32_t I = 0; I < W && Port->GetChar(C) == 0; ++I)
                    Received.push_back(C);
            }
            return 0;
        });
    }
    ~SerialDispatcherWin32() override {
        Port.reset();
        Loop.DestroyWindow(Window);
        winsys::EventLoop::SetCurrent(nullptr);
    }
    int32_t Open(const std::string& Path) {
        SerialDevice Stale; // bytes an earlier test left in the pair
        if (Stale.Open(Path) == 0) Stale.Purge(true, true);
        Stale.Close();
        Port = std::make_unique<TSerialDispatcher>(nullptr, &Loop);
        const int32_t R = Port->InitPort(Path.c_str(), 19200, pEven, 8, 1, 4096, 4096, 0x03);
        if (R == 0) {
            Port->RegisterWndTriggerHandler(Window);
            Port->UpdateHandlerFlags(fuEnablePort);
            Port->ChangeLengthTrigger(1);
        }
        return R;
    }
    template <class Pred> bool PumpUntil(Pred Done) {
        for (int I = 0; I < 300 && !Done(); ++I)
            Loop.RunFor(10);
        return Done();
    }

    winsys::EventLoop Loop;
    winsys::HWND Window = 0;
    std::unique_ptr<TSerialDispatcher> Port;
    std::string Received;
};

TEST_F(SerialDispatcherWin32, BytesTravelThroughTheThreadsBothWays) {
    REQUIRE_COM_PAIR(Pair);
    SerialDevice Peer;
    ASSERT_EQ(Peer.Open(Pair.B), 0);
    ASSERT_EQ(Open(Pair.A), 0);

    ASSERT_EQ(Peer.Write("\x01\x03\x00\x10", 4), 4);
    EXPECT_TRUE(PumpUntil([&] { return Received.size() == 4; }));
    EXPECT_EQ(Received, std::string("\x01\x03\x00\x10", 4));

    ASSERT_EQ(Port->PutBlock("reply", 5), 0);
    EXPECT_EQ(ReadBytes(Peer, 5), "reply");

    // Idle for a while: the event thread waits instead of looping.
    const uint64_t Before = Port->EventWaits();
    Loop.RunFor(500);
    const uint64_t Waits = Port->EventWaits() - Before;
    std::printf("event waits in 500 ms idle: %llu\n", static_cast<unsigned long long>(Waits));
    EXPECT_LE(Waits, 5u);
}

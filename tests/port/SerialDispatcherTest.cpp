// TSerialDispatcher on real pseudo-terminals with its three threads: the test's thread
// is the window thread, the pty's master is the peer.
#include "port/SerialDispatcher.h"

#include "BytePattern.h"
#include "Pty.h"
#include "Pump.h"
#include "port/PortErrors.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

using namespace port;

namespace {

class SerialDispatcherTest : public ::testing::Test {
  protected:
    SerialDispatcherTest() {
        winsys::SetCurrentClock(&PortClockValue);
        winsys::EventLoop::SetCurrent(&Loop);
        Window = Loop.CreateWindow([this](winsys::HWND, uint32_t Msg, winsys::WPARAM W,
                                          winsys::LPARAM L) -> winsys::LRESULT {
            if (!Port || PortHandleOf(L) != Port->PortHandle()) return 0;
            Messages.push_back(Msg);
            if (Msg == PortMsgAvail) {
                ++AvailCount;
                char C;
                for (uint32_t I = 0; I < W && Port->GetChar(C) == 0; ++I)
                    Received.push_back(C);
            }
            return 0;
        });
    }
    ~SerialDispatcherTest() override {
        Port.reset();
        Loop.DestroyWindow(Window);
        winsys::EventLoop::SetCurrent(nullptr);
        winsys::SetCurrentClock(nullptr);
    }

    // As the component opens: the tool's design-time line (even parity), DTR and RTS on.
    int32_t Open(uint32_t Parity = pEven) {
        Port = std::make_unique<TSerialDispatcher>(nullptr, &Loop);
        const int32_t R =
            Port->InitPort(Pty.SlavePath().c_str(), 19200, Parity, 8, 1, 4096, 4096, 0x03);
        if (R == 0) {
            Port->RegisterWndTriggerHandler(Window);
            Port->UpdateHandlerFlags(fuEnablePort);
            Port->ChangeLengthTrigger(1);
        }
        return R;
    }

    // While the pty is full, the port takes its share.
    void WriteMaster(const std::string& Bytes) {
        ASSERT_TRUE(Pty.WriteMaster(Bytes, [this] { Loop.RunFor(1); }));
    }

    std::string ReadMaster(size_t Count) { return Pty.ReadMaster(Count); }

    template <class Pred> bool PumpUntil(Pred P) { return testsupport::PumpUntil(Loop, P); }

    winsys::ManualClock PortClockValue{100000};
    winsys::EventLoop Loop;
    testsupport::PtyPair Pty;
    winsys::HWND Window = 0;
    std::unique_ptr<TSerialDispatcher> Port;
    std::string Received;
    std::vector<uint32_t> Messages;
    int AvailCount = 0;
};

TEST_F(SerialDispatcherTest, APtyOpensAtEvenParityAndKeepsItAsThePortsLine) {
    ASSERT_EQ(Open(pEven), 0);
    EXPECT_TRUE(Port->ThreadsActive());
    int32_t Baud;
    uint32_t Parity;
    uint16_t StopBits, DataBits;
    Port->GetLine(Baud, Parity, StopBits, DataBits);
    EXPECT_EQ(Baud, 19200);
    EXPECT_EQ(Parity, static_cast<uint32_t>(pEven));
    EXPECT_EQ(DataBits, 8);
    EXPECT_EQ(StopBits, 1);

    termios T{};
    ASSERT_EQ(tcgetattr(Pty.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B19200));
    EXPECT_FALSE(T.c_cflag & PARENB);

    // A change while open reaches the pty at once.
    ASSERT_EQ(Port->SetLine(9600, pNone, 8, 2), 0);
    ASSERT_EQ(tcgetattr(Pty.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B9600));
    EXPECT_TRUE(T.c_cflag & CSTOPB);
}

TEST_F(SerialDispatcherTest, OpenFailuresGiveTheCodesTheComponentMaps) {
    ASSERT_EQ(Open(), 0);
    TSerialDispatcher Second(nullptr, &Loop);
    EXPECT_EQ(Second.InitPort(Pty.SlavePath().c_str(), 19200, pNone, 8, 1, 4096, 4096, 3),
              ecAccessDenied);
    EXPECT_EQ(Second.InitPort("/dev/pts/rvex-none", 19200, pNone, 8, 1, 4096, 4096, 3),
              ecFileNotFound);
    EXPECT_EQ(Second.InitPort("/rvex-no-folder/COM1", 19200, pNone, 8, 1, 4096, 4096, 3),
              ecPathNotFound);
    EXPECT_FALSE(Second.ThreadsActive());

    Port->DonePort();
    EXPECT_EQ(Second.InitPort(Pty.SlavePath().c_str(), 19200, pNone, 8, 1, 4096, 4096, 3), ecOK);
    Second.DonePort();
}

TEST_F(SerialDispatcherTest, ABurstOf3000BytesArrivesCompleteAndInOrder) {
    ASSERT_EQ(Open(), 0);
    const std::string Reply = testsupport::BytePattern(3000);
    WriteMaster(Reply);
    EXPECT_TRUE(PumpUntil([&] { return Received.size() >= Reply.size(); }));
    EXPECT_EQ(Received, Reply);
}

TEST_F(SerialDispatcherTest, BytesTrickledOneByOneArriveInOrder) {
    ASSERT_EQ(Open(), 0);
    const std::string Reply = testsupport::BytePattern(300);
    for (size_t I = 0; I < Reply.size(); ++I) {
        WriteMaster(Reply.substr(I, 1));
        ASSERT_TRUE(PumpUntil([&] { return Received.size() > I; })) << "byte " << I;
    }
    EXPECT_EQ(Received, Reply);
    EXPECT_EQ(AvailCount, 300);
}

TEST_F(SerialDispatcherTest, WritesGoOutThroughTheOutputThread) {
    ASSERT_EQ(Open(), 0);
    const std::string Request = "\x0A\x03\x01\xC5\x00\x04\x54\xB3";
    ASSERT_EQ(Port->PutString(Request), 0);
    EXPECT_EQ(ReadMaster(Request.size()), Request);

    // More than the output ring holds, in pieces as it frees.
    const std::string Big = testsupport::BytePattern(20000);
    std::string Got;
    size_t At = 0;
    for (int Round = 0; Round < 100000 && (At < Big.size() || Got.size() < Big.size()); ++Round) {
        if (At < Big.size()) {
            const size_t N = std::min<size_t>(1000, Big.size() - At);
            const int32_t R = Port->PutBlock(Big.data() + At, static_cast<uint32_t>(N));
            if (R == 0)
                At += N;
            else
                ASSERT_EQ(R, ecOutputBufferTooSmall);
        }
        char Buf[4096];
        const ssize_t N = read(Pty.Master(), Buf, sizeof Buf);
        if (N > 0)
            Got.append(Buf, static_cast<size_t>(N));
        else if (At >= Big.size())
            Got += ReadMaster(Big.size() - Got.size());
    }
    EXPECT_EQ(Got, Big);
}

// Nobody reads: the input ring fills up while the pty still holds more. The event
// wait must stop watching the readable tty (or it would wake without end), and look
// again once the ring has room.
TEST_F(SerialDispatcherTest, AFullInputRingNeitherSpinsNorLosesTheRest) {
    ASSERT_EQ(Open(), 0);
    Port->UpdateHandlerFlags(fuDisablePort); // no notifications: the bytes stay
    const std::string Bytes = testsupport::BytePattern(10000);
    ASSERT_EQ(write(Pty.Master(), Bytes.data(), Bytes.size()), static_cast<ssize_t>(Bytes.size()));
    ASSERT_TRUE(PumpUntil([&] { return Port->InBuffUsed() == InRingSize; }));

    const uint64_t Before = Port->EventWaits();
    Loop.RunFor(200);
    EXPECT_LE(Port->EventWaits() - Before, 2u);

    std::string Got(InRingSize, '\0');
    ASSERT_EQ(Port->GetBlock(Got.data(), InRingSize), static_cast<int32_t>(InRingSize));
    const uint32_t Rest = static_cast<uint32_t>(Bytes.size()) - InRingSize;
    ASSERT_TRUE(PumpUntil([&] { return Port->InBuffUsed() == Rest; }));
    Got.resize(Bytes.size());
    ASSERT_EQ(Port->GetBlock(Got.data() + InRingSize, Rest), static_cast<int32_t>(Rest));
    EXPECT_EQ(Got, Bytes);
}

// An open port with nothing armed costs no wake-ups: the dispatch thread's pass without
// an event runs only while it can find work that no arrival announces.
TEST_F(SerialDispatcherTest, TheDispatchThreadPassesWithoutEventsOnlyWhileSomethingIsArmed) {
    ASSERT_EQ(Open(), 0);
    EXPECT_FALSE(Port->IdlePassNeeded());

    const int32_t Timer = Port->AddTimerTrigger();
    EXPECT_FALSE(Port->IdlePassNeeded());
    ASSERT_EQ(Port->SetTimerTrigger(Timer, 1, true), 0);
    EXPECT_TRUE(Port->IdlePassNeeded());
    ASSERT_EQ(Port->SetTimerTrigger(Timer, 1, false), 0);
    EXPECT_FALSE(Port->IdlePassNeeded());

    const int32_t Sent = Port->AddStatusTrigger(stOutSent);
    ASSERT_EQ(Port->SetStatusTrigger(Sent, 0, true), 0);
    EXPECT_TRUE(Port->IdlePassNeeded());
    ASSERT_EQ(Port->SetStatusTrigger(Sent, 0, false), 0);
    EXPECT_FALSE(Port->IdlePassNeeded());

    // Bytes held off while the window thread reads by itself, then left unread.
    bool WasBusy;
    Port->SetEventBusy(WasBusy, true);
    EXPECT_TRUE(Port->IdlePassNeeded());
    WriteMaster("abc");
    ASSERT_TRUE(PumpUntil([&] { return Port->InBuffUsed() == 3; }));
    Port->SetEventBusy(WasBusy, false);
    EXPECT_TRUE(Port->IdlePassNeeded());
    ASSERT_TRUE(PumpUntil([&] { return Received == "abc"; }));
    // The ring advances once the handler has returned to the dispatch thread.
    EXPECT_TRUE(PumpUntil([&] { return !Port->IdlePassNeeded(); }));
}

// Armed while the dispatch thread sleeps in its quiet wait, a timer still fires.
TEST_F(SerialDispatcherTest, ATimerArmedOnAQuietPortFires) {
    ASSERT_EQ(Open(), 0);
    Loop.RunFor(100);
    const int32_t Timer = Port->AddTimerTrigger();
    ASSERT_EQ(Port->SetTimerTrigger(Timer, 1, true), 0);
    PortClockValue.AdvanceMs(3 * 55);
    ASSERT_TRUE(PumpUntil([&] { return !Messages.empty(); }));
    EXPECT_EQ(Messages, std::vector<uint32_t>{PortMsgTimer});
}

// The peer goes away while the port is open (as a pulled USB adapter): the event wait
// ends, the line error is set, writes are refused, and closing still completes.
TEST_F(SerialDispatcherTest, AVanishedPeerIsReportedAndThePortStillCloses) {
    ASSERT_EQ(Open(), 0);
    WriteMaster("ok");
    ASSERT_TRUE(PumpUntil([&] { return Received == "ok"; }));
    Pty.CloseMaster();

    EXPECT_TRUE(PumpUntil([&] { return Port->ThreadCount() == 2; })); // the event wait ended
    EXPECT_TRUE(PumpUntil([&] {
        Port->RefreshStatus();
        return (Port->LineErrors() & CE_BREAK) != 0;
    }));
    EXPECT_EQ(Port->PutString("x"), ecPutBlockFail);
    Port->DonePort();
    EXPECT_FALSE(Port->ThreadsActive());
    Port.reset();
}

} // namespace

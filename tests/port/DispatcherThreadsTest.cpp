// The dispatcher with its three real threads on the fake device: bytes and events go
// through TComThread and TDispThread to the notify window on the window thread (this
// test's thread), writes through TOutThread to the device.
#include "PortTestSupport.h"

#include <atomic>
#include <random>
#include <thread>

using namespace port;
using namespace port::testing;

namespace {

class Threads : public PortFixture {
  protected:
    Threads() : PortFixture(true) {}

    void ReadAllOnAvail() {
        onNotify = [this](const Notification& n) {
            if (n.msg == PortMsgAvail) received += Take(n.wParam);
        };
    }
    std::string received;
};

} // namespace

TEST_F(Threads, EveryByteReachesTheHandlerInOrder) {
    Open();
    ReadAllOnAvail();
    std::string sent;
    std::mt19937 random(5);
    for (int burst = 0; burst < 200; ++burst)
        sent += Pattern(1 + random() % 300, sent.size());
    std::thread producer([&] {
        size_t at = 0;
        std::mt19937 sizes(7);
        while (at < sent.size()) {
            size_t n = std::min<size_t>(1 + sizes() % 700, sent.size() - at);
            if (device.Deliver(sent.data() + at, n))
                at += n;
            else
                std::this_thread::yield(); // the device queue is full: the reader catches up
        }
    });
    EXPECT_TRUE(PumpUntil([&] { return received.size() >= sent.size(); }));
    producer.join();
    EXPECT_EQ(received, sent);
    for (const Notification& n : seen)
        EXPECT_EQ(n.msg, PortMsgAvail);
}

TEST_F(Threads, BytesSkippedForABusyWindowThreadReachItAsSoonAsItIsFree) {
    Open();
    ReadAllOnAvail();
    port->NotifyTimeout = 20;
    ASSERT_TRUE(device.Deliver("0123456789"));
    // The window thread is busy (it does not pump) and the notification gives up.
    ASSERT_TRUE(port->WaitSkipped(1, 5000));
    EXPECT_EQ(port->InBuffUsed(), 10u);
    port->NotifyTimeout = NotifyTimeoutMs;
    // Free again: the same bytes come, whole and in order, with nothing new arriving.
    EXPECT_TRUE(PumpUntil([&] { return received.size() >= 10; }));
    EXPECT_EQ(received, "0123456789");
    EXPECT_EQ(seen.back(), (Notification{PortMsgAvail, 10, 0}));
    EXPECT_EQ(port->InBuffUsed(), 0u);
    ASSERT_TRUE(device.Deliver("ab"));
    EXPECT_TRUE(PumpUntil([&] { return received.size() >= 12; }));
    EXPECT_EQ(received, "0123456789ab");
    EXPECT_EQ(seen.back(), (Notification{PortMsgAvail, 2, 0}));
}

TEST_F(Threads, ClosingInsideOnTriggerAvailIsDeferredUntilTheDispatchThreadEnds) {
    Open();
    bool closedInside = false;
    onNotify = [&](const Notification& n) {
        if (n.msg != PortMsgAvail) return;
        received += Take(2);
        port->DonePort();
        // The device is closed at once; the rest waits for the notification to end.
        closedInside = !device.IsOpen() && port->CloseDeferred() && port->RingsAllocated();
        char c;
        EXPECT_EQ(port->GetChar(c), ecBufferIsEmpty); // flushed by the close
    };
    ASSERT_TRUE(device.Deliver("0123456789"));
    ASSERT_TRUE(PumpUntil([&] { return !port->ThreadsActive(); }));
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(received, "01");
    EXPECT_EQ(port->ThreadCount(), 0);
    EXPECT_FALSE(port->RingsAllocated());
    EXPECT_EQ(seen.size(), 1u);
    port.reset();
}

TEST_F(Threads, WhileTheEventsAreBusyBytesWaitUnannouncedInTheRing) {
    Open();
    ReadAllOnAvail();
    bool wasOn = true;
    port->SetEventBusy(wasOn, true);
    EXPECT_FALSE(wasOn);
    ASSERT_TRUE(device.Deliver("quiet"));
    ASSERT_TRUE(PumpUntil([&] { return port->InBuffUsed() == 5; }));
    port->SetEventBusy(wasOn, false);
    EXPECT_TRUE(wasOn);
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(device.Deliver("!"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 6; }));
    EXPECT_EQ(seen, (std::vector<Notification>{{PortMsgAvail, 6, 0}}));
    EXPECT_EQ(received, "quiet!");
}

TEST_F(Threads, TheOutputThreadWritesEverythingInOrderAcrossTheRingsWrap) {
    Open(64);
    device.SetWriteLimit(7); // the device takes at most 7 bytes per write
    std::string sent = Pattern(2000);
    size_t at = 0;
    for (int round = 0; round < 100000 && at < sent.size(); ++round) {
        size_t n = std::min<size_t>(20, sent.size() - at);
        int32_t result = port->PutBlock(sent.data() + at, static_cast<uint32_t>(n));
        if (result == 0) {
            at += n;
        } else {
            ASSERT_EQ(result, ecOutputBufferTooSmall);
            // Wait for the output thread to make room.
            size_t written = device.Written().size();
            if (written < at) device.WaitWritten(written + 1, 5000);
        }
    }
    ASSERT_EQ(at, sent.size());
    EXPECT_TRUE(device.WaitWritten(sent.size(), 5000));
    EXPECT_EQ(device.Written(), sent);
}

TEST_F(Threads, ARefusedWriteDropsItsChunkAndLaterWritesGoOut) {
    Open();
    device.RefuseWrites(-5);
    EXPECT_EQ(port->PutString("abc"), 0);
    ASSERT_TRUE(device.WaitTransmitCalls(1, 5000));
    device.RefuseWrites(0);
    EXPECT_EQ(port->PutString("def"), 0);
    EXPECT_TRUE(device.WaitWritten(3, 5000));
    EXPECT_EQ(device.Written(), "def");
}

TEST_F(Threads, FlushingTheOutputAbandonsAWriteInProgress) {
    Open();
    device.HoldWrites(true);
    EXPECT_EQ(port->PutString("held"), 0);
    ASSERT_TRUE(device.WaitWriteHeld(5000));
    EXPECT_EQ(port->FlushOutBuffer(), 0);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    device.HoldWrites(false);
    EXPECT_EQ(port->PutString("next"), 0);
    EXPECT_TRUE(device.WaitWritten(4, 5000));
    EXPECT_EQ(device.Written(), "next");
}

TEST_F(Threads, ModemLineChangesAndTimersReachTheirTriggers) {
    Open();
    int32_t modem = port->AddStatusTrigger(stModem);
    port->SetStatusTrigger(modem, MsrCts, true);
    int32_t timer = port->AddTimerTrigger();
    device.SetModemLines(MsrCts);
    ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0], (Notification{PortMsgStatus, static_cast<uint32_t>(modem), 0}));
    // The dispatch thread's idle pass sees the timer expire on the port clock.
    port->SetTimerTrigger(timer, 2, true);
    clock.AdvanceMs(4 * 55);
    ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen[1], (Notification{PortMsgTimer, static_cast<uint32_t>(timer), 0}));
}

namespace {

struct WindowThreadReader {
    TBaseDispatcher* port = nullptr;
    winsys::EventLoop* loop = nullptr;
    std::atomic<bool> onWindowThread{false};
    std::string read;
    void OnNotify(uint32_t msg, winsys::WPARAM w, winsys::LPARAM) {
        onWindowThread = loop->IsWindowThread();
        char c;
        for (winsys::WPARAM i = 0; msg == PortMsgAvail && i < w && port->GetChar(c) == 0; ++i)
            read.push_back(c);
    }
};

} // namespace

TEST_F(Threads, ASynchronisedMethodHandlerRunsOnTheWindowThread) {
    Open();
    port->UpdateHandlerFlags(fuDisablePort); // only the method
    WindowThreadReader reader;
    reader.port = port.get();
    reader.loop = &loop;
    port->RegisterSyncEventTriggerHandler(
        MakeNotifyEvent<WindowThreadReader, &WindowThreadReader::OnNotify>(&reader));
    ASSERT_TRUE(device.Deliver("sync"));
    ASSERT_TRUE(PumpUntil([&] { return reader.read.size() >= 4; }));
    EXPECT_EQ(reader.read, "sync");
    EXPECT_TRUE(reader.onWindowThread);
    EXPECT_EQ(port->InBuffUsed(), 0u);
}

namespace {
std::atomic<int> throwingCalls{0};
void ThrowingProc(uint32_t, winsys::WPARAM, winsys::LPARAM) {
    if (throwingCalls++ == 0) throw EBufferIsEmpty(ecBufferIsEmpty);
}
} // namespace

TEST_F(Threads, AnErrorInAHandlerIsShownAndTheNotificationsGoOn) {
    std::vector<std::string> shown;
    loop.SetErrorHandler([&](const std::exception& e) { shown.push_back(e.what()); });
    Open();
    ReadAllOnAvail();
    throwingCalls = 0;
    port->RegisterProcTriggerHandler(&ThrowingProc);
    ASSERT_TRUE(device.Deliver("one"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 3 && !shown.empty(); }));
    EXPECT_EQ(shown, (std::vector<std::string>{"Buffer is empty"}));
    ASSERT_TRUE(device.Deliver("two"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 6; }));
    EXPECT_EQ(received, "onetwo");
    EXPECT_EQ(throwingCalls.load(), 2);
}

TEST_F(Threads, AVanishedDeviceEndsTheEventWaitAndTheCloseStillCompletes) {
    Open();
    ReadAllOnAvail();
    device.Vanish();
    ASSERT_TRUE(PumpUntil([&] { return port->ThreadCount() == 2; }));
    // Bytes that still come are taken by the dispatch thread's idle passes.
    ASSERT_TRUE(device.Deliver("late"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 4; }));
    // The dispatch thread may still be finishing that notification, in which case
    // the close is deferred to its end.
    port->DonePort();
    ASSERT_TRUE(PumpUntil([&] { return port->ThreadCount() == 0; }));
    EXPECT_FALSE(port->RingsAllocated());
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(Threads, StartingTwiceIsRefusedAndDestroyingAnOpenPortEndsItsThreads) {
    Open();
    EXPECT_THROW(port->StartDispatcher(), winsys::Exception);
    EXPECT_EQ(port->ThreadCount(), 3);
    ASSERT_TRUE(device.Deliver("pending"));
    port.reset(); // closes and joins
    EXPECT_FALSE(device.IsOpen());
}

// Triggers, notification and the avail road, without threads: the test runs the
// dispatch thread's steps on the window thread, where a notification reaches the
// notify window directly.
#include "PortTestSupport.h"

using namespace port;
using namespace port::testing;

namespace {

class Triggers : public PortFixture {
  protected:
    Triggers() : PortFixture(false) {}

    // One pass of the dispatch thread over newly arrived bytes.
    void Arrive(const std::string& bytes) {
        ASSERT_TRUE(device.Deliver(bytes));
        Pass();
    }
    void Pass() {
        port->ExtractData();
        for (int i = 0; i < 100 && port->CheckReceiveTriggers(); ++i) {
        }
    }
    // The handler reads this many bytes of each avail notification (all: -1).
    void ReadOnAvail(int count) {
        onNotify = [this, count](const Notification& n) {
            if (n.msg == PortMsgAvail)
                taken += Take(count < 0 ? n.wParam : static_cast<uint32_t>(count));
        };
    }
    static Notification Avail(uint32_t count) { return {PortMsgAvail, count, 0}; }
    static Notification Data(int32_t handle, uint32_t length) {
        return {PortMsgData, static_cast<uint32_t>(handle), length};
    }

    std::string taken;
};

} // namespace

TEST_F(Triggers, TenBytesGiveOneNotificationAndAHandlerThatTakesAllEmptiesTheRing) {
    Open();
    ReadOnAvail(-1);
    Arrive("0123456789");
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(10)}));
    EXPECT_EQ(taken, "0123456789");
    EXPECT_EQ(port->InBuffUsed(), 0u);
    Pass();
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(Triggers, UnreadBytesStayAndAreAnnouncedAgainWithTheNextArrival) {
    Open();
    ReadOnAvail(4);
    Arrive("0123456789");
    EXPECT_EQ(taken, "0123");
    EXPECT_EQ(port->InBuffUsed(), 6u);
    Pass(); // nothing new: no notification
    EXPECT_EQ(seen.size(), 1u);
    ReadOnAvail(-1);
    Arrive("abc");
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(10), Avail(9)}));
    EXPECT_EQ(taken, "0123456789abc");
}

TEST_F(Triggers, ARingThatFillsCompletelyInOnePassIsStillAnnounced) {
    Open();
    int32_t z = port->AddDataTrigger("Z", false);
    ReadOnAvail(0);
    std::string bytes = std::string(8191, 'a') + "Z";
    Arrive(bytes);
    ASSERT_EQ(port->InBuffUsed(), 8192u);
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(8191), Data(z, 1), Avail(8192)}));
    EXPECT_EQ(Take(8192), bytes);
}

TEST_F(Triggers, LengthTriggerZeroSendsNoAvailButDataTriggersStillFire) {
    Open();
    port->ChangeLengthTrigger(0);
    int32_t ok = port->AddDataTrigger("OK", false);
    Arrive("xxOKyy");
    EXPECT_EQ(seen, (std::vector<Notification>{Data(ok, 2)}));
    port->ChangeLengthTrigger(3);
    Arrive("z"); // all seven unread, above the threshold
    EXPECT_EQ(seen.back(), Avail(7));
    port->RemoveTrigger(1);
    EXPECT_EQ(port->AvailThreshold(), 0u);
}

TEST_F(Triggers, OverlappingMatchesFireAtEveryByteThatCompletesOne) {
    for (bool oneAtATime : {false, true}) {
        Open();
        port->ChangeLengthTrigger(0);
        int32_t aa = port->AddDataTrigger("AA", false);
        if (oneAtATime) {
            Arrive("A");
            Arrive("A");
            Arrive("A");
        } else {
            Arrive("AAA");
        }
        EXPECT_EQ(seen, (std::vector<Notification>{Data(aa, 2), Data(aa, 2)})) << oneAtATime;
        seen.clear();
        port.reset();
    }
}

TEST_F(Triggers, MatcherCases) {
    struct Row {
        const char* pattern;
        bool ignoreCase;
        const char* input;
        int matches;
    } rows[] = {
        {"OK", false, "abOKcdOK", 2},
        {"OK", false, "ok", 0},
        {"ok", true, "xOKx", 1},
        {"AAB", false, "AAAB", 1},
        {"ABC", false, "ABABC", 1},
        {"A", false, "AAAA", 4},
        {"AB", false, "BA", 0},
        // A match restarts every partial match: the second ABAB, which overlaps the
        // first by two characters, is not found.
        {"ABAB", false, "ABABAB", 1},
    };
    for (const Row& row : rows) {
        Open();
        port->ChangeLengthTrigger(0);
        port->AddDataTrigger(row.pattern, row.ignoreCase);
        Arrive(row.input);
        EXPECT_EQ(static_cast<int>(seen.size()), row.matches) << row.pattern << " in " << row.input;
        seen.clear();
        port.reset();
    }
}

TEST_F(Triggers, AMatchCompletedByALaterArrivalSendsOnlyItsDataNotification) {
    Open();
    int32_t ok = port->AddDataTrigger("OK", false);
    ReadOnAvail(0);
    Arrive("abO");
    Arrive("K");
    // No avail in front of the match (its bytes were announced already); the arrival
    // itself is announced after it.
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(3), Data(ok, 2), Avail(4)}));
}

TEST_F(Triggers, AMatchInOnePassAnnouncesTheBytesBeforeItFirst) {
    Open();
    int32_t ok = port->AddDataTrigger("OK", false);
    // The avail handler takes what it is told; the data handler takes nothing.
    ReadOnAvail(-1);
    Arrive("abOK");
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(2), Data(ok, 2), Avail(2)}));
    EXPECT_EQ(taken, "abOK");
}

TEST_F(Triggers, DataTriggersOfUpTo21Characters) {
    Open();
    EXPECT_EQ(port->AddDataTrigger("0123456789012345678901", false), ecTriggerTooLong);
    int32_t handle = port->AddDataTrigger("012345678901234567890", false);
    EXPECT_GT(handle, 0);
    TTriggerType kind;
    EXPECT_EQ(port->FindTriggerFromHandle(handle, false, kind), 0);
    EXPECT_EQ(kind, ttData);
    EXPECT_EQ(port->RemoveTrigger(handle), 0);
    EXPECT_EQ(port->RemoveTrigger(handle), ecBadTriggerHandle);
    EXPECT_EQ(port->RemoveTrigger(0), ecBadTriggerHandle);
}

TEST_F(Triggers, OutputFreeStatusTriggerFiresOnceUntilRearmed) {
    Open(4096);
    int32_t free = port->AddStatusTrigger(stOutBuffFree);
    EXPECT_EQ(TBaseDispatcher::ClassifyStatusTrigger(free), static_cast<int32_t>(stOutBuffFree));
    EXPECT_FALSE(port->CheckStatusTriggers()); // not armed yet
    EXPECT_EQ(port->SetStatusTrigger(free, 4096, true), 0);
    EXPECT_TRUE(port->CheckStatusTriggers());
    EXPECT_EQ(seen,
              (std::vector<Notification>{{PortMsgStatus, static_cast<uint32_t>(free), 4096}}));
    EXPECT_FALSE(port->CheckStatusTriggers());
    port->ResetStatusHits();
    EXPECT_FALSE(port->CheckStatusTriggers());
    port->SetStatusTrigger(free, 4096, true);
    EXPECT_TRUE(port->CheckStatusTriggers());
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(port->AddStatusTrigger(6), ecBadArgument);
}

TEST_F(Triggers, ModemAndLineStatusTriggers) {
    Open();
    int32_t modem = port->AddStatusTrigger(stModem);
    int32_t line = port->AddStatusTrigger(stLine);
    port->SetStatusTrigger(modem, MsrCts, true);
    port->SetStatusTrigger(line, 4, true); // framing
    device.SetModemLines(MsrDsr);          // not watched
    port->MapEventsToMS();
    EXPECT_FALSE(port->CheckStatusTriggers());
    device.SetModemLines(MsrDsr | MsrCts);
    port->MapEventsToMS();
    EXPECT_TRUE(port->CheckStatusTriggers());
    device.RaiseLineError(CE_RXPARITY);
    port->RefreshStatus();
    EXPECT_FALSE(port->CheckStatusTriggers());
    device.RaiseLineError(CE_FRAME);
    port->RefreshStatus();
    EXPECT_TRUE(port->CheckStatusTriggers());
    EXPECT_EQ(seen, (std::vector<Notification>{{PortMsgStatus, static_cast<uint32_t>(modem), 0},
                                               {PortMsgStatus, static_cast<uint32_t>(line), 0}}));
}

TEST_F(Triggers, TimerTriggersRunOnTheTickClock) {
    Open();
    int32_t timer = port->AddTimerTrigger();
    EXPECT_EQ(port->SetTimerTrigger(timer, 2, true), 0);
    EXPECT_FALSE(port->CheckTimerTriggers());
    int32_t left = -1;
    EXPECT_EQ(port->TimerTicksRemaining(timer, left), 0);
    EXPECT_EQ(left, 2);
    clock.AdvanceMs(3 * 55);
    EXPECT_TRUE(port->CheckTriggers());
    EXPECT_EQ(seen, (std::vector<Notification>{{PortMsgTimer, static_cast<uint32_t>(timer), 0}}));
    EXPECT_FALSE(port->CheckTimerTriggers());            // inactive until set again
    EXPECT_EQ(port->SetTimerTrigger(timer, 0, true), 0); // the stored duration
    EXPECT_EQ(port->ExtendTimer(timer, 10), 0);
    clock.AdvanceMs(3 * 55);
    EXPECT_FALSE(port->CheckTimerTriggers());
    clock.AdvanceMs(10 * 55);
    EXPECT_TRUE(port->CheckTimerTriggers());
    EXPECT_EQ(port->SetTimerTrigger(port->AddStatusTrigger(stOutSent), 1, true),
              ecBadTriggerHandle);
}

TEST_F(Triggers, HandlesAfter4095AreTheLowestFreeMultiplesOf8UpTo4096) {
    Open();
    std::vector<int32_t> handles;
    for (int i = 0; i < 4095; ++i)
        handles.push_back(port->AddTimerTrigger());
    EXPECT_EQ(handles.front(), 8);
    EXPECT_EQ(handles.back(), 4095 * 8);
    EXPECT_EQ(port->RemoveTrigger(24), 0);
    EXPECT_EQ(port->RemoveTrigger(16), 0);
    EXPECT_EQ(port->AddTimerTrigger(), 16);
    EXPECT_EQ(port->AddDataTrigger("x", false), 24);
    EXPECT_EQ(port->AddTimerTrigger(), ecNoMoreTriggers);
    // A freed handle above 4096 is not reused.
    EXPECT_EQ(port->RemoveTrigger(8000), 0);
    EXPECT_EQ(port->AddStatusTrigger(stOutSent), ecNoMoreTriggers);
    port->RemoveAllTriggers();
    EXPECT_EQ(port->AddTimerTrigger(), 8);
}

TEST_F(Triggers, RestoredTriggersKeepTheirHandlesAndNewOnesDoNotRepeatThem) {
    Open();
    port->ChangeLengthTrigger(5);
    int32_t timer = port->AddTimerTrigger();
    int32_t data = port->AddDataTrigger("OK", false);
    TTriggerSave save;
    port->SaveTriggers(save);
    port.reset();

    Open();
    port->RestoreTriggers(save);
    EXPECT_EQ(port->AvailThreshold(), 5u);
    TTriggerType kind;
    EXPECT_EQ(port->FindTriggerFromHandle(timer, false, kind), 0);
    EXPECT_EQ(kind, ttTimer);
    int32_t next = port->AddTimerTrigger();
    EXPECT_NE(next, timer);
    EXPECT_NE(next, data);
    port->ChangeLengthTrigger(0);
    Arrive("OK");
    EXPECT_EQ(seen, (std::vector<Notification>{Data(data, 2)}));
    TBaseDispatcher::ClearSaveBuffers(save);
    EXPECT_TRUE(save.tsDataTriggers.empty());
}

TEST_F(Triggers, FlushingDuringANotificationDropsEverythingUnread) {
    Open();
    onNotify = [this](const Notification&) {
        taken += Take(2);
        port->FlushInBuffer();
        char c;
        EXPECT_EQ(port->GetChar(c), ecBufferIsEmpty);
        EXPECT_EQ(port->InBuffUsed(), 0u);
    };
    Arrive("0123456789");
    EXPECT_EQ(taken, "01");
    EXPECT_EQ(port->InBuffUsed(), 0u);
    onNotify = nullptr;
    ReadOnAvail(-1);
    Arrive("ab");
    EXPECT_EQ(taken, "01ab");
}

namespace {

struct Counter {
    int calls = 0;
    uint32_t read = 0;
    TBaseDispatcher* port = nullptr;
    void OnNotify(uint32_t msg, winsys::WPARAM w, winsys::LPARAM) {
        ++calls;
        char c;
        for (uint32_t i = 0; msg == PortMsgAvail && i < read && i < w; ++i)
            port->GetChar(c);
    }
};

int procCalls = 0;
void CountingProc(uint32_t, winsys::WPARAM, winsys::LPARAM) {
    ++procCalls;
}

} // namespace

TEST_F(Triggers, SeveralHandlersReadTheSameBytesAndTheRingAdvancesByTheLargestCount) {
    Open();
    Counter three{0, 3, port.get()}, five{0, 5, port.get()};
    port->RegisterEventTriggerHandler(MakeNotifyEvent<Counter, &Counter::OnNotify>(&three));
    port->RegisterEventTriggerHandler(MakeNotifyEvent<Counter, &Counter::OnNotify>(&five));
    ReadOnAvail(0);
    Arrive("0123456789");
    EXPECT_EQ(three.calls, 1);
    EXPECT_EQ(five.calls, 1);
    EXPECT_EQ(port->InBuffUsed(), 5u);
    EXPECT_EQ(Take(5), "56789");
}

TEST_F(Triggers, DeregisteringAMethodRemovesTheFirstEntryWithItsCodeWhateverTheObject) {
    Open();
    Counter first{0, 0, port.get()}, second{0, 0, port.get()}, stranger;
    port->RegisterEventTriggerHandler(MakeNotifyEvent<Counter, &Counter::OnNotify>(&first));
    port->RegisterEventTriggerHandler(MakeNotifyEvent<Counter, &Counter::OnNotify>(&second));
    port->DeregisterEventTriggerHandler(MakeNotifyEvent<Counter, &Counter::OnNotify>(&stranger));
    ReadOnAvail(-1);
    Arrive("x");
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(stranger.calls, 0);
}

TEST_F(Triggers, AHandlerRemovedDuringANotificationGoesAtItsEnd) {
    Open();
    procCalls = 0;
    port->RegisterProcTriggerHandler(&CountingProc);
    onNotify = [this](const Notification&) {
        port->DeregisterProcTriggerHandler(&CountingProc);
        Take(100);
    };
    Arrive("ab");
    EXPECT_EQ(procCalls, 1);
    Arrive("cd");
    EXPECT_EQ(procCalls, 1);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(Triggers, WithoutEventsWantedTheOwnWindowIsNotNotified) {
    Open();
    port->UpdateHandlerFlags(fuDisablePort);
    Arrive("ab");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(port->InBuffUsed(), 2u);
    port->UpdateHandlerFlags(fuEnablePort);
    ReadOnAvail(-1);
    Arrive("c");
    EXPECT_EQ(seen, (std::vector<Notification>{Avail(3)}));
    EXPECT_EQ(taken, "abc");
}

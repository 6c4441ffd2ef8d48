// TComPort on real pseudo-terminals, published as COM ports in a private COM folder:
// the test's thread is the window thread, each pty's master is the peer.
#include "port/ComPort.h"

#include "BytePattern.h"
#include "Pty.h"
#include "Pump.h"
#include "ScopedSetting.h"
#include "TempFolder.h"
#include "port/ComMapping.h"
#include "port/PortSelect.h"
#include "port/SerialDispatcher.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace port;
namespace fs = std::filesystem;

namespace {

using Pty = testsupport::PtyPair;

class ComPortTest : public ::testing::Test {
  protected:
    ComPortTest() {
        winsys::SetCurrentClock(&PortClockValue);
        winsys::EventLoop::SetCurrent(&Loop);
        Loop.SetErrorHandler([this](const std::exception& E) { Errors.push_back(E.what()); });
        // No number reaches the machine's own serial devices.
        for (unsigned N = 1; N <= MaxComNumber; ++N)
            Link(N, "/rvex-nowhere/COM" + std::to_string(N));
        Link(3, Pty3.SlavePath());
        PreviousHook = SetComSelectHook(nullptr);
    }
    ~ComPortTest() override {
        Port.reset();
        SetComSelectHook(std::move(PreviousHook));
        winsys::EventLoop::SetCurrent(nullptr);
        winsys::SetCurrentClock(nullptr);
    }

    void Link(unsigned N, const std::string& Target) {
        const fs::path L = fs::path(ComDir) / ("COM" + std::to_string(N));
        std::error_code Ec;
        fs::remove(L, Ec);
        fs::create_symlink(Target, L);
    }

    // A port on COMn with the tool's design-time line and a handler that takes every
    // announced byte with GetChar, as the tool's does.
    std::unique_ptr<TComPort> MakePort(unsigned N = 3) {
        auto P = std::make_unique<TComPort>(&Loop);
        P->SetComNumber(static_cast<uint16_t>(N));
        P->SetParity(pEven);
        P->OnTriggerAvail = [this](IComPort* CP, uint16_t Count) {
            ++AvailCount;
            for (uint16_t I = 0; I < Count; ++I)
                Received.push_back(CP->GetChar());
        };
        return P;
    }

    // While the pty is full, the port takes its share.
    void WriteMaster(Pty& P, const std::string& Bytes) {
        ASSERT_TRUE(P.WriteMaster(Bytes, [this] { Loop.RunFor(1); }));
    }

    template <class Pred> bool PumpUntil(Pred P) { return testsupport::PumpUntil(Loop, P); }

    winsys::ManualClock PortClockValue{100000};
    winsys::EventLoop Loop;
    std::vector<std::string> Errors;
    testsupport::TempFolder ComFolder;
    const std::string ComDir = ComFolder.Path();
    testsupport::ScopedEnv ComDirSetting{"RVEX_COM_DIR", ComDir};
    Pty Pty3;
    std::unique_ptr<TComPort> Port;
    std::string Received;
    int AvailCount = 0;
    TComSelectHook PreviousHook;
};

// The code and message of the port exception F raises ("" when none).
template <class F> std::pair<int32_t, std::string> Raised(F&& Body) {
    try {
        Body();
    } catch (const EPortException& E) {
        return {E.ErrorCode, E.what()};
    }
    return {0, ""};
}

TEST(ComPortDefaults, TheConstructorSetsThePublishedDefaults) {
    winsys::EventLoop Loop;
    TComPort P(&Loop);
    EXPECT_EQ(P.GetDeviceLayer(), dlWin32);
    EXPECT_EQ(P.GetComNumber(), 0);
    EXPECT_EQ(P.GetBaud(), 19200);
    EXPECT_TRUE(P.GetPromptForPort());
    EXPECT_EQ(P.GetParity(), pNone);
    EXPECT_EQ(P.GetDataBits(), 8);
    EXPECT_EQ(P.GetStopBits(), 1);
    EXPECT_EQ(P.GetInSize(), 4096);
    EXPECT_EQ(P.GetOutSize(), 4096);
    EXPECT_TRUE(P.GetAutoOpen());
    EXPECT_FALSE(P.GetOpen());
    EXPECT_TRUE(P.GetDTR());
    EXPECT_TRUE(P.GetRTS());
    EXPECT_EQ(P.GetHWFlowOptions(), 0u);
    EXPECT_EQ(P.GetSWFlowOptions(), swfNone);
    EXPECT_EQ(P.GetXOnChar(), 17);
    EXPECT_EQ(P.GetXOffChar(), 19);
    EXPECT_EQ(P.GetBufferFull(), 0);
    EXPECT_EQ(P.GetBufferResume(), 0);
    EXPECT_EQ(P.GetTracing(), tlOff);
    EXPECT_EQ(P.GetTraceSize(), 10000u);
    EXPECT_EQ(P.GetTraceName(), "KORU.TRC");
    EXPECT_TRUE(P.GetTraceHex());
    EXPECT_FALSE(P.GetTraceAllHex());
    EXPECT_EQ(P.GetLogging(), tlOff);
    EXPECT_EQ(P.GetLogSize(), 10000u);
    EXPECT_EQ(P.GetLogName(), "KORU.LOG");
    EXPECT_TRUE(P.GetLogHex());
    EXPECT_FALSE(P.GetLogAllHex());
    EXPECT_TRUE(P.GetUseMSRShadow());
    EXPECT_TRUE(P.GetUseEventWord());
    EXPECT_EQ(P.GetCommNotificationLevel(), 10);
    EXPECT_EQ(P.GetTapiMode(), tmAuto);
    EXPECT_FALSE(P.GetRS485Mode());
    EXPECT_EQ(P.GetThreadBoost(), tbNone);
    EXPECT_EQ(P.GetTriggerLength(), 1u);
    EXPECT_EQ(P.GetPortState(), psClosed);
    EXPECT_EQ(P.GetInBuffFree(), 8192u);
    EXPECT_EQ(P.GetOutBuffFree(), 4096u);
}

TEST(ComPortSearch, SearchComPortFindsTheFirstPortDepthFirst) {
    winsys::EventLoop Loop;
    TBaseComponent Form, Panel, Label;
    EXPECT_EQ(SearchComPort(&Form), nullptr);
    EXPECT_EQ(SearchComPort(nullptr), nullptr);
    TComPort Later(&Loop), Nested(&Loop);
    Panel.SetOwner(&Form);
    Label.SetOwner(&Panel);
    Nested.SetOwner(&Panel); // inside the first component: found before its sibling
    Later.SetOwner(&Form);
    EXPECT_EQ(SearchComPort(&Form), &Nested);
    EXPECT_EQ(SearchComPort(&Label), nullptr);
    Nested.SetOwner(nullptr);
    EXPECT_EQ(SearchComPort(&Form), &Later);
    {
        TComPort Gone(&Loop);
        Gone.SetOwner(&Panel);
        EXPECT_EQ(SearchComPort(&Form), &Gone);
    } // a component that goes leaves its owner's list
    EXPECT_EQ(SearchComPort(&Form), &Later);
}

TEST(ComPortSettings, FlowOptionsDeriveTheirThresholdsAndTurnRS485Off) {
    winsys::EventLoop Loop;
    TComPort P(&Loop);
    P.SetRS485Mode(true);
    P.SetHWFlowOptions(HWFlowBit(hwfUseRTS));
    EXPECT_EQ(P.GetBufferFull(), 3686);
    EXPECT_EQ(P.GetBufferResume(), 410);
    EXPECT_FALSE(P.GetRS485Mode());

    // RS485 takes RTS for the direction: neither RTS handshake nor CTS stays.
    P.SetHWFlowOptions(HWFlowBit(hwfUseRTS) | HWFlowBit(hwfRequireCTS) | HWFlowBit(hwfUseDTR));
    P.SetRS485Mode(true);
    EXPECT_EQ(P.GetHWFlowOptions(), HWFlowBit(hwfUseDTR));
    EXPECT_FALSE(P.GetRTS());

    TComPort S(&Loop);
    S.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(S.GetBufferFull(), 3072);
    EXPECT_EQ(S.GetBufferResume(), 1024);
    S.SetBufferResume(5000); // above BufferFull: a tenth of it
    EXPECT_EQ(S.GetBufferResume(), 307);
}

TEST(ComPortSettings, AssignCopiesTheSettingsAndLeavesThePortClosed) {
    winsys::EventLoop Loop;
    TComPort Source(&Loop);
    Source.SetComNumber(7);
    Source.SetBaud(9600);
    Source.SetParity(pOdd);
    Source.SetStopBits(2);
    Source.SetAutoOpen(false);
    Source.SetLogName("Rs232.LOG");
    Source.SetLogAllHex(true);
    Source.SetTriggerLength(4);
    int Opened = 0;
    Source.OnPortOpen = [&](TCustomComPort*) { ++Opened; };
    Source.RegisterUser(42);

    TComPort Copy(&Loop);
    Copy.Assign(Source);
    EXPECT_EQ(Copy.GetComNumber(), 7);
    EXPECT_EQ(Copy.GetBaud(), 9600);
    EXPECT_EQ(Copy.GetParity(), pOdd);
    EXPECT_EQ(Copy.GetStopBits(), 2);
    EXPECT_FALSE(Copy.GetAutoOpen());
    EXPECT_EQ(Copy.GetLogName(), "Rs232.LOG");
    EXPECT_TRUE(Copy.GetLogAllHex());
    EXPECT_EQ(Copy.GetTriggerLength(), 4u);
    ASSERT_EQ(Copy.Users().size(), 1u);
    EXPECT_EQ(Copy.Users()[0].Handle, 42u);
    EXPECT_TRUE(static_cast<bool>(Copy.OnPortOpen));
    EXPECT_FALSE(Copy.GetOpen());
}

// The blocking waits' matcher: one step per byte; a mismatch falls back to the longest
// start of the pattern that the input still ends with.
TEST(ComPortWaits, CheckForStringFindsEveryOccurrence) {
    struct Case {
        std::string Input, Pattern;
        bool IgnoreCase;
        int MatchedAt; // index of the byte that completes the first match, -1 none
    };
    const Case Cases[] = {
        {"xxOKyy", "OK", false, 3}, {"aaab", "aab", false, 3}, {"abababc", "ababc", false, 6},
        {"xxok", "OK", true, 3},    {"xxok", "OK", false, -1}, {"OOK", "OK", false, 2},
    };
    for (const Case& C : Cases) {
        uint16_t Index = 0;
        int At = -1;
        for (size_t I = 0; I < C.Input.size() && At < 0; ++I)
            if (TCustomComPort::CheckForString(Index, C.Input[I], C.Pattern, C.IgnoreCase))
                At = static_cast<int>(I);
        EXPECT_EQ(At, C.MatchedAt) << C.Input << " / " << C.Pattern;
    }
}

TEST_F(ComPortTest, OpensWritesReadsAndClosesARealPty) {
    Port = MakePort();
    int Opened = 0, Closed = 0;
    Port->OnPortOpen = [&](TCustomComPort*) { ++Opened; };
    Port->OnPortClose = [&](TCustomComPort*) { ++Closed; };
    Port->SetOpen(true);
    EXPECT_TRUE(Port->GetOpen());
    EXPECT_EQ(Port->GetPortState(), psOpen);
    EXPECT_EQ(Opened, 1);

    const std::string Request("\x0A\x03\x01\xC5\x00\x04\x54\xB3", 8);
    Port->PutBlock(Request.data(), static_cast<uint16_t>(Request.size()));
    EXPECT_EQ(Pty3.ReadMaster(Request.size()), Request);
    Port->PutBlock(Request.data(), 0); // nothing, and no error

    WriteMaster(Pty3, "reply");
    ASSERT_TRUE(PumpUntil([&] { return Received == "reply"; }));
    EXPECT_EQ(Port->GetInBuffUsed(), 0u);

    Port->SetOpen(false);
    EXPECT_FALSE(Port->GetOpen());
    EXPECT_EQ(Port->GetPortState(), psClosed);
    EXPECT_EQ(Closed, 1);
    // The device is free again.
    SerialDevice Other;
    EXPECT_EQ(Other.Open(Pty3.SlavePath()), 0);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ComPortTest, ASecondOpenOfTheSamePortRaisesEAlreadyOpen) {
    Port = MakePort();
    Port->SetOpen(true);
    auto Second = MakePort();
    auto [Code, Message] = Raised([&] { Second->SetOpen(true); });
    EXPECT_EQ(Code, ecAlreadyOpen);
    EXPECT_EQ(Message, "ie_Open - device already open");
    EXPECT_FALSE(Second->GetOpen());
    EXPECT_EQ(Second->GetPortState(), psClosed);
    EXPECT_TRUE(Port->GetOpen());
}

TEST_F(ComPortTest, AMissingPortRaisesEBadIdAndALaterOpenTriesAgain) {
    const std::string BadId = "ie_BadId - Specified comport doesn't exist";
    struct Case {
        unsigned N;
        std::string Link; // "" for none
    };
    const Case Cases[] = {
        {7, "/dev/pts/rvex-none"},      // a link to nothing
        {8, "/rvex-no-folder/ttyUSB9"}, // a link into a folder that is not there
        {49, ""},                       // no link and no default device
    };
    for (const Case& C : Cases) {
        if (C.Link.empty())
            fs::remove(fs::path(ComDir) / ("COM" + std::to_string(C.N)));
        else
            Link(C.N, C.Link);
        auto P = MakePort(C.N);
        auto [Code, Message] = Raised([&] { P->SetOpen(true); });
        EXPECT_EQ(Code, ecBadId) << "COM" << C.N;
        EXPECT_EQ(Message, BadId);
        EXPECT_FALSE(P->GetOpen());
    }
    Link(9, "/dev/pts/rvex-none");
    Port = MakePort(9);
    EXPECT_EQ(Raised([&] { Port->SetOpen(true); }).first, ecBadId);
    Link(9, Pty3.SlavePath());
    Port->SetOpen(true); // the same component, once the device is there
    EXPECT_TRUE(Port->GetOpen());
}

TEST_F(ComPortTest, ComNumberZeroAsksWithTheDialog) {
    Pty Pty4;
    Link(4, Pty4.SlavePath());
    std::vector<std::string> Listed;
    std::string Hint;
    std::string Answer = "COM4";
    SetComSelectHook([&](TComSelectForm& Form) {
        Listed = Form.PortsComboBox.Items();
        Hint = Form.PortsComboBox.Hint();
        EXPECT_EQ(Form.Caption(), "Select Port");
        EXPECT_EQ(Form.Label1.Caption(), "The configured serial port is not valid.");
        EXPECT_EQ(Form.Label2.Caption(), "Please choose another port.");
        EXPECT_EQ(Form.PortsComboBox.ItemIndex(), 0);
        if (Answer.empty()) {
            Form.CancelBtn.Click();
        } else {
            Form.PortsComboBox.Select(Form.PortsComboBox.IndexOf(Answer));
            Form.OkBtn.Click();
        }
        return mrNone; // the clicked button answers
    });

    Port = MakePort(0);
    Port->SetOpen(true);
    EXPECT_TRUE(Port->GetOpen());
    EXPECT_EQ(Port->GetComNumber(), 4);
    EXPECT_NE(std::find(Listed.begin(), Listed.end(), "COM3"), Listed.end());
    EXPECT_NE(Hint.find("COM4 = " + Pty4.SlavePath()), std::string::npos) << Hint;
    WriteMaster(Pty4, "4");
    EXPECT_TRUE(PumpUntil([&] { return Received == "4"; }));

    Answer.clear();
    auto Cancelled = MakePort(0);
    auto [Code, Message] = Raised([&] { Cancelled->SetOpen(true); });
    EXPECT_EQ(Code, ecNoPortSelected);
    EXPECT_EQ(Message, "The ComNumber property of the TComPort has not been set");
    EXPECT_FALSE(Cancelled->GetOpen());
    EXPECT_EQ(Cancelled->GetComNumber(), 0);

    // COM4 is held by Port now: still offered (it is in use, not gone), unless in-use
    // ports are not to be shown.
    EXPECT_NE(std::find(Listed.begin(), Listed.end(), "COM4"), Listed.end());
    for (bool ThroughDispatcher : {false, true}) {
        UseDispatcherForAvail = ThroughDispatcher;
        ShowPortsInUse = false;
        EXPECT_FALSE(IsPortAvailable(4)) << ThroughDispatcher;
        ShowPortsInUse = true;
        EXPECT_TRUE(IsPortAvailable(4)) << ThroughDispatcher;
        EXPECT_TRUE(IsPortAvailable(3)) << ThroughDispatcher;
        EXPECT_FALSE(IsPortAvailable(7)) << ThroughDispatcher; // a link to nowhere
        EXPECT_FALSE(IsPortAvailable(0));
    }
    UseDispatcherForAvail = false;

    // Without prompting nobody is asked.
    Listed.clear();
    auto Silent = MakePort(0);
    Silent->SetPromptForPort(false);
    EXPECT_EQ(Raised([&] { Silent->SetOpen(true); }).first, ecNoPortSelected);
    EXPECT_TRUE(Listed.empty());
}

// Looking for available ports leaves a port that another program uses without
// exclusive use as that program set it.
TEST_F(ComPortTest, ThePortProbeLeavesTheDeviceAlone) {
    termios T{};
    ASSERT_EQ(tcgetattr(Pty3.Slave(), &T), 0);
    T.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(Pty3.Slave(), TCSANOW, &T), 0);
    EXPECT_TRUE(IsPortAvailable(3));
    ASSERT_EQ(tcgetattr(Pty3.Slave(), &T), 0);
    EXPECT_TRUE((T.c_lflag & ICANON) && (T.c_lflag & ECHO));
}

TEST_F(ComPortTest, LineSettingsReachThePtyAndTheDesignTimeEvenParityOpens) {
    Port = MakePort();
    Port->SetOpen(true); // 19200, even parity, 8, 1: a pty holds no parity but opens
    termios T{};
    ASSERT_EQ(tcgetattr(Pty3.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B19200));
    EXPECT_FALSE(T.c_cflag & CSTOPB);
    EXPECT_EQ(T.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    int32_t Baud;
    uint32_t Parity;
    uint16_t Stop, Bits;
    Port->GetDispatcher()->GetLine(Baud, Parity, Stop, Bits);
    EXPECT_EQ(Parity, static_cast<uint32_t>(pEven)); // the port's own setting

    // While open: at once.
    Port->SetBaud(9600);
    Port->SetStopBits(2);
    ASSERT_EQ(tcgetattr(Pty3.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B9600));
    EXPECT_TRUE(T.c_cflag & CSTOPB);

    // A setting the line refuses raises and is stored all the same.
    EXPECT_THROW(Port->SetDataBits(4), EBadArgument);
    EXPECT_EQ(Port->GetDataBits(), 4);
    Port->SetDataBits(8);

    // While closed: at the next open.
    Port->SetOpen(false);
    Port->SetBaud(38400);
    Port->SetStopBits(1);
    ASSERT_EQ(tcgetattr(Pty3.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B9600));
    Port->SetOpen(true);
    ASSERT_EQ(tcgetattr(Pty3.Master(), &T), 0);
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B38400));
    EXPECT_FALSE(T.c_cflag & CSTOPB);
}

TEST_F(ComPortTest, ABurstAndATrickleArriveCompleteAndInOrder) {
    Port = MakePort();
    Port->SetOpen(true);
    const std::string Burst = testsupport::BytePattern(3000);
    WriteMaster(Pty3, Burst);
    ASSERT_TRUE(PumpUntil([&] { return Received.size() >= Burst.size(); }));
    EXPECT_EQ(Received, Burst);

    Received.clear();
    AvailCount = 0;
    const std::string Trickle = testsupport::BytePattern(3000).substr(1000, 3000);
    for (size_t I = 0; I < Trickle.size(); ++I) {
        WriteMaster(Pty3, Trickle.substr(I, 1));
        ASSERT_TRUE(PumpUntil([&] { return Received.size() > I; })) << "byte " << I;
    }
    EXPECT_EQ(Received, Trickle);
    EXPECT_EQ(AvailCount, static_cast<int>(Trickle.size()));
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ComPortTest, GetCharBeyondTheAnnouncedBytesRaisesBufferIsEmpty) {
    Port = MakePort();
    std::pair<int32_t, std::string> Sixth;
    Port->OnTriggerAvail = [&](IComPort* CP, uint16_t Count) {
        for (uint16_t I = 0; I < Count; ++I)
            Received.push_back(CP->GetChar());
        Sixth = Raised([&] { CP->GetChar(); });
    };
    Port->SetOpen(true);
    WriteMaster(Pty3, "12345");
    ASSERT_TRUE(PumpUntil([&] { return Received.size() >= 5; }));
    EXPECT_EQ(Received, "12345");
    EXPECT_EQ(Sixth.first, ecBufferIsEmpty);
    EXPECT_EQ(Sixth.second, "Buffer is empty");
}

// Inside the handler GetChar takes the announced bytes without a lock per byte; the
// other reads see the same count of bytes taken, whichever way they were taken, and so
// does the commit after the handler and the next notification.
struct HandlerReadCase {
    const char* Name;
    // Reads from the announced "0123456789" and writes what it saw to Seen.
    std::function<void(TComPort&, std::string& Seen)> Reads;
    const char* Seen;
    uint32_t LeftUnread;
};

TEST_F(ComPortTest, ReadsInsideTheHandlerShareOneCountOfBytesTaken) {
    auto Take = [](TComPort& P, std::string& Seen, int N) {
        for (int I = 0; I < N; ++I)
            Seen.push_back(P.GetChar());
    };
    const HandlerReadCase Cases[] = {
        {"four of ten", [&](TComPort& P, std::string& S) { Take(P, S, 4); }, "0123", 6},
        {"every read kind",
         [&](TComPort& P, std::string& S) {
             Take(P, S, 2);
             S.push_back(P.PeekChar(1));
             S += std::to_string(P.GetInBuffUsed());
             char Block[3];
             P.GetBlock(Block, 3);
             S.append(Block, 3);
             Take(P, S, 1);
             S += P.CharReady() ? "+" : "-";
         },
         "0128"
         "234"
         "5+",
         4},
        {"a block, then bytes",
         [&](TComPort& P, std::string& S) {
             char Block[5];
             P.PeekBlock(Block, 5);
             S.append(Block, 5);
             Take(P, S, 3);
             S += std::to_string(P.GetInBuffUsed());
         },
         "01234"
         "012"
         "7",
         7},
        {"the flush drops the rest",
         [&](TComPort& P, std::string& S) {
             Take(P, S, 3);
             P.FlushInBuffer();
             S += std::to_string(P.GetInBuffUsed());
             S += std::to_string(Raised([&] { P.GetChar(); }).first);
         },
         "012"
         "0"
         "-3007",
         0},
        {"all, then one more",
         [&](TComPort& P, std::string& S) {
             Take(P, S, 10);
             S += std::to_string(Raised([&] { P.GetChar(); }).first);
         },
         "0123456789"
         "-3007",
         0},
    };
    for (const HandlerReadCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        Port = MakePort();
        std::string Seen;
        std::vector<uint16_t> Counts;
        Port->OnTriggerAvail = [&](IComPort*, uint16_t Count) {
            Counts.push_back(Count);
            if (Counts.size() == 1) Case.Reads(*Port, Seen);
        };
        Port->SetOpen(true);
        WriteMaster(Pty3, "0123456789");
        ASSERT_TRUE(PumpUntil([&] { return !Counts.empty(); }));
        EXPECT_EQ(Counts[0], 10);
        EXPECT_EQ(Seen, Case.Seen);
        EXPECT_EQ(Port->GetInBuffUsed(), Case.LeftUnread);
        // Outside the handler the bytes left are read as before.
        if (Case.LeftUnread > 0) {
            EXPECT_EQ(Port->PeekChar(1), "0123456789"[10 - Case.LeftUnread]);
        }

        WriteMaster(Pty3, "X");
        ASSERT_TRUE(PumpUntil([&] { return Counts.size() == 2; }));
        EXPECT_EQ(Counts[1], Case.LeftUnread + 1);
        Port.reset();
        EXPECT_TRUE(Errors.empty());
    }
}

TEST_F(ComPortTest, TriggerEventsFlowOnlyWhileOneIsAssigned) {
    Port = MakePort();
    auto Handler = Port->OnTriggerAvail;
    Port->SetOpen(true);
    Port->SetOnTriggerAvail(nullptr);
    WriteMaster(Pty3, "ab");
    ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffUsed() == 2; }));
    Loop.RunFor(100);
    EXPECT_EQ(AvailCount, 0);

    Port->SetOnTriggerAvail(Handler);
    Loop.RunFor(100);
    EXPECT_EQ(AvailCount, 0); // nothing new has come
    WriteMaster(Pty3, "c");
    ASSERT_TRUE(PumpUntil([&] { return Received == "abc"; }));
}

// A close asked for inside the port's own notification completes right after it; an
// open asked for meanwhile follows it.
TEST_F(ComPortTest, ACloseInsideTheHandlerIsDeferredAndAReopenThereIsIgnored) {
    Port = MakePort();
    TPortState During = psClosed;
    bool OpenDuring = false;
    char AfterClose = 'x';
    bool Reopen = false;
    int Opened = 0;
    Port->OnPortOpen = [&](TCustomComPort*) { ++Opened; };
    Port->OnTriggerAvail = [&](IComPort*, uint16_t) {
        Port->SetOpen(false);
        During = Port->GetPortState();
        OpenDuring = Port->GetOpen();
        AfterClose = Port->GetChar();
        Port->PutString("ignored");
        if (Reopen) Port->SetOpen(true);
    };
    Port->SetOpen(true);
    WriteMaster(Pty3, "x");
    ASSERT_TRUE(PumpUntil([&] { return Port->GetPortState() == psClosed; }));
    EXPECT_EQ(During, psShuttingDown);
    EXPECT_TRUE(OpenDuring);
    EXPECT_EQ(AfterClose, 0);
    EXPECT_FALSE(Port->GetOpen());
    char Byte;
    EXPECT_LT(read(Pty3.Master(), &Byte, 1), 0); // nothing was written while closing

    // Open still reads True inside the handler: the reopen there changes nothing.
    Reopen = true;
    Port->SetOpen(true);
    EXPECT_EQ(Opened, 2);
    WriteMaster(Pty3, "y");
    ASSERT_TRUE(PumpUntil([&] { return Port->GetPortState() == psClosed; }));
    Loop.RunFor(50);
    EXPECT_EQ(Opened, 2);
    EXPECT_FALSE(Port->GetOpen());
    EXPECT_TRUE(Errors.empty());
    Port->SetOpen(true); // once closed, an open opens
    EXPECT_EQ(Opened, 3);
    EXPECT_TRUE(Port->GetOpen());
}

// A close from outside (a button) while a notification waits for the window thread:
// the handler still runs, reads nothing, and the close is complete on return.
TEST_F(ComPortTest, ACloseWhileANotificationWaitsCompletesAfterTheHandler) {
    Port = MakePort();
    int Calls = 0;
    char Read = 'x';
    Port->OnTriggerAvail = [&](IComPort* CP, uint16_t) {
        ++Calls;
        Read = CP->GetChar();
    };
    Port->SetOpen(true);
    TBaseDispatcher* D = Port->GetDispatcher();
    WriteMaster(Pty3, "z");
    // Not pumping: the dispatch thread waits inside its notification.
    for (int I = 0; I < 5000 && !D->InNotify(); ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(D->InNotify());
    Port->SetOpen(false);
    EXPECT_EQ(Port->GetPortState(), psClosed);
    EXPECT_FALSE(Port->GetOpen());
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Read, 0);
}

TEST_F(ComPortTest, AnotherComNumberWhileOpenMovesThePortWithItsTriggers) {
    Pty Pty4;
    Link(4, Pty4.SlavePath());
    Port = MakePort();
    std::vector<uint16_t> Matched;
    Port->SetOnTriggerData([&](TCustomComPort*, uint16_t Handle) { Matched.push_back(Handle); });
    Port->SetOpen(true);
    const int32_t Handle = Port->AddDataTrigger("OK", false);
    Port->SetComNumber(4);
    EXPECT_TRUE(Port->GetOpen());
    WriteMaster(Pty4, "xOK");
    ASSERT_TRUE(PumpUntil([&] { return !Matched.empty(); }));
    EXPECT_EQ(Matched[0], Handle);
    // COM3 was let go.
    SerialDevice Other;
    EXPECT_EQ(Other.Open(Pty3.SlavePath()), 0);
}

TEST_F(ComPortTest, OperationsOnAClosedPortOpenItOnlyWithAutoOpen) {
    Port = MakePort();
    Port->SetAutoOpen(false);
    EXPECT_EQ(Raised([&] { Port->PutString("x"); }).first, ecCommNotOpen);
    EXPECT_FALSE(Port->GetOpen());
    Port->SetAutoOpen(true);
    Port->PutString("auto");
    EXPECT_TRUE(Port->GetOpen());
    EXPECT_EQ(Pty3.ReadMaster(4), "auto");
}

TEST_F(ComPortTest, UsersAreToldLastFirstOfOpenClosingAndClose) {
    Port = MakePort();
    std::vector<std::string> Told;
    struct Recorder {
        std::vector<std::string>* Told;
        void Plain(TCustomComPort*, bool Opening) { Told->push_back(Opening ? "open" : "closed"); }
        void Ex(TCustomComPort*, TCallbackType T) {
            Told->push_back(T == ctOpen ? "ex-open" : T == ctClosing ? "ex-closing" : "ex-closed");
        }
    } R{&Told};
    const winsys::HWND Window = Loop.CreateWindow(
        [&](winsys::HWND, uint32_t Msg, winsys::WPARAM, winsys::LPARAM) -> winsys::LRESULT {
            Told.push_back(Msg == PortMsgOpen           ? "win-open"
                           : Msg == PortMsgClose        ? "win-close"
                           : Msg == PortMsgClosePending ? "win-closing"
                                                        : "?");
            return 0;
        });
    Port->RegisterUserCallback(MakePortCallback<Recorder, &Recorder::Plain>(&R));
    Port->RegisterUserEx(Window);
    Port->RegisterUserCallbackEx(MakePortCallbackEx<Recorder, &Recorder::Ex>(&R));
    Port->SetOpen(true);
    Port->SetOpen(false);
    EXPECT_EQ(Told, (std::vector<std::string>{"ex-open", "win-open", "open", "ex-closing",
                                              "win-closing", "ex-closed", "win-close", "closed"}));
    Recorder Other{&Told}; // a callback is matched by its code, whatever its object
    Port->DeregisterUserCallback(MakePortCallback<Recorder, &Recorder::Plain>(&Other));
    Port->DeregisterUser(Window);
    EXPECT_EQ(Port->Users().size(), 1u);
    Port->DeregisterUserCallbackEx(MakePortCallbackEx<Recorder, &Recorder::Ex>(&Other));
    EXPECT_TRUE(Port->Users().empty());
    Loop.DestroyWindow(Window);
}

TEST_F(ComPortTest, WaitForStringReadsUntilThePatternOrTheTimeOut) {
    Port = MakePort();
    Port->SetOpen(true);
    std::string Seen;
    Port->OnWaitChar = [&](TCustomComPort*, char C) { Seen.push_back(C); };
    Port->PrepareWait(); // from here the bytes wait for the wait, not for OnTriggerAvail
    WriteMaster(Pty3, "xxaab");
    EXPECT_TRUE(Port->WaitForString("aab", 2000, true, false));
    EXPECT_EQ(Seen, "xxaab");
    EXPECT_EQ(AvailCount, 0);

    WriteMaster(Pty3, "NO ");
    EXPECT_EQ(Port->WaitForMultiString("YES|no", 2000, false, true, '|'), 2);
    EXPECT_FALSE(Port->WaitForString("never", 10, false, false)); // 10 ticks of the clock
    // The notifications are back.
    WriteMaster(Pty3, "after");
    EXPECT_TRUE(PumpUntil([&] { return Received.find("after") != std::string::npos; }));
}

// The peer goes away while the port is open (a pulled adapter): the port keeps running,
// says so, a later write fails naming the cause, and the port still closes.
TEST_F(ComPortTest, AnUnpluggedDeviceIsReportedAndThePortStillCloses) {
    Port = MakePort();
    Port->SetOpen(true);
    WriteMaster(Pty3, "ok");
    ASSERT_TRUE(PumpUntil([&] { return Received == "ok"; }));
    Pty3.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return Port->DeviceLost(); }));
    Loop.RunFor(200); // nothing spins, nothing breaks
    EXPECT_TRUE(Port->GetOpen());
    bool Break = false; // reading the break clears it
    EXPECT_TRUE(PumpUntil([&] { return Break = Break || Port->GetLineBreak(); }));

    auto [Code, Message] = Raised([&] { Port->PutString("poll"); });
    EXPECT_EQ(Code, ecPutBlockFail);
    EXPECT_NE(Message.find("the device of COM3 is gone"), std::string::npos) << Message;
    Port->SetOpen(false);
    EXPECT_EQ(Port->GetPortState(), psClosed);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ComPortTest, TheOutputRingKeepsItsSizeUntilTheNextOpen) {
    Port = MakePort();
    Port->SetOpen(true);
    Port->SetOutSize(100);
    EXPECT_EQ(Port->GetOutBuffFree(), 4096u);
    Port->SetOpen(false);
    Port->SetOpen(true);
    EXPECT_EQ(Port->GetOutBuffFree(), 100u);
    const std::string TooBig(101, 'x');
    EXPECT_EQ(Raised([&] { Port->PutString(TooBig); }).first, ecOutputBufferTooSmall);
}

// As the main window's stored form loads it: Open read while loading opens the port
// once loading ends; a failure then is shown and leaves the port closed.
TEST_F(ComPortTest, APortOpenedWhileLoadingOpensWhenLoaded) {
    for (unsigned N : {3u, 9u}) {
        Errors.clear();
        auto P = MakePort(N);
        P->ComponentState |= TBaseComponent::csLoading;
        P->SetOpen(true);
        EXPECT_EQ(P->GetPortState(), psClosed);
        P->Loaded();
        Loop.ProcessMessages();
        EXPECT_EQ(P->GetOpen(), N == 3) << "COM" << N;
        EXPECT_EQ(Errors,
                  N == 3 ? std::vector<std::string>{}
                         : std::vector<std::string>{"ie_BadId - Specified comport doesn't exist"});
    }
}

} // namespace

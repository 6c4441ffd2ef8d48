// The dispatch log: the entry each dispatcher operation writes, the ring that keeps
// them, and the table the dump writes.
#include "TraceTestSupport.h"

#include "port/TraceText.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>

using namespace port;
using namespace port::testing;

namespace {

constexpr int HeaderLines = 7;

class Log : public TraceFixture {
  protected:
    void OpenLogging(uint32_t size = 10000) {
        Open();
        openMs = clock.NowMs();
        ASSERT_EQ(port->GetDispatchTime(), 0u);
        ASSERT_EQ(port->InitDispatchLogging(size), 0);
    }
    void At(uint32_t ms) { clock.SetMs(openMs + ms); }
    // The whole file, and its entry lines alone.
    std::string Dump(bool inHex, bool allHex) {
        EXPECT_EQ(port->DumpDispatchLog(Path("d.log"), inHex, allHex), 0);
        return Read("d.log");
    }
    std::vector<std::string> Entries(bool inHex, bool allHex) {
        std::vector<std::string> lines = Lines(Dump(inHex, allHex));
        if (lines.size() < HeaderLines) return {};
        return {lines.begin() + HeaderLines, lines.end()};
    }

    int64_t openMs = 0;
};

// An entry line built by padding, independently of the dump's own formatting.
std::string Row(uint32_t ms, std::string type, std::string subType, uint32_t data,
                const std::string& rest) {
    char time[16], hex[16];
    std::snprintf(time, sizeof time, "%04u.%03u", ms / 1000, ms % 1000);
    std::snprintf(hex, sizeof hex, "%08X", data);
    type.resize(8, ' ');
    subType.resize(12, ' ');
    return std::string(time) + "  " + type + "  " + subType + "  " + hex + "  " + rest;
}

void Proc(uint32_t, winsys::WPARAM, winsys::LPARAM) {}
struct Sink {
    void On(uint32_t, winsys::WPARAM, winsys::LPARAM) {}
};

} // namespace

TEST_F(Log, AUserEntryTakenOneAndAHalfSecondsAfterTheOpen) {
    OpenLogging();
    port->DeviceName = "COM7";
    clock.AdvanceMs(1500);
    port->AddStringToLog("Hello");
    std::vector<std::string> lines = Lines(Dump(false, false));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "KORU 1.0");
    EXPECT_EQ(lines[1], "Compiler : " + CompilerName());
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("Compiler : (GCC|Clang) [0-9].*")))
        << lines[1];
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(std::string("Operating System : ") +
                                                      system.sysname + " [0-9]+\\.[0-9]+ .+")))
        << lines[2];
    EXPECT_EQ(lines[3], "Device: COM7");
    EXPECT_TRUE(std::regex_match(lines[4], std::regex("Date/time: [0-3][0-9]/[01][0-9]/[0-9]{2}, "
                                                      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
        << lines[4];
    EXPECT_EQ(lines[5], "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(lines[6], "--------  --------  ------------  --------  ---------");
    EXPECT_EQ(lines[7], "0001.500  User" + std::string(20, ' ') + "00000000  Hello");
    EXPECT_FALSE(port->LogAllocated());
}

TEST_F(Log, ATwentyByteAllHexEntryWrapsUnderTheDataColumn) {
    OpenLogging();
    std::string bytes;
    for (int i = 0; i < 20; ++i)
        bytes.push_back(static_cast<char>(i));
    ASSERT_EQ(port->PutString(bytes), 0);
    // With AllHex a user entry stays readable.
    port->AddStringToLog("a b\r");
    const std::string indent(44, ' ');
    EXPECT_EQ(Entries(false, true),
              (std::vector<std::string>{
                  "0000.000  Dispatch  WriteCom      00000014  [00][01][02][03][04][05][06][07]",
                  indent + "[08][09][0A][0B][0C][0D][0E][0F]",
                  indent + "[10][11][12][13]",
                  Row(0, "User", "", 0, "a b\r"),
              }));
}

TEST_F(Log, EveryDispatcherOperationWritesItsEntry) {
    OpenLogging();
    winsys::HWND other = loop.CreateWindow([](winsys::HWND, uint32_t, winsys::WPARAM,
                                              winsys::LPARAM) -> winsys::LRESULT { return 0; });
    auto otherData = static_cast<uint32_t>(other);
    Sink sink;
    TPortNotifyEvent method = MakeNotifyEvent<Sink, &Sink::On>(&sink);
    uint8_t modemByte = 0x31;

    struct Step {
        uint32_t at;
        std::function<void()> action;
        std::vector<std::string> expected;
    };
    std::vector<Step> steps = {
        {1, [&] { port->ChangeLengthTrigger(3); }, {Row(1, "TrDatChg", "Avail", 3, "")}},
        {2, [&] { EXPECT_EQ(port->AddTimerTrigger(), 8); }, {Row(2, "TrigAllc", "Timer", 8, "")}},
        {3,
         [&] { port->SetTimerTrigger(8, 10, true); },
         {Row(3, "TrDatChg", "Timer", 8, "[0A][00][00][00]")}},
        {4, [&] { port->ExtendTimer(8, 5); }, {Row(4, "TrDatChg", "Timer", 8, "[05][00][00][00]")}},
        {5,
         [&] { port->SetTimerTrigger(8, 0, false); },
         {Row(5, "TrDatChg", "Timer", 8, "Deactivated")}},
        {6,
         [&] { EXPECT_EQ(port->AddDataTrigger("OK", false), 16); },
         {Row(6, "TrigAllc", "Data", 16, "OK")}},
        {7,
         [&] { EXPECT_EQ(port->AddStatusTrigger(stModem), 25); },
         {Row(7, "TrigAllc", "Status", 25, "(Modem status)")}},
        {8,
         [&] { port->SetStatusTrigger(25, MsrCts, true); },
         {Row(8, "TrDatChg", "Status", 25, "[00][10][01][00]")}},
        {9,
         [&] { port->RegisterWndTriggerHandler(other); },
         {Row(9, "TrgHdAlc", "Window", otherData, "")}},
        {10,
         [&] { port->DeregisterWndTriggerHandler(other); },
         {Row(10, "TrgHdDsp", "Window", otherData, "")}},
        {11,
         [&] { port->RegisterProcTriggerHandler(&Proc); },
         {Row(11, "TrgHdAlc", "Procedure", 0, "")}},
        {12,
         [&] { port->DeregisterProcTriggerHandler(&Proc); },
         {Row(12, "TrgHdDsp", "Procedure", 0, "")}},
        {13,
         [&] { port->RegisterEventTriggerHandler(method); },
         {Row(13, "TrgHdAlc", "Method", 0, "")}},
        {14,
         [&] { port->DeregisterEventTriggerHandler(method); },
         {Row(14, "TrgHdDsp", "Method", 0, "")}},
        {15,
         [&] { port->RegisterSyncEventTriggerHandler(method); },
         {Row(15, "TrgHdAlc", "Method", 1, "")}},
        {16,
         [&] { port->DeregisterEventTriggerHandler(method); },
         {Row(16, "TrgHdDsp", "Method", 0, "")}},
        {17,
         [&] { EXPECT_EQ(port->PutString("AT\r"), 0); },
         {Row(17, "Dispatch", "WriteCom", 3, "AT[0D]")}},
        {18, [&] { Arrive("ok\n"); }, {Row(18, "Dispatch", "ReadCom", 3, "ok[0A]")}},
        {19, [&] { port->CheckReceiveTriggers(); }, {Row(19, "Trigger", "Avail", 3, "")}},
        {20,
         [&] {
             port->FlushInBuffer();
             Arrive("OK");
             port->CheckReceiveTriggers();
         },
         {Row(20, "Dispatch", "ReadCom", 2, "OK"), Row(20, "Trigger", "Data", 16, "")}},
        {30,
         [&] { port->SetTimerTrigger(8, 1, true); },
         {Row(30, "TrDatChg", "Timer", 8, "[01][00][00][00]")}},
        {200, [&] { port->CheckTimerTriggers(); }, {Row(200, "Trigger", "Timer", 8, "")}},
        {201,
         [&] {
             device.SetModemLines(MsrCts);
             port->MapEventsToMS();
             port->CheckStatusTriggers();
         },
         {Row(201, "Trigger", "Status", 25, "")}},
        {202,
         [&] { port->RemoveTrigger(25); },
         {Row(202, "TrigDisp", "Status", 25, "(Modem status)")}},
        {203, [&] { port->RemoveTrigger(16); }, {Row(203, "TrigDisp", "Data", 16, "")}},
        {204, [&] { port->RemoveTrigger(8); }, {Row(204, "TrigDisp", "Timer", 8, "")}},
        {205, [&] { port->AddStringToLog("hi there"); }, {Row(205, "User", "", 0, "hi[20]there")}},
        {206,
         [&] { port->AddDispatchEntry(dtTelnet, dstRDo, 24, nullptr, 0); },
         {Row(206, "Telnet", "Recv DO", 24, " [Terminal Type]")}},
        {207,
         [&] { port->AddDispatchEntry(dtTelnet, dstSWont, 3, nullptr, 0); },
         {Row(207, "Telnet", "Sent WON'T", 3, " [Supress Go Ahead]")}},
        {208,
         [&] { port->AddDispatchEntry(dtTelnet, dstCommand, 241, nullptr, 0); },
         {Row(208, "Telnet", "Command", 241, "")}},
        {209,
         [&] { port->AddDispatchEntry(dtDispatch, dstModemStatus, 0x31, &modemByte, 1); },
         {Row(209, "Dispatch", "Modem status", 0x31, "1 (DCTS CTS DSR)")}},
        {210,
         [&] { port->AddDispatchEntry(dtError, dstNone, 0, nullptr, 0); },
         {Row(210, "Error", "", 0, "")}},
        // A read that fails and a write the device refuses are logged as 0 bytes.
        {211,
         [&] {
             device.FailNextRead(-5);
             Arrive("z");
         },
         {Row(211, "Dispatch", "ReadCom", 0, "")}},
        {212,
         [&] {
             device.SetWriteComResult(0);
             EXPECT_EQ(port->PutString("x"), ecPutBlockFail);
         },
         {Row(212, "Dispatch", "WriteCom", 0, "")}},
    };
    std::vector<std::string> expected;
    for (Step& step : steps) {
        At(step.at);
        step.action();
        expected.insert(expected.end(), step.expected.begin(), step.expected.end());
    }
    EXPECT_EQ(Entries(true, false), expected);
    loop.DestroyWindow(other);
}

TEST_F(Log, TheRingDropsWholeOldEntriesAndRefusesOnesTooLarge) {
    // Header 14 bytes: four-letter entries take 18, three fit into 60 bytes.
    OpenLogging(60);
    for (const char* s : {"1111", "2222", "3333", "4444", "5555"})
        port->AddStringToLog(s);
    port->AddStringToLog(std::string(46, 'x')); // 60 bytes: not smaller than the ring
    EXPECT_EQ(Entries(true, false), (std::vector<std::string>{Row(0, "User", "", 0, "3333"),
                                                              Row(0, "User", "", 0, "4444"),
                                                              Row(0, "User", "", 0, "5555")}));

    ASSERT_EQ(port->InitDispatchLogging(60), 0);
    for (const char* s : {"1111", "2222"})
        port->AddStringToLog(s);
    port->AddStringToLog(std::string(45, 'y')); // 59 bytes: everything else goes
    EXPECT_EQ(Entries(true, false), (std::vector<std::string>{
                                        Row(0, "User", "", 0, std::string(33, 'y')),
                                        std::string(44, ' ') + std::string(12, 'y'),
                                    }));
}

TEST_F(Log, AnEntryLargerThanTheQueuesReadsBackWhole) {
    OpenLogging(20000);
    port->AddStringToLog(std::string(5000, 'q'));
    std::string text = Dump(true, false);
    EXPECT_EQ(std::count(text.begin(), text.end(), 'q'), 5000);
}

TEST_F(Log, StartStopClearAndInit) {
    Open();
    EXPECT_EQ(port->StartDispatchLogging(), ecLoggingNotEnabled);
    EXPECT_EQ(port->InitDispatchLogging(MaxLogBytes + 1), ecBadArgument);
    ASSERT_EQ(port->InitDispatchLogging(1000), 0);
    port->AddStringToLog("one");
    port->StopDispatchLogging();
    EXPECT_FALSE(port->LogActive());
    port->AddStringToLog("lost");
    EXPECT_EQ(port->StartDispatchLogging(), 0);
    port->AddStringToLog("two");
    port->ClearDispatchLogging();
    port->AddStringToLog("three");
    // Initialising a paused log only empties it: it stays paused until started.
    port->StopDispatchLogging();
    ASSERT_EQ(port->InitDispatchLogging(5), 0);
    EXPECT_FALSE(port->LogActive());
    port->AddStringToLog("paused");
    EXPECT_EQ(port->StartDispatchLogging(), 0);
    port->AddStringToLog("four");
    EXPECT_EQ(Entries(true, false), (std::vector<std::string>{Row(0, "User", "", 0, "four")}));
    port->AbortDispatchLogging();
    EXPECT_FALSE(port->LogAllocated());
}

TEST_F(Log, FilesEmptyLogsAndOpenFailures) {
    OpenLogging();
    // Empty: no file, the ring is freed.
    EXPECT_EQ(port->DumpDispatchLog(Path("d.log"), true, false), 0);
    EXPECT_FALSE(Exists("d.log"));
    EXPECT_FALSE(port->LogAllocated());

    // An open failure keeps the ring, no longer collecting.
    ASSERT_EQ(port->InitDispatchLogging(1000), 0);
    port->AddStringToLog("kept");
    EXPECT_EQ(port->DumpDispatchLog(Path("missing/d.log"), true, false), -2);
    EXPECT_TRUE(port->LogAllocated());
    EXPECT_FALSE(port->LogActive());
    port->AddStringToLog("not collected");
    WriteText("d.log", "before\n");
    EXPECT_EQ(port->AppendDispatchLog(Path("d.log"), true, false), 0);
    std::vector<std::string> lines = Lines(Read("d.log"));
    ASSERT_EQ(lines.size(), 1u + HeaderLines + 1u);
    EXPECT_EQ(lines[0], "before");
    EXPECT_EQ(lines[1], "KORU 1.0");
    EXPECT_EQ(lines.back(), Row(0, "User", "", 0, "kept"));
    EXPECT_FALSE(port->LogAllocated());

    // Replacing.
    ASSERT_EQ(port->InitDispatchLogging(1000), 0);
    port->AddStringToLog("new");
    EXPECT_EQ(Entries(true, false), (std::vector<std::string>{Row(0, "User", "", 0, "new")}));
    EXPECT_EQ(Lines(Read("d.log")).size(), HeaderLines + 1u);
}

// The component's Tracing and Logging: the requests by current value, the sizes, the
// operations, and the dump at every close, on a dispatcher over the fake device.
#include "FileCodes.h"
#include "TraceTestSupport.h"

#include "port/TraceLogControl.h"

using namespace port;
using namespace port::testing;

namespace {

class Control : public TraceFixture {
  protected:
    Control() { Fresh(); }

    void Fresh() {
        control = TTraceLogControl(TTraceLogControl::THost{nullptr, [this] { return force; }, {}});
        control.TraceName = Path("port.trc");
        control.LogName = Path("port.log");
    }
    void OpenPort() {
        Open();
        control.PortOpened(*port);
    }
    // The rest of a close after PortClosing: the dispatcher goes.
    void FinishClose() {
        port.reset();
        control.PortClosed();
    }

    bool force = false;
    TTraceLogControl control;
};

// The trace and the log through the same table.
struct Channel {
    const char* name;
    void (TTraceLogControl::*Set)(TTraceLogState);
    TTraceLogState (TTraceLogControl::*Get)() const;
    const char* file; // the name the fixture gives it
    bool (TBaseDispatcher::*Allocated)();
    bool (TBaseDispatcher::*Active)() const;
    int32_t (TBaseDispatcher::*Dump)(const std::string&, bool, bool);
    void (*Record)(TBaseDispatcher&);
};

const Channel Channels[] = {
    {"trace", &TTraceLogControl::SetTracing, &TTraceLogControl::Tracing, "port.trc",
     &TBaseDispatcher::TraceAllocated, &TBaseDispatcher::TraceActive, &TBaseDispatcher::DumpTrace,
     [](TBaseDispatcher& d) { ASSERT_EQ(d.PutString("a"), 0); }},
    {"log", &TTraceLogControl::SetLogging, &TTraceLogControl::Logging, "port.log",
     &TBaseDispatcher::LogAllocated, &TBaseDispatcher::LogActive, &TBaseDispatcher::DumpDispatchLog,
     [](TBaseDispatcher& d) { d.AddStringToLog("a"); }},
};

const char* StateName(TTraceLogState s) {
    static const char* names[] = {"tlOff", "tlOn", "tlDump", "tlAppend", "tlClear", "tlPause"};
    return names[s];
}

} // namespace

TEST_F(Control, RequestsWhileOpenByCurrentValue) {
    enum Written { None, Replaced, Appended };
    struct Row {
        TTraceLogState from, request;
        bool forced;
        TTraceLogState state;
        bool allocated, active;
        Written written;
        bool keptEntry; // the entry recorded before the request is still there
    } rows[] = {
        {tlOff, tlOff, false, tlOff, false, false, None, false},
        {tlOff, tlOff, true, tlOff, false, false, None, false},
        {tlOff, tlOn, false, tlOn, true, true, None, false},
        {tlOff, tlDump, false, tlOff, false, false, None, false},
        {tlOff, tlAppend, false, tlOff, false, false, None, false},
        {tlOff, tlClear, false, tlOff, false, false, None, false},
        {tlOff, tlPause, false, tlOff, false, false, None, false},
        {tlOn, tlOff, false, tlOff, false, false, None, false},
        {tlOn, tlOn, false, tlOn, true, true, None, true},
        {tlOn, tlOn, true, tlOn, true, true, None, false},
        {tlOn, tlDump, false, tlOff, false, false, Replaced, false},
        {tlOn, tlAppend, false, tlOff, false, false, Appended, false},
        {tlOn, tlClear, false, tlOn, true, true, None, false},
        {tlOn, tlPause, false, tlPause, true, false, None, true},
        {tlPause, tlOff, false, tlOff, false, false, None, false},
        {tlPause, tlOn, false, tlOn, true, true, None, true},
        {tlPause, tlDump, false, tlOff, false, false, Replaced, false},
        {tlPause, tlAppend, false, tlOff, false, false, Appended, false},
        {tlPause, tlClear, false, tlPause, true, false, None, false},
        {tlPause, tlPause, false, tlPause, true, false, None, true},
        {tlPause, tlPause, true, tlPause, true, false, None, true},
    };
    for (const Channel& ch : Channels) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(ch.name) + " from " + StateName(row.from) + " request " +
                         StateName(row.request) + (row.forced ? " forced" : ""));
            Fresh();
            OpenPort();
            WriteText("port.trc", "old\n");
            WriteText("port.log", "old\n");
            if (row.from != tlOff) {
                (control.*ch.Set)(tlOn);
                ch.Record(*port);
            }
            if (row.from == tlPause) (control.*ch.Set)(tlPause);

            force = row.forced;
            (control.*ch.Set)(row.request);
            force = false;

            EXPECT_EQ((control.*ch.Get)(), row.state);
            EXPECT_EQ(((*port).*ch.Allocated)(), row.allocated);
            EXPECT_EQ(((*port).*ch.Active)(), row.active);
            std::string text = Read(ch.file);
            Written written = text == "old\n"               ? None
                              : text.rfind("old\n", 0) == 0 ? Appended
                                                            : Replaced;
            EXPECT_EQ(written, row.written);
            if (row.allocated) {
                ASSERT_EQ(((*port).*ch.Dump)(Path("check"), true, false), 0);
                EXPECT_EQ(Exists("check"), row.keptEntry);
                std::filesystem::remove(Path("check"));
            }
        }
    }
}

TEST_F(Control, WhileClosedOnlyOffAndOnAreStoredAndTheStoredValueAppliesAtTheOpen) {
    struct Row {
        TTraceLogState request, stored;
    } rows[] = {{tlOn, tlOn},     {tlDump, tlOff},  {tlAppend, tlOff},
                {tlClear, tlOff}, {tlPause, tlOff}, {tlOff, tlOff}};
    for (const Row& row : rows) {
        SCOPED_TRACE(StateName(row.request));
        Fresh();
        control.SetTracing(tlOn);
        control.SetLogging(tlOn);
        control.SetTracing(row.request);
        control.SetLogging(row.request);
        EXPECT_EQ(control.Tracing(), row.stored);
        EXPECT_EQ(control.Logging(), row.stored);
        EXPECT_FALSE(Exists("port.trc"));
        EXPECT_FALSE(Exists("port.log"));

        OpenPort();
        EXPECT_EQ(control.Tracing(), row.stored);
        EXPECT_EQ(port->TraceActive(), row.stored == tlOn);
        EXPECT_EQ(port->LogActive(), row.stored == tlOn);
    }
}

TEST_F(Control, EveryCloseWritesWhatIsOnOrPausedAndLeavesBothOff) {
    WriteText("port.trc", "old trace");
    control.TraceHex = false;
    control.LogAllHex = true;
    OpenPort();
    control.SetTracing(tlOn);
    control.SetLogging(tlOn);
    ASSERT_EQ(port->PutString("AT\r"), 0);
    control.AddStringToLog("note");
    control.SetLogging(tlPause);

    control.PortClosing();
    EXPECT_EQ(Read("port.trc"), "Transmit: \nAT[13]");
    std::vector<std::string> log = Lines(Read("port.log"));
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[7], "0000.000  Dispatch  WriteCom      00000003  [41][54][0D]");
    EXPECT_EQ(log[8], "0000.000  User" + std::string(20, ' ') + "00000000  note");
    EXPECT_EQ(control.Tracing(), tlOff);
    EXPECT_EQ(control.Logging(), tlOff);

    // Shutting down: nothing happens, not even the lookup of a dispatcher.
    control.SetTracing(tlOn);
    control.InitLogging(100);
    control.StartTracing();
    EXPECT_EQ(control.Tracing(), tlOff);
    EXPECT_EQ(control.Logging(), tlOff);
    FinishClose();
    EXPECT_EQ(control.Tracing(), tlOff);

    // Off at the close: nothing written.
    std::filesystem::remove(Path("port.trc"));
    OpenPort();
    control.SetTracing(tlOn);
    ASSERT_EQ(port->PutString("x"), 0);
    control.SetTracing(tlOff);
    control.PortClosing();
    FinishClose();
    EXPECT_FALSE(Exists("port.trc"));
}

TEST_F(Control, ATraceThatCannotBeWrittenAtCloseRaisesAndASecondCloseProceeds) {
    control.TraceName = Path("missing/port.trc");
    OpenPort();
    control.SetTracing(tlOn);
    control.SetLogging(tlOn);
    ASSERT_EQ(port->PutString("abc"), 0);
    try {
        control.PortClosing();
        ADD_FAILURE() << "the close did not raise";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, MissingFolderFileCode);
        EXPECT_STREQ(e.what(), MissingFolderFileText);
    }
    EXPECT_EQ(control.Tracing(), tlOn);
    EXPECT_FALSE(port->TraceAllocated());
    // The log was still written.
    EXPECT_EQ(control.Logging(), tlOff);
    EXPECT_EQ(Lines(Read("port.log")).size(), 8u);

    EXPECT_NO_THROW(control.PortClosing());
    EXPECT_EQ(control.Tracing(), tlOff);
    FinishClose();
}

TEST_F(Control, ALogThatCannotBeWrittenAtCloseDoesNotHoldTheNextClose) {
    control.LogName = Path("missing/port.log");
    OpenPort();
    control.SetLogging(tlOn);
    control.AddStringToLog("lost");
    EXPECT_THROW(control.PortClosing(), EInOutError);
    EXPECT_EQ(control.Logging(), tlOn);
    EXPECT_FALSE(port->LogAllocated());
    EXPECT_NO_THROW(control.PortClosing());
    EXPECT_EQ(control.Logging(), tlOff);
    FinishClose();
}

TEST_F(Control, SizesAreClampedAndAChangeRestartsTheRecordingInItsState) {
    control.SetTraceSize(MaxTraceEntries + 1);
    control.SetLogSize(MaxLogBytes + 1);
    EXPECT_EQ(control.TraceSize(), MaxTraceEntries);
    EXPECT_EQ(control.LogSize(), MaxLogBytes);
    control.SetTraceSize(100);
    control.SetLogSize(1000);

    OpenPort();
    control.SetTracing(tlOn);
    ASSERT_EQ(port->PutString("before"), 0);
    control.SetTraceSize(2);
    EXPECT_EQ(control.Tracing(), tlOn);
    EXPECT_TRUE(port->TraceActive());
    ASSERT_EQ(port->PutString("abc"), 0);
    control.DumpTrace(Path("a.trc"), true);
    EXPECT_EQ(Read("a.trc"), "Transmit: \nbc");
    EXPECT_EQ(control.Tracing(), tlOff);

    control.SetTracing(tlOn);
    control.SetTracing(tlPause);
    control.SetTraceSize(3);
    EXPECT_EQ(control.Tracing(), tlPause);
    EXPECT_TRUE(port->TraceAllocated());
    EXPECT_FALSE(port->TraceActive());

    control.SetLogging(tlOn);
    control.AddStringToLog("gone");
    control.SetLogSize(500);
    control.AddStringToLog("kept");
    control.DumpLog(Path("a.log"), true);
    std::vector<std::string> log = Lines(Read("a.log"));
    ASSERT_EQ(log.size(), 8u);
    EXPECT_NE(log[7].find("kept"), std::string::npos);

    // A size of 0 cannot trace: refused, and the trace is off.
    EXPECT_THROW(control.SetTraceSize(0), EBadArgument);
    EXPECT_EQ(control.Tracing(), tlOff);
    EXPECT_THROW(control.SetTracing(tlOn), EBadArgument);
    EXPECT_EQ(control.Tracing(), tlOff);
}

TEST_F(Control, ASizeAboveTheLimitWhileAtTheLimitStillRestartsTheTrace) {
    control.SetTraceSize(MaxTraceEntries);
    OpenPort();
    control.SetTracing(tlOn);
    ASSERT_EQ(port->PutString("gone"), 0);
    control.SetTraceSize(MaxTraceEntries + 1);
    EXPECT_EQ(control.TraceSize(), MaxTraceEntries);
    EXPECT_EQ(control.Tracing(), tlOn);
    ASSERT_EQ(port->PutString("kept"), 0);
    control.DumpTrace(Path("limit.trc"), true);
    EXPECT_EQ(Read("limit.trc"), "Transmit: \nkept");
}

TEST_F(Control, InitOnAnExistingRecordingOnlyEmptiesItsBuffer) {
    OpenPort();
    control.InitTracing(10);
    ASSERT_EQ(port->PutString("ab"), 0);
    control.InitTracing(3); // the size is stored for the next trace; this one keeps 10
    EXPECT_EQ(control.TraceSize(), 3u);
    ASSERT_EQ(port->PutString("123456"), 0);
    control.DumpTrace(Path("kept.trc"), true);
    EXPECT_EQ(Read("kept.trc"), "Transmit: \n123456");

    // A paused log is emptied and, as its property now says, collects again.
    control.InitLogging(1000);
    control.AddStringToLog("gone");
    control.StopLogging();
    control.InitLogging(0);
    EXPECT_EQ(control.Logging(), tlOn);
    EXPECT_TRUE(port->LogActive());
    control.AddStringToLog("new");
    control.DumpLog(Path("kept.log"), true);
    std::vector<std::string> log = Lines(Read("kept.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("new"), std::string::npos);
    EXPECT_EQ(Read("kept.log").find("gone"), std::string::npos);
}

TEST_F(Control, OperationsSetThePropertyAsTheyGo) {
    OpenPort();
    control.InitTracing(2);
    EXPECT_EQ(control.TraceSize(), 2u);
    EXPECT_EQ(control.Tracing(), tlOn);
    ASSERT_EQ(port->PutString("abc"), 0);
    control.InitTracing(4);
    EXPECT_EQ(control.TraceSize(), 4u);
    control.InitTracing(0);
    EXPECT_EQ(control.TraceSize(), 4u);
    ASSERT_EQ(port->PutString("abcd"), 0);
    control.StopTracing();
    EXPECT_EQ(control.Tracing(), tlPause);
    control.ClearTracing();
    EXPECT_EQ(control.Tracing(), tlPause);
    control.StartTracing();
    EXPECT_EQ(control.Tracing(), tlOn);
    control.AddTraceEntry('T', '1');
    control.TraceAllHex = true;
    control.AppendTrace(Path("ops.trc"), false);
    EXPECT_EQ(Read("ops.trc"), "Transmit: \n[31]");
    EXPECT_EQ(control.Tracing(), tlOff);

    // Without a trace, StartTracing begins one rather than claiming to trace.
    control.StartTracing();
    EXPECT_EQ(control.Tracing(), tlOn);
    EXPECT_TRUE(port->TraceActive());
    control.AbortTracing();
    EXPECT_EQ(control.Tracing(), tlOff);
    EXPECT_FALSE(port->TraceAllocated());

    control.InitLogging(300);
    EXPECT_EQ(control.LogSize(), 300u);
    EXPECT_EQ(control.Logging(), tlOn);
    control.StopLogging();
    EXPECT_EQ(control.Logging(), tlPause);
    control.StartLogging();
    control.AddStringToLog("s");
    control.ClearLogging();
    control.AddStringToLog("t");
    control.LogAllHex = true;
    control.AppendLog(Path("ops.log"), false);
    EXPECT_EQ(Lines(Read("ops.log")).back(),
              "0000.000  User" + std::string(20, ' ') + "00000000  t");
    EXPECT_EQ(control.Logging(), tlOff);
    control.AbortLogging();
    EXPECT_EQ(control.Logging(), tlOff);
}

TEST_F(Control, ADumpThatRaisesLeavesThePropertyAsItWas) {
    OpenPort();
    control.SetTracing(tlOn);
    ASSERT_EQ(port->PutString("a"), 0);
    EXPECT_THROW(control.DumpTrace(Path("missing/x.trc"), true), EInOutError);
    EXPECT_EQ(control.Tracing(), tlOn);
    control.LogName = Path("missing/x.log");
    control.SetLogging(tlOn);
    control.AddStringToLog("a");
    EXPECT_THROW(control.SetLogging(tlAppend), EInOutError);
    EXPECT_EQ(control.Logging(), tlOn);
    EXPECT_TRUE(port->LogAllocated());
}

TEST_F(Control, OperationsNeedTheDispatcherThatValidDispatcherGives) {
    EXPECT_THROW(control.InitTracing(10), ECommNotOpen);
    EXPECT_THROW(control.AddStringToLog("x"), ECommNotOpen);
    EXPECT_EQ(control.Tracing(), tlOff);

    // A component that opens the port on demand (AutoOpen).
    control = TTraceLogControl(TTraceLogControl::THost{nullptr, {}, [this]() -> TBaseDispatcher& {
                                                           if (!port) OpenPort();
                                                           return *port;
                                                       }});
    control.SetLogging(tlOn);
    control.InitTracing(10);
    EXPECT_EQ(control.Tracing(), tlOn);
    EXPECT_TRUE(port->TraceActive());
    EXPECT_TRUE(port->LogActive());
}

TEST_F(Control, CopySettingsTakesWhatAClosedPortWouldStore) {
    TTraceLogControl source;
    source.TraceName = "a.trc";
    source.TraceHex = false;
    source.TraceAllHex = true;
    source.LogName = "a.log";
    source.LogHex = false;
    source.LogAllHex = true;
    source.SetTraceSize(7);
    source.SetLogSize(70);
    source.SetTracing(tlOn);
    control.CopySettings(source);
    EXPECT_EQ(control.TraceName, "a.trc");
    EXPECT_FALSE(control.TraceHex);
    EXPECT_TRUE(control.TraceAllHex);
    EXPECT_EQ(control.LogName, "a.log");
    EXPECT_FALSE(control.LogHex);
    EXPECT_TRUE(control.LogAllHex);
    EXPECT_EQ(control.TraceSize(), 7u);
    EXPECT_EQ(control.LogSize(), 70u);
    EXPECT_EQ(control.Tracing(), tlOn);
    EXPECT_EQ(control.Logging(), tlOff);
}

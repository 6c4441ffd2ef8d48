#pragma once
// TTraceLogSettings: the Tracing and Logging properties of a port component, kept until
// the trace and dispatch log control takes their place.
//
// It has the same members, with the same meaning for the stored values, as the
// control that records and writes traces and logs (TTraceLogControl), so the component
// calls it exactly as it will call that control:
//   construction   TraceLog(THost{this, ForceApply getter, ValidDispatcher})
//   open, step 6   TraceLog.PortOpened(*Dispatcher)
//   close, step 1  TraceLog.PortClosing()   (the dump of an active trace and log)
//   close done     TraceLog.PortClosed()
//   Assign         TraceLog.CopySettings(Source.TraceLog)
// This one records nothing: a Tracing or Logging of tlOn is kept as the port's setting
// (so it survives a reopen and SetComNumber as the real control's does), and the trace
// and log operations raise ETracingNotEnabled / ELoggingNotEnabled instead of pretending
// to work. Window thread only.
#include "port/Dispatcher.h"

#include <cstdint>
#include <functional>
#include <string>

namespace port {

class TBaseComponent;

enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };

class TTraceLogSettings {
  public:
    struct THost {
        const TBaseComponent* Component = nullptr;
        std::function<bool()> ForceApply;
        std::function<TBaseDispatcher&()> ValidDispatcher;
    };

    TTraceLogSettings() = default;
    explicit TTraceLogSettings(THost Host) : Host(std::move(Host)) {}

    void PortOpened(TBaseDispatcher&) { Phase = Open; }
    // The dump of the close: a trace or log that was on ends as tlOff.
    void PortClosing() {
        Phase = ShuttingDown;
        TraceState = tlOff;
        LogState = tlOff;
    }
    void PortClosed() { Phase = Closed; }

    // Stored: tlOn and tlPause as given (tlPause only while open); the commands tlDump,
    // tlAppend and tlClear leave tlOff (nothing was recorded to write or clear).
    TTraceLogState Tracing() const { return TraceState; }
    void SetTracing(TTraceLogState Value) { TraceState = Stored(Value); }
    uint32_t TraceSize() const { return TraceEntries; }
    void SetTraceSize(uint32_t N) { TraceEntries = N; }
    TTraceLogState Logging() const { return LogState; }
    void SetLogging(TTraceLogState Value) { LogState = Stored(Value); }
    uint32_t LogSize() const { return LogBytes; }
    void SetLogSize(uint32_t N) { LogBytes = N; }

    std::string TraceName = "KORU.TRC";
    bool TraceHex = true;
    bool TraceAllHex = false;
    std::string LogName = "KORU.LOG";
    bool LogHex = true;
    bool LogAllHex = false;

    void InitTracing(uint32_t) { NotRecorded(ecTracingNotEnabled); }
    void DumpTrace(const std::string&, bool) { NotRecorded(ecTracingNotEnabled); }
    void AppendTrace(const std::string&, bool) { NotRecorded(ecTracingNotEnabled); }
    void ClearTracing() { NotRecorded(ecTracingNotEnabled); }
    void AbortTracing() { TraceState = tlOff; }
    void StartTracing() { NotRecorded(ecTracingNotEnabled); }
    void StopTracing() { NotRecorded(ecTracingNotEnabled); }
    void AddTraceEntry(char, uint8_t) { NotRecorded(ecTracingNotEnabled); }

    void InitLogging(uint32_t) { NotRecorded(ecLoggingNotEnabled); }
    void DumpLog(const std::string&, bool) { NotRecorded(ecLoggingNotEnabled); }
    void AppendLog(const std::string&, bool) { NotRecorded(ecLoggingNotEnabled); }
    void ClearLogging() { NotRecorded(ecLoggingNotEnabled); }
    void AbortLogging() { LogState = tlOff; }
    void StartLogging() { NotRecorded(ecLoggingNotEnabled); }
    void StopLogging() { NotRecorded(ecLoggingNotEnabled); }
    void AddStringToLog(const std::string&) { NotRecorded(ecLoggingNotEnabled); }

    void CopySettings(const TTraceLogSettings& Source) {
        TraceName = Source.TraceName;
        TraceHex = Source.TraceHex;
        TraceAllHex = Source.TraceAllHex;
        TraceEntries = Source.TraceEntries;
        LogName = Source.LogName;
        LogHex = Source.LogHex;
        LogAllHex = Source.LogAllHex;
        LogBytes = Source.LogBytes;
        TraceState = Source.TraceState == tlOn ? tlOn : tlOff;
        LogState = Source.LogState == tlOn ? tlOn : tlOff;
    }

  private:
    enum TPortPhase { Closed, Open, ShuttingDown };

    TTraceLogState Stored(TTraceLogState Value) const {
        if (Value == tlOn) return tlOn;
        if (Value == tlPause && Phase == Open) return tlPause;
        return tlOff;
    }
    void NotRecorded(int32_t Code) const {
        if (Phase == ShuttingDown) return;
        CheckException(Host.Component, Code);
    }

    THost Host;
    TPortPhase Phase = Closed;
    TTraceLogState TraceState = tlOff;
    TTraceLogState LogState = tlOff;
    uint32_t TraceEntries = 10000;
    uint32_t LogBytes = 10000;
};

} // namespace port

#pragma once
// TTraceLogControl: a port component's Tracing and Logging properties and operations.
//
// The component (TCustomComPort, and the network port through it) embeds one and
// forwards to it; the control keeps TraceSize, TraceName, TraceHex, TraceAllHex and
// their log counterparts, and drives the dispatcher's trace and dispatch log rings.
// Everything runs on the window thread. Negative dispatcher results raise through
// CheckException (nothing is raised while the component is loading).
//
// How the component calls it:
//
//   construction      TraceLog(THost{this, [this] { return ForceApply; },
//                                   [this]() -> TBaseDispatcher& { return *ValidDispatcher(); }})
//                     ValidDispatcher may open the port (AutoOpen) and raises
//                     ECommNotOpen when there is still no dispatcher.
//   open, step 6      after PortState := psOpen: TraceLog.PortOpened(*Dispatcher). It
//                     applies the stored Tracing and Logging (tlOn starts a new trace of
//                     TraceSize entries / a log of LogSize bytes), so the ForceApply
//                     re-application of step 6 leaves Tracing and Logging out.
//   open fails        (from step 3 on) TraceLog.PortClosed() when the dispatcher is
//                     freed; the stored values stay for the next attempt.
//   close, step 1     TraceLog.PortClosing(): requests tlDump for the trace, then for
//                     the log, so an active or paused one is written to TraceName /
//                     LogName, replacing the file. Both are tried; when one cannot be
//                     written it raises the first error after both: the close stops
//                     there and the port stays open, the property that failed still
//                     reads tlOn, and its recording is gone, so a second close proceeds.
//                     After it returns, every operation here does nothing until
//                     PortClosed (the component is psShuttingDown meanwhile).
//   close done        TraceLog.PortClosed() when the dispatcher is freed (also after a
//                     deferred close finishes in the window procedure).
//   SetComNumber      remember Tracing() and Logging(); close; store the number;
//                     SetTracing / SetLogging with the remembered values; open.
//   Assign            TraceLog.CopySettings(Source.TraceLog) while this port is closed.
//   properties        Tracing / SetTracing, TraceSize / SetTraceSize, TraceName,
//                     TraceHex, TraceAllHex (and Log...) map one to one.
//   operations        InitTracing, DumpTrace, ..., AddStringToLog map one to one.
#include "port/Dispatcher.h"

#include <cstdint>
#include <functional>
#include <string>

namespace port {

class TBaseComponent;

enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };

class TTraceLogControl {
  public:
    struct THost {
        // For CheckException; may be null.
        const TBaseComponent* Component = nullptr;
        // The component's ForceApply; empty means never set.
        std::function<bool()> ForceApply;
        // The component's ValidDispatcher. Empty: the dispatcher of PortOpened while the
        // port is open, else ECommNotOpen.
        std::function<TBaseDispatcher&()> ValidDispatcher;
    };

    TTraceLogControl() = default;
    explicit TTraceLogControl(THost Host) : Host(std::move(Host)) {}

    // ---- Port life ---------------------------------------------------------------
    void PortOpened(TBaseDispatcher& Dispatcher);
    void PortClosing();
    void PortClosed();

    // ---- Properties --------------------------------------------------------------
    // The stored value is tlOff, tlOn or tlPause; tlDump, tlAppend and tlClear are
    // commands. While closed tlOn is stored as requested and anything else as tlOff.
    TTraceLogState Tracing() const { return TraceChannel.State; }
    void SetTracing(TTraceLogState Value) { SetState(TraceChannel, Value); }
    uint32_t TraceSize() const { return TraceChannel.Size; }
    // At most MaxTraceEntries. Any N other than TraceSize (also one above the limit while
    // TraceSize is the limit) counts as a change: while open with a trace on or paused,
    // the trace so far is discarded and a new one of the new size goes on in the same
    // state.
    void SetTraceSize(uint32_t N) { SetSize(TraceChannel, N); }
    TTraceLogState Logging() const { return LogChannel.State; }
    void SetLogging(TTraceLogState Value) { SetState(LogChannel, Value); }
    uint32_t LogSize() const { return LogChannel.Size; }
    // At most MaxLogBytes; otherwise as SetTraceSize.
    void SetLogSize(uint32_t N) { SetSize(LogChannel, N); }

    std::string TraceName = "KORU.TRC";
    bool TraceHex = true;
    bool TraceAllHex = false;
    std::string LogName = "KORU.LOG";
    bool LogHex = true;
    bool LogAllHex = false;

    // ---- Operations (through ValidDispatcher; nothing while shutting down) ---------
    // A non-zero NumEntries becomes TraceSize; then a new trace of TraceSize entries, or
    // the existing one emptied (its buffer kept as it is), collects: Tracing := tlOn.
    // InitLogging likewise, a paused log collecting again.
    void InitTracing(uint32_t NumEntries);
    // Write the trace with TraceAllHex and free it; Tracing := tlOff once written.
    void DumpTrace(const std::string& FileName, bool InHex);
    void AppendTrace(const std::string& FileName, bool InHex);
    void ClearTracing();
    void AbortTracing();
    // Resumes a paused trace, or starts a new one when there is none: Tracing := tlOn.
    void StartTracing();
    void StopTracing();
    void AddTraceEntry(char Kind, uint8_t Byte);

    void InitLogging(uint32_t Size);
    void DumpLog(const std::string& FileName, bool InHex);
    void AppendLog(const std::string& FileName, bool InHex);
    void ClearLogging();
    void AbortLogging();
    void StartLogging();
    void StopLogging();
    void AddStringToLog(const std::string& S);

    // Assign: the names, flags and sizes; Tracing and Logging as a closed port stores
    // them (tlOn stays tlOn, anything else becomes tlOff).
    void CopySettings(const TTraceLogControl& Source);

  private:
    enum TPortPhase { Closed, Open, ShuttingDown };

    // One of the two recordings, with the dispatcher operations that drive it.
    struct TChannel {
        TTraceLogState State = tlOff;
        uint32_t Size = 10000;
        uint32_t Limit;
        int32_t (TBaseDispatcher::*Init)(uint32_t);
        int32_t (TBaseDispatcher::*Start)();
        void (TBaseDispatcher::*Stop)();
        void (TBaseDispatcher::*Clear)();
        void (TBaseDispatcher::*Abort)();
        int32_t (TBaseDispatcher::*Dump)(const std::string&, bool, bool);
        int32_t (TBaseDispatcher::*Append)(const std::string&, bool, bool);
        bool (TBaseDispatcher::*Allocated)();
    };

    void Check(int32_t Code) const;
    bool Forced() const { return Host.ForceApply && Host.ForceApply(); }
    TBaseDispatcher& Valid();
    const std::string& NameOf(const TChannel& C) const;
    bool HexOf(const TChannel& C) const;
    bool AllHexOf(const TChannel& C) const;
    // Start, or a new recording when the dispatcher has none (a failed dump freed it).
    void Resume(TChannel& C, TBaseDispatcher& D);
    void SetState(TChannel& C, TTraceLogState Value);
    void SetSize(TChannel& C, uint32_t N);
    void Init(TChannel& C, uint32_t N);
    void Write(TChannel& C, const std::string& FileName, bool InHex, bool Append);
    void Simple(TChannel& C, void (TBaseDispatcher::*Op)(), TTraceLogState After);

    THost Host;
    TPortPhase Phase = Closed;
    TBaseDispatcher* Dispatcher = nullptr;
    TChannel TraceChannel{tlOff,
                          10000,
                          MaxTraceEntries,
                          &TBaseDispatcher::InitTracing,
                          &TBaseDispatcher::StartTracing,
                          &TBaseDispatcher::StopTracing,
                          &TBaseDispatcher::ClearTracing,
                          &TBaseDispatcher::AbortTracing,
                          &TBaseDispatcher::DumpTrace,
                          &TBaseDispatcher::AppendTrace,
                          &TBaseDispatcher::TraceAllocated};
    TChannel LogChannel{tlOff,
                        10000,
                        MaxLogBytes,
                        &TBaseDispatcher::InitDispatchLogging,
                        &TBaseDispatcher::StartDispatchLogging,
                        &TBaseDispatcher::StopDispatchLogging,
                        &TBaseDispatcher::ClearDispatchLogging,
                        &TBaseDispatcher::AbortDispatchLogging,
                        &TBaseDispatcher::DumpDispatchLog,
                        &TBaseDispatcher::AppendDispatchLog,
                        &TBaseDispatcher::LogAllocated};
};

} // namespace port

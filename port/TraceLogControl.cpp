#include "port/TraceLogControl.h"

#include "port/PortErrors.h"

#include <algorithm>
#include <exception>

namespace port {

void TTraceLogControl::Check(int32_t Code) const {
    CheckException(Host.Component, Code);
}

TBaseDispatcher& TTraceLogControl::Valid() {
    if (Host.ValidDispatcher) return Host.ValidDispatcher();
    if (Phase == Open && Dispatcher) return *Dispatcher;
    throw ECommNotOpen(ecCommNotOpen);
}

const std::string& TTraceLogControl::NameOf(const TChannel& C) const {
    return &C == &TraceChannel ? TraceName : LogName;
}
bool TTraceLogControl::HexOf(const TChannel& C) const {
    return &C == &TraceChannel ? TraceHex : LogHex;
}
bool TTraceLogControl::AllHexOf(const TChannel& C) const {
    return &C == &TraceChannel ? TraceAllHex : LogAllHex;
}

// ---- Port life -------------------------------------------------------------------------

void TTraceLogControl::PortOpened(TBaseDispatcher& D) {
    Phase = Open;
    Dispatcher = &D;
    for (TChannel* c : {&TraceChannel, &LogChannel}) {
        if (c->State != tlOn) {
            c->State = tlOff;
            continue;
        }
        int32_t result = (D.*c->Init)(c->Size);
        if (result < 0) c->State = tlOff;
        Check(result);
    }
}

void TTraceLogControl::PortClosing() {
    if (Phase != Open) return;
    // Both are written even when the first fails, so a bad trace file loses no log.
    std::exception_ptr failure;
    try {
        SetTracing(tlDump);
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        SetLogging(tlDump);
    } catch (...) {
        // A log that could not be written keeps its ring (its file never opened); at
        // the close it goes, or every later close would fail on it again.
        if (Dispatcher) Dispatcher->AbortDispatchLogging();
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);
    Phase = ShuttingDown;
}

void TTraceLogControl::PortClosed() {
    Phase = Closed;
    Dispatcher = nullptr;
    for (TChannel* c : {&TraceChannel, &LogChannel})
        if (c->State != tlOn) c->State = tlOff;
}

// ---- State machine ---------------------------------------------------------------------

void TTraceLogControl::Resume(TChannel& C, TBaseDispatcher& D) {
    if ((D.*C.Start)() >= 0) return;
    int32_t result = (D.*C.Init)(C.Size);
    if (result < 0) C.State = tlOff;
    Check(result);
}

void TTraceLogControl::SetState(TChannel& C, TTraceLogState Value) {
    if (Phase == ShuttingDown) return;
    if (Value == C.State && !Forced()) return;
    if (Phase == Closed || !Dispatcher) {
        C.State = Value == tlOn ? tlOn : tlOff;
        return;
    }
    TBaseDispatcher& d = *Dispatcher;
    if (C.State == tlOff) {
        if (Value != tlOn) return;
        Check((d.*C.Init)(C.Size));
        C.State = tlOn;
        return;
    }
    switch (Value) {
    case tlOff:
        (d.*C.Abort)();
        C.State = tlOff;
        break;
    case tlOn:
        if (C.State == tlOn) {
            // Forced: a fresh start, the existing buffer emptied.
            int32_t result = (d.*C.Init)(C.Size);
            if (result < 0) C.State = tlOff;
            Check(result);
        } else {
            Resume(C, d);
        }
        C.State = tlOn;
        break;
    case tlDump:
    case tlAppend: {
        (d.*C.Start)();
        auto write = Value == tlDump ? C.Dump : C.Append;
        Check((d.*write)(NameOf(C), HexOf(C), AllHexOf(C)));
        C.State = tlOff;
        break;
    }
    case tlClear:
        (d.*C.Clear)();
        break;
    case tlPause:
        if (C.State == tlOn) {
            (d.*C.Stop)();
            C.State = tlPause;
        }
        break;
    }
}

void TTraceLogControl::SetSize(TChannel& C, uint32_t N) {
    if (Phase == ShuttingDown) return;
    // Compared before the limit applies: a request above it while the size already is
    // the limit restarts the recording like any other change.
    if (N == C.Size) return;
    uint32_t size = std::min(N, C.Limit);
    C.Size = size;
    if (Phase != Open || !Dispatcher || C.State == tlOff) return;
    TBaseDispatcher& d = *Dispatcher;
    (d.*C.Abort)();
    int32_t result = (d.*C.Init)(size);
    if (result < 0) {
        C.State = tlOff;
        Check(result);
        return;
    }
    if (C.State == tlPause) (d.*C.Stop)();
}

// ---- Operations ------------------------------------------------------------------------

void TTraceLogControl::Init(TChannel& C, uint32_t N) {
    if (Phase == ShuttingDown) return;
    uint32_t size = N != 0 ? std::min(N, C.Limit) : C.Size;
    TBaseDispatcher& d = Valid();
    C.Size = size;
    // An existing recording is only emptied and keeps its buffer: the new size applies
    // to the next one.
    int32_t result = (d.*C.Init)(size);
    if (result < 0) {
        if (!(d.*C.Allocated)()) C.State = tlOff;
        Check(result);
        return;
    }
    // Emptying a paused log leaves it paused; the property says on, so it collects.
    (d.*C.Start)();
    C.State = tlOn;
}

void TTraceLogControl::Write(TChannel& C, const std::string& FileName, bool InHex, bool Append) {
    if (Phase == ShuttingDown) return;
    TBaseDispatcher& d = Valid();
    auto write = Append ? C.Append : C.Dump;
    Check((d.*write)(FileName, InHex, AllHexOf(C)));
    C.State = tlOff;
}

void TTraceLogControl::Simple(TChannel& C, void (TBaseDispatcher::*Op)(), TTraceLogState After) {
    if (Phase == ShuttingDown) return;
    TBaseDispatcher& d = Valid();
    (d.*Op)();
    C.State = After;
}

void TTraceLogControl::InitTracing(uint32_t NumEntries) {
    Init(TraceChannel, NumEntries);
}
void TTraceLogControl::DumpTrace(const std::string& FileName, bool InHex) {
    Write(TraceChannel, FileName, InHex, false);
}
void TTraceLogControl::AppendTrace(const std::string& FileName, bool InHex) {
    Write(TraceChannel, FileName, InHex, true);
}
void TTraceLogControl::ClearTracing() {
    Simple(TraceChannel, &TBaseDispatcher::ClearTracing, TraceChannel.State);
}
void TTraceLogControl::AbortTracing() {
    Simple(TraceChannel, &TBaseDispatcher::AbortTracing, tlOff);
}
void TTraceLogControl::StopTracing() {
    Simple(TraceChannel, &TBaseDispatcher::StopTracing, tlPause);
}
void TTraceLogControl::StartTracing() {
    if (Phase == ShuttingDown) return;
    Resume(TraceChannel, Valid());
    TraceChannel.State = tlOn;
}
void TTraceLogControl::AddTraceEntry(char Kind, uint8_t Byte) {
    if (Phase == ShuttingDown) return;
    Valid().AddTraceEntry(Kind, Byte);
}

void TTraceLogControl::InitLogging(uint32_t Size) {
    Init(LogChannel, Size);
}
void TTraceLogControl::DumpLog(const std::string& FileName, bool InHex) {
    Write(LogChannel, FileName, InHex, false);
}
void TTraceLogControl::AppendLog(const std::string& FileName, bool InHex) {
    Write(LogChannel, FileName, InHex, true);
}
void TTraceLogControl::ClearLogging() {
    Simple(LogChannel, &TBaseDispatcher::ClearDispatchLogging, LogChannel.State);
}
void TTraceLogControl::AbortLogging() {
    Simple(LogChannel, &TBaseDispatcher::AbortDispatchLogging, tlOff);
}
void TTraceLogControl::StopLogging() {
    Simple(LogChannel, &TBaseDispatcher::StopDispatchLogging, tlPause);
}
void TTraceLogControl::StartLogging() {
    if (Phase == ShuttingDown) return;
    Resume(LogChannel, Valid());
    LogChannel.State = tlOn;
}
void TTraceLogControl::AddStringToLog(const std::string& S) {
    if (Phase == ShuttingDown) return;
    Valid().AddStringToLog(S);
}

void TTraceLogControl::CopySettings(const TTraceLogControl& Source) {
    TraceName = Source.TraceName;
    TraceHex = Source.TraceHex;
    TraceAllHex = Source.TraceAllHex;
    LogName = Source.LogName;
    LogHex = Source.LogHex;
    LogAllHex = Source.LogAllHex;
    TraceChannel.Size = Source.TraceChannel.Size;
    LogChannel.Size = Source.LogChannel.Size;
    TraceChannel.State = Source.TraceChannel.State == tlOn ? tlOn : tlOff;
    LogChannel.State = Source.LogChannel.State == tlOn ? tlOn : tlOff;
}

} // namespace port

// The dispatcher's trace: the ring of (kind, byte) pairs and its dump as text, grouped
// into runs of one kind under "Transmit: ", "Receive: " or "Special-K: " headers.
#include "port/Dispatcher.h"

#include "port/TraceText.h"

namespace port {

void TBaseDispatcher::AddTraceEntry(char Kind, uint8_t Byte) {
    std::lock_guard lock(StateLock);
    if (TraceRing.Exists()) TraceRing.Add(Kind, Byte);
}

int32_t TBaseDispatcher::InitTracing(uint32_t NumEntries) {
    std::lock_guard lock(StateLock);
    if (TraceRing.Exists()) {
        TraceRing.Clear();
    } else {
        // An empty buffer could hold no entry: refused like one too large.
        if (NumEntries == 0 || NumEntries > MaxTraceEntries) return ecBadArgument;
        if (!TraceRing.Allocate(NumEntries)) return ecOutOfMemory;
    }
    TraceOn = true;
    return ecOK;
}

int32_t TBaseDispatcher::StartTracing() {
    std::lock_guard lock(StateLock);
    if (!TraceRing.Exists()) return ecTracingNotEnabled;
    TraceOn = true;
    return ecOK;
}

void TBaseDispatcher::StopTracing() {
    std::lock_guard lock(StateLock);
    TraceOn = false;
}

void TBaseDispatcher::ClearTracing() {
    std::lock_guard lock(StateLock);
    TraceRing.Clear();
}

void TBaseDispatcher::AbortTracing() {
    std::lock_guard lock(StateLock);
    TraceOn = false;
    TraceRing.Release();
}

bool TBaseDispatcher::TraceAllocated() {
    std::lock_guard lock(StateLock);
    return TraceRing.Exists();
}

int32_t TBaseDispatcher::DumpTrace(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteTrace(FileName, InHex, AllHex, false);
}

int32_t TBaseDispatcher::AppendTrace(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteTrace(FileName, InHex, AllHex, true);
}

int32_t TBaseDispatcher::WriteTrace(const std::string& FileName, bool InHex, bool AllHex,
                                    bool Append) {
    // Collection stops first, so the reads and writes of other threads do not wait on
    // the lock for the whole dump only to add entries that are then thrown away.
    TraceOn = false;
    std::lock_guard lock(StateLock);
    if (!TraceRing.Exists()) return ecOK;
    if (TraceRing.Empty()) {
        AbortTracing();
        return ecOK;
    }
    TTextFile file;
    int32_t result = file.Open(FileName, Append);
    if (result < 0) {
        AbortTracing();
        return result;
    }
    TItemWrap wrap(file, 0, 0, {});
    bool first = true;
    char kind = 0;
    TraceRing.ForEach([&](const TTraceEntry& entry) {
        if (first || entry.Kind != kind) {
            if (!first) file.Write("\n\n");
            wrap.Reset(0);
            if (entry.Kind == 'T')
                file.Write("Transmit: \n");
            else if (entry.Kind == 'R')
                file.Write("Receive: \n");
            else
                file.Write(std::string("Special-") + entry.Kind + ": \n");
            first = false;
            kind = entry.Kind;
        }
        wrap.Item(TraceItemText(entry.Byte, InHex, AllHex));
    });
    result = file.Close();
    AbortTracing();
    return result;
}

} // namespace port

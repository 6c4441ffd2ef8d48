#pragma once
// The two recording rings a dispatcher keeps while its port is open.
//
// TTraceRing: (kind, byte) pairs, one per byte the application wrote ('T') or read
// ('R'), or any other kind a caller adds. When full it wraps and overwrites the oldest.
//
// TDispatchLogRing: timestamped dispatcher events packed back to back into a byte ring.
// An entry is a 14-byte header (type, subtype, time in ms, Data, data length, the
// numbers little-endian) followed by its data bytes. Room for a new entry is made by
// dropping whole entries from the oldest end; an entry as large as the ring or larger
// is not stored.
//
// Neither locks: the dispatcher guards both with its StateLock.
#include "port/DispatcherTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace port {

// The largest trace the dispatcher allocates, in entries, and the largest log, in bytes.
constexpr uint32_t MaxTraceEntries = 4000000;
constexpr uint32_t MaxLogBytes = 16000000;

struct TTraceEntry {
    char Kind;
    uint8_t Byte;
};

class TTraceRing {
  public:
    bool Exists() const { return Buffer != nullptr; }
    // A new buffer of Capacity (> 0) entries, empty. False when out of memory.
    bool Allocate(uint32_t Capacity);
    void Release();
    void Clear();
    // Needs a buffer.
    void Add(char Kind, uint8_t Byte);
    bool Empty() const { return !TraceWrapped && TraceIndex == 0; }
    // The entries from the oldest to the newest.
    template <class Visit> void ForEach(Visit&& visit) const {
        if (!Buffer) return;
        uint32_t first = TraceWrapped ? TraceIndex : 0;
        uint32_t count = TraceWrapped ? TraceCapacity : TraceIndex;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t at = first + i;
            if (at >= TraceCapacity) at -= TraceCapacity;
            visit(Buffer[at]);
        }
    }

    uint32_t TraceCapacity = 0;
    uint32_t TraceIndex = 0;
    bool TraceWrapped = false;

  private:
    std::unique_ptr<TTraceEntry[]> Buffer;
};

struct TDispatchLogHeader {
    uint8_t Type = dtNone;
    uint8_t SubType = dstNone;
    uint32_t Time = 0;
    uint32_t Data = 0;
    uint32_t Length = 0; // data bytes that follow
};

class TDispatchLogRing {
  public:
    static constexpr uint32_t HeaderSize = 14;

    bool Exists() const { return Allocated; }
    // A new ring of Capacity bytes (0 is allowed: it stores nothing). False when out of
    // memory.
    bool Allocate(uint32_t Capacity);
    void Release();
    void Clear();
    bool Empty() const { return LogFree == LogCapacity; }
    // Stores one entry when header and data together are smaller than the ring; false
    // otherwise. Bytes may be null only when Length is 0.
    bool Add(const TDispatchLogHeader& Header, const void* Bytes);
    // Removes the oldest entry, its data into Bytes. False when the ring is empty.
    bool TakeOldest(TDispatchLogHeader& Header, std::vector<uint8_t>& Bytes);

    uint32_t LogCapacity = 0;
    uint32_t LogHead = 0;
    uint32_t LogTail = 0;
    uint32_t LogFree = 0;

  private:
    void Put(const void* Bytes, uint32_t Length);
    void Get(void* Bytes, uint32_t Length);
    void DropOldest();

    bool Allocated = false;
    std::unique_ptr<uint8_t[]> Ring;
};

} // namespace port

#include "port/TraceRings.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace port {

// ---- Trace ---------------------------------------------------------------------------

bool TTraceRing::Allocate(uint32_t Capacity) {
    Buffer.reset(new (std::nothrow) TTraceEntry[Capacity]);
    TraceCapacity = Buffer ? Capacity : 0;
    Clear();
    return Buffer != nullptr;
}

void TTraceRing::Release() {
    Buffer.reset();
    TraceCapacity = 0;
    Clear();
}

void TTraceRing::Clear() {
    TraceIndex = 0;
    TraceWrapped = false;
}

void TTraceRing::Add(char Kind, uint8_t Byte) {
    Buffer[TraceIndex] = TTraceEntry{Kind, Byte};
    if (++TraceIndex >= TraceCapacity) {
        TraceIndex = 0;
        TraceWrapped = true;
    }
}

// ---- Dispatch log ----------------------------------------------------------------------

namespace {

void Store32(uint8_t* At, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        At[i] = static_cast<uint8_t>(Value >> (8 * i));
}

uint32_t Load32(const uint8_t* At) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t{At[i]} << (8 * i);
    return value;
}

} // namespace

bool TDispatchLogRing::Allocate(uint32_t Capacity) {
    // One byte at least, so that an empty ring still has a buffer to point at.
    Ring.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(Capacity, 1)]);
    Allocated = Ring != nullptr;
    LogCapacity = Allocated ? Capacity : 0;
    Clear();
    return Allocated;
}

void TDispatchLogRing::Release() {
    Ring.reset();
    Allocated = false;
    LogCapacity = 0;
    Clear();
}

void TDispatchLogRing::Clear() {
    LogHead = LogTail = 0;
    LogFree = LogCapacity;
}

void TDispatchLogRing::Put(const void* Bytes, uint32_t Length) {
    const auto* in = static_cast<const uint8_t*>(Bytes);
    uint32_t first = std::min(Length, LogCapacity - LogHead);
    std::memcpy(Ring.get() + LogHead, in, first);
    std::memcpy(Ring.get(), in + first, Length - first);
    LogHead += Length;
    if (LogHead >= LogCapacity) LogHead -= LogCapacity;
}

void TDispatchLogRing::Get(void* Bytes, uint32_t Length) {
    auto* out = static_cast<uint8_t*>(Bytes);
    uint32_t first = std::min(Length, LogCapacity - LogTail);
    if (out) {
        std::memcpy(out, Ring.get() + LogTail, first);
        std::memcpy(out + first, Ring.get(), Length - first);
    }
    LogTail += Length;
    if (LogTail >= LogCapacity) LogTail -= LogCapacity;
}

void TDispatchLogRing::DropOldest() {
    uint8_t raw[HeaderSize];
    Get(raw, HeaderSize);
    uint32_t length = Load32(raw + 10);
    Get(nullptr, length);
    LogFree += HeaderSize + length;
}

bool TDispatchLogRing::Add(const TDispatchLogHeader& Header, const void* Bytes) {
    uint32_t length = Bytes ? Header.Length : 0;
    uint64_t size = uint64_t{HeaderSize} + length;
    if (!Allocated || size >= LogCapacity) return false;
    while (LogFree < size)
        DropOldest();
    uint8_t raw[HeaderSize];
    raw[0] = Header.Type;
    raw[1] = Header.SubType;
    Store32(raw + 2, Header.Time);
    Store32(raw + 6, Header.Data);
    Store32(raw + 10, length);
    Put(raw, HeaderSize);
    if (length != 0) Put(Bytes, length);
    LogFree -= static_cast<uint32_t>(size);
    return true;
}

bool TDispatchLogRing::TakeOldest(TDispatchLogHeader& Header, std::vector<uint8_t>& Bytes) {
    if (!Allocated || Empty()) return false;
    uint8_t raw[HeaderSize];
    Get(raw, HeaderSize);
    Header.Type = raw[0];
    Header.SubType = raw[1];
    Header.Time = Load32(raw + 2);
    Header.Data = Load32(raw + 6);
    Header.Length = Load32(raw + 10);
    // Sized to the entry itself, so data larger than any queue still reads back whole.
    Bytes.resize(Header.Length);
    Get(Bytes.data(), Header.Length);
    LogFree += HeaderSize + Header.Length;
    return true;
}

} // namespace port

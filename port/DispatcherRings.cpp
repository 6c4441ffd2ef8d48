// The input ring (fed from the device by ExtractData, read by the window thread) and
// the output ring (filled by PutBlock, drained by the output thread).
#include "port/Dispatcher.h"

#include "port/DispatcherThreads.h"

#include <algorithm>
#include <cstring>

namespace port {

// ---- Input ring ------------------------------------------------------------------------

uint32_t TBaseDispatcher::InUsedLocked() const {
    if (InFull) return InRingSize;
    return (InHead + InRingSize - InTail) % InRingSize;
}

uint32_t TBaseDispatcher::UnreadLocked() const {
    uint32_t used = InUsedLocked();
    uint32_t read = InAvailNotify ? AvailReadCount : 0;
    return used > read ? used - read : 0;
}

int32_t TBaseDispatcher::PeekCharLocked(char& C, uint32_t Index) const {
    if (!InRing || Index < 1 || Index > InUsedLocked()) return ecBufferIsEmpty;
    C = static_cast<char>(InRing[(InTail + Index - 1) % InRingSize]);
    return ecOK;
}

void TBaseDispatcher::AdvanceInTail(uint32_t Count) {
    if (Count == 0) return;
    InTail = (InTail + Count) % InRingSize;
    bool wasFull = InFull;
    InFull = false;
    if (wasFull) InputSpaceFreed();
}

void TBaseDispatcher::CopyFromRing(uint32_t Offset, void* Buf, uint32_t Len) const {
    uint32_t start = (InTail + Offset) % InRingSize;
    uint32_t first = std::min(Len, InRingSize - start);
    auto* out = static_cast<uint8_t*>(Buf);
    std::memcpy(out, InRing.get() + start, first);
    if (first < Len) std::memcpy(out + first, InRing.get(), Len - first);
}

// ---- Reads without a lock inside a handler ------------------------------------------------

void TBaseDispatcher::BeginHandlerReads() {
    std::lock_guard lock(InLock);
    FastReader.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ReopenFastReads();
}

void TBaseDispatcher::EndHandlerReads() {
    std::lock_guard lock(InLock);
    CloseFastReads();
    FastReader.store(std::thread::id{}, std::memory_order_relaxed);
}

void TBaseDispatcher::ReopenFastReads() {
    if (FastReader.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
    if (!InRing || !InAvailNotify) return;
    const uint32_t unread = UnreadLocked();
    if (unread == 0) return;
    const uint32_t start = (InTail + AvailReadCount) % InRingSize;
    FastReads.store(FastWindow(start, unread), std::memory_order_relaxed);
}

void TBaseDispatcher::CloseFastReads() {
    if (FastReader.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
    const uint64_t window = FastReads.load(std::memory_order_relaxed);
    if (window == 0) return;
    FastReads.store(0, std::memory_order_relaxed);
    AvailReadCount += FastTakenOf(window);
}

int32_t TBaseDispatcher::ReadDevice(uint32_t At, uint32_t Size) {
    int32_t got = ReadCom(InRing.get() + At, static_cast<int32_t>(Size));
    // A failed read moves no bytes into the ring; the log shows it as a read of 0.
    if (got < 0) {
        GetComEventMask(-1);
        got = 0;
    }
    got = std::min(got, static_cast<int32_t>(Size));
    if (LogActive())
        AddDispatchEntry(dtDispatch, dstReadCom, static_cast<uint32_t>(got),
                         got > 0 ? InRing.get() + At : nullptr, static_cast<uint32_t>(got));
    return got;
}

uint32_t TBaseDispatcher::ExtractData() {
    std::lock_guard lock(InLock);
    if (!InRing || InFull) return 0;
    const uint64_t before = InTotal;
    if (ReadsWhatIsThere())
        ReadWhatIsThere();
    else
        ReadAnnounced();
    return static_cast<uint32_t>(InTotal - before);
}

void TBaseDispatcher::StoreRead(uint32_t Got) {
    InHead += Got;
    InTotal += Got;
    if (InHead == InRingSize) InHead = 0;
    if (Got > 0) InFull = InHead == InTail;
}

void TBaseDispatcher::ReadAnnounced() {
    RefreshStatus();
    uint32_t pending;
    {
        std::lock_guard status(StatusLock);
        pending = DeviceStatus.cbInQue;
    }
    if (pending == 0) return;

    uint32_t free, contiguous;
    if (InHead == InTail) {
        free = InRingSize;
        contiguous = InRingSize - InHead;
    } else if (InTail < InHead) {
        free = InTail + InRingSize - InHead;
        contiguous = InRingSize - InHead;
    } else {
        free = contiguous = InTail - InHead;
    }
    uint32_t want = std::min(free, pending);
    uint32_t rest = want > contiguous ? want - contiguous : 0;

    auto got = static_cast<uint32_t>(ReadDevice(InHead, contiguous));
    StoreRead(got);
    if (got < contiguous) rest = 0;
    if (rest != 0) StoreRead(static_cast<uint32_t>(ReadDevice(InHead, rest)));
}

void TBaseDispatcher::ReadWhatIsThere() {
    // The free space up to the ring's end, then, when that filled, the free space at
    // its start.
    for (int part = 0; part < 2 && !InFull; ++part) {
        const uint32_t contiguous = InTail > InHead ? InTail - InHead : InRingSize - InHead;
        const auto got = static_cast<uint32_t>(ReadDevice(InHead, contiguous));
        StoreRead(got);
        if (got < contiguous) return;
    }
}

bool TBaseDispatcher::InputWaiting() {
    std::lock_guard lock(InLock);
    if (!InRing || InFull) return false;
    RefreshStatus();
    std::lock_guard status(StatusLock);
    return DeviceStatus.cbInQue != 0;
}

bool TBaseDispatcher::CharReady() {
    TLockedRead lock(*this);
    if (!InRing) return false;
    if (InAvailNotify)
        return (InTail + AvailReadCount) % InRingSize != InHead ||
               (InFull && AvailReadCount < InRingSize);
    return InHead != InTail || InFull;
}

int32_t TBaseDispatcher::PeekChar(char& C, uint32_t Index) {
    if (Index < 1) return ecBadArgument;
    TLockedRead lock(*this);
    if (InAvailNotify) Index += AvailReadCount;
    return PeekCharLocked(C, Index);
}

int32_t TBaseDispatcher::GetChar(char& C) {
    if (GetCharInHandler(C)) return ecOK;
    {
        TLockedRead lock(*this);
        if (InAvailNotify) {
            ++AvailReadCount;
            int32_t result = PeekCharLocked(C, AvailReadCount);
            if (result < 0) {
                --AvailReadCount;
                return result;
            }
        } else {
            int32_t result = PeekCharLocked(C, 1);
            if (result < 0) return result;
            AdvanceInTail(1);
        }
    }
    if (TraceActive()) AddTraceEntry('R', static_cast<uint8_t>(C));
    return ecOK;
}

int32_t TBaseDispatcher::PeekBlock(void* Buf, uint32_t Len) {
    TLockedRead lock(*this);
    if (!InRing || UnreadLocked() < Len) return ecBufferIsEmpty;
    CopyFromRing(InAvailNotify ? AvailReadCount : 0, Buf, Len);
    return static_cast<int32_t>(Len);
}

int32_t TBaseDispatcher::GetBlock(void* Buf, uint32_t Len) {
    {
        TLockedRead lock(*this);
        if (!InRing || UnreadLocked() < Len) return ecBufferIsEmpty;
        CopyFromRing(InAvailNotify ? AvailReadCount : 0, Buf, Len);
        if (InAvailNotify)
            AvailReadCount += Len;
        else
            AdvanceInTail(Len);
    }
    if (TraceActive()) {
        const auto* bytes = static_cast<const uint8_t*>(Buf);
        std::lock_guard lock(StateLock);
        for (uint32_t i = 0; i < Len; ++i)
            AddTraceEntry('R', bytes[i]);
    }
    return static_cast<int32_t>(Len);
}

uint32_t TBaseDispatcher::InBuffUsed() {
    TLockedRead lock(*this);
    return UnreadLocked();
}

uint32_t TBaseDispatcher::InBuffFree() {
    TLockedRead lock(*this);
    if (!InRing) return InRingSize;
    return InRingSize - InUsedLocked() + (InAvailNotify ? AvailReadCount : 0);
}

int32_t TBaseDispatcher::FlushInBuffer() {
    TLockedRead lock(*this);
    FlushCom(1);
    if (InAvailNotify) {
        // The commit after the notification drops everything; the handler reads
        // nothing more of what was flushed.
        AvailReadMax = AvailReadCount = InUsedLocked();
    } else {
        InTail = InHead;
        AvailReadCount = 0;
    }
    bool wasFull = InFull;
    InFull = false;
    if (wasFull) InputSpaceFreed();
    // Flushed bytes are not examined by the data triggers.
    ScanCount = InTotal;
    ResetDataTriggers();
    return ecOK;
}

void TBaseDispatcher::InRingState(uint32_t& Head, uint32_t& Tail, bool& Full) {
    std::lock_guard lock(InLock);
    Head = InHead;
    Tail = InTail;
    Full = InFull;
}

bool TBaseDispatcher::RingsAllocated() {
    std::lock_guard inLock(InLock);
    std::lock_guard outLock(OutLock);
    return InRing != nullptr || OutRing != nullptr;
}

void TBaseDispatcher::ReleaseRings() {
    {
        std::lock_guard lock(InLock);
        FastReads.store(0);
        FastReader.store(std::thread::id{});
        InRing.reset();
        InHead = InTail = 0;
        InFull = false;
        InAvailNotify = false;
        AvailReadCount = AvailReadMax = 0;
        InTotal = ScanCount = AvailNotifyCount = 0;
    }
    std::lock_guard lock(OutLock);
    OutRing.reset();
    OutHead = OutTail = 0;
    OutFull = false;
}

// ---- Output ring -------------------------------------------------------------------

int32_t TBaseDispatcher::PutString(const std::string& S) {
    return PutBlock(S.data(), static_cast<uint32_t>(S.size()));
}

int32_t TBaseDispatcher::PutBlock(const void* Buf, uint32_t Len) {
    if (Len == 0) return ecOK;
    if (DeviceHandleValue.load() < 0) return ecCommNotOpen;
    bool raiseRts = !HasDriverRS485() && RS485On.load();
    uint16_t baseAddress = raiseRts ? GetBaseAddress() : 0;
    int32_t taken;
    {
        std::lock_guard lock(OutLock);
        RefreshStatus();
        uint32_t used;
        {
            std::lock_guard status(StatusLock);
            used = DeviceStatus.cbOutQue;
        }
        uint32_t free = OutQueueSize > used ? OutQueueSize - used : 0;
        if (Len > free) return ecOutputBufferTooSmall;
        if (raiseRts) {
            if (baseAddress == 0) return ecBaseAddressNotSet;
            EscapeComFunction(SETRTS);
        }
        taken = WriteCom(Buf, static_cast<int32_t>(Len));
        if (taken <= 0) {
            RefreshStatus();
            taken = 0;
        } else {
            taken = std::min(taken, static_cast<int32_t>(Len));
            OutWritten = true;
        }
    }
    // Only the bytes the device took count as written.
    if (taken > 0) {
        if (LogActive())
            AddDispatchEntry(dtDispatch, dstWriteCom, static_cast<uint32_t>(taken), Buf,
                             static_cast<uint32_t>(taken));
        if (TraceActive()) {
            const auto* bytes = static_cast<const uint8_t*>(Buf);
            std::lock_guard lock(StateLock);
            for (int32_t i = 0; i < taken; ++i)
                AddTraceEntry('T', bytes[i]);
        }
    }
    // A write the device took nothing of is logged as one of 0 bytes.
    if (taken == 0 && LogActive()) AddDispatchEntry(dtDispatch, dstWriteCom, 0, nullptr, 0);
    return static_cast<uint32_t>(taken) == Len ? ecOK : ecPutBlockFail;
}

uint32_t TBaseDispatcher::OutBuffUsed() {
    RefreshStatus();
    std::lock_guard status(StatusLock);
    return DeviceStatus.cbOutQue;
}

uint32_t TBaseDispatcher::OutBuffFree() {
    uint32_t used = OutBuffUsed();
    return OutQueueSize > used ? OutQueueSize - used : 0;
}

void TBaseDispatcher::BufferSizes(uint32_t& InSize, uint32_t& OutSize) {
    InSize = InQueueSize;
    OutSize = OutQueueSize;
}

uint32_t TBaseDispatcher::OutRingUsed() {
    std::lock_guard lock(OutLock);
    if (!OutRing) return 0;
    if (OutFull) return OutQueueSize;
    return (OutHead + OutQueueSize - OutTail) % (OutQueueSize == 0 ? 1 : OutQueueSize);
}

int32_t TBaseDispatcher::QueueOutput(const void* Buf, int32_t Len) {
    int32_t queued;
    {
        std::lock_guard lock(OutLock);
        if (!OutRing || Len <= 0 || OutQueueSize == 0) return 0;
        uint32_t free = OutQueueSize - OutRingUsed();
        auto n = std::min(static_cast<uint32_t>(Len), free);
        const auto* in = static_cast<const uint8_t*>(Buf);
        uint32_t first = std::min(n, OutQueueSize - OutHead);
        std::memcpy(OutRing.get() + OutHead, in, first);
        std::memcpy(OutRing.get(), in + first, n - first);
        OutHead = (OutHead + n) % OutQueueSize;
        // The ring is marked full only once the bytes are really in it.
        if (n > 0 && OutHead == OutTail) OutFull = true;
        queued = static_cast<int32_t>(n);
    }
    if (queued > 0) Signals.Set(TDispatcherSignals::OutDataSignal);
    return queued;
}

bool TBaseDispatcher::TakeOutputChunk(const uint8_t*& Chunk, uint32_t& Length) {
    std::lock_guard lock(OutLock);
    if (!OutRing || !(OutFull || OutHead != OutTail)) return false;
    uint8_t* ring = OutRing.get();
    if (OutTail < OutHead) {
        Chunk = ring + OutTail;
        Length = OutHead - OutTail;
    } else if (OutHead == 0) {
        Chunk = ring + OutTail;
        Length = OutQueueSize - OutTail;
    } else {
        // Wrapped: rotate in place so the unsent bytes start at 0 and go out in one
        // write. The free space between head and tail moves to the end.
        std::rotate(ring, ring + OutTail, ring + OutQueueSize);
        OutHead += OutQueueSize - OutTail;
        OutTail = 0;
        // A full ring: the head is back at the start, not one past the end.
        if (OutHead == OutQueueSize) OutHead = 0;
        Chunk = ring;
        Length = OutFull ? OutQueueSize : OutHead;
    }
    return true;
}

void TBaseDispatcher::ConsumeOutput(uint32_t Count) {
    std::lock_guard lock(OutLock);
    if (!OutRing) return;
    Count = std::min(Count, OutRingUsed());
    OutTail += Count;
    if (OutTail >= OutQueueSize) OutTail -= OutQueueSize;
    if (OutTail == OutHead) OutHead = OutTail = 0;
    if (Count != 0) OutFull = false;
}

void TBaseDispatcher::FlushOutputRing() {
    // Without an output thread there is no write to abandon: only the ring is emptied.
    if (OutThreadRunning.load() && Signals.Valid()) {
        Signals.Set(TDispatcherSignals::OutAbortSignal);
        CancelTransmit();
        Signals.Wait(TDispatcherSignals::ThreadStateSignal, 5000);
    }
    std::lock_guard lock(OutLock);
    OutFull = false;
    OutHead = OutTail = 0;
}

} // namespace port

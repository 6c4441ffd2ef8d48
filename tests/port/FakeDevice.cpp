#include "FakeDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace port::testing {

namespace {
constexpr int32_t FakeHandle = 7;
} // namespace

// ---- Scripting -----------------------------------------------------------------------

bool TFakeDevice::Deliver(const void* Bytes, size_t Count) {
    {
        std::lock_guard lock(Lock);
        if (Count > RxCapacity - RxCount) return false;
        const auto* in = static_cast<const uint8_t*>(Bytes);
        size_t at = (RxHead + RxCount) % RxCapacity;
        size_t first = std::min(Count, RxCapacity - at);
        std::memcpy(Rx.data() + at, in, first);
        std::memcpy(Rx.data(), in + first, Count - first);
        RxCount += Count;
        Events |= EV_RXCHAR;
    }
    EventChanged.notify_all();
    return true;
}

void TFakeDevice::SetModemLines(uint8_t NewLines) {
    {
        std::lock_guard lock(Lock);
        uint8_t changed = (Lines ^ NewLines) & MsrLines;
        if (changed & MsrCts) Events |= EV_CTS;
        if (changed & MsrDsr) Events |= EV_DSR;
        if (changed & MsrDcd) Events |= EV_RLSD;
        if (changed & MsrRing) Events |= EV_RING;
        Lines = NewLines & MsrLines;
    }
    EventChanged.notify_all();
}

void TFakeDevice::RaiseLineError(uint32_t Errors) {
    {
        std::lock_guard lock(Lock);
        PendingErrors |= Errors;
        if (Errors & CE_BREAK) Events |= EV_BREAK;
        if (Errors & ~uint32_t{CE_BREAK}) Events |= EV_ERR;
    }
    EventChanged.notify_all();
}

void TFakeDevice::RaiseEvent(uint32_t NewEvents) {
    {
        std::lock_guard lock(Lock);
        Events |= NewEvents;
    }
    EventChanged.notify_all();
}

void TFakeDevice::Vanish() {
    {
        std::lock_guard lock(Lock);
        Vanished = true;
    }
    EventChanged.notify_all();
}

void TFakeDevice::RefuseWrites(int32_t Error) {
    std::lock_guard lock(Lock);
    WriteRefusal = Error;
}

void TFakeDevice::SetWriteLimit(int32_t Limit) {
    std::lock_guard lock(Lock);
    WriteLimit = Limit;
}

void TFakeDevice::HoldWrites(bool NewHold) {
    {
        std::lock_guard lock(Lock);
        Hold = NewHold;
    }
    WriteChanged.notify_all();
}

void TFakeDevice::SetWriteComResult(int32_t Result) {
    std::lock_guard lock(Lock);
    WriteComResult = Result;
}

void TFakeDevice::FailNextRead(int32_t Error, int Skip) {
    std::lock_guard lock(Lock);
    NextReadError = Error;
    ReadsBeforeError = Skip;
}

void TFakeDevice::FailOpen(int32_t Result, int32_t LastError) {
    std::lock_guard lock(Lock);
    OpenResult = Result;
    OpenError = LastError;
}

void TFakeDevice::SetEscapeResult(int32_t Result) {
    std::lock_guard lock(Lock);
    EscapeResult = Result;
}

void TFakeDevice::SetBaseAddress(int32_t Address) {
    std::lock_guard lock(Lock);
    BaseAddress = Address;
}

void TFakeDevice::SetDriverRS485(bool Has) {
    std::lock_guard lock(Lock);
    DriverRS485 = Has;
}

std::string TFakeDevice::Written() const {
    std::lock_guard lock(Lock);
    return WrittenBytes;
}

bool TFakeDevice::WaitWritten(size_t Count, int64_t TimeoutMs) const {
    std::unique_lock lock(Lock);
    return WriteChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                                 [&] { return WrittenBytes.size() >= Count; });
}

bool TFakeDevice::WaitWriteHeld(int64_t TimeoutMs) const {
    std::unique_lock lock(Lock);
    return WriteChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] { return Held; });
}

bool TFakeDevice::WaitTransmitCalls(int Count, int64_t TimeoutMs) const {
    std::unique_lock lock(Lock);
    return WriteChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                                 [&] { return TransmitCalls >= Count; });
}

std::vector<int32_t> TFakeDevice::ReadRequests() const {
    std::lock_guard lock(Lock);
    size_t count = std::min(RequestCount, Requests.size());
    std::vector<int32_t> result;
    for (size_t i = RequestCount - count; i < RequestCount; ++i)
        result.push_back(Requests[i % Requests.size()]);
    return result;
}

void TFakeDevice::ClearReadRequests() {
    std::lock_guard lock(Lock);
    RequestCount = 0;
}

size_t TFakeDevice::RxPending() const {
    std::lock_guard lock(Lock);
    return RxCount;
}

TDCB TFakeDevice::LineSettings() const {
    std::lock_guard lock(Lock);
    return Dcb;
}

int TFakeDevice::SetComStateCount() const {
    std::lock_guard lock(Lock);
    return SetStateCalls;
}

bool TFakeDevice::Dtr() const {
    std::lock_guard lock(Lock);
    return DtrOn;
}

bool TFakeDevice::Rts() const {
    std::lock_guard lock(Lock);
    return RtsOn;
}

bool TFakeDevice::BreakOn() const {
    std::lock_guard lock(Lock);
    return Break;
}

bool TFakeDevice::IsOpen() const {
    std::lock_guard lock(Lock);
    return Open;
}

int TFakeDevice::TransmitPurges() const {
    std::lock_guard lock(Lock);
    return TxPurges;
}

int TFakeDevice::ReceivePurges() const {
    std::lock_guard lock(Lock);
    return RxPurges;
}

// ---- The device layer --------------------------------------------------------------------

TFakeDispatcher::TFakeDispatcher(TFakeDevice& Device, bool Threads, TBaseComponent* Owner,
                                 winsys::EventLoop* Loop)
    : TBaseDispatcher(Owner, Loop), Device(Device), Threads(Threads) {}

TFakeDispatcher::~TFakeDispatcher() {
    Destroy();
}

int32_t TFakeDispatcher::Open(int32_t Baud, uint32_t OutSize, uint32_t FlowOpts) {
    return InitPort("COM1", Baud, pNone, 8, 1, 4096, OutSize, FlowOpts);
}

int32_t TFakeDispatcher::EscapeComFunction(int32_t Func) {
    std::lock_guard lock(Device.Lock);
    switch (Func) {
    case SETDTR:
        Device.DtrOn = true;
        break;
    case CLRDTR:
        Device.DtrOn = false;
        break;
    case SETRTS:
        Device.RtsOn = true;
        break;
    case CLRRTS:
        Device.RtsOn = false;
        break;
    case SETBREAK:
        Device.Break = true;
        break;
    case CLRBREAK:
        Device.Break = false;
        break;
    case GETBASEADDRESS:
        return Device.BaseAddress;
    default:
        break;
    }
    return Device.EscapeResult;
}

int32_t TFakeDispatcher::FlushCom(int32_t Queue) {
    if (Queue == 0) {
        FlushOutputRing();
        std::lock_guard lock(Device.Lock);
        ++Device.TxPurges;
    } else {
        std::lock_guard lock(Device.Lock);
        Device.RxHead = Device.RxCount = 0;
        ++Device.RxPurges;
    }
    return ecOK;
}

uint32_t TFakeDispatcher::GetComError(TComStat& Stat) {
    uint32_t errors;
    {
        std::lock_guard lock(Device.Lock);
        Stat.Flags = 0;
        Stat.cbInQue = Device.Open ? static_cast<uint32_t>(Device.RxCount) : 0;
        errors = Device.PendingErrors;
        Device.PendingErrors = 0;
    }
    Stat.cbOutQue = OutRingUsed();
    return errors;
}

int32_t TFakeDispatcher::GetComEventMask(int32_t) {
    return 0;
}

int32_t TFakeDispatcher::GetComState(TDCB& DCB) {
    std::lock_guard lock(Device.Lock);
    DCB = Device.Dcb;
    return ecOK;
}

int32_t TFakeDispatcher::ReadCom(void* Buf, int32_t Size) {
    std::lock_guard lock(Device.Lock);
    Device.Requests[Device.RequestCount++ % Device.Requests.size()] = Size;
    if (Device.NextReadError != 0 && Device.ReadsBeforeError-- <= 0) {
        int32_t error = Device.NextReadError;
        Device.NextReadError = 0;
        return error;
    }
    if (!Device.Open || Size <= 0) return 0;
    size_t count = std::min(static_cast<size_t>(Size), Device.RxCount);
    auto* out = static_cast<uint8_t*>(Buf);
    size_t first = std::min(count, TFakeDevice::RxCapacity - Device.RxHead);
    std::memcpy(out, Device.Rx.data() + Device.RxHead, first);
    std::memcpy(out + first, Device.Rx.data(), count - first);
    Device.RxHead = (Device.RxHead + count) % TFakeDevice::RxCapacity;
    Device.RxCount -= count;
    return static_cast<int32_t>(count);
}

int32_t TFakeDispatcher::SetComState(TDCB& DCB) {
    std::lock_guard lock(Device.Lock);
    Device.Dcb = DCB;
    ++Device.SetStateCalls;
    return ecOK;
}

int32_t TFakeDispatcher::WriteCom(const void* Buf, int32_t Size) {
    {
        std::lock_guard lock(Device.Lock);
        if (Device.WriteComResult != INT32_MIN) return Device.WriteComResult;
    }
    return QueueOutput(Buf, Size);
}

bool TFakeDispatcher::WaitComEvent(uint32_t& EvtMask) {
    std::unique_lock lock(Device.Lock);
    Device.EventChanged.wait(lock, [&] {
        // Bytes taken meanwhile by the dispatcher's own pass leave no event behind, as
        // with a device whose readiness is polled.
        if (Device.RxCount == 0) Device.Events &= ~uint32_t{EV_RXCHAR};
        return Device.Mask == 0 || Device.Vanished || (Device.Events & Device.Mask) != 0;
    });
    if (Device.Mask == 0 || Device.Vanished) return false;
    EvtMask = Device.Events & Device.Mask;
    Device.Events &= ~EvtMask;
    return true;
}

void TFakeDispatcher::SetComEventMask(uint32_t Mask) {
    {
        std::lock_guard lock(Device.Lock);
        Device.Mask = Mask;
    }
    Device.EventChanged.notify_all();
}

bool TFakeDispatcher::SetupCom(int32_t, int32_t) {
    return true;
}

int32_t TFakeDispatcher::OpenCom(const char*, int32_t, int32_t) {
    std::lock_guard lock(Device.Lock);
    if (Device.OpenResult < 0) {
        SetLastError(Device.OpenError);
        return Device.OpenResult;
    }
    Device.Open = true;
    Device.Vanished = false;
    return FakeHandle;
}

int32_t TFakeDispatcher::CloseCom() {
    {
        std::lock_guard lock(Device.Lock);
        Device.Open = false;
        Device.Mask = 0;
    }
    Device.EventChanged.notify_all();
    return ecOK;
}

int32_t TFakeDispatcher::ProcessCommunications() {
    return ecOK;
}

int32_t TFakeDispatcher::TransmitCom(const void* Buf, int32_t Len) {
    std::unique_lock lock(Device.Lock);
    while (Device.Hold && !Device.CancelPending) {
        Device.Held = true;
        Device.WriteChanged.notify_all();
        Device.WriteChanged.wait(lock);
    }
    Device.Held = false;
    if (Device.CancelPending) {
        Device.CancelPending = false;
        return 0;
    }
    ++Device.TransmitCalls;
    Device.WriteChanged.notify_all();
    if (Device.WriteRefusal < 0) return Device.WriteRefusal;
    int32_t count = Device.WriteLimit > 0 ? std::min(Len, Device.WriteLimit) : Len;
    Device.WrittenBytes.append(static_cast<const char*>(Buf), static_cast<size_t>(count));
    return count;
}

void TFakeDispatcher::CancelTransmit() {
    {
        std::lock_guard lock(Device.Lock);
        Device.CancelPending = true;
    }
    Device.WriteChanged.notify_all();
}

uint8_t TFakeDispatcher::GetComModemStatus() {
    std::lock_guard lock(Device.Lock);
    return Device.Lines;
}

bool TFakeDispatcher::HasDriverRS485() const {
    std::lock_guard lock(Device.Lock);
    return Device.DriverRS485;
}

void TFakeDispatcher::StartDispatcher() {
    if (Threads) TBaseDispatcher::StartDispatcher();
}

void TFakeDispatcher::StopDispatcher() {
    if (Threads) TBaseDispatcher::StopDispatcher();
}

bool TFakeDispatcher::WaitSkipped(uint32_t Count, int64_t TimeoutMs) {
    std::unique_lock lock(SkipLock);
    return SkipSignal.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                               [&] { return SkippedNotifications() >= Count; });
}

void TFakeDispatcher::NotifySkipped(winsys::HWND, uint32_t) {
    std::lock_guard lock(SkipLock);
    SkipSignal.notify_all();
}

} // namespace port::testing

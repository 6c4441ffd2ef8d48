#pragma once
// A scriptable device for the port engine's tests and benchmarks.
//
// TFakeDevice is the "hardware": the test delivers received bytes, changes modem
// lines and raises line errors (each arrives as a device event), decides whether
// writes are taken, refused, cut short or held, and reads back what was written.
// TFakeDispatcher is a device layer on it: every device operation of the dispatcher,
// with the real three threads and the real hand-off to the window thread, or no
// threads at all (Threads = false) for tests that drive the dispatching steps
// themselves on the window thread.
//
// Everything here is thread-safe and allocates nothing per byte or per event.
#include "port/Dispatcher.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace port::testing {

class TFakeDevice {
  public:
    static constexpr size_t RxCapacity = 1 << 16;

    // Received bytes: false when they do not fit into the device's receive queue.
    bool Deliver(const void* Bytes, size_t Count);
    bool Deliver(std::string_view Text) { return Deliver(Text.data(), Text.size()); }
    // Modem lines in the MSR high nibble; each changed line raises its event.
    void SetModemLines(uint8_t Lines);
    // CE_ bits: EV_BREAK for CE_BREAK, EV_ERR for the others.
    void RaiseLineError(uint32_t Errors);
    void RaiseEvent(uint32_t Events);
    // The event wait fails, as a vanished device's does.
    void Vanish();

    // Writes. RefuseWrites(e): TransmitCom returns e (< 0), 0 takes them again.
    void RefuseWrites(int32_t Error);
    void SetWriteLimit(int32_t Limit); // at most Limit bytes per TransmitCom (0: all)
    void HoldWrites(bool Hold);        // TransmitCom waits until released or cancelled
    // WriteCom's result instead of queueing (for a device that refuses at once);
    // INT32_MIN queues again.
    void SetWriteComResult(int32_t Result);
    // ReadCom returns Error instead of reading, after Skip more reads that succeed.
    void FailNextRead(int32_t Error, int Skip = 0);
    void FailOpen(int32_t Result, int32_t LastError);
    void SetEscapeResult(int32_t Result);
    void SetBaseAddress(int32_t Address);
    void SetDriverRS485(bool Has);

    std::string Written() const;
    // Waits until at least Count bytes were written; false after TimeoutMs.
    bool WaitWritten(size_t Count, int64_t TimeoutMs) const;
    // Waits until TransmitCom is blocked by HoldWrites.
    bool WaitWriteHeld(int64_t TimeoutMs) const;
    // Waits until TransmitCom has returned Count times in all (taken or refused).
    bool WaitTransmitCalls(int Count, int64_t TimeoutMs) const;
    // The sizes asked for by the latest ReadCom calls, oldest first (at most 64).
    std::vector<int32_t> ReadRequests() const;
    void ClearReadRequests();
    size_t RxPending() const;
    TDCB LineSettings() const;
    int SetComStateCount() const;
    bool Dtr() const;
    bool Rts() const;
    bool BreakOn() const;
    bool IsOpen() const;
    int TransmitPurges() const;
    int ReceivePurges() const;

  private:
    friend class TFakeDispatcher;

    mutable std::mutex Lock;
    mutable std::condition_variable EventChanged;
    mutable std::condition_variable WriteChanged;

    std::vector<uint8_t> Rx = std::vector<uint8_t>(RxCapacity);
    size_t RxHead = 0;
    size_t RxCount = 0;
    uint32_t Events = 0;
    uint32_t Mask = 0;
    bool Vanished = false;
    uint32_t PendingErrors = 0;
    uint8_t Lines = 0;
    int32_t NextReadError = 0;
    int ReadsBeforeError = 0;
    std::array<int32_t, 64> Requests{};
    size_t RequestCount = 0;

    std::string WrittenBytes;
    int32_t WriteRefusal = 0;
    int32_t WriteLimit = 0;
    bool Hold = false;
    bool Held = false;
    bool CancelPending = false;
    int TransmitCalls = 0;
    int32_t WriteComResult = INT32_MIN;

    bool Open = false;
    int32_t OpenResult = 0;
    int32_t OpenError = 0;
    int32_t EscapeResult = 0;
    int32_t BaseAddress = 0;
    bool DriverRS485 = true;
    TDCB Dcb;
    int SetStateCalls = 0;
    bool DtrOn = false;
    bool RtsOn = false;
    bool Break = false;
    int TxPurges = 0;
    int RxPurges = 0;
};

class TFakeDispatcher : public TBaseDispatcher {
  public:
    explicit TFakeDispatcher(TFakeDevice& Device, bool Threads = true,
                             TBaseComponent* Owner = nullptr, winsys::EventLoop* Loop = nullptr);
    ~TFakeDispatcher() override;

    int32_t EscapeComFunction(int32_t Func) override;
    int32_t FlushCom(int32_t Queue) override;
    uint32_t GetComError(TComStat& Stat) override;
    int32_t GetComEventMask(int32_t EvtMask) override;
    int32_t GetComState(TDCB& DCB) override;
    int32_t ReadCom(void* Buf, int32_t Size) override;
    int32_t SetComState(TDCB& DCB) override;
    int32_t WriteCom(const void* Buf, int32_t Size) override;
    bool WaitComEvent(uint32_t& EvtMask) override;
    void SetComEventMask(uint32_t Mask) override;
    bool SetupCom(int32_t InSize, int32_t OutSize) override;
    int32_t OpenCom(const char* ComName, int32_t InQueue, int32_t OutQueue) override;
    int32_t CloseCom() override;
    int32_t ProcessCommunications() override;
    int32_t TransmitCom(const void* Buf, int32_t Len) override;
    void CancelTransmit() override;
    uint8_t GetComModemStatus() override;
    bool HasDriverRS485() const override;
    void StartDispatcher() override;
    void StopDispatcher() override;

    // Opens with the usual settings: 19200 8N1 unless given, 4096-byte queues.
    int32_t Open(int32_t Baud = 19200, uint32_t OutSize = 4096,
                 uint32_t FlowOpts = FlowDtrOn | FlowRtsOn);
    // Waits until a window handler has been skipped Count times in all.
    bool WaitSkipped(uint32_t Count, int64_t TimeoutMs);

    using TBaseDispatcher::ConsumeOutput;
    using TBaseDispatcher::OutRingUsed;
    using TBaseDispatcher::QueueOutput;
    using TBaseDispatcher::TakeOutputChunk;

  protected:
    void NotifySkipped(winsys::HWND HWnd, uint32_t Msg) override;

  private:
    TFakeDevice& Device;
    bool Threads;
    std::mutex SkipLock;
    std::condition_variable SkipSignal;
};

} // namespace port::testing

#pragma once
// TSerialDispatcher: the dispatcher on a serial port of this machine (a Linux tty or a
// Windows COM device, through SerialDevice; the notes below are the Linux tty's). It
// supplies the device operations TBaseDispatcher declares; the three dispatcher
// threads run on them unchanged:
//   TComThread   waits in WaitComEvent: epoll on the tty, edge-triggered, so each
//                arrival of bytes is one event and the thread goes back to waiting
//                without waiting for the dispatch thread's pass; plus an eventfd that
//                the close and a freed input ring raise. Devices with modem lines are
//                also looked at every 50 ms for line changes and receive errors (the
//                driver's counters), which epoll does not report;
//   TDispThread  reads with ReadCom what the tty holds, asking for the input ring's
//                free space without a count first, and reads again within a pass
//                only after the event thread reported another arrival;
//   TOutThread   writes with TransmitCom, waiting in poll() while the driver is full.
//
// ComName of OpenCom (and so of InitPort) is the device path; the component turns its
// COM number into one with ComDevicePath. Open results: the device handle (the tty's
// descriptor), or -2 no such port, -3 no such folder, -5 in use, or another negative
// code of SerialDevice.
//
// A pseudo-terminal opens at any line setting: the port keeps the settings asked for
// (GetLine reports them) and the pty gets what it can hold. It has no modem lines: the
// modem status stays as it is and DTR/RTS succeed without effect.
//
// A device that vanishes (a USB adapter pulled) ends the event wait at once: the line
// error break is set and one EV_ERR | EV_BREAK event is delivered, then TComThread
// ends; every later write is refused (PutBlock fails with -3004), settings fail with
// -162; nothing spins.
#include "port/Dispatcher.h"
#include "port/SerialDevice.h"

#include <atomic>
#include <mutex>

namespace port {

class TSerialDispatcher : public TBaseDispatcher {
  public:
    explicit TSerialDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop = nullptr);
    ~TSerialDispatcher() override;

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
    void InputSpaceFreed() override;
    bool EventWaitIsEdgeTriggered() const override;
    bool ReadsWhatIsThere() const override;
    bool HasDriverRS485() const override;
    void WaitTransmitterEmpty() override;

    // The tty underneath (for the port's own views and for tests).
    SerialDevice& Device() { return Dev; }
    // How often the event wait has waited on the device (diagnostics: a wait that
    // spins shows here).
    uint64_t EventWaits() const { return EventWaitCount.load(std::memory_order_relaxed); }

  private:
    // Line changes and receive errors since the last look: event bits returned, CE_
    // bits kept for GetComError.
    uint32_t SampleLines();

    SerialDevice Dev;
    // Raised by SetComEventMask(0) and CloseCom (the wait ends) and by a freed input
    // ring (the wait looks at the device again).
    TStopSignal EventWake;
    TStopSignal TransmitStop;
    std::atomic<uint32_t> WatchMask{0};
    std::atomic<bool> LostDelivered{false};
    std::atomic<bool> DriverRS485{false};
    std::atomic<uint64_t> EventWaitCount{0};

    std::mutex SampleLock;
    TLineCounters LastCounters;
    bool CountersKnown = false;
    uint32_t LastLines = 0;
    uint32_t PendingEvents = 0;
    uint32_t PendingErrors = 0;

    std::mutex DcbLock;
    TDCB Dcb;
};

} // namespace port

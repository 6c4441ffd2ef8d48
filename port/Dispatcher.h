#pragma once
// TBaseDispatcher: the device-independent engine under every port component.
//
// It owns an 8192-byte input ring fed from the device and an output ring drained into
// the device, keeps the line settings, modem lines and line errors, holds the
// triggers and notification handlers, and runs three threads (TComThread waits for
// device events, TDispThread moves bytes into the input ring and delivers
// notifications, TOutThread writes the output ring to the device). A device layer
// derives from it and supplies only the device operations below.
//
// Life of a dispatcher (all on the window thread):
//   d = new TSerialDispatcher(component);            // registers in PortList
//   d->InitPort(name, baud, parity, bits, stop, inSize, outSize, flowOpts); // 0 or < 0
//   d->RegisterWndTriggerHandler(notifyWindow);      // notifications to a window
//   d->UpdateHandlerFlags(fuEnablePort);             // while trigger events are set
//   ... d->ChangeLengthTrigger(1); PutBlock / GetChar / triggers ...
//   d->DonePort();                                   // closes; deferred in a notification
//   delete d;                                        // waits for the threads
//
// Notifications: TDispThread sends PortMsgAvail (wParam = unread bytes), PortMsgData,
// PortMsgTimer and PortMsgStatus with SendMessageTimeout (NotifyTimeoutMs) to each
// window handler; the window procedure runs on the window thread and reads with
// GetChar / GetBlock while the dispatch thread waits; the bytes it read leave the ring
// when it returns. A handler that the window thread did not take in time is skipped:
// its bytes stay unread and are announced again with the next arrival.
// The window procedure finds the dispatcher from the message alone:
// GetTComRecPtr(PortHandleOf(lParam)) (PortList.h), and its component through Owner().
//
// Closing inside a notification: DonePort closes the device at once and returns with
// CloseDeferred() set; the dispatch thread releases the rings and ends when the
// notification returns. The component finishes its close (deletes the dispatcher)
// once ThreadsActive() is false, e.g. from a message it posts to itself. Never delete a
// dispatcher from inside one of its own notifications.
//
// Threads: the public operations belong to the window thread (Loop's thread) unless
// stated; the dispatching steps run on the dispatch thread (or, for window-driven
// layers, on the window thread). Locks are taken inside; no lock is held while a
// handler runs.
//
// Results are 0 or a negative code of PortErrors unless stated.
#include "port/BaseComponent.h"
#include "port/DispatcherSignals.h"
#include "port/DispatcherTypes.h"
#include "port/PortErrors.h"
#include "port/TraceRings.h"

#include "winsys/EventLoop.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace port {

class TDispatcherThread;
class TComThread;
class TDispThread;
class TOutThread;

// How long a notification waits for the window thread to take it.
constexpr unsigned NotifyTimeoutMs = 3000;

class TBaseDispatcher {
  public:
    // On the window thread of Loop (by default the application's loop).
    explicit TBaseDispatcher(TBaseComponent* Owner, winsys::EventLoop* Loop = nullptr);
    // A device layer's destructor calls Destroy() first: the release needs the device
    // operations, which are gone once the base destructor runs.
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    // Closes (or finishes a deferred close) and waits, serving the window thread's sent
    // messages, until every dispatcher thread has ended. Idempotent.
    void Destroy();

    // ---- Device operations, supplied by the device layer -------------------------
    virtual int32_t EscapeComFunction(int32_t Func) = 0;
    // Queue 0: discard the output side (the output ring, see FlushOutputRing, and the
    // device's transmit queue); otherwise the device's receive queue.
    virtual int32_t FlushCom(int32_t Queue) = 0;
    // Line error bits (CE_); fills Stat, whose cbOutQue is the output ring's fill.
    virtual uint32_t GetComError(TComStat& Stat) = 0;
    virtual int32_t GetComEventMask(int32_t EvtMask) = 0;
    virtual int32_t GetComState(TDCB& DCB) = 0;
    // Bytes read (at most Size, without waiting), negative on error.
    virtual int32_t ReadCom(void* Buf, int32_t Size) = 0;
    virtual int32_t SetComState(TDCB& DCB) = 0;
    // Queues Size bytes for the device (the caller checked the free space; a threaded
    // layer puts them into the output ring with QueueOutput). Bytes taken, negative on
    // error.
    virtual int32_t WriteCom(const void* Buf, int32_t Size) = 0;
    // TComThread: blocks until the device reports events of the mask set with
    // SetComEventMask, and returns them (0 is allowed: woken without an event). False
    // ends the thread: the device failed, or the mask was set to 0.
    virtual bool WaitComEvent(uint32_t& EvtMask) = 0;
    // Any thread. 0 ends a pending WaitComEvent and makes the later ones fail at once.
    virtual void SetComEventMask(uint32_t Mask) = 0;
    virtual bool SetupCom(int32_t InSize, int32_t OutSize) = 0;
    // The device handle, or a negative result: -8 when out of resources, otherwise the
    // negated OS error (or -1 with SetLastError).
    virtual int32_t OpenCom(const char* ComName, int32_t InQueue, int32_t OutQueue) = 0;
    // 0 or -1. Device calls after it fail harmlessly.
    virtual int32_t CloseCom() = 0;
    virtual int32_t ProcessCommunications() = 0;
    // TOutThread: writes up to Len bytes, waiting while the device is busy. Returns the
    // bytes taken (> 0), 0 when woken by CancelTransmit (or for no reason), negative
    // when the device refused them (the chunk is then dropped).
    virtual int32_t TransmitCom(const void* Buf, int32_t Len) = 0;
    // Any thread: makes a pending or the next TransmitCom return 0 soon.
    virtual void CancelTransmit() = 0;
    // The modem lines in the MSR high nibble (MsrCts, MsrDsr, MsrRing, MsrDcd). The
    // default keeps what ModemStatusByte holds, for devices without modem lines.
    virtual uint8_t GetComModemStatus();
    // Called with InLock held when the full input ring got room again, so a device
    // that stopped watching for input while it was full can watch again. Must not
    // block or call back.
    virtual void InputSpaceFreed() {}
    // WaitComEvent reports each arrival of bytes once, not for as long as they wait in
    // the device: TComThread then goes back to waiting at once instead of waiting for
    // the dispatch thread to finish its pass (ComEventDone), which saves a wake-up of
    // the event thread per event.
    virtual bool EventWaitIsEdgeTriggered() const { return false; }
    // ReadCom returns at once with what the device holds (0 when nothing): ExtractData
    // then reads the ring's free space straight away instead of asking GetComError for
    // the count first, one device call less per pass. Line errors still reach
    // LineErrors through the error events, whose pass refreshes the status.
    virtual bool ReadsWhatIsThere() const { return false; }
    // A driver that switches RS485 direction itself; otherwise the dispatcher raises
    // RTS around each write (needs a base address) and lowers it after
    // WaitTransmitterEmpty.
    virtual bool HasDriverRS485() const { return true; }
    virtual void WaitTransmitterEmpty() {}

    // Starts and stops what drives the dispatcher. The default runs the three threads;
    // a window-driven layer overrides both. StartDispatcher raises winsys::Exception
    // "Dispatcher already started" when it runs.
    virtual void StartDispatcher();
    virtual void StopDispatcher();
    // Releases the threads and the rings; runs under the state of DonePort.
    virtual void DonePortPrim();
    virtual void SetThreadBoost(uint8_t Boost);
    virtual void UpdateHandlerFlags(THandlerFlagUpdate FlagUpdate);

    // ---- Open and close ------------------------------------------------------------
    // FlowOpts: the Flow* bits.
    int32_t InitPort(const char* ComName, int32_t Baud, uint32_t Parity, uint16_t DataBits,
                     uint16_t StopBits, uint32_t InSize, uint32_t OutSize, uint32_t FlowOpts);
    int32_t InitSocket(uint32_t InSize, uint32_t OutSize);
    int32_t SetCommBuffers(int32_t InSize, int32_t OutSize);
    // Flushes and closes the device; inside a notification only marks the close
    // deferred (the dispatch thread releases when it ends), otherwise releases.
    void DonePort();

    // ---- Line settings and lines ----------------------------------------------------
    // Baud 0, Parity 5, DataBits 9 and StopBits 3 keep the current value.
    int32_t SetLine(int32_t Baud, uint32_t Parity, uint16_t DataBits, uint16_t StopBits);
    void GetLine(int32_t& Baud, uint32_t& Parity, uint16_t& StopBits, uint16_t& DataBits);
    int32_t ChangeBaud(int32_t Baud) { return SetLine(Baud, 5, 9, 3); }
    int32_t SetCommStateFix(TDCB& DCB);
    void WaitTxSent();
    int32_t SetModem(bool DTR, bool RTS);
    int32_t SetDtr(bool On);
    int32_t SetRts(bool On);
    uint8_t GetModemStatus();
    bool CheckCTS();
    bool CheckDSR();
    bool CheckRI();
    bool CheckDCD();
    bool CheckDeltaCTS();
    bool CheckDeltaDSR();
    bool CheckDeltaRI();
    bool CheckDeltaDCD();
    int32_t GetLineError();
    bool CheckLineBreak();
    int32_t SendBreak(int32_t Ticks, bool Yield);
    int32_t SetBreak(bool On);
    int32_t HWFlowOptions(uint16_t BufferFull, uint16_t BufferResume, uint32_t Options);
    int32_t HWFlowState();
    int32_t SWFlowEnable(uint16_t BufferFull, uint16_t BufferResume, uint32_t Options);
    int32_t SWFlowDisable();
    int32_t SWFlowState();
    int32_t SWFlowChars(char XOn, char XOff);
    void GetFlowOptions(uint32_t& HWOpts, uint32_t& SWOpts, uint16_t& BufferFull,
                        uint16_t& BufferResume, char& OnChar, char& OffChar);
    int32_t SetRS485Mode(bool On);
    void SetBaseAddress(uint16_t Address);
    uint16_t GetBaseAddress();

    // ---- Input ring -------------------------------------------------------------------
    bool CharReady();
    // Index counts from 1 among the unread bytes.
    int32_t PeekChar(char& C, uint32_t Index);
    int32_t GetChar(char& C);
    // Len on success; -3007 when fewer than Len bytes are unread (nothing copied).
    int32_t PeekBlock(void* Buf, uint32_t Len);
    int32_t GetBlock(void* Buf, uint32_t Len);
    uint32_t InBuffUsed();
    uint32_t InBuffFree();
    int32_t FlushInBuffer();
    // Around a component's handlers of one avail or data notification, on the thread
    // that runs them while the dispatch thread waits: GetChar there takes the
    // announced bytes without locking InLock per byte.
    void BeginHandlerReads();
    void EndHandlerReads();
    // GetChar's way on that thread between the two: the next unread byte, without a
    // lock; false when there is none this way and GetChar must be asked.
    bool GetCharInHandler(char& C) {
        const uint64_t window = FastReads.load(std::memory_order_relaxed);
        if (window == 0 || FastReader.load(std::memory_order_relaxed) != std::this_thread::get_id())
            return false;
        const uint32_t taken = FastTakenOf(window);
        if (taken >= FastSizeOf(window)) return false;
        C = static_cast<char>(InRing[(FastStartOf(window) + taken) % InRingSize]);
        FastReads.store(window + 1, std::memory_order_relaxed);
        if (TraceActive()) AddTraceEntry('R', static_cast<uint8_t>(C));
        return true;
    }

    // ---- Output ring ----------------------------------------------------------------
    int32_t PutChar(char C) { return PutBlock(&C, 1); }
    int32_t PutString(const std::string& S);
    // All Len bytes or nothing: -3006 when they do not fit, -3004 when the device took
    // none or only part of them (the part it took is counted as written).
    int32_t PutBlock(const void* Buf, uint32_t Len);
    uint32_t OutBuffUsed();
    uint32_t OutBuffFree();
    int32_t FlushOutBuffer() { return FlushCom(0); }
    void BufferSizes(uint32_t& InSize, uint32_t& OutSize);

    // ---- Options, data pointers, window ---------------------------------------------
    void OptionsOn(uint32_t Bits);
    void OptionsOff(uint32_t Bits);
    bool OptionsAreOn(uint32_t Bits);
    int32_t SetDataPointer(void* P, uint32_t Index);
    int32_t GetDataPointer(void*& P, uint32_t Index);
    // A hidden window whose messages go to DispatcherWindowProc, for layers driven by
    // window messages.
    winsys::HWND CreateDispatcherWindow();
    void DestroyDispatcherWindow();
    uint32_t GetDispatchTime() const;

    // ---- Triggers ----------------------------------------------------------------------
    int32_t ChangeLengthTrigger(uint32_t Length);
    int32_t AddTimerTrigger();
    int32_t AddDataTrigger(const char* Str, bool IgnoreCase);
    int32_t AddDataTriggerLen(const char* Str, bool IgnoreCase, uint32_t Len);
    int32_t AddStatusTrigger(uint32_t StatusType);
    int32_t RemoveTrigger(int32_t Handle);
    void RemoveAllTriggers();
    int32_t SetTimerTrigger(int32_t Handle, int32_t Ticks, bool Activate);
    int32_t ExtendTimer(int32_t Handle, int32_t Ticks);
    int32_t TimerTicksRemaining(int32_t Handle, int32_t& Remaining);
    int32_t SetStatusTrigger(int32_t Handle, uint32_t Value, bool Activate);
    void SaveTriggers(TTriggerSave& Save);
    void RestoreTriggers(const TTriggerSave& Save);
    static void ClearSaveBuffers(TTriggerSave& Save);
    void ResetStatusHits();
    void ResetDataTriggers();
    static int32_t ClassifyStatusTrigger(int32_t Handle) { return Handle & 7; }
    int32_t GetTriggerHandle();
    // 0 and the kind found, or -5003. With Delete the trigger is removed.
    int32_t FindTriggerFromHandle(int32_t Handle, bool Delete, TTriggerType& Kind);

    // ---- Handlers and notification ---------------------------------------------------
    int32_t RegisterWndTriggerHandler(winsys::HWND HWnd);
    int32_t RegisterProcTriggerHandler(TPortNotifyProc Proc);
    int32_t RegisterEventTriggerHandler(TPortNotifyEvent Method);
    // The method runs on the window thread (the dispatch thread waits for it).
    int32_t RegisterSyncEventTriggerHandler(TPortNotifyEvent Method);
    int32_t DeregisterWndTriggerHandler(winsys::HWND HWnd);
    int32_t DeregisterProcTriggerHandler(TPortNotifyProc Proc);
    // Each removes the first entry of that window, procedure or method code (a method's
    // object is not compared).
    int32_t DeregisterEventTriggerHandler(TPortNotifyEvent Method);
    // Delivers one notification to every handler; false ends the caller's trigger loop.
    bool SendNotify(uint32_t Msg, uint32_t TriggerHandle, uint32_t Data);
    // Returns the old InNotify and sets it: while set, no receive or status
    // notification is delivered.
    void SetEventBusy(bool& WasOn, bool SetOn);

    // ---- Dispatching steps (device layer's threads or notifier) -------------------
    // Bytes moved from the device into the input ring.
    uint32_t ExtractData();
    bool CheckReceiveTriggers();
    bool CheckStatusTriggers();
    bool CheckTimerTriggers();
    bool CheckTriggers();
    void MapEventsToMS();
    uint32_t RefreshStatus();
    void ThreadGone(TDispatcherThread* Thread);

    // ---- Tracing and logging hook points -------------------------------------------
    bool TraceActive() const { return TraceOn.load(std::memory_order_relaxed); }
    bool LogActive() const { return LogOn.load(std::memory_order_relaxed); }
    // Any thread. A trace entry is kept whenever a trace buffer exists (collecting or
    // paused); a log entry only while the log collects.
    void AddTraceEntry(char Kind, uint8_t Byte);
    void AddDispatchEntry(TDispatchType Type, TDispatchSubType SubType, uint32_t Data,
                          const void* Buffer, uint32_t BufferLen);

    // ---- Tracing and dispatch logging (DispatcherTrace.cpp, DispatcherLog.cpp) -------
    // Window thread. The trace: InitTracing empties an existing buffer, or allocates
    // NumEntries (1 to MaxTraceEntries, else -1002; -8 without memory); either way it
    // collects from then on. StartTracing resumes (-3008 when there is no buffer),
    // StopTracing pauses, ClearTracing empties, AbortTracing frees the buffer.
    int32_t InitTracing(uint32_t NumEntries);
    int32_t StartTracing();
    void StopTracing();
    void ClearTracing();
    void AbortTracing();
    bool TraceAllocated();
    // Write the trace as text and free it; DumpTrace replaces the file, AppendTrace adds
    // to it. An empty or absent trace writes no file. 0 or the negated file error (the
    // trace is freed either way).
    int32_t DumpTrace(const std::string& FileName, bool InHex, bool AllHex);
    int32_t AppendTrace(const std::string& FileName, bool InHex, bool AllHex);

    // The dispatch log, the same way: InitDispatchLogging only empties an existing ring
    // (a paused log stays paused) or allocates Size bytes (at most MaxLogBytes, else
    // -1002) and collects; StartDispatchLogging gives -3009 without a ring.
    // AddStringToLog adds a dtUser entry with the characters of S.
    int32_t InitDispatchLogging(uint32_t Size);
    int32_t StartDispatchLogging();
    void StopDispatchLogging();
    void ClearDispatchLogging();
    void AbortDispatchLogging();
    bool LogAllocated();
    void AddStringToLog(const std::string& S);
    // An empty or absent log writes no file. When the file cannot be opened the ring is
    // kept (not collecting); otherwise it is freed. 0 or the negated file error.
    int32_t DumpDispatchLog(const std::string& FileName, bool InHex, bool AllHex);
    int32_t AppendDispatchLog(const std::string& FileName, bool InHex, bool AllHex);

    // ---- State for components, device layers and tests -----------------------------
    TBaseComponent* Owner() const { return OwnerComponent; }
    winsys::EventLoop* Loop() const { return EventLoopOf; }
    int32_t PortHandle() const { return PortHandleValue; }
    int32_t DeviceHandle() const { return DeviceHandleValue.load(); }
    std::string DeviceName;
    uint32_t AvailThreshold() const { return AvailThresholdValue.load(); }
    bool InNotify() const { return InNotifyFlag.load(); }
    bool CloseDeferred() const { return CloseDeferredFlag.load(); }
    // A pass without a device event may find work: an armed timer or status trigger,
    // bytes a handler left unread or a notification to repeat, a notification held
    // off, a device whose event wait may miss an arrival. Without any, the dispatch
    // thread sleeps until an event or a trigger is armed.
    bool IdlePassNeeded();
    bool ThreadsActive() const { return ThreadsActiveFlag.load(); }
    int32_t ThreadCount() const { return ThreadCountValue.load(); }
    bool RingsAllocated();
    uint32_t LineErrors();
    uint8_t ModemStatusByte();
    uint32_t AppliedBaud() const { return AppliedBaudValue.load(); }
    TDCB CurrentDCB();
    bool RS485Active() const { return RS485On.load(); }
    // Input ring indices, under InLock.
    void InRingState(uint32_t& Head, uint32_t& Tail, bool& Full);
    // Window handlers skipped because the window thread did not take them in time.
    uint32_t SkippedNotifications() const { return SkippedNotifyCount.load(); }
    // The time limit of a window handler's notification (tests shorten it).
    std::atomic<unsigned> NotifyTimeout{NotifyTimeoutMs};

  protected:
    // The last OS error of a device call, for the open's result.
    void SetLastError(int32_t Error) { LastErrorValue.store(Error); }
    int32_t LastError() const { return LastErrorValue.load(); }
    // For a threaded device layer's WriteCom: copies into the output ring at OutHead and
    // wakes the output thread. Returns the bytes queued (at most the free space).
    int32_t QueueOutput(const void* Buf, int32_t Len);
    // The input ring holds 8192 unread bytes: a device that watches for input by its
    // readiness stops watching until InputSpaceFreed. Without InLock, so the event
    // thread never waits for a read in progress.
    bool InputRingFull() const { return InFull.load(std::memory_order_relaxed); }
    // The output ring's fill, for GetComError.
    uint32_t OutRingUsed();
    // The output thread's side of the ring: the next contiguous run of unsent bytes
    // (false when there is none; a wrapped ring is first rotated so that all of them
    // are one run), and the bytes the device took from its start. The run stays in
    // place until consumed: writers only fill the free space.
    bool TakeOutputChunk(const uint8_t*& Chunk, uint32_t& Length);
    void ConsumeOutput(uint32_t Count);
    // For FlushCom(0): stops the output thread's current write (when the thread runs)
    // and empties the output ring. The device then purges its own transmit queue.
    void FlushOutputRing();
    bool StopRequested() const { return StopThreadsFlag.load(); }
    // For a layer that overrides StartDispatcher / StopDispatcher: marks it started, so
    // that the close stops it.
    void SetThreadsActive(bool On) { ThreadsActiveFlag = On; }
    // Window-driven layers: messages of CreateDispatcherWindow's window.
    virtual winsys::LRESULT DispatcherWindowProc(uint32_t Msg, winsys::WPARAM wParam,
                                                 winsys::LPARAM lParam);
    // A window handler was skipped (not taken within NotifyTimeout).
    virtual void NotifySkipped(winsys::HWND HWnd, uint32_t Msg);

    winsys::HWND DispatcherWindow = 0;
    winsys::EventLoop::TimerId NotifyTimer = 0;
    // StatusLock: the device status of the last RefreshStatus and the accumulated
    // line errors (CE_ bits).
    TComStat DeviceStatus;
    uint32_t LineErrorBits = 0;
    std::atomic<bool> RingSeen{false};
    std::atomic<bool> OutWritten{false};
    std::atomic<uint32_t> EventMask{0};
    std::atomic<bool> StatusHitPending{false};
    uint32_t InQueueSize = 0;
    uint32_t OutQueueSize = 0;

    std::recursive_mutex StateLock;
    std::recursive_mutex OutLock;
    std::recursive_mutex InLock;
    // Nesting order: InLock, then StateLock, then OutLock; StatusLock innermost (a leaf).
    std::mutex StatusLock;
    TDispatcherSignals Signals;

  private:
    friend class TDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

    // Input ring helpers, InLock held.
    uint32_t InUsedLocked() const;
    uint32_t UnreadLocked() const;
    int32_t PeekCharLocked(char& C, uint32_t Index) const;
    void AdvanceInTail(uint32_t Count);
    void CopyFromRing(uint32_t Offset, void* Buf, uint32_t Len) const;
    int32_t ReadDevice(uint32_t At, uint32_t Size);
    // ExtractData's two ways: the count first, then at most two reads; or reads of
    // what is there (ReadsWhatIsThere). StoreRead moves the head past Got new bytes.
    void ReadAnnounced();
    void ReadWhatIsThere();
    void StoreRead(uint32_t Got);
    uint8_t GetModemStatusPrim(uint8_t ClearMask);
    // ModemStatusByte := GetModemStatus: the lines from the device, the changes kept.
    void RefreshModemLines();
    // The device holds received bytes and the input ring has room for them.
    bool InputWaiting();
    void ReportThreadError(const std::exception& E);
    // The window thread armed something that only a pass looks at: the dispatch
    // thread, perhaps in its quiet wait, runs one now.
    void WakeDispatchPass();
    void ApplyLineFlags(TDCB& DCB);
    uint32_t MappedBaud(uint32_t Rate) const;
    bool DataTriggerSeesByte(TDataTrigger& T, uint8_t Byte);
    // The checks; *Fired tells whether a trigger fired (the result is SendNotify's).
    bool CheckReceivePrim(bool* Fired);
    bool CheckStatusPrim(bool* Fired);
    bool CheckTimerPrim(bool* Fired);
    int32_t TriggerHandleLocked();
    bool HandleInUse(int32_t Value) const;
    template <class Entry>
    bool CallHandlers(std::vector<Entry>& List, uint32_t Msg, uint32_t TriggerHandle,
                      winsys::LPARAM lParam);
    bool CallHandler(TWndTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle, winsys::LPARAM l);
    bool CallHandler(TProcTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle,
                     winsys::LPARAM l);
    bool CallHandler(TEventTriggerHandler& H, uint32_t Msg, uint32_t TriggerHandle,
                     winsys::LPARAM l);
    void PurgeRemovedHandlers();
    bool AnyHandlerLocked() const;
    void SyncCall(const TPortNotifyEvent& Method, uint32_t Msg, winsys::WPARAM w, winsys::LPARAM l);
    winsys::LRESULT SyncWindowProc(winsys::WPARAM wParam);
    void StartThreads();
    void StopThreads();
    void StopDeviceThreads();
    void WaitThreadEnd(TDispatcherThread* Thread, int64_t TimeoutMs);
    void ReleaseRings();
    void ApplyThreadPriorities();

    TBaseComponent* OwnerComponent;
    winsys::EventLoop* EventLoopOf;
    int32_t PortHandleValue = -1;
    std::atomic<int32_t> DeviceHandleValue{-1};
    std::atomic<int32_t> LastErrorValue{0};
    bool Destroyed = false;

    // StateLock: line settings, modem status, options.
    TDCB CurrentDCBValue;
    std::atomic<uint32_t> AppliedBaudValue{115200};
    uint8_t ModemStatus = 0;
    uint32_t OptionFlags = 0;
    bool DtrLevel = false;
    bool RtsLevel = false;
    bool DtrByFlowControl = false;
    bool RtsByFlowControl = false;
    std::atomic<bool> RS485On{false};
    uint16_t BaseAddress = 0;
    void* DataPointers[3] = {nullptr, nullptr, nullptr};

    // InLock: the input ring. The positions of scanning and of the last avail
    // notification are counted in bytes ever received, so a ring that filled up
    // completely in one pass is never mistaken for one that did not move.
    std::unique_ptr<uint8_t[]> InRing;
    uint32_t InHead = 0;
    uint32_t InTail = 0;
    std::atomic<bool> InFull{false}; // changed under InLock, read without it too
    uint64_t InTotal = 0;            // bytes ever put into the ring
    uint64_t ScanCount = 0;          // bytes examined by the data triggers
    uint64_t AvailNotifyCount = 0;   // InTotal at the last avail notification
    // AvailNotifyCount after a notification that a window did not take in time.
    static constexpr uint64_t AvailNotifyAgain = UINT64_MAX;
    bool InAvailNotify = false;
    uint32_t AvailReadCount = 0;
    uint32_t AvailReadMax = 0;

    // GetChar without InLock inside the component's handler of an avail or data
    // notification. The unread bytes stay where they are until the notification
    // commits (the device writes only free space, the tail does not move meanwhile),
    // and the dispatch thread waits while the handler runs, so the window thread takes
    // them with a plain load and store of one word: the ring position of the first
    // byte (bits 32-47), how many the window holds (16-31) and how many were taken
    // (0-15); 0 is closed. Only FastReader, the thread of BeginHandlerReads, opens,
    // uses and closes it; its locked reads close it first, adding what it counted to
    // AvailReadCount, and open it again after. Other threads read under the lock and
    // see the window's count once it closes (reading belongs to the window thread).
    std::atomic<uint64_t> FastReads{0};
    std::atomic<std::thread::id> FastReader{};
    static constexpr uint64_t FastWindow(uint32_t Start, uint32_t Size) {
        return (uint64_t{Start} << 32) | (uint64_t{Size} << 16);
    }
    static constexpr uint32_t FastTakenOf(uint64_t W) { return W & 0xFFFF; }
    static constexpr uint32_t FastSizeOf(uint64_t W) { return (W >> 16) & 0xFFFF; }
    static constexpr uint32_t FastStartOf(uint64_t W) { return (W >> 32) & 0xFFFF; }
    // InLock held; both do nothing on another thread than FastReader.
    void ReopenFastReads();
    void CloseFastReads();
    // A locked reader of the input ring: InLock held and the window closed while it
    // lives.
    struct TLockedRead {
        explicit TLockedRead(TBaseDispatcher& D) : Lock(D.InLock), D(D) { D.CloseFastReads(); }
        ~TLockedRead() { D.ReopenFastReads(); }
        TLockedRead(const TLockedRead&) = delete;
        TLockedRead& operator=(const TLockedRead&) = delete;
        std::lock_guard<std::recursive_mutex> Lock;
        TBaseDispatcher& D;
    };

    // OutLock: the output ring.
    std::unique_ptr<uint8_t[]> OutRing;
    uint32_t OutHead = 0;
    uint32_t OutTail = 0;
    bool OutFull = false;

    // Flags read across threads.
    std::atomic<bool> InNotifyFlag{false};
    std::atomic<bool> CloseDeferredFlag{false};
    std::atomic<bool> ThreadsActiveFlag{false};
    std::atomic<int32_t> ThreadCountValue{0};
    std::atomic<bool> FinishOnThreadExit{false};
    std::atomic<bool> StopThreadsFlag{false};
    std::atomic<bool> NotifyNeeded{false};
    std::atomic<bool> OwnerWantsEvents{false};
    std::atomic<bool> HandlerPurgePending{false};
    std::atomic<uint32_t> AvailThresholdValue{0};
    std::atomic<uint32_t> SkippedNotifyCount{0};
    uint8_t ThreadBoostLevel = 0;

    // StateLock: triggers and handlers.
    std::vector<TTimerTrigger> TimerTriggers;
    std::vector<TDataTrigger> DataTriggers;
    std::vector<TStatusTrigger> StatusTriggers;
    int32_t TriggerCounter = 1;
    std::vector<TWndTriggerHandler> WndTriggerHandlers;
    std::vector<TProcTriggerHandler> ProcTriggerHandlers;
    std::vector<TEventTriggerHandler> EventTriggerHandlers;

    // Threads: owned here, joined by Destroy; the Running pointers are the references
    // that ThreadGone clears.
    std::unique_ptr<TComThread> ComThreadObject;
    std::unique_ptr<TDispThread> DispThreadObject;
    std::unique_ptr<TOutThread> OutThreadObject;
    std::atomic<TComThread*> ComThreadRunning{nullptr};
    std::atomic<TDispThread*> DispThreadRunning{nullptr};
    std::atomic<TOutThread*> OutThreadRunning{nullptr};
    winsys::HWND SyncWindow = 0;

    // Trace and log state, filled by the tracing layer.
    std::atomic<bool> TraceOn{false};
    std::atomic<bool> LogOn{false};
    uint32_t LogTimeBase = 0;
    // StateLock: the rings behind TraceOn and LogOn.
    int32_t WriteTrace(const std::string& FileName, bool InHex, bool AllHex, bool Append);
    int32_t WriteDispatchLog(const std::string& FileName, bool InHex, bool AllHex, bool Append);
    TTraceRing TraceRing;
    TDispatchLogRing LogRing;
    std::vector<uint8_t> LogScratch;
};

} // namespace port

#pragma once
// TCustomComPort: the port component applications hold. It keeps the line settings and
// options as properties, opens a dispatcher on demand (one per open, freed at close),
// turns the dispatcher's notifications into events on the window thread and forwards
// reads and writes. TComPort is the serial port; the network port derives from
// TCustomComPort too and plugs in its own device layer (DeviceLayer, DeviceLayers,
// ActivateDeviceLayer, InitializePort, ValidateComport, WindowProc are its seams).
//
// Everything here runs on the window thread of the component's loop. The dispatcher's
// threads reach the component only through the hidden notify window: a notification
// is handled by WindowProc while the dispatch thread waits, so OnTriggerAvail's GetChar
// calls read the announced bytes and they leave the input ring when it returns.
//
// Results and failures: operations return the dispatcher's non-negative results and
// raise the port layer's exceptions (CheckException) for negative ones; nothing is
// raised while the component is being loaded. While the port is shutting down (a close
// requested inside one of its own notifications, finished once that notification has
// returned) reads return 0, writes and trigger operations do nothing.
//
// Open (SetOpen(true), or any operation on a closed port while AutoOpen is set):
// ComNumber 0 asks the operator with TComSelectForm (ENoPortSelected when none is
// chosen, or at once without PromptForPort); COMn becomes a device through the COM
// mapping; a device that does not exist raises EBadId, one in use EAlreadyOpen. The
// line opens with the stored Baud, Parity, DataBits and StopBits, and every setting
// made while closed is applied. A failed open leaves the port closed.
//
// Close (SetOpen(false)): a trace or log that is on is written (TraceLog), users are
// told, triggers are saved for the next open, the dispatcher is freed. Outside the
// port's own notifications the close is complete when SetOpen returns; inside one it
// completes right after that notification (PortState psShuttingDown meanwhile).
#include "port/BaseComponent.h"
#include "port/ComPortInterface.h"
#include "port/Dispatcher.h"
#include "port/TraceLogControl.h"

#include "winsys/EventLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace port {

enum TDeviceLayer { dlWin32, dlWinsock };
using TDeviceLayers = uint32_t; // bit (1 << layer) per accepted layer
constexpr TDeviceLayers LayerBit(TDeviceLayer Layer) {
    return 1u << Layer;
}

enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };
enum TPortState { psClosed, psShuttingDown, psOpen };
enum THWFlowOptions { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
// As a bit set: hwfUseDTR 1, hwfUseRTS 2, hwfRequireDSR 4, hwfRequireCTS 8.
using THWFlowOptionSet = uint32_t;
constexpr THWFlowOptionSet HWFlowBit(THWFlowOptions Option) {
    return 1u << Option;
}
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TCallbackType { ctOpen, ctClosing, ctClosed };
enum TThreadBoost { tbNone, tbPlusOne, tbPlusTwo };

extern const char* const ParityName[5];

class TCustomComPort;

// User callbacks, as methods: an object and a function taking it.
struct TPortCallback {
    void* Data = nullptr;
    void (*Code)(void* Data, TCustomComPort* CP, bool Opening) = nullptr;
    explicit operator bool() const { return Code != nullptr; }
    bool operator==(const TPortCallback&) const = default;
};
struct TPortCallbackEx {
    void* Data = nullptr;
    void (*Code)(void* Data, TCustomComPort* CP, TCallbackType CallbackType) = nullptr;
    explicit operator bool() const { return Code != nullptr; }
    bool operator==(const TPortCallbackEx&) const = default;
};
template <class T, void (T::*Method)(TCustomComPort*, bool)>
TPortCallback MakePortCallback(T* Object) {
    return {Object, [](void* D, TCustomComPort* CP, bool Opening) {
                (static_cast<T*>(D)->*Method)(CP, Opening);
            }};
}
template <class T, void (T::*Method)(TCustomComPort*, TCallbackType)>
TPortCallbackEx MakePortCallbackEx(T* Object) {
    return {Object, [](void* D, TCustomComPort* CP, TCallbackType Type) {
                (static_cast<T*>(D)->*Method)(CP, Type);
            }};
}

struct TUserListEntry {
    winsys::HWND Handle = 0; // 0 for a callback entry
    TPortCallback Callback;
    TPortCallbackEx CallbackEx;
    uint8_t IsEx = 0;
};

class TCustomComPort : public TBaseComponent, public virtual IComPort {
  public:
    using TNotifyEvent = std::function<void(TCustomComPort* Sender)>;
    using TTriggerEvent = std::function<void(TCustomComPort* CP, uint16_t Msg,
                                             uint16_t TriggerHandle, uint16_t Data)>;
    using TTriggerHandleEvent = std::function<void(TCustomComPort* CP, uint16_t TriggerHandle)>;
    using TTriggerLineErrorEvent =
        std::function<void(TCustomComPort* CP, uint16_t Error, bool LineBreak)>;
    using TWaitCharEvent = std::function<void(TCustomComPort* CP, char C)>;
    // Makes the dispatcher of an open instead of ActivateDeviceLayer.
    using TActivationProcedure =
        std::function<std::unique_ptr<TBaseDispatcher>(TCustomComPort& Port)>;

    // On the window thread of Loop (default: the current loop).
    explicit TCustomComPort(winsys::EventLoop* Loop = nullptr);
    ~TCustomComPort() override;
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // ---- The tool's contract ------------------------------------------------------
    bool GetOpen() const override { return OpenValue; }
    void SetOpen(bool Value) override;
    uint16_t GetComNumber() const override { return ComNumberValue; }
    void SetComNumber(uint16_t Value) override;
    int32_t GetBaud() const override { return BaudValue; }
    void SetBaud(int32_t Value) override;
    TParity GetParity() const override { return ParityValue; }
    void SetParity(TParity Value) override;
    uint16_t GetDataBits() const override { return DataBitsValue; }
    void SetDataBits(uint16_t Value) override;
    uint16_t GetStopBits() const override { return StopBitsValue; }
    void SetStopBits(uint16_t Value) override;
    char GetChar() override;
    void PutString(const std::string& S) override;
    void PutBlock(const void* Block, uint16_t Len) override;

    // ---- Properties (defaults in the constructor) ---------------------------------
    TDeviceLayer GetDeviceLayer() const { return DeviceLayerValue; }
    // Only while closed, and only to a layer in DeviceLayers; then DeviceLayerChanged.
    void SetDeviceLayer(TDeviceLayer Value);
    bool GetPromptForPort() const { return PromptForPortValue; }
    void SetPromptForPort(bool Value) { PromptForPortValue = Value; }
    uint16_t GetInSize() const { return InSizeValue; }
    void SetInSize(uint16_t Value);
    uint16_t GetOutSize() const { return OutSizeValue; }
    // While open only the driver queue changes; the output ring keeps its size.
    void SetOutSize(uint16_t Value);
    bool GetAutoOpen() const { return AutoOpenValue; }
    void SetAutoOpen(bool Value) { AutoOpenValue = Value; }
    bool GetDTR() const { return DTRValue; }
    // Takes the value only when the line is not under flow control.
    void SetDTR(bool Value);
    bool GetRTS() const { return RTSValue; }
    void SetRTS(bool Value);
    THWFlowOptionSet GetHWFlowOptions() const { return HWFlowOptionsValue; }
    void SetHWFlowOptions(THWFlowOptionSet Value);
    TSWFlowOptions GetSWFlowOptions() const { return SWFlowOptionsValue; }
    void SetSWFlowOptions(TSWFlowOptions Value);
    char GetXOnChar() const { return XOnCharValue; }
    void SetXonChar(char Value);
    char GetXOffChar() const { return XOffCharValue; }
    void SetXoffChar(char Value);
    uint16_t GetBufferFull() const { return BufferFullValue; }
    void SetBufferFull(uint16_t Value);
    uint16_t GetBufferResume() const { return BufferResumeValue; }
    void SetBufferResume(uint16_t Value);
    bool GetUseMSRShadow() const { return UseMSRShadowValue; }
    virtual void SetUseMSRShadow(bool Value);
    bool GetUseEventWord() const { return UseEventWordValue; }
    void SetUseEventWord(bool Value);
    // Stored only: the serial device layer has no notification levels.
    uint16_t GetCommNotificationLevel() const { return CommNotificationLevelValue; }
    void SetCommNotificationLevel(uint16_t Value) { CommNotificationLevelValue = Value; }
    // No telephony service hands devices over here: tmOn makes every open fail with
    // ENotOpenedByTapi; the other modes open the port itself.
    TTapiMode GetTapiMode() const { return TapiModeValue; }
    void SetTapiMode(TTapiMode Value) { TapiModeValue = Value; }
    bool GetRS485Mode() const { return RS485ModeValue; }
    void SetRS485Mode(bool Value);
    TThreadBoost GetThreadBoost() const { return ThreadBoostValue; }
    void SetThreadBoost(TThreadBoost Value);
    // The avail notification's threshold; 0 stops avail notifications.
    uint32_t GetTriggerLength() const { return TriggerLengthValue; }
    void SetTriggerLength(uint32_t Value);
    // The dispatcher's UART base address; 0 while closed, not kept across opens.
    uint16_t GetBaseAddress();
    void SetBaseAddress(uint16_t Value);

    // Trace and log settings (TraceLog holds them).
    TTraceLogState GetTracing() const { return TraceLog.Tracing(); }
    void SetTracing(TTraceLogState Value) { TraceLog.SetTracing(Value); }
    uint32_t GetTraceSize() const { return TraceLog.TraceSize(); }
    void SetTraceSize(uint32_t Value) { TraceLog.SetTraceSize(Value); }
    const std::string& GetTraceName() const { return TraceLog.TraceName; }
    void SetTraceName(const std::string& Value) { TraceLog.TraceName = Value; }
    bool GetTraceHex() const { return TraceLog.TraceHex; }
    void SetTraceHex(bool Value) { TraceLog.TraceHex = Value; }
    bool GetTraceAllHex() const { return TraceLog.TraceAllHex; }
    void SetTraceAllHex(bool Value) { TraceLog.TraceAllHex = Value; }
    TTraceLogState GetLogging() const { return TraceLog.Logging(); }
    void SetLogging(TTraceLogState Value) { TraceLog.SetLogging(Value); }
    uint32_t GetLogSize() const { return TraceLog.LogSize(); }
    void SetLogSize(uint32_t Value) { TraceLog.SetLogSize(Value); }
    const std::string& GetLogName() const { return TraceLog.LogName; }
    void SetLogName(const std::string& Value) { TraceLog.LogName = Value; }
    bool GetLogHex() const { return TraceLog.LogHex; }
    void SetLogHex(bool Value) { TraceLog.LogHex = Value; }
    bool GetLogAllHex() const { return TraceLog.LogAllHex; }
    void SetLogAllHex(bool Value) { TraceLog.LogAllHex = Value; }

    TPortState GetPortState() const { return PortState; }

    // ---- Events -------------------------------------------------------------------
    // OnTriggerAvail (CP, Count) comes with IComPort. Assign trigger events through
    // their setters while the port is open: the notify window gets notifications
    // exactly while at least one trigger event is assigned.
    void SetOnTriggerAvail(TTriggerAvailEvent Handler);
    void SetOnTrigger(TTriggerEvent Handler);
    void SetOnTriggerData(TTriggerHandleEvent Handler);
    void SetOnTriggerStatus(TTriggerHandleEvent Handler);
    void SetOnTriggerTimer(TTriggerHandleEvent Handler);
    void SetOnTriggerLineError(TTriggerLineErrorEvent Handler);
    void SetOnTriggerModemStatus(TNotifyEvent Handler);
    void SetOnTriggerOutbuffFree(TNotifyEvent Handler);
    void SetOnTriggerOutbuffUsed(TNotifyEvent Handler);
    void SetOnTriggerOutSent(TNotifyEvent Handler);
    TTriggerEvent OnTrigger;
    TTriggerHandleEvent OnTriggerData, OnTriggerStatus, OnTriggerTimer;
    TTriggerLineErrorEvent OnTriggerLineError;
    TNotifyEvent OnTriggerModemStatus, OnTriggerOutbuffFree, OnTriggerOutbuffUsed, OnTriggerOutSent;
    TNotifyEvent OnPortOpen, OnPortClose;
    TWaitCharEvent OnWaitChar;

    // ---- Users --------------------------------------------------------------------
    // Each returns the entry's index. A window gets PortMsgOpen after an open and
    // PortMsgClose after a close (an extended one PortMsgClosePending before a close
    // too), sent on the window thread; callbacks are called likewise.
    int RegisterUser(winsys::HWND HWnd);
    int RegisterUserEx(winsys::HWND HWnd);
    int RegisterUserCallback(TPortCallback Callback);
    int RegisterUserCallbackEx(TPortCallbackEx CallbackEx);
    // Remove every entry of that window, or of that callback's code whatever its object;
    // nothing while being destroyed.
    void DeregisterUser(winsys::HWND HWnd);
    void DeregisterUserCallback(TPortCallback Callback);
    void DeregisterUserCallbackEx(TPortCallbackEx CallbackEx);
    const std::vector<TUserListEntry>& Users() const { return UserList; }

    // ---- Operations (see the top for results) -------------------------------------
    char PeekChar(uint16_t Index);
    bool CharReady();
    void GetBlock(void* Block, uint16_t Len);
    void PeekBlock(void* Block, uint16_t Len);
    void PutChar(char C);
    void FlushInBuffer();
    void FlushOutBuffer();
    virtual void ProcessCommunications();
    void SendBreak(uint16_t Ticks, bool Yield);
    void SetBreak(bool On);
    int32_t AddDataTrigger(const std::string& S, bool IgnoreCase);
    int32_t AddTimerTrigger();
    int32_t AddStatusTrigger(uint16_t StatusType);
    // Only while open.
    void RemoveTrigger(int32_t Handle);
    // Only while open; the trigger length becomes 0.
    void RemoveAllTriggers();
    void SetTimerTrigger(int32_t Handle, int32_t Ticks, bool Activate);
    void SetStatusTrigger(int32_t Handle, uint16_t Value, bool Activate);

    void InitTracing(uint32_t NumEntries) { TraceLog.InitTracing(NumEntries); }
    void DumpTrace(const std::string& FName, bool InHex) { TraceLog.DumpTrace(FName, InHex); }
    void AppendTrace(const std::string& FName, bool InHex) { TraceLog.AppendTrace(FName, InHex); }
    void ClearTracing() { TraceLog.ClearTracing(); }
    void AbortTracing() { TraceLog.AbortTracing(); }
    void StartTracing() { TraceLog.StartTracing(); }
    void StopTracing() { TraceLog.StopTracing(); }
    void AddTraceEntry(char Kind, uint8_t Byte) { TraceLog.AddTraceEntry(Kind, Byte); }
    void InitLogging(uint32_t Size) { TraceLog.InitLogging(Size); }
    void DumpLog(const std::string& FName, bool InHex) { TraceLog.DumpLog(FName, InHex); }
    void AppendLog(const std::string& FName, bool InHex) { TraceLog.AppendLog(FName, InHex); }
    void ClearLogging() { TraceLog.ClearLogging(); }
    void AbortLogging() { TraceLog.AbortLogging(); }
    void StartLogging() { TraceLog.StartLogging(); }
    void StopLogging() { TraceLog.StopLogging(); }
    void AddStringToLog(const std::string& S) { TraceLog.AddStringToLog(S); }

    // ---- Blocking waits (window thread; the port's notifications pause meanwhile) --
    // Reads bytes until S has come (true), Timeout ticks of 55 ms passed (false) or the
    // loop is asked to quit (true). Each byte goes to OnWaitChar. With Yield the window
    // thread's loop keeps running. True at once for an empty S or while shutting down.
    bool WaitForString(const std::string& S, int32_t Timeout, bool Yield, bool IgnoreCase);
    // The same for several patterns separated by SepChar, matched in parallel: the
    // 1-based number of the first that completed, 0 on time-out (or quit).
    int WaitForMultiString(const std::string& S, int32_t Timeout, bool Yield, bool IgnoreCase,
                           char SepChar);
    // One step of matching S: Index (the number of characters of S matched so far)
    // moves on by C; true and Index 0 when S is complete. A mismatch falls back to the
    // longest start of S that the input still ends with, so "aab" is found in "aaab".
    static bool CheckForString(uint16_t& Index, char C, const std::string& S, bool IgnoreCase);
    // Pauses the notifications until the next wait ends, so bytes that arrive before
    // it are kept for it instead of going to OnTriggerAvail.
    void PrepareWait();

    // ---- Views: 0 / false while not open unless noted ----------------------------
    uint8_t GetModemStatus();         // through ValidDispatcher; 0 while shutting down
    TFlowControlState GetFlowState(); // through ValidDispatcher; fcOff while shutting down
    bool GetDSR();
    bool GetCTS();
    bool GetRI();
    bool GetDCD();
    bool GetDeltaDSR();
    bool GetDeltaCTS();
    bool GetDeltaRI();
    bool GetDeltaDCD();
    uint16_t GetLineError();
    bool GetLineBreak();
    uint32_t GetInBuffUsed();
    uint32_t GetInBuffFree(); // 8192 while not open
    uint32_t GetOutBuffUsed();
    uint32_t GetOutBuffFree(); // OutSize while not open
    // The device of an open port went away (a USB adapter pulled, a pty's other end
    // closed): later operations fail and say so.
    virtual bool DeviceLost();

    // The dispatcher, opening the port first when it is closed and AutoOpen is set; may
    // be null. ValidDispatcher raises ECommNotOpen instead of returning null.
    TBaseDispatcher* GetDispatcher();
    TBaseDispatcher& ValidDispatcher();
    // Sets OpenAfterLoad when AutoOpen.
    void ForcePortOpen();

    // Copies the settings, users and trigger events of Source; this port ends closed.
    virtual void Assign(const TCustomComPort& Source);
    // After the properties were read from the stored form: opens when Open was set
    // while loading. A failed open is shown by the application and leaves Open false.
    virtual void Loaded();

    // Makes the dispatcher of an open when set (tests inject device layers this way).
    TActivationProcedure ActivationProc;
    winsys::EventLoop* Loop() const { return LoopValue; }

  protected:
    // ---- Seams of the device layer and of derived components ---------------------
    virtual std::unique_ptr<TBaseDispatcher> ActivateDeviceLayer();
    virtual void DeviceLayerChanged() {}
    // Opens the dispatcher's device; 0 or a negative code.
    virtual int32_t InitializePort();
    virtual void RegisterComPort(bool Enabled);
    virtual void ValidateComport();
    virtual void Trigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data);
    virtual void TriggerAvail(uint16_t Count);
    virtual void TriggerData(uint16_t TriggerHandle);
    virtual void TriggerStatus(uint16_t TriggerHandle);
    virtual void TriggerTimer(uint16_t TriggerHandle);
    virtual void UpdateHandlerFlag();
    virtual void TriggerLineError(uint16_t Error, bool LineBreak);
    virtual void TriggerModemStatus();
    virtual void TriggerOutbuffFree();
    virtual void TriggerOutbuffUsed();
    virtual void TriggerOutSent();
    virtual void WaitChar(char C);
    // The close sequence; only while open.
    virtual void DonePort();
    // The open sequence.
    virtual void InitPort();
    virtual void PortOpen();
    virtual void PortClose();
    virtual void PortClosing();
    // The notify window's procedure: the trigger messages and the deferred close; a
    // derived port handles its own messages and passes the rest here. Result 0.
    virtual winsys::LRESULT WindowProc(uint32_t Msg, winsys::WPARAM wParam, winsys::LPARAM lParam);

    // Raises the exception of a negative Code (see CheckException); returns Code.
    int32_t Check(int32_t Code) const;
    // Runs Event as one of this port's notifications: a close requested inside it is
    // finished once the outermost notification has returned.
    template <class Body> void AsNotification(Body&& Event) {
        ++NotifyDepth;
        struct Leave {
            int& Depth;
            ~Leave() { --Depth; }
        } Guard{NotifyDepth};
        Event();
    }

    TPortState PortState = psClosed;
    bool ForceApply = false;
    bool OpenPending = false;
    bool OpenAfterLoad = false;
    std::vector<TUserListEntry> UserList;
    bool TriggersSaved = false;
    TTriggerSave SavedTriggers;
    winsys::HWND NotifyWindow = 0;
    TDeviceLayers DeviceLayers = LayerBit(dlWin32);
    int32_t TapiDeviceHandle = 0;
    bool WaitPrepared = false;
    bool WaitBusySaved = false;
    std::unique_ptr<TBaseDispatcher> Dispatcher;
    // The Tracing and Logging properties, and the trace and log they record.
    TTraceLogControl TraceLog;

  private:
    bool ShuttingDown() const { return PortState == psShuttingDown; }
    // PutBlock of any length; a write refused because the device is gone says so.
    void WriteBytes(const void* Bytes, uint32_t Len);
    // Step 1 of the close: the dump of an active trace and log is requested here.
    void RequestTraceLogDump() { TraceLog.PortClosing(); }
    // The end of a close: the window and the dispatcher go (waiting, serving the
    // window thread, for the dispatcher's threads), the port is closed.
    void FinishClose();
    void UndoFailedOpen();
    void ApplySettingsAfterOpen();
    void ApplyLine();
    void ReapplyFlowOptions();
    bool AnyTriggerEvent() const;
    void HandleClosePending(winsys::LPARAM lParam);
    template <class Visit> void WalkUsers(bool ExtendedOnly, Visit visit);
    int WaitForPatterns(const std::vector<std::string>& Patterns, int32_t Timeout, bool Yield,
                        bool IgnoreCase);
    // The dispatcher while open, for the views; null otherwise.
    TBaseDispatcher* OpenDispatcher() const {
        return PortState == psOpen ? Dispatcher.get() : nullptr;
    }

    winsys::EventLoop* LoopValue;
    // How deeply the window thread is inside this port's notifications: a close there
    // must wait until the notification has returned.
    int NotifyDepth = 0;

    TDeviceLayer DeviceLayerValue = dlWin32;
    uint16_t ComNumberValue = 0;
    int32_t BaudValue = 19200;
    bool PromptForPortValue = true;
    TParity ParityValue = pNone;
    uint16_t DataBitsValue = 8;
    uint16_t StopBitsValue = 1;
    uint16_t InSizeValue = 4096;
    uint16_t OutSizeValue = 4096;
    bool AutoOpenValue = true;
    bool OpenValue = false;
    bool DTRValue = true;
    bool RTSValue = true;
    THWFlowOptionSet HWFlowOptionsValue = 0;
    TSWFlowOptions SWFlowOptionsValue = swfNone;
    char XOnCharValue = 17;
    char XOffCharValue = 19;
    uint16_t BufferFullValue = 0;
    uint16_t BufferResumeValue = 0;
    bool UseMSRShadowValue = true;
    bool UseEventWordValue = true;
    uint16_t CommNotificationLevelValue = 10;
    TTapiMode TapiModeValue = tmAuto;
    bool RS485ModeValue = false;
    TThreadBoost ThreadBoostValue = tbNone;
    uint32_t TriggerLengthValue = 1;
};

// The serial port.
class TComPort : public TCustomComPort {
  public:
    using TCustomComPort::TCustomComPort;
};

// The first port component (a TCustomComPort or a descendant) among Owner's
// components, found depth first: each component is looked at, then its own
// components, before its next sibling. Null when there is none.
TCustomComPort* SearchComPort(const TBaseComponent* Owner);

} // namespace port

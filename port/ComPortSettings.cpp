// The component's property setters: store, and while open apply to the dispatcher;
// Assign and Loaded.
//
// A setter does nothing when the value is the stored one, unless ForceApply is set
// (the open sets it while it applies every stored setting); the line settings, the
// port number and the queue sizes compare with the stored value always.
#include "port/ComPort.h"

#include <cmath>
#include <exception>

namespace port {

namespace {

uint16_t Rounded(double Value) {
    return static_cast<uint16_t>(std::lround(Value));
}

constexpr THWFlowOptionSet RtsOrCts = HWFlowBit(hwfUseRTS) | HWFlowBit(hwfRequireCTS);

} // namespace

void TCustomComPort::SetComNumber(uint16_t Value) {
    if (Value == ComNumberValue) return;
    if (PortState != psOpen) {
        ComNumberValue = Value;
        return;
    }
    // Reopen at the new number with the same triggers and trace and log states.
    TTriggerSave Save;
    Dispatcher->SaveTriggers(Save);
    const TTraceLogState Tracing = GetTracing();
    const TTraceLogState Logging = GetLogging();
    SetOpen(false);
    ComNumberValue = Value;
    SetTracing(Tracing);
    SetLogging(Logging);
    try {
        SetOpen(true);
    } catch (...) {
        TBaseDispatcher::ClearSaveBuffers(Save);
        throw;
    }
    if (PortState == psOpen) Dispatcher->RestoreTriggers(Save);
    TBaseDispatcher::ClearSaveBuffers(Save);
}

// The property has the new value already: a line the dispatcher refuses raises, and the
// value stays stored for the next open.
void TCustomComPort::ApplyLine() {
    if (PortState != psOpen) return;
    Check(Dispatcher->SetLine(BaudValue, ParityValue, DataBitsValue, StopBitsValue));
}

void TCustomComPort::SetBaud(int32_t Value) {
    if (Value == BaudValue) return;
    BaudValue = Value;
    ApplyLine();
}

void TCustomComPort::SetParity(TParity Value) {
    if (Value == ParityValue) return;
    ParityValue = Value;
    ApplyLine();
}

void TCustomComPort::SetDataBits(uint16_t Value) {
    if (Value == DataBitsValue) return;
    DataBitsValue = Value;
    ApplyLine();
}

void TCustomComPort::SetStopBits(uint16_t Value) {
    if (Value == StopBitsValue) return;
    StopBitsValue = Value;
    ApplyLine();
}

void TCustomComPort::SetInSize(uint16_t Value) {
    if (Value == InSizeValue) return;
    InSizeValue = Value;
    if (PortState == psOpen) Dispatcher->SetCommBuffers(InSizeValue, OutSizeValue);
}

void TCustomComPort::SetOutSize(uint16_t Value) {
    if (Value == OutSizeValue) return;
    OutSizeValue = Value;
    if (PortState == psOpen) Dispatcher->SetCommBuffers(InSizeValue, OutSizeValue);
}

void TCustomComPort::SetDeviceLayer(TDeviceLayer Value) {
    if (Value == DeviceLayerValue) return;
    if (PortState != psClosed || !(DeviceLayers & LayerBit(Value))) return;
    DeviceLayerValue = Value;
    DeviceLayerChanged();
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptionSet Value) {
    if (Value == HWFlowOptionsValue && !ForceApply) return;
    Value &= 0x0F;
    if (Value != 0) {
        if (BufferFullValue == 0 || BufferFullValue > InSizeValue)
            BufferFullValue = Rounded(InSizeValue * 0.9);
        if (BufferResumeValue == 0 || BufferResumeValue > BufferFullValue)
            BufferResumeValue = Rounded(InSizeValue * 0.1);
    }
    if (PortState == psOpen)
        Check(Dispatcher->HWFlowOptions(BufferFullValue, BufferResumeValue, Value));
    HWFlowOptionsValue = Value;
    if (Value & RtsOrCts) SetRS485Mode(false);
}

void TCustomComPort::SetSWFlowOptions(TSWFlowOptions Value) {
    if (Value == SWFlowOptionsValue && !ForceApply) return;
    static constexpr uint32_t Options[] = {0, 2, 1, 3}; // none, input, output, both
    const uint32_t Option = Options[Value & 3];
    if (Option != 0) {
        if (BufferFullValue == 0 || BufferFullValue > InSizeValue)
            BufferFullValue = Rounded(InSizeValue * 0.75);
        if (BufferResumeValue == 0 || BufferResumeValue > BufferFullValue)
            BufferResumeValue = Rounded(InSizeValue * 0.25);
    }
    if (PortState == psOpen)
        Check(Option ? Dispatcher->SWFlowEnable(BufferFullValue, BufferResumeValue, Option)
                     : Dispatcher->SWFlowDisable());
    SWFlowOptionsValue = Value;
}

void TCustomComPort::SetXonChar(char Value) {
    if (Value == XOnCharValue && !ForceApply) return;
    XOnCharValue = Value;
    if (PortState == psOpen) Check(Dispatcher->SWFlowChars(XOnCharValue, XOffCharValue));
}

void TCustomComPort::SetXoffChar(char Value) {
    if (Value == XOffCharValue && !ForceApply) return;
    XOffCharValue = Value;
    if (PortState == psOpen) Check(Dispatcher->SWFlowChars(XOnCharValue, XOffCharValue));
}

void TCustomComPort::ReapplyFlowOptions() {
    const bool Was = ForceApply;
    ForceApply = true;
    try {
        SetHWFlowOptions(HWFlowOptionsValue);
        SetSWFlowOptions(SWFlowOptionsValue);
    } catch (...) {
        ForceApply = Was;
        throw;
    }
    ForceApply = Was;
}

void TCustomComPort::SetBufferFull(uint16_t Value) {
    if (Value == BufferFullValue && !ForceApply) return;
    BufferFullValue = Value > InSizeValue ? Rounded(Value * 0.9) : Value;
    ReapplyFlowOptions();
}

void TCustomComPort::SetBufferResume(uint16_t Value) {
    if (Value == BufferResumeValue && !ForceApply) return;
    BufferResumeValue = Value > BufferFullValue ? Rounded(BufferFullValue * 0.1) : Value;
    ReapplyFlowOptions();
}

void TCustomComPort::SetDTR(bool Value) {
    if (Value == DTRValue && !ForceApply) return;
    if (PortState != psOpen) {
        DTRValue = Value;
        return;
    }
    // Under flow control the line is not ours to set (1): the property stays.
    if (Check(Dispatcher->SetDtr(Value)) == 0) DTRValue = Value;
}

void TCustomComPort::SetRTS(bool Value) {
    if (Value == RTSValue && !ForceApply) return;
    if (PortState != psOpen) {
        RTSValue = Value;
        return;
    }
    if (Check(Dispatcher->SetRts(Value)) == 0) RTSValue = Value;
}

void TCustomComPort::SetTriggerLength(uint32_t Value) {
    if (Value == TriggerLengthValue && !ForceApply) return;
    TriggerLengthValue = Value;
    if (PortState == psOpen) Check(Dispatcher->ChangeLengthTrigger(Value));
}

void TCustomComPort::SetUseEventWord(bool Value) {
    if (Value == UseEventWordValue && !ForceApply) return;
    UseEventWordValue = Value;
    if (PortState != psOpen) return;
    if (Value)
        Dispatcher->OptionsOn(4);
    else
        Dispatcher->OptionsOff(4);
}

void TCustomComPort::SetUseMSRShadow(bool Value) {
    UseMSRShadowValue = Value;
}

void TCustomComPort::SetRS485Mode(bool Value) {
    if (Value == RS485ModeValue && !ForceApply) return;
    RS485ModeValue = Value;
    if (PortState == psOpen) Check(Dispatcher->SetRS485Mode(Value));
    if (Value) {
        // The driver switches the direction with RTS: neither RTS handshake nor CTS.
        SetHWFlowOptions(HWFlowOptionsValue & ~RtsOrCts);
        SetRTS(false);
    }
}

void TCustomComPort::SetThreadBoost(TThreadBoost Value) {
    if (Value == ThreadBoostValue && !ForceApply) return;
    ThreadBoostValue = Value;
    if (PortState == psOpen) Dispatcher->SetThreadBoost(static_cast<uint8_t>(Value));
}

uint16_t TCustomComPort::GetBaseAddress() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? D->GetBaseAddress() : 0;
}

void TCustomComPort::SetBaseAddress(uint16_t Value) {
    TBaseDispatcher* D = OpenDispatcher();
    if (D && Value != D->GetBaseAddress()) D->SetBaseAddress(Value);
}

void TCustomComPort::ForcePortOpen() {
    if (AutoOpenValue) OpenAfterLoad = true;
}

// ---- Assign and Loaded -------------------------------------------------------------

void TCustomComPort::Assign(const TCustomComPort& Source) {
    if (&Source == this) return;
    SetOpen(false);
    UserList = Source.UserList;
    if (Source.PortState == psOpen && Source.Dispatcher) {
        TBaseDispatcher::ClearSaveBuffers(SavedTriggers);
        Source.Dispatcher->SaveTriggers(SavedTriggers);
        TriggersSaved = true;
    }
    ForceApply = Source.ForceApply;
    DeviceLayerValue = Source.DeviceLayerValue;
    ComNumberValue = Source.ComNumberValue;
    BaudValue = Source.BaudValue;
    ParityValue = Source.ParityValue;
    DataBitsValue = Source.DataBitsValue;
    StopBitsValue = Source.StopBitsValue;
    InSizeValue = Source.InSizeValue;
    OutSizeValue = Source.OutSizeValue;
    AutoOpenValue = Source.AutoOpenValue;
    PromptForPortValue = Source.PromptForPortValue;
    RS485ModeValue = Source.RS485ModeValue;
    ThreadBoostValue = Source.ThreadBoostValue;
    DTRValue = Source.DTRValue;
    RTSValue = Source.RTSValue;
    BufferFullValue = Source.BufferFullValue;
    BufferResumeValue = Source.BufferResumeValue;
    HWFlowOptionsValue = Source.HWFlowOptionsValue;
    SWFlowOptionsValue = Source.SWFlowOptionsValue;
    XOnCharValue = Source.XOnCharValue;
    XOffCharValue = Source.XOffCharValue;
    TraceLog.CopySettings(Source.TraceLog);
    TriggerLengthValue = Source.TriggerLengthValue;
    SetOnTrigger(Source.OnTrigger);
    SetOnTriggerAvail(Source.OnTriggerAvail);
    SetOnTriggerData(Source.OnTriggerData);
    SetOnTriggerStatus(Source.OnTriggerStatus);
    SetOnTriggerTimer(Source.OnTriggerTimer);
    OnPortOpen = Source.OnPortOpen;
    OnPortClose = Source.OnPortClose;
    TapiModeValue = Source.TapiModeValue;
    OpenValue = false;
}

void TCustomComPort::Loaded() {
    ComponentState &= ~csLoading;
    if (IsDesigning()) return;
    if (OpenAfterLoad) OpenValue = true;
    if (!OpenValue) return;
    OpenAfterLoad = false;
    try {
        InitPort();
    } catch (...) {
        OpenValue = false;
        // The application's error display shows it, after the loading is done.
        if (LoopValue)
            LoopValue->PostTask(
                [Error = std::current_exception()] { std::rethrow_exception(Error); });
    }
}

} // namespace port

// The component's reads, writes, triggers, views and blocking waits: each goes to the
// dispatcher (opening the port first when AutoOpen allows) and raises for a negative
// result; while the port is shutting down each does nothing.
#include "port/ComPort.h"

#include "port/SerialDispatcher.h"

#include <cctype>

namespace port {

namespace {

// The message of an error whose cause is a device that went away.
std::string GoneText(int32_t Code, const std::string& Port, const std::string& Path) {
    return KoruLoadStr(Code) + ": the device of " + Port + " is gone (" + Path + ")";
}

} // namespace

TBaseDispatcher* TCustomComPort::GetDispatcher() {
    if (!Dispatcher && !IsDesigning() && !IsLoading() && PortState != psOpen && AutoOpenValue)
        SetOpen(true);
    return Dispatcher.get();
}

TBaseDispatcher& TCustomComPort::ValidDispatcher() {
    TBaseDispatcher* D = GetDispatcher();
    if (!D) throw ECommNotOpen(ecCommNotOpen);
    return *D;
}

bool TCustomComPort::DeviceLost() {
    auto* Serial = dynamic_cast<TSerialDispatcher*>(Dispatcher.get());
    return Serial && Serial->Device().Lost();
}

// ---- Reads and writes ----------------------------------------------------------------

char TCustomComPort::GetChar() {
    if (ShuttingDown()) return 0;
    char C = 0;
    // Inside the port's handler the announced bytes come without a call per byte into
    // the dispatcher.
    if (Dispatcher && Dispatcher->GetCharInHandler(C)) return C;
    Check(ValidDispatcher().GetChar(C));
    return C;
}

char TCustomComPort::PeekChar(uint16_t Index) {
    if (ShuttingDown()) return 0;
    char C = 0;
    Check(ValidDispatcher().PeekChar(C, Index));
    return C;
}

bool TCustomComPort::CharReady() {
    if (ShuttingDown()) return false;
    return ValidDispatcher().CharReady();
}

void TCustomComPort::GetBlock(void* Block, uint16_t Len) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().GetBlock(Block, Len));
}

void TCustomComPort::PeekBlock(void* Block, uint16_t Len) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().PeekBlock(Block, Len));
}

void TCustomComPort::PutChar(char C) {
    PutBlock(&C, 1);
}

void TCustomComPort::WriteBytes(const void* Bytes, uint32_t Len) {
    if (ShuttingDown()) return;
    TBaseDispatcher& D = ValidDispatcher();
    const int32_t R = D.PutBlock(Bytes, Len);
    if (R == ecPutBlockFail && DeviceLost() && !IsLoading()) {
        EPutBlockFail E(
            GoneText(R, D.DeviceName, static_cast<TSerialDispatcher&>(D).Device().Path()));
        E.ErrorCode = R;
        throw E;
    }
    Check(R);
}

void TCustomComPort::PutString(const std::string& S) {
    WriteBytes(S.data(), static_cast<uint32_t>(S.size()));
}

void TCustomComPort::PutBlock(const void* Block, uint16_t Len) {
    WriteBytes(Block, Len);
}

void TCustomComPort::FlushInBuffer() {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().FlushInBuffer());
}

void TCustomComPort::FlushOutBuffer() {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().FlushOutBuffer());
}

void TCustomComPort::ProcessCommunications() {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().ProcessCommunications());
}

void TCustomComPort::SendBreak(uint16_t Ticks, bool Yield) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().SendBreak(Ticks, Yield));
}

void TCustomComPort::SetBreak(bool On) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().SetBreak(On));
}

// ---- Triggers --------------------------------------------------------------------------

int32_t TCustomComPort::AddDataTrigger(const std::string& S, bool IgnoreCase) {
    if (ShuttingDown()) return 0;
    return Check(
        ValidDispatcher().AddDataTriggerLen(S.data(), IgnoreCase, static_cast<uint32_t>(S.size())));
}

int32_t TCustomComPort::AddTimerTrigger() {
    if (ShuttingDown()) return 0;
    return Check(ValidDispatcher().AddTimerTrigger());
}

int32_t TCustomComPort::AddStatusTrigger(uint16_t StatusType) {
    if (ShuttingDown()) return 0;
    return Check(ValidDispatcher().AddStatusTrigger(StatusType));
}

void TCustomComPort::RemoveTrigger(int32_t Handle) {
    if (TBaseDispatcher* D = OpenDispatcher()) Check(D->RemoveTrigger(Handle));
}

void TCustomComPort::RemoveAllTriggers() {
    TBaseDispatcher* D = OpenDispatcher();
    if (!D) return;
    D->RemoveAllTriggers();
    TriggerLengthValue = 0;
}

void TCustomComPort::SetTimerTrigger(int32_t Handle, int32_t Ticks, bool Activate) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().SetTimerTrigger(Handle, Ticks, Activate));
}

void TCustomComPort::SetStatusTrigger(int32_t Handle, uint16_t Value, bool Activate) {
    if (ShuttingDown()) return;
    Check(ValidDispatcher().SetStatusTrigger(Handle, Value, Activate));
}

// ---- Views -------------------------------------------------------------------------------

uint8_t TCustomComPort::GetModemStatus() {
    if (ShuttingDown()) return 0;
    return ValidDispatcher().GetModemStatus();
}

TFlowControlState TCustomComPort::GetFlowState() {
    if (ShuttingDown()) return fcOff;
    TBaseDispatcher& D = ValidDispatcher();
    // The dispatcher counts the states from 1.
    const int32_t Hardware = D.HWFlowState() - 1;
    if (Hardware > fcOff) return static_cast<TFlowControlState>(Hardware);
    const int32_t Software = D.SWFlowState() - 1;
    return Software > fcOff ? static_cast<TFlowControlState>(Software) : fcOff;
}

bool TCustomComPort::GetDSR() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDSR();
}
bool TCustomComPort::GetCTS() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckCTS();
}
bool TCustomComPort::GetRI() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckRI();
}
bool TCustomComPort::GetDCD() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDCD();
}
bool TCustomComPort::GetDeltaDSR() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDeltaDSR();
}
bool TCustomComPort::GetDeltaCTS() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDeltaCTS();
}
bool TCustomComPort::GetDeltaRI() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDeltaRI();
}
bool TCustomComPort::GetDeltaDCD() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckDeltaDCD();
}
uint16_t TCustomComPort::GetLineError() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? static_cast<uint16_t>(D->GetLineError()) : 0;
}
bool TCustomComPort::GetLineBreak() {
    TBaseDispatcher* D = OpenDispatcher();
    return D && D->CheckLineBreak();
}
uint32_t TCustomComPort::GetInBuffUsed() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? D->InBuffUsed() : 0;
}
uint32_t TCustomComPort::GetInBuffFree() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? D->InBuffFree() : InRingSize;
}
uint32_t TCustomComPort::GetOutBuffUsed() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? D->OutBuffUsed() : 0;
}
uint32_t TCustomComPort::GetOutBuffFree() {
    TBaseDispatcher* D = OpenDispatcher();
    return D ? D->OutBuffFree() : OutSizeValue;
}

// ---- Blocking waits ------------------------------------------------------------------

bool TCustomComPort::CheckForString(uint16_t& Index, char C, const std::string& S,
                                    bool IgnoreCase) {
    if (S.empty()) {
        Index = 0;
        return false;
    }
    auto Same = [IgnoreCase](char A, char B) {
        if (!IgnoreCase) return A == B;
        return std::toupper(static_cast<unsigned char>(A)) ==
               std::toupper(static_cast<unsigned char>(B));
    };
    const size_t Matched = std::min<size_t>(Index, S.size() - 1);
    // The input ends with S[0, Matched) followed by C: find the longest start of S it
    // ends with.
    for (size_t K = Matched + 1; K > 0; --K) {
        // Candidate: S[0, K) equals the last K characters, which are S[Matched+1-K,
        // Matched) and C.
        bool Fits = Same(S[K - 1], C);
        for (size_t I = 0; Fits && I + 1 < K; ++I)
            Fits = Same(S[I], S[Matched + 1 - K + I]);
        if (!Fits) continue;
        if (K == S.size()) {
            Index = 0;
            return true;
        }
        Index = static_cast<uint16_t>(K);
        return false;
    }
    Index = 0;
    return false;
}

void TCustomComPort::PrepareWait() {
    if (ShuttingDown()) return;
    TBaseDispatcher& D = ValidDispatcher();
    bool WasOn = false;
    D.SetEventBusy(WasOn, true);
    if (!WaitPrepared) WaitBusySaved = WasOn;
    WaitPrepared = true;
}

int TCustomComPort::WaitForPatterns(const std::vector<std::string>& Patterns, int32_t Timeout,
                                    bool Yield, bool IgnoreCase) {
    TBaseDispatcher* D = &ValidDispatcher();
    bool WasOn = false;
    D->SetEventBusy(WasOn, true);
    EventTimer Timer;
    NewTimer(Timer, std::min(std::max(Timeout, 0), MaxTimerTicks));
    std::vector<uint16_t> Index(Patterns.size(), 0);
    int Found = 0;
    for (;;) {
        // The port may be closed by OnWaitChar or by a message handled meanwhile.
        if (PortState != psOpen || Dispatcher.get() != D) {
            D = nullptr;
            break;
        }
        if (D->CharReady()) {
            char C = 0;
            if (D->GetChar(C) == 0) {
                WaitChar(C);
                for (size_t I = 0; I < Patterns.size() && !Found; ++I)
                    if (!Patterns[I].empty() &&
                        CheckForString(Index[I], C, Patterns[I], IgnoreCase))
                        Found = static_cast<int>(I) + 1;
                if (Found) break;
            }
            if (!TimerExpired(Timer)) continue;
        }
        if (TimerExpired(Timer)) {
            Found = -1;
            break;
        }
        if (Yield) {
            const uint32_t Yielded = SafeYield();
            if (Yielded == WmQuit) break;
            if (Yielded != 0) continue;
        }
        // Nothing has come: give the dispatch thread a moment instead of spinning.
        SleepMs(1);
    }
    if (D && ((WaitPrepared && !WaitBusySaved) || !WasOn)) {
        bool Ignored;
        D->SetEventBusy(Ignored, false);
    }
    WaitPrepared = false;
    return Found;
}

bool TCustomComPort::WaitForString(const std::string& S, int32_t Timeout, bool Yield,
                                   bool IgnoreCase) {
    if (S.empty() || ShuttingDown()) return true;
    return WaitForPatterns({S}, Timeout, Yield, IgnoreCase) >= 0;
}

int TCustomComPort::WaitForMultiString(const std::string& S, int32_t Timeout, bool Yield,
                                       bool IgnoreCase, char SepChar) {
    if (S.empty() || ShuttingDown()) return 0;
    std::vector<std::string> Patterns;
    size_t Start = 0;
    for (size_t At; (At = S.find(SepChar, Start)) != std::string::npos; Start = At + 1)
        Patterns.push_back(S.substr(Start, At - Start));
    Patterns.push_back(S.substr(Start));
    return std::max(WaitForPatterns(Patterns, Timeout, Yield, IgnoreCase), 0);
}

} // namespace port

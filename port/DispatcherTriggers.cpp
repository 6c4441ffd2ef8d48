// Triggers: the length trigger (AvailThreshold), timer, data and status triggers, their
// handles, and the checks that turn them into notifications.
#include "port/Dispatcher.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace port {

namespace {

// Handles come from a counter (multiples of 8) until it reaches this, then the
// lowest free multiple of 8 up to it is reused.
constexpr int32_t TriggerCounterLimit = 4096;

uint8_t UpperCase(uint8_t c) {
    return static_cast<uint8_t>(std::toupper(c));
}

} // namespace

// ---- Handles -------------------------------------------------------------------------

bool TBaseDispatcher::HandleInUse(int32_t Value) const {
    for (const TTimerTrigger& t : TimerTriggers)
        if (t.tHandle == Value) return true;
    for (const TDataTrigger& t : DataTriggers)
        if (t.tHandle == Value) return true;
    for (const TStatusTrigger& t : StatusTriggers)
        if ((t.tHandle & ~7) == Value) return true;
    return false;
}

int32_t TBaseDispatcher::TriggerHandleLocked() {
    if (TriggerCounter < TriggerCounterLimit) return TriggerCounter++ * 8;
    for (int32_t value = 8; value <= TriggerCounterLimit; value += 8)
        if (!HandleInUse(value)) return value;
    return 0;
}

int32_t TBaseDispatcher::GetTriggerHandle() {
    std::lock_guard lock(StateLock);
    return TriggerHandleLocked();
}

int32_t TBaseDispatcher::FindTriggerFromHandle(int32_t Handle, bool Delete, TTriggerType& Kind) {
    Kind = ttNone;
    if (Handle < 2) return ecBadTriggerHandle;
    std::lock_guard lock(StateLock);
    auto dispose = [&](auto& list, auto it, TDispatchSubType subType) {
        if (!Delete) return;
        if (LogActive()) {
            uint8_t statusType = static_cast<uint8_t>(Handle & 7);
            AddDispatchEntry(dtTriggerDispose, subType, static_cast<uint32_t>(Handle),
                             subType == dstStatusTrigger ? &statusType : nullptr,
                             subType == dstStatusTrigger ? 1 : 0);
        }
        list.erase(it);
    };
    auto timer = std::find_if(TimerTriggers.begin(), TimerTriggers.end(),
                              [&](const TTimerTrigger& t) { return t.tHandle == Handle; });
    if (timer != TimerTriggers.end()) {
        Kind = ttTimer;
        dispose(TimerTriggers, timer, dstTimerTrigger);
        return ecOK;
    }
    auto status = std::find_if(StatusTriggers.begin(), StatusTriggers.end(),
                               [&](const TStatusTrigger& t) { return t.tHandle == Handle; });
    if (status != StatusTriggers.end()) {
        Kind = ttStatus;
        dispose(StatusTriggers, status, dstStatusTrigger);
        return ecOK;
    }
    auto data = std::find_if(DataTriggers.begin(), DataTriggers.end(),
                             [&](const TDataTrigger& t) { return t.tHandle == (Handle & ~7); });
    if (data != DataTriggers.end()) {
        Kind = ttData;
        dispose(DataTriggers, data, dstDataTrigger);
        return ecOK;
    }
    return ecBadTriggerHandle;
}

// ---- Adding and removing ---------------------------------------------------------------

int32_t TBaseDispatcher::ChangeLengthTrigger(uint32_t Length) {
    AvailThresholdValue = Length;
    if (LogActive()) AddDispatchEntry(dtTriggerDataChange, dstAvailTrigger, Length, nullptr, 0);
    // Bytes already waiting are announced by the next pass.
    WakeDispatchPass();
    return ecOK;
}

int32_t TBaseDispatcher::AddTimerTrigger() {
    std::lock_guard lock(StateLock);
    int32_t handle = TriggerHandleLocked();
    if (handle == 0) return ecNoMoreTriggers;
    TTimerTrigger trigger;
    trigger.tHandle = handle;
    TimerTriggers.push_back(trigger);
    if (LogActive())
        AddDispatchEntry(dtTriggerAlloc, dstTimerTrigger, static_cast<uint32_t>(handle), nullptr,
                         0);
    return handle;
}

int32_t TBaseDispatcher::AddDataTrigger(const char* Str, bool IgnoreCase) {
    return AddDataTriggerLen(Str, IgnoreCase, Str ? static_cast<uint32_t>(std::strlen(Str)) : 0);
}

int32_t TBaseDispatcher::AddDataTriggerLen(const char* Str, bool IgnoreCase, uint32_t Len) {
    if (Len > static_cast<uint32_t>(MaxTrigData)) return ecTriggerTooLong;
    if (Len > 0 && !Str) return ecBadArgument;
    std::lock_guard lock(StateLock);
    int32_t handle = TriggerHandleLocked();
    if (handle == 0) return ecNoMoreTriggers;
    TDataTrigger trigger;
    trigger.tHandle = handle;
    trigger.tLen = static_cast<int32_t>(Len);
    trigger.tIgnoreCase = IgnoreCase;
    for (uint32_t i = 0; i < Len; ++i) {
        auto c = static_cast<uint8_t>(Str[i]);
        trigger.tData[i] = IgnoreCase ? UpperCase(c) : c;
    }
    DataTriggers.push_back(trigger);
    if (LogActive())
        AddDispatchEntry(dtTriggerAlloc, dstDataTrigger, static_cast<uint32_t>(handle), Str, Len);
    return handle;
}

int32_t TBaseDispatcher::AddStatusTrigger(uint32_t StatusType) {
    if (StatusType < stModem || StatusType > stOutSent) return ecBadArgument;
    std::lock_guard lock(StateLock);
    int32_t handle = TriggerHandleLocked();
    if (handle == 0) return ecNoMoreTriggers;
    TStatusTrigger trigger;
    trigger.tHandle = handle + static_cast<int32_t>(StatusType);
    trigger.tSType = StatusType;
    StatusTriggers.push_back(trigger);
    if (LogActive()) {
        auto type = static_cast<uint8_t>(StatusType);
        AddDispatchEntry(dtTriggerAlloc, dstStatusTrigger, static_cast<uint32_t>(trigger.tHandle),
                         &type, 1);
    }
    return trigger.tHandle;
}

int32_t TBaseDispatcher::RemoveTrigger(int32_t Handle) {
    if (Handle == 1) {
        AvailThresholdValue = 0;
        return ecOK;
    }
    TTriggerType kind;
    return FindTriggerFromHandle(Handle, true, kind);
}

void TBaseDispatcher::RemoveAllTriggers() {
    std::lock_guard lock(StateLock);
    AvailThresholdValue = 0;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    TriggerCounter = 1;
}

// ---- Timer and status triggers --------------------------------------------------------

int32_t TBaseDispatcher::SetTimerTrigger(int32_t Handle, int32_t Ticks, bool Activate) {
    std::lock_guard lock(StateLock);
    for (TTimerTrigger& t : TimerTriggers) {
        if (t.tHandle != Handle) continue;
        if (Activate) {
            if (Ticks != 0) t.tTicks = Ticks;
            NewTimer(t.tET, t.tTicks);
        }
        t.tActive = Activate;
        if (LogActive()) {
            if (Activate)
                AddDispatchEntry(dtTriggerDataChange, dstTimerTrigger,
                                 static_cast<uint32_t>(Handle), &t.tTicks, sizeof t.tTicks);
            else
                AddDispatchEntry(dtTriggerDataChange, dstTimerTrigger,
                                 static_cast<uint32_t>(Handle), "Deactivated", 11);
        }
        if (Activate) WakeDispatchPass();
        return ecOK;
    }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::ExtendTimer(int32_t Handle, int32_t Ticks) {
    std::lock_guard lock(StateLock);
    for (TTimerTrigger& t : TimerTriggers) {
        if (t.tHandle != Handle) continue;
        t.tET.ExpireTicks += Ticks;
        if (LogActive())
            AddDispatchEntry(dtTriggerDataChange, dstTimerTrigger, static_cast<uint32_t>(Handle),
                             &Ticks, sizeof Ticks);
        return ecOK;
    }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::TimerTicksRemaining(int32_t Handle, int32_t& Remaining) {
    std::lock_guard lock(StateLock);
    for (const TTimerTrigger& t : TimerTriggers) {
        if (t.tHandle != Handle) continue;
        Remaining = TimerExpired(t.tET) ? 0 : RemainingTime(t.tET);
        return ecOK;
    }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::SetStatusTrigger(int32_t Handle, uint32_t Value, bool Activate) {
    std::lock_guard lock(StateLock);
    for (TStatusTrigger& t : StatusTriggers) {
        if (t.tHandle != Handle) continue;
        if (Activate) {
            switch (t.tSType) {
            case stModem: {
                auto mask = static_cast<uint8_t>(Value);
                auto snapshot = static_cast<uint8_t>(mask & ModemStatus);
                t.tValue = static_cast<uint16_t>((mask << 8) | snapshot);
                break;
            }
            case stLine: {
                uint16_t mask = 0;
                if (Value & 1) mask |= CE_OVERRUN;
                if (Value & 2) mask |= CE_RXPARITY;
                if (Value & 4) mask |= CE_FRAME;
                if (Value & 8) mask |= CE_BREAK;
                t.tValue = mask;
                break;
            }
            case stOutBuffFree:
            case stOutBuffUsed:
                t.tValue = static_cast<uint16_t>(Value);
                break;
            default:
                break;
            }
        }
        t.tEnabled = Activate;
        if (Activate && LogActive()) {
            uint8_t state[4] = {static_cast<uint8_t>(t.tValue), static_cast<uint8_t>(t.tValue >> 8),
                                static_cast<uint8_t>(t.tEnabled), static_cast<uint8_t>(t.tHit)};
            AddDispatchEntry(dtTriggerDataChange, dstStatusTrigger, static_cast<uint32_t>(Handle),
                             state, 4);
        }
        if (Activate) WakeDispatchPass();
        return ecOK;
    }
    return ecBadTriggerHandle;
}

void TBaseDispatcher::ResetStatusHits() {
    std::lock_guard lock(StateLock);
    for (TStatusTrigger& t : StatusTriggers)
        t.tHit = false;
    StatusHitPending = false;
}

void TBaseDispatcher::ResetDataTriggers() {
    std::lock_guard lock(StateLock);
    for (TDataTrigger& t : DataTriggers) {
        std::fill(std::begin(t.tChkIndex), std::end(t.tChkIndex), 0);
        t.tMatched = false;
    }
}

// ---- Saving across a close ------------------------------------------------------------

void TBaseDispatcher::SaveTriggers(TTriggerSave& Save) {
    std::lock_guard lock(StateLock);
    Save.tsLenTrigger = AvailThresholdValue;
    Save.tsTimerTriggers = TimerTriggers;
    Save.tsDataTriggers = DataTriggers;
    Save.tsStatusTriggers = StatusTriggers;
}

void TBaseDispatcher::RestoreTriggers(const TTriggerSave& Save) {
    std::lock_guard lock(StateLock);
    AvailThresholdValue = Save.tsLenTrigger;
    TimerTriggers = Save.tsTimerTriggers;
    DataTriggers = Save.tsDataTriggers;
    StatusTriggers = Save.tsStatusTriggers;
    // New handles must not repeat a restored one.
    int32_t highest = 0;
    for (const TTimerTrigger& t : TimerTriggers)
        highest = std::max(highest, t.tHandle);
    for (const TDataTrigger& t : DataTriggers)
        highest = std::max(highest, t.tHandle);
    for (const TStatusTrigger& t : StatusTriggers)
        highest = std::max(highest, t.tHandle & ~7);
    TriggerCounter = std::max(TriggerCounter, highest / 8 + 1);
    WakeDispatchPass();
}

void TBaseDispatcher::ClearSaveBuffers(TTriggerSave& Save) {
    Save.tsLenTrigger = 0;
    Save.tsTimerTriggers.clear();
    Save.tsDataTriggers.clear();
    Save.tsStatusTriggers.clear();
}

// ---- Checks ------------------------------------------------------------------------------

bool TBaseDispatcher::DataTriggerSeesByte(TDataTrigger& T, uint8_t Byte) {
    if (T.tIgnoreCase) Byte = UpperCase(Byte);
    bool matched = false;
    bool started = false;
    for (int32_t k = 0; k < T.tLen; ++k) {
        int32_t c = T.tChkIndex[k];
        if (k == 0 || c != 0 || (!started && Byte == T.tData[0])) {
            if (T.tData[c] == Byte) {
                T.tChkIndex[k] = c + 1;
                if (c + 1 == T.tLen) {
                    // A whole match; the later counters go on, so overlaps are found.
                    matched = true;
                    std::fill(T.tChkIndex, T.tChkIndex + T.tLen, 0);
                }
            } else {
                T.tChkIndex[k] = T.tData[0] == Byte ? 1 : 0;
            }
        }
        if (T.tChkIndex[k] == 1) started = true;
    }
    return matched;
}

bool TBaseDispatcher::CheckReceiveTriggers() {
    return CheckReceivePrim(nullptr);
}

bool TBaseDispatcher::CheckReceivePrim(bool* Fired) {
    if (Fired) *Fired = false;
    uint32_t threshold = AvailThresholdValue.load();
    uint32_t availCount = 0;
    bool sendAvail = false;
    bool onlyAvail = false;
    {
        TLockedRead inLock(*this);
        std::lock_guard stateLock(StateLock);
        if (!InRing) return false;
        bool matched = false;
        uint64_t matchAt = 0;
        int32_t longest = 0;
        bool anyTrigger = std::any_of(DataTriggers.begin(), DataTriggers.end(),
                                      [](const TDataTrigger& t) { return t.tLen != 0; });
        if (anyTrigger) {
            for (; ScanCount < InTotal && !matched; ++ScanCount) {
                uint8_t byte = InRing[ScanCount % InRingSize];
                for (TDataTrigger& t : DataTriggers) {
                    if (t.tLen == 0) continue;
                    if (!t.tMatched && DataTriggerSeesByte(t, byte)) t.tMatched = true;
                    if (t.tMatched) {
                        matched = true;
                        longest = std::max(longest, t.tLen);
                    }
                }
                if (matched) matchAt = ScanCount;
            }
        }
        if (matched) {
            // ScanCount is now just past the matched byte.
            if (threshold != 0 && AvailNotifyCount != matchAt) {
                uint64_t tailCount = InTotal - InUsedLocked();
                int64_t before = static_cast<int64_t>(matchAt + 1) -
                                 static_cast<int64_t>(tailCount) -
                                 (InAvailNotify ? AvailReadCount : 0) - longest;
                if (before >= static_cast<int64_t>(threshold)) {
                    sendAvail = true;
                    availCount = static_cast<uint32_t>(before);
                    AvailNotifyCount = matchAt;
                }
            }
        } else {
            ScanCount = InTotal;
            uint32_t unread = UnreadLocked();
            if (threshold == 0 || AvailNotifyCount == InTotal || unread < threshold) return false;
            AvailNotifyCount = InTotal;
            sendAvail = true;
            availCount = unread;
            onlyAvail = true;
        }
    }

    // No lock is held while the handlers run.
    if (Fired) *Fired = true;
    bool result = true;
    if (sendAvail) {
        if (LogActive()) AddDispatchEntry(dtTrigger, dstAvail, availCount, nullptr, 0);
        result = SendNotify(PortMsgAvail, availCount, 0);
        if (onlyAvail) return result;
    }
    // The matched data triggers, from the last to the first.
    for (;;) {
        if (CloseDeferredFlag.load()) return false;
        int32_t handle = 0;
        int32_t length = 0;
        {
            std::lock_guard lock(StateLock);
            for (auto it = DataTriggers.rbegin(); it != DataTriggers.rend(); ++it) {
                if (!it->tMatched) continue;
                it->tMatched = false;
                handle = it->tHandle;
                length = it->tLen;
                break;
            }
        }
        if (handle == 0) break;
        if (LogActive())
            AddDispatchEntry(dtTrigger, dstData, static_cast<uint32_t>(handle), nullptr, 0);
        result =
            SendNotify(PortMsgData, static_cast<uint32_t>(handle), static_cast<uint32_t>(length));
    }
    return result;
}

bool TBaseDispatcher::CheckStatusTriggers() {
    return CheckStatusPrim(nullptr);
}

bool TBaseDispatcher::CheckStatusPrim(bool* Fired) {
    if (Fired) *Fired = false;
    int32_t handle = 0;
    uint32_t data = 0;
    {
        std::lock_guard lock(StateLock);
        for (TStatusTrigger& t : StatusTriggers) {
            if (!t.tEnabled || t.tHit) continue;
            bool fire = false;
            switch (t.tSType) {
            case stModem:
                fire = ((t.tValue & 0xFF) ^ ModemStatus) & (t.tValue >> 8);
                break;
            case stLine: {
                uint32_t errors = LineErrors();
                if (t.tValue & errors) {
                    fire = true;
                    t.tValue = static_cast<uint16_t>(errors);
                }
                break;
            }
            case stOutBuffFree: {
                uint32_t free = OutBuffFree();
                if (free >= t.tValue) {
                    fire = true;
                    data = free;
                }
                break;
            }
            case stOutBuffUsed: {
                uint32_t used = OutBuffUsed();
                if (used <= t.tValue) {
                    fire = true;
                    data = used;
                }
                break;
            }
            case stOutSent:
                fire = OutWritten.exchange(false);
                break;
            default:
                break;
            }
            if (!fire) continue;
            t.tEnabled = false;
            t.tHit = true;
            StatusHitPending = true;
            handle = t.tHandle;
            break;
        }
    }
    if (handle == 0) return false;
    if (Fired) *Fired = true;
    if (LogActive())
        AddDispatchEntry(dtTrigger, dstStatus, static_cast<uint32_t>(handle), nullptr, 0);
    return SendNotify(PortMsgStatus, static_cast<uint32_t>(handle), data & 0xFFFF);
}

bool TBaseDispatcher::CheckTimerTriggers() {
    return CheckTimerPrim(nullptr);
}

bool TBaseDispatcher::CheckTimerPrim(bool* Fired) {
    if (Fired) *Fired = false;
    int32_t handle = 0;
    {
        std::lock_guard lock(StateLock);
        for (TTimerTrigger& t : TimerTriggers) {
            if (!t.tActive || !TimerExpired(t.tET)) continue;
            t.tActive = false;
            handle = t.tHandle;
            break;
        }
    }
    if (handle == 0) return false;
    if (Fired) *Fired = true;
    if (LogActive())
        AddDispatchEntry(dtTrigger, dstTimer, static_cast<uint32_t>(handle), nullptr, 0);
    return SendNotify(PortMsgTimer, static_cast<uint32_t>(handle), 0);
}

bool TBaseDispatcher::CheckTriggers() {
    bool fired = false;
    bool result = CheckTimerPrim(&fired);
    if (fired) return result;
    result = CheckStatusPrim(&fired);
    if (fired) return result;
    return CheckReceivePrim(&fired);
}

} // namespace port

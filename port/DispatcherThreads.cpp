#include "port/DispatcherThreads.h"

#include "port/Dispatcher.h"

#include "port/ThreadPriority.h"
#include <algorithm>
#include <chrono>

namespace port {

namespace {

using Signals = TDispatcherSignals;

// How long the starter waits for each thread to report, and the stopper for the
// dispatch thread before it signals it once more (36 ticks each).
constexpr int64_t ThreadStartWaitMs = 3000;
constexpr int64_t DispatchStopWaitMs = 36 * MSecsPerTick;
// The dispatch thread's pass without an event, while such a pass may find work. With
// nothing for it to find, the thread sleeps until an event or until something is armed
// (WakeDispatchPass); the long bound only keeps a quiet port's thread from sleeping
// for ever should a pass ever be owed without either. Every wake-up of a sleeping
// processor costs far more than the pass itself.
constexpr int64_t DispatchIdleMs = 50;
constexpr int64_t DispatchQuietMs = 10000;
// Receive rounds of one pass, so the status and timer checks come in between.
constexpr int MaxReceiveRounds = 64;

} // namespace

// ---- TDispatcherThread ---------------------------------------------------------------

TDispatcherThread::~TDispatcherThread() {
    if (Thread.joinable()) Thread.join();
}

void TDispatcherThread::Start() {
    Thread = std::thread([this] { Run(); });
}

void TDispatcherThread::Run() {
    Id = std::this_thread::get_id();
    Tid = CurrentThreadId();
    ApplyPriority();
    try {
        Execute();
    } catch (const std::exception& e) {
        Dispatcher.ReportThreadError(e);
    }
    Dispatcher.ThreadGone(this);
    {
        std::lock_guard lock(EndLock);
        HasEnded = true;
    }
    EndSignal.notify_all();
}

bool TDispatcherThread::Ended() const {
    std::lock_guard lock(EndLock);
    return HasEnded;
}

bool TDispatcherThread::WaitEnded(int64_t TimeoutMs) const {
    std::unique_lock lock(EndLock);
    if (TimeoutMs < 0) {
        EndSignal.wait(lock, [&] { return HasEnded; });
        return true;
    }
    return EndSignal.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] { return HasEnded; });
}

void TDispatcherThread::SetPriority(int Boost) {
    PriorityBoost = Boost;
    ApplyPriority();
}

void TDispatcherThread::ApplyPriority() {
    int tid = Tid.load();
    if (tid == 0) return; // applied when the thread starts
    RaiseThreadPriority(tid, PriorityBoost.load());
}

// ---- TComThread ---------------------------------------------------------------------------

void TComThread::Execute() {
    TBaseDispatcher& d = Dispatcher;
    d.SetComEventMask(DefaultComEventMask);
    const bool edges = d.EventWaitIsEdgeTriggered();
    d.Signals.Set(Signals::ThreadStateSignal);
    while (!d.StopThreadsFlag.load()) {
        uint32_t mask = 0;
        if (!d.WaitComEvent(mask)) break; // the device failed, or the events were stopped
        if (mask & (EV_RINGTE | EV_RING)) d.RingSeen = true;
        if (d.StopThreadsFlag.load()) break;
        d.EventMask.fetch_or(mask);
        d.Signals.Set(Signals::ComEventSignal);
        // A level-triggered wait would report the same bytes again until the dispatch
        // thread has read them: the next one waits until it has finished this pass.
        if (!edges) d.Signals.Wait(Signals::ComEventDone, -1);
    }
    d.Signals.Set(Signals::ThreadStateSignal);
}

// ---- TDispThread -------------------------------------------------------------------------

void TDispThread::Execute() {
    TBaseDispatcher& d = Dispatcher;
    d.Signals.Set(Signals::ThreadStateSignal);
    do {
        const int64_t idleMs = d.IdlePassNeeded() ? DispatchIdleMs : DispatchQuietMs;
        bool event = d.Signals.Wait(Signals::ComEventSignal, idleMs) != 0;
        if (d.StopThreadsFlag.load() || !d.Signals.Valid()) break;
        PassOne(event);
        PassTwo();
    } while (!d.StopThreadsFlag.load() && !d.CloseDeferredFlag.load());
    d.Signals.Set(Signals::ThreadStateSignal);
    // A close deferred during a notification is finished by this thread.
    d.FinishOnThreadExit = d.CloseDeferredFlag.load();
}

bool TDispThread::StatusLoop() {
    TBaseDispatcher& d = Dispatcher;
    if (!d.InNotify()) {
        while (d.CheckStatusTriggers())
            if (d.CloseDeferred()) return false;
        if (d.CloseDeferred()) return false;
    }
    if (d.StatusHitPending.load()) d.ResetStatusHits();
    return true;
}

void TDispThread::PassOne(bool EventArrived) {
    TBaseDispatcher& d = Dispatcher;
    uint32_t mask = d.EventMask.exchange(0);
    auto pass = [&] {
        if (mask & ModemEventMask) {
            d.MapEventsToMS();
            if (!StatusLoop()) return;
        }
        if (mask & ErrorEventMask) {
            d.RefreshStatus();
            if (!StatusLoop()) return;
        }
        d.ExtractData();
        if (!d.InNotify()) {
            d.RefreshModemLines();
            if (!StatusLoop()) return;
            // Bytes that came while a handler ran are taken at once rather than after
            // the event thread's next round; each round moves at least one byte, and
            // every round ends with the triggers checked, so no byte read is left
            // unannounced. When the rounds run out, bytes may still wait in the device
            // whose arrival was already seen: the next pass follows at once, after the
            // status and timer checks. An edge-triggered wait reports every arrival, so
            // the device is read again only after one: bytes that came since the read
            // join the first notification, and no read finds the device empty after
            // each notification.
            const bool edges = d.EventWaitIsEdgeTriggered();
            if (edges && TakeArrival()) d.ExtractData();
            for (int round = 1;; ++round) {
                while (d.CheckReceiveTriggers())
                    if (d.CloseDeferred()) return;
                if (d.CloseDeferred() || d.InNotify()) break;
                if (round == MaxReceiveRounds) {
                    d.Signals.Set(Signals::ComEventSignal);
                    break;
                }
                if (edges) {
                    if (!TakeArrival() || d.ExtractData() == 0) break;
                } else if (d.ReadsWhatIsThere()) {
                    if (d.ExtractData() == 0) break;
                } else {
                    if (!d.InputWaiting()) break;
                    d.ExtractData();
                }
            }
        }
        if (d.StatusHitPending.load()) d.ResetStatusHits();
    };
    pass();
    if (EventArrived) d.Signals.Set(Signals::ComEventDone);
}

bool TDispThread::TakeArrival() {
    TBaseDispatcher& d = Dispatcher;
    if (!d.Signals.Take(Signals::ComEventSignal)) return false;
    // The event thread records its events before it signals: what it recorded by now
    // is seen here.
    if (d.EventMask.load() & ~uint32_t{EV_RXCHAR}) d.Signals.Set(Signals::ComEventSignal);
    return true;
}

void TDispThread::PassTwo() {
    TBaseDispatcher& d = Dispatcher;
    if (d.CloseDeferred() || d.InNotify()) return;
    d.StatusHitPending = false;
    while ((d.CheckStatusTriggers() || d.CheckTimerTriggers()) && !d.CloseDeferred()) {
    }
    if (d.StatusHitPending.load()) d.ResetStatusHits();
}

// ---- TOutThread ----------------------------------------------------------------------------

void TOutThread::Execute() {
    TBaseDispatcher& d = Dispatcher;
    d.Signals.Set(Signals::ThreadStateSignal);
    do {
        uint32_t signal = d.Signals.Wait(Signals::OutDataSignal | Signals::OutAbortSignal, -1);
        if (signal == Signals::OutDataSignal) {
            if (d.StopThreadsFlag.load()) break;
            WriteLoop();
        } else if (signal == Signals::OutAbortSignal) {
            d.Signals.Set(Signals::ThreadStateSignal);
        } else if (!d.Signals.Valid()) {
            break;
        }
    } while (!d.StopThreadsFlag.load() && !d.CloseDeferredFlag.load());
}

void TOutThread::WriteLoop() {
    TBaseDispatcher& d = Dispatcher;
    for (;;) {
        const uint8_t* chunk;
        uint32_t length;
        if (!d.TakeOutputChunk(chunk, length)) return;
        int32_t written = d.TransmitCom(chunk, static_cast<int32_t>(length));
        bool aborted = d.Signals.Take(Signals::OutAbortSignal) != 0;
        // A refused chunk is dropped; a partial write leaves the rest for the next.
        if (written != 0) d.ConsumeOutput(written < 0 ? length : static_cast<uint32_t>(written));
        if (aborted) {
            d.Signals.Set(Signals::ThreadStateSignal);
            return;
        }
        if (written == 0 && d.StopThreadsFlag.load()) return;
        if (written != 0 && !d.HasDriverRS485() && d.RS485On.load()) {
            d.WaitTransmitterEmpty();
            d.EscapeComFunction(CLRRTS);
        }
    }
}

// ---- The dispatcher's side -----------------------------------------------------------------

void TBaseDispatcher::StartDispatcher() {
    StartThreads();
}

void TBaseDispatcher::StopDispatcher() {
    StopThreads();
}

void TBaseDispatcher::StartThreads() {
    {
        std::lock_guard lock(StateLock);
        if (ThreadsActiveFlag.load()) throw winsys::Exception("Dispatcher already started");
        ThreadsActiveFlag = true;
        StopThreadsFlag = false;
    }
    // Threads of an earlier start have ended; their objects go now.
    ComThreadObject.reset();
    DispThreadObject.reset();
    OutThreadObject.reset();
    if (!Signals.Valid()) Signals.Create();
    if (!SyncWindow && EventLoopOf && EventLoopOf->IsWindowThread())
        SyncWindow =
            EventLoopOf->CreateWindow([this](winsys::HWND, uint32_t, winsys::WPARAM w,
                                             winsys::LPARAM) { return SyncWindowProc(w); });

    auto start = [&](auto& object, auto& running) {
        object = std::make_unique<std::remove_reference_t<decltype(*object)>>(*this);
        ++ThreadCountValue;
        running = object.get();
        object->Start();
        Signals.Wait(TDispatcherSignals::ThreadStateSignal, ThreadStartWaitMs);
    };
    start(ComThreadObject, ComThreadRunning);
    start(DispThreadObject, DispThreadRunning);
    start(OutThreadObject, OutThreadRunning);
    ApplyThreadPriorities();
}

void TBaseDispatcher::StopDeviceThreads() {
    if (!ThreadsActiveFlag.load()) return;
    StopThreadsFlag = true;
    // The thread objects, not the Running references: a thread that saw the stop by
    // itself clears its reference before it is counted out, and the close must not
    // return before that.
    if (TOutThread* out = OutThreadObject.get()) {
        if (OutThreadRunning.load()) {
            Signals.Set(TDispatcherSignals::OutAbortSignal);
            CancelTransmit();
        }
        // Neither of these two threads waits for the window thread: a plain wait.
        if (!out->IsCurrentThread()) out->WaitEnded(-1);
    }
    if (TComThread* com = ComThreadObject.get()) {
        if (ComThreadRunning.load()) {
            SetComEventMask(0);
            Signals.Set(TDispatcherSignals::ComEventDone);
            Signals.Reset(TDispatcherSignals::ThreadStateSignal);
        }
        if (!com->IsCurrentThread()) com->WaitEnded(-1);
    }
}

void TBaseDispatcher::StopThreads() {
    if (!ThreadsActiveFlag.load()) return;
    StopDeviceThreads();
    if (NotifyTimer != 0 && EventLoopOf && EventLoopOf->IsWindowThread()) {
        EventLoopOf->StopTimer(NotifyTimer);
        NotifyTimer = 0;
    }
    TDispThread* disp = DispThreadObject.get();
    if (disp && !disp->IsCurrentThread() && !disp->Ended()) {
        // Wake it from its idle wait rather than letting the close wait for it.
        Signals.Set(TDispatcherSignals::ComEventSignal);
        WaitThreadEnd(disp, DispatchStopWaitMs);
        if (!disp->Ended()) {
            Signals.Set(TDispatcherSignals::ComEventSignal);
            WaitThreadEnd(disp, DispatchStopWaitMs);
        }
        // It may still be delivering a notification: keep serving until it ends.
        WaitThreadEnd(disp, -1);
    }
    Signals.Close();
}

bool TBaseDispatcher::IdlePassNeeded() {
    if (!EventWaitIsEdgeTriggered() || InNotify() || CloseDeferred()) return true;
    {
        std::lock_guard lock(StateLock);
        for (const TTimerTrigger& t : TimerTriggers)
            if (t.tActive) return true;
        for (const TStatusTrigger& t : StatusTriggers)
            if (t.tEnabled) return true;
    }
    std::lock_guard lock(InLock);
    return AvailNotifyCount == AvailNotifyAgain || InHead != InTail || InFull.load();
}

void TBaseDispatcher::WakeDispatchPass() {
    if (DispThreadRunning.load()) Signals.Set(TDispatcherSignals::ComEventSignal);
}

void TBaseDispatcher::WaitThreadEnd(TDispatcherThread* Thread, int64_t TimeoutMs) {
    if (!Thread || Thread->IsCurrentThread()) return;
    if (!EventLoopOf || !EventLoopOf->IsWindowThread()) {
        Thread->WaitEnded(TimeoutMs);
        return;
    }
    // On the window thread: the thread may be blocked handing a notification to it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Thread->Ended()) {
        if (TimeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return;
        EventLoopOf->ServeSentMessages();
        Thread->WaitEnded(1);
    }
}

void TBaseDispatcher::ThreadGone(TDispatcherThread* Thread) {
    bool finish = false;
    {
        std::lock_guard lock(StateLock);
        if (Thread == ComThreadRunning.load()) ComThreadRunning = nullptr;
        if (Thread == OutThreadRunning.load()) OutThreadRunning = nullptr;
        if (Thread == DispThreadRunning.load()) {
            DispThreadRunning = nullptr;
            finish = FinishOnThreadExit.exchange(false);
        }
    }
    if (finish) DonePortPrim();
    if (--ThreadCountValue == 0) ThreadsActiveFlag = false;
}

void TBaseDispatcher::SetThreadBoost(uint8_t Boost) {
    if (Boost == ThreadBoostLevel) return;
    ThreadBoostLevel = Boost;
    ApplyThreadPriorities();
}

void TBaseDispatcher::ApplyThreadPriorities() {
    if (ComThreadObject) ComThreadObject->SetPriority(ThreadBoostLevel);
    if (DispThreadObject) DispThreadObject->SetPriority(ThreadBoostLevel);
    if (OutThreadObject) OutThreadObject->SetPriority(ThreadBoostLevel + (RS485On.load() ? 1 : 0));
}

} // namespace port

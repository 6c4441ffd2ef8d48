#include "port/ThreadPriority.h"

#include "winsys/Win32.h"

#include <algorithm>

namespace port {

int CurrentThreadId() {
    return static_cast<int>(GetCurrentThreadId());
}

void RaiseThreadPriority(int Tid, int Boost) {
    HANDLE thread = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(Tid));
    if (!thread) return;
    // The levels above normal: above normal, highest, time critical.
    static const int Levels[] = {THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL,
                                 THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL};
    SetThreadPriority(thread, Levels[std::clamp(Boost, 0, 3)]);
    CloseHandle(thread);
}

} // namespace port

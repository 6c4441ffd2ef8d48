#include "port/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace port {

int CurrentThreadId() {
    return static_cast<int>(gettid());
}

void RaiseThreadPriority(int Tid, int Boost) {
    [[maybe_unused]] int result = setpriority(PRIO_PROCESS, static_cast<id_t>(Tid), -Boost);
}

} // namespace port

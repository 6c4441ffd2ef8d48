// The loop's epoll descriptor looked at without waiting.
#include "Pump.h"

#include <poll.h>

namespace testsupport {

bool LoopDescriptorReady(winsys::EventLoop& loop) {
    pollfd p{loop.Fd(), POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

} // namespace testsupport

// On Windows the thread's message queue is the loop's descriptor, and
// HasPendingMessages already looks at it: nothing more can be ready.
#include "Pump.h"

namespace testsupport {

bool LoopDescriptorReady(winsys::EventLoop&) {
    return false;
}

} // namespace testsupport

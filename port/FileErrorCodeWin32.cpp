// A failed file call's error on Windows: the system's error number that the C runtime
// keeps beside errno, else errno as on Linux (the runtime has no disk quota error).
#include "port/TraceText.h"

#include <cstdlib>

namespace port {

int32_t FileErrorCode(int Errno) {
    // The system's own error of the failed call is the number the port layer uses.
    if (const unsigned long System = _doserrno; System != 0 && System < 0x10000) {
        _doserrno = 0;
        return -static_cast<int32_t>(System);
    }
    return ErrnoFileErrorCode(Errno);
}

} // namespace port

// A failed file call's error on Linux: errno alone. An exceeded disk quota reads as a
// full disk.
#include "port/TraceText.h"

#include <cerrno>

namespace port {

int32_t FileErrorCode(int Errno) {
    return ErrnoFileErrorCode(Errno == EDQUOT ? ENOSPC : Errno);
}

} // namespace port

// The errno half of a failed file call's error number, the same on every platform.
#include "port/TraceText.h"

#include "port/PortErrors.h"

#include <cerrno>

namespace port {

int32_t ErrnoFileErrorCode(int Errno) {
    int number;
    switch (Errno) {
    case ENOENT:
        number = 2;
        break;
    case ENOTDIR:
        number = 3;
        break;
    case EMFILE:
    case ENFILE:
        number = 4;
        break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
        number = 5;
        break;
    case EBADF:
        number = 6;
        break;
    case ENOMEM:
        number = 8;
        break;
    case ENOSPC:
    case EFBIG:
        number = 101;
        break;
    case EROFS:
        number = 150;
        break;
    case EIO:
        number = 160;
        break;
    default:
        // Every errno but these would otherwise show the table's text of another error
        // (EINTR as "Too many open files", ENXIO as "Invalid file handle", ...).
        number = Errno > 0 && MessageNumberToString(-Errno).empty() ? Errno : 162;
        break;
    }
    return -number;
}

} // namespace port

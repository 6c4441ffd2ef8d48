#include "tool/OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tool {

std::FILE* OpenOutputFile(const char* Name, OutputMode mode) {
    const bool append = mode == OutputMode::Append;
    // Non-blocking only for the open itself: opening a FIFO for writing would wait for
    // a reader.
    int fd = ::open(Name,
                    O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                        (append ? O_APPEND : O_TRUNC),
                    0666);
    if (fd < 0) return nullptr;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, append ? "ab" : "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

} // namespace tool

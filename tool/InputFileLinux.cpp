#include "tool/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tool {

int OpenInputFileDescriptor(const char* Name) {
    // Non-blocking only for the open itself: opening a FIFO for reading would wait for
    // a writer.
    int fd = ::open(Name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::FILE* OpenInputFile(const char* Name) {
    int fd = OpenInputFileDescriptor(Name);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "r");
    if (!file) ::close(fd);
    return file;
}

} // namespace tool

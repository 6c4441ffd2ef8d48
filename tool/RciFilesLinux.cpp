#include "tool/RciFiles.h"

#include "tool/RciClient.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tool {

int OpenLog() {
    int fd = ::open(RciLogFileName, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace tool

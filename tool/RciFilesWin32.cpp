#include "tool/RciFiles.h"

#include "tool/RciClient.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace tool {

int OpenLog() {
    int fd = -1;
    if (_sopen_s(&fd, RciLogFileName, _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
                 _S_IREAD | _S_IWRITE) != 0)
        return -1;
    if (_chsize_s(fd, 0) != 0) {
        _close(fd);
        return -1;
    }
    return fd;
}

} // namespace tool

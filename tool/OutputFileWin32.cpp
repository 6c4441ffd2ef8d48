// Output files on Windows: opened through the C runtime, readable by other programs
// while the tool writes them (a log looked at while recording), writable by none.
#include "tool/OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace tool {

std::FILE* OpenOutputFile(const char* Name, OutputMode mode) {
    const bool append = mode == OutputMode::Append;
    int fd = -1;
    const int error =
        _sopen_s(&fd, Name,
                 _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | (append ? _O_APPEND : _O_TRUNC),
                 _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (error != 0) {
        errno = error;
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, append ? "ab" : "wb");
    if (!file) {
        const int fdopenError = errno;
        _close(fd);
        errno = fdopenError;
    }
    return file;
}

} // namespace tool

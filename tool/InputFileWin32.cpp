// Input files on Windows: opened through the C runtime, shared with other readers and
// writers, in binary mode so that the readers see the bytes as they are (they take LF
// and CR LF alike).
#include "tool/InputFile.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace tool {

int OpenInputFileDescriptor(const char* Name) {
    int fd = -1;
    if (_sopen_s(&fd, Name, _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0) != 0) return -1;
    struct _stat64 st {};
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        return -1;
    }
    return fd;
}

std::FILE* OpenInputFile(const char* Name) {
    int fd = OpenInputFileDescriptor(Name);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "rb");
    if (!file) _close(fd);
    return file;
}

} // namespace tool

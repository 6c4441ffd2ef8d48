#include "port/PortProbe.h"

#include "port/SerialDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace port {

int32_t PlainProbe(const std::string& Path) {
    const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) return SerialDevice::OpenErrorCode(errno, false);
    int32_t R = 0;
    int Exclusive = 0;
    if (!isatty(Fd))
        R = SerialDevice::NotFound;
    else if (ioctl(Fd, TIOCGEXCL, &Exclusive) == 0 && Exclusive)
        R = SerialDevice::InUse;
    else if (flock(Fd, LOCK_EX | LOCK_NB) != 0) // released by the close
        R = errno == EWOULDBLOCK ? SerialDevice::InUse : -errno;
    ::close(Fd);
    return R;
}

} // namespace port

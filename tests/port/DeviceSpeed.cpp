#include "DeviceSpeed.h"

// The kernel's termios2 cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

uint32_t DeviceOutputSpeed(int Fd) {
    termios2 T;
    return ioctl(Fd, TCGETS2, &T) == 0 ? T.c_ospeed : 0;
}

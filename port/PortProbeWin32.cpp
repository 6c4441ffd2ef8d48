#include "port/PortProbe.h"

#include "port/SerialDevice.h"
#include "winsys/Win32.h"

namespace port {

int32_t PlainProbe(const std::string& Path) {
    HANDLE device =
        CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return SerialDevice::OpenErrorCode(static_cast<int>(GetLastError()), false);
    CloseHandle(device);
    return 0;
}

} // namespace port

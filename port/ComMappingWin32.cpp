// COMn on Windows: the system's own communications device "\\.\COMn".
#include "port/ComMapping.h"

#include "winsys/Win32.h"

namespace port {

std::string ComLinkDirectory() {
    return {};
}

std::string ComDevicePath(unsigned n) {
    if (n == 0 || n > MaxComNumber) return {};
    return "\\\\.\\COM" + std::to_string(n);
}

bool ComPortUsable(unsigned n) {
    const std::string path = ComDevicePath(n);
    if (path.empty()) return false;
    // No sharing: a port another program has open answers "access denied".
    HANDLE device =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    CloseHandle(device);
    return true;
}

} // namespace port

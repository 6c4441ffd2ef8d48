#include "port/SystemText.h"

#include "winsys/Win32.h"

namespace port {

std::string SystemErrorText(int Number) {
    char buffer[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(Number), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT),
                       buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
}

std::tm LocalTime(std::time_t Moment) {
    std::tm local{};
    localtime_s(&local, &Moment);
    return local;
}

} // namespace port

#include "port/SystemText.h"

#include <cstring>

namespace port {

std::string SystemErrorText(int Number) {
    char buffer[512] = {};
    // GNU strerror_r: returns the text, either its own or written into buffer.
    const char* text = strerror_r(Number, buffer, sizeof buffer);
    return text ? text : "";
}

std::tm LocalTime(std::time_t Moment) {
    std::tm local{};
    localtime_r(&Moment, &local);
    return local;
}

} // namespace port

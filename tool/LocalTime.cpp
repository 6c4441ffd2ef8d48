#include "tool/LocalTime.h"

#include "port/SystemText.h"

#include <cstdio>
#include <ctime>

namespace tool {

namespace {

std::tm LocalParts(WallTime t) {
    return port::LocalTime(std::chrono::system_clock::to_time_t(t));
}

} // namespace

WallTime SystemWallTime() {
    return std::chrono::system_clock::now();
}

std::string IsoLocalTime(WallTime t) {
    std::tm p = LocalParts(t);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
    if (ms < 0) ms += 1000;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.tm_year + 1900,
                  p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec, static_cast<int>(ms));
    return text;
}

std::string FileNameStamp(WallTime t) {
    std::tm p = LocalParts(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", p.tm_year + 1900, p.tm_mon + 1,
                  p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec);
    return text;
}

} // namespace tool

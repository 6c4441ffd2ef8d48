// The operating system's name for the trace and log headers, from uname.
#include "port/TraceText.h"

#include <cstdlib>
#include <sys/utsname.h>

namespace port {

std::string OperatingSystemName() {
    utsname system{};
    if (uname(&system) != 0) return "unknown";
    // The release begins "major.minor." (6.1.0-13-amd64): keep the first two numbers.
    char* rest = nullptr;
    long major = std::strtol(system.release, &rest, 10);
    long minor = 0;
    if (rest && *rest == '.') minor = std::strtol(rest + 1, nullptr, 10);
    return std::string(system.sysname) + " " + std::to_string(major) + "." + std::to_string(minor) +
           " " + system.version;
}

} // namespace port

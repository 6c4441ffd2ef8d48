#include "port/ComMapping.h"

#include "port/SerialDevice.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace port {

namespace fs = std::filesystem;

namespace {

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string DefaultDevice(unsigned n) {
    if (n >= 1 && n <= 16) return "/dev/ttyS" + std::to_string(n - 1);
    if (n >= 17 && n <= 32) return "/dev/ttyUSB" + std::to_string(n - 17);
    if (n >= 33 && n <= 48) return "/dev/ttyACM" + std::to_string(n - 33);
    return {};
}

} // namespace

std::string ComLinkDirectory() {
    if (const char* dir = std::getenv("RVEX_COM_DIR"); dir && *dir) return dir;
    return HomeDirectory() + "/.config/rvex-tool/com";
}

std::string ComDevicePath(unsigned n) {
    if (n == 0 || n > MaxComNumber) return {};
    std::error_code ec;
    fs::path link = fs::path(ComLinkDirectory()) / ("COM" + std::to_string(n));
    fs::file_status status = fs::symlink_status(link, ec);
    if (ec || !fs::exists(status)) return DefaultDevice(n);
    if (!fs::is_symlink(status)) return link.string();
    fs::path resolved = fs::canonical(link, ec);
    if (!ec) return resolved.string();
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return link.string();
    return target.is_absolute() ? target.string() : (link.parent_path() / target).string();
}

bool ComPortUsable(unsigned n) {
    const std::string path = ComDevicePath(n);
    return !path.empty() && SerialDevice::Probe(path) == 0;
}

} // namespace port

// The home folder and the program's own file on Linux.
#include "app/WorkingFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace app {

namespace fs = std::filesystem;

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

std::filesystem::path OwnExecutable() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self;
}

} // namespace app

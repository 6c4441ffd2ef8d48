// The home folder and the program's own file on Windows.
#include "app/WorkingFolder.h"

#include "winsys/Win32.h"

#include <cstdlib>
#include <vector>

namespace app {

std::string HomeFolder() {
    // HOME when a shell set it, else the user's profile folder.
    for (const char* name : {"HOME", "USERPROFILE"})
        if (const char* home = std::getenv(name); home && *home) return home;
    return {};
}

std::filesystem::path OwnExecutable() {
    std::vector<wchar_t> name(MAX_PATH);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return std::filesystem::path(std::wstring(name.data(), length));
        name.resize(name.size() * 2); // cut short: a longer path
    }
    return {};
}

} // namespace app

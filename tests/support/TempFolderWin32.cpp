// Making the fresh folder on Windows, which has no mkdtemp: a random name in the
// system's temporary folder, tried until one is new.
#include "TempFolder.h"

#include <chrono>
#include <random>
#include <stdexcept>

namespace testsupport {

TempFolder::TempFolder() {
    std::mt19937_64 random(
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path = base / ("rvex-test-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(path)) {
            path_ = path.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a folder in " + base.string());
}

} // namespace testsupport

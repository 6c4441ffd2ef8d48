// The fixture's scratch directory on Windows. COM numbers are the system's own devices
// there: there is no folder of links to point elsewhere, so the folder only exists.
#include "FormFixture.h"

#include <chrono>
#include <filesystem>
#include <random>

namespace fakes {

ScratchDirectory::ScratchDirectory() {
    std::mt19937_64 random(
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::path path;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = std::filesystem::temp_directory_path() /
               ("rvex-test-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(path)) break;
    }
    path_ = path.string();
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ComLinkFolder::ComLinkFolder() {
    path_ = (std::filesystem::current_path() / "com").string();
    std::filesystem::create_directories(path_);
}

ComLinkFolder::~ComLinkFolder() = default;

void ComLinkFolder::Link(unsigned, const std::string&) {}

} // namespace fakes

// The fixture's folder of COM links on Linux.
#include "FormFixture.h"

#include <filesystem>

namespace fakes {

ComLinkFolder::ComLinkFolder()
    : path_((std::filesystem::current_path() / "com").string()), comDir_("RVEX_COM_DIR", path_) {
    std::filesystem::create_directories(path_);
    for (unsigned n = 1; n <= 49; ++n)
        Link(n, "/nonexistent/COM" + std::to_string(n));
}

ComLinkFolder::~ComLinkFolder() = default;

void ComLinkFolder::Link(unsigned n, const std::string& device) {
    std::filesystem::path link = std::filesystem::path(path_) / ("COM" + std::to_string(n));
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(device, link);
}

} // namespace fakes

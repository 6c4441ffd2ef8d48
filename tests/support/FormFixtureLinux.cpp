// The fixture's scratch directory and folder of COM links on Linux.
#include "FormFixture.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fakes {

ScratchDirectory::ScratchDirectory() {
    char templ[] = "/tmp/rvex-test-XXXXXX";
    path_ = mkdtemp(templ);
    previous_ = std::filesystem::current_path();
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
    if (const char* previous = std::getenv("RVEX_COM_DIR")) {
        hadPrevious_ = true;
        previous_ = previous;
    }
    setenv("RVEX_COM_DIR", path_.c_str(), 1);
    for (unsigned n = 1; n <= 49; ++n)
        Link(n, "/nonexistent/COM" + std::to_string(n));
}

ComLinkFolder::~ComLinkFolder() {
    if (hadPrevious_)
        setenv("RVEX_COM_DIR", previous_.c_str(), 1);
    else
        unsetenv("RVEX_COM_DIR");
}

void ComLinkFolder::Link(unsigned n, const std::string& device) {
    std::filesystem::path link = std::filesystem::path(path_) / ("COM" + std::to_string(n));
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(device, link);
}

} // namespace fakes

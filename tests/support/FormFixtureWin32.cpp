// The fixture's folder of COM links on Windows. COM numbers are the system's own
// devices there: there is no folder of links to point elsewhere, so the folder only
// exists.
#include "FormFixture.h"

#include <filesystem>

namespace fakes {

ComLinkFolder::ComLinkFolder()
    : path_((std::filesystem::current_path() / "com").string()), comDir_("RVEX_COM_DIR", path_) {
    std::filesystem::create_directories(path_);
}

ComLinkFolder::~ComLinkFolder() = default;

void ComLinkFolder::Link(unsigned, const std::string&) {}

} // namespace fakes

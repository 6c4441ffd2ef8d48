#include "TempFolder.h"

namespace testsupport {

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScratchDirectory::ScratchDirectory() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(Path());
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

} // namespace testsupport

#pragma once
// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
#include <filesystem>
#include <string>

namespace testsupport {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const {
        return std::filesystem::path(path_) / name;
    }

  private:
    std::string path_;
};

// A TempFolder that is the current directory while it lives; the previous one is
// entered again at the end.
class ScratchDirectory : public TempFolder {
  public:
    ScratchDirectory();
    ~ScratchDirectory();

  private:
    std::filesystem::path previous_;
};

} // namespace testsupport

#include "app/WorkingFolder.h"

#include <algorithm>

namespace app {

namespace fs = std::filesystem;

std::filesystem::path ExpandHome(const std::string& path, const std::string& home) {
    const bool tilde = path == "~" || path.rfind("~/", 0) == 0;
    if (!tilde) return path;
    if (home.empty()) return {};
    return path == "~" ? fs::path(home) : fs::path(home) / path.substr(2);
}

std::filesystem::path ExampleSiteFolder(const std::filesystem::path& executable) {
    return executable.parent_path().parent_path() / "share" / "rvex-tool" / "site";
}

PreparedFolder PrepareWorkingFolder(const std::filesystem::path& folder,
                                    const std::filesystem::path& examples) {
    PreparedFolder result;
    std::error_code error;
    if (folder.empty()) {
        result.error = "no working folder (a leading ~ needs a home folder: HOME is not set)";
        return result;
    }
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
        result.error = "cannot make working folder " + folder.string() + ": " +
                       (error ? error.message() : "a file of that name is there");
        return result;
    }
    if (fs::exists(fs::symlink_status(folder / "Config1.c"))) return result;

    fs::directory_iterator files(examples, error);
    if (error) {
        result.warning = "no example site files in " + examples.string() + " (" + error.message() +
                         "); " + folder.string() + " is left as it is";
        return result;
    }
    for (const fs::directory_entry& file : files) {
        if (!file.is_regular_file(error)) continue;
        const fs::path target = folder / file.path().filename();
        // A name already taken, even by a dangling link or a folder, is left alone.
        if (fs::exists(fs::symlink_status(target))) continue;
        if (!fs::copy_file(file.path(), target, fs::copy_options::skip_existing, error)) {
            result.error = "cannot copy " + file.path().string() + " to " + folder.string() +
                           (error ? ": " + error.message() : std::string());
            return result;
        }
        // The tool writes to its files (Config1.c is opened for update): a read-only
        // original must not give a read-only copy.
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, error);
        result.copied.push_back(file.path().filename().string());
    }
    std::sort(result.copied.begin(), result.copied.end());
    return result;
}

} // namespace app

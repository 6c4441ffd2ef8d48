#pragma once
// The working folder of `rvex-tool --workdir DIR`: the folder is made ready with the
// example site files before the tool starts in it.
#include <filesystem>
#include <string>
#include <vector>

namespace app {

// A leading "~" (alone or before "/") stands for home (an empty path when there is no
// home); any other path is returned as it is. A desktop entry's command line is not
// expanded by a shell, so the tool does it.
std::filesystem::path ExpandHome(const std::string& path, const std::string& home);

// The home folder: $HOME, else the user's password entry; empty when neither has one.
std::string HomeFolder();

// Where the example site files of the program at `executable` are:
// PREFIX/share/rvex-tool/site for PREFIX/bin/rvex-tool. A build tree has the same
// layout: BUILD/share/rvex-tool/site links to the source's site/ (see dist/).
std::filesystem::path ExampleSiteFolder(const std::filesystem::path& executable);

// The running program's own file (/proc/self/exe); empty when it cannot be read.
std::filesystem::path OwnExecutable();

struct PreparedFolder {
    std::string error;               // empty when the folder is ready to work in
    std::string warning;             // the folder is usable, but not filled
    std::vector<std::string> copied; // names of the example files copied in
};

// Makes `folder` ready: creates it (with its parents) when missing and, when it holds
// no Config1.c, copies in every regular file of `examples` that it does not already
// hold. A file that is there is never overwritten. A folder that cannot be created or
// written, or a path that is not a folder, is an error; examples that cannot be found
// only a warning, since the tool then starts and reports the missing Config1.c itself.
PreparedFolder PrepareWorkingFolder(const std::filesystem::path& folder,
                                    const std::filesystem::path& examples);

} // namespace app

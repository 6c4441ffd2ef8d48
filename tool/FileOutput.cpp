#include "tool/FileOutput.h"

#include "tool/OutputFile.h"
#include "winsys/Exception.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tool {

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

} // namespace

LineFile::LineFile(std::string path) : path_(std::move(path)) {
    file_ = OpenOutputFile(path_.c_str(), OutputMode::Append);
    if (!file_) throw winsys::Exception("cannot write " + path_ + ": " + Reason(errno));
    std::fseek(file_, 0, SEEK_END);
    wasEmpty_ = std::ftell(file_) <= 0;
}

LineFile::~LineFile() {
    if (file_) std::fclose(file_);
}

bool LineFile::Write(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0)
        return true;
    error_ = "cannot write " + path_ + ": " + Reason(errno ? errno : EIO);
    return false;
}

void WriteWholeFile(const std::string& path, std::string_view content) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw winsys::Exception("cannot write " + path + ": " + Reason(EISDIR));
    const std::string part = path + ".part";
    std::FILE* file = OpenOutputFile(part.c_str(), OutputMode::Replace);
    if (!file) throw winsys::Exception("cannot write " + path + ": " + Reason(errno));
    errno = 0;
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() &&
                   std::fflush(file) == 0;
    std::string reason = Reason(errno ? errno : EIO);
    if (std::fclose(file) != 0 && written) {
        written = false;
        reason = Reason(errno ? errno : EIO);
    }
    if (written) {
        // Replaces a file that is there, on Windows too.
        fs::rename(part, path, ec);
        if (!ec) return;
        // The system's own error (a Windows error number there), in its own words.
        reason = ec.message();
    }
    fs::remove(part, ec);
    throw winsys::Exception("cannot write " + path + ": " + reason);
}

} // namespace tool

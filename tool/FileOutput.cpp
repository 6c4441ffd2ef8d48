#include "tool/FileOutput.h"

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
    file_ = std::fopen(path_.c_str(), "ab");
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
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) throw winsys::Exception("cannot write " + path + ": " + Reason(errno));
    errno = 0;
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() &&
                   std::fflush(file) == 0;
    int error = errno ? errno : EIO;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno ? errno : EIO;
    }
    if (written) {
        fs::rename(part, path, ec);
        if (!ec) return;
        error = ec.value();
    }
    fs::remove(part, ec);
    throw winsys::Exception("cannot write " + path + ": " + Reason(error));
}

} // namespace tool

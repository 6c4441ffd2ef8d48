#pragma once
// The two ways the tool writes its records into files.
//
// LineFile: a log that grows line by line. Each line goes to the operating system as
// soon as it is written, so a crash or a pulled adapter loses nothing already
// logged. It appends to a file that exists, never truncating one.
//
// WriteWholeFile: a document written at once (an export, a report). It is written
// beside its target first and then renamed over it, so a write that fails leaves the
// target as it was.
#include <cstdio>
#include <string>
#include <string_view>

namespace tool {

class LineFile {
  public:
    // Opens path for appending; raises winsys::Exception with the path and the
    // system's reason when it cannot.
    explicit LineFile(std::string path);
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Writes the text and pushes it to the system; false when that failed, with the
    // reason in Error().
    bool Write(std::string_view text);
    // True when the file held nothing when it was opened.
    bool WasEmpty() const { return wasEmpty_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool wasEmpty_ = true;
    std::string error_;
};

// Writes content as the whole file at path; raises winsys::Exception with the path and
// the reason when it cannot, and the file at path is then untouched.
void WriteWholeFile(const std::string& path, std::string_view content);

} // namespace tool

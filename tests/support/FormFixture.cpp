#include "FormFixture.h"

#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <iterator>
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
    for (unsigned n = 1; n <= 49; ++n) Link(n, "/nonexistent/COM" + std::to_string(n));
}

ComLinkFolder::~ComLinkFolder() {
    if (hadPrevious_) setenv("RVEX_COM_DIR", previous_.c_str(), 1);
    else unsetenv("RVEX_COM_DIR");
}

void ComLinkFolder::Link(unsigned n, const std::string& device) {
    std::filesystem::path link = std::filesystem::path(path_) / ("COM" + std::to_string(n));
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(device, link);
}

void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string TinyBitmap() {
    // 2 x 2 pixels, 24 bits, rows padded to 8 bytes.
    std::string bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                       2,   0,   0,  0, 2, 0, 0, 0, 1, 0, 24, 0};
    bmp.resize(70, '\0');
    return bmp;
}

void WriteGlyphs() {
    WriteFile("BmpOK.bmp", TinyBitmap());
    WriteFile("BmpX.bmp", TinyBitmap());
}

FormFixture::FormFixture() {
    tool::TMainFormPorts ports;
    auto s = std::make_unique<FakePort>(loop);
    auto n = std::make_unique<FakePort>(loop);
    serial = s.get();
    network = n.get();
    ports.serial = std::move(s);
    ports.network = std::move(n);
    form = std::make_unique<tool::TMainForm>(loop, std::move(ports));
}

FormFixture::~FormFixture() { form.reset(); }

} // namespace fakes

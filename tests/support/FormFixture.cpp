#include "FormFixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fakes {

ComLinkFolder::ComLinkFolder()
    : path_((std::filesystem::current_path() / "com").string()), comDir_("RVEX_COM_DIR", path_) {
    std::filesystem::create_directories(path_);
    for (unsigned n = 1; n <= 49; ++n)
        Link(n, "/nonexistent/COM" + std::to_string(n));
}

ComLinkFolder::~ComLinkFolder() = default;

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
    std::string bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                       0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
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

FormFixture::~FormFixture() {
    form.reset();
}

} // namespace fakes
